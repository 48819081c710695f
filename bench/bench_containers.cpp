// The red-black tree container against std::multimap<int64_t, int64_t> and
// absl::btree_multimap<int64_t, int64_t>: an element of an 8-byte key and 8-byte data,
// compared through the container's function table. Each benchmark runs one phase (insert,
// find, erase or iterate) over n random keys, n = 10K, 100K and 1M; the "ns/op" counter
// is per key. The tree's compare function is the library's TnVContainer::CompareInt64Keys
// (and its key and data functions the defaults); the "Callback" rows use a compare
// function of the caller's with the same results.
#include <absl/container/btree_map.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "containers.h"

namespace {

constexpr int64_t kMaxKeys = 1000000;

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

// The element is its own key and has no data part: the defaults of the function table.
template <TnCompareFunc Compare>
struct TreeComparingBy : TnRBTree {
    TreeComparingBy() : TnRBTree(sizeof(Element), 0, 0) { SetCompareFunc(Compare); }
    void Insert(int64_t key) {
        int rc;
        TnRBTreeNode* entry = CreateEntry(&rc);
        *static_cast<Element*>(entry->Element()) = Element{key, key};
        rc = InsertEntry(entry, 0, nullptr);
        benchmark::DoNotOptimize(rc);
    }
};

using Tree = TreeComparingBy<TnVContainer::CompareInt64Keys>;
using CallbackTree = TreeComparingBy<CompareKeys>;

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

// kMaxKeys distinct random keys in random order; a phase over n keys uses the first n.
const std::vector<int64_t>& AllKeys() {
    static const std::vector<int64_t> keys = [] {
        std::mt19937_64 rng(20261205);
        std::vector<int64_t> k(kMaxKeys + kMaxKeys / 8);
        for (auto& v : k) v = int64_t(rng() >> 1);
        std::sort(k.begin(), k.end());
        k.erase(std::unique(k.begin(), k.end()), k.end());
        std::shuffle(k.begin(), k.end(), rng);
        k.resize(kMaxKeys);
        return k;
    }();
    return keys;
}

struct Keys {
    const int64_t* first;
    const int64_t* last;
    const int64_t* begin() const { return first; }
    const int64_t* end() const { return last; }
    size_t size() const { return size_t(last - first); }
};
Keys KeysOf(const benchmark::State& state) {
    return Keys{AllKeys().data(), AllKeys().data() + state.range(0)};
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
void OnFreshContainer(benchmark::State& state, Prepare prepare, Work work) {
    const Keys keys = KeysOf(state);
    for (auto _ : state) {
        state.PauseTiming();
        auto* c = new C;
        prepare(*c, keys);
        state.ResumeTiming();
        work(*c, keys);
        state.PauseTiming();
        delete c;
        state.ResumeTiming();
    }
    PerKey(state, keys.size());
}

// The same work on one container filled once.
template <typename C, typename Work>
void OnFilledContainer(benchmark::State& state, Work work) {
    const Keys keys = KeysOf(state);
    C c;
    Fill(c, keys);
    for (auto _ : state) work(c, keys);
    PerKey(state, keys.size());
}

template <typename C>
void Nothing(C&, Keys) {}

// ---------------------------------------------------------------- TnRBTree

template <TnCompareFunc Compare>
void Fill(TreeComparingBy<Compare>& t, Keys keys) {
    for (int64_t k : keys) t.Insert(k);
}

template <typename T>
void RBTreeInsert(benchmark::State& state) {
    OnFreshContainer<T>(state, Nothing<T>, [](T& t, Keys keys) { Fill(t, keys); });
}

void BM_RBTree_InsertElement(benchmark::State& state) {
    Probe probe;
    OnFreshContainer<Tree>(state, Nothing<Tree>, [&](Tree& t, Keys keys) {
        for (int64_t k : keys) {
            probe.element.data = k;
            benchmark::DoNotOptimize(t.InsertElement(probe.Set(k), nullptr, 0, nullptr));
        }
    });
}

template <typename T>
void RBTreeFind(benchmark::State& state) {
    Probe probe;
    OnFilledContainer<T>(state, [&](T& t, Keys keys) {
        for (int64_t k : keys)
            benchmark::DoNotOptimize(t.SearchElement(probe.Set(k), nullptr, 0, nullptr, nullptr));
    });
}

template <typename T>
void RBTreeErase(benchmark::State& state) {
    Probe probe;
    OnFreshContainer<T>(
        state, [](T& t, Keys keys) { Fill(t, keys); },
        [&](T& t, Keys keys) {
            for (int64_t k : keys)
                benchmark::DoNotOptimize(t.DeleteElement(probe.Set(k), nullptr, 0, nullptr));
        });
}

// The library's comparison, and the caller's compare function (no inline comparison).
void BM_RBTree_Insert(benchmark::State& state) {
    RBTreeInsert<Tree>(state);
}
void BM_RBTree_Find(benchmark::State& state) {
    RBTreeFind<Tree>(state);
}
void BM_RBTree_Erase(benchmark::State& state) {
    RBTreeErase<Tree>(state);
}
void BM_RBTree_Insert_Callback(benchmark::State& state) {
    RBTreeInsert<CallbackTree>(state);
}
void BM_RBTree_Find_Callback(benchmark::State& state) {
    RBTreeFind<CallbackTree>(state);
}
void BM_RBTree_Erase_Callback(benchmark::State& state) {
    RBTreeErase<CallbackTree>(state);
}

void BM_RBTree_Iterate(benchmark::State& state) {
    OnFilledContainer<Tree>(state, [](Tree& t, Keys) {
        TnRBTreeIterator it(&t, nullptr);
        int64_t sum = 0;
        for (int r = it.First(); r == 0; r = it.Next())
            sum += static_cast<const Element*>(it.CurrentElement())->key;
        benchmark::DoNotOptimize(sum);
    });
}

void BM_RBTree_InsertAscending(benchmark::State& state) {
    OnFreshContainer<Tree>(state, Nothing<Tree>, [](Tree& t, Keys keys) {
        for (int64_t k = 0; k < int64_t(keys.size()); ++k) t.Insert(k);
    });
}

void BM_RBTree_Clear(benchmark::State& state) {
    OnFreshContainer<Tree>(
        state, [](Tree& t, Keys keys) { Fill(t, keys); },
        [](Tree& t, Keys) {
            uint32_t n;
            benchmark::DoNotOptimize(t.Clear(nullptr, &n, nullptr));
        });
}

// ---------------------------------------------------------------- the peers

using Multimap = std::multimap<int64_t, int64_t>;
using Btree = absl::btree_multimap<int64_t, int64_t>;

template <typename Map>
void Fill(Map& m, Keys keys) {
    for (int64_t k : keys) m.insert({k, k});
}

template <typename Map>
void BM_Insert(benchmark::State& state) {
    OnFreshContainer<Map>(state, Nothing<Map>, [](Map& m, Keys keys) { Fill(m, keys); });
}

template <typename Map>
void BM_Find(benchmark::State& state) {
    OnFilledContainer<Map>(state, [](Map& m, Keys keys) {
        for (int64_t k : keys) benchmark::DoNotOptimize(m.find(k));
    });
}

template <typename Map>
void BM_Erase(benchmark::State& state) {
    OnFreshContainer<Map>(
        state, [](Map& m, Keys keys) { Fill(m, keys); },
        [](Map& m, Keys keys) {
            for (int64_t k : keys) {
                auto it = m.find(k);
                if (it != m.end()) m.erase(it);
            }
        });
}

template <typename Map>
void BM_Iterate(benchmark::State& state) {
    OnFilledContainer<Map>(state, [](Map& m, Keys) {
        int64_t sum = 0;
        for (const auto& kv : m) sum += kv.first;
        benchmark::DoNotOptimize(sum);
    });
}

template <typename Map>
void BM_InsertAscending(benchmark::State& state) {
    OnFreshContainer<Map>(state, Nothing<Map>, [](Map& m, Keys keys) {
        for (int64_t k = 0; k < int64_t(keys.size()); ++k) m.insert({k, k});
    });
}

template <typename Map>
void BM_Clear(benchmark::State& state) {
    OnFreshContainer<Map>(
        state, [](Map& m, Keys keys) { Fill(m, keys); }, [](Map& m, Keys) { m.clear(); });
}

// Builds the keys and lets the heap grow once, so that the first measured phase does not
// pay alone for the process's first page faults.
void BM_WarmUp(benchmark::State& state) {
    for (auto _ : state) {
        Tree t;
        Fill(t, KeysOf(state));
        Multimap m;
        Fill(m, KeysOf(state));
    }
}
BENCHMARK(BM_WarmUp)->Unit(benchmark::kMillisecond)->Iterations(1)->Arg(kMaxKeys);

#define SIZES(b) b->Unit(benchmark::kMicrosecond)->Arg(10000)->Arg(100000)->Arg(kMaxKeys)
#define PEERS(name)                                 \
    SIZES(BENCHMARK(BM_RBTree_##name));             \
    SIZES(BENCHMARK_TEMPLATE(BM_##name, Multimap)); \
    SIZES(BENCHMARK_TEMPLATE(BM_##name, Btree))
PEERS(Insert);
PEERS(Find);
PEERS(Erase);
PEERS(Iterate);
PEERS(InsertAscending);
PEERS(Clear);
SIZES(BENCHMARK(BM_RBTree_InsertElement));
SIZES(BENCHMARK(BM_RBTree_Insert_Callback));
SIZES(BENCHMARK(BM_RBTree_Find_Callback));
SIZES(BENCHMARK(BM_RBTree_Erase_Callback));

}  // namespace
