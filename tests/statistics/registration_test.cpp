// Counter registration and the counter-text loader of the OS layer.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/scratch_dir.h"
#include "prf_fixture.h"

namespace {

using prftest::KeyExists;
using prftest::RegDword;
using prftest::RegText;
using prftest::Service;

const std::string kMerivaneKey = Service("Merivane");

// The counter text of a title index in the database ("" when there is none).
std::string Text(uint32_t index, bool help) {
    return RegText(std::string(mvos::kCounterTextKey) + (help ? "\\009\\Help" : "\\009\\Counter"),
                   std::to_string(index));
}

void CreateKey(const std::string& path) {
    mvos::RegCloseKey(prftest::CreateKey(path));
}

class Registration : public mvtest::IsolatedTest {};

TEST_F(Registration, RefusesToRunFromTheWrongState) {
    EXPECT_EQ(DeregisterStatistics(), -1);
    // No counter text file lies beside this test program: the half-made key goes.
    EXPECT_EQ(RegisterStatistics(), -3);
    EXPECT_FALSE(KeyExists(kMerivaneKey));
    EXPECT_EQ(DeregisterStatistics(), -1);
    // A key left without loaded texts cannot be deregistered.
    CreateKey(kMerivaneKey);
    EXPECT_EQ(RegisterStatistics(), -1);
    EXPECT_EQ(DeregisterStatistics(), -2);
    EXPECT_TRUE(KeyExists(kMerivaneKey));
}

class CounterTextLoader : public mvtest::IsolatedTest {
  protected:
    // Writes <driver>.ini and <driver>.h with `count` items into the scratch folder.
    std::string WriteFiles(const char* driver, int count, const std::string& extraText = "",
                           int oddOffset = -1) {
        const std::string ini = m_dir.File(std::string(driver) + ".ini");
        std::ofstream i(ini);
        i << "\xEF\xBB\xBF; test counters\n[info]\ndrivername=" << driver
          << "\nsymbolfile=" << driver << ".h\n\n[languages]\n009=English\n\n[text]\n";
        for (int k = 0; k < count; ++k) {
            i << "ITEM" << k << "_009_NAME=" << driver << " item " << k << "\r\n";
            i << "ITEM" << k << "_009_HELP = help of " << driver << " " << k << "\n";
        }
        i << extraText;
        std::ofstream h(m_dir.File(std::string(driver) + ".h"));
        for (int k = 0; k < count; ++k)
            h << "#define ITEM" << k << " " << (k == oddOffset ? 2 * k + 1 : 2 * k) << "\n";
        CreateKey(Service(driver));
        return "xx \"" + ini + "\"";
    }
};

TEST_F(CounterTextLoader, HandsOutIndexesAfterTheLastOnesInUse) {
    const std::string alpha = WriteFiles("Alpha", 2);
    const std::string beta = WriteFiles("Beta", 3);
    ASSERT_EQ(mvos::LoadPerfCounterTextStrings(alpha.c_str(), true), mvos::kOk);
    EXPECT_EQ(RegDword(Service("Alpha"), "First Counter"), 1000u);
    EXPECT_EQ(RegDword(Service("Alpha"), "Last Help"), 1003u);
    EXPECT_EQ(Text(1002, false), "Alpha item 1");
    EXPECT_EQ(Text(1003, true), "help of Alpha 1");
    EXPECT_EQ(mvos::LoadPerfCounterTextStrings(alpha.c_str(), true), mvos::kAlreadyExists);
    ASSERT_EQ(mvos::LoadPerfCounterTextStrings(beta.c_str(), false), mvos::kOk);
    EXPECT_EQ(RegDword(Service("Beta"), "First Counter"), 1004u);
    EXPECT_EQ(RegDword(Service("Beta"), "Last Help"), 1009u);

    // Unloading one in the middle keeps the top of the range where it is.
    ASSERT_EQ(mvos::UnloadPerfCounterTextStrings("xx Alpha", true), mvos::kOk);
    EXPECT_EQ(Text(1000, false), "");
    EXPECT_EQ(RegDword(Service("Alpha"), "First Counter"), 0xDEADu);
    EXPECT_EQ(RegDword(mvos::kCounterTextKey, "Last Counter"), 1008u);
    EXPECT_EQ(mvos::UnloadPerfCounterTextStrings("xx Alpha", true), mvos::kFileNotFound);
    // Unloading the top hands its range out again.
    ASSERT_EQ(mvos::UnloadPerfCounterTextStrings("xx Beta", true), mvos::kOk);
    EXPECT_EQ(RegDword(mvos::kCounterTextKey, "Last Help"), 1003u);
    ASSERT_EQ(mvos::LoadPerfCounterTextStrings(beta.c_str(), true), mvos::kOk);
    EXPECT_EQ(RegDword(Service("Beta"), "First Counter"), 1004u);
}

TEST_F(CounterTextLoader, RefusesMalformedFilesAndChangesNothing) {
    const std::string noSymbols = WriteFiles("NoSymbols", 1);
    std::remove(m_dir.File("NoSymbols.h").c_str());
    // A symbol file far longer than any counter text file is refused, not read to its end.
    const std::string huge = WriteFiles("Huge", 1);
    std::ofstream(m_dir.File("Huge.h")) << std::string(1 << 20, ';') << "\n#define ITEM 0\n";
    const std::string noKey = WriteFiles("NoKey", 1);
    ASSERT_EQ(mvos::RegDeleteKey(mvos::kLocalMachine, Service("NoKey").c_str()), mvos::kOk);
    const std::pair<std::string, int32_t> cases[] = {
        {"xx", mvos::kInvalidParameter},
        {"xx \"unterminated", mvos::kInvalidParameter},
        {"xx \"" + m_dir.File("none.ini") + "\"", mvos::kFileNotFound},
        {WriteFiles("Unknown", 2, "OTHER_009_NAME=x\n"), mvos::kInvalidData},
        {WriteFiles("Odd", 2, "", 1), mvos::kInvalidData},
        {WriteFiles("BadKey", 1, "ITEM0_NAME=x\n"), mvos::kInvalidData},
        {noSymbols, mvos::kFileNotFound},
        {huge, mvos::kInvalidData},
        {noKey, mvos::kFileNotFound},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mvos::LoadPerfCounterTextStrings(c.first.c_str(), true), c.second) << c.first;
    EXPECT_EQ(mvos::UnloadPerfCounterTextStrings("xx NoKey", true), mvos::kFileNotFound);
    EXPECT_EQ(RegDword(mvos::kCounterTextKey, "Last Counter"), 0xDEADu);
    EXPECT_EQ(Text(1000, false), "");
}

// Each malformed part of a counter text file refuses the whole file; nothing is written.
TEST_F(CounterTextLoader, RefusesEveryKindOfMalformedLine) {
    const std::string head = "[info]\ndrivername=Bad\nsymbolfile=Bad.h\n[languages]\n009=English\n";
    const std::string text = "[text]\nITEM_009_NAME=item\n";
    std::ofstream(m_dir.File("Bad.h")) << "#define ITEM 0\n";
    CreateKey(Service("Bad"));
    const std::pair<std::string, int32_t> files[] = {
        {head + text, mvos::kOk},  // the well-formed file, for reference (unloaded below)
        {"[info\n" + head + text, mvos::kInvalidData},
        {head + "[text]\nITEM_009_NAME item\n", mvos::kInvalidData},
        {"[info]\nsymbolfile=Bad.h\n[languages]\n009=English\n" + text, mvos::kInvalidData},
        {"[info]\ndrivername=Bad\n[languages]\n009=English\n" + text, mvos::kInvalidData},
        {"[info]\ndrivername=Bad\nsymbolfile=Bad.h\n" + text, mvos::kInvalidData},
        {head + "[text]\n", mvos::kInvalidData},
        {head + "[text]\nITEMNAME=x\n", mvos::kInvalidData},        // no language, no kind
        {head + "[text]\n_NAME=x\n", mvos::kInvalidData},           // nothing before the kind
        {head + "[text]\nITEM_009_TITLE=x\n", mvos::kInvalidData},  // neither NAME nor HELP
        {head + "[text]\nITEM__NAME=x\n", mvos::kInvalidData},      // empty language
        {head + "[text]\n_009_NAME=x\n", mvos::kInvalidData},       // empty symbol
        {head + "[other]\nno equals sign here\n" + text, mvos::kInvalidData},
    };
    const std::string ini = m_dir.File("Bad.ini");
    const std::string command = "xx \"" + ini + "\"";
    for (const auto& f : files) {
        std::ofstream(ini) << f.first;
        const uint32_t before = RegDword(mvos::kCounterTextKey, "Last Counter");
        EXPECT_EQ(mvos::LoadPerfCounterTextStrings(command.c_str(), true), f.second) << f.first;
        EXPECT_EQ(RegDword(mvos::kCounterTextKey, "Last Counter"),
                  f.second == mvos::kOk ? 1000u : before)
            << f.first;
        EXPECT_EQ(Text(1000, false), f.second == mvos::kOk ? "item" : "") << f.first;
        if (f.second == mvos::kOk) {
            ASSERT_EQ(mvos::UnloadPerfCounterTextStrings("xx Bad", true), mvos::kOk);
        }
    }
    // Offsets above 2^31 - 2 do not fit the indexes.
    std::ofstream(ini) << head << text;
    std::ofstream(m_dir.File("Bad.h")) << "#define ITEM 2147483648\n";
    EXPECT_EQ(mvos::LoadPerfCounterTextStrings(command.c_str(), true), mvos::kInvalidData);
    EXPECT_EQ(Text(1000, false), "");
}

TEST_F(CounterTextLoader, CommandLinesAndSymbolPaths) {
    // Tabs separate the program from its argument too; the symbol file may be absolute.
    const std::string ini = m_dir.File("Tabs.ini");
    std::ofstream(ini) << "[info]\ndrivername=Tabs\nsymbolfile=" << m_dir.File("elsewhere.h")
                       << "\n[languages]\n009=English\n[text]\nONE_009_NAME=one\n";
    std::ofstream(m_dir.File("elsewhere.h")) << "#define ONE 0\n";
    CreateKey(Service("Tabs"));
    EXPECT_EQ(mvos::LoadPerfCounterTextStrings(nullptr, true), mvos::kInvalidParameter);
    EXPECT_EQ(mvos::UnloadPerfCounterTextStrings(nullptr, true), mvos::kInvalidParameter);
    EXPECT_EQ(mvos::UnloadPerfCounterTextStrings(" \txx \t", true), mvos::kInvalidParameter);
    // A "Last Counter" of the wrong type is taken as absent: the fresh range.
    mvos::RegKey base = prftest::CreateKey(mvos::kCounterTextKey);
    ASSERT_EQ(mvos::RegSetValue(base, "Last Counter", mvos::kRegSz, "5000", 5), mvos::kOk);
    mvos::RegCloseKey(base);
    ASSERT_EQ(mvos::LoadPerfCounterTextStrings((" \txx\t\"" + ini + "\"").c_str(), true),
              mvos::kOk);
    EXPECT_EQ(RegDword(Service("Tabs"), "First Counter"), 1000u);
    EXPECT_EQ(Text(1000, false), "one");
    ASSERT_EQ(mvos::UnloadPerfCounterTextStrings("\txx\tTabs ", true), mvos::kOk);
    EXPECT_EQ(Text(1000, false), "");
}

// Unloading reads the range back from the driver's key: a range that is not one (no first
// index, last before first) is refused; the texts are found by their exact names.
TEST_F(CounterTextLoader, UnloadChecksTheRangeAndSkipsForeignNames) {
    const uint32_t ranges[][4] = {
        {0, 1000, 1001, 1001}, {1010, 1000, 1011, 1011}, {1000, 1000, 1001, 999}};
    for (const auto& r : ranges) {
        prftest::WritePerformanceKey("Range", r[0], r[1], r[2], r[3]);
        EXPECT_EQ(mvos::UnloadPerfCounterTextStrings("xx Range", true), mvos::kFileNotFound)
            << r[0];
    }
    EXPECT_EQ(RegDword(Service("Range"), "First Counter"), 1000u);  // left as it was

    // No database at all: the range goes from the driver's key.
    prftest::WritePerformanceKey("Range", 1000, 1000, 1001, 1001);
    EXPECT_EQ(mvos::UnloadPerfCounterTextStrings("xx Range", true), mvos::kOk);
    EXPECT_EQ(RegDword(Service("Range"), "First Counter"), 0xDEADu);

    // A language without help texts, and value names too long to be an index, stay.
    prftest::WritePerformanceKey("Range", 1000, 1002, 1001, 1003);
    mvos::RegKey counters =
        prftest::CreateKey(std::string(mvos::kCounterTextKey) + "\\007\\Counter");
    ASSERT_EQ(mvos::RegSetValue(counters, "1000", mvos::kRegSz, "eins", 5), mvos::kOk);
    ASSERT_EQ(mvos::RegSetValue(counters, "1000000000000000000000", mvos::kRegSz, "long", 5),
              mvos::kOk);
    mvos::RegCloseKey(counters);
    EXPECT_EQ(mvos::UnloadPerfCounterTextStrings("xx Range", true), mvos::kOk);
    const std::string german = std::string(mvos::kCounterTextKey) + "\\007\\Counter";
    EXPECT_EQ(RegText(german, "1000"), "");
    EXPECT_EQ(RegText(german, "1000000000000000000000"), "long");
}

// Offsets of a symbol header may reach 2^31: loading and unloading touch the texts the
// file has, not every index of the range (a billion registry calls).
TEST_F(CounterTextLoader, FarOffsetsAreLoadedAndUnloadedByTheirTexts) {
    const std::string ini = m_dir.File("Far.ini");
    std::ofstream(ini) << "[info]\ndrivername=Far\nsymbolfile=Far.h\n[languages]\n009=English\n"
                          "[text]\nNEAR_009_NAME=near\nFAR_009_NAME=far\nFAR_009_HELP=far help\n";
    std::ofstream(m_dir.File("Far.h")) << "#define NEAR 0\n#define FAR 2000000000\n";
    CreateKey(Service("Far"));
    const std::string command = "xx \"" + ini + "\"";
    ASSERT_EQ(mvos::LoadPerfCounterTextStrings(command.c_str(), true), mvos::kOk);
    EXPECT_EQ(Text(1000, false), "near");
    EXPECT_EQ(Text(2000001000u, false), "far");
    EXPECT_EQ(Text(2000001001u, true), "far help");
    EXPECT_EQ(RegDword(Service("Far"), "Last Counter"), 2000001000u);
    // A text outside the driver's range stays.
    mvos::RegKey other = prftest::CreateKey(std::string(mvos::kCounterTextKey) + "\\009\\Counter");
    ASSERT_EQ(mvos::RegSetValue(other, "2000001002", mvos::kRegSz, "other", 6), mvos::kOk);
    ASSERT_EQ(mvos::RegSetValue(other, "01000", mvos::kRegSz, "zero", 5), mvos::kOk);
    mvos::RegCloseKey(other);
    ASSERT_EQ(mvos::UnloadPerfCounterTextStrings("xx Far", true), mvos::kOk);
    EXPECT_EQ(Text(1000, false), "");
    EXPECT_EQ(Text(2000001000u, false), "");
    EXPECT_EQ(Text(2000001001u, true), "");
    EXPECT_EQ(Text(2000001002u, false), "other");
    EXPECT_EQ(RegText(std::string(mvos::kCounterTextKey) + "\\009\\Counter", "01000"), "zero");
    EXPECT_EQ(RegDword(mvos::kCounterTextKey, "Last Counter"), 998u);
}

// The shipped counter text file describes the item table, in table order.
TEST_F(CounterTextLoader, TheShippedFileNamesEveryItemOfTheTable) {
    std::string lib = MVB_LIBRARY_PATH;
    const std::string ini = lib.substr(0, lib.rfind('/') + 1) + "MerivanePerformanceCounters.ini";
    CreateKey(kMerivaneKey);
    ASSERT_EQ(mvos::LoadPerfCounterTextStrings(("xx \"" + ini + "\"").c_str(), true), mvos::kOk);
    const std::pair<const char*, uint32_t> range[] = {
        {"First Counter", 1000}, {"Last Counter", 1044}, {"First Help", 1001}, {"Last Help", 1045}};
    for (const auto& r : range) EXPECT_EQ(RegDword(kMerivaneKey, r.first), r.second) << r.first;
    const PrfItm* items = MerivanePrfItems();
    for (uint32_t k = 0; k < kMerivanePrfItemCount; ++k) {
        SCOPED_TRACE(k);
        const std::u16string name(items[k].pszName);
        const std::u16string help(items[k].pszHelp);
        EXPECT_EQ(Text(1000 + 2 * k, false), std::string(name.begin(), name.end()));
        EXPECT_EQ(Text(1001 + 2 * k, true), std::string(help.begin(), help.end()));
    }
}

}  // namespace
