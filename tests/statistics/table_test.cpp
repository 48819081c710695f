// The item table, its check, the lookups and the layout of the block.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "prf_fixture.h"
#include "prfdata.h"

namespace {

using prftest::AssertionRecorder;
using prftest::LocalBlock;
using prftest::TableUnderTest;

std::u16string Wide(const char* s) {
    return std::u16string(s, s + std::strlen(s));
}

PERF_OBJECT_TYPE Header(const std::vector<uint8_t>& block, size_t at = 0) {
    PERF_OBJECT_TYPE pot;
    std::memcpy(&pot, block.data() + at, sizeof pot);
    return pot;
}
PERF_COUNTER_DEFINITION Definition(const std::vector<uint8_t>& block, uint32_t ord) {
    PERF_COUNTER_DEFINITION def;
    std::memcpy(&def, block.data() + 64 + 40 * ord, sizeof def);
    return def;
}

TEST(PrfItemTable, HoldsTheObjectAndItsCountersInIdOrder) {
    struct Row {
        const char* name;
        int32_t scale;
        bool rate;
    };
    const Row rows[] = {
        {"Transactions", 0, false},
        {"Commits/sec", -1, true},
        {"Aborts/sec", 0, true},
        {"C/S Requests/sec", -1, true},
        {"C/S Failed Requests/sec", 0, true},
        {"Server Notifications/sec", 0, true},
        {"Queries/sec", 0, true},
        {"Clients", 0, false},
        {"Object Descriptions", -2, false},
        {"Extents", 0, false},
        {"Locks", -1, false},
        {"Watches", 0, false},
        {"RefreshedObjects/sec", -1, true},
        {"DeliveredObjects/sec", -2, true},
        {"Internal Transactions/sec", -1, true},
        {"DeletedObjects/sec", 1, true},
        {"UpdatedObjects/sec", 1, true},
        {"InsertedObjects/sec", 1, true},
        {"Waiting Jobs/sec", 1, false},
        {"ObjDesc_RetryLoops/sec", 1, true},
        {"ObjDesc_CSUsedCount", 0, false},
        {"ObjDesc_CSQueueLength", 0, false},
    };
    const PrfData* prf = PrfData::sm_pPrfData;
    ASSERT_NE(prf, nullptr);
    EXPECT_EQ(prf->m_NumItems, 23u);
    EXPECT_EQ(prf->m_NumObjects, 1u);
    EXPECT_EQ(std::u16string(prf->m_pszAppName), u"Merivane");
    const PrfItm* items = MerivanePrfItems();
    EXPECT_EQ(items[0].PrfItmType, uint32_t{PrfItmObject});
    EXPECT_EQ(items[0].dwId, 100u);
    EXPECT_EQ(std::u16string(items[0].pszName), u"Merivane");
    EXPECT_EQ(std::u16string(items[0].pszHelp),
              u"The Merivane runtime system performance counters");
    EXPECT_EQ(items[0].DefCounter, 104u);
    EXPECT_EQ(items[0].MaxInstances, static_cast<INSTID>(PERF_NO_INSTANCES));
    EXPECT_EQ(items[0].NumCounters, 22u);
    EXPECT_EQ(items[0].NextObjIndex, -1);
    for (uint32_t k = 1; k <= 22; ++k) {
        SCOPED_TRACE(k);
        const PrfItm& c = items[k];
        EXPECT_EQ(c.PrfItmType, uint32_t{PrfItmCounter});
        EXPECT_EQ(c.dwId, 100 + k);
        EXPECT_EQ(std::u16string(c.pszName), Wide(rows[k - 1].name));
        EXPECT_EQ(c.DefaultScale, rows[k - 1].scale);
        EXPECT_EQ(c.dwCounterType, rows[k - 1].rate ? PERF_COUNTER_COUNTER : PERF_COUNTER_RAWCOUNT);
        EXPECT_EQ(c.dwDetailLevel, PERF_DETAIL_NOVICE);
        EXPECT_EQ(c.DefCounter, static_cast<CTRID>(-1));
        EXPECT_EQ(c.MaxInstances, 0u);
        EXPECT_NE(std::u16string(c.pszHelp).size(), 0u);
    }
    EXPECT_EQ(std::u16string(items[9].pszHelp),
              u"The number of currently used object descriptions. This number indicates how "
              u"many different persistent objects are used by all clients together.");
    EXPECT_EQ(items[23].PrfItmType, uint32_t{PrfItmEnd});
    EXPECT_EQ(items[23].dwId, 0xFFFFFFFFu);
}

TEST(PrfItemTable, LookupsFindItemsOfTheirOwnKindOnly) {
    const PrfData* prf = PrfData::sm_pPrfData;
    EXPECT_EQ(prf->CvtObjIdToPrfItmIndex(100), 0);
    EXPECT_EQ(prf->CvtObjIdToPrfItmIndex(101), -1);
    CTRORD ord = 99;
    EXPECT_EQ(prf->CvtCtrIdToPrfItmIndex(104, &ord), 4);
    EXPECT_EQ(ord, 3u);
    EXPECT_EQ(prf->CvtCtrIdToPrfItmIndex(101, &ord), 1);
    EXPECT_EQ(ord, 0u);
    EXPECT_EQ(prf->CvtCtrIdToPrfItmIndex(100), -1);
    EXPECT_EQ(prf->CvtCtrIdToPrfItmIndex(123), -1);
    EXPECT_EQ(prf->CvtCtrIdToPrfItm(122)->dwId, 122u);
    EXPECT_EQ(prf->CvtObjIdToPrfItm(100), MerivanePrfItems());
    EXPECT_EQ(prf->CvtObjOrdToPrfItm(0), MerivanePrfItems());
    EXPECT_EQ(prf->CvtObjIdToObjOrd(100), 0u);
    EXPECT_EQ(prf->CvtCtrIdToObjOrd(122), 0u);
    EXPECT_TRUE(prf->IsValidInstId(0, 0));
    EXPECT_FALSE(prf->IsValidInstId(0, 1));
    EXPECT_FALSE(prf->IsValidInstId(1, 0));
    EXPECT_EQ(prf->GetNumInstances(0), 0u);
}

TEST(PrfItemTable, InvalidOrdinalsAreAssertionFailures) {
    const PrfData* prf = PrfData::sm_pPrfData;
    AssertionRecorder rec;
    EXPECT_ANY_THROW(prf->CvtObjOrdToPrfItm(1));
    ObjLayout layout;
    EXPECT_ANY_THROW(prf->GetMetrics(0, 1, &layout));
    ASSERT_EQ(rec.Texts().size(), 2u);
    EXPECT_EQ(rec.Texts()[0], "IsValidObjOrd(ObjOrd)");
    EXPECT_EQ(rec.Texts()[1], "IsValidInstId(ObjOrd, InstId)");
    EXPECT_EQ(rec.Files()[0], "basics\\src\\prfdata");
}

TEST(PrfLayout, BlockOfThisSystemIs1128BytesWithItsHeaders) {
    LocalBlock block(1000, 1001);
    const std::vector<uint8_t>& b = block.Bytes();
    ASSERT_EQ(b.size(), 1128u);
    EXPECT_EQ(PrfData::sm_pPrfData->ObjBytesNeeded(0), 1128u);
    EXPECT_EQ(MerivanePrfItems()[0].cbObject, 1128u);

    const PERF_OBJECT_TYPE pot = Header(b);
    EXPECT_EQ(pot.TotalByteLength, 0u);
    EXPECT_EQ(pot.DefinitionLength, 64u + 22 * 40);
    EXPECT_EQ(pot.HeaderLength, 64u);
    EXPECT_EQ(pot.ObjectNameTitleIndex, 1000u);
    EXPECT_EQ(pot.ObjectHelpTitleIndex, 1001u);
    EXPECT_EQ(pot.ObjectNameTitle, 0u);
    EXPECT_EQ(pot.DetailLevel, 100u);
    EXPECT_EQ(pot.NumCounters, 22u);
    EXPECT_EQ(pot.DefaultCounter, 3);
    EXPECT_EQ(pot.NumInstances, -1);
    EXPECT_EQ(pot.CodePage, 0u);
    EXPECT_EQ(pot.PerfTime, 0);
    EXPECT_EQ(pot.PerfFreq, 0);

    const PERF_COUNTER_DEFINITION transactions = Definition(b, 0);
    EXPECT_EQ(transactions.ByteLength, 40u);
    EXPECT_EQ(transactions.CounterOffset, 8u);
    EXPECT_EQ(transactions.CounterSize, 8u);
    EXPECT_EQ(transactions.CounterNameTitleIndex, 1002u);
    const PERF_COUNTER_DEFINITION commits = Definition(b, 1);
    EXPECT_EQ(commits.CounterNameTitleIndex, 1004u);
    EXPECT_EQ(commits.CounterHelpTitleIndex, 1005u);
    EXPECT_EQ(commits.DefaultScale, -1);
    EXPECT_EQ(commits.CounterType, PERF_COUNTER_COUNTER);
    EXPECT_EQ(commits.DetailLevel, 100u);
    const PERF_COUNTER_DEFINITION queue = Definition(b, 21);
    EXPECT_EQ(queue.CounterOffset, 176u);
    EXPECT_EQ(queue.CounterNameTitleIndex, 1044u);
    EXPECT_EQ(queue.CounterHelpTitleIndex, 1045u);

    uint32_t length = 0;
    std::memcpy(&length, b.data() + 944, 4);
    EXPECT_EQ(length, 184u);
    for (size_t i = 948; i < b.size(); ++i) ASSERT_EQ(b[i], 0) << i;
}

TEST(PrfLayout, CounterSlotsFollowTheCounterBlockHead) {
    LocalBlock block;
    uint8_t* base = block.Bytes().data();
    const PrfData* prf = PrfData::sm_pPrfData;
    EXPECT_EQ(prf->GetCtrSlot(101, 0), base + 944 + 8);
    EXPECT_EQ(prf->GetCtr32Slot(122, 0), reinterpret_cast<uint32_t*>(base + 944 + 176));
    ObjLayout layout;
    PrfItm* obj = nullptr;
    prf->GetMetrics(0, 0, &layout, &obj);
    EXPECT_EQ(obj, MerivanePrfItems());
    EXPECT_EQ(layout.fSupportsInstances, 0u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(layout.pPOT), base);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(layout.pPCD), base + 64);
    EXPECT_EQ(layout.cbPCD, 880u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(layout.pPCB), base + 944);
    EXPECT_EQ(layout.cbPCB, 184u);
    EXPECT_EQ(layout.pPID, nullptr);
    EXPECT_EQ(layout.pPIN, nullptr);
}

// ---------------------------------------------------------------- table check

PrfItm Obj(OBJID id, CTRID def = static_cast<CTRID>(-1), INSTID max = PERF_NO_INSTANCES,
           uint32_t cch = 0) {
    return {PrfItmObject, id, u"o", u"o", PERF_DETAIL_NOVICE, def, max, cch, 0, 0, 0, 0, 0, 0};
}
PrfItm Ctr(CTRID id, uint32_t type = PERF_COUNTER_RAWCOUNT) {
    return {PrfItmCounter,
            id,
            u"c",
            u"c",
            PERF_DETAIL_EXPERT,
            static_cast<CTRID>(-1),
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            type};
}
PrfItm End() {
    return {PrfItmEnd, 0xFFFFFFFFu, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

std::string FirstFailure(std::vector<PrfItm> items) {
    AssertionRecorder rec;
    TableUnderTest table;
    bool ok = table.Construct(items.data());
    if (ok) return "";
    return rec.Texts().empty() ? "?" : rec.Texts()[0];
}

TEST(PrfTableCheck, AcceptsAWellFormedTableAndLinksItsObjects) {
    std::vector<PrfItm> items = {Obj(1, 3), Ctr(2), Ctr(3), Obj(4), Ctr(5), End()};
    TableUnderTest table;
    ASSERT_TRUE(table.Construct(items.data()));
    EXPECT_EQ(PrfData::sm_pPrfData, table.Get());
    EXPECT_EQ(table->m_NumItems, 5u);
    EXPECT_EQ(table->m_NumObjects, 2u);
    EXPECT_EQ(items[0].NumCounters, 2u);
    EXPECT_EQ(items[0].NextObjIndex, 3);
    EXPECT_EQ(items[3].NumCounters, 1u);
    EXPECT_EQ(items[3].NextObjIndex, -1);
    EXPECT_EQ(table->CvtObjOrdToPrfItm(1), &items[3]);
    EXPECT_EQ(table->CvtObjIdToObjOrd(4), 1u);
    EXPECT_EQ(table->CvtCtrIdToObjOrd(5), 1u);
    CTRORD ord = 9;
    EXPECT_EQ(table->CvtCtrIdToPrfItmIndex(5, &ord), 4);
    EXPECT_EQ(ord, 0u);
    std::vector<uint8_t> block(table->ComputeObjectSizes());
    EXPECT_EQ(block.size(), (64u + 80 + 24) + (64u + 40 + 16));
    table->m_dwFirstCounter = 2000;
    table->WriteHeaders(block.data());
    EXPECT_EQ(Header(block).DefaultCounter, 1);
    EXPECT_EQ(Header(block, 168).ObjectNameTitleIndex, 2006u);
    EXPECT_EQ(Header(block, 168).DefaultCounter, -1);
}

TEST(PrfTableCheck, EveryBrokenRuleIsReportedWithItsCondition) {
    const std::string detail =
        "(m_pPrfItms[pii].dwDetailLevel == PERF_DETAIL_NOVICE) || "
        "(m_pPrfItms[pii].dwDetailLevel == PERF_DETAIL_ADVANCED) || "
        "(m_pPrfItms[pii].dwDetailLevel == PERF_DETAIL_EXPERT) || "
        "(m_pPrfItms[pii].dwDetailLevel == PERF_DETAIL_WIZARD)";
    EXPECT_EQ(FirstFailure({Obj(1), Ctr(0), End()}), "m_pPrfItms[pii].dwId != 0");
    EXPECT_EQ(FirstFailure({Obj(1), Ctr(2), Obj(1), Ctr(3), End()}),
              "CvtObjIdToPrfItmIndex((OBJID)(TnPtrWord) m_pPrfItms[pii].dwId) == pii");
    EXPECT_EQ(FirstFailure({Obj(1, 9), Ctr(2), End()}),
              "(m_pPrfItms[pii].DefCounter == (CTRID) -1) || "
              "(CvtCtrIdToPrfItmIndex(m_pPrfItms[pii].DefCounter) != -1)");
    EXPECT_EQ(FirstFailure({Obj(1, static_cast<CTRID>(-1), 0), Ctr(2), End()}),
              "(m_pPrfItms[pii].MaxInstances == (INSTID) PERF_NO_INSTANCES) || "
              "(m_pPrfItms[pii].MaxInstances > 0)");
    std::vector<PrfItm> badObjectLevel = {Obj(1), Ctr(2), End()};
    badObjectLevel[0].dwDetailLevel = 150;
    EXPECT_EQ(FirstFailure(badObjectLevel), detail);
    std::vector<PrfItm> badCounterLevel = {Obj(1), Ctr(2), End()};
    badCounterLevel[1].dwDetailLevel = 0;
    EXPECT_EQ(FirstFailure(badCounterLevel), detail);
    EXPECT_EQ(FirstFailure({Obj(1), Obj(4), Ctr(5), End()}),
              "m_pPrfItms[piiCrntObj].NumCounters > 0");
    EXPECT_EQ(FirstFailure({Ctr(2), Obj(1), End()}), "pii != 0");
    EXPECT_EQ(FirstFailure({Obj(1), Ctr(2), Ctr(2), End()}),
              "CvtCtrIdToPrfItmIndex( (CTRID)(TnPtrWord) m_pPrfItms[pii].dwId) == pii");
    // The same id may name an object and a counter: they are looked up apart.
    EXPECT_EQ(FirstFailure({Obj(1), Ctr(1), End()}), "");
}

TEST(PrfTableCheck, ASecondObjectIsRefused) {
    std::vector<PrfItm> items = {Obj(1), Ctr(2), End()};
    AssertionRecorder rec;
    EXPECT_ANY_THROW(PrfData second(u"Again", items.data()));
    ASSERT_EQ(rec.Texts().size(), 1u);
    EXPECT_EQ(rec.Texts()[0], "sm_pPrfData == NULL");
    EXPECT_NE(PrfData::sm_pPrfData, nullptr);
}

TEST(PrfTableCheck, The32BitSlotRefusesWiderCounters) {
    std::vector<PrfItm> items = {Obj(1), Ctr(2), Ctr(3, PERF_COUNTER_RAWCOUNT | PERF_SIZE_LARGE),
                                 End()};
    TableUnderTest table;
    ASSERT_TRUE(table.Construct(items.data()));
    std::vector<uint8_t> block;
    table.Attach(&block);
    EXPECT_EQ(table->GetCtr32Slot(2, 0), reinterpret_cast<uint32_t*>(block.data() + 144 + 8));
    AssertionRecorder rec;
    EXPECT_ANY_THROW(table->GetCtr32Slot(3, 0));
    ASSERT_EQ(rec.Texts().size(), 1u);
    EXPECT_EQ(rec.Texts()[0],
              "(CvtCtrIdToPrfItm(CtrId)->dwCounterType & PERF_MASK_SIZE_FLD) == PERF_SIZE_DWORD");
    EXPECT_EQ(rec.Files()[0], "basics\\inc\\prfdata");
    EXPECT_EQ(table->GetCtrSlot(3, 0), block.data() + 144 + 16);
}

// ---------------------------------------------------------------- instances

TEST(PrfLayout, ObjectsWithInstancesKeepDefinitionsBlocksAndNamesApart) {
    // Object 1: no instances, 2 counters (168 bytes). Object 10: 3 slots, names of
    // up to 5 characters, 2 counters: 144 + 3 x (24 + 24 + 10) = 318 bytes.
    std::vector<PrfItm> items = {Obj(1),  Ctr(2),  Ctr(3), Obj(10, 12, 3, 5),
                                 Ctr(11), Ctr(12), End()};
    TableUnderTest table;
    ASSERT_TRUE(table.Construct(items.data()));
    std::vector<uint8_t> block;
    table.Attach(&block);
    ASSERT_EQ(block.size(), 168u + 318u);
    uint8_t* base = block.data();

    ObjLayout l;
    table->GetMetrics(1, 2, &l);
    EXPECT_EQ(l.fSupportsInstances, 1u);
    EXPECT_EQ(l.MaxInstances, 3u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(l.pPOT), base + 168);
    const uint8_t* defsEnd = base + 168 + 144;
    EXPECT_EQ(reinterpret_cast<uint8_t*>(l.pPID), defsEnd + 48);
    EXPECT_EQ(l.cbPID, 24u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(l.pPCB), defsEnd + 72 + 48);
    EXPECT_EQ(l.cbPCB, 24u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(l.pPIN), defsEnd + 3 * 48 + 20);
    EXPECT_EQ(l.cbPIN, 10u);
    EXPECT_TRUE(table->IsValidInstId(1, 2));
    EXPECT_FALSE(table->IsValidInstId(1, 3));

    // Counter blocks of every slot carry their length; names start empty.
    for (INSTID s = 0; s < 3; ++s) {
        table->GetMetrics(1, s, &l);
        EXPECT_EQ(l.pPCB->ByteLength, 24u);
        EXPECT_EQ(l.pPIN[0], 0);
    }
    EXPECT_EQ(Header(block, 168).NumInstances, 3);
    EXPECT_EQ(table->GetNumInstances(1), 0u);
    EXPECT_EQ(table->ObjBytesNeeded(1), 144u);

    // Slot 0 "ab" (3 characters with terminator, padded to 4), slot 2 "abcd" (5 -> 6).
    table->GetMetrics(1, 0, &l);
    std::memcpy(l.pPIN, u"ab", 6);
    table->GetMetrics(1, 2, &l);
    std::memcpy(l.pPIN, u"abcd", 10);
    EXPECT_EQ(table->GetNumInstances(1), 2u);
    EXPECT_EQ(table->ObjBytesNeeded(1), 144u + (24 + 24 + 8) + (24 + 24 + 12));
    EXPECT_EQ(table->GetCtrSlot(12, 2), reinterpret_cast<uint8_t*>(l.pPCB) + 16);
}

}  // namespace
