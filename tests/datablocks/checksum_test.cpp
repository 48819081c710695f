#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "datablocks/crc32.h"
#include "crc32_reference.h"
#include "mvbasics.h"

namespace {

uint32_t ReferenceCrc(const unsigned char* p, size_t n, uint32_t prev = 0) {
    return mvtest::ReferenceCrc32(prev, p, n);
}

std::vector<unsigned char> RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<unsigned char> buf(n);
    for (auto& b : buf) b = static_cast<unsigned char>(rng());
    return buf;
}

// Runs a test body once for every code path this CPU has, forcing it, and restores
// the automatic choice afterwards. The table path also checks every constant entry.
class EveryPath : public ::testing::TestWithParam<mvb::datablocks::crc32::Path> {
  protected:
    void SetUp() override {
        if (!mvb::datablocks::crc32::Supported(GetParam()))
            GTEST_SKIP() << "path not available on this CPU";
        mvb::datablocks::crc32::Force(GetParam());
    }
    void TearDown() override { mvb::datablocks::crc32::Force(mvb::datablocks::crc32::Path::Best); }
};

TEST_P(EveryPath, CheckValuesAndNullArguments) {
    EXPECT_EQ(0xCBF43926u, CalcCheckSum("123456789", 9, nullptr));
    const uint32_t ab = CalcCheckSum("ab", 2, nullptr);
    EXPECT_EQ(0x352441C2u, CalcCheckSum("c", 1, &ab));
    const uint32_t p = 0x12345678u;
    EXPECT_EQ(p, CalcCheckSum(nullptr, 10, &p));
    EXPECT_EQ(p, CalcCheckSum("x", 0, &p));
    EXPECT_EQ(0u, CalcCheckSum("x", 0, nullptr));
}

TEST_P(EveryPath, MatchesZlibForEveryLengthAndAlignment) {
    const auto buf = RandomBytes(300 + 64, 42);
    for (size_t align = 0; align < 64; align += (align < 16 ? 1 : 7)) {
        for (size_t len = 0; len <= 300; ++len) {
            const unsigned char* p = buf.data() + align;
            ASSERT_EQ(ReferenceCrc(p, len), CalcCheckSum(p, static_cast<uint32_t>(len), nullptr))
                << "align " << align << " length " << len;
        }
    }
}

TEST_P(EveryPath, ContinuedOverRandomSplitsOfLargeBuffers) {
    const auto buf = RandomBytes((3u << 20) + 123, 7);
    std::mt19937 rng(7);
    const uint32_t whole = ReferenceCrc(buf.data(), buf.size());
    for (int round = 0; round < 20; ++round) {
        uint32_t crc = 0;  // continuing from 0 is starting afresh
        for (size_t pos = 0, len = rng() % 97; pos < buf.size();
             len = rng() % (round % 2 ? 700 : 300000)) {
            len = std::min(buf.size() - pos, len);
            crc = CalcCheckSum(buf.data() + pos, static_cast<uint32_t>(len), &crc);
            pos += len;
        }
        ASSERT_EQ(whole, crc) << "round " << round;
    }
}

std::string PathName(const ::testing::TestParamInfo<mvb::datablocks::crc32::Path>& info) {
    static const char* const kNames[] = {"Table", "Slice8", "Fold128", "Fold512"};
    return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Paths, EveryPath,
                         ::testing::Values(mvb::datablocks::crc32::Path::Table,
                                           mvb::datablocks::crc32::Path::Slice8,
                                           mvb::datablocks::crc32::Path::Fold128,
                                           mvb::datablocks::crc32::Path::Fold512),
                         PathName);

TEST(MemFileCheckSum, RangesOfAFile) {
    MemFile f;
    ASSERT_EQ(9, f.Put("123456789", 0, 9));
    EXPECT_EQ(0xCBF43926u, f.CheckSum(0, 0xFFFFFFFFu, nullptr));
    const uint32_t first = f.CheckSum(0, 4, nullptr);
    EXPECT_EQ(0xCBF43926u, f.CheckSum(4, 1000, &first));  // cut at the end of the file
    EXPECT_EQ(4, f.Position());
    // Nothing covered: the start value comes back and the position stays.
    f.SetPosition(3);
    EXPECT_EQ(first, f.CheckSum(9, 5, &first));
    EXPECT_EQ(first, f.CheckSum(2, 0, &first));
    EXPECT_EQ(0u, f.CheckSum(20, 5, nullptr));
    EXPECT_EQ(3, f.Position());
    EXPECT_EQ(0u, MemFile().CheckSum(0, 0xFFFFFFFFu, nullptr));
}

}  // namespace
