// What the system log shares with its tests: the kind-to-event mapping, the message
// table and the process-wide event-source names.
#ifndef MV_DIAG_SYSLOG_INTERNAL_H
#define MV_DIAG_SYSLOG_INTERNAL_H

#include <cstdint>

#include "os/os.h"
#include "systemlog.h"

namespace mvb::diag {

// The event type and identifier that Write reports for an event kind.
void KindToEvent(int kind, mvos::EventType* type, uint32_t* id);
// The message template of an event identifier, or null.
const char* EventTemplateOf(uint32_t id);
// True when a module path names a debug build: its file name without folder and
// extension ends in "d" or "D".
bool IsDebugModuleName(const char* path);
// The process-wide names object; null before start-up and after take-down.
TnEventSourceNames* EventSourceNames();

}  // namespace mvb::diag

#endif
