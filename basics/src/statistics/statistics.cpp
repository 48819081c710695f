// The statistics counters and their publication into the performance data block.
#include "compiler.h"
#include "prfdata.h"
#include "statistics/prfinternal.h"
#include "statistics.h"
#include "systemlog.h"

using namespace mvb::statistics;

namespace {

// The counts, in the order of their counter ids.
constexpr int32_t TnStatistics::*kCounts[] = {
    &TnStatistics::m_Transactions,
    &TnStatistics::m_Commits,
    &TnStatistics::m_Aborts,
    &TnStatistics::m_CSRequests,
    &TnStatistics::m_FailedCSRequests,
    &TnStatistics::m_ServerNotifications,
    &TnStatistics::m_Queries,
    &TnStatistics::m_Clients,
    &TnStatistics::m_ObjDescs,
    &TnStatistics::m_Extents,
    &TnStatistics::m_Locks,
    &TnStatistics::m_Watches,
    &TnStatistics::m_RefreshedObjects,
    &TnStatistics::m_DeliveredObjects,
    &TnStatistics::m_InternalTransactions,
    &TnStatistics::m_DeletedObjects,
    &TnStatistics::m_UpdatedObjects,
    &TnStatistics::m_InsertedObjects,
    &TnStatistics::m_WaitingJobs,
    &TnStatistics::m_ObjDescRetryLoops,
    &TnStatistics::m_ObjDescCSUsedCount,
    &TnStatistics::m_ObjDescWaitCSCount,
};
static_assert(sizeof kCounts / sizeof kCounts[0] == kLastCounter - kFirstCounter + 1,
              "one count per counter id");

// Counts wrap around like the 32-bit counters they feed instead of overflowing.
int32_t Wrapped(int32_t value, int32_t amount) {
    return static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(amount));
}

// Where each count is published, found once in this system's item table: the
// counter's type word (for the 32-bit check, which every update makes) and the offset
// of its value slot for instance 0 from the start of the block. With it an update needs
// no table scan.
struct DirectIndex {
    const PrfItm* items;  // the table the index was built from; null until built
    const uint32_t* type[kLastCounter - kFirstCounter + 1];
    uintptr_t offset[kLastCounter - kFirstCounter + 1];  // 0: not reachable directly
};
DirectIndex g_index;

void BuildIndex(const PrfData& prf) {
    for (CTRID id = kFirstCounter; id <= kLastCounter; ++id) {
        const uint32_t k = id - kFirstCounter;
        const PRFITMINDEX item = prf.CvtCtrIdToPrfItmIndex(id);
        g_index.offset[k] = 0;
        g_index.type[k] = nullptr;
        // The first object's region starts the block, so the offset of its slots never
        // changes; later objects start after the sizes computed at activation.
        if (item == -1 || prf.CvtCtrIdToObjOrd(id) != 0) continue;
        g_index.type[k] = &prf.m_pPrfItms[item].dwCounterType;
        g_index.offset[k] = reinterpret_cast<uintptr_t>(prf.GetCtrSlot(id, 0)) -
                            reinterpret_cast<uintptr_t>(prf.m_pPrfData);
    }
    g_index.items = prf.m_pPrfItms;
}

// The slot through the direct index, or null when the index does not serve it.
inline uint32_t* IndexedSlot(const PrfData* prf, CTRID ctrId) {
    const uint32_t k = ctrId - kFirstCounter;
    if (prf->m_pPrfItms != g_index.items || g_index.offset[k] == 0 ||
        (*g_index.type[k] & PERF_MASK_SIZE_FLD) != PERF_SIZE_DWORD)
        return nullptr;
    return reinterpret_cast<uint32_t*>(reinterpret_cast<uintptr_t>(prf->m_pPrfData) +
                                       g_index.offset[k]);
}

// The first update after activation builds the index; another table, and a counter
// that is not 32-bit (whose check then fails exactly as it would there), go through
// the table's lookups.
uint32_t* UnindexedSlot(CTRID ctrId) {
    PrfData* prf = PrfData::sm_pPrfData;
    if (prf->m_pPrfItms != g_index.items && prf->m_pPrfItms == MerivanePrfItems()) {
        BuildIndex(*prf);
        if (uint32_t* slot = IndexedSlot(prf, ctrId)) return slot;
    }
    return prf->GetCtr32Slot(ctrId, 0);
}

// The published value of a count; the common case inline in every update.
inline uint32_t* Slot(CTRID ctrId) {
    uint32_t* slot = IndexedSlot(PrfData::sm_pPrfData, ctrId);
    return slot != nullptr ? slot : UnindexedSlot(ctrId);
}

// Stores a value through the table's lookups; out of line, so that an update's common
// path (the index) needs no stack frame and reaches this by a jump.
MVB_NOINLINE void StoreUnindexed(CTRID ctrId, uint32_t value) {
    *UnindexedSlot(ctrId) = value;
}

// Zero-filled at load: disabled, every count 0.
TnStatistics g_statistics;

}  // namespace

TnStatistics* Statistics() {
    return &g_statistics;
}

int32_t* TnStatistics::CountOf(uint32_t ctrId) {
    if (ctrId < kFirstCounter || ctrId > kLastCounter) return nullptr;
    return &(this->*kCounts[ctrId - kFirstCounter]);
}

void TnStatistics::Enable() {
    if (m_enabled) return;
    PrfData* prf = PrfData::sm_pPrfData;
    switch (prf ? prf->Activate(true) : PrfFailed) {
        case PrfActivated:
            Clear();
            m_enabled = 1;
            break;
        case PrfDisabled:
            TnSystemLog()->Report(3, "%s", "Performance counters are disabled");
            break;
        case PrfOtherWriter:
            TnSystemLog()->Report(3, "%s",
                                  "The instance of Merivane performance counters already exist");
            break;
        case PrfNotRegistered:
            break;
        default:
            TnSystemLog()->Report(4, "%s", "An error occurs during activate performance counters");
            break;
    }
}

void TnStatistics::Clear() {
    for (auto count : kCounts) this->*count = 0;
    // Only a process that maps the block as its writer can store into it.
    PrfData* prf = PrfData::sm_pPrfData;
    if (!prf || !prf->m_fWritable) return;
    for (CTRID id = kFirstCounter; id <= kLastCounter; ++id) *Slot(id) = 0;
}

// Inc and Dec (and Add of exactly 1 or -1): the count changes and replaces the slot.
void TnStatistics::Step(int32_t& count, uint32_t ctrId, int32_t step) {
    count = Wrapped(count, step);
    if (!m_enabled) return;
    if (uint32_t* slot = IndexedSlot(PrfData::sm_pPrfData, ctrId))
        *slot = static_cast<uint32_t>(count);
    else
        StoreUnindexed(ctrId, static_cast<uint32_t>(count));
}

// Other amounts are added to the count and to what the slot holds.
void TnStatistics::Add(int32_t& count, uint32_t ctrId, int amount) {
    if (amount == 1 || amount == -1) return Step(count, ctrId, amount);
    count = Wrapped(count, amount);
    if (m_enabled) {
        uint32_t* slot = Slot(ctrId);
        *slot += static_cast<uint32_t>(amount);
    }
}

void TnStatistics::IncTransactions() {
    Step(m_Transactions, kCtrTransactions, 1);
}
void TnStatistics::DecTransactions() {
    Step(m_Transactions, kCtrTransactions, -1);
}
void TnStatistics::IncCommits() {
    Step(m_Commits, kCtrCommits, 1);
}
void TnStatistics::IncAborts() {
    Step(m_Aborts, kCtrAborts, 1);
}
void TnStatistics::IncCSRequests() {
    Step(m_CSRequests, kCtrCSRequests, 1);
}
void TnStatistics::IncFailedCSRequests() {
    Step(m_FailedCSRequests, kCtrFailedCSRequests, 1);
}
void TnStatistics::IncServerNotifications() {
    Step(m_ServerNotifications, kCtrServerNotifications, 1);
}
void TnStatistics::IncQueries() {
    Step(m_Queries, kCtrQueries, 1);
}
void TnStatistics::IncClients() {
    Step(m_Clients, kCtrClients, 1);
}
void TnStatistics::DecClients() {
    Step(m_Clients, kCtrClients, -1);
}
void TnStatistics::IncObjDescs() {
    Step(m_ObjDescs, kCtrObjDescs, 1);
}
void TnStatistics::DecObjDescs() {
    Step(m_ObjDescs, kCtrObjDescs, -1);
}
void TnStatistics::IncExtents() {
    Step(m_Extents, kCtrExtents, 1);
}
void TnStatistics::DecExtents() {
    Step(m_Extents, kCtrExtents, -1);
}
void TnStatistics::IncLocks() {
    Step(m_Locks, kCtrLocks, 1);
}
void TnStatistics::DecLocks() {
    Step(m_Locks, kCtrLocks, -1);
}
void TnStatistics::AddLocks(int amount) {
    Add(m_Locks, kCtrLocks, amount);
}
void TnStatistics::IncWatches() {
    Step(m_Watches, kCtrWatches, 1);
}
void TnStatistics::DecWatches() {
    Step(m_Watches, kCtrWatches, -1);
}
void TnStatistics::AddWatches(int amount) {
    Add(m_Watches, kCtrWatches, amount);
}
void TnStatistics::AddRefreshedObjects(int amount) {
    Add(m_RefreshedObjects, kCtrRefreshedObjects, amount);
}
void TnStatistics::AddDeliveredObjects(int amount) {
    Add(m_DeliveredObjects, kCtrDeliveredObjects, amount);
}
void TnStatistics::IncInternalTransactions() {
    Step(m_InternalTransactions, kCtrInternalTransactions, 1);
}
void TnStatistics::AddDeletedObjects(int amount) {
    Add(m_DeletedObjects, kCtrDeletedObjects, amount);
}
void TnStatistics::AddUpdatedObjects(int amount) {
    Add(m_UpdatedObjects, kCtrUpdatedObjects, amount);
}
void TnStatistics::AddInsertedObjects(int amount) {
    Add(m_InsertedObjects, kCtrInsertedObjects, amount);
}
void TnStatistics::IncWaitingJobs() {
    Step(m_WaitingJobs, kCtrWaitingJobs, 1);
}
void TnStatistics::DecWaitingJobs() {
    if (m_WaitingJobs < 1) m_WaitingJobs = 1;
    Step(m_WaitingJobs, kCtrWaitingJobs, -1);
}
void TnStatistics::AddObjDescRetryLoops(int amount) {
    Add(m_ObjDescRetryLoops, kCtrObjDescRetryLoops, amount);
}
void TnStatistics::AddObjDescCSUsedCount(int amount) {
    Add(m_ObjDescCSUsedCount, kCtrObjDescCSUsedCount, amount);
}
void TnStatistics::AddObjDescWaitCSCount(int amount) {
    Add(m_ObjDescWaitCSCount, kCtrObjDescWaitCSCount, amount);
}
