// mvbasics demo: the library at work, as a host module of the runtime sees it.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "commands.h"
#include "ini_config.h"
#include "mvbasics.h"

namespace {

const char kSampleIni[] =
    "; The demo host's own configuration (the library reads it through TnConfig).\n"
    "[test]\n"
    "growErrorCounter = 2\n"
    "[debug]\n"
    "memory = 0\n"
    "loadModule = 0\n";

void Heading(const char* text) {
    std::printf("\n== %s\n", text);
}

// Prints the events written to the event file since offset.
void ShowNewEvents(const std::string& file, std::streamoff offset) {
    std::ifstream in(file);
    in.seekg(offset);
    for (std::string line; std::getline(in, line);) std::printf("   %s\n", line.c_str());
}

std::streamoff FileSize(const std::string& file) {
    std::ifstream in(file, std::ios::ate);
    return in ? static_cast<std::streamoff>(in.tellg()) : 0;
}

int g_handled = 0;
int HostHandler(uint32_t code, void*) {
    ++g_handled;
    std::printf("   host handler: exception 0x%08X received, continuing execution\n",
                static_cast<unsigned>(code));
    return TN_EXCEPTION_CONTINUE_EXECUTION;
}

void HostFatalCallback(const char* expression, const char* file, int32_t line) {
    std::printf("   fatal-error callback: '%s' at %s:%d\n", expression, file,
                static_cast<int>(line));
    std::fflush(stdout);  // before the assertion text reaches standard error
}

}  // namespace

int CmdDemo(int argc, char** argv) {
    // Scratch files of this run, unless the caller points them elsewhere.
    std::string scratch = "/tmp/mvbasics-demo-" + std::to_string(getpid());
    std::string mk = "mkdir -p '" + scratch + "'";
    if (std::system(mk.c_str()) != 0) scratch = ".";
    if (std::getenv("MERIVANE_EVENT_LOG") == nullptr) {
        setenv("MERIVANE_EVENT_LOG", (scratch + "/events.jsonl").c_str(), 1);
    }
    if (std::getenv("MERIVANE_REGISTRY") == nullptr) {
        setenv("MERIVANE_REGISTRY", (scratch + "/registry.db").c_str(), 1);
    }
    const std::string events = std::getenv("MERIVANE_EVENT_LOG");

    std::printf("Merivane Basics demo host\n");

    // The host's configuration: the INI file given, or a sample.
    IniConfig config;
    std::string iniPath = argc > 0 ? argv[0] : scratch + "/mvbasics-demo.ini";
    if (argc == 0) std::ofstream(iniPath) << kSampleIni;
    if (!config.Load(iniPath)) {
        std::fprintf(stderr, "mvbasics demo: cannot read %s\n", iniPath.c_str());
        return 1;
    }
    DefaultConfig(&config);
    SetFatalErrorCallback(HostFatalCallback);

    Heading("Self-description (read through the module's exported entry points)");
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&TnDescribeDll), &info);
    void* module = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    if (module == nullptr) {
        std::fprintf(stderr, "mvbasics demo: %s\n", dlerror());
        return 1;
    }
    auto describe = reinterpret_cast<decltype(&TnDescribeDll)>(dlsym(module, "TnDescribeDll"));
    auto basicsInfo =
        reinterpret_cast<decltype(&GETTNBASICSINFO)>(dlsym(module, "GETTNBASICSINFO"));
    auto checkDll = reinterpret_cast<decltype(&TnCheckDll)>(dlsym(module, "TnCheckDll"));
    unsigned v[5];
    const char *name, *built, *fourth, *compiler, *extra, *withVersion, *date;
    int compilerVersion = 0;
    const char* title = describe(&v[0], &v[1], &v[2], &v[3], &v[4], &name, &built, &fourth,
                                 &compilerVersion, &compiler, &extra);
    std::printf("   file         %s\n", info.dli_fname);
    std::printf("   TnDescribeDll: \"%s\" %u.%u.%u.%u.%u, module %s, built %s\n", title, v[0], v[1],
                v[2], v[3], v[4], name, built);
    std::printf("                  fourth text \"%s\", compiler %d (%s), extra \"%s\"\n", fourth,
                compilerVersion, compiler, extra);
    basicsInfo(nullptr, nullptr, &withVersion, &date, nullptr);
    std::printf("   GETTNBASICSINFO: \"%s\", build date %s\n", withVersion, date);
    DllNameClass server("srv", 2);
    char generic[64];
    std::printf("   module names: %s, %s\n", server.GetDllName(),
                DllNameClass::GetGenericDllName("ab", generic));

    Heading("Version checks");
    struct {
        unsigned release, build, patch;
        int flags;
    } checks[] = {{2, 155, 0, 3}, {3, 155, 0, 2}, {3, 155, 0, 2 | 0x10000000}, {2, 155, 1, 8}};
    for (const auto& c : checks) {
        std::printf("   CheckTnVersionNumber(12, 0, %u, %u, %u, 0x%08X) = %d\n", c.release, c.build,
                    c.patch, static_cast<unsigned>(c.flags),
                    CheckTnVersionNumber(12, 0, c.release, c.build, c.patch, c.flags));
    }
    std::printf("   TnCheckDll(4 | 8) = %d\n", checkDll(4 | 8));

    Heading("Configuration (the host's INI file)");
    std::printf("   file %s\n", iniPath.c_str());
    TestHandlerReset();
    for (int i = 0; i < 3; ++i) {
        std::printf("   TestHandler(growth) = %d\n", TestHandler(1, nullptr, nullptr));
    }
    TestHandlerReset();

    Heading("System log (events also go to MERIVANE_EVENT_LOG)");
    std::printf("   event file %s\n", events.c_str());
    std::streamoff before = FileSize(events);
    TnSystemLog()->Report(3, "The demo host reports a warning (%d of %d).", 1, 1);
    ShowNewEvents(events, before);

    Heading("A failed assertion, caught by a host handler");
    void* cookie = TnAddExceptionHandler(HostHandler, nullptr);
    before = FileSize(events);
    std::fflush(stdout);
    int result = TARN_assert("demo_value == 42", "tools\\mvbasics\\demo", __LINE__);
    std::printf("   TARN_assert returned %d after %d handler call(s); the event it wrote:\n",
                result, g_handled);
    ShowNewEvents(events, before);
    TnRemoveExceptionHandler(cookie);

    Heading("Without a continuing handler the host's try/catch receives it");
    std::fflush(stdout);
    try {
        TARN_assert("second failure", "tools\\mvbasics\\demo", __LINE__);
    } catch (const TnException& e) {
        std::printf("   caught TnException with code 0x%08X\n", static_cast<unsigned>(e.Code()));
    }

    SetFatalErrorCallback(nullptr);
    DefaultConfig(nullptr);
    dlclose(module);
    if (argc == 0) {
        std::string rm = "rm -rf '" + scratch + "'";
        std::printf("\n(scratch files removed: %s)\n", scratch.c_str());
        if (std::getenv("MERIVANE_DEMO_KEEP") == nullptr && std::system(rm.c_str()) != 0) return 1;
    }
    return 0;
}
