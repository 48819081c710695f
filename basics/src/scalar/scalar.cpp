// Scalar store and load: byte-order conversion between memory and stored form.
#include "scalar.h"

#include <cstring>
#include <limits>

#include "scalar/convert.h"

using mvb::scalar::Convert;
using mvb::scalar::kBigEndianMode;
using mvb::scalar::kFloatModeBits;
using mvb::scalar::kIntegerModeBits;

// The stored sizes (char 1, short 2, int and long 4, 64-bit 8, float 4, double 8) are the
// sizes of the values callers hand in: the original 32-bit build's C types. A 32-bit
// target has them all, "long" included; floating-point values are IEEE 754 words.
static_assert(sizeof(char) == 1 && sizeof(short) == 2 && sizeof(int) == 4 && sizeof(long long) == 8,
              "the integer types have the stored sizes");
static_assert(sizeof(void*) != 4 || sizeof(long) == 4, "a 32-bit target's long is 4 bytes");
static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559 && sizeof(double) == 8 &&
                  std::numeric_limits<double>::is_iec559,
              "float and double are the IEEE 754 words of the stored form");

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
