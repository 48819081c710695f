// Activation of the block as writer and reader within this process ("Test" objects
// over this system's item table), and the reports of Enable.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "support/scratch_dir.h"
#include "prf_fixture.h"

namespace {

using prftest::AssertionRecorder;
using prftest::TableUnderTest;
using prftest::WritePerformanceKey;

class Activation : public mvtest::IsolatedTest {
  protected:
    void TearDown() override {
        mvos::RemoveSharedMemory("Global\\Test_Performance");
        mvos::RemoveSharedMemory("Test_Performance");
    }
    // Events of the given type whose line holds the text.
    size_t Logged(const std::string& text, const std::string& type) const {
        size_t n = 0;
        for (const std::string& line : EventLines())
            n += line.find(text) != std::string::npos &&
                 line.find("\"type\":\"" + type + "\"") != std::string::npos;
        return n;
    }
    // A "Test" object over this system's table, activated with the given result.
    static void Activated(TableUnderTest& table, bool writer, int expected = PrfActivated) {
        ASSERT_TRUE(table.Construct(MerivanePrfItems()));
        ASSERT_EQ(table->Activate(writer), expected);
    }
    static uint32_t TitleIndex(TableUnderTest& table) {
        return prftest::At<PERF_OBJECT_TYPE>(table->m_pPrfData).ObjectNameTitleIndex;
    }
    prftest::FreshStatistics m_fresh;
};

TEST_F(Activation, UnregisteredDisabledAndInconsistentRegistrations) {
    TableUnderTest table;
    Activated(table, true, PrfNotRegistered);
    EXPECT_EQ(table->Activate(false), PrfNotRegistered);
    WritePerformanceKey("Test", 1000, 1044, 1001, 1045, 1);
    EXPECT_EQ(table->Activate(true), PrfDisabled);
    EXPECT_EQ(table->Activate(false), PrfDisabled);

    WritePerformanceKey("Test", 1000, 1046, 1001, 1045);
    EXPECT_EQ(table->Activate(false), PrfFailed);
    EXPECT_EQ(Logged("Merivane performance counter are inconsistent, please deregister and "
                     "register again",
                     "information"),
              1u);
    EXPECT_EQ(table->m_pPrfData, nullptr);
    WritePerformanceKey("Test", 1000, 1044, 1001, 1047);
    EXPECT_EQ(table->Activate(false), PrfFailed);
    // The failed writer keeps its mutex: a retry finds this process's own.
    EXPECT_EQ(table->Activate(true), PrfFailed);
    WritePerformanceKey("Test", 1000, 1044, 1001, 1045);
    EXPECT_EQ(table->Activate(true), PrfOtherWriter);
}

TEST_F(Activation, ABlockThatDoesNotMatchTheTableIsRebuilt) {
    WritePerformanceKey("Test", 1000, 1044, 1001, 1045);
    mvos::SharedMemory* shm = nullptr;
    bool existed = false;
    ASSERT_EQ(mvos::CreateSharedMemory("Global\\Test_Performance", 64, &shm, &existed), mvos::kOk);
    auto* view = static_cast<uint8_t*>(mvos::MapSharedMemory(shm, 64, true));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(mvos::MapSharedMemory(shm, 65, false), nullptr);  // beyond the block
    std::memset(view, 0xAB, 64);
    mvos::UnmapSharedMemory(view, 64);
    mvos::CloseSharedMemory(shm);
    for (int round = 0; round < 2; ++round) {
        // Round 0: too small, resized. Round 1: a header damaged behind the writer's back.
        TableUnderTest writer;
        Activated(writer, true);
        EXPECT_EQ(TitleIndex(writer), 1000u);
        EXPECT_EQ(*writer->GetCtr32Slot(101, 0), 0u);
        *writer->GetCtr32Slot(101, 0) = 5;
        writer->m_pPrfData[12] = 0x10;
    }
}

// An existing local block is used rather than creating the global one; readers share
// it, and it outlives its writer. Blocks are readable by every account.
TEST_F(Activation, ReadersShareTheWritersBlockWhichOutlivesIt) {
    const mode_t savedMask = umask(077);
    mvos::SharedMemory* shm = nullptr;
    bool existed = false;
    ASSERT_EQ(mvos::CreateSharedMemory("Test_Performance", 1128, &shm, &existed), mvos::kOk);
    umask(savedMask);
    mvos::CloseSharedMemory(shm);
    struct stat st;
    const std::string path =
        std::string("/dev/shm/") + std::getenv("MERIVANE_IPC_NAMESPACE") + "Test_Performance";
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    WritePerformanceKey("Test", 2000, 2044, 2001, 2045);
    TableUnderTest reader;
    ASSERT_TRUE(reader.Construct(MerivanePrfItems()));
    {
        TableUnderTest writer;
        Activated(writer, true);
        EXPECT_EQ(writer->m_cbPrfData, 1128u);
        EXPECT_EQ(TitleIndex(writer), 2000u);
        EXPECT_EQ(mvos::OpenSharedMemory("Global\\Test_Performance", false, &shm),
                  mvos::kFileNotFound);
        *writer->GetCtr32Slot(108, 0) = 12;
        ASSERT_EQ(reader->Activate(false), PrfActivated);
        EXPECT_EQ(std::memcmp(reader->m_pPrfData, writer->m_pPrfData, 1128), 0);
        AssertionRecorder rec;
        EXPECT_ANY_THROW(reader->Activate(false));  // activation is done once
        EXPECT_EQ(rec.Texts(), std::vector<std::string>{"m_pPrfData == NULL"});
    }
    TableUnderTest next;
    Activated(next, true);
    EXPECT_EQ(*next->GetCtr32Slot(108, 0), 12u);
}

TEST_F(Activation, EnableReportsWhyItCannotPublish) {
    // The failed activation below keeps its writer mutex for the life of this process,
    // so it must not be the namespace of other tests.
    mvtest::ScopedEnv ns("MERIVANE_IPC_NAMESPACE",
                         std::string(std::getenv("MERIVANE_IPC_NAMESPACE")) + "retry_");
    Statistics()->Enable();  // not registered: nothing logged
    EXPECT_TRUE(EventLines().empty());
    WritePerformanceKey("Merivane", 1000, 1044, 1001, 1045, 7);
    Statistics()->IncQueries();
    Statistics()->Enable();
    Statistics()->Enable();
    EXPECT_EQ(Statistics()->m_Queries, 1);
    EXPECT_EQ(Logged("Performance counters are disabled", "warning"), 2u);
    // Inconsistent title indexes fail after the writer mutex was created; the retry
    // finds this process's own mutex.
    WritePerformanceKey("Merivane", 1000, 1046, 1001, 1045);
    Statistics()->Enable();
    EXPECT_EQ(Logged("An error occurs during activate performance counters", "error"), 1u);
    WritePerformanceKey("Merivane", 1000, 1044, 1001, 1045);
    Statistics()->Enable();
    EXPECT_EQ(Statistics()->m_enabled, 0);
    EXPECT_EQ(Logged("The instance of Merivane performance counters already exist", "warning"), 1u);
    mvos::RemoveWriterMutex("Merivane_mt");
}

}  // namespace
