// Layout checks of the statistics' structures, at compile time. The shared block's
// headers are checked where they are declared (prfdata.h): they are the same on every
// target. The structures below hold pointers: on a 32-bit target (the original build)
// every field is one 32-bit word, in declaration order; on a 64-bit target each pointer
// takes 8 bytes and is 8-byte aligned.
#include <cstddef>

#include "prfdata.h"
#include "statistics.h"

namespace {

constexpr bool kNarrowPointers = sizeof(void*) == 4;

}  // namespace

#define MVB_FIELD_AT(type, field, at32, at64)                                   \
    static_assert(offsetof(type, field) == (kNarrowPointers ? (at32) : (at64)), \
                  #type "." #field " is not where the original build had it")
#define MVB_SIZE_IS(type, size32, size64)                                  \
    static_assert(sizeof(type) == (kNarrowPointers ? (size32) : (size64)), \
                  "sizeof(" #type ") is not the original build's")

// One row of the item table.
MVB_FIELD_AT(PrfItm, PrfItmType, 0, 0);
MVB_FIELD_AT(PrfItm, dwId, 4, 4);
MVB_FIELD_AT(PrfItm, pszName, 8, 8);
MVB_FIELD_AT(PrfItm, pszHelp, 12, 16);
MVB_FIELD_AT(PrfItm, dwDetailLevel, 16, 24);
MVB_FIELD_AT(PrfItm, DefCounter, 20, 28);
MVB_FIELD_AT(PrfItm, MaxInstances, 24, 32);
MVB_FIELD_AT(PrfItm, cchMaxInstName, 28, 36);
MVB_FIELD_AT(PrfItm, NumCounters, 32, 40);
MVB_FIELD_AT(PrfItm, NextObjIndex, 36, 44);
MVB_FIELD_AT(PrfItm, cbObject, 40, 48);
MVB_FIELD_AT(PrfItm, fCollectThisObj, 44, 52);
MVB_FIELD_AT(PrfItm, DefaultScale, 48, 56);
MVB_FIELD_AT(PrfItm, dwCounterType, 52, 60);
MVB_SIZE_IS(PrfItm, 56, 64);

// Where an object and one instance slot lie in the block.
MVB_FIELD_AT(ObjLayout, fSupportsInstances, 0, 0);
MVB_FIELD_AT(ObjLayout, MaxInstances, 4, 4);
MVB_FIELD_AT(ObjLayout, pPOT, 8, 8);
MVB_FIELD_AT(ObjLayout, cbPOT, 12, 16);
MVB_FIELD_AT(ObjLayout, pPCD, 16, 24);
MVB_FIELD_AT(ObjLayout, cbPCD, 20, 32);
MVB_FIELD_AT(ObjLayout, pPID, 24, 40);
MVB_FIELD_AT(ObjLayout, cbPID, 28, 48);
MVB_FIELD_AT(ObjLayout, pPCB, 32, 56);
MVB_FIELD_AT(ObjLayout, cbPCB, 36, 64);
MVB_FIELD_AT(ObjLayout, pPIN, 40, 72);
MVB_FIELD_AT(ObjLayout, cbPIN, 44, 80);
MVB_SIZE_IS(ObjLayout, 48, 88);

// The block object: the original's fields first, this system's own after them.
MVB_FIELD_AT(PrfData, m_pszAppName, 0, 0);
MVB_FIELD_AT(PrfData, m_dwFirstCounter, 4, 8);
MVB_FIELD_AT(PrfData, m_dwFirstHelp, 8, 12);
MVB_FIELD_AT(PrfData, m_dwLastCounter, 12, 16);
MVB_FIELD_AT(PrfData, m_dwLastHelp, 16, 20);
MVB_FIELD_AT(PrfData, m_pPrfItms, 20, 24);
MVB_FIELD_AT(PrfData, m_NumItems, 24, 32);
MVB_FIELD_AT(PrfData, m_NumObjects, 28, 36);
MVB_FIELD_AT(PrfData, m_hFileMapping, 32, 40);
MVB_FIELD_AT(PrfData, m_pPrfData, 36, 48);

// The counts: the 16-bit flag, then the 22 counts as 32-bit words from offset 4.
MVB_FIELD_AT(TnStatistics, m_enabled, 0, 0);
MVB_FIELD_AT(TnStatistics, m_Transactions, 4, 4);
MVB_FIELD_AT(TnStatistics, m_WaitingJobs, 76, 76);
MVB_FIELD_AT(TnStatistics, m_ObjDescWaitCSCount, 88, 88);
MVB_SIZE_IS(TnStatistics, 92, 92);

// The block of this system's table (one object and its counters, no instances).
static_assert(sizeof(PERF_OBJECT_TYPE) +
                      (kMerivanePrfItemCount - 1) * (sizeof(PERF_COUNTER_DEFINITION) + 8) +
                      sizeof(PERF_COUNTER_BLOCK) ==
                  1128,
              "the shared block of this system's table is 1128 bytes");

#undef MVB_FIELD_AT
#undef MVB_SIZE_IS
