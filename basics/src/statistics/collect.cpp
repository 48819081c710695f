// The collector entry points: a performance-data collector loads this library, opens
// the shared block for reading and copies the requested objects out of it.
#include <cstdio>
#include <cstring>

#include "os/os.h"
#include "prfdata.h"
#include "statistics.h"
#include "statistics/prfinternal.h"

namespace {

uint32_t LengthWord(const uint8_t* at) {
    uint32_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

bool IsGlobalRequest(const char16_t* name) {
    static const char kGlobal[] = "global";
    size_t i = 0;
    for (; kGlobal[i] != 0; ++i) {
        char16_t c = name[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != static_cast<char16_t>(kGlobal[i])) return false;
    }
    return name[i] == 0;
}

// One collection. Any condition that the original met with a fault (no block, an
// object id that is not in the table) makes it return false, and so does a block that
// is incomplete or whose headers are not what this process's item table makes: every
// copy is sized by the table, and what was copied is checked against `expected` (the
// headers the table gives) before it is handed out.
class Collection {
  public:
    // request: null for every object, else " <list of title indexes> ".
    Collection(PrfData& prf, uint8_t* out, const char* request, const uint8_t* expected)
        : m_prf(prf), m_out(out), m_request(request), m_expected(expected) {}

    bool Run(void** data, uint32_t* bytes, uint32_t* objectTypes, uint32_t* result) {
        if (!m_prf.m_pPrfData || !m_prf.BlockComplete()) return false;

        *objectTypes = 0;
        for (uint32_t i = 0; i < m_prf.m_NumItems; ++i) m_prf.m_pPrfItms[i].fCollectThisObj = 0;
        for (OBJORD ord = 0; ord < m_prf.m_NumObjects; ++ord) {
            if (IsWanted(ord) && !Mark(ord)) return false;
        }

        uint32_t needed = 0;
        for (OBJORD ord = 0; ord < m_prf.m_NumObjects; ++ord) {
            if (m_prf.CvtObjOrdToPrfItm(ord)->fCollectThisObj) needed += m_prf.ObjBytesNeeded(ord);
        }
        if (*bytes < needed) {
            *bytes = 0;
            *result = mvos::kMoreData;
            return true;
        }

        *bytes = 0;
        for (OBJORD ord = 0; ord < m_prf.m_NumObjects; ++ord) {
            if (!m_prf.CvtObjOrdToPrfItm(ord)->fCollectThisObj) continue;
            const uint32_t size = m_prf.ObjBytesNeeded(ord);
            if (!CopyObject(ord, size)) return false;
            m_out += size;
            *data = m_out;
            *bytes += size;
            ++*objectTypes;
        }
        *result = mvos::kOk;
        return true;
    }

  private:
    bool IsWanted(OBJORD ord) const {
        if (!m_request) return true;
        char word[16];
        const PrfItm* obj = m_prf.CvtObjOrdToPrfItm(ord);
        std::snprintf(word, sizeof word, " %d ",
                      static_cast<int>(
                          m_prf.NameTitleIndex(static_cast<PRFITMINDEX>(obj - m_prf.m_pPrfItms))));
        return std::strstr(m_request, word) != nullptr;
    }

    // Marks an object and, through its instances, the objects of their parents.
    bool Mark(OBJORD ord) {
        PrfItm* obj = m_prf.CvtObjOrdToPrfItm(ord);
        obj->fCollectThisObj = 1;
        if (obj->MaxInstances == static_cast<INSTID>(PERF_NO_INSTANCES)) return true;
        for (INSTID slot = 0; slot < obj->MaxInstances; ++slot) {
            ObjLayout layout;
            m_prf.GetMetrics(ord, slot, &layout);
            if (layout.pPIN[0] == 0 || layout.pPID->ParentObjectTitleIndex == 0) continue;
            const OBJORD parent = m_prf.CvtObjIdToObjOrd(layout.pPID->ParentObjectTitleIndex);
            if (!m_prf.IsValidObjOrd(parent)) return false;
            if (!m_prf.CvtObjOrdToPrfItm(parent)->fCollectThisObj && !Mark(parent)) return false;
        }
        return true;
    }

    // Copies into the caller's buffer; true when the copy equals `expected` (when given).
    bool Put(const void* from, size_t size, const void* expected = nullptr) {
        std::memcpy(m_cursor, from, size);
        const bool same = !expected || std::memcmp(m_cursor, expected, size) == 0;
        m_cursor += size;
        return same;
    }
    // A counter block: its length word must be the table's.
    bool PutCounterBlock(const ObjLayout& layout) {
        const uint8_t* copy = m_cursor;
        Put(layout.pPCB, layout.cbPCB);
        return LengthWord(copy) == layout.cbPCB;
    }

    bool CopyObject(OBJORD ord, uint32_t size) {
        std::memset(m_out, 0, size);
        m_cursor = m_out;
        ObjLayout layout;
        PrfItm* obj = nullptr;
        m_prf.GetMetrics(ord, 0, &layout, &obj);
        PERF_OBJECT_TYPE pot;
        std::memcpy(&pot, layout.pPOT, sizeof pot);
        pot.TotalByteLength = size;
        pot.NumInstances = layout.fSupportsInstances
                               ? static_cast<int32_t>(m_prf.GetNumInstances(ord))
                               : PERF_NO_INSTANCES;
        const size_t region = reinterpret_cast<uint8_t*>(layout.pPOT) - m_prf.m_pPrfData;
        PERF_OBJECT_TYPE expected;
        std::memcpy(&expected, m_expected + region, sizeof expected);
        expected.TotalByteLength = pot.TotalByteLength;
        expected.NumInstances = pot.NumInstances;
        if (!Put(&pot, sizeof pot, &expected) ||
            !Put(layout.pPCD, layout.cbPCD, m_expected + region + sizeof pot))
            return false;
        if (!layout.fSupportsInstances) return PutCounterBlock(layout);
        for (INSTID slot = 0; slot < obj->MaxInstances; ++slot) {
            ObjLayout inst;
            m_prf.GetMetrics(ord, slot, &inst);
            if (inst.pPIN[0] == 0) continue;
            if (!CopyInstance(obj, inst)) return false;
        }
        return true;
    }

    bool CopyInstance(const PrfItm* obj, const ObjLayout& inst) {
        PERF_INSTANCE_DEFINITION pid;
        std::memcpy(&pid, inst.pPID, sizeof pid);
        pid.ByteLength = sizeof pid;
        if (pid.ParentObjectTitleIndex != 0) {
            const OBJORD parentOrd = m_prf.CvtObjIdToObjOrd(pid.ParentObjectTitleIndex);
            if (!m_prf.IsValidObjOrd(parentOrd)) return false;
            const PrfItm* parent = m_prf.CvtObjOrdToPrfItm(parentOrd);
            pid.ParentObjectTitleIndex =
                m_prf.NameTitleIndex(static_cast<PRFITMINDEX>(parent - m_prf.m_pPrfItms));
            pid.ParentObjectInstance = ParentPosition(parentOrd, parent, pid.ParentObjectInstance);
        }
        const char16_t* name = inst.pPIN;
        uint32_t chars = 0;
        if (pid.UniqueID == PERF_NO_UNIQUE_ID) {
            chars = mvb::statistics::InstanceNameChars(name, obj->cchMaxInstName);
            pid.NameOffset = sizeof pid;
            pid.NameLength = 2 * (chars + 1);
            pid.ByteLength += mvb::statistics::InstanceNameBytes(chars);
        }
        Put(&pid, sizeof pid);
        if (pid.UniqueID == PERF_NO_UNIQUE_ID) {
            Put(name, 2 * chars);  // the terminator and padding are the zeroed bytes after it
            m_cursor += mvb::statistics::InstanceNameBytes(chars) - 2 * chars;
        }
        return PutCounterBlock(inst);
    }

    // The parent instance's position among the parent object's instances in a
    // collection: the number of slots in use before the stored slot.
    uint32_t ParentPosition(OBJORD parentOrd, const PrfItm* parent, uint32_t storedSlot) const {
        if (parent->MaxInstances == static_cast<INSTID>(PERF_NO_INSTANCES)) return 0;
        uint32_t position = 0;
        for (INSTID slot = 0; slot < storedSlot && slot < parent->MaxInstances; ++slot) {
            ObjLayout layout;
            m_prf.GetMetrics(parentOrd, slot, &layout);
            if (layout.pPIN[0] != 0) ++position;
        }
        return position;
    }

    PrfData& m_prf;
    uint8_t* m_out;
    const char* m_request;
    const uint8_t* m_expected;
    uint8_t* m_cursor = nullptr;
};

// " <value name> " in narrow characters, searched for " %d "; null when it cannot be had.
char* PrepareRequest(const char16_t* valueName) {
    size_t length = 0;
    while (valueName[length] != 0) ++length;
    auto* request = static_cast<char*>(mvos::Malloc(length + 3));
    if (!request) return nullptr;
    request[0] = ' ';
    mvb::statistics::ToNarrow(valueName, request + 1, length + 1);
    request[length + 1] = ' ';
    request[length + 2] = 0;
    return request;
}

// The headers this process's table makes, as a block of them would hold; null when
// the memory cannot be had.
uint8_t* ExpectedHeaders(PrfData& prf) {
    const uint32_t size = prf.ComputeObjectSizes();
    auto* expected = static_cast<uint8_t*>(mvos::Malloc(size));
    if (!expected) return nullptr;
    std::memset(expected, 0, size);
    prf.WriteHeaders(expected);
    return expected;
}

// Set by PrfData_Open: this process collects, and looks for a block on each collection.
bool g_opened = false;

// A collector's view of a block whose writer is gone is dropped; while it has none, a
// block published since (a writer started or restarted) is looked for.
void RefreshView(PrfData& prf) {
    if (prf.m_fWritable) return;
    auto* shm = static_cast<mvos::SharedMemory*>(prf.m_hFileMapping);
    if (shm && !mvos::SharedMemoryHasWriter(shm)) prf.ReleaseView();
    if (g_opened && !prf.m_pPrfData) prf.Activate(false);
}

}  // namespace

uint32_t PrfData_Open(char16_t*) {
    PrfData* prf = PrfData::sm_pPrfData;
    g_opened = true;
    // The collector may open more than once; the view is mapped once per process.
    if (prf && !prf->m_pPrfData) prf->Activate(false);
    return mvos::kOk;
}

uint32_t PrfData_Collect(char16_t* valueName, void** data, uint32_t* bytes, uint32_t* objectTypes) {
    void* const entry = *data;
    PrfData* prf = PrfData::sm_pPrfData;
    const bool everything = valueName && IsGlobalRequest(valueName);
    // Allocated outside the guard: a fault inside skips the stack's destructors.
    char* request = everything || !valueName ? nullptr : PrepareRequest(valueName);
    if (prf) RefreshView(*prf);
    uint8_t* expected = prf ? ExpectedHeaders(*prf) : nullptr;
    uint32_t result = mvos::kOk;
    bool done = false;
    if (expected && (everything || request)) {
        const uint32_t fault = mvos::Guarded([&] {
            Collection collection(*prf, static_cast<uint8_t*>(entry), request, expected);
            done = collection.Run(data, bytes, objectTypes, &result);
        });
        if (fault != 0) done = false;
    }
    mvos::Free(expected);
    mvos::Free(request);
    if (!done) {
        *data = entry;
        *bytes = 0;
        *objectTypes = 0;
        return mvos::kOk;
    }
    return result;
}

uint32_t PrfData_Close() {
    return mvos::kOk;
}
