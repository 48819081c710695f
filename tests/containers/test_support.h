// Shared scaffolding of the container tests: replayable seeds, scaled operation counts
// and a two-level element (key, then order part) with its function table.
#ifndef MV_TESTS_CONTAINERS_TEST_SUPPORT_H
#define MV_TESTS_CONTAINERS_TEST_SUPPORT_H

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "containers.h"

namespace mvtest {

// MVB_TEST_SEED replays a run; otherwise a fresh seed, printed so it can be replayed.
inline unsigned long long TestSeed(const char* name) {
    const char* env = std::getenv("MVB_TEST_SEED");
    unsigned long long seed =
        env != nullptr ? std::strtoull(env, nullptr, 0)
                       : static_cast<unsigned long long>(
                             std::chrono::steady_clock::now().time_since_epoch().count());
    std::printf("[ seed     ] %s: MVB_TEST_SEED=%llu\n", name, seed);
    return seed;
}

// Operation counts: MVB_TEST_OPS_SCALE multiplies them; sanitizer builds run a tenth.
inline long ScaledOps(long ops) {
#if defined(__SANITIZE_ADDRESS__)
    ops /= 10;
#endif
    if (const char* env = std::getenv("MVB_TEST_OPS_SCALE")) ops = long(ops * std::atof(env));
    return ops > 0 ? ops : 1;
}

// An element: the key, the order part (the data part of the table) and an id.
struct Elem {
    int64_t key;
    int64_t ord;
    int64_t id;
};

inline int Sign(int64_t v) {
    return (v > 0) - (v < 0);
}

// Keys first, then order parts; a probe without a data part has order part 0.
inline int CompareElem(TnCompareArgs* a) {
    const int64_t pk = *static_cast<int64_t*>(a->probeKey);
    const int64_t pd = a->probeDat != nullptr ? *static_cast<int64_t*>(a->probeDat) : 0;
    const Elem* e = static_cast<Elem*>(a->element);
    *a->keyResult = Sign(pk - e->key);
    *a->orderResult = *a->keyResult != 0 ? *a->keyResult : Sign(pd - e->ord);
    return 0;
}
inline void* ElemKey(TnVContainer*, void* e, int* rc, TnVParameter*) {
    *rc = 0;
    return &static_cast<Elem*>(e)->key;
}
inline void* ElemDat(TnVContainer*, void* e, int* rc, TnVParameter*) {
    *rc = 0;
    return &static_cast<Elem*>(e)->ord;
}

inline void SetUpTable(TnRBTree& t, TnCompareFunc compare, TnDestroyFunc destroy) {
    t.SetCompareFunc(compare);
    t.SetKeyFunc(ElemKey);
    t.SetDatFunc(ElemDat);
    t.SetDestroyFunc(destroy);
}

inline Elem* ElemOf(void* entry) {
    return static_cast<Elem*>(static_cast<TnRBTreeNode*>(entry)->Element());
}

// A one-entry source standing on a copy of an element, as the tree's operations take it.
struct Source {
    explicit Source(Elem e) : elem(e), one(&elem, sizeof elem, &elem.ord), it(&one, nullptr) {}
    Elem elem;
    TnOneEntryContainer one;
    TnOneEntryIterator it;
};

}  // namespace mvtest

#endif
