// The registry as the tool sees it: keys by path below HKEY_LOCAL_MACHINE, their
// subkeys, and values with their types and bytes, through the library's OS layer.
#ifndef MV_TOOLS_REG_ACCESS_H
#define MV_TOOLS_REG_ACCESS_H

#include <cstdint>
#include <string>
#include <vector>

namespace mvtool {

// Value types, with the registry's numbers.
enum RegValueType : uint32_t {
    kTypeNone = 0,
    kTypeSz = 1,
    kTypeExpandSz = 2,
    kTypeBinary = 3,
    kTypeDword = 4,
    kTypeMultiSz = 7,
    kTypeQword = 11,
};

struct RegValue {
    std::string name;  // "" is the key's default value
    uint32_t type = kTypeNone;
    std::string data;  // the stored bytes
};

struct RegKeyContents {
    std::string path;  // below HKEY_LOCAL_MACHINE; "" is the root itself
    std::vector<RegValue> values;
    std::vector<std::string> subkeys;  // names, in the registry's order
};

// A failed registry call: the status and its text, and the database file.
struct RegFailure {
    int32_t status = 0;
    std::string cause;  // "The system cannot find the file specified. (registry /x/y.db)"
};

// "HKEY_LOCAL_MACHINE\A\B", "HKLM\A\B" and "A\B" all name the key "A\B".
std::string NormalizeKeyPath(const std::string& path);
// The full name shown to users: "HKEY_LOCAL_MACHINE\A\B".
std::string FullKeyName(const std::string& path);
// The database file the registry uses now.
std::string RegistryFile();
// The name of a value type ("REG_SZ"), or "REG_TYPE_<n>".
std::string TypeName(uint32_t type);

bool ReadKey(const std::string& path, RegKeyContents* contents, RegFailure* failure);
bool ReadValue(const std::string& path, const std::string& name, RegValue* value,
               RegFailure* failure);
// Creates the key (and the missing keys on its path).
bool CreateKey(const std::string& path, RegFailure* failure);
bool WriteValue(const std::string& path, const RegValue& value, RegFailure* failure);
bool DeleteValue(const std::string& path, const std::string& name, RegFailure* failure);
// Deletes the key with everything below it (not the root).
bool DeleteKey(const std::string& path, RegFailure* failure);

}  // namespace mvtool

#endif
