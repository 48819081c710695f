// A fresh scratch folder per test, under the folder ctest gives the test program
// (MERIVANE_TEST_BINARY_DIR), else under /tmp; with helpers that point the registry
// and the event file into it.
#ifndef MV_TESTS_OS_SCRATCH_DIR_H
#define MV_TESTS_OS_SCRATCH_DIR_H

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "os/os_testing.h"

namespace mvtest {

class ScratchDir {
  public:
    ScratchDir() {
        const char* base = std::getenv("MERIVANE_TEST_BINARY_DIR");
        std::string root = base != nullptr && *base ? base : "/tmp";
        ::mkdir(root.c_str(), 0755);
        std::string pattern = root + "/scratch-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (::mkdtemp(buf.data()) != nullptr) m_path = buf.data();
    }
    ~ScratchDir() {
        if (!m_path.empty()) std::system(("rm -rf '" + m_path + "'").c_str());
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
        const char* old = std::getenv(name);
        m_had = old != nullptr;
        if (m_had) m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_had) {
            ::setenv(m_name, m_old.c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

  private:
    const char* m_name;
    bool m_had;
    std::string m_old;
};

// A test fixture whose registry and event file live in a scratch folder; events are
// kept out of the machine's system log.
class IsolatedTest : public ::testing::Test {
  protected:
    IsolatedTest()
        : m_registry("MERIVANE_REGISTRY", m_dir.File("registry.db")),
          m_events("MERIVANE_EVENT_LOG", m_dir.File("events.jsonl")),
          m_syslog(&mvos::SyscallTable::syslog, [](int, const char*, const char*) {}) {}

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
    mvos::ScopedSyscall<void (*)(int, const char*, const char*)> m_syslog;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace mvtest

#endif
