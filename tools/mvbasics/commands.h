// The mvbasics tool's commands: each source file adds its own sub-command(s).
#ifndef MV_TOOLS_COMMANDS_H
#define MV_TOOLS_COMMANDS_H

#include <CLI/CLI.hpp>

namespace mvtool {

void AddDemoCommand(CLI::App& app);      // demo.cpp
void AddErrorCommand(CLI::App& app);     // error.cpp
void AddPerfCommand(CLI::App& app);      // perf.cpp
void AddRegistryCommand(CLI::App& app);  // registry.cpp
void AddDataCommands(CLI::App& app);     // datablocks.cpp: checksum, pack, unpack
void AddLogCommand(CLI::App& app);       // log.cpp
void AddModuleCommand(CLI::App& app);    // module.cpp: describe, find

}  // namespace mvtool

#endif
