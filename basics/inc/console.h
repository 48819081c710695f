// The server console and the output streams.
//
// Threads: the console stream and the service-stop flag are installed at start-up; the
// stop flag may be read and set from any thread; a stream object is used by one thread at a
// time.
#ifndef MV_CONSOLE_H
#define MV_CONSOLE_H

#include <cstdio>

#include "mvexport.h"

// ---------------------------------------------------------------- call context and text

// Describes one server call. The console only passes it on to its implementation;
// what it carries belongs to the host.
struct TnServerCallCtx {
    void* host;
};

// A text that owns a copy of its characters (always NUL-terminated). A copy that
// cannot be allocated leaves the empty text.
class MVB_API TnString {
  public:
    TnString();
    TnString(const char* text);  // NOLINT: converts like a C text
    TnString(const TnString& other);
    TnString& operator=(const TnString& other);
    ~TnString();

    const char* Text() const { return m_text != nullptr ? m_text : ""; }
    size_t Length() const { return m_length; }

  private:
    void Assign(const char* text, size_t length);
    char* m_text;
    size_t m_length;
};

// ---------------------------------------------------------------- server console

// Base of the console implementations. The base sends text to the debugger output.
class MVB_API _TnServCons {
  public:
    virtual ~_TnServCons();
    virtual void write(const TnString& text) = 0;
    // text to the debugger output when not null; length is not used.
    virtual void write(const char* text, int length);
    // Formats at most 1023 characters; writes only a non-empty text that fits.
    virtual void printf(const char* format, ...) MVB_PRINTF(2, 3);
    virtual void terminateLine();
    virtual void flush();
    virtual void beginCall(TnServerCallCtx& call);
    virtual void endCall(TnServerCallCtx& call);
    virtual void communicationFailure(TnServerCallCtx& call);
    virtual int controlTraceFile(TnString& fileName, unsigned short mode, int flag) = 0;
    virtual unsigned short GetMode();
    virtual void SetMode(unsigned short mode);
};

// The console's front: forwards to an implementation (not owned) while output is
// active. Output is active when an implementation is installed and bit 0 of the
// state word is set; the state follows the implementation's mode word (mask 0x17)
// after SetMode, switchOutput and a successful ControlTraceFile.
class MVB_API TnServCons {
  public:
    TnServCons();
    explicit TnServCons(_TnServCons* implementation);
    ~TnServCons();

    // Installs an implementation and returns the previous one; the state stays.
    _TnServCons* setImplementation(_TnServCons* implementation);

    TnServCons& operator<<(const char* text);
    TnServCons& operator<<(const TnString& text);
    TnServCons& operator<<(int value);
    TnServCons& operator<<(TnServCons& (*manipulator)(TnServCons&)) { return manipulator(*this); }
    // Formats at most 1023 characters; a text that does not fit is written empty.
    void printf(const char* format, ...) MVB_PRINTF(2, 3);
    void terminateLine();
    void flush();
    void BeginCall(TnServerCallCtx& call);
    void EndCall(TnServerCallCtx& call);
    void CommunicationFailure(TnServerCallCtx& call);

    unsigned short GetMode();
    void SetMode(unsigned short mode);
    // Sets (on) or clears bit 1 of the mode word.
    void switchOutput(int on);
    // 0 without an implementation; else the implementation's result (negative: state
    // left alone).
    int ControlTraceFile(TnString& fileName, unsigned short mode, int flag);

    _TnServCons* m_implementation;
    uint16_t m_state;
};

// terminateLine and flush of the implementation, while output is active.
MVB_API TnServCons& endl(TnServCons& console);

// ---------------------------------------------------------------- output streams

class MVB_API TnOutStreamStub {
  public:
    virtual ~TnOutStreamStub();
    virtual TnOutStreamStub& operator<<(const void* pointer) = 0;
    virtual TnOutStreamStub& operator<<(char c) = 0;
    virtual TnOutStreamStub& operator<<(double value) = 0;
    virtual TnOutStreamStub& operator<<(float value) = 0;
    virtual TnOutStreamStub& operator<<(uint16_t value) = 0;
    virtual TnOutStreamStub& operator<<(uint32_t value) = 0;
    virtual TnOutStreamStub& operator<<(uint64_t value) = 0;
    virtual TnOutStreamStub& operator<<(int16_t value) = 0;
    virtual TnOutStreamStub& operator<<(int32_t value) = 0;
    virtual TnOutStreamStub& operator<<(int64_t value) = 0;
    virtual TnOutStreamStub& operator<<(const char* text) = 0;
    virtual TnOutStreamStub& endLine() = 0;
    virtual TnOutStreamStub& flush() = 0;

    // Manipulators: endl, flush.
    TnOutStreamStub& operator<<(TnOutStreamStub& (*manipulator)(TnOutStreamStub&)) {
        return manipulator(*this);
    }
};

MVB_API TnOutStreamStub& endl(TnOutStreamStub& stream);
MVB_API TnOutStreamStub& flush(TnOutStreamStub& stream);

// The stream over an open C FILE (not owned, not closed).
class MVB_API TnOutStreamFILE : public TnOutStreamStub {
  public:
    explicit TnOutStreamFILE(FILE* stream) : m_file(stream) {}
    ~TnOutStreamFILE() override;
    using TnOutStreamStub::operator<<;
    TnOutStreamStub& operator<<(const void* pointer) override;
    TnOutStreamStub& operator<<(char c) override;
    TnOutStreamStub& operator<<(double value) override;
    TnOutStreamStub& operator<<(float value) override;
    TnOutStreamStub& operator<<(uint16_t value) override;
    TnOutStreamStub& operator<<(uint32_t value) override;
    TnOutStreamStub& operator<<(uint64_t value) override;
    TnOutStreamStub& operator<<(int16_t value) override;
    TnOutStreamStub& operator<<(int32_t value) override;
    TnOutStreamStub& operator<<(int64_t value) override;
    TnOutStreamStub& operator<<(const char* text) override;
    TnOutStreamStub& endLine() override;
    TnOutStreamStub& flush() override;

    FILE* m_file;
};

// ---------------------------------------------------------------- process-wide values

// Shared by the runtime's other modules; this library neither reads nor writes it.
MVB_API extern uint16_t TimeStampInServerLog;
// The service-stopped flag: goes from 0 to 1 only.
MVB_API void StopTARN_Service();
MVB_API int TARN_Service_hasStopped();

#endif
