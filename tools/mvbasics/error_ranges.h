// The ranges of result codes: which part of the runtime a code belongs to, so that a
// code without a text of its own can still be placed.
#ifndef MV_TOOLS_ERROR_RANGES_H
#define MV_TOOLS_ERROR_RANGES_H

#include <string>

namespace mvtool {

// A short description of the code's range, e.g. "module loading (-5005 to -5001)",
// "a count (1 to 999)" or "no known range (an error of an unknown module)".
std::string RangeOfCode(int code);

// True when the catalogue's text is the code's own rather than a fallback ("count",
// "unknown error").
bool HasOwnText(int code, const char* text);

}  // namespace mvtool

#endif
