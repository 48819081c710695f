// The OS layer's own parts that both backends share (files directly in os/).
#ifndef MV_OS_COMMON_H
#define MV_OS_COMMON_H

#include <cstdint>

namespace mvos {

// Asks the host's handler chain about an exception code, the most recently added
// handler first: true when one answered kContinueExecution (handlers.cpp).
bool HandlersContinue(uint32_t code);

// The copy of the debugger output that MERIVANE_DEBUG_OUTPUT asks for (debugcopy.cpp).
void WriteDebugCopy(const char* text);

}  // namespace mvos

#endif
