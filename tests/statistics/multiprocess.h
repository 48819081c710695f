// What the multi-process tests share: the helper program, started as a process of its
// own and driven line by line through its standard input and output (starting, killing
// and waiting for a process are the backend's, <backend>/child_process.cpp), and the
// tests' fixture.
#ifndef MV_TESTS_STATISTICS_MULTIPROCESS_H
#define MV_TESTS_STATISTICS_MULTIPROCESS_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "os/os.h"
#include "support/scratch_dir.h"

namespace prftest {

// A started process of the platform (opaque), and its backend's three calls.
struct ChildProcess;
// Starts program with its standard input and output connected to *to and *from; null
// when it cannot be started.
ChildProcess* StartChild(const char* program, std::FILE** to, std::FILE** from);
// Ends the process outright (as a crash or a kill from outside would).
void KillChild(ChildProcess* child);
// Waits until the process has ended, then forgets it.
void WaitChild(ChildProcess* child);

class Helper {
  public:
    Helper() { m_child = StartChild(MVB_STATISTICS_HELPER, &m_to, &m_from); }
    ~Helper() {
        for (std::FILE* f : {m_to, m_from})
            if (f) std::fclose(f);
        Wait();
    }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    std::string Ask(const std::string& command) {
        if (!m_to || !m_from) return "no helper";
        std::fprintf(m_to, "%s\n", command.c_str());
        std::fflush(m_to);
        char line[1024];
        if (!std::fgets(line, sizeof line, m_from)) return "no answer";
        std::string answer = line;
        while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r'))
            answer.pop_back();
        return answer;
    }
    void Kill() {
        if (m_child) KillChild(m_child);
        Wait();
    }
    // Ends the helper the ordinary way: its input ends and it returns from main.
    void Quit() {
        if (m_to) std::fclose(m_to);
        m_to = nullptr;
        Wait();
    }

  private:
    void Wait() {
        if (m_child) WaitChild(m_child);
        m_child = nullptr;
    }
    ChildProcess* m_child = nullptr;
    std::FILE* m_to = nullptr;
    std::FILE* m_from = nullptr;
};

// The numbers of an answer.
inline std::vector<uint32_t> Numbers(const std::string& text) {
    std::vector<uint32_t> n;
    std::istringstream in(text);
    for (uint32_t v; in >> v;) n.push_back(v);
    return n;
}

// A writer that publishes a known sample: one commit counted before Enable (which clears
// it), then clients 1, locks 5, commits 2, waiting jobs 1.
inline void PublishSample(Helper& writer) {
    writer.Ask("IncCommits");
    ASSERT_EQ(writer.Ask("enable"), "1");
    for (const char* op : {"IncClients", "IncClients", "DecClients", "AddLocks 5",
                           "AddDeletedObjects 0", "IncCommits", "IncCommits", "IncWaitingJobs"})
        ASSERT_EQ(writer.Ask(op), "ok") << op;
}

// Each test has its own registry, event file and names for blocks and mutexes.
class MultiProcess : public mvtest::IsolatedTest {
  protected:
    MultiProcess()
        : m_ns("MERIVANE_IPC_NAMESPACE",
               std::string(std::getenv("MERIVANE_IPC_NAMESPACE")) +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_") {}
    void TearDown() override {
        mvos::RemoveSharedMemory("Global\\Merivane_Performance");
        mvos::RemoveSharedMemory("Merivane_Performance");
        mvos::RemoveWriterMutex("Merivane_mt");
    }
    mvtest::ScopedEnv m_ns;
};

}  // namespace prftest

#endif
