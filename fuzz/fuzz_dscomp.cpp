// Compress/expand round trip of arbitrary bytes, with capacities around the size the
// compressor needs: it must succeed or refuse cleanly, never write past the capacity,
// and what it writes must expand to the input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "datablocks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const unsigned slack = data[0];
    std::vector<unsigned char> in(data + 1, data + size);
    const int32_t length = static_cast<int32_t>(in.size());

    std::vector<unsigned char> packed(in.size() * 2 + 300);
    int32_t packedLen = static_cast<int32_t>(packed.size());
    if (DScomp(in.data(), length, packed.data(), &packedLen) != 0) std::abort();
    packed.resize(static_cast<size_t>(packedLen));
    if (DSlen(packed.data(), packedLen) != length) std::abort();
    std::vector<unsigned char> out(in.size());
    int32_t outLen = length;
    if (DSdecomp(packed.data(), packedLen, out.data(), &outLen) != 0 && length > 0) std::abort();
    if (outLen != length || (length > 0 && std::memcmp(out.data(), in.data(), in.size()) != 0))
        std::abort();

    // A capacity chosen by the input: exactly-sized heap block, so ASan sees overruns.
    const int32_t capacity = packedLen + 1 - static_cast<int32_t>(slack % 8);
    if (capacity > 0) {
        std::vector<unsigned char> small(static_cast<size_t>(capacity));
        int32_t smallLen = capacity;
        const int32_t rc = DScomp(in.data(), length, small.data(), &smallLen);
        if (rc == 0 &&
            (smallLen != packedLen || std::memcmp(small.data(), packed.data(), packed.size()) != 0))
            std::abort();
        if (rc != 0 && (rc != -1 || smallLen != capacity)) std::abort();
    }
    return 0;
}
