// Between the checksum engine and its carry-less multiply folding. The build compiles
// one folding file: the x86-64 one on x86-64 processors, the portable one (no folding)
// everywhere else.
#ifndef MV_DATABLOCKS_CRC32_FOLD_H
#define MV_DATABLOCKS_CRC32_FOLD_H

#include <cstddef>
#include <cstdint>

namespace mvb::datablocks::crc32 {

// The reflected CRC-32 polynomial.
constexpr uint32_t kPoly = 0xEDB88320u;

// r * x^e mod P in the reflected bit order (x^0 is the top bit): the one step that the
// lookup tables (r a byte value, e = 8) and the folding constants (r = x^0) are built of.
constexpr uint32_t ShiftRemainder(uint32_t r, unsigned e) {
    for (unsigned i = 0; i < e; ++i) r = (r & 1) ? (r >> 1) ^ kPoly : r >> 1;
    return r;
}

// Slicing-by-8 over n bytes of the raw register; the folds finish with it.
uint32_t UpdateSlice8(uint32_t reg, const unsigned char* p, size_t n);

// Whether this CPU runs the 128-bit (PCLMULQDQ) and 512-bit (VPCLMULQDQ) folds; asked
// once and remembered.
bool CpuHasFold128();
bool CpuHasFold512();

// The folds, for n >= 64 and n >= 256 bytes; called only when the CPU has them.
uint32_t UpdateFold128(uint32_t reg, const unsigned char* p, size_t n);
uint32_t UpdateFold512(uint32_t reg, const unsigned char* p, size_t n);

}  // namespace mvb::datablocks::crc32

#endif
