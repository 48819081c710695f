// Expands arbitrary bytes: DSdecomp and DSlen must stay inside the input and the
// output's capacity, and agree with each other on the expanded length.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "datablocks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first two bytes pick the output capacity; the rest is the block, copied to
    // a heap block of exactly its size so that any overread is caught.
    const int32_t capacity = (data[0] | data[1] << 8) & 0x3FFF;
    std::vector<unsigned char> in(data + 2, data + size);
    const int32_t length = static_cast<int32_t>(in.size());
    const int32_t total = DSlen(in.data(), length);
    std::vector<unsigned char> out(static_cast<size_t>(capacity));
    int32_t produced = capacity;
    const int32_t rc = DSdecomp(in.data(), length, out.data(), &produced);
    if (rc != 0 && rc != 2) std::abort();
    if (produced < 0 || produced > capacity || produced > total) std::abort();
    if (total <= capacity && produced != total) std::abort();
    if (rc == 0 && length > 0 && produced == 0) std::abort();
    // Recompressing what was produced must give the same bytes back.
    if (produced > 0) {
        std::vector<unsigned char> packed(static_cast<size_t>(produced) * 2 + 300);
        int32_t packedLen = static_cast<int32_t>(packed.size());
        if (DScomp(out.data(), produced, packed.data(), &packedLen) != 0) std::abort();
        std::vector<unsigned char> again(static_cast<size_t>(produced));
        int32_t againLen = produced;
        if (DSdecomp(packed.data(), packedLen, again.data(), &againLen) != 0) std::abort();
        if (againLen != produced || std::memcmp(again.data(), out.data(), again.size()) != 0)
            std::abort();
    }
    return 0;
}
