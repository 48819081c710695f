// Windows backend: the system headers, without the character-set macros whose names
// the OS layer's own functions carry (MessageBox, RegOpenKey, ReportEvent, ...). The
// backend calls the ANSI functions by their full names.
#ifndef MV_OS_WIN32_SYSTEM_H
#define MV_OS_WIN32_SYSTEM_H

#include <windows.h>

#undef MessageBox
#undef RegisterEventSource
#undef ReportEvent
#undef RegOpenKey
#undef RegCreateKey
#undef RegQueryValue
#undef RegSetValue
#undef RegDeleteValue
#undef RegDeleteKey
#undef RegEnumKey
#undef RegEnumValue
#undef LoadPerfCounterTextStrings
#undef UnloadPerfCounterTextStrings

#endif
