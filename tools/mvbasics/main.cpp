// mvbasics: the library's command-line tool and demo host.
#include <cstdio>
#include <cstring>

#include "commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int, char**);
    const char* help;
};

const Command kCommands[] = {
    {"demo", CmdDemo, "show the library at work, as a host module sees it"},
    {"error", CmdError, "<code>...  print the message text of result codes"},
    {"perf", CmdPerf, "register|unregister|watch|collect|prometheus  performance counters"},
};

int Usage() {
    std::fprintf(stderr, "usage: mvbasics <command> [arguments]\n");
    for (const Command& c : kCommands) std::fprintf(stderr, "  %-6s %s\n", c.name, c.help);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
    }
    return Usage();
}
