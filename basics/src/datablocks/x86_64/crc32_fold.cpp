// Carry-less multiply folding of the CRC-32 register for x86-64 processors: 128-bit
// lanes with PCLMULQDQ and 512-bit lanes with VPCLMULQDQ, each compiled for its
// instruction set and used only when the CPU reports it.
#include <immintrin.h>

#include "compiler.h"
#include "datablocks/crc32_fold.h"

namespace mvb::datablocks::crc32 {

namespace {

// Folding treats the data as one polynomial, first bit highest. A 128-bit lane X that
// stands T bits ahead of a later lane is split into its high-degree half H (the low
// 64 bits in memory order) and low-degree half L and moved onto that lane as
// H * (x^(T+64) mod P) + L * (x^T mod P), which keeps the whole polynomial's remainder.
// In the reflected bit order the carry-less product comes out multiplied by x, so the
// constants are taken one power lower. The last lane is reduced by running its 16
// bytes through the table from a zero register.

// x^e mod P in the reflected order, as the high half of a 64-bit lane operand.
constexpr uint64_t FoldConstant(unsigned e) {
    return uint64_t(ShiftRemainder(0x80000000u, e)) << 32;  // 0x80000000u: x^0
}

constexpr uint64_t kFold128Hi = FoldConstant(128 + 64 - 1), kFold128Lo = FoldConstant(128 - 1);
constexpr uint64_t kFold512Hi = FoldConstant(512 + 64 - 1), kFold512Lo = FoldConstant(512 - 1);
constexpr uint64_t kFold2048Hi = FoldConstant(2048 + 64 - 1), kFold2048Lo = FoldConstant(2048 - 1);

MVB_TARGET("pclmul,sse2") inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
    __m128i hi = _mm_clmulepi64_si128(x, k, 0x00);
    __m128i lo = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

MVB_TARGET("pclmul,sse2") inline __m128i Load(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Folds the 16-byte lanes that remain after x (which ends at p) and reduces the rest.
MVB_TARGET("pclmul,sse2") uint32_t FinishLanes(__m128i x, const unsigned char* p, size_t n) {
    const __m128i k128 = _mm_set_epi64x(int64_t(kFold128Lo), int64_t(kFold128Hi));
    while (n >= 16) {
        x = Fold(x, k128, Load(p));
        p += 16;
        n -= 16;
    }
    alignas(16) unsigned char last[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(last), x);
    return UpdateSlice8(UpdateSlice8(0, last, 16), p, n);
}

}  // namespace

// Four lanes of 16 bytes, 64 bytes per step. Needs n >= 64.
MVB_TARGET("pclmul,sse2") uint32_t UpdateFold128(uint32_t reg, const unsigned char* p, size_t n) {
    __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(int(reg)));
    __m128i x1 = Load(p + 16), x2 = Load(p + 32), x3 = Load(p + 48);
    p += 64;
    n -= 64;
    const __m128i k512 = _mm_set_epi64x(int64_t(kFold512Lo), int64_t(kFold512Hi));
    while (n >= 64) {
        x0 = Fold(x0, k512, Load(p));
        x1 = Fold(x1, k512, Load(p + 16));
        x2 = Fold(x2, k512, Load(p + 32));
        x3 = Fold(x3, k512, Load(p + 48));
        p += 64;
        n -= 64;
    }
    const __m128i k128 = _mm_set_epi64x(int64_t(kFold128Lo), int64_t(kFold128Hi));
    x1 = Fold(x0, k128, x1);
    x2 = Fold(x1, k128, x2);
    x3 = Fold(x2, k128, x3);
    return FinishLanes(x3, p, n);
}

namespace {

#define MVCRC_AVX512 "pclmul,sse2,avx512f,vpclmulqdq"

MVB_TARGET(MVCRC_AVX512) inline __m512i Fold(__m512i x, __m512i k, __m512i next) {
    __m512i hi = _mm512_clmulepi64_epi128(x, k, 0x00);
    __m512i lo = _mm512_clmulepi64_epi128(x, k, 0x11);
    return _mm512_ternarylogic_epi64(hi, lo, next, 0x96);  // three-way XOR
}

MVB_TARGET(MVCRC_AVX512) inline __m512i Load512(const unsigned char* p) {
    return _mm512_loadu_si512(p);
}

MVB_TARGET(MVCRC_AVX512) inline __m512i Broadcast(uint64_t hi, uint64_t lo) {
    return _mm512_set_epi64(int64_t(lo), int64_t(hi), int64_t(lo), int64_t(hi), int64_t(lo),
                            int64_t(hi), int64_t(lo), int64_t(hi));
}

}  // namespace

// Four lanes of 64 bytes, 256 bytes per step. Needs n >= 256.
MVB_TARGET(MVCRC_AVX512) uint32_t UpdateFold512(uint32_t reg, const unsigned char* p, size_t n) {
    __m512i z0 = _mm512_xor_si512(Load512(p), _mm512_set_epi64(0, 0, 0, 0, 0, 0, 0, int64_t(reg)));
    __m512i z1 = Load512(p + 64), z2 = Load512(p + 128), z3 = Load512(p + 192);
    p += 256;
    n -= 256;
    const __m512i k2048 = Broadcast(kFold2048Hi, kFold2048Lo);
    while (n >= 256) {
        z0 = Fold(z0, k2048, Load512(p));
        z1 = Fold(z1, k2048, Load512(p + 64));
        z2 = Fold(z2, k2048, Load512(p + 128));
        z3 = Fold(z3, k2048, Load512(p + 192));
        p += 256;
        n -= 256;
    }
    const __m512i k512 = Broadcast(kFold512Hi, kFold512Lo);
    z1 = Fold(z0, k512, z1);
    z2 = Fold(z1, k512, z2);
    z3 = Fold(z2, k512, z3);
    // The four 16-byte lanes of the last register, folded into one.
    alignas(64) unsigned char lanes[64];
    _mm512_store_si512(lanes, z3);
    const __m128i k128 = _mm_set_epi64x(int64_t(kFold128Lo), int64_t(kFold128Hi));
    __m128i x = Load(lanes);
    for (int i = 1; i < 4; ++i) x = Fold(x, k128, Load(lanes + 16 * i));
    return FinishLanes(x, p, n);
}

bool CpuHasFold128() {
    static const bool has = [] { return MVB_CPU_SUPPORTS("pclmul") && MVB_CPU_SUPPORTS("sse2"); }();
    return has;
}

bool CpuHasFold512() {
    static const bool has = [] {
        return CpuHasFold128() && MVB_CPU_SUPPORTS("avx512f") && MVB_CPU_SUPPORTS("vpclmulqdq");
    }();
    return has;
}

}  // namespace mvb::datablocks::crc32
