#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "mvbasics.h"

namespace {

// An implementation that records every call and keeps its mode word as set.
class Recorder : public _TnServCons {
  public:
    void write(const TnString& text) override { log.push_back(std::string("S:") + text.Text()); }
    void write(const char* text, int length) override {
        log.push_back(std::string(text) + "|" + std::to_string(length));
    }
    void terminateLine() override { log.push_back("EOL"); }
    void flush() override { log.push_back("FLUSH"); }
    void beginCall(TnServerCallCtx& c) override { calls.push_back(&c); }
    void endCall(TnServerCallCtx& c) override { calls.push_back(&c); }
    void communicationFailure(TnServerCallCtx& c) override { calls.push_back(&c); }
    int controlTraceFile(TnString& name, unsigned short m, int flag) override {
        traced = name.Text();
        if (traceResult >= 0) mode = m;
        return flag + traceResult;
    }
    unsigned short GetMode() override { return mode; }
    void SetMode(unsigned short m) override { mode = m; }

    std::vector<std::string> log;
    std::vector<TnServerCallCtx*> calls;
    std::string traced;
    unsigned short mode = 0;
    int traceResult = 0;
};

// An implementation that keeps the base mode word (always 0).
class BaseMode : public _TnServCons {
  public:
    using _TnServCons::write;
    void write(const TnString&) override {}
    int controlTraceFile(TnString&, unsigned short, int) override { return 0; }
};

TEST(ServCons, WithoutImplementationDropsOutput) {
    TnServCons cons;
    EXPECT_EQ(1, cons.m_state);
    EXPECT_EQ(0, cons.GetMode());
    cons << "dropped" << 5;
    cons.printf("x%d", 1);
    endl(cons);
    TnString name("trace");
    EXPECT_EQ(0, cons.ControlTraceFile(name, 3, 4));
    cons.switchOutput(0);
    EXPECT_EQ(0, cons.m_state);
    cons.switchOutput(1);
    EXPECT_EQ(1, cons.m_state);
    cons.SetMode(0x08);
    EXPECT_EQ(0, cons.m_state);
    cons.SetMode(0x04);
    EXPECT_EQ(1, cons.m_state);
}

TEST(ServCons, ForwardsWhileActive) {
    Recorder rec;
    TnServCons cons(&rec);
    TnServerCallCtx call{nullptr};
    cons << "abc" << static_cast<const char*>(nullptr) << -42 << TnString("str");
    cons.printf("%s-%d", "p", 7);
    cons << endl;
    cons.terminateLine();
    cons.flush();
    cons.BeginCall(call);
    cons.EndCall(call);
    cons.CommunicationFailure(call);
    EXPECT_EQ((std::vector<std::string>{"abc|-1", "-42|3", "S:str", "p-7|3", "EOL", "FLUSH", "EOL",
                                        "FLUSH"}),
              rec.log);
    EXPECT_EQ(3u, rec.calls.size());
    EXPECT_EQ(&call, rec.calls[2]);
}

TEST(ServCons, ModeMaskDecidesActivity) {
    Recorder rec;
    TnServCons cons(&rec);
    cons.SetMode(0x08);  // outside the mask 0x17
    EXPECT_EQ(0x08, cons.GetMode());
    EXPECT_EQ(0, cons.m_state);
    cons << "dropped";
    endl(cons);
    TnServerCallCtx call{nullptr};
    cons.BeginCall(call);
    EXPECT_TRUE(rec.log.empty());
    EXPECT_TRUE(rec.calls.empty());
    for (unsigned short bit : {0x01, 0x02, 0x04, 0x10}) {
        cons.SetMode(bit);
        EXPECT_EQ(1, cons.m_state) << bit;
        cons.SetMode(0);
        EXPECT_EQ(0, cons.m_state);
    }
    cons.SetMode(0x08);
    cons.switchOutput(1);
    EXPECT_EQ(0x0A, rec.mode);
    EXPECT_EQ(1, cons.m_state);
    cons.switchOutput(0);
    EXPECT_EQ(0x08, rec.mode);
    EXPECT_EQ(0, cons.m_state);
}

TEST(ServCons, BaseModeMakesInactiveAndInstallingKeepsState) {
    BaseMode base;
    TnServCons cons(&base);
    cons.switchOutput(1);
    EXPECT_EQ(0, cons.m_state);
    Recorder rec;
    EXPECT_EQ(&base, cons.setImplementation(&rec));
    EXPECT_EQ(0, cons.m_state);  // not recomputed on install
    cons << "dropped";
    EXPECT_TRUE(rec.log.empty());
    cons.SetMode(0x10);
    EXPECT_EQ(1, cons.m_state);

    TnServCons late;
    late.setImplementation(&rec);
    late << "x";
    EXPECT_EQ("x|-1", rec.log.back());  // a new front starts active
}

TEST(ServCons, IntegerInsertionTestsOnlyTheStateBit) {
    TnServCons cons;
    cons << 12;  // active state, no implementation: printf drops it
    Recorder rec;
    cons.setImplementation(&rec);
    cons << 0;
    EXPECT_EQ((std::vector<std::string>{"0|1"}), rec.log);
}

TEST(ServCons, ControlTraceFileResult) {
    Recorder rec;
    TnServCons cons(&rec);
    TnString name("trace.log");
    EXPECT_EQ(5, cons.ControlTraceFile(name, 0x08, 5));
    EXPECT_EQ("trace.log", rec.traced);
    EXPECT_EQ(0, cons.m_state);  // recomputed from the new mode
    rec.traceResult = -100;
    rec.mode = 0x01;
    EXPECT_EQ(-99, cons.ControlTraceFile(name, 0x08, 1));
    EXPECT_EQ(0, cons.m_state);  // a failure leaves the state alone
}

TEST(ServCons, OverlongPrintf) {
    Recorder rec;
    TnServCons cons(&rec);
    std::string fits(1023, 'a'), over(1024, 'b');
    cons.printf("%s", fits.c_str());
    EXPECT_EQ(fits + "|1023", rec.log.back());
    cons.printf("%s", over.c_str());
    EXPECT_EQ("|0", rec.log.back());  // emptied, length 0
    cons.printf("%s", "");
    EXPECT_EQ("|0", rec.log.back());
    size_t before = rec.log.size();
    rec.printf("%s", over.c_str());  // the implementation's own printf writes nothing
    rec.printf("%s", "");
    EXPECT_EQ(before, rec.log.size());
    rec.printf("%s", fits.c_str());
    EXPECT_EQ(fits + "|1023", rec.log.back());
}

TEST(ServCons, BaseWriteGoesToDebuggerOutput) {
    const char* dir = std::getenv("MERIVANE_TEST_BINARY_DIR");
    std::string path = std::string(dir != nullptr ? dir : "/tmp") + "_debug_output.txt";
    std::remove(path.c_str());
    setenv("MERIVANE_DEBUG_OUTPUT", path.c_str(), 1);
    BaseMode base;
    TnServCons cons(&base);
    cons << "hello";
    base.write(static_cast<const char*>(nullptr), 3);
    base.printf("n=%d", 4);
    endl(cons);
    unsetenv("MERIVANE_DEBUG_OUTPUT");
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(std::string::npos, text.str().find("hello"));
    EXPECT_NE(std::string::npos, text.str().find("n=4"));
    EXPECT_NE(std::string::npos, text.str().find("\r\n"));
    std::remove(path.c_str());
}

TEST(TnString, CopiesAndNull) {
    TnString empty(nullptr);
    EXPECT_STREQ("", empty.Text());
    TnString a("abc");
    TnString b(a);
    a = TnString("zz");
    EXPECT_STREQ("abc", b.Text());
    EXPECT_EQ(2u, a.Length());
    b = b;
    EXPECT_STREQ("abc", b.Text());
}

TEST(ServiceFlag, GoesToOneAndStays) {
    EXPECT_EQ(0, TimeStampInServerLog);
    EXPECT_EQ(0, TARN_Service_hasStopped());
    StopTARN_Service();
    EXPECT_EQ(1, TARN_Service_hasStopped());
    StopTARN_Service();
    EXPECT_EQ(1, TARN_Service_hasStopped());
}

// ---------------------------------------------------------------- FILE stream

std::string Written(void (*fill)(TnOutStreamStub&)) {
    char* data = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&data, &size);
    {
        TnOutStreamFILE s(f);
        fill(s);
    }
    std::fclose(f);
    std::string text(data, size);
    std::free(data);
    return text;
}

TEST(OutStreamFILE, ScalarFormats) {
    EXPECT_EQ("-5", Written([](TnOutStreamStub& s) { s << int64_t{-5}; }));
    EXPECT_EQ("18446744073709551615", Written([](TnOutStreamStub& s) { s << ~uint64_t{0}; }));
    EXPECT_EQ("-9223372036854775808", Written([](TnOutStreamStub& s) { s << INT64_MIN; }));
    EXPECT_EQ("x|1.500000|0.250000|65535|4294967295|-32768|-7|text",
              Written([](TnOutStreamStub& s) {
                  s << 'x' << "|" << 1.5 << "|" << 0.25f << "|" << uint16_t{65535} << "|"
                    << uint32_t{4294967295u} << "|" << int16_t{-32768} << "|" << int32_t{-7} << "|"
                    << "text" << static_cast<const char*>(nullptr);
              }));
    EXPECT_EQ("0x00000000000000FF",
              Written([](TnOutStreamStub& s) { s << reinterpret_cast<const void*>(0xFF); }));
}

TEST(OutStreamFILE, ManipulatorsAndEnd) {
    EXPECT_EQ("a\nb\n", Written([](TnOutStreamStub& s) { s << "a" << endl << "b" << endl; }));
    // flush hands the text to the file at once
    char* data = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&data, &size);
    auto* s = new TnOutStreamFILE(f);
    *s << "now" << flush;
    EXPECT_EQ(3u, size);
    EXPECT_EQ(0, std::memcmp(data, "now", 3));
    delete s;
    EXPECT_NE(EOF, std::fputs("!", f));  // the stream did not close the file
    std::fflush(f);
    EXPECT_EQ(4u, size);
    std::fclose(f);
    std::free(data);
}

}  // namespace
