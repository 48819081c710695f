// Linux backend: named shared memory (POSIX shm) and the writer mutex (flock on a
// lock file).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os/os.h"

namespace mvos {

struct SharedMemory {
    int fd;
};
struct WriterMutex {
    int fd;
};

namespace {

std::string Namespace() {
    const char* ns = std::getenv("MERIVANE_IPC_NAMESPACE");
    return ns ? ns : "";
}

// "Global\Merivane_Performance" -> "/<namespace>Global.Merivane_Performance": a POSIX
// name has one leading slash and no other; the backslash becomes a dot so that the
// global and the local name stay two objects.
std::string ShmName(const char* name) {
    std::string result = "/" + Namespace() + name;
    for (size_t i = 1; i < result.size(); ++i) {
        if (result[i] == '\\' || result[i] == '/') result[i] = '.';
    }
    return result;
}

std::string LockPath(const char* name) {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    struct stat st;
    if (!dir || !*dir || stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) dir = "/dev/shm";
    std::string file = Namespace() + name + ".lock";
    for (char& c : file) {
        if (c == '/' || c == '\\') c = '.';
    }
    return std::string(dir) + "/" + file;
}

int32_t StatusOf(int err) {
    switch (err) {
        case ENOENT:
            return kFileNotFound;
        case EACCES:
        case EPERM:
            return kAccessDenied;
        case ENOMEM:
        case ENOSPC:
            return kNotEnoughMemory;
        case EINVAL:
        case ENAMETOOLONG:
            return kInvalidParameter;
        default:
            return kIoError;
    }
}

SharedMemory* Wrap(int fd) {
    auto* shm = static_cast<SharedMemory*>(Malloc(sizeof(SharedMemory)));
    if (!shm) {
        close(fd);
        return nullptr;
    }
    shm->fd = fd;
    return shm;
}

}  // namespace

int32_t OpenSharedMemory(const char* name, bool writable, SharedMemory** out) {
    *out = nullptr;
    int fd = shm_open(ShmName(name).c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC, 0);
    if (fd < 0) return StatusOf(errno);
    *out = Wrap(fd);
    return *out ? kOk : kNotEnoughMemory;
}

int32_t CreateSharedMemory(const char* name, uint32_t size, SharedMemory** out, bool* existed) {
    *out = nullptr;
    *existed = false;
    const std::string posixName = ShmName(name);
    int fd = shm_open(posixName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
        // The umask may have narrowed the mode; readers in other accounts need 0644.
        if (fchmod(fd, 0644) != 0 || ftruncate(fd, size) != 0) {
            int32_t status = StatusOf(errno);
            close(fd);
            shm_unlink(posixName.c_str());
            return status;
        }
    } else {
        if (errno != EEXIST) return StatusOf(errno);
        fd = shm_open(posixName.c_str(), O_RDWR | O_CLOEXEC, 0);
        if (fd < 0) return StatusOf(errno);
        *existed = true;
        struct stat st;
        if (fstat(fd, &st) != 0 ||
            (static_cast<uint64_t>(st.st_size) != size && ftruncate(fd, size) != 0)) {
            int32_t status = StatusOf(errno);
            close(fd);
            return status;
        }
    }
    *out = Wrap(fd);
    return *out ? kOk : kNotEnoughMemory;
}

void* MapSharedMemory(SharedMemory* shm, uint32_t size, bool writable) {
    struct stat st;
    if (!shm || size == 0 || fstat(shm->fd, &st) != 0 || static_cast<uint64_t>(st.st_size) < size)
        return nullptr;
    void* view =
        mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, shm->fd, 0);
    return view == MAP_FAILED ? nullptr : view;
}

void UnmapSharedMemory(void* view, uint32_t size) {
    if (view) munmap(view, size);
}

void CloseSharedMemory(SharedMemory* shm) {
    if (!shm) return;
    close(shm->fd);
    Free(shm);
}

int32_t RemoveSharedMemory(const char* name) {
    return shm_unlink(ShmName(name).c_str()) == 0 ? kOk : StatusOf(errno);
}

// The lock belongs to the open file description: another descriptor, even one of the
// same process, cannot take it, and the kernel drops it when its owner dies.
int32_t CreateWriterMutex(const char* name, WriterMutex** out, bool* existed) {
    *out = nullptr;
    *existed = false;
    const std::string path = LockPath(name);
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EACCES) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return StatusOf(errno);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        close(fd);
        if (err != EWOULDBLOCK) return StatusOf(err);
        *existed = true;
        return kOk;
    }
    *out = static_cast<WriterMutex*>(Malloc(sizeof(WriterMutex)));
    if (!*out) {
        close(fd);
        return kNotEnoughMemory;
    }
    (*out)->fd = fd;
    return kOk;
}

void CloseWriterMutex(WriterMutex* mutex) {
    if (!mutex) return;
    close(mutex->fd);
    Free(mutex);
}

int32_t RemoveWriterMutex(const char* name) {
    return unlink(LockPath(name).c_str()) == 0 ? kOk : StatusOf(errno);
}

}  // namespace mvos
