// Processors without a carry-less multiply fold: the CPU checks answer no, and a fold
// asked for all the same runs slicing-by-8.
#include "datablocks/crc32_fold.h"

namespace mvb::datablocks::crc32 {

bool CpuHasFold128() {
    return false;
}

bool CpuHasFold512() {
    return false;
}

uint32_t UpdateFold128(uint32_t reg, const unsigned char* p, size_t n) {
    return UpdateSlice8(reg, p, n);
}

uint32_t UpdateFold512(uint32_t reg, const unsigned char* p, size_t n) {
    return UpdateSlice8(reg, p, n);
}

}  // namespace mvb::datablocks::crc32
