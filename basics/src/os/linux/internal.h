// Linux backend: what its files share.
#ifndef MV_OS_LINUX_INTERNAL_H
#define MV_OS_LINUX_INTERNAL_H

namespace mvos {

// True while RunGuarded runs on the calling thread.
bool FaultGuardActive();

}  // namespace mvos

#endif
