// Settings under the product's registry root key, and the priority-boost setting.
#include <cstring>

#include "frame.h"
#include "frame/lifecycle.h"
#include "os/os.h"
#include "registry.h"
#include "systemlog.h"

namespace {

constexpr char kRoot[] = "SOFTWARE\\Ardwyn\\Merivane";
constexpr size_t kKeyNameSize = 260;
// The system-log kind of a registry file failure: an error event.
constexpr int kRegistryEventKind = 4;

// A key path split into the full key name and the value name.
struct KeyName {
    char full[kKeyNameSize];
    const char* value;
};

// The root, then a backslash and each subkey. false for a path without names or a key
// name that does not fit (the callers are bound to stay below 260 characters).
bool Assemble(const char** keyPath, KeyName* name) {
    if (keyPath[0] == nullptr) return false;
    size_t used = sizeof kRoot - 1;
    std::memcpy(name->full, kRoot, sizeof kRoot);
    size_t i = 0;
    for (; keyPath[i + 1] != nullptr; ++i) {
        size_t length = std::strlen(keyPath[i]);
        if (used + 1 + length >= kKeyNameSize) return false;
        name->full[used] = '\\';
        std::memcpy(name->full + used + 1, keyPath[i], length + 1);
        used += 1 + length;
    }
    name->value = keyPath[i];
    return true;
}

}  // namespace

int TnGetRegistryEntry(const char** keyPath, char* buffer, int& length) {
    if (keyPath == nullptr || buffer == nullptr || length <= 0) return ERR_TN_INVALID_PARAMETER;
    KeyName name;
    if (!Assemble(keyPath, &name)) return ERR_TN_INVALID_PARAMETER;
    mvos::ScopedRegKey key;
    if (mvos::RegOpenKey(mvos::kLocalMachine, name.full, mvos::kKeyQueryValue, key.Out()) !=
        mvos::kOk)
        return ERR_TN_FAILED;
    // One byte stays free for the caller's terminator.
    uint32_t size = static_cast<uint32_t>(length - 1);
    int32_t status = mvos::RegQueryValue(key.Get(), name.value, nullptr, buffer, &size);
    length = static_cast<int>(size);
    return status == mvos::kOk ? 0 : ERR_TN_FAILED;
}

int TnSetRegistryEntry(const char** keyPath, char* value, int& length) {
    if (keyPath == nullptr || value == nullptr || length == 0) return ERR_TN_INVALID_PARAMETER;
    KeyName name;
    if (!Assemble(keyPath, &name)) return ERR_TN_INVALID_PARAMETER;
    // The three steps run in one transaction where the registry allows it, so that a
    // reader sees the old value or the new one, never none; a failure undoes them all.
    const bool batch = mvos::RegBeginTransaction() == mvos::kOk;
    TnDeleteRegistryEntry(keyPath);  // a missing value or key is no error here
    int32_t status;
    {
        mvos::ScopedRegKey key;
        status = mvos::RegCreateKey(mvos::kLocalMachine, name.full,
                                    mvos::kKeyRead | mvos::kKeyWrite, key.Out(), nullptr);
        if (status == mvos::kOk)
            status = mvos::RegSetValue(key.Get(), name.value, mvos::kRegSz, value,
                                       static_cast<uint32_t>(std::strlen(value)));
    }
    if (batch) {
        const int32_t end = mvos::RegEndTransaction(status == mvos::kOk);
        if (status == mvos::kOk) status = end;
    }
    return status == mvos::kOk ? 0 : ERR_TN_FAILED;
}

int TnGetRegistryFailure(char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    return static_cast<int>(mvos::RegistryFailure(buffer, static_cast<size_t>(size)));
}

namespace mvb::lifecycle {

// Failures of the registry's file are reported once each through the system log.
void InitRegistry() {
    mvos::SetRegistryFailureSink(
        [](const char* text) { TnSystemLog()->Report(kRegistryEventKind, "%s", text); });
}

void TermRegistry() {
    mvos::SetRegistryFailureSink(nullptr);
}

}  // namespace mvb::lifecycle

int TnDeleteRegistryEntry(const char** keyPath) {
    if (keyPath == nullptr) return ERR_TN_INVALID_PARAMETER;
    KeyName name;
    if (!Assemble(keyPath, &name)) return ERR_TN_INVALID_PARAMETER;
    mvos::ScopedRegKey key;
    if (mvos::RegOpenKey(mvos::kLocalMachine, name.full, mvos::kKeyAllAccess, key.Out()) !=
        mvos::kOk)
        return ERR_TN_FAILED;
    int32_t status = mvos::RegDeleteValue(key.Get(), name.value);
    return status == mvos::kOk ? 0 : ERR_TN_FAILED;
}

namespace {
constexpr uint32_t kNotRead = 0xFFFFFFFFu;
uint32_t g_priorityBoost = kNotRead;
}  // namespace

// Read once: a configuration installed later is not consulted again.
unsigned short GetDisableWin32PriorityBoost() {
    if (g_priorityBoost != kNotRead) return g_priorityBoost != 0 ? 1 : 0;
    int16_t flag = 0;
    if (TnConfig* config = DefaultConfig(TN_DEFAULT_CONFIG_QUERY)) {
        static const char* const kSections[] = {"servers", "tnserver", nullptr};
        config->LookupFlag("disableWin32PriorityBoost", &flag, kSections);
    }
    g_priorityBoost = flag != 0 ? 1 : 0;
    return static_cast<unsigned short>(g_priorityBoost);
}
