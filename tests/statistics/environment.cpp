// Every run of the statistics tests gets its own names for shared memory and the
// writer mutex, and leaves none of them behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "os/os.h"

namespace {

class IsolatedNames : public ::testing::Environment {
  public:
    void SetUp() override {
        const std::string ns = "mvtest" + std::to_string(getpid()) + "_";
        setenv("MERIVANE_IPC_NAMESPACE", ns.c_str(), 1);
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
