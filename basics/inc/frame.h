// Runtime frame: allocation and the out-of-memory handler, the node pool, the
// module's identity and description protocol, the host's hooks and the assertion.
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

// Passing the all-ones pointer queries; anything else (null included) replaces.
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
#define TN_ASSERTION_EXCEPTION 0xE0000001u
// Answers of a host exception handler.
#define TN_EXCEPTION_CONTINUE_EXECUTION (-1)
#define TN_EXCEPTION_CONTINUE_SEARCH 0

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
