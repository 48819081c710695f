// The high-resolution counter frequency, read once at load (fourth start-up step).
#include "frame/lifecycle.h"
#include "os/os.h"
#include "services/clockstate.h"

namespace {
uint64_t g_counterFrequency = 0;
}  // namespace

namespace mvb::services {
uint64_t CounterFrequency() {
    return g_counterFrequency;
}
}  // namespace mvb::services

namespace mvb::lifecycle {
// The counter's frequency does not change while the system runs.
void InitTimerFrequency() {
    g_counterFrequency = mvos::CounterFrequency();
}
}  // namespace mvb::lifecycle
