// The memory-check hook and the fault-injection hook, both driven by the configuration.
#include <cstdio>
#include <cstring>

#include "frame.h"
#include "frame/memcheck_internal.h"
#include "os/os.h"

namespace {

typedef int (*MemoryCheckFunction)(void*, void*, void*, void*);

bool g_checkInitialised = false;
MemoryCheckFunction g_checkFunction = nullptr;

int16_t g_testConfigRead = 0;
int32_t g_remainingFailures = 0;

// Loads the checking library by name; a name without extension gets the platform's
// module suffix, as the original's loader adds its own.
mvos::ModuleHandle LoadByName(const char* name) {
    const char* base = std::strrchr(name, mvos::PathSeparator());
    base = base != nullptr ? base + 1 : name;
    if (std::strchr(base, '.') != nullptr) return mvos::LoadModule(name);
    char path[1100];
    std::snprintf(path, sizeof path, "%s%s", name, mvos::ModuleSuffix());
    return mvos::LoadModule(path);
}

void SetUpMemoryCheck() {
    TnConfig* config = DefaultConfig(TN_DEFAULT_CONFIG_QUERY);
    if (config == nullptr) return;
    static const char* const kDebug[] = {"debug", nullptr};
    static const char* const kDebugMemory[] = {"debug", "memory", nullptr};
    int16_t enabled = 0;
    if (config->LookupFlag("memory", &enabled, kDebug) != 0 || enabled == 0) return;
    char library[1024];
    char function[1024];
    char* out = library;
    if (config->LookupString("library", &out, kDebugMemory) != 0) {
        std::snprintf(library, sizeof library, "%s", "MSVCRT");
    }
    out = function;
    if (config->LookupString("function", &out, kDebugMemory) != 0) {
        std::snprintf(function, sizeof function, "%s", "TarnMemoryCheck");
    }
    library[sizeof library - 1] = '\0';
    function[sizeof function - 1] = '\0';
    mvos::ModuleHandle module = LoadByName(library);  // never unloaded
    if (module == nullptr) {
        mvos::DebugOutput("unable to load the memory checking dll");
        return;
    }
    g_checkFunction = reinterpret_cast<MemoryCheckFunction>(mvos::ModuleSymbol(module, function));
    mvos::DebugOutput(g_checkFunction != nullptr ? "memory checking enabled"
                                                 : "unable to get the memory check function");
}

}  // namespace

int TarnCheckMemory(void* arg1, void* arg2, void* arg3, void* arg4) {
    if (!g_checkInitialised) {
        g_checkInitialised = true;
        SetUpMemoryCheck();
    }
    if (g_checkFunction == nullptr) return ERR_TN_FAILED;
    return g_checkFunction(arg1, arg2, arg3, arg4);
}

int32_t TestHandler(uint32_t event, void*, void*) {
    if (!g_testConfigRead) {
        if (TnConfig* config = DefaultConfig(TN_DEFAULT_CONFIG_QUERY)) {
            static const char* const kTest[] = {"test", nullptr};
            config->LookupInteger("growErrorCounter", &g_remainingFailures, kTest);
        }
        g_testConfigRead = 1;
    }
    if (event == 1 && g_remainingFailures > 0) {
        --g_remainingFailures;
        return ERR_TN_SIMULATED_FAILURE;
    }
    return 0;
}

int32_t TestHandlerReset() {
    g_testConfigRead = 0;
    g_remainingFailures = 0;
    return 0;
}

namespace mvb::frame {
void ForgetMemoryCheck() {
    g_checkInitialised = false;
    g_checkFunction = nullptr;
}
}  // namespace mvb::frame
