// Internal interface of the CRC-32 engine: the register-level update and the choice
// between its code paths (the tests and the benchmark force each path in turn).
#ifndef MV_DATABLOCKS_CRC32_H
#define MV_DATABLOCKS_CRC32_H

#include <cstddef>
#include <cstdint>

namespace mvb::datablocks::crc32 {

// Byte-per-lookup table loop; eight bytes per step with eight tables; carry-less
// multiply folding of 128-bit lanes (PCLMULQDQ) and of 512-bit lanes (VPCLMULQDQ).
enum class Path { Table, Slice8, Fold128, Fold512, Best };

// Advances the raw register (not complemented) over n bytes with the given path.
// A path the CPU cannot run falls back to slicing-by-8.
uint32_t Update(Path path, uint32_t reg, const unsigned char* p, size_t n);

// True when the CPU runs the path (Table and Slice8 always run).
bool Supported(Path path);

// The path CalcCheckSum uses: the fastest supported one unless a test forced
// another. Force(Path::Best) returns to the automatic choice.
Path Current();
void Force(Path path);

}  // namespace mvb::datablocks::crc32

#endif
