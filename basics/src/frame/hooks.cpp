// The hooks the host installs: default configuration, fatal-error callback,
// console stream and the module error-text callback.
#include "frame.h"
#include "frame/module_errors.h"

namespace {
TnConfig* g_defaultConfig = nullptr;
TnFatalErrorCallback g_fatalCallback = nullptr;
smp_io* g_console = nullptr;
}  // namespace

TnConfig::~TnConfig() = default;
smp_io::~smp_io() = default;

TnConfig* DefaultConfig(TnConfig* config) {
    if (config != TN_DEFAULT_CONFIG_QUERY) g_defaultConfig = config;
    return g_defaultConfig;
}

TnFatalErrorCallback SetFatalErrorCallback(TnFatalErrorCallback callback) {
    TnFatalErrorCallback previous = g_fatalCallback;
    g_fatalCallback = callback;
    return previous;
}

TnFatalErrorCallback GetFatalErrorCallback() {
    return g_fatalCallback;
}

smp_io* GetConsole() {
    return g_console;
}

smp_io* Console(smp_io* console) {
    smp_io* previous = g_console;
    if (console != nullptr) g_console = console;
    return previous;
}

namespace mvb::frame {
TnModuleErrorCallbackList g_moduleErrors{{{nullptr, 0, 0}}};  // constant-initialised
}  // namespace mvb::frame

TnModuleErrorCallbackList& TnModuleErrorCallbackList::GetInstance() {
    return mvb::frame::g_moduleErrors;
}

int TnModuleErrorCallbackList::SetModuleErrorCallback(TnModuleErrorCallback callback, int32_t upper,
                                                      int32_t lower) {
    Entry& e = m_entries[0];
    if (upper < lower) return ERR_TN_PARAMETER_NOT_VALID;
    if (callback == nullptr) {
        if (e.upper != upper || e.lower != lower) return ERR_TN_PARAMETER_NOT_VALID;
        e = Entry{nullptr, 0, 0};
        return 0;
    }
    // One entry only: a second registration is refused whether or not it overlaps.
    if (e.callback != nullptr) return ERR_TN_PARAMETER_NOT_VALID;
    e = Entry{callback, upper, lower};
    return 0;
}

const char* TnModuleErrorCallbackList::GetError(int32_t code) {
    return mvb::frame::ModuleErrorText(*this, code);
}
