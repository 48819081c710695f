// The ordered operations over an array implemented outside the library (reached element by
// element), SearchAt, Clear, and the pointer array when its memory file is short, cannot
// grow or would pass the file's 2 GiB.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "arrays.h"
#include "arrays/int_elements.h"
#include "memfile.h"
#include "support/alloc_failure.h"

namespace {

// A difference, not just its sign: SearchAt must hand the callback's value back as it is.
int32_t ByDifference(const TnVArray*, const void* a, const void* b) {
    return *static_cast<const int32_t*>(a) - *static_cast<const int32_t*>(b);
}

// An array of the caller's own: each element a separate heap block, so nothing is
// contiguous and the base class must ask for every element it compares.
class ScatteredArray : public TnVArray {
  public:
    ScatteredArray() = default;  // element size 0 until Init
    uint16_t GetType() const override { return 3; }
    uint32_t GetCurMaxCount() const override { return static_cast<uint32_t>(m_slots.size()); }
    TnResult Init(uint16_t elementSize, uint32_t) override {
        m_elementSize = elementSize;
        Clear();
        return 0;
    }
    TnResult SizeSet(uint32_t) override { return 0; }
    void Clear() override {
        m_slots.clear();
        m_count = 0;
    }
    TnResult Get(uint32_t index, void* output) const override {
        if (index >= m_count) return ERR_TN_OUT_OF_RANGE;
        std::memcpy(output, m_slots[index].get(), m_elementSize);
        return 0;
    }
    void* Element(uint32_t index) const override {
        return index < m_count ? m_slots[index].get() : nullptr;
    }
    void* PrepareInsert(uint32_t index) override {
        return Insert(index, nullptr) == 0 ? Element(index) : nullptr;
    }
    TnResult Insert(uint32_t index, const void* element) override {
        if (index > m_count) return ERR_TN_OUT_OF_RANGE;
        std::unique_ptr<unsigned char[]> slot(new unsigned char[m_elementSize]());
        if (element != nullptr) std::memcpy(slot.get(), element, m_elementSize);
        m_slots.insert(m_slots.begin() + index, std::move(slot));
        ++m_count;
        return 0;
    }
    TnResult Update(uint32_t index, const void* element) override {
        if (index >= m_count) return ERR_TN_OUT_OF_RANGE;
        std::memcpy(m_slots[index].get(), element, m_elementSize);
        return 0;
    }
    TnResult Delete(uint32_t index, int32_t) override {
        if (index >= m_count) return ERR_TN_OUT_OF_RANGE;
        m_slots.erase(m_slots.begin() + index);
        --m_count;
        return 0;
    }
    TnResult Copy(const TnVArray&) override { return -506; }

  private:
    std::vector<std::unique_ptr<unsigned char[]>> m_slots;
};

// The bisection reaches the same element and position whether the elements are one block
// or scattered; SortedInsert builds the same contents in both.
TEST(ArrayOrdered, ScatteredElementsSearchLikeABlock) {
    ScatteredArray scattered;
    EXPECT_EQ(0u, scattered.ElementSize());
    EXPECT_EQ(0xFFFFFFFFu, scattered.GetMaxCount());  // the base class sets no limit
    scattered.Init(sizeof(int32_t), 0);
    scattered.SetCompareCallback(ByInt);
    TnCList block(sizeof(int32_t), 0);
    block.SetCompareCallback(ByInt);
    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        const int32_t v = static_cast<int32_t>(rng() % 100);
        uint32_t ps = 1, pb = 2;
        const int32_t dup = static_cast<int32_t>(i % 2);
        ASSERT_EQ(block.SortedInsert(&v, &pb, dup, 1), scattered.SortedInsert(&v, &ps, dup, 1));
        ASSERT_EQ(pb, ps);
    }
    ASSERT_EQ(Ints(block), Ints(scattered));
    for (int32_t key = -1; key <= 101; ++key) {
        uint32_t ps = 7, pb = 8;
        int32_t outS = -9, outB = -9;
        ASSERT_EQ(block.Search(&key, &pb, &outB), scattered.Search(&key, &ps, &outS)) << key;
        ASSERT_EQ(pb, ps) << key;
        ASSERT_EQ(outB, outS) << key;
    }
    const int32_t big = 1000;
    uint32_t pos = 0;
    EXPECT_EQ(ERR_TN_OUT_OF_RANGE, scattered.Search(&big, &pos, nullptr));
    EXPECT_EQ(scattered.Count(), pos);
}

// SearchAt compares the key with one element: the callback's value itself, the element
// copied out only when equal; an index at or past the count is -502.
template <typename Array>
void SearchAtRules(Array& array) {
    array.SetCompareCallback(ByDifference);
    for (int32_t v : {10, 20, 30}) array.Insert(array.Count(), &v);
    int32_t out = -1;
    const int32_t twenty = 20, seventeen = 17, fortyFive = 45;
    EXPECT_EQ(0, array.SearchAt(1, &twenty, &out));
    EXPECT_EQ(20, out);
    out = -1;
    EXPECT_EQ(-3, array.SearchAt(1, &seventeen, &out));
    EXPECT_EQ(15, array.SearchAt(2, &fortyFive, &out));
    EXPECT_EQ(-1, out);  // not equal: nothing copied
    EXPECT_EQ(0, array.SearchAt(0, &(out = 10), nullptr));
    EXPECT_EQ(ERR_TN_OUT_OF_RANGE, array.SearchAt(3, &twenty, &out));
    EXPECT_EQ(ERR_TN_OUT_OF_RANGE, array.SearchAt(UINT32_MAX, &twenty, &out));
    array.SetCompareCallback(nullptr);
    EXPECT_EQ(ERR_TN_NO_COMPARE_FUNCTION, array.SearchAt(0, &twenty, &out));
    EXPECT_EQ((std::vector<int32_t>{10, 20, 30}), Ints(array));
}

TEST(ArrayOrdered, SearchAtAnswersTheComparison) {
    TnCList c(sizeof(int32_t), 0);
    SearchAtRules(c);
    TnLList l(sizeof(int32_t), 0);
    SearchAtRules(l);
    ScatteredArray s;
    s.Init(sizeof(int32_t), 0);
    SearchAtRules(s);
}

// Clear empties the array and releases its storage; the element size stays and the
// array is usable again at once.
TEST(ArrayClear, EmptiesAndReleasesTheStorage) {
    TnCList c(sizeof(int32_t), 8);
    SortList l(sizeof(int32_t), ByInt, 8);
    for (int32_t v : {3, 1, 2}) {
        c.Insert(0, &v);
        l.SortedInsert(&v, nullptr, 0, 1);
    }
    c.Clear();
    l.Clear();
    for (TnVArray* a : {static_cast<TnVArray*>(&c), static_cast<TnVArray*>(&l)}) {
        EXPECT_EQ(0u, a->Count());
        EXPECT_EQ(0u, a->GetCurMaxCount());
        EXPECT_EQ(sizeof(int32_t), a->ElementSize());
        EXPECT_EQ(nullptr, a->Element(0));
    }
    EXPECT_EQ(32767u, c.GetMaxCount());
    EXPECT_EQ(0, l.File()->Size());
    EXPECT_EQ(nullptr, l.File()->Data());
    EXPECT_EQ(ByInt, l.CompareCallback());
    const int32_t nine = 9;
    EXPECT_EQ(0, c.Insert(0, &nine));
    EXPECT_EQ(0, l.SortedInsert(&nine, nullptr, 0, 1));
    EXPECT_EQ(std::vector<int32_t>{9}, Ints(c));
    EXPECT_EQ(std::vector<int32_t>{9}, Ints(l));

    TnCList none;  // default: no element size, no maximum count
    EXPECT_EQ(0u, none.ElementSize());
    EXPECT_EQ(0u, none.GetMaxCount());
    none.Clear();
    EXPECT_EQ(0u, none.GetMaxCount());
    EXPECT_EQ(ERR_TN_OUT_OF_RANGE, none.Insert(0, &nine));
}

TEST(SortList, CopyHasItsOwnFileAndTheCallback) {
    SortList source(sizeof(int32_t), ByInt, 0);
    for (int32_t v : {4, 8, 6}) source.SortedInsert(&v, nullptr, 0, 1);
    SortList copy(source);
    EXPECT_EQ(ByInt, copy.CompareCallback());
    EXPECT_EQ(Ints(source), Ints(copy));
    EXPECT_NE(source.File(), copy.File());
    const int32_t five = 5;
    uint32_t pos = 0;
    EXPECT_EQ(0, copy.SortedInsert(&five, &pos, 0, 1));
    EXPECT_EQ(1u, pos);
    EXPECT_EQ((std::vector<int32_t>{4, 5, 6, 8}), Ints(copy));
    EXPECT_EQ((std::vector<int32_t>{4, 6, 8}), Ints(source));

    // Copying an empty list that never had a file block empties this one.
    SortList empty(sizeof(int32_t), ByInt, 0);
    EXPECT_EQ(0, copy.Copy(empty));
    EXPECT_EQ(0u, copy.Count());
    EXPECT_EQ(0u, copy.GetCurMaxCount());
    EXPECT_EQ(0, copy.File()->Size());
}

// Elements whose bytes the file no longer holds (the file shrunk under the array) have no
// address; the array's other answers stay consistent.
TEST(LList, ElementsPastTheFileHaveNoAddress) {
    TnLList pointers;  // pointer-size elements
    int a = 0, b = 0;
    void* pa = &a;
    void* pb = &b;
    pointers.Insert(0, &pa);
    pointers.Insert(1, &pb);
    ASSERT_EQ(0, pointers.File()->SizeSet(static_cast<int32_t>(sizeof(void*))));
    ASSERT_NE(nullptr, pointers.PtrElement(0));
    EXPECT_EQ(&a, *pointers.PtrElement(0));
    EXPECT_EQ(nullptr, pointers.PtrElement(1));
    EXPECT_EQ(nullptr, pointers.Element(1));
    EXPECT_EQ(2u, pointers.Count());

    SortList ints(sizeof(int32_t), ByInt, 0);
    for (int32_t v : {1, 2, 3, 4}) ints.Insert(ints.Count(), &v);
    ASSERT_EQ(0, ints.File()->SizeSet(8));
    const int32_t three = 3;
    const int32_t two = 2;
    EXPECT_EQ(0, ints.SearchAt(1, &two, nullptr));
    EXPECT_EQ(ERR_TN_OUT_OF_RANGE, ints.SearchAt(2, &three, nullptr));
    // The bisection meets element 2 (3 > 2 at element 1) and finds nothing there.
    EXPECT_EQ(ERR_TN_OUT_OF_RANGE, ints.Search(&three, nullptr, nullptr));
    EXPECT_EQ(0, ints.Search(&two, nullptr, nullptr));
}

// The file could not be sized when the capacity was set, and still cannot grow: the
// insertions that need its bytes fail with -501 and change nothing.
TEST(LList, ShortFileThatCannotGrow) {
    TnLList list(sizeof(int32_t), 0);
    {
        mvtest::OutOfMemory oom;
        EXPECT_EQ(0, list.Init(sizeof(int32_t), 10));  // not reported
    }
    EXPECT_EQ(10u, list.GetCurMaxCount());
    EXPECT_EQ(0, list.File()->Size());
    const int32_t v = 5;
    MemFile source;
    source.Put(&v, 0, 4);
    {
        mvtest::OutOfMemory oom;
        EXPECT_EQ(ERR_TN_NO_STORAGE, list.Insert(0, &v));
        EXPECT_EQ(ERR_TN_NO_STORAGE, list.Import(1, source));
        EXPECT_EQ(nullptr, list.PrepareInsert(0));
        EXPECT_EQ(3u, oom.Calls().size());  // each failure reported to the handler
    }
    EXPECT_EQ(0u, list.Count());
    EXPECT_EQ(10u, list.GetCurMaxCount());
    EXPECT_EQ(0, list.Import(1, source));
    EXPECT_EQ(std::vector<int32_t>{5}, Ints(list));
}

// An element of the array itself is copied aside before the file moves; when that copy
// cannot be made (elements above the inline room) the insertion fails and changes nothing.
TEST(LList, OwnElementThatCannotBeCopiedAside) {
    struct Big {
        unsigned char bytes[100];
    };
    TnLList list(sizeof(Big), 4);
    Big a;
    std::memset(&a, 'a', sizeof a);
    ASSERT_EQ(0, list.Insert(0, &a));
    {
        mvtest::OutOfMemory oom;
        EXPECT_EQ(ERR_TN_NO_STORAGE, list.Insert(0, list.Element(0)));
        EXPECT_EQ(std::vector<uint32_t>{sizeof(Big)}, oom.Calls());
        EXPECT_EQ(0, list.Insert(1, &a));  // from outside: no copy needed, room in the file
    }
    EXPECT_EQ(2u, list.Count());
    EXPECT_EQ(0, list.Insert(0, list.Element(1)));
    EXPECT_EQ(3u, list.Count());
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(0, std::memcmp(list.Element(i), &a, sizeof a)) << i;
}

// Copy, Init, SizeSet and Import keep to the file's signed 32-bit sizes and to its memory.
TEST(LList, SizesBeyondTheFileAndCopiesThatCannotGrow) {
    TnLList list(sizeof(int32_t), 2);
    const int32_t v = 1;
    list.Insert(0, &v);
    EXPECT_EQ(ERR_TN_FILE_NO_MEMORY, list.SizeSet(1u << 30));  // 4 GiB of elements
    EXPECT_EQ(2u, list.GetCurMaxCount());
    MemFile source;
    source.Put(&v, 0, 4);
    EXPECT_EQ(ERR_TN_NO_STORAGE, list.Import(1u << 30, source));
    EXPECT_EQ(ERR_TN_NO_STORAGE, list.Import(UINT32_MAX - 1, source));
    EXPECT_EQ(std::vector<int32_t>{1}, Ints(list));
    // Init accepts any capacity; the file follows as elements are written.
    EXPECT_EQ(0, list.Init(sizeof(int32_t), 1u << 30));
    EXPECT_EQ(1u << 30, list.GetCurMaxCount());
    EXPECT_EQ(0, list.Insert(0, &v));
    EXPECT_EQ(std::vector<int32_t>{1}, Ints(list));
    // Room for 2^28 elements that the file never got: growing past them would need more
    // than 2 GiB of file.
    {
        mvtest::OutOfMemory oom;
        EXPECT_EQ(0, list.Init(sizeof(int32_t), 1u << 28));
    }
    EXPECT_EQ(ERR_TN_NO_STORAGE, list.Import((1u << 28) + 1, source));
    EXPECT_EQ(1u << 28, list.GetCurMaxCount());
    EXPECT_EQ(0u, list.Count());

    TnLList full(sizeof(int32_t), 0), target(sizeof(int32_t), 0);
    for (int32_t i = 0; i < 40; ++i) full.Insert(full.Count(), &i);
    target.Insert(0, &v);
    {
        mvtest::OutOfMemory oom;
        EXPECT_EQ(ERR_TN_NO_STORAGE, target.Copy(full));
    }
    EXPECT_EQ(std::vector<int32_t>{1}, Ints(target));
    EXPECT_EQ(0, target.Copy(full));
    EXPECT_EQ(Ints(full), Ints(target));
}

}  // namespace
