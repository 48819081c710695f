// mvbasics module describe | find: the description protocol of a test module and of the
// library itself, modules without it, and the loader's search place by place.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tools/tool_runner.h"

namespace mvtest {
namespace {

using ::testing::HasSubstr;

const std::string kModuleDir = MVT_TOOL_MODULE_DIR;
const std::string kModule = kModuleDir + "/mvtdescribe.so";

std::string Canonical(const std::string& path) {
    return std::filesystem::canonical(path).string();
}

TEST(ToolModule, DescribeShowsEveryAnswerOfTheProtocol) {
    ScratchDir scratch;
    ToolRun run = RunTool(scratch, {"module", "describe", kModule});
    ASSERT_EQ(0, run.status) << run.err;
    for (const char* line :
         {"TnDescribeDll:\n  title              Test Describe Module\n  version            "
          "7.1.2.3.4\n",
          "  fourth text        fourth\n", "  compiler version   1234\n",
          "  extra text         (null)\n",
          "GETTNBASICSINFO:\n  description        Test Describe Module 7.1.2.3.4 \\x1b[2J\n",
          "TnCheckDll:\n  flags              2\n  result             0\n"})
        EXPECT_THAT(run.out, HasSubstr(line));
    EXPECT_THAT(run.out, HasSubstr("file: " + kModule + "\n"));

    // The flags reach the module's TnCheckDll; its refusal is explained from the catalogue.
    run = RunTool(scratch, {"module", "describe", kModule, "--check-flags", "6", "--json"});
    ASSERT_EQ(0, run.status) << run.err;
    nlohmann::json d = nlohmann::json::parse(run.out);
    EXPECT_EQ(-5004, d["TnCheckDll"]["result"]);
    EXPECT_EQ("A module has an incompatible version.", d["TnCheckDll"]["text"]);
    EXPECT_TRUE(d["TnDescribeDll"]["extra text"].is_null());
    EXPECT_EQ("Test Describe Module 7.1.2.3.4 \x1b[2J", d["GETTNBASICSINFO"]["description"]);
    run = RunTool(scratch, {"module", "describe", kModule, "--check-flags", "0x20000006"});
    EXPECT_THAT(run.out, HasSubstr("  result             0\n"));
    for (const char* flags : {"-1", "abc", "4294967296"})
        EXPECT_EQ(2,
                  RunTool(scratch, {"module", "describe", kModule, "--check-flags", flags}).status)
            << flags;
}

TEST(ToolModule, DescribeTheLibraryByFileAndByName) {
    ScratchDir scratch;
    for (const std::string& which : {std::string(MVB_LIBRARY_PATH), std::string("MV120Mbs100")}) {
        const ToolRun run = RunTool(scratch, {"module", "describe", which, "--json"});
        ASSERT_EQ(0, run.status) << which << run.err;
        const nlohmann::json d = nlohmann::json::parse(run.out);
        EXPECT_EQ(Canonical(MVB_LIBRARY_PATH), Canonical(d["file"]));
        EXPECT_EQ("Merivane Basic Algorithms", d["TnDescribeDll"]["title"]);
        EXPECT_EQ("12.0.2.155.0", d["TnDescribeDll"]["version"]);
        EXPECT_EQ("Merivane Basic Algorithms 12.0.2.155.0 ", d["GETTNBASICSINFO"]["description"]);
        EXPECT_EQ(0, d["TnCheckDll"]["result"]);
    }
}

TEST(ToolModule, WhatIsNoModuleOfTheRuntimeFails) {
    ScratchDir scratch;
    ToolRun run = RunTool(scratch, {"module", "describe", MVT_PLAIN_MODULE});
    EXPECT_EQ(1, run.status);
    EXPECT_THAT(run.out, HasSubstr("TnDescribeDll: not exported\nGETTNBASICSINFO: not exported\n"
                                   "TnCheckDll: not exported\n"));
    EXPECT_THAT(run.err,
                HasSubstr("not a module of the runtime: it does not export TnDescribeDll"));

    std::ofstream(scratch.File("text.so")) << "not a shared object\n";
    for (const std::string& file : {scratch.File("missing.so"), scratch.File("text.so")}) {
        run = RunTool(scratch, {"module", "describe", file});
        EXPECT_EQ(1, run.status);
        EXPECT_THAT(run.err, HasSubstr("mvbasics: " + file + ": cannot load: "));
    }
    run = RunTool(scratch, {"module", "describe", "mvtnosuchmodule"});
    EXPECT_EQ(1, run.status);
    EXPECT_THAT(run.err, HasSubstr("the loader's search does not find it"));
    EXPECT_EQ(2, RunTool(scratch, {"module", "describe"}).status);
}

TEST(ToolModule, FindShowsEveryPlaceAndTheFileTaken) {
    ScratchDir scratch;
    // Not found: the three places without a configured directory, each with its cause.
    ToolRun run = RunTool(scratch, {"module", "find", "mvtdescribe"}, {"PATH=/nonexistent"});
    EXPECT_EQ(1, run.status);
    EXPECT_THAT(run.out,
                testing::ContainsRegex("^1\\. beside this library +/.*/mvtdescribe\\.so\n   .+\n"
                                       "2\\. the system's standard search +mvtdescribe\\.so\n"
                                       "   .+\n3\\. current directory and PATH +mvtdescribe"
                                       "\\.so\n   .+\n$"));
    // Each place has its own reason (not the last attempt's).
    const std::string besideLibrary =
        std::filesystem::path(MVB_LIBRARY_PATH).parent_path().string() + "/mvtdescribe.so";
    EXPECT_THAT(run.out, HasSubstr("\n   " + besideLibrary + ": cannot open shared object"));
    EXPECT_THAT(run.err, HasSubstr("mvbasics: mvtdescribe: no place of the search has it"));

    // Along PATH: the last place takes it.
    run = RunTool(scratch, {"module", "find", "mvtdescribe", "--json"},
                  {"PATH=/nonexistent:" + kModuleDir});
    ASSERT_EQ(0, run.status) << run.err;
    nlohmann::json found = nlohmann::json::parse(run.out);
    ASSERT_EQ(3u, found["steps"].size());
    EXPECT_EQ(0, found["steps"][2]["status"]);
    EXPECT_EQ(Canonical(kModule), Canonical(found["file"]));

    // The host's configured directory comes first and takes it there.
    std::ofstream(scratch.File("host.ini")) << "defaultModulePath = " << kModuleDir << "\n";
    run = RunTool(scratch, {"module", "find", "mvtdescribe", "--config", scratch.File("host.ini")});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_THAT(run.out, HasSubstr("1. configured directory (defaultModulePath) " + kModule +
                                   "\n   loaded\ntakes: " + kModule + "\n"));
}

TEST(ToolModule, FindRefusesNamesThatDoNotFitAndBadConfigurations) {
    ScratchDir scratch;
    ToolRun run = RunTool(scratch, {"module", "find", std::string(5000, 'm')});
    EXPECT_EQ(1, run.status);
    EXPECT_THAT(run.err, HasSubstr("no place of the search has it"));
    run = RunTool(scratch, {"module", "find", "x", "--config", scratch.File("none.ini")});
    EXPECT_EQ(2, run.status);
}

}  // namespace
}  // namespace mvtest
