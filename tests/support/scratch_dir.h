// A fresh scratch folder per test, under the folder ctest gives the test program
// (MERIVANE_TEST_BINARY_DIR), else under /tmp; with helpers that point the registry
// and the event file into it.
#ifndef MV_TESTS_OS_SCRATCH_DIR_H
#define MV_TESTS_OS_SCRATCH_DIR_H

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "os/os_testing.h"

namespace mvtest {

class ScratchDir {
  public:
    // Under base (default: the test's folder); Path() is empty when base is unusable.
    explicit ScratchDir(const char* base = std::getenv("MERIVANE_TEST_BINARY_DIR")) {
        std::string pattern = std::string(base != nullptr && *base ? base : "/tmp");
        ::mkdir(pattern.c_str(), 0755);
        pattern += "/scratch-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) m_path = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

// Sets an environment variable for a scope and puts the old value back.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { m_old ? ::setenv(m_name, m_old->c_str(), 1) : ::unsetenv(m_name); }

  private:
    const char* m_name;
    std::optional<std::string> m_old;
};

inline std::string ReadFile(const std::string& path) {
    std::stringstream s;
    s << std::ifstream(path).rdbuf();
    return s.str();
}

// A test fixture whose registry and event file live in a scratch folder; events are
// kept out of the machine's system log.
class IsolatedTest : public ::testing::Test {
  protected:
    IsolatedTest()
        : m_registry("MERIVANE_REGISTRY", m_dir.File("registry.db")),
          m_events("MERIVANE_EVENT_LOG", m_dir.File("events.jsonl")),
          m_syslog(&mvos::SyscallTable::syslog, [](const mvos::SystemLogEvent&) {}) {}

    std::string EventFile() const { return m_dir.File("events.jsonl"); }
    std::vector<std::string> EventLines() const {
        std::vector<std::string> lines;
        std::ifstream in(EventFile());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    ScratchDir m_dir;
    ScopedEnv m_registry;
    ScopedEnv m_events;
    mvos::ScopedSyscall<void (*)(const mvos::SystemLogEvent&)> m_syslog;
};

}  // namespace mvtest

#endif
