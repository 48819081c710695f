// Linux backend: what its files share.
#ifndef MV_OS_LINUX_INTERNAL_H
#define MV_OS_LINUX_INTERNAL_H

struct iovec;

namespace mvos {

struct SystemLogEvent;

// The system log's default entries of the syscall table (systemlog.cpp).
void SendToSystemLog(const SystemLogEvent& event);
int DefaultJournalSendv(const iovec* parts, int count);
// Closes libsystemd if an event loaded it.
void ReleaseSystemLog();
// Closes the registry's connection (registry.cpp).
void CloseRegistry();

}  // namespace mvos

#endif
