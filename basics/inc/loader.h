// Platform services: loading the runtime's other modules by base name.
//
// Threads: LoadModule, UnloadModule and GetEntryPoint may run on several threads at once
// (the platform's loader serialises them); the shared text buffer (see below) is not.
#ifndef MV_LOADER_H
#define MV_LOADER_H

#include "mvexport.h"
#include "results.h"  // ERR_TN_MODULE_HANDLE_INVALID, ERR_TN_COULD_NOT_LOAD_MODULE, ...

// A loaded module, owned by the caller between LoadModule and UnloadModule.
class MVB_API TnModuleHandle {
  public:
    explicit TnModuleHandle(void* module) : m_module(module) {}
    // Allocated from the C heap; a failed allocation calls the memory handler.
    static void* operator new(size_t size) noexcept;
    static void operator delete(void* block) noexcept;

    void* m_module;  // the platform's handle of the loaded library
};

// Finds, loads and releases modules. Stateless apart from one shared text buffer,
// which GetErrText, GetPhysicalModuleName and TnGetDescription write: copy their
// texts before the next such call (and do not call them from two threads at once).
class MVB_API TnDynamicLoader {
  public:
    TnDynamicLoader() = default;
    ~TnDynamicLoader() = default;

    // Loads name + the platform's module suffix from, in this order: the configured
    // "defaultModulePath", the directory of this library, the system's standard
    // search, the current directory and each directory of PATH. 0 and a new handle,
    // or -5002 and a null handle. The int is accepted and not used.
    static int LoadModule(const char* name, int unused, TnModuleHandle*& handle);
    // Releases one load; the handle is deleted and set to null. -5001 for null.
    static int UnloadModule(TnModuleHandle*& handle);
    // The address of an exported name: 0, -5001 (null handle) or -5003 (no such
    // export); entry is null on every failure.
    static int GetEntryPoint(const char* name, TnModuleHandle* handle, void*& entry);
    // The text of the calling thread's last system error (shared buffer).
    static const char* GetErrText();
    // The module's full file name (shared buffer), or "<unknown>".
    static const char* GetPhysicalModuleName(TnModuleHandle* handle);
};

// Loads a module just long enough to ask its TnDescribeDll for its description.
// Every text output is copied where the caller's buffer is not null: fileName gets
// the module's full file name; text1 the title, text2 the module name, text3 the
// build date and time, text4 the fourth text, text5 the compiler identification,
// text6 the extra text. 0, LoadModule's error, or -5003 without TnDescribeDll.
MVB_API int TnGetDescription(const char* name, char* fileName, unsigned int& major,
                             unsigned int& minor, unsigned int& release, unsigned int& build,
                             unsigned int& patch, char* text1, char* text2, char* text3,
                             char* text4, char* text5, char* text6, int& number);

#endif
