// The module loader: finds the runtime's modules by base name, loads and releases
// them, looks up their entry points and reads their self-descriptions.
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "frame.h"
#include "loader.h"
#include "os/os.h"
#include "services/heap.h"
#include "services/tool_interface.h"
#include "systemlog.h"

namespace {

constexpr size_t kTextSize = 1024;
constexpr size_t kPathSize = 1024;
constexpr size_t kConfiguredDirSize = 4096;
constexpr size_t kErrTextChars = 512;
const char kUnknown[] = "<unknown>";

// The shared text buffer of GetErrText, GetPhysicalModuleName and TnGetDescription.
char g_text[kTextSize];

// The self-description entry point every module of the runtime exports, this one included.
using DescribeFn = decltype(&TnDescribeDll);

mvos::ModuleHandle Native(const TnModuleHandle* handle) {
    return static_cast<mvos::ModuleHandle>(handle->m_module);
}

// The settings read afresh on every load.
struct LoadSettings {
    int16_t report = 0;                       // "loadModule" in section "debug"
    char directory[kConfiguredDirSize] = {};  // "defaultModulePath", top level
};

void ReadSettings(LoadSettings* settings) {
    TnConfig* config = DefaultConfig(TN_DEFAULT_CONFIG_QUERY);
    if (config == nullptr) return;
    static const char* const kDebug[] = {"debug", nullptr};
    static const char* const kTopLevel[] = {nullptr};
    config->LookupFlag("loadModule", &settings->report, kDebug);
    char* directory = settings->directory;
    config->LookupString("defaultModulePath", &directory, kTopLevel);
    settings->directory[kConfiguredDirSize - 1] = '\0';
}

// Joins texts into the bounded path buffer; false when the path does not fit.
bool JoinPath(char (&path)[kPathSize], std::initializer_list<const char*> parts) {
    size_t used = 0;
    for (const char* part : parts) {
        size_t length = std::strlen(part);
        if (used + length >= kPathSize) return false;
        std::memcpy(path + used, part, length);
        used += length;
    }
    path[used] = '\0';
    return used > 0;
}

// Who follows the search step by step (the mvbasics tool); null for a plain load.
struct SearchReport {
    MvbSearchStep step;
    void* context;
};

// Tries one path; the system error it leaves is kept for the failure report.
mvos::ModuleHandle TryLoad(const char* place, const char* path, uint32_t* lastError,
                           const SearchReport* report) {
    mvos::ModuleHandle module = mvos::LoadModule(path);
    if (module == nullptr) *lastError = mvos::LastError();
    if (report != nullptr) report->step(report->context, place, path, module ? 0 : *lastError);
    return module;
}

// The directory part of a path, its separator included ("" when there is none). A
// forward slash separates folders on every platform; Windows also has its backslash.
size_t DirectoryLength(const char* path) {
    size_t length = 0;
    for (const char* c = path; *c != '\0'; ++c)
        if (*c == '/' || *c == mvos::PathSeparator()) length = static_cast<size_t>(c - path) + 1;
    return length;
}

// The file-name part of a name: its directory and extension dropped.
void FileNamePart(const char* name, char (&out)[kPathSize]) {
    const char* base = name + DirectoryLength(name);
    size_t length = std::strlen(base);
    if (const char* dot = std::strrchr(base, '.')) length = static_cast<size_t>(dot - base);
    if (length >= kPathSize) length = kPathSize - 1;  // the join then fails as overlong
    std::memcpy(out, base, length);
    out[length] = '\0';
}

// The search, steps 2 to 5; null when every step failed, or at once when a path does
// not fit in the path buffer (an overlong directory or name fails the load).
mvos::ModuleHandle Search(const char* name, const LoadSettings& settings, uint32_t* lastError,
                          const SearchReport* report) {
    const char* suffix = mvos::ModuleSuffix();
    const char separator[2] = {mvos::PathSeparator(), '\0'};
    char path[kPathSize];
    mvos::ModuleHandle module = nullptr;

    // Configured directory.
    if (settings.directory[0] != '\0') {
        if (!JoinPath(path, {settings.directory, separator, name, suffix})) return nullptr;
        if ((module = TryLoad("configured directory (defaultModulePath)", path, lastError,
                              report)) != nullptr)
            return module;
    }

    // Beside this library: its directory and the requested name's file-name part.
    char own[kPathSize];
    size_t ownLength = mvos::OwnModuleFileName(own, sizeof own);
    if (ownLength > 0 && ownLength < sizeof own) {
        own[DirectoryLength(own)] = '\0';
        char file[kPathSize];
        FileNamePart(name, file);
        if (!JoinPath(path, {own, file, suffix})) return nullptr;
        if ((module = TryLoad("beside this library", path, lastError, report)) != nullptr)
            return module;
    }

    // The system's standard search, then the current directory and PATH.
    char fileName[kPathSize];
    if (!JoinPath(fileName, {name, suffix})) return nullptr;
    if ((module = TryLoad("the system's standard search", fileName, lastError, report)) != nullptr)
        return module;
    if (mvos::SearchPathForFile(fileName, path, sizeof path)) {
        module = TryLoad("current directory and PATH", path, lastError, report);
    } else if (report != nullptr) {
        report->step(report->context, "current directory and PATH", fileName, mvos::kFileNotFound);
    }
    return module;
}

void ReportToConsole(const char* text) {
    if (smp_io* console = GetConsole()) console->write(text, std::strlen(text));
}

void ReportFailure(const char* name, uint32_t lastError) {
    char text[kTextSize];
    const char* path = mvos::GetEnv("PATH");
    // Cut at the buffer's end (the last byte forced to NUL) when PATH is long.
    int n = std::snprintf(text, sizeof text,
                          "Loading of module '%s' failed.\nError code : %lu\nPath : '%.1024s'\n",
                          name, static_cast<unsigned long>(lastError), path != nullptr ? path : "");
    if (n < 0) text[0] = '\0';
    text[sizeof text - 1] = '\0';
    TnMessage()->Show(nullptr, 0, "%s", text);
    ReportToConsole(text);
}

void ReportSuccess(TnModuleHandle* handle) {
    const char* name = TnDynamicLoader::GetPhysicalModuleName(handle);
    TnMessage()->Show(nullptr, 0, "Using module: %s", name);
    ReportToConsole("Using module: ");
    ReportToConsole(name);
    ReportToConsole("\n");
}

// Copies a text where both it and the caller's buffer exist.
void CopyText(char* out, const char* text) {
    if (out != nullptr && text != nullptr) std::strcpy(out, text);
}

}  // namespace

void* TnModuleHandle::operator new(size_t size) noexcept {
    return mvb::services::AllocateObject(size);
}

void TnModuleHandle::operator delete(void* block) noexcept {
    mvos::Free(block);
}

int mvb::services::LoadModuleReporting(const char* name, TnModuleHandle*& handle,
                                       MvbSearchStep step, void* context) {
    handle = nullptr;
    LoadSettings settings;
    ReadSettings(&settings);
    uint32_t lastError = 0;
    const SearchReport report = {step, context};
    mvos::ModuleHandle module =
        name != nullptr ? Search(name, settings, &lastError, step != nullptr ? &report : nullptr)
                        : nullptr;
    if (module == nullptr) {
        if (settings.report) ReportFailure(name != nullptr ? name : "", lastError);
        return ERR_TN_COULD_NOT_LOAD_MODULE;
    }
    handle = new TnModuleHandle(module);
    if (handle == nullptr) {
        mvos::UnloadModule(module);
        return ERR_TN_COULD_NOT_LOAD_MODULE;
    }
    if (settings.report) ReportSuccess(handle);
    return 0;
}

int TnDynamicLoader::LoadModule(const char* name, int, TnModuleHandle*& handle) {
    return mvb::services::LoadModuleReporting(name, handle, nullptr, nullptr);
}

int TnDynamicLoader::UnloadModule(TnModuleHandle*& handle) {
    if (handle == nullptr) return ERR_TN_MODULE_HANDLE_INVALID;
    mvos::UnloadModule(Native(handle));
    delete handle;
    handle = nullptr;
    return 0;
}

int TnDynamicLoader::GetEntryPoint(const char* name, TnModuleHandle* handle, void*& entry) {
    entry = nullptr;
    if (handle == nullptr) return ERR_TN_MODULE_HANDLE_INVALID;
    void* address = mvos::ModuleSymbol(Native(handle), name);
    if (address == nullptr) return ERR_TN_COULD_NOT_GET_ENTRY;
    entry = address;
    return 0;
}

const char* TnDynamicLoader::GetErrText() {
    mvos::ErrorText(mvos::LastError(), g_text, kErrTextChars + 1);
    return g_text;
}

const char* TnDynamicLoader::GetPhysicalModuleName(TnModuleHandle* handle) {
    if (handle == nullptr) return kUnknown;
    size_t length = mvos::ModuleFileName(Native(handle), g_text, sizeof g_text);
    return length > 0 ? g_text : kUnknown;
}

int TnGetDescription(const char* name, char* fileName, unsigned int& major, unsigned int& minor,
                     unsigned int& release, unsigned int& build, unsigned int& patch, char* text1,
                     char* text2, char* text3, char* text4, char* text5, char* text6, int& number) {
    TnModuleHandle* handle = nullptr;
    int result = TnDynamicLoader::LoadModule(name, 0, handle);
    if (result < 0) return result;
    CopyText(fileName, TnDynamicLoader::GetPhysicalModuleName(handle));
    void* entry = nullptr;
    if (TnDynamicLoader::GetEntryPoint("TnDescribeDll", handle, entry) != 0) {
        TnDynamicLoader::UnloadModule(handle);
        return ERR_TN_COULD_NOT_GET_ENTRY;
    }
    const char *moduleName = nullptr, *buildDateTime = nullptr, *fourth = nullptr,
               *compilerId = nullptr, *extra = nullptr;
    const char* title =
        reinterpret_cast<DescribeFn>(entry)(&major, &minor, &release, &build, &patch, &moduleName,
                                            &buildDateTime, &fourth, &number, &compilerId, &extra);
    CopyText(text1, title);
    CopyText(text2, moduleName);
    CopyText(text3, buildDateTime);
    CopyText(text4, fourth);
    CopyText(text5, compilerId);
    CopyText(text6, extra);
    TnDynamicLoader::UnloadModule(handle);
    return 0;
}
