// The byte-run codec's token loops, over a policy Ops that supplies the scans and the
// copies (see codec.h). The compressor calls the scans on one Ops object per call, which
// may keep what it learnt of the input between them:
//   int32_t ops.RunEnd(in, i, end, v)   (in[i - 1] is v) first index >= i whose byte is
//                                        not v, or end
//   int32_t ops.LiteralEnd(in, i, end)  first index >= i (i >= 1) whose byte equals
//                                        the byte before it, or end
//   void Ops::Copy(out, in, n)           n bytes, the ranges do not overlap
//   void Ops::Fill(out, v, n)            n bytes of value v
//   void Ops::ExpandBulk(in, length, out, capacity, pos, produced)
//                                        expands whole tokens from pos while that is
//                                        cheap, advancing pos and produced; the token
//                                        loop takes over where it stops (it may do
//                                        nothing). Bytes past the produced length stay
//                                        as they were.
// Each path's source instantiates these templates with its own Ops.
#ifndef MV_DATABLOCKS_CODEC_CORE_H
#define MV_DATABLOCKS_CODEC_CORE_H

#include <algorithm>
#include <cstdint>

#include "results.h"

namespace mvb::datablocks::codec {

// Writes tokens into the caller's output, checking room before each one.
template <class Ops>
class TokenWriter {
  public:
    TokenWriter(unsigned char* out, int32_t capacity) : m_out(out), m_capacity(capacity) {}

    int32_t Written() const { return m_written; }

    // Each returns false when the token does not fit, and also when it fills the
    // output: no later token could then fit (the last one must leave a byte free).
    bool Run(int32_t count, unsigned char value, int32_t room) {
        if (m_capacity - m_written < room) return false;
        m_out[m_written] = static_cast<unsigned char>(count);
        m_out[m_written + 1] = value;
        m_written += 2;
        return m_written < m_capacity;
    }

    bool Literal(const unsigned char* bytes, int32_t length, int32_t room) {
        if (m_capacity - m_written < room) return false;
        m_out[m_written] = 0;
        m_out[m_written + 1] = static_cast<unsigned char>(length);
        Ops::Copy(m_out + m_written + 2, bytes, length);
        m_written += length + 2;
        return m_written < m_capacity;
    }

  private:
    unsigned char* m_out;
    int32_t m_capacity;
    int32_t m_written = 0;
};

// The room a full-size token needs, both for a 255-byte literal and for the run token
// written when a run reaches 256 bytes.
constexpr int32_t kFullTokenRoom = 257;

// One token of a compressed block. Returns false at the end of the input or when the
// token at pos is cut off by it; otherwise fills the token and advances pos past it.
struct Token {
    int32_t count;                 // bytes the token expands to
    const unsigned char* literal;  // the literal bytes, or null for a run
    unsigned char value;           // the run's byte value
};

inline bool NextToken(const unsigned char* in, int32_t length, int32_t& pos, Token& token) {
    if (length - pos < 2) return false;
    const unsigned char head = in[pos];
    const unsigned char second = in[pos + 1];
    if (head != 0) {
        token = {head, nullptr, second};
        pos += 2;
        return true;
    }
    if (length - pos - 2 < second) return false;
    token = {second, in + pos + 2, 0};
    pos += 2 + second;
    return true;
}

template <class Ops>
int32_t CompressWith(const unsigned char* input, int32_t length, unsigned char* output,
                     int32_t* outLength) {
    if (outLength == nullptr || length < 0) return ERR_TN_FAILED;
    if (length == 0) {
        *outLength = 0;
        return 0;
    }
    if (input == nullptr || output == nullptr) return ERR_TN_FAILED;
    TokenWriter<Ops> out(output, *outLength);
    Ops ops;

    // The pending group: input[start, start + n), ending in a run of r bytes of value v
    // (v is always the last byte read). Stretches that cannot change the group's shape
    // (a pure run growing, or bytes each unlike the one before) are found by one scan.
    int32_t start = 0, n = 1, r = 1;
    unsigned char v = input[0];
    int32_t i = 1;
    while (i < length) {
        const unsigned char b = input[i];
        if (b == v && n == r) {
            // The group is one run: every following byte of the same value extends it;
            // at 256 bytes a full run token goes out and the last byte stays pending.
            const int32_t end = ops.RunEnd(input, i + 1, length, v);
            for (int32_t more = end - i; more > 0;) {
                const int32_t step = std::min(more, 256 - r);
                r += step;
                more -= step;
                if (r == 256) {
                    if (!out.Run(255, v, kFullTokenRoom)) return ERR_TN_FAILED;
                    start += 255;
                    r = 1;
                }
            }
            n = r;
            i = end;
        } else if (b == v) {
            // A run grows behind other bytes: a run of three, or a full group, sends
            // those bytes out as a literal.
            ++r;
            ++n;
            if (r == 3 || n == 256) {
                if (!out.Literal(input + start, n - r, n - r + 2)) return ERR_TN_FAILED;
                start += n - r;
                n = r;
            }
            ++i;
        } else if (r >= 3) {
            if (!out.Run(r, v, 2)) return ERR_TN_FAILED;
            start = i;
            n = r = 1;
            v = b;
            ++i;
        } else {
            // Literal bytes, each unlike the one before, join the group; a group of 256
            // sends its first 255 bytes out.
            const int32_t end = ops.LiteralEnd(input, i + 1, length);
            const int32_t total = n + (end - i);
            if (total <= 254 && length - end >= 3 && input[end + 1] == input[end]) {
                // The stretch ends where a run of three or more starts (at end - 1), and
                // the group stays below 256 bytes up to it: the literal goes out, and so
                // does the run unless it reaches 256 bytes or the end of the input.
                v = input[end];
                if (!out.Literal(input + start, total - 1, total + 1)) return ERR_TN_FAILED;
                start = end - 1;
                const int32_t runEnd = ops.RunEnd(input, end + 2, length, v);
                if (runEnd - start < 256 && runEnd < length) {
                    if (!out.Run(runEnd - start, v, 2)) return ERR_TN_FAILED;
                    start = runEnd;
                    n = r = 1;
                    v = input[runEnd];
                    i = runEnd + 1;
                } else {
                    n = r = 3;
                    i = end + 2;
                }
                continue;
            }
            for (int32_t more = end - i; more > 0;) {
                const int32_t step = std::min(more, 256 - n);
                n += step;
                more -= step;
                if (n == 256) {
                    if (!out.Literal(input + start, 255, kFullTokenRoom)) return ERR_TN_FAILED;
                    start += 255;
                    n = 1;
                }
            }
            r = 1;
            v = input[end - 1];
            i = end;
        }
    }
    // The last token must leave the total strictly below the capacity.
    const bool ok = n > r ? out.Literal(input + start, n, n + 3) : out.Run(n, v, 3);
    if (!ok) return ERR_TN_FAILED;
    *outLength = out.Written();
    return 0;
}

template <class Ops>
int32_t ExpandWith(const unsigned char* input, int32_t length, unsigned char* output,
                   int32_t* outLength) {
    if (outLength == nullptr) return 2;
    const int32_t capacity = *outLength > 0 && output != nullptr ? *outLength : 0;
    int32_t produced = 0;
    if (length > 0 && input != nullptr) {
        int32_t pos = 0;
        Ops::ExpandBulk(input, length, output, capacity, pos, produced);
        Token token;
        while (produced < capacity && NextToken(input, length, pos, token)) {
            if (token.count > capacity - produced) {
                *outLength = produced;
                return 2;
            }
            if (token.literal != nullptr)
                Ops::Copy(output + produced, token.literal, token.count);
            else
                Ops::Fill(output + produced, token.value, token.count);
            produced += token.count;
        }
    }
    *outLength = produced;
    return produced > 0 || length <= 0 ? 0 : 2;
}

}  // namespace mvb::datablocks::codec

#endif
