// The sort against the code it replaced: the out-of-place way of the previous release
// (a merge sort of copies or of an index, then the check and the replay on ranks), kept
// here as it was, on every shape, around every size where the sort changes its way of
// working, and for element sizes sorted as copies and through an index. The results
// must be the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <vector>

#include "arrays.h"
#include "arrays/sort_scheme.h"

namespace previous {

// Bottom-up merge sort, runs of 8 by insertion first.
template <typename T, typename GreaterFn>
T* MergeSort(T* items, T* spare, uint32_t n, GreaterFn greater) {
    constexpr uint32_t kRun = 8;
    for (uint32_t start = 0; start < n; start += kRun) {
        const uint32_t end = std::min(n, start + kRun);
        for (uint32_t i = start + 1; i < end; ++i) {
            const T item = items[i];
            uint32_t j = i;
            for (; j > start && greater(items[j - 1], item); --j) items[j] = items[j - 1];
            items[j] = item;
        }
    }
    for (uint64_t width = kRun; width < n; width *= 2) {
        for (uint64_t lo = 0; lo < n; lo += 2 * width) {
            const uint64_t mid = std::min<uint64_t>(n, lo + width);
            const uint64_t hi = std::min<uint64_t>(n, lo + 2 * width);
            if (mid == hi || !greater(items[mid - 1], items[mid])) {
                std::copy(items + lo, items + hi, spare + lo);
                continue;
            }
            uint64_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi) {
                const bool right = greater(items[i], items[j]);
                spare[k++] = items[right ? j : i];
                j += right;
                i += !right;
            }
            k = static_cast<uint64_t>(std::copy(items + i, items + mid, spare + k) - spare);
            std::copy(items + j, items + hi, spare + k);
        }
        std::swap(items, spare);
    }
    return items;
}

// Elements of every size through an index (the copies of small elements sorted the same
// way and gave the same bytes).
bool SortThroughIndex(const TnVArray& array, TnArrayCompare compare) {
    const uint32_t n = array.Count();
    const size_t size = array.ElementSize();
    std::vector<unsigned char*> at(n);
    std::vector<uint32_t> index(n), spare(n);
    std::vector<unsigned char> moved(size_t{n} * size);
    for (uint32_t k = 0; k < n; ++k) at[k] = static_cast<unsigned char*>(array.Element(k));
    for (uint32_t i = 0; i < n; ++i) index[i] = i;
    uint32_t* sorted = MergeSort(index.data(), spare.data(), n, [&](uint32_t a, uint32_t b) {
        return compare(&array, at[a], at[b]) > 0;
    });
    uint32_t* rank = sorted == index.data() ? spare.data() : index.data();
    uint32_t current = 0;
    bool distinguishable = false;
    rank[sorted[0]] = 0;
    for (uint32_t i = 1; i < n; ++i) {
        const int32_t c = compare(&array, at[sorted[i - 1]], at[sorted[i]]);
        if (c > 0) return false;
        if (c < 0)
            ++current;
        else if (std::memcmp(at[sorted[i - 1]], at[sorted[i]], size) != 0)
            distinguishable = true;
        rank[sorted[i]] = current;
    }
    if (distinguishable) {
        for (uint32_t i = 0; i < n; ++i) sorted[i] = i;
        uint32_t depth;
        if (!mvb::arrays::PartitionSortRanks(rank, sorted, n, &depth)) return false;
    }
    for (uint32_t i = 0; i < n; ++i) std::memcpy(&moved[i * size], at[sorted[i]], size);
    for (uint32_t i = 0; i < n; ++i) std::memcpy(at[i], &moved[i * size], size);
    return true;
}

void Sort(const TnVArray& array, TnArrayCompare compare) {
    std::vector<unsigned char> work(array.ElementSize());
    if (array.Count() < 16 || !SortThroughIndex(array, compare))
        mvb::arrays::PartitionSortInPlace(array, compare, work.data());
}

}  // namespace previous

namespace {

// Elements of any size: a big-endian key in the first bytes (up to 4), a tag in the rest.
size_t g_keyBytes = 4;
int32_t ByKeyBytes(const TnVArray* array, const void* a, const void* b) {
    return std::memcmp(a, b, std::min<size_t>(g_keyBytes, array->ElementSize()));
}

enum Shape { kRandom, kFewDistinct, kAscending, kDescending, kOrganPipe, kAllEqual, kSawTooth };

uint32_t Key(Shape shape, std::mt19937& rng, uint32_t i, uint32_t n) {
    return shape == kRandom        ? rng()
           : shape == kFewDistinct ? rng() % 16
           : shape == kAscending   ? i
           : shape == kDescending  ? n - i
           : shape == kOrganPipe   ? (i < n / 2 ? i : n - i)
           : shape == kAllEqual    ? 7
                                   : i % 37;
}

// n elements of `size` bytes: the key's low bytes, big end first, then the tag (random
// bytes, so equal keys differ; or a copy of the key, so equal keys are identical).
std::vector<unsigned char> Elements(Shape shape, std::mt19937& rng, uint32_t n, size_t size,
                                    bool tagged) {
    std::vector<unsigned char> bytes(n * size);
    const size_t keyBytes = std::min<size_t>(g_keyBytes, size);
    for (uint32_t i = 0; i < n; ++i) {
        unsigned char* e = &bytes[i * size];
        const uint32_t key = Key(shape, rng, i, n);
        for (size_t b = 0; b < keyBytes; ++b)
            e[b] = static_cast<unsigned char>(key >> (8 * (keyBytes - 1 - b)));
        for (size_t b = keyBytes; b < size; ++b)
            e[b] = tagged ? static_cast<unsigned char>(rng()) : e[b % keyBytes];
    }
    return bytes;
}

template <typename Array>
std::vector<unsigned char> SortedBy(bool library, const std::vector<unsigned char>& bytes,
                                    size_t size) {
    Array array(static_cast<uint16_t>(size), 0);
    array.SetCompareCallback(ByKeyBytes);
    for (size_t at = 0; at < bytes.size(); at += size)
        EXPECT_EQ(0, array.Insert(array.Count(), &bytes[at]));
    if (library)
        EXPECT_EQ(0, array.Sort());
    else
        previous::Sort(array, ByKeyBytes);
    std::vector<unsigned char> out(bytes.size());
    for (uint32_t i = 0; i < array.Count(); ++i) array.Get(i, &out[i * size]);
    return out;
}

void ExpectSameAsBefore(Shape shape, std::mt19937& rng, uint32_t n, size_t size, bool tagged) {
    const std::vector<unsigned char> in = Elements(shape, rng, n, size, tagged);
    const std::vector<unsigned char> before = SortedBy<TnCList>(false, in, size);
    ASSERT_TRUE(before == SortedBy<TnCList>(true, in, size))
        << "TnCList, shape " << shape << ", " << n << " elements of " << size << " bytes, "
        << g_keyBytes << " key bytes, tagged " << tagged;
    ASSERT_TRUE(before == SortedBy<TnLList>(true, in, size))
        << "TnLList, shape " << shape << ", " << n << " elements of " << size << " bytes";
}

// Sizes around the places where the sort changes its way of working: the in-place
// scheme below 16, insertion sort of ranges below 24, blocks of 64, the median of three
// medians above 128; and larger ones.
const uint32_t kCounts[] = {0,  1,  2,  3,   15,  16,  17,  23,  24,  25,
                            63, 64, 65, 127, 128, 129, 130, 257, 1000};
// 1, 2, 4, 8, 12 and 16 bytes are sorted as copies, the others through an index.
const size_t kSizes[] = {1, 2, 3, 4, 8, 12, 16, 5, 20, 24};

TEST(ArraySortPrevious, EveryShapeSizeAndElementSize) {
    std::mt19937 rng(21);
    g_keyBytes = 2;
    for (int shape = kRandom; shape <= kSawTooth; ++shape)
        for (uint32_t n : kCounts)
            for (size_t size : kSizes)
                for (bool tagged : {false, true}) {
                    ExpectSameAsBefore(static_cast<Shape>(shape), rng, n, size, tagged);
                    if (HasFailure()) return;
                }
    g_keyBytes = 4;
}

TEST(ArraySortPrevious, RandomCountsAndKeyRanges) {
    std::mt19937 rng(22);
    for (int round = 0; round < 200; ++round) {
        g_keyBytes = 1 + rng() % 4;
        const auto shape = static_cast<Shape>(rng() % (kSawTooth + 1));
        const uint32_t n = round % 25 == 0 ? rng() % 30000 : rng() % 600;
        ExpectSameAsBefore(shape, rng, n, kSizes[rng() % std::size(kSizes)], rng() % 2 != 0);
        if (HasFailure()) return;
    }
    g_keyBytes = 4;
}

}  // namespace
