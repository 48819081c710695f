// A fresh scratch folder per test, under the folder ctest gives the test program
// (MERIVANE_TEST_BINARY_DIR), else under /tmp; with helpers that point the registry
// and the event file into it.
#ifndef MV_TESTS_OS_SCRATCH_DIR_H
#define MV_TESTS_OS_SCRATCH_DIR_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "os/os_testing.h"
#include "test_platform.h"

namespace mvtest {

class ScratchDir {
  public:
    // Under base (default: the test's folder); Path() is empty when base is unusable.
    explicit ScratchDir(const char* base = std::getenv("MERIVANE_TEST_BINARY_DIR")) {
        const std::string parent = base != nullptr && *base ? base : platform::TempBase();
        std::error_code error;
        std::filesystem::create_directories(parent, error);
        std::random_device seed;
        std::mt19937_64 random(seed() ^ (static_cast<uint64_t>(seed()) << 32));
        for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, "/scratch-%012llx",
                          static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
            // create_directory answers false (no error) when the name is taken.
            if (std::filesystem::create_directory(parent + name, error)) m_path = parent + name;
        }
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
        platform::SetEnv(name, value.c_str());
    }
    ~ScopedEnv() { m_old ? platform::SetEnv(m_name, m_old->c_str()) : platform::UnsetEnv(m_name); }

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
    // Events whose line holds the text (and, when given, is of the type).
    size_t Logged(const std::string& text, const std::string& type = "") const {
        size_t n = 0;
        for (const std::string& line : EventLines())
            n += line.find(text) != std::string::npos &&
                 (type.empty() || line.find("\"type\":\"" + type + "\"") != std::string::npos);
        return n;
    }

    ScratchDir m_dir;
    ScopedEnv m_registry;
    ScopedEnv m_events;
    mvos::ScopedSyscall<void (*)(const mvos::SystemLogEvent&)> m_syslog;
};

}  // namespace mvtest

#endif
