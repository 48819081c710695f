// The host's configuration reader: an INI file read into memory.
//
//   top = value            keys before any section have the empty section path
//   [debug]                a section path, its names joined by dots
//   memory = 1
//   [debug.memory]
//   library = mycheck
//
// Names of sections and keys compare without regard to case; blanks around names and
// values are dropped; lines starting with ';' or '#' are comments.
#ifndef MV_TOOLS_INI_CONFIG_H
#define MV_TOOLS_INI_CONFIG_H

#include <map>
#include <string>

#include "frame.h"

class IniConfig : public TnConfig {
  public:
    // Reads the file; false when it cannot be opened. Lines that are neither a section,
    // a key = value pair, a comment nor blank are counted in BadLines().
    bool Load(const std::string& path);
    bool LoadText(const std::string& text);
    int BadLines() const { return m_badLines; }

    int LookupInteger(const char* key, int32_t* value, const char* const* sections) override;
    int LookupFlag(const char* key, int16_t* value, const char* const* sections) override;
    // Copies at most 1023 characters and a NUL: the library's callers offer 1024 bytes
    // or more.
    int LookupString(const char* key, char** value, const char* const* sections) override;

  private:
    const std::string* Find(const char* key, const char* const* sections) const;

    std::map<std::string, std::string> m_values;  // "section.path/key" in lower case
    int m_badLines = 0;
};

#endif
