// System log and message boxes: the two process-wide report sinks.
#ifndef MV_SYSLOG_H
#define MV_SYSLOG_H

#include "mvexport.h"

#if defined(__GNUC__)
#define MVB_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define MVB_PRINTF(fmt, args)
#endif

class MVB_API TnSysLog {
  public:
    virtual int InstallSource(const char* sourceName);
    virtual int Enable(int on);
    virtual void OpenSource(const char* sourceName);
    virtual void Report(int kind, const char* format, ...) MVB_PRINTF(3, 4);
    virtual ~TnSysLog();
    virtual void Write(int kind, unsigned length, const char* text) = 0;
};

class MVB_API TnMsg {
  public:
    virtual int Enable(int on);
    virtual unsigned Show(const char* title, unsigned style, const char* format, ...)
        MVB_PRINTF(4, 5);
    virtual ~TnMsg();
    virtual unsigned Display(const char* title, unsigned style, const char* text) = 0;
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
