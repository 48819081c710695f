// Linux backend: named shared memory (POSIX shm) and the writer mutex (flock on a
// lock file).
//
// Who may trust what: /dev/shm is writable by every account, so a name there may have
// been made by anyone. A writer therefore only ever uses a block it created itself,
// and holds an exclusive flock on it for as long as it publishes: readers that can
// take a lock on a block know its writer is gone. The block is created with mode 0600
// and the lock is taken before it is opened up to other accounts (0644), so no other
// account can come between. The writer mutex lives in a folder that only its owner
// may write in.
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
    char name[256];  // the POSIX name, for removing it again at the end
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

// A folder in which only this account can create or replace files: a real folder
// (not a link, when lstat is asked), owned by the effective user, not writable by
// group or others.
bool PrivateFolder(const std::string& dir, bool followLink) {
    struct stat st;
    const int rc = followLink ? stat(dir.c_str(), &st) : lstat(dir.c_str(), &st);
    return rc == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 022) == 0;
}

// Where the writer mutex's lock file lives: $XDG_RUNTIME_DIR when it is this account's
// private folder, else a folder of our own (/run/merivane for root, where only root may
// write; /dev/shm/merivane-<uid> otherwise), made with mode 0700. Empty when none fits.
std::string LockFolder() {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg && *xdg == '/' && PrivateFolder(xdg, true)) return xdg;
    const uid_t uid = geteuid();
    const std::string own = uid == 0 && PrivateFolder("/run", false)
                                ? std::string("/run/merivane")
                                : "/dev/shm/merivane-" + std::to_string(uid);
    if (Syscalls().mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) return "";
    return PrivateFolder(own, false) ? own : "";
}

std::string LockFile(const char* name) {
    std::string file = Namespace() + name + ".lock";
    for (char& c : file) {
        if (c == '/' || c == '\\') c = '.';
    }
    return file;
}

int32_t StatusOf(int err) {
    switch (err) {
        case ENOENT:
            return kFileNotFound;
        case EACCES:
        case EPERM:
        case ELOOP:
            return kAccessDenied;
        case ENOMEM:
        case ENOSPC:
        case EMFILE:
        case ENFILE:
            return kNotEnoughMemory;
        case EINVAL:
        case ENAMETOOLONG:
            return kInvalidParameter;
        case EEXIST:
            return kAlreadyExists;
        default:
            return kIoError;
    }
}

// Closes fd and gives the status of err, for the failure paths.
int32_t Fail(int fd, int err) {
    close(fd);
    return StatusOf(err);
}

SharedMemory* Wrap(int fd, const std::string& posixName) {
    auto* shm = static_cast<SharedMemory*>(Malloc(sizeof(SharedMemory)));
    if (!shm) {
        close(fd);
        return nullptr;
    }
    shm->fd = fd;
    std::strncpy(shm->name, posixName.c_str(), sizeof shm->name - 1);
    shm->name[sizeof shm->name - 1] = 0;
    return shm;
}

// A block as a writer leaves it: a regular file that only its owner may write.
bool OwnerOnlyWrites(const struct stat& st) {
    return S_ISREG(st.st_mode) && (st.st_mode & 022) == 0;
}

// True when a writer holds its lock on the open block: a shared lock cannot be had.
bool HeldByWriter(int fd) {
    if (Syscalls().flock(fd, LOCK_SH | LOCK_NB) == 0) {
        flock(fd, LOCK_UN);
        return false;
    }
    return errno == EWOULDBLOCK;
}

// Clears the way for a new block under posixName: kOk when the name is free (a block
// left by a dead writer, or one that is not this account's or that others may write,
// is removed first); kAlreadyExists when a live writer of this account holds it.
int32_t ClearName(const std::string& posixName) {
    const int fd = Syscalls().shm_open(posixName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd >= 0) {
        struct stat st;
        const bool ours = fstat(fd, &st) == 0 && OwnerOnlyWrites(st) && st.st_uid == geteuid();
        const bool live = ours && HeldByWriter(fd);
        close(fd);
        if (live) return kAlreadyExists;
    } else if (errno == ENOENT) {
        return kOk;
    }
    if (Syscalls().shm_unlink(posixName.c_str()) != 0 && errno != ENOENT) return StatusOf(errno);
    return kOk;
}

}  // namespace

int32_t OpenSharedMemory(const char* name, bool writable, SharedMemory** out) {
    *out = nullptr;
    const std::string posixName = ShmName(name);
    const int fd = Syscalls().shm_open(posixName.c_str(),
                                       (writable ? O_RDWR : O_RDONLY) | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd < 0) return StatusOf(errno);
    struct stat st;
    if (fstat(fd, &st) != 0) return Fail(fd, errno);
    if (!OwnerOnlyWrites(st)) return Fail(fd, EACCES);
    *out = Wrap(fd, posixName);
    return *out ? kOk : kNotEnoughMemory;
}

int32_t CreateSharedMemory(const char* name, uint32_t size, SharedMemory** out) {
    *out = nullptr;
    const std::string posixName = ShmName(name);
    int32_t status = ClearName(posixName);
    if (status != kOk) return status;
    const int fd = Syscalls().shm_open(posixName.c_str(),
                                       O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return StatusOf(errno);
    // Locked while only this account can open it (a reader of ours tests the lock for a
    // moment at most, so waiting is short); then sized and opened up for reading.
    if (Syscalls().flock(fd, LOCK_EX) != 0 || Syscalls().ftruncate(fd, size) != 0 ||
        Syscalls().fchmod(fd, 0644) != 0) {
        status = Fail(fd, errno);
        shm_unlink(posixName.c_str());
        return status;
    }
    *out = Wrap(fd, posixName);
    if (*out) return kOk;
    shm_unlink(posixName.c_str());
    return kNotEnoughMemory;
}

void* MapSharedMemory(SharedMemory* shm, uint32_t size, bool writable) {
    struct stat st;
    if (!shm || size == 0 || fstat(shm->fd, &st) != 0 || static_cast<uint64_t>(st.st_size) < size)
        return nullptr;
    void* view = Syscalls().mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ,
                                 MAP_SHARED, shm->fd, 0);
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

bool SharedMemoryHasWriter(SharedMemory* shm) {
    return shm && HeldByWriter(shm->fd);
}

int32_t UnlinkSharedMemory(SharedMemory* shm) {
    if (!shm) return kInvalidHandle;
    // Only while the name still leads to this very block.
    const int fd = shm_open(shm->name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd < 0) return StatusOf(errno);
    struct stat named;
    struct stat own;
    const bool same = fstat(fd, &named) == 0 && fstat(shm->fd, &own) == 0 &&
                      named.st_dev == own.st_dev && named.st_ino == own.st_ino;
    close(fd);
    if (!same) return kFileNotFound;
    return shm_unlink(shm->name) == 0 ? kOk : StatusOf(errno);
}

int32_t RemoveSharedMemory(const char* name) {
    return shm_unlink(ShmName(name).c_str()) == 0 ? kOk : StatusOf(errno);
}

// The lock belongs to the open file description: another descriptor, even one of the
// same process, cannot take it, and the kernel drops it when its owner dies.
int32_t CreateWriterMutex(const char* name, WriterMutex** out, bool* existed) {
    *out = nullptr;
    *existed = false;
    const std::string folder = LockFolder();
    if (folder.empty()) return kAccessDenied;
    const std::string path = folder + "/" + LockFile(name);
    const int fd = Syscalls().open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return StatusOf(errno);
    struct stat st;
    if (fstat(fd, &st) != 0) return Fail(fd, errno);
    if (!S_ISREG(st.st_mode) || st.st_uid != geteuid()) return Fail(fd, EACCES);
    if (Syscalls().flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) return Fail(fd, errno);
        close(fd);
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
    const std::string folder = LockFolder();
    if (folder.empty()) return kAccessDenied;
    return unlink((folder + "/" + LockFile(name)).c_str()) == 0 ? kOk : StatusOf(errno);
}

}  // namespace mvos
