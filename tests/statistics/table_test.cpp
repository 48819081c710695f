// The item table, its check, the lookups and the layout of the block.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "prf_fixture.h"

namespace {

using prftest::AssertionRecorder;
using prftest::At;
using prftest::Ctr;
using prftest::End;
using prftest::LocalBlock;
using prftest::Obj;
using prftest::TableUnderTest;

TEST(PrfLayout, BlockOfThisSystemIs1128BytesWithItsHeaders) {
    LocalBlock block(1000, 1001);
    const std::vector<uint8_t>& b = block.Bytes();
    ASSERT_EQ(b.size(), 1128u);
    EXPECT_EQ(PrfData::sm_pPrfData->ObjBytesNeeded(0), 1128u);
    // Default counter 3 is "C/S Requests/sec"; no instances.
    const PERF_OBJECT_TYPE pot = {0, 944, 64, 1000, 0, 1001, 0, 100, 22, 3, -1, 0, 0, 0};
    EXPECT_EQ(std::memcmp(b.data(), &pot, 64), 0);
    const PrfItm* items = MerivanePrfItems();
    for (uint32_t k = 0; k < 22; ++k) {
        const PrfItm& c = items[k + 1];
        const PERF_COUNTER_DEFINITION def = {40, 1002 + 2 * k,   0,   1003 + 2 * k,
                                             0,  c.DefaultScale, 100, c.dwCounterType,
                                             8,  8 + 8 * k};
        EXPECT_EQ(std::memcmp(b.data() + 64 + 40 * k, &def, 40), 0) << k;
    }
    // "Commits/sec" 1004/1005, "ObjDesc_CSQueueLength" at offset 176.
    EXPECT_EQ(At<PERF_COUNTER_DEFINITION>(b.data(), 64 + 40).CounterHelpTitleIndex, 1005u);
    EXPECT_EQ(At<PERF_COUNTER_DEFINITION>(b.data(), 64 + 21 * 40).CounterOffset, 176u);
    EXPECT_EQ(At<uint32_t>(b.data(), 944), 184u);  // the counter block's length word
    for (size_t i = 948; i < b.size(); ++i) ASSERT_EQ(b[i], 0) << i;
    EXPECT_EQ(PrfData::sm_pPrfData->GetCtr32Slot(122, 0),
              reinterpret_cast<const uint32_t*>(b.data() + 944 + 176));
}

std::string FirstFailure(std::vector<PrfItm> items) {
    AssertionRecorder rec;
    TableUnderTest table;
    if (table.Construct(items.data())) return "";
    return rec.Texts().empty() ? "?" : rec.Texts()[0];
}

TEST(PrfTableCheck, EveryBrokenRuleIsReportedWithItsCondition) {
    const std::string detail =
        "(m_pPrfItms[pii].dwDetailLevel == PERF_DETAIL_NOVICE) || "
        "(m_pPrfItms[pii].dwDetailLevel == PERF_DETAIL_ADVANCED) || "
        "(m_pPrfItms[pii].dwDetailLevel == PERF_DETAIL_EXPERT) || "
        "(m_pPrfItms[pii].dwDetailLevel == PERF_DETAIL_WIZARD)";
    std::vector<PrfItm> badObjectLevel = {Obj(1), Ctr(2), End()};
    badObjectLevel[0].dwDetailLevel = 150;
    std::vector<PrfItm> badCounterLevel = {Obj(1), Ctr(2), End()};
    badCounterLevel[1].dwDetailLevel = 0;
    const std::pair<std::vector<PrfItm>, std::string> cases[] = {
        {{Obj(1), Ctr(0), End()}, "m_pPrfItms[pii].dwId != 0"},
        {{Obj(1), Ctr(2), Obj(1), Ctr(3), End()},
         "CvtObjIdToPrfItmIndex((OBJID)(TnPtrWord) m_pPrfItms[pii].dwId) == pii"},
        {{Obj(1, 9), Ctr(2), End()},
         "(m_pPrfItms[pii].DefCounter == (CTRID) -1) || "
         "(CvtCtrIdToPrfItmIndex(m_pPrfItms[pii].DefCounter) != -1)"},
        {{Obj(1, static_cast<CTRID>(-1), 0), Ctr(2), End()},
         "(m_pPrfItms[pii].MaxInstances == (INSTID) PERF_NO_INSTANCES) || "
         "(m_pPrfItms[pii].MaxInstances > 0)"},
        {badObjectLevel, detail},
        {badCounterLevel, detail},
        {{Obj(1), Obj(4), Ctr(5), End()}, "m_pPrfItms[piiCrntObj].NumCounters > 0"},
        {{Ctr(2), Obj(1), End()}, "pii != 0"},
        {{Obj(1), Ctr(2), Ctr(2), End()},
         "CvtCtrIdToPrfItmIndex( (CTRID)(TnPtrWord) m_pPrfItms[pii].dwId) == pii"},
        {{Obj(1), Ctr(1), End()}, ""},  // an object and a counter may share an id
    };
    for (const auto& c : cases) EXPECT_EQ(FirstFailure(c.first), c.second);
}

TEST(PrfTableCheck, BreachesAtRunTimeAreAssertionFailures) {
    AssertionRecorder rec;
    std::vector<PrfItm> items = {Obj(1), Ctr(2), Ctr(3, PERF_COUNTER_RAWCOUNT | PERF_SIZE_LARGE),
                                 End()};
    EXPECT_ANY_THROW(PrfData second(u"Again", items.data()));
    const PrfData* prf = PrfData::sm_pPrfData;
    EXPECT_ANY_THROW(prf->CvtObjOrdToPrfItm(1));
    ObjLayout layout;
    EXPECT_ANY_THROW(prf->GetMetrics(0, 1, &layout));
    {
        TableUnderTest table;
        ASSERT_TRUE(table.Construct(items.data()));
        std::vector<uint8_t> block;
        table.Attach(&block);
        EXPECT_ANY_THROW(table->GetCtr32Slot(3, 0));
        EXPECT_EQ(table->GetCtrSlot(3, 0), block.data() + 144 + 16);
    }
    const std::vector<std::string> texts = {
        "sm_pPrfData == NULL", "IsValidObjOrd(ObjOrd)", "IsValidInstId(ObjOrd, InstId)",
        "(CvtCtrIdToPrfItm(CtrId)->dwCounterType & PERF_MASK_SIZE_FLD) == PERF_SIZE_DWORD"};
    EXPECT_EQ(rec.Texts(), texts);
    EXPECT_EQ(rec.Files()[1], "basics\\src\\prfdata");
    EXPECT_EQ(rec.Files()[3], "basics\\inc\\prfdata");
    EXPECT_EQ(PrfData::sm_pPrfData, prf);
}

}  // namespace
