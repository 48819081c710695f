// Test support, Linux: the CRC-32 the checksum is compared with is zlib's.
#ifndef MV_TESTS_CRC32_REFERENCE_H
#define MV_TESTS_CRC32_REFERENCE_H

#include <zlib.h>

#include <cstddef>
#include <cstdint>

namespace mvtest {

inline uint32_t ReferenceCrc32(uint32_t prev, const unsigned char* p, size_t n) {
    return static_cast<uint32_t>(crc32(prev, p, static_cast<uInt>(n)));
}

}  // namespace mvtest

#endif
