// Test support, Windows (no zlib for the cross compiler): the CRC-32 the checksum is
// compared with is the bit-at-a-time definition (reflected polynomial 0xEDB88320).
#ifndef MV_TESTS_CRC32_REFERENCE_H
#define MV_TESTS_CRC32_REFERENCE_H

#include <cstddef>
#include <cstdint>

namespace mvtest {

inline uint32_t ReferenceCrc32(uint32_t prev, const unsigned char* p, size_t n) {
    uint32_t crc = ~prev;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

}  // namespace mvtest

#endif
