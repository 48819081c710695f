// Conventions every mvbasics command follows: exit codes, where messages go, --json.
//
//   exit 0  success
//   exit 1  the operation failed (a file, key, module or block named on stderr)
//   exit 2  usage error (unknown command, bad or missing argument)
//
// Results go to standard output; errors go to standard error as
// "mvbasics: <object>: <cause>".
#ifndef MV_TOOLS_CLI_H
#define MV_TOOLS_CLI_H

#include <CLI/CLI.hpp>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

namespace mvtool {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,
    kExitUsage = 2,
};

// The text every help screen ends with.
extern const char kExitCodesHelp[];

// Makes action the command's work; its result becomes the tool's exit status.
void OnRun(CLI::App* command, std::function<int()> action);
// The exit status left by the command that ran.
int RunStatus();

// Prints "mvbasics: <object>: <cause>" to standard error and returns kExitFailed.
int Fail(const std::string& object, const std::string& cause);
// The same for a usage error found after parsing; returns kExitUsage.
int UsageError(const std::string& object, const std::string& cause);

// The cause of the last failed C library call (strerror of errno).
std::string SystemCause();

// Text from outside (a file, a module) made safe for a terminal: line breaks become
// " | ", control characters, C1 controls and the bidirectional and separator code
// points a visible escape ("\x1b", "\u202e"). Other bytes pass unchanged.
std::string TerminalText(const std::string& text);

// Prints one JSON document (or one line of a stream) to standard output.
void PrintJson(const nlohmann::json& document);

// Builds the whole command line; main() parses with it.
void BuildApp(CLI::App& app);
// Parses and runs; returns the exit status (help and --version print to stdout, 0).
int RunApp(CLI::App& app, int argc, char** argv);

// "mvbasics <version> ..." as --version prints it.
std::string VersionText();

}  // namespace mvtool

#endif
