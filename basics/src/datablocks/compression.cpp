// Byte-run compression: runs of three or more equal bytes become (count, value)
// tokens, everything else travels in literal tokens (0, L, L bytes).
#include <climits>
#include <cstring>

#include "datablocks.h"
#include "datablocks/codec.h"
#include "datablocks/codec_core.h"

namespace {

// A byte at a time: the reference form of the codec.
struct PortableOps {
    static int32_t RunEnd(const unsigned char* in, int32_t i, int32_t end, unsigned char v) {
        while (i < end && in[i] == v) ++i;
        return i;
    }
    static int32_t LiteralEnd(const unsigned char* in, int32_t i, int32_t end) {
        while (i < end && in[i] != in[i - 1]) ++i;
        return i;
    }
    static void Copy(unsigned char* out, const unsigned char* in, int32_t n) {
        std::memcpy(out, in, static_cast<size_t>(n));
    }
    static void Fill(unsigned char* out, unsigned char v, int32_t n) {
        std::memset(out, v, static_cast<size_t>(n));
    }
    static void ExpandBulk(const unsigned char*, int32_t, unsigned char*, int32_t, int32_t&,
                           int32_t&) {}
};

}  // namespace

namespace mvb::datablocks::codec {

int32_t CompressPortable(const unsigned char* input, int32_t length, unsigned char* output,
                         int32_t* outLength) {
    return CompressWith<PortableOps>(input, length, output, outLength);
}

int32_t ExpandPortable(const unsigned char* input, int32_t length, unsigned char* output,
                       int32_t* outLength) {
    return ExpandWith<PortableOps>(input, length, output, outLength);
}

int32_t Compress(Path path, const unsigned char* input, int32_t length, unsigned char* output,
                 int32_t* outLength) {
    return path == Path::Portable ? CompressPortable(input, length, output, outLength)
                                  : CompressFast(path, input, length, output, outLength);
}

int32_t Expand(Path path, const unsigned char* input, int32_t length, unsigned char* output,
               int32_t* outLength) {
    return path == Path::Portable ? ExpandPortable(input, length, output, outLength)
                                  : ExpandFast(path, input, length, output, outLength);
}

}  // namespace mvb::datablocks::codec

int32_t DScomp(const unsigned char* input, int32_t length, unsigned char* output,
               int32_t* outLength) {
    return mvb::datablocks::codec::CompressFast(mvb::datablocks::codec::Path::Fast, input, length,
                                                output, outLength);
}

int32_t DSdecomp(const unsigned char* input, int32_t length, unsigned char* output,
                 int32_t* outLength) {
    return mvb::datablocks::codec::ExpandFast(mvb::datablocks::codec::Path::Fast, input, length,
                                              output, outLength);
}

int32_t DSlen(const unsigned char* input, int32_t length) {
    if (input == nullptr || length <= 0) return 0;
    int64_t total = 0;
    int32_t pos = 0;
    mvb::datablocks::codec::Token token;
    while (mvb::datablocks::codec::NextToken(input, length, pos, token)) total += token.count;
    return total > INT32_MAX ? INT32_MAX : static_cast<int32_t>(total);
}
