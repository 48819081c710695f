// The statistics counters: local counts, publication rules, and a model check.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "prf_fixture.h"
#include "statistics.h"

namespace {

using prftest::LocalBlock;

// Starts every test from a zero-filled statistics object and restores it after.
class StatisticsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_saved = *Statistics();
        *Statistics() = TnStatistics{};
    }
    void TearDown() override { *Statistics() = m_saved; }
    // As a successful Enable leaves it: counts and published values 0, enabled.
    void EnableOn(LocalBlock&) {
        Statistics()->Clear();
        Statistics()->m_enabled = 1;
    }
    TnStatistics m_saved;
};

TEST_F(StatisticsTest, StartsDisabledAndCountsWithoutPublishing) {
    TnStatistics* s = Statistics();
    EXPECT_EQ(s, Statistics());
    LocalBlock block;
    s->IncCommits();
    s->IncCommits();
    s->IncCommits();
    EXPECT_EQ(s->m_Commits, 3);
    EXPECT_EQ(block.Value(102), 0u);
    s->AddLocks(5);
    EXPECT_EQ(s->m_Locks, 5);
    EXPECT_EQ(block.Value(111), 0u);
    EXPECT_EQ(s->m_enabled, 0);
}

TEST_F(StatisticsTest, EnableWithoutRegistrationLeavesStatisticsDisabled) {
    TnStatistics* s = Statistics();
    s->IncCommits();
    s->Enable();
    EXPECT_EQ(s->m_enabled, 0);
    EXPECT_EQ(s->m_Commits, 1);
}

TEST_F(StatisticsTest, IncrementsAndDecrementsStoreTheCount) {
    LocalBlock block;
    EnableOn(block);
    TnStatistics* s = Statistics();
    s->IncClients();
    s->IncClients();
    s->DecClients();
    EXPECT_EQ(s->m_Clients, 1);
    EXPECT_EQ(block.Value(108), 1u);
    // A value written behind the counter's back is replaced by the next store.
    *PrfData::sm_pPrfData->GetCtr32Slot(101, 0) = 77;
    s->DecTransactions();
    EXPECT_EQ(block.Value(101), 0xFFFFFFFFu);
    EXPECT_EQ(s->m_Transactions, -1);
}

TEST_F(StatisticsTest, WaitingJobsNeverFallBelowZero) {
    LocalBlock block;
    EnableOn(block);
    TnStatistics* s = Statistics();
    s->DecWaitingJobs();
    EXPECT_EQ(s->m_WaitingJobs, 0);
    EXPECT_EQ(block.Value(119), 0u);
    s->m_WaitingJobs = -7;
    s->DecWaitingJobs();
    EXPECT_EQ(s->m_WaitingJobs, 0);
    for (int i = 0; i < 5; ++i) s->IncWaitingJobs();
    s->DecWaitingJobs();
    EXPECT_EQ(s->m_WaitingJobs, 4);
    EXPECT_EQ(block.Value(119), 4u);
}

TEST_F(StatisticsTest, AddOfOneStoresAndOtherAmountsAddToTheSlot) {
    LocalBlock block;
    EnableOn(block);
    TnStatistics* s = Statistics();
    uint32_t* slot = PrfData::sm_pPrfData->GetCtr32Slot(111, 0);
    *slot = 100;  // as if another writer had left a value
    s->AddLocks(1);
    EXPECT_EQ(*slot, 1u);
    *slot = 100;
    s->AddLocks(-1);
    EXPECT_EQ(s->m_Locks, 0);
    EXPECT_EQ(*slot, 0u);
    *slot = 100;
    s->AddLocks(5);
    EXPECT_EQ(s->m_Locks, 5);
    EXPECT_EQ(*slot, 105u);
    s->AddLocks(-3);
    EXPECT_EQ(*slot, 102u);
    s->AddDeletedObjects(0);
    EXPECT_EQ(s->m_DeletedObjects, 0);
    EXPECT_EQ(block.Value(116), 0u);
}

TEST_F(StatisticsTest, ClearZeroesEveryCountAndEveryPublishedValue) {
    LocalBlock block;
    EnableOn(block);
    TnStatistics* s = Statistics();
    for (CTRID id = 101; id <= 122; ++id) {
        *s->CountOf(id) = static_cast<int32_t>(id);
        *PrfData::sm_pPrfData->GetCtr32Slot(id, 0) = id * 3;
    }
    s->Clear();
    for (CTRID id = 101; id <= 122; ++id) {
        SCOPED_TRACE(id);
        EXPECT_EQ(*s->CountOf(id), 0);
        EXPECT_EQ(block.Value(id), 0u);
    }
    EXPECT_EQ(s->CountOf(100), nullptr);
    EXPECT_EQ(s->CountOf(123), nullptr);
    // The counter block's length word is not a value.
    uint32_t length = 0;
    std::memcpy(&length, block.Bytes().data() + 944, 4);
    EXPECT_EQ(length, 184u);
}

TEST_F(StatisticsTest, ClearWithoutAWritableBlockOnlyZeroesTheCounts) {
    TnStatistics* s = Statistics();
    s->m_Queries = 4;
    s->Clear();
    EXPECT_EQ(s->m_Queries, 0);
}

// Every update operation against a model of the count and of the published slot.
TEST_F(StatisticsTest, AllUpdateFamiliesFollowTheModel) {
    enum Kind { kInc, kDec, kAdd, kDecFloor };
    struct Op {
        CTRID id;
        Kind kind;
        std::function<void(TnStatistics*, int)> run;
    };
    using S = TnStatistics;
    const std::vector<Op> ops = {
        {101, kInc, [](S* s, int) { s->IncTransactions(); }},
        {101, kDec, [](S* s, int) { s->DecTransactions(); }},
        {102, kInc, [](S* s, int) { s->IncCommits(); }},
        {103, kInc, [](S* s, int) { s->IncAborts(); }},
        {104, kInc, [](S* s, int) { s->IncCSRequests(); }},
        {105, kInc, [](S* s, int) { s->IncFailedCSRequests(); }},
        {106, kInc, [](S* s, int) { s->IncServerNotifications(); }},
        {107, kInc, [](S* s, int) { s->IncQueries(); }},
        {108, kInc, [](S* s, int) { s->IncClients(); }},
        {108, kDec, [](S* s, int) { s->DecClients(); }},
        {109, kInc, [](S* s, int) { s->IncObjDescs(); }},
        {109, kDec, [](S* s, int) { s->DecObjDescs(); }},
        {110, kInc, [](S* s, int) { s->IncExtents(); }},
        {110, kDec, [](S* s, int) { s->DecExtents(); }},
        {111, kInc, [](S* s, int) { s->IncLocks(); }},
        {111, kDec, [](S* s, int) { s->DecLocks(); }},
        {111, kAdd, [](S* s, int n) { s->AddLocks(n); }},
        {112, kInc, [](S* s, int) { s->IncWatches(); }},
        {112, kDec, [](S* s, int) { s->DecWatches(); }},
        {112, kAdd, [](S* s, int n) { s->AddWatches(n); }},
        {113, kAdd, [](S* s, int n) { s->AddRefreshedObjects(n); }},
        {114, kAdd, [](S* s, int n) { s->AddDeliveredObjects(n); }},
        {115, kInc, [](S* s, int) { s->IncInternalTransactions(); }},
        {116, kAdd, [](S* s, int n) { s->AddDeletedObjects(n); }},
        {117, kAdd, [](S* s, int n) { s->AddUpdatedObjects(n); }},
        {118, kAdd, [](S* s, int n) { s->AddInsertedObjects(n); }},
        {119, kInc, [](S* s, int) { s->IncWaitingJobs(); }},
        {119, kDecFloor, [](S* s, int) { s->DecWaitingJobs(); }},
        {120, kAdd, [](S* s, int n) { s->AddObjDescRetryLoops(n); }},
        {121, kAdd, [](S* s, int n) { s->AddObjDescCSUsedCount(n); }},
        {122, kAdd, [](S* s, int n) { s->AddObjDescWaitCSCount(n); }},
    };
    LocalBlock block;
    TnStatistics* s = Statistics();
    uint32_t count[23] = {};
    uint32_t slot[23] = {};
    std::mt19937 rng(20261205);
    const int amounts[] = {-1000, -7, -2, -1, 0, 1, 2, 3, 50, 0x7FFFFFFF};
    for (int step = 0; step < 20000; ++step) {
        if (step == 5000) {  // what a successful Enable does
            s->Clear();
            s->m_enabled = 1;
            for (int k = 0; k < 23; ++k) count[k] = slot[k] = 0;
        }
        const Op& op = ops[rng() % ops.size()];
        const int amount = amounts[rng() % (sizeof amounts / sizeof amounts[0])];
        const uint32_t k = op.id - 100;
        bool store = true;
        switch (op.kind) {
            case kInc:
                count[k] += 1;
                break;
            case kDec:
                count[k] -= 1;
                break;
            case kDecFloor:
                if (static_cast<int32_t>(count[k]) < 1) count[k] = 1;
                count[k] -= 1;
                break;
            case kAdd:
                count[k] += static_cast<uint32_t>(amount);
                store = amount == 1 || amount == -1;
                if (!store && s->m_enabled) slot[k] += static_cast<uint32_t>(amount);
                break;
        }
        if (store && s->m_enabled) slot[k] = count[k];
        op.run(s, amount);
        for (CTRID id = 101; id <= 122; ++id) {
            ASSERT_EQ(static_cast<uint32_t>(*s->CountOf(id)), count[id - 100])
                << "step " << step << " id " << id;
            ASSERT_EQ(block.Value(id), slot[id - 100]) << "step " << step << " id " << id;
        }
    }
}

}  // namespace
