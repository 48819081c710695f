// Allocation: the resize contract, the memory handler, the default handler's end and
// the runtime's new-handler bridge.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <vector>

#include "mvbasics.h"
#include "os/os_testing.h"
#include "support/scratch_dir.h"

namespace {

std::vector<uint32_t> g_handled;
int32_t g_answer = 0;
int32_t CountingHandler(uint32_t size) {
    g_handled.push_back(size);
    return g_answer;
}

class Resize : public mvtest::IsolatedTest {
  protected:
    void SetUp() override {
        g_handled.clear();
        g_answer = 0;
        m_previous = mmTnSetHandler(CountingHandler);
    }
    void TearDown() override { EXPECT_EQ(&CountingHandler, mmTnSetHandler(m_previous)); }
    TnMemoryHandler m_previous = nullptr;
};

TEST_F(Resize, SizeZeroFreesAndNullsAndNullGetsAFreshBlock) {
    unsigned char* block = nullptr;
    EXPECT_EQ(0, mmResize(&block, 0));
    EXPECT_EQ(nullptr, block);
    ASSERT_EQ(0, mmResize(&block, 10));
    std::memcpy(block, "0123456789", 10);
    ASSERT_EQ(0, mmResize(&block, 100000));
    EXPECT_EQ(0, std::memcmp(block, "0123456789", 10));
    ASSERT_EQ(0, mmResize(&block, 4));
    EXPECT_EQ(0, std::memcmp(block, "0123", 4));
    EXPECT_EQ(0, mmResize(&block, 0));
    EXPECT_EQ(nullptr, block);
    void* far = nullptr;
    ASSERT_EQ(0, mmFarResize(&far, 8));
    EXPECT_EQ(0, mmFarResize(&far, 0));
    EXPECT_EQ(nullptr, far);
    EXPECT_TRUE(g_handled.empty());
}

// A failed allocation calls the handler once with the size (its "try again" answer is
// not consulted) and leaves the caller's pointer null or the old block intact.
TEST_F(Resize, FailuresCallTheHandlerOnceAndKeepTheBlock) {
    unsigned char* block = nullptr;
    ASSERT_EQ(0, mmResize(&block, 16));
    std::memcpy(block, "keep me intact!", 16);
    unsigned char* before = block;
    g_answer = 1;
    {
        mvos::ScopedSyscall<void* (*)(void*, size_t)> fail(
            &mvos::SyscallTable::realloc, [](void*, size_t) -> void* { return nullptr; });
        EXPECT_EQ(-1, mmResize(&block, 1u << 20));
        EXPECT_EQ(before, block);
        void* far = block;
        EXPECT_EQ(-1, mmFarResize(&far, 12345));
        EXPECT_EQ(before, far);
    }
    EXPECT_STREQ("keep me intact!", reinterpret_cast<char*>(block));
    EXPECT_EQ(0, mmResize(&block, 0));
    {
        mvos::ScopedSyscall<void* (*)(size_t)> fail(&mvos::SyscallTable::malloc,
                                                    [](size_t) -> void* { return nullptr; });
        EXPECT_EQ(-1, mmResize(&block, 77));
        EXPECT_EQ(nullptr, block);
        void* far = nullptr;
        EXPECT_EQ(-1, mmFarResize(&far, 0xFFFFFFFFu));
        EXPECT_EQ(nullptr, far);
        EXPECT_EQ(0, mmResize(&block, 0));  // size 0 never allocates
    }
    EXPECT_EQ((std::vector<uint32_t>{1u << 20, 12345, 77, 0xFFFFFFFFu}), g_handled);
}

TEST_F(Resize, HandlerSwapAndTheRuntimesNewHandler) {
    g_answer = 5;
    EXPECT_EQ(5, TnCallMemoryHandler(9));
    EXPECT_EQ(5, TnNewHandlerBridge(10));
    // Null is never installed: it puts the default handler back.
    EXPECT_EQ(&CountingHandler, mmTnSetHandler(nullptr));
    EXPECT_EQ(&TnDefaultMemoryHandler, mmTnSetHandler(CountingHandler));

    std::new_handler original = std::get_new_handler();
    EXPECT_EQ(reinterpret_cast<void*>(original), TnSetOurNewHandler(nullptr));
    std::new_handler bridge = std::get_new_handler();
    ASSERT_NE(nullptr, bridge);
    g_answer = 1;
    bridge();  // a nonzero answer: the runtime tries again
    g_answer = 0;
    EXPECT_THROW(bridge(), std::bad_alloc);  // zero: the allocation fails
    EXPECT_EQ((std::vector<uint32_t>{9, 10, 0, 0}), g_handled);
    std::new_handler mine = [] { throw std::bad_alloc(); };  // given: installed as it is
    EXPECT_EQ(reinterpret_cast<void*>(bridge), TnSetOurNewHandler(reinterpret_cast<void*>(mine)));
    EXPECT_EQ(mine, std::set_new_handler(original));
}

// The default handler tells standard error and the system log, leaves the box to the
// message switch, and ends in the assertion exception.
TEST_F(Resize, DefaultHandlerReportsAndRaisesTheAssertion) {
    static int s_boxes = 0;
    TnMessageBoxPresenter old = TnSetMessageBoxPresenter([](const char*, unsigned, const char*) {
        ++s_boxes;
        return 1;
    });
    ::testing::internal::CaptureStderr();
    uint32_t code = 0;
    try {
        TnDefaultMemoryHandler(4096);
    } catch (const TnException& e) {
        code = e.Code();
    }
    std::string err = ::testing::internal::GetCapturedStderr();
    TnSetMessageBoxPresenter(old);
    EXPECT_EQ(TN_ASSERTION_EXCEPTION, code);
    EXPECT_EQ(0, s_boxes);  // message boxes are off
    EXPECT_EQ(
        "\nMerivane runs out of memory.\nTried to allocate 4096 bytes of memory.\n"
        "Assertion 'Out of memory. Aborting!' failed.\nFile 'src\\resize' \nLine 172 \n",
        err);
    auto lines = EventLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("\"kind\":10"));
    EXPECT_NE(std::string::npos, lines[0].find("Merivane runs out of memory.\\nTried to allocate "
                                               "4096 bytes of memory.\\n (Merivane"));
    EXPECT_NE(std::string::npos, lines[0].find("\\nAborted.\""));
    EXPECT_NE(std::string::npos, lines[1].find("\"kind\":4"));
}

}  // namespace
