// Runs the mvbasics tool as a child process and captures what it prints.
#ifndef MV_TESTS_TOOLS_TOOL_RUNNER_H
#define MV_TESTS_TOOLS_TOOL_RUNNER_H

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Runs the tool with the arguments; env entries ("NAME=value") are added to the
// environment, stdinText is its standard input. The registry and the event file of
// the run lie in scratch unless env names others.
inline ToolRun RunTool(const ScratchDir& scratch, std::vector<std::string> args,
                       std::vector<std::string> env = {}, const std::string& stdinText = "") {
    const std::string in = scratch.File("stdin"), out = scratch.File("stdout"),
                      err = scratch.File("stderr");
    std::ofstream(in, std::ios::binary) << stdinText;
    args.insert(args.begin(), MVB_TOOL_PATH);
    env.insert(env.begin(), "MERIVANE_EVENT_LOG=" + scratch.File("events.jsonl"));
    env.insert(env.begin(), "MERIVANE_REGISTRY=" + scratch.File("registry.db"));
    const pid_t pid = fork();
    if (pid == 0) {
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        const int fds[3] = {open(in.c_str(), O_RDONLY),
                            open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                            open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
        for (int i = 0; i < 3; ++i) dup2(fds[i], i);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    ToolRun run;
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
}

}  // namespace mvtest

#endif
