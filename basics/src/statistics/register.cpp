// Registration of the counters with the system: the service's "Performance" key and
// the counter names and help texts.
#include <cstring>

#include "os/os.h"
#include "statistics.h"
#include "statistics/prfinternal.h"

namespace {

const char kAppName[] = "Merivane";
const char kCounterFile[] = "MerivanePerformanceCounters.ini";

int32_t SetString(mvos::RegKey key, const char* name, const char* text) {
    return mvos::RegSetValue(key, name, mvos::kRegSz, text,
                             static_cast<uint32_t>(std::strlen(text) + 1));
}

// "xx Merivane" to the counter-text loader.
int32_t UnloadTexts() {
    char commandLine[sizeof kAppName + 4] = "xx ";
    std::strcat(commandLine, kAppName);
    return mvos::UnloadPerfCounterTextStrings(commandLine, true);
}

}  // namespace

int RegisterStatistics() {
    char library[2048 + 1] = {};
    mvos::OwnModuleFileName(library, sizeof library);
    char keyPath[160];
    mvb::statistics::PerformanceKeyPath(kAppName, keyPath, sizeof keyPath);

    mvos::ScopedRegKey key;
    if (mvos::RegOpenKey(mvos::kLocalMachine, keyPath, mvos::kKeyRead, key.Out()) == mvos::kOk)
        return ERR_TN_FAILED;
    if (mvos::RegCreateKey(mvos::kLocalMachine, keyPath,
                           mvos::kKeyQueryValue | mvos::kKeySetValue | mvos::kKeyEnumerateSubKeys,
                           key.Out(), nullptr) != mvos::kOk)
        return ERR_TN_REGISTRATION_FAILED;

    // xx "<directory of this library>/MerivanePerformanceCounters.ini"
    char commandLine[sizeof library + sizeof kCounterFile + 8];
    const char* separator = std::strrchr(library, mvos::PathSeparator());
    bool loaded = false;
    if (separator) {
        const size_t dirLength = static_cast<size_t>(separator - library) + 1;
        std::memcpy(commandLine, "xx \"", 4);
        std::memcpy(commandLine + 4, library, dirLength);
        std::memcpy(commandLine + 4 + dirLength, kCounterFile, sizeof kCounterFile - 1);
        std::memcpy(commandLine + 4 + dirLength + sizeof kCounterFile - 1, "\"", 2);
        loaded = mvos::LoadPerfCounterTextStrings(commandLine, true) == mvos::kOk;
    }
    if (!loaded) {
        mvos::RegDeleteKey(mvos::kLocalMachine, keyPath);
        return ERR_TN_COUNTER_TEXTS_FAILED;
    }
    const uint32_t enabled = 0;
    const bool written = SetString(key.Get(), "Library", library) == mvos::kOk &&
                         SetString(key.Get(), "Open", "PrfData_Open") == mvos::kOk &&
                         SetString(key.Get(), "Close", "PrfData_Close") == mvos::kOk &&
                         SetString(key.Get(), "Collect", "PrfData_Collect") == mvos::kOk &&
                         mvos::RegSetValue(key.Get(), "Disable Performance Counters",
                                           mvos::kRegDword, &enabled, sizeof enabled) == mvos::kOk;
    key.Reset();
    if (written) return 0;
    // A registration without its values would look complete to the next attempt: the
    // texts are unloaded and the key removed again.
    UnloadTexts();
    mvos::RegDeleteKey(mvos::kLocalMachine, keyPath);
    return ERR_TN_REGISTRATION_FAILED;
}

int DeregisterStatistics() {
    char keyPath[160];
    mvb::statistics::PerformanceKeyPath(kAppName, keyPath, sizeof keyPath);
    if (mvos::ScopedRegKey key;
        mvos::RegOpenKey(mvos::kLocalMachine, keyPath, mvos::kKeyRead, key.Out()) != mvos::kOk)
        return ERR_TN_FAILED;
    if (UnloadTexts() != mvos::kOk) return ERR_TN_REGISTRATION_FAILED;
    mvos::RegDeleteKey(mvos::kLocalMachine, keyPath);
    return 0;
}
