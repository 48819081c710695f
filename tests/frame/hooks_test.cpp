// The host's hooks: default configuration, console, the module error-text callback and
// the host name.
#include <gtest/gtest.h>

#include "mvbasics.h"
#include "test_platform.h"

namespace {

const char* CallbackText(int32_t) {
    return "from callback";
}

TEST(ModuleErrorCallbackList, OpenRangeSingleEntryAndRemoval) {
    auto& list = TnModuleErrorCallbackList::GetInstance();
    EXPECT_EQ(nullptr, list.GetError(0));  // an empty entry never matches
    ASSERT_EQ(0, list.SetModuleErrorCallback(CallbackText, -3000, -4000));
    EXPECT_STREQ("from callback", list.GetError(-3500));
    EXPECT_STREQ("from callback", list.GetError(-3999));
    EXPECT_EQ(nullptr, list.GetError(-3000));
    EXPECT_EQ(nullptr, list.GetError(-4000));
    EXPECT_EQ(-2002, list.SetModuleErrorCallback(CallbackText, -3500, -4500));  // overlaps
    EXPECT_EQ(-2002, list.SetModuleErrorCallback(CallbackText, -5000, -4000));  // inverted
    EXPECT_EQ(-2002, list.SetModuleErrorCallback(CallbackText, -100, -200));    // no room
    EXPECT_EQ(-2002, list.SetModuleErrorCallback(nullptr, -3000, -3999));       // other bounds
    EXPECT_STREQ("from callback", list.GetError(-3500));                        // unchanged
    EXPECT_EQ(0, list.SetModuleErrorCallback(nullptr, -3000, -4000));
    EXPECT_EQ(-2002, list.SetModuleErrorCallback(nullptr, -3000, -4000));
    EXPECT_EQ(nullptr, list.GetError(-3500));
}

class NullConsole : public smp_io {
  public:
    int write(const char*, size_t) override { return 0; }
};

TEST(Hooks, SlotsQueriesAndTheHostName) {
    EXPECT_EQ(nullptr, DefaultConfig(TN_DEFAULT_CONFIG_QUERY));
    TnConfig* some = reinterpret_cast<TnConfig*>(0x1000);
    EXPECT_EQ(some, DefaultConfig(some));
    EXPECT_EQ(some, DefaultConfig(TN_DEFAULT_CONFIG_QUERY));
    EXPECT_EQ(nullptr, DefaultConfig(nullptr));  // null clears
    EXPECT_EQ(nullptr, DefaultConfig(TN_DEFAULT_CONFIG_QUERY));

    static NullConsole console, other;  // the slot cannot be cleared: they outlive it
    EXPECT_EQ(nullptr, Console(&console));
    EXPECT_EQ(&console, Console(nullptr));  // null only queries
    EXPECT_EQ(&console, GetConsole());
    EXPECT_EQ(&console, Console(&other));
    EXPECT_EQ(&other, GetConsole());

    // The host name: always 0, the buffer written only when the name fits.
    char name[256] = {}, tiny[1] = {'#'};
    EXPECT_EQ(0, TnGetHostname(name, sizeof name));
    EXPECT_EQ(mvtest::platform::HostName(), name);
    EXPECT_EQ(0, TnGetHostname(tiny, 1));
    EXPECT_EQ('#', tiny[0]);
}

}  // namespace
