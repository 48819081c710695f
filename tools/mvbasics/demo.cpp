#include <cstdio>

#include "commands.h"
#include "mvbasics.h"

int CmdDemo(int, char**) {
    std::printf("Merivane Basics demo\n");
    return 0;
}
