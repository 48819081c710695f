// mvbasics perf: registers the performance counters and reads them as a collector
// does, once, live, or for Prometheus (a file for node_exporter, or an HTTP endpoint).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "cli.h"
#include "commands.h"
#include "mvbasics.h"
#include "perf_metrics.h"
#include "perf_serve.h"

namespace mvtool {
namespace {

int NoData(bool json) {
    if (json) {
        PrintJson({{"writer_alive", false}, {"counters", nlohmann::json::array()}});
    } else {
        std::printf("%-28s %12s\n", "Writer", "none");
    }
    return Fail("performance counters",
                "no performance data (are the counters registered and is a runtime process "
                "publishing them?)");
}

int Registration(bool reg) {
    const int result = reg ? RegisterStatistics() : DeregisterStatistics();
    static const char* const kRegister[] = {"registered", "already registered",
                                            "the registration key cannot be created",
                                            "the counter texts cannot be loaded"};
    static const char* const kUnregister[] = {"deregistered", "not registered",
                                              "the counter texts cannot be unloaded"};
    const int index = -result;
    const char* text = reg ? (index >= 0 && index <= 3 ? kRegister[index] : "failed")
                           : (index >= 0 && index <= 2 ? kUnregister[index] : "failed");
    if (result != 0) {
        std::string why = std::string(text) + " (" + std::to_string(result) + ")";
        char cause[1024];  // the registry's own cause, when a registry call failed
        if (result != -1 && TnGetRegistryFailure(cause, sizeof cause) > 0)
            why += ": " + std::string(cause);
        return Fail("performance counters", why);
    }
    std::printf("%s (0)\n", text);
    return kExitOk;
}

nlohmann::json CountersJson(const Collection& collection) {
    nlohmann::json counters = nlohmann::json::array();
    for (const CounterSample& c : collection.counters) {
        counters.push_back({{"name", c.name},
                            {"metric", MetricName(c)},
                            {"kind", c.IsRate() ? "rate" : "value"},
                            {"value", c.Value()}});
    }
    return counters;
}

int Collect(bool json) {
    const Collection collection = CollectCounters();
    if (!collection.writerAlive) return NoData(json);
    if (json) {
        PrintJson({{"time", collection.unixTime},
                   {"writer_alive", true},
                   {"counters", CountersJson(collection)}});
        return kExitOk;
    }
    std::printf("%-28s %12s\n", "Writer", "alive");
    for (const CounterSample& c : collection.counters)
        std::printf("%-28s %12lld\n", c.name.c_str(), static_cast<long long>(c.Value()));
    return kExitOk;
}

// One sample of the watch: rates per second since the previous sample for the rate
// counters, values for the others. A writer that stopped shows as "none"; one that
// (re)started as "new", with no rates, since its counts begin again from 0.
void PrintSample(const Collection& before, const Collection& now, bool json) {
    const bool restarted =
        now.writerAlive && (!before.writerAlive || now.generation != before.generation);
    const char* writer = !now.writerAlive ? "none" : restarted ? "new" : "alive";
    const double seconds = now.unixTime - before.unixTime;
    nlohmann::json line = {{"time", now.unixTime}, {"writer", writer}};
    if (!json) {
        std::printf("\n%-28s %14s\n", "Merivane", "value or /s");
        std::printf("%-28s %14s\n", "Writer", writer);
    }
    for (size_t i = 0; i < now.counters.size(); ++i) {
        const CounterSample& c = now.counters[i];
        const bool noRate = c.IsRate() && (restarted || i >= before.counters.size());
        // Rate counts are 32-bit and may wrap between two samples.
        const double shown =
            !c.IsRate() ? static_cast<double>(c.Value())
            : noRate    ? 0
                        : static_cast<uint32_t>(c.value - before.counters[i].value) / seconds;
        if (json) {
            line[c.name] = noRate ? nlohmann::json() : nlohmann::json(shown);
        } else if (noRate) {
            std::printf("%-28s %14s\n", c.name.c_str(), "-");
        } else if (c.IsRate()) {
            std::printf("%-28s %14.2f\n", c.name.c_str(), shown);
        } else {
            std::printf("%-28s %14lld\n", c.name.c_str(), static_cast<long long>(c.Value()));
        }
    }
    if (json) PrintJson(line);
    std::fflush(stdout);
}

int Watch(double interval, int samples, bool json) {
    Collection before = CollectCounters();
    if (!before.writerAlive) return NoData(json);
    for (int round = 0; samples <= 0 || round < samples; ++round) {
        std::this_thread::sleep_for(std::chrono::duration<double>(interval));
        Collection now = CollectCounters();
        PrintSample(before, now, json);
        before = std::move(now);
    }
    return kExitOk;
}

// Writes the text beside the target under a temporary name and renames it over the
// target, so that a reader (node_exporter's textfile collector) never sees half a file.
int WriteAtomically(const std::string& path, const std::string& text) {
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return Fail(path, "cannot create a temporary file beside it: " + SystemCause());
    bool ok = fchmod(fd, 0644) == 0;
    for (size_t done = 0; ok && done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    const std::string cause = ok ? "" : SystemCause();
    ok = close(fd) == 0 && ok;
    if (ok && std::rename(temp.c_str(), path.c_str()) == 0) return kExitOk;
    const std::string why = cause.empty() ? SystemCause() : cause;
    unlink(temp.c_str());
    return Fail(path, "cannot write: " + why);
}

int Prometheus(const std::string& output) {
    // Without a writer the exposition still answers, with merivane_writer_alive 0.
    const std::string text = PrometheusText(CollectCounters());
    if (output.empty() || output == "-") {
        std::fputs(text.c_str(), stdout);
        return kExitOk;
    }
    return WriteAtomically(output, text);
}

}  // namespace

void AddPerfCommand(CLI::App& app) {
    CLI::App* perf = app.add_subcommand("perf",
                                        "performance counters: register, read, watch, "
                                        "export to Prometheus");
    OnRun(perf->add_subcommand("register", "register the counters with the system"),
          [] { return Registration(true); });
    OnRun(perf->add_subcommand("unregister", "remove the counters' registration"),
          [] { return Registration(false); });

    CLI::App* collect = perf->add_subcommand("collect", "read the shared counter block once");
    auto collectJson = std::make_shared<bool>(false);
    collect->add_flag("--json", *collectJson, "one JSON document");
    OnRun(collect, [collectJson] { return Collect(*collectJson); });

    CLI::App* watch = perf->add_subcommand("watch", "show rates and values every interval");
    auto interval = std::make_shared<double>(1.0);
    auto samples = std::make_shared<int>(0);
    auto watchJson = std::make_shared<bool>(false);
    watch->add_option("seconds", *interval, "seconds between samples (0.01 to 86400)")
        ->capture_default_str()
        ->check(CLI::Range(0.01, 86400.0));
    watch->add_option("samples", *samples, "number of samples; 0 watches until interrupted")
        ->capture_default_str()
        ->check(CLI::Range(0, 100000000));
    watch->add_flag("--json", *watchJson, "one JSON object per sample and line");
    OnRun(watch, [=] { return Watch(*interval, *samples, *watchJson); });

    CLI::App* prom =
        perf->add_subcommand("prometheus",
                             "the counters in the Prometheus text format, on standard output "
                             "or atomically replacing a file (node_exporter's textfile collector)");
    auto output = std::make_shared<std::string>();
    prom->add_option("-o,--output", *output, "file to replace atomically ('-': standard output)");
    OnRun(prom, [output] { return Prometheus(*output); });

    AddPerfServeCommand(*perf);
}

}  // namespace mvtool
