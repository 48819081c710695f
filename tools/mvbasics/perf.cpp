// mvbasics perf: registers the performance counters and reads them as a collector
// does, through PrfData_Open and PrfData_Collect.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "mvbasics.h"
#include "perf_decode.h"

namespace {

struct Counter {
    std::string name;
    std::string help;
    uint32_t type;
    uint64_t value;
};

std::string Narrow(const char16_t* text) {
    std::string s;
    for (; text && *text; ++text) s += *text < 0x80 ? static_cast<char>(*text) : '?';
    return s;
}

// The item whose name has the given title index, or null.
const PrfItm* ItemOfTitle(uint32_t titleIndex) {
    const PrfData* prf = PrfData::sm_pPrfData;
    if (!prf || titleIndex < prf->m_dwFirstCounter) return nullptr;
    const uint32_t k = (titleIndex - prf->m_dwFirstCounter) / 2;
    if ((titleIndex - prf->m_dwFirstCounter) % 2 != 0 || k >= prf->m_NumItems) return nullptr;
    return &prf->m_pPrfItms[k];
}

// One collection of every object, flattened to the counters of objects without
// instances. False when there is nothing to collect: no block, or only one whose
// writer is gone (the collector treats that as no block), or one that does not decode.
bool CollectAll(std::vector<Counter>* counters) {
    static bool opened = false;
    if (!opened) PrfData_Open(nullptr);
    opened = true;
    std::vector<uint8_t> buffer(4096);
    uint32_t status;
    void* data;
    uint32_t bytes;
    uint32_t objects;
    std::u16string request = u"Global";
    for (;;) {
        data = buffer.data();
        bytes = static_cast<uint32_t>(buffer.size());
        status = PrfData_Collect(request.data(), &data, &bytes, &objects);
        if (status != 234 || buffer.size() > (1u << 24)) break;
        buffer.resize(buffer.size() * 2);
    }
    counters->clear();
    std::vector<perfdecode::RawCounter> raw;
    if (status != 0 || objects == 0 || bytes > buffer.size() ||
        !perfdecode::Decode(buffer.data(), bytes, objects, &raw))
        return false;
    for (const perfdecode::RawCounter& r : raw) {
        const PrfItm* item = ItemOfTitle(r.nameTitleIndex);
        counters->push_back(
            {item ? Narrow(item->pszName) : "counter " + std::to_string(r.nameTitleIndex),
             item ? Narrow(item->pszHelp) : "", r.type, r.value});
    }
    return true;
}

// Which block the collector reads: a new one after a writer (re)started.
uint32_t BlockGeneration() {
    return PrfData::sm_pPrfData ? PrfData::sm_pPrfData->m_cViews : 0;
}

bool IsRate(uint32_t type) {
    return type == PERF_COUNTER_COUNTER;
}

int NoData() {
    std::printf("%-28s %12s\n", "Writer", "none");
    std::fprintf(stderr,
                 "mvbasics perf: no performance data (are the counters registered and is a "
                 "runtime process publishing them?)\n");
    return 1;
}

int Collect() {
    std::vector<Counter> counters;
    if (!CollectAll(&counters)) return NoData();
    std::printf("%-28s %12s\n", "Writer", "alive");
    for (const Counter& c : counters)
        std::printf("%-28s %12llu\n", c.name.c_str(), static_cast<unsigned long long>(c.value));
    return 0;
}

// Rates per second for the rate counters, values for the others, every interval. A
// writer that stops shows as such; one that (re)starts begins a new base, since its
// counts start again from 0.
int Watch(double interval, int rounds) {
    std::vector<Counter> before;
    uint32_t base = 0;
    if (!CollectAll(&before)) return NoData();
    base = BlockGeneration();
    auto then = std::chrono::steady_clock::now();
    for (int round = 0; rounds <= 0 || round < rounds; ++round) {
        std::this_thread::sleep_for(std::chrono::duration<double>(interval));
        std::vector<Counter> now;
        const bool alive = CollectAll(&now);
        const auto when = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(when - then).count();
        const bool restarted = alive && (before.empty() || BlockGeneration() != base);
        std::printf("\n%-28s %14s\n", "Merivane", "value or /s");
        std::printf("%-28s %14s\n", "Writer", !alive ? "none" : restarted ? "new" : "alive");
        for (size_t i = 0; i < now.size(); ++i) {
            if (!IsRate(now[i].type)) {
                std::printf("%-28s %14lld\n", now[i].name.c_str(),
                            static_cast<long long>(static_cast<int32_t>(now[i].value)));
            } else if (restarted || i >= before.size()) {
                std::printf("%-28s %14s\n", now[i].name.c_str(), "-");
            } else {
                // The counts are 32-bit and may wrap between two samples.
                const uint32_t delta = static_cast<uint32_t>(now[i].value - before[i].value);
                std::printf("%-28s %14.2f\n", now[i].name.c_str(), delta / seconds);
            }
        }
        std::fflush(stdout);
        before = now;
        base = BlockGeneration();
        then = when;
    }
    return 0;
}

// "C/S Requests/sec" -> "merivane_c_s_requests_total" (a counter) or, for a value,
// "merivane_..." without the suffix.
std::string MetricName(const Counter& c) {
    std::string base = c.name;
    const std::string perSecond = "/sec";
    if (base.size() > perSecond.size() &&
        base.compare(base.size() - perSecond.size(), perSecond.size(), perSecond) == 0)
        base.resize(base.size() - perSecond.size());
    std::string name = "merivane_";
    for (char ch : base) {
        const bool alnum =
            (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
        if (alnum) {
            name += static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
        } else if (name.back() != '_') {
            name += '_';
        }
    }
    while (name.back() == '_') name.pop_back();
    return IsRate(c.type) ? name + "_total" : name;
}

int Prometheus() {
    std::vector<Counter> counters;
    const bool alive = CollectAll(&counters);
    std::printf(
        "# HELP merivane_writer_alive Whether a runtime process publishes the counters "
        "(1) or none does (0, and no counter values follow).\n"
        "# TYPE merivane_writer_alive gauge\nmerivane_writer_alive %d\n",
        alive ? 1 : 0);
    for (const Counter& c : counters) {
        const std::string name = MetricName(c);
        std::string help;
        for (char ch : c.help)
            help += ch == '\\' ? "\\\\" : ch == '\n' ? "\\n" : std::string(1, ch);
        std::printf("# HELP %s %s\n# TYPE %s %s\n", name.c_str(), help.c_str(), name.c_str(),
                    IsRate(c.type) ? "counter" : "gauge");
        if (IsRate(c.type)) {
            std::printf("%s %llu\n", name.c_str(), static_cast<unsigned long long>(c.value));
        } else {
            std::printf("%s %lld\n", name.c_str(),
                        static_cast<long long>(static_cast<int32_t>(c.value)));
        }
    }
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: mvbasics perf register | unregister | collect | prometheus\n"
                 "       mvbasics perf watch [seconds between samples [number of samples]]\n");
    return 2;
}

}  // namespace

int CmdPerf(int argc, char** argv) {
    if (argc < 1) return Usage();
    const std::string command = argv[0];
    if (command == "register" || command == "unregister") {
        const bool reg = command == "register";
        const int result = reg ? RegisterStatistics() : DeregisterStatistics();
        static const char* const kRegister[] = {"registered", "already registered",
                                                "the registration key cannot be created",
                                                "the counter texts cannot be loaded"};
        static const char* const kUnregister[] = {"deregistered", "not registered",
                                                  "the counter texts cannot be unloaded"};
        const int index = -result;
        const char* text = reg ? (index >= 0 && index <= 3 ? kRegister[index] : "failed")
                               : (index >= 0 && index <= 2 ? kUnregister[index] : "failed");
        std::printf("%s: %s (%d)\n", command.c_str(), text, result);
        char cause[1024];
        if (result != 0 && result != -1 && TnGetRegistryFailure(cause, sizeof cause) > 0) {
            std::fprintf(stderr, "mvbasics perf: %s\n", cause);
        }
        return result == 0 ? 0 : 1;
    }
    if (command == "collect") return Collect();
    if (command == "prometheus") return Prometheus();
    if (command == "watch") {
        const double interval = argc > 1 ? std::atof(argv[1]) : 1.0;
        const int rounds = argc > 2 ? std::atoi(argv[2]) : 0;
        if (interval <= 0) return Usage();
        return Watch(interval, rounds);
    }
    return Usage();
}
