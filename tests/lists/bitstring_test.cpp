#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "mvbasics.h"
#include "support/alloc_failure.h"

namespace {

// What the model below cannot see: the storage bytes and areas whose end wraps 32 bits.
TEST(BitString, StorageBytesAndWrappingAreas) {
    _TnBitString s(16);
    EXPECT_EQ(0, s.Set(13));
    EXPECT_EQ(0x20, s.bits[1]);
    unsigned p = 99;
    EXPECT_EQ(0, s.TestAndSetArea(4, 4, p));
    EXPECT_EQ(0xF0, s.bits[0]);
    EXPECT_EQ(-2005, s.TestAndSetArea(8, 0xFFFFFFFFu, p));
    EXPECT_EQ(-2005, s.TestAndResetArea(0xFFFFFFF0u, 0x20u, p));
    EXPECT_EQ(99u, p);

    _TnBitString eight(8);
    EXPECT_EQ(0, eight.SetAll());
    EXPECT_EQ(8u, eight.GetNum());
    EXPECT_EQ(0xFF, eight.bits[1]);         // the spare byte is filled too
    EXPECT_EQ(-2005, eight.Find(0, 0, p));  // spare bits are never found
    EXPECT_EQ(0, eight.ResetAll());
    EXPECT_EQ(0, eight.bits[0] | eight.bits[1]);
}

TEST(BitString, FailedAllocationGivesEmptyString) {
    mvtest::OutOfMemory oom;
    _TnBitString s(100);
    EXPECT_EQ(std::vector<uint32_t>{13}, oom.Calls());
    EXPECT_EQ(0u, s.Length());
    unsigned p;
    EXPECT_EQ(-2005, s.Set(0));
    EXPECT_EQ(0, s.SetAll());
    EXPECT_EQ(-2005, s.Find(0, 1, p));
}

// Random operations against std::vector<bool> as the reference.
TEST(BitString, RandomizedAgainstVectorBool) {
    std::mt19937 rng(20261205);
    auto pick = [&](unsigned n) { return static_cast<unsigned>(rng() % n); };
    for (unsigned length : {1u, 7u, 8u, 63u, 64u, 65u, 200u, 1031u}) {
        _TnBitString s(length);
        std::vector<bool> ref(length, false);
        for (int step = 0; step < 4000; ++step) {
            unsigned i = pick(length + 2);  // sometimes outside
            bool in = i < length, set = pick(2) == 0;
            int v = -1, outside = in ? 0 : -2005;
            unsigned p = 777;
            const unsigned op = pick(6);  // set or reset, flip, area 2 in 6, find, get or all
            if (op == 0) {
                ASSERT_EQ(outside, set ? s.Set(i) : s.Reset(i));
                if (in) ref[i] = set;
            } else if (op == 1) {
                ASSERT_EQ(outside, s.Flip(i, v));
                ASSERT_EQ(in ? ref[i] ? 1 : 0 : -1, v);  // untouched outside
                if (in) ref[i] = !ref[i];
            } else if (op < 4) {
                unsigned count = pick(pick(2) ? 80 : 8), conflict = 0;
                bool beyond = uint64_t{i} + count > length;
                while (!beyond && conflict < count && ref[i + conflict] != set) ++conflict;
                int rc = set ? s.TestAndSetArea(i, count, p) : s.TestAndResetArea(i, count, p);
                ASSERT_EQ(beyond ? -2005 : conflict < count ? -1 : 0, rc);
                ASSERT_EQ(!beyond && conflict < count ? conflict : 777u, p);
                for (unsigned k = 0; rc == 0 && k < count; ++k) ref[i + k] = set;
            } else if (op == 4) {
                unsigned q = i;
                while (q < length && ref[q] != set) ++q;
                ASSERT_EQ(q < length ? 0 : -2005, s.Find(i, set ? 3 : 0, p));
                ASSERT_EQ(in ? q : length, p);
            } else if (pick(50) == 0) {
                ASSERT_EQ(0, set ? s.SetAll() : s.ResetAll());
                ref.assign(length, set);
            } else {
                ASSERT_EQ(outside, s.Get(i, v));
                ASSERT_EQ(in ? ref[i] ? (1 << (i % 8)) : 0 : -1, v);
            }
            unsigned count = 0;
            for (bool b : ref) count += b;
            ASSERT_EQ(count, s.GetNum()) << "length " << length << " step " << step;
        }
    }
}

}  // namespace
