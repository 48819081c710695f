#include "perf_metrics.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "mvbasics.h"
#include "perf_decode.h"

namespace mvtool {
namespace {

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

// Asks PrfData_Collect for every object, growing the buffer while it answers "more data".
bool CollectBlock(std::vector<uint8_t>* buffer, uint32_t* objects) {
    static bool opened = false;
    if (!opened) PrfData_Open(nullptr);
    opened = true;
    std::u16string request = u"Global";
    buffer->resize(4096);
    for (;;) {
        void* data = buffer->data();
        uint32_t bytes = static_cast<uint32_t>(buffer->size());
        const uint32_t status = PrfData_Collect(request.data(), &data, &bytes, objects);
        if (status == 0) {
            if (bytes > buffer->size()) return false;
            buffer->resize(bytes);
            return *objects > 0;
        }
        if (status != 234 || buffer->size() > (1u << 24)) return false;
        buffer->resize(buffer->size() * 2);
    }
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Splits a display name into lower-case words: blanks, punctuation and case changes
// ("RefreshedObjects", "CSUsedCount") separate words; "C/S" reads "client server".
std::vector<std::string> Words(std::string name) {
    const std::string clientServer = "C/S";
    for (size_t at; (at = name.find(clientServer)) != std::string::npos;)
        name.replace(at, clientServer.size(), " Client Server ");
    std::vector<std::string> words;
    std::string word;
    auto flush = [&] {
        if (!word.empty()) words.push_back(word);
        word.clear();
    };
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char ch = static_cast<unsigned char>(name[i]);
        if (!std::isalnum(ch)) {
            flush();
            continue;
        }
        const bool upper = std::isupper(ch);
        const bool afterLower = i > 0 && std::islower(static_cast<unsigned char>(name[i - 1]));
        const bool acronymEnd = i > 0 && std::isupper(static_cast<unsigned char>(name[i - 1])) &&
                                i + 1 < name.size() &&
                                std::islower(static_cast<unsigned char>(name[i + 1]));
        if (upper && (afterLower || acronymEnd)) flush();
        word += static_cast<char>(std::tolower(ch));
    }
    flush();
    return words;
}

std::string EscapeHelp(const std::string& text) {
    std::string out;
    for (char ch : text) out += ch == '\\' ? "\\\\" : ch == '\n' ? "\\n" : std::string(1, ch);
    return out;
}

void AppendMetric(std::string* out, const std::string& name, const char* type,
                  const std::string& help, const std::string& value) {
    *out += "# HELP " + name + " " + EscapeHelp(help) + "\n";
    *out += "# TYPE " + name + " " + type + "\n";
    *out += name + " " + value + "\n";
}

}  // namespace

bool CounterSample::IsRate() const {
    return type == PERF_COUNTER_COUNTER;
}

int64_t CounterSample::Value() const {
    return IsRate() ? static_cast<int64_t>(static_cast<uint32_t>(value))
                    : static_cast<int64_t>(static_cast<int32_t>(value));
}

Collection CollectCounters() {
    static std::mutex collecting;  // the collector's object marks are per process
    std::lock_guard<std::mutex> lock(collecting);
    Collection result;
    result.unixTime =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    std::vector<uint8_t> buffer;
    uint32_t objects = 0;
    std::vector<perfdecode::RawCounter> raw;
    if (!CollectBlock(&buffer, &objects) ||
        !perfdecode::Decode(buffer.data(), buffer.size(), objects, &raw))
        return result;
    for (const perfdecode::RawCounter& r : raw) {
        const PrfItm* item = ItemOfTitle(r.nameTitleIndex);
        CounterSample counter;
        counter.name = item ? Narrow(item->pszName) : "counter " + std::to_string(r.nameTitleIndex);
        counter.help = item ? Narrow(item->pszHelp) : "";
        counter.type = r.type;
        counter.value = r.value;
        result.counters.push_back(counter);
    }
    result.writerAlive = !result.counters.empty();
    result.generation = PrfData::sm_pPrfData ? PrfData::sm_pPrfData->m_cViews : 0;
    return result;
}

std::string MetricName(const CounterSample& counter) {
    std::string base = counter.name;
    if (EndsWith(base, "/sec")) base.resize(base.size() - 4);
    std::vector<std::string> words = Words(base);
    // A gauge's name may not end in what Prometheus keeps for counters, histograms and
    // summaries ("_count" above all: promtool's lint reports it).
    static const char* const kReserved[] = {"count", "sum", "bucket", "total"};
    const bool reservedEnd = !words.empty() && std::find(std::begin(kReserved), std::end(kReserved),
                                                         words.back()) != std::end(kReserved);
    if (!counter.IsRate() && reservedEnd && words.size() > 1) words.pop_back();
    std::string name = "merivane";
    for (const std::string& word : words) name += "_" + word;
    return counter.IsRate() ? name + "_total" : name;
}

std::string PrometheusText(const Collection& collection) {
    std::string out;
    AppendMetric(&out, "merivane_writer_alive", "gauge",
                 "Whether a runtime process publishes the counters (1) or none does (0, and no "
                 "counter values follow).",
                 collection.writerAlive ? "1" : "0");
    for (const CounterSample& c : collection.counters) {
        AppendMetric(&out, MetricName(c), c.IsRate() ? "counter" : "gauge", c.help,
                     std::to_string(c.Value()));
    }
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.3f", collection.unixTime);
    AppendMetric(&out, "merivane_collection_timestamp_seconds", "gauge",
                 "When the counters were collected, in seconds since the Unix epoch.", stamp);
    return out;
}

}  // namespace mvtool
