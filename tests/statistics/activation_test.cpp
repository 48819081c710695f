// Activation of the block as writer and reader within this process ("Test" objects
// over this system's item table), and the reports of Enable.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "support/scratch_dir.h"
#include "prf_fixture.h"
#include "statistics/linux/shm_files.h"

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

// A block already under the name is never adopted: one that others may write, one of
// another account, a link, or one left by a dead writer is replaced by a new block.
TEST_F(Activation, ABlockLeftBehindOrPlantedIsReplaced) {
    WritePerformanceKey("Test", 1000, 1044, 1001, 1045);
    const std::string path = prftest::ShmPath("Global\\Test_Performance");
    const std::string target = m_dir.File("target");
    for (int plant = 0; plant < 4; ++plant) {
        if (plant == 0) prftest::PlantBlock(path, 0666, 0, 1128, 0x00);
        if (plant == 1) prftest::PlantBlock(path, 0644, 65534, 1128, 0xAB);
        if (plant == 2) {
            ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
        }
        struct stat planted = {};
        lstat(path.c_str(), &planted);
        TableUnderTest writer;
        Activated(writer, true);
        struct stat made;
        ASSERT_EQ(stat(path.c_str(), &made), 0) << plant;
        EXPECT_NE(made.st_ino, planted.st_ino) << plant;
        EXPECT_EQ(made.st_uid, geteuid());
        EXPECT_EQ(made.st_mode & 0777, 0644u);
        EXPECT_EQ(TitleIndex(writer), 1000u);
        for (CTRID id = 101; id <= 122; ++id) EXPECT_EQ(*writer->GetCtr32Slot(id, 0), 0u);
        // Round 3 leaves a block of its own behind, as a writer killed outright would.
        *writer->GetCtr32Slot(108, 0) = 5;
        if (plant == 2) {
            EXPECT_EQ(access(target.c_str(), F_OK), -1);  // nothing made where the link led
            writer->m_fWritable = false;                  // its name is not removed at the end
        }
    }
}

// A live block of this account means another writer; a local block is used rather than
// the global one. Readers share the writer's block while the writer lives; its name
// goes with the writer, readers keep their view, and the next writer starts afresh.
TEST_F(Activation, ReadersShareTheWritersBlockWhileItLives) {
    WritePerformanceKey("Test", 2000, 2044, 2001, 2045);
    mvos::SharedMemory* held = nullptr;
    ASSERT_EQ(mvos::CreateSharedMemory("Test_Performance", 1128, &held), mvos::kOk);
    {
        TableUnderTest second;
        Activated(second, true, PrfOtherWriter);
    }
    mvos::CloseSharedMemory(held);  // now a block left behind
    const std::string path = prftest::ShmPath("Test_Performance");
    struct stat st;
    TableUnderTest reader;
    ASSERT_TRUE(reader.Construct(MerivanePrfItems()));
    EXPECT_EQ(reader->Activate(false), PrfFailed);  // a dead block is no block
    {
        TableUnderTest writer;
        Activated(writer, true);
        EXPECT_EQ(writer->m_cbPrfData, 1128u);
        EXPECT_EQ(TitleIndex(writer), 2000u);
        EXPECT_EQ(access(prftest::ShmPath("Global\\Test_Performance").c_str(), F_OK), -1);
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0644u);
        *writer->GetCtr32Slot(108, 0) = 12;
        ASSERT_EQ(reader->Activate(false), PrfActivated);
        EXPECT_EQ(std::memcmp(reader->m_pPrfData, writer->m_pPrfData, 1128), 0);
        AssertionRecorder rec;
        EXPECT_ANY_THROW(reader->Activate(false));  // activation is done once
        EXPECT_EQ(rec.Texts(), std::vector<std::string>{"m_pPrfData == NULL"});
    }
    EXPECT_EQ(stat(path.c_str(), &st), -1);
    EXPECT_EQ(*reader->GetCtr32Slot(108, 0), 12u);
    TableUnderTest late;
    ASSERT_TRUE(late.Construct(MerivanePrfItems()));
    EXPECT_EQ(late->Activate(false), PrfFailed);
    TableUnderTest next;
    Activated(next, true);
    EXPECT_EQ(*next->GetCtr32Slot(108, 0), 0u);
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
