// Activation of the block as writer and reader, within this process, for the
// application name "Test" and this system's item table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "os/scratch_dir.h"
#include "prf_fixture.h"
#include "statistics.h"

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
    bool Logged(const std::string& text, const std::string& type) const {
        for (const std::string& line : EventLines()) {
            if (line.find(text) != std::string::npos &&
                line.find("\"type\":\"" + type + "\"") != std::string::npos)
                return true;
        }
        return false;
    }
    static PERF_OBJECT_TYPE Header(const PrfData* prf) {
        PERF_OBJECT_TYPE pot;
        std::memcpy(&pot, prf->m_pPrfData, sizeof pot);
        return pot;
    }
};

TEST_F(Activation, UnregisteredDisabledAndInconsistentRegistrations) {
    TableUnderTest table;
    ASSERT_TRUE(table.Construct(MerivanePrfItems()));
    EXPECT_EQ(table->Activate(true), PrfNotRegistered);
    EXPECT_EQ(table->Activate(false), PrfNotRegistered);

    WritePerformanceKey("Test", 1000, 1044, 1001, 1045, 1);
    EXPECT_EQ(table->Activate(true), PrfDisabled);
    EXPECT_EQ(table->Activate(false), PrfDisabled);

    WritePerformanceKey("Test", 1000, 1046, 1001, 1045);
    EXPECT_EQ(table->Activate(false), PrfFailed);
    EXPECT_TRUE(
        Logged("Merivane performance counter are inconsistent, please deregister and "
               "register again",
               "information"));
    EXPECT_EQ(table->m_pPrfData, nullptr);
    WritePerformanceKey("Test", 1000, 1044, 1001, 1047);
    EXPECT_EQ(table->Activate(false), PrfFailed);
    // The failed writer keeps its mutex: a retry finds this process's own.
    EXPECT_EQ(table->Activate(true), PrfFailed);
    WritePerformanceKey("Test", 1000, 1044, 1001, 1045);
    EXPECT_EQ(table->Activate(true), PrfOtherWriter);
}

TEST_F(Activation, ReaderNeedsAWriterAndSharesItsBlock) {
    WritePerformanceKey("Test", 1000, 1044, 1001, 1045);
    TableUnderTest reader;
    ASSERT_TRUE(reader.Construct(MerivanePrfItems()));
    EXPECT_EQ(reader->Activate(false), PrfFailed);  // no block yet
    {
        TableUnderTest writer;
        ASSERT_TRUE(writer.Construct(MerivanePrfItems()));
        ASSERT_EQ(writer->Activate(true), PrfActivated);
        EXPECT_EQ(writer->m_cbPrfData, 1128u);
        EXPECT_EQ(writer->m_dwFirstCounter, 1000u);
        EXPECT_EQ(writer->m_dwLastHelp, 1045u);
        const PERF_OBJECT_TYPE pot = Header(writer.Get());
        EXPECT_EQ(pot.ObjectNameTitleIndex, 1000u);
        EXPECT_EQ(pot.ObjectHelpTitleIndex, 1001u);
        EXPECT_EQ(pot.DefaultCounter, 3);
        *writer->GetCtr32Slot(108, 0) = 12;

        // A second writer object in this process meets the process's own mutex.
        PrfData* first = PrfData::sm_pPrfData;
        PrfData::sm_pPrfData = nullptr;
        {
            PrfData second(u"Test", MerivanePrfItems());
            EXPECT_EQ(second.Activate(true), PrfOtherWriter);
        }
        PrfData::sm_pPrfData = first;

        ASSERT_EQ(reader->Activate(false), PrfActivated);
        EXPECT_EQ(*reader->GetCtr32Slot(108, 0), 12u);
        EXPECT_EQ(std::memcmp(reader->m_pPrfData, writer->m_pPrfData, 1128), 0);
        AssertionRecorder rec;
        EXPECT_ANY_THROW(reader->Activate(false));  // activation is done once
        ASSERT_EQ(rec.Texts().size(), 1u);
        EXPECT_EQ(rec.Texts()[0], "m_pPrfData == NULL");
    }
    // The writer has gone; the block and its values stay for the next writer.
    TableUnderTest next;
    ASSERT_TRUE(next.Construct(MerivanePrfItems()));
    ASSERT_EQ(next->Activate(true), PrfActivated);
    EXPECT_EQ(*next->GetCtr32Slot(108, 0), 12u);
}

TEST_F(Activation, ABlockThatDoesNotMatchTheTableIsRebuilt) {
    WritePerformanceKey("Test", 1000, 1044, 1001, 1045);
    mvos::SharedMemory* shm = nullptr;
    bool existed = false;
    ASSERT_EQ(mvos::CreateSharedMemory("Global\\Test_Performance", 64, &shm, &existed), mvos::kOk);
    auto* view = static_cast<uint8_t*>(mvos::MapSharedMemory(shm, 64, true));
    ASSERT_NE(view, nullptr);
    std::memset(view, 0xAB, 64);
    mvos::UnmapSharedMemory(view, 64);
    mvos::CloseSharedMemory(shm);

    {
        TableUnderTest writer;
        ASSERT_TRUE(writer.Construct(MerivanePrfItems()));
        ASSERT_EQ(writer->Activate(true), PrfActivated);  // too small: resized and rebuilt
        const PERF_OBJECT_TYPE pot = Header(writer.Get());
        EXPECT_EQ(pot.TotalByteLength, 0u);
        EXPECT_EQ(pot.ObjectNameTitleIndex, 1000u);
        EXPECT_EQ(*writer->GetCtr32Slot(101, 0), 0u);
        *writer->GetCtr32Slot(101, 0) = 5;
        writer->m_pPrfData[12] = 0x10;  // a header damaged behind the writer's back
    }
    TableUnderTest next;
    ASSERT_TRUE(next.Construct(MerivanePrfItems()));
    ASSERT_EQ(next->Activate(true), PrfActivated);
    EXPECT_EQ(Header(next.Get()).ObjectNameTitleIndex, 1000u);
    EXPECT_EQ(*next->GetCtr32Slot(101, 0), 0u);
}

TEST_F(Activation, AnExistingLocalBlockIsUsedInsteadOfTheGlobalOne) {
    WritePerformanceKey("Test", 2000, 2044, 2001, 2045);
    mvos::SharedMemory* shm = nullptr;
    bool existed = false;
    ASSERT_EQ(mvos::CreateSharedMemory("Test_Performance", 1128, &shm, &existed), mvos::kOk);
    mvos::CloseSharedMemory(shm);
    TableUnderTest writer;
    ASSERT_TRUE(writer.Construct(MerivanePrfItems()));
    ASSERT_EQ(writer->Activate(true), PrfActivated);
    EXPECT_EQ(Header(writer.Get()).ObjectNameTitleIndex, 2000u);
    mvos::SharedMemory* global = nullptr;
    EXPECT_EQ(mvos::OpenSharedMemory("Global\\Test_Performance", false, &global),
              mvos::kFileNotFound);
    TableUnderTest reader;
    ASSERT_TRUE(reader.Construct(MerivanePrfItems()));
    ASSERT_EQ(reader->Activate(false), PrfActivated);
    EXPECT_EQ(Header(reader.Get()).ObjectNameTitleIndex, 2000u);
}

// Enable and its reports, in this process, through the process's own object.
class EnableReports : public mvtest::IsolatedTest {
  protected:
    void SetUp() override {
        m_saved = *Statistics();
        *Statistics() = TnStatistics{};
    }
    void TearDown() override { *Statistics() = m_saved; }
    size_t Count(const std::string& text, const std::string& type) const {
        size_t n = 0;
        for (const std::string& line : EventLines())
            n += line.find(text) != std::string::npos &&
                 line.find("\"type\":\"" + type + "\"") != std::string::npos;
        return n;
    }
    TnStatistics m_saved;
};

TEST_F(EnableReports, DisabledCountersWarnOnEveryCallAndStayDisabled) {
    Statistics()->Enable();  // not registered: nothing logged
    EXPECT_EQ(Statistics()->m_enabled, 0);
    EXPECT_TRUE(EventLines().empty());
    WritePerformanceKey("Merivane", 1000, 1044, 1001, 1045, 7);
    Statistics()->IncQueries();
    Statistics()->Enable();
    Statistics()->Enable();
    EXPECT_EQ(Statistics()->m_enabled, 0);
    EXPECT_EQ(Statistics()->m_Queries, 1);
    EXPECT_EQ(Count("Performance counters are disabled", "warning"), 2u);
}

TEST_F(EnableReports, AFailedActivationIsAnErrorAndItsRetryFindsTheOwnMutex) {
    // Inconsistent title indexes fail after the writer mutex was created. This
    // process keeps that mutex, so it must not be the namespace of other tests.
    mvtest::ScopedEnv ns("MERIVANE_IPC_NAMESPACE",
                         std::string(std::getenv("MERIVANE_IPC_NAMESPACE")) + "retry_");
    WritePerformanceKey("Merivane", 1000, 1046, 1001, 1045);
    Statistics()->Enable();
    EXPECT_EQ(Statistics()->m_enabled, 0);
    EXPECT_EQ(Count("An error occurs during activate performance counters", "error"), 1u);
    WritePerformanceKey("Merivane", 1000, 1044, 1001, 1045);
    Statistics()->Enable();
    EXPECT_EQ(Statistics()->m_enabled, 0);
    EXPECT_EQ(Count("The instance of Merivane performance counters already exist", "warning"), 1u);
    mvos::RemoveWriterMutex("Merivane_mt");
}

}  // namespace
