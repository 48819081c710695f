// The mvbasics tool's commands: one source file each.
#ifndef MV_TOOLS_COMMANDS_H
#define MV_TOOLS_COMMANDS_H

// Each command receives the arguments after its own name and returns the exit status.
int CmdDemo(int argc, char** argv);   // demo.cpp
int CmdError(int argc, char** argv);  // error.cpp
int CmdPerf(int argc, char** argv);   // perf.cpp

#endif
