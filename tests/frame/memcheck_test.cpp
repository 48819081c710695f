// The fault-injection hook and the memory-check hook, driven by a test configuration.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "frame.h"
#include "frame/memcheck_internal.h"
#include "os/os.h"
#include "support/map_config.h"
#include "support/scratch_dir.h"

namespace {

using mvtest::MapConfig;
using Values = MapConfig::Values;

TEST(TestHandler, FailsGrowthTheConfiguredNumberOfTimes) {
    {
        MapConfig config(Values{{"test/growErrorCounter", "2"}});
        TestHandlerReset();
        EXPECT_EQ(0, TestHandler(0, nullptr, nullptr));  // not a growth: counter kept
        EXPECT_EQ(-313, TestHandler(1, nullptr, nullptr));
        EXPECT_EQ(0, TestHandler(2, nullptr, nullptr));
        EXPECT_EQ(-313, TestHandler(1, nullptr, nullptr));
        EXPECT_EQ(0, TestHandler(1, nullptr, nullptr));
        EXPECT_EQ(1, config.lookups);  // read once

        config.values["test/growErrorCounter"] = "1";
        EXPECT_EQ(0, TestHandlerReset());  // the next call reads again
        EXPECT_EQ(-313, TestHandler(1, nullptr, nullptr));
        EXPECT_EQ(0, TestHandler(1, nullptr, nullptr));
    }
    // Without a configuration nothing fails, and the flag is set all the same.
    TestHandlerReset();
    EXPECT_EQ(0, TestHandler(1, nullptr, nullptr));
    MapConfig later(Values{{"test/growErrorCounter", "5"}});
    EXPECT_EQ(0, TestHandler(1, nullptr, nullptr));
    EXPECT_EQ(0, later.lookups);
    TestHandlerReset();
}

TEST(MemoryCheck, SetUpOnceFromTheConfiguration) {
    mvtest::ScratchDir dir;
    mvtest::ScopedEnv debug("MERIVANE_DEBUG_OUTPUT", dir.File("debug.txt"));
    const std::string module = MVT_MEMCHECK_MODULE;
    // The default library, "MSVCRT", is the C runtime on Windows (which has no check
    // function) and no library at all elsewhere.
    std::string crtName = std::string("MSVCRT") + mvos::ModuleSuffix();
    mvos::ModuleHandle crt = mvos::LoadModule(crtName.c_str());
    const char* defaultLibraryText = crt != nullptr ? "unable to get the memory check function\n"
                                                    : "unable to load the memory checking dll\n";
    if (crt != nullptr) mvos::UnloadModule(crt);
    struct Case {
        Values values;
        int result;  // of TarnCheckMemory(10, 20, &out, 7)
        int lookups;
        const char* debugText;
    } cases[] = {
        {{}, -1, 1, ""},                       // the flag is missing
        {{{"debug/memory", "0"}}, -1, 1, ""},  // switched off
        {{{"debug/memory", "1"}}, -1, 3, defaultLibraryText},
        {{{"debug/memory", "1"}, {"debug/memory/library", "NoSuchCheckLibrary"}},
         -1,
         3,
         "unable to load the memory checking dll\n"},
        // The default function, TarnMemoryCheck, adds its first two arguments and stores
        // the fourth into the third: the arguments pass unchanged.
        {{{"debug/memory", "1"}, {"debug/memory/library", module}},
         30,
         3,
         "memory checking enabled\n"},
        {{{"debug/memory", "1"},
          {"debug/memory/library", module},
          {"debug/memory/function", "NoSuchCheck"}},
         -1,
         3,
         "unable to get the memory check function\n"},
    };
    for (const Case& c : cases) {
        mvb::frame::ForgetMemoryCheck();
        std::remove(dir.File("debug.txt").c_str());
        MapConfig config(c.values);
        for (int call = 0; call < 2; ++call) {
            int out = 0;
            EXPECT_EQ(c.result,
                      TarnCheckMemory(reinterpret_cast<void*>(10), reinterpret_cast<void*>(20),
                                      &out, reinterpret_cast<void*>(7)));
            EXPECT_EQ(c.result == -1 ? 0 : 7, out);
        }
        EXPECT_EQ(c.lookups, config.lookups);  // on the first call only
        EXPECT_EQ(c.debugText, mvtest::ReadFile(dir.File("debug.txt")));
    }
    // Without a default configuration nothing is set up, now or later.
    mvb::frame::ForgetMemoryCheck();
    EXPECT_EQ(-1, TarnCheckMemory(nullptr, nullptr, nullptr, nullptr));
    MapConfig later(Values{{"debug/memory", "1"}, {"debug/memory/library", module}});
    EXPECT_EQ(-1, TarnCheckMemory(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0, later.lookups);
    mvb::frame::ForgetMemoryCheck();
}

}  // namespace
