// A host that loads and unloads the library many times: each unload must take the
// library out of the process and give back what it took (descriptors, shared-memory
// mappings, threads, heap). This program never links the library itself.
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

int CountEntries(const char* dir) {
    int n = 0;
    if (DIR* d = opendir(dir)) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

int CountMapLines(const std::string& needle) {
    std::ifstream maps("/proc/self/maps");
    int n = 0;
    for (std::string line; std::getline(maps, line);)
        if (line.find(needle) != std::string::npos) ++n;
    return n;
}

struct Usage {
    int descriptors, shmMappings, threads;
    size_t heap;
};

Usage Measure() {
    return {CountEntries("/proc/self/fd"), CountMapLines("/dev/shm/"),
            CountEntries("/proc/self/task"), mallinfo2().uordblks};
}

int Round(const char* moduleName) {
    void* guest = dlopen(MVT_GUEST_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (guest == nullptr) {
        ADD_FAILURE() << dlerror();
        return -1;
    }
    auto round = reinterpret_cast<int (*)(const char*)>(dlsym(guest, "GuestRound"));
    int result = round != nullptr ? round(moduleName) : -1;
    dlclose(guest);
    return result;
}

class Unload : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string base = std::filesystem::temp_directory_path() / "mvunload-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(base.data()));
        m_dir = base;
        setenv("MERIVANE_REGISTRY", (m_dir + "/registry.db").c_str(), 1);
        setenv("MERIVANE_EVENT_LOG", (m_dir + "/events.jsonl").c_str(), 1);
        setenv("MERIVANE_IPC_NAMESPACE", ("unload" + std::to_string(getpid())).c_str(), 1);
    }
    void TearDown() override {
        unsetenv("MERIVANE_REGISTRY");
        unsetenv("MERIVANE_EVENT_LOG");
        unsetenv("MERIVANE_IPC_NAMESPACE");
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    std::string m_dir;
};

TEST_F(Unload, ThousandRoundsLeaveNothingBehind) {
    // One round first, so that what the C library keeps after a first dlopen (its
    // error buffers, the loader's caches) is not counted against the library.
    ASSERT_EQ(0, Round(MVT_LOADED_MODULE));
    ASSERT_EQ(0, CountMapLines("MV120Mbs100")) << "the library is still mapped after dlclose";
    const Usage before = Measure();
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(0, Round(MVT_LOADED_MODULE)) << "round " << i;
    const Usage after = Measure();

    EXPECT_EQ(0, CountMapLines("MV120Mbs100"));
    EXPECT_EQ(before.descriptors, after.descriptors);
    EXPECT_EQ(before.shmMappings, after.shmMappings);
    EXPECT_EQ(before.threads, after.threads);
    // A small fixed allowance: the C library's own caches may settle a little later.
    EXPECT_LE(after.heap, before.heap + 64 * 1024) << before.heap << " -> " << after.heap;
}

}  // namespace
