// registry list|get|set|delete|export|import against a scratch registry database.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "os/os.h"
#include "tools/tool_runner.h"

namespace mvtest {
namespace {

using ::testing::HasSubstr;

// Stores a value of any type and bytes directly through the OS layer.
void Store(const char* key, const char* name, uint32_t type, const std::string& data) {
    mvos::RegKey k = nullptr;
    ASSERT_EQ(mvos::kOk,
              mvos::RegCreateKey(mvos::kLocalMachine, key, mvos::kKeyAllAccess, &k, nullptr));
    EXPECT_EQ(mvos::kOk,
              mvos::RegSetValue(k, name, type, data.data(), static_cast<uint32_t>(data.size())));
    mvos::RegCloseKey(k);
}

TEST(ToolRegistry, ExportAndImportRoundTripEveryTypeAndAwkwardName) {
    ScratchDir scratch;
    {
        ScopedEnv registry("MERIVANE_REGISTRY", scratch.File("registry.db"));
        const std::string bytes("\x00\x01\xff\x7f\n\r\"\\", 8);
        Store("SOFTWARE\\Ardwyn\\Merivane", "text", mvos::kRegSz, "plain text");
        Store("SOFTWARE\\Ardwyn\\Merivane", "", mvos::kRegSz, "the default value");
        Store("SOFTWARE\\Ardwyn\\Merivane", "@", mvos::kRegSz, "not the default");
        Store("SOFTWARE\\Ardwyn\\Merivane", "quote\"back\\slash=eq", mvos::kRegSz,
              "line\nbreak\ttab \"quoted\" \\ end\\");
        Store("SOFTWARE\\Ardwyn\\Merivane", "with nul", mvos::kRegSz, std::string("a\0b", 3));
        Store("SOFTWARE\\Ardwyn\\Merivane", "empty", mvos::kRegSz, "");
        Store("SOFTWARE\\Ardwyn\\Merivane", "dword", mvos::kRegDword,
              std::string("\x2a\0\0\x80", 4));
        Store("SOFTWARE\\Ardwyn\\Merivane", "short dword", mvos::kRegDword, "\x01");
        Store("SOFTWARE\\Ardwyn\\Merivane", "binary", mvos::kRegBinary,
              bytes + bytes + bytes + bytes);
        Store("SOFTWARE\\Ardwyn\\Merivane", "expand", mvos::kRegExpandSz, "%PATH%");
        Store("SOFTWARE\\Ardwyn\\Merivane", "multi", mvos::kRegMultiSz,
              std::string("a\0b c\0\0", 7));
        Store("SOFTWARE\\Ardwyn\\Merivane", "none", mvos::kRegNone, "");
        Store("SOFTWARE\\Ardwyn\\Merivane", "type 11", 11, std::string(8, '\x11'));
        Store("SOFTWARE\\Ardwyn\\Merivane", "type 99999", 99999, "x");
        Store("SOFTWARE\\Br[ack]ets ] and = \"quotes\"\\Ümlaut", "ü", mvos::kRegSz, "ß");
        mvos::RegKey empty = nullptr;
        mvos::RegCreateKey(mvos::kLocalMachine, "SOFTWARE\\Empty", mvos::kKeyAllAccess, &empty,
                           nullptr);
        mvos::RegCloseKey(empty);
    }
    const ToolRun exported = RunTool(scratch, {"registry", "export", "-o", scratch.File("a.reg")});
    ASSERT_EQ(0, exported.status) << exported.err;
    const std::string text = ReadFile(scratch.File("a.reg"));
    EXPECT_THAT(text, HasSubstr("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Empty]\n"));
    EXPECT_THAT(text, HasSubstr("\"dword\"=dword:8000002a\n"));
    EXPECT_THAT(text, HasSubstr("@=\"the default value\"\n\"@\"=\"not the default\"\n"));
    EXPECT_THAT(text, HasSubstr("\"quote\\\"back\\\\slash=eq\"=\"line\\x0abreak\\x09tab"));
    EXPECT_THAT(text, HasSubstr("\"with nul\"=hex(1):61,00,62\n"));
    EXPECT_THAT(text, HasSubstr("\"multi\"=hex(7):61,00,62,20,63,00,00\n"));
    EXPECT_THAT(text, HasSubstr("\"type 99999\"=hex(1869f):78\n"));
    EXPECT_THAT(text, HasSubstr(",\\\n  "));  // long hex data wraps

    // Into a fresh database and out again: the same text, byte for byte.
    const std::vector<std::string> other = {"MERIVANE_REGISTRY=" + scratch.File("other.db")};
    ToolRun run = RunTool(scratch, {"registry", "import", scratch.File("a.reg")}, other);
    ASSERT_EQ(0, run.status) << run.err;
    run = RunTool(scratch, {"registry", "export"}, other);
    EXPECT_EQ(text, run.out);
    run = RunTool(
        scratch, {"registry", "get", "--json", "HKLM\\SOFTWARE\\Ardwyn\\Merivane", "dword"}, other);
    EXPECT_EQ("{\"data\":2147483690,\"name\":\"dword\",\"type\":\"REG_DWORD\"}\n", run.out);
}

TEST(ToolRegistry, SetGetListDeleteAndTheirFailures) {
    ScratchDir scratch;
    const std::string key = "SOFTWARE\\Ardwyn\\Merivane\\Tool";
    EXPECT_EQ(0, RunTool(scratch, {"registry", "set", key, "greeting", "hello"}).status);
    EXPECT_EQ(0, RunTool(scratch, {"registry", "set", key, "n", "0x10", "-t", "dword"}).status);
    EXPECT_EQ(0,
              RunTool(scratch, {"registry", "set", key, "l", "a", "b", "-t", "multi_sz"}).status);
    EXPECT_EQ("hello\n", RunTool(scratch, {"registry", "get", key, "greeting"}).out);
    EXPECT_EQ("0x00000010 (16)\n", RunTool(scratch, {"registry", "get", key, "n"}).out);
    ToolRun run = RunTool(scratch, {"registry", "list", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Ardwyn"});
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\SOFTWARE\\Ardwyn\n    Merivane\\\n\n", run.out);
    run = RunTool(scratch, {"registry", "list", "-r", "--json", key});
    EXPECT_THAT(run.out, HasSubstr("{\"data\":16,\"name\":\"n\",\"type\":\"REG_DWORD\"}"));

    struct {
        std::vector<std::string> args;
        int status;
        const char* says;
    } cases[] = {
        {{"registry", "get", key, "missing"}, 1, "Tool value 'missing': not found (registry "},
        {{"registry", "list", "SOFTWARE\\Nope"},
         1,
         "HKEY_LOCAL_MACHINE\\SOFTWARE\\Nope: not found"},
        {{"registry", "set", key, "n", "-1", "-t", "dword"}, 2, "'-1' is not a dword number"},
        {{"registry", "set", key, "n", "0x100000000", "-t", "dword"}, 2, "not a dword number"},
        {{"registry", "set", key, "b", "abc", "-t", "binary"}, 2, "'abc' is not hex bytes"},
        {{"registry", "set", key, "b", "x", "-t", "float"}, 2, "float"},
        {{"registry", "delete", key}, 2, "give either a value name or --key"},
        {{"registry", "delete", "", "--key"}, 2, "the root key cannot be deleted"},
        {{"registry", "delete", key, "missing"}, 1, "not found"},
    };
    for (const auto& c : cases) {
        run = RunTool(scratch, c.args);
        EXPECT_EQ(c.status, run.status) << c.says;
        EXPECT_THAT(run.err, HasSubstr(c.says));
    }
    EXPECT_EQ(0, RunTool(scratch, {"registry", "delete", key, "greeting"}).status);
    EXPECT_EQ(1, RunTool(scratch, {"registry", "get", key, "greeting"}).status);
    EXPECT_EQ(0, RunTool(scratch, {"registry", "delete", key, "--key"}).status);
    EXPECT_EQ(1, RunTool(scratch, {"registry", "list", key}).status);
}

TEST(ToolRegistry, ImportChecksTheWholeFileBeforeChangingAnything) {
    ScratchDir scratch;
    const std::string head = "Merivane Registry Export 1\n";
    struct {
        std::string file;
        const char* says;
    } bad[] = {
        {"", "empty: the first line must be"},
        {"REGEDIT4\n", "line 1: the first line must be"},
        {head + "\"v\"=\"x\"\n", "line 2: a value before any [key] line"},
        {head + "[HKEY_CURRENT_USER\\x]\n", "line 2: keys lie under HKEY_LOCAL_MACHINE"},
        {head + "[HKEY_LOCAL_MACHINE\\a]\n\"v\"=dword:1234567\n", "line 3: dword: wants 8"},
        {head + "[HKEY_LOCAL_MACHINE\\a]\n\"v\"=hex:01,\\\n  0g\n", "line 3: a hex byte"},
        {head + "[HKEY_LOCAL_MACHINE\\a]\n\"v=\"x\"\n", "line 3: '=' was expected"},
        {head + "[HKEY_LOCAL_MACHINE\\a]\n\"v\"=\"x\\q\"\n", "line 3: an unknown escape"},
        {head + "[HKEY_LOCAL_MACHINE\\a]\n\"v\"=\"x\" y\n", "line 3: text after the closing"},
        {head + "[-HKEY_LOCAL_MACHINE]\n", "the root key cannot be deleted"},
    };
    for (const auto& b : bad) {
        const ToolRun run = RunTool(scratch, {"registry", "import", "-"}, {}, b.file);
        EXPECT_EQ(1, run.status) << b.says;
        EXPECT_THAT(run.err, HasSubstr(b.says));
        EXPECT_THAT(run.err, HasSubstr("(nothing imported)"));
    }
    EXPECT_EQ(1, RunTool(scratch, {"registry", "list", "a"}).status);

    // Deletions of keys and values, as the original's files write them.
    RunTool(scratch, {"registry", "set", "a\\b", "v", "1"});
    RunTool(scratch, {"registry", "set", "a", "w", "2"});
    const ToolRun run = RunTool(scratch, {"registry", "import", "-"}, {},
                                head +
                                    "[-HKEY_LOCAL_MACHINE\\a\\b]\n[HKEY_LOCAL_MACHINE\\a]\n"
                                    "\"w\"=-\n\"gone already\"=-\n");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\a\n\n", RunTool(scratch, {"registry", "list", "a"}).out);
}

}  // namespace
}  // namespace mvtest
