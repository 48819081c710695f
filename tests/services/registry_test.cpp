#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "clock_fixture.h"
#include "in_child.h"
#include "mvbasics.h"
#include "os/os.h"
#include "os/os_testing.h"
#include "support/map_config.h"
#include "support/scratch_dir.h"

namespace {

// Every test works on a fresh registry database of its own (a process keeps its
// connection to a path open, so each test gets its own file).
class Registry : public mvtest::IsolatedTest {
  protected:
    static int Set(const char** path, const char* text) {
        int length = 1;
        return TnSetRegistryEntry(path, const_cast<char*>(text), length);
    }
    // Reads into a buffer of `capacity` bytes prefilled with 'X'; returns the result, the
    // length and the whole buffer as "rc length buffer".
    static std::string Get(const char** path, int capacity) {
        char buffer[64];
        std::memset(buffer, 'X', sizeof buffer);
        int length = capacity;
        int rc = TnGetRegistryEntry(path, buffer, length);
        return std::to_string(rc) + " " + std::to_string(length) + " " +
               std::string(buffer, static_cast<size_t>(capacity));
    }
};

TEST_F(Registry, ValueDirectlyUnderTheRoot) {
    const char* path[] = {"TopValue", nullptr};
    ASSERT_EQ(0, Set(path, "abc"));
    EXPECT_EQ("0 3 abcXXXXXXXXXXXXX", Get(path, 16));  // no terminator written by the read
    mvos::RegKey key = nullptr;
    ASSERT_EQ(mvos::kOk, mvos::RegOpenKey(mvos::kLocalMachine, "SOFTWARE\\Ardwyn\\Merivane",
                                          mvos::kKeyQueryValue, &key));
    uint32_t type = 0, size = 0;
    EXPECT_EQ(mvos::kOk, mvos::RegQueryValue(key, "TopValue", &type, nullptr, &size));
    EXPECT_EQ(static_cast<uint32_t>(mvos::kRegSz), type);
    EXPECT_EQ(3u, size);
    mvos::RegCloseKey(key);
    EXPECT_EQ(0, TnDeleteRegistryEntry(path));
    EXPECT_EQ('-', Get(path, 16)[0]);
    EXPECT_EQ(-1, TnDeleteRegistryEntry(path));  // already gone
}

// The registry is offered one byte less than the length; a short buffer leaves the size
// needed in the length.
TEST_F(Registry, BufferOffersOneByteLessThanItsLength) {
    const char* three[] = {"Sizes", "three", nullptr};
    const char* four[] = {"Sizes", "four", nullptr};
    ASSERT_EQ(0, Set(three, "abc"));
    ASSERT_EQ(0, Set(four, "abcd"));
    EXPECT_EQ("0 3 abcX", Get(three, 4));
    EXPECT_EQ("-1 4 XXXX", Get(four, 4).replace(5, 4, "XXXX"));
    EXPECT_EQ("-1 3 X", Get(three, 1).replace(5, 1, "X"));
    EXPECT_EQ("0 4 abcdX", Get(four, 5));
}

TEST_F(Registry, ArgumentChecksComeFirst) {
    const char* path[] = {"Args", "value", nullptr};
    ASSERT_EQ(0, Set(path, "kept"));
    char buffer[8];
    int length = 8, zero = 0, negative = -5;
    char text[] = "new";
    const char* none[] = {nullptr};
    std::string longName(300, 'k');  // a key name beyond 260 characters: refused, not overflowed
    const char* tooLong[] = {longName.c_str(), "value", nullptr};
    const int results[] = {
        TnGetRegistryEntry(nullptr, buffer, length),
        TnGetRegistryEntry(path, nullptr, length),
        TnGetRegistryEntry(path, buffer, zero),
        TnGetRegistryEntry(path, buffer, negative),
        TnSetRegistryEntry(nullptr, text, length),
        TnSetRegistryEntry(path, nullptr, length),
        TnSetRegistryEntry(path, text, zero),
        TnSetRegistryEntry(none, text, length),
        TnSetRegistryEntry(tooLong, text, length),
        TnDeleteRegistryEntry(nullptr),
        TnDeleteRegistryEntry(tooLong),
    };
    for (int rc : results) EXPECT_EQ(-2530, rc);
    EXPECT_EQ("0 4 kept", Get(path, 4 + 1).substr(0, 8));  // untouched by the refused calls
    // The given length only has to be non-zero; the text decides the byte count.
    int huge = 1000;
    char longer[] = "replaced";
    EXPECT_EQ(0, TnSetRegistryEntry(path, longer, huge));
    EXPECT_EQ("0 8 replacedX", Get(path, 9));
}

TEST_F(Registry, MissingKeysCreatedOnWriteNeverDeleted) {
    const char* deep[] = {"One", "Two", "Three", "value", nullptr};
    const char* missing[] = {"Nowhere", "value", nullptr};
    EXPECT_EQ(-1, TnDeleteRegistryEntry(missing));
    EXPECT_EQ("-1 8 XXXXXXXX", Get(missing, 8));  // key not opened: length untouched
    ASSERT_EQ(0, Set(deep, "x"));
    ASSERT_EQ(0, Set(deep, "yz"));  // replaces
    EXPECT_EQ("0 2 yzXXXXXX", Get(deep, 8));
    EXPECT_EQ(0, TnDeleteRegistryEntry(deep));
    mvos::RegKey key = nullptr;
    EXPECT_EQ(mvos::kOk,
              mvos::RegOpenKey(mvos::kLocalMachine, "SOFTWARE\\Ardwyn\\Merivane\\One\\Two\\Three",
                               mvos::kKeyQueryValue, &key));  // the key stays
    if (key != nullptr) mvos::RegCloseKey(key);
}

// The setting is cached once per process: each case runs in a child of its own.
TEST(PriorityBoost, ReadOnceFromTheDefaultConfiguration) {
    const char* kFlag = "servers/tnserver/disableWin32PriorityBoost";
    EXPECT_EQ(0, InChild([&] {
                  mvtest::MapConfig config(mvtest::MapConfig::Values{{kFlag, "7"}});
                  if (GetDisableWin32PriorityBoost() != 1) return 1;
                  DefaultConfig(nullptr);
                  return GetDisableWin32PriorityBoost() == 1 && config.lookups == 1 ? 0 : 2;
              }));
    EXPECT_EQ(0, InChild([&] {
                  mvtest::MapConfig unset;  // not configured: the flag stays 0
                  if (GetDisableWin32PriorityBoost() != 0) return 1;
                  mvtest::MapConfig config(mvtest::MapConfig::Values{{kFlag, "1"}});  // too late
                  return GetDisableWin32PriorityBoost() == 0 && config.lookups == 0 ? 0 : 2;
              }));
    EXPECT_EQ(0, InChild([] { return DefaultConfig(nullptr), GetDisableWin32PriorityBoost(); }));
}

}  // namespace
