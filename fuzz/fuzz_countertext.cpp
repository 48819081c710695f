// The counter-text loader on arbitrary counter text files and symbol headers: a load
// ends in a documented status; a refused or failed load leaves no text, no range in
// the driver's key and the database's counters as they were; a load that succeeds
// stores every text at its index, and unloading it takes everything away again.
// Each fuzzing process keeps its registry and its files in a temporary directory.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "fuzz_support.h"  // IWYU pragma: keep
#include "os/os.h"

namespace {

const char kService[] = "SYSTEM\\CurrentControlSet\\Services\\FuzzDrv";
const std::string kPerformance = std::string(kService) + "\\Performance";
std::string g_dir;

bool HasValue(const char* keyName, const char* value) {
    mvos::ScopedRegKey key;
    if (mvos::RegOpenKey(mvos::kLocalMachine, keyName, mvos::kKeyRead, key.Out()) != mvos::kOk)
        return false;
    uint32_t size = 0;
    return mvos::RegQueryValue(key.Get(), value, nullptr, nullptr, &size) == mvos::kOk;
}

uint32_t Dword(const char* keyName, const char* value) {
    mvos::ScopedRegKey key;
    uint32_t v = 0, size = sizeof v, type = 0;
    if (mvos::RegOpenKey(mvos::kLocalMachine, keyName, mvos::kKeyRead, key.Out()) != mvos::kOk ||
        mvos::RegQueryValue(key.Get(), value, &type, &v, &size) != mvos::kOk)
        return 0;
    return v;
}

// The number of values in the keys below a key (the texts of every language).
int TextsBelow(const std::string& keyName, int depth = 0) {
    mvos::ScopedRegKey key;
    if (mvos::RegOpenKey(mvos::kLocalMachine, keyName.c_str(), mvos::kKeyRead, key.Out()) !=
        mvos::kOk)
        return 0;
    int texts = 0;
    char name[300];
    uint32_t size = sizeof name;
    if (depth > 0)
        while (mvos::RegEnumValue(key.Get(), uint32_t(texts), name, &size) == mvos::kOk)
            size = sizeof name, ++texts;
    size = sizeof name;
    for (uint32_t i = 0; mvos::RegEnumKey(key.Get(), i, name, &size) == mvos::kOk;
         ++i, size = sizeof name)
        texts += TextsBelow(keyName + "\\" + name, depth + 1);
    return texts;
}

// Nothing of the driver is left: no range, no texts, the database's counters fresh.
void NothingLoaded() {
    for (const char* v : {"First Counter", "Last Counter", "First Help", "Last Help"})
        FUZZ_CHECK(!HasValue(kPerformance.c_str(), v));
    FUZZ_CHECK(TextsBelow(mvos::kCounterTextKey) == 0);
    const uint32_t lastCounter = Dword(mvos::kCounterTextKey, "Last Counter");
    const uint32_t lastHelp = Dword(mvos::kCounterTextKey, "Last Help");
    FUZZ_CHECK((lastCounter == 0 || lastCounter == 998) && (lastHelp == 0 || lastHelp == 999));
}

void Write(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

void RemoveDir() {
    if (g_dir.empty()) return;
    const std::string db = mvos::RegistryPath();
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) unlink((db + suffix).c_str());
    for (const char* file : {"/c.ini", "/c.h"}) unlink((g_dir + file).c_str());
    rmdir(g_dir.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string dir = base + "/mvfuzz-countertext-XXXXXX";
    if (mkdtemp(&dir[0]) == nullptr) std::abort();
    g_dir = dir;
    setenv("MERIVANE_REGISTRY", (dir + "/registry.db").c_str(), 1);
    std::atexit(RemoveDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The symbol header, a line "====", then the counter text file.
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find("\n====\n");
    const std::string header = input.substr(0, split);
    const std::string ini = split == std::string::npos ? "" : input.substr(split + 6);
    Write(g_dir + "/c.h", header);
    Write(g_dir + "/c.ini", ini);
    // A fresh database and the driver's key.
    mvos::RegDeleteKey(mvos::kLocalMachine, mvos::kCounterTextKey);
    mvos::RegDeleteKey(mvos::kLocalMachine, kService);
    {
        mvos::ScopedRegKey key;
        FUZZ_CHECK(mvos::RegCreateKey(mvos::kLocalMachine, kPerformance.c_str(),
                                      mvos::kKeyAllAccess, key.Out(), nullptr) == mvos::kOk);
    }
    const std::string command = "xx \"" + g_dir + "/c.ini\"";
    const int32_t rc = mvos::LoadPerfCounterTextStrings(command.c_str(), true);
    if (rc != mvos::kOk) {
        FUZZ_CHECK(rc == mvos::kFileNotFound || rc == mvos::kInvalidData ||
                   rc == mvos::kInvalidParameter);
        NothingLoaded();
        return 0;
    }
    const uint32_t first = Dword(kPerformance.c_str(), "First Counter");
    const uint32_t last = Dword(kPerformance.c_str(), "Last Counter");
    FUZZ_CHECK(first == 1000 && last >= first && last % 2 == 0);
    FUZZ_CHECK(Dword(kPerformance.c_str(), "First Help") == 1001);
    FUZZ_CHECK(Dword(kPerformance.c_str(), "Last Help") == last + 1);
    FUZZ_CHECK(Dword(mvos::kCounterTextKey, "Last Counter") == last);
    FUZZ_CHECK(TextsBelow(mvos::kCounterTextKey) > 0);
    FUZZ_CHECK(mvos::LoadPerfCounterTextStrings(command.c_str(), true) == mvos::kAlreadyExists);
    FUZZ_CHECK(mvos::UnloadPerfCounterTextStrings("xx FuzzDrv", true) == mvos::kOk);
    NothingLoaded();
    FUZZ_CHECK(mvos::UnloadPerfCounterTextStrings("xx FuzzDrv", true) == mvos::kFileNotFound);
    return 0;
}
