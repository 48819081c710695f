// Linux: the files behind the statistics' shared memory, as tests find or plant them.
#ifndef MV_TESTS_STATISTICS_LINUX_SHM_FILES_H
#define MV_TESTS_STATISTICS_LINUX_SHM_FILES_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace prftest {

// Where a block name of the current namespace lies in the file system.
inline std::string ShmPath(const std::string& name) {
    std::string file = std::string(std::getenv("MERIVANE_IPC_NAMESPACE")) + name;
    for (char& c : file)
        if (c == '\\') c = '.';
    return "/dev/shm/" + file;
}

// Makes a file at path as another account (or a careless one) might: the given mode
// and owner, `size` bytes of `fill`.
inline void PlantBlock(const std::string& path, mode_t mode, uid_t owner, size_t size,
                       uint8_t fill) {
    unlink(path.c_str());
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0) << path;
    const std::vector<uint8_t> bytes(size, fill);
    EXPECT_EQ(write(fd, bytes.data(), size), static_cast<ssize_t>(size));
    EXPECT_EQ(fchown(fd, owner, owner), 0);
    EXPECT_EQ(fchmod(fd, mode), 0);
    close(fd);
}

}  // namespace prftest

#endif
