// The memory-check hook and the fault-injection hook, with a test configuration.
#include <gtest/gtest.h>

#include <string>

#include "frame.h"
#include "frame/map_config.h"
#include "frame/memcheck_internal.h"
#include "os/scratch_dir.h"

namespace {

using mvtest::MapConfig;
using mvtest::ScopedDefaultConfig;

TEST(TestHandler, FailsGrowthTheConfiguredNumberOfTimes) {
    MapConfig config;
    config.values["test/growErrorCounter"] = "2";
    ScopedDefaultConfig scoped(&config);
    TestHandlerReset();
    EXPECT_EQ(0, TestHandler(0, nullptr, nullptr));  // reads the configuration
    EXPECT_EQ(1, config.lookups);
    EXPECT_EQ(-313, TestHandler(1, nullptr, nullptr));
    EXPECT_EQ(0, TestHandler(2, nullptr, nullptr));
    EXPECT_EQ(-313, TestHandler(1, nullptr, nullptr));
    EXPECT_EQ(0, TestHandler(1, nullptr, nullptr));
    EXPECT_EQ(0, TestHandler(1, nullptr, nullptr));
    EXPECT_EQ(1, config.lookups);  // read once

    config.values["test/growErrorCounter"] = "1";
    EXPECT_EQ(0, TestHandlerReset());
    EXPECT_EQ(-313, TestHandler(1, nullptr, nullptr));
    EXPECT_EQ(0, TestHandler(1, nullptr, nullptr));
    TestHandlerReset();
}

TEST(TestHandler, WithoutConfigurationOrValueNothingFails) {
    ScopedDefaultConfig none(nullptr);
    TestHandlerReset();
    EXPECT_EQ(0, TestHandler(1, nullptr, nullptr));
    MapConfig empty;
    DefaultConfig(&empty);
    EXPECT_EQ(0, TestHandler(1, nullptr, nullptr));
    EXPECT_EQ(0, empty.lookups);  // the flag was already set by the first call
    TestHandlerReset();
    EXPECT_EQ(0, TestHandler(1, nullptr, nullptr));
    EXPECT_EQ(1, empty.lookups);
    TestHandlerReset();
}

class MemoryCheck : public ::testing::Test {
  protected:
    MemoryCheck() : m_debug("MERIVANE_DEBUG_OUTPUT", m_dir.File("debug.txt")) {
        mvb::frame::ForgetMemoryCheck();
    }
    ~MemoryCheck() override { mvb::frame::ForgetMemoryCheck(); }
    std::string DebugText() const { return mvtest::ReadFile(m_dir.File("debug.txt")); }

    mvtest::ScratchDir m_dir;
    mvtest::ScopedEnv m_debug;
    MapConfig m_config;
};

int g_tag = 0;

TEST_F(MemoryCheck, WithoutConfigurationNothingIsLoadedEver) {
    ScopedDefaultConfig none(nullptr);
    EXPECT_EQ(-1, TarnCheckMemory(nullptr, nullptr, nullptr, nullptr));
    ScopedDefaultConfig later(&m_config);
    EXPECT_EQ(-1, TarnCheckMemory(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0, m_config.lookups);  // set up once, on the first call
    EXPECT_EQ("", DebugText());
}

TEST_F(MemoryCheck, SwitchedOffByTheFlag) {
    m_config.values["debug/memory"] = "0";
    ScopedDefaultConfig scoped(&m_config);
    EXPECT_EQ(-1, TarnCheckMemory(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(1, m_config.lookups);
    EXPECT_EQ("", DebugText());
}

TEST_F(MemoryCheck, DefaultLibraryDoesNotExistHere) {
    m_config.values["debug/memory"] = "1";
    ScopedDefaultConfig scoped(&m_config);
    EXPECT_EQ(-1, TarnCheckMemory(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(-1, TarnCheckMemory(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(3, m_config.lookups);  // flag, library, function: once
    EXPECT_EQ("unable to load the memory checking dll\n", DebugText());
}

TEST_F(MemoryCheck, ConfiguredFunctionGetsTheArgumentsUnchanged) {
    m_config.values["debug/memory"] = "1";
    m_config.values["debug/memory/library"] = MVT_MEMCHECK_MODULE;
    ScopedDefaultConfig scoped(&m_config);
    int a = 0;
    // The default function name, TarnMemoryCheck: answers the sum of its two integer
    // arguments and stores the fourth into the third.
    EXPECT_EQ(30, TarnCheckMemory(reinterpret_cast<void*>(10), reinterpret_cast<void*>(20), &a,
                                  reinterpret_cast<void*>(7)));
    EXPECT_EQ(7, a);
    EXPECT_EQ(3, TarnCheckMemory(reinterpret_cast<void*>(1), reinterpret_cast<void*>(2), &g_tag,
                                 nullptr));
    EXPECT_EQ("memory checking enabled\n", DebugText());
}

TEST_F(MemoryCheck, MissingFunctionIsReportedOnce) {
    m_config.values["debug/memory"] = "1";
    m_config.values["debug/memory/library"] = MVT_MEMCHECK_MODULE;
    m_config.values["debug/memory/function"] = "NoSuchCheck";
    ScopedDefaultConfig scoped(&m_config);
    EXPECT_EQ(-1, TarnCheckMemory(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(-1, TarnCheckMemory(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ("unable to get the memory check function\n", DebugText());
}

}  // namespace
