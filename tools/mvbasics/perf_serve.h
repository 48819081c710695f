// mvbasics perf serve: the counters over HTTP for Prometheus to scrape.
#ifndef MV_TOOLS_PERF_SERVE_H
#define MV_TOOLS_PERF_SERVE_H

#include <CLI/CLI.hpp>
#include <string>

namespace mvtool {

void AddPerfServeCommand(CLI::App& perf);

// Splits "ADDR:PORT" ("[::1]:9464" for IPv6); false when it is not of that form or the
// port is outside 0..65535 (0 asks the system for a free port).
bool ParseListenAddress(const std::string& text, std::string* host, int* port);

}  // namespace mvtool

#endif
