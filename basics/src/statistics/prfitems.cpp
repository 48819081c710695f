// The item table of this system: one object without instances and its 22 counters.
#include "prfdata.h"
#include "statistics/prfinternal.h"

using namespace mvb::statistics;

namespace {

constexpr CTRID kNone = static_cast<CTRID>(-1);
constexpr INSTID kNoInstances = static_cast<INSTID>(PERF_NO_INSTANCES);

constexpr PrfItm Counter(CTRID id, const char16_t* name, const char16_t* help, int32_t scale,
                         uint32_t type) {
    return {PrfItmCounter, id,  name, help, PERF_DETAIL_NOVICE, kNone, 0, 0, 0, 0, 0, 0,
            scale,         type};
}

PrfItm g_items[kMerivanePrfItemCount + 1] = {
    {PrfItmObject, kObjectMerivane, u"Merivane",
     u"The Merivane runtime system performance counters", PERF_DETAIL_NOVICE, kCtrCSRequests,
     kNoInstances, 0, 0, 0, 0, 0, 0, 0},
    Counter(kCtrTransactions, u"Transactions", u"The number of currently registered transactions.",
            0, PERF_COUNTER_RAWCOUNT),
    Counter(kCtrCommits, u"Commits/sec",
            u"The number of transaction commit requests since last sample.", -1,
            PERF_COUNTER_COUNTER),
    Counter(kCtrAborts, u"Aborts/sec",
            u"The number of transaction abort requests since last sample.", 0,
            PERF_COUNTER_COUNTER),
    Counter(kCtrCSRequests, u"C/S Requests/sec",
            u"The number of client/server requests since last sample.", -1, PERF_COUNTER_COUNTER),
    Counter(kCtrFailedCSRequests, u"C/S Failed Requests/sec",
            u"The number of client/server requests resulting in an error since last sample.", 0,
            PERF_COUNTER_COUNTER),
    Counter(kCtrServerNotifications, u"Server Notifications/sec",
            u"The number of Notify() calls issued by the server since last sample.", 0,
            PERF_COUNTER_COUNTER),
    Counter(kCtrQueries, u"Queries/sec", u"The number of query requests since last sample.", 0,
            PERF_COUNTER_COUNTER),
    Counter(kCtrClients, u"Clients", u"The number of currently connected clients.", 0,
            PERF_COUNTER_RAWCOUNT),
    Counter(kCtrObjDescs, u"Object Descriptions",
            u"The number of currently used object descriptions. This number indicates how many "
            u"different persistent objects are used by all clients together.",
            -2, PERF_COUNTER_RAWCOUNT),
    Counter(kCtrExtents, u"Extents",
            u"The number of currently used extent cursors (C++: TnAllSet objects).", 0,
            PERF_COUNTER_RAWCOUNT),
    Counter(kCtrLocks, u"Locks", u"The number of currently used locks.", -1, PERF_COUNTER_RAWCOUNT),
    Counter(kCtrWatches, u"Watches", u"The number of currently used watches.", 0,
            PERF_COUNTER_RAWCOUNT),
    Counter(kCtrRefreshedObjects, u"RefreshedObjects/sec",
            u"The number of refreshed objects since last sample. This number indicates how many "
            u"objects have been re-delivered to all clients.",
            -1, PERF_COUNTER_COUNTER),
    Counter(kCtrDeliveredObjects, u"DeliveredObjects/sec",
            u"The number of delivered objects since last sample. This number indicates how many "
            u"objects have been delivered to all clients.",
            -2, PERF_COUNTER_COUNTER),
    Counter(kCtrInternalTransactions, u"Internal Transactions/sec",
            u"The number of started internal transactions.", -1, PERF_COUNTER_COUNTER),
    Counter(kCtrDeletedObjects, u"DeletedObjects/sec",
            u"The number of deleted objects since last sample by all clients.", 1,
            PERF_COUNTER_COUNTER),
    Counter(kCtrUpdatedObjects, u"UpdatedObjects/sec",
            u"The number of updated objects since last sample by all clients.", 1,
            PERF_COUNTER_COUNTER),
    Counter(kCtrInsertedObjects, u"InsertedObjects/sec",
            u"The number of inserted objects since last sample by all clients.", 1,
            PERF_COUNTER_COUNTER),
    Counter(kCtrWaitingJobs, u"Waiting Jobs/sec",
            u"The number of waiting jobs since last sample for all clients.", 1,
            PERF_COUNTER_RAWCOUNT),
    Counter(kCtrObjDescRetryLoops, u"ObjDesc_RetryLoops/sec", u"The number of loops to get CS.", 1,
            PERF_COUNTER_COUNTER),
    Counter(kCtrObjDescCSUsedCount, u"ObjDesc_CSUsedCount", u"The number of all CSUsedCount.", 0,
            PERF_COUNTER_RAWCOUNT),
    Counter(kCtrObjDescWaitCSCount, u"ObjDesc_CSQueueLength",
            u"The number of all threads waiting for CS of object description.", 0,
            PERF_COUNTER_RAWCOUNT),
    {PrfItmEnd, static_cast<uint32_t>(-1), nullptr, nullptr, 0, kNone, 0, 0, 0, 0, 0, 0, 0, 0},
};

}  // namespace

PrfItm* MerivanePrfItems() {
    return g_items;
}
