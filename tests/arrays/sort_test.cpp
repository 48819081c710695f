// The sort must leave equal elements exactly where the partition scheme leaves them: on
// long ordered input, in the in-place way, and whatever the callback answers (random
// shapes and every element size are compared with the previous code in
// sort_previous_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "arrays.h"
#include "arrays/sort_scheme.h"
#include "support/alloc_failure.h"

namespace {

struct Rec {
    int32_t key;
    int32_t tag;  // tells equal keys apart
};
bool operator==(const Rec& a, const Rec& b) {
    return a.key == b.key && a.tag == b.tag;
}

int32_t ByKey(const TnVArray*, const void* a, const void* b) {
    const int32_t x = static_cast<const Rec*>(a)->key, y = static_cast<const Rec*>(b)->key;
    return x < y ? -1 : x > y ? 1 : 0;
}

// The scheme itself, written plainly: pivot at lo compared in place, the two inner scans,
// the final exchange; ranges kept on a list instead of recursion. It takes n*n/2 steps on
// ordered input, so it is compiled optimised and unchecked even in test builds.
#if defined(__GNUC__) && !defined(__clang__)
#define MVTEST_OPTIMISED __attribute__((optimize("O2"), no_sanitize("address", "undefined")))
#else
#define MVTEST_OPTIMISED
#endif
MVTEST_OPTIMISED void ReferenceSort(std::vector<Rec>& v) {
    Rec* a = v.data();
    std::vector<std::pair<long, long>> todo{{0, static_cast<long>(v.size()) - 1}};
    while (!todo.empty()) {
        const long lo = todo.back().first, hi = todo.back().second;
        todo.pop_back();
        if (hi <= lo) continue;
        long i = lo, j = hi;
        while (i < j) {
            while (a[i].key <= a[lo].key && i < hi) ++i;
            while (a[j].key > a[lo].key && j > lo) --j;
            if (i < j) std::swap(a[i], a[j]);
        }
        std::swap(a[lo], a[j]);
        todo.push_back({lo, j - 1});
        todo.push_back({j + 1, hi});
    }
}

template <typename Array>
void Fill(Array& array, const std::vector<Rec>& v) {
    for (const Rec& r : v) ASSERT_EQ(0, array.Insert(array.Count(), &r));
}

template <typename Array>
std::vector<Rec> Contents(const Array& array) {
    std::vector<Rec> out(array.Count());
    for (uint32_t i = 0; i < array.Count(); ++i) array.Get(i, &out[i]);
    return out;
}

std::vector<Rec> Random(std::mt19937& rng, size_t n, int keys) {
    std::vector<Rec> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] =
            Rec{static_cast<int32_t>(rng() % static_cast<unsigned>(keys)), static_cast<int32_t>(i)};
    return v;
}

// Sorts v through a TnCList (up to its limit) and a SortList and checks both against
// the reference.
void ExpectSchemeOrder(std::vector<Rec> v) {
    std::vector<Rec> expected = v;
    ReferenceSort(expected);
    if (v.size() <= TnCList::kMaxCount) {
        TnCList list(sizeof(Rec), 0);
        list.SetCompareCallback(ByKey);
        Fill(list, v);
        ASSERT_EQ(0, list.Sort());
        ASSERT_TRUE(expected == Contents(list)) << "TnCList, " << v.size() << " elements";
    }
    SortList sorted(sizeof(Rec), ByKey, 0);
    Fill(sorted, v);
    ASSERT_EQ(0, sorted.Sort());
    ASSERT_TRUE(expected == Contents(sorted)) << "SortList, " << v.size() << " elements";
}

// Ordered input, ascending and descending, with distinct keys, runs of distinguishable
// equal elements, and runs of bytewise identical ones (one result only).
TEST(ArraySort, MatchesTheSchemeOnOrderedInput) {
    std::mt19937 rng(8);
    auto byKey = [](const Rec& a, const Rec& b) { return a.key < b.key; };
    for (int keys : {1, 5, 100000}) {
        std::vector<Rec> v = Random(rng, 3000, keys);
        std::sort(v.begin(), v.end(), byKey);
        ExpectSchemeOrder(v);
        std::reverse(v.begin(), v.end());
        ExpectSchemeOrder(v);
        for (Rec& r : v) r.tag = r.key;
        ExpectSchemeOrder(v);
    }
    for (int32_t equalRun : {1, 3}) {  // full size; 1: distinct keys
        std::vector<Rec> ascending(TnCList::kMaxCount);
        for (int32_t i = 0; i < TnCList::kMaxCount; ++i) ascending[i] = Rec{i / equalRun, i};
        ExpectSchemeOrder(ascending);
        ExpectSchemeOrder(std::vector<Rec>(ascending.rbegin(), ascending.rend()));
    }
}

// The in-place scheme (small arrays, or no memory for the faster ways) on random and on
// ordered input, which must not nest deeper than log2(n).
TEST(ArraySort, InPlaceScheme) {
    std::mt19937 rng(9);
    std::vector<Rec> random = Random(rng, 500, 20), ordered = Random(rng, 2000, 1000000);
    std::sort(ordered.begin(), ordered.end(),
              [](const Rec& a, const Rec& b) { return a.key > b.key; });
    for (std::vector<Rec>* v : {&random, &ordered, &ordered}) {  // descending, then ascending
        TnCList list(sizeof(Rec), 0);
        list.SetCompareCallback(ByKey);
        Fill(list, *v);
        Rec work;
        TnCList copy(list);
        EXPECT_LE(mvb::arrays::PartitionSortInPlace(copy, ByKey, &work), 10u);
        {
            mvtest::CountedMalloc onlyTheWorkElement(1);  // so Sort takes the in-place way
            ASSERT_EQ(0, list.Sort());
        }
        ReferenceSort(*v);
        ASSERT_TRUE(*v == Contents(list));
        ASSERT_TRUE(*v == Contents(copy));
    }
}

int g_comparisons = 0;
int32_t CountingByKey(const TnVArray* array, const void* a, const void* b) {
    ++g_comparisons;
    return ByKey(array, a, b);
}

TEST(ArraySort, ResultCodes) {
    TnCList list(sizeof(Rec), 4);
    const Rec r{1, 1}, t{0, 2};
    list.Insert(0, &r);
    list.SetCompareCallback(CountingByKey);
    g_comparisons = 0;
    EXPECT_EQ(0, list.Sort());
    EXPECT_EQ(0, g_comparisons);  // one element: nothing to compare
    list.Insert(1, &t);
    {
        mvtest::OutOfMemory oom;
        EXPECT_EQ(-2030, list.Sort());
        EXPECT_EQ(std::vector<uint32_t>{sizeof(Rec)}, oom.Calls());
    }
    EXPECT_TRUE((std::vector<Rec>{r, t}) == Contents(list));  // nothing moved
}

// A callback that contradicts itself cannot make the sort leave the array: the result
// is still a permutation of the elements.
int32_t Contradicting(const TnVArray*, const void* a, const void* b) {
    const auto x = static_cast<const Rec*>(a)->tag, y = static_cast<const Rec*>(b)->tag;
    return static_cast<int32_t>((x * 2654435761u ^ y * 40503u) % 3) - 1;
}

TEST(ArraySort, InconsistentCallbackKeepsTheElements) {
    std::mt19937 rng(11);
    for (size_t n : {5u, 40u, 1000u}) {
        std::vector<Rec> v = Random(rng, n, 50);
        SortList list(sizeof(Rec), Contradicting, 0);
        Fill(list, v);
        ASSERT_EQ(0, list.Sort());
        std::vector<Rec> out = Contents(list);
        auto byTag = [](const Rec& a, const Rec& b) { return a.tag < b.tag; };
        std::sort(out.begin(), out.end(), byTag);
        EXPECT_TRUE(v == out);
    }
}

}  // namespace
