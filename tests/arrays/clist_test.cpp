#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "arrays.h"
#include "arrays/int_helpers.h"
#include "memfile/alloc_failure.h"

namespace {

using mvtest::ByInt;
using mvtest::Ints;

TEST(CList, InitRules) {
    TnResult rc = 1;
    TnCList zero(0, 10, &rc);
    EXPECT_EQ(-503, rc);
    EXPECT_EQ(0u, zero.GetMaxCount());
    EXPECT_EQ(0u, zero.GetCurMaxCount());
    int32_t v = 1;
    EXPECT_EQ(-502, zero.Insert(0, &v));
    EXPECT_EQ(-503, zero.Init(0, 3));

    TnCList big(4, 100000, &rc);
    EXPECT_EQ(0, rc);
    EXPECT_EQ(32767u, big.GetCurMaxCount());
    EXPECT_EQ(32767u, big.GetMaxCount());
    EXPECT_EQ(1, big.GetType());

    TnCList empty;
    EXPECT_EQ(0u, empty.GetMaxCount());
    EXPECT_EQ(0, empty.ElementSize());
    // Init again releases the old block (no leak) and starts empty.
    EXPECT_EQ(0, big.Insert(0, &v));
    EXPECT_EQ(0, big.Init(4, 2));
    EXPECT_EQ(0u, big.Count());
    EXPECT_EQ(2u, big.GetCurMaxCount());

    mvtest::CountingMemoryHandler handler;
    mvtest::HeapFailure failure;
    EXPECT_EQ(-501, big.Init(8, 10));
    EXPECT_EQ(std::vector<uint32_t>{80}, handler.Calls());
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
    list.Get(32766, &v);
    EXPECT_EQ(32766, v);
}

TEST(CList, InsertDeleteAndShrink) {
    TnCList list(sizeof(int32_t), 4);
    const int32_t a = 1, b = 2, c = 3;
    EXPECT_EQ(-502, list.Insert(1, &a));
    EXPECT_EQ(0, list.Insert(0, &a));
    EXPECT_EQ(0, list.Insert(0, &c));
    EXPECT_EQ(0, list.Insert(1, &b));
    EXPECT_EQ((std::vector<int32_t>{3, 2, 1}), Ints(list));
    EXPECT_EQ(-502, list.Delete(3, 1));
    EXPECT_EQ(0, list.Delete(0, 0));
    EXPECT_EQ(4u, list.GetCurMaxCount());  // no shrink without the flag
    EXPECT_EQ(0, list.Insert(0, &c));
    EXPECT_EQ(0, list.Delete(1, 1));
    EXPECT_EQ(2u, list.GetCurMaxCount());
    EXPECT_EQ((std::vector<int32_t>{3, 1}), Ints(list));

    // The last element deleted with shrink from capacity 1 releases the block.
    TnCList one(sizeof(int32_t), 1);
    one.Insert(0, &a);
    EXPECT_EQ(0, one.Delete(0, 1));
    EXPECT_EQ(0u, one.GetCurMaxCount());
    EXPECT_EQ(nullptr, one.Element(0));
    EXPECT_EQ(0, one.Insert(0, &b));
    EXPECT_EQ(1u, one.GetCurMaxCount());

    // An insert without an element leaves the slot's old bytes.
    int32_t* slot = static_cast<int32_t*>(list.PrepareInsert(1));
    ASSERT_NE(nullptr, slot);
    EXPECT_EQ(1, *slot);
    *slot = 9;
    EXPECT_EQ((std::vector<int32_t>{3, 9, 1}), Ints(list));
    EXPECT_EQ(nullptr, list.PrepareInsert(5));
    EXPECT_EQ(-502, list.Update(3, &a));
    EXPECT_EQ(0, list.Update(2, &b));
    int32_t out = 0;
    EXPECT_EQ(-502, list.Get(3, &out));
    EXPECT_EQ(0, list.Get(2, &out));
    EXPECT_EQ(2, out);
}

TEST(CList, SizeSetAndFailedGrowth) {
    TnCList list(sizeof(int32_t), 2);
    const int32_t v[3] = {5, 6, 7};
    list.Insert(0, &v[0]);
    list.Insert(1, &v[1]);
    EXPECT_EQ(-502, list.SizeSet(1));
    EXPECT_EQ(0, list.SizeSet(2));
    EXPECT_EQ(-501, list.SizeSet(32768));
    EXPECT_EQ(0, list.SizeSet(100));
    EXPECT_EQ(100u, list.GetCurMaxCount());
    EXPECT_EQ(0, list.SizeSet(2));
    {
        mvtest::CountingMemoryHandler handler;
        mvtest::HeapFailure failure;
        EXPECT_EQ(-501, list.Insert(2, &v[2]));
        EXPECT_EQ(std::vector<uint32_t>{16}, handler.Calls());
        EXPECT_EQ(-501, list.SizeSet(50));
    }
    EXPECT_EQ(2u, list.GetCurMaxCount());
    EXPECT_EQ((std::vector<int32_t>{5, 6}), Ints(list));
}

TEST(CList, CopyOnlyFromItsOwnType) {
    TnCList source(sizeof(int32_t), 8);
    source.SetCompareCallback(ByInt);
    for (int32_t i = 0; i < 5; ++i) source.Insert(0, &i);
    TnCList copy(source);
    EXPECT_EQ(Ints(source), Ints(copy));
    EXPECT_EQ(8u, copy.GetCurMaxCount());
    EXPECT_EQ(32767u, copy.GetMaxCount());

    TnCList other(2, 1);
    EXPECT_EQ(0, other.Copy(source));
    EXPECT_EQ(Ints(source), Ints(other));
    EXPECT_EQ(sizeof(int32_t), other.ElementSize());
    EXPECT_EQ(nullptr, other.CompareCallback());  // this array's callback is kept
    EXPECT_EQ(0, other.Copy(other));

    TnLList pointers(sizeof(int32_t), 0);
    EXPECT_EQ(-506, other.Copy(pointers));
    EXPECT_EQ(Ints(source), Ints(other));
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

TEST(ArraySearch, BisectionPositions) {
    TnCList list(sizeof(int32_t), 0);
    list.SetCompareCallback(ByInt);
    uint32_t pos = 99;
    const int32_t five = 5;
    EXPECT_EQ(-502, list.Search(&five, &pos, nullptr));
    EXPECT_EQ(0u, pos);
    for (int32_t v : {10, 20, 20, 20, 30, 40, 50}) list.Insert(list.Count(), &v);
    EXPECT_EQ(-502, list.Search(&five, &pos, nullptr));
    EXPECT_EQ(0u, pos);
    const int32_t big = 60, between = 35, twenty = 20, ten = 10, fifty = 50;
    EXPECT_EQ(-502, list.Search(&big, &pos, nullptr));
    EXPECT_EQ(7u, pos);
    EXPECT_EQ(-502, list.Search(&between, &pos, nullptr));
    EXPECT_EQ(5u, pos);
    // The middle element (index 3) is met first among the equal ones.
    int32_t out = 0;
    EXPECT_EQ(0, list.Search(&twenty, &pos, &out));
    EXPECT_EQ(3u, pos);
    EXPECT_EQ(20, out);
    EXPECT_EQ(0, list.Search(&ten, &pos, nullptr));
    EXPECT_EQ(0u, pos);
    EXPECT_EQ(0, list.Search(&fifty, nullptr, nullptr));

    EXPECT_EQ(-502, list.SearchAt(7, &fifty, nullptr));
    EXPECT_EQ(0, list.SearchAt(6, &fifty, &out));
    EXPECT_EQ(1, list.SearchAt(0, &fifty, nullptr));
    EXPECT_EQ(-1, list.SearchAt(6, &ten, nullptr));

    TnCList unordered(sizeof(int32_t), 0);
    unordered.Insert(0, &ten);
    EXPECT_EQ(-2106, unordered.Search(&ten, &pos, nullptr));
    EXPECT_EQ(-2106, unordered.SearchAt(0, &ten, nullptr));
}

TEST(ArraySearch, SortedInsertPlacesAfterTheEqualElementMet) {
    struct Pair {
        int32_t key, tag;
    };
    TnCList list(sizeof(Pair), 0);
    list.SetCompareCallback(ByInt);  // compares the key only
    uint32_t pos = 0;
    for (int32_t tag = 0; tag < 3; ++tag) {
        const Pair p{7, tag};
        ASSERT_EQ(0, list.SortedInsert(&p, &pos, 1, 1));
    }
    // 1st at 0; the 2nd meets it and goes to 1; the 3rd meets index 0 again (middle of 0..1).
    Pair out;
    std::vector<int32_t> tags;
    for (uint32_t i = 0; i < 3; ++i) {
        list.Get(i, &out);
        tags.push_back(out.tag);
    }
    EXPECT_EQ((std::vector<int32_t>{0, 2, 1}), tags);
    EXPECT_EQ(1u, pos);

    const Pair dup{7, 9};
    EXPECT_EQ(-508, list.SortedInsert(&dup, &pos, 0, 1));
    EXPECT_EQ(3u, list.Count());
    const Pair low{1, 5};
    EXPECT_EQ(0, list.SortedInsert(&low, nullptr, 0, 1));
    const Pair high{9, 5};
    EXPECT_EQ(0, list.SortedInsert(&high, &pos, 0, 0));  // slot left for the caller
    EXPECT_EQ(4u, pos);
    EXPECT_EQ(5u, list.Count());
    static_cast<Pair*>(list.Element(pos))->key = 9;
    EXPECT_EQ(0, list.Search(&high, &pos, nullptr));
}

}  // namespace
