// The OS layer's named shared memory and writer mutex.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "os/os.h"

namespace {

std::string ShmPath(const char* name) {
    std::string path = std::string("/dev/shm/") + std::getenv("MERIVANE_IPC_NAMESPACE") + name;
    for (size_t i = 9; i < path.size(); ++i)
        if (path[i] == '\\') path[i] = '.';
    return path;
}

TEST(OsSharedMemory, CreateOpenMapAndRemove) {
    const char* name = "Global\\Shm_Test";
    mvos::SharedMemory* shm = nullptr;
    EXPECT_EQ(mvos::OpenSharedMemory(name, false, &shm), mvos::kFileNotFound);
    EXPECT_EQ(shm, nullptr);

    bool existed = true;
    ASSERT_EQ(mvos::CreateSharedMemory(name, 100, &shm, &existed), mvos::kOk);
    EXPECT_FALSE(existed);
    auto* view = static_cast<uint8_t*>(mvos::MapSharedMemory(shm, 100, true));
    ASSERT_NE(view, nullptr);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(view[i], 0);
    view[99] = 7;
    EXPECT_EQ(mvos::MapSharedMemory(shm, 101, false), nullptr);  // larger than the block

    mvos::SharedMemory* again = nullptr;
    ASSERT_EQ(mvos::CreateSharedMemory(name, 100, &again, &existed), mvos::kOk);
    EXPECT_TRUE(existed);
    mvos::SharedMemory* reader = nullptr;
    ASSERT_EQ(mvos::OpenSharedMemory(name, false, &reader), mvos::kOk);
    auto* readView = static_cast<const uint8_t*>(mvos::MapSharedMemory(reader, 100, false));
    ASSERT_NE(readView, nullptr);
    EXPECT_EQ(readView[99], 7);
    view[0] = 9;
    EXPECT_EQ(readView[0], 9);  // one object, two views

    // An existing block of another size is resized for the new creator.
    mvos::SharedMemory* bigger = nullptr;
    ASSERT_EQ(mvos::CreateSharedMemory(name, 200, &bigger, &existed), mvos::kOk);
    EXPECT_TRUE(existed);
    EXPECT_NE(mvos::MapSharedMemory(bigger, 200, false), nullptr);

    EXPECT_EQ(mvos::RemoveSharedMemory(name), mvos::kOk);
    EXPECT_EQ(mvos::RemoveSharedMemory(name), mvos::kFileNotFound);
    EXPECT_EQ(readView[0], 9);  // views outlive the name
    mvos::SharedMemory* gone = nullptr;
    EXPECT_EQ(mvos::OpenSharedMemory(name, false, &gone), mvos::kFileNotFound);
    mvos::UnmapSharedMemory(view, 100);
    mvos::UnmapSharedMemory(const_cast<uint8_t*>(readView), 100);
    mvos::CloseSharedMemory(shm);
    mvos::CloseSharedMemory(again);
    mvos::CloseSharedMemory(reader);
    mvos::CloseSharedMemory(bigger);
    mvos::CloseSharedMemory(nullptr);
}

TEST(OsSharedMemory, GlobalAndLocalNamesAreTwoBlocksReadableByEveryone) {
    const mode_t savedMask = umask(077);
    mvos::SharedMemory* global = nullptr;
    mvos::SharedMemory* local = nullptr;
    bool existed = true;
    ASSERT_EQ(mvos::CreateSharedMemory("Global\\Two_Names", 8, &global, &existed), mvos::kOk);
    ASSERT_EQ(mvos::CreateSharedMemory("Two_Names", 8, &local, &existed), mvos::kOk);
    umask(savedMask);
    EXPECT_FALSE(existed);
    struct stat st;
    ASSERT_EQ(stat(ShmPath("Global\\Two_Names").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    ASSERT_EQ(stat(ShmPath("Two_Names").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    mvos::CloseSharedMemory(global);
    mvos::CloseSharedMemory(local);
    EXPECT_EQ(mvos::RemoveSharedMemory("Global\\Two_Names"), mvos::kOk);
    EXPECT_EQ(mvos::RemoveSharedMemory("Two_Names"), mvos::kOk);
}

TEST(OsWriterMutex, OneOwnerAtATimeEvenWithinTheOwningProcess) {
    const char* name = "Mutex_Test_mt";
    mvos::WriterMutex* owner = nullptr;
    bool existed = true;
    ASSERT_EQ(mvos::CreateWriterMutex(name, &owner, &existed), mvos::kOk);
    EXPECT_FALSE(existed);
    ASSERT_NE(owner, nullptr);
    mvos::WriterMutex* second = nullptr;
    ASSERT_EQ(mvos::CreateWriterMutex(name, &second, &existed), mvos::kOk);
    EXPECT_TRUE(existed);
    EXPECT_EQ(second, nullptr);
    mvos::CloseWriterMutex(owner);
    ASSERT_EQ(mvos::CreateWriterMutex(name, &second, &existed), mvos::kOk);
    EXPECT_FALSE(existed);
    mvos::CloseWriterMutex(second);
    mvos::CloseWriterMutex(nullptr);
    EXPECT_EQ(mvos::RemoveWriterMutex(name), mvos::kOk);
}

}  // namespace
