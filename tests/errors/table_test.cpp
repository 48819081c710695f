// The built-in message table: order, lookup of every row, shared texts, gaps.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "diag/messages.h"
#include "mvbasics.h"

namespace {

using mvdiag::FindMessage;
using mvdiag::MessageCount;
using mvdiag::MessageTable;

const char* Bare(int code) {
    return TnError(nullptr, nullptr, code, 1);
}

TEST(MessageTable, StrictlyAscendingWithPrintableTexts) {
    const mvdiag::MessageEntry* table = MessageTable();
    ASSERT_EQ(520u, MessageCount());
    EXPECT_EQ(-7310, table[0].code);
    EXPECT_EQ(9004, table[MessageCount() - 1].code);
    for (size_t i = 0; i < MessageCount(); ++i) {
        SCOPED_TRACE(table[i].code);
        if (i > 0) {
            EXPECT_LT(table[i - 1].code, table[i].code);
        }
        ASSERT_NE(nullptr, table[i].text);
        ASSERT_NE('\0', table[i].text[0]);
        EXPECT_NE(' ', table[i].text[0]);
        for (const char* p = table[i].text; *p != '\0'; ++p) {
            EXPECT_TRUE(*p >= 0x20 && *p < 0x7f) << "byte " << (p - table[i].text);
        }
        // Counts (1..999) and the query layer's codes never reach the table.
        EXPECT_FALSE(table[i].code >= 0 && table[i].code <= 999);
        EXPECT_FALSE(table[i].code >= -3099 && table[i].code <= -3001);
        EXPECT_FALSE(table[i].code >= 3001 && table[i].code <= 3003);
    }
}

TEST(MessageTable, EveryRowIsFoundByTheCatalogue) {
    const mvdiag::MessageEntry* table = MessageTable();
    for (size_t i = 0; i < MessageCount(); ++i) {
        SCOPED_TRACE(table[i].code);
        EXPECT_EQ(table[i].text, FindMessage(table[i].code));
        EXPECT_EQ(table[i].text, Bare(table[i].code));
        // Either neighbour that is not a row of its own must miss.
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
    EXPECT_EQ(nullptr, FindMessage(0));
}

TEST(MessageTable, SharedTextsAreShared) {
    const int pairs[][2] = {{-7013, -7012}, {-2621, -2620}, {-2527, -2526}, {-5156, 5107}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair[0]);
        ASSERT_NE(nullptr, FindMessage(pair[0]));
        ASSERT_NE(nullptr, FindMessage(pair[1]));
        EXPECT_STREQ(FindMessage(pair[0]), FindMessage(pair[1]));
    }
    EXPECT_STREQ("Verity: An argument was too large.", Bare(5107));
    // Elsewhere neighbours differ: a pasted row would show up here.
    std::set<std::string> texts;
    for (size_t i = 0; i < MessageCount(); ++i) texts.insert(MessageTable()[i].text);
    EXPECT_EQ(MessageCount() - 4, texts.size());
}

TEST(MessageTable, TextsKeepTheirExactForm) {
    const char* text = Bare(-7026);
    EXPECT_STREQ("The schema registry URL is not specified. ", text);
    EXPECT_EQ(' ', text[std::strlen(text) - 1]);
    EXPECT_STREQ("database is not opened", Bare(-2008));
    EXPECT_STREQ("Online Versioning was interrupted and cannot be resumed.", Bare(-7310));
    EXPECT_STREQ("There are no transactions needing recovery.", Bare(9004));
}

TEST(MessageTable, GapsBetweenNeighboursFallBack) {
    for (int code : {-7005, -7105, -7311, -7299, -7104}) {
        EXPECT_EQ(nullptr, FindMessage(code)) << code;
        EXPECT_STREQ("unknown error", Bare(code)) << code;
    }
    EXPECT_NE(nullptr, FindMessage(-7004));
    EXPECT_NE(nullptr, FindMessage(-7006));
    EXPECT_NE(nullptr, FindMessage(2017));
    EXPECT_NE(nullptr, FindMessage(2019));
    EXPECT_STREQ("unknown error", Bare(2018));
}

TEST(MessageTable, LibraryOwnCodes) {
    // These codes of this library have catalogue texts ...
    for (int code : {-2002, -2005, -2030, -2106, -2171, -2530, -2999, -5001, -5002, -5003, -5004}) {
        EXPECT_NE(nullptr, FindMessage(code)) << code;
    }
    // ... and these have none.
    std::set<int> own = {-1, -2, -3, -4, -313, -10001, -10002};
    for (int c = -508; c <= -501; ++c) own.insert(c);
    for (int c = -523; c <= -510; ++c) own.insert(c);
    for (int c = -12006; c <= -12001; ++c) own.insert(c);
    for (int code : own) EXPECT_STREQ("unknown error", Bare(code)) << code;
}

}  // namespace
