#include "ini_config.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string PathOf(const char* key, const char* const* sections) {
    std::string path;
    for (size_t i = 0; sections != nullptr && sections[i] != nullptr; ++i) {
        if (i > 0) path += '.';  // empty names too: "[.a]" is {"", "a"}
        path += sections[i];
    }
    return Lower(path + "/" + (key != nullptr ? key : ""));
}

}  // namespace

bool IniConfig::Load(const std::string& path) {
    std::ifstream in(path);
    if (!in) return false;
    std::stringstream text;
    text << in.rdbuf();
    return LoadText(text.str());
}

bool IniConfig::LoadText(const std::string& text) {
    std::istringstream in(text);
    std::string section;
    for (std::string line; std::getline(in, line);) {
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            section = Trim(line.substr(1, line.size() - 2));
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos || Trim(line.substr(0, eq)).empty()) {
            ++m_badLines;
            continue;
        }
        m_values[Lower(section + "/" + Trim(line.substr(0, eq)))] = Trim(line.substr(eq + 1));
    }
    return true;
}

const std::string* IniConfig::Find(const char* key, const char* const* sections) const {
    auto it = m_values.find(PathOf(key, sections));
    return it == m_values.end() ? nullptr : &it->second;
}

int IniConfig::LookupInteger(const char* key, int32_t* value, const char* const* sections) {
    const std::string* text = Find(key, sections);
    if (text == nullptr || text->empty()) return 1;
    errno = 0;
    char* end = nullptr;
    long long n = std::strtoll(text->c_str(), &end, 0);
    if (*end != '\0' || errno != 0 || n < INT32_MIN || n > INT32_MAX) return 1;
    *value = static_cast<int32_t>(n);
    return 0;
}

int IniConfig::LookupFlag(const char* key, int16_t* value, const char* const* sections) {
    const std::string* text = Find(key, sections);
    if (text == nullptr) return 1;
    const std::string v = Lower(*text);
    if (v == "1" || v == "true" || v == "yes" || v == "on") {
        *value = 1;
    } else if (v == "0" || v == "false" || v == "no" || v == "off") {
        *value = 0;
    } else {
        return 1;
    }
    return 0;
}

int IniConfig::LookupString(const char* key, char** value, const char* const* sections) {
    const std::string* text = Find(key, sections);
    if (text == nullptr || value == nullptr || *value == nullptr) return 1;
    size_t n = text->size() < 1023 ? text->size() : 1023;
    std::memcpy(*value, text->data(), n);
    (*value)[n] = '\0';
    return 0;
}
