// The module's identity and description protocol, its file names and the host name.
#include <cstdio>
#include <cstring>

#include "frame.h"
#include "frame/lifecycle.h"
#include "frame/version.h"
#include "os/os.h"

namespace {

constexpr unsigned kMajor = MVB_VERSION_MAJOR, kMinor = MVB_VERSION_MINOR,
                   kRelease = MVB_VERSION_RELEASE, kBuild = MVB_VERSION_BUILD,
                   kPatch = MVB_VERSION_PATCH;
const char kVersionText[] = MVB_VERSION_TEXT " ";
const char kDescription[] = "Merivane Basic Algorithms";
const char kModuleName[] = MVB_MODULE_NAME;
const char kBuildDate[] = "Feb 19 2016";
const char kBuildDateTime[] = "Feb 19 2016 01:46:47";
constexpr int kCompilerVersion = 1600;
const char kCompilerId[] = "C++17 compiler " __VERSION__;
const char kFourthText[] = "unknown";
const char kExtraText[] = "";

// Rebuilt on every GETTNBASICSINFO call.
char g_descriptionWithVersion[sizeof kDescription + sizeof kVersionText + 1];

}  // namespace

int CheckTnVersionNumber(unsigned int major, unsigned int minor, unsigned int release,
                         unsigned int build, unsigned int patch, int flags) {
    if (major != kMajor || minor != kMinor || flags == 0) return ERR_TN_INCOMPATIBLE_VERSION;
    int result = 0;
    if ((flags & TN_VERSION_CHECK_RELEASE) && release != kRelease &&
        !(flags & TN_VERSION_WAIVE_RELEASE)) {
        result = ERR_TN_INCOMPATIBLE_VERSION;
    }
    if ((flags & TN_VERSION_CHECK_BUILD) && build != kBuild && !(flags & TN_VERSION_WAIVE_BUILD)) {
        result = ERR_TN_INCOMPATIBLE_VERSION;
    }
    if ((flags & TN_VERSION_CHECK_PATCH) && patch != kPatch && !(flags & TN_VERSION_WAIVE_PATCH)) {
        result = ERR_TN_INCOMPATIBLE_VERSION;
    }
    return result;
}

int TnCheckDll(int flags) {
    return CheckTnVersionNumber(kMajor, kMinor, kRelease, kBuild, kPatch,
                                flags | TN_VERSION_CHECK_BASE | TN_VERSION_CHECK_RELEASE);
}

const char* TnDescribeDll(unsigned int* major, unsigned int* minor, unsigned int* release,
                          unsigned int* build, unsigned int* patch, const char** moduleName,
                          const char** buildDateTime, const char** fourth, int* compilerVersion,
                          const char** compilerId, const char** extra) {
    *major = kMajor;
    *minor = kMinor;
    *release = kRelease;
    *build = kBuild;
    *patch = kPatch;
    *moduleName = kModuleName;
    *buildDateTime = kBuildDateTime;
    *fourth = kFourthText;
    *compilerVersion = kCompilerVersion;
    *compilerId = kCompilerId;
    *extra = kExtraText;
    return kDescription;
}

void GETTNBASICSINFO(const char** compilerId, int* compilerVersion,
                     const char** descriptionWithVersion, const char** buildDate,
                     const char** moduleName) {
    if (compilerId != nullptr) *compilerId = kCompilerId;
    if (compilerVersion != nullptr) *compilerVersion = kCompilerVersion;
    if (descriptionWithVersion != nullptr) {
        std::snprintf(g_descriptionWithVersion, sizeof g_descriptionWithVersion, "%s %s",
                      kDescription, kVersionText);
        *descriptionWithVersion = g_descriptionWithVersion;
    }
    if (buildDate != nullptr) *buildDate = kBuildDate;
    if (moduleName != nullptr) *moduleName = kModuleName;
}

void ___TnBasicsContext(int32_t) {}

int TnGetHostname(char* buffer, int32_t size) {
    uint32_t n = size > 0 ? static_cast<uint32_t>(size) : 0;
    mvos::ComputerName(buffer, &n);
    return 0;
}

// ---------------------------------------------------------------- module file names

const char* const DllNameClass::second_char = "";

DllNameClass::DllNameClass(const char* baseName, int32_t number)
    : m_baseName(baseName), m_number(number), m_name() {}

DllNameClass::DllNameClass(const DllNameClass& other)
    : m_baseName(other.m_baseName), m_number(other.m_number) {
    std::memcpy(m_name, other.m_name, sizeof m_name);
}

const char* DllNameClass::GetDllName() {
    if (m_number != 0) {
        std::snprintf(m_name, sizeof m_name, "%s%s%s%d%s%s", "MV", MVB_MODULE_VERSION_PART,
                      m_baseName != nullptr ? m_baseName : "", static_cast<int>(m_number), "100",
                      second_char);
    } else if (m_baseName != nullptr) {
        std::snprintf(m_name, sizeof m_name, "%s%s%s%s%s", "MV", MVB_MODULE_VERSION_PART,
                      m_baseName, "100", second_char);
    }
    return m_name;
}

char* DllNameClass::GetGenericDllName(const char* part, char* out) {
    std::sprintf(out, "%s%s%s%s", "MV", part != nullptr ? part : "", "100", second_char);
    return out;
}

DllNameClass& DllNameClass::operator=(const DllNameClass& other) {
    if (this == &other) return *this;
    DllNameClass source(other);
    const char* name = source.GetDllName();
    m_baseName = nullptr;
    m_number = 0;
    std::snprintf(m_name, sizeof m_name, "%s", name);
    return *this;
}

// ---------------------------------------------------------------- load

namespace mvb::lifecycle {
// The loader's step: the module handle is recorded before anything else runs.
void RecordModuleHandle() {
    mvos::OwnModule();
}
}  // namespace mvb::lifecycle
