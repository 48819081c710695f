// Reading the performance counters as the system's collector does (PrfData_Open,
// PrfData_Collect), and writing them in the Prometheus text exposition format.
#ifndef MV_TOOLS_PERF_METRICS_H
#define MV_TOOLS_PERF_METRICS_H

#include <cstdint>
#include <string>
#include <vector>

namespace mvtool {

struct CounterSample {
    std::string name;  // the counter's display name, "C/S Requests/sec"
    std::string help;
    uint32_t type = 0;  // the platform's counter type
    uint64_t value = 0;
    bool IsRate() const;
    // The value as the counter type defines it: rates are unsigned 32-bit counts,
    // the others signed 32-bit values.
    int64_t Value() const;
};

struct Collection {
    std::vector<CounterSample> counters;  // empty: no block to read
    double unixTime = 0;                  // when the collection was taken
    // Whether a runtime process publishes the counters: the collector takes a block
    // whose writer died for none, so this is whether the collection held counters.
    bool writerAlive = false;
    // Which block was read: it changes when a writer (re)starts, whose counts begin
    // again from 0.
    uint32_t generation = 0;
};

// One collection of every object (the counters of objects without instances); no
// counters when there is no block, its writer is gone, or it does not decode. Safe to
// call from several threads: collections are taken one at a time.
Collection CollectCounters();

// "C/S Requests/sec" -> "merivane_client_server_requests_total" for a rate counter;
// "ObjDesc_CSUsedCount" -> "merivane_obj_desc_cs_used" for a value (a gauge drops a last
// word Prometheus keeps for other types: count, sum, bucket, total).
std::string MetricName(const CounterSample& counter);

// The whole exposition: whether a writer is alive, every counter with HELP and TYPE,
// and the collection time.
std::string PrometheusText(const Collection& collection);

}  // namespace mvtool

#endif
