// The host's module error-text callback, read by the error catalogue without a call:
// the object TnModuleErrorCallbackList::GetInstance returns, and its lookup.
#ifndef MV_FRAME_MODULE_ERRORS_H
#define MV_FRAME_MODULE_ERRORS_H

#include <cstdint>

#include "frame.h"

namespace mvb::frame {

extern TnModuleErrorCallbackList g_moduleErrors;

// The list's callback text of a code inside its registered range, or null.
inline const char* ModuleErrorText(const TnModuleErrorCallbackList& list, int32_t code) {
    const TnModuleErrorCallbackList::Entry& e = list.m_entries[0];
    if (e.callback != nullptr && e.lower < code && code < e.upper) return e.callback(code);
    return nullptr;
}

}  // namespace mvb::frame

#endif
