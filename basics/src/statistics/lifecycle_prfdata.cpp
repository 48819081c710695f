#include "frame/lifecycle.h"

namespace mvb::lifecycle {
void InitPrfData() {}
void TermPrfData() {}
}  // namespace mvb::lifecycle
