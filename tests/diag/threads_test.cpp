// What may run concurrently in diagnostics: error texts into the caller's own buffers,
// and reports to the system log from several threads (each event arrives whole).
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "errors.h"
#include "support/scratch_dir.h"
#include "systemlog.h"

namespace {

constexpr int kThreads = 4;

TEST(Threads, ErrorTextsIntoOwnBuffersMatchTheSingleThreadedTexts) {
    std::vector<int> codes;
    for (int code = -12010; code <= 1010; code += 7) codes.push_back(code);
    std::vector<std::string> expected;
    char buffer[256];
    for (int code : codes) expected.push_back(TnError(buffer, "T", code, 0));

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            char own[256];
            for (int round = 0; round < 3; ++round)
                for (size_t i = 0; i < codes.size(); ++i) {
                    ASSERT_EQ(expected[i], TnError(own, "T", codes[i], 0));
                    ASSERT_NE(nullptr, TnError(nullptr, nullptr, codes[i], 1));
                }
        });
    for (auto& t : threads) t.join();
}

TEST(Threads, ReportsFromSeveralThreadsArriveWholeAndOnce) {
    mvtest::ScratchDir dir;
    mvtest::ScopedEnv events("MERIVANE_EVENT_LOG", dir.File("events.jsonl"));
    constexpr int kReports = 100;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kReports; ++i)
                TnSystemLog()->Report(2, "thread %d report %d", t, i);
        });
    for (auto& t : threads) t.join();

    std::ifstream file(dir.File("events.jsonl"));
    std::set<std::string> seen;
    for (std::string line; std::getline(file, line);) {
        ASSERT_EQ('{', line.front()) << line;
        ASSERT_EQ('}', line.back()) << line;
        const size_t at = line.find("thread ");
        ASSERT_NE(std::string::npos, at) << line;
        seen.insert(line.substr(at, line.find(' ', line.find("report ", at) + 7) - at));
    }
    EXPECT_EQ(size_t{kThreads * kReports}, seen.size());
}

}  // namespace
