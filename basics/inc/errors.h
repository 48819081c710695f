// Error catalogue: the text of any result code of the runtime, and of a login outcome.
//
// Threads: TnError and TnLoginError may run concurrently when each call passes its own
// buffer (or asks for the text only); the static buffer chosen by a null buffer is one
// for the process, for one thread at a time.
#ifndef MV_ERRORS_H
#define MV_ERRORS_H

#include "mvexport.h"

// Turns a result code into text.
//
// The message of a code is, in this order of preference: "ok" for 0 (see below); for
// -3099..-3001 and 3001..3003 one fixed text that refers to the query layer, which keeps
// those texts itself; the text of the module error callback (TnModuleErrorCallbackList)
// when it covers the code; the built-in message table; "count" for 1..999; "unknown
// error" for anything else.
//
// textOnly != 0: returns the bare message (a constant of the library, or the text the
//   callback gave) and writes nothing.
// textOnly == 0: writes "<prefix> : <code> -> <message>" (or only the message when prefix
//   is null; "<prefix> : ok" or "0" for code 0) into the buffer and returns the buffer.
//
// buffer == null selects a static 256-byte buffer of TnError's own: the text is then cut
// to 255 characters, shortening the prefix first so that code and message stay whole. The
// result stays valid until the next TnError call with a null buffer; such calls must not
// run concurrently.
// A caller's buffer is written in full, unbounded: it must hold
//   strlen(prefix) + 11 (code) + 7 (" : ", " -> ") + strlen(message) + 1
// bytes; 256 + strlen(prefix) always suffices, except for a long text of a module callback.
// The prefix may point into the buffer itself (e.g. an earlier result).
MVB_API const char* TnError(char* buffer, const char* prefix, int code, int textOnly);

// Turns the outcome of a login into text: -2307, -2302, -2301, -2017, 0 ("Login to
// Database") and 1 ("Login to Dictionary") have texts of their own, any other code reads
// "Login failed, Error was: <code>". Neither the module callbacks nor the message table
// are asked. Output conventions as for TnError, with a static buffer of TnLoginError's
// own; the composed fallback returned with textOnly != 0 is kept per thread and stays
// valid until the same thread's next TnLoginError call.
MVB_API const char* TnLoginError(char* buffer, const char* prefix, int code, int textOnly);

#endif
