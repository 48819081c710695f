// Module identity: version checks, the description protocol and module file names.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "mvbasics.h"

namespace {

TEST(VersionCheck, CasesOfTheCheck) {
    EXPECT_EQ(0, CheckTnVersionNumber(12, 0, 2, 155, 0, 3));
    EXPECT_EQ(0, CheckTnVersionNumber(12, 0, 2, 155, 0, 3 | 4 | 8));
    EXPECT_EQ(-5004, CheckTnVersionNumber(12, 0, 3, 155, 0, 2));
    EXPECT_EQ(0, CheckTnVersionNumber(12, 0, 3, 155, 0, 2 | 0x10000000));
    EXPECT_EQ(-5004, CheckTnVersionNumber(12, 0, 2, 155, 1, 8));
    EXPECT_EQ(0, CheckTnVersionNumber(12, 0, 2, 155, 1, 8 | 0x40000000));
    EXPECT_EQ(-5004, CheckTnVersionNumber(12, 0, 2, 156, 0, 4));
    EXPECT_EQ(0, CheckTnVersionNumber(12, 0, 2, 156, 0, 4 | 0x20000000));
    // A waiver of one check does not waive another.
    EXPECT_EQ(-5004, CheckTnVersionNumber(12, 0, 3, 156, 0, 2 | 4 | 0x10000000));
    // Differences that are not checked do not count; flag 1 checks nothing.
    EXPECT_EQ(0, CheckTnVersionNumber(12, 0, 9, 9, 9, 1));
    EXPECT_EQ(0, CheckTnVersionNumber(12, 0, 9, 9, 9, 0x70000000));
}

TEST(VersionCheck, MajorMinorAndZeroFlagsAlwaysFail) {
    for (int flags : {0, 1, 2, 3, 0xE, 0x7000000E}) {
        EXPECT_EQ(-5004, CheckTnVersionNumber(11, 0, 2, 155, 0, flags)) << flags;
        EXPECT_EQ(-5004, CheckTnVersionNumber(12, 1, 2, 155, 0, flags)) << flags;
    }
    EXPECT_EQ(-5004, CheckTnVersionNumber(12, 0, 2, 155, 0, 0));
}

// Every combination of check and waiver bits against every combination of mismatches,
// compared with the rule written out plainly.
TEST(VersionCheck, AllFlagCombinationsAgainstTheRule) {
    const int checks[] = {2, 4, 8};
    const int waivers[] = {0x10000000, 0x20000000, 0x40000000};
    for (int bits = 0; bits < 64; ++bits) {
        int flags = 1;
        for (int i = 0; i < 3; ++i) {
            if (bits & (1 << i)) flags |= checks[i];
            if (bits & (8 << i)) flags |= waivers[i];
        }
        for (int wrong = 0; wrong < 8; ++wrong) {
            unsigned release = (wrong & 1) ? 7 : 2, build = (wrong & 2) ? 7 : 155,
                     patch = (wrong & 4) ? 7 : 0;
            bool ok = true;
            for (int i = 0; i < 3; ++i) {
                if ((flags & checks[i]) && (wrong & (1 << i)) && !(flags & waivers[i])) ok = false;
            }
            EXPECT_EQ(ok ? 0 : -5004, CheckTnVersionNumber(12, 0, release, build, patch, flags))
                << std::hex << flags << " " << wrong;
        }
    }
    EXPECT_EQ(0, TnCheckDll(0));
    EXPECT_EQ(0, TnCheckDll(4 | 8));
}

TEST(Description, DescribeDllAnswersTheProtocol) {
    unsigned major = 0, minor = 9, release = 0, build = 0, patch = 9;
    const char *name = nullptr, *date = nullptr, *fourth = nullptr, *compiler = nullptr,
               *extra = nullptr;
    int compilerVersion = 0;
    const char* title = TnDescribeDll(&major, &minor, &release, &build, &patch, &name, &date,
                                      &fourth, &compilerVersion, &compiler, &extra);
    EXPECT_STREQ("Merivane Basic Algorithms", title);
    EXPECT_EQ(12u, major);
    EXPECT_EQ(0u, minor);
    EXPECT_EQ(2u, release);
    EXPECT_EQ(155u, build);
    EXPECT_EQ(0u, patch);
    EXPECT_STREQ("MV120Mbs100", name);
    EXPECT_STREQ("Feb 19 2016 01:46:47", date);
    EXPECT_STREQ("unknown", fourth);
    EXPECT_EQ(1600, compilerVersion);
    ASSERT_NE(nullptr, compiler);
    EXPECT_GT(std::strlen(compiler), 0u);
    EXPECT_STREQ("", extra);
}

TEST(Description, BasicsInfoSkipsNullsAndRebuildsItsText) {
    GETTNBASICSINFO(nullptr, nullptr, nullptr, nullptr, nullptr);
    const char *compiler = nullptr, *text = nullptr, *date = nullptr, *name = nullptr;
    int version = 0;
    GETTNBASICSINFO(&compiler, &version, &text, &date, &name);
    EXPECT_EQ(1600, version);
    EXPECT_STREQ("Merivane Basic Algorithms 12.0.2.155.0 ", text);
    EXPECT_STREQ("Feb 19 2016", date);
    EXPECT_STREQ("MV120Mbs100", name);
    const char* again = nullptr;
    GETTNBASICSINFO(nullptr, nullptr, &again, nullptr, nullptr);
    EXPECT_EQ(text, again);  // one process-wide buffer
    EXPECT_STREQ("Merivane Basic Algorithms 12.0.2.155.0 ", again);
    ___TnBasicsContext(42);
}

TEST(DllNames, GeneratedAndGenericNames) {
    DllNameClass plain("xy");
    EXPECT_STREQ("MV120xy100", plain.GetDllName());
    DllNameClass numbered("xy", 3);
    EXPECT_STREQ("MV120xy3100", static_cast<const char*>(numbered));
    DllNameClass negative("ab", -2);
    EXPECT_STREQ("MV120ab-2100", negative.GetDllName());
    char out[32];
    EXPECT_EQ(out, DllNameClass::GetGenericDllName("ab", out));
    EXPECT_STREQ("MVab100", out);
    EXPECT_STREQ("", DllNameClass::second_char);
}

TEST(DllNames, EmptyObjectKeepsItsBufferAndCopiesKeepTheResolvedName) {
    DllNameClass empty;
    EXPECT_STREQ("", empty.GetDllName());
    std::strcpy(empty.m_name, "kept");
    EXPECT_STREQ("kept", empty.GetDllName());

    DllNameClass source("srv", 7);
    DllNameClass copy;
    copy = source;
    EXPECT_EQ(nullptr, copy.m_baseName);
    EXPECT_EQ(0, copy.m_number);
    EXPECT_STREQ("MV120srv7100", copy.GetDllName());
    source.m_baseName = "changed";
    EXPECT_STREQ("MV120srv7100", copy.GetDllName());
    DllNameClass& alias = copy;
    copy = alias;
    EXPECT_STREQ("MV120srv7100", copy.GetDllName());

    // An overlong base name is cut to the buffer, never written past it.
    std::string longName(400, 'n');
    DllNameClass big(longName.c_str(), 1);
    EXPECT_EQ(sizeof big.m_name - 1, std::strlen(big.GetDllName()));
}

TEST(HostName, AlwaysZeroAndTheNameWhenItFits) {
    char expected[256] = {};
    gethostname(expected, sizeof expected - 1);
    char name[256] = {};
    EXPECT_EQ(0, TnGetHostname(name, sizeof name));
    EXPECT_STREQ(expected, name);
    char tiny[1] = {'#'};
    EXPECT_EQ(0, TnGetHostname(tiny, 1));
    EXPECT_EQ('#', tiny[0]);
    EXPECT_EQ(0, TnGetHostname(nullptr, 0));
}

}  // namespace
