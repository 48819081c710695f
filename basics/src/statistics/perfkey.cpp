// The service's "Performance" key in the registry.
#include "statistics/prfinternal.h"

namespace mvb::prf {

struct PerfKey {};

bool OpenPerformanceKey(const char*, PerfKey** key) {
    *key = nullptr;
    return false;
}
bool ReadKeyDword(PerfKey*, const char*, uint32_t*) {
    return false;
}
void ClosePerformanceKey(PerfKey*) {}

}  // namespace mvb::prf
