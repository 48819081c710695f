// What the mvbasics tool reaches beyond the public API: the registry with its keys and
// typed values, and the loader's search step by step. The shared object exports one
// entry point, MvbToolInterface, that hands out this table; none of the functions in it
// is exported by name, and no host module is meant to use it.
#ifndef MV_SERVICES_TOOL_INTERFACE_H
#define MV_SERVICES_TOOL_INTERFACE_H

#include <cstddef>
#include <cstdint>

#include "mvexport.h"

namespace mvos {
struct RegKeyObject;
}
class TnModuleHandle;

// One step of the loader's search: where it looked (a short description of the step),
// the path it tried and the system's status (0 when the module was loaded from there).
using MvbSearchStep = void (*)(void* context, const char* place, const char* path, uint32_t status);

struct MvbToolTable {
    uint32_t version;  // 1; a field is only added at the end, with a higher version
    uint32_t size;     // sizeof the table the library was built with

    // The registry of the OS layer (HKEY_LOCAL_MACHINE), with its calls' contracts.
    mvos::RegKeyObject* registryRoot;
    int32_t (*regOpenKey)(mvos::RegKeyObject* parent, const char* subKey, uint32_t access,
                          mvos::RegKeyObject** result);
    int32_t (*regCreateKey)(mvos::RegKeyObject* parent, const char* subKey, uint32_t access,
                            mvos::RegKeyObject** result, bool* created);
    int32_t (*regCloseKey)(mvos::RegKeyObject* key);
    int32_t (*regQueryValue)(mvos::RegKeyObject* key, const char* name, uint32_t* type, void* data,
                             uint32_t* size);
    int32_t (*regSetValue)(mvos::RegKeyObject* key, const char* name, uint32_t type,
                           const void* data, uint32_t size);
    int32_t (*regDeleteValue)(mvos::RegKeyObject* key, const char* name);
    int32_t (*regDeleteKey)(mvos::RegKeyObject* parent, const char* subKey);
    int32_t (*regEnumKey)(mvos::RegKeyObject* key, uint32_t index, char* name, uint32_t* size);
    int32_t (*regEnumValue)(mvos::RegKeyObject* key, uint32_t index, char* name, uint32_t* size);
    const char* (*registryPath)();
    // The text of an OS-layer status or system error number; the length written.
    size_t (*errorText)(uint32_t code, char* buffer, size_t size);

    // TnDynamicLoader::LoadModule's search, reporting every step it takes to step():
    // the same settings, places, order and result (0 and a new handle, or -5002).
    int (*searchModule)(const char* name, MvbSearchStep step, void* context,
                        TnModuleHandle** handle);

    // Removes the name of a shared block or what a writer mutex leaves behind on the
    // system (names as the performance data uses them, e.g. "Merivane_mt").
    int32_t (*removeSharedMemory)(const char* name);
    int32_t (*removeWriterMutex)(const char* name);
};

MVB_EXTERN_C const MvbToolTable* MvbToolInterface();

namespace mvb::services {
// The loader's LoadModule with every step of its search reported to step (null: none).
int LoadModuleReporting(const char* name, TnModuleHandle*& handle, MvbSearchStep step,
                        void* context);
}  // namespace mvb::services

#endif
