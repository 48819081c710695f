// Runs the mvbasics tool as a child process and captures what it prints.
#ifndef MV_TESTS_TOOLS_TOOL_RUNNER_H
#define MV_TESTS_TOOLS_TOOL_RUNNER_H

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/scratch_dir.h"

namespace mvtest {

struct ToolRun {
    int status = -1;  // exit status, or -1 when the tool did not exit normally
    std::string out;
    std::string err;
};

// A tool started in the background; its standard streams go to files in scratch.
struct StartedTool {
    pid_t pid = -1;
    std::string outFile;
    std::string errFile;
};

// Starts the tool with the arguments; env entries ("NAME=value") are added to the
// environment, stdinText is its standard input. The registry and the event file of
// the run lie in scratch unless env names others.
inline StartedTool StartTool(const ScratchDir& scratch, std::vector<std::string> args,
                             std::vector<std::string> env = {}, const std::string& stdinText = "") {
    StartedTool tool;
    const std::string in = scratch.File("stdin");
    tool.outFile = scratch.File("stdout");
    tool.errFile = scratch.File("stderr");
    std::ofstream(in, std::ios::binary) << stdinText;
    args.insert(args.begin(), MVB_TOOL_PATH);
    env.insert(env.begin(), "MERIVANE_EVENT_LOG=" + scratch.File("events.jsonl"));
    env.insert(env.begin(), "MERIVANE_REGISTRY=" + scratch.File("registry.db"));
    tool.pid = fork();
    if (tool.pid == 0) {
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        const int fds[3] = {open(in.c_str(), O_RDONLY),
                            open(tool.outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                            open(tool.errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
        for (int i = 0; i < 3; ++i) dup2(fds[i], i);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return tool;
}

// The words of a command line without quotes: "perf watch 1" -> {"perf", "watch", "1"}.
inline std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// Waits for a started tool to end and collects what it printed.
inline ToolRun FinishTool(const StartedTool& tool) {
    int wstatus = 0;
    waitpid(tool.pid, &wstatus, 0);
    ToolRun run;
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    run.out = ReadFile(tool.outFile);
    run.err = ReadFile(tool.errFile);
    return run;
}

// Runs the tool to its end (arguments as for StartTool).
inline ToolRun RunTool(const ScratchDir& scratch, std::vector<std::string> args,
                       std::vector<std::string> env = {}, const std::string& stdinText = "") {
    return FinishTool(StartTool(scratch, std::move(args), std::move(env), stdinText));
}

}  // namespace mvtest

#endif
