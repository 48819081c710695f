// The registry export file: a text form close to the original platform's .reg files,
// which import reads back exactly (docs/registry-export.md describes it).
//
//   Merivane Registry Export 1
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Ardwyn\Merivane]
//   "greeting"="hello"
//   @="the key's default value"
//   "count"=dword:0000002a
//   "blob"=hex:de,ad,be,ef
//   "list"=hex(7):61,00,62,00,00,00
//   "gone"=-
//   [-HKEY_LOCAL_MACHINE\SOFTWARE\Old]
#ifndef MV_TOOLS_REG_FILE_H
#define MV_TOOLS_REG_FILE_H

#include <string>
#include <vector>

#include "reg_access.h"

namespace mvtool {

extern const char kRegFileHeader[];

// The text of one key's section. False (with why) when a key name cannot be written:
// names with control characters have no form in the file.
bool FormatKeySection(const RegKeyContents& key, std::string* text, std::string* why);

// One change an import makes, in file order.
struct RegFileOp {
    enum Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue } kind;
    std::string path;
    RegValue value;  // kSetValue: name, type, data; kDeleteValue: name
};

// Parses a whole file; on a syntax error nothing is returned but the line and the cause.
bool ParseRegFile(const std::string& text, std::vector<RegFileOp>* ops, std::string* error);

// A value's data as a single readable line (strings with escapes, numbers, hex).
std::string DisplayData(const RegValue& value);

}  // namespace mvtool

#endif
