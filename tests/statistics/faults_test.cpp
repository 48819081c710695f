// Failure injection: every mapping call of activation and every registry statement of
// registration fails in turn (the Nth call, for N = 1, 2, ... until a run needs fewer
// calls). Each run must end in a documented result with nothing half-made: no block
// name left, no descriptor leaked, the registry as before.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <cstdio>
#include <string>
#include <vector>

#include "os/os_testing.h"
#include "prf_fixture.h"
#include "support/scratch_dir.h"

namespace {

using mvos::ScopedSyscall;
using mvos::SyscallTable;

// Counts calls through the syscall table and fails the Nth (0: none).
struct Countdown {
    static int& Calls() {
        static int calls = 0;
        return calls;
    }
    static int& FailAt() {
        static int failAt = 0;
        return failAt;
    }
    // True when this call is to fail (errno is then set).
    static bool Fails(int err = EIO) {
        if (++Calls() != FailAt()) return false;
        errno = err;
        return true;
    }
};

// Every mapping call of the OS layer fails when its turn comes.
class FailingMapping {
  public:
    explicit FailingMapping(int failAt) {
        Countdown::Calls() = 0;
        Countdown::FailAt() = failAt;
    }
    int Calls() const { return Countdown::Calls(); }

  private:
    static const SyscallTable& D() { return mvos::DefaultSyscalls(); }
    using Named = int (*)(const char*, int, unsigned);
    using Mode = int (*)(const char*, unsigned);
    using Fd = int (*)(int, int64_t);
    using FdMode = int (*)(int, unsigned);
    using Map = void* (*)(void*, size_t, int, int, int, int64_t);
    using FdOp = int (*)(int, int);
    ScopedSyscall<Named> m_shmOpen{&SyscallTable::shm_open, [](const char* n, int f, unsigned m) {
                                       return Countdown::Fails() ? -1 : D().shm_open(n, f, m);
                                   }};
    ScopedSyscall<int (*)(const char*)> m_shmUnlink{
        &SyscallTable::shm_unlink,
        [](const char* n) { return Countdown::Fails(EPERM) ? -1 : D().shm_unlink(n); }};
    ScopedSyscall<Named> m_open{&SyscallTable::open, [](const char* p, int f, unsigned m) {
                                    return Countdown::Fails(EACCES) ? -1 : D().open(p, f, m);
                                }};
    ScopedSyscall<Mode> m_mkdir{&SyscallTable::mkdir, [](const char* p, unsigned m) {
                                    return Countdown::Fails(ENOSPC) ? -1 : D().mkdir(p, m);
                                }};
    ScopedSyscall<Fd> m_ftruncate{&SyscallTable::ftruncate, [](int fd, int64_t n) {
                                      return Countdown::Fails(ENOSPC) ? -1 : D().ftruncate(fd, n);
                                  }};
    ScopedSyscall<FdMode> m_fchmod{&SyscallTable::fchmod, [](int fd, unsigned m) {
                                       return Countdown::Fails(EPERM) ? -1 : D().fchmod(fd, m);
                                   }};
    ScopedSyscall<Map> m_mmap{
        &SyscallTable::mmap, [](void* a, size_t n, int p, int f, int fd, int64_t o) {
            return Countdown::Fails(ENOMEM) ? MAP_FAILED : D().mmap(a, n, p, f, fd, o);
        }};
    ScopedSyscall<FdOp> m_flock{&SyscallTable::flock, [](int fd, int op) {
                                    return Countdown::Fails(ENOLCK) ? -1 : D().flock(fd, op);
                                }};
};

size_t OpenDescriptors() {
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return static_cast<size_t>(std::distance(begin(fds), end(fds)));
}

// Names of this test run's blocks in /dev/shm.
size_t BlockNames() {
    const std::string prefix = std::getenv("MERIVANE_IPC_NAMESPACE");
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm"))
        n += entry.path().filename().string().compare(0, prefix.size(), prefix) == 0;
    return n;
}

class Faults : public mvtest::IsolatedTest {};

// Enable over a fresh "Test" object: activated (the counters published), or the error
// event and the statistics left disabled; either way, once the object is gone, no block
// name is left and every descriptor is closed again.
TEST_F(Faults, EveryMappingCallOfActivationMayFail) {
    prftest::WritePerformanceKey("Test", 1000, 1044, 1001, 1045);
    int failures = 0;
    for (int failAt = 0;; ++failAt) {
        prftest::FreshStatistics fresh;
        const size_t descriptors = OpenDescriptors();
        int calls = 0;
        {
            prftest::TableUnderTest table;
            ASSERT_TRUE(table.Construct(MerivanePrfItems()));
            {
                FailingMapping failing(failAt);
                Statistics()->Enable();
                calls = failing.Calls();
            }
            if (Statistics()->m_enabled) {
                Statistics()->IncClients();
                EXPECT_EQ(*table->GetCtr32Slot(108, 0), 1u) << failAt;
                EXPECT_EQ(BlockNames(), 1u) << failAt;
            } else {
                ++failures;
                EXPECT_EQ(Logged("An error occurs during activate performance counters"),
                          static_cast<size_t>(failures))
                    << failAt;
                EXPECT_EQ(BlockNames(), 0u) << failAt;
            }
        }
        EXPECT_EQ(BlockNames(), 0u) << failAt;
        // (The first run may open the registry for good.)
        if (failAt >= 1) {
            EXPECT_EQ(OpenDescriptors(), descriptors) << failAt;
        }
        if (failAt > calls) break;
        ASSERT_LT(failAt, 100);
    }
    EXPECT_GT(failures, 3);
    mvos::RemoveWriterMutex("Test_mt");
}

// Fails the Nth statement of the registry database. A ROLLBACK, the way back from a
// failure, always runs: one that fails leaves its transaction open on the connection,
// which is the registry's own failure handling, not the registration's.
int FailingStep(sqlite3_stmt* stmt) {
    if (std::strcmp(sqlite3_sql(stmt), "ROLLBACK") == 0)
        return mvos::DefaultSyscalls().db_step(stmt);
    return Countdown::Fails() ? SQLITE_IOERR : mvos::DefaultSyscalls().db_step(stmt);
}

// What a registration changes: the service's key, the counter-text database's range,
// and its texts (the first name of each language's text keys).
std::vector<std::string> RegistrationState() {
    const std::string perflib = mvos::kCounterTextKey;
    std::vector<std::string> state = {prftest::KeyExists(prftest::Service("Merivane")) ? "key" : "",
                                      std::to_string(prftest::RegDword(perflib, "Last Counter")),
                                      std::to_string(prftest::RegDword(perflib, "Last Help"))};
    for (const char* texts : {"\\009\\Counter", "\\009\\Help"}) {
        mvos::RegKey key = nullptr;
        char name[64] = {};
        uint32_t size = sizeof name;
        if (mvos::RegOpenKey(mvos::kLocalMachine, (perflib + texts).c_str(), mvos::kKeyRead,
                             &key) == mvos::kOk) {
            mvos::RegEnumValue(key, 0, name, &size);
            mvos::RegCloseKey(key);
        }
        state.push_back(name);
    }
    return state;
}

// The counter text files beside this test program, while it lives.
class CounterFilesBesideProgram {
  public:
    CounterFilesBesideProgram() {
        const std::filesystem::path lib = std::filesystem::path(MVB_LIBRARY_PATH).parent_path();
        for (const char* file : kFiles)
            std::filesystem::copy_file(lib / file, m_dir / file,
                                       std::filesystem::copy_options::overwrite_existing);
    }
    ~CounterFilesBesideProgram() {
        for (const char* file : kFiles) std::filesystem::remove(m_dir / file);
    }

  private:
    static constexpr const char* kFiles[] = {"MerivanePerformanceCounters.ini",
                                             "MerivanePerformanceCounters.h"};
    const std::filesystem::path m_dir =
        std::filesystem::read_symlink("/proc/self/exe").parent_path();
};

TEST_F(Faults, EveryRegistryStatementOfRegistrationMayFail) {
    CounterFilesBesideProgram files;
    // Hundreds of runs: the database lives in memory-backed files, removed at the end
    // whatever happens.
    const std::string db =
        "/dev/shm/" + std::string(std::getenv("MERIVANE_IPC_NAMESPACE")) + "registry.db";
    mvtest::ScopedEnv registry("MERIVANE_REGISTRY", db);
    const std::unique_ptr<const std::string, void (*)(const std::string*)> removal(
        &db, [](const std::string* path) {
            for (const char* suffix : {"", "-wal", "-shm", "-journal"})
                std::remove((*path + suffix).c_str());
        });
    // A first registration leaves the service key and the counter-text database's own
    // values behind, as designed; the runs below start from there.
    ASSERT_EQ(RegisterStatistics(), 0);
    ASSERT_EQ(DeregisterStatistics(), 0);
    const auto before = RegistrationState();
    // Every statement up to the first counter text and from the last one on; the runs of
    // alike statements for the 46 texts in between are sampled.
    const int total = [] {
        mvos::ScopedSyscall<int (*)(sqlite3_stmt*)> counting(&SyscallTable::db_step, &FailingStep);
        Countdown::Calls() = 0;
        Countdown::FailAt() = 0;
        EXPECT_EQ(RegisterStatistics(), 0);
        return Countdown::Calls();
    }();
    ASSERT_EQ(DeregisterStatistics(), 0);
    int failures = 0;
    for (int failAt = 1; failAt <= total; failAt += failAt < 30 || failAt > total - 40 ? 1 : 13) {
        int result = 0;
        {
            mvos::ScopedSyscall<int (*)(sqlite3_stmt*)> failing(&SyscallTable::db_step,
                                                                &FailingStep);
            Countdown::Calls() = 0;
            Countdown::FailAt() = failAt;
            result = RegisterStatistics();
        }
        if (result == 0) {
            const std::string key = prftest::Service("Merivane");
            EXPECT_EQ(prftest::RegText(key, "Collect"), "PrfData_Collect") << failAt;
            EXPECT_EQ(prftest::RegDword(key, "Disable Performance Counters"), 0u) << failAt;
            EXPECT_EQ(prftest::RegDword(key, "Last Help"), 1045u) << failAt;
            ASSERT_EQ(DeregisterStatistics(), 0) << failAt;
        } else {
            ++failures;
            EXPECT_TRUE(result == -2 || result == -3) << failAt << " " << result;
        }
        EXPECT_EQ(RegistrationState(), before) << failAt << " " << result;
    }
    EXPECT_GT(failures, 40) << total;
}

}  // namespace
