// A module that answers the whole description protocol, for mvbasics module describe:
// its TnCheckDll refuses when the build is to be checked.
#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT const char* TnDescribeDll(unsigned* major, unsigned* minor, unsigned* release,
                                 unsigned* build, unsigned* patch, const char** moduleName,
                                 const char** buildDateTime, const char** fourth,
                                 int* compilerVersion, const char** compilerId,
                                 const char** extra) {
    *major = 12;
    *minor = 0;
    *release = 2;
    *build = 7;
    *patch = 1;
    *moduleName = "MV120tool100";
    *buildDateTime = "Dec 06 2026 08:00:00";
    *fourth = "fourth\x1b[2J";
    *compilerVersion = 1600;
    *compilerId = "test compiler";
    *extra = nullptr;
    return "Tool Test Module";
}

EXPORT void GETTNBASICSINFO(const char** compilerId, int* compilerVersion,
                            const char** descriptionWithVersion, const char** buildDate,
                            const char** moduleName) {
    *compilerId = "test compiler";
    *compilerVersion = 1600;
    *descriptionWithVersion = "Tool Test Module 12.0.2.7.1 ";
    *buildDate = "Dec 06 2026";
    *moduleName = "MV120tool100";
}

EXPORT int TnCheckDll(int flags) {
    return (flags & 0x4) != 0 && (flags & 0x20000000) == 0 ? -5004 : 0;
}
