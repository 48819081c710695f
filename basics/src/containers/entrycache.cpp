// Fixed-size entry allocators: the block cache and the entry ring.
#include "containers.h"
#include "frame.h"

namespace {
void*& Link(void* p) {
    return *static_cast<void**>(p);
}
}  // namespace

// ---------------------------------------------------------------- TnEntryCache

TnEntryCache::TnEntryCache()
    : freeList(nullptr),
      blockList(nullptr),
      blockTail(nullptr),
      offset(0),
      entrySize(0),
      spareBlocks(nullptr),
      entriesPerBlock(0),
      alignment(0) {
    Init(0, 0, 4);
}

TnEntryCache::TnEntryCache(uint32_t size, uint32_t perBlock, uint16_t align) : TnEntryCache() {
    Init(size, perBlock, align);
}

TnEntryCache::TnEntryCache(const TnEntryCache& other) : TnEntryCache() {
    entrySize = other.entrySize;
    entriesPerBlock = other.entriesPerBlock;
    alignment = other.alignment;
}

TnEntryCache::~TnEntryCache() {
    Clear();
}

void TnEntryCache::Init(uint32_t size, uint32_t perBlock, uint16_t align) {
    Clear();
    // A free entry holds the free-list link, so an entry is at least a pointer wide.
    if (size < sizeof(void*)) size = sizeof(void*);
    // Rounding up must not wrap a huge size to a small one: such a size saturates, and
    // no block of it can be obtained.
    uint64_t rounded = size;
    if (align > 1 && size % align != 0) rounded += align - size % align;
    size = rounded > UINT32_MAX ? UINT32_MAX : uint32_t(rounded);
    entrySize = size;
    alignment = align;
    if (perBlock == 0) perBlock = 2045 / size;
    entriesPerBlock = perBlock != 0 ? perBlock : 1;
}

void* TnEntryCache::GetEntryFromNewBlock() {
    void* block = spareBlocks;
    if (block != nullptr) {
        spareBlocks = Link(block);
    } else {
        const uint64_t bytes = uint64_t(entriesPerBlock) * entrySize + sizeof(void*);
        if (bytes > UINT32_MAX) {
            TnCallMemoryHandler(UINT32_MAX);
            return nullptr;
        }
        if (mmFarResize(&block, static_cast<uint32_t>(bytes)) != 0) return nullptr;
    }
    Link(block) = blockList;
    if (blockList == nullptr) blockTail = block;
    blockList = block;
    offset = (entriesPerBlock - 1) * entrySize;
    return EntryArea(block) + offset;
}

void* TnEntryCache::UngetEntry() {
    if (blockList == nullptr) return nullptr;
    void* result = EntryArea(blockList) + offset;
    offset += entrySize;
    if (offset >= entriesPerBlock * entrySize) {
        // Nothing of the newest block is handed out any more: it becomes spare.
        offset = 0;
        void* block = blockList;
        blockList = Link(block);
        if (blockList == nullptr) blockTail = nullptr;
        Link(block) = spareBlocks;
        spareBlocks = block;
    }
    return result;
}

void TnEntryCache::UngetAllEntries() {
    if (blockList != nullptr) {
        Link(blockTail) = spareBlocks;
        spareBlocks = blockList;
    }
    freeList = nullptr;
    blockList = nullptr;
    blockTail = nullptr;
    offset = 0;
}

void TnEntryCache::Clear() {
    UngetAllEntries();
    while (spareBlocks != nullptr) {
        void* block = spareBlocks;
        spareBlocks = Link(block);
        mmFarResize(&block, 0);
    }
}

// ---------------------------------------------------------------- TnEntryStack

TnEntryStack::TnEntryStack(TnTransactionContext* context, unsigned char* array, uint16_t entrySize,
                           uint16_t slotCount, TnEntryStackFunc init, TnEntryStackFunc destroy)
    : context(context),
      firstSlot(array),
      // The constructor's window already occupies the first slot: a ring has at least one.
      lastSlot(array + size_t(slotCount > 1 ? slotCount - 1 : 0) * entrySize),
      oldest(array),
      current(array),
      newest(array),
      entrySize(entrySize),
      initFunc(init),
      destroyFunc(destroy) {
    initFunc(context, firstSlot);
}

TnEntryStack::~TnEntryStack() {
    if (entrySize == 0) {
        // Every slot is the same address: the window is that one entry.
        destroyFunc(context, oldest);
    } else if (oldest <= newest) {
        for (unsigned char* e = oldest; e <= newest; e += entrySize) destroyFunc(context, e);
    } else {
        for (unsigned char* e = firstSlot; e <= newest; e += entrySize) destroyFunc(context, e);
        for (unsigned char* e = oldest; e <= lastSlot; e += entrySize) destroyFunc(context, e);
    }
}

void* TnEntryStack::GetNextEntry() {
    unsigned char* next = current == lastSlot ? firstSlot : current + entrySize;
    if (next == oldest) return nullptr;
    if (current != newest) return next;
    newest = next;
    initFunc(context, next);
    return next;
}

void* TnEntryStack::GetPrevEntry() {
    unsigned char* prev = current == firstSlot ? lastSlot : current - entrySize;
    if (prev == newest) return nullptr;
    if (current != oldest) return prev;
    oldest = prev;
    initFunc(context, prev);
    return prev;
}

void* TnEntryStack::SetCurrentEntryWithTest(void* entry) {
    unsigned char* e = static_cast<unsigned char*>(entry);
    const bool inside = oldest <= newest
                            ? (e >= oldest && e <= newest)
                            : ((e >= firstSlot && e <= newest) || (e >= oldest && e <= lastSlot));
    if (!inside) return nullptr;
    current = e;
    return e;
}
