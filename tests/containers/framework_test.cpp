// The container framework: defaults of the function table, the iterator's accessors
// and comparison, and the one-entry container.
#include <gtest/gtest.h>

#include <cstring>

#include "containers.h"

namespace {

TEST(ContainerDefaults, TableCopiesKeyAndReportsNoDataPart) {
    TnVContainer c(8, 0);
    EXPECT_EQ(0u, c.count);
    EXPECT_EQ(8u, c.elementSize);
    EXPECT_EQ(nullptr, c.destroyFunc);

    unsigned char src[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    unsigned char dst[12] = {};
    EXPECT_EQ(0, c.copyFunc(&c, dst, nullptr, src, nullptr, nullptr));
    EXPECT_EQ(0, std::memcmp(dst, src, 8));
    EXPECT_EQ(0, dst[8]);  // exactly elementSize bytes

    int rc = 99;
    EXPECT_EQ(src, c.keyFunc(&c, src, &rc, nullptr));
    EXPECT_EQ(0, rc);
    EXPECT_EQ(nullptr, c.datFunc(&c, src, &rc, nullptr));
    EXPECT_EQ(TN_E_NO_DAT, rc);
    EXPECT_EQ(1u, c.flagsFunc(&c, src, &rc, nullptr));
    EXPECT_EQ(0, rc);

    int k = 5, o = 5;
    TnCompareArgs args = {&c, &k, &o, nullptr, src, nullptr, dst, nullptr};
    EXPECT_EQ(0, c.compareFunc(&args));
    EXPECT_EQ(0, k);
    EXPECT_EQ(0, o);
}

TEST(ContainerDefaults, AbstractOperationsAnswerNotImplemented) {
    TnVContainer c;
    TnVIterator it(nullptr, &c);
    EXPECT_EQ(0, c.GetType());
    EXPECT_EQ(nullptr, c.Clone(nullptr));
    EXPECT_EQ(nullptr, c.CreateIterator(nullptr));
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, c.Clear(nullptr, nullptr, nullptr));
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, c.ClearPending(nullptr));
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, c.SearchElement(&it, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, c.InsertElement(&it, nullptr, 0, nullptr));
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, c.DeleteElement(&it, nullptr, 0, nullptr));
    int x;
    EXPECT_EQ(&x, c.GetElementOfEntry(&x));

    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, it.First());
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, it.Next());
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, it.Prior());
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, it.Last());
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, it.SearchElement(&it, nullptr, 0, nullptr));
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, it.InsertElement(&it, nullptr, 0, nullptr));
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, it.UpdateElement(&it, nullptr, 0, nullptr));
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, it.DeleteElement(0, nullptr));
    EXPECT_EQ(nullptr, it.Clone(nullptr));
    int rc = 0;
    EXPECT_EQ(nullptr, it.GetEntry(&rc, nullptr));
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, rc);
    rc = 0;
    EXPECT_EQ(nullptr, it.GetKey(&rc, nullptr));
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, rc);
}

// A copy shares the function table; a derived container may replace entries.
struct CopyableContainer : TnVContainer {
    CopyableContainer() : TnVContainer(4, 2) {}
    CopyableContainer(const CopyableContainer& o) : TnVContainer(o) {}
};

void NoDestroy(TnVContainer*, void*) {}

TEST(ContainerDefaults, CopyConstructorCopiesCountsAndTable) {
    CopyableContainer a;
    a.count = 7;
    a.SetDestroyFunc(NoDestroy);
    CopyableContainer b(a);
    EXPECT_EQ(7u, b.count);
    EXPECT_EQ(4u, b.elementSize);
    EXPECT_EQ(2, b.flags);
    EXPECT_EQ(&NoDestroy, b.destroyFunc);
    EXPECT_EQ(a.compareFunc, b.compareFunc);
}

TEST(Parameter, CopyTakesStartEntryOnly) {
    TnVParameter p;
    EXPECT_EQ(nullptr, p.startEntry);
    EXPECT_EQ(0u, p.paramFlags);
    EXPECT_EQ(0, p.GetType());
    int x;
    p.startEntry = &x;
    p.paramFlags = 1;
    TnVParameter q(p);
    EXPECT_EQ(&x, q.startEntry);
    EXPECT_EQ(0u, q.paramFlags);
    TnVParameter r;
    r.paramFlags = 3;
    r = p;
    EXPECT_EQ(&x, r.startEntry);
    EXPECT_EQ(3u, r.paramFlags);
}

TEST(Iterator, StatesOfConstructionAssignmentAndDestroy) {
    TnVContainer c;
    TnVIterator detached(nullptr);
    EXPECT_EQ(TN_STATE_DETACHED, detached.state);
    TnVIterator nulled(nullptr, nullptr);
    EXPECT_EQ(TN_STATE_DETACHED, nulled.state);

    auto* ctx = reinterpret_cast<TnTransactionContext*>(0x1000);
    TnVIterator it(ctx, &c);
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, it.state);
    it.state = 0;
    it = &c;  // a positioned iterator goes back before the first entry
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, it.state);
    EXPECT_EQ(ctx, it.context);
    it = static_cast<TnVContainer*>(nullptr);
    EXPECT_EQ(TN_STATE_DETACHED, it.state);
    EXPECT_EQ(ctx, it.context);

    TnVIterator copy(ctx, &c);
    copy.state = 0;
    TnVIterator other(copy);
    EXPECT_EQ(0, other.state);
    EXPECT_EQ(&c, other.container);
    other.Destroy();
    EXPECT_EQ(nullptr, other.container);
    EXPECT_EQ(TN_STATE_DETACHED, other.state);
}

TEST(Iterator, GetEntryPartsFollowsTheTable) {
    uint64_t value = 0x1122334455667788ull;
    TnOneEntryContainer one(&value, sizeof value);
    TnOneEntryIterator it(&one, nullptr);

    EXPECT_EQ(0, it.GetEntryParts(&value, nullptr, nullptr, nullptr, nullptr, nullptr));
    void* dat = &value;
    EXPECT_EQ(TN_E_NO_DAT, it.GetEntryParts(&value, nullptr, nullptr, &dat, nullptr, nullptr));
    EXPECT_EQ(nullptr, dat);

    void *element = nullptr, *key = nullptr;
    uint32_t f = 0;
    EXPECT_EQ(TN_E_NO_DAT, it.GetEntryParts(&value, &element, &key, &dat, &f, nullptr));
    EXPECT_EQ(&value, element);
    EXPECT_EQ(&value, key);
    EXPECT_EQ(1u, f);

    // A missing accessor makes the part unavailable.
    one.SetFlagsFunc(nullptr);
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED,
              it.GetEntryParts(&value, nullptr, nullptr, nullptr, &f, nullptr));
    int rc = 0;
    EXPECT_EQ(0u, it.GetFlags(&rc, nullptr));
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, rc);

    // No container: nothing to do.
    TnVIterator none(nullptr);
    EXPECT_EQ(0, none.GetEntryParts(&value, &element, &key, &dat, &f, nullptr));
}

int g_compareCalls = 0;

// Orders 32-bit keys; the probe is the key, the element the stored value.
int CompareInts(TnCompareArgs* a) {
    ++g_compareCalls;
    int p = *static_cast<int*>(a->probeKey);
    int e = *static_cast<int*>(a->element);
    *a->keyResult = (p > e) - (p < e);
    *a->orderResult = *a->keyResult;
    return p == 42 ? -77 : 0;  // 42 simulates a failing comparison
}

TEST(Iterator, CompareElementNegatesAndChecksStates) {
    int mine = 5, theirs = 9;
    TnOneEntryContainer a(&mine, sizeof mine), b(&theirs, sizeof theirs);
    a.SetCompareFunc(CompareInts);
    TnOneEntryIterator ia(&a, nullptr), ib(&b, nullptr);

    int k = 0, o = 0;
    EXPECT_EQ(0, ia.CompareElement(&ib, nullptr, &k, &o, nullptr));
    EXPECT_LT(k, 0);  // this element (5) before the other (9)
    EXPECT_LT(o, 0);

    g_compareCalls = 0;
    ia.Prior();
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, ia.CompareElement(&ib, nullptr, &k, &o, nullptr));
    ia.First();
    ib.Next();
    EXPECT_EQ(TN_STATE_AFTER_LAST, ia.CompareElement(&ib, nullptr, &k, &o, nullptr));
    EXPECT_EQ(0, g_compareCalls);

    ib.First();
    theirs = 42;
    EXPECT_EQ(-77, ia.CompareElement(&ib, nullptr, &k, &o, nullptr));

    // Same element, default compare function: equal.
    TnOneEntryContainer c(&mine, sizeof mine);
    TnOneEntryIterator ic(&c, nullptr), ic2(&c, nullptr);
    k = o = 3;
    EXPECT_EQ(0, ic.CompareElement(&ic2, nullptr, &k, &o, nullptr));
    EXPECT_EQ(0, k);
    EXPECT_EQ(0, o);
}

TEST(OneEntry, TransitionsAndAccessors) {
    int value = 3, dat = 4;
    TnOneEntryContainer one(&value, sizeof value, &dat, 0x55);
    EXPECT_EQ(4, one.GetType());
    EXPECT_EQ(1u, one.count);
    TnOneEntryIterator it(&one, nullptr);
    EXPECT_EQ(4, it.GetType());
    EXPECT_EQ(0, it.state);
    EXPECT_EQ(0, it.First());
    EXPECT_EQ(TN_STATE_AFTER_LAST, it.Next());
    EXPECT_EQ(TN_STATE_AFTER_LAST, it.Next());
    EXPECT_EQ(0, it.Prior());
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, it.Prior());
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, it.Prior());
    EXPECT_EQ(0, it.Next());
    EXPECT_EQ(0, it.Last());

    int rc = -1;
    EXPECT_EQ(&value, it.GetEntry(&rc, nullptr));
    EXPECT_EQ(0, rc);
    EXPECT_EQ(&value, it.GetKey(&rc, nullptr));
    EXPECT_EQ(&dat, it.GetDat(&rc, nullptr));
    EXPECT_EQ(0, rc);
    EXPECT_EQ(0x55u, it.GetFlags(&rc, nullptr));
    EXPECT_EQ(&value, it.GetElement(&rc, nullptr));

    it.Next();
    EXPECT_EQ(nullptr, it.GetEntry(&rc, nullptr));
    EXPECT_EQ(TN_STATE_AFTER_LAST, rc);
    EXPECT_EQ(nullptr, it.GetDat(&rc, nullptr));
    EXPECT_EQ(TN_STATE_AFTER_LAST, rc);

    TnOneEntryIterator result(&one, nullptr);
    EXPECT_EQ(TN_E_NOT_FOUND, one.SearchElement(&it, nullptr, 0, nullptr, &result));
    EXPECT_EQ(TN_STATE_AFTER_LAST, result.state);

    it.Destroy();
    EXPECT_EQ(TN_STATE_DETACHED, it.First());
    EXPECT_EQ(TN_STATE_DETACHED, it.Last());
    EXPECT_EQ(TN_STATE_DETACHED, it.Next());
}

TEST(OneEntry, EmptyContainerAndMissingDat) {
    TnOneEntryContainer empty(nullptr, 4);
    EXPECT_EQ(0u, empty.count);
    TnOneEntryIterator it(&empty, nullptr);
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, it.state);
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, it.First());
    EXPECT_EQ(TN_STATE_AFTER_LAST, it.Last());
    EXPECT_EQ(TN_STATE_AFTER_LAST, it.Next());
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, it.Prior());
    EXPECT_EQ(TN_STATE_AFTER_LAST, it.Next());

    int value = 1;
    TnOneEntryContainer nodat(&value, sizeof value);
    TnOneEntryIterator it2(&nodat, nullptr);
    int rc = 0;
    EXPECT_EQ(nullptr, it2.GetDat(&rc, nullptr));
    EXPECT_EQ(TN_E_NO_DAT, rc);
}

}  // namespace
