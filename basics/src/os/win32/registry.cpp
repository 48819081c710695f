// Windows backend: the registry is the system's HKEY_LOCAL_MACHINE, through the Reg*
// functions. When MERIVANE_REGISTRY is set (tests set it to a scratch file's path), the
// root is instead a key of its own below HKEY_CURRENT_USER, named after that path, so
// that each test starts from an empty registry without touching the machine's.
#include "os/win32/system.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "os/os.h"

namespace mvos {

struct RegKeyObject {
    HKEY handle;
};

namespace {

RegKeyObject g_localMachine{HKEY_LOCAL_MACHINE};
std::atomic<RegistryFailureSink> g_sink{nullptr};

constexpr const char* kTestRoots = "Software\\Merivane\\Registry roots\\";
// The system has no transactions of plain registry calls.
constexpr int32_t kNotSupported = 50;

bool ValidPath(const char* subKey) {
    if (subKey == nullptr || *subKey == '\0') return true;
    const size_t n = std::strlen(subKey);
    return subKey[0] != '\\' && subKey[n - 1] != '\\' && std::strstr(subKey, "\\\\") == nullptr;
}

// The system key that stands for the root.
HKEY Root(HKEY* opened) {
    *opened = nullptr;
    const char* path = std::getenv("MERIVANE_REGISTRY");
    if (path == nullptr || *path == '\0') return HKEY_LOCAL_MACHINE;
    std::string name = kTestRoots;
    for (const char* p = path; *p; ++p) name += (*p == '\\' || *p == '/') ? '|' : *p;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          opened, nullptr) != ERROR_SUCCESS) {
        return HKEY_LOCAL_MACHINE;
    }
    return *opened;
}

// Runs op on the system key of key (the root resolved afresh).
template <typename Op>
int32_t OnKey(RegKey key, Op op) {
    if (key == nullptr) return kInvalidHandle;
    if (key != kLocalMachine) return static_cast<int32_t>(op(key->handle));
    HKEY opened;
    HKEY root = Root(&opened);
    const int32_t status = static_cast<int32_t>(op(root));
    if (opened != nullptr) ::RegCloseKey(opened);
    return status;
}

int32_t Wrap(HKEY handle, RegKey* result) {
    RegKeyObject* key = new (std::nothrow) RegKeyObject{handle};
    if (key == nullptr) {
        ::RegCloseKey(handle);
        return kNotEnoughMemory;
    }
    *result = key;
    return kOk;
}

bool LessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        return lower(static_cast<unsigned char>(x)) < lower(static_cast<unsigned char>(y));
    });
}

// The index-th name in ascending case-insensitive order (the system gives values in
// the order they were made).
int32_t EnumSorted(RegKey key, uint32_t index, char* name, uint32_t* size, bool values) {
    if (size == nullptr) return kInvalidParameter;
    std::vector<std::string> names;
    const int32_t status = OnKey(key, [&](HKEY h) -> LONG {
        for (DWORD i = 0;; ++i) {
            char buffer[16384];
            DWORD length = sizeof buffer;
            const LONG rc =
                values ? ::RegEnumValueA(h, i, buffer, &length, nullptr, nullptr, nullptr, nullptr)
                       : ::RegEnumKeyExA(h, i, buffer, &length, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
            if (rc != ERROR_SUCCESS) return rc;
            names.emplace_back(buffer, length);
        }
    });
    if (status != kOk) return status;
    std::sort(names.begin(), names.end(), LessNoCase);
    if (index >= names.size()) return kNoMoreItems;
    const std::string& found = names[index];
    if (name == nullptr || *size < found.size() + 1) {
        *size = static_cast<uint32_t>(found.size() + 1);
        return kMoreData;
    }
    std::memcpy(name, found.c_str(), found.size() + 1);
    *size = static_cast<uint32_t>(found.size());
    return kOk;
}

}  // namespace

RegKey const kLocalMachine = &g_localMachine;

int32_t RegOpenKey(RegKey parent, const char* subKey, uint32_t access, RegKey* result) {
    if (result == nullptr) return kInvalidParameter;
    *result = nullptr;
    if (!ValidPath(subKey)) return kInvalidParameter;
    HKEY handle = nullptr;
    const int32_t status = OnKey(parent, [&](HKEY h) {
        return ::RegOpenKeyExA(h, subKey != nullptr ? subKey : "", 0, access, &handle);
    });
    return status == kOk ? Wrap(handle, result) : status;
}

int32_t RegCreateKey(RegKey parent, const char* subKey, uint32_t access, RegKey* result,
                     bool* created) {
    if (result == nullptr) return kInvalidParameter;
    *result = nullptr;
    if (!ValidPath(subKey)) return kInvalidParameter;
    HKEY handle = nullptr;
    DWORD disposition = 0;
    const int32_t status = OnKey(parent, [&](HKEY h) {
        return ::RegCreateKeyExA(h, subKey != nullptr ? subKey : "", 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, access, nullptr, &handle, &disposition);
    });
    if (status != kOk) return status;
    if (created != nullptr) *created = disposition == REG_CREATED_NEW_KEY;
    return Wrap(handle, result);
}

int32_t RegCloseKey(RegKey key) {
    if (key == nullptr) return kInvalidHandle;
    if (key == kLocalMachine) return kOk;
    const LONG rc = ::RegCloseKey(key->handle);
    delete key;
    return static_cast<int32_t>(rc);
}

// Read whole into a buffer of its own, so that the result rules are the same for every
// type: the system adds a NUL to a string stored without one, and counts it.
int32_t RegQueryValue(RegKey key, const char* name, uint32_t* type, void* data, uint32_t* size) {
    if (data != nullptr && size == nullptr) return kInvalidParameter;
    DWORD t = 0;
    std::vector<BYTE> value;
    const int32_t status = OnKey(key, [&](HKEY h) {
        for (;;) {
            DWORD n = static_cast<DWORD>(value.size());
            const LONG rc = ::RegQueryValueExA(h, name, nullptr, &t,
                                               value.empty() ? nullptr : value.data(), &n);
            if (rc == ERROR_SUCCESS && n <= value.size()) {
                value.resize(n);
                return rc;
            }
            if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) return rc;
            value.resize(n + 1);
        }
    });
    if (status != kOk) return status;
    uint32_t stored = static_cast<uint32_t>(value.size());
    if ((t == kRegSz || t == kRegExpandSz) && stored > 0 && value[stored - 1] == 0) --stored;
    if (type != nullptr) *type = t;
    if (size == nullptr) return kOk;
    if (data != nullptr && *size < stored) {
        *size = stored;
        return kMoreData;
    }
    if (data != nullptr) std::memcpy(data, value.data(), stored);
    *size = stored;
    return kOk;
}

int32_t RegSetValue(RegKey key, const char* name, uint32_t type, const void* data, uint32_t size) {
    return OnKey(key, [&](HKEY h) {
        return ::RegSetValueExA(h, name, 0, type, static_cast<const BYTE*>(data), size);
    });
}

int32_t RegDeleteValue(RegKey key, const char* name) {
    return OnKey(key, [&](HKEY h) { return ::RegDeleteValueA(h, name); });
}

int32_t RegDeleteKey(RegKey parent, const char* subKey) {
    if (subKey == nullptr || *subKey == '\0' || !ValidPath(subKey)) return kInvalidParameter;
    return OnKey(parent, [&](HKEY h) { return ::RegDeleteTreeA(h, subKey); });
}

int32_t RegEnumKey(RegKey key, uint32_t index, char* name, uint32_t* size) {
    return EnumSorted(key, index, name, size, false);
}

int32_t RegEnumValue(RegKey key, uint32_t index, char* name, uint32_t* size) {
    return EnumSorted(key, index, name, size, true);
}

const char* RegistryPath() {
    const char* path = std::getenv("MERIVANE_REGISTRY");
    return path != nullptr && *path != '\0' ? path : "HKEY_LOCAL_MACHINE";
}

int32_t RegBeginTransaction() {
    return kNotSupported;
}

int32_t RegEndTransaction(bool) {
    return kNotSupported;
}

size_t RegistryFailure(char* buffer, size_t size) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return 0;
}

RegistryFailureSink SetRegistryFailureSink(RegistryFailureSink sink) {
    return g_sink.exchange(sink);
}

void ReleaseOnUnload() {}

}  // namespace mvos
