// Settings under failure and under load: every failure point of a replace ends in a
// documented result with the old value or the new one, never none; eight processes
// writing and reading at once lose nothing and never see a spurious failure.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "mvbasics.h"
#include "os/os.h"
#include "os/os_testing.h"
#include "registry_db.h"
#include "support/scratch_dir.h"

namespace {

int Set(const char** path, const std::string& text) {
    int length = 1;
    return TnSetRegistryEntry(path, const_cast<char*>(text.c_str()), length);
}

// The value, or "<rc>" when the read fails.
std::string Get(const char** path) {
    char buffer[128];
    int length = sizeof buffer;
    int rc = TnGetRegistryEntry(path, buffer, length);
    return rc == 0 ? std::string(buffer, static_cast<size_t>(length))
                   : "<" + std::to_string(rc) + ">";
}

// The Nth call (counted from 1) of the injected service fails with g_code; 0 never.
int g_calls = 0;
int g_failAt = 0;
int g_code = SQLITE_IOERR;
bool Due() {
    return ++g_calls == g_failAt;
}
int FailingStep(sqlite3_stmt* stmt) {
    return Due() ? g_code : mvos::DefaultSyscalls().db_step(stmt);
}
int FailingWrite(sqlite3_file* file, const void* data, int amount, long long offset) {
    return Due() ? g_code : mvos::DefaultSyscalls().db_write(file, data, amount, offset);
}

using RegistryFaults = mvtest::IsolatedTest;

// Every statement step and every file write of a replace, failed in turn: the result is
// 0 with the new value or -1 with the old one, and new keys exist only with the value.
TEST_F(RegistryFaults, EveryFailurePointOfAReplaceEndsCleanly) {
    // In memory where the machine has it (/dev/shm): the loop commits a few hundred
    // times, and a disk's flushes would make it slow.
    mvtest::ScratchDir memory("/dev/shm");
    mvtest::ScopedEnv registry("MERIVANE_REGISTRY",
                               (memory.Path().empty() ? m_dir : memory).File("faults.db"));
    const char* path[] = {"Faults", "value", nullptr};
    const struct {
        bool write;
        int code;
    } services[] = {{false, SQLITE_IOERR},
                    {false, SQLITE_BUSY},
                    {true, SQLITE_IOERR_WRITE},
                    {true, SQLITE_FULL}};
    int round = 0;
    for (const auto& service : services) {
        mvos::ScopedSyscall<int (*)(sqlite3_stmt*)> steps(
            &mvos::SyscallTable::db_step,
            service.write ? mvos::DefaultSyscalls().db_step : FailingStep);
        mvos::ScopedSyscall<int (*)(sqlite3_file*, const void*, int, long long)> writes(
            &mvos::SyscallTable::db_write,
            service.write ? FailingWrite : mvos::DefaultSyscalls().db_write);
        g_code = service.code;
        int points = 0;
        for (int n = 1; n == 1 || n <= points; ++n, ++round) {
            g_failAt = 0;
            ASSERT_EQ(0, Set(path, "old"));
            const std::string fresh = "Key" + std::to_string(round);
            const char* freshPath[] = {"Faults", fresh.c_str(), "value", nullptr};
            g_calls = 0;
            g_failAt = n;
            const int replaced = Set(path, "new");
            const int created = Set(freshPath, "made");
            if (n == 1) points = g_calls;  // the failure points of both calls
            g_failAt = 0;
            SCOPED_TRACE("failure " + std::to_string(n) + " of " + std::to_string(points) +
                         (service.write ? " (write)" : " (step)"));
            ASSERT_TRUE(replaced == 0 || replaced == -1) << replaced;
            EXPECT_EQ(replaced == 0 ? "new" : "old", Get(path));
            ASSERT_TRUE(created == 0 || created == -1) << created;
            EXPECT_EQ(created == 0 ? "made" : "<-1>", Get(freshPath));
            mvos::RegKey key = nullptr;
            const std::string keyName = std::string("SOFTWARE\\Ardwyn\\Merivane\\Faults\\") + fresh;
            EXPECT_EQ(created == 0 ? mvos::kOk : mvos::kFileNotFound,
                      mvos::RegOpenKey(mvos::kLocalMachine, keyName.c_str(), mvos::kKeyRead, &key));
            if (key != nullptr) mvos::RegCloseKey(key);
        }
        EXPECT_GT(points, 4);
    }
    EXPECT_EQ("ok", QueryDatabase(mvos::RegistryPath(), "PRAGMA integrity_check"));
}

// Eight processes for a bounded time, each writing keys of its own and one shared key
// and reading them back: no write or read fails, every successful write is there
// afterwards, the shared value is never missing, and the file is intact.
TEST_F(RegistryFaults, EightProcessesLoseNothing) {
    constexpr int kProcesses = 8;
    constexpr int kOwnKeys = 4;
    const char* shared[] = {"Load", "shared", nullptr};
    ASSERT_EQ(0, Set(shared, "start"));
    mvos::ReleaseOnUnload();  // no connection is carried into the children
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
    std::vector<pid_t> children;
    for (int i = 0; i < kProcesses; ++i) {
        pid_t child = ::fork();
        if (child == 0) {
            const std::string own = "P" + std::to_string(i);
            std::vector<std::string> last(kOwnKeys);
            int failures = 0, rounds = 0;
            for (; std::chrono::steady_clock::now() < deadline; ++rounds) {
                const std::string name = "k" + std::to_string(rounds % kOwnKeys);
                const char* mine[] = {"Load", own.c_str(), name.c_str(), nullptr};
                const std::string value = std::to_string(i) + ":" + std::to_string(rounds);
                if (Set(mine, value) != 0)
                    ++failures;
                else
                    last[static_cast<size_t>(rounds % kOwnKeys)] = value;
                if (Set(shared, value) != 0) ++failures;
                if (Get(mine) != last[static_cast<size_t>(rounds % kOwnKeys)]) ++failures;
                if (Get(shared)[0] == '<') ++failures;  // never missing, never failing
            }
            {
                std::ofstream out(m_dir.File(own + ".txt"));
                for (const std::string& v : last) out << v << "\n";
                out << rounds << "\n";
            }
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(child, ::waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    int total = 0;
    for (int i = 0; i < kProcesses; ++i) {
        const std::string own = "P" + std::to_string(i);
        std::ifstream in(m_dir.File(own + ".txt"));
        for (int k = 0; k < kOwnKeys; ++k) {
            std::string expected;
            std::getline(in, expected);
            const std::string name = "k" + std::to_string(k);
            const char* mine[] = {"Load", own.c_str(), name.c_str(), nullptr};
            EXPECT_EQ(expected.empty() ? "<-1>" : expected, Get(mine)) << own << " " << name;
        }
        int rounds = 0;
        in >> rounds;
        total += rounds;
    }
    EXPECT_GT(total, kProcesses);
    EXPECT_NE('<', Get(shared)[0]);
    EXPECT_EQ("ok", QueryDatabase(mvos::RegistryPath(), "PRAGMA integrity_check"));
}

}  // namespace
