// The byte-run codec's fast path for x86-64: 16-byte SSE2 scans (SSE2 is part of every
// x86-64 processor) and chunked copies that stay exact at both ends of a token.
#include <emmintrin.h>

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

    // Tokens of up to 64 bytes are written as one 64-byte block, which may reach past the
    // token's end into output that the next tokens overwrite. So that the bytes past the
    // final length stay as the caller left them, each block first saves the 64 output
    // bytes at the end of what has been written so far (not yet touched, so still the
    // caller's), and the saved bytes past the last token go back when the loop stops.
    // Longer tokens are written exactly. Anything unusual (a token that does not fit,
    // the last bytes of the input or of the output) is left to the token loop.
    static void ExpandBulk(const unsigned char* in, int32_t length, unsigned char* out,
                           int32_t capacity, int32_t& pos, int32_t& produced) {
        constexpr int32_t kShort = 64, kSaved = 512;
        if (length < kShort + 2 || capacity < 2 * kShort) return;
        const int32_t inLimit = length - (kShort + 2), outLimit = capacity - 2 * kShort;
        unsigned char saved[kSaved + kShort];
        int32_t base = 0;  // the output position of saved[0]
        // [p, high) holds bytes written past the last token; saved holds what was there.
        int32_t i = pos, p = produced, high = produced;
        while (i <= inLimit && p <= outLimit) {
            if (high - base > kSaved) {
                // Only [p, high) is still pending; after a long token nothing is, and p
                // may then lie far past the end of saved.
                if (high > p) std::memcpy(saved, saved + (p - base), static_cast<size_t>(high - p));
                base = p;
            }
            const int32_t head = in[i], second = in[i + 1];
            const int32_t count = head != 0 ? head : second;
            if (count <= kShort) {
                unsigned char* const keep = saved + (high - base);
                for (int32_t k = 0; k < kShort; k += 16) Store(keep + k, Load(out + high + k));
                if (head != 0) {
                    const __m128i v = _mm_set1_epi8(static_cast<char>(second));
                    for (int32_t k = 0; k < kShort; k += 16) Store(out + p + k, v);
                    i += 2;
                } else {
                    for (int32_t k = 0; k < kShort; k += 16)
                        Store(out + p + k, Load(in + i + 2 + k));
                    i += 2 + count;
                }
                high = p + kShort;
                p += count;
                continue;
            }
            if (count > capacity - p) break;
            if (head != 0) {
                Fill(out + p, static_cast<unsigned char>(second), count);
                i += 2;
            } else {
                if (count > length - i - 2) break;
                Copy(out + p, in + i + 2, count);
                i += 2 + count;
            }
            p += count;
            high = p;
        }
        if (high > p) std::memcpy(out + p, saved + (p - base), static_cast<size_t>(high - p));
        pos = i;
        produced = p;
    }

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

}  // namespace

int32_t CompressFast(const unsigned char* input, int32_t length, unsigned char* output,
                     int32_t* outLength) {
    return CompressWith<Sse2Ops>(input, length, output, outLength);
}

int32_t ExpandFast(const unsigned char* input, int32_t length, unsigned char* output,
                   int32_t* outLength) {
    return ExpandWith<Sse2Ops>(input, length, output, outLength);
}

}  // namespace mvb::datablocks::codec
