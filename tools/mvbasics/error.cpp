// mvbasics error <code>...: prints "code -> text" for each result code and, for a code
// without a text of its own, which part of the runtime its range belongs to.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "cli.h"
#include "commands.h"
#include "error_ranges.h"
#include "mvbasics.h"

namespace mvtool {
namespace {

// A whole decimal argument within the range of a result code.
bool ParseCode(const std::string& text, int* code) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) {
        return false;
    }
    *code = static_cast<int>(value);
    return true;
}

int Explain(const std::vector<std::string>& words, bool json) {
    int status = kExitOk;
    for (const std::string& word : words) {
        int code = 0;
        if (!ParseCode(word, &code)) {
            status = UsageError("'" + word + "'", "not a result code (a whole number)");
            continue;
        }
        const char* text = TnError(nullptr, nullptr, code, 1);
        const std::string range = RangeOfCode(code);
        if (json) {
            PrintJson({{"code", code}, {"text", text}, {"range", range}});
        } else {
            std::printf("%d -> %s\n", code, text);
            if (!HasOwnText(code, text)) std::printf("   range: %s\n", range.c_str());
        }
    }
    return status;
}

}  // namespace

void AddErrorCommand(CLI::App& app) {
    CLI::App* cmd = app.add_subcommand(
        "error", "the message text of result codes, or the range of a code without one");
    auto codes = std::make_shared<std::vector<std::string>>();
    auto json = std::make_shared<bool>(false);
    cmd->add_option("code", *codes, "result codes, e.g. -2008 or 9004")->required();
    cmd->add_flag("--json", *json, "one JSON object per code: code, text, range");
    OnRun(cmd, [codes, json] { return Explain(*codes, *json); });
}

}  // namespace mvtool
