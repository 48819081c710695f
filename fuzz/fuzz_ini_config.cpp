// The demo host's configuration reader on arbitrary text: every key = value line is
// found again under its section path with the last value given for it (trimmed), the
// string lookup never writes past the 1024 bytes its callers offer, and the integer and
// flag lookups accept exactly what their rules say.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "../tools/mvbasics/ini_config.h"
#include "fuzz_support.h"

namespace {

bool Blank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}
std::string Strip(std::string s) {
    while (!s.empty() && Blank(s.back())) s.pop_back();
    size_t i = 0;
    while (i < s.size() && Blank(s[i])) ++i;
    return s.substr(i);
}
std::string Folded(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

struct Entry {
    std::vector<std::string> sections;  // the section path split at its dots
    std::string key, value;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    IniConfig config;
    FUZZ_CHECK(config.LoadText(text));

    // The expected entries, read line by line.
    std::map<std::string, Entry> expected;  // folded "section/key" -> last entry
    std::string section;
    int bad = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = Strip(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = Strip(line.substr(1, line.size() - 2));
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos || Strip(line.substr(0, eq)).empty()) {
            ++bad;
            continue;
        }
        Entry e;
        e.key = Strip(line.substr(0, eq));
        e.value = Strip(line.substr(eq + 1));
        if (!section.empty()) {
            size_t from = 0;
            for (size_t dot; (dot = section.find('.', from)) != std::string::npos; from = dot + 1)
                e.sections.push_back(section.substr(from, dot - from));
            e.sections.push_back(section.substr(from));
        }
        expected[Folded(section + "/" + e.key)] = e;
    }
    FUZZ_CHECK(config.BadLines() == bad);

    for (const auto& item : expected) {
        const Entry& e = item.second;
        // Names with a NUL cannot be asked for through the C strings of the interface.
        if (e.key.find('\0') != std::string::npos) continue;
        bool nul = false;
        std::vector<const char*> path;
        for (const std::string& s : e.sections) {
            nul |= s.find('\0') != std::string::npos;
            path.push_back(s.c_str());
        }
        if (nul) continue;
        path.push_back(nullptr);
        std::vector<char> buffer(1024);
        char* out = buffer.data();
        FUZZ_CHECK(config.LookupString(e.key.c_str(), &out, path.data()) == 0);
        const size_t n = std::min<size_t>(e.value.size(), 1023);
        FUZZ_CHECK(std::memcmp(out, e.value.data(), n) == 0 && out[n] == '\0');

        int32_t number = 12345;
        const int rc = config.LookupInteger(e.key.c_str(), &number, path.data());
        errno = 0;
        char* stop = nullptr;
        const long long want = std::strtoll(e.value.c_str(), &stop, 0);
        const bool whole = !e.value.empty() && *stop == '\0' && errno == 0 && want >= INT32_MIN &&
                           want <= INT32_MAX;
        FUZZ_CHECK(rc == (whole ? 0 : 1));
        FUZZ_CHECK(whole ? number == want : number == 12345);

        int16_t flag = 7;
        const std::string v = Folded(e.value);
        const int on = v == "1" || v == "true" || v == "yes" || v == "on";
        const int off = v == "0" || v == "false" || v == "no" || v == "off";
        FUZZ_CHECK(config.LookupFlag(e.key.c_str(), &flag, path.data()) == (on || off ? 0 : 1));
        FUZZ_CHECK(flag == (on ? 1 : off ? 0 : 7));
    }
    // A key that no line gave is not found.
    char room[4] = {};
    char* out = room;
    const char* none[] = {"\x01no such section", nullptr};
    FUZZ_CHECK(config.LookupString("k", &out, none) == 1);
    return 0;
}
