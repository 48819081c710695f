// The pointer array when its memory file cannot be created at all. The file is made with
// the nothrow operator new, which no hook of the OS layer reaches, so this program
// replaces that operator; kept to Linux, where replacing it in a program that links the
// library's objects is known to take effect for them.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "arrays.h"
#include "arrays/int_elements.h"
#include "memfile.h"
#include "support/alloc_failure.h"

namespace {
// Counts down the nothrow allocations; the one that reaches 0 fails (-1: none fails).
int g_nothrowUntilFailure = -1;
}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (g_nothrowUntilFailure >= 0 && g_nothrowUntilFailure-- == 0) return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

// The next `skip` nothrow allocations succeed, the one after fails; for one scope.
struct FailNothrowNew {
    explicit FailNothrowNew(int skip = 0) { g_nothrowUntilFailure = skip; }
    ~FailNothrowNew() { g_nothrowUntilFailure = -1; }
};

// Without a file the array holds nothing and says so: every operation that needs storage
// answers its no-storage code; the memory handler hears of the file that was not made.
TEST(LListWithoutFile, AnswersWithoutStorage) {
    mvtest::CountingMemoryHandler handler;
    TnResult rc = 1;
    std::unique_ptr<TnLList> list;
    {
        FailNothrowNew fail;
        list.reset(new TnLList(sizeof(int32_t), 10, &rc));
    }
    EXPECT_EQ(0, rc);  // the constructor's result is always 0
    EXPECT_EQ(std::vector<uint32_t>{sizeof(MemFile)}, handler.Calls());
    EXPECT_EQ(nullptr, list->File());
    EXPECT_EQ(0u, list->GetCurMaxCount());
    const int32_t v = 4;
    EXPECT_EQ(ERR_TN_NO_STORAGE, list->Insert(0, &v));
    EXPECT_EQ(nullptr, list->PrepareInsert(0));
    EXPECT_EQ(ERR_TN_FILE_NO_MEMORY, list->SizeSet(5));
    MemFile source;
    source.Put(&v, 0, 4);
    EXPECT_EQ(ERR_TN_NO_STORAGE, list->Import(1, source));
    TnLList other(sizeof(int32_t), 0);
    other.Insert(0, &v);
    EXPECT_EQ(ERR_TN_NO_STORAGE, list->Copy(other));
    EXPECT_EQ(0, list->Init(sizeof(int32_t), 3));
    EXPECT_EQ(nullptr, list->Element(0));
    EXPECT_EQ(nullptr, list->PtrElement(0));
    EXPECT_EQ(0u, list->Count());
    // Copying from it: an empty array with a file of its own.
    TnLList copy(*list);
    EXPECT_EQ(0u, copy.Count());
    ASSERT_NE(nullptr, copy.File());
    EXPECT_EQ(0, copy.Insert(0, &v));
}

// When the new array (or its file) cannot be made, CreateCopyAndClear answers null and
// leaves this array as it was.
TEST(LListWithoutFile, CreateCopyAndClearKeepsTheArrayWhenItCannotCopy) {
    SortList sorted(sizeof(int32_t), ByInt, 0);
    for (int32_t v : {3, 1, 2}) sorted.SortedInsert(&v, nullptr, 0, 1);
    MemFile* file = sorted.File();
    for (int skip : {0, 1}) {  // the array itself, then its file
        SCOPED_TRACE(skip);
        mvtest::CountingMemoryHandler handler;
        TnLList* copy;
        {
            FailNothrowNew fail(skip);
            copy = sorted.CreateCopyAndClear();
        }
        EXPECT_EQ(nullptr, copy);
        EXPECT_EQ(1u, handler.Calls().size());
        EXPECT_EQ(3u, sorted.Count());
        EXPECT_EQ(file, sorted.File());
        int32_t first = 0;
        EXPECT_EQ(0, sorted.Get(0, &first));
        EXPECT_EQ(1, first);
    }
}

}  // namespace
