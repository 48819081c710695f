#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "mvbasics.h"
#include "platform/out_of_memory.h"

namespace {

TEST(BitString, StorageHasOneSpareByte) {
    _TnBitString s(8);
    EXPECT_EQ(8u, s.Length());
    EXPECT_EQ(0u, s.GetNum());
    EXPECT_EQ(0, s.SetAll());
    EXPECT_EQ(8u, s.GetNum());
    EXPECT_EQ(0xFF, s.bits[1]);  // the spare byte is filled too
    EXPECT_EQ(0, s.ResetAll());
    EXPECT_EQ(0, s.bits[0] | s.bits[1]);
    EXPECT_EQ(0u, s.GetNum());
}

TEST(BitString, SingleBitsAndWeights) {
    _TnBitString s(16);
    int v = -7;
    EXPECT_EQ(-2005, s.Get(16, v));
    EXPECT_EQ(-7, v);  // untouched outside the string
    EXPECT_EQ(-2005, s.Set(16));
    EXPECT_EQ(-2005, s.Reset(16));
    EXPECT_EQ(-2005, s.Flip(16, v));
    EXPECT_EQ(-2005, s.Set(0xFFFFFFFFu));

    EXPECT_EQ(0, s.Set(13));
    EXPECT_EQ(0, s.Set(13));
    EXPECT_EQ(1u, s.GetNum());
    EXPECT_EQ(0, s.Get(13, v));
    EXPECT_EQ(32, v);  // the bit's weight within its byte
    EXPECT_EQ(0x20, s.bits[1]);
    EXPECT_EQ(0, s.Flip(13, v));
    EXPECT_EQ(1, v);
    EXPECT_EQ(0, s.Get(13, v));
    EXPECT_EQ(0, v);
    EXPECT_EQ(0u, s.GetNum());
    EXPECT_EQ(0, s.Flip(7, v));
    EXPECT_EQ(0, v);
    EXPECT_EQ(1u, s.GetNum());
    EXPECT_EQ(0, s.Reset(3));  // already clear: count unchanged
    EXPECT_EQ(1u, s.GetNum());
}

TEST(BitString, AreaConflictsAndBounds) {
    _TnBitString s(16);
    unsigned p = 99;
    EXPECT_EQ(0, s.TestAndSetArea(4, 4, p));
    EXPECT_EQ(99u, p);  // written only on a conflict
    EXPECT_EQ(-1, s.TestAndSetArea(2, 4, p));
    EXPECT_EQ(2u, p);
    int v;
    s.Get(2, v);
    EXPECT_EQ(0, v);
    s.Get(3, v);
    EXPECT_EQ(0, v);
    EXPECT_EQ(4u, s.GetNum());

    EXPECT_EQ(-2005, s.TestAndSetArea(10, 7, p));
    EXPECT_EQ(0, s.TestAndSetArea(10, 6, p));
    EXPECT_EQ(10u, s.GetNum());
    EXPECT_EQ(0, s.TestAndSetArea(16, 0, p));  // empty area at the end
    EXPECT_EQ(-2005, s.TestAndSetArea(17, 0, p));
    // start + count wraps 32 bits: outside, not a tiny area
    EXPECT_EQ(-2005, s.TestAndSetArea(8, 0xFFFFFFFFu, p));
    EXPECT_EQ(-2005, s.TestAndResetArea(0xFFFFFFF0u, 0x20u, p));

    EXPECT_EQ(-1, s.TestAndResetArea(3, 3, p));
    EXPECT_EQ(0u, p);  // bit 3 is already clear
    EXPECT_EQ(0, s.TestAndResetArea(4, 4, p));
    EXPECT_EQ(6u, s.GetNum());
}

TEST(BitString, FindReportsAbsoluteIndexOrLength) {
    _TnBitString s(16);
    unsigned p = 0;
    EXPECT_EQ(-2005, s.Find(0, 1, p));
    EXPECT_EQ(16u, p);
    EXPECT_EQ(-2005, s.Find(16, 0, p));
    EXPECT_EQ(16u, p);
    s.Set(9);
    EXPECT_EQ(0, s.Find(3, 1, p));
    EXPECT_EQ(9u, p);
    EXPECT_EQ(0, s.Find(9, 0, p));
    EXPECT_EQ(10u, p);
    // spare bits beyond the length are never found
    _TnBitString t(12);
    t.SetAll();
    EXPECT_EQ(-2005, t.Find(0, 0, p));
    EXPECT_EQ(12u, p);
}

TEST(BitString, FailedAllocationGivesEmptyString) {
    OutOfMemory oom;
    _TnBitString s(100);
    EXPECT_EQ(13u, OutOfMemory::Asked());
    EXPECT_EQ(0u, s.Length());
    unsigned p;
    EXPECT_EQ(-2005, s.Set(0));
    EXPECT_EQ(0, s.SetAll());
    EXPECT_EQ(-2005, s.Find(0, 1, p));
}

// Random operations against std::vector<bool> as the reference.
TEST(BitString, RandomizedAgainstVectorBool) {
    std::mt19937 rng(20261205);
    for (unsigned length : {1u, 7u, 8u, 63u, 64u, 65u, 200u, 1031u}) {
        _TnBitString s(length);
        std::vector<bool> ref(length, false);
        auto pick = [&](unsigned n) { return static_cast<unsigned>(rng() % n); };
        for (int step = 0; step < 4000; ++step) {
            unsigned i = pick(length + 2);  // sometimes outside
            int v = -1, expected;
            unsigned p = 777, q;
            switch (pick(8)) {
                case 0:
                    ASSERT_EQ(i < length ? 0 : -2005, s.Set(i));
                    if (i < length) ref[i] = true;
                    break;
                case 1:
                    ASSERT_EQ(i < length ? 0 : -2005, s.Reset(i));
                    if (i < length) ref[i] = false;
                    break;
                case 2:
                    ASSERT_EQ(i < length ? 0 : -2005, s.Flip(i, v));
                    if (i < length) {
                        ASSERT_EQ(ref[i] ? 1 : 0, v);
                        ref[i] = !ref[i];
                    }
                    break;
                case 3:
                case 4: {
                    bool set = pick(2) == 0;
                    unsigned count = pick(pick(2) ? 80 : 8);
                    unsigned conflict = 0;
                    bool outside = uint64_t{i} + count > length;
                    while (!outside && conflict < count && ref[i + conflict] != set) ++conflict;
                    int rc = set ? s.TestAndSetArea(i, count, p) : s.TestAndResetArea(i, count, p);
                    if (outside) {
                        ASSERT_EQ(-2005, rc);
                        ASSERT_EQ(777u, p);
                    } else if (conflict < count) {
                        ASSERT_EQ(-1, rc);
                        ASSERT_EQ(conflict, p);
                    } else {
                        ASSERT_EQ(0, rc);
                        for (unsigned k = 0; k < count; ++k) ref[i + k] = set;
                    }
                    break;
                }
                case 5:
                case 6: {
                    bool want = pick(2) == 0;
                    q = i;
                    while (q < length && ref[q] != want) ++q;
                    expected = q < length ? 0 : -2005;
                    ASSERT_EQ(expected, s.Find(i, want ? 3 : 0, p));
                    ASSERT_EQ(i >= length ? length : q, p);
                    break;
                }
                default:
                    if (pick(50) == 0) {
                        bool all = pick(2) == 0;
                        ASSERT_EQ(0, all ? s.SetAll() : s.ResetAll());
                        ref.assign(length, all);
                    } else if (i < length) {
                        ASSERT_EQ(0, s.Get(i, v));
                        ASSERT_EQ(ref[i] ? (1 << (i % 8)) : 0, v);
                    }
            }
            unsigned count = 0;
            for (bool b : ref) count += b;
            ASSERT_EQ(count, s.GetNum()) << "length " << length << " step " << step;
        }
    }
}

}  // namespace
