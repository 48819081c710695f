// The byte-run codec's fast path for x86-64: scans over a mask of 64 neighbouring byte
// pairs, tokens copied in chunks that stay exact at both ends or, while the output allows,
// written as whole 64-byte blocks. Written once over the vector lanes, and compiled twice: in
// 16-byte SSE2 lanes (part of every x86-64 processor) and in 32-byte AVX2 lanes, used when the
// processor has them.
#include <immintrin.h>

#include <algorithm>
#include <cstddef>
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

// The lanes: 32 bytes compared or 64 bytes moved per call, in 16-byte (SSE2) or 32-byte
// (AVX2) vectors. Masks have bit k set for byte k.
struct Sse2Lanes {
    static uint32_t Equal(const unsigned char* a, const unsigned char* b) {
        return Mask(_mm_cmpeq_epi8(Load(a), Load(b)), _mm_cmpeq_epi8(Load(a + 16), Load(b + 16)));
    }
    // out[0, 64) = 64 bytes of the value *v.
    static void Fill64(unsigned char* out, const unsigned char* v) {
        const __m128i fill = _mm_set1_epi8(static_cast<char>(*v));
        for (int32_t k = 0; k < 64; k += 16) Store(out + k, fill);
    }
    // out[0, 64) = in[0, 64); all loads come before the stores, so the ranges may overlap.
    static void Copy64(unsigned char* out, const unsigned char* in) {
        const __m128i a = Load(in), b = Load(in + 16), c = Load(in + 32), d = Load(in + 48);
        Store(out, a);
        Store(out + 16, b);
        Store(out + 32, c);
        Store(out + 48, d);
    }
    static uint32_t Mask(__m128i low, __m128i high) {
        return uint32_t(_mm_movemask_epi8(low)) | uint32_t(_mm_movemask_epi8(high)) << 16;
    }
};

struct Avx2Lanes {
    MVB_TARGET("avx2") static uint32_t Equal(const unsigned char* a, const unsigned char* b) {
        return uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(Load32(a), Load32(b))));
    }
    MVB_TARGET("avx2") static void Fill64(unsigned char* out, const unsigned char* v) {
        const __m256i fill = _mm256_set1_epi8(static_cast<char>(*v));
        Store32(out, fill);
        Store32(out + 32, fill);
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

// Exactly n bytes, in 16-byte chunks whose last one overlaps the one before.
inline void CopyExact(unsigned char* out, const unsigned char* in, int32_t n) {
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

inline void FillExact(unsigned char* out, unsigned char v, int32_t n) {
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

// Expands whole tokens from pos while that is cheap (see ExpandBulk in codec_core.h).
// Tokens of up to 64 bytes are written as one 64-byte block: the part past the token's
// end is overwritten by the next tokens. So that the bytes past the final length stay as
// the caller left them, the output is saved into a stash 256 bytes at a time before any
// block reaches it, and the saved bytes past the last token go back when the loop stops.
// Longer tokens are written exactly. Anything unusual (a token that does not fit, the
// last bytes of the input or of the output) is left to the token loop.
template <class Lanes>
inline void ExpandBlocks(const unsigned char* in, int32_t length, unsigned char* out,
                         int32_t capacity, int32_t& pos, int32_t& produced) {
    constexpr int32_t kBlock = 64, kChunk = 256;
    if (length - pos < kBlock + 2 || capacity - produced < kChunk) return;
    const unsigned char* ip = in + pos;
    const unsigned char* const inLast = in + length - (kBlock + 2);
    unsigned char* op = out + produced;
    // stash[k] is the caller's byte at base[k], for base + k below saved; base is at most
    // op, and nothing at or past saved has been written.
    unsigned char stash[2 * kBlock + kChunk];
    unsigned char *base = op, *saved = op;
    while (ip <= inLast) {
        const int32_t head = ip[0], second = ip[1];
        const int32_t count = head != 0 ? head : second;
        if (count <= kBlock) {
            if (saved - op < kBlock) {
                if (saved < op) saved = op;  // after a long token nothing is pending
                if (out + capacity - saved < kChunk) break;
                // Keep the pending bytes [op, saved), fewer than 64, then save 256 more.
                if (saved > op) Lanes::Copy64(stash, stash + (op - base));
                base = op;
                for (int32_t k = 0; k < kChunk; k += kBlock)
                    Lanes::Copy64(stash + (saved - base) + k, saved + k);
                saved += kChunk;
            }
            if (head != 0) {
                Lanes::Fill64(op, ip + 1);
                ip += 2;
            } else {
                Lanes::Copy64(op, ip + 2);
                ip += 2 + count;
            }
            op += count;
            continue;
        }
        if (count > out + capacity - op) break;
        if (head != 0) {
            FillExact(op, static_cast<unsigned char>(second), count);
            ip += 2;
        } else {
            if (count > in + length - ip - 2) break;
            CopyExact(op, ip + 2, count);
            ip += 2 + count;
        }
        op += count;
    }
    // Blocks reach at most 64 bytes past op.
    if (saved > op)
        std::memcpy(op, stash + (op - base),
                    static_cast<size_t>(std::min<std::ptrdiff_t>(saved - op, kBlock)));
    pos = static_cast<int32_t>(ip - in);
    produced = static_cast<int32_t>(op - out);
}

// The codec's primitives (see codec_core.h) over the lanes. Only the functions below that
// inline everything (MVB_FLATTEN) instantiate them, each compiled for its lanes.
template <class Lanes>
class FastOps {
  public:
    // Both scans look for the next pair of neighbouring bytes that differ (the end of a
    // run) or that are equal (the end of a literal stretch), in a mask of the pairs of a
    // 64-byte window that the scans share: a scan that ends inside the window costs a
    // shift and a bit count, and the next window's loads do not wait for a scan's result.
    int32_t RunEnd(const unsigned char* in, int32_t i, int32_t end, unsigned char) {
        return Scan<false>(in, i, end);
    }
    int32_t LiteralEnd(const unsigned char* in, int32_t i, int32_t end) {
        return Scan<true>(in, i, end);
    }
    static void Copy(unsigned char* out, const unsigned char* in, int32_t n) {
        CopyExact(out, in, n);
    }
    static void Fill(unsigned char* out, unsigned char v, int32_t n) { FillExact(out, v, n); }
    static void ExpandBulk(const unsigned char* in, int32_t length, unsigned char* out,
                           int32_t capacity, int32_t& pos, int32_t& produced) {
        ExpandBlocks<Lanes>(in, length, out, capacity, pos, produced);
    }

  private:
    // First index >= i (i >= 1) whose byte equals the byte before it (kSame) or does not.
    template <bool kSame>
    int32_t Scan(const unsigned char* in, int32_t i, int32_t end) {
        for (;;) {
            int64_t offset = int64_t(i) - m_base;
            if (offset < 0 || offset >= 64) {
                // The window after the current one while i lies in it, else i's own.
                const int32_t next = offset >= 64 && offset < 128 ? m_base + 64 : i;
                if (end - next < 64) break;
                m_same = uint64_t(Lanes::Equal(in + next, in + next - 1)) |
                         uint64_t(Lanes::Equal(in + next + 32, in + next + 31)) << 32;
                m_base = next;
                offset = i - next;
                mvb::Prefetch(in + next + 1024);  // hardware prefetch alone was slower
            }
            const uint64_t found = (kSame ? m_same : ~m_same) >> offset;
            if (found != 0) return i + static_cast<int32_t>(mvb::LowestSetBit(found));
            i = m_base + 64;
        }
        while (i < end && (in[i] == in[i - 1]) != kSame) ++i;
        return i;
    }

    // Bit k: in[m_base + k] equals in[m_base + k - 1]. No window yet: m_base is far away.
    uint64_t m_same = 0;
    int32_t m_base = -256;
};

using Narrow = FastOps<Sse2Lanes>;
using Wide = FastOps<Avx2Lanes>;

MVB_FLATTEN int32_t CompressNarrowLanes(const unsigned char* input, int32_t length,
                                        unsigned char* output, int32_t* outLength) {
    return CompressWith<Narrow>(input, length, output, outLength);
}

MVB_TARGET("avx2")
MVB_FLATTEN int32_t CompressWideLanes(const unsigned char* input, int32_t length,
                                      unsigned char* output, int32_t* outLength) {
    return CompressWith<Wide>(input, length, output, outLength);
}

MVB_FLATTEN int32_t ExpandNarrowLanes(const unsigned char* input, int32_t length,
                                      unsigned char* output, int32_t* outLength) {
    return ExpandWith<Narrow>(input, length, output, outLength);
}

MVB_TARGET("avx2")
MVB_FLATTEN int32_t ExpandWideLanes(const unsigned char* input, int32_t length,
                                    unsigned char* output, int32_t* outLength) {
    return ExpandWith<Wide>(input, length, output, outLength);
}

bool HasWideLanes() {
    static const bool wide = MVB_CPU_SUPPORTS("avx2");
    return wide;
}

}  // namespace

int32_t CompressFast(Path path, const unsigned char* input, int32_t length, unsigned char* output,
                     int32_t* outLength) {
    return path == Path::Fast && HasWideLanes()
               ? CompressWideLanes(input, length, output, outLength)
               : CompressNarrowLanes(input, length, output, outLength);
}

int32_t ExpandFast(Path path, const unsigned char* input, int32_t length, unsigned char* output,
                   int32_t* outLength) {
    return path == Path::Fast && HasWideLanes()
               ? ExpandWideLanes(input, length, output, outLength)
               : ExpandNarrowLanes(input, length, output, outLength);
}

}  // namespace mvb::datablocks::codec
