// Every run of the statistics tests gets its own names for shared memory and the
// writer mutex, and leaves none of them behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "os/os.h"
#include "test_platform.h"

namespace {

class IsolatedNames : public ::testing::Environment {
  public:
    void SetUp() override {
        const std::string ns = "mvtest" + std::to_string(mvos::ProcessId()) + "_";
        mvtest::platform::SetEnv("MERIVANE_IPC_NAMESPACE", ns.c_str());
    }
    void TearDown() override {
        for (const char* app : {"Merivane", "Test"}) {
            const std::string name = app;
            mvos::RemoveSharedMemory(("Global\\" + name + "_Performance").c_str());
            mvos::RemoveSharedMemory((name + "_Performance").c_str());
            mvos::RemoveWriterMutex((name + "_mt").c_str());
        }
    }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new IsolatedNames);

}  // namespace
