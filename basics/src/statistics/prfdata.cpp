// The performance data block: table check, lookups, layout, activation, value slots.
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "frame.h"
#include "os/os.h"
#include "prfdata.h"
#include "statistics/prfinternal.h"
#include "systemlog.h"

namespace {

const char kSource[] = "basics\\src\\prfdata";
const char kHeaderSource[] = "basics\\inc\\prfdata";
// The first object's HeaderLength is stored last when a block is made: until it holds
// the header's size, readers take the block as incomplete.
constexpr size_t kCompleteMark = offsetof(PERF_OBJECT_TYPE, HeaderLength);

// The process that made the block this process writes.
uint32_t g_writerProcess = 0;

void Check(bool ok, const char* text, int line) {
    if (!ok) TARN_assert(text, kSource, line);
}

// Objects and counters alike must name one of the four detail levels.
void CheckDetailLevel(uint32_t level, int line) {
    Check(level == PERF_DETAIL_NOVICE || level == PERF_DETAIL_ADVANCED ||
              level == PERF_DETAIL_EXPERT || level == PERF_DETAIL_WIZARD,
          "(m_pPrfItms[pii].dwDetailLevel == PERF_DETAIL_NOVICE) || "
          "(m_pPrfItms[pii].dwDetailLevel == PERF_DETAIL_ADVANCED) || "
          "(m_pPrfItms[pii].dwDetailLevel == PERF_DETAIL_EXPERT) || "
          "(m_pPrfItms[pii].dwDetailLevel == PERF_DETAIL_WIZARD)",
          line);
}

uint32_t CounterBlockBytes(const PrfItm& obj) {
    return 8 + 8 * obj.NumCounters;
}
bool HasInstances(const PrfItm& obj) {
    return obj.MaxInstances != static_cast<INSTID>(PERF_NO_INSTANCES);
}

}  // namespace

PrfData* PrfData::sm_pPrfData = nullptr;

PrfData::PrfData(const char16_t* appName, PrfItm* items)
    : m_pszAppName(appName),
      m_dwFirstCounter(0),
      m_dwFirstHelp(1),
      m_dwLastCounter(0),
      m_dwLastHelp(1),
      m_pPrfItms(items),
      m_NumItems(0),
      m_NumObjects(0),
      m_hFileMapping(nullptr),
      m_pPrfData(nullptr),
      m_cbPrfData(0),
      m_fWritable(false),
      m_hWriterMutex(nullptr),
      m_cViews(0) {
    Check(sm_pPrfData == nullptr, "sm_pPrfData == NULL", __LINE__);
    CheckTable();
    sm_pPrfData = this;
}

PrfData::~PrfData() {
    // The block's name goes with its writer; collectors that map it keep their view. A
    // child the writer forked inherits the view but leaves the name to its parent.
    if (m_fWritable && mvos::ProcessId() == g_writerProcess)
        mvos::UnlinkSharedMemory(static_cast<mvos::SharedMemory*>(m_hFileMapping));
    ReleaseView();
    mvos::CloseWriterMutex(static_cast<mvos::WriterMutex*>(m_hWriterMutex));
    m_hWriterMutex = nullptr;
    if (sm_pPrfData == this) sm_pPrfData = nullptr;
}

void PrfData::CheckTable() {
    PRFITMINDEX crntObj = -1;
    PRFITMINDEX pii = 0;
    for (; m_pPrfItms[pii].PrfItmType != PrfItmEnd; ++pii) {
        PrfItm& item = m_pPrfItms[pii];
        Check(item.dwId != 0, "m_pPrfItms[pii].dwId != 0", __LINE__);
        if (item.PrfItmType == PrfItmObject) {
            Check(CvtObjIdToPrfItmIndex(item.dwId) == pii,
                  "CvtObjIdToPrfItmIndex((OBJID)(TnPtrWord) m_pPrfItms[pii].dwId) == pii",
                  __LINE__);
            Check(item.DefCounter == static_cast<CTRID>(-1) ||
                      CvtCtrIdToPrfItmIndex(item.DefCounter) != -1,
                  "(m_pPrfItms[pii].DefCounter == (CTRID) -1) || "
                  "(CvtCtrIdToPrfItmIndex(m_pPrfItms[pii].DefCounter) != -1)",
                  __LINE__);
            Check(item.MaxInstances == static_cast<INSTID>(PERF_NO_INSTANCES) ||
                      item.MaxInstances > 0,
                  "(m_pPrfItms[pii].MaxInstances == (INSTID) PERF_NO_INSTANCES) || "
                  "(m_pPrfItms[pii].MaxInstances > 0)",
                  __LINE__);
            CheckDetailLevel(item.dwDetailLevel, __LINE__);
            if (crntObj != -1) {
                Check(m_pPrfItms[crntObj].NumCounters > 0, "m_pPrfItms[piiCrntObj].NumCounters > 0",
                      __LINE__);
                m_pPrfItms[crntObj].NextObjIndex = pii;
            }
            crntObj = pii;
            item.NumCounters = 0;
            item.NextObjIndex = -1;
            ++m_NumObjects;
        } else {
            Check(pii != 0, "pii != 0", __LINE__);
            Check(CvtCtrIdToPrfItmIndex(item.dwId) == pii,
                  "CvtCtrIdToPrfItmIndex( (CTRID)(TnPtrWord) m_pPrfItms[pii].dwId) == pii",
                  __LINE__);
            CheckDetailLevel(item.dwDetailLevel, __LINE__);
            if (crntObj != -1) ++m_pPrfItms[crntObj].NumCounters;
        }
    }
    m_NumItems = static_cast<uint32_t>(pii);
}

// ---------------------------------------------------------------- lookups

PRFITMINDEX PrfData::CvtObjIdToPrfItmIndex(OBJID objId) const {
    for (PRFITMINDEX i = 0; m_pPrfItms[i].PrfItmType != PrfItmEnd; ++i) {
        if (m_pPrfItms[i].PrfItmType == PrfItmObject && m_pPrfItms[i].dwId == objId) return i;
    }
    return -1;
}

PRFITMINDEX PrfData::CvtCtrIdToPrfItmIndex(CTRID ctrId, CTRORD* ctrOrd) const {
    for (PRFITMINDEX i = 0; m_pPrfItms[i].PrfItmType != PrfItmEnd; ++i) {
        if (m_pPrfItms[i].PrfItmType != PrfItmCounter || m_pPrfItms[i].dwId != ctrId) continue;
        if (ctrOrd) {
            CTRORD ord = 0;
            for (PRFITMINDEX j = i - 1; j >= 0 && m_pPrfItms[j].PrfItmType != PrfItmObject; --j)
                ++ord;
            *ctrOrd = ord;
        }
        return i;
    }
    return -1;
}

PrfItm* PrfData::CvtObjIdToPrfItm(OBJID objId) const {
    return &m_pPrfItms[CvtObjIdToPrfItmIndex(objId)];
}

PrfItm* PrfData::CvtCtrIdToPrfItm(CTRID ctrId) const {
    return &m_pPrfItms[CvtCtrIdToPrfItmIndex(ctrId)];
}

PrfItm* PrfData::CvtObjOrdToPrfItm(OBJORD objOrd) const {
    if (!IsValidObjOrd(objOrd)) {
        TARN_assert("IsValidObjOrd(ObjOrd)", kSource, __LINE__);
        return nullptr;  // reached only when a host handler continues the assertion
    }
    PRFITMINDEX index = 0;
    for (OBJORD n = 0; n < objOrd; ++n) index = m_pPrfItms[index].NextObjIndex;
    return &m_pPrfItms[index];
}

OBJORD PrfData::CvtObjIdToObjOrd(OBJID objId) const {
    OBJORD ord = 0;
    for (PRFITMINDEX i = 0; m_pPrfItms[i].PrfItmType != PrfItmEnd; ++i) {
        if (m_pPrfItms[i].PrfItmType != PrfItmObject) continue;
        if (m_pPrfItms[i].dwId == objId) return ord;
        ++ord;
    }
    char text[1024];
    std::snprintf(text, sizeof text, "File %s, line %d : %s", kSource, 816,
                  "Object ID Not in list");
    mvos::MessageBox(text, "Assertion Failed", 0x10 /* stop icon */);
    mvos::DebugBreak();
    return static_cast<OBJORD>(-1);
}

OBJORD PrfData::CvtCtrIdToObjOrd(CTRID ctrId) const {
    PRFITMINDEX index = CvtCtrIdToPrfItmIndex(ctrId);
    OBJORD objects = 0;
    for (PRFITMINDEX i = 0; i < index; ++i) {
        if (m_pPrfItms[i].PrfItmType == PrfItmObject) ++objects;
    }
    return objects - 1;
}

bool PrfData::IsValidInstId(OBJORD objOrd, INSTID instId) const {
    if (!IsValidObjOrd(objOrd)) return false;
    const PrfItm* obj = CvtObjOrdToPrfItm(objOrd);
    if (!HasInstances(*obj)) return instId == 0;
    return instId <= obj->MaxInstances - 1;
}

// ---------------------------------------------------------------- layout

void PrfData::GetMetrics(OBJORD objOrd, INSTID instId, ObjLayout* layout, PrfItm** objItem) const {
    std::memset(layout, 0, sizeof *layout);
    if (!IsValidInstId(objOrd, instId)) {
        TARN_assert("IsValidInstId(ObjOrd, InstId)", kSource, __LINE__);
        return;
    }
    // Offsets are summed as integers so that a block not yet mapped yields plain
    // numbers, never arithmetic on a null pointer.
    uintptr_t start = reinterpret_cast<uintptr_t>(m_pPrfData);
    PRFITMINDEX index = 0;
    for (OBJORD n = 0; n < objOrd; ++n) {
        start += m_pPrfItms[index].cbObject;
        index = m_pPrfItms[index].NextObjIndex;
    }
    PrfItm& obj = m_pPrfItms[index];
    if (objItem) *objItem = &obj;

    layout->fSupportsInstances = HasInstances(obj) ? 1 : 0;
    layout->MaxInstances = obj.MaxInstances;
    layout->pPOT = reinterpret_cast<PERF_OBJECT_TYPE*>(start);
    layout->cbPOT = sizeof(PERF_OBJECT_TYPE);
    layout->pPCD = reinterpret_cast<PERF_COUNTER_DEFINITION*>(start + sizeof(PERF_OBJECT_TYPE));
    layout->cbPCD = sizeof(PERF_COUNTER_DEFINITION) * obj.NumCounters;
    layout->cbPCB = CounterBlockBytes(obj);
    const uintptr_t defsEnd = start + layout->cbPOT + layout->cbPCD;
    if (!layout->fSupportsInstances) {
        layout->pPCB = reinterpret_cast<PERF_COUNTER_BLOCK*>(defsEnd);
        return;
    }
    const uint32_t max = obj.MaxInstances;
    layout->pPID = reinterpret_cast<PERF_INSTANCE_DEFINITION*>(
        defsEnd + sizeof(PERF_INSTANCE_DEFINITION) * instId);
    layout->cbPID = sizeof(PERF_INSTANCE_DEFINITION);
    layout->pPCB = reinterpret_cast<PERF_COUNTER_BLOCK*>(
        defsEnd + sizeof(PERF_INSTANCE_DEFINITION) * max + uintptr_t{layout->cbPCB} * instId);
    layout->pPIN = reinterpret_cast<char16_t*>(
        defsEnd + uintptr_t{max} * (sizeof(PERF_INSTANCE_DEFINITION) + layout->cbPCB) +
        2 * uintptr_t{obj.cchMaxInstName} * instId);
    layout->cbPIN = 2 * obj.cchMaxInstName;
}

uint32_t PrfData::ObjBytesNeeded(OBJORD objOrd) const {
    const PrfItm* obj = CvtObjOrdToPrfItm(objOrd);
    if (!obj) return 0;
    uint32_t bytes = sizeof(PERF_OBJECT_TYPE) + sizeof(PERF_COUNTER_DEFINITION) * obj->NumCounters;
    if (!HasInstances(*obj)) return bytes + CounterBlockBytes(*obj);
    for (INSTID slot = 0; slot < obj->MaxInstances; ++slot) {
        ObjLayout layout;
        GetMetrics(objOrd, slot, &layout);
        if (layout.pPIN[0] == 0) continue;
        bytes += sizeof(PERF_INSTANCE_DEFINITION) + layout.cbPCB +
                 mvb::statistics::InstanceNameBytes(
                     mvb::statistics::InstanceNameChars(layout.pPIN, obj->cchMaxInstName));
    }
    return bytes;
}

uint32_t PrfData::GetNumInstances(OBJORD objOrd) const {
    const PrfItm* obj = CvtObjOrdToPrfItm(objOrd);
    if (!obj || !HasInstances(*obj)) return 0;
    uint32_t used = 0;
    for (INSTID slot = 0; slot < obj->MaxInstances; ++slot) {
        ObjLayout layout;
        GetMetrics(objOrd, slot, &layout);
        if (layout.pPIN[0] != 0) ++used;
    }
    return used;
}

uint32_t PrfData::ComputeObjectSizes() {
    uint32_t total = 0;
    for (PRFITMINDEX i = 0; m_pPrfItms[i].PrfItmType != PrfItmEnd; ++i) {
        PrfItm& obj = m_pPrfItms[i];
        if (obj.PrfItmType != PrfItmObject) continue;
        obj.cbObject = sizeof(PERF_OBJECT_TYPE) + sizeof(PERF_COUNTER_DEFINITION) * obj.NumCounters;
        if (!HasInstances(obj)) {
            obj.cbObject += CounterBlockBytes(obj);
        } else {
            obj.cbObject += obj.MaxInstances * (sizeof(PERF_INSTANCE_DEFINITION) +
                                                CounterBlockBytes(obj) + 2 * obj.cchMaxInstName);
        }
        total += obj.cbObject;
    }
    return total;
}

void PrfData::WriteHeaders(uint8_t* block) const {
    uint32_t n = m_dwFirstCounter;
    uint32_t h = m_dwFirstHelp;
    uint8_t* region = block;
    PERF_OBJECT_TYPE first = {};
    for (PRFITMINDEX i = 0; m_pPrfItms[i].PrfItmType != PrfItmEnd;) {
        const PrfItm& obj = m_pPrfItms[i];
        PERF_OBJECT_TYPE pot = {};
        pot.DefinitionLength =
            sizeof(PERF_OBJECT_TYPE) + sizeof(PERF_COUNTER_DEFINITION) * obj.NumCounters;
        pot.HeaderLength = sizeof(PERF_OBJECT_TYPE);
        pot.ObjectNameTitleIndex = n;
        pot.ObjectHelpTitleIndex = h;
        pot.DetailLevel = obj.dwDetailLevel;
        pot.NumCounters = obj.NumCounters;
        CTRORD defOrd = 0;
        pot.DefaultCounter = obj.DefCounter == static_cast<CTRID>(-1) ||
                                     CvtCtrIdToPrfItmIndex(obj.DefCounter, &defOrd) == -1
                                 ? -1
                                 : static_cast<int32_t>(defOrd);
        pot.NumInstances = static_cast<int32_t>(obj.MaxInstances);
        // The first object's header is written last (below): its HeaderLength tells
        // readers that the block is complete.
        if (region == block) {
            first = pot;
        } else {
            std::memcpy(region, &pot, sizeof pot);
        }
        n += 2;
        h += 2;
        uint8_t* pcd = region + sizeof pot;
        PRFITMINDEX c = i + 1;
        for (CTRORD ord = 0; m_pPrfItms[c].PrfItmType == PrfItmCounter; ++c, ++ord) {
            const PrfItm& ctr = m_pPrfItms[c];
            PERF_COUNTER_DEFINITION def = {};
            def.ByteLength = sizeof def;
            def.CounterNameTitleIndex = n;
            def.CounterHelpTitleIndex = h;
            def.DefaultScale = ctr.DefaultScale;
            def.DetailLevel = ctr.dwDetailLevel;
            def.CounterType = ctr.dwCounterType;
            def.CounterSize = 8;
            def.CounterOffset = 8 + 8 * ord;
            std::memcpy(pcd + sizeof def * ord, &def, sizeof def);
            n += 2;
            h += 2;
        }
        const uint32_t cbPCB = CounterBlockBytes(obj);
        uint8_t* blocks = region + pot.DefinitionLength;
        if (HasInstances(obj)) blocks += sizeof(PERF_INSTANCE_DEFINITION) * obj.MaxInstances;
        const uint32_t count = HasInstances(obj) ? obj.MaxInstances : 1;
        for (uint32_t k = 0; k < count; ++k) std::memcpy(blocks + cbPCB * k, &cbPCB, 4);
        region += obj.cbObject;
        i = c;
    }
    if (region == block) return;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&first);
    std::memcpy(block, bytes, kCompleteMark);
    std::memcpy(block + kCompleteMark + 4, bytes + kCompleteMark + 4,
                sizeof first - kCompleteMark - 4);
    __atomic_store_n(reinterpret_cast<uint32_t*>(block + kCompleteMark), first.HeaderLength,
                     __ATOMIC_RELEASE);
}

bool PrfData::BlockComplete() const {
    return m_pPrfData &&
           __atomic_load_n(reinterpret_cast<const uint32_t*>(m_pPrfData + kCompleteMark),
                           __ATOMIC_ACQUIRE) == sizeof(PERF_OBJECT_TYPE);
}

// ---------------------------------------------------------------- activation

int PrfData::Activate(bool writer) {
    char appName[64];
    mvb::statistics::ToNarrow(m_pszAppName, appName, sizeof appName);
    char keyPath[160];
    mvos::ScopedRegKey key;
    if (!mvb::statistics::PerformanceKeyPath(appName, keyPath, sizeof keyPath) ||
        mvos::RegOpenKey(mvos::kLocalMachine, keyPath, mvos::kKeyRead, key.Out()) != mvos::kOk)
        return PrfNotRegistered;

    int result = PrfActivated;
    uint32_t disabled = 0;
    mvb::statistics::ReadKeyDword(key.Get(), "Disable Performance Counters", &disabled);
    if (disabled != 0) {
        result = PrfDisabled;
    } else if (writer) {
        char name[96];
        std::snprintf(name, sizeof name, "%s_mt", appName);
        bool existed = false;
        mvos::WriterMutex* mutex = nullptr;
        if (mvos::CreateWriterMutex(name, &mutex, &existed) != mvos::kOk) {
            result = PrfFailed;
        } else if (existed) {
            result = PrfOtherWriter;
        } else {
            m_hWriterMutex = mutex;  // kept until unload: marks this process as the writer
        }
    }
    if (result == PrfActivated) {
        mvb::statistics::ReadKeyDword(key.Get(), "First Counter", &m_dwFirstCounter);
        mvb::statistics::ReadKeyDword(key.Get(), "First Help", &m_dwFirstHelp);
        mvb::statistics::ReadKeyDword(key.Get(), "Last Counter", &m_dwLastCounter);
        mvb::statistics::ReadKeyDword(key.Get(), "Last Help", &m_dwLastHelp);
    }
    key.Reset();
    if (result != PrfActivated) return result;

    if (m_NumItems != (m_dwLastCounter - m_dwFirstCounter) / 2 + 1 ||
        m_NumItems != (m_dwLastHelp - m_dwFirstHelp) / 2 + 1) {
        TnSystemLog()->Report(2, "%s",
                              "Merivane performance counter are inconsistent, please deregister "
                              "and register again");
        return PrfFailed;
    }
    if (m_pPrfData != nullptr) TARN_assert("m_pPrfData == NULL", kSource, __LINE__);
    return MapBlock(writer, appName);
}

int PrfData::MapBlock(bool writer, const char* appName) {
    const uint32_t size = ComputeObjectSizes();
    char globalName[96];
    char localName[96];
    std::snprintf(globalName, sizeof globalName, "Global\\%s_Performance", appName);
    std::snprintf(localName, sizeof localName, "%s_Performance", appName);

    mvos::SharedMemory* shm = nullptr;
    if (!writer) {
        // A block whose writer is gone counts as no block.
        for (const char* name : {globalName, localName}) {
            if (mvos::OpenSharedMemory(name, false, &shm) != mvos::kOk) continue;
            if (mvos::SharedMemoryHasWriter(shm)) return AdoptView(shm, size, false);
            mvos::CloseSharedMemory(shm);
        }
        return PrfFailed;
    }

    mvos::SharedMemory* probe = nullptr;
    const bool localExists = mvos::OpenSharedMemory(localName, false, &probe) == mvos::kOk;
    mvos::CloseSharedMemory(probe);
    int32_t status = mvos::kFileNotFound;
    if (!localExists) status = mvos::CreateSharedMemory(globalName, size, &shm);
    if (status != mvos::kOk && status != mvos::kAlreadyExists)
        status = mvos::CreateSharedMemory(localName, size, &shm);
    if (status == mvos::kAlreadyExists) return PrfOtherWriter;
    if (status != mvos::kOk) return PrfFailed;
    const int result = AdoptView(shm, size, true);
    if (result != PrfActivated) return result;
    WriteHeaders(m_pPrfData);
    g_writerProcess = mvos::ProcessId();
    return result;
}

// Makes an open block this process's view; on failure the block is closed (and a
// writer's block removed again).
int PrfData::AdoptView(void* shm, uint32_t size, bool writable) {
    auto* handle = static_cast<mvos::SharedMemory*>(shm);
    void* view = mvos::MapSharedMemory(handle, size, writable);
    if (!view) {
        if (writable) mvos::UnlinkSharedMemory(handle);
        mvos::CloseSharedMemory(handle);
        return PrfFailed;
    }
    m_hFileMapping = handle;
    m_pPrfData = static_cast<uint8_t*>(view);
    m_cbPrfData = size;
    m_fWritable = writable;
    ++m_cViews;
    return PrfActivated;
}

void PrfData::ReleaseView() {
    mvos::UnmapSharedMemory(m_pPrfData, m_cbPrfData);
    m_pPrfData = nullptr;
    mvos::CloseSharedMemory(static_cast<mvos::SharedMemory*>(m_hFileMapping));
    m_hFileMapping = nullptr;
    m_fWritable = false;
}

// ---------------------------------------------------------------- value slots

void* PrfData::GetCtrSlot(CTRID ctrId, INSTID instId) const {
    CTRORD ord = 0;
    CvtCtrIdToPrfItmIndex(ctrId, &ord);
    ObjLayout layout;
    GetMetrics(CvtCtrIdToObjOrd(ctrId), instId, &layout);
    return reinterpret_cast<uint8_t*>(layout.pPCB) + 8 + 8 * ord;
}

uint32_t* PrfData::GetCtr32Slot(CTRID ctrId, INSTID instId) const {
    if ((CvtCtrIdToPrfItm(ctrId)->dwCounterType & PERF_MASK_SIZE_FLD) != PERF_SIZE_DWORD) {
        TARN_assert(
            "(CvtCtrIdToPrfItm(CtrId)->dwCounterType & PERF_MASK_SIZE_FLD) == PERF_SIZE_DWORD",
            kHeaderSource, 297);
    }
    return static_cast<uint32_t*>(GetCtrSlot(ctrId, instId));
}
