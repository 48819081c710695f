// The error catalogue: TnError and TnLoginError.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "diag/messages.h"
#include "errors.h"
#include "frame.h"
#include "frame/module_errors.h"

namespace {

// Texts of the query layer's codes are kept by that layer; it is pointed to instead.
constexpr const char kQueryLayerText[] =
    "To get the OQL-Errors, use GetOqlErrMsg(...) at one of the OQL-Interface-Classes";

constexpr size_t kStaticBufferSize = 256;
constexpr size_t kUnbounded = static_cast<size_t>(-1);

// Each function has a static output buffer of its own.
char g_errorBuffer[kStaticBufferSize];
char g_loginBuffer[kStaticBufferSize];
// The composed "Login failed" text handed out with textOnly: per thread, so that calls
// with their own buffers stay safe to run concurrently.
thread_local char t_loginScratch[128];

struct Piece {
    const char* text;
    size_t length;
};

// Writes the head and then the tail pieces, run together and NUL-terminated, into out,
// which has room for capacity bytes. When the whole does not fit, the head is cut first
// and then the tail at its end. The head may lie inside out (memmove).
void Write(char* out, size_t capacity, const char* head, const Piece* tail, size_t count) {
    const size_t room = capacity - 1;
    size_t tailLength = 0;
    for (size_t i = 0; i < count; ++i) tailLength += tail[i].length;
    size_t headLength = head != nullptr ? std::strlen(head) : 0;
    if (headLength > room || tailLength > room - headLength) {
        headLength = tailLength >= room ? 0 : room - tailLength;
    }
    if (headLength > 0) std::memmove(out, head, headLength);
    size_t used = headLength;
    for (size_t i = 0; i < count && used < room; ++i) {
        const size_t n = std::min(tail[i].length, room - used);
        std::memmove(out + used, tail[i].text, n);
        used += n;
    }
    out[used] = '\0';
}

Piece Text(const char* text) {
    return Piece{text, std::strlen(text)};
}

// The last step shared by both functions: the bare message, or the formatted line.
const char* Output(char* buffer, size_t capacity, const char* prefix, int code, const char* message,
                   int textOnly) {
    if (textOnly != 0) return message;
    if (prefix == nullptr) {
        const Piece only = Text(message);
        Write(buffer, capacity, nullptr, &only, 1);
        return buffer;
    }
    char digits[12];
    const int n = std::snprintf(digits, sizeof(digits), "%d", code);
    const Piece tail[] = {{" : ", 3}, {digits, static_cast<size_t>(n)}, {" -> ", 4}, Text(message)};
    Write(buffer, capacity, prefix, tail, 4);
    return buffer;
}

bool IsQueryLayerCode(int code) {
    return (code >= -3099 && code <= -3001) || (code >= 3001 && code <= 3003);
}

const char* Message(int code) {
    if (IsQueryLayerCode(code)) return kQueryLayerText;
    if (const char* text = mvb::frame::ModuleErrorText(mvb::frame::g_moduleErrors, code))
        return text;
    if (const char* text = mvb::diag::FindMessage(code)) return text;
    return code >= 1 && code <= 999 ? "count" : "unknown error";
}

const char* LoginText(int code) {
    switch (code) {
        case -2307:
            return "Login name is invalid";
        case -2302:
            return "Login name is not unique, please contact Admin";
        case -2301:
            return "Password is invalid";
        case -2017:
            return "Login data inconsistent, please contact Admin";
        case 0:
            return "Login to Database";
        case 1:
            return "Login to Dictionary";
        default:
            std::snprintf(t_loginScratch, sizeof(t_loginScratch), "Login failed, Error was: %d",
                          code);
            return t_loginScratch;
    }
}

}  // namespace

const char* TnError(char* buffer, const char* prefix, int code, int textOnly) {
    size_t capacity = kUnbounded;
    if (buffer == nullptr) {
        buffer = g_errorBuffer;
        capacity = sizeof(g_errorBuffer);
    }
    if (code != 0) return Output(buffer, capacity, prefix, code, Message(code), textOnly);
    if (textOnly != 0) return "ok";
    const Piece tail = prefix != nullptr ? Piece{" : ok", 5} : Piece{"0", 1};
    Write(buffer, capacity, prefix, &tail, 1);
    return buffer;
}

const char* TnLoginError(char* buffer, const char* prefix, int code, int textOnly) {
    size_t capacity = kUnbounded;
    if (buffer == nullptr) {
        buffer = g_loginBuffer;
        capacity = sizeof(g_loginBuffer);
    }
    return Output(buffer, capacity, prefix, code, LoginText(code), textOnly);
}
