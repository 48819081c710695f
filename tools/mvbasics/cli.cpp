// The command tree, its help screens and the exit-status conventions of the tool.
#include "cli.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "build_revision.h"
#include "commands.h"
#include "mvbasics.h"

namespace mvtool {

const char kExitCodesHelp[] =
    "Exit status: 0 success, 1 the operation failed, 2 usage error.\n"
    "Errors go to standard error, naming the object and the cause; results go to "
    "standard output.";

namespace {

int g_status = kExitOk;

// Edit distance of two short words, for "did you mean" hints.
size_t Distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = up;
        }
    }
    return row[b.size()];
}

std::vector<CLI::App*> CommandsOf(CLI::App* group) {
    return group->get_subcommands(std::function<bool(CLI::App*)>());
}

CLI::App* CommandNamed(CLI::App* group, const std::string& name) {
    for (CLI::App* command : CommandsOf(group)) {
        if (command->check_name(name)) return command;
    }
    return nullptr;
}

// The command path a help hint names: "mvbasics perf".
std::string PathOf(const CLI::App* command) {
    std::string path;
    for (; command != nullptr; command = command->get_parent()) {
        path = command->get_name() + (path.empty() ? "" : " " + path);
    }
    return path;
}

// Follows the words of the command line through the command tree. When a word names no
// command of a group that has commands, returns that group and the word.
CLI::App* FindUnknownCommand(CLI::App& app, int argc, char** argv, std::string* word) {
    CLI::App* at = &app;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.empty() || arg[0] == '-') continue;
        if (CommandsOf(at).empty()) return nullptr;
        CLI::App* next = CommandNamed(at, arg);
        if (next == nullptr) {
            *word = arg;
            return at;
        }
        at = next;
    }
    return nullptr;
}

int ReportUnknownCommand(CLI::App* group, const std::string& word) {
    std::fprintf(stderr, "mvbasics: unknown command '%s'", word.c_str());
    std::string best;
    size_t bestDistance = 3;
    for (CLI::App* command : CommandsOf(group)) {
        const std::string& name = command->get_name();
        const size_t d = name.rfind(word, 0) == 0 ? 0 : Distance(word, name);
        if (d < bestDistance) bestDistance = d, best = name;
    }
    if (!best.empty()) std::fprintf(stderr, "; did you mean '%s'?", best.c_str());
    std::fprintf(stderr, "\nRun '%s --help' for the list of commands.\n", PathOf(group).c_str());
    return kExitUsage;
}

// The deepest command the parser selected, for the hint after a usage error.
CLI::App* SelectedCommand(CLI::App& app) {
    CLI::App* at = &app;
    for (;;) {
        auto selected = at->get_subcommands();
        if (selected.empty()) return at;
        at = selected.front();
    }
}

void AddHelpCommand(CLI::App& app) {
    CLI::App* help = app.add_subcommand("help", "show the help of the tool or of a command");
    auto words = std::make_shared<std::vector<std::string>>();
    help->add_option("command", *words, "a command path, e.g. 'perf serve'");
    OnRun(help, [&app, words] {
        CLI::App* at = &app;
        for (const std::string& word : *words) {
            CLI::App* next = CommandNamed(at, word);
            if (next == nullptr) return ReportUnknownCommand(at, word);
            at = next;
        }
        std::cout << at->help();
        return static_cast<int>(kExitOk);
    });
}

// The UTF-8 bytes of code points that move or hide text on a terminal: the line and
// paragraph separators and the bidirectional controls.
bool IsFormatControl(const unsigned char* p, size_t left) {
    if (left < 3 || p[0] != 0xE2) return false;
    if (p[1] == 0x80) return p[2] == 0x8E || p[2] == 0x8F || (p[2] >= 0xA8 && p[2] <= 0xAE);
    return p[1] == 0x81 && p[2] >= 0xA6 && p[2] <= 0xA9;
}

// The command's own footer, if any, then the exit codes (a command made after the
// tool's footer was set inherits it already).
void EndHelpWithExitCodes(CLI::App* command) {
    const std::string own = command->get_footer();
    if (own.find(kExitCodesHelp) != std::string::npos) return;
    command->footer(own.empty() ? kExitCodesHelp : own + "\n" + kExitCodesHelp);
}

}  // namespace

void OnRun(CLI::App* command, std::function<int()> action) {
    command->callback([action] { g_status = action(); });
}

int RunStatus() {
    return g_status;
}

int Fail(const std::string& object, const std::string& cause) {
    std::fflush(stdout);
    std::fprintf(stderr, "mvbasics: %s: %s\n", object.c_str(), cause.c_str());
    return kExitFailed;
}

int UsageError(const std::string& object, const std::string& cause) {
    Fail(object, cause);
    return kExitUsage;
}

std::string SystemCause() {
    return std::strerror(errno);
}

void PrintJson(const nlohmann::json& document) {
    const std::string text =
        document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::printf("%s\n", text.c_str());
}

std::string TerminalText(const std::string& text) {
    std::string out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = p + text.size();
    char escape[12];
    while (p < end) {
        const size_t left = static_cast<size_t>(end - p);
        if (*p == '\r' || *p == '\n') {
            p += (*p == '\r' && left > 1 && p[1] == '\n') ? 2 : 1;
            out += " | ";
        } else if (*p < 0x20 || *p == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", *p++);
            out += escape;
        } else if (*p == 0xC2 && left > 1 && p[1] >= 0x80 && p[1] <= 0x9F) {  // C1 controls
            std::snprintf(escape, sizeof escape, "\\u%04x", p[1]);
            out += escape;
            p += 2;
        } else if (IsFormatControl(p, left)) {
            std::snprintf(escape, sizeof escape, "\\u%04x",
                          0x2000u + ((p[1] & 0x3Fu) << 6) + (p[2] & 0x3Fu));
            out += escape;
            p += 3;
        } else {
            out += static_cast<char>(*p++);
        }
    }
    return out;
}

std::string VersionText() {
    unsigned v[5] = {};
    const char *name = nullptr, *built = nullptr, *fourth = nullptr, *compiler = nullptr,
               *extra = nullptr;
    int compilerVersion = 0;
    TnDescribeDll(&v[0], &v[1], &v[2], &v[3], &v[4], &name, &built, &fourth, &compilerVersion,
                  &compiler, &extra);
    char text[256];
    std::snprintf(text, sizeof text, "mvbasics %s\nlibrary %s %u.%u.%u.%u.%u\nrevision %s",
                  MVB_TOOL_VERSION, name, v[0], v[1], v[2], v[3], v[4], MVB_BUILD_REVISION);
    return text;
}

void BuildApp(CLI::App& app) {
    app.name("mvbasics");
    app.description(
        "The Merivane Basics tool: look at the runtime's settings, events, modules, stored data "
        "and performance counters, and take the guided tour of the library (mvbasics demo).");
    app.footer(kExitCodesHelp);
    app.set_version_flag("--version", VersionText(), "print the tool's and the library's version");
    app.require_subcommand(1);
    app.get_formatter()->column_width(34);
    AddDemoCommand(app);
    AddErrorCommand(app);
    AddPerfCommand(app);
    AddRegistryCommand(app);
    AddDataCommands(app);
    AddLogCommand(app);
    AddModuleCommand(app);
    AddHelpCommand(app);
    // Every group needs one of its commands; every command's help ends with the exit codes.
    for (CLI::App* command : CommandsOf(&app)) {
        EndHelpWithExitCodes(command);
        if (!CommandsOf(command).empty()) command->require_subcommand(1);
        for (CLI::App* sub : CommandsOf(command)) EndHelpWithExitCodes(sub);
    }
}

int RunApp(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);  // --help, -h, --version: standard output, status 0
    } catch (const CLI::ParseError& e) {
        std::string word;
        if (CLI::App* group = FindUnknownCommand(app, argc, argv, &word))
            return ReportUnknownCommand(group, word);
        CLI::App* command = SelectedCommand(app);
        std::fflush(stdout);
        std::fprintf(stderr, "%s: %s\nRun '%s --help' for its usage.\n", PathOf(command).c_str(),
                     e.what(), PathOf(command).c_str());
        return kExitUsage;
    }
    std::fflush(stdout);
    return g_status;
}

}  // namespace mvtool
