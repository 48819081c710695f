// Entry cache, entry ring and bit stack.
#include <gtest/gtest.h>

#include <vector>

#include "containers.h"
#include "support/alloc_failure.h"

namespace {

TEST(EntryCache, InitArithmetic) {
    // {size, perBlock, alignment} -> {entrySize, entriesPerBlock}; a free entry holds a link,
    // so the minimum entry is a pointer (255 per block here, 511 on a 32-bit build).
    const uint32_t ptr = sizeof(void*);
    const struct {
        uint32_t size, perBlock;
        uint16_t align;
        uint32_t entrySize, entries;
    } rows[] = {{0, 0, 4, ptr, 2045 / ptr}, {10, 0, 8, 16, 127},
                {3000, 0, 4, 3000, 1},      {3, 0, 0, ptr, 2045 / ptr},
                {13, 7, 1, 13, 7},          {UINT32_MAX - 2, 0, 8, UINT32_MAX, 1}};
    for (const auto& r : rows) {
        TnEntryCache c(r.size, r.perBlock, r.align);
        EXPECT_EQ(r.entrySize, c.entrySize) << r.size;
        EXPECT_EQ(r.entries, c.entriesPerBlock) << r.size;
        TnEntryCache copy(c);
        EXPECT_EQ(r.entrySize, copy.entrySize);
        EXPECT_EQ(r.entries, copy.entriesPerBlock);
    }
    EXPECT_EQ(sizeof(void*), TnEntryCache().entrySize);
}

TEST(EntryCache, HandsOutFromTheEndOfABlockAndTakesBack) {
    TnEntryCache c(16, 4, 8);
    mvtest::CountedMalloc heap;
    auto* e3 = static_cast<unsigned char*>(c.GetEntry());
    auto* e2 = static_cast<unsigned char*>(c.GetEntry());
    auto* e1 = static_cast<unsigned char*>(c.GetEntry());
    EXPECT_EQ(1, heap.Count());
    EXPECT_EQ(static_cast<unsigned char*>(c.blockList) + sizeof(void*) + 48, e3);
    EXPECT_EQ(e3 - 16, e2);
    EXPECT_EQ(e2 - 16, e1);
    EXPECT_EQ(e1, c.UngetEntry());  // right after GetEntry: the same pointer
    EXPECT_EQ(e1, c.GetEntry());
    c.ReturnEntry(e2);  // single give-back is served first, last in first out
    c.ReturnEntry(e3);
    EXPECT_EQ(e3, c.GetEntry());
    EXPECT_EQ(e2, c.GetEntry());
    EXPECT_EQ(e1 - 16, c.GetEntry());
    void* next = c.GetEntry();  // block exhausted: a second block
    EXPECT_EQ(2, heap.Count());
    // Taking back the only entry of the newest block makes it spare; it is reused.
    void* spareBlock = c.blockList;
    EXPECT_EQ(next, c.UngetEntry());
    EXPECT_EQ(spareBlock, c.spareBlocks);
    EXPECT_EQ(next, c.GetEntry());
    EXPECT_EQ(2, heap.Count());
    // All at once: the blocks are kept and serve the next entries; Clear releases them.
    c.ReturnEntry(e1);
    c.UngetAllEntries();
    EXPECT_EQ(nullptr, c.freeList);
    EXPECT_EQ(nullptr, c.UngetEntry());
    for (int i = 0; i < 8; ++i) EXPECT_NE(nullptr, c.GetEntry());
    EXPECT_EQ(2, heap.Count());
    c.Clear();
    EXPECT_EQ(nullptr, c.spareBlocks);
    c.GetEntry();
    EXPECT_EQ(3, heap.Count());
}

// Entries of a small alignment lie at any address; the free list still links them
// (UndefinedBehaviorSanitizer reports a misaligned link).
TEST(EntryCache, FreeListLinksEntriesOfAnyAlignment) {
    for (uint16_t align : {1, 2, 4}) {
        TnEntryCache c(11, 6, align);
        std::vector<void*> taken;
        for (int i = 0; i < 9; ++i) taken.push_back(c.GetEntry());
        for (void* e : taken) c.ReturnEntry(e);
        for (auto it = taken.rbegin(); it != taken.rend(); ++it) EXPECT_EQ(*it, c.GetEntry());
        EXPECT_EQ(nullptr, c.freeList);
    }
}

TEST(EntryCache, FailedBlockCallsTheHandlerAndYieldsNull) {
    TnEntryCache c(16, 10, 8), huge(UINT32_MAX - 2, 0, 8);
    mvtest::CountingMemoryHandler handler;
    {
        mvtest::HeapFailure failure;
        EXPECT_EQ(nullptr, c.GetEntry());
    }
    EXPECT_NE(nullptr, c.GetEntry());
    EXPECT_EQ(nullptr, huge.GetEntry());  // no block of that size can exist
    EXPECT_EQ((std::vector<uint32_t>{uint32_t(10 * 16 + sizeof(void*)), UINT32_MAX}),
              handler.Calls());
}

struct RingLog {
    std::vector<int> inits, destroys;
};
int SlotOf(void* e) {
    return *static_cast<int*>(e);
}
void RingInit(TnTransactionContext* ctx, void* e) {
    reinterpret_cast<RingLog*>(ctx)->inits.push_back(SlotOf(e));
}
void RingDestroy(TnTransactionContext* ctx, void* e) {
    reinterpret_cast<RingLog*>(ctx)->destroys.push_back(SlotOf(e));
}

// Slots of 16 bytes that know their index; the log is the context.
struct Ring {
    explicit Ring(int slots) : data(slots * 4) {
        for (int i = 0; i < slots; ++i) data[i * 4] = i;
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
        EXPECT_EQ(r.Slot(1), s.GetNextEntry());
        EXPECT_EQ(r.Slot(0), s.current);         // current does not move
        EXPECT_EQ(r.Slot(1), s.GetNextEntry());  // already in the window: no second init
        EXPECT_EQ(nullptr, s.SetCurrentEntryWithTest(r.Slot(2)));  // outside the window
        EXPECT_EQ(r.Slot(1), s.SetCurrentEntryWithTest(s.GetNextEntry()));
        EXPECT_EQ(r.Slot(2), s.SetCurrentEntryWithTest(s.GetNextEntry()));
        EXPECT_EQ(nullptr, s.GetNextEntry());  // the window fills the ring
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
        EXPECT_EQ(nullptr, s.SetCurrentEntryWithTest(r.Slot(2)));
        EXPECT_NE(nullptr, s.SetCurrentEntryWithTest(r.Slot(3) + 3));  // inside a live slot
        EXPECT_EQ(r.Slot(0), s.SetCurrentEntryWithTest(r.Slot(0)));
        EXPECT_EQ(r.Slot(1), s.SetCurrentEntryWithTest(s.GetNextEntry()));
        EXPECT_EQ((std::vector<int>{0, 4, 3, 1}), r.log.inits);
    }
    // Wrapped window: from the first slot to newest, then oldest to the last slot.
    EXPECT_EQ((std::vector<int>{0, 1, 3, 4}), r.log.destroys);
}

TEST(EntryStack, DegenerateRingsStayOnTheirOneSlot) {
    // {slot count, entry size}: one slot, no slots, entries of no size.
    for (auto shape : {std::make_pair(1, 16), std::make_pair(0, 16), std::make_pair(3, 0)}) {
        Ring r(2);
        {
            TnEntryStack s(r.Ctx(), r.Slot(0), uint16_t(shape.second), uint16_t(shape.first),
                           RingInit, RingDestroy);
            EXPECT_EQ(nullptr, s.GetNextEntry());
            EXPECT_EQ(nullptr, s.GetPrevEntry());
        }
        EXPECT_EQ(std::vector<int>{0}, r.log.inits);
        EXPECT_EQ(std::vector<int>{0}, r.log.destroys);
    }
}

TEST(BitsStack, InlineCapacityForEveryWidth) {
    const uint32_t capacity[9] = {0, 26, 13, 8, 6, 5, 4, 3, 3};
    for (uint8_t nbits = 1; nbits <= 8; ++nbits) {
        TnBitsStack s;
        const uint8_t ones = uint8_t((1u << nbits) - 1);
        // Alternate all-ones and a pattern so that neighbouring fields must not bleed.
        auto value = [&](uint32_t i) { return (i % 2 == 0) ? ones : uint8_t(i & (ones >> 1)); };
        for (uint32_t i = 0; i < capacity[nbits]; ++i) ASSERT_EQ(0, s.Push(value(i), nbits));
        EXPECT_EQ(-1, s.Push(1, nbits)) << int(nbits);
        EXPECT_EQ(capacity[nbits], s.GetNum());
        EXPECT_EQ(1u, s.store & 1u);
        for (uint32_t i = capacity[nbits]; i-- > 0;) {
            uint8_t top = 0, out = 0;
            s.GetTop(&top, nbits);
            ASSERT_EQ(0, s.Pop(&out, nbits));
            EXPECT_EQ(value(i), top);
            EXPECT_EQ(value(i), out);
        }
        uint8_t untouched = 0xAB;
        EXPECT_EQ(-1, s.Pop(&untouched, nbits));
        s.GetTop(&untouched, nbits);
        EXPECT_EQ(0xAB, untouched);
        // The vacated fields keep their bits; a push clears its own field.
        ASSERT_EQ(0, s.Push(0, nbits));
        s.GetTop(&untouched, nbits);
        EXPECT_EQ(0, untouched);
    }
}

TEST(BitsStack, ResizeBothWaysAndFailureKeepsTheStack) {
    TnBitsStack s, inline20;
    for (int i = 0; i < 20; ++i) s.Push(uint8_t(i % 3 == 0), 1);
    inline20 = s;
    EXPECT_EQ(-1, s.Resize(19, 1));  // too small: nothing changes
    EXPECT_EQ(inline20.store, s.store);
    ASSERT_EQ(0, s.Resize(64, 1));
    EXPECT_EQ(0u, s.store & 1u);
    EXPECT_EQ(20u, s.GetNum());
    for (int i = 20; i < 64; ++i) ASSERT_EQ(0, s.Push(1, 1));
    EXPECT_EQ(-1, s.Push(1, 1));
    uint8_t v;
    for (int i = 0; i < 44; ++i) s.Pop(&v, 1);
    EXPECT_EQ(-1, s.Resize(10, 1));  // heap stays heap with all items
    EXPECT_EQ(20u, s.GetNum());
    ASSERT_EQ(0, s.Resize(0, 1));  // back to the same inline word
    EXPECT_EQ(inline20.store, s.store);

    TnBitsStack h(4);
    h.Push(200, 8);
    h.Push(255, 8);
    EXPECT_EQ(0, h.Resize(0, 8));  // two 8-bit items fit inline
    EXPECT_EQ(1u, h.store & 1u);
    h.Pop(&v, 8);
    EXPECT_EQ(255, v);
    h.Pop(&v, 8);
    EXPECT_EQ(200, v);

    // Copies of a heap stack are independent; an inline copy is the word itself.
    TnBitsStack a(8);
    a.Push(5, 8);
    TnBitsStack b(a), c;
    c = a;
    b.Push(6, 8);
    EXPECT_EQ(1u, a.GetNum());
    EXPECT_EQ(2u, b.GetNum());
    c.GetTop(&v, 8);
    EXPECT_EQ(5, v);
    c = inline20;
    EXPECT_EQ(inline20.store, c.store);
}

TEST(BitsStack, AllocationFailureCallsTheHandler) {
    mvtest::OutOfMemory oom;
    TnBitsStack s(100);
    EXPECT_EQ(std::vector<uint32_t>{108}, oom.Calls());
    EXPECT_EQ(1u, s.store);  // falls back to the empty inline form
    s.Push(1, 1);
    EXPECT_EQ(-1, s.Resize(50, 1));
    EXPECT_EQ(1u, s.GetNum());
}

}  // namespace
