// The container framework: defaults of the function table, the iterator's accessors
// and comparison, and the one-entry container.
#include <gtest/gtest.h>

#include <cstring>

#include "containers.h"

namespace {

TEST(ContainerDefaults, TableAndAbstractOperations) {
    TnVContainer c(8, 0);
    unsigned char src[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    unsigned char dst[12] = {};
    EXPECT_EQ(0, c.copyFunc(&c, dst, nullptr, src, nullptr, nullptr));
    EXPECT_EQ(0, std::memcmp(dst, src, 8));
    EXPECT_EQ(0, dst[8]);  // exactly elementSize bytes
    int rc = 99;
    EXPECT_EQ(src, c.keyFunc(&c, src, &rc, nullptr));
    EXPECT_EQ(0, rc);
    EXPECT_EQ(nullptr, c.datFunc(&c, src, &rc, nullptr));
    EXPECT_EQ(ERR_TN_NO_DAT, rc);
    EXPECT_EQ(1u, c.flagsFunc(&c, src, &rc, nullptr));
    EXPECT_EQ(0, rc);
    int k = 5, o = 5;
    TnCompareArgs args = {&c, &k, &o, nullptr, src, nullptr, dst, nullptr};
    EXPECT_EQ(0, c.compareFunc(&args));
    EXPECT_TRUE(k == 0 && o == 0);

    // Abstract operations answer -2999 so that a caller can probe what is supported.
    TnVIterator it(nullptr, &c);
    for (int r :
         {c.Clear(nullptr, nullptr, nullptr), c.ClearPending(nullptr),
          c.SearchElement(&it, nullptr, 0, nullptr, nullptr),
          c.InsertElement(&it, nullptr, 0, nullptr), c.DeleteElement(&it, nullptr, 0, nullptr),
          it.First(), it.Next(), it.Prior(), it.Last(), it.SearchElement(&it, nullptr, 0, nullptr),
          it.UpdateElement(&it, nullptr, 0, nullptr), it.DeleteElement(0, nullptr)}) {
        EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED, r);
    }
    EXPECT_EQ(nullptr, it.GetKey(&rc, nullptr));
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED, rc);
}

TEST(Iterator, ParameterCopyAndStatesOfAttachment) {
    TnVParameter p;
    int x;
    p.startEntry = &x;
    p.paramFlags = 1;
    TnVParameter q(p), r;
    r.paramFlags = 3;
    r = p;  // startEntry only: the flag word stays
    EXPECT_EQ(&x, q.startEntry);
    EXPECT_EQ(0u, q.paramFlags);
    EXPECT_EQ(&x, r.startEntry);
    EXPECT_EQ(3u, r.paramFlags);

    TnVContainer c;
    EXPECT_EQ(ERR_TN_DETACHED, TnVIterator(nullptr, nullptr).state);
    auto* ctx = reinterpret_cast<TnTransactionContext*>(0x1000);
    TnVIterator it(ctx, &c);
    EXPECT_EQ(ERR_TN_BEFORE_FIRST, it.state);
    it.state = 0;
    it = &c;  // a positioned iterator goes back before the first entry
    EXPECT_EQ(ERR_TN_BEFORE_FIRST, it.state);
    it = static_cast<TnVContainer*>(nullptr);
    EXPECT_EQ(ERR_TN_DETACHED, it.state);
    EXPECT_EQ(ctx, it.context);
    it = &c;
    it.Destroy();
    EXPECT_EQ(nullptr, it.container);
    EXPECT_EQ(ERR_TN_DETACHED, it.state);
}

TEST(Iterator, GetEntryPartsFollowsTheTable) {
    uint64_t value = 0x1122334455667788ull;
    TnOneEntryContainer one(&value, sizeof value);
    TnOneEntryIterator it(&one, nullptr);
    void *element = nullptr, *key = nullptr, *dat = &value;
    uint32_t f = 0;
    EXPECT_EQ(0, it.GetEntryParts(&value, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERR_TN_NO_DAT, it.GetEntryParts(&value, nullptr, nullptr, &dat, nullptr, nullptr));
    EXPECT_EQ(nullptr, dat);
    EXPECT_EQ(ERR_TN_NO_DAT, it.GetEntryParts(&value, &element, &key, &dat, &f, nullptr));
    EXPECT_EQ(&value, element);
    EXPECT_EQ(&value, key);
    EXPECT_EQ(1u, f);

    // A missing accessor makes the part unavailable.
    one.SetFlagsFunc(nullptr);
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED,
              it.GetEntryParts(&value, nullptr, nullptr, nullptr, &f, nullptr));
    int rc = 0;
    EXPECT_EQ(0u, it.GetFlags(&rc, nullptr));
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED, rc);
    TnVIterator none(nullptr);  // no container: nothing to do
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
    EXPECT_EQ(ERR_TN_BEFORE_FIRST, ia.CompareElement(&ib, nullptr, &k, &o, nullptr));
    ia.First();
    ib.Next();
    EXPECT_EQ(ERR_TN_AFTER_LAST, ia.CompareElement(&ib, nullptr, &k, &o, nullptr));
    EXPECT_EQ(0, g_compareCalls);
    ib.First();
    theirs = 42;
    EXPECT_EQ(-77, ia.CompareElement(&ib, nullptr, &k, &o, nullptr));

    // Same element, default compare function: equal.
    TnOneEntryIterator ib2(&b, nullptr);
    k = o = 3;
    EXPECT_EQ(0, ib.CompareElement(&ib2, nullptr, &k, &o, nullptr));
    EXPECT_TRUE(k == 0 && o == 0);
}

TEST(OneEntry, TransitionsAndAccessors) {
    int value = 3, dat = 4;
    TnOneEntryContainer one(&value, sizeof value, &dat, 0x55), empty(nullptr, 4);
    EXPECT_EQ(1u, one.count);
    EXPECT_EQ(0u, empty.count);
    TnOneEntryIterator it(&one, nullptr), none(&empty, nullptr);
    EXPECT_EQ(0, it.state);
    EXPECT_EQ(ERR_TN_BEFORE_FIRST, none.state);
    // Each row: a move, then the states reached over the full and the empty container.
    struct Step {
        int (TnVIterator::*move)();
        int full, emptyState;
    };
    const Step steps[] = {
        {&TnVIterator::First, 0, ERR_TN_BEFORE_FIRST},
        {&TnVIterator::Next, ERR_TN_AFTER_LAST, ERR_TN_AFTER_LAST},
        {&TnVIterator::Next, ERR_TN_AFTER_LAST, ERR_TN_AFTER_LAST},
        {&TnVIterator::Prior, 0, ERR_TN_BEFORE_FIRST},
        {&TnVIterator::Prior, ERR_TN_BEFORE_FIRST, ERR_TN_BEFORE_FIRST},
        {&TnVIterator::Next, 0, ERR_TN_AFTER_LAST},
        {&TnVIterator::Last, 0, ERR_TN_AFTER_LAST},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(s.full, (it.*s.move)());
        EXPECT_EQ(s.emptyState, (none.*s.move)());
    }
    int rc = -1;
    EXPECT_EQ(&value, it.GetEntry(&rc, nullptr));
    EXPECT_EQ(&value, it.GetKey(&rc, nullptr));
    EXPECT_EQ(&dat, it.GetDat(&rc, nullptr));
    EXPECT_EQ(0, rc);
    EXPECT_EQ(0x55u, it.GetFlags(&rc, nullptr));
    it.Next();
    EXPECT_EQ(nullptr, it.GetDat(&rc, nullptr));
    EXPECT_EQ(ERR_TN_AFTER_LAST, rc);

    TnOneEntryContainer nodat(&value, sizeof value);
    TnOneEntryIterator it2(&nodat, nullptr);
    EXPECT_EQ(nullptr, it2.GetDat(&rc, nullptr));
    EXPECT_EQ(ERR_TN_NO_DAT, rc);

    TnOneEntryIterator result(&one, nullptr);
    EXPECT_EQ(ERR_TN_NOT_FOUND, one.SearchElement(&it, nullptr, 0, nullptr, &result));
    EXPECT_EQ(ERR_TN_AFTER_LAST, result.state);
    it.Destroy();
    EXPECT_EQ(ERR_TN_DETACHED, it.First());
    EXPECT_EQ(ERR_TN_DETACHED, it.Next());
}

}  // namespace
