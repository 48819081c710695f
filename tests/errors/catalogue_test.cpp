// TnError and TnLoginError: the order of sources, the output forms and the buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "diag/messages.h"
#include "mvbasics.h"

namespace {

const char kQueryText[] =
    "To get the OQL-Errors, use GetOqlErrMsg(...) at one of the OQL-Interface-Classes";

// Registers a module error callback for the open range (lower, upper) while in scope.
class ScopedCallback {
  public:
    ScopedCallback(TnModuleErrorCallback callback, int32_t upper, int32_t lower)
        : upper_(upper), lower_(lower) {
        EXPECT_EQ(0, TnModuleErrorCallbackList::GetInstance().SetModuleErrorCallback(callback,
                                                                                     upper, lower));
    }
    ~ScopedCallback() {
        EXPECT_EQ(0, TnModuleErrorCallbackList::GetInstance().SetModuleErrorCallback(
                         nullptr, upper_, lower_));
    }

  private:
    int32_t upper_, lower_;
};

const char* ModuleText(int32_t) {
    return "module text";
}
// Covers odd codes only; even codes are left to the table.
const char* OddCodesOnly(int32_t code) {
    return code % 2 != 0 ? "odd from module" : nullptr;
}

std::string g_longText;
const char* LongText(int32_t) {
    return g_longText.c_str();
}

TEST(TnError, CodeZero) {
    char buffer[64];
    EXPECT_EQ(buffer, TnError(buffer, nullptr, 0, 0));
    EXPECT_STREQ("0", buffer);
    EXPECT_STREQ("Open : ok", TnError(buffer, "Open", 0, 0));
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_STREQ("ok", TnError(buffer, "Open", 0, 1));
    EXPECT_STREQ("ok", TnError(nullptr, nullptr, 0, 1));
    for (char c : buffer) ASSERT_EQ('x', c);
    // Zero is never offered to a callback.
    ScopedCallback cb(ModuleText, 10, -10);
    EXPECT_STREQ("ok", TnError(buffer, nullptr, 0, 1));
}

TEST(TnError, FallbackTexts) {
    char buffer[64];
    EXPECT_STREQ("count", TnError(buffer, nullptr, 500, 0));
    EXPECT_STREQ("count", TnError(buffer, nullptr, 1, 1));
    EXPECT_STREQ("count", TnError(buffer, nullptr, 999, 1));
    for (int code : {1000, -1, INT32_MAX, INT32_MIN}) {
        EXPECT_STREQ("unknown error", TnError(buffer, nullptr, code, 0)) << code;
    }
    EXPECT_STREQ("P : 1000 -> unknown error", TnError(buffer, "P", 1000, 0));
    EXPECT_STREQ("P : -2147483648 -> unknown error", TnError(buffer, "P", INT32_MIN, 0));
    EXPECT_STREQ(" : 7 -> count", TnError(buffer, "", 7, 0));
}

TEST(TnError, TableTextWithPrefix) {
    char buffer[128];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(buffer, TnError(buffer, "Open", -2008, 0));
    EXPECT_STREQ("Open : -2008 -> database is not opened", buffer);
    const size_t end = std::strlen(buffer) + 1;
    for (size_t i = end; i < sizeof(buffer); ++i) ASSERT_EQ('x', buffer[i]) << i;
    EXPECT_STREQ("database is not opened", TnError(buffer, nullptr, -2008, 0));
    // textOnly hands out the table's own constant.
    EXPECT_EQ(mvdiag::FindMessage(-2008), TnError(buffer, "Open", -2008, 1));
}

TEST(TnError, QueryLayerRangeIsAnsweredBeforeCallbacks) {
    ScopedCallback cb(ModuleText, -2900, -3200);
    for (int code : {-3099, -3050, -3001, 3001, 3002, 3003}) {
        EXPECT_STREQ(kQueryText, TnError(nullptr, nullptr, code, 1)) << code;
    }
    for (int code : {-3100, -3000, -3199, -2901}) {
        EXPECT_STREQ("module text", TnError(nullptr, nullptr, code, 1)) << code;
    }
    // Bounds of the callback range are excluded.
    EXPECT_STREQ("unknown error", TnError(nullptr, nullptr, -3200, 1));
    EXPECT_STREQ("unknown error", TnError(nullptr, nullptr, 3000, 1));
    EXPECT_STREQ("unknown error", TnError(nullptr, nullptr, 3004, 1));
}

TEST(TnError, CallbackComesBeforeTheTable) {
    ScopedCallback cb(OddCodesOnly, -2000, -2020);
    char buffer[128];
    // -2009 and -2007 are table codes; the callback overrides them.
    ASSERT_NE(nullptr, mvdiag::FindMessage(-2009));
    EXPECT_STREQ("odd from module", TnError(buffer, nullptr, -2009, 0));
    EXPECT_STREQ("M : -2007 -> odd from module", TnError(buffer, "M", -2007, 0));
    // A null answer falls through to the table.
    EXPECT_STREQ("Open : -2008 -> database is not opened", TnError(buffer, "Open", -2008, 0));
    // And to the fallbacks: codes 1..999 are outside this callback's range anyway.
    EXPECT_STREQ("count", TnError(buffer, nullptr, 12, 0));
}

TEST(TnError, StaticBufferIsReusedAndOwnedByTnError) {
    const char* a = TnError(nullptr, "A", -1, 0);
    EXPECT_STREQ("A : -1 -> unknown error", a);
    const char* login = TnLoginError(nullptr, "L", 0, 0);
    EXPECT_NE(a, login);
    EXPECT_STREQ("A : -1 -> unknown error", a);
    EXPECT_EQ(a, TnError(nullptr, nullptr, 0, 0));
    EXPECT_STREQ("0", a);
    EXPECT_STREQ("L : 0 -> Login to Database", login);
}

TEST(TnError, PreviousResultAsPrefix) {
    const char* first = TnError(nullptr, "A", -1, 0);
    EXPECT_STREQ("A : -1 -> unknown error : 500 -> count", TnError(nullptr, first, 500, 0));
    char buffer[128];
    TnError(buffer, "B", 0, 0);
    EXPECT_STREQ("B : ok : 0 -> Login to Database", TnLoginError(buffer, buffer, 0, 0));
}

// The formatted line of a code, cut as the static buffer cuts it: prefix first.
std::string Expected(const std::string& prefix, bool hasPrefix, int code, const std::string& text,
                     bool bounded) {
    std::string tail = hasPrefix ? " : " + std::to_string(code) + " -> " + text : text;
    std::string head = hasPrefix ? prefix : "";
    if (bounded && head.size() + tail.size() > 255) {
        head.resize(tail.size() >= 255 ? 0 : 255 - tail.size());
        tail.resize(std::min<size_t>(tail.size(), 255));
    }
    return head + tail;
}

TEST(TnErrorBounds, LongPrefixIsCutToFitTheStaticBuffer) {
    const std::string tail = " : -2008 -> database is not opened";
    const size_t fit = 255 - tail.size();
    for (size_t length : {fit - 1, fit, fit + 1, fit + 2, size_t{255}, size_t{256}, size_t{5000}}) {
        SCOPED_TRACE(length);
        const std::string prefix(length, 'p');
        const char* out = TnError(nullptr, prefix.c_str(), -2008, 0);
        const size_t n = std::strlen(out);
        EXPECT_EQ(std::min<size_t>(length + tail.size(), 255), n);
        EXPECT_EQ(tail, std::string(out + n - tail.size()));
        EXPECT_EQ(std::string(n - tail.size(), 'p'), std::string(out, n - tail.size()));
    }
    const std::string prefix(300, 'q');
    const char* out = TnError(nullptr, prefix.c_str(), 0, 0);
    EXPECT_EQ(std::string(250, 'q') + " : ok", out);
    out = TnLoginError(nullptr, prefix.c_str(), -4, 0);
    EXPECT_EQ(Expected(prefix, true, -4, "Login failed, Error was: -4", true), out);
}

TEST(TnErrorBounds, LongCallbackTextIsCutAtTheEnd) {
    g_longText.assign(400, 'm');
    ScopedCallback cb(LongText, -20000, -20010);
    EXPECT_EQ(std::string(255, 'm'), TnError(nullptr, nullptr, -20005, 0));
    EXPECT_EQ(" : -20005 -> " + std::string(242, 'm'), TnError(nullptr, "pre", -20005, 0));
    // The caller's buffer gets the whole text.
    std::vector<char> buffer(512, 'x');
    TnError(buffer.data(), "pre", -20005, 0);
    EXPECT_EQ("pre : -20005 -> " + g_longText, buffer.data());
    EXPECT_EQ(g_longText.c_str(), TnError(nullptr, "pre", -20005, 1));
}

TEST(TnErrorBounds, CallerBufferIsWrittenInFullAndNoFurther) {
    const std::string prefix(1000, 'c');
    const std::string expected = prefix + " : -7026 -> The schema registry URL is not specified. ";
    std::vector<char> buffer(expected.size() + 1 + 32, 'x');
    EXPECT_EQ(buffer.data(), TnError(buffer.data(), prefix.c_str(), -7026, 0));
    EXPECT_EQ(expected, buffer.data());
    for (size_t i = expected.size() + 1; i < buffer.size(); ++i) ASSERT_EQ('x', buffer[i]) << i;
}

// Random codes, prefixes and buffers against a model of the output rules.
TEST(TnErrorBounds, RandomizedAgainstModel) {
    std::mt19937 rng(20261205);
    const mvdiag::MessageEntry* table = mvdiag::MessageTable();
    std::vector<char> buffer(1024);
    for (int round = 0; round < 3000; ++round) {
        int code;
        switch (rng() % 4) {
            case 0:
                code = table[rng() % mvdiag::MessageCount()].code;
                break;
            case 1:
                code = static_cast<int>(rng() % 2000) - 1000;
                break;
            case 2:
                code = static_cast<int>(rng() % 20000) - 10000;
                break;
            default:
                code = static_cast<int>(rng());
                break;
        }
        std::string text;
        if (code == 0) {
            text = "ok";
        } else if ((code >= -3099 && code <= -3001) || (code >= 3001 && code <= 3003)) {
            text = kQueryText;
        } else if (const char* t = mvdiag::FindMessage(code)) {
            text = t;
        } else {
            text = code >= 1 && code <= 999 ? "count" : "unknown error";
        }
        const bool hasPrefix = rng() % 4 != 0;
        const std::string prefix(rng() % 400, static_cast<char>('a' + rng() % 26));
        const char* p = hasPrefix ? prefix.c_str() : nullptr;
        SCOPED_TRACE(testing::Message() << "code " << code << " prefix " << prefix.size());

        ASSERT_EQ(text, TnError(buffer.data(), p, code, 1));
        std::string full = Expected(prefix, hasPrefix, code, text, false);
        std::string cut = Expected(prefix, hasPrefix, code, text, true);
        if (code == 0) {
            full = hasPrefix ? prefix + " : ok" : "0";
            cut = full.size() > 255 ? prefix.substr(0, 250) + " : ok" : full;
        }
        ASSERT_EQ(full, TnError(buffer.data(), p, code, 0));
        ASSERT_EQ(cut, TnError(nullptr, p, code, 0));
    }
}

TEST(TnLoginError, Texts) {
    char buffer[128];
    EXPECT_STREQ("Login : -4 -> Login failed, Error was: -4", TnLoginError(buffer, "Login", -4, 0));
    EXPECT_STREQ("Login to Database", TnLoginError(buffer, nullptr, 0, 0));
    EXPECT_STREQ("Login to Dictionary", TnLoginError(buffer, nullptr, 1, 1));
    EXPECT_STREQ("Login name is invalid", TnLoginError(nullptr, nullptr, -2307, 1));
    EXPECT_STREQ("Login name is not unique, please contact Admin",
                 TnLoginError(nullptr, nullptr, -2302, 1));
    EXPECT_STREQ("Password is invalid", TnLoginError(nullptr, nullptr, -2301, 1));
    EXPECT_STREQ("Login data inconsistent, please contact Admin",
                 TnLoginError(nullptr, nullptr, -2017, 1));
    EXPECT_STREQ("Login failed, Error was: -2147483648",
                 TnLoginError(nullptr, nullptr, INT32_MIN, 1));
    EXPECT_STREQ("X : 2 -> Login failed, Error was: 2", TnLoginError(nullptr, "X", 2, 0));
}

TEST(TnLoginError, IgnoresCallbacksAndTable) {
    ScopedCallback cb(ModuleText, -2000, -2100);
    EXPECT_STREQ("Login failed, Error was: -2008", TnLoginError(nullptr, nullptr, -2008, 1));
    EXPECT_STREQ("Login data inconsistent, please contact Admin",
                 TnLoginError(nullptr, nullptr, -2017, 1));
    EXPECT_STREQ("Login failed, Error was: -3050", TnLoginError(nullptr, nullptr, -3050, 1));
}

TEST(TnLoginError, ComposedTextOutlivesTheCall) {
    char buffer[64];
    std::memset(buffer, 'x', sizeof(buffer));
    const char* text = TnLoginError(buffer, nullptr, -4, 1);
    EXPECT_STREQ("Login failed, Error was: -4", text);
    for (char c : buffer) ASSERT_EQ('x', c);
    // Other calls, of either function and on other threads, leave it alone.
    TnError(nullptr, "P", -5, 0);
    TnLoginError(nullptr, "P", -2307, 0);
    std::thread([] { TnLoginError(nullptr, nullptr, -77, 1); }).join();
    EXPECT_STREQ("Login failed, Error was: -4", text);
}

TEST(TnLoginError, OwnBuffersAcrossThreads) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            char buffer[128];
            for (int i = 0; i < 2000; ++i) {
                const int code = -(t * 10000 + i + 3000);
                const std::string want = "Login failed, Error was: " + std::to_string(code);
                if (want != TnLoginError(buffer, nullptr, code, 1)) ++failures[t];
                if ("T : " + std::to_string(code) + " -> " + want !=
                    TnLoginError(buffer, "T", code, 0)) {
                    ++failures[t];
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int f : failures) EXPECT_EQ(0, f);
}

}  // namespace
