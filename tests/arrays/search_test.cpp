// Search on runs of equal keys, in the library's arrays (addresses computed in their
// block) and in an implementation whose elements are not one block (asked one by one):
// the result, the position and which of the equal elements is copied out are those of
// the plain bisection.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "arrays.h"

namespace {

struct Rec {
    int32_t key;
    int32_t tag;  // tells equal keys apart
};

int32_t ByKey(const TnVArray*, const void* a, const void* b) {
    const int32_t x = static_cast<const Rec*>(a)->key, y = static_cast<const Rec*>(b)->key;
    return x < y ? -1 : x > y ? 1 : 0;
}

// The bisection written plainly: the first equal element met, or the insertion point.
int32_t ReferenceSearch(const std::vector<Rec>& v, int32_t key, uint32_t* position, Rec* found) {
    *position = 0;
    if (v.empty()) return -502;
    long low = 0, high = static_cast<long>(v.size()) - 1, middle = 0;
    int c = 0;
    do {
        middle = (low + high) / 2;
        const int32_t k = v[static_cast<size_t>(middle)].key;
        c = key < k ? -1 : key > k ? 1 : 0;
        if (c < 0)
            high = middle - 1;
        else
            low = middle + 1;
    } while (c != 0 && low <= high);
    *position = static_cast<uint32_t>(c > 0 ? middle + 1 : middle);
    if (c == 0) *found = v[static_cast<size_t>(middle)];
    return c == 0 ? 0 : -502;
}

// Shows every element through a copy of its own, so that the elements do not lie in one
// block and Search asks Element for each.
class Scattered : public TnCList {
  public:
    Scattered() : TnCList(sizeof(Rec), 0) {}
    void* Element(uint32_t index) const override {
        void* inPlace = TnCList::Element(index);
        if (inPlace == nullptr) return nullptr;
        m_copies.resize(Count());
        m_copies[index].resize(sizeof(Rec));
        std::memcpy(m_copies[index].data(), inPlace, sizeof(Rec));
        return m_copies[index].data();
    }

  private:
    mutable std::vector<std::vector<unsigned char>> m_copies;
};

void ExpectBisection(TnVArray& array, const std::vector<Rec>& v, int32_t keys) {
    array.SetCompareCallback(ByKey);
    for (const Rec& r : v) ASSERT_EQ(0, array.Insert(array.Count(), &r));
    for (int32_t key = -1; key <= keys; ++key) {
        uint32_t expectedPosition = 0, position = 12345;
        Rec expected{-7, -7}, found{-7, -7};
        const int32_t rc = ReferenceSearch(v, key, &expectedPosition, &expected);
        const Rec probe{key, -1};
        ASSERT_EQ(rc, array.Search(&probe, &position, &found)) << v.size() << ", key " << key;
        ASSERT_EQ(expectedPosition, position) << v.size() << ", key " << key;
        ASSERT_EQ(expected.tag, found.tag) << v.size() << ", key " << key;
        ASSERT_EQ(rc, array.Search(&probe, nullptr, nullptr));
    }
}

TEST(ArraySearch, SameElementAsTheBisection) {
    std::mt19937 rng(41);
    for (uint32_t n = 0; n < 300; n += 1 + n / 8) {
        for (int32_t keys : {1, 3, 40, 1000}) {
            std::vector<Rec> v(n);
            for (uint32_t i = 0; i < n; ++i)
                v[i] = Rec{static_cast<int32_t>(rng() % static_cast<uint32_t>(keys)),
                           static_cast<int32_t>(i)};
            std::stable_sort(v.begin(), v.end(),
                             [](const Rec& a, const Rec& b) { return a.key < b.key; });
            TnCList list(sizeof(Rec), 0);
            ExpectBisection(list, v, keys);
            SortList sorted(sizeof(Rec), ByKey, 0);
            ExpectBisection(sorted, v, keys);
            Scattered scattered;
            ExpectBisection(scattered, v, keys);
            if (HasFailure()) return;
        }
    }
}

}  // namespace
