// mvbasics log: the library's own events shown and filtered, hostile lines reported and
// skipped, and --follow through appends, truncation, rotation and its stop signal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <thread>

#include "systemlog.h"
#include "tools/tool_runner.h"

namespace mvtest {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const char kSource[] = "Merivane Runtime System 12 (100)";

std::string EventLine(const std::string& time, const std::string& source,
                      const std::string& message, const std::string& type = "information") {
    return "{\"time\":\"" + time + "\",\"source\":\"" + source + "\",\"type\":\"" + type +
           "\",\"id\":1073741826,\"kind\":2,\"category\":0,\"pid\":1,\"message\":\"" + message +
           "\",\"strings\":[]}\n";
}

void Append(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

class ToolLog : public IsolatedTest {};

TEST_F(ToolLog, ShowsTheLibrarysOwnEventsAsLinesAndJson) {
    TnSystemLog()->Report(4, "disk %s is full", "/data");
    TnSystemLog()->Report(2, "tab\there");
    ToolRun run = RunTool(m_dir, {"log"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_THAT(run.err, IsEmpty());
    EXPECT_THAT(run.out, testing::ContainsRegex("^20[0-9-]{8}T[0-9:]{8}\\.[0-9]{3}Z  error   "));
    EXPECT_THAT(run.out, HasSubstr("  error        " + std::string(kSource) +
                                   "  id 4  ERROR: disk /data is full (Merivane 12.0.2.155.0) | "
                                   "PID=" +
                                   std::to_string(getpid()) + " | EXE="));
    EXPECT_THAT(run.out,
                HasSubstr("information  " + std::string(kSource) + "  id 2  tab\\x09here\n"));

    run = RunTool(m_dir, {"log", "--json", "--source", kSource});
    std::istringstream lines(run.out);
    std::vector<nlohmann::json> events;
    for (std::string line; std::getline(lines, line);)
        events.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(2u, events.size());
    EXPECT_EQ(0xC0000004u, events[0]["id"]);
    EXPECT_EQ(4, events[0]["kind"]);
    EXPECT_EQ("tab\there", events[1]["message"]);
    EXPECT_EQ(4u, events[0]["strings"].size());

    run = RunTool(m_dir, {"log", "--source", "someone else"});
    EXPECT_EQ(0, run.status);
    EXPECT_THAT(run.out, IsEmpty());
}

TEST_F(ToolLog, HostileLinesAreNamedAndSkipped) {
    const std::string ok = EventLine("2026-12-06T07:20:23.123Z", "s", "fine");
    std::string text = ok;                                               // 1
    text += "not json\n";                                                // 2
    text += "[1,2]\n";                                                   // 3
    text += std::string(200000, '[') + std::string(200000, ']') + "\n";  // 4
    text += "{\"time\":\"x\"}\n";                                        // 5
    text += EventLine("2026-02-29T00:00:00.000Z", "s", "no leap");       // 6
    text += EventLine("2026-12-06T24:00:00.000Z", "s", "hour 24");       // 7
    text += EventLine("2026-12-06T07:20:23Z", "s", "fine", "fatal");     // 8
    const std::string error =
        "{\"time\":\"2026-12-06T07:20:23.123Z\",\"source\":\"s\",\"type\":\"error\",";
    text += error + "\"id\":4294967296,\"message\":\"\"}\n";                           // 9
    text += error + "\"id\":-1,\"message\":\"\"}\n";                                   // 10
    text += error + "\"id\":1.5,\"message\":\"\"}\n";                                  // 11
    text += error + "\"id\":1,\"message\":\"\",\"strings\":[1]}\n";                    // 12
    text += EventLine("2026-12-06T07:20:23.123Z", "s", "bad \xff utf8");               // 13
    text += std::string("{\"a\":\0}\n", 8);                                            // 14
    text += std::string(1 << 20, 'x') + "\n";                                          // 15
    text += std::string((1 << 20) + 1, 'x') + "\n";                                    // 16
    text += EventLine("2026-12-06T07:20:23.123Z", "s\\u001b[2J", "a\\r\\nb\\u202ec");  // 17
    text += "\n";                                                                      // 18
    text += EventLine("2026-12-06T07:20:24Z", "s", "last, without a line break");
    text.pop_back();  // 19
    std::ofstream(EventFile(), std::ios::binary) << text;

    const ToolRun run = RunTool(m_dir, {"log"});
    EXPECT_EQ(0, run.status);
    const std::string at = EventFile() + ":";
    for (const char* expected :
         {"2: not JSON", "3: not a JSON object", "4: not a JSON object", "5: 'source' is missing",
          "6: 'time' is not of the form", "7: 'time' is not", "8: 'type' is not success",
          "9: 'id' is missing or not a number from 0 to 4294967295", "10: 'id'", "11: 'id'",
          "12: 'strings' is not a list", "13: not JSON", "14: not JSON", "15: not JSON",
          "16: line longer than 1048576 bytes", "18: not JSON"})
        EXPECT_THAT(run.err, HasSubstr(at + expected)) << expected;
    EXPECT_THAT(run.err, Not(HasSubstr(at + "1:")));
    EXPECT_THAT(run.err, Not(HasSubstr(at + "17:")));
    EXPECT_THAT(run.err, Not(HasSubstr(at + "19:")));
    EXPECT_EQ(
        "2026-12-06T07:20:23.123Z  information  s  id 2  fine\n"
        "2026-12-06T07:20:23.123Z  information  s\\x1b[2J  id 2  a | b\\u202ec\n"
        "2026-12-06T07:20:24Z  information  s  id 2  last, without a line break\n",
        run.out);
}

TEST_F(ToolLog, SinceTakesItsFormsAndItsBoundaryIsIncluded) {
    std::ofstream(EventFile()) << EventLine("2024-02-29T23:59:59.999Z", "s", "leap day")
                               << EventLine("2024-03-01T00:00:00.000Z", "s", "march")
                               << EventLine("2024-03-01T10:30:05.250Z", "s", "morning");
    auto shown = [&](const std::string& since) {
        const ToolRun run = RunTool(m_dir, {"log", "--since", since});
        EXPECT_EQ(0, run.status) << since << run.err;
        return std::count(run.out.begin(), run.out.end(), '\n');
    };
    EXPECT_EQ(3, shown("2024-02-29"));
    EXPECT_EQ(3, shown("2024-02-29T23:59:59.999Z"));
    EXPECT_EQ(2, shown("2024-03-01"));
    EXPECT_EQ(2, shown("2024-02-29 23:59:59.9991"));
    EXPECT_EQ(1, shown("2024-03-01T00:00:00.001"));
    EXPECT_EQ(1, shown("2024-03-01 10:30:05.250Z"));
    EXPECT_EQ(0, shown("2024-03-01T10:30:05.251"));
    EXPECT_EQ(0, shown("now"));
    EXPECT_EQ(3, shown("999999999d"));
    EXPECT_EQ(0, shown("1s"));

    for (const char* wrong :
         {"yesterday", "2023-02-29", "2024-13-01", "2024-3-01", "2024-03-01T24:00",
          "2024-03-01T10:60", "2024-03-01T10:30:5", "2024-03-01T10:30:05.", "1234567890d", "15",
          "15w", "-5m", "2024-03-01Z"}) {
        const ToolRun run = RunTool(m_dir, {"log", "--since", wrong});
        EXPECT_EQ(2, run.status) << wrong;
        EXPECT_THAT(run.err, HasSubstr("not a time")) << wrong;
    }
}

TEST_F(ToolLog, TheFileMustBeNamedExistAndBeRegular) {
    ToolRun run = RunTool(m_dir, {"log"}, {"MERIVANE_EVENT_LOG="});
    EXPECT_EQ(2, run.status);
    EXPECT_THAT(run.err, HasSubstr("MERIVANE_EVENT_LOG is not set"));
    run = RunTool(m_dir, {"log"});
    EXPECT_EQ(1, run.status);
    EXPECT_THAT(run.err, HasSubstr(EventFile() + ": cannot open: No such file or directory"));
    ASSERT_EQ(0, mkfifo(m_dir.File("fifo").c_str(), 0600));
    for (const std::string& odd : {m_dir.File("fifo"), m_dir.Path(), std::string("/dev/zero")}) {
        run = RunTool(m_dir, {"log", "--file", odd});
        EXPECT_EQ(1, run.status) << odd;
        EXPECT_THAT(run.err, HasSubstr(odd + ": not a regular file"));
    }
}

// Waits until the started tool has printed text (or a few seconds have passed).
bool Printed(const StartedTool& tool, const std::string& text, bool onStderr = false) {
    for (int i = 0; i < 200; ++i) {
        const std::string printed = ReadFile(onStderr ? tool.errFile : tool.outFile);
        if (printed.find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

TEST_F(ToolLog, FollowReadsOnThroughTruncationAndRotationUntilSigterm) {
    const std::string file = EventFile();
    const StartedTool tool = StartTool(m_dir, {"log", "--follow", "--json"});
    // Not there yet: the tool waits for it.
    EXPECT_TRUE(Printed(tool, "cannot open: No such file or directory; waiting for it", true));
    Append(file, EventLine("2026-12-06T07:00:00.000Z", "s", "first"));
    EXPECT_TRUE(Printed(tool, "first"));
    // A line written in two pieces is shown once it is whole.
    Append(file, EventLine("2026-12-06T07:00:01.000Z", "s", "second").substr(0, 20));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Append(file, EventLine("2026-12-06T07:00:01.000Z", "s", "second").substr(20));
    EXPECT_TRUE(Printed(tool, "second"));
    // Truncated, then a shorter line.
    std::ofstream(file, std::ios::trunc) << "";
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    Append(file, EventLine("2026-12-06T07:00:02.000Z", "s", "3rd"));
    EXPECT_TRUE(Printed(tool, "3rd"));
    // Rotated: the old file's last line, then the new file.
    Append(file, EventLine("2026-12-06T07:00:03.000Z", "s", "fourth"));
    ASSERT_EQ(0, std::rename(file.c_str(), (file + ".1").c_str()));
    Append(file, EventLine("2026-12-06T07:00:04.000Z", "s", "fifth"));
    EXPECT_TRUE(Printed(tool, "fifth"));
    kill(tool.pid, SIGTERM);
    const ToolRun run = FinishTool(tool);
    EXPECT_EQ(0, run.status);
    std::vector<std::string> messages;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);)
        messages.push_back(nlohmann::json::parse(line)["message"]);
    EXPECT_EQ((std::vector<std::string>{"first", "second", "3rd", "fourth", "fifth"}), messages);
    EXPECT_THAT(run.err, HasSubstr("cannot open: No such file or directory; waiting for it"));
    EXPECT_THAT(run.err, HasSubstr(file + ": truncated; reading it from the start"));
    EXPECT_THAT(run.err, HasSubstr(file + ": replaced; reading the new file"));
}

}  // namespace
}  // namespace mvtest
