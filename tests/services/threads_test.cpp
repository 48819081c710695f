// What may run concurrently among the services: registry reads and writes (the OS
// layer serialises them), the zone offset's first reading, and module loading.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "loader.h"
#include "registry.h"
#include "services/clockstate.h"
#include "support/scratch_dir.h"
#include "timeutil.h"

namespace {

constexpr int kThreads = 4;

void RunThreads(const std::function<void(int)>& body) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(body, t);
    for (auto& t : threads) t.join();
}

TEST(Threads, RegistryWritersAndReadersSeeWholeValues) {
    mvtest::ScratchDir dir;
    mvtest::ScopedEnv registry("MERIVANE_REGISTRY", dir.File("registry.db"));
    RunThreads([](int t) {
        const std::string own = "Own" + std::to_string(t);
        for (int i = 0; i < 20; ++i) {
            std::string text = std::to_string(t * 1000 + i);
            const char* ownKey[] = {"Threads", own.c_str(), nullptr};
            const char* sharedKey[] = {"Threads", "Shared", nullptr};
            int length = static_cast<int>(text.size());
            ASSERT_EQ(0, TnSetRegistryEntry(ownKey, text.data(), length));
            length = static_cast<int>(text.size());
            ASSERT_EQ(0, TnSetRegistryEntry(sharedKey, text.data(), length));
            char buffer[32];
            length = sizeof buffer;
            ASSERT_EQ(0, TnGetRegistryEntry(ownKey, buffer, length));
            ASSERT_EQ(text, std::string(buffer, length));
            length = sizeof buffer;
            if (TnGetRegistryEntry(sharedKey, buffer, length) == 0) {
                // Whatever writer came last, the value is one of theirs, whole.
                const int value = std::stoi(std::string(buffer, length));
                ASSERT_LT(value % 1000, 20);
            }
        }
    });
}

TEST(Threads, FirstZoneReadingsAgree) {
    mvb::services::ResetZoneCache();
    std::atomic<int> zones[kThreads];
    RunThreads([&](int t) { zones[t] = bksgettimezone(); });
    for (int t = 1; t < kThreads; ++t) EXPECT_EQ(zones[0].load(), zones[t].load());
}

TEST(Threads, ModulesLoadAndUnloadConcurrently) {
    const std::string module = std::string(MVB_TEST_MODULE_DIR) + "/mvtplain";
    RunThreads([&](int) {
        for (int i = 0; i < 20; ++i) {
            TnModuleHandle* handle = nullptr;
            ASSERT_EQ(0, TnDynamicLoader::LoadModule(module.c_str(), 0, handle));
            ASSERT_EQ(0, TnDynamicLoader::UnloadModule(handle));
            ASSERT_EQ(nullptr, handle);
        }
    });
}

}  // namespace
