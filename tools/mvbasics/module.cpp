// mvbasics module describe | find: a module of the runtime loaded as the library's loader
// loads it, and its answers to the description protocol (TnDescribeDll, GETTNBASICSINFO,
// TnCheckDll); or the loader's search shown place by place.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "cli.h"
#include "commands.h"
#include "ini_config.h"
#include "mvbasics.h"
#include "services/tool_interface.h"

namespace mvtool {
namespace {

using DescribeFn = decltype(&TnDescribeDll);
using BasicsInfoFn = decltype(&GETTNBASICSINFO);
using CheckFn = decltype(&TnCheckDll);

// A module's text: null stays null; at most 4 KiB is read from an unknown module.
nlohmann::json ModuleText(const char* text) {
    if (text == nullptr) return nullptr;
    return std::string(text, strnlen(text, 4096));
}

struct ModuleOptions {
    std::string module;
    std::string config;
    int checkFlags = TN_VERSION_CHECK_RELEASE;
    bool json = false;
};

// Unloads through the loader whatever it or the tool loaded.
struct HandleCloser {
    void operator()(TnModuleHandle* handle) const { TnDynamicLoader::UnloadModule(handle); }
};
using Module = std::unique_ptr<TnModuleHandle, HandleCloser>;

// ---------------------------------------------------------------- the search

std::string StatusText(uint32_t status) {
    if (status == 0) return "loaded";
    char text[512];
    const size_t n = MvbToolInterface()->errorText(status, text, sizeof text);
    return std::string(text, n < sizeof text ? n : 0);
}

// One place the search looked, with the system's reason taken at once (the loader's text
// of the last failure is kept only until the next attempt).
struct SearchStep {
    std::string place;
    std::string path;
    uint32_t status;
    std::string text;
};

void RecordStep(void* context, const char* place, const char* path, uint32_t status) {
    static_cast<std::vector<SearchStep>*>(context)->push_back(
        {place, path, status, StatusText(status)});
}

// Searches as TnDynamicLoader::LoadModule does; steps (may be null) receives each place.
Module Search(const std::string& name, std::vector<SearchStep>* steps) {
    TnModuleHandle* handle = nullptr;
    MvbToolInterface()->searchModule(name.c_str(), steps != nullptr ? RecordStep : nullptr, steps,
                                     &handle);
    return Module(handle);
}

// A FILE (a path with '/') is loaded from there alone, as the loader loads each place it
// tries; a NAME goes through the loader's search.
Module Load(const std::string& module, std::string* cause) {
    if (module.find('/') == std::string::npos) {
        Module loaded = Search(module, nullptr);
        if (!loaded) *cause = "the loader's search does not find it (see mvbasics module find)";
        return loaded;
    }
    void* native = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (native == nullptr) {
        const char* why = dlerror();
        *cause = std::string("cannot load: ") + (why != nullptr ? why : "unknown reason");
        return nullptr;
    }
    return Module(new TnModuleHandle(native));
}

// The host configuration the loader reads (defaultModulePath, debug.loadModule).
class HostConfig {
  public:
    bool Install(const std::string& path) {
        if (path.empty()) return true;
        if (!m_config.Load(path)) return false;
        DefaultConfig(&m_config);
        m_installed = true;
        return true;
    }
    ~HostConfig() {
        if (m_installed) DefaultConfig(nullptr);
    }

  private:
    IniConfig m_config;
    bool m_installed = false;
};

// ---------------------------------------------------------------- the description

template <typename Fn>
Fn EntryPoint(TnModuleHandle* handle, const char* name) {
    void* entry = nullptr;
    TnDynamicLoader::GetEntryPoint(name, handle, entry);
    return reinterpret_cast<Fn>(entry);
}

std::string VersionOf(const unsigned (&v)[5]) {
    char text[64];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u.%u", v[0], v[1], v[2], v[3], v[4]);
    return text;
}

nlohmann::json DescribeDll(TnModuleHandle* handle) {
    const DescribeFn describe = EntryPoint<DescribeFn>(handle, "TnDescribeDll");
    if (describe == nullptr) return nullptr;
    unsigned v[5] = {};
    const char *name = nullptr, *built = nullptr, *fourth = nullptr, *compiler = nullptr,
               *extra = nullptr;
    int compilerVersion = 0;
    const char* title = describe(&v[0], &v[1], &v[2], &v[3], &v[4], &name, &built, &fourth,
                                 &compilerVersion, &compiler, &extra);
    return {{"title", ModuleText(title)},          {"version", VersionOf(v)},
            {"module name", ModuleText(name)},     {"built", ModuleText(built)},
            {"fourth text", ModuleText(fourth)},   {"compiler", ModuleText(compiler)},
            {"compiler version", compilerVersion}, {"extra text", ModuleText(extra)}};
}

nlohmann::json BasicsInfo(TnModuleHandle* handle) {
    const BasicsInfoFn info = EntryPoint<BasicsInfoFn>(handle, "GETTNBASICSINFO");
    if (info == nullptr) return nullptr;
    const char *compiler = nullptr, *description = nullptr, *date = nullptr, *name = nullptr;
    int compilerVersion = 0;
    info(&compiler, &compilerVersion, &description, &date, &name);
    return {{"compiler", ModuleText(compiler)},
            {"compiler version", compilerVersion},
            {"description", ModuleText(description)},
            {"build date", ModuleText(date)},
            {"module name", ModuleText(name)}};
}

nlohmann::json CheckDll(TnModuleHandle* handle, int flags) {
    const CheckFn check = EntryPoint<CheckFn>(handle, "TnCheckDll");
    if (check == nullptr) return nullptr;
    const int result = check(flags);
    const char* text = TnError(nullptr, nullptr, result, 1);
    return {{"flags", flags}, {"result", result}, {"text", ModuleText(text)}};
}

// "  name   value" lines of one entry point's answer, or that it is not exported.
void PrintAnswer(const char* entry, const nlohmann::json& answer, const char* order[]) {
    if (answer.is_null()) {
        std::printf("%s: not exported\n", entry);
        return;
    }
    std::printf("%s:\n", entry);
    for (const char** key = order; *key != nullptr; ++key) {
        const nlohmann::json& value = answer[*key];
        const std::string shown = value.is_string() ? TerminalText(value.get<std::string>())
                                  : value.is_null() ? "(null)"
                                                    : value.dump();
        std::printf("  %-18s %s\n", *key, shown.c_str());
    }
}

void PrintDescription(const nlohmann::json& d) {
    std::printf("file: %s\n", TerminalText(d["file"].get<std::string>()).c_str());
    static const char* kDescribe[] = {"title",       "version",  "module name",      "built",
                                      "fourth text", "compiler", "compiler version", "extra text",
                                      nullptr};
    static const char* kInfo[] = {"description", "module name",      "build date",
                                  "compiler",    "compiler version", nullptr};
    static const char* kCheck[] = {"flags", "result", "text", nullptr};
    PrintAnswer("TnDescribeDll", d["TnDescribeDll"], kDescribe);
    PrintAnswer("GETTNBASICSINFO", d["GETTNBASICSINFO"], kInfo);
    PrintAnswer("TnCheckDll", d["TnCheckDll"], kCheck);
}

int Describe(const ModuleOptions& options) {
    HostConfig config;
    if (!config.Install(options.config))
        return Fail(options.config, "cannot read the host configuration: " + SystemCause());
    std::string cause;
    const Module module = Load(options.module, &cause);
    if (!module) return Fail(options.module, cause);
    const nlohmann::json d = {{"file", TnDynamicLoader::GetPhysicalModuleName(module.get())},
                              {"TnDescribeDll", DescribeDll(module.get())},
                              {"GETTNBASICSINFO", BasicsInfo(module.get())},
                              {"TnCheckDll", CheckDll(module.get(), options.checkFlags)}};
    options.json ? PrintJson(d) : PrintDescription(d);
    if (d["TnDescribeDll"].is_null())
        return Fail(options.module,
                    "not a module of the runtime: it does not export TnDescribeDll");
    return kExitOk;
}

int Find(const ModuleOptions& options) {
    HostConfig config;
    if (!config.Install(options.config))
        return Fail(options.config, "cannot read the host configuration: " + SystemCause());
    std::vector<SearchStep> steps;
    const Module module = Search(options.module, &steps);
    const std::string taken = module ? TnDynamicLoader::GetPhysicalModuleName(module.get()) : "";
    nlohmann::json list = nlohmann::json::array();
    for (size_t i = 0; i < steps.size(); ++i) {
        const SearchStep& s = steps[i];
        const std::string status = StatusText(s.status);
        list.push_back(
            {{"place", s.place}, {"path", s.path}, {"status", s.status}, {"text", status}});
        if (!options.json)
            std::printf("%zu. %-40s %s\n   %s\n", i + 1, s.place.c_str(),
                        TerminalText(s.path).c_str(), TerminalText(s.text).c_str());
    }
    if (options.json) {
        PrintJson({{"name", options.module},
                   {"steps", list},
                   {"file", module ? nlohmann::json(taken) : nlohmann::json()}});
    } else if (module) {
        std::printf("takes: %s\n", TerminalText(taken).c_str());
    }
    if (!module) return Fail(options.module, "no place of the search has it");
    return kExitOk;
}

void AddModuleOptions(CLI::App* command, ModuleOptions& options) {
    command
        ->add_option("--config", options.config,
                     "the host's INI configuration the loader reads (defaultModulePath)")
        ->check(CLI::ExistingFile);
    command->add_flag("--json", options.json, "one JSON document");
}

}  // namespace

void AddModuleCommand(CLI::App& app) {
    CLI::App* module =
        app.add_subcommand("module", "the runtime's modules as the library's loader finds them");
    auto describeOptions = std::make_shared<ModuleOptions>();
    CLI::App* describe = module->add_subcommand(
        "describe", "load a module and print its TnDescribeDll, GETTNBASICSINFO and TnCheckDll");
    describe->footer(
        "A FILE (a path with a '/') is loaded from there alone; a NAME (e.g. MV120Mbs100, no\n"
        "suffix) is searched for as the loader searches (see mvbasics module find).");
    describe->add_option("module", describeOptions->module, "FILE or NAME")->required();
    describe
        ->add_option("--check-flags", describeOptions->checkFlags,
                     "the flags passed to TnCheckDll: 2 release, 4 build, 8 patch; "
                     "0x10000000, 0x20000000, 0x40000000 waive them")
        ->capture_default_str()
        ->check(CLI::Range(0, INT32_MAX));
    AddModuleOptions(describe, *describeOptions);
    OnRun(describe, [describeOptions] { return Describe(*describeOptions); });

    auto findOptions = std::make_shared<ModuleOptions>();
    CLI::App* find = module->add_subcommand(
        "find", "every place the loader's search looks for a module, and the file it takes");
    find->add_option("name", findOptions->module, "the module's name, without suffix")->required();
    AddModuleOptions(find, *findOptions);
    OnRun(find, [findOptions] { return Find(*findOptions); });
}

}  // namespace mvtool
