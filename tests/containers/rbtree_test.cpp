// The red-black tree container and iterator: duplicate policies, positioning searches,
// change detection, cloning, failures of the function table and of memory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "containers.h"
#include "frame.h"
#include "os/os_testing.h"

namespace {

// Element: a key and a data part; the order is (key, dat).
struct KD {
    int64_t key;
    int64_t dat;
};

long g_compares = 0;
bool g_breakCompare = false;  // makes every comparison unequal (an inconsistent order)
std::vector<int64_t> g_disposed;

int Sign(int64_t v) {
    return (v > 0) - (v < 0);
}

int CompareKD(TnCompareArgs* a) {
    ++g_compares;
    const int64_t pk = *static_cast<int64_t*>(a->probeKey);
    if (pk == -666) return -77;  // a comparison that fails
    const int64_t pd = a->probeDat != nullptr ? *static_cast<int64_t*>(a->probeDat) : 0;
    const KD* e = static_cast<KD*>(a->element);
    *a->keyResult = Sign(pk - e->key);
    *a->orderResult = *a->keyResult != 0 ? *a->keyResult : Sign(pd - e->dat);
    if (g_breakCompare) *a->orderResult = 1;
    return 0;
}
void* KeyKD(TnVContainer*, void* e, int* rc, TnVParameter*) {
    *rc = 0;
    return &static_cast<KD*>(e)->key;
}
void* DatKD(TnVContainer*, void* e, int* rc, TnVParameter*) {
    *rc = 0;
    return &static_cast<KD*>(e)->dat;
}
void DisposeKD(TnVContainer*, void* e) {
    g_disposed.push_back(static_cast<KD*>(e)->key);
}

struct Tree : TnRBTree {
    explicit Tree(uint16_t flags = 0, uint32_t perBlock = 0)
        : TnRBTree(sizeof(KD), flags, perBlock) {
        SetCompareFunc(CompareKD);
        SetKeyFunc(KeyKD);
        SetDatFunc(DatKD);
        SetDestroyFunc(DisposeKD);
        g_disposed.clear();
        g_compares = 0;
        g_breakCompare = false;
    }
    // Inserts (key, dat) through a one-entry source.
    int Add(int64_t key, int64_t dat = 0, uint16_t mode = 0) {
        KD e = {key, dat};
        TnOneEntryContainer one(&e, sizeof e, &e.dat);
        TnOneEntryIterator src(&one, nullptr);
        return InsertElement(&src, nullptr, mode, nullptr);
    }
    int Find(int64_t key, int64_t dat, uint16_t mode, TnRBTreeIterator* result,
             TnVParameter* param = nullptr) {
        KD e = {key, dat};
        TnOneEntryContainer one(&e, sizeof e, &e.dat);
        TnOneEntryIterator src(&one, nullptr);
        return SearchElement(&src, nullptr, mode, param, result);
    }
    int Remove(int64_t key, int64_t dat, uint16_t mode = 0) {
        KD e = {key, dat};
        TnOneEntryContainer one(&e, sizeof e, &e.dat);
        TnOneEntryIterator src(&one, nullptr);
        return DeleteElement(&src, nullptr, mode, nullptr);
    }
};

KD* At(TnVIterator& it) {
    int rc;
    return static_cast<KD*>(it.GetElement(&rc, nullptr));
}

TEST(RBTree, TypesDefaultsAndIteratorCreation) {
    Tree t;
    EXPECT_EQ(1, t.GetType());
    EXPECT_EQ(nullptr, t.Clone(nullptr));
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, t.ClearPending(nullptr));
    EXPECT_EQ(2 * sizeof(void*) + sizeof(KD), t.nodeCache.entrySize);
    TnRBTreeParameter p;
    EXPECT_EQ(1, p.GetType());
    std::unique_ptr<TnVIterator> it(t.CreateIterator(nullptr));
    ASSERT_NE(nullptr, it);
    EXPECT_EQ(1, it->GetType());
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, it->state);
    EXPECT_EQ(&t, it->container);
    t.OutTree(nullptr);
    EXPECT_EQ(0, t.CheckTree(nullptr));
}

TEST(RBTree, UniqueKeysRefuseAndDisposeTheNewElement) {
    Tree t(0);
    ASSERT_EQ(0, t.Add(5, 1));
    const uint32_t changes = t.changeCount;
    EXPECT_EQ(TN_E_DUPLICATE, t.Add(5, 1));
    EXPECT_EQ(TN_E_DUPLICATE, t.Add(5, 2));  // equal key alone is enough with flags 0
    EXPECT_EQ(1u, t.count);
    EXPECT_EQ(changes, t.changeCount);
    EXPECT_EQ((std::vector<int64_t>{5, 5}), g_disposed);
    EXPECT_EQ(0, t.hasEqualKeys);
}

TEST(RBTree, EqualKeysWithDifferentDataUnderFlagsOne) {
    Tree t(1);
    ASSERT_EQ(0, t.Add(5, 1));
    EXPECT_EQ(0, t.hasEqualKeys);
    ASSERT_EQ(0, t.Add(5, 2));
    EXPECT_EQ(1, t.hasEqualKeys);
    EXPECT_EQ(TN_E_DUPLICATE, t.Add(5, 1));
    EXPECT_EQ(2u, t.count);
    // hasEqualKeys stays until Clear, even when the duplicates are gone.
    ASSERT_EQ(0, t.Remove(5, 2));
    EXPECT_EQ(1, t.hasEqualKeys);
    t.Clear(nullptr, nullptr, nullptr);
    EXPECT_EQ(0, t.hasEqualKeys);
}

TEST(RBTree, FullDuplicatesKeepInsertionOrderUnlessAskedFirst) {
    Tree t(2);
    ASSERT_EQ(0, t.Add(1));
    TnRBTreeIterator it(&t, nullptr);
    // Tell equal elements apart by their entries.
    std::vector<void*> entries;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(0, t.Add(7));
        ASSERT_EQ(0, it.Last());
        int rc;
        entries.push_back(it.GetEntry(&rc, nullptr));
    }
    ASSERT_EQ(0, t.Add(9));
    int rc;
    ASSERT_EQ(0, t.Find(7, 0, 0, &it));
    EXPECT_EQ(entries[0], it.GetEntry(&rc, nullptr));
    ASSERT_EQ(0, t.Find(7, 0, TN_MODE_LAST, &it));
    EXPECT_EQ(entries[2], it.GetEntry(&rc, nullptr));

    ASSERT_EQ(0, t.Add(7, 0, TN_MODE_INSERT_FIRST));
    ASSERT_EQ(0, t.Find(7, 0, 0, &it));
    void* fourth = it.GetEntry(&rc, nullptr);
    std::vector<void*> order;
    for (int r = 0; r == 0 && At(it)->key == 7; r = it.Next())
        order.push_back(it.GetEntry(&rc, nullptr));
    EXPECT_EQ((std::vector<void*>{fourth, entries[0], entries[1], entries[2]}), order);

    // Continuing after one of the run: the first entry after all of them.
    TnVParameter p;
    p.startEntry = entries[1];
    ASSERT_EQ(0, t.Find(7, 0, TN_MODE_AFTER_START, &it, &p));
    EXPECT_EQ(9, At(it)->key);
    ASSERT_EQ(0, t.Remove(9, 0));
    ASSERT_EQ(0, t.Find(7, 0, TN_MODE_AFTER_START, &it, &p));  // the run ends the tree
    EXPECT_EQ(TN_STATE_AFTER_LAST, it.state);
    EXPECT_EQ(0, t.CheckTree(nullptr));
}

TEST(RBTree, PositioningSearchesOnMisses) {
    Tree t;
    for (int64_t k : {10, 20, 30}) ASSERT_EQ(0, t.Add(k));
    TnRBTreeIterator it(&t, nullptr);
    EXPECT_EQ(TN_E_NOT_FOUND, t.Find(25, 0, TN_MODE_FLOOR, &it));
    EXPECT_EQ(0, it.state);
    EXPECT_EQ(20, At(it)->key);
    EXPECT_EQ(0, it.Next());
    EXPECT_EQ(30, At(it)->key);
    EXPECT_EQ(TN_E_NOT_FOUND, t.Find(25, 0, TN_MODE_CEILING, &it));
    EXPECT_EQ(30, At(it)->key);
    EXPECT_EQ(0, it.Prior());
    EXPECT_EQ(20, At(it)->key);
    EXPECT_EQ(TN_E_NOT_FOUND, t.Find(25, 0, TN_MODE_CEILING | TN_MODE_FLOOR, &it));
    EXPECT_EQ(30, At(it)->key);  // after wins when both are asked

    EXPECT_EQ(TN_E_NOT_FOUND, t.Find(5, 0, TN_MODE_FLOOR, &it));
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, it.state);
    EXPECT_EQ(0, it.Next());  // from before the first entry
    EXPECT_EQ(10, At(it)->key);
    EXPECT_EQ(TN_E_NOT_FOUND, t.Find(35, 0, TN_MODE_CEILING, &it));
    EXPECT_EQ(TN_STATE_AFTER_LAST, it.state);
    EXPECT_EQ(0, it.Prior());
    EXPECT_EQ(30, At(it)->key);
    EXPECT_EQ(TN_E_NOT_FOUND, t.Find(25, 0, 0, &it));
    EXPECT_EQ(TN_STATE_LOST, it.state);
    EXPECT_EQ(TN_STATE_LOST, it.Next());
    EXPECT_EQ(TN_E_NOT_FOUND, t.Find(25, 0, TN_MODE_FLOOR, nullptr));

    // A result iterator of another tree is refused.
    Tree other;
    TnRBTreeIterator foreign(&other, nullptr);
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, t.Find(10, 0, 0, &foreign));
}

TEST(RBTree, EmptyTreeIteratorStates) {
    Tree t;
    TnRBTreeIterator it(&t, nullptr);
    EXPECT_EQ(TN_STATE_AFTER_LAST, it.Next());
    TnRBTreeIterator it2(&t, nullptr);
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, it2.Prior());
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, it.First());
    EXPECT_EQ(TN_STATE_AFTER_LAST, it.Last());
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, it.Prior());
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, it.DeleteElement(0, nullptr));

    TnRBTreeIterator none(nullptr, nullptr);
    EXPECT_EQ(TN_STATE_DETACHED, none.First());
    EXPECT_EQ(TN_STATE_DETACHED, none.Last());
    EXPECT_EQ(TN_STATE_DETACHED, none.Next());
    EXPECT_EQ(TN_STATE_DETACHED, none.Prior());
}

TEST(RBTree, ChangesInvalidatePositionedIterators) {
    Tree t;
    for (int64_t k = 1; k <= 6; ++k) ASSERT_EQ(0, t.Add(k));
    TnRBTreeIterator a(&t, nullptr), b(&t, nullptr);
    ASSERT_EQ(0, a.First());
    ASSERT_EQ(0, b.Last());

    // Through another iterator: b stays valid, a goes stale.
    ASSERT_EQ(0, b.DeleteElement(TN_MODE_BACKWARDS, nullptr));
    EXPECT_EQ(5, At(b)->key);
    int rc;
    EXPECT_EQ(nullptr, a.GetEntry(&rc, nullptr));
    EXPECT_EQ(TN_E_STALE, rc);
    EXPECT_EQ(TN_E_STALE, a.DeleteElement(0, nullptr));
    EXPECT_EQ(0, a.state);  // the failed deletion leaves the state alone
    EXPECT_EQ(TN_E_STALE, a.Next());
    EXPECT_EQ(TN_STATE_LOST, a.state);
    EXPECT_EQ(TN_STATE_LOST, a.Prior());
    EXPECT_EQ(0, a.First());

    // Through the tree: insertion, deletion and Clear; a refused insertion is no change.
    EXPECT_EQ(TN_E_DUPLICATE, t.Add(3));
    EXPECT_EQ(0, a.Next());
    ASSERT_EQ(0, t.Add(10));
    EXPECT_EQ(TN_E_STALE, a.Prior());
    EXPECT_EQ(0, a.Last());
    ASSERT_EQ(0, t.Remove(1, 0));
    EXPECT_EQ(TN_E_STALE, a.Prior());
    EXPECT_EQ(0, a.First());
    EXPECT_EQ(0, b.First());
    ASSERT_EQ(0, b.DeleteElement1(0, nullptr));
    EXPECT_EQ(TN_E_STALE, a.Next());
    EXPECT_EQ(0, a.First());
    uint32_t former = 0;
    g_disposed.clear();
    ASSERT_EQ(0, t.Clear(nullptr, &former, nullptr));
    EXPECT_EQ(4u, former);
    EXPECT_EQ(4u, g_disposed.size());
    EXPECT_EQ(TN_E_STALE, a.Next());
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, a.First());
}

TEST(RBTree, IteratorDeletionToTheEnds) {
    for (bool fast : {false, true}) {
        Tree t;
        for (int64_t k = 1; k <= 50; ++k) ASSERT_EQ(0, t.Add(k));
        TnRBTreeIterator it(&t, nullptr);
        ASSERT_EQ(0, it.First());
        int64_t expect = 1;
        int r = 0;
        while (r == 0 && it.state == 0) {
            EXPECT_EQ(expect++, At(it)->key);
            r = fast ? it.DeleteElement1(0, nullptr) : it.DeleteElement(0, nullptr);
            ASSERT_EQ(0, t.CheckTree(nullptr));
        }
        EXPECT_EQ(51, expect);
        EXPECT_EQ(0u, t.count);
        EXPECT_EQ(TN_STATE_AFTER_LAST, it.state);

        for (int64_t k = 1; k <= 50; ++k) ASSERT_EQ(0, t.Add(k));
        ASSERT_EQ(0, it.Last());
        expect = 50;
        r = 0;
        while (r == 0) {
            EXPECT_EQ(expect--, At(it)->key);
            r = fast ? it.DeleteElement1(TN_MODE_BACKWARDS, nullptr)
                     : it.DeleteElement(TN_MODE_BACKWARDS, nullptr);
        }
        EXPECT_EQ(0, expect);
        EXPECT_EQ(fast ? TN_STATE_AFTER_LAST : TN_STATE_BEFORE_FIRST, r);
        EXPECT_EQ(r, it.state);
        EXPECT_EQ(nullptr, t.root);
    }
}

TEST(RBTree, FastRemovalOfTheLastKeepsAppendingCorrect) {
    Tree t;
    for (int64_t k = 1; k <= 20; ++k) ASSERT_EQ(0, t.Add(k * 10));
    TnRBTreeIterator it(&t, nullptr);
    ASSERT_EQ(0, it.Last());
    ASSERT_EQ(0, it.DeleteElement1(0, nullptr));
    EXPECT_EQ(TN_STATE_AFTER_LAST, it.state);
    EXPECT_EQ(190, static_cast<KD*>(t.lastEntry->Element())->key);
    ASSERT_EQ(0, t.Add(195));
    ASSERT_EQ(0, t.Add(300));
    EXPECT_EQ(0, t.CheckTree(nullptr));
    ASSERT_EQ(0, it.Last());
    EXPECT_EQ(300, At(it)->key);
    EXPECT_EQ(0, it.Prior());
    EXPECT_EQ(195, At(it)->key);
    EXPECT_EQ(0, it.Prior());
    EXPECT_EQ(190, At(it)->key);
}

TEST(RBTree, DeleteEntryOfAStrangerChangesNothing) {
    Tree t(2);
    ASSERT_EQ(0, t.Add(4));
    ASSERT_EQ(0, t.Add(4));
    int rc;
    TnRBTreeNode* stray = t.CreateEntry(&rc);
    ASSERT_EQ(0, rc);
    *static_cast<KD*>(stray->Element()) = KD{4, 0};  // equal to both, but not in the tree
    EXPECT_EQ(TN_E_NOT_FOUND, t.DeleteEntry(stray, 0, nullptr));
    EXPECT_EQ(TN_E_NOT_FOUND, t.DeleteEntry(stray, TN_MODE_LAST, nullptr));
    EXPECT_EQ(2u, t.count);
    EXPECT_TRUE(g_disposed.empty());
    t.nodeCache.ReturnEntry(stray);
    TnRBTreeIterator it(&t, nullptr);
    ASSERT_EQ(0, it.Last());
    EXPECT_EQ(0, t.DeleteEntry(static_cast<TnRBTreeNode*>(it.GetEntry(&rc, nullptr)), 0, nullptr));
    EXPECT_EQ(1u, t.count);
    EXPECT_EQ(TN_E_NOT_FOUND, t.Remove(5, 0));
}

TEST(RBTree, CloneChecksTheTargetsType) {
    Tree t;
    for (int64_t k = 1; k <= 5; ++k) ASSERT_EQ(0, t.Add(k));
    TnRBTreeIterator it(&t, nullptr);
    ASSERT_EQ(0, it.First());
    ASSERT_EQ(0, it.Next());

    int v = 1;
    TnOneEntryContainer one(&v, sizeof v);
    TnOneEntryIterator wrong(&one, nullptr);
    EXPECT_EQ(nullptr, it.Clone(&wrong));
    EXPECT_EQ(&one, wrong.container);
    EXPECT_EQ(0, wrong.state);

    TnRBTreeIterator target(&t, nullptr);
    EXPECT_EQ(&target, it.Clone(&target));
    EXPECT_EQ(2, At(target)->key);
    EXPECT_EQ(0, target.Next());
    EXPECT_EQ(3, At(target)->key);
    EXPECT_EQ(2, At(it)->key);  // the paths are independent

    std::unique_ptr<TnVIterator> copy(it.Clone(nullptr));
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ(0, copy->Prior());
    EXPECT_EQ(1, At(*copy)->key);
    EXPECT_EQ(2, At(it)->key);
}

TEST(RBTree, FailingComparisonStopsWithNothingLinked) {
    Tree t;
    ASSERT_EQ(0, t.Add(1));
    ASSERT_EQ(0, t.Add(2));
    const uint32_t changes = t.changeCount;
    EXPECT_EQ(-77, t.Add(-666));
    EXPECT_EQ((std::vector<int64_t>{-666}), g_disposed);
    EXPECT_EQ(2u, t.count);
    EXPECT_EQ(changes, t.changeCount);
    TnRBTreeIterator it(&t, nullptr);
    EXPECT_EQ(-77, t.Find(-666, 0, 0, &it));
    EXPECT_EQ(TN_STATE_LOST, it.state);
    EXPECT_EQ(-77, t.Remove(-666, 0));
    EXPECT_EQ(2u, t.count);

    // A copy function that fails: the entry goes back unused.
    t.SetCopyFunc(
        [](TnVContainer*, void*, TnVIterator*, void*, void*, TnVParameter*) { return -88; });
    g_disposed.clear();
    EXPECT_EQ(-88, t.Add(3));
    EXPECT_TRUE(g_disposed.empty());
    EXPECT_EQ(2u, t.count);

    // The source iterator's state is returned.
    KD e = {5, 0};
    TnOneEntryContainer one(&e, sizeof e);
    TnOneEntryIterator src(&one, nullptr);
    src.Next();
    EXPECT_EQ(TN_STATE_AFTER_LAST, t.InsertElement(&src, nullptr, 0, nullptr));
    EXPECT_EQ(TN_STATE_AFTER_LAST, t.SearchElement(&src, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(TN_STATE_AFTER_LAST, t.DeleteElement(&src, nullptr, 0, nullptr));
}

TEST(RBTree, NeighbourNotFoundAgainAfterDeletion) {
    Tree t;
    for (int64_t k = 1; k <= 3; ++k) ASSERT_EQ(0, t.Add(k));
    TnRBTreeIterator it(&t, nullptr);
    ASSERT_EQ(0, it.First());
    // Disposing of the element breaks the order, so the neighbour cannot be found again.
    t.SetDestroyFunc([](TnVContainer*, void*) { g_breakCompare = true; });
    EXPECT_EQ(TN_E_INTERNAL, it.DeleteElement(0, nullptr));
    EXPECT_EQ(TN_STATE_LOST, it.state);
    g_breakCompare = false;
    EXPECT_EQ(2u, t.count);
    EXPECT_EQ(0, it.First());
    EXPECT_EQ(2, At(it)->key);
}

TEST(RBTree, AscendingInsertsCostOneComparisonEach) {
    Tree t(0, 1000);
    ASSERT_EQ(0, t.Add(0));
    for (int64_t k = 1; k < 5000; ++k) {
        const long before = g_compares;
        ASSERT_EQ(0, t.Add(k));
        ASSERT_EQ(1, g_compares - before);
    }
    EXPECT_EQ(0, t.CheckTree(nullptr));
}

TEST(RBTree, CheckTreeFindsCorruption) {
    Tree t;
    for (int64_t k = 1; k <= 7; ++k) ASSERT_EQ(0, t.Add(k));
    ASSERT_EQ(0, t.CheckTree(nullptr));
    t.count = 8;
    EXPECT_EQ(-5, t.CheckTree(nullptr));
    t.count = 7;
    t.root->SetRed();
    EXPECT_EQ(-1, t.CheckTree(nullptr));
    t.root->SetBlack();
    KD* rootElement = static_cast<KD*>(t.root->Element());
    const int64_t saved = rootElement->key;
    rootElement->key = 100;
    EXPECT_EQ(-4, t.CheckTree(nullptr));
    rootElement->key = saved;
    TnRBTreeIterator it(&t, nullptr);
    ASSERT_EQ(0, it.First());
    At(it)->key = -666;                    // the first entry is compared as a probe
    EXPECT_EQ(-77, t.CheckTree(nullptr));  // compare failures are returned
    At(it)->key = 1;
    EXPECT_EQ(0, t.CheckTree(nullptr));
}

int32_t QuietHandler(uint32_t) {
    return 0;
}
void* NoMalloc(size_t) {
    return nullptr;
}

TEST(RBTree, NoMemoryForANewEntry) {
    Tree t(0, 4);
    TnMemoryHandler previous = mmTnSetHandler(QuietHandler);
    {
        mvos::ScopedSyscall<void* (*)(size_t)> fail(&mvos::SyscallTable::malloc, NoMalloc);
        int rc = 0;
        EXPECT_EQ(nullptr, t.CreateEntry(&rc));
        EXPECT_EQ(TN_E_NO_MEMORY, rc);
        EXPECT_EQ(TN_E_NO_MEMORY, t.Add(1));
        std::unique_ptr<TnVIterator> it(t.CreateIterator(nullptr));  // plain new, not the table
    }
    mmTnSetHandler(previous);
    EXPECT_EQ(0u, t.count);
    EXPECT_EQ(0, t.Add(1));
}

TEST(RBTree, HugeElementSizeGetsNoEntry) {
    TnMemoryHandler previous = mmTnSetHandler(QuietHandler);
    for (uint32_t size : {UINT32_MAX, UINT32_MAX - 8}) {
        TnRBTree t(size, 0, 0);
        int rc = 0;
        EXPECT_EQ(nullptr, t.CreateEntry(&rc)) << size;
        EXPECT_EQ(TN_E_NO_MEMORY, rc);
    }
    mmTnSetHandler(previous);
}

TEST(RBTree, DestructionAndClearDisposeEveryElementOnce) {
    {
        Tree t(2, 8);
        for (int64_t k = 0; k < 100; ++k) ASSERT_EQ(0, t.Add(k % 10));
        uint32_t n;
        t.Clear(nullptr, &n, nullptr);
        EXPECT_EQ(100u, n);
        EXPECT_EQ(100u, g_disposed.size());
        g_disposed.clear();
        for (int64_t k = 0; k < 30; ++k) ASSERT_EQ(0, t.Add(k));
        EXPECT_EQ(0, t.Remove(3, 0));
    }
    EXPECT_EQ(30u, g_disposed.size());
}

}  // namespace
