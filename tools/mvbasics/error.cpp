#include <cstdio>

#include "commands.h"
#include "mvbasics.h"

int CmdError(int, char**) {
    std::fprintf(stderr, "mvbasics error: not available yet\n");
    return 1;
}
