// Throughput of the data-block helpers against their peers: CRC-32 on every code path
// against zlib's crc32(); byte-run compression and expansion on the fast and the
// portable path against zlib at level 1 (also for the compressed size) and against
// memcpy of the same buffer as the physical limit.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "datablocks.h"
#include "datablocks/codec.h"
#include "datablocks/crc32.h"

namespace {

std::vector<unsigned char> RandomBytes(size_t n) {
    std::mt19937_64 rng(2026);
    std::vector<unsigned char> b(n);
    for (size_t i = 0; i < n; i += 8) {
        const uint64_t v = rng();
        std::memcpy(b.data() + i, &v, std::min<size_t>(8, n - i));
    }
    return b;
}

// Records of 200 bytes as a database writes them: a key, a few short texts padded with
// blanks, counters, and zero-filled reserve fields.
std::vector<unsigned char> RecordBytes(size_t n) {
    static const char* const kWords[] = {"Merivane", "customer", "Lisbon",    "order",
                                         "pending",  "invoice",  "Kraków",    "shipped",
                                         "returned", "account",  "Reykjavík", "note"};
    std::mt19937 rng(7);
    std::vector<unsigned char> b;
    b.reserve(n + 200);
    while (b.size() < n) {
        unsigned char rec[200];
        std::memset(rec, 0, sizeof rec);
        const uint32_t key = rng();
        std::memcpy(rec, &key, 4);
        size_t pos = 8;
        for (int field = 0; field < 3; ++field) {
            std::string text;
            for (int w = 0, words = 1 + int(rng() % 3); w < words; ++w)
                text += std::string(kWords[rng() % 12]) + " ";
            std::memset(rec + pos, ' ', 40);
            std::memcpy(rec + pos, text.data(), std::min<size_t>(40, text.size()));
            pos += 40;
        }
        const uint64_t amount = rng() % 100000;
        std::memcpy(rec + pos, &amount, 8);  // the rest stays zero
        b.insert(b.end(), rec, rec + sizeof rec);
    }
    b.resize(n);
    return b;
}

const std::vector<unsigned char>& Data(size_t n, bool records) {
    static std::vector<unsigned char> r64k = RandomBytes(64 << 10), r16m = RandomBytes(16 << 20),
                                      rec16m = RecordBytes(16 << 20);
    if (records) return rec16m;
    return n == (64u << 10) ? r64k : r16m;
}

void Crc(benchmark::State& state, mvb::datablocks::crc32::Path path) {
    if (!mvb::datablocks::crc32::Supported(path)) {
        state.SkipWithError("path not available on this CPU");
        return;
    }
    const auto& d = Data(size_t(state.range(0)), false);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            mvb::datablocks::crc32::Update(path, 0xFFFFFFFFu, d.data(), d.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.size()));
}

void CalcCheckSumBest(benchmark::State& state) {
    const auto& d = Data(size_t(state.range(0)), false);
    for (auto _ : state)
        benchmark::DoNotOptimize(CalcCheckSum(d.data(), uint32_t(d.size()), nullptr));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.size()));
}

void ZlibCrc32(benchmark::State& state) {
    const auto& d = Data(size_t(state.range(0)), false);
    for (auto _ : state) benchmark::DoNotOptimize(crc32(0, d.data(), uInt(d.size())));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.size()));
}

void Memcpy(benchmark::State& state) {
    const auto& d = Data(size_t(state.range(0)), state.range(1) != 0);
    std::vector<unsigned char> out(d.size());
    for (auto _ : state) {
        std::memcpy(out.data(), d.data(), d.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.size()));
}

// DScomp is the fast path (32-byte lanes where the processor has them); narrow is the fast
// path in 16-byte lanes, as processors without them run it; the portable path is the
// byte-at-a-time reference.
void Compress(benchmark::State& state, mvb::datablocks::codec::Path path) {
    const auto& d = Data(16 << 20, state.range(0) != 0);
    std::vector<unsigned char> out(d.size() * 2 + 300);
    int32_t len = 0;
    for (auto _ : state) {
        len = int32_t(out.size());
        if (mvb::datablocks::codec::Compress(path, d.data(), int32_t(d.size()), out.data(), &len) !=
            0)
            state.SkipWithError("DScomp");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.size()));
    state.counters["ratio"] = double(len) / double(d.size());
}

void Expand(benchmark::State& state, mvb::datablocks::codec::Path path) {
    const auto& d = Data(16 << 20, state.range(0) != 0);
    std::vector<unsigned char> packed(d.size() * 2 + 300), out(d.size());
    int32_t packedLen = int32_t(packed.size());
    DScomp(d.data(), int32_t(d.size()), packed.data(), &packedLen);
    for (auto _ : state) {
        int32_t len = int32_t(out.size());
        if (mvb::datablocks::codec::Expand(path, packed.data(), packedLen, out.data(), &len) != 0)
            state.SkipWithError("DSdecomp");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.size()));  // expanded bytes
}

void ZlibCompress(benchmark::State& state) {
    const auto& d = Data(16 << 20, state.range(0) != 0);
    std::vector<unsigned char> out(compressBound(uLong(d.size())));
    uLongf len = 0;
    for (auto _ : state) {
        len = uLongf(out.size());
        if (compress2(out.data(), &len, d.data(), uLong(d.size()), 1) != Z_OK)
            state.SkipWithError("compress2");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.size()));
    state.counters["ratio"] = double(len) / double(d.size());
}

void ZlibExpand(benchmark::State& state) {
    const auto& d = Data(16 << 20, state.range(0) != 0);
    std::vector<unsigned char> packed(compressBound(uLong(d.size()))), out(d.size());
    uLongf packedLen = uLongf(packed.size());
    compress2(packed.data(), &packedLen, d.data(), uLong(d.size()), 1);
    for (auto _ : state) {
        uLongf len = uLongf(out.size());
        if (uncompress(out.data(), &len, packed.data(), packedLen) != Z_OK)
            state.SkipWithError("uncompress");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.size()));
}

constexpr int64_t k64K = 64 << 10, k16M = 16 << 20;

BENCHMARK_CAPTURE(Crc, table, mvb::datablocks::crc32::Path::Table)->Arg(k64K)->Arg(k16M);
BENCHMARK_CAPTURE(Crc, slice8, mvb::datablocks::crc32::Path::Slice8)->Arg(k64K)->Arg(k16M);
BENCHMARK_CAPTURE(Crc, fold128, mvb::datablocks::crc32::Path::Fold128)->Arg(k64K)->Arg(k16M);
BENCHMARK_CAPTURE(Crc, fold512, mvb::datablocks::crc32::Path::Fold512)->Arg(k64K)->Arg(k16M);
BENCHMARK(CalcCheckSumBest)->Arg(k64K)->Arg(k16M);
BENCHMARK(ZlibCrc32)->Arg(k64K)->Arg(k16M);
BENCHMARK(Memcpy)->Args({k64K, 0})->Args({k16M, 0})->Args({k16M, 1});
BENCHMARK_CAPTURE(Compress, fast, mvb::datablocks::codec::Path::Fast)
    ->ArgName("records")
    ->Arg(1)
    ->Arg(0);
BENCHMARK_CAPTURE(Compress, narrow, mvb::datablocks::codec::Path::Narrow)
    ->ArgName("records")
    ->Arg(1)
    ->Arg(0);
BENCHMARK_CAPTURE(Compress, portable, mvb::datablocks::codec::Path::Portable)
    ->ArgName("records")
    ->Arg(1)
    ->Arg(0);
BENCHMARK(ZlibCompress)->ArgName("records")->Arg(1)->Arg(0);
BENCHMARK_CAPTURE(Expand, fast, mvb::datablocks::codec::Path::Fast)
    ->ArgName("records")
    ->Arg(1)
    ->Arg(0);
BENCHMARK_CAPTURE(Expand, narrow, mvb::datablocks::codec::Path::Narrow)
    ->ArgName("records")
    ->Arg(1)
    ->Arg(0);
BENCHMARK_CAPTURE(Expand, portable, mvb::datablocks::codec::Path::Portable)
    ->ArgName("records")
    ->Arg(1)
    ->Arg(0);
BENCHMARK(ZlibExpand)->ArgName("records")->Arg(1)->Arg(0);

}  // namespace
