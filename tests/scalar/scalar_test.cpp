#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "scalar.h"

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes Of(const void* p, size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    return Bytes(b, b + n);
}

TEST(ScalarStore, ByteOrderFollowsTheModeBits) {
    const int32_t value = 0x11223344;
    unsigned char out[4];
    EXPECT_EQ(4u, LongStore(out, &value, 2, 1));
    EXPECT_EQ((Bytes{0x11, 0x22, 0x33, 0x44}), Of(out, 4));
    EXPECT_EQ(4u, LongStore(out, &value, 1, 1));
    EXPECT_EQ((Bytes{0x44, 0x33, 0x22, 0x11}), Of(out, 4));

    const uint16_t s = 0x1234;
    unsigned char two[2];
    // Integers look at the low 4 bits only, floating point at the low 7.
    for (unsigned mode = 0; mode < 256; ++mode) {
        ShortStore(two, &s, static_cast<uint8_t>(mode), 1);
        const Bytes expected = (mode & 0x0F) == 2 ? Bytes{0x12, 0x34} : Bytes{0x34, 0x12};
        ASSERT_EQ(expected, Of(two, 2)) << "mode " << mode;

        const float f = 1.0f;
        unsigned char four[4];
        FloatStore(four, &f, static_cast<uint8_t>(mode), 1);
        const Bytes big{0x3F, 0x80, 0x00, 0x00}, little{0x00, 0x00, 0x80, 0x3F};
        ASSERT_EQ((mode & 0x7F) == 2 ? big : little, Of(four, 4)) << "mode " << mode;
    }
    ShortStore(two, &s, 0x12, 1);
    EXPECT_EQ((Bytes{0x12, 0x34}), Of(two, 2));
}

TEST(ScalarStore, EveryValueIsReversedSeparately) {
    const uint64_t values[3] = {0x0102030405060708ull, 0x1112131415161718ull,
                                0x2122232425262728ull};
    unsigned char out[24];
    EXPECT_EQ(24u, O_8BStore(out, values, 2, 3));
    for (int v = 0; v < 3; ++v)
        for (int i = 0; i < 8; ++i) EXPECT_EQ(0x10 * v + 1 + i, out[8 * v + i]);
    EXPECT_EQ(24u, O_8BStore(out, values, 0, 3));
    EXPECT_EQ(0, std::memcmp(out, values, 24));

    const double d = -2.5;  // 0xC004000000000000
    unsigned char eight[8];
    EXPECT_EQ(8u, DoubleStore(eight, &d, 2, 1));
    EXPECT_EQ((Bytes{0xC0, 0x04, 0, 0, 0, 0, 0, 0}), Of(eight, 8));
    EXPECT_EQ(8u, DoubleStore(eight, &d, 0x22, 1));
    EXPECT_EQ((Bytes{0, 0, 0, 0, 0, 0, 0x04, 0xC0}), Of(eight, 8));
    EXPECT_EQ(0u, LongStore(nullptr, nullptr, 2, 0));
}

TEST(ScalarStore, CharactersAreCopiedWhateverTheMode) {
    char out[5];
    EXPECT_EQ(5u, CharStore(out, "abcde", 2, 5));
    EXPECT_EQ(0, std::memcmp(out, "abcde", 5));
    EXPECT_EQ(0u, CharStore(nullptr, nullptr, 2, 0));
}

TEST(ScalarStore, SingleValueMembers) {
    const int16_t s = -2;
    const int32_t l = 0x01020304;
    const int64_t q = 0x0102030405060708;
    unsigned char out[8];
    EXPECT_EQ(2u, ShortStoreOne(out, &s, 2));
    EXPECT_EQ((Bytes{0xFF, 0xFE}), Of(out, 2));
    EXPECT_EQ(4u, LongStoreOne(out, &l, 2));
    EXPECT_EQ((Bytes{1, 2, 3, 4}), Of(out, 4));
    EXPECT_EQ(8u, O_8BStoreOne(out, &q, 1));
    EXPECT_EQ((Bytes{8, 7, 6, 5, 4, 3, 2, 1}), Of(out, 8));
}

TEST(ScalarStore, LoadUndoesStoreAtAnyAlignment) {
    // Values and stored bytes both at odd addresses inside a byte buffer.
    unsigned char memory[64], stored[64], back[64];
    for (int i = 0; i < 64; ++i) memory[i] = static_cast<unsigned char>(i * 7 + 1);
    for (uint8_t mode : {uint8_t{1}, uint8_t{2}}) {
        for (size_t skew = 0; skew < 4; ++skew) {
            std::memset(stored, 0, sizeof stored);
            EXPECT_EQ(20u, IntStore(stored + 1 + skew, memory + skew, mode, 5));
            EXPECT_EQ(20u, IntLoad(back + 3, stored + 1 + skew, mode, 5));
            EXPECT_EQ(0, std::memcmp(back + 3, memory + skew, 20));
            EXPECT_EQ(20u, UnsignedStore(stored + skew, memory + 1, mode, 5));
            EXPECT_EQ(20u, UnsignedLoad(back + 1, stored + skew, mode, 5));
            EXPECT_EQ(0, std::memcmp(back + 1, memory + 1, 20));
        }
        // The stored bytes of an unaligned value are those of the aligned one.
        int32_t value;
        std::memcpy(&value, memory + 1, 4);
        unsigned char aligned[4];
        IntStore(aligned, &value, mode, 1);
        IntStore(stored + 3, memory + 1, mode, 1);
        EXPECT_EQ(0, std::memcmp(aligned, stored + 3, 4));
    }
    unsigned char be[4] = {0xFF, 0xFF, 0xFF, 0xFE};
    int32_t loaded;
    IntLoad(&loaded, be, 2, 1);
    EXPECT_EQ(-2, loaded);
    uint32_t u;
    UnsignedLoad(&u, be, 1, 1);
    EXPECT_EQ(0xFEFFFFFFu, u);
}

TEST(ScalarSizes, CountTimesTheStoredSize) {
    const int dummy = 0;
    EXPECT_EQ(12u, IntSizeGet(&dummy, 0, 0, 3));
    EXPECT_EQ(3u, CharSizeGet(nullptr, 2, 9, 3));
    EXPECT_EQ(6u, ShortSizeGet(nullptr, 1, 1, 3));
    EXPECT_EQ(12u, LongSizeGet(nullptr, 2, 2, 3));
    EXPECT_EQ(24u, O_8BSizeGet(nullptr, 0, 0, 3));
    EXPECT_EQ(12u, FloatSizeGet(nullptr, 0, 0, 3));
    EXPECT_EQ(24u, DoubleSizeGet(nullptr, 0, 0, 3));
    EXPECT_EQ(7u, CharNullSizeGet(7));
    EXPECT_EQ(14u, ShortNullSizeGet(7));
    EXPECT_EQ(28u, IntNullSizeGet(7));
    EXPECT_EQ(28u, LongNullSizeGet(7));
    EXPECT_EQ(16u, O_8BNullSizeGet(2));
    EXPECT_EQ(28u, FloatNullSizeGet(7));
    EXPECT_EQ(56u, DoubleNullSizeGet(7));
    EXPECT_EQ(0u, DoubleNullSizeGet(0));
}

TEST(ScalarChars, FieldsArePaddedWithBlanks) {
    char field[8];
    std::memset(field, 'z', sizeof field);
    stchar("abc", field, 6);
    EXPECT_EQ(0, std::memcmp(field, "abc   zz", 8));
    char out[8];
    std::memset(out, 'z', sizeof out);
    ldchar(field, 6, out);
    EXPECT_STREQ("abc", out);

    // No blank: exactly length bytes and no terminator.
    std::memset(out, 'z', sizeof out);
    ldchar("abcdef", 6, out);
    EXPECT_EQ(0, std::memcmp(out, "abcdefzz", 8));
    // A blank inside the text ends it.
    ldchar("ab cd   ", 8, out);
    EXPECT_STREQ("ab", out);
    // Length 0 writes nothing.
    std::memset(out, 'z', sizeof out);
    ldchar("abc", 0, out);
    stchar("abc", out, 0);
    EXPECT_EQ(0, std::memcmp(out, "zzzzzzzz", 8));

    // Too long: cut, never terminated; empty: all blanks.
    stchar("abcdefghij", field, 4);
    EXPECT_EQ(0, std::memcmp(field, "abcd  zz", 8));
    stchar("", field, 3);
    EXPECT_EQ(0, std::memcmp(field, "   d  zz", 8));
}

TEST(ScalarFloat, BigEndianHelpers) {
    unsigned char b[9];
    stfloat(1.0f, b + 1);
    EXPECT_EQ((Bytes{0x3F, 0x80, 0x00, 0x00}), Of(b + 1, 4));
    EXPECT_EQ(1.0f, ldfloat(b + 1));
    stfloat(-0.15625f, b);
    EXPECT_EQ(-0.15625f, ldfloat(b));
    stdbl(1.0, b + 1);
    EXPECT_EQ((Bytes{0x3F, 0xF0, 0, 0, 0, 0, 0, 0}), Of(b + 1, 8));
    EXPECT_EQ(1.0, lddbl(b + 1));
    stdbl(-1234.5678, b);
    EXPECT_EQ(-1234.5678, lddbl(b));
}

}  // namespace
