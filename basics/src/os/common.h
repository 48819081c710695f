// The OS layer's own parts that both backends share (files directly in os/).
#ifndef MV_OS_COMMON_H
#define MV_OS_COMMON_H

#include <cstdint>
#include <string>

#include "os/os.h"

namespace mvos {

// Asks the host's handler chain about an exception code, the most recently added
// handler first: true when one answered kContinueExecution (handlers.cpp).
bool HandlersContinue(uint32_t code);

// The copy of the debugger output that MERIVANE_DEBUG_OUTPUT asks for (debugcopy.cpp).
void WriteDebugCopy(const char* text);

// The name an event type has in the event file and the system log's records
// ("success", "error", "warning", "information"; eventfile.cpp).
const char* EventTypeName(EventType type);
// Appends the event to the file MERIVANE_EVENT_LOG names, if any, as one JSON line
// (eventfile.cpp).
void WriteEventFile(const char* sourceName, EventType type, uint16_t category, uint32_t eventId,
                    const char* const* strings, int count, const char* message);
// Appends one line to the file at path with a single write, when the path names a
// regular file or nothing yet (it is then made); anything else is left alone and the
// open never waits on a reader (each backend's eventlog.cpp).
void AppendEventLine(const char* path, const std::string& line);

}  // namespace mvos

#endif
