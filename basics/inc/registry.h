// Platform services: small string settings in the registry under the product's root
// key "SOFTWARE\Ardwyn\Merivane" of the local machine, and one server setting.
//
// Threads: every registry function may run on any number of threads at once; the OS layer
// serialises access to the settings store with one lock per process.
#ifndef MV_REGISTRY_H
#define MV_REGISTRY_H

#include "mvexport.h"

// A key path is a null-terminated array of names: every name but the last is a
// subkey (outermost first), the last names the value. At least one name.
// Results: 0; -2530 for bad arguments (nothing is accessed); -1 for any registry
// failure (missing key or value, buffer too small, ...).

// Reads a value into buffer without a terminator. length: in, the buffer's capacity
// (the registry is offered length - 1 bytes); out, the stored byte count, or the size
// needed when the buffer is too small.
MVB_API int TnGetRegistryEntry(const char** keyPath, char* buffer, int& length);
// Replaces a value with the text of value (its length without terminator, as a
// string). length must merely be non-zero.
MVB_API int TnSetRegistryEntry(const char** keyPath, char* value, int& length);
// Deletes a value (never a key); a missing value is -1.
MVB_API int TnDeleteRegistryEntry(const char** keyPath);

// The last failure of the registry's file in this process, "registry <path>: <cause>"
// (the SQLite or system reason), as the system log reported it: copied into buffer,
// at most size - 1 characters and a NUL; returns the length (0 when none).
MVB_API int TnGetRegistryFailure(char* buffer, int size);

// The configured flag "disableWin32PriorityBoost" (sections "servers", "tnserver") of
// the default configuration, read once per process; 0 without a configuration.
MVB_API unsigned short GetDisableWin32PriorityBoost();

#endif
