// Internal helpers of the performance-data code: the service's "Performance" key,
// wide texts and instance names.
#ifndef MV_STATISTICS_PRFINTERNAL_H
#define MV_STATISTICS_PRFINTERNAL_H

#include <cstddef>
#include <cstdint>

#include "os/os.h"

namespace mvb::statistics {

// Identifiers (dwId) of this system's performance object and of its counters, in the
// order of the item table (prfitems.cpp); the statistics methods publish through the same
// names. Counter k (from 0) of the table is kFirstCounter + k.
enum CounterId : uint32_t {
    kObjectMerivane = 100,
    kCtrTransactions = 101,
    kCtrCommits = 102,
    kCtrAborts = 103,
    kCtrCSRequests = 104,
    kCtrFailedCSRequests = 105,
    kCtrServerNotifications = 106,
    kCtrQueries = 107,
    kCtrClients = 108,
    kCtrObjDescs = 109,
    kCtrExtents = 110,
    kCtrLocks = 111,
    kCtrWatches = 112,
    kCtrRefreshedObjects = 113,
    kCtrDeliveredObjects = 114,
    kCtrInternalTransactions = 115,
    kCtrDeletedObjects = 116,
    kCtrUpdatedObjects = 117,
    kCtrInsertedObjects = 118,
    kCtrWaitingJobs = 119,
    kCtrObjDescRetryLoops = 120,
    kCtrObjDescCSUsedCount = 121,
    kCtrObjDescWaitCSCount = 122,
    kFirstCounter = kCtrTransactions,
    kLastCounter = kCtrObjDescWaitCSCount,
};

// "SYSTEM\CurrentControlSet\Services\<app>\Performance" into buf (false if it does not fit).
bool PerformanceKeyPath(const char* appName, char* buf, size_t size);

// Narrow copy of a wide text; characters outside ASCII become '?'. Always terminated.
void ToNarrow(const char16_t* text, char* buf, size_t size);

// Reads a 32-bit value of an open key; false (and *value untouched) when it is
// absent or of another type.
bool ReadKeyDword(mvos::RegKey key, const char* valueName, uint32_t* value);

// Characters of an instance name before its terminator, at most capacity - 1 (the
// copy for a collector always gets a terminator of its own).
uint32_t InstanceNameChars(const char16_t* name, uint32_t capacity);
// Bytes of that name in a collection: with terminator, rounded up to an even count.
inline uint32_t InstanceNameBytes(uint32_t chars) {
    return 2 * ((chars + 2) & ~1u);
}

}  // namespace mvb::statistics

#endif
