// TARN_assert: the fatal callback, the report, and the exception with its host handlers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mvbasics.h"
#include "os/os.h"
#include "support/scratch_dir.h"

namespace {

std::vector<std::string> g_order;
void FatalCallback(const char* expression, const char* file, int32_t line) {
    g_order.push_back(std::string("fatal:") + expression + "|" + file + "|" + std::to_string(line));
}
int ContinueHandler(uint32_t code, void*) {
    g_order.push_back("continue:" + std::to_string(code));
    return TN_EXCEPTION_CONTINUE_EXECUTION;
}
int SearchHandler(uint32_t, void*) {
    g_order.push_back("search");
    return TN_EXCEPTION_CONTINUE_SEARCH;
}

class Assertion : public mvtest::IsolatedTest {
  protected:
    void SetUp() override {
        g_order.clear();
        m_previous = SetFatalErrorCallback(FatalCallback);
        ::testing::internal::CaptureStderr();
    }
    void TearDown() override {
        SetFatalErrorCallback(m_previous);
        ::testing::internal::GetCapturedStderr();
    }
    TnFatalErrorCallback m_previous = nullptr;
};

TEST_F(Assertion, ContinuingHandlerMakesItReturnOneAfterTheReport) {
    void* cookie = TnAddExceptionHandler(ContinueHandler, nullptr);
    ASSERT_NE(nullptr, cookie);
    // A "%" in the texts is text, not a format.
    int result = TARN_assert("x%s > 0", "src\\resize", 172);
    std::string err = ::testing::internal::GetCapturedStderr();
    ::testing::internal::CaptureStderr();
    // A longer text is cut to the 1024-byte buffer.
    EXPECT_EQ(1, TARN_assert(std::string(3000, 'e').c_str(), "f", 1));
    std::string longErr = ::testing::internal::GetCapturedStderr();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(0, TnRemoveExceptionHandler(cookie));
    EXPECT_EQ(-1, TnRemoveExceptionHandler(cookie));
    EXPECT_EQ(1023u, longErr.size());
    EXPECT_EQ(0u, longErr.find("Assertion 'eee"));

    EXPECT_EQ(1, result);
    ASSERT_EQ(4u, g_order.size());
    EXPECT_EQ("fatal:x%s > 0|src\\resize|172", g_order[0]);  // the callback first,
    EXPECT_EQ("continue:3758096385", g_order[1]);            // then the exception 0xE0000001
    EXPECT_EQ("Assertion 'x%s > 0' failed.\nFile 'src\\resize' \nLine 172 \n", err);
    auto lines = EventLines();
    ASSERT_EQ(2u, lines.size());
    const std::string& e = lines[0];
    EXPECT_NE(std::string::npos, e.find("\"type\":\"error\",\"id\":3221225476,\"kind\":4"));
    EXPECT_NE(std::string::npos,
              e.find("\"message\":\"ERROR: Assertion 'x%s > 0' failed.\\nFile 'src\\\\resize' "
                     "\\nLine 172 \\n (Merivane 12.0.2.155.0)\\nPID="))
        << e;
    EXPECT_NE(std::string::npos, e.find("\"source\":\"Merivane Runtime System 12 (100)\""));
}

TEST_F(Assertion, WithoutAContinuingHandlerTheExceptionArrives) {
    void* cookie = TnAddExceptionHandler(SearchHandler, nullptr);
    bool caught = false;
    try {
        TARN_assert("never", "basics\\src\\prfdata", -5);
    } catch (const TnException& e) {
        caught = true;
        EXPECT_EQ(TN_ASSERTION_EXCEPTION, e.Code());
    }
    TnRemoveExceptionHandler(cookie);
    EXPECT_TRUE(caught);
    EXPECT_EQ((std::vector<std::string>{"fatal:never|basics\\src\\prfdata|-5", "search"}), g_order);
}

// Inside the OS layer's fault guard the assertion ends the guarded call with its code,
// unwinding (the guard's caller, not a host's catch, receives it); outside it the host
// gets TnException, as above.
TEST_F(Assertion, AFaultGuardReceivesTheAssertionCode) {
    struct Counted {
        int* alive;
        ~Counted() { --*alive; }
    };
    int alive = 1;
    const uint32_t code = mvos::Guarded([&] {
        Counted c{&alive};
        TARN_assert("guarded", "here", 1);
    });
    EXPECT_EQ(TN_ASSERTION_EXCEPTION, code);
    EXPECT_EQ(0, alive);  // the stack between guard and assertion was unwound
    EXPECT_THROW(TARN_assert("unguarded", "here", 2), TnException);
}

}  // namespace
