// Statistics counters of the runtime, their registration with the system, and the
// entry points that a performance-data collector calls.
//
// Threads: counts are plain integers, updated without a lock so that counting costs no
// more than an increment: a host that counts from several threads serialises its calls
// (or accepts that simultaneous updates of one count may be lost). Enable, Clear and the
// registration functions run at start-up or from one thread. The collector entry points
// are called by one collector thread.
#ifndef MV_STATISTICS_H
#define MV_STATISTICS_H

#include "mvexport.h"

// The process-wide counts. Each count lives here and, once Enable has succeeded, is
// also published into the shared performance data block. A plain object: the one
// instance is zero-filled at load (disabled, every count 0), and no lock is taken.
class MVB_API TnStatistics {
  public:
    // Activates publishing; warns through the system log when it cannot.
    void Enable();
    // Sets every count to 0, and every published value where this process publishes.
    void Clear();

    void IncTransactions();
    void DecTransactions();
    void IncCommits();
    void IncAborts();
    void IncCSRequests();
    void IncFailedCSRequests();
    void IncServerNotifications();
    void IncQueries();
    void IncClients();
    void DecClients();
    void IncObjDescs();
    void DecObjDescs();
    void IncExtents();
    void DecExtents();
    void IncLocks();
    void DecLocks();
    void AddLocks(int amount);
    void IncWatches();
    void DecWatches();
    void AddWatches(int amount);
    void AddRefreshedObjects(int amount);
    void AddDeliveredObjects(int amount);
    void IncInternalTransactions();
    void AddDeletedObjects(int amount);
    void AddUpdatedObjects(int amount);
    void AddInsertedObjects(int amount);
    void IncWaitingJobs();
    void DecWaitingJobs();
    void AddObjDescRetryLoops(int amount);
    void AddObjDescCSUsedCount(int amount);
    void AddObjDescWaitCSCount(int amount);

    int16_t m_enabled;
    // One count per published counter, in the order of the counter ids 101 to 122.
    int32_t m_Transactions;
    int32_t m_Commits;
    int32_t m_Aborts;
    int32_t m_CSRequests;
    int32_t m_FailedCSRequests;
    int32_t m_ServerNotifications;
    int32_t m_Queries;
    int32_t m_Clients;
    int32_t m_ObjDescs;
    int32_t m_Extents;
    int32_t m_Locks;
    int32_t m_Watches;
    int32_t m_RefreshedObjects;
    int32_t m_DeliveredObjects;
    int32_t m_InternalTransactions;
    int32_t m_DeletedObjects;
    int32_t m_UpdatedObjects;
    int32_t m_InsertedObjects;
    int32_t m_WaitingJobs;
    int32_t m_ObjDescRetryLoops;
    int32_t m_ObjDescCSUsedCount;
    int32_t m_ObjDescWaitCSCount;

    // The count of a counter id (101 to 122); null for any other id.
    int32_t* CountOf(uint32_t ctrId);

  private:
    void Step(int32_t& count, uint32_t ctrId, int32_t step);
    void Add(int32_t& count, uint32_t ctrId, int amount);
};

// The process's statistics object; never null, owned by the library, always the same
// (so a caller's compiler may ask once for many updates).
MVB_API MVB_CONST TnStatistics* Statistics();

// Registers the counters with the system: 0; -1 already registered; -2 the
// registration key cannot be created; -3 the counter texts cannot be loaded.
MVB_EXTERN_C int RegisterStatistics();
// Removes the registration: 0; -1 not registered; -2 the texts cannot be unloaded.
MVB_EXTERN_C int DeregisterStatistics();

// Entry points of the performance-data collector (a performance extension library).
// Open maps the shared block for reading; always 0.
MVB_EXTERN_C uint32_t PrfData_Open(char16_t* deviceNames);
// Copies the requested objects to *data: 0 (data advanced, byte and object counts
// set; all 0 when nothing can be collected) or 234 (buffer too small, *bytes = 0).
MVB_EXTERN_C uint32_t PrfData_Collect(char16_t* valueName, void** data, uint32_t* bytes,
                                      uint32_t* objectTypes);
// Always 0; the view stays mapped until the library is unloaded.
MVB_EXTERN_C uint32_t PrfData_Close();

#endif
