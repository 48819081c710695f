// Scalar storage: moves arrays of scalar values between memory and their stored form.
//
// The stored form is defined by its bytes: with a conversion mode whose selecting bits
// equal 2 each value is stored most significant byte first (big-endian); with any
// other mode least significant byte first (little-endian, the original machine's own
// order, written as mode 1). Integer members select on the low 4 bits of the mode,
// `FloatStore` and `DoubleStore` on the low 7 bits. Neither pointer needs any
// alignment; destination and source must not overlap. Every member returns the number
// of bytes written (count x value size).
//
// Threads: the store and load functions keep no state and may run on any thread at once.
#ifndef MV_SCALAR_H
#define MV_SCALAR_H

#include "mvexport.h"

// ------------------------------------------------------------------ store and load
MVB_API uint32_t CharStore(void* destination, const void* source, uint8_t mode, uint32_t count);
MVB_API uint32_t ShortStore(void* destination, const void* source, uint8_t mode, uint32_t count);
MVB_API uint32_t LongStore(void* destination, const void* source, uint8_t mode, uint32_t count);
MVB_API uint32_t O_8BStore(void* destination, const void* source, uint8_t mode, uint32_t count);
MVB_API uint32_t IntStore(void* destination, const void* source, uint8_t mode, uint32_t count);
MVB_API uint32_t IntLoad(void* destination, const void* source, uint8_t mode, uint32_t count);
MVB_API uint32_t UnsignedStore(void* destination, const void* source, uint8_t mode, uint32_t count);
MVB_API uint32_t UnsignedLoad(void* destination, const void* source, uint8_t mode, uint32_t count);
MVB_API uint32_t FloatStore(void* destination, const void* source, uint8_t mode, uint32_t count);
MVB_API uint32_t DoubleStore(void* destination, const void* source, uint8_t mode, uint32_t count);

// One value each; the result is the value size.
MVB_API uint32_t ShortStoreOne(void* destination, const void* source, uint8_t mode);
MVB_API uint32_t LongStoreOne(void* destination, const void* source, uint8_t mode);
MVB_API uint32_t O_8BStoreOne(void* destination, const void* source, uint8_t mode);

// ------------------------------------------------------------------ stored sizes
// count x the stored size of the type (1, 2, 4, 4, 4, 8, 4, 8); the values and the two
// mode arguments do not influence the result.
MVB_API uint32_t CharSizeGet(const void* values, uint8_t mode1, uint8_t mode2, uint32_t count);
MVB_API uint32_t ShortSizeGet(const void* values, uint8_t mode1, uint8_t mode2, uint32_t count);
MVB_API uint32_t IntSizeGet(const void* values, uint8_t mode1, uint8_t mode2, uint32_t count);
MVB_API uint32_t LongSizeGet(const void* values, uint8_t mode1, uint8_t mode2, uint32_t count);
MVB_API uint32_t O_8BSizeGet(const void* values, uint8_t mode1, uint8_t mode2, uint32_t count);
MVB_API uint32_t FloatSizeGet(const void* values, uint8_t mode1, uint8_t mode2, uint32_t count);
MVB_API uint32_t DoubleSizeGet(const void* values, uint8_t mode1, uint8_t mode2, uint32_t count);

// A null value takes as many bytes as a value of its type.
MVB_API uint32_t CharNullSizeGet(uint32_t count);
MVB_API uint32_t ShortNullSizeGet(uint32_t count);
MVB_API uint32_t IntNullSizeGet(uint32_t count);
MVB_API uint32_t LongNullSizeGet(uint32_t count);
MVB_API uint32_t O_8BNullSizeGet(uint32_t count);
MVB_API uint32_t FloatNullSizeGet(uint32_t count);
MVB_API uint32_t DoubleNullSizeGet(uint32_t count);

// ------------------------------------------------------------------ character fields
// A field is `length` bytes of text padded on the right with blanks, without a
// terminating zero.

// Copies the field up to its first blank, then writes a terminating zero; a field
// without a blank yields exactly `length` bytes and no terminator.
MVB_API void ldchar(const char* field, uint32_t length, char* output);
// Copies the text into the field, cut to `length` bytes, and pads it with blanks.
MVB_API void stchar(const char* text, char* field, uint32_t length);

// ------------------------------------------------------------------ floating point
// Always the big-endian stored form.
MVB_API float ldfloat(const void* stored);
MVB_API void stfloat(float value, void* stored);
MVB_API double lddbl(const void* stored);
MVB_API void stdbl(double value, void* stored);

#endif
