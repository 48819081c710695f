#include "demo_tour.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "mvbasics.h"
#include "perf_metrics.h"
#include "services/tool_interface.h"
#include "stored_blocks.h"

namespace mvtool {
namespace {

const TourStyle* g_style = nullptr;
int g_section = 0;

void Section(const char* title) {
    std::printf("\n%s%d. %s%s\n", g_style->bold, ++g_section, title, g_style->reset);
}

void Note(const char* text) {
    std::printf("   %s%s%s\n", g_style->dim, text, g_style->reset);
}

// ---------------------------------------------------------------- containers

struct Record {
    int32_t id;
    char name[12];
};

int CompareRecords(TnCompareArgs* a) {
    const int32_t probe = *static_cast<int32_t*>(a->probeKey);
    const int32_t stored = static_cast<Record*>(a->element)->id;
    *a->keyResult = (probe > stored) - (probe < stored);
    *a->orderResult = *a->keyResult;
    return 0;
}

void* RecordKey(TnVContainer*, void* element, int* result, TnVParameter*) {
    *result = 0;
    return &static_cast<Record*>(element)->id;
}

int InsertRecord(TnRBTree& tree, int32_t id, const char* name) {
    int rc = 0;
    TnRBTreeNode* entry = tree.CreateEntry(&rc);
    if (entry == nullptr) return rc;
    Record* record = static_cast<Record*>(entry->Element());
    record->id = id;
    std::snprintf(record->name, sizeof record->name, "%s", name);
    return tree.InsertEntry(entry, 0, nullptr);
}

bool TreeSection() {
    Section("Containers: records in a red-black tree, walked by an iterator");
    TnRBTree tree(sizeof(Record));
    tree.SetCompareFunc(CompareRecords);
    tree.SetKeyFunc(RecordKey);
    const Record input[] = {{42, "Quill"},  {7, "Ada"},     {19, "Lovelace"},
                            {3, "Babbage"}, {25, "Hopper"}, {11, "Turing"}};
    std::printf("   inserted in this order:");
    for (const Record& r : input) {
        if (InsertRecord(tree, r.id, r.name) != 0) return false;
        std::printf(" %d", r.id);
    }
    std::printf("\n   the iterator walks them in key order:\n");
    std::unique_ptr<TnVIterator> it(tree.CreateIterator(nullptr));
    for (int rc = it->First(); rc == 0; rc = it->Next()) {
        int result = 0;
        const Record* r = static_cast<const Record*>(it->GetElement(&result, nullptr));
        std::printf("     %3d  %s\n", r->id, r->name);
    }
    const int duplicate = InsertRecord(tree, 19, "Again");
    std::printf("   inserting id 19 again is refused by the duplicate policy: %d\n", duplicate);
    std::printf("   tree check: %d, %u records\n", tree.CheckTree(nullptr),
                static_cast<unsigned>(tree.count));
    return duplicate == ERR_TN_DUPLICATE;
}

// ---------------------------------------------------------------- arrays

int32_t CompareInts(const TnVArray*, const void* a, const void* b) {
    const int32_t x = *static_cast<const int32_t*>(a), y = *static_cast<const int32_t*>(b);
    return (x > y) - (x < y);
}

bool ArraySection() {
    Section("Arrays: a sorted array and a binary search");
    TnCList list(sizeof(int32_t), 4);
    list.SetCompareCallback(CompareInts);
    const int32_t values[] = {31, 4, 15, 92, 65, 35, 89, 7};
    for (int32_t v : values) {
        uint32_t position = 0;
        if (list.SortedInsert(&v, &position, 0, 1) != 0) return false;
    }
    std::printf("   SortedInsert of 31 4 15 92 65 35 89 7 keeps:");
    for (uint32_t i = 0; i < list.Count(); ++i)
        std::printf(" %d", *static_cast<int32_t*>(list.Element(i)));
    std::printf("\n   capacity grew by doubling to %u\n", list.GetCurMaxCount());
    for (int32_t key : {65, 50}) {
        uint32_t position = 0;
        const TnResult rc = list.Search(&key, &position, nullptr);
        std::printf("   Search(%d): %s position %u\n", key,
                    rc == 0 ? "found at" : "not found (-502), would go at", position);
    }
    return true;
}

// ---------------------------------------------------------------- memory file

bool MemFileSection() {
    Section("Memory file: a byte store that grows by segments");
    MemFile file(0, 64);
    const std::string line = "one record of the memory file, forty bytes\n";
    std::printf("   segment size %u bytes\n", file.SegmentSize());
    for (int i = 1; i <= 4; ++i) {
        if (file.Put(line.data(), file.Size(), static_cast<int32_t>(line.size())) == 0)
            return false;
        std::printf("   after write %d: size %4d, capacity %4u\n", i, file.Size(), file.Capacity());
    }
    std::printf("   CRC-32 of the whole file: %08x\n", file.CheckSum(0, 0xFFFFFFFFu, nullptr));
    return true;
}

// ---------------------------------------------------------------- checksum and compression

bool StoredDataSection(TnTimer* timer) {
    Section("Stored data: checksum and compression, timed");
    std::printf("   CRC-32 of \"123456789\": %08x\n", BlockChecksum("123456789"));
    std::string record(1000, ' ');
    std::memcpy(&record[0], "Ada Lovelace", 12);
    std::memcpy(&record[500], "London", 6);
    timer->Start();
    std::string packed, unpacked;
    const bool ok = PackBlock(record, &packed) && UnpackBlock(packed, &unpacked);
    timer->Stop();
    if (!ok) return false;
    std::printf("   a space-padded record of %zu bytes packs into %zu bytes\n", record.size(),
                packed.size());
    std::printf("   unpacked again: %zu bytes, %s, CRC-32 %08x before and %08x after\n",
                unpacked.size(), unpacked == record ? "identical" : "DIFFERENT",
                BlockChecksum(record), BlockChecksum(unpacked));
    std::printf("   the round trip took %.1f microseconds (high-resolution timer, %u ticks/s)\n",
                timer->Seconds() * 1e6, timer->TicksPerSecond());
    return unpacked == record;
}

// ---------------------------------------------------------------- settings

bool SettingsSection() {
    Section("Settings: a value written to the registry and read back");
    const char* path[] = {"Demo", "greeting", nullptr};
    char value[] = "hello from the tour";
    int length = static_cast<int>(std::strlen(value));
    const int set = TnSetRegistryEntry(path, value, length);
    char buffer[64] = {};
    int size = sizeof buffer;
    const int get = TnGetRegistryEntry(path, buffer, size);
    std::printf("   TnSetRegistryEntry(Demo\\greeting) = %d\n", set);
    std::printf("   TnGetRegistryEntry(Demo\\greeting) = %d: \"%.*s\" (%d bytes)\n", get,
                size > 0 ? size : 0, buffer, size);
    std::printf("   under HKEY_LOCAL_MACHINE\\SOFTWARE\\Ardwyn\\Merivane in %s\n",
                std::getenv("MERIVANE_REGISTRY"));
    Note("see them with: mvbasics registry list --recursive");
    return set == 0 && get == 0;
}

// ---------------------------------------------------------------- counters

bool CountersSection() {
    Section("Performance counters: published and collected");
    const int registered = RegisterStatistics();
    std::printf("   RegisterStatistics() = %d\n", registered);
    if (registered != 0) {
        Note("(the counter texts were not found beside the library; section skipped)");
        return true;
    }
    Statistics()->Enable();
    for (int i = 0; i < 3; ++i) Statistics()->IncTransactions();
    for (int i = 0; i < 5; ++i) Statistics()->IncCommits();
    Statistics()->AddInsertedObjects(12);
    std::printf("   published: 3 transactions, 5 commits, 12 inserted objects\n");
    const Collection collection = CollectCounters();
    for (const CounterSample& c : collection.counters) {
        if (c.Value() != 0)
            std::printf("   collected: %-22s %3lld   (Prometheus: %s)\n", c.name.c_str(),
                        static_cast<long long>(c.Value()), MetricName(c).c_str());
    }
    DeregisterStatistics();
    // The tour's block and writer mutex go with the scratch folder.
    const MvbToolTable* os = MvbToolInterface();
    for (const char* block : {"Global\\Merivane_Performance", "Merivane_Performance"})
        os->removeSharedMemory(block);
    os->removeWriterMutex("Merivane_mt");
    Note("a runtime's counters: mvbasics perf collect | watch | prometheus | serve");
    return !collection.counters.empty();
}

// ---------------------------------------------------------------- events and assertions

std::string LastLine(const std::string& file) {
    std::ifstream in(file);
    std::string line, last;
    while (std::getline(in, line)) last = line;
    return last;
}

bool EventSection() {
    Section("System log: an event reported");
    TnSystemLog()->Report(2, "The guided tour reports an information event.");
    const char* file = std::getenv("MERIVANE_EVENT_LOG");
    std::printf(
        "   Report(2, ...) went to the system log (syslog, ident \"Merivane Runtime "
        "System 12 (100)\")\n   and as one JSON line to %s:\n   %s\n",
        file, LastLine(file).c_str());
    Note("read it with: mvbasics log --source 'Merivane Runtime System 12 (100)'");
    return true;
}

int g_handled = 0;
int ContinueHandler(uint32_t code, void*) {
    ++g_handled;
    std::printf("   the host's handler received exception 0x%08X and continues\n",
                static_cast<unsigned>(code));
    return TN_EXCEPTION_CONTINUE_EXECUTION;
}

bool AssertionSection() {
    Section("Assertions: a failed assertion caught");
    std::fflush(stdout);  // the assertion text goes to standard error
    void* cookie = TnAddExceptionHandler(ContinueHandler, nullptr);
    const int result = TARN_assert("tour_value == 42", "tools\\mvbasics\\demo", __LINE__);
    TnRemoveExceptionHandler(cookie);
    std::printf("   TARN_assert returned %d after %d handler call\n", result, g_handled);
    std::fflush(stdout);
    try {
        TARN_assert("second_value == 43", "tools\\mvbasics\\demo", __LINE__);
    } catch (const TnException& e) {
        std::printf("   without a handler, the host's catch receives TnException 0x%08X\n",
                    static_cast<unsigned>(e.Code()));
        return g_handled == 1;
    }
    return false;
}

}  // namespace

TourStyle TourStyle::ForStdout() {
    TourStyle style;
    const char* term = std::getenv("TERM");
    if (isatty(STDOUT_FILENO) && std::getenv("NO_COLOR") == nullptr &&
        !(term != nullptr && std::strcmp(term, "dumb") == 0)) {
        style.bold = "\033[1m";
        style.dim = "\033[2m";
        style.reset = "\033[0m";
    }
    return style;
}

int RunTour(const TourStyle& style, const std::string& scratch, const std::string& iniPath) {
    g_style = &style;
    g_section = 0;
    unsigned v[5] = {};
    const char *name, *built, *fourth, *compiler, *extra;
    int compilerVersion = 0;
    const char* title = TnDescribeDll(&v[0], &v[1], &v[2], &v[3], &v[4], &name, &built, &fourth,
                                      &compilerVersion, &compiler, &extra);
    std::printf("%sA guided tour of %s %u.%u.%u.%u.%u (%s)%s\n", style.bold, title, v[0], v[1],
                v[2], v[3], v[4], name, style.reset);
    std::printf("   scratch folder %s, host configuration %s\n", scratch.c_str(), iniPath.c_str());
    std::unique_ptr<TnTimer> timer(TnTimer::MakeHiResTimer());
    bool ok = TreeSection();
    ok = ArraySection() && ok;
    ok = MemFileSection() && ok;
    ok = timer != nullptr && StoredDataSection(timer.get()) && ok;
    ok = SettingsSection() && ok;
    ok = CountersSection() && ok;
    ok = EventSection() && ok;
    ok = AssertionSection() && ok;
    return ok ? 0 : 1;
}

}  // namespace mvtool
