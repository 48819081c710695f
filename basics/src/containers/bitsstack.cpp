// The bit stack: small values inline in one word, or one byte per item on the heap.
#include <cstring>

#include "containers.h"
#include "frame.h"
#include "os/os.h"

namespace {

// Inline form: bit 0 set, the count in bits 1-5, the items from bit 6 on. The payload
// stays 26 bits wide on every platform so that the capacity by width is the same.
constexpr uintptr_t kInlineTag = 1;
constexpr uintptr_t kCountMask = 0x3E;
constexpr unsigned kPayloadShift = 6;
constexpr unsigned kPayloadBits = 26;

struct HeapBlock {
    uint32_t capacity;
    uint32_t count;
    // the capacity's item bytes follow
};
constexpr size_t kHeaderSize = sizeof(HeapBlock);
uint8_t* Items(HeapBlock* h) {
    return reinterpret_cast<uint8_t*>(h) + kHeaderSize;
}

bool IsInline(uintptr_t store) {
    return (store & kInlineTag) != 0;
}
HeapBlock* Heap(uintptr_t store) {
    return reinterpret_cast<HeapBlock*>(store);
}
uint32_t InlineCount(uintptr_t store) {
    return uint32_t((store & kCountMask) >> 1);
}

// New storage word for a capacity: the empty inline form for 0, else an empty heap
// block. 0 when the block could not be obtained.
uintptr_t MakeStorage(uint32_t capacity) {
    if (capacity == 0) return kInlineTag;
    const size_t bytes = kHeaderSize + capacity;
    void* block = mvos::Malloc(bytes);
    if (block == nullptr) {
        TnCallMemoryHandler(uint32_t(bytes));
        block = mvos::Malloc(bytes);
        if (block == nullptr) return 0;
    }
    HeapBlock* h = static_cast<HeapBlock*>(block);
    h->capacity = capacity;
    h->count = 0;
    return reinterpret_cast<uintptr_t>(block);
}

uint8_t ItemAt(uintptr_t store, uint32_t i, uint8_t nbits) {
    if (IsInline(store)) {
        return uint8_t((store >> (kPayloadShift + i * nbits)) & ((1u << nbits) - 1));
    }
    return Items(Heap(store))[i];
}

}  // namespace

TnBitsStack::TnBitsStack() : store(kInlineTag) {}

TnBitsStack::TnBitsStack(uint32_t capacity) : store(MakeStorage(capacity)) {
    // When even the memory handler could not help, the stack starts in the inline form.
    if (store == 0) store = kInlineTag;
}

TnBitsStack::TnBitsStack(const TnBitsStack& other) : store(0) {
    CopyFrom(other);
}

TnBitsStack& TnBitsStack::operator=(const TnBitsStack& other) {
    if (this != &other) {
        Release();
        CopyFrom(other);
    }
    return *this;
}

TnBitsStack::~TnBitsStack() {
    Release();
}

void TnBitsStack::Release() {
    if (store != 0 && !IsInline(store)) mvos::Free(Heap(store));
    store = 0;
}

void TnBitsStack::CopyFrom(const TnBitsStack& other) {
    if (other.store == 0 || IsInline(other.store)) {
        store = other.store;
        return;
    }
    const HeapBlock* src = Heap(other.store);
    store = MakeStorage(src->capacity);
    if (store == 0) {
        store = kInlineTag;
        return;
    }
    std::memcpy(Heap(store), src, kHeaderSize + src->capacity);
}

int TnBitsStack::Push(uint8_t value, uint8_t nbits) {
    if (IsInline(store)) {
        const uint32_t n = InlineCount(store);
        if ((n + 1) * nbits > kPayloadBits) return ERR_TN_FAILED;
        const unsigned shift = kPayloadShift + n * nbits;
        store &= ~(((uintptr_t(1) << nbits) - 1) << shift);
        store |= uintptr_t(value) << shift;
        store = (store & ~kCountMask) | (uintptr_t(n + 1) << 1);
        return 0;
    }
    HeapBlock* h = Heap(store);
    if (h->count + 1 > h->capacity) return ERR_TN_FAILED;
    Items(h)[h->count++] = value;
    return 0;
}

void TnBitsStack::GetTop(uint8_t* value, uint8_t nbits) {
    // An empty stack has no top: the output is left alone.
    const uint32_t n = GetNum();
    if (n != 0) *value = ItemAt(store, n - 1, nbits);
}

int TnBitsStack::Pop(uint8_t* value, uint8_t nbits) {
    const uint32_t n = GetNum();
    if (n == 0) return ERR_TN_FAILED;
    *value = ItemAt(store, n - 1, nbits);
    if (IsInline(store)) {
        store = (store & ~kCountMask) | (uintptr_t(n - 1) << 1);
    } else {
        Heap(store)->count = n - 1;
    }
    return 0;
}

uint32_t TnBitsStack::GetNum() {
    if (store == 0) return 0;
    return IsInline(store) ? InlineCount(store) : Heap(store)->count;
}

int TnBitsStack::Resize(uint32_t newCapacity, uint8_t nbits) {
    TnBitsStack fresh;
    fresh.store = MakeStorage(newCapacity);
    if (fresh.store == 0) return ERR_TN_FAILED;
    const uint32_t n = GetNum();
    for (uint32_t i = 0; i < n; ++i) {
        if (fresh.Push(ItemAt(store, i, nbits), nbits) != 0)
            return ERR_TN_FAILED;  // fresh is released
    }
    Release();
    store = fresh.store;
    fresh.store = 0;
    return 0;
}
