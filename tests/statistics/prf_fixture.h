// Shared helpers of the statistics tests.
#ifndef MV_TESTS_STATISTICS_PRF_FIXTURE_H
#define MV_TESTS_STATISTICS_PRF_FIXTURE_H

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "frame.h"
#include "os/os.h"
#include "prfdata.h"
#include "statistics.h"

namespace prftest {

// A value of type T copied out of a byte block at an offset.
template <typename T>
T At(const uint8_t* block, size_t offset = 0) {
    T value;
    std::memcpy(&value, block + offset, sizeof value);
    return value;
}

// Status, byte count, object count and how far the data pointer moved, of a collection
// of `request` into `out` with `room` bytes.
using Outcome = std::array<int64_t, 4>;
inline Outcome Collect(const char16_t* request, std::vector<uint8_t>& out, uint32_t room) {
    std::u16string name(request);
    void* data = out.data();
    uint32_t bytes = room;
    uint32_t objects = 77;
    const uint32_t status = PrfData_Collect(name.data(), &data, &bytes, &objects);
    return {status, bytes, objects, static_cast<uint8_t*>(data) - out.data()};
}
const Outcome kNothing = {0, 0, 0, 0};
const Outcome kWholeBlock = {0, 1128, 1, 1128};

// A zero-filled statistics object while it lives; the process's own comes back after.
class FreshStatistics {
  public:
    FreshStatistics() : m_saved(*Statistics()) { *Statistics() = TnStatistics{}; }
    ~FreshStatistics() { *Statistics() = m_saved; }

  private:
    TnStatistics m_saved;
};

// The fields of a PrfData that a block in test memory replaces.
inline auto BlockFields(PrfData* prf) {
    return std::tie(prf->m_pPrfData, prf->m_cbPrfData, prf->m_fWritable, prf->m_dwFirstCounter,
                    prf->m_dwFirstHelp);
}

// Points the process's performance-data object at a block in test memory, laid out
// and headed for the given title indexes, as an activated writer would see it; puts
// everything back on destruction.
class LocalBlock {
  public:
    explicit LocalBlock(uint32_t firstCounter = 1000, uint32_t firstHelp = 1001)
        : m_prf(PrfData::sm_pPrfData), m_saved(BlockFields(m_prf)) {
        m_prf->m_dwFirstCounter = firstCounter;
        m_prf->m_dwFirstHelp = firstHelp;
        m_block.assign(m_prf->ComputeObjectSizes(), 0);
        m_prf->WriteHeaders(m_block.data());
        BlockFields(m_prf) = std::make_tuple(m_block.data(), static_cast<uint32_t>(m_block.size()),
                                             true, firstCounter, firstHelp);
    }
    ~LocalBlock() { BlockFields(m_prf) = m_saved; }
    LocalBlock(const LocalBlock&) = delete;
    LocalBlock& operator=(const LocalBlock&) = delete;

    std::vector<uint8_t>& Bytes() { return m_block; }
    // The 32-bit value published for a counter id (instance 0).
    uint32_t Value(CTRID id) const { return *m_prf->GetCtr32Slot(id, 0); }

  private:
    PrfData* m_prf;
    std::tuple<uint8_t*, uint32_t, bool, uint32_t, uint32_t> m_saved;
    std::vector<uint8_t> m_block;
};

// Records the assertions that fail while it lives (through the fatal-error callback,
// which sees every failed assertion before it is raised).
class AssertionRecorder {
  public:
    AssertionRecorder() : m_saved(SetFatalErrorCallback(&Record)) {
        Texts().clear();
        Files().clear();
    }
    ~AssertionRecorder() { SetFatalErrorCallback(m_saved); }
    static std::vector<std::string>& Texts() {
        static std::vector<std::string> texts;
        return texts;
    }
    static std::vector<std::string>& Files() {
        static std::vector<std::string> files;
        return files;
    }

  private:
    static void Record(const char* expression, const char* file, int32_t) {
        Texts().push_back(expression);
        Files().push_back(file);
    }
    TnFatalErrorCallback m_saved;
};

// Makes `items` the table of a fresh PrfData while it lives, the process's own object
// set aside (a second object would fail the single-instance assertion).
class TableUnderTest {
  public:
    TableUnderTest() : m_saved(PrfData::sm_pPrfData) { PrfData::sm_pPrfData = nullptr; }
    ~TableUnderTest() {
        if (m_prf && m_attached) m_prf->m_pPrfData = nullptr;  // test memory, not a view
        delete m_prf;
        PrfData::sm_pPrfData = m_saved;
    }
    // Constructs; false when the table check raised.
    bool Construct(PrfItm* items) {
        try {
            m_prf = new PrfData(u"Test", items);
            return true;
        } catch (...) {
            return false;
        }
    }
    // Lays the block out in test memory, headed for first counter index `first`.
    void Attach(std::vector<uint8_t>* block, uint32_t first = 0) {
        m_prf->m_dwFirstCounter = first;
        block->assign(m_prf->ComputeObjectSizes(), 0);
        m_prf->WriteHeaders(block->data());
        m_prf->m_pPrfData = block->data();
        m_attached = true;
    }
    PrfData* operator->() { return m_prf; }
    PrfData* Get() { return m_prf; }

  private:
    PrfData* m_saved;
    PrfData* m_prf = nullptr;
    bool m_attached = false;
};

// Rows of test tables: an object (default counter, instance slots, name capacity),
// a counter (of a type), and the end marker.
inline PrfItm Obj(OBJID id, CTRID def = static_cast<CTRID>(-1), INSTID max = PERF_NO_INSTANCES,
                  uint32_t cch = 0) {
    return {PrfItmObject, id, u"o", u"o", PERF_DETAIL_NOVICE, def, max, cch, 0, 0, 0, 0, 0, 0};
}
inline PrfItm Ctr(CTRID id, uint32_t type = PERF_COUNTER_RAWCOUNT) {
    PrfItm c = Obj(id, static_cast<CTRID>(-1), 0);
    c.PrfItmType = PrfItmCounter;
    c.dwDetailLevel = PERF_DETAIL_EXPERT;
    c.dwCounterType = type;
    return c;
}
inline PrfItm End() {
    return {PrfItmEnd, 0xFFFFFFFFu, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

// A page that faults on every access (null when none can be had), and its release
// (<backend>/no_access_page.cpp).
void* NoAccessPage();
void FreeNoAccessPage(void* page);

// The "Performance" key of a service (driver).
inline std::string Service(const std::string& driver) {
    return "SYSTEM\\CurrentControlSet\\Services\\" + driver + "\\Performance";
}

// Reads a value of a key into data (at most size bytes); false when key or value is absent.
inline bool RegRead(const std::string& path, const std::string& name, void* data, uint32_t size) {
    mvos::RegKey key = nullptr;
    if (mvos::RegOpenKey(mvos::kLocalMachine, path.c_str(), mvos::kKeyRead, &key) != mvos::kOk)
        return false;
    const bool found = mvos::RegQueryValue(key, name.c_str(), nullptr, data, &size) == mvos::kOk;
    mvos::RegCloseKey(key);
    return found;
}
inline bool KeyExists(const std::string& path) {
    mvos::RegKey key = nullptr;
    if (mvos::RegOpenKey(mvos::kLocalMachine, path.c_str(), mvos::kKeyRead, &key) != mvos::kOk)
        return false;
    mvos::RegCloseKey(key);
    return true;
}
// A 32-bit value, 0xDEAD when absent; a text value, "" when absent.
inline uint32_t RegDword(const std::string& path, const std::string& name) {
    uint32_t value = 0xDEAD;
    return RegRead(path, name, &value, sizeof value) ? value : 0xDEAD;
}
inline std::string RegText(const std::string& path, const std::string& name) {
    char text[2100] = {};
    return RegRead(path, name, text, sizeof text - 1) ? text : "";
}

// Creates (or opens) a key with every right.
inline mvos::RegKey CreateKey(const std::string& path) {
    mvos::RegKey key = nullptr;
    EXPECT_EQ(
        mvos::RegCreateKey(mvos::kLocalMachine, path.c_str(), mvos::kKeyAllAccess, &key, nullptr),
        mvos::kOk)
        << path;
    return key;
}

// Writes the service's "Performance" key as a registration leaves it.
inline void WritePerformanceKey(const char* app, uint32_t firstCounter, uint32_t lastCounter,
                                uint32_t firstHelp, uint32_t lastHelp, uint32_t disable = 0) {
    mvos::RegKey key = CreateKey(Service(app));
    const std::pair<const char*, uint32_t> values[] = {{"First Counter", firstCounter},
                                                       {"Last Counter", lastCounter},
                                                       {"First Help", firstHelp},
                                                       {"Last Help", lastHelp},
                                                       {"Disable Performance Counters", disable}};
    for (const auto& v : values)
        ASSERT_EQ(mvos::RegSetValue(key, v.first, mvos::kRegDword, &v.second, 4), mvos::kOk);
    mvos::RegCloseKey(key);
}

}  // namespace prftest

#endif
