// The result codes of results.h: every name, its value, and the text TnError gives it.
//
// The header is read as text as well as compiled: the names and values found there must
// be exactly the ones listed here, and a code whose comment carries the [text] mark
// must get that text from TnError while every other code reads "unknown error".
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "mvbasics.h"

namespace {

#define ROW(name) \
    { #name, name }
const std::map<std::string, int32_t> kNamed = {
    ROW(ERR_TN_FAILED),
    ROW(ERR_TN_NO_MEMORY),
    ROW(ERR_TN_NOT_IMPLEMENTED),
    ROW(ERR_TN_SIMULATED_FAILURE),
    ROW(ERR_TN_PARAMETER_NOT_VALID),
    ROW(ERR_TN_INCOMPATIBLE_VERSION),
    ROW(ERR_TN_NO_STORAGE),
    ROW(ERR_TN_OUT_OF_RANGE),
    ROW(ERR_TN_ZERO_ELEMENT_SIZE),
    ROW(ERR_TN_OTHER_ARRAY_TYPE),
    ROW(ERR_TN_MERGE_NOT_SUPPORTED),
    ROW(ERR_TN_DUPLICATE_ELEMENT),
    ROW(ERR_TN_NO_COMPARE_FUNCTION),
    ROW(ERR_TN_END_OF_SET),
    ROW(ERR_TN_FILE_NO_MEMORY),
    ROW(ERR_TN_BEYOND_CAPACITY),
    ROW(ERR_TN_QUEUE_EMPTY),
    ROW(ERR_TN_QUEUE_NOT_GROWN),
    ROW(ERR_TN_QUEUE_TOO_SHORT),
    ROW(ERR_TN_QUEUE_SHORT_READ),
    ROW(ERR_TN_QUEUE_SHORT_WRITE),
    ROW(ERR_TN_QUEUE_NOT_SHRUNK),
    ROW(ERR_TN_NOT_FOUND),
    ROW(ERR_TN_NOT_PENDING),
    ROW(ERR_TN_DUPLICATE),
    ROW(ERR_TN_STALE),
    ROW(ERR_TN_NO_DAT),
    ROW(ERR_TN_DETACHED),
    ROW(ERR_TN_BEFORE_FIRST),
    ROW(ERR_TN_AFTER_LAST),
    ROW(ERR_TN_POSITION_LOST),
    ROW(ERR_TN_INTERNAL),
    ROW(ERR_TN_NO_TIME_ZONE),
    ROW(ERR_TN_INVALID_PARAMETER),
    ROW(ERR_TN_MODULE_HANDLE_INVALID),
    ROW(ERR_TN_COULD_NOT_LOAD_MODULE),
    ROW(ERR_TN_COULD_NOT_GET_ENTRY),
    ROW(ERR_TN_REGISTRATION_FAILED),
    ROW(ERR_TN_COUNTER_TEXTS_FAILED),
};
#undef ROW

struct Declared {
    int32_t value;
    std::string text;  // the [text] quote, or empty
};

// Enumerators of the header with the catalogue text quoted in the comment above them.
std::map<std::string, Declared> ReadHeader() {
    std::ifstream in(MVB_RESULTS_HEADER);
    std::stringstream whole;
    whole << in.rdbuf();
    const std::string header = whole.str();
    std::map<std::string, Declared> found;
    const std::regex enumerator(R"re(\n\s*(ERR_TN_[A-Z0-9_]+) = (-?[0-9]+),)re");
    const std::regex marked(R"re(\[text\] "([^"]*)")re");
    size_t commentStart = 0;
    for (auto it = std::sregex_iterator(header.begin(), header.end(), enumerator);
         it != std::sregex_iterator(); ++it) {
        const std::string comment = header.substr(commentStart, it->position() - commentStart);
        std::smatch text;
        Declared d{std::stoi((*it)[2]), ""};
        if (std::regex_search(comment, text, marked)) d.text = text[1];
        found[(*it)[1]] = d;
        commentStart = it->position() + it->length();
    }
    return found;
}

TEST(ResultCodes, HeaderNamesAreTheCompiledOnes) {
    const auto declared = ReadHeader();
    ASSERT_EQ(kNamed.size(), declared.size());
    std::map<int32_t, std::string> byValue;
    for (const auto& [name, value] : kNamed) {
        SCOPED_TRACE(name);
        ASSERT_EQ(1u, declared.count(name));
        EXPECT_EQ(value, declared.at(name).value);
        EXPECT_TRUE(byValue.emplace(value, name).second) << "value named twice: " << value;
        EXPECT_LT(value, 0);
    }
}

TEST(ResultCodes, CatalogueTextsAreTheMarkedOnes) {
    size_t withText = 0;
    for (const auto& [name, d] : ReadHeader()) {
        SCOPED_TRACE(name);
        const std::string expected = d.text.empty() ? "unknown error" : d.text;
        withText += d.text.empty() ? 0 : 1;
        EXPECT_EQ(expected, TnError(nullptr, nullptr, d.value, 1));
        char buffer[256];
        EXPECT_EQ(expected, TnError(buffer, nullptr, d.value, 1));
    }
    // -2002, -2005, -2030, -2099, -2106, -2171, -2530, -2999 and -5001 to -5004.
    EXPECT_EQ(12u, withText);
}

}  // namespace
