#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "arrays.h"
#include "arrays/int_elements.h"
#include "memfile.h"
#include "support/alloc_failure.h"

namespace {

TEST(CList, InitRules) {
    TnResult rc = 1;
    TnCList zero(0, 10, &rc);
    EXPECT_EQ(-503, rc);
    EXPECT_EQ(0u, zero.GetMaxCount());
    int32_t v = 1;
    EXPECT_EQ(-502, zero.Insert(0, &v));

    TnCList big(4, 100000, &rc);
    EXPECT_EQ(0, rc);
    EXPECT_EQ(32767u, big.GetCurMaxCount());
    // Init again releases the old block (no leak) and starts empty.
    EXPECT_EQ(0, big.Insert(0, &v));
    EXPECT_EQ(0, big.Init(4, 2));
    EXPECT_EQ(0u, big.Count());
    EXPECT_EQ(2u, big.GetCurMaxCount());

    mvtest::OutOfMemory oom;
    EXPECT_EQ(-501, big.Init(8, 10));
    EXPECT_EQ(std::vector<uint32_t>{80}, oom.Calls());
    EXPECT_EQ(0u, big.GetCurMaxCount());
    EXPECT_EQ(-501, big.Insert(0, &v));
}

TEST(CList, CapacityDoublesUpToTheLimit) {
    TnCList list(sizeof(int32_t), 0);
    std::vector<uint32_t> capacities;
    for (int32_t i = 0; i < 32767; ++i) {
        ASSERT_EQ(0, list.Insert(static_cast<uint32_t>(i), &i));
        if (capacities.empty() || capacities.back() != list.GetCurMaxCount())
            capacities.push_back(list.GetCurMaxCount());
    }
    const std::vector<uint32_t> expected{1,     2,     4,     8,     16,   32,   64,
                                         128,   256,   512,   1024,  2048, 4096, 8192,
                                         16384, 24576, 30720, 32640, 32767};
    EXPECT_EQ(expected, capacities);
    int32_t v = 0;
    EXPECT_EQ(-502, list.Insert(32767, &v));
    EXPECT_EQ(-501, list.Insert(0, &v));  // full: no room to grow
    EXPECT_EQ(32767u, list.Count());
}

TEST(CList, FailedGrowthLeavesTheArrayAsItWas) {
    TnCList list(sizeof(int32_t), 2);
    const int32_t v[3] = {5, 6, 7};
    list.Insert(0, &v[0]);
    list.Insert(1, &v[1]);
    EXPECT_EQ(-501, list.SizeSet(32768));
    mvtest::OutOfMemory oom;
    EXPECT_EQ(-501, list.Insert(2, &v[2]));
    EXPECT_EQ(std::vector<uint32_t>{16}, oom.Calls());
    EXPECT_EQ(-501, list.SizeSet(50));
    EXPECT_EQ(2u, list.GetCurMaxCount());
    EXPECT_EQ((std::vector<int32_t>{5, 6}), Ints(list));
}

// Copy takes over everything but the maximum count and the callback; only from its own
// type. The same for both implementations.
template <typename Array, typename Other>
void CopyRules(Array source) {
    source.SetCompareCallback(ByInt);
    for (int32_t i = 0; i < 5; ++i) source.Insert(0, &i);
    Array copy(source);
    EXPECT_EQ(Ints(source), Ints(copy));
    EXPECT_EQ(source.GetCurMaxCount(), copy.GetCurMaxCount());
    Array other(2, 1);
    EXPECT_EQ(0, other.Copy(source));
    EXPECT_EQ(Ints(source), Ints(other));
    EXPECT_EQ(nullptr, other.CompareCallback());
    EXPECT_EQ(0, other.Copy(other));
    Other foreign(sizeof(int32_t), 0);
    EXPECT_EQ(-506, other.Copy(foreign));
    EXPECT_EQ(Ints(source), Ints(other));
}

TEST(ArrayCopy, OnlyFromItsOwnType) {
    CopyRules<TnCList, TnLList>(TnCList(sizeof(int32_t), 8));
    CopyRules<TnLList, TnCList>(TnLList(sizeof(int32_t), 10));
}

// Inserting an element of the array itself: growth moves the block, the shift
// overwrites the slot; the inserted value must still be the one passed.
template <typename Array, size_t N>
void InsertOwnElements() {
    struct Big {
        unsigned char bytes[N];
    };
    Array list(sizeof(Big), 1);
    Big a, b;
    std::memset(&a, 'a', N);
    std::memset(&b, 'b', N);
    ASSERT_EQ(0, list.Insert(0, &a));
    ASSERT_EQ(0, list.Insert(0, list.Element(0)));  // grows
    ASSERT_EQ(0, list.Insert(1, &b));
    ASSERT_EQ(0, list.Insert(0, list.Element(1)));  // the shift moves the source
    ASSERT_EQ(0, list.Update(1, list.Element(1)));
    const char expected[] = "baba";
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_EQ(expected[i], static_cast<const Big*>(list.Element(i))->bytes[N - 1]) << i;
}

TEST(ArrayInsert, ElementsOfTheArrayItself) {
    InsertOwnElements<TnCList, 4>();
    InsertOwnElements<TnCList, 300>();
    InsertOwnElements<TnLList, 4>();
    InsertOwnElements<TnLList, 300>();
}

// Positions against a model are checked by the randomized test; here the documented ends.
TEST(ArraySearch, BisectionAndResultCodes) {
    TnCList list(sizeof(int32_t), 0);
    list.SetCompareCallback(ByInt);
    uint32_t pos = 99;
    const int32_t twenty = 20, sixty = 60;
    EXPECT_EQ(-502, list.Search(&twenty, &pos, nullptr));
    EXPECT_EQ(0u, pos);
    for (int32_t v : {10, 20, 20, 20, 30, 40, 50}) list.Insert(list.Count(), &v);
    EXPECT_EQ(0, list.Search(&twenty, &pos, nullptr));
    EXPECT_EQ(3u, pos);  // the middle one of the equal elements is met first
    EXPECT_EQ(-502, list.SearchAt(7, &twenty, nullptr));
    EXPECT_EQ(0, list.SortedInsert(&sixty, &pos, 0, 0));  // copy 0: the slot is left unfilled
    EXPECT_EQ(7u, pos);
    EXPECT_EQ(8u, list.Count());
    EXPECT_EQ(-507, list.Merge(list, 0));
    list.SetCompareCallback(nullptr);
    EXPECT_EQ(-2106, list.Search(&twenty, &pos, nullptr));
}

TEST(LList, GrowsByOneAndShrinksByTen) {
    TnLList list(sizeof(int32_t), 25);
    const int32_t x = 99;
    for (int32_t i = 0; i < 16; ++i) ASSERT_EQ(0, list.Insert(static_cast<uint32_t>(i), &i));
    EXPECT_EQ(0, list.Delete(0, 1));  // count 15, capacity 25 -> 15
    EXPECT_EQ(15u, list.GetCurMaxCount());
    EXPECT_EQ(60, list.File()->Size());
    EXPECT_EQ(0, list.Delete(14, 1));  // count 14 > 5: stays
    EXPECT_EQ(0, list.Insert(14, &x));
    EXPECT_EQ(0, list.Insert(15, &x));  // full: one more element
    EXPECT_EQ(16u, list.GetCurMaxCount());
    EXPECT_EQ(64, list.File()->Size());

    TnLList small(sizeof(int32_t), 8);
    small.Insert(0, &x);
    EXPECT_EQ(0, small.Delete(0, 1));
    EXPECT_EQ(0u, small.GetCurMaxCount());
    EXPECT_EQ(nullptr, small.File()->Data());
}

TEST(LList, GrowthFailuresLeaveTheArrayAsItWas) {
    TnLList list(sizeof(int32_t), 0);
    const int32_t v = 3;
    list.Insert(0, &v);
    mvtest::OutOfMemory oom;
    EXPECT_EQ(0, list.Insert(1, &v));  // still inside the file's first segment
    EXPECT_EQ(-501, list.Insert(2, &v));
    EXPECT_EQ(-10001, list.SizeSet(100));
    EXPECT_EQ(2u, oom.Calls().size());
    MemFile source(16);
    EXPECT_EQ(-501, list.Import(4, source));
    EXPECT_EQ(nullptr, list.PrepareInsert(0));
    EXPECT_EQ(2u, list.GetCurMaxCount());
    EXPECT_EQ(2u, list.Count());
}

TEST(LList, ImportTakesWhatTheSourceHolds) {
    TnLList list(sizeof(int32_t), 0);
    const int32_t first = 7;
    list.Insert(0, &first);
    MemFile source;
    const int32_t words[4] = {1, 2, 3, 4};
    source.Put(words, 0, 16);
    source.SetPosition(8);  // 8 bytes from here
    EXPECT_EQ(0, list.Import(3, source));
    EXPECT_EQ(4u, list.Count());
    EXPECT_EQ(5u, list.GetCurMaxCount());  // count + capacity + n
    EXPECT_EQ(8, source.Position());
    EXPECT_EQ(3, *static_cast<int32_t*>(list.Element(1)));
    EXPECT_EQ(4, *static_cast<int32_t*>(list.Element(2)));
    source.SetPosition(16);
    EXPECT_EQ(-501, list.Import(1, source));  // nothing left in the source
    EXPECT_EQ(4u, list.Count());
}

TEST(LList, CreateCopyAndClearKeepsTheType) {
    SortList sorted(sizeof(int32_t), ByInt, 0);
    for (int32_t v : {5, 1, 3}) sorted.SortedInsert(&v, nullptr, 1, 1);
    MemFile* file = sorted.File();
    std::unique_ptr<TnLList> moved(sorted.CreateCopyAndClear());
    ASSERT_NE(nullptr, dynamic_cast<SortList*>(moved.get()));
    EXPECT_EQ(file, moved->File());
    const int32_t three = 3;
    uint32_t pos = 9;
    EXPECT_EQ(0, moved->Search(&three, &pos, nullptr));
    EXPECT_EQ(1u, pos);
    EXPECT_EQ(0u, sorted.Count());
    EXPECT_EQ(0u, sorted.GetCurMaxCount());
    EXPECT_NE(file, sorted.File());

    TnLList plain(sizeof(int32_t), 2);
    std::unique_ptr<TnLList> plainCopy(plain.CreateCopyAndClear());
    ASSERT_NE(nullptr, plainCopy);
    EXPECT_EQ(nullptr, dynamic_cast<SortList*>(plainCopy.get()));
    EXPECT_EQ(2u, plainCopy->GetCurMaxCount());
}

TEST(LList, SortListWithoutCallback) {
    SortList none;
    EXPECT_EQ(-2106, none.Sort());
    EXPECT_EQ(0, none.Init(sizeof(int32_t), ByInt, 4));
    EXPECT_EQ(ByInt, none.CompareCallback());
}

}  // namespace
