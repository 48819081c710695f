// The red-black tree container against std::multimap<int64_t, int64_t>: an element of
// an 8-byte key and 8-byte data, compared through the container's function table.
// Each benchmark runs one phase over 1M keys; the "ns/op" counter is per key.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "containers.h"

namespace {

constexpr int64_t kKeys = 1000000;

struct Element {
    int64_t key;
    int64_t data;
};

int CompareKeys(TnCompareArgs* a) {
    const int64_t p = *static_cast<const int64_t*>(a->probeKey);
    const int64_t e = static_cast<const Element*>(a->element)->key;
    const int r = (p > e) - (p < e);
    *a->keyResult = r;
    *a->orderResult = r;
    return 0;
}

void* ElementKey(TnVContainer*, void* e, int* rc, TnVParameter*) {
    *rc = 0;
    return e;
}

void* NoData(TnVContainer*, void*, int* rc, TnVParameter*) {
    *rc = ERR_TN_NO_DAT;
    return nullptr;
}

struct Tree : TnRBTree {
    Tree() : TnRBTree(sizeof(Element), 0, 0) {
        SetCompareFunc(CompareKeys);
        SetKeyFunc(ElementKey);
        SetDatFunc(NoData);
    }
    void Insert(int64_t key) {
        int rc;
        TnRBTreeNode* entry = CreateEntry(&rc);
        *static_cast<Element*>(entry->Element()) = Element{key, key};
        rc = InsertEntry(entry, 0, nullptr);
        benchmark::DoNotOptimize(rc);
    }
};

// A probe source for searches and deletions: one reusable one-entry iterator.
struct Probe {
    Probe() : one(&element, sizeof element), it(&one, nullptr) {}
    TnVIterator* Set(int64_t key) {
        element.key = key;
        return &it;
    }
    Element element = {0, 0};
    TnOneEntryContainer one;
    TnOneEntryIterator it;
};

const std::vector<int64_t>& RandomKeys() {
    static const std::vector<int64_t> keys = [] {
        std::mt19937_64 rng(20261205);
        std::vector<int64_t> k(kKeys);
        for (auto& v : k) v = int64_t(rng() >> 1);
        std::sort(k.begin(), k.end());
        k.erase(std::unique(k.begin(), k.end()), k.end());
        std::shuffle(k.begin(), k.end(), rng);
        return k;
    }();
    return keys;
}

void PerKey(benchmark::State& state, size_t n) {
    // Timed seconds / (keys * 1e-9) = nanoseconds per key.
    state.counters["ns/op"] =
        benchmark::Counter(double(n) * double(state.iterations()) * 1e-9,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Runs work on a fresh container per iteration; building it (prepare) and taking it
// down are not timed.
template <typename C, typename Prepare, typename Work>
void OnFreshContainer(benchmark::State& state, size_t n, Prepare prepare, Work work) {
    for (auto _ : state) {
        state.PauseTiming();
        auto* c = new C;
        prepare(*c);
        state.ResumeTiming();
        work(*c);
        state.PauseTiming();
        delete c;
        state.ResumeTiming();
    }
    PerKey(state, n);
}

void FillTree(Tree& t) {
    for (int64_t k : RandomKeys()) t.Insert(k);
}
template <typename C>
void Nothing(C&) {}

// ---------------------------------------------------------------- TnRBTree

void BM_RBTree_InsertRandom(benchmark::State& state) {
    OnFreshContainer<Tree>(state, RandomKeys().size(), Nothing<Tree>, FillTree);
}

void BM_RBTree_InsertElementRandom(benchmark::State& state) {
    Probe probe;
    OnFreshContainer<Tree>(state, RandomKeys().size(), Nothing<Tree>, [&](Tree& t) {
        for (int64_t k : RandomKeys()) {
            probe.element.data = k;
            benchmark::DoNotOptimize(t.InsertElement(probe.Set(k), nullptr, 0, nullptr));
        }
    });
}

void BM_RBTree_LookupRandom(benchmark::State& state) {
    Tree t;
    FillTree(t);
    Probe probe;
    for (auto _ : state) {
        for (int64_t k : RandomKeys()) {
            benchmark::DoNotOptimize(t.SearchElement(probe.Set(k), nullptr, 0, nullptr, nullptr));
        }
    }
    PerKey(state, RandomKeys().size());
}

void BM_RBTree_DeleteRandom(benchmark::State& state) {
    Probe probe;
    OnFreshContainer<Tree>(state, RandomKeys().size(), FillTree, [&](Tree& t) {
        for (int64_t k : RandomKeys()) {
            benchmark::DoNotOptimize(t.DeleteElement(probe.Set(k), nullptr, 0, nullptr));
        }
    });
}

void BM_RBTree_InsertAscending(benchmark::State& state) {
    OnFreshContainer<Tree>(state, size_t(kKeys), Nothing<Tree>, [](Tree& t) {
        for (int64_t k = 0; k < kKeys; ++k) t.Insert(k);
    });
}

void BM_RBTree_Clear(benchmark::State& state) {
    OnFreshContainer<Tree>(state, RandomKeys().size(), FillTree, [](Tree& t) {
        uint32_t n;
        benchmark::DoNotOptimize(t.Clear(nullptr, &n, nullptr));
    });
}

// ---------------------------------------------------------------- std::multimap

using Map = std::multimap<int64_t, int64_t>;

void FillMap(Map& m) {
    for (int64_t k : RandomKeys()) m.insert({k, k});
}

void BM_Multimap_InsertRandom(benchmark::State& state) {
    OnFreshContainer<Map>(state, RandomKeys().size(), Nothing<Map>, FillMap);
}

void BM_Multimap_LookupRandom(benchmark::State& state) {
    Map m;
    FillMap(m);
    for (auto _ : state) {
        for (int64_t k : RandomKeys()) benchmark::DoNotOptimize(m.find(k));
    }
    PerKey(state, RandomKeys().size());
}

void BM_Multimap_DeleteRandom(benchmark::State& state) {
    OnFreshContainer<Map>(state, RandomKeys().size(), FillMap, [](Map& m) {
        for (int64_t k : RandomKeys()) {
            auto it = m.find(k);
            if (it != m.end()) m.erase(it);
        }
    });
}

void BM_Multimap_InsertAscending(benchmark::State& state) {
    OnFreshContainer<Map>(state, size_t(kKeys), Nothing<Map>, [](Map& m) {
        for (int64_t k = 0; k < kKeys; ++k) m.insert({k, k});
    });
}

void BM_Multimap_Clear(benchmark::State& state) {
    OnFreshContainer<Map>(state, RandomKeys().size(), FillMap, [](Map& m) { m.clear(); });
}

// Builds the keys and lets the heap grow once, so that the first measured phase does not
// pay alone for the process's first page faults.
void BM_WarmUp(benchmark::State& state) {
    for (auto _ : state) {
        Tree t;
        FillTree(t);
        Map m;
        FillMap(m);
    }
}
BENCHMARK(BM_WarmUp)->Unit(benchmark::kMillisecond)->Iterations(1);

#define PHASE(f) BENCHMARK(f)->Unit(benchmark::kMillisecond)->Iterations(3)
PHASE(BM_RBTree_InsertRandom);
PHASE(BM_Multimap_InsertRandom);
PHASE(BM_RBTree_InsertElementRandom);
PHASE(BM_RBTree_LookupRandom);
PHASE(BM_Multimap_LookupRandom);
PHASE(BM_RBTree_DeleteRandom);
PHASE(BM_Multimap_DeleteRandom);
PHASE(BM_RBTree_InsertAscending);
PHASE(BM_Multimap_InsertAscending);
PHASE(BM_RBTree_Clear);
PHASE(BM_Multimap_Clear);

}  // namespace
