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

// ---------------------------------------------------------------- sorting
// The array sort against std::sort with the same comparison: the array's callback,
// called through a function pointer the compiler cannot see through. Shapes: random,
// 16 distinct values, ascending, descending, organ pipe (up, then down); 32767
// elements in a TnCList and 1M in a TnLList.
enum Shape { kRandom, kFewDistinct, kAscending, kDescending, kOrganPipe };

std::vector<int32_t> Keys(Shape shape, size_t n) {
    std::vector<int32_t> v(n);
    std::mt19937 rng(3);
    for (size_t i = 0; i < n; ++i) {
        const auto up = static_cast<int32_t>(i);
        switch (shape) {
            case kRandom:
                v[i] = static_cast<int32_t>(rng());
                break;
            case kFewDistinct:
                v[i] = static_cast<int32_t>(rng() % 16);
                break;
            case kAscending:
                v[i] = up;
                break;
            case kDescending:
                v[i] = static_cast<int32_t>(n) - up;
                break;
            case kOrganPipe:
                v[i] = i < n / 2 ? up : static_cast<int32_t>(n) - up;
                break;
        }
    }
    return v;
}

// The callback as an opaque pointer: every comparison is an indirect call, as in the array.
TnArrayCompare volatile g_byInt = ByInt;

template <typename Array>
void FillArray(Array& array, const std::vector<int32_t>& keys) {
    array.SizeSet(static_cast<uint32_t>(keys.size()));
    for (int32_t k : keys) array.Insert(array.Count(), &k);
}

template <typename Array>
void BM_Sort(benchmark::State& state) {
    const std::vector<int32_t> keys =
        Keys(static_cast<Shape>(state.range(0)), size_t(state.range(1)));
    Array list(sizeof(int32_t), 0);
    list.SetCompareCallback(g_byInt);
    FillArray(list, keys);
    for (auto _ : state) {
        state.PauseTiming();
        for (uint32_t i = 0; i < keys.size(); ++i) list.Update(i, &keys[i]);
        state.ResumeTiming();
        list.Sort();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(keys.size()));
}

void BM_Sort_std_sort(benchmark::State& state) {
    const std::vector<int32_t> keys =
        Keys(static_cast<Shape>(state.range(0)), size_t(state.range(1)));
    const TnArrayCompare compare = g_byInt;
    std::vector<int32_t> v;
    for (auto _ : state) {
        state.PauseTiming();
        v = keys;
        state.ResumeTiming();
        std::sort(v.begin(), v.end(),
                  [compare](int32_t a, int32_t b) { return compare(nullptr, &a, &b) < 0; });
        benchmark::DoNotOptimize(v.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(keys.size()));
}

void SortShapes(benchmark::internal::Benchmark* b, std::initializer_list<int64_t> sizes) {
    b->ArgNames({"shape", "n"})->Unit(benchmark::kMicrosecond);
    for (int64_t n : sizes)
        for (int shape = kRandom; shape <= kOrganPipe; ++shape) b->Args({shape, n});
}
BENCHMARK_TEMPLATE(BM_Sort, TnCList)->Apply([](auto* b) { SortShapes(b, {32767}); });
BENCHMARK_TEMPLATE(BM_Sort, TnLList)->Apply([](auto* b) { SortShapes(b, {1 << 20}); });
BENCHMARK(BM_Sort_std_sort)->Apply([](auto* b) { SortShapes(b, {32767, 1 << 20}); });

// ---------------------------------------------------------------- binary search
// Hits of keys drawn at random from a sorted array, against std::lower_bound with the
// same callback. Both take the key from the same separate vector: a peer that took it
// from the array it searches would find its last probe already in the cache.
template <typename Array>
void BM_Search(benchmark::State& state) {
    const auto n = static_cast<int32_t>(state.range(0));
    Array list(sizeof(int32_t), 0);
    list.SetCompareCallback(g_byInt);
    std::vector<int32_t> keys(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) keys[static_cast<size_t>(i)] = 2 * i;
    FillArray(list, keys);
    const std::vector<uint32_t> at = Positions(4096, static_cast<uint32_t>(n));
    size_t k = 0;
    for (auto _ : state) {
        uint32_t position;
        benchmark::DoNotOptimize(list.Search(&keys[at[k++ & 4095]], &position, nullptr));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Search_lower_bound(benchmark::State& state) {
    const auto n = static_cast<int32_t>(state.range(0));
    std::vector<int32_t> keys(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) keys[static_cast<size_t>(i)] = 2 * i;
    const std::vector<int32_t> sorted = keys;
    const TnArrayCompare compare = g_byInt;
    const std::vector<uint32_t> at = Positions(4096, static_cast<uint32_t>(n));
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::lower_bound(
            sorted.begin(), sorted.end(), keys[at[k++ & 4095]],
            [compare](int32_t a, int32_t b) { return compare(nullptr, &a, &b) < 0; }));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_TEMPLATE(BM_Search, TnCList)->Arg(32767);
BENCHMARK_TEMPLATE(BM_Search, TnLList)->Arg(1 << 20);
BENCHMARK(BM_Search_lower_bound)->Arg(32767)->Arg(1 << 20);

}  // namespace
