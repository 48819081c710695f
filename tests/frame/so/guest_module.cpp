// A host module that uses the library the way a runtime module does: loaded and
// unloaded by the unload test, which itself never links the library.
#include <cstring>

#include "mvbasics.h"

extern "C" __attribute__((visibility("default"))) int GuestRound(const char* moduleName) {
    int failures = 0;
    Statistics()->Enable();
    Statistics()->IncClients();
    Statistics()->AddLocks(3);
    TnSystemLog()->Report(2, "guest round %d", 1);

    const char* key[] = {"Guest", "Round", nullptr};
    char value[] = "kept";
    int length = static_cast<int>(std::strlen(value));
    if (TnSetRegistryEntry(key, value, length) != 0) failures |= 1;
    char buffer[16];
    length = sizeof buffer;
    if (TnGetRegistryEntry(key, buffer, length) != 0 || length != 4) failures |= 2;

    TnModuleHandle* module = nullptr;
    if (TnDynamicLoader::LoadModule(moduleName, 0, module) != 0) failures |= 4;
    if (module != nullptr && TnDynamicLoader::UnloadModule(module) != 0) failures |= 8;
    Statistics()->DecClients();
    return failures;
}
