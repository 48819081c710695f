// Step 5 of the library's start-up: the process-wide performance-data object.
#include <new>

#include "frame/lifecycle.h"
#include "prfdata.h"

namespace {
// Static storage: the object exists from load to unload and needs no heap.
alignas(PrfData) unsigned char g_storage[sizeof(PrfData)];
PrfData* g_prfData = nullptr;
}  // namespace

namespace mvb::lifecycle {
void InitPrfData() {
    g_prfData = new (g_storage) PrfData(u"Merivane", MerivanePrfItems());
}
void TermPrfData() {
    if (g_prfData) g_prfData->~PrfData();
    g_prfData = nullptr;
}
}  // namespace mvb::lifecycle
