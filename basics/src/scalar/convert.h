// The byte-order conversion of the scalar store and load family, inline so that the
// library's own hot paths (a memory file appending a word) store without a call.
#ifndef MV_SCALAR_CONVERT_H
#define MV_SCALAR_CONVERT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "compiler.h"

namespace mvb::scalar {

// The host's byte order decides which stored order is a plain copy.
inline constexpr bool kHostBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

inline constexpr uint8_t kIntegerModeBits = 0x0F;
inline constexpr uint8_t kFloatModeBits = 0x7F;
inline constexpr uint8_t kBigEndianMode = 2;

template <size_t N>
struct Word;
template <>
struct Word<2> {
    typedef uint16_t type;
    static type Swap(type v) { return mvb::ByteSwap(v); }
};
template <>
struct Word<4> {
    typedef uint32_t type;
    static type Swap(type v) { return mvb::ByteSwap(v); }
};
template <>
struct Word<8> {
    typedef uint64_t type;
    static type Swap(type v) { return mvb::ByteSwap(v); }
};

// Copies `count` values of N bytes, reversing the bytes of each value when the stored
// order differs from the host's. Works on unaligned pointers: every access goes
// through memcpy, which the compiler turns into plain unaligned loads and stores.
template <size_t N>
inline uint32_t Convert(void* destination, const void* source, uint8_t mode, uint8_t modeBits,
                        uint32_t count) {
    const bool storedBigEndian = (mode & modeBits) == kBigEndianMode;
    const size_t bytes = static_cast<size_t>(count) * N;
    if (bytes == 0) return 0;
    if (count == 1) {  // the common single value, without a loop
        typename Word<N>::type v;
        std::memcpy(&v, source, N);
        if (storedBigEndian != kHostBigEndian) v = Word<N>::Swap(v);
        std::memcpy(destination, &v, N);
    } else if (storedBigEndian == kHostBigEndian) {
        std::memcpy(destination, source, bytes);
    } else {
        typedef typename Word<N>::type W;
        auto* out = static_cast<unsigned char*>(destination);
        const auto* in = static_cast<const unsigned char*>(source);
        for (uint32_t i = 0; i < count; ++i, in += N, out += N) {
            W v;
            std::memcpy(&v, in, N);
            v = Word<N>::Swap(v);
            std::memcpy(out, &v, N);
        }
    }
    return static_cast<uint32_t>(bytes);
}

}  // namespace mvb::scalar

#endif
