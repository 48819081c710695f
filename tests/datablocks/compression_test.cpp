#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "datablocks/codec.h"
#include "mvbasics.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes B(std::initializer_list<int> v) {
    Bytes b;
    for (int x : v) b.push_back(static_cast<unsigned char>(x));
    return b;
}
Bytes S(const std::string& s) {
    return Bytes(s.begin(), s.end());
}
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const auto& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

// Runs DScomp or DSdecomp with the given capacity into a buffer with a guard byte after
// it; returns the result code and the output (DScomp leaves the length alone on failure).
using Coder = int32_t (*)(const unsigned char*, int32_t, unsigned char*, int32_t*);
int32_t Code(Coder coder, const Bytes& in, int32_t capacity, Bytes& out) {
    out.assign(static_cast<size_t>(capacity) + 1, 0xEE);
    int32_t len = capacity;
    const int32_t rc = coder(in.data(), static_cast<int32_t>(in.size()), out.data(), &len);
    EXPECT_EQ(0xEE, out[static_cast<size_t>(capacity)]) << "wrote beyond the capacity";
    EXPECT_TRUE(rc == 0 || coder != DScomp || len == capacity) << "length changed on failure";
    out.resize(static_cast<size_t>(len));
    return rc;
}

TEST(DScomp, Examples) {
    const int x = 0x5A;
    Bytes distinct;  // no two neighbours equal, none equal to f0
    for (int i = 0; i < 255; ++i)
        distinct.push_back(static_cast<unsigned char>(i % 2 ? i : 255 - i));
    const Bytes d254(distinct.begin(), distinct.begin() + 254);
    const struct {
        Bytes in, want;
    } cases[] = {
        {S("a"), B({1, 'a'})},
        {S("aa"), B({2, 'a'})},
        {S("aaa"), B({3, 'a'})},
        {S("ab"), B({0, 2, 'a', 'b'})},
        {S("abccc"), B({0, 2, 'a', 'b', 3, 'c'})},
        {S("abcdd"), B({0, 5, 'a', 'b', 'c', 'd', 'd'})},
        {S("aaab"), B({3, 'a', 1, 'b'})},
        {S("aaabb"), B({3, 'a', 2, 'b'})},
        {S("aab"), B({0, 3, 'a', 'a', 'b'})},
        {S("aaaaaaaabc"), B({8, 'a', 0, 2, 'b', 'c'})},
        {Bytes(255, x), B({255, x})},
        {Bytes(256, x), B({255, x, 1, x})},
        {Bytes(300, x), B({255, x, 45, x})},
        {Bytes(511, x), B({255, x, 255, x, 1, x})},
        {Cat({d254, B({0xF0, 0xF0, 0xF0, 'z'})}), Cat({B({0, 254}), d254, B({3, 0xF0, 1, 'z'})})},
        {Cat({distinct, B({0xF0, 'z'})}), Cat({B({0, 255}), distinct, B({0, 2, 0xF0, 'z'})})}};
    Bytes out;
    for (const auto& c : cases) {
        EXPECT_EQ(0, Code(DScomp, c.in, static_cast<int32_t>(c.want.size()) + 300, out));
        EXPECT_EQ(c.want, out) << c.in.size() << " bytes";
    }
    EXPECT_EQ(-1, Code(DScomp, Cat({distinct, B({0})}), 256, out));  // a full literal needs 257
    EXPECT_EQ(-1, Code(DScomp, S("aaaaaaaabc"), 6, out));
    EXPECT_EQ(0, Code(DScomp, S("aaaaaaaabc"), 7, out));
    EXPECT_EQ(6u, out.size());
}

TEST(DScomp, EmptyAndBadArguments) {
    Bytes out(4);
    int32_t len = 4;
    EXPECT_EQ(0, DScomp(nullptr, 0, out.data(), &len));
    EXPECT_EQ(0, len);
    EXPECT_EQ(-1, DScomp(out.data(), -1, out.data(), &len));
    EXPECT_EQ(-1, DScomp(out.data(), 1, out.data(), nullptr));
}

TEST(DSdecomp, CapacityAndCutTokens) {
    const Bytes block = B({8, 'a', 0, 2, 'b', 'c'});
    const struct {
        Bytes in;
        int32_t capacity, rc;
        std::string out;
        int32_t len;  // DSlen of the input
    } cases[] = {{block, 9, 2, "aaaaaaaa", 10},
                 {block, 10, 0, "aaaaaaaabc", 10},
                 {block, 7, 2, "", 10},
                 {block, 8, 0, "aaaaaaaa", 10},  // the capacity is reached: the walk stops
                 {{}, 5, 0, "", 0},
                 {B({0, 0}), 5, 2, "", 0},
                 {B({0, 0, 1, 'q'}), 5, 0, "q", 1},
                 // A token cut off by the end of the input ends the walk.
                 {B({2, 'a', 5}), 100, 0, "aa", 2},
                 {B({5}), 100, 2, "", 0},
                 {B({0, 3, 'a', 'b'}), 100, 2, "", 0},
                 {B({3, 'z', 0, 4, 'a', 'b'}), 100, 0, "zzz", 3},
                 {B({3, 'z', 0}), 100, 0, "zzz", 3}};
    for (const auto& c : cases) {
        Bytes out;
        EXPECT_EQ(c.rc, Code(DSdecomp, c.in, c.capacity, out)) << c.in.size() << "/" << c.capacity;
        EXPECT_EQ(S(c.out), out) << c.in.size() << "/" << c.capacity;
        EXPECT_EQ(c.len, DSlen(c.in.data(), static_cast<int32_t>(c.in.size())));
    }
    EXPECT_EQ(0, DSlen(block.data(), -3));
}

// Builds data from runs and literals whose lengths sit around the token limits.
Bytes MakeRecordLike(std::mt19937& rng, size_t pieces) {
    static const int kLengths[] = {1, 2, 3, 4, 253, 254, 255, 256, 257, 258, 510, 511, 512};
    Bytes b;
    for (size_t i = 0; i < pieces; ++i) {
        const int len = kLengths[rng() % (sizeof kLengths / sizeof kLengths[0])];
        if (rng() % 2) {
            b.insert(b.end(), static_cast<size_t>(len), static_cast<unsigned char>(rng() % 3));
        } else if (rng() % 2) {  // literal bytes from few values: pairs and short runs
            for (int k = 0; k < len; ++k) b.push_back(static_cast<unsigned char>(rng() % 4));
        } else {  // long literal groups: pairs now and then, never three equal in a row
            for (int k = 0; k < len; ++k) {
                auto c = static_cast<unsigned char>(rng());
                if (rng() % 4 == 0 && !b.empty()) c = b.back();
                if (b.size() >= 2 && c == b.back() && c == b[b.size() - 2]) c ^= 1;
                b.push_back(c);
            }
        }
    }
    return b;
}

// The compressor's decisions one byte at a time, as a reference for the stretch-wise
// implementation: the token list and the smallest capacity that succeeds.
struct Reference {
    Bytes out;
    size_t needed = 0;  // the capacity must be at least this
    void Token(const Bytes& t, size_t room, bool last) {
        needed = std::max(needed, out.size() + room + (last ? 1 : 0));
        out.insert(out.end(), t.begin(), t.end());
    }
    void Literal(const Bytes& in, size_t start, size_t len, size_t room, bool last) {
        Bytes t = {0, static_cast<unsigned char>(len)};
        t.insert(t.end(), in.begin() + static_cast<long>(start),
                 in.begin() + static_cast<long>(start + len));
        Token(t, room, last);
    }
};

Reference ReferenceCompress(const Bytes& in) {
    Reference ref;
    size_t start = 0, n = 1, r = 1;
    unsigned char v = in[0];
    for (size_t i = 1; i < in.size(); ++i) {
        const unsigned char b = in[i];
        if (b == v) {
            ++r;
            ++n;
            if (n > r && (r == 3 || n == 256)) {
                ref.Literal(in, start, n - r, n - r + 2, false);
                start += n - r;
                n = r;
            } else if (n == r && r == 256) {
                ref.Token({255, v}, 257, false);
                start += 255;
                n = r = 1;
            }
        } else if (r >= 3) {
            ref.Token({static_cast<unsigned char>(r), v}, 2, false);
            start = i;
            n = r = 1;
            v = b;
        } else {
            ++n;
            r = 1;
            v = b;
            if (n == 256) {
                ref.Literal(in, start, 255, 257, false);
                start += 255;
                n = 1;
            }
        }
    }
    if (n > r)
        ref.Literal(in, start, n, n + 2, true);
    else
        ref.Token({static_cast<unsigned char>(n), v}, 2, true);
    return ref;
}

// Exact output and capacity decisions against the reference, and the round trip.
TEST(DScomp, AgreesWithAByteByByteReferenceAndRoundTrips) {
    std::mt19937 rng(77);
    for (int round = 0; round < 400; ++round) {
        const Bytes in = MakeRecordLike(rng, 1 + rng() % 10);
        const Reference ref = ReferenceCompress(in);
        const auto needed = static_cast<int32_t>(ref.needed);
        Bytes out;
        ASSERT_EQ(0, Code(DScomp, in, needed + 1, out));
        ASSERT_EQ(-1, Code(DScomp, in, needed - 1, out)) << "round " << round;
        ASSERT_EQ(-1, Code(DScomp, in, static_cast<int32_t>(rng() % ref.needed), out));
        ASSERT_EQ(0, Code(DScomp, in, needed, out)) << "round " << round;
        ASSERT_EQ(ref.out, out) << "round " << round;
        EXPECT_EQ(static_cast<int32_t>(in.size()),
                  DSlen(out.data(), static_cast<int32_t>(out.size())));
        Bytes back;
        ASSERT_EQ(0, Code(DSdecomp, out, static_cast<int32_t>(in.size()), back));
        ASSERT_EQ(in, back) << "round " << round;
    }
}

TEST(DSdecomp, RandomBytesStayInBounds) {
    std::mt19937 rng(99);
    for (int round = 0; round < 2000; ++round) {
        Bytes in(rng() % 64);
        for (auto& b : in) b = static_cast<unsigned char>(rng() % 5);
        const int32_t total = DSlen(in.data(), static_cast<int32_t>(in.size()));
        Bytes out;
        EXPECT_EQ(total > 0 || in.empty() ? 0 : 2, Code(DSdecomp, in, total, out));
        EXPECT_EQ(total, static_cast<int32_t>(out.size()));
        // Short by one: a token did not fit (2), or the walk stopped at a full output.
        if (total > 0 && Code(DSdecomp, in, total - 1, out) != 2) {
            EXPECT_EQ(total - 1, static_cast<int32_t>(out.size()));
        }
    }
}

// The fast path scans 16 bytes per step and copies in 16-byte chunks with an
// overlapping last chunk: lengths around multiples of 16, stretches that end exactly
// at the end of the input, and outputs that are exactly full must give the portable
// path's bytes, results and lengths, and touch nothing beyond what that path touches.
TEST(CodecPaths, AgreeAroundChunkBoundaries) {
    using mvb::datablocks::codec::Path;
    std::mt19937 rng(16);
    auto both = [](bool compress, const Bytes& in, int32_t capacity) {
        Bytes out[3];
        int32_t len[3], rc[3];
        for (int p = 0; p < 3; ++p) {
            const Path path = p == 0 ? Path::Portable : p == 1 ? Path::Fast : Path::Narrow;
            out[p].assign(static_cast<size_t>(capacity) + 16, 0xEE);
            len[p] = capacity;
            const auto n = static_cast<int32_t>(in.size());
            rc[p] =
                compress
                    ? mvb::datablocks::codec::Compress(path, in.data(), n, out[p].data(), &len[p])
                    : mvb::datablocks::codec::Expand(path, in.data(), n, out[p].data(), &len[p]);
        }
        for (int p = 1; p < 3; ++p) {
            EXPECT_EQ(rc[0], rc[p]);
            EXPECT_EQ(len[0], len[p]);
            EXPECT_EQ(out[0], out[p]) << (compress ? "compress " : "expand ") << in.size() << "/"
                                      << capacity << " path " << p;
        }
        return std::make_pair(rc[1], len[1]);
    };
    for (int a = 1; a <= 50; ++a) {
        for (int b = 0; b <= 35; b += 1 + b / 8) {
            // A run of a bytes, a stretch of b distinct bytes, and the other way round.
            Bytes run(static_cast<size_t>(a), 0x20), lit;
            for (int k = 0; k < b; ++k)
                lit.push_back(static_cast<unsigned char>(k % 2 ? k : 200 - k));
            for (const Bytes& in : {Cat({run, lit}), Cat({lit, run}), Cat({lit, run, lit})}) {
                const auto packed = both(true, in, static_cast<int32_t>(2 * in.size() + 300));
                ASSERT_EQ(0, packed.first);
                for (int32_t cap = packed.second - 1; cap <= packed.second + 1; ++cap)
                    both(true, in, cap);
                Bytes block(static_cast<size_t>(packed.second));
                int32_t len = packed.second + 1;
                ASSERT_EQ(0,
                          DScomp(in.data(), static_cast<int32_t>(in.size()), block.data(), &len));
                const auto n = static_cast<int32_t>(in.size());
                for (int32_t cap : {n - 1, n, n + 1}) both(false, block, cap);
            }
        }
    }
    // Damaged blocks: arbitrary tokens, cut off anywhere.
    for (int round = 0; round < 500; ++round) {
        Bytes in(rng() % 80);
        for (auto& x : in) x = static_cast<unsigned char>(rng() % 4 == 0 ? 0 : rng() % 40);
        const int32_t total = DSlen(in.data(), static_cast<int32_t>(in.size()));
        for (int32_t cap : {total - 1, total, total + 17}) both(false, in, std::max(cap, 0));
    }
    // Long blocks of well-formed tokens of every size (empty literals included), cut off
    // anywhere and expanded into outputs that end anywhere: the fast path writes short
    // tokens as whole blocks past their end, which must never show past the final length.
    for (int round = 0; round < 300; ++round) {
        Bytes in;
        const auto tokens = 20 + rng() % 200;
        for (unsigned t = 0; t < tokens; ++t) {
            const unsigned shape = rng() % 8;
            const auto count = static_cast<unsigned char>(shape < 5   ? rng() % 70
                                                          : shape < 7 ? rng() % 256
                                                                      : rng() % 3);
            if (rng() % 2 != 0 && count != 0) {
                in.push_back(count);
                in.push_back(static_cast<unsigned char>(rng()));
            } else {
                in.push_back(0);
                in.push_back(count);
                for (int k = 0; k < count; ++k) in.push_back(static_cast<unsigned char>(rng()));
            }
        }
        in.resize(in.size() - rng() % 4 * (rng() % 40));  // often cut inside a token
        const int32_t total = DSlen(in.data(), static_cast<int32_t>(in.size()));
        const int32_t cut =
            total > 0 ? static_cast<int32_t>(rng() % static_cast<unsigned>(total)) : 0;
        for (int32_t cap : {total, total - 1, total + 100, cut}) both(false, in, std::max(cap, 0));
    }
    // A short token, then long ones that carry the output far past the bytes saved for
    // it, then short ones again: the saved bytes are rebased with nothing pending.
    Bytes in = B({10, 'a', 200, 'b', 200, 'c', 255, 'd'});
    for (int t = 0; t < 60; ++t) in.insert(in.end(), {3, static_cast<unsigned char>(t)});
    const int32_t total = DSlen(in.data(), static_cast<int32_t>(in.size()));
    for (int32_t cap : {total, total - 1, total + 200}) both(false, in, cap);
}

}  // namespace
