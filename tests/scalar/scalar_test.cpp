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

// Every member of the family against a plain model: each value's bytes reversed when the
// member's mode bits select the big-endian form, copied otherwise; the byte count returned;
// nothing written past count values; any alignment; every mode byte (integers look at its
// low 4 bits, floating point at its low 7).
TEST(ScalarStore, EveryMemberAgreesWithAByteModel) {
    typedef uint32_t (*Member)(void*, const void*, uint8_t, uint32_t);
    struct Case {
        const char* name;
        Member member;
        size_t size;
        uint8_t modeBits;  // 0: the mode is ignored
    };
    const Case cases[] = {
        {"CharStore", CharStore, 1, 0},
        {"ShortStore", ShortStore, 2, 0x0F},
        {"LongStore", LongStore, 4, 0x0F},
        {"O_8BStore", O_8BStore, 8, 0x0F},
        {"IntStore", IntStore, 4, 0x0F},
        {"IntLoad", IntLoad, 4, 0x0F},
        {"UnsignedStore", UnsignedStore, 4, 0x0F},
        {"UnsignedLoad", UnsignedLoad, 4, 0x0F},
        {"FloatStore", FloatStore, 4, 0x7F},
        {"DoubleStore", DoubleStore, 8, 0x7F},
    };
    unsigned char source[48], out[64];
    for (size_t i = 0; i < sizeof source; ++i) source[i] = static_cast<unsigned char>(i + 1);
    for (const Case& c : cases) {
        for (unsigned m = 0; m < 256; ++m) {
            const uint8_t mode = static_cast<uint8_t>(m);
            for (uint32_t count = 0; count <= 5; ++count) {
                SCOPED_TRACE(::testing::Message()
                             << c.name << " mode " << int(mode) << " count " << count);
                const size_t skew = count % 3;
                std::memset(out, 0xEE, sizeof out);
                ASSERT_EQ(count * c.size, c.member(out + skew, source + 1, mode, count));
                const bool reversed = c.modeBits != 0 && (mode & c.modeBits) == 2;
                Bytes expected(skew, 0xEE);
                for (uint32_t v = 0; v < count; ++v)
                    for (size_t b = 0; b < c.size; ++b)
                        expected.push_back(
                            source[1 + v * c.size + (reversed ? c.size - 1 - b : b)]);
                expected.resize(sizeof out, 0xEE);
                ASSERT_EQ(expected, Of(out, sizeof out));
            }
        }
    }
    // The single-value members write one value and answer its size.
    typedef uint32_t (*One)(void*, const void*, uint8_t);
    const struct {
        One member;
        Member general;
        size_t size;
    } singles[] = {
        {ShortStoreOne, ShortStore, 2}, {LongStoreOne, LongStore, 4}, {O_8BStoreOne, O_8BStore, 8}};
    for (const auto& s : singles) {
        for (uint8_t mode : {0x01, 0x02, 0x32, 0x04}) {
            unsigned char one[12], general[12];
            std::memset(one, 0xEE, sizeof one);
            std::memset(general, 0xEE, sizeof general);
            EXPECT_EQ(s.size, s.member(one + 1, source + 3, mode));
            EXPECT_EQ(s.size, s.general(general + 1, source + 3, mode, 1));
            EXPECT_EQ(Of(general, sizeof general), Of(one, sizeof one)) << int(mode);
        }
    }
}

TEST(ScalarSizes, EverySizeMemberIsCountTimesTheStoredSize) {
    typedef uint32_t (*Size)(const void*, uint8_t, uint8_t, uint32_t);
    typedef uint32_t (*NullSize)(uint32_t);
    const struct {
        Size size;
        NullSize null;
        uint32_t bytes;
    } members[] = {{CharSizeGet, CharNullSizeGet, 1},    {ShortSizeGet, ShortNullSizeGet, 2},
                   {IntSizeGet, IntNullSizeGet, 4},      {LongSizeGet, LongNullSizeGet, 4},
                   {O_8BSizeGet, O_8BNullSizeGet, 8},    {FloatSizeGet, FloatNullSizeGet, 4},
                   {DoubleSizeGet, DoubleNullSizeGet, 8}};
    const unsigned char values[8] = {};
    for (const auto& m : members) {
        for (uint32_t count : {0u, 1u, 3u, 1000u, 0x10000001u}) {
            const uint32_t expected = count * m.bytes;  // unsigned 32-bit, as returned
            EXPECT_EQ(expected, m.size(values, 0, 0, count)) << m.bytes << " x " << count;
            EXPECT_EQ(expected, m.size(nullptr, 2, 0xFF, count)) << m.bytes << " x " << count;
            EXPECT_EQ(expected, m.null(count)) << m.bytes << " x " << count;
        }
    }
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
    stdbl(1.0, b + 1);
    EXPECT_EQ((Bytes{0x3F, 0xF0, 0, 0, 0, 0, 0, 0}), Of(b + 1, 8));
    EXPECT_EQ(1.0, lddbl(b + 1));
    stdbl(-1234.5678, b);
    EXPECT_EQ(-1234.5678, lddbl(b));
}

}  // namespace
