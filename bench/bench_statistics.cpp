// A statistics update while the counts are published into the shared block, against
// the two ways a program could count for itself: an atomic relaxed add, and ++ in a
// function the compiler may not inline.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "os/os.h"
#include "statistics.h"

namespace {

// Registers the counters in a registry file of this run and activates publishing, in
// a namespace of shared objects of this process; removed again at exit.
class Publishing {
  public:
    Publishing() : ns_("mvbench" + std::to_string(getpid()) + "_") {
        const std::string registry = "/tmp/" + ns_ + "registry.db";
        setenv("MERIVANE_REGISTRY", registry.c_str(), 1);
        setenv("MERIVANE_IPC_NAMESPACE", ns_.c_str(), 1);
        mvos::RegKey key = nullptr;
        mvos::RegCreateKey(mvos::kLocalMachine,
                           "SYSTEM\\CurrentControlSet\\Services\\Merivane\\Performance",
                           mvos::kKeyAllAccess, &key, nullptr);
        const std::pair<const char*, uint32_t> values[] = {{"First Counter", 1000},
                                                           {"Last Counter", 1044},
                                                           {"First Help", 1001},
                                                           {"Last Help", 1045},
                                                           {"Disable Performance Counters", 0}};
        for (const auto& v : values) mvos::RegSetValue(key, v.first, mvos::kRegDword, &v.second, 4);
        mvos::RegCloseKey(key);
        Statistics()->Enable();
        std::remove(registry.c_str());
    }
    ~Publishing() {
        mvos::RemoveSharedMemory("Global\\Merivane_Performance");
        mvos::RemoveSharedMemory("Merivane_Performance");
        mvos::RemoveWriterMutex("Merivane_mt");
    }
    bool Active() const { return Statistics()->m_enabled != 0; }

  private:
    std::string ns_;
};

void BM_StatisticsIncWhilePublishing(benchmark::State& state) {
    static Publishing publishing;
    if (!publishing.Active()) {
        state.SkipWithError("the statistics could not be enabled");
        return;
    }
    // Statistics() is declared constant: the compiler asks for it once, before the loop,
    // as a host's compiler does for its updates.
    for (auto _ : state) Statistics()->IncCommits();
    state.SetItemsProcessed(state.iterations());
}

void BM_AtomicRelaxedAdd(benchmark::State& state) {
    static std::atomic<int32_t> count{0};
    for (auto _ : state) count.fetch_add(1, std::memory_order_relaxed);
    state.SetItemsProcessed(state.iterations());
}

__attribute__((noinline)) void Increment(int32_t& count) {
    ++count;
    benchmark::ClobberMemory();
}

void BM_IncrementNotInlined(benchmark::State& state) {
    int32_t count = 0;
    for (auto _ : state) Increment(count);
    benchmark::DoNotOptimize(count);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_StatisticsIncWhilePublishing);
BENCHMARK(BM_AtomicRelaxedAdd);
BENCHMARK(BM_IncrementNotInlined);

}  // namespace
