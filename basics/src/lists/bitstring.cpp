// The fixed-length bit string with its count of set bits.
#include <cstring>

#include "compiler.h"
#include "frame.h"
#include "lists.h"
#include "os/os.h"

namespace {

// Index of the first bit in [from, to) that is set (wantSet) or clear (!wantSet),
// or `to` when there is none. Whole bytes that cannot hold a hit are skipped eight
// at a time; bits at or beyond `to` are never reported.
uint64_t FindInRange(const unsigned char* bits, uint64_t from, uint64_t to, bool wantSet) {
    const unsigned skip = wantSet ? 0x00u : 0xFFu;
    const uint64_t skipWord = wantSet ? 0 : ~uint64_t{0};
    uint64_t i = from;
    while (i < to) {
        if ((i & 7) == 0) {
            for (uint64_t w; to - i >= 64; i += 64) {
                std::memcpy(&w, bits + (i >> 3), sizeof w);
                if (w != skipWord) break;
            }
            while (to - i >= 8 && bits[i >> 3] == skip) i += 8;
            if (i >= to) break;
        }
        unsigned rest = (bits[i >> 3] ^ skip) >> (i & 7);
        if (rest != 0) {
            uint64_t hit = i + mvb::LowestSetBit(rest);
            return hit < to ? hit : to;
        }
        i = (i | 7) + 1;
    }
    return to;
}

// Sets or clears every bit in [from, to).
void FillRange(unsigned char* bits, uint64_t from, uint64_t to, bool set) {
    while (from < to && (from & 7) != 0) {
        unsigned char mask = static_cast<unsigned char>(1u << (from & 7));
        bits[from >> 3] = set ? (bits[from >> 3] | mask) : (bits[from >> 3] & ~mask);
        ++from;
    }
    if (to - from >= 8) {
        std::memset(bits + (from >> 3), set ? 0xFF : 0x00, (to - from) >> 3);
        from += (to - from) & ~uint64_t{7};
    }
    for (; from < to; ++from) {
        unsigned char mask = static_cast<unsigned char>(1u << (from & 7));
        bits[from >> 3] = set ? (bits[from >> 3] | mask) : (bits[from >> 3] & ~mask);
    }
}

size_t StorageBytes(uint32_t length) {
    return static_cast<size_t>(length) / 8 + 1;
}

}  // namespace

// Storage that cannot be had is reported to the memory handler once (and tried
// again if the handler asks for it); a string without storage has length 0, so
// every position is outside it.
_TnBitString::_TnBitString(unsigned int bitCount) : bits(nullptr), length(0), setCount(0) {
    size_t size = StorageBytes(bitCount);
    void* block = mvos::Malloc(size);
    if (block == nullptr && TnCallMemoryHandler(static_cast<uint32_t>(size)) != 0)
        block = mvos::Malloc(size);
    if (block == nullptr) return;
    std::memset(block, 0, size);
    bits = static_cast<unsigned char*>(block);
    length = bitCount;
}

_TnBitString::~_TnBitString() {
    mvos::Free(bits);
    bits = nullptr;
    length = 0;
}

int _TnBitString::Set(unsigned int i) {
    if (i >= length) return ERR_TN_END_OF_SET;
    unsigned char mask = static_cast<unsigned char>(1u << (i & 7));
    if ((bits[i >> 3] & mask) == 0) {
        bits[i >> 3] |= mask;
        ++setCount;
    }
    return 0;
}

int _TnBitString::Reset(unsigned int i) {
    if (i >= length) return ERR_TN_END_OF_SET;
    unsigned char mask = static_cast<unsigned char>(1u << (i & 7));
    if ((bits[i >> 3] & mask) != 0) {
        bits[i >> 3] &= static_cast<unsigned char>(~mask);
        --setCount;
    }
    return 0;
}

int _TnBitString::Get(unsigned int i, int& value) const {
    if (i >= length) return ERR_TN_END_OF_SET;
    value = bits[i >> 3] & (1u << (i & 7));
    return 0;
}

int _TnBitString::Flip(unsigned int i, int& value) {
    if (i >= length) return ERR_TN_END_OF_SET;
    unsigned char mask = static_cast<unsigned char>(1u << (i & 7));
    value = (bits[i >> 3] & mask) != 0 ? 1 : 0;
    bits[i >> 3] ^= mask;
    if (value)
        --setCount;
    else
        ++setCount;
    return 0;
}

namespace {

// The two area operations: claim (set) or release (clear) a whole run, failing
// without change at the first bit already in the wanted state.
int ChangeArea(_TnBitString& s, unsigned int start, unsigned int count, unsigned int& position,
               bool set) {
    uint64_t end = uint64_t{start} + count;  // computed in 64 bits: cannot wrap
    if (end > s.length) return ERR_TN_END_OF_SET;
    uint64_t hit = FindInRange(s.bits, start, end, set);
    if (hit < end) {
        position = static_cast<unsigned int>(hit - start);
        return ERR_TN_FAILED;
    }
    if (count == 0) return 0;
    FillRange(s.bits, start, end, set);
    s.setCount = set ? s.setCount + count : s.setCount - count;
    return 0;
}

}  // namespace

int _TnBitString::TestAndSetArea(unsigned int start, unsigned int count, unsigned int& position) {
    return ChangeArea(*this, start, count, position, true);
}

int _TnBitString::TestAndResetArea(unsigned int start, unsigned int count, unsigned int& position) {
    return ChangeArea(*this, start, count, position, false);
}

// Every storage byte, the spare bits beyond the length included.
int _TnBitString::SetAll() {
    if (bits != nullptr) std::memset(bits, 0xFF, StorageBytes(length));
    setCount = length;
    return 0;
}

int _TnBitString::ResetAll() {
    if (bits != nullptr) std::memset(bits, 0x00, StorageBytes(length));
    setCount = 0;
    return 0;
}

int _TnBitString::Find(unsigned int start, int value, unsigned int& position) const {
    if (start >= length) {
        position = length;
        return ERR_TN_END_OF_SET;
    }
    position = static_cast<unsigned int>(FindInRange(bits, start, length, value != 0));
    return position < length ? 0 : ERR_TN_END_OF_SET;
}
