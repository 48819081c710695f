// Memory file appends against std::vector: 4 KiB chunks, and single 32-bit words.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "memfile.h"

namespace {

constexpr int32_t kTotal = 256 << 20;  // 256 MiB
constexpr int32_t kChunk = 4096;

void BM_Append256MiB_MemFile(benchmark::State& state) {
    std::vector<unsigned char> chunk(kChunk, 0x5A);
    for (auto _ : state) {
        MemFile f;
        for (int32_t at = 0; at < kTotal; at += kChunk) f.Put(chunk.data(), at, kChunk);
        benchmark::DoNotOptimize(f.Data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kTotal});
}
void BM_Append256MiB_vector(benchmark::State& state) {
    std::vector<unsigned char> chunk(kChunk, 0x5A);
    for (auto _ : state) {
        std::vector<uint8_t> v;
        for (int32_t at = 0; at < kTotal; at += kChunk)
            v.insert(v.end(), chunk.begin(), chunk.end());
        benchmark::DoNotOptimize(v.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kTotal});
}
// 64K words appended with Write to a file built only by Write, against push_back;
// both keep their memory from one round to the next, so that the appends are timed
// rather than the page faults of fresh memory (which on this machine cost a fresh
// vector twenty times what its appends cost).
constexpr int32_t kWords = 1 << 16;

void BM_WriteInt32_MemFile(benchmark::State& state) {
    MemFile f;
    for (auto _ : state) {
        f.SetSizeZeroAndShrink(UINT32_MAX);
        TnResult rc;
        for (int32_t i = 0; i < kWords; ++i) f.Write(i, rc);
        benchmark::DoNotOptimize(f.Data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kWords});
}
void BM_WriteInt32_vector(benchmark::State& state) {
    std::vector<int32_t> v;
    for (auto _ : state) {
        v.clear();
        for (int32_t i = 0; i < kWords; ++i) v.push_back(i);
        benchmark::DoNotOptimize(v.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kWords});
}
BENCHMARK(BM_WriteInt32_MemFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteInt32_vector)->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_Append256MiB_MemFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Append256MiB_vector)->Unit(benchmark::kMillisecond);

}  // namespace
