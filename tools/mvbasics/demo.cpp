// mvbasics demo: a short guided tour of the library, one section per subsystem, each
// doing real work in a scratch folder that is removed at the end.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli.h"
#include "commands.h"
#include "demo_tour.h"
#include "ini_config.h"
#include "mvbasics.h"

namespace mvtool {
namespace {

namespace fs = std::filesystem;

const char kSampleIni[] =
    "; The demo host's own configuration (the library reads it through TnConfig).\n"
    "[test]\n"
    "growErrorCounter = 2\n"
    "[debug]\n"
    "memory = 0\n"
    "loadModule = 0\n";

// A private folder for the tour's files (registry, event file, sample INI), and the
// environment that points the library at it.
class Scratch {
  public:
    bool Create() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            (tmp != nullptr && *tmp ? tmp : "/tmp") + std::string("/mvbasics-demo-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr) return false;
        m_dir = pattern;
        setenv("MERIVANE_REGISTRY", (m_dir / "registry.db").c_str(), 1);
        setenv("MERIVANE_EVENT_LOG", (m_dir / "events.jsonl").c_str(), 1);
        // The tour's counter block and writer mutex must not meet a real runtime's.
        setenv("MERIVANE_IPC_NAMESPACE", (fs::path(m_dir).filename().string() + ".").c_str(), 1);
        return true;
    }
    const fs::path& Dir() const { return m_dir; }
    // Removes the folder unless asked to keep it; says which.
    void Finish(bool keep, const TourStyle& style) {
        std::error_code ignored;
        if (!keep) fs::remove_all(m_dir, ignored);
        std::printf("\n%s(scratch folder %s: %s)%s\n", style.dim, keep ? "kept" : "removed",
                    m_dir.c_str(), style.reset);
    }

  private:
    fs::path m_dir;
};

int Demo(const std::string& iniArgument, bool keep) {
    Scratch scratch;
    if (!scratch.Create()) return Fail("scratch folder", "cannot create: " + SystemCause());
    const TourStyle style = TourStyle::ForStdout();
    std::string iniPath = iniArgument;
    if (iniPath.empty()) {
        iniPath = (scratch.Dir() / "host.ini").string();
        std::ofstream(iniPath) << kSampleIni;
    }
    IniConfig config;
    if (!config.Load(iniPath)) {
        scratch.Finish(keep, style);
        return Fail(iniPath, "cannot read the host configuration: " + SystemCause());
    }
    DefaultConfig(&config);
    const int status = RunTour(style, scratch.Dir().string(), iniPath);
    DefaultConfig(nullptr);
    scratch.Finish(keep || std::getenv("MERIVANE_DEMO_KEEP") != nullptr, style);
    return status;
}

}  // namespace

void AddDemoCommand(CLI::App& app) {
    CLI::App* demo =
        app.add_subcommand("demo", "a short guided tour of the library, one section per subsystem");
    auto ini = std::make_shared<std::string>();
    auto keep = std::make_shared<bool>(false);
    demo->add_option("config", *ini, "the host's INI configuration (default: a sample)")
        ->check(CLI::ExistingFile);
    demo->add_flag("--keep", *keep,
                   "keep the scratch folder (registry, event file) and print where it is; "
                   "MERIVANE_DEMO_KEEP does the same");
    OnRun(demo, [=] { return Demo(*ini, *keep); });
}

}  // namespace mvtool
