// perf serve scraped on a loopback port and parsed by prometheus_client's exposition
// parser; perf prometheus linted by promtool. The counters come from this test program,
// which publishes them as a runtime process does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <regex>
#include <thread>

#include "os/os.h"
#include "statistics.h"
#include "tools/tool_runner.h"

namespace mvtest {
namespace {

using ::testing::HasSubstr;

// A command's standard output and error together, and its exit status.
std::string Capture(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    const int raw = pclose(pipe);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return output;
}

// Registered counters, published by this process under names of its own.
class ToolScrape : public IsolatedTest {
  protected:
    ToolScrape()
        : m_names("MERIVANE_IPC_NAMESPACE", "mvtscrape" + std::to_string(getpid()) + "_") {}
    ~ToolScrape() override {
        mvos::RemoveSharedMemory("Global\\Merivane_Performance");
        mvos::RemoveSharedMemory("Merivane_Performance");
        mvos::RemoveWriterMutex("Merivane_mt");
    }
    void Publish() {
        const ToolRun registered = RunTool(m_dir, {"perf", "register"});
        ASSERT_EQ(0, registered.status) << registered.err;
        Statistics()->Enable();
        for (int i = 0; i < 3; ++i) Statistics()->IncTransactions();
        Statistics()->AddInsertedObjects(12);
    }

    ScopedEnv m_names;
};

// The URL perf serve prints once it listens, or "" after a few seconds.
std::string ListeningUrl(const StartedTool& tool) {
    const std::regex listening("listening on (http://127\\.0\\.0\\.1:[0-9]+/metrics)");
    for (int i = 0; i < 200; ++i) {
        std::smatch match;
        const std::string out = ReadFile(tool.outFile);
        if (std::regex_search(out, match, listening)) return match[1];
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return "";
}

// promtool's lint of what perf prometheus writes for node_exporter: no finding.
void ExpectPromtoolFindsNothing(const ScratchDir& dir) {
    if (std::string(MVT_PROMTOOL).empty()) {
        std::printf(
            "promtool is not installed (Debian package prometheus): the lint check of "
            "the exposition is skipped\n");
        return;
    }
    const std::string file = dir.File("merivane.prom");
    const ToolRun written = RunTool(dir, {"perf", "prometheus", "--output", file});
    ASSERT_EQ(0, written.status) << written.err;
    int status = -1;
    const std::string lint =
        Capture(std::string(MVT_PROMTOOL) + " check metrics < '" + file + "'", &status);
    EXPECT_EQ(0, status) << lint;
    EXPECT_EQ("", lint);
    EXPECT_THAT(ReadFile(file), HasSubstr("merivane_inserted_objects_total 12\n"));
}

// One test: the counters are published once per process.
TEST_F(ToolScrape, ServeAnswersTheExpositionParserAndPromtoolFindsNothingToLint) {
    Publish();
    ExpectPromtoolFindsNothing(m_dir);
    const StartedTool serve = StartTool(m_dir, {"perf", "serve", "--listen", "127.0.0.1:0"});
    const std::string url = ListeningUrl(serve);
    int status = -1;
    const std::string scraped =
        url.empty()
            ? ""
            : Capture(std::string(MVT_PYTHON3) + " " + MVT_SCRAPE_SCRIPT + " " + url, &status);
    kill(serve.pid, SIGTERM);
    const ToolRun stopped = FinishTool(serve);
    ASSERT_FALSE(url.empty()) << stopped.out << stopped.err;
    EXPECT_EQ(0, stopped.status) << stopped.err;  // a clean stop on SIGTERM
    ASSERT_EQ(0, status) << scraped;
    EXPECT_THAT(scraped, HasSubstr("content-type text/plain; version=0.0.4; charset=utf-8\n"));
    EXPECT_THAT(scraped, HasSubstr("merivane_writer_alive gauge merivane_writer_alive 1.0\n"));
    EXPECT_THAT(scraped, HasSubstr("merivane_transactions gauge merivane_transactions 3.0\n"));
    EXPECT_THAT(scraped, HasSubstr(" counter merivane_inserted_objects_total 12.0\n"));
    // A gauge does not end in a suffix kept for other types (promtool would report it).
    EXPECT_THAT(scraped, HasSubstr("merivane_obj_desc_cs_used gauge merivane_obj_desc_cs_used 0"));
    EXPECT_THAT(scraped, testing::ContainsRegex("merivane_collection_timestamp_seconds gauge "
                                                "merivane_collection_timestamp_seconds 1[0-9]{9}"));
    // Every counter is a counter or a gauge, named in snake case.
    std::istringstream lines(scraped);
    std::string line;
    std::getline(lines, line);
    int samples = 0;
    for (; std::getline(lines, line); ++samples)
        EXPECT_TRUE(std::regex_match(line, std::regex("merivane_[a-z0-9_]+ (counter|gauge) "
                                                      "merivane_[a-z0-9_]+ [-0-9.e+]+")))
            << line;
    EXPECT_GT(samples, 20);
}

}  // namespace
}  // namespace mvtest
