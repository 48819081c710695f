// The demo host's configuration reader: section paths, names without case, bad lines,
// and the bounds of the lookups.
#include <gtest/gtest.h>

#include <string>

#include "../tools/mvbasics/ini_config.h"

namespace {

TEST(IniConfig, SectionPathsWithEmptyNamesAreFoundAgain) {
    IniConfig config;
    ASSERT_TRUE(config.LoadText("top = 1\n[.a]\nx = 2\n[a.]\nx = 3\n[..]\nx = 4\nbad\n = 5\n"));
    EXPECT_EQ(2, config.BadLines());
    int32_t value = 0;
    const char* none[] = {nullptr};
    const char* leading[] = {"", "A", nullptr};
    const char* trailing[] = {"a", "", nullptr};
    const char* empty3[] = {"", "", "", nullptr};
    const char* plain[] = {"a", nullptr};
    EXPECT_EQ(0, config.LookupInteger("TOP", &value, none));
    EXPECT_EQ(1, value);
    EXPECT_EQ(0, config.LookupInteger("x", &value, leading));
    EXPECT_EQ(2, value);
    EXPECT_EQ(0, config.LookupInteger("x", &value, trailing));
    EXPECT_EQ(3, value);
    EXPECT_EQ(0, config.LookupInteger("x", &value, empty3));
    EXPECT_EQ(4, value);
    EXPECT_EQ(1, config.LookupInteger("x", &value, plain));
}

TEST(IniConfig, LookupsKeepToTheirRules) {
    IniConfig config;
    ASSERT_TRUE(config.LoadText("[s]\nbig = 2147483648\nhex = 0x7fffffff\nflag = On\nlong = " +
                                std::string(2000, 'z') + "\n"));
    const char* s[] = {"s", nullptr};
    int32_t value = 9;
    EXPECT_EQ(1, config.LookupInteger("big", &value, s));
    EXPECT_EQ(9, value);
    EXPECT_EQ(0, config.LookupInteger("hex", &value, s));
    EXPECT_EQ(INT32_MAX, value);
    int16_t flag = 0;
    EXPECT_EQ(0, config.LookupFlag("flag", &flag, s));
    EXPECT_EQ(1, flag);
    EXPECT_EQ(1, config.LookupFlag("long", &flag, s));
    std::string room(1024, '-');
    char* out = &room[0];
    EXPECT_EQ(0, config.LookupString("long", &out, s));
    EXPECT_EQ(std::string(1023, 'z'), std::string(out));
}

}  // namespace
