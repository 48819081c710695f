// Entry cache, entry ring and bit stack.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "containers.h"
#include "frame.h"
#include "os/os_testing.h"

namespace {

// Counts heap requests made through the OS layer while in scope.
int g_mallocs = 0;
bool g_failMalloc = false;
void* CountingMalloc(size_t n) {
    ++g_mallocs;
    return g_failMalloc ? nullptr : std::malloc(n);
}
struct HeapCounter {
    HeapCounter() { g_mallocs = 0; }
    ~HeapCounter() { g_failMalloc = false; }
    mvos::ScopedSyscall<void* (*)(size_t)> hook{&mvos::SyscallTable::malloc, CountingMalloc};
};

// A memory handler that records the size and lets the allocation fail.
uint32_t g_handlerSize = 0;
int32_t RecordingHandler(uint32_t size) {
    g_handlerSize = size;
    return 0;
}
struct HandlerScope {
    HandlerScope() : previous(mmTnSetHandler(RecordingHandler)) { g_handlerSize = 0; }
    ~HandlerScope() { mmTnSetHandler(previous); }
    TnMemoryHandler previous;
};

TEST(EntryCache, InitArithmetic) {
    TnEntryCache c;
    EXPECT_EQ(sizeof(void*), c.entrySize);  // default: the minimum entry
    EXPECT_EQ(2045u / sizeof(void*), c.entriesPerBlock);
    c.Init(10, 0, 8);
    EXPECT_EQ(16u, c.entrySize);
    EXPECT_EQ(127u, c.entriesPerBlock);
    c.Init(3000, 0, 4);
    EXPECT_EQ(3000u, c.entrySize);
    EXPECT_EQ(1u, c.entriesPerBlock);
    c.Init(3, 0, 0);
    EXPECT_EQ(sizeof(void*), c.entrySize);
    EXPECT_EQ(2045u / sizeof(void*), c.entriesPerBlock);  // 255 here, 511 on 32-bit
    c.Init(13, 7, 1);
    EXPECT_EQ(13u, c.entrySize);
    EXPECT_EQ(7u, c.entriesPerBlock);
    EXPECT_EQ(1, c.alignment);

    TnEntryCache copy(c);
    EXPECT_EQ(13u, copy.entrySize);
    EXPECT_EQ(7u, copy.entriesPerBlock);
    EXPECT_EQ(nullptr, copy.blockList);
}

TEST(EntryCache, HandsOutFromTheEndOfABlockAndTakesBack) {
    TnEntryCache c(16, 4, 8);
    HeapCounter heap;
    auto* e3 = static_cast<unsigned char*>(c.GetEntry());
    auto* e2 = static_cast<unsigned char*>(c.GetEntry());
    auto* e1 = static_cast<unsigned char*>(c.GetEntry());
    EXPECT_EQ(1, g_mallocs);
    EXPECT_EQ(e3 - 16, e2);
    EXPECT_EQ(e2 - 16, e1);
    EXPECT_EQ(static_cast<unsigned char*>(c.blockList) + sizeof(void*) + 48, e3);
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(e1) % alignof(void*));

    // UngetEntry right after GetEntry gives the same pointer back.
    EXPECT_EQ(e1, c.UngetEntry());
    EXPECT_EQ(e1, c.GetEntry());

    // Single give-back is served first, last in first out.
    c.ReturnEntry(e2);
    c.ReturnEntry(e3);
    EXPECT_EQ(e3, c.GetEntry());
    EXPECT_EQ(e2, c.GetEntry());

    auto* e0 = c.GetEntry();
    EXPECT_EQ(e1 - 16, e0);
    void* next = c.GetEntry();  // block exhausted: a second block
    EXPECT_EQ(2, g_mallocs);
    EXPECT_NE(nullptr, next);

    // Taking back the only entry of the newest block makes it spare; it is reused.
    void* spareBlock = c.blockList;
    EXPECT_EQ(next, c.UngetEntry());
    EXPECT_EQ(spareBlock, c.spareBlocks);
    EXPECT_EQ(0u, c.offset);
    EXPECT_EQ(next, c.GetEntry());
    EXPECT_EQ(2, g_mallocs);
}

TEST(EntryCache, UngetAllKeepsBlocksClearReleasesThem) {
    TnEntryCache c(8, 2, 8);
    HeapCounter heap;
    std::vector<void*> first;
    for (int i = 0; i < 6; ++i) first.push_back(c.GetEntry());
    c.ReturnEntry(first[0]);
    EXPECT_EQ(3, g_mallocs);
    c.UngetAllEntries();
    EXPECT_EQ(nullptr, c.freeList);
    EXPECT_EQ(nullptr, c.blockList);
    EXPECT_EQ(nullptr, c.UngetEntry());
    for (int i = 0; i < 6; ++i) EXPECT_NE(nullptr, c.GetEntry());
    EXPECT_EQ(3, g_mallocs);  // all served from the spare blocks
    c.Clear();
    EXPECT_EQ(nullptr, c.spareBlocks);
    c.GetEntry();
    EXPECT_EQ(4, g_mallocs);
}

TEST(EntryCache, FailedBlockCallsTheHandlerAndYieldsNull) {
    TnEntryCache c(16, 10, 8);
    HandlerScope handler;
    HeapCounter heap;
    g_failMalloc = true;
    EXPECT_EQ(nullptr, c.GetEntry());
    EXPECT_EQ(10u * 16 + sizeof(void*), g_handlerSize);
    g_failMalloc = false;
    EXPECT_NE(nullptr, c.GetEntry());
}

TEST(EntryCache, HugeEntrySizeSaturatesInsteadOfWrapping) {
    TnEntryCache c(UINT32_MAX - 2, 0, 8);
    EXPECT_EQ(UINT32_MAX, c.entrySize);
    EXPECT_EQ(1u, c.entriesPerBlock);
    HandlerScope handler;
    EXPECT_EQ(nullptr, c.GetEntry());
    EXPECT_EQ(UINT32_MAX, g_handlerSize);
}

// ---------------------------------------------------------------- entry ring

struct RingLog {
    std::vector<int> inits, destroys;
};
RingLog* g_ring = nullptr;
int SlotOf(void* e) {
    return *static_cast<int*>(e);
}
void RingInit(TnTransactionContext* ctx, void* e) {
    EXPECT_EQ(reinterpret_cast<TnTransactionContext*>(g_ring), ctx);
    g_ring->inits.push_back(SlotOf(e));
}
void RingDestroy(TnTransactionContext*, void* e) {
    g_ring->destroys.push_back(SlotOf(e));
}

struct Ring {
    explicit Ring(int slots) : data(slots * 4) {
        for (int i = 0; i < slots; ++i) data[i * 4] = i;  // each 16-byte slot knows its index
        g_ring = &log;
    }
    unsigned char* Slot(int i) { return reinterpret_cast<unsigned char*>(&data[i * 4]); }
    TnTransactionContext* Ctx() { return reinterpret_cast<TnTransactionContext*>(&log); }
    std::vector<int> data;
    RingLog log;
};

TEST(EntryStack, ForwardsUntilTheRingIsFull) {
    Ring r(3);
    {
        TnEntryStack s(r.Ctx(), r.Slot(0), 16, 3, RingInit, RingDestroy);
        EXPECT_EQ(std::vector<int>{0}, r.log.inits);
        EXPECT_EQ(r.Slot(1), s.GetNextEntry());
        EXPECT_EQ(r.Slot(0), s.current);         // current does not move
        EXPECT_EQ(r.Slot(1), s.GetNextEntry());  // already in the window: no second init
        EXPECT_EQ((std::vector<int>{0, 1}), r.log.inits);
        EXPECT_EQ(nullptr, s.SetCurrentEntryWithTest(r.Slot(2)));  // outside the window
        EXPECT_EQ(r.Slot(1), s.SetCurrentEntryWithTest(s.GetNextEntry()));
        EXPECT_EQ(r.Slot(2), s.SetCurrentEntryWithTest(s.GetNextEntry()));
        EXPECT_EQ(nullptr, s.GetNextEntry());  // the window fills the ring
        EXPECT_EQ(r.Slot(1), s.GetPrevEntry());
        EXPECT_EQ(r.Slot(0), s.SetCurrentEntryWithTest(r.Slot(0)));
        EXPECT_EQ(nullptr, s.GetPrevEntry());
        EXPECT_EQ((std::vector<int>{0, 1, 2}), r.log.inits);
    }
    EXPECT_EQ((std::vector<int>{0, 1, 2}), r.log.destroys);
}

TEST(EntryStack, BackwardsWrapsAndDestroysInRingOrder) {
    Ring r(5);
    {
        TnEntryStack s(r.Ctx(), r.Slot(0), 16, 5, RingInit, RingDestroy);
        EXPECT_EQ(r.Slot(4), s.SetCurrentEntryWithTest(s.GetPrevEntry()));  // wraps to the end
        EXPECT_EQ(r.Slot(3), s.SetCurrentEntryWithTest(s.GetPrevEntry()));
        EXPECT_EQ(r.Slot(4), s.SetCurrentEntryWithTest(r.Slot(4)));
        EXPECT_EQ(r.Slot(0), s.SetCurrentEntryWithTest(r.Slot(0)));
        EXPECT_EQ(nullptr, s.SetCurrentEntryWithTest(r.Slot(2)));
        // An address inside a live slot counts as inside.
        EXPECT_NE(nullptr, s.SetCurrentEntryWithTest(r.Slot(3) + 3));
        EXPECT_EQ(r.Slot(0), s.SetCurrentEntryWithTest(r.Slot(0)));
        EXPECT_EQ(r.Slot(1), s.SetCurrentEntryWithTest(s.GetNextEntry()));
        EXPECT_EQ((std::vector<int>{0, 4, 3, 1}), r.log.inits);
    }
    // Wrapped window: from the first slot to newest, then oldest to the last slot.
    EXPECT_EQ((std::vector<int>{0, 1, 3, 4}), r.log.destroys);
}

TEST(EntryStack, DegenerateRingsStayOnTheirOneSlot) {
    for (uint16_t slots : {1, 0}) {
        Ring r(2);
        {
            TnEntryStack s(r.Ctx(), r.Slot(0), 16, slots, RingInit, RingDestroy);
            EXPECT_EQ(nullptr, s.GetNextEntry());
            EXPECT_EQ(nullptr, s.GetPrevEntry());
        }
        EXPECT_EQ(std::vector<int>{0}, r.log.inits);
        EXPECT_EQ(std::vector<int>{0}, r.log.destroys);
    }
    Ring r(1);
    { TnEntryStack s(r.Ctx(), r.Slot(0), 0, 3, RingInit, RingDestroy); }
    EXPECT_EQ(std::vector<int>{0}, r.log.destroys);
}

// ---------------------------------------------------------------- bit stack

TEST(BitsStack, InlineCapacityForEveryWidth) {
    const uint32_t capacity[9] = {0, 26, 13, 8, 6, 5, 4, 3, 3};
    for (uint8_t nbits = 1; nbits <= 8; ++nbits) {
        TnBitsStack s;
        const uint8_t ones = uint8_t((1u << nbits) - 1);
        for (uint32_t i = 0; i < capacity[nbits]; ++i) {
            // Alternate all-ones and a pattern so that neighbouring fields must not bleed.
            const uint8_t v = (i % 2 == 0) ? ones : uint8_t(i & (ones >> 1));
            ASSERT_EQ(0, s.Push(v, nbits)) << int(nbits) << " " << i;
        }
        EXPECT_EQ(-1, s.Push(1, nbits)) << int(nbits);
        EXPECT_EQ(capacity[nbits], s.GetNum());
        EXPECT_EQ(1u, s.store & 1u);
        for (uint32_t i = capacity[nbits]; i-- > 0;) {
            const uint8_t v = (i % 2 == 0) ? ones : uint8_t(i & (ones >> 1));
            uint8_t top = 0, out = 0;
            s.GetTop(&top, nbits);
            ASSERT_EQ(0, s.Pop(&out, nbits));
            EXPECT_EQ(v, top);
            EXPECT_EQ(v, out);
        }
        uint8_t untouched = 0xAB;
        EXPECT_EQ(-1, s.Pop(&untouched, nbits));
        s.GetTop(&untouched, nbits);
        EXPECT_EQ(0xAB, untouched);
        EXPECT_EQ(1u, s.store & 0x3Fu);  // empty inline word; vacated fields keep their bits
    }
}

TEST(BitsStack, PushAfterPopOverwritesTheOldField) {
    TnBitsStack s;
    s.Push(7, 3);
    s.Push(7, 3);
    uint8_t v;
    s.Pop(&v, 3);
    s.Push(2, 3);
    s.GetTop(&v, 3);
    EXPECT_EQ(2, v);
}

TEST(BitsStack, ResizeBothWaysAndFailureKeepsTheStack) {
    TnBitsStack s;
    for (int i = 0; i < 20; ++i) s.Push(uint8_t(i % 3 == 0), 1);
    EXPECT_EQ(-1, s.Resize(19, 1));  // too small: nothing changes
    EXPECT_EQ(20u, s.GetNum());
    EXPECT_EQ(1u, s.store & 1u);

    ASSERT_EQ(0, s.Resize(64, 1));
    EXPECT_EQ(0u, s.store & 1u);
    EXPECT_EQ(20u, s.GetNum());
    for (int i = 20; i < 64; ++i) ASSERT_EQ(0, s.Push(uint8_t(i % 3 == 0), 1));
    EXPECT_EQ(-1, s.Push(1, 1));
    for (int i = 0; i < 44; ++i) {
        uint8_t v;
        s.Pop(&v, 1);
    }
    EXPECT_EQ(-1, s.Resize(10, 1));  // heap stays heap with all items
    EXPECT_EQ(20u, s.GetNum());

    TnBitsStack wide;
    for (int i = 0; i < 20; ++i) wide.Push(uint8_t(i % 3 == 0), 1);
    ASSERT_EQ(0, s.Resize(0, 1));  // back to the inline form
    EXPECT_EQ(wide.store, s.store);
    ASSERT_EQ(0, s.Resize(0, 1));  // inline to inline
    EXPECT_EQ(wide.store, s.store);

    TnBitsStack h(4);
    h.Push(200, 8);
    h.Push(255, 8);
    EXPECT_EQ(0, h.Resize(0, 8));  // two 8-bit items fit inline
    EXPECT_EQ(1u, h.store & 1u);
    uint8_t v;
    h.Pop(&v, 8);
    EXPECT_EQ(255, v);
    h.Pop(&v, 8);
    EXPECT_EQ(200, v);
}

TEST(BitsStack, CopiesAreIndependent) {
    TnBitsStack a(8);
    a.Push(5, 8);
    TnBitsStack b(a);
    TnBitsStack c;
    c = a;
    b.Push(6, 8);
    EXPECT_EQ(1u, a.GetNum());
    EXPECT_EQ(2u, b.GetNum());
    EXPECT_EQ(1u, c.GetNum());
    uint8_t v;
    c.GetTop(&v, 8);
    EXPECT_EQ(5, v);
    TnBitsStack& self = a;
    a = self;  // self-assignment keeps the stack
    EXPECT_EQ(1u, a.GetNum());

    TnBitsStack inl;
    inl.Push(3, 2);
    c = inl;  // heap target becomes the inline word
    EXPECT_EQ(inl.store, c.store);
}

TEST(BitsStack, AllocationFailureCallsTheHandler) {
    HandlerScope handler;
    HeapCounter heap;
    g_failMalloc = true;
    TnBitsStack s(100);
    EXPECT_EQ(108u, g_handlerSize);
    EXPECT_EQ(1u, s.store);  // falls back to the empty inline form
    s.Push(1, 1);
    EXPECT_EQ(-1, s.Resize(50, 1));
    EXPECT_EQ(1u, s.GetNum());
}

}  // namespace
