// The one-entry container's own key and data functions, and a direct reading of a probe
// that is a one-entry iterator: searches take their probe through such an iterator, and
// reading it directly spares the virtual and indirect calls of GetEntry and GetEntryParts.
#ifndef MV_CONTAINERS_ONEENTRY_H
#define MV_CONTAINERS_ONEENTRY_H

#include <typeinfo>

#include "containers.h"
#include "results.h"

namespace mvb::containers {

void* OneKey(TnVContainer* c, void* element, int* result, TnVParameter* param);
void* OneDat(TnVContainer* c, void* element, int* result, TnVParameter* param);

// When source is exactly the library's TnOneEntryIterator over exactly its
// TnOneEntryContainer with the container's own key and data functions (no derived class
// and no replaced function can answer differently then), stores in *rc, *key and *dat what
// GetEntry and GetEntryParts would give (data absent: null) and returns true. False, with
// nothing stored, for any other source. The type information of both classes is emitted
// once, in the library, with their virtual functions, so comparing addresses suffices.
inline bool ReadOneEntryProbe(TnVIterator* source, int* rc, void** key, void** dat) {
    if (&typeid(*source) != &typeid(TnOneEntryIterator)) return false;
    TnVContainer* const c = source->container;
    if (c == nullptr || &typeid(*c) != &typeid(TnOneEntryContainer) || c->keyFunc != OneKey ||
        c->datFunc != OneDat)
        return false;
    void* const entry = static_cast<TnOneEntryContainer*>(c)->entry;
    if (source->state < 0) {
        *rc = source->state;
    } else if (entry == nullptr) {
        *rc = ERR_TN_NOT_IMPLEMENTED;
    } else {
        *rc = 0;
        *key = entry;
        *dat = static_cast<TnOneEntryContainer*>(c)->entryDat;
    }
    return true;
}

}  // namespace mvb::containers

#endif
