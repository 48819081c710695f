#include "reg_access.h"

#include <cctype>
#include <cstring>

#include "services/tool_interface.h"

namespace mvtool {
namespace {

constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyAllAccess = 0xF003F;
constexpr int32_t kNotFound = 2;
constexpr int32_t kMoreData = 234;
constexpr int32_t kNoMoreItems = 259;
constexpr uint32_t kMaxName = 16384;  // value names have at most 16383 characters

const MvbToolTable& Os() {
    return *MvbToolInterface();
}

bool Failed(int32_t status, RegFailure* failure) {
    if (status == 0) return false;
    char text[512] = "not found";
    if (status != kNotFound) Os().errorText(static_cast<uint32_t>(status), text, sizeof text);
    failure->status = status;
    failure->cause = std::string(text) + " (registry " + RegistryFile() + ")";
    return true;
}

// An opened key, closed when it goes out of scope.
class Key {
  public:
    ~Key() {
        if (m_key != nullptr) Os().regCloseKey(m_key);
    }
    int32_t Open(const std::string& path, uint32_t access) {
        return Os().regOpenKey(Os().registryRoot, path.c_str(), access, &m_key);
    }
    int32_t Create(const std::string& path) {
        return Os().regCreateKey(Os().registryRoot, path.c_str(), kKeyAllAccess, &m_key, nullptr);
    }
    mvos::RegKeyObject* Get() const { return m_key; }

  private:
    mvos::RegKeyObject* m_key = nullptr;
};

using EnumFn = int32_t (*)(mvos::RegKeyObject*, uint32_t, char*, uint32_t*);

int32_t EnumerateNames(mvos::RegKeyObject* key, EnumFn fn, std::vector<std::string>* names) {
    std::vector<char> name(kMaxName + 1);
    for (uint32_t index = 0;; ++index) {
        uint32_t size = static_cast<uint32_t>(name.size());
        const int32_t status = fn(key, index, name.data(), &size);
        if (status == kNoMoreItems) return 0;
        if (status != 0) return status;
        names->emplace_back(name.data(), size);
    }
}

int32_t QueryValue(mvos::RegKeyObject* key, const std::string& name, RegValue* value) {
    uint32_t size = 0;
    int32_t status = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {  // the value may grow in between
        status = Os().regQueryValue(key, name.c_str(), &value->type, nullptr, &size);
        if (status != 0) return status;
        value->data.assign(size, '\0');
        status = Os().regQueryValue(key, name.c_str(), &value->type, value->data.data(), &size);
        if (status != kMoreData) break;
    }
    if (status == 0) value->data.resize(size);
    value->name = name;
    return status;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const size_t n = std::strlen(prefix);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

}  // namespace

std::string NormalizeKeyPath(const std::string& path) {
    for (const char* root : {"HKEY_LOCAL_MACHINE", "HKLM"}) {
        if (!StartsWithNoCase(path, root)) continue;
        const size_t n = std::strlen(root);
        if (path.size() == n) return "";
        if (path[n] == '\\') return path.substr(n + 1);
    }
    return path;
}

std::string FullKeyName(const std::string& path) {
    return path.empty() ? "HKEY_LOCAL_MACHINE" : "HKEY_LOCAL_MACHINE\\" + path;
}

std::string RegistryFile() {
    const char* path = Os().registryPath();
    return path != nullptr ? path : "?";
}

std::string TypeName(uint32_t type) {
    switch (type) {
        case kTypeNone:
            return "REG_NONE";
        case kTypeSz:
            return "REG_SZ";
        case kTypeExpandSz:
            return "REG_EXPAND_SZ";
        case kTypeBinary:
            return "REG_BINARY";
        case kTypeDword:
            return "REG_DWORD";
        case kTypeMultiSz:
            return "REG_MULTI_SZ";
        case kTypeQword:
            return "REG_QWORD";
        default:
            return "REG_TYPE_" + std::to_string(type);
    }
}

bool ReadKey(const std::string& path, RegKeyContents* contents, RegFailure* failure) {
    Key key;
    if (Failed(key.Open(path, kKeyRead), failure)) return false;
    contents->path = path;
    std::vector<std::string> valueNames;
    if (Failed(EnumerateNames(key.Get(), Os().regEnumKey, &contents->subkeys), failure) ||
        Failed(EnumerateNames(key.Get(), Os().regEnumValue, &valueNames), failure))
        return false;
    for (const std::string& name : valueNames) {
        RegValue value;
        if (Failed(QueryValue(key.Get(), name, &value), failure)) return false;
        contents->values.push_back(std::move(value));
    }
    return true;
}

bool ReadValue(const std::string& path, const std::string& name, RegValue* value,
               RegFailure* failure) {
    Key key;
    return !Failed(key.Open(path, kKeyRead), failure) &&
           !Failed(QueryValue(key.Get(), name, value), failure);
}

bool CreateKey(const std::string& path, RegFailure* failure) {
    Key key;
    return !Failed(key.Create(path), failure);
}

bool WriteValue(const std::string& path, const RegValue& value, RegFailure* failure) {
    Key key;
    return !Failed(key.Create(path), failure) &&
           !Failed(Os().regSetValue(key.Get(), value.name.c_str(), value.type, value.data.data(),
                                    static_cast<uint32_t>(value.data.size())),
                   failure);
}

bool DeleteValue(const std::string& path, const std::string& name, RegFailure* failure) {
    Key key;
    return !Failed(key.Open(path, kKeyAllAccess), failure) &&
           !Failed(Os().regDeleteValue(key.Get(), name.c_str()), failure);
}

bool DeleteKey(const std::string& path, RegFailure* failure) {
    return !Failed(Os().regDeleteKey(Os().registryRoot, path.c_str()), failure);
}

}  // namespace mvtool
