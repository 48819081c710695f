// Arrays against std::vector and std::sort.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "arrays.h"

namespace {

int32_t ByInt(const TnVArray*, const void* a, const void* b) {
    const int32_t x = *static_cast<const int32_t*>(a), y = *static_cast<const int32_t*>(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

struct Keyed {
    int32_t key, tag;
};
int32_t ByKey(const TnVArray*, const void* a, const void* b) {
    const int32_t x = static_cast<const Keyed*>(a)->key, y = static_cast<const Keyed*>(b)->key;
    return x < y ? -1 : x > y ? 1 : 0;
}

// ---------------------------------------------------------------- appending
template <typename Array>
void BM_Append(benchmark::State& state) {
    const int32_t n = static_cast<int32_t>(state.range(0));
    Array array(sizeof(int32_t), 0);
    for (auto _ : state) {
        array.Clear();
        for (int32_t i = 0; i < n; ++i) array.Insert(array.Count(), &i);
        benchmark::DoNotOptimize(array.Element(0));
    }
    state.SetItemsProcessed(state.iterations() * n);
}
void BM_Append_vector(benchmark::State& state) {
    const int32_t n = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        std::vector<int32_t> v;
        for (int32_t i = 0; i < n; ++i) v.push_back(i);
        benchmark::DoNotOptimize(v.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK_TEMPLATE(BM_Append, TnLList)->Arg(1 << 20)->Arg(32767);
BENCHMARK_TEMPLATE(BM_Append, TnCList)->Arg(32767);
BENCHMARK(BM_Append_vector)->Arg(1 << 20)->Arg(32767);

// ---------------------------------------------------------------- random insert and delete
// Each iteration inserts at one random position and deletes at another, keeping the
// size at state.range(0).
std::vector<uint32_t> Positions(size_t n, uint32_t size) {
    std::mt19937 rng(5);
    std::vector<uint32_t> p(n);
    for (auto& x : p) x = rng() % size;
    return p;
}

template <typename Array>
void BM_InsertDelete(benchmark::State& state) {
    const uint32_t size = static_cast<uint32_t>(state.range(0));
    Array array(sizeof(int32_t), 0);
    for (int32_t i = 0; i < static_cast<int32_t>(size); ++i) array.Insert(array.Count(), &i);
    const std::vector<uint32_t> at = Positions(4096, size);
    size_t k = 0;
    for (auto _ : state) {
        const int32_t v = static_cast<int32_t>(k);
        array.Insert(at[k % 4096], &v);
        array.Delete(at[(k + 1) % 4096], 0);
        ++k;
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
void BM_InsertDelete_vector(benchmark::State& state) {
    const uint32_t size = static_cast<uint32_t>(state.range(0));
    std::vector<int32_t> v(size);
    const std::vector<uint32_t> at = Positions(4096, size);
    size_t k = 0;
    for (auto _ : state) {
        v.insert(v.begin() + at[k % 4096], static_cast<int32_t>(k));
        v.erase(v.begin() + at[(k + 1) % 4096]);
        ++k;
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK_TEMPLATE(BM_InsertDelete, TnLList)->Arg(32767)->Arg(1 << 20);
BENCHMARK_TEMPLATE(BM_InsertDelete, TnCList)->Arg(32767);
BENCHMARK(BM_InsertDelete_vector)->Arg(32767)->Arg(1 << 20);

// ---------------------------------------------------------------- sorting 32767 elements
enum Shape { kRandom, kAscending, kDescending, kPairs };

std::vector<int32_t> Keys(Shape shape) {
    const int n = 32767;
    std::vector<int32_t> v(n);
    std::mt19937 rng(3);
    for (int i = 0; i < n; ++i) v[i] = shape == kRandom ? static_cast<int32_t>(rng()) : i;
    if (shape == kDescending) std::reverse(v.begin(), v.end());
    return v;
}

void BM_Sort_TnCList(benchmark::State& state) {
    const std::vector<int32_t> keys = Keys(static_cast<Shape>(state.range(0)));
    TnCList list(sizeof(int32_t), static_cast<int32_t>(keys.size()));
    list.SetCompareCallback(ByInt);
    for (int32_t k : keys) list.Insert(list.Count(), &k);
    for (auto _ : state) {
        state.PauseTiming();
        for (uint32_t i = 0; i < keys.size(); ++i) list.Update(i, &keys[i]);
        state.ResumeTiming();
        list.Sort();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(keys.size()));
}
void BM_Sort_std_sort(benchmark::State& state) {
    const std::vector<int32_t> keys = Keys(static_cast<Shape>(state.range(0)));
    std::vector<int32_t> v;
    for (auto _ : state) {
        state.PauseTiming();
        v = keys;
        state.ResumeTiming();
        std::sort(v.begin(), v.end());
        benchmark::DoNotOptimize(v.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(keys.size()));
}
// Pairs of equal keys that differ in their second half: the partition order is replayed.
void BM_Sort_TnCList_EqualPairs(benchmark::State& state) {
    const bool ascending = state.range(0) != 0;
    const int n = 32767;
    std::vector<Keyed> keys(n);
    std::mt19937 rng(4);
    for (int i = 0; i < n; ++i)
        keys[i] = Keyed{ascending ? i / 2 : static_cast<int32_t>(rng() % (n / 2)), i};
    TnCList list(sizeof(Keyed), n);
    list.SetCompareCallback(ByKey);
    for (const Keyed& k : keys) list.Insert(list.Count(), &k);
    for (auto _ : state) {
        state.PauseTiming();
        for (uint32_t i = 0; i < keys.size(); ++i) list.Update(i, &keys[i]);
        state.ResumeTiming();
        list.Sort();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Sort_TnCList)
    ->Arg(kRandom)
    ->Arg(kAscending)
    ->Arg(kDescending)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sort_std_sort)
    ->Arg(kRandom)
    ->Arg(kAscending)
    ->Arg(kDescending)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sort_TnCList_EqualPairs)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
