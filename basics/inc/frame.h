// Runtime frame: allocation and the out-of-memory handler, the node pool, the
// module's identity and description protocol, the host's hooks and the assertion.
//
// Threads: the hooks (configuration, fatal-error callback, console, error-text callback,
// memory handler) are set at start-up, before other threads use the library, and are not
// synchronised. mmResize and its family, TARN_assert and the exception-handler chain
// (add, remove, raise: one lock inside) may run on any number of threads at once.
#ifndef MV_FRAME_H
#define MV_FRAME_H

#include <exception>

#include "mvexport.h"

// ---------------------------------------------------------------- allocation

// The process-wide out-of-memory handler: given the byte count that could not be
// obtained; nonzero asks an allocator to try again, zero lets it fail.
typedef int32_t (*TnMemoryHandler)(uint32_t size);

// Resizes the caller's block: size 0 frees it (pointer set to null), a null pointer
// gets a fresh block, otherwise the block is reallocated. 0 on success; -1 on failure,
// after one call of the memory handler with the size, the caller's pointer unchanged.
MVB_EXTERN_C int mmResize(unsigned char** block, uint32_t size);
MVB_EXTERN_C int mmFarResize(void** block, uint32_t size);

// Installs a memory handler (non-null) and returns the previous one.
MVB_API TnMemoryHandler mmTnSetHandler(TnMemoryHandler handler);
// Calls the current memory handler; every failed allocation of the library ends here.
MVB_API int32_t TnCallMemoryHandler(uint32_t size);
// The handler in place at load: reports, shows a box and fails an assertion.
MVB_API int32_t TnDefaultMemoryHandler(uint32_t size);

// Routes the C++ runtime's own allocation failures to the memory handler: installs
// handler (a std::new_handler) or, when null, TnNewHandlerBridge's adapter as the
// runtime's new-handler. Returns the new-handler installed before.
MVB_API void* TnSetOurNewHandler(void* handler);
// Calls the current memory handler with the size and returns its answer (nonzero: try
// again). The runtime's new-handler does not learn the size; it passes 0.
MVB_API int TnNewHandlerBridge(size_t size);

// Loads the memory-checking function named in the configuration (once) and calls it with
// the arguments as given; -1 when there is none.
MVB_EXTERN_C int TarnCheckMemory(void* arg1, void* arg2, void* arg3, void* arg4);

// Fault injection for testing callers: with "growErrorCounter" (section "test") set to
// n, the first n growth requests (event 1) answer -313; everything else answers 0.
MVB_API int32_t TestHandler(uint32_t event, void* unused1, void* unused2);
// Forgets the counter; the next TestHandler call reads the configuration again.
MVB_API int32_t TestHandlerReset();

// A pool of nodes of one size, handed out from 4096-byte buffers and taken back onto a
// last-in first-out free chain. Nodes stay the pool's memory until DeallocateBuffers.
class MVB_API TnMemPool {
  public:
    explicit TnMemPool(uint32_t nodeSize);
    ~TnMemPool();
    TnMemPool(const TnMemPool&) = delete;
    TnMemPool& operator=(const TnMemPool&) = delete;

    void AddNewBuffer();
    void DeallocateBuffers();
    void* GetNode();
    void PutNode(void* node);

    // A link cell of the two chains: the next cell and a buffer or a node.
    struct Link {
        Link* next;
        void* item;
    };
    Link* m_buffers;
    Link* m_free;
    unsigned char* m_current;
    unsigned char* m_last;
    uint32_t m_nodeSize;
    uint32_t m_buffersObtained;
    uint32_t m_buffersReleased;
    uint32_t m_getCalls;
    uint32_t m_putCalls;
};

// ---------------------------------------------------------------- module identity

// Version check flags: 2 checks the release, 4 the build, 8 the patch; the high bits
// waive the release, build and patch check even when requested. 0 is itself a failure.
constexpr int TN_VERSION_CHECK_BASE = 0x1;
constexpr int TN_VERSION_CHECK_RELEASE = 0x2;
constexpr int TN_VERSION_CHECK_BUILD = 0x4;
constexpr int TN_VERSION_CHECK_PATCH = 0x8;
constexpr int TN_VERSION_WAIVE_RELEASE = 0x10000000;
constexpr int TN_VERSION_WAIVE_BUILD = 0x20000000;
constexpr int TN_VERSION_WAIVE_PATCH = 0x40000000;

// 0 when the version (major, minor, release, build, patch) is compatible with this
// library's under the flags, else -5004.
MVB_API int CheckTnVersionNumber(unsigned int major, unsigned int minor, unsigned int release,
                                 unsigned int build, unsigned int patch, int flags);
// Checks this library's own version with the flags plus 1 and 2.
MVB_EXTERN_C int TnCheckDll(int flags);
// The module description: version, module name, build date and time, fourth text,
// compiler version number, compiler identification and extra text. Returns the
// description "Merivane Basic Algorithms". Every pointer must be valid.
MVB_EXTERN_C const char* TnDescribeDll(unsigned int* major, unsigned int* minor,
                                       unsigned int* release, unsigned int* build,
                                       unsigned int* patch, const char** moduleName,
                                       const char** buildDateTime, const char** fourth,
                                       int* compilerVersion, const char** compilerId,
                                       const char** extra);
// Compiler identification, compiler version number, description with version, build
// date and module name; a null pointer is skipped.
MVB_EXTERN_C void GETTNBASICSINFO(const char** compilerId, int* compilerVersion,
                                  const char** descriptionWithVersion, const char** buildDate,
                                  const char** moduleName);
// Accepted and ignored.
MVB_API void ___TnBasicsContext(int32_t context);
// The computer name into buffer (size bytes); always 0.
MVB_API int TnGetHostname(char* buffer, int32_t size);

// Module file names of the runtime: "MV" "120" base [number] "100".
class MVB_API DllNameClass {
  public:
    explicit DllNameClass(const char* baseName = nullptr, int32_t number = 0);
    DllNameClass(const DllNameClass& other);
    // Takes the other's generated name as a fixed name (base name null, number 0).
    DllNameClass& operator=(const DllNameClass& other);

    const char* GetDllName();
    operator const char*() { return GetDllName(); }
    // "MV", part, "100": out must hold the name and its NUL.
    static char* GetGenericDllName(const char* part, char* out);

    static const char* const second_char;

    const char* m_baseName;
    int32_t m_number;
    char m_name[288];
};

// ---------------------------------------------------------------- host hooks

// The host's configuration reader. The first slot is not used by the library;
// each lookup answers 0 when the value was found and stored.
class MVB_API TnConfig {
  public:
    virtual ~TnConfig();
    // sections: null-terminated array of section names, the path from the top.
    virtual int LookupInteger(const char* key, int32_t* value, const char* const* sections) = 0;
    virtual int LookupFlag(const char* key, int16_t* value, const char* const* sections) = 0;
    // *value points at the caller's buffer on entry; the text is copied into it.
    virtual int LookupString(const char* key, char** value, const char* const* sections) = 0;
};

// The host's console stream; the library only writes to it.
class MVB_API smp_io {
  public:
    virtual ~smp_io();
    virtual int write(const char* text, size_t length) = 0;
};

typedef void (*TnFatalErrorCallback)(const char* expression, const char* file, int32_t line);
typedef const char* (*TnModuleErrorCallback)(int32_t code);

// Passing the all-ones pointer queries; anything else (null included) replaces. A macro:
// a pointer made from an integer cannot be a constant expression.
#define TN_DEFAULT_CONFIG_QUERY (reinterpret_cast<TnConfig*>(~static_cast<uintptr_t>(0)))
MVB_API TnConfig* DefaultConfig(TnConfig* config);
MVB_API TnFatalErrorCallback SetFatalErrorCallback(TnFatalErrorCallback callback);
MVB_API TnFatalErrorCallback GetFatalErrorCallback();
MVB_API smp_io* GetConsole();
MVB_API smp_io* Console(smp_io* console);

// Room for one module error-text callback covering an open code range.
class MVB_API TnModuleErrorCallbackList {
  public:
    struct Entry {
        TnModuleErrorCallback callback;
        int32_t upper;
        int32_t lower;
    };
    static TnModuleErrorCallbackList& GetInstance();
    int SetModuleErrorCallback(TnModuleErrorCallback callback, int32_t upper, int32_t lower);
    const char* GetError(int32_t code);

    Entry m_entries[1];
};

// ---------------------------------------------------------------- assertion exception

// The code of the exception TARN_assert raises.
constexpr uint32_t TN_ASSERTION_EXCEPTION = 0xE0000001u;
// Answers of a host exception handler.
constexpr int TN_EXCEPTION_CONTINUE_EXECUTION = -1;
constexpr int TN_EXCEPTION_CONTINUE_SEARCH = 0;

// What a raised exception becomes when no host handler continues execution: the
// host's try/catch receives it; uncaught, it ends the process through std::terminate.
class MVB_API TnException : public std::exception {
  public:
    explicit TnException(uint32_t code) noexcept : m_code(code) {}
    ~TnException() override;
    uint32_t Code() const noexcept { return m_code; }
    const char* what() const noexcept override;

  private:
    uint32_t m_code;
};

// A host exception handler: sees every raised exception first (most recently added
// first) and answers TN_EXCEPTION_CONTINUE_EXECUTION or TN_EXCEPTION_CONTINUE_SEARCH.
typedef int (*TnExceptionHandler)(uint32_t code, void* context);
// Adds a handler; returns a cookie for removal, or null when the chain is full.
MVB_API void* TnAddExceptionHandler(TnExceptionHandler handler, void* context);
// Removes a handler by its cookie: 0, or -1 for an unknown cookie.
MVB_API int TnRemoveExceptionHandler(void* cookie);

// Fails an assertion: fatal callback, system log (kind 4), standard error, then the
// assertion exception 0xE0000001. Returns 1 only if a host handler continues.
MVB_API int TARN_assert(const char* expression, const char* file, int32_t line);

#endif
