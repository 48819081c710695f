// Windows backend: what its files share.
#ifndef MV_OS_WIN32_INTERNAL_H
#define MV_OS_WIN32_INTERNAL_H

#include <string>

namespace mvos {

struct SystemLogEvent;

// The event log's default entry of the syscall table: ReportEvent on the source that
// is reporting (eventlog.cpp).
void ReportToEventLog(const SystemLogEvent& event);
// Loads a module with the system loader (the syscall table's dlopen entry).
void* SystemLoadLibrary(const char* path, int flags);
// The system's counter-text loader and unloader (the syscall table's entries).
int32_t SystemLoadPerfText(const char* commandLine, bool quiet);
int32_t SystemUnloadPerfText(const char* commandLine, bool quiet);
// The text of a system error number, without the line break at its end; empty when
// the system has none.
std::string SystemErrorText(uint32_t code);

}  // namespace mvos

#endif
