// Export decoration and the small shared types of Merivane Basics.
#ifndef MV_MVEXPORT_H
#define MV_MVEXPORT_H

#include <cstddef>
#include <cstdint>

#include "results.h"

// MVB_API marks every name other modules may call; everything else stays hidden. The
// build may give its own definition (the Windows DLL's build does).
#if defined(MVB_API)
#elif defined(_MSC_VER)
#if defined(MVBASICS_BUILDING)
#define MVB_API __declspec(dllexport)
#else
#define MVB_API __declspec(dllimport)
#endif
#else
#define MVB_API __attribute__((visibility("default")))
#endif

// Undecorated entry points that other modules look up by name.
#define MVB_EXTERN_C extern "C" MVB_API

// Lets the compiler check printf-style arguments (format string at position fmt, the
// arguments from position args; a member function's this is position 1).
#if defined(__GNUC__)
#define MVB_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define MVB_PRINTF(fmt, args)
#endif

// A function whose result depends on its arguments alone and that has no other effect:
// the compiler may call it once for many uses (in a loop, once before it).
#if defined(__GNUC__)
#define MVB_CONST __attribute__((const))
#else
#define MVB_CONST
#endif

// Result code: 0 success, negative error, 1..999 a count, above 999 a notice; the
// named codes are in results.h.
typedef int32_t TnResult;

// Opaque caller-owned context passed through containers and iterators.
class TnTransactionContext;

#endif
