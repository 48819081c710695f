#include <cstdio>

#include "commands.h"
#include "mvbasics.h"

int CmdPerf(int, char**) {
    std::fprintf(stderr, "mvbasics perf: not available yet\n");
    return 1;
}
