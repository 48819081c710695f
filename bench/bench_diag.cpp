// The error catalogue's lookup against a hash map: the text of a code that has one,
// codes drawn at random from the table.
#include <benchmark/benchmark.h>

#include <random>
#include <unordered_map>
#include <vector>

#include "diag/messages.h"
#include "errors.h"

namespace {

std::vector<int> RandomCodes() {
    std::mt19937 rng(74);
    std::vector<int> codes(4096);
    for (int& c : codes) c = mvb::diag::MessageTable()[rng() % mvb::diag::MessageCount()].code;
    return codes;
}

void BM_TnErrorText(benchmark::State& state) {
    const std::vector<int> codes = RandomCodes();
    size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(TnError(nullptr, nullptr, codes[i++ & 4095], 1));
    state.SetItemsProcessed(state.iterations());
}

void BM_UnorderedMapText(benchmark::State& state) {
    std::unordered_map<int, const char*> map;
    for (size_t k = 0; k < mvb::diag::MessageCount(); ++k)
        map.emplace(mvb::diag::MessageTable()[k].code, mvb::diag::MessageTable()[k].text);
    const std::vector<int> codes = RandomCodes();
    size_t i = 0;
    for (auto _ : state) {
        auto hit = map.find(codes[i++ & 4095]);
        benchmark::DoNotOptimize(hit != map.end() ? hit->second : "unknown error");
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_TnErrorText);
BENCHMARK(BM_UnorderedMapText);

}  // namespace
