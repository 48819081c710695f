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
        mvos::RemoveSharedMemory("Global\\Merivane_Performance");
        mvos::RemoveSharedMemory("Merivane_Performance");
        mvos::RemoveWriterMutex("Merivane_mt");
    }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new IsolatedNames);

}  // namespace
