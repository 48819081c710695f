// Processors without a fast path of the byte-run codec: the fast pair is the portable
// pair.
#include "datablocks/codec.h"

namespace mvb::datablocks::codec {

int32_t CompressFast(Path, const unsigned char* input, int32_t length, unsigned char* output,
                     int32_t* outLength) {
    return CompressPortable(input, length, output, outLength);
}

int32_t ExpandFast(Path, const unsigned char* input, int32_t length, unsigned char* output,
                   int32_t* outLength) {
    return ExpandPortable(input, length, output, outLength);
}

}  // namespace mvb::datablocks::codec
