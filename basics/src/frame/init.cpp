// Start-up and take-down of the library's process-wide objects, in one fixed order.
#include "compiler.h"
#include "frame/lifecycle.h"
#include "os/os.h"

namespace {

struct Lifecycle {
    Lifecycle() {
        using namespace mvb::lifecycle;
        RecordModuleHandle();
        InitEventSourceNames();
        InitSystemLog();
        InitMessage();
        InitTimerFrequency();
        InitPrfData();
        InitRegistry();
    }
    ~Lifecycle() {
        using namespace mvb::lifecycle;
        TermRegistry();
        TermPrfData();
        TermMessage();
        TermSystemLog();
        TermEventSourceNames();
        // Last: what the OS layer opened on demand (the registry's connection, SQLite,
        // libsystemd), which the steps above may still have used.
        mvos::ReleaseOnUnload();
    }
};

// Constructed first among this library's objects that need ordering (init_priority
// keeps it ahead of ordinary namespace-scope objects of other translation units).
MVB_INIT_PRIORITY(200) Lifecycle g_lifecycle;

}  // namespace
