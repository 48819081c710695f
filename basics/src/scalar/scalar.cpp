// Scalar store and load: byte-order conversion between memory and stored form.
#include <cstring>

#include "compiler.h"
#include "scalar.h"

namespace {

// The host's byte order decides which stored order is a plain copy.
constexpr bool kHostBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

constexpr uint8_t kIntegerModeBits = 0x0F;
constexpr uint8_t kFloatModeBits = 0x7F;
constexpr uint8_t kBigEndianMode = 2;

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
uint32_t Convert(void* destination, const void* source, uint8_t mode, uint8_t modeBits,
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

}  // namespace

uint32_t CharStore(void* destination, const void* source, uint8_t, uint32_t count) {
    if (count != 0) std::memcpy(destination, source, count);
    return count;
}

uint32_t ShortStore(void* destination, const void* source, uint8_t mode, uint32_t count) {
    return Convert<2>(destination, source, mode, kIntegerModeBits, count);
}
uint32_t LongStore(void* destination, const void* source, uint8_t mode, uint32_t count) {
    return Convert<4>(destination, source, mode, kIntegerModeBits, count);
}
uint32_t O_8BStore(void* destination, const void* source, uint8_t mode, uint32_t count) {
    return Convert<8>(destination, source, mode, kIntegerModeBits, count);
}
// Storing and loading are the same byte permutation, so each pair shares one body.
uint32_t IntStore(void* destination, const void* source, uint8_t mode, uint32_t count) {
    return Convert<4>(destination, source, mode, kIntegerModeBits, count);
}
uint32_t IntLoad(void* destination, const void* source, uint8_t mode, uint32_t count) {
    return Convert<4>(destination, source, mode, kIntegerModeBits, count);
}
uint32_t UnsignedStore(void* destination, const void* source, uint8_t mode, uint32_t count) {
    return Convert<4>(destination, source, mode, kIntegerModeBits, count);
}
uint32_t UnsignedLoad(void* destination, const void* source, uint8_t mode, uint32_t count) {
    return Convert<4>(destination, source, mode, kIntegerModeBits, count);
}
uint32_t FloatStore(void* destination, const void* source, uint8_t mode, uint32_t count) {
    return Convert<4>(destination, source, mode, kFloatModeBits, count);
}
uint32_t DoubleStore(void* destination, const void* source, uint8_t mode, uint32_t count) {
    return Convert<8>(destination, source, mode, kFloatModeBits, count);
}

uint32_t ShortStoreOne(void* destination, const void* source, uint8_t mode) {
    return Convert<2>(destination, source, mode, kIntegerModeBits, 1);
}
uint32_t LongStoreOne(void* destination, const void* source, uint8_t mode) {
    return Convert<4>(destination, source, mode, kIntegerModeBits, 1);
}
uint32_t O_8BStoreOne(void* destination, const void* source, uint8_t mode) {
    return Convert<8>(destination, source, mode, kIntegerModeBits, 1);
}

uint32_t CharSizeGet(const void*, uint8_t, uint8_t, uint32_t count) {
    return count;
}
uint32_t ShortSizeGet(const void*, uint8_t, uint8_t, uint32_t count) {
    return count * 2;
}
uint32_t IntSizeGet(const void*, uint8_t, uint8_t, uint32_t count) {
    return count * 4;
}
uint32_t LongSizeGet(const void*, uint8_t, uint8_t, uint32_t count) {
    return count * 4;
}
uint32_t O_8BSizeGet(const void*, uint8_t, uint8_t, uint32_t count) {
    return count * 8;
}
uint32_t FloatSizeGet(const void*, uint8_t, uint8_t, uint32_t count) {
    return count * 4;
}
uint32_t DoubleSizeGet(const void*, uint8_t, uint8_t, uint32_t count) {
    return count * 8;
}

uint32_t CharNullSizeGet(uint32_t count) {
    return count;
}
uint32_t ShortNullSizeGet(uint32_t count) {
    return count * 2;
}
uint32_t IntNullSizeGet(uint32_t count) {
    return count * 4;
}
uint32_t LongNullSizeGet(uint32_t count) {
    return count * 4;
}
uint32_t O_8BNullSizeGet(uint32_t count) {
    return count * 8;
}
uint32_t FloatNullSizeGet(uint32_t count) {
    return count * 4;
}
uint32_t DoubleNullSizeGet(uint32_t count) {
    return count * 8;
}

void ldchar(const char* field, uint32_t length, char* output) {
    uint32_t i = 0;
    while (i < length && field[i] != ' ') {
        output[i] = field[i];
        ++i;
    }
    if (i < length) output[i] = '\0';
}

void stchar(const char* text, char* field, uint32_t length) {
    uint32_t i = 0;
    while (i < length && text[i] != '\0') {
        field[i] = text[i];
        ++i;
    }
    if (i < length) std::memset(field + i, ' ', length - i);
}

float ldfloat(const void* stored) {
    float value;
    FloatStore(&value, stored, kBigEndianMode, 1);
    return value;
}
void stfloat(float value, void* stored) {
    FloatStore(stored, &value, kBigEndianMode, 1);
}
double lddbl(const void* stored) {
    double value;
    DoubleStore(&value, stored, kBigEndianMode, 1);
    return value;
}
void stdbl(double value, void* stored) {
    DoubleStore(stored, &value, kBigEndianMode, 1);
}
