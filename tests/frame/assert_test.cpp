// TARN_assert: the fatal callback, the report, and the exception with its host handlers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mvbasics.h"
#include "os/scratch_dir.h"

namespace {

std::vector<std::string> g_order;
void FatalCallback(const char* expression, const char* file, int32_t line) {
    g_order.push_back(std::string("fatal:") + expression + "|" + file + "|" + std::to_string(line));
}
int ContinueHandler(uint32_t code, void* context) {
    g_order.push_back("handler");
    *static_cast<uint32_t*>(context) = code;
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
    }
    void TearDown() override { SetFatalErrorCallback(m_previous); }
    TnFatalErrorCallback m_previous = nullptr;
};

TEST_F(Assertion, ContinuingHandlerMakesItReturnOneAfterTheReport) {
    uint32_t code = 0;
    void* cookie = TnAddExceptionHandler(ContinueHandler, &code);
    ASSERT_NE(nullptr, cookie);
    ::testing::internal::CaptureStderr();
    int result = TARN_assert("x > 0", "src\\resize", 172);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(0, TnRemoveExceptionHandler(cookie));
    EXPECT_EQ(-1, TnRemoveExceptionHandler(cookie));

    EXPECT_EQ(1, result);
    EXPECT_EQ(TN_ASSERTION_EXCEPTION, code);
    ASSERT_EQ(2u, g_order.size());
    EXPECT_EQ("fatal:x > 0|src\\resize|172", g_order[0]);
    EXPECT_EQ("handler", g_order[1]);
    const std::string text = "Assertion 'x > 0' failed.\nFile 'src\\resize' \nLine 172 \n";
    EXPECT_EQ(text, err);

    auto lines = EventLines();
    ASSERT_EQ(1u, lines.size());
    const std::string& e = lines[0];
    EXPECT_NE(std::string::npos, e.find("\"type\":\"error\",\"id\":3221225476,\"kind\":4"));
    EXPECT_NE(std::string::npos,
              e.find("\"message\":\"ERROR: Assertion 'x > 0' failed.\\nFile 'src\\\\resize' "
                     "\\nLine 172 \\n (Merivane 12.0.2.155.0)\\nPID="))
        << e;
    EXPECT_NE(std::string::npos, e.find("\"source\":\"Merivane Runtime System 12 (100)\""));
}

TEST_F(Assertion, WithoutAContinuingHandlerTheExceptionArrives) {
    void* cookie = TnAddExceptionHandler(SearchHandler, nullptr);
    ::testing::internal::CaptureStderr();
    bool caught = false;
    try {
        TARN_assert("never", "basics\\src\\prfdata", -5);
    } catch (const TnException& e) {
        caught = true;
        EXPECT_EQ(TN_ASSERTION_EXCEPTION, e.Code());
    }
    ::testing::internal::GetCapturedStderr();
    TnRemoveExceptionHandler(cookie);
    EXPECT_TRUE(caught);
    EXPECT_EQ((std::vector<std::string>{"fatal:never|basics\\src\\prfdata|-5", "search"}), g_order);
    // The host's catch may be a plain std::exception one.
    ::testing::internal::CaptureStderr();
    EXPECT_THROW(TARN_assert("e", "f", 1), std::exception);
    ::testing::internal::GetCapturedStderr();
}

TEST_F(Assertion, LongTextsAreCutToTheBuffer) {
    SetFatalErrorCallback(nullptr);
    uint32_t code = 0;
    void* cookie = TnAddExceptionHandler(ContinueHandler, &code);
    std::string expression(3000, 'e');
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(1, TARN_assert(expression.c_str(), "f", 1));
    std::string err = ::testing::internal::GetCapturedStderr();
    TnRemoveExceptionHandler(cookie);
    EXPECT_EQ(1023u, err.size());
    EXPECT_EQ(0u, err.find("Assertion 'eee"));
}

}  // namespace
