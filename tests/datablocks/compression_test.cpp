#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

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

// Compresses with the given capacity; returns the result code and the output.
int32_t Comp(const Bytes& in, int32_t capacity, Bytes& out) {
    out.assign(static_cast<size_t>(capacity) + 1, 0xEE);
    int32_t len = capacity;
    int32_t rc = DScomp(in.data(), static_cast<int32_t>(in.size()), out.data(), &len);
    EXPECT_EQ(0xEE, out[static_cast<size_t>(capacity)]) << "wrote beyond the capacity";
    if (rc == 0) {
        out.resize(static_cast<size_t>(len));
    } else {
        EXPECT_EQ(capacity, len) << "length changed on failure";
    }
    return rc;
}

Bytes Compress(const Bytes& in) {
    Bytes out;
    EXPECT_EQ(0, Comp(in, static_cast<int32_t>(in.size() * 2 + 300), out));
    return out;
}

int32_t Decomp(const Bytes& in, int32_t capacity, Bytes& out) {
    out.assign(static_cast<size_t>(capacity) + 1, 0xEE);
    int32_t len = capacity;
    int32_t rc = DSdecomp(in.data(), static_cast<int32_t>(in.size()), out.data(), &len);
    EXPECT_EQ(0xEE, out[static_cast<size_t>(capacity)]) << "wrote beyond the capacity";
    out.resize(static_cast<size_t>(len));
    return rc;
}

TEST(DScomp, SmallExamples) {
    EXPECT_EQ(B({1, 'a'}), Compress(S("a")));
    EXPECT_EQ(B({2, 'a'}), Compress(S("aa")));
    EXPECT_EQ(B({3, 'a'}), Compress(S("aaa")));
    EXPECT_EQ(B({0, 2, 'a', 'b'}), Compress(S("ab")));
    EXPECT_EQ(B({0, 2, 'a', 'b', 3, 'c'}), Compress(S("abccc")));
    EXPECT_EQ(B({0, 5, 'a', 'b', 'c', 'd', 'd'}), Compress(S("abcdd")));
    EXPECT_EQ(B({3, 'a', 1, 'b'}), Compress(S("aaab")));
    EXPECT_EQ(B({8, 'a', 0, 2, 'b', 'c'}), Compress(S("aaaaaaaabc")));
    // A final pair alone is a run of two; a pair behind other bytes joins their literal.
    EXPECT_EQ(B({3, 'a', 2, 'b'}), Compress(S("aaabb")));
    EXPECT_EQ(B({0, 3, 'a', 'a', 'b'}), Compress(S("aab")));
}

TEST(DScomp, RunsAroundTheTokenLimit) {
    const unsigned char x = 0x5A;
    EXPECT_EQ(B({255, x}), Compress(Bytes(255, x)));
    EXPECT_EQ(B({255, x, 1, x}), Compress(Bytes(256, x)));
    EXPECT_EQ(B({255, x, 2, x}), Compress(Bytes(257, x)));
    EXPECT_EQ(B({255, x, 45, x}), Compress(Bytes(300, x)));
    EXPECT_EQ(B({255, x, 255, x, 1, x}), Compress(Bytes(511, x)));
}

TEST(DScomp, LiteralsAroundTheTokenLimit) {
    Bytes distinct;
    for (int i = 0; i < 255; ++i)
        distinct.push_back(static_cast<unsigned char>(i % 2 ? i : 255 - i));
    // 254 distinct bytes, three f0, one z.
    Bytes in(distinct.begin(), distinct.begin() + 254);
    for (int i = 0; i < 3; ++i) in.push_back(0xF0);
    in.push_back('z');
    Bytes want = {0, 254};
    want.insert(want.end(), distinct.begin(), distinct.begin() + 254);
    for (int v : {3, 0xF0, 1, int('z')}) want.push_back(static_cast<unsigned char>(v));
    EXPECT_EQ(want, Compress(in));
    // 255 distinct bytes, f0, z.
    in.assign(distinct.begin(), distinct.end());
    in.push_back(0xF0);
    in.push_back('z');
    want = {0, 255};
    want.insert(want.end(), distinct.begin(), distinct.end());
    for (int v : {0, 2, 0xF0, int('z')}) want.push_back(static_cast<unsigned char>(v));
    EXPECT_EQ(want, Compress(in));
}

TEST(DScomp, CapacityRule) {
    Bytes out;
    EXPECT_EQ(-1, Comp(S("aaaaaaaabc"), 6, out));
    EXPECT_EQ(0, Comp(S("aaaaaaaabc"), 7, out));
    EXPECT_EQ(6u, out.size());
    EXPECT_EQ(-1, Comp(S("a"), 2, out));
    EXPECT_EQ(0, Comp(S("a"), 3, out));
    EXPECT_EQ(-1, Comp(S("a"), 0, out));
    // A run reaching 256 bytes and a full literal ask for 257 bytes of room.
    EXPECT_EQ(-1, Comp(Bytes(256, 'x'), 256, out));
    EXPECT_EQ(0, Comp(Bytes(256, 'x'), 257, out));
    Bytes lit;
    for (int i = 0; i < 256; ++i) lit.push_back(static_cast<unsigned char>(i));
    EXPECT_EQ(-1, Comp(lit, 257, out));  // 255 + 2 first, then the last byte needs 2 + 1 more
    EXPECT_EQ(0, Comp(lit, 260, out));
    EXPECT_EQ(259u, out.size());
}

TEST(DScomp, EmptyAndBadArguments) {
    Bytes out(4);
    int32_t len = 4;
    EXPECT_EQ(0, DScomp(nullptr, 0, out.data(), &len));
    EXPECT_EQ(0, len);
    len = 4;
    EXPECT_EQ(-1, DScomp(out.data(), -1, out.data(), &len));
    EXPECT_EQ(-1, DScomp(out.data(), 1, out.data(), nullptr));
}

TEST(DSdecomp, ExamplesAndCapacity) {
    const Bytes block = B({8, 'a', 0, 2, 'b', 'c'});
    Bytes out;
    EXPECT_EQ(2, Decomp(block, 9, out));
    EXPECT_EQ(S("aaaaaaaa"), out);
    EXPECT_EQ(0, Decomp(block, 10, out));
    EXPECT_EQ(S("aaaaaaaabc"), out);
    EXPECT_EQ(2, Decomp(block, 7, out));
    EXPECT_EQ(0u, out.size());
    EXPECT_EQ(0, Decomp(block, 8, out));  // the capacity is reached: the walk stops
    EXPECT_EQ(8u, out.size());
    EXPECT_EQ(0, Decomp({}, 5, out));
    EXPECT_EQ(0u, out.size());
    EXPECT_EQ(2, Decomp(B({0, 0}), 5, out));
    EXPECT_EQ(0u, out.size());
    EXPECT_EQ(0, Decomp(B({0, 0, 1, 'q'}), 5, out));
    EXPECT_EQ(S("q"), out);
    EXPECT_EQ(10, DSlen(block.data(), 6));
    EXPECT_EQ(0, DSlen(block.data(), 0));
    EXPECT_EQ(0, DSlen(block.data(), -3));
}

TEST(DSdecomp, TruncatedTokensEndTheExpansion) {
    Bytes out;
    // Run token without its value byte.
    EXPECT_EQ(0, Decomp(B({2, 'a', 5}), 100, out));
    EXPECT_EQ(S("aa"), out);
    EXPECT_EQ(2, Decomp(B({5}), 100, out));
    EXPECT_EQ(0u, out.size());
    // Literal token that claims more bytes than the input holds.
    EXPECT_EQ(0, Decomp(B({3, 'z', 0, 4, 'a', 'b'}), 100, out));
    EXPECT_EQ(S("zzz"), out);
    EXPECT_EQ(2, Decomp(B({0}), 100, out));
    const Bytes cut = B({3, 'z', 0, 4, 'a', 'b'});
    EXPECT_EQ(3, DSlen(cut.data(), 6));
    EXPECT_EQ(3, DSlen(cut.data(), 3));
    EXPECT_EQ(3, DSlen(cut.data(), 2));
    EXPECT_EQ(0, DSlen(cut.data(), 1));
}

// Builds data from runs and literals whose lengths sit around the token limits.
Bytes MakeRecordLike(std::mt19937& rng, size_t pieces) {
    static const int kLengths[] = {1, 2, 3, 4, 253, 254, 255, 256, 257, 258, 510, 511, 512};
    Bytes b;
    for (size_t i = 0; i < pieces; ++i) {
        const int len = kLengths[rng() % (sizeof kLengths / sizeof kLengths[0])];
        if (rng() % 2) {
            b.insert(b.end(), static_cast<size_t>(len), static_cast<unsigned char>(rng() % 3));
        } else {
            for (int k = 0; k < len; ++k) b.push_back(static_cast<unsigned char>(rng() % 4));
        }
    }
    return b;
}

// Token-level properties of a compressor output: literals of 1..255 bytes holding no
// run of three, runs of 3..255 except a final run of 1 or 2.
void CheckWellFormed(const Bytes& c) {
    size_t pos = 0;
    while (pos < c.size()) {
        ASSERT_LT(pos + 1, c.size());
        if (c[pos] == 0) {
            const size_t len = c[pos + 1];
            ASSERT_GE(len, 1u);
            ASSERT_LE(pos + 2 + len, c.size());
            for (size_t k = pos + 4; k < pos + 2 + len; ++k) {
                ASSERT_FALSE(c[k] == c[k - 1] && c[k] == c[k - 2]) << "run inside a literal";
            }
            pos += 2 + len;
        } else {
            if (pos + 2 < c.size()) {
                ASSERT_GE(c[pos], 3) << "short run before the end";
            }
            pos += 2;
        }
    }
}

TEST(DScomp, RoundTripOverRunsAndLiterals) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        const Bytes in = MakeRecordLike(rng, 1 + rng() % 12);
        const Bytes c = Compress(in);
        CheckWellFormed(c);
        EXPECT_EQ(static_cast<int32_t>(in.size()), DSlen(c.data(), static_cast<int32_t>(c.size())));
        Bytes out;
        ASSERT_EQ(0, Decomp(c, static_cast<int32_t>(in.size()), out));
        ASSERT_EQ(in, out) << "round " << round;
    }
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

TEST(DScomp, AgreesWithAByteByByteReference) {
    std::mt19937 rng(77);
    for (int round = 0; round < 400; ++round) {
        Bytes in = MakeRecordLike(rng, 1 + rng() % 10);
        if (round % 3 == 0) {  // plus short random pieces with few distinct values
            for (int k = 0, m = static_cast<int>(rng() % 600); k < m; ++k)
                in.push_back(static_cast<unsigned char>(rng() % (1 + round % 5)));
        }
        const Reference ref = ReferenceCompress(in);
        const auto needed = static_cast<int32_t>(ref.needed);
        Bytes out;
        ASSERT_EQ(0, Comp(in, needed, out)) << "round " << round;
        ASSERT_EQ(ref.out, out) << "round " << round;
        ASSERT_EQ(0, Comp(in, needed + 1, out));
        ASSERT_EQ(-1, Comp(in, needed - 1, out)) << "round " << round;
        ASSERT_EQ(-1, Comp(in, static_cast<int32_t>(rng() % ref.needed), out));
    }
}

TEST(DSdecomp, RandomBytesStayInBounds) {
    std::mt19937 rng(99);
    for (int round = 0; round < 2000; ++round) {
        Bytes in(rng() % 64);
        for (auto& b : in) b = static_cast<unsigned char>(rng() % 5);
        const int32_t total = DSlen(in.data(), static_cast<int32_t>(in.size()));
        Bytes out;
        const int32_t rc = Decomp(in, total, out);
        EXPECT_EQ(total, static_cast<int32_t>(out.size()));
        EXPECT_EQ(total > 0 || in.empty() ? 0 : 2, rc);
        if (total > 0) {
            // Short by one: either a token did not fit (2) or the walk stopped when the
            // output was full at a token boundary (0); never more than the capacity.
            const int32_t shortRc = Decomp(in, total - 1, out);
            EXPECT_TRUE(shortRc == 2 || static_cast<int32_t>(out.size()) == total - 1);
        }
    }
}

}  // namespace
