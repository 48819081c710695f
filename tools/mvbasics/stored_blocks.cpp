#include "stored_blocks.h"

#include <vector>

#include "datablocks.h"

namespace mvtool {
namespace {

const unsigned char* Bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

// The size of the token at offset (2 for a run, 2 + L for a literal), or 0 when the
// token does not fit in the data.
size_t TokenSize(const std::string& packed, size_t offset) {
    if (packed.size() - offset < 2) return 0;
    const unsigned char count = static_cast<unsigned char>(packed[offset]);
    const size_t size = count != 0 ? 2 : 2 + static_cast<unsigned char>(packed[offset + 1]);
    return size <= packed.size() - offset ? size : 0;
}

}  // namespace

uint32_t BlockChecksum(const std::string& data) {
    constexpr size_t kStep = 1u << 30;
    uint32_t crc = 0;
    size_t at = 0;
    do {
        const size_t length = std::min(kStep, data.size() - at);
        crc = CalcCheckSum(data.data() + at, static_cast<uint32_t>(length), &crc);
        at += length;
    } while (at < data.size());
    return crc;
}

bool PackBlock(const std::string& plain, std::string* packed) {
    // Literal tokens cost 2 bytes per 255, and the compressor wants room to spare.
    std::vector<unsigned char> out(plain.size() + plain.size() / 128 + 16);
    int32_t length = static_cast<int32_t>(out.size());
    if (DScomp(Bytes(plain), static_cast<int32_t>(plain.size()), out.data(), &length) != 0)
        return false;
    packed->assign(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(length));
    return true;
}

bool CheckPackedTokens(const std::string& packed, std::string* damage) {
    for (size_t at = 0; at < packed.size();) {
        const size_t size = TokenSize(packed, at);
        if (size == 0) {
            const bool literal = packed[at] == 0;
            *damage = "damaged: the " + std::string(literal ? "literal" : "run") +
                      " token at byte " + std::to_string(at) +
                      " is cut off by the end of the "
                      "data (" +
                      std::to_string(packed.size()) + " bytes)";
            return false;
        }
        at += size;
    }
    return true;
}

size_t TokenPieceLength(const std::string& packed, size_t offset, size_t limit) {
    size_t length = 0;
    while (offset + length < packed.size()) {
        const size_t size = TokenSize(packed, offset + length);
        if (size == 0 || (length > 0 && length + size > limit)) break;
        length += size;
    }
    return length;
}

bool UnpackBlock(const std::string& packed, std::string* plain) {
    const int32_t expected = DSlen(Bytes(packed), static_cast<int32_t>(packed.size()));
    std::vector<unsigned char> out(static_cast<size_t>(expected > 0 ? expected : 0) + 1);
    int32_t length = expected;
    const int32_t result =
        DSdecomp(Bytes(packed), static_cast<int32_t>(packed.size()), out.data(), &length);
    if (result != 0 || length != expected) return false;
    plain->assign(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(length));
    return true;
}

}  // namespace mvtool
