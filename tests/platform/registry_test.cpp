#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "clock_fixture.h"
#include "mvbasics.h"
#include "os/os.h"

namespace {

// Every test works on a fresh registry database of its own.
class Registry : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* dir = std::getenv("MERIVANE_TEST_BINARY_DIR");
        // A file of its own per test: a process keeps its connection to a path open.
        m_path = std::string(dir != nullptr ? dir : "/tmp") + "_registry_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".db";
        Remove();
        const char* old = std::getenv("MERIVANE_REGISTRY");
        if (old != nullptr) m_saved = old;
        setenv("MERIVANE_REGISTRY", m_path.c_str(), 1);
    }
    void TearDown() override {
        if (m_saved.empty())
            unsetenv("MERIVANE_REGISTRY");
        else
            setenv("MERIVANE_REGISTRY", m_saved.c_str(), 1);
        Remove();
    }
    void Remove() {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            std::remove((m_path + suffix).c_str());
    }
    static int Set(const char** path, const char* text) {
        int length = 1;
        return TnSetRegistryEntry(path, const_cast<char*>(text), length);
    }
    // Reads into a buffer of `capacity` bytes prefilled with 'X'.
    static int Get(const char** path, int capacity, std::string* text, int* length) {
        char buffer[64];
        std::memset(buffer, 'X', sizeof buffer);
        *length = capacity;
        int rc = TnGetRegistryEntry(path, buffer, *length);
        text->assign(buffer, static_cast<size_t>(capacity));
        return rc;
    }
    std::string m_path, m_saved;
};

TEST_F(Registry, ValueDirectlyUnderTheRoot) {
    const char* path[] = {"TopValue", nullptr};
    ASSERT_EQ(0, Set(path, "abc"));
    std::string text;
    int length;
    EXPECT_EQ(0, Get(path, 16, &text, &length));
    EXPECT_EQ(3, length);
    EXPECT_EQ("abcXXXXXXXXXXXXX", text);  // no terminator written by the read

    mvos::RegKey key = nullptr;
    ASSERT_EQ(mvos::kOk, mvos::RegOpenKey(mvos::kLocalMachine, "SOFTWARE\\Ardwyn\\Merivane",
                                          mvos::kKeyQueryValue, &key));
    uint32_t type = 0, size = 0;
    EXPECT_EQ(mvos::kOk, mvos::RegQueryValue(key, "TopValue", &type, nullptr, &size));
    EXPECT_EQ(static_cast<uint32_t>(mvos::kRegSz), type);
    EXPECT_EQ(3u, size);
    mvos::RegCloseKey(key);

    EXPECT_EQ(0, TnDeleteRegistryEntry(path));
    EXPECT_EQ(-1, Get(path, 16, &text, &length));
    EXPECT_EQ(-1, TnDeleteRegistryEntry(path));  // already gone
}

TEST_F(Registry, BufferOffersOneByteLessThanItsLength) {
    const char* three[] = {"Sizes", "three", nullptr};
    const char* four[] = {"Sizes", "four", nullptr};
    ASSERT_EQ(0, Set(three, "abc"));
    ASSERT_EQ(0, Set(four, "abcd"));
    std::string text;
    int length;
    EXPECT_EQ(0, Get(three, 4, &text, &length));
    EXPECT_EQ(3, length);
    EXPECT_EQ("abcX", text);
    EXPECT_EQ(-1, Get(four, 4, &text, &length));
    EXPECT_EQ(4, length);  // the size needed
    EXPECT_EQ(-1, Get(three, 1, &text, &length));
    EXPECT_EQ(3, length);
    EXPECT_EQ(0, Get(four, 5, &text, &length));
    EXPECT_EQ("abcdX", text);
}

TEST_F(Registry, ArgumentChecksComeFirst) {
    const char* path[] = {"Args", "value", nullptr};
    ASSERT_EQ(0, Set(path, "kept"));
    char buffer[8];
    int length = 8, zero = 0;
    char text[] = "new";
    EXPECT_EQ(-2530, TnGetRegistryEntry(nullptr, buffer, length));
    EXPECT_EQ(-2530, TnGetRegistryEntry(path, nullptr, length));
    EXPECT_EQ(-2530, TnGetRegistryEntry(path, buffer, zero));
    EXPECT_EQ(-2530, TnSetRegistryEntry(nullptr, text, length));
    EXPECT_EQ(-2530, TnSetRegistryEntry(path, nullptr, length));
    EXPECT_EQ(-2530, TnSetRegistryEntry(path, text, zero));
    EXPECT_EQ(-2530, TnDeleteRegistryEntry(nullptr));
    const char* none[] = {nullptr};
    EXPECT_EQ(-2530, TnSetRegistryEntry(none, text, length));
    int negative = -5;
    EXPECT_EQ(-2530, TnGetRegistryEntry(path, buffer, negative));
    // A key name beyond 260 characters is refused, not overflowed.
    std::string longName(300, 'k');
    const char* tooLong[] = {longName.c_str(), "value", nullptr};
    EXPECT_EQ(-2530, TnSetRegistryEntry(tooLong, text, length));
    EXPECT_EQ(-2530, TnDeleteRegistryEntry(tooLong));

    std::string got;
    EXPECT_EQ(0, Get(path, 16, &got, &length));
    EXPECT_EQ("kept", got.substr(0, 4));  // untouched by the refused calls
    // The given length only has to be non-zero; the text decides the byte count.
    int huge = 1000;
    char longer[] = "replaced";
    EXPECT_EQ(0, TnSetRegistryEntry(path, longer, huge));
    EXPECT_EQ(0, Get(path, 16, &got, &length));
    EXPECT_EQ(8, length);
}

TEST_F(Registry, MissingKeysCreatedOnWriteNeverDeleted) {
    const char* deep[] = {"One", "Two", "Three", "value", nullptr};
    const char* missing[] = {"Nowhere", "value", nullptr};
    EXPECT_EQ(-1, TnDeleteRegistryEntry(missing));
    std::string text;
    int length;
    EXPECT_EQ(-1, Get(missing, 8, &text, &length));
    EXPECT_EQ(8, length);  // key not opened: length untouched
    ASSERT_EQ(0, Set(deep, "x"));
    ASSERT_EQ(0, Set(deep, "yz"));  // replaces
    EXPECT_EQ(0, Get(deep, 8, &text, &length));
    EXPECT_EQ(2, length);
    EXPECT_EQ(0, TnDeleteRegistryEntry(deep));
    mvos::RegKey key = nullptr;
    EXPECT_EQ(mvos::kOk,
              mvos::RegOpenKey(mvos::kLocalMachine, "SOFTWARE\\Ardwyn\\Merivane\\One\\Two\\Three",
                               mvos::kKeyQueryValue, &key));  // the key stays
    if (key != nullptr) mvos::RegCloseKey(key);
}

TEST_F(Registry, ValueWrittenByOneProcessReadByAnother) {
    const char* path[] = {"Shared", "value", nullptr};
    ASSERT_EQ(0, InChild([&] { return Set(path, "from child") == 0 ? 0 : 1; }));
    std::string text;
    int length;
    EXPECT_EQ(0, Get(path, 32, &text, &length));
    EXPECT_EQ("from child", text.substr(0, static_cast<size_t>(length)));
    ASSERT_EQ(0, Set(path, "from parent"));
    EXPECT_EQ(0, InChild([&] {
                  std::string t;
                  int n;
                  return Get(path, 32, &t, &n) == 0 && t.substr(0, 11) == "from parent" ? 0 : 1;
              }));
}

// ---------------------------------------------------------------- priority boost

class FlagConfig : public TnConfig {
  public:
    explicit FlagConfig(int16_t value, bool found) : m_value(value), m_found(found) {}
    int LookupInteger(const char*, int32_t*, const char* const*) override { return 1; }
    int LookupFlag(const char* key, int16_t* value, const char* const* sections) override {
        ++calls;
        keyOk = std::strcmp(key, "disableWin32PriorityBoost") == 0 &&
                std::strcmp(sections[0], "servers") == 0 &&
                std::strcmp(sections[1], "tnserver") == 0 && sections[2] == nullptr;
        if (!m_found) return 1;
        *value = m_value;
        return 0;
    }
    int LookupString(const char*, char**, const char* const*) override { return 1; }
    int calls = 0;
    bool keyOk = false;

  private:
    int16_t m_value;
    bool m_found;
};

// The setting is cached once per process: each case runs in a child of its own.
TEST(PriorityBoost, ReadOnceFromTheDefaultConfiguration) {
    EXPECT_EQ(0, InChild([] {
                  FlagConfig config(7, true);
                  DefaultConfig(&config);
                  if (GetDisableWin32PriorityBoost() != 1 || !config.keyOk) return 1;
                  DefaultConfig(nullptr);
                  if (GetDisableWin32PriorityBoost() != 1) return 2;
                  return config.calls == 1 ? 0 : 3;
              }));
    EXPECT_EQ(0, InChild([] {
                  DefaultConfig(nullptr);
                  if (GetDisableWin32PriorityBoost() != 0) return 1;
                  FlagConfig config(1, true);
                  DefaultConfig(&config);  // installed too late
                  return GetDisableWin32PriorityBoost() == 0 && config.calls == 0 ? 0 : 2;
              }));
    EXPECT_EQ(0, InChild([] {
                  FlagConfig config(1, false);  // not configured: the flag stays 0
                  DefaultConfig(&config);
                  return GetDisableWin32PriorityBoost() == 0 ? 0 : 1;
              }));
}

}  // namespace
