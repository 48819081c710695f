// Containers and iterators: the container framework driven by a table of element
// functions, red-black node trees with explicit path stacks, the red-black tree
// container and its iterator, entry caches and entry rings, and the bit stack.
#ifndef MV_CONTAINERS_H
#define MV_CONTAINERS_H

#include "mvexport.h"

class TnVContainer;
class TnVIterator;
class TnVParameter;

// ---------------------------------------------------------------- result codes and modes

enum : int32_t {
    TN_E_NOT_FOUND = -510,         // no entry equals the probe
    TN_E_DUPLICATE = -512,         // insertion refused by the duplicate policy
    TN_E_STALE = -513,             // the container changed since the iterator was positioned
    TN_E_NO_DAT = -519,            // the element has no data part (treated as success)
    TN_STATE_DETACHED = -520,      // iterator without a container
    TN_STATE_BEFORE_FIRST = -521,  // before the first entry
    TN_STATE_AFTER_LAST = -522,    // after the last entry
    TN_STATE_LOST = -523,          // position lost
    TN_E_NO_MEMORY = -2030,        // no memory for a new entry
    TN_E_INTERNAL = -2099,         // an entry was not found again after a removal
    TN_E_NOT_IMPLEMENTED = -2999,  // operation or accessor not available
};

// Mode word of container and iterator operations (combinable).
enum : uint16_t {
    TN_MODE_BACKWARDS = 0x0001,     // deletion through an iterator: end on the previous entry
    TN_MODE_INSERT_FIRST = 0x0004,  // insertion: go before equal entries instead of after
    TN_MODE_LAST = 0x0010,          // search: the last of the equal entries
    TN_MODE_FLOOR = 0x0020,         // search miss: position on the nearest entry before
    TN_MODE_CEILING = 0x0040,       // search miss: position on the nearest entry after
    TN_MODE_AFTER_START = 0x0100,   // search: continue after the parameter's startEntry
    TN_MODE_FOR_REMOVAL = 0x0200,   // search: keep the path to the found entry's neighbour
};

// ---------------------------------------------------------------- element function table

// The single argument of a container's compare function.
struct TnCompareArgs {
    TnVContainer* container;  // the container being searched
    int* keyResult;           // out: keys alone, 0 = equal keys
    int* orderResult;         // out: <0 probe before element, 0 same position, >0 after
    TnVIterator* probe;       // iterator on the probe entry, or null
    void* probeKey;           // key of the probe
    void* probeDat;           // data part of the probe, may be null
    void* element;            // the stored element compared against
    TnVParameter* param;      // caller's parameter, or null
};

// Builds the element at destination from a source (key and dat of the source entry).
typedef int (*TnCopyFunc)(TnVContainer* container, void* destination, TnVIterator* source,
                          void* key, void* dat, TnVParameter* param);
// Disposes of an element; null in the table means nothing to do.
typedef void (*TnDestroyFunc)(TnVContainer* container, void* element);
// Orders a probe against a stored element. Negative aborts the calling operation.
typedef int (*TnCompareFunc)(TnCompareArgs* args);
typedef void* (*TnKeyFunc)(TnVContainer* container, void* element, int* result,
                           TnVParameter* param);
typedef void* (*TnDatFunc)(TnVContainer* container, void* element, int* result,
                           TnVParameter* param);
typedef uint32_t (*TnFlagsFunc)(TnVContainer* container, void* element, int* result,
                                TnVParameter* param);

// ---------------------------------------------------------------- parameter

// Optional argument object passed through container operations.
class MVB_API TnVParameter {
  public:
    TnVParameter();
    // Copying takes startEntry only; paramFlags of the target is kept (or 0 when new).
    TnVParameter(const TnVParameter& other);
    TnVParameter& operator=(const TnVParameter& other);
    virtual ~TnVParameter();
    virtual uint16_t GetType();

    void* startEntry;     // entry to continue after (searches with TN_MODE_AFTER_START)
    uint32_t paramFlags;  // bit 0: side bit of the container differ
};

// ---------------------------------------------------------------- container

class MVB_API TnVContainer {
  public:
    TnVContainer(uint32_t elementSize = 0, uint16_t flags = 0);
    virtual ~TnVContainer();
    virtual TnVContainer* Clone(TnVContainer* target);
    virtual uint16_t GetType();
    virtual int Clear(TnTransactionContext* context, uint32_t* countOut, TnVContainer* other);
    virtual int ClearPending(TnTransactionContext* context);
    virtual int SearchElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                              TnVParameter* param, TnVIterator* result);
    virtual int InsertElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                              TnVParameter* param);
    virtual int DeleteElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                              TnVParameter* param);
    virtual void* GetElementOfEntry(void* entry);
    virtual TnVIterator* CreateIterator(TnTransactionContext* context);

    // Replacing entries of the function table (the operations never change it).
    void SetCopyFunc(TnCopyFunc f) { copyFunc = f; }
    void SetDestroyFunc(TnDestroyFunc f) { destroyFunc = f; }
    void SetCompareFunc(TnCompareFunc f) { compareFunc = f; }
    void SetKeyFunc(TnKeyFunc f) { keyFunc = f; }
    void SetDatFunc(TnDatFunc f) { datFunc = f; }
    void SetFlagsFunc(TnFlagsFunc f) { flagsFunc = f; }

    // The defaults the constructor installs.
    static int DefaultCopy(TnVContainer* container, void* destination, TnVIterator* source,
                           void* key, void* dat, TnVParameter* param);
    static int DefaultCompare(TnCompareArgs* args);
    static void* DefaultKey(TnVContainer* container, void* element, int* result,
                            TnVParameter* param);
    static void* DefaultDat(TnVContainer* container, void* element, int* result,
                            TnVParameter* param);
    static uint32_t DefaultFlags(TnVContainer* container, void* element, int* result,
                                 TnVParameter* param);

    uint32_t count;        // number of entries
    uint32_t elementSize;  // bytes of one element
    uint16_t flags;        // duplicate policy: 1 equal keys allowed, 2 full duplicates too
    TnCopyFunc copyFunc;
    TnDestroyFunc destroyFunc;
    TnCompareFunc compareFunc;
    TnKeyFunc keyFunc;
    TnDatFunc datFunc;
    TnFlagsFunc flagsFunc;

  protected:
    // Copies count, elementSize, flags and the function table.
    TnVContainer(const TnVContainer& other);
    TnVContainer& operator=(const TnVContainer&) = delete;
};

// ---------------------------------------------------------------- iterator

class MVB_API TnVIterator {
  public:
    explicit TnVIterator(TnTransactionContext* context);
    TnVIterator(TnTransactionContext* context, TnVContainer* container);
    TnVIterator(const TnVIterator& other);
    TnVIterator& operator=(const TnVIterator& other);
    // Attaches to a container (state before the first entry), context unchanged.
    TnVIterator& operator=(TnVContainer* container);
    virtual ~TnVIterator();

    virtual uint16_t GetType();
    virtual TnVIterator* Clone(TnVIterator* target);
    virtual int First();
    virtual int Next();
    virtual int Prior();
    virtual int Last();
    // Compares this iterator's element with the other's entry (this against the other).
    virtual int CompareElement(TnVIterator* other, TnVParameter* otherParam, int* keyResult,
                               int* orderResult, TnVParameter* param);
    virtual int SearchElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                              TnVParameter* param);
    virtual int InsertElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                              TnVParameter* param);
    virtual int UpdateElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                              TnVParameter* param);
    virtual int DeleteElement(uint16_t mode, TnVParameter* param);
    virtual void Destroy();
    virtual void* GetEntry(int* result, TnVParameter* param);
    virtual int GetEntryParts(void* entry, void** element, void** key, void** dat,
                              uint32_t* flagsOut, TnVParameter* param);
    virtual void* GetElement(int* result, TnVParameter* param);
    virtual void* GetKey(int* result, TnVParameter* param);
    virtual void* GetDat(int* result, TnVParameter* param);
    virtual uint32_t GetFlags(int* result, TnVParameter* param);

    TnVContainer* container;        // the container iterated; null = none
    TnTransactionContext* context;  // caller's context
    int state;                      // 0 on an entry, else one of TN_STATE_*

  protected:
    void SetContainer(TnVContainer* newContainer);
};

// ---------------------------------------------------------------- one-entry container

// Presents a single entry (its own key) through the container interface.
class MVB_API TnOneEntryContainer : public TnVContainer {
  public:
    // entry may be null (an empty container); dat may be null (no data part).
    TnOneEntryContainer(void* entry, uint32_t entrySize, void* dat = nullptr,
                        uint32_t entryFlags = 1);
    ~TnOneEntryContainer() override;
    uint16_t GetType() override;
    int SearchElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                      TnVParameter* param, TnVIterator* result) override;

    void* entry;
    void* entryDat;
    uint32_t entryFlags;

  private:
    void SetFunctions();
};

class MVB_API TnOneEntryIterator : public TnVIterator {
  public:
    TnOneEntryIterator(TnOneEntryContainer* container, TnTransactionContext* context);
    ~TnOneEntryIterator() override;
    uint16_t GetType() override;
    int First() override;
    int Next() override;
    int Prior() override;
    int Last() override;
    void* GetEntry(int* result, TnVParameter* param) override;
    void* GetKey(int* result, TnVParameter* param) override;
    void* GetDat(int* result, TnVParameter* param) override;

  private:
    TnOneEntryContainer* One() { return static_cast<TnOneEntryContainer*>(container); }
};

#endif
