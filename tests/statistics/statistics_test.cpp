// The statistics counters: local counts, publication rules, and a model check.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "prf_fixture.h"

namespace {

using prftest::AssertionRecorder;
using prftest::LocalBlock;
using S = TnStatistics;

// Starts every test from a zero-filled statistics object and restores it after.
class StatisticsTest : public ::testing::Test {
    prftest::FreshStatistics m_fresh;
};

// Without a block this process writes, Clear only zeroes the counts.
TEST_F(StatisticsTest, ClearWithoutAWritableBlockLeavesTheBlockAlone) {
    LocalBlock block;
    PrfData::sm_pPrfData->m_fWritable = false;
    *PrfData::sm_pPrfData->GetCtr32Slot(111, 0) = 9;
    Statistics()->AddLocks(5);
    Statistics()->Clear();
    EXPECT_EQ(Statistics()->m_Locks, 0);
    EXPECT_EQ(block.Value(111), 9u);
}

// An update checks the counter's size on every call, also on the fast path.
TEST_F(StatisticsTest, AWideCounterFailsTheCheckOnUpdate) {
    LocalBlock block;
    S* s = Statistics();
    s->Clear();
    s->m_enabled = 1;
    PrfItm& clients = MerivanePrfItems()[8];
    const uint32_t type = clients.dwCounterType;
    clients.dwCounterType |= PERF_SIZE_LARGE;
    AssertionRecorder rec;
    EXPECT_ANY_THROW(s->IncClients());
    clients.dwCounterType = type;
    ASSERT_EQ(rec.Texts().size(), 1u);
    EXPECT_EQ(rec.Texts()[0],
              "(CvtCtrIdToPrfItm(CtrId)->dwCounterType & PERF_MASK_SIZE_FLD) == PERF_SIZE_DWORD");
    EXPECT_EQ(rec.Files()[0], "basics\\inc\\prfdata");
    s->IncClients();
    EXPECT_EQ(block.Value(108), 2u);
}

// Every update operation, Clear, and values written into the block behind the
// counters' back, against a model of the counts and of the published slots.
TEST_F(StatisticsTest, AllUpdateFamiliesFollowTheModel) {
    enum Kind { kInc, kDec, kAdd, kDecFloor };
    struct Op {
        CTRID id;
        Kind kind;
        void (S::*step)();
        void (S::*add)(int);
    };
    const std::vector<Op> ops = {
        {101, kInc, &S::IncTransactions, nullptr},
        {101, kDec, &S::DecTransactions, nullptr},
        {102, kInc, &S::IncCommits, nullptr},
        {103, kInc, &S::IncAborts, nullptr},
        {104, kInc, &S::IncCSRequests, nullptr},
        {105, kInc, &S::IncFailedCSRequests, nullptr},
        {106, kInc, &S::IncServerNotifications, nullptr},
        {107, kInc, &S::IncQueries, nullptr},
        {108, kInc, &S::IncClients, nullptr},
        {108, kDec, &S::DecClients, nullptr},
        {109, kInc, &S::IncObjDescs, nullptr},
        {109, kDec, &S::DecObjDescs, nullptr},
        {110, kInc, &S::IncExtents, nullptr},
        {110, kDec, &S::DecExtents, nullptr},
        {111, kInc, &S::IncLocks, nullptr},
        {111, kDec, &S::DecLocks, nullptr},
        {111, kAdd, nullptr, &S::AddLocks},
        {112, kInc, &S::IncWatches, nullptr},
        {112, kDec, &S::DecWatches, nullptr},
        {112, kAdd, nullptr, &S::AddWatches},
        {113, kAdd, nullptr, &S::AddRefreshedObjects},
        {114, kAdd, nullptr, &S::AddDeliveredObjects},
        {115, kInc, &S::IncInternalTransactions, nullptr},
        {116, kAdd, nullptr, &S::AddDeletedObjects},
        {117, kAdd, nullptr, &S::AddUpdatedObjects},
        {118, kAdd, nullptr, &S::AddInsertedObjects},
        {119, kInc, &S::IncWaitingJobs, nullptr},
        {119, kDecFloor, &S::DecWaitingJobs, nullptr},
        {120, kAdd, nullptr, &S::AddObjDescRetryLoops},
        {121, kAdd, nullptr, &S::AddObjDescCSUsedCount},
        {122, kAdd, nullptr, &S::AddObjDescWaitCSCount},
    };
    LocalBlock block;
    S* s = Statistics();
    uint32_t count[23] = {};
    uint32_t slot[23] = {};
    std::mt19937 rng(20261205);
    const int amounts[] = {-1000, -7, -2, -1, 0, 1, 2, 3, 50, 0x7FFFFFFF};
    for (int step = 0; step < 20000; ++step) {
        const uint32_t dice = rng() % 100;
        if (step == 5000 || (s->m_enabled && dice == 0)) {  // Clear, as a successful Enable does
            s->Clear();
            s->m_enabled = 1;
            for (int k = 0; k < 23; ++k) count[k] = slot[k] = 0;
            continue;
        }
        const Op& op = ops[rng() % ops.size()];
        const uint32_t k = op.id - 100;
        if (dice < 5) {  // a value left in the block by someone else
            slot[k] = rng();
            *PrfData::sm_pPrfData->GetCtr32Slot(op.id, 0) = slot[k];
        }
        const int amount = amounts[rng() % (sizeof amounts / sizeof amounts[0])];
        // The count moves by one or by the amount (a waiting-jobs count stops at zero); the
        // slot takes the count, except that an addition of more than one adds to the slot.
        if (op.kind == kDecFloor && static_cast<int32_t>(count[k]) < 1) count[k] = 1;
        count[k] += op.kind == kInc ? 1u : op.kind == kAdd ? static_cast<uint32_t>(amount) : ~0u;
        const bool store = op.kind != kAdd || amount == 1 || amount == -1;
        if (s->m_enabled) slot[k] = store ? count[k] : slot[k] + static_cast<uint32_t>(amount);
        op.step != nullptr ? (s->*op.step)() : (s->*op.add)(amount);
        for (CTRID id = 101; id <= 122; ++id) {
            ASSERT_EQ(static_cast<uint32_t>(*s->CountOf(id)), count[id - 100])
                << "step " << step << " id " << id;
            ASSERT_EQ(block.Value(id), slot[id - 100]) << "step " << step << " id " << id;
        }
    }
    EXPECT_EQ(s->CountOf(100), nullptr);
    EXPECT_EQ(s->CountOf(123), nullptr);
}

}  // namespace
