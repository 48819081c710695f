// checksum, pack and unpack over files and standard streams, and the demo's tour.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "tools/tool_runner.h"

namespace mvtest {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(ToolChecksum, KnownValuesFromFilesAndStandardInput) {
    ScratchDir scratch;
    WriteBytes(scratch.File("digits"), "123456789");
    WriteBytes(scratch.File("empty"), "");
    ToolRun run = RunTool(scratch, {"checksum", scratch.File("digits"), scratch.File("empty"), "-"},
                          {}, "abc");
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("cbf43926  9  " + scratch.File("digits") + "\n00000000  0  " + scratch.File("empty") +
                  "\n352441c2  3  -\n",
              run.out);
    run = RunTool(scratch, {"checksum", "--json", scratch.File("digits")});
    EXPECT_EQ("[{\"crc32\":\"cbf43926\",\"file\":\"" + scratch.File("digits") + "\",\"size\":9}]\n",
              run.out);
}

TEST(ToolPack, FormatOfKnownInputsAndRoundTripsAcrossPieces) {
    ScratchDir scratch;
    ToolRun run = RunTool(scratch, {"pack"}, {}, "aaaaaaaabc");
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(std::string("\x08"
                          "a\x00\x02"
                          "bc",
                          6),
              run.out);
    run = RunTool(scratch, {"unpack"}, {}, run.out);
    EXPECT_EQ("aaaaaaaabc", run.out);

    // Runs and literals mixed, longer than the tool's 1 MiB pieces.
    std::mt19937 random(7);
    std::string data;
    while (data.size() < (3u << 20)) {
        const char value = static_cast<char>(random() % 4);
        data.append(random() % 3 == 0 ? random() % 600 : 1, value);
    }
    WriteBytes(scratch.File("plain"), data);
    run = RunTool(scratch, {"pack", scratch.File("plain"), "-o", scratch.File("packed"), "-v"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_THAT(run.err, HasSubstr("packed " + std::to_string(data.size()) + " bytes into"));
    run = RunTool(scratch, {"unpack", scratch.File("packed"), "--output", scratch.File("back")});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_TRUE(ReadFile(scratch.File("back")) == data);
}

TEST(ToolUnpack, RefusesDamagedInputAndWritesNothingPastIt) {
    ScratchDir scratch;
    struct {
        std::string packed;
        const char* says;
    } damaged[] = {
        {std::string("\x00\x05"
                     "abc",
                     5),
         "literal token at byte 0 is cut off"},
        {std::string("\x03"
                     "a\x07",
                     3),
         "run token at byte 2 is cut off"},
        {std::string("\x00\x00", 2), "expands to nothing"},
    };
    for (const auto& d : damaged) {
        const ToolRun run = RunTool(scratch, {"unpack", "-o", scratch.File("out")}, {}, d.packed);
        EXPECT_EQ(1, run.status) << d.says;
        EXPECT_THAT(run.err, HasSubstr("mvbasics: standard input: damaged"));
        EXPECT_THAT(run.err, HasSubstr(d.says));
        EXPECT_THAT(ReadFile(scratch.File("out")), IsEmpty());
    }
    // Literal tokens of length 0 among others are accepted, as the expander accepts them.
    const ToolRun ok = RunTool(scratch, {"unpack"}, {}, std::string("\x00\x00\x02z", 4));
    EXPECT_EQ(0, ok.status);
    EXPECT_EQ("zz", ok.out);
}

TEST(ToolDemo, TourRunsAndLeavesNothingBehind) {
    ScratchDir scratch;
    const std::string tmp = scratch.File("tmp");
    std::filesystem::create_directory(tmp);
    ToolRun run = RunTool(scratch, {"demo"}, {"TMPDIR=" + tmp});
    EXPECT_EQ(0, run.status) << run.err;
    for (const char* line :
         {"1. Containers", "2. Arrays", "3. Memory file", "4. Stored data", "5. Settings",
          "6. Performance counters", "7. System log", "8. Assertions", "scratch folder removed"})
        EXPECT_THAT(run.out, HasSubstr(line));
    EXPECT_EQ(std::string::npos, run.out.find('\033')) << "no terminal styling when piped";
    EXPECT_TRUE(std::filesystem::is_empty(tmp));

    run = RunTool(scratch, {"demo", "--keep"}, {"TMPDIR=" + tmp});
    EXPECT_EQ(0, run.status);
    EXPECT_THAT(run.out, HasSubstr("scratch folder kept: " + tmp + "/mvbasics-demo-"));
    EXPECT_FALSE(std::filesystem::is_empty(tmp));
}

}  // namespace
}  // namespace mvtest
