#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mvbasics.h"
#include "support/scratch_dir.h"

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
    void beginCall(TnServerCallCtx& c) override { log.push_back("B" + Ctx(c)); }
    void endCall(TnServerCallCtx& c) override { log.push_back("E" + Ctx(c)); }
    void communicationFailure(TnServerCallCtx& c) override { log.push_back("C" + Ctx(c)); }
    static std::string Ctx(TnServerCallCtx& c) { return static_cast<const char*>(c.host); }
    int controlTraceFile(TnString& name, unsigned short m, int flag) override {
        traced = name.Text();
        if (traceResult >= 0) mode = m;
        return flag + traceResult;
    }
    unsigned short GetMode() override { return mode; }
    void SetMode(unsigned short m) override { mode = m; }

    std::vector<std::string> log;
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

// The active bit after each mode change, for a front without an implementation, with
// one that keeps its mode word and with one that keeps the base mode word (always 0).
TEST(ServCons, ActivityFollowsTheModeMask) {
    struct Step {
        int switchOn;  // -1: SetMode(mode) instead of switchOutput
        unsigned short mode;
        int active[3];
    };
    const Step steps[] = {
        {0, 0, {0, 0, 0}},     {1, 0, {1, 1, 0}},     {-1, 0x108, {0, 0, 0}}, {1, 0, {1, 1, 0}},
        {0, 0, {0, 0, 0}},     {-1, 0x01, {1, 1, 0}}, {-1, 0x04, {1, 1, 0}},  {-1, 0x10, {1, 1, 0}},
        {-1, 0x28, {0, 0, 0}}, {1, 0, {1, 1, 0}},
    };
    Recorder rec;
    BaseMode base;
    _TnServCons* impls[3] = {nullptr, &rec, &base};
    for (int k = 0; k < 3; ++k) {
        TnServCons cons(impls[k]);
        EXPECT_EQ(1, cons.m_state);  // a new front starts active
        for (const Step& step : steps) {
            if (step.switchOn < 0)
                cons.SetMode(step.mode);
            else
                cons.switchOutput(step.switchOn);
            EXPECT_EQ(step.active[k], cons.m_state) << k << " " << step.mode;
            rec.log.clear();
            TnServerCallCtx call{const_cast<char*>("c")};
            cons << "x" << 3;
            cons.BeginCall(call);
            endl(cons);
            EXPECT_EQ(k == 1 && step.active[k] ? 5u : 0u, rec.log.size());
        }
    }
    EXPECT_EQ(0x2A, rec.mode);  // switchOutput keeps the other bits
    TnServCons none;
    TnString name("trace");
    EXPECT_EQ(0, none.GetMode());
    EXPECT_EQ(0, none.ControlTraceFile(name, 3, 4));
}

TEST(ServCons, ForwardsWhileActive) {
    Recorder rec;
    TnServCons cons(&rec);
    TnServerCallCtx call{const_cast<char*>("c")};
    std::string fits(1023, 'a'), over(1024, 'b');
    cons << "abc" << static_cast<const char*>(nullptr) << -42 << TnString("str");
    cons.printf("%s-%d", "p", 7);
    cons.printf("%s", over.c_str());  // emptied, length 0
    cons << endl;
    cons.terminateLine();
    cons.flush();
    cons.BeginCall(call);
    cons.EndCall(call);
    cons.CommunicationFailure(call);
    rec.printf("%s", over.c_str());  // the implementation's own printf writes nothing
    rec.printf("%s", "");
    rec.printf("%s", fits.c_str());
    EXPECT_EQ((std::vector<std::string>{"abc|-1", "-42|3", "S:str", "p-7|3", "|0", "EOL", "FLUSH",
                                        "EOL", "FLUSH", "Bc", "Ec", "Cc", fits + "|1023"}),
              rec.log);
}

// The state is recomputed from the mode read back after a change, never on install
// and not after a failed trace-file control.
TEST(ServCons, StateRecomputedOnlyAfterModeChanges) {
    BaseMode base;
    TnServCons cons(&base);
    cons.switchOutput(1);
    Recorder rec;
    EXPECT_EQ(&base, cons.setImplementation(&rec));
    EXPECT_EQ(0, cons.m_state);
    cons << "dropped";
    EXPECT_TRUE(rec.log.empty());
    TnString name("trace.log");
    rec.mode = 0x10;
    EXPECT_EQ(5, cons.ControlTraceFile(name, 0x10, 5));
    EXPECT_EQ("trace.log", rec.traced);
    EXPECT_EQ(1, cons.m_state);
    rec.traceResult = -100;
    rec.mode = 0x08;
    EXPECT_EQ(-99, cons.ControlTraceFile(name, 0x01, 1));
    EXPECT_EQ(1, cons.m_state);  // a failure leaves the state alone
    EXPECT_EQ(0, cons.ControlTraceFile(name, 0x08, 100));
    EXPECT_EQ(0, cons.m_state);

    TnServCons late;  // integers test only the state bit
    late << 12;
    late.setImplementation(&rec);
    late << 0;
    EXPECT_EQ((std::vector<std::string>{"0|1"}), rec.log);
}

TEST(ServCons, BaseWriteGoesToDebuggerOutput) {
    mvtest::ScratchDir dir;
    {
        mvtest::ScopedEnv output("MERIVANE_DEBUG_OUTPUT", dir.File("debug.txt"));
        BaseMode base;
        TnServCons cons(&base);
        cons << "hello";
        base.write(static_cast<const char*>(nullptr), 3);
        base.printf("n=%d", 4);
        endl(cons);
    }
    // The debugger output ends each text with a line break.
    EXPECT_EQ("hello\nn=4\n\r\n", mvtest::ReadFile(dir.File("debug.txt")));
}

TEST(ServiceFlag, GoesToOneAndStays) {
    EXPECT_EQ(0, TimeStampInServerLog);
    EXPECT_EQ(0, TARN_Service_hasStopped());
    StopTARN_Service();
    StopTARN_Service();
    EXPECT_EQ(1, TARN_Service_hasStopped());
}

// Everything written to f so far (a temporary file), the position left at the end.
std::string FileContents(FILE* f) {
    std::string text;
    std::rewind(f);
    for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
    std::fseek(f, 0, SEEK_END);
    return text;
}

TEST(OutStreamFILE, FormatsManipulatorsAndFlush) {
    FILE* f = std::tmpfile();
    ASSERT_NE(nullptr, f);
    auto* s = new TnOutStreamFILE(f);
    *s << int64_t{-5} << "|" << ~uint64_t{0} << "|" << INT64_MIN << "|" << 'x' << "|" << 1.5 << "|"
       << 0.25f << "|" << uint16_t{65535} << "|" << uint32_t{4294967295u} << "|" << int16_t{-32768}
       << "|" << int32_t{-7} << "|"
       << "text" << static_cast<const char*>(nullptr) << endl
       << reinterpret_cast<const void*>(0xFF) << endl
       << flush;
    // flush hands the text to the file at once
    EXPECT_EQ(
        "-5|18446744073709551615|-9223372036854775808|x|1.500000|0.250000|65535|4294967295|"
        "-32768|-7|text\n0x00000000000000FF\n",
        FileContents(f));
    delete s;
    EXPECT_NE(EOF, std::fputs("!", f));  // the stream did not close the file
    std::fclose(f);
}

}  // namespace
