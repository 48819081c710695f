// The tool's conventions: help on standard output with status 0 at every level, the
// version, unknown commands with a hint, typed and range-checked arguments, and the
// exit statuses 0 / 1 / 2.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tools/tool_runner.h"

namespace mvtest {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

TEST(ToolConventions, HelpGoesToStandardOutputWithStatusZeroAtEveryLevel) {
    ScratchDir scratch;
    for (const char* ask :
         {"--help", "-h", "help", "perf --help", "perf -h", "perf watch --help", "perf serve -h",
          "help perf serve", "error --help", "demo -h", "unpack --help", "log --help",
          "module describe -h", "help module find"}) {
        const ToolRun run = RunTool(scratch, Words(ask));
        SCOPED_TRACE(ask);
        EXPECT_EQ(0, run.status);
        EXPECT_THAT(run.out, HasSubstr("Usage:"));
        const std::string exitCodes = "Exit status: 0 success, 1 the operation failed";
        EXPECT_THAT(run.out, HasSubstr(exitCodes));
        EXPECT_EQ(run.out.find(exitCodes), run.out.rfind(exitCodes));  // once
        EXPECT_THAT(run.err, IsEmpty());
    }
}

TEST(ToolConventions, VersionNamesTheLibraryAndTheRevision) {
    ScratchDir scratch;
    const ToolRun run = RunTool(scratch, {"--version"});
    EXPECT_EQ(0, run.status);
    EXPECT_THAT(run.out, HasSubstr("library MV120Mbs100 12.0.2.155.0"));
    EXPECT_THAT(run.out, testing::ContainsRegex("revision [0-9a-f]+|revision unknown"));
}

TEST(ToolConventions, UnknownCommandsAreUsageErrorsWithAHint) {
    ScratchDir scratch;
    struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"frob"}, "unknown command 'frob'\nRun 'mvbasics --help'"},
        {{"prf"}, "unknown command 'prf'; did you mean 'perf'?"},
        {{"perf", "colect"}, "did you mean 'collect'?\nRun 'mvbasics perf --help'"},
        {{"help", "nothing"}, "unknown command 'nothing'"},
        {{}, "A subcommand is required"},
        {{"perf"}, "A subcommand is required"},
    };
    for (const auto& c : cases) {
        const ToolRun run = RunTool(scratch, c.args);
        EXPECT_EQ(2, run.status) << c.says;
        EXPECT_THAT(run.err, HasSubstr(c.says));
        EXPECT_THAT(run.out, IsEmpty());
    }
}

TEST(ToolConventions, ArgumentsAreTypedAndRangeChecked) {
    ScratchDir scratch;
    for (const char* wrong :
         {"perf watch 0.1 abc", "perf watch abc", "perf watch 0", "perf watch -1",
          "perf watch 1 2 3", "perf serve --listen localhost",
          "perf serve --listen 127.0.0.1:70000", "perf serve --max-connections 0", "error",
          "error 12abc", "error 99999999999", "checksum", "demo /nonexistent/host.ini",
          "collect --bogus-option"}) {
        const ToolRun run = RunTool(scratch, Words(wrong));
        EXPECT_EQ(2, run.status) << wrong;
        EXPECT_THAT(run.err, Not(IsEmpty())) << wrong;
    }
}

TEST(ToolConventions, FailuresNameTheObjectAndExitOne) {
    ScratchDir scratch;
    const std::string missing = scratch.File("no-such-file");
    const ToolRun run = RunTool(scratch, {"checksum", missing});
    EXPECT_EQ(1, run.status);
    EXPECT_THAT(run.err, HasSubstr("mvbasics: " + missing + ": cannot read: No such file"));
}

TEST(ToolError, TextsAndRangesOfCodes) {
    ScratchDir scratch;
    const ToolRun run =
        RunTool(scratch, {"error", "-2008", "-512", "7001", "0", "12", "-3050", "-424242"});
    EXPECT_EQ(0, run.status);
    for (const char* text :
         {"-2008 -> database is not opened\n",
          "-512 -> unknown error\n   range: this library: containers and iterators",
          "7001 -> unknown error\n   range: dictionary, data extraction and online versioning "
          "notices (7000 to 7301)\n",
          "0 -> ok\n", "12 -> count\n   range: a count returned in place of a result",
          "-3050 -> To get the OQL-Errors", "range: the query-language layer",
          "-424242 -> unknown error\n   range: an error outside every known range"})
        EXPECT_THAT(run.out, HasSubstr(text));

    const ToolRun json = RunTool(scratch, {"error", "--json", "-5002", "abc", "3"});
    EXPECT_EQ(2, json.status);  // the bad word is reported, the others still explained
    EXPECT_THAT(json.out, HasSubstr("{\"code\":-5002,\"range\":\"module loading (-5005 to "
                                    "-5001)\",\"text\":\"A module could not be loaded.\"}\n"));
    EXPECT_THAT(json.out, HasSubstr("{\"code\":3,\"range\":"));
    EXPECT_THAT(json.err, HasSubstr("'abc': not a result code"));
}

}  // namespace
}  // namespace mvtest
