// The shared-memory calls of the OS layer when the system refuses them: each error number
// becomes its status, nothing is left under the name, and no view is handed out.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>

#include "os/os.h"
#include "os/os_testing.h"
#include "support/alloc_failure.h"

namespace {

using namespace mvos;

// One name per process, so that runs of this program side by side do not meet.
const std::string g_name = "ShmFailureTest_" + std::to_string(::getpid());
const char* const kName = g_name.c_str();

// A refused call of any of the table's signatures: -1 with errno g_errno.
int g_errno = 0;
template <typename... Args>
int Refused(Args...) {
    errno = g_errno;
    return -1;
}
void* FailingMmap(void*, size_t, int, int, int, int64_t) {
    errno = ENOMEM;
    return MAP_FAILED;
}

class SharedMemoryFailures : public ::testing::Test {
  protected:
    void SetUp() override { RemoveSharedMemory(kName); }
    void TearDown() override { RemoveSharedMemory(kName); }
    // True when a block is left under the name.
    static bool NameTaken() {
        SharedMemory* probe = nullptr;
        if (OpenSharedMemory(kName, false, &probe) != kOk) return false;
        CloseSharedMemory(probe);
        return true;
    }
};

const std::pair<int, int32_t> kErrors[] = {
    {ENOENT, kFileNotFound},     {EACCES, kAccessDenied},
    {EPERM, kAccessDenied},      {ELOOP, kAccessDenied},
    {ENOMEM, kNotEnoughMemory},  {ENOSPC, kNotEnoughMemory},
    {EMFILE, kNotEnoughMemory},  {ENFILE, kNotEnoughMemory},
    {EINVAL, kInvalidParameter}, {ENAMETOOLONG, kInvalidParameter},
    {EEXIST, kAlreadyExists},    {EIO, kIoError},
};

// Each error number of opening becomes its status; a block that cannot be sized or opened
// up for reading is removed again.
TEST_F(SharedMemoryFailures, ErrorsMapToStatusesAndCreationLeavesNoNameBehind) {
    for (const auto& e : kErrors) {
        SCOPED_TRACE(e.first);
        g_errno = e.first;
        SharedMemory* shm = reinterpret_cast<SharedMemory*>(1);
        {
            ScopedSyscall<int (*)(const char*, int, unsigned)> fail(&SyscallTable::shm_open,
                                                                    Refused);
            EXPECT_EQ(e.second, OpenSharedMemory(kName, true, &shm));
        }
        EXPECT_EQ(nullptr, shm);
        {
            ScopedSyscall<int (*)(int, int64_t)> fail(&SyscallTable::ftruncate, Refused);
            EXPECT_EQ(e.second, CreateSharedMemory(kName, 4096, &shm));
        }
        EXPECT_EQ(nullptr, shm);
        EXPECT_FALSE(NameTaken());
        {
            ScopedSyscall<int (*)(int, unsigned)> fail(&SyscallTable::fchmod, Refused);
            EXPECT_EQ(e.second, CreateSharedMemory(kName, 4096, &shm));
        }
        EXPECT_FALSE(NameTaken());
    }
    // No memory for the handle: the same.
    SharedMemory* shm = nullptr;
    {
        mvtest::HeapFailure heap;
        EXPECT_EQ(kNotEnoughMemory, CreateSharedMemory(kName, 4096, &shm));
    }
    EXPECT_EQ(nullptr, shm);
    EXPECT_FALSE(NameTaken());
}

TEST_F(SharedMemoryFailures, ViewsOnlyOfWhatTheBlockHolds) {
    SharedMemory* writer = nullptr;
    ASSERT_EQ(kOk, CreateSharedMemory(kName, 4096, &writer));
    SharedMemory* reader = nullptr;
    {
        mvtest::HeapFailure heap;
        EXPECT_EQ(kNotEnoughMemory, OpenSharedMemory(kName, false, &reader));
    }
    EXPECT_EQ(nullptr, reader);
    EXPECT_EQ(nullptr, MapSharedMemory(nullptr, 16, false));
    EXPECT_EQ(nullptr, MapSharedMemory(writer, 0, false));
    EXPECT_EQ(nullptr, MapSharedMemory(writer, 4097, false));
    {
        ScopedSyscall<void* (*)(void*, size_t, int, int, int, int64_t)> fail(&SyscallTable::mmap,
                                                                             FailingMmap);
        EXPECT_EQ(nullptr, MapSharedMemory(writer, 4096, true));
    }
    void* view = MapSharedMemory(writer, 4096, true);
    ASSERT_NE(nullptr, view);
    EXPECT_EQ(0, static_cast<unsigned char*>(view)[4095]);  // zero-filled
    UnmapSharedMemory(view, 4096);
    EXPECT_EQ(kInvalidHandle, UnlinkSharedMemory(nullptr));
    EXPECT_EQ(kOk, UnlinkSharedMemory(writer));
    EXPECT_EQ(kFileNotFound, UnlinkSharedMemory(writer));
    CloseSharedMemory(writer);
    CloseSharedMemory(nullptr);
}

}  // namespace
