// The collector entry points over a block in test memory.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>
#include <string>
#include <vector>

#include "prf_fixture.h"
#include "statistics.h"

namespace {

using prftest::LocalBlock;
using prftest::TableUnderTest;

struct Result {
    uint32_t status;
    uint32_t bytes;
    uint32_t objects;
    ptrdiff_t advanced;
};

Result Collect(const char16_t* request, std::vector<uint8_t>& out, uint32_t room) {
    std::u16string name(request);
    void* data = out.data();
    uint32_t bytes = room;
    uint32_t objects = 77;
    uint32_t status = PrfData_Collect(name.data(), &data, &bytes, &objects);
    return {status, bytes, objects, static_cast<uint8_t*>(data) - out.data()};
}

// Checks all four outputs of one collection.
void ExpectResult(const Result& r, uint32_t status, uint32_t bytes, uint32_t objects,
                  ptrdiff_t advanced) {
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.bytes, bytes);
    EXPECT_EQ(r.objects, objects);
    EXPECT_EQ(r.advanced, advanced);
}

TEST(PrfCollect, GlobalInAnyCaseCopiesTheWholeObject) {
    LocalBlock block;
    *PrfData::sm_pPrfData->GetCtr32Slot(108, 0) = 5;
    for (const char16_t* request : {u"Global", u"global", u"GLOBAL"}) {
        std::vector<uint8_t> out(2000, 0xCC);
        Result r = Collect(request, out, 2000);
        ExpectResult(r, 0u, 1128u, 1u, 1128);
        PERF_OBJECT_TYPE pot;
        std::memcpy(&pot, out.data(), sizeof pot);
        EXPECT_EQ(pot.TotalByteLength, 1128u);
        EXPECT_EQ(pot.NumInstances, -1);
        EXPECT_EQ(std::memcmp(out.data() + 4, block.Bytes().data() + 4, 1124), 0);
        EXPECT_EQ(out[1128], 0xCC);  // nothing written past the object
    }
}

TEST(PrfCollect, TitleIndexListsSelectObjectsByTheirNameIndex) {
    LocalBlock block(1000, 1001);
    std::vector<uint8_t> out(2000);
    EXPECT_EQ(Collect(u"1000", out, 2000).objects, 1u);
    EXPECT_EQ(Collect(u"238 1000 2", out, 2000).objects, 1u);
    EXPECT_EQ(Collect(u"10000", out, 2000).objects, 0u);
    for (const char16_t* none : {u"1002", u"1001", u"100", u"", u"Costly", u"Globals"}) {
        Result r = Collect(none, out, 2000);
        ExpectResult(r, 0u, 0u, 0u, 0);
    }
}

TEST(PrfCollect, TooSmallABufferAsksForMoreData) {
    LocalBlock block;
    std::vector<uint8_t> out(1128, 0xCC);
    Result r = Collect(u"Global", out, 1127);
    ExpectResult(r, 234u, 0u, 0u, 0);
    EXPECT_EQ(out[0], 0xCC);
    r = Collect(u"Global", out, 1128);
    ExpectResult(r, 0u, 1128u, 1u, 1128);
}

TEST(PrfCollect, WithoutABlockNothingIsCollected) {
    ASSERT_EQ(PrfData::sm_pPrfData->m_pPrfData, nullptr);
    EXPECT_EQ(PrfData_Close(), 0u);
    std::vector<uint8_t> out(2000);
    Result r = Collect(u"Global", out, 2000);
    ExpectResult(r, 0u, 0u, 0u, 0);
}

TEST(PrfCollect, AFaultInsideIsTurnedIntoAnEmptyResult) {
    LocalBlock block;
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(page, MAP_FAILED);
    PrfData::sm_pPrfData->m_pPrfData = static_cast<uint8_t*>(page);  // unreadable
    std::vector<uint8_t> out(2000, 0xCC);
    Result r = Collect(u"Global", out, 2000);
    ExpectResult(r, 0u, 0u, 0u, 0);
    // The next collection works again.
    PrfData::sm_pPrfData->m_pPrfData = block.Bytes().data();
    EXPECT_EQ(Collect(u"Global", out, 2000).bytes, 1128u);
    munmap(page, 4096);
}

// Two objects; the second has instances whose parent is an instance of the first.
class InstanceCollect : public ::testing::Test {
  protected:
    void SetUp() override {
        m_items = {
            {PrfItmObject, 1, u"p", u"p", PERF_DETAIL_NOVICE, static_cast<CTRID>(-1), 2, 4, 0, 0, 0,
             0, 0, 0},
            {PrfItmCounter, 2, u"c", u"c", PERF_DETAIL_NOVICE, static_cast<CTRID>(-1), 0, 0, 0, 0,
             0, 0, 0, PERF_COUNTER_RAWCOUNT},
            {PrfItmObject, 10, u"o", u"o", PERF_DETAIL_NOVICE, static_cast<CTRID>(-1), 3, 5, 0, 0,
             0, 0, 0, 0},
            {PrfItmCounter, 11, u"c", u"c", PERF_DETAIL_NOVICE, static_cast<CTRID>(-1), 0, 0, 0, 0,
             0, 0, 0, PERF_COUNTER_RAWCOUNT},
            {PrfItmEnd, 0xFFFFFFFFu, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        };
        ASSERT_TRUE(m_table.Construct(m_items.data()));
        m_table.Attach(&m_block, 500);
        // Parent object: slot 1 "pa" in use, slot 0 free.
        Name(0, 1, u"pa", 3);
        // Child object: slot 0 "ab" with parent (object 1, slot 1); slot 2 "abcd".
        Name(1, 0, u"ab", 3);
        Name(1, 2, u"abcd", 5);
        ObjLayout l;
        m_table->GetMetrics(1, 0, &l);
        l.pPID->ParentObjectTitleIndex = 1;
        l.pPID->ParentObjectInstance = 1;
        l.pPID->UniqueID = PERF_NO_UNIQUE_ID;
        *reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(l.pPCB) + 8) = 42;
        m_table->GetMetrics(1, 2, &l);
        l.pPID->UniqueID = PERF_NO_UNIQUE_ID;
        m_table->GetMetrics(0, 1, &l);
        l.pPID->UniqueID = PERF_NO_UNIQUE_ID;
    }
    void Name(OBJORD ord, INSTID slot, const char16_t* name, size_t chars) {
        ObjLayout l;
        m_table->GetMetrics(ord, slot, &l);
        std::memcpy(l.pPIN, name, 2 * chars);
    }
    std::vector<PrfItm> m_items;
    TableUnderTest m_table;
    std::vector<uint8_t> m_block;
};

TEST_F(InstanceCollect, ChildObjectBringsItsParentAndInstancesArePacked) {
    // Parent: 64 + 40 + one instance (24 + 16 + 8). Child: 64 + 40 + (24 + 16 + 8) + (24 + 16 +
    // 12).
    ASSERT_EQ(m_table->ObjBytesNeeded(0), 152u);
    ASSERT_EQ(m_table->ObjBytesNeeded(1), 204u);
    std::vector<uint8_t> out(400, 0xCC);
    Result r = Collect(u"504", out, 400);  // the child's name index: 500 + 2 x 2
    ASSERT_EQ(r.status, 0u);
    EXPECT_EQ(r.objects, 2u);
    EXPECT_EQ(r.bytes, 356u);
    EXPECT_EQ(r.advanced, 356);

    PERF_OBJECT_TYPE pot;
    std::memcpy(&pot, out.data(), sizeof pot);
    EXPECT_EQ(pot.ObjectNameTitleIndex, 500u);
    EXPECT_EQ(pot.NumInstances, 1);
    EXPECT_EQ(pot.TotalByteLength, 152u);
    std::memcpy(&pot, out.data() + 152, sizeof pot);
    EXPECT_EQ(pot.ObjectNameTitleIndex, 504u);
    EXPECT_EQ(pot.NumInstances, 2);

    const uint8_t* inst = out.data() + 152 + 104;
    PERF_INSTANCE_DEFINITION pid;
    std::memcpy(&pid, inst, sizeof pid);
    EXPECT_EQ(pid.ByteLength, 32u);
    EXPECT_EQ(pid.ParentObjectTitleIndex, 500u);
    EXPECT_EQ(pid.ParentObjectInstance, 0u);  // the parent's first instance in the copy
    EXPECT_EQ(pid.NameOffset, 24u);
    EXPECT_EQ(pid.NameLength, 6u);
    EXPECT_EQ(std::memcmp(inst + 24, u"ab\0", 8), 0);
    uint32_t word = 0;
    std::memcpy(&word, inst + 32, 4);
    EXPECT_EQ(word, 16u);  // the counter block's length
    std::memcpy(&word, inst + 40, 4);
    EXPECT_EQ(word, 42u);
    std::memcpy(&pid, inst + 48, sizeof pid);
    EXPECT_EQ(pid.ByteLength, 36u);
    EXPECT_EQ(pid.ParentObjectTitleIndex, 0u);
    EXPECT_EQ(std::memcmp(inst + 72, u"abcd\0", 12), 0);
    EXPECT_EQ(out[356], 0xCC);
}

std::string g_boxTitle;
std::string g_boxText;
uint32_t g_boxStyle = 0;
int RecordBox(const char* title, uint32_t style, const char* text) {
    g_boxTitle = title;
    g_boxText = text;
    g_boxStyle = style;
    return mvos::kIdOk;
}

TEST_F(InstanceCollect, AnUnknownParentObjectTurnsIntoAnEmptyResult) {
    ObjLayout l;
    m_table->GetMetrics(1, 2, &l);
    l.pPID->ParentObjectTitleIndex = 77;
    std::vector<uint8_t> out(400, 0xCC);
    const mvos::BoxPresenter saved = mvos::SetBoxPresenter(&RecordBox);
    Result r = Collect(u"Global", out, 400);
    mvos::SetBoxPresenter(saved);
    ExpectResult(r, 0, 0, 0, 0);
    EXPECT_EQ(g_boxTitle, "Assertion Failed");
    EXPECT_EQ(g_boxText, "File basics\\src\\prfdata, line 816 : Object ID Not in list");
    EXPECT_EQ(g_boxStyle & 0xF0u, 0x10u);  // the stop icon
}

}  // namespace
