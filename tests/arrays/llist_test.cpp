#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "arrays.h"
#include "arrays/int_helpers.h"
#include "memfile.h"
#include "memfile/alloc_failure.h"

namespace {

using mvtest::ByInt;
using mvtest::Ints;

TEST(LList, HoldsPointersByDefault) {
    TnLList list;
    EXPECT_EQ(sizeof(void*), list.ElementSize());
    EXPECT_EQ(2, list.GetType());
    EXPECT_EQ(0xFFFFFFFFu, list.GetMaxCount());
    EXPECT_EQ(nullptr, list.PtrElement(0));
    int a = 0, b = 0;
    void* p = &a;
    void* q = &b;
    ASSERT_EQ(0, list.Insert(0, &p));
    ASSERT_NE(nullptr, list.PtrElement(0));
    EXPECT_EQ(&a, *list.PtrElement(0));
    ASSERT_EQ(0, list.Insert(0, &q));
    EXPECT_EQ(&b, *list.PtrElement(0));
    EXPECT_EQ(&a, *list.PtrElement(1));
    EXPECT_EQ(nullptr, list.PtrElement(2));
    EXPECT_EQ(8u, list.File()->SegmentSize());
}

TEST(LList, GrowsByOneAndShrinksByTen) {
    TnResult rc = 1;
    TnLList list(sizeof(int32_t), 25, &rc);
    EXPECT_EQ(0, rc);
    EXPECT_EQ(100, list.File()->Size());
    for (int32_t i = 0; i < 16; ++i) ASSERT_EQ(0, list.Insert(static_cast<uint32_t>(i), &i));
    EXPECT_EQ(0, list.Delete(0, 1));  // count 15, capacity 25 -> 15
    EXPECT_EQ(15u, list.GetCurMaxCount());
    EXPECT_EQ(60, list.File()->Size());
    EXPECT_EQ(0, list.Delete(14, 1));  // count 14 > 5: stays
    EXPECT_EQ(15u, list.GetCurMaxCount());
    const int32_t x = 99;
    EXPECT_EQ(0, list.Insert(14, &x));
    EXPECT_EQ(0, list.Insert(15, &x));  // full: one more element
    EXPECT_EQ(16u, list.GetCurMaxCount());
    EXPECT_EQ(64, list.File()->Size());
    EXPECT_EQ(-502, list.Insert(17, &x));
    EXPECT_EQ(-502, list.Delete(16, 0));

    TnLList small(sizeof(int32_t), 8);
    small.Insert(0, &x);
    EXPECT_EQ(0, small.Delete(0, 1));
    EXPECT_EQ(0u, small.GetCurMaxCount());
    EXPECT_EQ(0, small.File()->Size());
    EXPECT_EQ(nullptr, small.File()->Data());
}

TEST(LList, ElementAccessAndUpdates) {
    TnLList list(sizeof(int32_t), 0);
    for (int32_t i = 0; i < 5; ++i) list.Insert(list.Count(), &i);
    const int32_t v = 42;
    EXPECT_EQ(0, list.Update(2, &v));
    EXPECT_EQ(-502, list.Update(5, &v));
    EXPECT_EQ(42, *static_cast<int32_t*>(list.Element(2)));
    EXPECT_EQ(nullptr, list.Element(5));
    int32_t* slot = static_cast<int32_t*>(list.PrepareInsert(0));
    ASSERT_NE(nullptr, slot);
    *slot = -1;
    EXPECT_EQ((std::vector<int32_t>{-1, 0, 1, 42, 3, 4}), Ints(list));
    EXPECT_EQ(nullptr, list.PrepareInsert(7));
    EXPECT_EQ(-502, list.SizeSet(5));
    EXPECT_EQ(0, list.SizeSet(6));
    EXPECT_EQ(0, list.SizeSet(40));
    EXPECT_EQ(160, list.File()->Size());
    list.Clear();
    EXPECT_EQ(0u, list.Count());
    EXPECT_EQ(0u, list.GetCurMaxCount());
    EXPECT_EQ(nullptr, list.File()->Data());
}

TEST(LList, GrowthFailures) {
    TnLList list(sizeof(int32_t), 0);
    const int32_t v = 3;
    list.Insert(0, &v);
    mvtest::CountingMemoryHandler handler;
    mvtest::HeapFailure failure;
    EXPECT_EQ(0, list.Insert(1, &v));  // still inside the file's first segment
    EXPECT_EQ(-501, list.Insert(2, &v));
    EXPECT_EQ(2u, list.GetCurMaxCount());
    EXPECT_EQ(2u, list.Count());
    EXPECT_EQ(-10001, list.SizeSet(100));
    EXPECT_EQ(2u, list.GetCurMaxCount());
    EXPECT_EQ(2u, handler.Calls().size());
    MemFile source(16);
    EXPECT_EQ(-501, list.Import(4, source));
    EXPECT_EQ(2u, list.GetCurMaxCount());
    EXPECT_EQ(2u, list.Count());
    EXPECT_EQ(-501, list.Insert(0, nullptr));
    EXPECT_EQ(nullptr, list.PrepareInsert(0));
}

TEST(LList, FileCatchesUpAfterAnUnreportedSizingFailure) {
    TnLList list(sizeof(int32_t), 0);
    {
        mvtest::CountingMemoryHandler handler;
        mvtest::HeapFailure failure;
        EXPECT_EQ(0, list.Init(sizeof(int32_t), 10));  // the file stays empty
    }
    EXPECT_EQ(10u, list.GetCurMaxCount());
    EXPECT_EQ(0, list.File()->Size());
    const int32_t v = 6;
    ASSERT_NE(nullptr, list.PrepareInsert(0));
    ASSERT_EQ(0, list.Insert(1, &v));
    EXPECT_EQ(6, *static_cast<int32_t*>(list.Element(1)));
    MemFile source;
    source.Put(&v, 0, 4);
    EXPECT_EQ(0, list.Import(1, source));
    EXPECT_EQ(6, *static_cast<int32_t*>(list.Element(2)));
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
    const std::vector<int32_t> got = Ints(list);
    EXPECT_EQ(7, got[0]);
    EXPECT_EQ(3, got[1]);
    EXPECT_EQ(4, got[2]);
    EXPECT_EQ(0, list.Import(0, source));
    source.SetPosition(16);
    EXPECT_EQ(-501, list.Import(1, source));  // nothing left in the source
    EXPECT_EQ(4u, list.Count());
}

TEST(LList, CopyAndCopyConstruction) {
    SortList source(sizeof(int32_t), ByInt, 10);
    for (int32_t i = 0; i < 6; ++i) source.Insert(0, &i);
    TnLList copy(source);
    EXPECT_EQ(Ints(source), Ints(copy));
    EXPECT_EQ(10u, copy.GetCurMaxCount());
    EXPECT_EQ(ByInt, copy.CompareCallback());
    EXPECT_NE(source.File(), copy.File());

    TnLList other(2, 3);
    EXPECT_EQ(0, other.Copy(source));
    EXPECT_EQ(Ints(source), Ints(other));
    EXPECT_EQ(nullptr, other.CompareCallback());
    EXPECT_EQ(source.File()->Size(), other.File()->Size());
    TnCList contiguous(sizeof(int32_t), 0);
    EXPECT_EQ(-506, other.Copy(contiguous));
    EXPECT_EQ(0, other.Copy(other));
    EXPECT_EQ(Ints(source), Ints(other));
}

TEST(LList, CreateCopyAndClearKeepsTheType) {
    SortList sorted(sizeof(int32_t), ByInt, 0);
    for (int32_t v : {5, 1, 3}) sorted.SortedInsert(&v, nullptr, 1, 1);
    MemFile* file = sorted.File();
    std::unique_ptr<TnLList> moved(sorted.CreateCopyAndClear());
    ASSERT_NE(nullptr, moved);
    EXPECT_NE(nullptr, dynamic_cast<SortList*>(moved.get()));
    EXPECT_EQ(file, moved->File());
    EXPECT_EQ((std::vector<int32_t>{1, 3, 5}), Ints(*moved));
    const int32_t three = 3;
    uint32_t pos = 9;
    EXPECT_EQ(0, moved->Search(&three, &pos, nullptr));
    EXPECT_EQ(1u, pos);
    EXPECT_EQ(0u, sorted.Count());
    EXPECT_EQ(0u, sorted.GetCurMaxCount());
    EXPECT_NE(file, sorted.File());
    EXPECT_EQ(ByInt, sorted.CompareCallback());

    TnLList plain(sizeof(int32_t), 2);
    plain.Insert(0, &three);
    std::unique_ptr<TnLList> plainCopy(plain.CreateCopyAndClear());
    ASSERT_NE(nullptr, plainCopy);
    EXPECT_EQ(nullptr, dynamic_cast<SortList*>(plainCopy.get()));
    EXPECT_EQ((std::vector<int32_t>{3}), Ints(*plainCopy));
    EXPECT_EQ(2u, plainCopy->GetCurMaxCount());
}

TEST(LList, SortListSetup) {
    SortList none;
    EXPECT_EQ(0, none.ElementSize());
    EXPECT_EQ(-2106, none.Sort());
    EXPECT_EQ(0, none.Init(sizeof(int32_t), ByInt, 4));
    EXPECT_EQ(ByInt, none.CompareCallback());
    for (int32_t v : {4, 2, 9, 1}) none.Insert(0, &v);
    EXPECT_EQ(0, none.Sort());
    EXPECT_EQ((std::vector<int32_t>{1, 2, 4, 9}), Ints(none));
    EXPECT_EQ(0, none.Init(sizeof(int32_t), 0));  // the array's own Init stays reachable
    EXPECT_EQ(0u, none.Count());
}

}  // namespace
