// The collector entry points over a block in test memory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "prf_fixture.h"

namespace {

using prftest::At;
using prftest::Collect;
using prftest::Ctr;
using prftest::End;
using prftest::kNothing;
using prftest::kWholeBlock;
using prftest::LocalBlock;
using prftest::Obj;
using prftest::Outcome;
using prftest::TableUnderTest;

TEST(PrfCollect, GlobalInAnyCaseAndTitleIndexListsSelectTheObject) {
    LocalBlock block(1000, 1001);
    *PrfData::sm_pPrfData->GetCtr32Slot(108, 0) = 5;
    for (const char16_t* request : {u"Global", u"global", u"GLOBAL", u"1000", u"238 1000 2"}) {
        std::vector<uint8_t> out(2000, 0xCC);
        EXPECT_EQ(Collect(request, out, 2000), kWholeBlock);
        const auto pot = At<PERF_OBJECT_TYPE>(out.data());
        EXPECT_EQ(pot.TotalByteLength, 1128u);
        EXPECT_EQ(pot.NumInstances, -1);
        EXPECT_EQ(std::memcmp(out.data() + 4, block.Bytes().data() + 4, 1124), 0);
        EXPECT_EQ(out[1128], 0xCC);  // nothing written past the object
    }
    std::vector<uint8_t> out(2000);
    for (const char16_t* none : {u"1002", u"1001", u"10000", u"", u"Costly", u"Globals"})
        EXPECT_EQ(Collect(none, out, 2000), kNothing);
    // One byte short: more data is asked for, and nothing is written.
    std::vector<uint8_t> exact(1128, 0xCC);
    EXPECT_EQ(Collect(u"Global", exact, 1127), (Outcome{234, 0, 0, 0}));
    EXPECT_EQ(exact[0], 0xCC);
    EXPECT_EQ(Collect(u"Global", exact, 1128), kWholeBlock);
}

TEST(PrfCollect, WithoutABlockOrWithAFaultNothingIsCollected) {
    std::vector<uint8_t> out(2000, 0xCC);
    ASSERT_EQ(PrfData::sm_pPrfData->m_pPrfData, nullptr);
    EXPECT_EQ(PrfData_Close(), 0u);
    EXPECT_EQ(Collect(u"Global", out, 2000), kNothing);

    LocalBlock block;
    void* page = prftest::NoAccessPage();
    ASSERT_NE(page, nullptr);
    PrfData::sm_pPrfData->m_pPrfData = static_cast<uint8_t*>(page);  // unreadable
    EXPECT_EQ(Collect(u"Global", out, 2000), kNothing);
    PrfData::sm_pPrfData->m_pPrfData = block.Bytes().data();  // the next one works again
    EXPECT_EQ(Collect(u"Global", out, 2000), kWholeBlock);
    prftest::FreeNoAccessPage(page);
}

// Two objects with instances: the parent (2 slots, names of up to 4 characters) and
// the child (3 slots, up to 5), one counter each, first title index 500.
class InstanceCollect : public ::testing::Test {
  protected:
    void SetUp() override {
        m_items = {Obj(1, kNone, 2, 4), Ctr(2), Obj(10, kNone, 3, 5), Ctr(11), End()};
        ASSERT_TRUE(m_table.Construct(m_items.data()));
        m_table.Attach(&m_block, 500);
        // Parent: slot 1 "pa". Child: slot 0 "ab" with parent (object 1, slot 1), slot 2 "abcd".
        Name(0, 1, u"pa", 3);
        Name(1, 2, u"abcd", 5);
        ObjLayout l = Name(1, 0, u"ab", 3);
        l.pPID->ParentObjectTitleIndex = 1;
        l.pPID->ParentObjectInstance = 1;
        *reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(l.pPCB) + 8) = 42;
    }
    // Names an instance slot (without a unique id).
    ObjLayout Name(OBJORD ord, INSTID slot, const char16_t* name, size_t chars) {
        ObjLayout l;
        m_table->GetMetrics(ord, slot, &l);
        std::memcpy(l.pPIN, name, 2 * chars);
        l.pPID->UniqueID = PERF_NO_UNIQUE_ID;
        return l;
    }
    static constexpr CTRID kNone = static_cast<CTRID>(-1);
    std::vector<PrfItm> m_items;
    TableUnderTest m_table;
    std::vector<uint8_t> m_block;
};

TEST_F(InstanceCollect, SlotsAreLaidOutApartAndPackedInTheCopy) {
    // Parent: 64 + 40 + 2 x (24 + 16 + 8) = 200 bytes; child: 64 + 40 + 3 x (24 + 16 + 10).
    ASSERT_EQ(m_block.size(), 200u + 254u);
    const uint8_t* defsEnd = m_block.data() + 200 + 104;
    ObjLayout l;
    m_table->GetMetrics(1, 2, &l);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(l.pPID), defsEnd + 2 * 24);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(l.pPCB), defsEnd + 3 * 24 + 2 * 16);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(l.pPIN), defsEnd + 3 * (24 + 16) + 2 * 10);
    EXPECT_EQ(l.cbPIN, 10u);
    EXPECT_EQ(l.pPCB->ByteLength, 16u);
    EXPECT_FALSE(m_table->IsValidInstId(1, 3));
    EXPECT_EQ(m_table->GetNumInstances(1), 2u);

    // In use: parent 104 + (24 + 16 + 8); child 104 + (24 + 16 + 8) + (24 + 16 + 12).
    ASSERT_EQ(m_table->ObjBytesNeeded(0), 152u);
    ASSERT_EQ(m_table->ObjBytesNeeded(1), 204u);
    std::vector<uint8_t> out(400, 0xCC);
    EXPECT_EQ(Collect(u"504", out, 400), (Outcome{0, 356, 2, 356}));  // the child brings its parent
    auto pot = At<PERF_OBJECT_TYPE>(out.data());
    EXPECT_EQ(pot.ObjectNameTitleIndex, 500u);
    EXPECT_EQ(pot.DefaultCounter, -1);
    EXPECT_EQ(pot.NumInstances, 1);
    pot = At<PERF_OBJECT_TYPE>(out.data(), 152);
    EXPECT_EQ(pot.ObjectNameTitleIndex, 504u);
    EXPECT_EQ(pot.TotalByteLength, 204u);
    EXPECT_EQ(pot.NumInstances, 2);

    // Each instance: its definition (the parent as title index and position in the
    // copy), its name padded to 4 bytes, its counter block.
    const uint8_t* inst = out.data() + 152 + 104;
    const PERF_INSTANCE_DEFINITION ab = {32, 500, 0, PERF_NO_UNIQUE_ID, 24, 6};
    const PERF_INSTANCE_DEFINITION abcd = {36, 0, 0, PERF_NO_UNIQUE_ID, 24, 10};
    const uint32_t counterBlock[] = {16, 0, 42};
    EXPECT_EQ(std::memcmp(inst, &ab, 24), 0);
    EXPECT_EQ(std::memcmp(inst + 24, u"ab\0", 8), 0);
    EXPECT_EQ(std::memcmp(inst + 32, counterBlock, sizeof counterBlock), 0);
    EXPECT_EQ(std::memcmp(inst + 48, &abcd, 24), 0);
    EXPECT_EQ(std::memcmp(inst + 72, u"abcd\0", 12), 0);
    EXPECT_EQ(out[356], 0xCC);
}

std::string g_box;
int RecordBox(const char* title, uint32_t style, const char* text) {
    g_box = std::string(title) + "|" + std::to_string(style & 0xF0u) + "|" + text;
    return mvos::kIdOk;
}

TEST_F(InstanceCollect, AnUnknownParentObjectTurnsIntoAnEmptyResult) {
    ObjLayout l;
    m_table->GetMetrics(1, 2, &l);
    l.pPID->ParentObjectTitleIndex = 77;
    std::vector<uint8_t> out(400, 0xCC);
    const mvos::BoxPresenter saved = mvos::SetBoxPresenter(&RecordBox);
    EXPECT_EQ(Collect(u"Global", out, 400), kNothing);
    mvos::SetBoxPresenter(saved);
    // Titled "Assertion Failed", with the stop icon (0x10).
    EXPECT_EQ(g_box,
              "Assertion Failed|16|File basics\\src\\prfdata, line 816 : Object ID Not in list");
}

}  // namespace
