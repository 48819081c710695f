// The entry cache and the entry ring. The cache: entries taken, given back singly,
// taken back newest-first and all at once, against the set of entries handed out --
// live entries never overlap, each keeps the bytes written into it, and an entry given
// back is handed out again before new memory is used. The ring: stepping past either
// end of the window, moving the current entry, against slot indexes; every slot that
// joined the window is initialised once and finalised once.
#include <cstring>
#include <map>
#include <vector>

#include "containers.h"
#include "fuzz_support.h"

namespace {

using mvfuzz::Pick;

void Cache(FuzzedDataProvider& in) {
    const uint32_t size = Pick(in, 70u);
    const uint32_t perBlock = Pick(in, 9u);
    const uint16_t align = uint16_t(1u << Pick(in, 5u));
    TnEntryCache cache(size, perBlock, align);
    const uint32_t entrySize = cache.entrySize;
    FUZZ_CHECK(entrySize >= sizeof(void*) && entrySize >= size && entrySize % align == 0);
    FUZZ_CHECK(cache.entriesPerBlock >= 1);
    std::map<unsigned char*, unsigned char> live;  // entry -> the byte it is filled with
    std::vector<unsigned char*> fromBlocks;        // handed out from blocks, in order
    std::vector<unsigned char*> returned;          // the free list, newest first
    unsigned char fill = 0;
    for (int steps = Pick(in, 200); steps > 0 && in.remaining_bytes() > 0; --steps) {
        switch (Pick(in, 6)) {
            case 0:
            case 1: {
                auto* e = static_cast<unsigned char*>(cache.GetEntry());
                FUZZ_CHECK(e != nullptr && live.count(e) == 0);
                if (!returned.empty()) {
                    FUZZ_CHECK(e == returned.back());
                    returned.pop_back();
                } else {
                    fromBlocks.push_back(e);
                }
                // No overlap with a neighbour.
                auto next = live.upper_bound(e);
                FUZZ_CHECK(next == live.end() || next->first >= e + entrySize);
                if (next != live.begin()) {
                    auto prev = std::prev(next);
                    FUZZ_CHECK(prev->first + entrySize <= e);
                }
                std::memset(e, ++fill, entrySize);
                live[e] = fill;
                break;
            }
            case 2: {
                if (live.empty()) break;
                auto it = live.begin();
                std::advance(it, Pick(in, live.size()));
                unsigned char* e = it->first;
                live.erase(it);
                cache.ReturnEntry(e);
                returned.push_back(e);
                break;
            }
            case 3: {  // the newest entry from a block, unless it sits on the free list
                if (fromBlocks.empty() || live.count(fromBlocks.back()) == 0) break;
                unsigned char* e = fromBlocks.back();
                FUZZ_CHECK(cache.UngetEntry() == e);
                fromBlocks.pop_back();
                live.erase(e);
                break;
            }
            case 4:
            case 5:
                if (Pick(in, 4) != 0) break;
                if (in.ConsumeBool())
                    cache.UngetAllEntries();
                else
                    cache.Clear();
                live.clear();
                fromBlocks.clear();
                returned.clear();
                break;
        }
        for (const auto& e : live)
            for (uint32_t b = 0; b < entrySize; ++b) FUZZ_CHECK(e.first[b] == e.second);
    }
    TnEntryCache copy(cache);  // configured alike, empty
    FUZZ_CHECK(copy.entrySize == entrySize && copy.blockList == nullptr &&
               copy.freeList == nullptr);
}

std::map<void*, int>* g_inits;
std::map<void*, int>* g_finals;
void Init(TnTransactionContext*, void* e) {
    ++(*g_inits)[e];
}
void Final(TnTransactionContext*, void* e) {
    ++(*g_finals)[e];
}

void Ring(FuzzedDataProvider& in) {
    const uint16_t entrySize = uint16_t(1 + Pick(in, 24u));
    const uint16_t slots = uint16_t(1 + Pick(in, 12u));
    std::vector<unsigned char> array(size_t(entrySize) * slots);
    std::map<void*, int> inits, finals;
    g_inits = &inits;
    g_finals = &finals;
    auto slot = [&](long i) { return array.data() + size_t(i) * entrySize; };
    {
        TnEntryStack ring(nullptr, array.data(), entrySize, slots, Init, Final);
        long oldest = 0, newest = 0, current = 0, size = 1;  // the window: size slots from oldest
        auto inWindow = [&](long i) { return (i - oldest + slots) % slots < size; };
        for (int steps = Pick(in, 100); steps > 0 && in.remaining_bytes() > 0; --steps) {
            switch (Pick(in, 3)) {
                case 0: {
                    const long next = (current + 1) % slots;
                    void* e = ring.GetNextEntry();
                    if (next == oldest) {
                        FUZZ_CHECK(e == nullptr);
                    } else {
                        FUZZ_CHECK(e == slot(next));
                        if (current == newest) newest = next, ++size;
                    }
                    break;
                }
                case 1: {
                    const long prev = (current + slots - 1) % slots;
                    void* e = ring.GetPrevEntry();
                    if (prev == newest) {
                        FUZZ_CHECK(e == nullptr);
                    } else {
                        FUZZ_CHECK(e == slot(prev));
                        if (current == oldest) oldest = prev, ++size;
                    }
                    break;
                }
                default: {
                    const long i = Pick(in, slots + 1);  // one past the end too
                    void* e = ring.SetCurrentEntryWithTest(slot(i));
                    if (i < slots && inWindow(i)) {
                        FUZZ_CHECK(e == slot(i));
                        current = i;
                    } else {
                        FUZZ_CHECK(e == nullptr);
                    }
                    break;
                }
            }
            FUZZ_CHECK(long(inits.size()) == size && ring.current == slot(current));
            for (const auto& n : inits) FUZZ_CHECK(n.second == 1);
            FUZZ_CHECK(finals.empty());
        }
    }
    FUZZ_CHECK(inits == finals);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    while (in.remaining_bytes() > 0) {
        if (in.ConsumeBool())
            Cache(in);
        else
            Ring(in);
    }
    return 0;
}
