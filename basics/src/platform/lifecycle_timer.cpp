#include "frame/lifecycle.h"

namespace mvb::lifecycle {
void InitTimerFrequency() {}
}  // namespace mvb::lifecycle
