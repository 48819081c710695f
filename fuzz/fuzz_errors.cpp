// The error catalogue with arbitrary codes, prefixes and a module callback with an
// arbitrary range and text: a caller's buffer of exactly the documented size is never
// overrun and holds "<prefix> : <code> -> <message>" (or the message alone), the message
// being the one the text-only call gives; the static buffer holds at most 255 characters
// and keeps code and message whole by shortening the prefix; a prefix inside the buffer
// is read before it is overwritten. The login texts follow the same rules.
#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "errors.h"
#include "frame.h"
#include "fuzz_support.h"

namespace {

std::string g_callbackText;
const char* CallbackText(int32_t) {
    return g_callbackText.c_str();
}

using Catalogue = const char* (*)(char*, const char*, int, int);

std::string Expected(const char* prefix, int code, const std::string& message, bool login) {
    if (!login && code == 0) return prefix ? std::string(prefix) + " : ok" : "0";
    if (!prefix) return message;
    return std::string(prefix) + " : " + std::to_string(code) + " -> " + message;
}

void Check(Catalogue f, bool login, const std::string& prefixText, bool withPrefix, int code) {
    const char* prefix = withPrefix ? prefixText.c_str() : nullptr;
    const std::string message = f(nullptr, nullptr, code, 1);
    const std::string want = Expected(prefix, code, message, login);

    // A caller's buffer of the documented size, exactly (ASan sees one byte more).
    std::vector<char> exact(prefixText.size() + 11 + 7 + message.size() + 1);
    FUZZ_CHECK(f(exact.data(), prefix, code, 0) == exact.data());
    FUZZ_CHECK(want == exact.data());

    // The prefix inside the buffer itself.
    if (withPrefix) {
        std::vector<char> same(exact.size());
        std::memcpy(same.data(), prefixText.c_str(), prefixText.size() + 1);
        FUZZ_CHECK(f(same.data(), same.data(), code, 0) == same.data() && want == same.data());
    }

    // The static buffer: at most 255 characters, the prefix cut first.
    const std::string fixed = f(nullptr, prefix, code, 0);
    if (want.size() <= 255) {
        FUZZ_CHECK(fixed == want);
    } else {
        FUZZ_CHECK(fixed.size() == 255);
        const size_t tail = want.size() - (prefix ? std::strlen(prefix) : 0);
        if (tail <= 255)
            FUZZ_CHECK(fixed.compare(255 - tail, tail, want, want.size() - tail, tail) == 0 &&
                       fixed.compare(0, 255 - tail, want, 0, 255 - tail) == 0);
        else
            FUZZ_CHECK(fixed == want.substr(want.size() - tail, 255));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // A module callback over an arbitrary range, with an arbitrary text.
    const int32_t upper = in.ConsumeIntegral<int32_t>(), lower = in.ConsumeIntegral<int32_t>();
    g_callbackText = in.ConsumeRandomLengthString(600);
    g_callbackText = g_callbackText.c_str();  // as a C string
    auto& callbacks = TnModuleErrorCallbackList::GetInstance();
    const bool registered = in.ConsumeBool();
    if (registered)
        FUZZ_CHECK(callbacks.SetModuleErrorCallback(CallbackText, upper, lower) ==
                   (upper < lower ? ERR_TN_PARAMETER_NOT_VALID : 0));
    while (in.remaining_bytes() > 0) {
        std::string prefix = in.ConsumeRandomLengthString(400);
        prefix = prefix.c_str();
        int code;
        switch (mvfuzz::Pick(in, 4)) {
            case 0:
                code = in.ConsumeIntegralInRange(-3200, 3200);
                break;
            case 1:
                code = in.ConsumeBool() ? INT_MIN : INT_MAX;
                break;
            case 2:
                code = in.ConsumeIntegralInRange(std::min(lower, upper), std::max(lower, upper));
                break;
            default:
                code = in.ConsumeIntegral<int>();
                break;
        }
        const bool withPrefix = in.ConsumeBool();
        const bool inRange = registered && lower < code && code < upper;
        if (code != 0 && inRange &&
            !((code >= -3099 && code <= -3001) || (code >= 3001 && code <= 3003)))
            FUZZ_CHECK(g_callbackText == TnError(nullptr, nullptr, code, 1));
        Check(TnError, false, prefix, withPrefix, code);
        Check(TnLoginError, true, prefix, withPrefix, code);
    }
    if (registered && upper >= lower)
        FUZZ_CHECK(callbacks.SetModuleErrorCallback(nullptr, upper, lower) == 0);
    return 0;
}
