// The byte-run codec's fast path for x86-64: 16-byte SSE2 scans (SSE2 is part of every
// x86-64 processor) and chunked copies that stay exact at both ends of a token.
#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "compiler.h"
#include "datablocks/codec.h"
#include "datablocks/codec_core.h"

namespace mvb::datablocks::codec {

namespace {

inline __m128i Load(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void Store(unsigned char* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// The index of the lowest set bit of a nonzero 16-bit mask.
inline int32_t LowestBit(unsigned mask) {
    return static_cast<int32_t>(mvb::LowestSetBit(mask));
}

// Short tokens: two stores of the largest width not above n, the second one ending
// exactly at the token's end (they overlap for any n that is not a power of two).
template <typename Word>
inline void CopyTwo(unsigned char* out, const unsigned char* in, int32_t n) {
    Word a, b;
    std::memcpy(&a, in, sizeof a);
    std::memcpy(&b, in + n - sizeof b, sizeof b);
    std::memcpy(out, &a, sizeof a);
    std::memcpy(out + n - sizeof b, &b, sizeof b);
}

template <typename Word>
inline void FillTwo(unsigned char* out, uint64_t bytes, int32_t n) {
    const Word w = static_cast<Word>(bytes);
    std::memcpy(out, &w, sizeof w);
    std::memcpy(out + n - sizeof w, &w, sizeof w);
}

struct Sse2Ops {
    static int32_t RunEnd(const unsigned char* in, int32_t i, int32_t end, unsigned char v) {
        const __m128i value = _mm_set1_epi8(static_cast<char>(v));
        for (; end - i >= 16; i += 16) {
            const unsigned other =
                ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(Load(in + i), value))) & 0xFFFFu;
            if (other != 0) return i + LowestBit(other);
        }
        while (i < end && in[i] == v) ++i;
        return i;
    }

    // Compares each byte with the byte before it: 16 pairs per step.
    static int32_t LiteralEnd(const unsigned char* in, int32_t i, int32_t end) {
        for (; end - i >= 16; i += 16) {
            const unsigned same =
                unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(Load(in + i), Load(in + i - 1))));
            if (same != 0) return i + LowestBit(same);
        }
        while (i < end && in[i] != in[i - 1]) ++i;
        return i;
    }

    static void Copy(unsigned char* out, const unsigned char* in, int32_t n) {
        if (n >= 16) {
            for (int32_t k = 0; k < n - 16; k += 16) Store(out + k, Load(in + k));
            Store(out + n - 16, Load(in + n - 16));
        } else if (n >= 8) {
            CopyTwo<uint64_t>(out, in, n);
        } else if (n >= 4) {
            CopyTwo<uint32_t>(out, in, n);
        } else if (n >= 2) {
            CopyTwo<uint16_t>(out, in, n);
        } else if (n == 1) {
            *out = *in;
        }
    }

    static void ExpandBulk(const unsigned char* in, int32_t length, unsigned char* out,
                           int32_t capacity, int32_t& pos, int32_t& produced);

    static void Fill(unsigned char* out, unsigned char v, int32_t n) {
        if (n >= 16) {
            const __m128i value = _mm_set1_epi8(static_cast<char>(v));
            for (int32_t k = 0; k < n - 16; k += 16) Store(out + k, value);
            Store(out + n - 16, value);
            return;
        }
        const uint64_t word = 0x0101010101010101ull * v;  // v in every byte
        if (n >= 8) {
            FillTwo<uint64_t>(out, word, n);
        } else if (n >= 4) {
            FillTwo<uint32_t>(out, word, n);
        } else if (n >= 2) {
            FillTwo<uint16_t>(out, word, n);
        } else if (n == 1) {
            *out = v;
        }
    }
};

// One 64-byte block at a time, in 16-byte (SSE2) or 32-byte (AVX2) lanes.
struct Sse2Lanes {
    // out[0, 64) = 64 bytes of value when run, else in[0, 64).
    static void Block(unsigned char* out, const unsigned char* in, unsigned char value, bool run) {
        const __m128i fill = _mm_set1_epi8(static_cast<char>(value));
        const __m128i keep = _mm_set1_epi8(run ? 0 : -1);
        for (int32_t k = 0; k < 64; k += 16)
            Store(out + k,
                  _mm_or_si128(_mm_and_si128(keep, Load(in + k)), _mm_andnot_si128(keep, fill)));
    }
    // out[0, 64) = in[0, 64); all loads come before the stores, so the ranges may overlap.
    static void Copy64(unsigned char* out, const unsigned char* in) {
        const __m128i a = Load(in), b = Load(in + 16), c = Load(in + 32), d = Load(in + 48);
        Store(out, a);
        Store(out + 16, b);
        Store(out + 32, c);
        Store(out + 48, d);
    }
};

struct Avx2Lanes {
    MVB_TARGET("avx2")
    static void Block(unsigned char* out, const unsigned char* in, unsigned char value, bool run) {
        const __m256i fill = _mm256_set1_epi8(static_cast<char>(value));
        const __m256i take = _mm256_set1_epi8(run ? -1 : 0);
        Store32(out, _mm256_blendv_epi8(Load32(in), fill, take));
        Store32(out + 32, _mm256_blendv_epi8(Load32(in + 32), fill, take));
    }
    MVB_TARGET("avx2") static void Copy64(unsigned char* out, const unsigned char* in) {
        const __m256i a = Load32(in), b = Load32(in + 32);
        Store32(out, a);
        Store32(out + 32, b);
    }
    MVB_TARGET("avx2") static __m256i Load32(const unsigned char* p) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    MVB_TARGET("avx2") static void Store32(unsigned char* p, __m256i v) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
    }
};

// Expands whole tokens from pos while that is cheap (see ExpandBulk in codec_core.h).
// Tokens of up to 64 bytes are written as one 64-byte block, with no branch on the length
// or the kind of token: the part past the token's end is overwritten by the next tokens.
// So that the bytes past the final length stay as the caller left them, the output is
// saved into a stash 256 bytes at a time before any block reaches it, and the saved bytes
// past the last token go back when the loop stops. Longer tokens are written exactly.
// Anything unusual (a token that does not fit, the last bytes of the input or of the
// output) is left to the token loop. Instantiated in functions that inline it whole,
// each compiled for its lanes' instruction set.
template <class Lanes>
inline void ExpandBlocks(const unsigned char* in, int32_t length, unsigned char* out,
                         int32_t capacity, int32_t& pos, int32_t& produced) {
    constexpr int32_t kBlock = 64, kChunk = 256;
    const int32_t inLimit = length - (kBlock + 2);
    // stash[k] is the caller's byte at out[base + k], for base + k below saved; base is at
    // most p, and nothing past saved has been written.
    unsigned char stash[2 * kBlock + kChunk];
    int32_t i = pos, p = produced, base = p, saved = p;
    while (i <= inLimit) {
        const int32_t head = in[i], second = in[i + 1];
        const int32_t count = head != 0 ? head : second;
        if (count <= kBlock) {
            if (p + kBlock > saved) {
                if (saved < p) saved = p;  // after a long token nothing is pending
                if (saved + kChunk > capacity) break;
                // Keep the pending bytes [p, saved), fewer than 64, then save 256 more.
                if (saved > p) Lanes::Copy64(stash, stash + (p - base));
                base = p;
                for (int32_t k = 0; k < kChunk; k += kBlock)
                    Lanes::Copy64(stash + (saved - base) + k, out + saved + k);
                saved += kChunk;
            }
            Lanes::Block(out + p, in + i + 2, static_cast<unsigned char>(second), head != 0);
            i += head != 0 ? 2 : 2 + count;
            p += count;
            continue;
        }
        if (count > capacity - p) break;
        if (head != 0) {
            Sse2Ops::Fill(out + p, static_cast<unsigned char>(second), count);
            i += 2;
        } else {
            if (count > length - i - 2) break;
            Sse2Ops::Copy(out + p, in + i + 2, count);
            i += 2 + count;
        }
        p += count;
    }
    // Blocks reach at most 64 bytes past p.
    if (saved > p)
        std::memcpy(out + p, stash + (p - base), static_cast<size_t>(std::min(saved - p, kBlock)));
    pos = i;
    produced = p;
}

MVB_FLATTEN void Sse2Ops::ExpandBulk(const unsigned char* in, int32_t length, unsigned char* out,
                                     int32_t capacity, int32_t& pos, int32_t& produced) {
    ExpandBlocks<Sse2Lanes>(in, length, out, capacity, pos, produced);
}

// The same on processors with AVX2: half the stores.
struct Avx2Ops : Sse2Ops {
    MVB_TARGET("avx2")
    MVB_FLATTEN static void ExpandBulk(const unsigned char* in, int32_t length, unsigned char* out,
                                       int32_t capacity, int32_t& pos, int32_t& produced) {
        ExpandBlocks<Avx2Lanes>(in, length, out, capacity, pos, produced);
    }
};

}  // namespace

int32_t CompressFast(const unsigned char* input, int32_t length, unsigned char* output,
                     int32_t* outLength) {
    return CompressWith<Sse2Ops>(input, length, output, outLength);
}

int32_t ExpandFast(const unsigned char* input, int32_t length, unsigned char* output,
                   int32_t* outLength) {
    static const bool wide = MVB_CPU_SUPPORTS("avx2");
    return wide ? ExpandWith<Avx2Ops>(input, length, output, outLength)
                : ExpandWith<Sse2Ops>(input, length, output, outLength);
}

int32_t ExpandNarrow(const unsigned char* input, int32_t length, unsigned char* output,
                     int32_t* outLength) {
    return ExpandWith<Sse2Ops>(input, length, output, outLength);
}

}  // namespace mvb::datablocks::codec
