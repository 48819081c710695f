#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

#include "datablocks/crc32.h"
#include "mvbasics.h"

namespace {

uint32_t Zlib(const unsigned char* p, size_t n, uint32_t prev = 0) {
    return static_cast<uint32_t>(crc32(prev, p, static_cast<uInt>(n)));
}

// Runs a test body once for every code path this CPU has, forcing it, and restores
// the automatic choice afterwards.
class EveryPath : public ::testing::TestWithParam<mvcrc::Path> {
  protected:
    void SetUp() override {
        if (!mvcrc::Supported(GetParam())) GTEST_SKIP() << "path not available on this CPU";
        mvcrc::Force(GetParam());
        ASSERT_EQ(GetParam(), mvcrc::Current());
    }
    void TearDown() override { mvcrc::Force(mvcrc::Path::Best); }
};

TEST(CheckSum, TableIsTheReflectedPolynomialRemainders) {
    EXPECT_EQ(0x77073096u, mvcrc::kTable[1]);
    EXPECT_EQ(0x2D02EF8Du, mvcrc::kTable[255]);
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        ASSERT_EQ(c, mvcrc::kTable[i]) << i;
    }
}

TEST_P(EveryPath, CheckValuesAndNullArguments) {
    EXPECT_EQ(0xCBF43926u, CalcCheckSum("123456789", 9, nullptr));
    EXPECT_EQ(0x352441C2u, CalcCheckSum("abc", 3, nullptr));
    const uint32_t ab = CalcCheckSum("ab", 2, nullptr);
    EXPECT_EQ(0x352441C2u, CalcCheckSum("c", 1, &ab));
    const uint32_t p = 0x12345678u;
    EXPECT_EQ(p, CalcCheckSum(nullptr, 10, &p));
    EXPECT_EQ(p, CalcCheckSum("x", 0, &p));
    EXPECT_EQ(0u, CalcCheckSum("x", 0, nullptr));
    EXPECT_EQ(0u, CalcCheckSum(nullptr, 5, nullptr));
    const char* seventeen = "0123456789abcdefg";
    const uint32_t first16 = CalcCheckSum(seventeen, 16, nullptr);
    EXPECT_EQ(CalcCheckSum(seventeen, 17, nullptr), CalcCheckSum(seventeen + 16, 1, &first16));
}

TEST_P(EveryPath, MatchesZlibForEveryLengthAndAlignment) {
    std::mt19937 rng(42);
    std::vector<unsigned char> buf(300 + 64);
    for (auto& b : buf) b = static_cast<unsigned char>(rng());
    for (size_t align = 0; align < 64; align += (align < 16 ? 1 : 7)) {
        for (size_t len = 0; len <= 300; ++len) {
            const unsigned char* p = buf.data() + align;
            ASSERT_EQ(Zlib(p, len), CalcCheckSum(p, static_cast<uint32_t>(len), nullptr))
                << "align " << align << " length " << len;
        }
    }
}

TEST_P(EveryPath, ContinuedOverRandomSplitsOfLargeBuffers) {
    std::mt19937 rng(7);
    std::vector<unsigned char> buf((3u << 20) + 123);
    for (auto& b : buf) b = static_cast<unsigned char>(rng());
    const uint32_t whole = Zlib(buf.data(), buf.size());
    EXPECT_EQ(whole, CalcCheckSum(buf.data(), static_cast<uint32_t>(buf.size()), nullptr));
    for (int round = 0; round < 20; ++round) {
        size_t pos = rng() % 97;  // odd starting alignment
        uint32_t crc = CalcCheckSum(buf.data(), static_cast<uint32_t>(pos), nullptr);
        while (pos < buf.size()) {
            size_t max = round % 2 ? 700 : 300000;
            size_t len = std::min(buf.size() - pos, size_t(rng() % max));
            crc = CalcCheckSum(buf.data() + pos, static_cast<uint32_t>(len), &crc);
            pos += len;
        }
        ASSERT_EQ(whole, crc) << "round " << round;
    }
    // A non-zero previous value taken from zlib continues the same way.
    const uint32_t prev = Zlib(buf.data(), 1000);
    EXPECT_EQ(Zlib(buf.data() + 1000, 5000, prev), CalcCheckSum(buf.data() + 1000, 5000, &prev));
}

TEST_P(EveryPath, UniformBytesAndAllOnes) {
    for (unsigned v : {0x00u, 0xFFu, 0x80u}) {
        std::vector<unsigned char> buf(4096 + 17, static_cast<unsigned char>(v));
        ASSERT_EQ(Zlib(buf.data(), buf.size()),
                  CalcCheckSum(buf.data(), static_cast<uint32_t>(buf.size()), nullptr));
    }
}

std::string PathName(const ::testing::TestParamInfo<mvcrc::Path>& info) {
    static const char* const kNames[] = {"Table", "Slice8", "Fold128", "Fold512"};
    return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Paths, EveryPath,
                         ::testing::Values(mvcrc::Path::Table, mvcrc::Path::Slice8,
                                           mvcrc::Path::Fold128, mvcrc::Path::Fold512),
                         PathName);

TEST(CheckSum, AutomaticChoiceIsTheFastestSupported) {
    mvcrc::Force(mvcrc::Path::Best);
    const mvcrc::Path p = mvcrc::Current();
    if (mvcrc::Supported(mvcrc::Path::Fold512))
        EXPECT_EQ(mvcrc::Path::Fold512, p);
    else if (mvcrc::Supported(mvcrc::Path::Fold128))
        EXPECT_EQ(mvcrc::Path::Fold128, p);
    else
        EXPECT_EQ(mvcrc::Path::Slice8, p);
}

}  // namespace
