// Load and unload of the library: the one place that orders the start-up and the
// take-down of the process-wide objects. Each subsystem defines its steps; init.cpp
// calls them in order at load and in reverse order at unload.
#ifndef MV_FRAME_LIFECYCLE_H
#define MV_FRAME_LIFECYCLE_H

namespace mvb::lifecycle {

// 0. the module handle (the loader's step, before static initialisation proper).
void RecordModuleHandle();

// 1. event-source names, 2. the system log's NT flag, 3. the message object.
void InitEventSourceNames();
void InitSystemLog();
void InitMessage();
// 4. the high-resolution counter frequency.
void InitTimerFrequency();
// 5. the process-wide performance-data object for "Merivane".
void InitPrfData();
// 6. the registry's failure reports (its connection opens on first use).
void InitRegistry();

void TermRegistry();
void TermPrfData();
void TermMessage();
void TermSystemLog();
void TermEventSourceNames();

}  // namespace mvb::lifecycle

#endif
