// TnError and TnLoginError: the order of sources, the output forms and the buffers.
#include <gtest/gtest.h>

#include <algorithm>
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
struct ScopedCallback {
    ScopedCallback(TnModuleErrorCallback callback, int32_t upper, int32_t lower)
        : upper(upper), lower(lower) {
        EXPECT_EQ(0, TnModuleErrorCallbackList::GetInstance().SetModuleErrorCallback(callback,
                                                                                     upper, lower));
    }
    ~ScopedCallback() {
        TnModuleErrorCallbackList::GetInstance().SetModuleErrorCallback(nullptr, upper, lower);
    }
    int32_t upper, lower;
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

TEST(TnError, OrderOfSources) {
    {
        // One callback over -3199..3099: the query layer's codes and 0 never reach it.
        ScopedCallback cb(ModuleText, 3100, -3200);
        for (int code : {-3099, -3050, -3001, 3001, 3003})
            EXPECT_STREQ(kQueryText, TnError(nullptr, nullptr, code, 1)) << code;
        for (int code : {-3100, -3000, 3000, 3004, 500, -2008})
            EXPECT_STREQ("module text", TnError(nullptr, nullptr, code, 1)) << code;
        for (int code : {-3200, 3100})  // the bounds are excluded
            EXPECT_STREQ("unknown error", TnError(nullptr, nullptr, code, 1)) << code;
        EXPECT_STREQ("ok", TnError(nullptr, nullptr, 0, 1));
    }
    ScopedCallback cb(OddCodesOnly, -2000, -2020);
    char buffer[128];
    // -2007 is a table code; the callback overrides it. A null answer falls through.
    ASSERT_NE(nullptr, mvb::diag::FindMessage(-2007));
    EXPECT_STREQ("M : -2007 -> odd from module", TnError(buffer, "M", -2007, 0));
    EXPECT_STREQ("database is not opened", TnError(buffer, nullptr, -2008, 0));
}

TEST(TnError, StaticBuffersBelongToEachFunction) {
    const char* a = TnError(nullptr, "A", -1, 0);
    const char* login = TnLoginError(nullptr, "L", 0, 0);
    EXPECT_NE(a, login);
    EXPECT_STREQ("A : -1 -> unknown error", a);
    EXPECT_STREQ("L : 0 -> Login to Database", login);
    // An earlier result may be the next prefix, in the same buffer.
    EXPECT_EQ(a, TnError(nullptr, a, 500, 0));
    EXPECT_STREQ("A : -1 -> unknown error : 500 -> count", a);
    char buffer[128];
    TnError(buffer, "B", 0, 0);
    EXPECT_STREQ("B : ok : 0 -> Login to Database", TnLoginError(buffer, buffer, 0, 0));
}

// The formatted line of a code; bounded: cut as the static buffer cuts it, prefix first.
std::string Expected(const char* prefix, int code, const std::string& text, bool bounded) {
    std::string head = prefix != nullptr ? prefix : "";
    std::string tail = prefix != nullptr ? " : " + std::to_string(code) + " -> " + text : text;
    if (code == 0 && text == "ok") tail = prefix != nullptr ? " : ok" : "0";
    if (bounded && head.size() + tail.size() > 255) {
        head.resize(tail.size() >= 255 ? 0 : 255 - tail.size());
        tail.resize(std::min<size_t>(tail.size(), 255));
    }
    return head + tail;
}

TEST(TnErrorBounds, LongCallbackText) {
    g_longText.assign(400, 'm');
    ScopedCallback cb(LongText, -20000, -20010);
    EXPECT_EQ(std::string(255, 'm'), TnError(nullptr, nullptr, -20005, 0));
    EXPECT_EQ(" : -20005 -> " + std::string(242, 'm'), TnError(nullptr, "pre", -20005, 0));
    // The caller's buffer gets the whole text, and nothing beyond it.
    std::vector<char> buffer(512, 'x');
    TnError(buffer.data(), "pre", -20005, 0);
    EXPECT_EQ("pre : -20005 -> " + g_longText, buffer.data());
    for (size_t i = 417; i < buffer.size(); ++i) ASSERT_EQ('x', buffer[i]) << i;
}

// Random codes, prefixes and buffers against a model of the rules, through a caller's
// buffer and the static one.
TEST(TnErrorBounds, RandomizedAgainstModel) {
    std::mt19937 rng(20261205);
    const mvb::diag::MessageEntry* table = mvb::diag::MessageTable();
    std::vector<char> buffer(1024);
    for (int round = 0; round < 3000; ++round) {
        int code;
        switch (rng() % 4) {
            case 0:
                code = table[rng() % mvb::diag::MessageCount()].code;
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
        } else if (const char* t = mvb::diag::FindMessage(code)) {
            text = t;
        } else {
            text = code >= 1 && code <= 999 ? "count" : "unknown error";
        }
        const std::string prefix(rng() % 400, static_cast<char>('a' + rng() % 26));
        const char* p = rng() % 4 != 0 ? prefix.c_str() : nullptr;
        SCOPED_TRACE(testing::Message() << "code " << code << " prefix " << prefix.size());
        // textOnly leaves the caller's buffer alone; otherwise nothing goes past the zero.
        std::fill(buffer.begin(), buffer.end(), 'x');
        ASSERT_EQ(text, TnError(buffer.data(), p, code, 1));
        ASSERT_EQ(buffer.end(),
                  std::find_if(buffer.begin(), buffer.end(), [](char ch) { return ch != 'x'; }));
        const std::string full = Expected(p, code, text, false);
        ASSERT_EQ(full, TnError(buffer.data(), p, code, 0));
        ASSERT_EQ('x', buffer[full.size() + 1]);
        ASSERT_EQ(Expected(p, code, text, true), TnError(nullptr, p, code, 0));
    }
}

TEST(TnLoginError, Texts) {
    ScopedCallback cb(ModuleText, -2000, -3100);  // never asked
    const std::pair<int, const char*> texts[] = {
        {-2307, "Login name is invalid"},
        {-2302, "Login name is not unique, please contact Admin"},
        {-2301, "Password is invalid"},
        {-2017, "Login data inconsistent, please contact Admin"},
        {0, "Login to Database"},
        {1, "Login to Dictionary"},
        {-2008, "Login failed, Error was: -2008"},
        {-3050, "Login failed, Error was: -3050"},
        {INT32_MIN, "Login failed, Error was: -2147483648"},
    };
    for (const auto& t : texts) EXPECT_STREQ(t.second, TnLoginError(nullptr, nullptr, t.first, 1));
    char buffer[128];
    EXPECT_STREQ("Login : -4 -> Login failed, Error was: -4", TnLoginError(buffer, "Login", -4, 0));
    EXPECT_STREQ("Login to Database", TnLoginError(buffer, nullptr, 0, 0));
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

}  // namespace
