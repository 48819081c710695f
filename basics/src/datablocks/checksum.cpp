// CRC-32 block checksum: a constant table, slicing-by-8, and carry-less multiply
// folding where the CPU has it (built from its own file), all giving the same register
// bit for bit.
#include <cstring>

#include "datablocks.h"
#include "datablocks/crc32.h"
#include "datablocks/crc32_fold.h"

namespace mvb::datablocks::crc32 {

namespace {

// Tables for eight bytes per step: kSlice.t[k][i] is the remainder of byte value i
// followed by k zero bytes. Built by the compiler with the generator of the folding
// constants; t[0] is the byte-per-lookup table.
struct SliceTables {
    uint32_t t[8][256];
};

constexpr SliceTables MakeSliceTables() {
    SliceTables s{};
    for (uint32_t i = 0; i < 256; ++i) s.t[0][i] = ShiftRemainder(i, 8);
    for (int k = 1; k < 8; ++k)
        for (uint32_t i = 0; i < 256; ++i)
            s.t[k][i] = (s.t[k - 1][i] >> 8) ^ s.t[0][s.t[k - 1][i] & 0xFF];
    return s;
}

constexpr SliceTables kSlice = MakeSliceTables();

// The byte-per-lookup table: entry i is the remainder of byte value i.
constexpr const uint32_t* kTable = kSlice.t[0];
static_assert(kSlice.t[0][1] == 0x77073096u && kSlice.t[0][255] == 0x2D02EF8Du,
              "the table of the reflected CRC-32 polynomial");

uint32_t UpdateTable(uint32_t reg, const unsigned char* p, size_t n) {
    while (n >= 16) {
        for (int i = 0; i < 16; ++i) reg = (reg >> 8) ^ kTable[(reg ^ p[i]) & 0xFF];
        p += 16;
        n -= 16;
    }
    while (n-- > 0) reg = (reg >> 8) ^ kTable[(reg ^ *p++) & 0xFF];
    return reg;
}

inline uint32_t Le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

uint32_t UpdateSlice8(uint32_t reg, const unsigned char* p, size_t n) {
    const auto& t = kSlice.t;
    while (n >= 8) {
        uint32_t a = reg ^ Le32(p);
        uint32_t b = Le32(p + 4);
        reg = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^
              t[3][b & 0xFF] ^ t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
        p += 8;
        n -= 8;
    }
    while (n-- > 0) reg = (reg >> 8) ^ kTable[(reg ^ *p++) & 0xFF];
    return reg;
}

namespace {

Path BestPath() {
    static const Path best = CpuHasFold512()   ? Path::Fold512
                             : CpuHasFold128() ? Path::Fold128
                                               : Path::Slice8;
    return best;
}

Path g_forced = Path::Best;

}  // namespace

bool Supported(Path path) {
    switch (path) {
        case Path::Fold128:
            return CpuHasFold128();
        case Path::Fold512:
            return CpuHasFold512();
        default:
            return true;
    }
}

Path Current() {
    return g_forced == Path::Best ? BestPath() : g_forced;
}

void Force(Path path) {
    g_forced = path;
}

uint32_t Update(Path path, uint32_t reg, const unsigned char* p, size_t n) {
    if (path == Path::Best) path = BestPath();
    if (!Supported(path)) path = Path::Slice8;
    switch (path) {
        case Path::Table:
            return UpdateTable(reg, p, n);
        case Path::Fold512:
            if (n >= 256) return UpdateFold512(reg, p, n);
            [[fallthrough]];
        case Path::Fold128:
            if (n >= 64) return UpdateFold128(reg, p, n);
            [[fallthrough]];
        default:
            return UpdateSlice8(reg, p, n);
    }
}

}  // namespace mvb::datablocks::crc32

uint32_t CalcCheckSum(const void* bytes, uint32_t length, const uint32_t* previous) {
    uint32_t reg = previous != nullptr ? ~*previous : 0xFFFFFFFFu;
    if (bytes == nullptr || length == 0) return ~reg;
    return ~mvb::datablocks::crc32::Update(mvb::datablocks::crc32::Current(), reg,
                                           static_cast<const unsigned char*>(bytes), length);
}
