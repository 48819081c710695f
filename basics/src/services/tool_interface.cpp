// The table behind MvbToolInterface: the OS layer's registry calls and the loader's
// reporting search, for the mvbasics tool.
#include "services/tool_interface.h"

#include "os/os.h"

namespace {

int SearchModule(const char* name, MvbSearchStep step, void* context, TnModuleHandle** handle) {
    TnModuleHandle* loaded = nullptr;
    const int result = mvb::services::LoadModuleReporting(name, loaded, step, context);
    *handle = loaded;
    return result;
}

const MvbToolTable kTable = {
    1,
    sizeof(MvbToolTable),
    mvos::kLocalMachine,
    &mvos::RegOpenKey,
    &mvos::RegCreateKey,
    &mvos::RegCloseKey,
    &mvos::RegQueryValue,
    &mvos::RegSetValue,
    &mvos::RegDeleteValue,
    &mvos::RegDeleteKey,
    &mvos::RegEnumKey,
    &mvos::RegEnumValue,
    &mvos::RegistryPath,
    &mvos::ErrorText,
    &SearchModule,
    &mvos::RemoveSharedMemory,
    &mvos::RemoveWriterMutex,
};

}  // namespace

const MvbToolTable* MvbToolInterface() {
    return &kTable;
}
