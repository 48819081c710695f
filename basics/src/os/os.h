// The OS layer: every platform service the library uses, behind one small interface.
//
// Calling code follows its algorithm step by step against these functions and never
// includes system headers for these services. Each platform has a backend folder
// (linux/ today); the build, not the preprocessor, picks it. Results follow the
// original platform's semantics where callers depend on them (0 = success, a
// Win32-style error number otherwise, "buffer too small, here is the size needed").
//
// Tests inject failures through the syscall table (Syscalls()): every injectable
// service calls through one function pointer there, which a test may replace and
// put back (see ScopedSyscall in os_testing.h).
//
// Contract, for every section below unless it says otherwise:
// - Threads: every function may be called from any thread, concurrently with any
//   other, and takes at most its own section's lock, never calling out while holding
//   it (so no call here can deadlock another). Out-parameters and buffers belong to the
//   caller and are written only before the call returns.
// - Ownership: a handle a function hands out (Module, EventSource, RegKey,
//   SharedMemory, WriterMutex) belongs to the caller until it passes it to the
//   matching release function, exactly once; a null handle is never handed out with
//   success. Returned texts (ErrorText's buffer aside) point into storage of the layer
//   that stays valid for the life of the process, or as the function says.
// - Lifetime: everything works from the first static initialiser of the library on
//   (the tables are constant-initialised) until the process exits; nothing needs an
//   explicit start or stop.
// - Dependencies: the layer includes no header of the library and throws no library
//   type; its callers build the library's behaviour on top of it.
#ifndef MV_OS_OS_H
#define MV_OS_OS_H

#include <cstddef>
#include <cstdint>

struct sqlite3_stmt;
struct sqlite3_file;
struct iovec;

namespace mvos {

// Win32-style status numbers that callers test for.
enum Status : int32_t {
    kOk = 0,
    kFileNotFound = 2,
    kAccessDenied = 5,
    kInvalidHandle = 6,
    kNotEnoughMemory = 8,
    kInvalidData = 13,
    kInvalidParameter = 87,
    kInsufficientBuffer = 122,
    kModNotFound = 126,
    kProcNotFound = 127,
    kBadExeFormat = 193,
    kMoreData = 234,
    kNoMoreItems = 259,
    kRegistryCorrupt = 1015,
    kKeyDeleted = 1018,
    kIoError = 1117,
    kBusy = 170,
    kDiskFull = 112,
};

// ------------------------------------------------------------------ memory
// The C heap. Malloc/Realloc return null on failure; Realloc leaves the old block
// valid then. Free(null) does nothing. Thread-safe as the C heap is; a block is freed
// by whoever owns it, once.
void* Malloc(size_t size);
void* Realloc(void* block, size_t size);
void Free(void* block);

// ------------------------------------------------------------------ syscall table
// Only services that tests need to make fail go through here. The table is one
// unsynchronised process-wide object: calls through it may run on any thread, but an
// entry is replaced (tests only) while no other thread uses that service.
struct SyscallTable {
    void* (*malloc)(size_t);
    void* (*realloc)(void*, size_t);
    void (*free)(void*);
    // Module loading: the platform's loader call (path, flags) -> handle or null.
    void* (*dlopen)(const char*, int);
    // Registry: every statement of the registry database is stepped through here;
    // answering an SQLite error code makes that registry operation fail.
    int (*db_step)(sqlite3_stmt*);
    // Registry: every write to the database's files (file, bytes, count, offset);
    // answering an SQLite I/O error code (SQLITE_IOERR_WRITE, SQLITE_FULL) makes the
    // write fail as a failing disk would.
    int (*db_write)(sqlite3_file*, const void*, int, long long);
    // Event log: hands one event to the system log (see SystemLogEvent below).
    void (*syslog)(const struct SystemLogEvent&);
    // Event log: journald's native socket (when it exists, events go to journald), and
    // the syslog socket that takes them otherwise.
    const char* journal_socket;
    const char* syslog_socket;
    // Event log: journald's structured sender, sd_journal_sendv (loaded on first use);
    // 0 or a negative errno.
    int (*journal_sendv)(const struct iovec*, int);
    // Shared memory and the writer mutex: the system calls behind them, with the POSIX
    // arguments and results (-1, or MAP_FAILED, with errno set on failure). Linux only:
    // null on Windows, where these and the database and socket entries above are unused.
    int (*shm_open)(const char* name, int flags, unsigned mode);
    int (*shm_unlink)(const char* name);
    int (*open)(const char* path, int flags, unsigned mode);
    int (*mkdir)(const char* path, unsigned mode);
    int (*ftruncate)(int fd, int64_t length);
    int (*fchmod)(int fd, unsigned mode);
    void* (*mmap)(void* address, size_t length, int protection, int flags, int fd, int64_t offset);
    int (*flock)(int fd, int operation);
    // Counter texts: the loader and unloader behind Load/UnloadPerfCounterTextStrings
    // (the system's on Windows, the registry's own on Linux).
    int32_t (*loadPerfText)(const char* commandLine, bool quiet);
    int32_t (*unloadPerfText)(const char* commandLine, bool quiet);
};
SyscallTable& Syscalls();

// ------------------------------------------------------------------ process and module
// No locks: the last error and the loader's message are per thread; the rest asks the
// system afresh on each call.

// Opaque handle of a loaded module (a shared object here, a DLL on Windows).
struct Module;
using ModuleHandle = Module*;

// The calling thread's last error number (a Status value or another Win32-style
// number), set by the services below that say so; like the original platform's.
uint32_t LastError();
void SetLastError(uint32_t code);
// The text of an error number, at most size - 1 characters plus a NUL, into buffer;
// returns the length written. When code is the thread's last error and the loader set
// it, the loader's own message is given.
size_t ErrorText(uint32_t code, char* buffer, size_t size);

// The current process id.
uint32_t ProcessId();
// Full path of the process's executable. Like the original's module-file-name call:
// returns the characters copied without the NUL; when the buffer is too small the name
// is cut to size - 1 characters, NUL-terminated, size is returned and the last error
// is kInsufficientBuffer; 0 on failure (last error set).
size_t ExecutablePath(char* buffer, size_t size);
// This library's own module: the handle recorded at load (never null once the library
// runs) and its full file name, with the same result rules as ExecutablePath.
ModuleHandle OwnModule();
size_t OwnModuleFileName(char* buffer, size_t size);
// The computer name. On entry *size is the buffer's size; on success the name and a
// NUL are stored, *size receives the name's length and true is returned. When the
// buffer is too small *size receives the size needed (NUL included), nothing is
// written and false is returned.
bool ComputerName(char* buffer, uint32_t* size);
// True on the platforms where the system log records events (the original's NT family).
bool IsNtFamily();
// The value of an environment variable, or null.
const char* GetEnv(const char* name);
// True when path names an existing regular file.
bool IsFile(const char* path);

// ------------------------------------------------------------------ module loading
// The system loader serialises loads itself; a module stays loaded until its last
// UnloadModule, so a handle must not be used after the call that releases it.

// The file-name suffix of modules (".so"; ".dll" on Windows) and the path separator.
const char* ModuleSuffix();
char PathSeparator();
// Loads a module by path (a name without separator leaves the search to the system's
// rules). Returns the handle, or null with the last error set (kModNotFound when no
// file was found, kBadExeFormat when it could not be loaded; ErrorText then gives the
// loader's message). Each successful load needs one UnloadModule.
ModuleHandle LoadModule(const char* path);
// Address of an exported symbol, or null (last error kProcNotFound).
void* ModuleSymbol(ModuleHandle module, const char* name);
// Releases one load of the module. True on success.
bool UnloadModule(ModuleHandle module);
// Full file name of a loaded module, result rules as ExecutablePath.
size_t ModuleFileName(ModuleHandle module, char* buffer, size_t size);

// ------------------------------------------------------------------ debugger
// No locks; DebugOutput writes each text with one stdio call, whose own lock keeps the
// texts of several threads apart.

// The debugger output of the original platform. Dropped unless MERIVANE_DEBUG_OUTPUT
// is set: "stderr" writes each text with the prefix "[debug] " to standard error,
// anything else names a file the text is appended to.
void DebugOutput(const char* text);
// Breaks into the debugger when one is attached, or when a fault guard is active on
// this thread (the guard then reports kBreakpoint); otherwise does nothing.
void DebugBreak();

// ------------------------------------------------------------------ exceptions and fault guard
// The handler chain is process-wide behind its own lock, which is released before any
// handler runs (a handler may add or remove handlers). A fault guard belongs to the
// thread that runs it; guards nest. Installing and restoring the signal handlers is
// counted under a second lock, so guards of several threads may overlap.

// Exception codes of the original platform that the library raises or reports.
constexpr uint32_t kAssertionException = 0xE0000001u;
constexpr uint32_t kAccessViolation = 0xC0000005u;
constexpr uint32_t kInPageError = 0xC0000006u;
constexpr uint32_t kBreakpoint = 0x80000003u;

// What RaiseException throws when no handler continues execution. The layer's own
// type: the frame turns it into the library's public exception where a host catches it.
class RaisedException {
  public:
    explicit RaisedException(uint32_t code) noexcept : m_code(code) {}
    uint32_t Code() const noexcept { return m_code; }

  private:
    uint32_t m_code;
};

// Raises a software exception with the given code. The handlers of the chain are asked
// in turn, the most recently added first; the first that answers kContinueExecution
// makes RaiseException return. When none does, RaisedException carrying the code is
// thrown (on Windows after the platform's own exception dispatch has seen it).
void RaiseException(uint32_t code);
// The host's handler chain: a handler answers kContinueExecution or kContinueSearch.
// Add returns a cookie for Remove (null when no room is left).
constexpr int kContinueExecution = -1;
constexpr int kContinueSearch = 0;
using ExceptionHandler = int (*)(uint32_t code, void* context);
void* AddExceptionHandler(ExceptionHandler handler, void* context);
bool RemoveExceptionHandler(void* cookie);

// Runs fn(arg) under a fault guard: a RaisedException and a synchronous SIGSEGV, SIGBUS
// or SIGTRAP (on Windows: access violation, in-page error, breakpoint) inside it end the
// call early. Returns 0 when fn returned normally, else the exception code
// (kAccessViolation for SIGSEGV, kInPageError for SIGBUS, kBreakpoint for SIGTRAP).
// Other C++ exceptions pass through. The previous signal handlers are back in place
// when it returns. Objects with destructors on the stack between the guard and a
// signal are not destroyed; a RaisedException unwinds normally.
uint32_t RunGuarded(void (*fn)(void*), void* arg);
// True while RunGuarded runs on the calling thread.
bool InsideFaultGuard();

template <typename F>
uint32_t Guarded(F&& f) {
    return RunGuarded([](void* p) { (*static_cast<F*>(p))(); }, &f);
}

// ------------------------------------------------------------------ event log
// Sources may be used from several threads at once; each report is rendered whole on
// the caller's stack before it goes to the system log (and, appended, to the JSON file).
// A source is deregistered once, by its owner, after its last report.

// Event types, with the original platform's values.
enum class EventType : uint16_t {
    kSuccess = 0,
    kError = 1,
    kWarning = 2,
    kInformation = 4,
};
struct EventSource;
using EventSourceHandle = EventSource*;

// One event as the system log receives it.
struct SystemLogEvent {
    int priority;        // syslog priority: LOG_ERR, LOG_WARNING or LOG_INFO
    const char* source;  // the event source's name, whole
    const char* type;    // "success", "error", "warning" or "information"
    uint32_t eventId;    // the event identifier (its low 16 bits are the kind)
    uint16_t category;
    const char* const* strings;  // the insertion strings (count of them, none null)
    int count;
    const char* message;  // the rendered message
};
// The one-word identifier the library's events carry in the system log
// (SYSLOG_IDENTIFIER in the journal, the tag of a syslog line).
extern const char kSystemLogIdentifier[];

// Registers an event source under the given name on the local machine. Null on failure.
EventSourceHandle RegisterEventSource(const char* sourceName);
// Closes a source; null is ignored.
void DeregisterEventSource(EventSourceHandle source);
// Reports one event. messageTemplate is the text the library's message table holds for
// eventId ("%1".."%9" insertion strings, "%n" a line break, a CR LF after it dropped),
// or null for none (the insertion strings are then joined by blanks). The Linux
// backend renders it and hands it to the system log: to journald as a structured
// record when journald's socket exists, else as one datagram to the syslog socket
// (never touching the process's openlog state); when MERIVANE_EVENT_LOG names a
// regular file it also appends one JSON object per line (valid UTF-8: a byte that is
// not part of a valid UTF-8 sequence becomes U+FFFD). True when the event was accepted.
bool ReportEvent(EventSourceHandle source, EventType type, uint16_t category, uint32_t eventId,
                 const char* const* strings, int count, const char* messageTemplate);

// ------------------------------------------------------------------ message boxes
// The presenter is one atomic pointer; MessageBox calls whichever is installed when it
// starts, on the caller's thread, without a lock (a presenter may block for its answer).

// Answers of a message box, with the original platform's values.
enum BoxAnswer : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdAbort = 3,
    kIdRetry = 4,
    kIdIgnore = 5,
    kIdYes = 6,
    kIdNo = 7,
};
// Presents a message box: title, style (the platform's style flags), text -> the answer
// (0 when no box could be shown).
using BoxPresenter = int (*)(const char* title, uint32_t style, const char* text);
// Shows a box through the installed presenter. Without one, the Linux backend writes
// the title and text to standard error as one framed block and answers kIdOk.
int MessageBox(const char* text, const char* title, uint32_t style);
// Installs a presenter (null puts the default back); returns the previous one (null for
// the default).
BoxPresenter SetBoxPresenter(BoxPresenter presenter);

// ------------------------------------------------------------------ registry
//
// HKEY_LOCAL_MACHINE of the original platform, kept in one SQLite database: the path
// comes from MERIVANE_REGISTRY, else /var/lib/merivane/registry.db for root and
// $XDG_STATE_HOME/merivane/registry.db (~/.local/state/...) for others; it is read
// again on every call, so a test may point it elsewhere. Keys are paths of names
// separated by backslashes; names compare without regard to ASCII case and keep the
// case they were created with. An empty path element is refused (kInvalidParameter).
// Every call is one transaction; several processes may share the file.
// Every call returns kOk or a Status (kFileNotFound for a missing key or value).
// Failures of the file itself: kAccessDenied when the path is not a regular file, its
// folder cannot be made or the file cannot be written (a read-only file is still
// read); kRegistryCorrupt when the file is not a database or fails the integrity check
// made when it is first opened (such a file is read as far as it goes, never written);
// kIoError, kDiskFull or kBusy for the failures of a read or write.
// Threads: all registry calls of the process are serialised on one connection lock,
// held for the length of one call (or of a batch, RegBeginTransaction). A key handle is
// used by one thread at a time and closed once (ScopedRegKey does that).

struct RegKeyObject;
using RegKey = RegKeyObject*;
// The root key; never closed.
extern RegKey const kLocalMachine;

// Access rights of an opened key, the original's values.
enum RegAccess : uint32_t {
    kKeyQueryValue = 0x0001,
    kKeySetValue = 0x0002,
    kKeyCreateSubKey = 0x0004,
    kKeyEnumerateSubKeys = 0x0008,
    kKeyRead = 0x20019,
    kKeyWrite = 0x20006,
    kKeyAllAccess = 0xF003F,
};
// Value types, the original's values.
enum RegType : uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegMultiSz = 7,
};

// Opens an existing key below parent (subKey null or "" opens parent itself again).
// *result receives a handle the caller closes with RegCloseKey; null on failure.
int32_t RegOpenKey(RegKey parent, const char* subKey, uint32_t access, RegKey* result);
// Creates the key and every missing key on its path, or opens it. *created (may be
// null) tells whether the key itself was new.
int32_t RegCreateKey(RegKey parent, const char* subKey, uint32_t access, RegKey* result,
                     bool* created);
int32_t RegCloseKey(RegKey key);

// Owns one opened key and closes it when it goes out of scope or is reset (the root
// key is never closed). Pass Out() as the result argument of RegOpenKey/RegCreateKey.
class ScopedRegKey {
  public:
    ScopedRegKey() = default;
    ~ScopedRegKey() { Reset(); }
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;

    RegKey Get() const { return m_key; }
    // Closes the key held so far and lends the slot for a new one.
    RegKey* Out() {
        Reset();
        return &m_key;
    }
    void Reset() {
        if (m_key != nullptr && m_key != kLocalMachine) RegCloseKey(m_key);
        m_key = nullptr;
    }

  private:
    RegKey m_key = nullptr;
};
// Reads a value (name null or "" is the key's default value). type and size may be
// null. With data null, *size receives the stored byte count. With data, *size is the
// buffer's capacity on entry: when the value fits it is copied and *size receives the
// stored byte count; otherwise nothing is copied, *size receives the size needed and
// kMoreData is returned. Needs kKeyQueryValue.
int32_t RegQueryValue(RegKey key, const char* name, uint32_t* type, void* data, uint32_t* size);
// Stores a value of the given type and size (replacing any value of that name, whose
// name case is then kept). Needs kKeySetValue.
int32_t RegSetValue(RegKey key, const char* name, uint32_t type, const void* data, uint32_t size);
int32_t RegDeleteValue(RegKey key, const char* name);
// Deletes the subkey with its values and every key below it.
int32_t RegDeleteKey(RegKey parent, const char* subKey);
// The index-th subkey or value name in ascending case-insensitive order; kNoMoreItems
// past the end, kMoreData (and *size = the length needed, NUL included) when name
// does not fit. On success *size receives the name's length.
int32_t RegEnumKey(RegKey key, uint32_t index, char* name, uint32_t* size);
int32_t RegEnumValue(RegKey key, uint32_t index, char* name, uint32_t* size);
// The database file the calls would use now.
const char* RegistryPath();
// Joins the calling thread's registry calls up to RegEndTransaction into one write
// transaction: other threads and processes see all of them or none. Other threads'
// calls wait until it ends. kOk, or the status of the failure (the calls then run one
// transaction each, as without a batch). A call that fails inside the batch makes
// every later call of the batch, and its commit, fail with that status.
int32_t RegBeginTransaction();
// Ends the batch: commit true keeps its changes (kOk, or the failure that undid them
// all), false undoes them.
int32_t RegEndTransaction(bool commit);
// The last failure of the registry's file in this process, "registry <path>: <cause>"
// (empty when none), at most size - 1 characters; returns the length written.
size_t RegistryFailure(char* buffer, size_t size);
// Receives a failure of the registry's file when the failure reported last was not of
// the same file, so a broken file is reported once, not at every call (null: none is
// reported); returns the previous sink. The sink runs while the registry is locked and
// must not call the registry.
using RegistryFailureSink = void (*)(const char* text);
RegistryFailureSink SetRegistryFailureSink(RegistryFailureSink sink);

// ------------------------------------------------------------------ unload
// Releases what the OS layer opened on demand (the registry's connection, the SQLite
// and journald libraries); a later use opens them again. Called when the library unloads.
void ReleaseOnUnload();

// ------------------------------------------------------------------ clocks and time zone
// (platform services)
// Readers run on any thread without a lock; the table is replaced only by tests, while
// no other thread reads that clock.
// Every clock is read through one function pointer of the clock table, which tests may
// replace (ScopedClock in os/os_testing.h) to make time stand still, jump or wrap.
// The table is constant-initialised, so it is usable during static initialisation.
struct ClockTable {
    // Milliseconds of a monotonic clock, truncated to 32 bits (it wraps after ~49.7 days).
    uint32_t (*tickCount)();
    // A monotonic high-resolution counter and its ticks per second (0: no counter).
    uint64_t (*counter)();
    uint64_t (*counterFrequency)();
    // Current UTC time as a count of 100-nanosecond intervals since 1601-01-01 00:00 UTC.
    uint64_t (*systemTime)();
    // Offset of local time from UTC, in minutes east of Greenwich, in force at the given
    // instant (same unit as systemTime), with daylight saving as the system applies it
    // then. false when the system cannot say.
    bool (*zoneOffset)(uint64_t instant, int32_t* minutesEast);
};
ClockTable& Clocks();

// Convenience readers, each through the clock table.
inline uint32_t TickCount() {
    return Clocks().tickCount();
}
inline uint64_t Counter() {
    return Clocks().counter();
}
inline uint64_t CounterFrequency() {
    return Clocks().counterFrequency();
}
inline uint64_t SystemTime() {
    return Clocks().systemTime();
}
inline bool ZoneOffset(uint64_t instant, int32_t* minutesEast) {
    return Clocks().zoneOffset(instant, minutesEast);
}

// ------------------------------------------------------------------ file search along PATH
// (platform services)
// Looks for an existing file named `file` in the current directory and then in each
// directory of the environment variable PATH, in order (the C runtime's search of an
// environment path). On success the full path is stored in out (NUL-terminated) and
// true is returned; false when no such file exists or a found path does not fit in
// size bytes (out is then the empty text when size > 0). No locks; PATH is read once
// per call.
bool SearchPathForFile(const char* file, char* out, size_t size);

// ------------------------------------------------------------------ named shared memory and writer
// mutex (performance data)
// Names are the original platform's ("Global\\Merivane_Performance", "Merivane_mt");
// every name is a distinct object. The environment variable MERIVANE_IPC_NAMESPACE,
// when set, is put in front of every name, so that independent installations (or test
// runs) on one machine do not see each other's blocks and mutexes.
// Threads: no locks in the process; the objects are shared between processes, and a
// view's contents are coordinated by the writer mutex (one writer) and by readers
// copying under a fault guard. A block handle and a view are released once, by their
// owner; a view outlives the handle it came from.
struct SharedMemory;
struct WriterMutex;

// Opens an existing named block. 0 and *out on success; kFileNotFound when no block
// has the name; kAccessDenied when the caller may not open it that way, or when the
// block is not one a writer leaves (others than its owner may write it).
int32_t OpenSharedMemory(const char* name, bool writable, SharedMemory** out);
// Creates a new named block of `size` bytes for this process as its writer:
// zero-filled, readable by everyone and writable by its owner only, and held by this
// process (SharedMemoryHasWriter) until its handle is closed or the process ends. A
// block already under the name is never adopted: one of this account's that a live
// writer holds gives kAlreadyExists; any other (left by a dead writer, not this
// account's, or writable by others) is removed first, and kAccessDenied (or another
// status) when that is not allowed. On failure no name is left behind.
int32_t CreateSharedMemory(const char* name, uint32_t size, SharedMemory** out);
// Maps the first `size` bytes of the block; null when the block is smaller or the
// mapping fails. A writable view needs a block opened writable.
void* MapSharedMemory(SharedMemory* shm, uint32_t size, bool writable);
void UnmapSharedMemory(void* view, uint32_t size);
// Closes the handle; the block itself lives on (views stay valid). A writer's hold
// ends with it.
void CloseSharedMemory(SharedMemory* shm);
// True while the process that created the block holds it (it has not closed its
// handle and has not died, however it ended); false for a block left behind.
bool SharedMemoryHasWriter(SharedMemory* shm);
// Removes the name of this block, if the name still leads to it (existing views stay
// valid). 0; kFileNotFound when the name is gone or names another block.
int32_t UnlinkSharedMemory(SharedMemory* shm);
// Removes the name of a block (existing views stay valid). 0, or kFileNotFound.
int32_t RemoveSharedMemory(const char* name);

// The writer mutex: created and owned by one process at a time. 0 with *existed
// false: this caller now owns it, until CloseWriterMutex or the end of the process
// (the system releases it when the owner dies). 0 with *existed true and *out null:
// another owner holds it (a second creation in the owning process sees its own).
// Another status when the mutex cannot be created at all. Only its owner's account can
// create or change what stands for the mutex on the system.
int32_t CreateWriterMutex(const char* name, WriterMutex** out, bool* existed);
void CloseWriterMutex(WriterMutex* mutex);
// Removes what a mutex leaves behind on the system once nobody owns it.
int32_t RemoveWriterMutex(const char* name);

// Counter texts: the original platform's loader of counter names and help texts.
// Load takes "<program> \"<path of a counter text file>\"" (the file in the published
// counter-text format, with its symbol header beside it): it gives the texts title
// indexes after the last ones in use in the counter-text database (kept in the
// registry under kCounterTextKey), stores the texts, and writes "First Counter",
// "Last Counter", "First Help" and "Last Help" into the key
// "SYSTEM\CurrentControlSet\Services\<driver>\Performance", which must exist.
// Unload takes "<program> <driver>" and removes all of it again. 0 on success, else a
// Status (kFileNotFound: no file, key or loaded texts; kInvalidData: a malformed file;
// kAlreadyExists: the driver's texts are loaded already). quiet is accepted and
// ignored: nothing is ever printed. Each call is a sequence of registry calls, not one
// transaction: callers (counter registration) run it from one thread of one process at
// a time.
constexpr int32_t kAlreadyExists = 183;
constexpr const char* kCounterTextKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Perflib";
int32_t LoadPerfCounterTextStrings(const char* commandLine, bool quiet);
int32_t UnloadPerfCounterTextStrings(const char* commandLine, bool quiet);

}  // namespace mvos

#endif
