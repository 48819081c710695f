// The event file on either backend: one JSON line per event with every field, UTC time
// stamps of chosen instants, valid UTF-8 whatever the bytes (against a reference
// decoder), and a folder never written.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "os/os.h"
#include "os/os_testing.h"
#include "support/scratch_dir.h"

namespace {

using namespace mvos;

constexpr uint64_t kUnitsPerSecond = 10000000;
constexpr uint64_t kUnixEpoch = 11644473600;  // seconds from 1601 to 1970

uint64_t g_now = 0;
uint64_t FrozenNow() {
    return g_now;
}

// The JSON string a reference decoder makes of bytes: a sequence counts when its lead
// byte, continuation bytes and code point (shortest form, no surrogate, at most
// U+10FFFF) all hold; every other byte becomes U+FFFD.
std::string ReferenceJson(const std::string& bytes) {
    std::string out = "\"";
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        size_t n = (c & 0x80) == 0      ? 1
                   : (c & 0xE0) == 0xC0 ? 2
                   : (c & 0xF0) == 0xE0 ? 3
                   : (c & 0xF8) == 0xF0 ? 4
                                        : 0;
        uint32_t cp = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
        for (size_t k = 1; n != 0 && k < n; ++k) {
            if (i + k >= bytes.size() || (bytes[i + k] & 0xC0) != 0x80) {
                n = 0;
            } else {
                cp = cp << 6 | (bytes[i + k] & 0x3F);
            }
        }
        const uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (n == 0 || cp < shortest[n] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n' || c == '\r' || c == '\t') {
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out.append(bytes, i, n);
        }
        i += n;
    }
    return out + "\"";
}

class JsonEventFile : public mvtest::IsolatedTest {
  protected:
    JsonEventFile() : m_clock(&ClockTable::systemTime, FrozenNow) {}
    ScopedClock<uint64_t (*)()> m_clock;
};

TEST_F(JsonEventFile, OneLinePerEventWithEveryFieldAndTheUtcTime) {
    struct {
        uint64_t instant;
        const char* stamp;
    } const instants[] = {
        {0, "1601-01-01T00:00:00.000Z"},
        {kUnixEpoch * kUnitsPerSecond - 1, "1969-12-31T23:59:59.999Z"},
        {(kUnixEpoch + 951827696) * kUnitsPerSecond + 7899999, "2000-02-29T12:34:56.789Z"},
        {(kUnixEpoch + 1709251199) * kUnitsPerSecond + 9999999, "2024-02-29T23:59:59.999Z"},
        {(kUnixEpoch + 4107542400) * kUnitsPerSecond, "2100-03-01T00:00:00.000Z"},
    };
    EventSourceHandle source = RegisterEventSource("Merivane Runtime System 12 (100)");
    ASSERT_NE(nullptr, source);
    const char* strings[] = {"one", "two \"quoted\"", "tab\there"};
    for (const auto& at : instants) {
        g_now = at.instant;
        ASSERT_TRUE(
            ReportEvent(source, EventType::kWarning, 7, 0xC0000004u, strings, 3, "%2 then %1%n%3"));
    }
    ASSERT_TRUE(ReportEvent(source, EventType::kSuccess, 0, 17, nullptr, 0, nullptr));
    DeregisterEventSource(source);

    const std::vector<std::string> lines = EventLines();
    ASSERT_EQ(std::size(instants) + 1, lines.size());
    const std::string pid = std::to_string(ProcessId());
    for (size_t i = 0; i < std::size(instants); ++i) {
        EXPECT_EQ(std::string("{\"time\":\"") + instants[i].stamp +
                      "\",\"source\":\"Merivane Runtime System 12 (100)\",\"type\":\"warning\","
                      "\"id\":3221225476,\"kind\":4,\"category\":7,\"pid\":" +
                      pid +
                      ",\"message\":\"two \\\"quoted\\\" then one\\ntab\\there\","
                      "\"strings\":[\"one\",\"two \\\"quoted\\\"\",\"tab\\there\"]}",
                  lines[i]);
    }
    EXPECT_EQ(
        "{\"time\":\"2100-03-01T00:00:00.000Z\",\"source\":\"Merivane Runtime System 12 "
        "(100)\",\"type\":\"success\",\"id\":17,\"kind\":17,\"category\":0,\"pid\":" +
            pid + ",\"message\":\"\",\"strings\":[]}",
        lines.back());
}

TEST_F(JsonEventFile, TextIsValidUtf8AsAReferenceDecoderSeesIt) {
    EventSourceHandle source = RegisterEventSource("Merivane");
    std::vector<std::string> cases = {"caf\xE9",         "caf\xC3\xA9 \xF0\x9F\x98\x80",
                                      "\xC0\xAF",        "\xED\xA0\x80",
                                      "\xEF\xBF\xBF",    "\xF4\x90\x80\x80",
                                      "end\xF0\x9F\x98", "\x7F\x01\"\\\t\xDF\xBF"};
    std::mt19937 random(5);
    for (int i = 0; i < 400; ++i) {
        std::string bytes;
        for (int n = random() % 10; n > 0; --n) {
            // Mostly lead and continuation bytes, so that valid sequences come up too.
            bytes +=
                static_cast<char>(random() % 4 == 0 ? 1 + random() % 127 : 0x80 + random() % 128);
        }
        cases.push_back(bytes);
    }
    for (const std::string& text : cases) {
        const char* strings[] = {text.c_str()};
        ASSERT_TRUE(ReportEvent(source, EventType::kError, 0, 1, strings, 1, "%1"));
    }
    DeregisterEventSource(source);
    const std::vector<std::string> lines = EventLines();
    ASSERT_EQ(cases.size(), lines.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string json = ReferenceJson(cases[i]);
        EXPECT_NE(std::string::npos,
                  lines[i].find(",\"message\":" + json + ",\"strings\":[" + json + "]}"))
            << i << ": " << lines[i];
    }
}

TEST_F(JsonEventFile, AFolderIsNeverWritten) {
    mvtest::ScopedEnv folder("MERIVANE_EVENT_LOG", m_dir.Path());
    EventSourceHandle source = RegisterEventSource("Merivane");
    const char* strings[] = {"into a folder"};
    EXPECT_TRUE(ReportEvent(source, EventType::kError, 0, 1, strings, 1, nullptr));
    DeregisterEventSource(source);
    EXPECT_FALSE(IsFile(m_dir.Path().c_str()));
    EXPECT_FALSE(IsFile(EventFile().c_str()));
}

}  // namespace
