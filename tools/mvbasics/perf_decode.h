// mvbasics perf: reading a collection (what PrfData_Collect hands out) into counters.
// Every length and offset in the collection is checked against the bytes that were
// handed out before anything is read; a collection that does not hold together gives
// no counters at all.
#ifndef MV_TOOLS_PERF_DECODE_H
#define MV_TOOLS_PERF_DECODE_H

#include <cstdint>
#include <cstring>
#include <vector>

#include "prfdata.h"

namespace mvtool::perfdecode {

struct RawCounter {
    uint32_t nameTitleIndex;
    uint32_t type;
    uint64_t value;
};

// The counters of the objects without instances in `bytes` bytes holding `objects`
// objects; false (and no counters) when a length or offset points outside the
// collection or outside its object.
inline bool Decode(const uint8_t* data, uint64_t bytes, uint32_t objects,
                   std::vector<RawCounter>* counters) {
    counters->clear();
    uint64_t at = 0;
    for (uint32_t o = 0; o < objects; ++o) {
        PERF_OBJECT_TYPE pot;
        if (bytes - at < sizeof pot) return false;
        std::memcpy(&pot, data + at, sizeof pot);
        const uint64_t total = pot.TotalByteLength;
        const uint64_t definitions = uint64_t{pot.NumCounters} * sizeof(PERF_COUNTER_DEFINITION);
        if (total > bytes - at || pot.HeaderLength < sizeof pot || pot.DefinitionLength > total ||
            pot.HeaderLength > pot.DefinitionLength ||
            definitions > pot.DefinitionLength - pot.HeaderLength)
            return false;
        if (pot.NumInstances == PERF_NO_INSTANCES) {
            const uint8_t* object = data + at;
            PERF_COUNTER_BLOCK block;
            if (total - pot.DefinitionLength < sizeof block) return false;
            std::memcpy(&block, object + pot.DefinitionLength, sizeof block);
            if (block.ByteLength < sizeof block || block.ByteLength > total - pot.DefinitionLength)
                return false;
            for (uint32_t c = 0; c < pot.NumCounters; ++c) {
                PERF_COUNTER_DEFINITION def;
                std::memcpy(&def, object + pot.HeaderLength + c * sizeof def, sizeof def);
                const bool wide = (def.CounterType & PERF_MASK_SIZE_FLD) == PERF_SIZE_LARGE;
                const uint32_t size = wide ? 8 : 4;
                if (def.CounterOffset < sizeof block || def.CounterOffset > block.ByteLength ||
                    block.ByteLength - def.CounterOffset < size)
                    return false;
                RawCounter counter = {def.CounterNameTitleIndex, def.CounterType, 0};
                std::memcpy(&counter.value, object + pot.DefinitionLength + def.CounterOffset,
                            size);
                counters->push_back(counter);
            }
        }
        if (total == 0) return false;
        at += total;
    }
    return true;
}

}  // namespace mvtool::perfdecode

#endif
