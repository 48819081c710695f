// Performance data block: the item table of the runtime's performance objects and
// counters, and the named shared-memory block that holds their current values in the
// published performance-data format, written by one process and read by collectors.
//
// Threads: the block object belongs to the library's start-up and take-down; its writer
// is one process per machine namespace, guarded by the writer lock.
#ifndef MV_PRFDATA_H
#define MV_PRFDATA_H

#include "mvexport.h"

// ---------------------------------------------------------------- published format
// The block is read by collectors in other processes, so it keeps the 32-bit layout
// of the published performance-data structures on every platform: 32-bit fields,
// the two text pointers of the original stored as 32-bit zero words.

constexpr uint32_t PERF_DETAIL_NOVICE = 100;
constexpr uint32_t PERF_DETAIL_ADVANCED = 200;
constexpr uint32_t PERF_DETAIL_EXPERT = 300;
constexpr uint32_t PERF_DETAIL_WIZARD = 400;
constexpr int32_t PERF_NO_INSTANCES = -1;
constexpr int32_t PERF_NO_UNIQUE_ID = -1;
constexpr uint32_t PERF_MASK_SIZE_FLD = 0x300;
constexpr uint32_t PERF_SIZE_DWORD = 0x000;
constexpr uint32_t PERF_SIZE_LARGE = 0x100;
constexpr uint32_t PERF_COUNTER_RAWCOUNT = 0x00010000;  // a value shown unchanged
constexpr uint32_t PERF_COUNTER_COUNTER = 0x10410400;   // a count shown as a rate per second

struct PERF_OBJECT_TYPE {
    uint32_t TotalByteLength;
    uint32_t DefinitionLength;
    uint32_t HeaderLength;
    uint32_t ObjectNameTitleIndex;
    uint32_t ObjectNameTitle;  // a text pointer in the original; always 0 here
    uint32_t ObjectHelpTitleIndex;
    uint32_t ObjectHelpTitle;  // a text pointer in the original; always 0 here
    uint32_t DetailLevel;
    uint32_t NumCounters;
    int32_t DefaultCounter;
    int32_t NumInstances;
    uint32_t CodePage;
    int64_t PerfTime;
    int64_t PerfFreq;
};

struct PERF_COUNTER_DEFINITION {
    uint32_t ByteLength;
    uint32_t CounterNameTitleIndex;
    uint32_t CounterNameTitle;  // a text pointer in the original; always 0 here
    uint32_t CounterHelpTitleIndex;
    uint32_t CounterHelpTitle;  // a text pointer in the original; always 0 here
    int32_t DefaultScale;
    uint32_t DetailLevel;
    uint32_t CounterType;
    uint32_t CounterSize;
    uint32_t CounterOffset;
};

struct PERF_INSTANCE_DEFINITION {
    uint32_t ByteLength;
    uint32_t ParentObjectTitleIndex;  // in the block: the parent object's id
    uint32_t ParentObjectInstance;
    int32_t UniqueID;
    uint32_t NameOffset;
    uint32_t NameLength;
};

// The head of a counter block: its length, then one 8-byte slot per counter.
struct PERF_COUNTER_BLOCK {
    uint32_t ByteLength;
    uint32_t Reserved;
};

#define MVB_PRF_FIELD_AT(type, field, offset) \
    static_assert(offsetof(type, field) == (offset), #type "." #field " is not at " #offset)
MVB_PRF_FIELD_AT(PERF_OBJECT_TYPE, TotalByteLength, 0);
MVB_PRF_FIELD_AT(PERF_OBJECT_TYPE, DefinitionLength, 4);
MVB_PRF_FIELD_AT(PERF_OBJECT_TYPE, HeaderLength, 8);
MVB_PRF_FIELD_AT(PERF_OBJECT_TYPE, ObjectNameTitleIndex, 12);
MVB_PRF_FIELD_AT(PERF_OBJECT_TYPE, ObjectNameTitle, 16);
MVB_PRF_FIELD_AT(PERF_OBJECT_TYPE, ObjectHelpTitleIndex, 20);
MVB_PRF_FIELD_AT(PERF_OBJECT_TYPE, ObjectHelpTitle, 24);
MVB_PRF_FIELD_AT(PERF_OBJECT_TYPE, DetailLevel, 28);
MVB_PRF_FIELD_AT(PERF_OBJECT_TYPE, NumCounters, 32);
MVB_PRF_FIELD_AT(PERF_OBJECT_TYPE, DefaultCounter, 36);
MVB_PRF_FIELD_AT(PERF_OBJECT_TYPE, NumInstances, 40);
MVB_PRF_FIELD_AT(PERF_OBJECT_TYPE, CodePage, 44);
MVB_PRF_FIELD_AT(PERF_OBJECT_TYPE, PerfTime, 48);
MVB_PRF_FIELD_AT(PERF_OBJECT_TYPE, PerfFreq, 56);
static_assert(sizeof(PERF_OBJECT_TYPE) == 64, "object header must be 64 bytes");
MVB_PRF_FIELD_AT(PERF_COUNTER_DEFINITION, ByteLength, 0);
MVB_PRF_FIELD_AT(PERF_COUNTER_DEFINITION, CounterNameTitleIndex, 4);
MVB_PRF_FIELD_AT(PERF_COUNTER_DEFINITION, CounterNameTitle, 8);
MVB_PRF_FIELD_AT(PERF_COUNTER_DEFINITION, CounterHelpTitleIndex, 12);
MVB_PRF_FIELD_AT(PERF_COUNTER_DEFINITION, CounterHelpTitle, 16);
MVB_PRF_FIELD_AT(PERF_COUNTER_DEFINITION, DefaultScale, 20);
MVB_PRF_FIELD_AT(PERF_COUNTER_DEFINITION, DetailLevel, 24);
MVB_PRF_FIELD_AT(PERF_COUNTER_DEFINITION, CounterType, 28);
MVB_PRF_FIELD_AT(PERF_COUNTER_DEFINITION, CounterSize, 32);
MVB_PRF_FIELD_AT(PERF_COUNTER_DEFINITION, CounterOffset, 36);
static_assert(sizeof(PERF_COUNTER_DEFINITION) == 40, "counter definition must be 40 bytes");
MVB_PRF_FIELD_AT(PERF_INSTANCE_DEFINITION, ByteLength, 0);
MVB_PRF_FIELD_AT(PERF_INSTANCE_DEFINITION, ParentObjectTitleIndex, 4);
MVB_PRF_FIELD_AT(PERF_INSTANCE_DEFINITION, ParentObjectInstance, 8);
MVB_PRF_FIELD_AT(PERF_INSTANCE_DEFINITION, UniqueID, 12);
MVB_PRF_FIELD_AT(PERF_INSTANCE_DEFINITION, NameOffset, 16);
MVB_PRF_FIELD_AT(PERF_INSTANCE_DEFINITION, NameLength, 20);
static_assert(sizeof(PERF_INSTANCE_DEFINITION) == 24, "instance definition must be 24 bytes");
MVB_PRF_FIELD_AT(PERF_COUNTER_BLOCK, ByteLength, 0);
static_assert(sizeof(PERF_COUNTER_BLOCK) == 8, "counter block head must be 8 bytes");
#undef MVB_PRF_FIELD_AT

// ---------------------------------------------------------------- item table

typedef uint32_t OBJID;       // object identifier, never 0
typedef uint32_t CTRID;       // counter identifier, never 0
typedef uint32_t INSTID;      // instance slot
typedef uint32_t OBJORD;      // object ordinal (0 for the first object)
typedef uint32_t CTRORD;      // counter ordinal within its object
typedef int32_t PRFITMINDEX;  // table index, -1 when not found

enum : uint32_t { PrfItmEnd = 0, PrfItmObject = 1, PrfItmCounter = 2 };

// One row of the item table. The texts are pointers (pointer-sized on 64-bit
// platforms); the table lives in each process and is never shared.
struct PrfItm {
    uint32_t PrfItmType;
    uint32_t dwId;
    const char16_t* pszName;
    const char16_t* pszHelp;
    uint32_t dwDetailLevel;
    CTRID DefCounter;          // object: its default counter, or (CTRID)-1; counter: -1
    INSTID MaxInstances;       // object: (INSTID)PERF_NO_INSTANCES or slot count; counter: 0
    uint32_t cchMaxInstName;   // object: instance name capacity with terminator
    uint32_t NumCounters;      // object: computed by the table check
    PRFITMINDEX NextObjIndex;  // object: computed by the table check, -1 for the last
    uint32_t cbObject;         // object: bytes in the block, computed at activation
    uint32_t fCollectThisObj;  // object: set while a collection runs
    int32_t DefaultScale;      // counter: display power of ten
    uint32_t dwCounterType;    // counter: the platform's counter type code
};

// Where one object and one of its instance slots lie in the block.
struct ObjLayout {
    uint32_t fSupportsInstances;
    INSTID MaxInstances;
    PERF_OBJECT_TYPE* pPOT;
    uint32_t cbPOT;
    PERF_COUNTER_DEFINITION* pPCD;
    uint32_t cbPCD;
    PERF_INSTANCE_DEFINITION* pPID;
    uint32_t cbPID;
    PERF_COUNTER_BLOCK* pPCB;
    uint32_t cbPCB;
    char16_t* pPIN;
    uint32_t cbPIN;
};

// The item table of this system: the object "Merivane" (100) and its 22 counters
// (101 to 122), ended by an item of type 0.
constexpr uint32_t kMerivanePrfItemCount = 23;
MVB_API PrfItm* MerivanePrfItems();

// Activation results.
enum : int {
    PrfActivated = 0,
    PrfDisabled = 1,       // "Disable Performance Counters" is set
    PrfNotRegistered = 2,  // the service's "Performance" key does not exist
    PrfOtherWriter = 3,    // another writer holds the writer mutex
    PrfFailed = -1,
};

class MVB_API PrfData {
  public:
    // Checks the table (an assertion for every breached rule) and becomes sm_pPrfData.
    PrfData(const char16_t* appName, PrfItm* items);
    // A writer removes its block's name; then the view is unmapped and the handles closed.
    ~PrfData();
    PrfData(const PrfData&) = delete;
    PrfData& operator=(const PrfData&) = delete;

    PRFITMINDEX CvtObjIdToPrfItmIndex(OBJID objId) const;
    PRFITMINDEX CvtCtrIdToPrfItmIndex(CTRID ctrId, CTRORD* ctrOrd = nullptr) const;
    PrfItm* CvtObjIdToPrfItm(OBJID objId) const;
    PrfItm* CvtCtrIdToPrfItm(CTRID ctrId) const;
    PrfItm* CvtObjOrdToPrfItm(OBJORD objOrd) const;
    OBJORD CvtObjIdToObjOrd(OBJID objId) const;
    OBJORD CvtCtrIdToObjOrd(CTRID ctrId) const;
    bool IsValidObjOrd(OBJORD objOrd) const { return objOrd < m_NumObjects; }
    bool IsValidInstId(OBJORD objOrd, INSTID instId) const;

    void GetMetrics(OBJORD objOrd, INSTID instId, ObjLayout* layout,
                    PrfItm** objItem = nullptr) const;
    uint32_t ObjBytesNeeded(OBJORD objOrd) const;
    uint32_t GetNumInstances(OBJORD objOrd) const;

    // 0 activated, 1 disabled, 2 not registered, 3 another writer, -1 failure.
    int Activate(bool writer);

    // The 8-byte value slot of a counter in an instance slot.
    void* GetCtrSlot(CTRID ctrId, INSTID instId) const;
    // The same slot, after checking that the counter is a 32-bit counter.
    uint32_t* GetCtr32Slot(CTRID ctrId, INSTID instId) const;

    // Steps of activation, usable on any buffer: every object's cbObject and their
    // sum (the block size), and the headers written for the current title indexes.
    uint32_t ComputeObjectSizes();
    void WriteHeaders(uint8_t* block) const;
    // Name and help title indexes of the item at a table index.
    uint32_t NameTitleIndex(PRFITMINDEX index) const { return m_dwFirstCounter + 2u * index; }
    uint32_t HelpTitleIndex(PRFITMINDEX index) const { return m_dwFirstHelp + 2u * index; }

    static PrfData* sm_pPrfData;

    const char16_t* m_pszAppName;
    uint32_t m_dwFirstCounter;
    uint32_t m_dwFirstHelp;
    uint32_t m_dwLastCounter;
    uint32_t m_dwLastHelp;
    PrfItm* m_pPrfItms;
    uint32_t m_NumItems;
    uint32_t m_NumObjects;
    void* m_hFileMapping;
    uint8_t* m_pPrfData;
    uint32_t m_cbPrfData;  // size of the mapped view
    bool m_fWritable;      // the view was mapped by this process as the writer
    void* m_hWriterMutex;  // the writer mutex, owned from activation to unload
    uint32_t m_cViews;     // views mapped so far: a collector's next view is a new block

    // True when the mapped block's headers are complete (a block being made is not).
    bool BlockComplete() const;
    // Unmaps the view and closes its handle; activation may run again.
    void ReleaseView();

  private:
    void CheckTable();
    int MapBlock(bool writer, const char* appName);
    int AdoptView(void* shm, uint32_t size, bool writable);
};

#endif
