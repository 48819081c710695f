// Linux: a helper process is forked and executed with two pipes.
#include "statistics/multiprocess.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace prftest {

struct ChildProcess {
    pid_t pid;
};

ChildProcess* StartChild(const char* program, std::FILE** to, std::FILE** from) {
    int in[2];
    int out[2];
    if (pipe(in) != 0) return nullptr;
    if (pipe(out) != 0) {
        close(in[0]);
        close(in[1]);
        return nullptr;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    if (pid < 0) {
        close(in[1]);
        close(out[0]);
        return nullptr;
    }
    *to = fdopen(in[1], "w");
    *from = fdopen(out[0], "r");
    return new ChildProcess{pid};
}

void KillChild(ChildProcess* child) {
    kill(child->pid, SIGKILL);
}

void WaitChild(ChildProcess* child) {
    waitpid(child->pid, nullptr, 0);
    delete child;
}

}  // namespace prftest
