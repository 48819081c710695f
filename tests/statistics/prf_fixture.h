// Shared helpers of the statistics tests.
#ifndef MV_TESTS_STATISTICS_PRF_FIXTURE_H
#define MV_TESTS_STATISTICS_PRF_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "frame.h"
#include "os/os.h"
#include "prfdata.h"

namespace prftest {

// Points the process's performance-data object at a block in test memory, laid out
// and headed for the given title indexes, as an activated writer would see it; puts
// everything back on destruction.
class LocalBlock {
  public:
    explicit LocalBlock(uint32_t firstCounter = 1000, uint32_t firstHelp = 1001)
        : m_prf(PrfData::sm_pPrfData),
          m_savedView(m_prf->m_pPrfData),
          m_savedSize(m_prf->m_cbPrfData),
          m_savedWritable(m_prf->m_fWritable),
          m_savedFirst(m_prf->m_dwFirstCounter),
          m_savedHelp(m_prf->m_dwFirstHelp) {
        m_prf->m_dwFirstCounter = firstCounter;
        m_prf->m_dwFirstHelp = firstHelp;
        m_block.assign(m_prf->ComputeObjectSizes(), 0);
        m_prf->WriteHeaders(m_block.data());
        m_prf->m_pPrfData = m_block.data();
        m_prf->m_cbPrfData = static_cast<uint32_t>(m_block.size());
        m_prf->m_fWritable = true;
    }
    ~LocalBlock() {
        m_prf->m_pPrfData = m_savedView;
        m_prf->m_cbPrfData = m_savedSize;
        m_prf->m_fWritable = m_savedWritable;
        m_prf->m_dwFirstCounter = m_savedFirst;
        m_prf->m_dwFirstHelp = m_savedHelp;
    }
    LocalBlock(const LocalBlock&) = delete;
    LocalBlock& operator=(const LocalBlock&) = delete;

    std::vector<uint8_t>& Bytes() { return m_block; }
    // The 32-bit value published for a counter id (instance 0).
    uint32_t Value(CTRID id) const { return *m_prf->GetCtr32Slot(id, 0); }

  private:
    PrfData* m_prf;
    uint8_t* m_savedView;
    uint32_t m_savedSize;
    bool m_savedWritable;
    uint32_t m_savedFirst;
    uint32_t m_savedHelp;
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

// Writes the service's "Performance" key as a registration leaves it.
inline void WritePerformanceKey(const char* app, uint32_t firstCounter, uint32_t lastCounter,
                                uint32_t firstHelp, uint32_t lastHelp, uint32_t disable = 0) {
    const std::string path =
        std::string("SYSTEM\\CurrentControlSet\\Services\\") + app + "\\Performance";
    mvos::RegKey key = nullptr;
    ASSERT_EQ(
        mvos::RegCreateKey(mvos::kLocalMachine, path.c_str(), mvos::kKeyAllAccess, &key, nullptr),
        mvos::kOk);
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
