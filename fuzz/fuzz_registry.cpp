// The registry with arbitrary names, sizes and types against a model of keys and
// values, through the public settings API (string values, key paths as name arrays)
// and through the OS layer's typed calls: creation of whole paths, replacement,
// reading into buffers of every size, deletion of values and of whole subtrees, and
// the enumeration order of names (ascending, ASCII case folded). Names compare without
// regard to ASCII case and keep the case they were created with; an empty name or one
// longer than 255 in a key path is refused. Each fuzzing process has a registry file of
// its own in a temporary directory.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "os/os.h"
#include "registry.h"

namespace {

using mvfuzz::Pick;

const char kRoot[] = "SOFTWARE\\Ardwyn\\Merivane";
std::string g_dir;

std::string Fold(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

struct Value {
    std::string name;
    uint32_t type;
    std::string bytes;
};
struct Key {
    std::string name;                     // as first created
    std::map<std::string, Value> values;  // by folded name
};
// Keys by the folded path below the root ("" is the root itself).
std::map<std::string, Key> g_keys;

std::string Join(const std::vector<std::string>& names, size_t n) {
    std::string path;
    for (size_t i = 0; i < n; ++i) path += (i ? "\\" : "") + names[i];
    return path;
}
bool Valid(const std::vector<std::string>& names) {
    for (const std::string& n : names)
        if (n.empty() || n.size() > 255) return false;
    return true;
}
void Create(const std::vector<std::string>& names) {
    for (size_t i = 0; i <= names.size(); ++i) {
        Key& k = g_keys[Fold(Join(names, i))];
        if (k.name.empty() && i > 0) k.name = names[i - 1];
    }
}
Key* Find(const std::vector<std::string>& names) {
    auto it = g_keys.find(Fold(Join(names, names.size())));
    return it == g_keys.end() ? nullptr : &it->second;
}
std::string Full(const std::vector<std::string>& names) {
    return names.empty() ? kRoot : std::string(kRoot) + "\\" + Join(names, names.size());
}

std::string Name(FuzzedDataProvider& in) {
    static const char kLetters[] = {'a', 'A', 'b', 'B', 'z', '.', ' ', '\xc3', '\xa9'};
    switch (Pick(in, 12)) {
        case 0:
            return "";
        case 1:
            return std::string(250 + Pick(in, 10), 'q');
        default: {
            std::string s(1 + Pick(in, 4), 'a');
            for (char& c : s) c = kLetters[Pick(in, sizeof kLetters)];
            return s;
        }
    }
}

std::vector<std::string> Path(FuzzedDataProvider& in) {
    std::vector<std::string> names(Pick(in, 4));
    for (auto& n : names) n = Name(in);
    return names;
}

// Every value and subkey of a key, in the order the enumeration gives them.
void Enumerate(const std::vector<std::string>& names) {
    mvos::ScopedRegKey key;
    const int32_t open =
        mvos::RegOpenKey(mvos::kLocalMachine, Full(names).c_str(), mvos::kKeyRead, key.Out());
    const Key* k = Valid(names) ? Find(names) : nullptr;
    FUZZ_CHECK(open == (k              ? mvos::kOk
                        : Valid(names) ? mvos::kFileNotFound
                                       : mvos::kInvalidParameter));
    if (!k) return;
    std::vector<std::string> values, subkeys;
    for (const auto& v : k->values) values.push_back(v.second.name);
    const std::string prefix = Fold(Join(names, names.size()));
    for (const auto& other : g_keys) {
        const std::string& p = other.first;
        const size_t start = prefix.empty() ? 0 : prefix.size() + 1;
        if (p.size() > start && p.compare(0, prefix.size(), prefix) == 0 &&
            (prefix.empty() || p[prefix.size()] == '\\') &&
            p.find('\\', start) == std::string::npos)
            subkeys.push_back(other.second.name);
    }
    // Folded names in byte order: the model's maps are ordered so already, except
    // that '\\' sorts inside the subkey paths; order the subkeys by their own names.
    std::sort(subkeys.begin(), subkeys.end(),
              [](const std::string& a, const std::string& b) { return Fold(a) < Fold(b); });
    for (int pass = 0; pass < 2; ++pass) {
        const std::vector<std::string>& want = pass ? subkeys : values;
        uint32_t i = 0;
        for (;; ++i) {
            char name[300];
            uint32_t size = sizeof name;
            const int32_t rc = pass ? mvos::RegEnumKey(key.Get(), i, name, &size)
                                    : mvos::RegEnumValue(key.Get(), i, name, &size);
            if (i == want.size()) {
                FUZZ_CHECK(rc == mvos::kNoMoreItems);
                break;
            }
            FUZZ_CHECK(rc == mvos::kOk && std::string(name, size) == want[i]);
            // A buffer one short of the name and its NUL: the size needed.
            uint32_t small = uint32_t(want[i].size());
            FUZZ_CHECK((pass ? mvos::RegEnumKey(key.Get(), i, name, &small)
                             : mvos::RegEnumValue(key.Get(), i, name, &small)) == mvos::kMoreData);
            FUZZ_CHECK(small == want[i].size() + 1);
        }
    }
}

void Step(FuzzedDataProvider& in) {
    std::vector<std::string> names = Path(in);
    const std::string valueName = Name(in);
    const bool valid = Valid(names);
    size_t used = sizeof kRoot - 1;
    bool fits = true;
    for (const std::string& n : names) fits &= (used += 1 + n.size()) < 260;
    std::vector<const char*> path;
    for (const std::string& n : names) path.push_back(n.c_str());
    path.push_back(valueName.c_str());
    path.push_back(nullptr);
    Key* k = valid ? Find(names) : nullptr;
    const Value* v = nullptr;
    if (k) {
        auto it = k->values.find(Fold(valueName));
        if (it != k->values.end()) v = &it->second;
    }
    switch (Pick(in, 7)) {
        case 0:
        case 1: {  // the public API's replace
            std::string text = in.ConsumeRandomLengthString(300);
            text = text.c_str();
            int length = 1 + Pick(in, 5);
            const int rc = TnSetRegistryEntry(path.data(), &text[0], length);
            FUZZ_CHECK(rc == (!fits ? ERR_TN_INVALID_PARAMETER : valid ? 0 : ERR_TN_FAILED));
            if (rc == 0) {
                Create(names);
                Find(names)->values[Fold(valueName)] = Value{valueName, mvos::kRegSz, text};
            }
            break;
        }
        case 2: {  // the public API's read, into buffers of every size
            int length = int(Pick(in, 400)) - 2;
            // The registry is offered length - 1 bytes: the buffer has exactly those.
            std::vector<char> buffer(length > 1 ? size_t(length - 1) : 1);
            const int offered = length - 1;
            const int rc = TnGetRegistryEntry(path.data(), buffer.data(), length);
            if (!fits || offered < 0) {
                FUZZ_CHECK(rc == ERR_TN_INVALID_PARAMETER);
            } else if (!v) {
                FUZZ_CHECK(rc == ERR_TN_FAILED);
            } else {
                FUZZ_CHECK(length == int(v->bytes.size()));
                FUZZ_CHECK(rc == (int(v->bytes.size()) <= offered ? 0 : ERR_TN_FAILED));
                if (rc == 0)
                    FUZZ_CHECK(std::memcmp(buffer.data(), v->bytes.data(), v->bytes.size()) == 0);
            }
            break;
        }
        case 3: {
            const int rc = TnDeleteRegistryEntry(path.data());
            FUZZ_CHECK(rc == (!fits ? ERR_TN_INVALID_PARAMETER : v ? 0 : ERR_TN_FAILED));
            if (rc == 0) k->values.erase(Fold(valueName));
            break;
        }
        case 4: {  // a typed value of any size through the OS layer
            mvos::ScopedRegKey key;
            const int32_t rc = mvos::RegCreateKey(mvos::kLocalMachine, Full(names).c_str(),
                                                  mvos::kKeyAllAccess, key.Out(), nullptr);
            FUZZ_CHECK(rc == (valid ? mvos::kOk : mvos::kInvalidParameter));
            if (rc != mvos::kOk) break;
            Create(names);
            const uint32_t type = in.ConsumeBool() ? in.ConsumeIntegral<uint32_t>() : Pick(in, 8u);
            const std::string bytes = in.ConsumeBytesAsString(Pick(in, 600));
            FUZZ_CHECK(mvos::RegSetValue(key.Get(), valueName.c_str(), type,
                                         bytes.empty() ? nullptr : bytes.data(),
                                         uint32_t(bytes.size())) == mvos::kOk);
            Value& stored = Find(names)->values[Fold(valueName)];
            stored = Value{stored.name.empty() ? valueName : stored.name, type, bytes};
            break;
        }
        case 5: {  // a typed read with a capacity around the stored size
            mvos::ScopedRegKey key;
            const int32_t open = mvos::RegOpenKey(mvos::kLocalMachine, Full(names).c_str(),
                                                  mvos::kKeyQueryValue, key.Out());
            FUZZ_CHECK(open == (k       ? mvos::kOk
                                : valid ? mvos::kFileNotFound
                                        : mvos::kInvalidParameter));
            if (open != mvos::kOk) break;
            uint32_t type = 0xEEEEEEEE;
            const uint32_t stored = v ? uint32_t(v->bytes.size()) : 0;
            uint32_t size = stored + Pick(in, 5u) - (stored > 2 ? 2 : stored);
            const uint32_t capacity = size;
            std::vector<char> data(capacity + 1);
            const int32_t rc =
                mvos::RegQueryValue(key.Get(), valueName.c_str(), &type, data.data(), &size);
            if (!v) {
                FUZZ_CHECK(rc == mvos::kFileNotFound);
                break;
            }
            FUZZ_CHECK(type == v->type && size == stored);
            FUZZ_CHECK(rc == (capacity >= stored ? mvos::kOk : mvos::kMoreData));
            if (rc == mvos::kOk) FUZZ_CHECK(std::memcmp(data.data(), v->bytes.data(), stored) == 0);
            break;
        }
        default: {
            if (in.ConsumeBool()) {
                Enumerate(names);
                break;
            }
            // A whole subtree; the root of the settings goes through its own parent.
            const int32_t rc = names.empty()
                                   ? mvos::RegDeleteKey(mvos::kLocalMachine, kRoot)
                                   : mvos::RegDeleteKey(mvos::kLocalMachine, Full(names).c_str());
            FUZZ_CHECK(rc == (k       ? mvos::kOk
                              : valid ? mvos::kFileNotFound
                                      : mvos::kInvalidParameter));
            if (rc != mvos::kOk) break;
            const std::string prefix = Fold(Join(names, names.size()));
            for (auto it = g_keys.begin(); it != g_keys.end();) {
                const std::string& p = it->first;
                const bool below = prefix.empty() || p == prefix ||
                                   (p.compare(0, prefix.size(), prefix) == 0 &&
                                    p.size() > prefix.size() && p[prefix.size()] == '\\');
                it = below ? g_keys.erase(it) : std::next(it);
            }
            break;
        }
    }
}

void RemoveDir() {
    if (g_dir.empty()) return;
    const std::string db = mvos::RegistryPath();
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) unlink((db + suffix).c_str());
    rmdir(g_dir.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Memory-backed where the machine has it: every call is a transaction.
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string dir = base + "/mvfuzz-registry-XXXXXX";
    if (mkdtemp(&dir[0]) == nullptr) std::abort();
    g_dir = dir;
    setenv("MERIVANE_REGISTRY", (dir + "/registry.db").c_str(), 1);
    std::atexit(RemoveDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // Every input starts from an empty tree of settings.
    const int32_t cleared = mvos::RegDeleteKey(mvos::kLocalMachine, kRoot);
    FUZZ_CHECK(cleared == mvos::kOk || cleared == mvos::kFileNotFound);
    g_keys.clear();
    for (int steps = 0; steps < 60 && in.remaining_bytes() > 0; ++steps) Step(in);
    Enumerate({});
    return 0;
}
