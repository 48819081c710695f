// The counter-text loader of the registry (the Linux backend's loader, and on Windows
// the stand-in tests put in place of the system's): reads a counter text file in the published
// format (an .ini with [info], [languages] and [text] sections, and a symbol header of
// "#define SYMBOL offset" lines), hands out title indexes from the counter-text
// database in the registry and records the range in the driver's "Performance" key.
//
// The database, under kCounterTextKey: the values "Last Counter" and "Last Help" (the
// highest indexes in use), and for each language a key "<language>\Counter" and
// "<language>\Help" whose values, named by the decimal index, hold the texts. A fresh
// database hands out 1000 and 1001 first: lower indexes belong to the system.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "os/os.h"
#include "os/os_testing.h"

namespace mvos {

namespace {

constexpr uint32_t kFreshLastCounter = 998;
constexpr uint32_t kFreshLastHelp = 999;

struct Text {
    std::string language;
    std::string symbol;
    bool help;
    std::string text;
};

struct CounterFile {
    std::string driver;
    std::string symbolFile;
    std::vector<std::string> languages;
    std::vector<Text> texts;
    std::map<std::string, uint32_t> offsets;  // symbol -> offset
};

std::string Trim(const std::string& s) {
    size_t a = 0;
    size_t b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Counter text files are a few kilobytes; anything longer than this (a device such as
// /dev/zero named as the symbol file, say) is refused instead of read for ever.
constexpr long kMaxTextFileBytes = 1L << 20;

// kOk, kFileNotFound when the file cannot be opened, kInvalidData when it is too long.
int32_t ReadLines(const std::string& path, std::vector<std::string>* lines) {
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return kFileNotFound;
    std::string line;
    int c;
    for (long read = 0; (c = std::fgetc(f)) != EOF; ++read) {
        if (read == kMaxTextFileBytes) {
            std::fclose(f);
            return kInvalidData;
        }
        if (c == '\n') {
            lines->push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty()) lines->push_back(line);
    std::fclose(f);
    // A UTF-8 byte-order mark, as editors on the original platform write it.
    if (!lines->empty() && lines->front().compare(0, 3, "\xEF\xBB\xBF") == 0)
        lines->front().erase(0, 3);
    return kOk;
}

// "<SYMBOL>_<language>_NAME" or "..._HELP".
bool SplitTextKey(const std::string& key, Text* text) {
    const size_t last = key.rfind('_');
    if (last == std::string::npos || last == 0) return false;
    const std::string kind = Lower(key.substr(last + 1));
    if (kind != "name" && kind != "help") return false;
    const size_t lang = key.rfind('_', last - 1);
    if (lang == std::string::npos || lang == 0 || lang + 1 == last) return false;
    text->help = kind == "help";
    text->language = key.substr(lang + 1, last - lang - 1);
    text->symbol = key.substr(0, lang);
    return true;
}

// The counter text file is read strictly: the published format has ';' comments only,
// a section line must close its bracket, and any other malformed line refuses the whole
// file (kInvalidData), since half-loaded counter texts would get wrong title indexes.
// The mvbasics tool reads the demo host's configuration with its own lenient reader
// (tools/mvbasics/ini_config.cpp: '#' comments too, dotted section paths, bad lines
// counted and skipped). The two stay apart on purpose: the tool sees only the public
// API, and the library exports no INI parser just for its own tool.
int32_t ParseIni(const std::string& path, CounterFile* file) {
    std::vector<std::string> lines;
    if (const int32_t rc = ReadLines(path, &lines); rc != kOk) return rc;
    std::string section;
    for (const std::string& raw : lines) {
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == ';') continue;
        if (line.front() == '[') {
            if (line.back() != ']') return kInvalidData;
            section = Lower(Trim(line.substr(1, line.size() - 2)));
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) return kInvalidData;
        const std::string key = Trim(line.substr(0, eq));
        const std::string value = Trim(line.substr(eq + 1));
        if (section == "info") {
            if (Lower(key) == "drivername") file->driver = value;
            if (Lower(key) == "symbolfile") file->symbolFile = value;
        } else if (section == "languages") {
            file->languages.push_back(key);
        } else if (section == "text") {
            Text text;
            if (!SplitTextKey(key, &text)) return kInvalidData;
            text.text = value;
            file->texts.push_back(text);
        }
    }
    if (file->driver.empty() || file->symbolFile.empty() || file->languages.empty() ||
        file->texts.empty())
        return kInvalidData;
    return kOk;
}

int32_t ParseSymbols(const std::string& path, CounterFile* file) {
    std::vector<std::string> lines;
    if (const int32_t rc = ReadLines(path, &lines); rc != kOk) return rc;
    for (const std::string& raw : lines) {
        char symbol[128];
        unsigned long offset = 0;
        char extra = 0;
        if (std::sscanf(raw.c_str(), " #define %127s %lu %c", symbol, &offset, &extra) == 2) {
            if (offset % 2 != 0 || offset > 0x7FFFFFFEul) return kInvalidData;
            file->offsets[symbol] = static_cast<uint32_t>(offset);
        }
    }
    return kOk;
}

// The driver from a command line "<program> <driver>" or "<program> \"<file>\"".
bool Argument(const char* commandLine, std::string* argument) {
    if (!commandLine) return false;
    const char* p = commandLine;
    while (*p == ' ' || *p == '\t') ++p;
    while (*p && *p != ' ' && *p != '\t') ++p;  // the program
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '"') {
        const char* end = std::strchr(p + 1, '"');
        if (!end) return false;
        argument->assign(p + 1, end);
    } else {
        *argument = Trim(p);
    }
    return !argument->empty();
}

std::string ServiceKey(const std::string& driver) {
    return "SYSTEM\\CurrentControlSet\\Services\\" + driver + "\\Performance";
}

uint32_t ReadDword(RegKey key, const char* name, uint32_t fallback) {
    uint32_t type = 0;
    uint32_t value = 0;
    uint32_t size = sizeof value;
    if (RegQueryValue(key, name, &type, &value, &size) != kOk || type != kRegDword ||
        size != sizeof value)
        return fallback;
    return value;
}

int32_t WriteDword(RegKey key, const char* name, uint32_t value) {
    return RegSetValue(key, name, kRegDword, &value, sizeof value);
}

std::string TextKey(const std::string& language, bool help) {
    return std::string(kCounterTextKey) + "\\" + language + (help ? "\\Help" : "\\Counter");
}

// Removes the texts of indexes [first, last] from every language of the database.
void RemoveTexts(uint32_t firstCounter, uint32_t lastCounter, uint32_t firstHelp,
                 uint32_t lastHelp) {
    ScopedRegKey base;
    if (RegOpenKey(kLocalMachine, kCounterTextKey, kKeyRead, base.Out()) != kOk) return;
    char language[64];
    for (uint32_t i = 0;; ++i) {
        uint32_t size = sizeof language;
        if (RegEnumKey(base.Get(), i, language, &size) != kOk) break;
        for (bool help : {false, true}) {
            ScopedRegKey key;
            if (RegOpenKey(kLocalMachine, TextKey(language, help).c_str(), kKeyAllAccess,
                           key.Out()) != kOk)
                continue;
            const uint32_t first = help ? firstHelp : firstCounter;
            const uint32_t last = help ? lastHelp : lastCounter;
            // The texts are found by name: a range may span most of the 32-bit indexes
            // (a symbol header's offsets) while holding a few texts.
            std::vector<std::string> doomed;
            char name[16];
            for (uint32_t i = 0;; ++i) {
                uint32_t size = sizeof name;
                const int32_t status = RegEnumValue(key.Get(), i, name, &size);
                if (status == kMoreData) continue;
                if (status != kOk) break;
                const unsigned long index = std::strtoul(name, nullptr, 10);
                if (index >= first && index <= last && (index - first) % 2 == 0 &&
                    std::to_string(index) == name)
                    doomed.push_back(name);
            }
            for (const std::string& text : doomed) RegDeleteValue(key.Get(), text.c_str());
        }
    }
}

}  // namespace

int32_t RegistryLoadPerfText(const char* commandLine, bool) {
    std::string iniPath;
    if (!Argument(commandLine, &iniPath)) return kInvalidParameter;
    CounterFile file;
    int32_t status = ParseIni(iniPath, &file);
    if (status != kOk) return status;
    const size_t slash = iniPath.find_last_of(PathSeparator());
    const std::string dir = slash == std::string::npos ? "" : iniPath.substr(0, slash + 1);
    status = ParseSymbols(
        file.symbolFile.find(PathSeparator()) == 0 ? file.symbolFile : dir + file.symbolFile,
        &file);
    if (status != kOk) return status;
    uint32_t maxOffset = 0;
    for (const Text& t : file.texts) {
        auto it = file.offsets.find(t.symbol);
        if (it == file.offsets.end()) return kInvalidData;
        if (it->second > maxOffset) maxOffset = it->second;
    }

    ScopedRegKey service;
    status =
        RegOpenKey(kLocalMachine, ServiceKey(file.driver).c_str(), kKeyAllAccess, service.Out());
    if (status != kOk) return status;
    uint32_t type = 0;
    uint32_t size = 0;
    if (RegQueryValue(service.Get(), "First Counter", &type, nullptr, &size) == kOk)
        return kAlreadyExists;
    ScopedRegKey base;
    status = RegCreateKey(kLocalMachine, kCounterTextKey, kKeyAllAccess, base.Out(), nullptr);
    if (status != kOk) return status;
    const uint32_t lastCounter = ReadDword(base.Get(), "Last Counter", kFreshLastCounter);
    const uint32_t lastHelp = ReadDword(base.Get(), "Last Help", kFreshLastHelp);
    const uint32_t firstCounter = lastCounter + 2;
    const uint32_t firstHelp = lastHelp + 2;

    for (const Text& t : file.texts) {
        if (status != kOk) break;
        ScopedRegKey key;
        status = RegCreateKey(kLocalMachine, TextKey(t.language, t.help).c_str(), kKeyAllAccess,
                              key.Out(), nullptr);
        if (status != kOk) break;
        const uint32_t index = (t.help ? firstHelp : firstCounter) + file.offsets[t.symbol];
        status = RegSetValue(key.Get(), std::to_string(index).c_str(), kRegSz, t.text.c_str(),
                             static_cast<uint32_t>(t.text.size() + 1));
    }
    if (status == kOk) status = WriteDword(base.Get(), "Last Counter", firstCounter + maxOffset);
    if (status == kOk) status = WriteDword(base.Get(), "Last Help", firstHelp + maxOffset);
    if (status == kOk) status = WriteDword(service.Get(), "First Counter", firstCounter);
    if (status == kOk) status = WriteDword(service.Get(), "Last Counter", firstCounter + maxOffset);
    if (status == kOk) status = WriteDword(service.Get(), "First Help", firstHelp);
    if (status == kOk) status = WriteDword(service.Get(), "Last Help", firstHelp + maxOffset);
    if (status != kOk) {  // leave the database as it was
        RemoveTexts(firstCounter, firstCounter + maxOffset, firstHelp, firstHelp + maxOffset);
        WriteDword(base.Get(), "Last Counter", lastCounter);
        WriteDword(base.Get(), "Last Help", lastHelp);
        for (const char* name : {"First Counter", "Last Counter", "First Help", "Last Help"})
            RegDeleteValue(service.Get(), name);
    }
    return status;
}

int32_t RegistryUnloadPerfText(const char* commandLine, bool) {
    std::string driver;
    if (!Argument(commandLine, &driver)) return kInvalidParameter;
    ScopedRegKey service;
    int32_t status =
        RegOpenKey(kLocalMachine, ServiceKey(driver).c_str(), kKeyAllAccess, service.Out());
    if (status != kOk) return status;
    const uint32_t firstCounter = ReadDword(service.Get(), "First Counter", 0);
    const uint32_t lastCounter = ReadDword(service.Get(), "Last Counter", 0);
    const uint32_t firstHelp = ReadDword(service.Get(), "First Help", 0);
    const uint32_t lastHelp = ReadDword(service.Get(), "Last Help", 0);
    if (firstCounter == 0 || lastCounter < firstCounter || firstHelp == 0 || lastHelp < firstHelp)
        return kFileNotFound;
    RemoveTexts(firstCounter, lastCounter, firstHelp, lastHelp);
    // The range at the top of the database is handed out again.
    ScopedRegKey base;
    if (RegOpenKey(kLocalMachine, kCounterTextKey, kKeyAllAccess, base.Out()) == kOk) {
        if (ReadDword(base.Get(), "Last Counter", 0) == lastCounter &&
            ReadDword(base.Get(), "Last Help", 0) == lastHelp) {
            WriteDword(base.Get(), "Last Counter", firstCounter - 2);
            WriteDword(base.Get(), "Last Help", firstHelp - 2);
        }
        base.Reset();
    }
    for (const char* name : {"First Counter", "Last Counter", "First Help", "Last Help"})
        RegDeleteValue(service.Get(), name);
    return kOk;
}

}  // namespace mvos

namespace mvos {

int32_t LoadPerfCounterTextStrings(const char* commandLine, bool quiet) {
    return Syscalls().loadPerfText(commandLine, quiet);
}

int32_t UnloadPerfCounterTextStrings(const char* commandLine, bool quiet) {
    return Syscalls().unloadPerfText(commandLine, quiet);
}

}  // namespace mvos
