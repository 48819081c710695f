// The container framework: defaults of the function table, the iterator's accessors
// and comparison, and the one-entry container.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "containers.h"

namespace {

// What an accessor of an iterator answers, with the result it reports.
using Part = std::pair<void*, int>;
using Flags = std::pair<uint32_t, int>;
template <typename T>
std::pair<T, int> Ask(TnVIterator& it, T (TnVIterator::*get)(int*, TnVParameter*)) {
    int rc = 99;
    const T value = (it.*get)(&rc, nullptr);
    return {value, rc};
}

TEST(ContainerDefaults, TableAndAbstractOperations) {
    TnVContainer c(8, 0);
    unsigned char src[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    unsigned char dst[12] = {};
    EXPECT_EQ(0, c.copyFunc(&c, dst, nullptr, src, nullptr, nullptr));
    EXPECT_EQ(0, std::memcmp(dst, src, 8));
    EXPECT_EQ(0, dst[8]);  // exactly elementSize bytes
    int rcKey = 99, rcDat = 99, rcFlags = 99;
    EXPECT_EQ(src, c.keyFunc(&c, src, &rcKey, nullptr));
    EXPECT_EQ(nullptr, c.datFunc(&c, src, &rcDat, nullptr));
    EXPECT_EQ(1u, c.flagsFunc(&c, src, &rcFlags, nullptr));
    EXPECT_EQ((std::vector<int>{0, ERR_TN_NO_DAT, 0}), (std::vector<int>{rcKey, rcDat, rcFlags}));
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
    EXPECT_EQ(Part(nullptr, ERR_TN_NOT_IMPLEMENTED), Ask(it, &TnVIterator::GetKey));
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
    EXPECT_TRUE(element == &value && key == &value && f == 1u);

    // A missing accessor makes the part unavailable.
    one.SetFlagsFunc(nullptr);
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED,
              it.GetEntryParts(&value, nullptr, nullptr, nullptr, &f, nullptr));
    EXPECT_EQ(Flags(0, ERR_TN_NOT_IMPLEMENTED), Ask(it, &TnVIterator::GetFlags));
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
    EXPECT_EQ(Part(&value, 0), Ask(it, &TnVIterator::GetEntry));
    EXPECT_EQ(Part(&value, 0), Ask(it, &TnVIterator::GetKey));
    EXPECT_EQ(Part(&dat, 0), Ask(it, &TnVIterator::GetDat));
    EXPECT_EQ(Flags(0x55, 0), Ask(it, &TnVIterator::GetFlags));
    it.Next();
    EXPECT_EQ(Part(nullptr, ERR_TN_AFTER_LAST), Ask(it, &TnVIterator::GetDat));
    TnOneEntryContainer nodat(&value, sizeof value);
    TnOneEntryIterator it2(&nodat, nullptr);
    EXPECT_EQ(Part(nullptr, ERR_TN_NO_DAT), Ask(it2, &TnVIterator::GetDat));

    TnOneEntryIterator result(&one, nullptr);
    EXPECT_EQ(ERR_TN_NOT_FOUND, one.SearchElement(&it, nullptr, 0, nullptr, &result));
    EXPECT_EQ(ERR_TN_AFTER_LAST, result.state);
    it.Destroy();
    EXPECT_EQ(ERR_TN_DETACHED, it.First());
    EXPECT_EQ(ERR_TN_DETACHED, it.Next());
}

// A container that stores its elements behind a header word: the element of an entry is
// found past the header, and a free entry (header 0) has none. Its iterator walks a
// fixed array of entries and leaves everything else to the base class.
struct Slot {
    uint32_t header;
    int32_t key;
    int32_t dat;
    uint32_t flags;
};

class SlotContainer : public TnVContainer {
  public:
    SlotContainer() : TnVContainer(sizeof(int32_t) * 3, kEqualKeysAllowed) {
        SetKeyFunc(Key);
        SetDatFunc(Dat);
        SetFlagsFunc(Flags);
    }
    SlotContainer(const SlotContainer& other) : TnVContainer(other) {}
    void* GetElementOfEntry(void* entry) override {
        Slot* s = static_cast<Slot*>(entry);
        return s->header != 0 ? &s->key : nullptr;
    }
    // Accessors of the element (&Slot::key); a negative key makes the key and flags
    // accessors fail with -600 and -601, a negative dat the dat accessor with -602.
    static Slot* Of(void* element) {
        return reinterpret_cast<Slot*>(static_cast<unsigned char*>(element) - sizeof(uint32_t));
    }
    static void* Key(TnVContainer*, void* element, int* result, TnVParameter*) {
        *result = Of(element)->key < 0 ? -600 : 0;
        return &Of(element)->key;
    }
    static void* Dat(TnVContainer*, void* element, int* result, TnVParameter*) {
        *result = Of(element)->dat < 0 ? -602 : Of(element)->dat == 0 ? ERR_TN_NO_DAT : 0;
        return Of(element)->dat != 0 ? &Of(element)->dat : nullptr;
    }
    static uint32_t Flags(TnVContainer*, void* element, int* result, TnVParameter*) {
        *result = Of(element)->key < 0 ? -601 : 0;
        return Of(element)->flags;
    }
};

class SlotIterator : public TnVIterator {
  public:
    SlotIterator(SlotContainer* c, Slot* slot) : TnVIterator(nullptr, c), m_slot(slot) {
        state = 0;
    }
    void* GetEntry(int* result, TnVParameter*) override {
        *result = state;
        return state == 0 ? m_slot : nullptr;
    }
    Slot* m_slot;
};

TEST(ContainerDefaults, TypeCodesAndBaseAnswers) {
    TnVParameter p;
    TnVContainer c(4, 0);
    TnVIterator it(nullptr, &c);
    int entry = 0;
    EXPECT_EQ(0, p.GetType());
    EXPECT_EQ(0, c.GetType());
    EXPECT_EQ(nullptr, c.Clone(nullptr));
    EXPECT_EQ(nullptr, c.CreateIterator(nullptr));
    EXPECT_EQ(&entry, c.GetElementOfEntry(&entry));
    EXPECT_EQ(0, it.GetType());
    EXPECT_EQ(nullptr, it.Clone(nullptr));
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED, it.InsertElement(&it, nullptr, 0, nullptr));
    EXPECT_EQ(Part(nullptr, ERR_TN_NOT_IMPLEMENTED), Ask(it, &TnVIterator::GetEntry));
    TnOneEntryContainer one(&entry, sizeof entry);
    TnOneEntryIterator oneIt(&one, nullptr);
    EXPECT_EQ(4, one.GetType());
    EXPECT_EQ(4, oneIt.GetType());

    // A derived container's copy takes the counts and the whole function table.
    SlotContainer slots;
    slots.count = 7;
    slots.SetCompareFunc(CompareInts);
    slots.SetDestroyFunc([](TnVContainer*, void*) {});
    SlotContainer copy(slots);
    EXPECT_EQ(7u, copy.count);
    EXPECT_EQ(slots.elementSize, copy.elementSize);
    EXPECT_EQ(TnVContainer::kEqualKeysAllowed, copy.flags);
    EXPECT_EQ(slots.copyFunc, copy.copyFunc);
    EXPECT_EQ(slots.destroyFunc, copy.destroyFunc);
    EXPECT_EQ(CompareInts, copy.compareFunc);
    EXPECT_EQ(&SlotContainer::Key, copy.keyFunc);
    EXPECT_EQ(&SlotContainer::Dat, copy.datFunc);
    EXPECT_EQ(&SlotContainer::Flags, copy.flagsFunc);
}

// The base accessors go entry -> element -> accessor, and each missing or failing link
// has its own answer.
TEST(Iterator, BaseAccessorsThroughGetElementOfEntry) {
    SlotContainer c;
    Slot used{1, 10, 20, 0x30}, freeSlot{0, 11, 21, 0x31}, failing{1, -1, -1, 0x32};
    SlotIterator it(&c, &used);
    EXPECT_EQ(Part(&used.key, 0), Ask(it, &TnVIterator::GetElement));
    EXPECT_EQ(Part(&used.key, 0), Ask(it, &TnVIterator::GetKey));
    EXPECT_EQ(Part(&used.dat, 0), Ask(it, &TnVIterator::GetDat));
    EXPECT_EQ(Flags(0x30, 0), Ask(it, &TnVIterator::GetFlags));

    // A free entry has no element: -2999 from every accessor.
    it.m_slot = &freeSlot;
    for (auto get : {&TnVIterator::GetElement, &TnVIterator::GetKey, &TnVIterator::GetDat})
        EXPECT_EQ(Part(nullptr, ERR_TN_NOT_IMPLEMENTED), Ask(it, get));
    EXPECT_EQ(Flags(0, ERR_TN_NOT_IMPLEMENTED), Ask(it, &TnVIterator::GetFlags));

    // Not positioned: null with the iterator's state, no accessor called.
    it.m_slot = &failing;
    it.state = ERR_TN_AFTER_LAST;
    EXPECT_EQ(Part(nullptr, ERR_TN_AFTER_LAST), Ask(it, &TnVIterator::GetDat));
    EXPECT_EQ(Flags(0, ERR_TN_AFTER_LAST), Ask(it, &TnVIterator::GetFlags));
    it.state = 0;  // the accessor's own result comes through
    EXPECT_EQ(Flags(0x32, -601), Ask(it, &TnVIterator::GetFlags));

    // Missing accessors.
    it.m_slot = &used;
    c.SetDatFunc(nullptr);
    c.SetKeyFunc(nullptr);
    EXPECT_EQ(Part(nullptr, ERR_TN_NOT_IMPLEMENTED), Ask(it, &TnVIterator::GetDat));
    EXPECT_EQ(Part(nullptr, ERR_TN_NOT_IMPLEMENTED), Ask(it, &TnVIterator::GetKey));
}

TEST(Iterator, GetEntryPartsStopsAtTheFirstFailure) {
    SlotContainer c;
    Slot used{1, 10, 20, 0x30}, freeSlot{0, 11, 21, 0x31}, failing{1, -1, -1, 0x32},
        noDat{1, 5, 0, 0x33};
    SlotIterator it(&c, &used);
    void *element = nullptr, *key = nullptr, *dat = nullptr;
    uint32_t f = 0;
    EXPECT_EQ(0, it.GetEntryParts(&used, &element, &key, &dat, &f, nullptr));
    EXPECT_EQ(&used.key, element);
    EXPECT_EQ(&used.key, key);
    EXPECT_EQ(&used.dat, dat);
    EXPECT_EQ(0x30u, f);
    key = nullptr;
    EXPECT_EQ(0, it.GetEntryParts(&used, nullptr, &key, nullptr, nullptr, nullptr));
    EXPECT_EQ(&used.key, key);
    EXPECT_EQ(ERR_TN_NO_DAT, it.GetEntryParts(&noDat, nullptr, nullptr, &dat, nullptr, nullptr));
    EXPECT_EQ(nullptr, dat);

    // No element: an error only when the element itself was asked for.
    element = key = &f;
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED,
              it.GetEntryParts(&freeSlot, &element, &key, nullptr, nullptr, nullptr));
    EXPECT_EQ(0, it.GetEntryParts(&freeSlot, nullptr, &key, &dat, &f, nullptr));
    EXPECT_EQ(&f, key);  // untouched

    // Failing accessors, in the order key, flags, dat; later parts are left alone.
    f = 0;
    dat = nullptr;
    EXPECT_EQ(-600, it.GetEntryParts(&failing, nullptr, &key, &dat, &f, nullptr));
    EXPECT_EQ(0u, f);
    EXPECT_EQ(-601, it.GetEntryParts(&failing, nullptr, nullptr, &dat, &f, nullptr));
    EXPECT_EQ(nullptr, dat);
    EXPECT_EQ(-602, it.GetEntryParts(&failing, nullptr, nullptr, &dat, nullptr, nullptr));
    c.SetKeyFunc(nullptr);
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED,
              it.GetEntryParts(&used, nullptr, &key, nullptr, nullptr, nullptr));
    c.SetDatFunc(nullptr);
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED,
              it.GetEntryParts(&used, nullptr, nullptr, &dat, nullptr, nullptr));
}

TEST(Iterator, CompareElementPassesOnEachFailure) {
    SlotContainer mine, theirs;
    Slot a{1, 5, 0, 0}, b{1, 9, 7, 0}, failingKey{1, -1, 1, 0}, failingDat{1, 3, -1, 0},
        freeSlot{0, 1, 1, 0};
    mine.SetCompareFunc(CompareInts);
    SlotIterator ia(&mine, &a), ib(&theirs, &b);
    int k = 0, o = 0;
    g_compareCalls = 0;
    EXPECT_EQ(0, ia.CompareElement(&ib, nullptr, &k, &o, nullptr));
    EXPECT_EQ(1, g_compareCalls);
    EXPECT_LT(k, 0);  // 5 before 9
    EXPECT_LT(o, 0);
    ib.m_slot = &a;  // no data part: compared all the same
    k = o = 3;
    EXPECT_EQ(0, ia.CompareElement(&ib, nullptr, &k, &o, nullptr));
    EXPECT_TRUE(k == 0 && o == 0);

    g_compareCalls = 0;
    ib.m_slot = &failingKey;
    EXPECT_EQ(-600, ia.CompareElement(&ib, nullptr, &k, &o, nullptr));
    ib.m_slot = &failingDat;
    EXPECT_EQ(-602, ia.CompareElement(&ib, nullptr, &k, &o, nullptr));
    ib.m_slot = &b;
    ia.m_slot = &freeSlot;
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED, ia.CompareElement(&ib, nullptr, &k, &o, nullptr));
    ia.m_slot = &a;
    mine.SetCompareFunc(nullptr);
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED, ia.CompareElement(&ib, nullptr, &k, &o, nullptr));
    EXPECT_EQ(0, g_compareCalls);
}

}  // namespace
