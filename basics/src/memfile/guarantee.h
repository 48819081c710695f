// Preconditions that callers promise (an offset inside the file, a range that exists).
//
// Debug builds fail an assertion when a promise is broken, so that the caller's fault
// shows where it happens. Release builds go on, and the code that checked clamps its
// arguments so that nothing outside its storage is read or written.
#ifndef MV_MEMFILE_GUARANTEE_H
#define MV_MEMFILE_GUARANTEE_H

#include "frame.h"

namespace mvb {

#if defined(NDEBUG)
constexpr bool kAssertCallerGuarantees = false;
#else
constexpr bool kAssertCallerGuarantees = true;
#endif

// Returns whether the promise holds; in debug builds a broken one raises the assertion
// exception first (a host handler may continue, and then the caller clamps).
inline bool CallerGuarantee(bool holds, const char* expression, const char* file, int line) {
    if (!holds && kAssertCallerGuarantees) TARN_assert(expression, file, line);
    return holds;
}

}  // namespace mvb

#define MVB_CALLER_GUARANTEE(condition) \
    ::mvb::CallerGuarantee((condition), #condition, __FILE__, __LINE__)

#endif
