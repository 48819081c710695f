#include "perf_metrics.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "mvbasics.h"

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
            buffer->resize(bytes);
            return *objects > 0;
        }
        if (status != 234 || buffer->size() > (1u << 24)) return false;
        buffer->resize(buffer->size() * 2);
    }
}

// The counters of one object without instances, read from its copy in a collection.
void ReadObject(const uint8_t* at, const PERF_OBJECT_TYPE& pot, std::vector<CounterSample>* out) {
    const uint8_t* block = at + pot.DefinitionLength;
    for (uint32_t c = 0; c < pot.NumCounters; ++c) {
        PERF_COUNTER_DEFINITION def;
        std::memcpy(&def, at + pot.HeaderLength + c * sizeof def, sizeof def);
        CounterSample counter;
        const PrfItm* item = ItemOfTitle(def.CounterNameTitleIndex);
        counter.name =
            item ? Narrow(item->pszName) : "counter " + std::to_string(def.CounterNameTitleIndex);
        counter.help = item ? Narrow(item->pszHelp) : "";
        counter.type = def.CounterType;
        const bool wide = (def.CounterType & PERF_MASK_SIZE_FLD) == PERF_SIZE_LARGE;
        std::memcpy(&counter.value, block + def.CounterOffset, wide ? 8 : 4);
        out->push_back(counter);
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
    if (!CollectBlock(&buffer, &objects)) return result;
    const uint8_t* at = buffer.data();
    const uint8_t* end = at + buffer.size();
    for (uint32_t o = 0;
         o < objects && end - at >= static_cast<ptrdiff_t>(sizeof(PERF_OBJECT_TYPE)); ++o) {
        PERF_OBJECT_TYPE pot;
        std::memcpy(&pot, at, sizeof pot);
        if (pot.NumInstances == PERF_NO_INSTANCES) ReadObject(at, pot, &result.counters);
        at += pot.TotalByteLength;
    }
    return result;
}

std::string MetricName(const CounterSample& counter) {
    std::string base = counter.name;
    if (EndsWith(base, "/sec")) base.resize(base.size() - 4);
    std::string name = "merivane";
    for (const std::string& word : Words(base)) name += "_" + word;
    return counter.IsRate() ? name + "_total" : name;
}

std::string PrometheusText(const Collection& collection) {
    std::string out;
    for (const CounterSample& c : collection.counters) {
        AppendMetric(&out, MetricName(c), c.IsRate() ? "counter" : "gauge", c.help,
                     std::to_string(c.Value()));
    }
    AppendMetric(&out, "merivane_counters_available", "gauge",
                 "Whether the shared counter block could be read (1) or not (0).",
                 collection.counters.empty() ? "0" : "1");
    if (collection.writerAlive.has_value()) {
        AppendMetric(&out, "merivane_writer_alive", "gauge",
                     "Whether the process that publishes the counters is alive (1) or not (0).",
                     *collection.writerAlive ? "1" : "0");
    }
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.3f", collection.unixTime);
    AppendMetric(&out, "merivane_collection_timestamp_seconds", "gauge",
                 "When the counters were collected, in seconds since the Unix epoch.", stamp);
    return out;
}

}  // namespace mvtool
