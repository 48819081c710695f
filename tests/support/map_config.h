// A configuration of values by "section/section/key" that counts its lookups; installed
// as the default configuration for its lifetime.
#ifndef MV_TESTS_SUPPORT_MAP_CONFIG_H
#define MV_TESTS_SUPPORT_MAP_CONFIG_H

#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "frame.h"

namespace mvtest {

class MapConfig : public TnConfig {
  public:
    using Values = std::map<std::string, std::string>;
    explicit MapConfig(Values v = {})
        : values(std::move(v)), m_previous(DefaultConfig(TN_DEFAULT_CONFIG_QUERY)) {
        DefaultConfig(this);
    }
    ~MapConfig() override { DefaultConfig(m_previous); }
    int LookupInteger(const char* key, int32_t* out, const char* const* sections) override {
        const std::string* v = Find(key, sections);
        return v != nullptr ? (*out = std::stoi(*v), 0) : 1;
    }
    int LookupFlag(const char* key, int16_t* out, const char* const* sections) override {
        const std::string* v = Find(key, sections);
        return v != nullptr ? (*out = static_cast<int16_t>(std::stoi(*v)), 0) : 1;
    }
    int LookupString(const char* key, char** out, const char* const* sections) override {
        const std::string* v = Find(key, sections);
        return v != nullptr ? (std::strcpy(*out, v->c_str()), 0) : 1;
    }
    const std::string* Find(const char* key, const char* const* sections) {
        ++lookups;
        std::string path;
        for (; *sections != nullptr; ++sections) path += *sections + std::string("/");
        auto it = values.find(path + key);
        return it == values.end() ? nullptr : &it->second;
    }
    Values values;
    int lookups = 0;

  private:
    TnConfig* m_previous;
};

}  // namespace mvtest

#endif
