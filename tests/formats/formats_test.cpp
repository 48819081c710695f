// Stored and shared formats are the same bytes on every platform: compressed blocks,
// CRC-32 checksums and stored scalars, computed here and compared with the files that
// each platform's build wrote (golden/<platform>.txt, committed). A file is made with
//   MVB_WRITE_GOLDEN=<path> test_formats
// on the platform it is named after; every build then checks every file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "mvbasics.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Deterministic inputs: the raw output of mt19937 is the same on every platform (its
// distributions are not, so none is used).
Bytes Random(size_t n, uint32_t seed, unsigned mask = 0xFF) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& c : b) c = static_cast<unsigned char>(rng() & mask);
    return b;
}

Bytes Runs(size_t n) {
    Bytes b;
    for (size_t i = 0; b.size() < n; ++i)
        b.insert(b.end(), (i * 37) % 300 + 1, static_cast<unsigned char>(i));
    b.resize(n);
    return b;
}

Bytes Compressed(const Bytes& input) {
    Bytes out(input.size() * 2 + 16);
    int32_t length = static_cast<int32_t>(out.size());
    EXPECT_EQ(0, DScomp(input.data(), static_cast<int32_t>(input.size()), out.data(), &length));
    out.resize(static_cast<size_t>(length));
    return out;
}

Bytes Crc(const Bytes& input) {
    const uint32_t crc = CalcCheckSum(input.data(), static_cast<uint32_t>(input.size()), nullptr);
    return Bytes{static_cast<unsigned char>(crc), static_cast<unsigned char>(crc >> 8),
                 static_cast<unsigned char>(crc >> 16), static_cast<unsigned char>(crc >> 24)};
}

template <typename T, typename Store>
Bytes Stored(Store store, const std::vector<T>& values, uint8_t mode) {
    Bytes out(values.size() * sizeof(T));
    const uint32_t n = store(out.data(), values.data(), mode, static_cast<uint32_t>(values.size()));
    EXPECT_EQ(out.size(), n);
    return out;
}

// Every case by name.
std::map<std::string, Bytes> Cases() {
    std::map<std::string, Bytes> cases;
    const std::map<std::string, Bytes> inputs = {
        {"empty", Bytes{}},          {"check", Bytes{'1', '2', '3', '4', '5', '6', '7', '8', '9'}},
        {"random", Random(3000, 7)}, {"few-values", Random(3000, 11, 0x3)},
        {"runs", Runs(5000)},
    };
    for (const auto& [name, input] : inputs) {
        cases["compressed/" + name] = Compressed(input);
        cases["crc32/" + name] = Crc(input);
    }
    const std::vector<int16_t> shorts = {0, 1, -1, 0x1234, INT16_MIN, INT16_MAX};
    const std::vector<int32_t> longs = {0, 1, -1, 0x12345678, INT32_MIN, INT32_MAX};
    const std::vector<int64_t> wide = {0, -1, 0x123456789ABCDEF0ll, INT64_MIN, INT64_MAX};
    const std::vector<float> floats = {0.0f, -0.0f, 1.5f, -3.25e-7f, 3.4e38f};
    const std::vector<double> doubles = {0.0, -1.0, 3.141592653589793, 1e-300, -2.5e300};
    for (uint8_t mode : {uint8_t{1}, uint8_t{2}}) {
        const std::string m = "/mode" + std::to_string(mode);
        cases["short" + m] = Stored(ShortStore, shorts, mode);
        cases["long" + m] = Stored(LongStore, longs, mode);
        cases["int" + m] = Stored(IntStore, longs, mode);
        cases["o8b" + m] = Stored(O_8BStore, wide, mode);
        cases["float" + m] = Stored(FloatStore, floats, mode);
        cases["double" + m] = Stored(DoubleStore, doubles, mode);
    }
    return cases;
}

std::string Hex(const Bytes& b) {
    std::string s;
    char two[3];
    for (unsigned char c : b) {
        std::snprintf(two, sizeof two, "%02x", c);
        s += two;
    }
    return s;
}

// name -> hex, one "name hex" line each ("-" for no bytes).
std::map<std::string, std::string> ReadGolden(const std::filesystem::path& file) {
    std::map<std::string, std::string> golden;
    std::ifstream in(file);
    std::string name, hex;
    while (in >> name >> hex) golden[name] = hex == "-" ? "" : hex;
    return golden;
}

TEST(Formats, EveryPlatformsFilesMatchThisBuild) {
    const auto cases = Cases();
    if (const char* out = std::getenv("MVB_WRITE_GOLDEN")) {
        std::ofstream file(out, std::ios::binary);
        for (const auto& [name, bytes] : cases)
            file << name << ' ' << (bytes.empty() ? "-" : Hex(bytes)) << '\n';
    }
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(MVB_GOLDEN_DIR)) {
        if (entry.path().extension() != ".txt") continue;
        ++files;
        const auto golden = ReadGolden(entry.path());
        EXPECT_EQ(cases.size(), golden.size()) << entry.path();
        for (const auto& [name, bytes] : cases) {
            auto it = golden.find(name);
            ASSERT_NE(golden.end(), it) << entry.path() << ": no " << name;
            EXPECT_EQ(it->second, Hex(bytes)) << entry.path() << ": " << name;
        }
    }
    EXPECT_GE(files, 2u);  // at least Linux's and Windows'
}

// The files are not only equal: decompressing them gives the inputs back here.
TEST(Formats, CompressedBlocksExpandToTheirInputs) {
    const Bytes input = Runs(5000);
    const Bytes block = Compressed(input);
    EXPECT_EQ(static_cast<int32_t>(input.size()),
              DSlen(block.data(), static_cast<int32_t>(block.size())));
    Bytes back(input.size());
    int32_t length = static_cast<int32_t>(back.size());
    ASSERT_EQ(0, DSdecomp(block.data(), static_cast<int32_t>(block.size()), back.data(), &length));
    EXPECT_EQ(input, back);
}

}  // namespace
