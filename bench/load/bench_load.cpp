// What a host pays to load the library, side by side with SQLite and an empty C++
// shared object: each measurement is one dlopen in a freshly forked process (so
// nothing is loaded yet but what this program itself links), timed in the child and
// reported through a pipe. Compare the medians.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <ctime>

namespace {

int64_t Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

// Nanoseconds of one dlopen of path in a new child process; -1 when it failed.
int64_t OpenInChild(const char* path) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const int64_t start = Now();
        void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        int64_t elapsed = handle != nullptr ? Now() - start : -1;
        (void)!write(fds[1], &elapsed, sizeof elapsed);
        _exit(0);
    }
    close(fds[1]);
    int64_t elapsed = -1;
    if (child < 0 || read(fds[0], &elapsed, sizeof elapsed) != sizeof elapsed) elapsed = -1;
    close(fds[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    return elapsed;
}

void Load(benchmark::State& state, const char* path) {
    for (auto _ : state) {
        const int64_t ns = OpenInChild(path);
        if (ns < 0) {
            state.SkipWithError("dlopen failed");
            return;
        }
        state.SetIterationTime(static_cast<double>(ns) * 1e-9);
    }
}

void BM_dlopen_library(benchmark::State& state) {
    Load(state, MVB_LIBRARY_PATH);
}
void BM_dlopen_sqlite(benchmark::State& state) {
    Load(state, "libsqlite3.so.0");
}
void BM_dlopen_empty_cpp(benchmark::State& state) {
    Load(state, MVB_EMPTY_MODULE_PATH);
}

// Five repetitions of 200 loads each; the report keeps their median (and spread).
void Configure(benchmark::internal::Benchmark* b) {
    b->UseManualTime()->Iterations(200)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(
        benchmark::kMicrosecond);
}
BENCHMARK(BM_dlopen_library)->Apply(Configure);
BENCHMARK(BM_dlopen_sqlite)->Apply(Configure);
BENCHMARK(BM_dlopen_empty_cpp)->Apply(Configure);

}  // namespace
