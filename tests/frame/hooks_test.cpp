#include <gtest/gtest.h>

#include "mvbasics.h"

namespace {

const char* CallbackText(int32_t) {
    return "from callback";
}

TEST(ModuleErrorCallbackList, RangeIsOpenAndSingleEntry) {
    auto& list = TnModuleErrorCallbackList::GetInstance();
    ASSERT_EQ(0, list.SetModuleErrorCallback(CallbackText, -3000, -4000));
    EXPECT_STREQ("from callback", list.GetError(-3500));
    EXPECT_EQ(nullptr, list.GetError(-3000));
    EXPECT_EQ(nullptr, list.GetError(-4000));
    EXPECT_EQ(-2002, list.SetModuleErrorCallback(CallbackText, -3500, -4500));
    EXPECT_EQ(-2002, list.SetModuleErrorCallback(CallbackText, -5000, -4000));
    EXPECT_EQ(0, list.SetModuleErrorCallback(nullptr, -3000, -4000));
    EXPECT_EQ(-2002, list.SetModuleErrorCallback(nullptr, -3000, -4000));
    EXPECT_EQ(nullptr, list.GetError(-3500));
}

TEST(Hooks, DefaultConfigAndConsoleQueries) {
    EXPECT_EQ(nullptr, DefaultConfig(TN_DEFAULT_CONFIG_QUERY));
    EXPECT_EQ(nullptr, DefaultConfig(nullptr));
    EXPECT_EQ(nullptr, Console(nullptr));
    EXPECT_EQ(nullptr, GetConsole());
}

}  // namespace
