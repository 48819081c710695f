// The quicksort of items on its own: it must sort, within n log n comparisons on every
// shape, and stay inside its range whatever the comparison answers. (Behind the array
// sort a failure here would only show as a slower sort: the check after it falls back
// to the in-place way.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "arrays/item_sort.h"

namespace {

using mvb::arrays::items::SortItems;

enum Shape { kRandom, kFewDistinct, kAscending, kDescending, kOrganPipe, kSawTooth, kPushFront };

std::vector<int64_t> Items(Shape shape, std::mt19937& rng, uint32_t n) {
    std::vector<int64_t> v(n);
    // kPushFront: in order but for the last item, the smallest.
    for (uint32_t i = 0; i < n; ++i)
        v[i] = shape == kRandom        ? static_cast<int64_t>(rng())
               : shape == kFewDistinct ? static_cast<int64_t>(rng() % 16)
               : shape == kAscending   ? int64_t{i}
               : shape == kDescending  ? -int64_t{i}
               : shape == kOrganPipe   ? int64_t{i < n / 2 ? i : n - i}
               : shape == kSawTooth    ? int64_t{i % 1000}
                                       : int64_t{i + 1 < n ? i + 1 : 0};
    return v;
}

TEST(ItemSort, SortsEveryShapeWithinNLogNComparisons) {
    std::mt19937 rng(31);
    for (int shape = kRandom; shape <= kPushFront; ++shape) {
        for (uint32_t n :
             {0u, 1u, 2u, 3u, 23u, 24u, 25u, 64u, 65u, 128u, 129u, 130u, 1000u, 4099u, 100000u}) {
            std::vector<int64_t> v = Items(static_cast<Shape>(shape), rng, n), expected = v;
            std::sort(expected.begin(), expected.end());
            uint64_t comparisons = 0;
            SortItems(v.data(), n, [&](int64_t a, int64_t b) {
                ++comparisons;
                return a < b;
            });
            ASSERT_TRUE(v == expected) << "shape " << shape << ", " << n << " items";
            const double bound = 3.0 * n * std::log2(n + 2.0) + 64;
            EXPECT_LT(static_cast<double>(comparisons), bound)
                << "shape " << shape << ", " << n << " items";
        }
    }
}

// Copies with their index: items equal by the comparison but not alike end next to
// each other, as a set.
TEST(ItemSort, EqualItemsStayTogether) {
    struct Item {
        int32_t key;
        uint32_t index;
    };
    std::mt19937 rng(32);
    for (uint32_t n : {30u, 500u, 20000u}) {
        std::vector<Item> v(n);
        for (uint32_t i = 0; i < n; ++i) v[i] = Item{static_cast<int32_t>(rng() % 7), i};
        SortItems(v.data(), n, [](const Item& a, const Item& b) { return a.key < b.key; });
        std::vector<bool> seen(n);
        for (uint32_t i = 0; i < n; ++i) {
            if (i > 0) {
                ASSERT_LE(v[i - 1].key, v[i].key);
            }
            ASSERT_FALSE(seen[v[i].index]);
            seen[v[i].index] = true;
        }
    }
}

// Answers at random, and answers that always say "less" or never: the result is still a
// permutation (the sanitizers watch the bounds), in bounded time.
TEST(ItemSort, ContradictingComparisonKeepsTheItems) {
    std::mt19937 rng(33);
    for (int kind = 0; kind < 3; ++kind) {
        for (uint32_t n : {2u, 24u, 129u, 3000u, 40000u}) {
            std::vector<uint32_t> v(n);
            for (uint32_t i = 0; i < n; ++i) v[i] = i;
            SortItems(v.data(), n,
                      [&](uint32_t, uint32_t) { return kind == 0 ? (rng() & 1) != 0 : kind == 1; });
            std::sort(v.begin(), v.end());
            for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(i, v[i]) << "kind " << kind << ", " << n;
        }
    }
}

}  // namespace
