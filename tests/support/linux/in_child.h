// Linux: running checks in a forked child (its own zone settings, its own registry
// connection), for the tests that stay on Linux.
#ifndef MV_TESTS_SUPPORT_LINUX_IN_CHILD_H
#define MV_TESTS_SUPPORT_LINUX_IN_CHILD_H

#include <sys/wait.h>
#include <unistd.h>

// Runs check() in a forked child and returns its exit code (0: all checks held).
template <typename F>
int InChild(F check) {
    pid_t pid = fork();
    if (pid == 0) _exit(check());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

#endif
