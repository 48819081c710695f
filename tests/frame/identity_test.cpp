// Module identity: the version check and module file names. The description protocol is
// tested against the real shared object (frame_so).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mvbasics.h"

namespace {

// Every combination of the check bits (1, 2, 4, 8) and the three waivers against every
// combination of mismatching release, build and patch, compared with the rule written
// out plainly; a wrong major or minor, or flags 0, always fail.
TEST(VersionCheck, AllFlagCombinationsAgainstTheRule) {
    const int checks[] = {2, 4, 8};
    const int waivers[] = {0x10000000, 0x20000000, 0x40000000};
    for (int bits = 0; bits < 128; ++bits) {
        int flags = (bits & 64) ? 1 : 0;
        for (int i = 0; i < 3; ++i) {
            if (bits & (1 << i)) flags |= checks[i];
            if (bits & (8 << i)) flags |= waivers[i];
        }
        for (int wrong = 0; wrong < 8; ++wrong) {
            unsigned release = (wrong & 1) ? 3 : 2, build = (wrong & 2) ? 156 : 155,
                     patch = (wrong & 4) ? 1 : 0;
            bool ok = flags != 0;
            for (int i = 0; i < 3; ++i)
                if ((flags & checks[i]) && (wrong & (1 << i)) && !(flags & waivers[i])) ok = false;
            EXPECT_EQ(ok ? 0 : -5004, CheckTnVersionNumber(12, 0, release, build, patch, flags))
                << std::hex << flags << " " << wrong;
            EXPECT_EQ(-5004, CheckTnVersionNumber(11, 0, release, build, patch, flags));
            EXPECT_EQ(-5004, CheckTnVersionNumber(12, 1, release, build, patch, flags));
        }
    }
    EXPECT_EQ(0, TnCheckDll(0));  // 1 and 2 are added, so 0 is no failure here
    EXPECT_EQ(0, TnCheckDll(4 | 8));
}

TEST(DllNames, GeneratedGenericAndCopiedNames) {
    DllNameClass plain("xy"), numbered("xy", 3), negative("ab", -2), empty;
    EXPECT_STREQ("MV120xy100", plain.GetDllName());
    EXPECT_STREQ("MV120xy3100", static_cast<const char*>(numbered));
    EXPECT_STREQ("MV120ab-2100", negative.GetDllName());
    char out[32];
    EXPECT_EQ(out, DllNameClass::GetGenericDllName("ab", out));
    EXPECT_STREQ("MVab100", out);
    // Without base name and number the buffer is left as it is.
    EXPECT_STREQ("", empty.GetDllName());
    std::strcpy(empty.m_name, "kept");
    EXPECT_STREQ("kept", empty.GetDllName());

    // A copy keeps the resolved name, whatever becomes of its source.
    DllNameClass source("srv", 7), copy("old", 1);
    copy = source;
    EXPECT_EQ(nullptr, copy.m_baseName);
    EXPECT_EQ(0, copy.m_number);
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

}  // namespace
