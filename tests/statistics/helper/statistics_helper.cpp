// Helper of the statistics tests: answers one command per line on standard input
// with one line on standard output, so that a test can drive writers, readers and
// collectors in processes of their own.
//   activate writer|reader             -> the activation result
//   enable                             -> the enabled flag after Statistics()->Enable()
//   <update> [amount]                  -> "ok" (IncClients, DecClients, AddLocks, ...)
//   collect <request>                  -> status bytes objects, then each counter value
//   forkexit                           -> "ok" once a child of this process has ended
//                                         through exit() (running its static destructors)
//   poll <milliseconds>                -> collects everything again and again for that
//                                         long: how many gave the whole block, how many
//                                         nothing, how many anything else
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "prfdata.h"
#include "statistics.h"

// A child of this process that ends through exit(): "ok" once it has ended
// (helper/<backend>/fork_exit.cpp).
std::string ForkExit();

namespace {

std::string Collect(const std::string& request, std::vector<uint8_t>* copy = nullptr) {
    static bool opened = false;
    if (!opened) PrfData_Open(nullptr);
    opened = true;
    std::u16string name(request.begin(), request.end());
    std::vector<uint8_t> out(4096);
    void* data = out.data();
    uint32_t bytes = static_cast<uint32_t>(out.size());
    uint32_t objects = 0;
    uint32_t status = PrfData_Collect(name.data(), &data, &bytes, &objects);
    std::string answer =
        std::to_string(status) + " " + std::to_string(bytes) + " " + std::to_string(objects);
    if (objects == 1) {
        PERF_OBJECT_TYPE pot;
        std::memcpy(&pot, out.data(), sizeof pot);
        for (uint32_t c = 0; c < pot.NumCounters; ++c) {
            PERF_COUNTER_DEFINITION def;
            std::memcpy(&def, out.data() + pot.HeaderLength + c * sizeof def, sizeof def);
            uint32_t value = 0;
            std::memcpy(&value, out.data() + pot.DefinitionLength + def.CounterOffset, 4);
            answer += " " + std::to_string(value);
        }
    }
    if (copy) *copy = out;
    return answer;
}

std::string Poll(int milliseconds) {
    int whole = 0;
    int nothing = 0;
    int rounds = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (; std::chrono::steady_clock::now() < end; ++rounds) {
        std::vector<uint8_t> out;
        const std::string answer = Collect("Global", &out);
        // A whole block has its definitions: the last counter's offset and title index.
        PERF_COUNTER_DEFINITION last;
        std::memcpy(&last, out.data() + 64 + 21 * sizeof last, sizeof last);
        if (answer == "0 0 0") {
            ++nothing;
        } else if (answer.compare(0, 9, "0 1128 1 ") == 0 && last.CounterOffset == 176 &&
                   last.CounterNameTitleIndex == 1044) {
            ++whole;
        }
    }
    return std::to_string(whole) + " " + std::to_string(nothing) + " " +
           std::to_string(rounds - whole - nothing);
}

std::string Update(const std::string& op, int amount) {
    TnStatistics* s = Statistics();
    const std::pair<const char*, void (TnStatistics::*)()> steps[] = {
        {"IncClients", &TnStatistics::IncClients},
        {"DecClients", &TnStatistics::DecClients},
        {"IncCommits", &TnStatistics::IncCommits},
        {"IncWaitingJobs", &TnStatistics::IncWaitingJobs}};
    const std::pair<const char*, void (TnStatistics::*)(int)> adds[] = {
        {"AddLocks", &TnStatistics::AddLocks},
        {"AddDeletedObjects", &TnStatistics::AddDeletedObjects}};
    for (const auto& step : steps)
        if (op == step.first) return (s->*step.second)(), "ok";
    for (const auto& add : adds)
        if (op == add.first) return (s->*add.second)(amount), "ok";
    return "unknown";
}

}  // namespace

int main() {
    char line[512];
    while (std::fgets(line, sizeof line, stdin)) {
        line[std::strcspn(line, "\r\n")] = 0;
        char word[64] = {};
        char arg[400] = {};
        std::sscanf(line, "%63s %399[^\n]", word, arg);
        const std::string command = word;
        std::string answer;
        if (command == "activate") {
            answer =
                std::to_string(PrfData::sm_pPrfData->Activate(std::strcmp(arg, "writer") == 0));
        } else if (command == "enable") {
            Statistics()->Enable();
            answer = std::to_string(Statistics()->m_enabled);
        } else if (command == "collect") {
            answer = Collect(arg);
        } else if (command == "forkexit") {
            answer = ForkExit();
        } else if (command == "poll") {
            answer = Poll(std::atoi(arg));
        } else {
            answer = Update(command, std::atoi(arg));
        }
        std::printf("%s\n", answer.c_str());
        std::fflush(stdout);
    }
    return 0;
}
