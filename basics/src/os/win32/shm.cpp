// Windows backend: named shared memory (CreateFileMapping / OpenFileMapping) and the
// writer mutex (a named mutex).
//
// A mapping's name lives as long as any handle to it, so a block is never removed by
// name. Beside each block its writer keeps a small record "<name>.writer" (its process
// id and whether it has let go), from which readers tell a live writer from a block
// left behind.
#include "os/win32/system.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <string>

#include "os/os.h"

namespace mvos {

namespace {

struct WriterRecord {
    uint32_t pid;
    uint32_t released;
};

}  // namespace

struct SharedMemory {
    HANDLE mapping;
    HANDLE record;       // the writer's record; null for a block opened by name
    WriterRecord* mine;  // this process's view of its record, when it is the writer
    char name[256];
};
struct WriterMutex {
    HANDLE handle;
    std::string name;
};

namespace {

// "Global\Merivane_Performance" -> "Global\<namespace>Merivane_Performance": the
// namespace goes after the session prefix the system reads.
std::string SystemName(const char* name) {
    const char* ns = std::getenv("MERIVANE_IPC_NAMESPACE");
    std::string prefix;
    std::string rest = name;
    for (const char* session : {"Global\\", "Local\\"}) {
        if (rest.compare(0, std::strlen(session), session) == 0) {
            prefix = session;
            rest.erase(0, prefix.size());
        }
    }
    std::string local = (ns != nullptr ? ns : "") + rest;
    for (char& c : local) {
        if (c == '\\') c = '.';
    }
    return prefix + local;
}

int32_t StatusOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
            return kFileNotFound;
        case ERROR_ACCESS_DENIED:
            return kAccessDenied;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_COMMITMENT_LIMIT:
            return kNotEnoughMemory;
        case ERROR_INVALID_PARAMETER:
        case ERROR_INVALID_NAME:
            return kInvalidParameter;
        case ERROR_ALREADY_EXISTS:
            return kAlreadyExists;
        default:
            return static_cast<int32_t>(error);
    }
}

bool ProcessAlive(uint32_t pid) {
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return false;
    const bool alive = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return alive;
}

// True when the writer of the block under name (the system name) still holds it.
bool WriterLive(const std::string& name) {
    HANDLE record = ::OpenFileMappingA(FILE_MAP_READ, FALSE, (name + ".writer").c_str());
    if (record == nullptr) return false;
    bool live = false;
    if (auto* view = static_cast<const WriterRecord*>(
            ::MapViewOfFile(record, FILE_MAP_READ, 0, 0, sizeof(WriterRecord)))) {
        live = view->released == 0 && ProcessAlive(view->pid);
        ::UnmapViewOfFile(view);
    }
    ::CloseHandle(record);
    return live;
}

// The mutexes this process owns, by name: a second creation in the process sees them.
// Never destroyed: the library's own take-down closes its writer mutex while static
// objects of this file may already be gone (a destroyed std::mutex of winpthread faults).
struct OwnedMutexes {
    std::mutex lock;
    std::set<std::string> names;
};
OwnedMutexes& Owned() {
    static OwnedMutexes* const owned = new OwnedMutexes;
    return *owned;
}

}  // namespace

int32_t OpenSharedMemory(const char* name, bool writable, SharedMemory** out) {
    *out = nullptr;
    const std::string systemName = SystemName(name);
    HANDLE mapping = ::OpenFileMappingA(writable ? FILE_MAP_WRITE | FILE_MAP_READ : FILE_MAP_READ,
                                        FALSE, systemName.c_str());
    if (mapping == nullptr) return StatusOf(::GetLastError());
    auto* shm = static_cast<SharedMemory*>(Malloc(sizeof(SharedMemory)));
    if (shm == nullptr) {
        ::CloseHandle(mapping);
        return kNotEnoughMemory;
    }
    *shm = SharedMemory{mapping, nullptr, nullptr, {}};
    std::strncpy(shm->name, systemName.c_str(), sizeof shm->name - 1);
    *out = shm;
    return kOk;
}

int32_t CreateSharedMemory(const char* name, uint32_t size, SharedMemory** out) {
    *out = nullptr;
    const std::string systemName = SystemName(name);
    if (size == 0) return kInvalidParameter;
    if (HANDLE existing = ::OpenFileMappingA(FILE_MAP_READ, FALSE, systemName.c_str())) {
        ::CloseHandle(existing);
        // A block left behind cannot be taken away from those who still hold it.
        return WriterLive(systemName) ? kAlreadyExists : kAccessDenied;
    }
    HANDLE mapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size,
                                          systemName.c_str());
    if (mapping == nullptr) return StatusOf(::GetLastError());
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mapping);
        return kAlreadyExists;
    }
    HANDLE record = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         sizeof(WriterRecord), (systemName + ".writer").c_str());
    const DWORD recordError = ::GetLastError();
    auto* mine = record != nullptr ? static_cast<WriterRecord*>(::MapViewOfFile(
                                         record, FILE_MAP_WRITE, 0, 0, sizeof(WriterRecord)))
                                   : nullptr;
    auto* shm = static_cast<SharedMemory*>(Malloc(sizeof(SharedMemory)));
    if (mine == nullptr || shm == nullptr) {
        if (mine != nullptr) ::UnmapViewOfFile(mine);
        if (record != nullptr) ::CloseHandle(record);
        ::CloseHandle(mapping);
        Free(shm);
        return record == nullptr ? StatusOf(recordError) : kNotEnoughMemory;
    }
    mine->pid = ::GetCurrentProcessId();
    mine->released = 0;
    *shm = SharedMemory{mapping, record, mine, {}};
    std::strncpy(shm->name, systemName.c_str(), sizeof shm->name - 1);
    *out = shm;
    return kOk;
}

void* MapSharedMemory(SharedMemory* shm, uint32_t size, bool writable) {
    if (shm == nullptr || size == 0) return nullptr;
    void* view =
        ::MapViewOfFile(shm->mapping, writable ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0, size);
    if (view == nullptr) return nullptr;
    // The view may not reach past the block.
    MEMORY_BASIC_INFORMATION info;
    if (::VirtualQuery(view, &info, sizeof info) == 0 || info.RegionSize < size) {
        ::UnmapViewOfFile(view);
        return nullptr;
    }
    return view;
}

void UnmapSharedMemory(void* view, uint32_t) {
    if (view != nullptr) ::UnmapViewOfFile(view);
}

void CloseSharedMemory(SharedMemory* shm) {
    if (shm == nullptr) return;
    if (shm->mine != nullptr) {
        shm->mine->released = 1;
        ::UnmapViewOfFile(shm->mine);
    }
    if (shm->record != nullptr) ::CloseHandle(shm->record);
    ::CloseHandle(shm->mapping);
    Free(shm);
}

bool SharedMemoryHasWriter(SharedMemory* shm) {
    if (shm == nullptr) return false;
    if (shm->mine != nullptr) return true;
    return WriterLive(shm->name);
}

int32_t UnlinkSharedMemory(SharedMemory* shm) {
    return shm == nullptr ? kInvalidHandle : RemoveSharedMemory(shm->name);
}

// The name goes with the last handle; nothing to remove, only to report.
int32_t RemoveSharedMemory(const char* name) {
    const std::string systemName =
        std::strchr(name, '.') != nullptr ? std::string(name) : SystemName(name);
    HANDLE mapping = ::OpenFileMappingA(FILE_MAP_READ, FALSE, systemName.c_str());
    if (mapping == nullptr) return kFileNotFound;
    ::CloseHandle(mapping);
    return kOk;
}

// A mutex whose owner died is handed to the next waiter as abandoned: the new writer
// takes it over.
int32_t CreateWriterMutex(const char* name, WriterMutex** out, bool* existed) {
    *out = nullptr;
    *existed = false;
    const std::string systemName = SystemName(name);
    {
        std::lock_guard<std::mutex> lock(Owned().lock);
        if (Owned().names.count(systemName) != 0) {
            *existed = true;
            return kOk;
        }
    }
    HANDLE handle = ::CreateMutexA(nullptr, FALSE, systemName.c_str());
    if (handle == nullptr) return StatusOf(::GetLastError());
    const DWORD wait = ::WaitForSingleObject(handle, 0);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        ::CloseHandle(handle);
        *existed = true;
        return kOk;
    }
    auto* mutex = new (std::nothrow) WriterMutex{handle, systemName};
    if (mutex == nullptr) {
        ::ReleaseMutex(handle);
        ::CloseHandle(handle);
        return kNotEnoughMemory;
    }
    std::lock_guard<std::mutex> lock(Owned().lock);
    Owned().names.insert(systemName);
    *out = mutex;
    return kOk;
}

void CloseWriterMutex(WriterMutex* mutex) {
    if (mutex == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(Owned().lock);
        Owned().names.erase(mutex->name);
    }
    ::ReleaseMutex(mutex->handle);
    ::CloseHandle(mutex->handle);
    delete mutex;
}

// The mutex goes with its last handle.
int32_t RemoveWriterMutex(const char*) {
    return kOk;
}

}  // namespace mvos
