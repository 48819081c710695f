// The built-in message table: order, lookup of every row, shared texts, gaps.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "diag/messages.h"
#include "mvbasics.h"

namespace {

using mvb::diag::FindMessage;
using mvb::diag::MessageCount;
using mvb::diag::MessageTable;

const char* Bare(int code) {
    return TnError(nullptr, nullptr, code, 1);
}

// Sorted and unique, and the lookup finds every row while its unlisted neighbours miss.
TEST(MessageTable, EveryRowIsFoundAndNeighboursMiss) {
    const mvb::diag::MessageEntry* table = MessageTable();
    ASSERT_EQ(520u, MessageCount());
    for (size_t i = 0; i < MessageCount(); ++i) {
        SCOPED_TRACE(table[i].code);
        if (i > 0) {
            ASSERT_LT(table[i - 1].code, table[i].code);
        }
        EXPECT_EQ(table[i].text, Bare(table[i].code));
        for (int32_t near : {table[i].code - 1, table[i].code + 1}) {
            const bool listed = (i > 0 && table[i - 1].code == near) ||
                                (i + 1 < MessageCount() && table[i + 1].code == near);
            if (!listed) {
                EXPECT_EQ(nullptr, FindMessage(near)) << near;
            }
        }
    }
    EXPECT_EQ(nullptr, FindMessage(INT32_MIN));
    EXPECT_EQ(nullptr, FindMessage(INT32_MAX));
}

TEST(MessageTable, SharedTextsAreShared) {
    const int pairs[][2] = {{-7013, -7012}, {-2621, -2620}, {-2527, -2526}, {-5156, 5107}};
    for (const auto& pair : pairs) {
        ASSERT_NE(nullptr, FindMessage(pair[0])) << pair[0];
        EXPECT_STREQ(FindMessage(pair[0]), FindMessage(pair[1])) << pair[0];
    }
    // Elsewhere texts differ: a pasted row would show up here.
    std::set<std::string> texts;
    for (size_t i = 0; i < MessageCount(); ++i) texts.insert(MessageTable()[i].text);
    EXPECT_EQ(MessageCount() - 4, texts.size());
}

TEST(MessageTable, ExactFormAndFallbacks) {
    EXPECT_STREQ("The schema registry URL is not specified. ", Bare(-7026));
    for (int code : {-7005, -7105, 2018}) {
        EXPECT_EQ(nullptr, FindMessage(code)) << code;
        EXPECT_STREQ("unknown error", Bare(code)) << code;
    }
    // Codes of this library: these have catalogue texts, the others none.
    for (int code : {-2002, -2005, -2030, -2106, -2171, -2530, -2999, -5001, -5004})
        EXPECT_NE(nullptr, FindMessage(code)) << code;
    for (int code : {-1, -4, -313, -501, -508, -510, -523, -10001, -10002, -12001, -12006})
        EXPECT_STREQ("unknown error", Bare(code)) << code;
}

}  // namespace
