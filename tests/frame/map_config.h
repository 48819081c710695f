// A TnConfig for tests: values by "section/section/key", with a count of lookups.
#ifndef MV_TESTS_FRAME_MAP_CONFIG_H
#define MV_TESTS_FRAME_MAP_CONFIG_H

#include <cstring>
#include <map>
#include <string>

#include "frame.h"

namespace mvtest {

class MapConfig : public TnConfig {
  public:
    std::map<std::string, std::string> values;
    int lookups = 0;

    static std::string Path(const char* key, const char* const* sections) {
        std::string path;
        for (; sections != nullptr && *sections != nullptr; ++sections)
            path += *sections + std::string("/");
        return path + key;
    }
    const std::string* Find(const char* key, const char* const* sections) {
        ++lookups;
        auto it = values.find(Path(key, sections));
        return it == values.end() ? nullptr : &it->second;
    }
    int LookupInteger(const char* key, int32_t* value, const char* const* sections) override {
        const std::string* v = Find(key, sections);
        if (v == nullptr) return 1;
        *value = static_cast<int32_t>(std::stol(*v));
        return 0;
    }
    int LookupFlag(const char* key, int16_t* value, const char* const* sections) override {
        const std::string* v = Find(key, sections);
        if (v == nullptr) return 1;
        *value = static_cast<int16_t>(std::stoi(*v));
        return 0;
    }
    int LookupString(const char* key, char** value, const char* const* sections) override {
        const std::string* v = Find(key, sections);
        if (v == nullptr) return 1;
        std::strcpy(*value, v->c_str());
        return 0;
    }
};

// Installs a default configuration for a scope and puts the previous one back.
class ScopedDefaultConfig {
  public:
    explicit ScopedDefaultConfig(TnConfig* config)
        : m_previous(DefaultConfig(TN_DEFAULT_CONFIG_QUERY)) {
        DefaultConfig(config);
    }
    ~ScopedDefaultConfig() { DefaultConfig(m_previous); }

  private:
    TnConfig* m_previous;
};

}  // namespace mvtest

#endif
