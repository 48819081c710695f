#include "error_ranges.h"

#include <cstdio>
#include <cstring>

namespace mvtool {
namespace {

struct CodeRange {
    int low;
    int high;
    const char* owner;
};

// The catalogue's ranges, and the codes this library returns without a catalogue text.
// Searched in order: the narrow ranges of this library come first.
const CodeRange kRanges[] = {
    {-4, -1, "this library: a general failure of a basic operation"},
    {-313, -313, "this library: the test memory handler's simulated growth failure"},
    {-508, -501, "this library: arrays (capacity, index or allocation)"},
    {-523, -510, "this library: containers and iterators (not found, end of walk, changed)"},
    {-10002, -10001, "this library: the memory file (growth or size)"},
    {-12006, -12001, "this library: the record queue and raw buffer"},
    {-3099, -3001, "the query-language layer, which keeps its texts itself"},
    {3001, 3003, "the query-language layer, which keeps its texts itself"},
    {-7310, -7300, "online versioning"},
    {-7203, -7200, "replica log"},
    {-7106, -7101, "object buffer corruption"},
    {-7050, -7050, "versioning"},
    {-7030, -7001, "dictionary revisions, schema registry, database maintenance"},
    {-5177, -5150, "full-text engine (Verity)"},
    {-5133, -5101, "index service"},
    {-5005, -5001, "module loading"},
    {-4112, -4101, "collection walker and access paths"},
    {-4020, -4001, "transactions"},
    {-2999, -2991, "general"},
    {-2816, -2800, "sub-schemata and master dictionary"},
    {-2777, -2770, "data dump"},
    {-2754, -2751, "configuration file"},
    {-2710, -2701, "clients and database lock file"},
    {-2689, -2680, "reconnect and failover"},
    {-2671, -2650, "replication and incremental backup"},
    {-2646, -2630, "encryption and secure communication"},
    {-2622, -2601, "database files"},
    {-2537, -2501, "communication"},
    {-2415, -2401, "workspaces"},
    {-2312, -2301, "users and authorization"},
    {-2263, -2250, "recovery"},
    {-2217, -2201, "database copy and foreign databases"},
    {-2172, -2171, "operating-system time"},
    {-2140, -2000, "core database operations"},
    {2017, 2802, "warnings"},
    {4001, 4102, "transaction and collection warnings"},
    {5101, 5108, "full-text engine warnings (Verity)"},
    {7000, 7301, "dictionary, data extraction and online versioning notices"},
    {9000, 9004, "transaction notices"},
};

std::string Span(int low, int high) {
    char text[48];
    if (low == high) {
        std::snprintf(text, sizeof text, " (%d)", low);
    } else {
        std::snprintf(text, sizeof text, " (%d to %d)", low, high);
    }
    return text;
}

}  // namespace

std::string RangeOfCode(int code) {
    if (code == 0) return "success";
    if (code >= 1 && code <= 999) return "a count returned in place of a result (1 to 999)";
    for (const CodeRange& r : kRanges) {
        if (code >= r.low && code <= r.high) return r.owner + Span(r.low, r.high);
    }
    return code < 0 ? "an error outside every known range (another module's own code)"
                    : "a notice outside every known range (another module's own code)";
}

bool HasOwnText(int code, const char* text) {
    if (code == 0) return true;
    return std::strcmp(text, "unknown error") != 0 && std::strcmp(text, "count") != 0 &&
           !(code >= -3099 && code <= -3001) && !(code >= 3001 && code <= 3003);
}

}  // namespace mvtool
