// The byte-run codec's fast path, in its best and its narrow form, against its portable
// path on arbitrary input: each compresses the bytes, and each expands them as a
// (usually damaged) block, into outputs of the same capacity. Result codes, lengths and
// every byte of the output buffers, beyond the written length included, must agree.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "datablocks/codec.h"

namespace {

using Coder = int32_t (*)(mvb::datablocks::codec::Path, const unsigned char*, int32_t,
                          unsigned char*, int32_t*);

void Compare(Coder coder, const std::vector<unsigned char>& in, int32_t capacity) {
    using mvb::datablocks::codec::Path;
    const Path paths[] = {Path::Portable, Path::Fast, Path::Narrow};
    std::vector<unsigned char> out[3];
    int32_t length[3], rc[3];
    for (int p = 0; p < 3; ++p) {
        out[p].assign(static_cast<size_t>(capacity), 0xA5);
        length[p] = capacity;
        rc[p] =
            coder(paths[p], in.data(), static_cast<int32_t>(in.size()), out[p].data(), &length[p]);
        if (rc[p] != rc[0] || length[p] != length[0] || out[p] != out[0]) std::abort();
    }
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
