// Writers, readers and collectors in processes of their own (the helper program), on
// either backend.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "prf_fixture.h"
#include "statistics/multiprocess.h"

namespace {

using prftest::Helper;
using prftest::MultiProcess;
using prftest::Numbers;
using prftest::WritePerformanceKey;

TEST_F(MultiProcess, OneWriterAtATimeAndReadersAfterIt) {
    WritePerformanceKey("Merivane", 1000, 1044, 1001, 1045);
    {
        Helper early;
        EXPECT_EQ(early.Ask("activate reader"), "-1");
        EXPECT_EQ(early.Ask("collect Global"), "0 0 0");
    }
    Helper writer;
    ASSERT_EQ(writer.Ask("activate writer"), "0");
    Helper second;
    EXPECT_EQ(second.Ask("activate writer"), "3");
    EXPECT_EQ(second.Ask("enable"), "0");
    Helper reader;
    EXPECT_EQ(reader.Ask("activate reader"), "0");

    // A writer killed outright leaves the mutex free for the next one.
    writer.Kill();
    Helper next;
    EXPECT_EQ(next.Ask("activate writer"), "0");
}

// One helper publishes, another collects: the values, the request by title index, and
// values that move under the collector's feet without a lock.
TEST_F(MultiProcess, PublishedCountsReachACollectorInAnotherProcess) {
    WritePerformanceKey("Merivane", 1000, 1044, 1001, 1045);
    Helper writer;
    PublishSample(writer);
    if (HasFatalFailure()) return;
    Helper collector;
    std::vector<uint32_t> n = Numbers(collector.Ask("collect Global"));
    ASSERT_EQ(n.size(), 3u + 22u);
    EXPECT_EQ(std::vector<uint32_t>(n.begin(), n.begin() + 3), (std::vector<uint32_t>{0, 1128, 1}));
    // Counter id and its value (the values follow the three numbers from id 101 on).
    const std::pair<int, uint32_t> values[] = {{101, 0}, {102, 2}, {108, 1},
                                               {111, 5}, {116, 0}, {119, 1}};
    for (const auto& c : values) EXPECT_EQ(n[3 + c.first - 101], c.second) << c.first;
    EXPECT_EQ(collector.Ask("collect 1000"), collector.Ask("collect global"));
    EXPECT_EQ(collector.Ask("collect 1002"), "0 0 0");
    ASSERT_EQ(writer.Ask("AddLocks 10"), "ok");
    EXPECT_EQ(Numbers(collector.Ask("collect Global")).at(3 + 111 - 101), 15u);
    // A second writer process publishes nothing.
    Helper second;
    EXPECT_EQ(second.Ask("enable"), "0");
    EXPECT_EQ(second.Ask("IncClients"), "ok");
    EXPECT_EQ(Numbers(collector.Ask("collect Global")).at(3 + 108 - 101), 1u);
}

// Writers come and go while a collector polls: every collection is the whole block
// with its definitions, or nothing; never a block caught half-made.
TEST_F(MultiProcess, ABlockBeingMadeIsNeverHandedOutHalfWritten) {
    WritePerformanceKey("Merivane", 1000, 1044, 1001, 1045);
    Helper poller;
    std::string polled;
    std::thread poll([&] { polled = poller.Ask("poll 1500"); });
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1400);
    int writers = 0;
    for (; std::chrono::steady_clock::now() < end; ++writers) {
        Helper writer;
        ASSERT_EQ(writer.Ask("activate writer"), "0");
    }
    poll.join();
    const std::vector<uint32_t> n = Numbers(polled);
    ASSERT_EQ(n.size(), 3u) << polled;
    // (How many whole blocks it saw depends on the machine's load; none may be bad.)
    EXPECT_EQ(n[2], 0u) << polled << " with " << writers << " writers";
}

}  // namespace
