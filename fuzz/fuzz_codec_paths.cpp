// The byte-run codec's fast path against its portable path on arbitrary input: both
// compress the bytes, and both expand them as a (usually damaged) block, into outputs
// of the same capacity. Result codes, lengths and every byte of the output buffers,
// beyond the written length included, must agree.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "datablocks/codec.h"

namespace {

using Coder = int32_t (*)(mvb::datablocks::codec::Path, const unsigned char*, int32_t,
                          unsigned char*, int32_t*);

void Compare(Coder coder, const std::vector<unsigned char>& in, int32_t capacity) {
    std::vector<unsigned char> out[2];
    int32_t length[2], rc[2];
    for (int p = 0; p < 2; ++p) {
        out[p].assign(static_cast<size_t>(capacity), 0xA5);
        length[p] = capacity;
        rc[p] = coder(
            p == 0 ? mvb::datablocks::codec::Path::Portable : mvb::datablocks::codec::Path::Fast,
            in.data(), static_cast<int32_t>(in.size()), out[p].data(), &length[p]);
    }
    if (rc[0] != rc[1] || length[0] != length[1] || out[0] != out[1]) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first two bytes pick the output capacity; the rest is the input, copied to a
    // heap block of exactly its size so that any overread is caught.
    const int32_t capacity = (data[0] | data[1] << 8) & 0x3FFF;
    const std::vector<unsigned char> in(data + 2, data + size);
    Compare(mvb::datablocks::codec::Compress, in, capacity);
    Compare(mvb::datablocks::codec::Compress, in, static_cast<int32_t>(in.size() * 2 + 300));
    Compare(mvb::datablocks::codec::Expand, in, capacity);
    return 0;
}
