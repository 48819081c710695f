// System log and message boxes: the two process-wide report sinks.
//
// Threads: Report may be called from any number of threads at once (the first report
// opens the event source under a lock; each event is written whole). Enable and the
// message-box presenter are set at start-up.
#ifndef MV_SYSTEMLOG_H
#define MV_SYSTEMLOG_H

#include "mvexport.h"

class MVB_API TnSysLog {
  public:
    virtual int InstallSource(const char* sourceName);
    virtual int Enable(int on);
    virtual void OpenSource(const char* sourceName);
    virtual void Report(int kind, const char* format, ...) MVB_PRINTF(3, 4);
    virtual ~TnSysLog();
    virtual void Write(int kind, unsigned length, const char* text) = 0;
};

// The system log of the platform: events go to the platform's event log under the
// runtime's event source, with the version, the text, the process id and the
// executable's path as insertion strings.
class MVB_API TnSysLogWin32 : public TnSysLog {
  public:
    TnSysLogWin32();
    int InstallSource(const char* sourceName) override;
    void OpenSource(const char* sourceName) override;
    ~TnSysLogWin32() override;
    void Write(int kind, unsigned length, const char* text) override;

    void* m_hEventSource;  // all bits set while no source is open; null if opening failed
    int32_t m_isNT;        // nonzero where the platform logs events
    char m_processId[20];  // the process id in decimal, set when the source is opened
};

// Message-box style bits of the library (the low 24 bits are the platform's flags).
constexpr uint32_t TN_MSG_BREAK_ON_RETRY = 0x08000000u;
constexpr uint32_t TN_MSG_BREAK_ON_CANCEL = 0x10000000u;
constexpr uint32_t TN_MSG_ALWAYS_SHOW = 0x20000000u;
// Results of Show and Display.
constexpr uint32_t TN_MSG_OK = 0x1000000u;
constexpr uint32_t TN_MSG_CANCEL = 0x2000000u;
constexpr uint32_t TN_MSG_RETRY = 0x3000000u;
constexpr uint32_t TN_MSG_IGNORE = 0x4000000u;
constexpr uint32_t TN_MSG_NO = 0x5000000u;
constexpr uint32_t TN_MSG_NOT_SHOWN = 0x40000000u;

class MVB_API TnMsg {
  public:
    virtual int Enable(int on);
    virtual unsigned Show(const char* title, unsigned style, const char* format, ...)
        MVB_PRINTF(4, 5);
    virtual ~TnMsg();
    virtual unsigned Display(const char* title, unsigned style, const char* text) = 0;
};

// Shows message boxes through the platform (or the host's presenter, see below).
class MVB_API TnMsgWindows : public TnMsg {
  public:
    unsigned Display(const char* title, unsigned style, const char* text) override;
};

// The event-source names of the ten toolchain tags; only the running build's entry
// ("100") is formed and selected.
class MVB_API TnEventSourceNames {
  public:
    static const int kTagCount = 10;
    static const char* const kTags[kTagCount];
    static const uint16_t kNoneSelected = 65535;

    TnEventSourceNames();
    ~TnEventSourceNames();
    TnEventSourceNames(const TnEventSourceNames&) = delete;
    TnEventSourceNames& operator=(const TnEventSourceNames&) = delete;

    // The selected entry's names; null when none is selected or the text is missing.
    const char* SourceName() const;
    const char* DebugSourceName() const;

    uint16_t m_selected;
    struct Entry {
        char* name;
        char* debugName;
    } m_entries[kTagCount];
};

// Presents a message box for TnMsgWindows::Display: receives the title, the style and
// the text and returns the button pressed (1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore,
// 6 Yes, 7 No; 0 when no box could be shown).
typedef int (*TnMessageBoxPresenter)(const char* title, unsigned style, const char* text);
// Installs a presenter (null puts the library's own back: the box is written to standard
// error and answered OK). Returns the previous one, null for the library's own.
MVB_API TnMessageBoxPresenter TnSetMessageBoxPresenter(TnMessageBoxPresenter presenter);

// The process-wide objects; never null, owned by the library.
MVB_API TnSysLog* TnSystemLog();
MVB_API TnMsg* TnMessage();

#endif
