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
    *rc = TN_E_NO_DAT;
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

// ---------------------------------------------------------------- TnRBTree

void BM_RBTree_InsertRandom(benchmark::State& state) {
    const auto& keys = RandomKeys();
    for (auto _ : state) {
        state.PauseTiming();
        auto* t = new Tree;
        state.ResumeTiming();
        for (int64_t k : keys) t->Insert(k);
        state.PauseTiming();
        delete t;
        state.ResumeTiming();
    }
    PerKey(state, keys.size());
}

void BM_RBTree_InsertElementRandom(benchmark::State& state) {
    const auto& keys = RandomKeys();
    Probe probe;
    for (auto _ : state) {
        state.PauseTiming();
        auto* t = new Tree;
        state.ResumeTiming();
        for (int64_t k : keys) {
            probe.element.data = k;
            benchmark::DoNotOptimize(t->InsertElement(probe.Set(k), nullptr, 0, nullptr));
        }
        state.PauseTiming();
        delete t;
        state.ResumeTiming();
    }
    PerKey(state, keys.size());
}

void BM_RBTree_LookupRandom(benchmark::State& state) {
    const auto& keys = RandomKeys();
    Tree t;
    for (int64_t k : keys) t.Insert(k);
    Probe probe;
    for (auto _ : state) {
        for (int64_t k : keys) {
            benchmark::DoNotOptimize(t.SearchElement(probe.Set(k), nullptr, 0, nullptr, nullptr));
        }
    }
    PerKey(state, keys.size());
}

void BM_RBTree_DeleteRandom(benchmark::State& state) {
    const auto& keys = RandomKeys();
    Probe probe;
    for (auto _ : state) {
        state.PauseTiming();
        auto* t = new Tree;
        for (int64_t k : keys) t->Insert(k);
        state.ResumeTiming();
        for (int64_t k : keys) {
            benchmark::DoNotOptimize(t->DeleteElement(probe.Set(k), nullptr, 0, nullptr));
        }
        state.PauseTiming();
        delete t;
        state.ResumeTiming();
    }
    PerKey(state, keys.size());
}

void BM_RBTree_InsertAscending(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto* t = new Tree;
        state.ResumeTiming();
        for (int64_t k = 0; k < kKeys; ++k) t->Insert(k);
        state.PauseTiming();
        delete t;
        state.ResumeTiming();
    }
    PerKey(state, size_t(kKeys));
}

void BM_RBTree_Clear(benchmark::State& state) {
    const auto& keys = RandomKeys();
    Tree t;
    for (auto _ : state) {
        state.PauseTiming();
        for (int64_t k : keys) t.Insert(k);
        state.ResumeTiming();
        uint32_t n;
        benchmark::DoNotOptimize(t.Clear(nullptr, &n, nullptr));
    }
    PerKey(state, keys.size());
}

// ---------------------------------------------------------------- std::multimap

using Map = std::multimap<int64_t, int64_t>;

void BM_Multimap_InsertRandom(benchmark::State& state) {
    const auto& keys = RandomKeys();
    for (auto _ : state) {
        state.PauseTiming();
        auto* m = new Map;
        state.ResumeTiming();
        for (int64_t k : keys) m->insert({k, k});
        state.PauseTiming();
        delete m;
        state.ResumeTiming();
    }
    PerKey(state, keys.size());
}

void BM_Multimap_LookupRandom(benchmark::State& state) {
    const auto& keys = RandomKeys();
    Map m;
    for (int64_t k : keys) m.insert({k, k});
    for (auto _ : state) {
        for (int64_t k : keys) benchmark::DoNotOptimize(m.find(k));
    }
    PerKey(state, keys.size());
}

void BM_Multimap_DeleteRandom(benchmark::State& state) {
    const auto& keys = RandomKeys();
    for (auto _ : state) {
        state.PauseTiming();
        auto* m = new Map;
        for (int64_t k : keys) m->insert({k, k});
        state.ResumeTiming();
        for (int64_t k : keys) {
            auto it = m->find(k);
            if (it != m->end()) m->erase(it);
        }
        state.PauseTiming();
        delete m;
        state.ResumeTiming();
    }
    PerKey(state, keys.size());
}

void BM_Multimap_InsertAscending(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto* m = new Map;
        state.ResumeTiming();
        for (int64_t k = 0; k < kKeys; ++k) m->insert({k, k});
        state.PauseTiming();
        delete m;
        state.ResumeTiming();
    }
    PerKey(state, size_t(kKeys));
}

void BM_Multimap_Clear(benchmark::State& state) {
    const auto& keys = RandomKeys();
    Map m;
    for (auto _ : state) {
        state.PauseTiming();
        for (int64_t k : keys) m.insert({k, k});
        state.ResumeTiming();
        m.clear();
    }
    PerKey(state, keys.size());
}

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
