// The mvbasics tool and the shared memory's files, with writers in processes of their
// own (the helper program): Linux only, where the tool is built.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "prf_fixture.h"
#include "statistics/linux/shm_files.h"
#include "statistics/multiprocess.h"
#include "tools/tool_runner.h"

namespace {

using prftest::Helper;
using prftest::MultiProcess;
using prftest::Numbers;
using prftest::WritePerformanceKey;

// The standard output and exit status of the mvbasics tool run with arguments.
std::string Tool(const mvtest::ScratchDir& dir, const std::string& arguments, int* status) {
    const mvtest::ToolRun run = mvtest::RunTool(dir, mvtest::Words(arguments));
    *status = run.status;
    return run.out;
}

// Registered by the tool (through the shared object, beside which the counter text
// file lies), published by one helper, collected by another and by the tool.
TEST_F(MultiProcess, RegisteredCountersReachCollectorsAndTheTool) {
    int status = -1;
    Tool(m_dir, "perf collect", &status);
    EXPECT_EQ(status, 1);  // nothing to collect yet
    EXPECT_NE(Tool(m_dir, "perf register", &status).find("registered (0)"), std::string::npos);
    EXPECT_EQ(status, 0);
    const std::string key = prftest::Service("Merivane");
    EXPECT_EQ(prftest::RegText(key, "Library"), MVB_LIBRARY_PATH);
    for (const char* name : {"Open", "Close", "Collect"})
        EXPECT_EQ(prftest::RegText(key, name), std::string("PrfData_") + name);
    EXPECT_EQ(prftest::RegDword(key, "Disable Performance Counters"), 0u);
    EXPECT_EQ(prftest::RegDword(key, "First Counter"), 1000u);
    Tool(m_dir, "perf register", &status);  // "already registered (-1)", on standard error
    EXPECT_EQ(status, 1);

    Helper writer;
    PublishSample(writer);
    if (HasFatalFailure()) return;
    ASSERT_EQ(writer.Ask("AddLocks 10"), "ok");
    // The values a collector reads are checked on every platform in multiprocess_test;
    // here a collector finds the block by the title index the tool registered.
    Helper collector;
    EXPECT_EQ(Numbers(collector.Ask("collect 1000")).size(), 3u + 22u);

    const std::string metrics = Tool(m_dir, "perf prometheus", &status);
    EXPECT_EQ(status, 0);
    for (const char* line :
         {"# TYPE merivane_clients gauge\nmerivane_clients 1\n",
          "# TYPE merivane_commits_total counter\nmerivane_commits_total 2\n",
          "merivane_locks 15\n",
          "# HELP merivane_client_server_requests_total The number of client/server",
          "merivane_waiting_jobs 1\n", "merivane_obj_desc_cs_queue_length 0\n"})
        EXPECT_NE(metrics.find(line), std::string::npos) << line << "\n" << metrics;
    EXPECT_NE(Tool(m_dir, "perf collect", &status).find("Commits/sec"), std::string::npos);
    EXPECT_EQ(status, 0);
    EXPECT_NE(Tool(m_dir, "perf watch 0.05 1", &status).find("Clients"), std::string::npos);
    EXPECT_EQ(status, 0);

    EXPECT_NE(Tool(m_dir, "perf unregister", &status).find("deregistered (0)"), std::string::npos);
    EXPECT_FALSE(prftest::KeyExists(key));
    Tool(m_dir, "perf unregister", &status);
    EXPECT_EQ(status, 1);
}

// The block's name goes with a writer that ends; a writer killed outright leaves a
// block that collectors and the tool take for none; the next writer starts clean, and
// a collector that kept running finds its block.
TEST_F(MultiProcess, CountersEndWithTheirWriter) {
    WritePerformanceKey("Merivane", 1000, 1044, 1001, 1045);
    const std::string global = prftest::ShmPath("Global\\Merivane_Performance");
    const size_t kClients = 3 + 108 - 101;
    Helper reader;
    Helper writer;
    ASSERT_EQ(writer.Ask("enable"), "1");
    ASSERT_EQ(writer.Ask("IncClients"), "ok");
    ASSERT_EQ(writer.Ask("forkexit"), "ok");  // a child's end leaves the name alone
    EXPECT_EQ(access(global.c_str(), F_OK), 0);
    EXPECT_EQ(Numbers(reader.Ask("collect Global")).at(kClients), 1u);
    writer.Quit();
    EXPECT_EQ(access(global.c_str(), F_OK), -1);
    EXPECT_EQ(reader.Ask("collect Global"), "0 0 0");
    EXPECT_EQ(Helper().Ask("activate reader"), "-1");

    Helper killed;
    ASSERT_EQ(killed.Ask("enable"), "1");
    for (int i = 0; i < 5; ++i) ASSERT_EQ(killed.Ask("IncClients"), "ok");
    EXPECT_EQ(Numbers(reader.Ask("collect Global")).at(kClients), 5u);
    killed.Kill();
    EXPECT_EQ(access(global.c_str(), F_OK), 0);  // left behind, and taken for none
    EXPECT_EQ(reader.Ask("collect Global"), "0 0 0");
    EXPECT_EQ(Helper().Ask("activate reader"), "-1");
    int status = -1;
    EXPECT_EQ(Numbers(Tool(m_dir, "perf collect", &status)).size(), 0u);
    EXPECT_EQ(status, 1);
    std::string metrics = Tool(m_dir, "perf prometheus", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(metrics.find("# TYPE merivane_writer_alive gauge\nmerivane_writer_alive 0\n"),
              std::string::npos);
    EXPECT_EQ(metrics.find("merivane_clients"), std::string::npos) << metrics;

    Helper next;
    ASSERT_EQ(next.Ask("enable"), "1");
    const std::vector<uint32_t> n = Numbers(reader.Ask("collect Global"));
    ASSERT_EQ(n.size(), 25u);
    EXPECT_EQ(n[kClients], 0u);
    metrics = Tool(m_dir, "perf prometheus", &status);
    for (const char* line : {"merivane_writer_alive 1\n", "merivane_clients 0\n"})
        EXPECT_NE(metrics.find(line), std::string::npos) << metrics;
    EXPECT_NE(Tool(m_dir, "perf collect", &status).find("alive"), std::string::npos);
}

// A restarted writer counts from 0 again: `perf watch` begins a new base instead of
// taking the drop for a 32-bit wrap.
TEST_F(MultiProcess, WatchStartsANewBaseWhenTheWriterRestarts) {
    WritePerformanceKey("Merivane", 1000, 1044, 1001, 1045);
    auto first = std::make_unique<Helper>();
    ASSERT_EQ(first->Ask("enable"), "1");
    ASSERT_EQ(first->Ask("AddDeletedObjects 1000000"), "ok");
    // Enough samples (5 s) for the second writer to start on a slow, loaded machine.
    FILE* watch = popen((std::string(MVB_TOOL_PATH) + " perf watch 0.2 25 2>&1").c_str(), "r");
    ASSERT_NE(watch, nullptr);
    std::string output;
    char line[256];
    size_t restarts = 0, writerLines = 0;
    // Reads one line of the watch; false at its end.
    auto next = [&] {
        if (!std::fgets(line, sizeof line, watch)) return false;
        output += line;
        char name[64] = {};
        char value[64] = {};
        if (std::sscanf(line, "%63s %63s", name, value) != 2) return true;
        if (std::string(name) == "Writer") {
            ++writerLines;
            restarts += std::string(value) == "new";
        }
        if (std::string(name) == "DeletedObjects/sec" && std::string(value) != "-") {
            EXPECT_LT(std::atof(value), 1e6) << output;
        }
        return true;
    };
    // The first writer goes only once the watch has taken its base and shown a sample.
    while (writerLines == 0 && next()) {
    }
    ASSERT_EQ(writerLines, 1u) << output;
    first->Kill();
    Helper second;
    ASSERT_EQ(second.Ask("enable"), "1");
    ASSERT_EQ(second.Ask("AddDeletedObjects 5"), "ok");
    while (next()) {
    }
    EXPECT_EQ(pclose(watch), 0);
    EXPECT_EQ(restarts, 1u) << output;
}

}  // namespace
