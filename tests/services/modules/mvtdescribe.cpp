// A test module that answers the self-description protocol (TnDescribeDll,
// GETTNBASICSINFO, TnCheckDll).
#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT const char* TnDescribeDll(unsigned* major, unsigned* minor, unsigned* release,
                                 unsigned* build, unsigned* patch, const char** moduleName,
                                 const char** buildDateTime, const char** fourth,
                                 int* compilerVersion, const char** compilerId,
                                 const char** extra) {
    *major = 7;
    *minor = 1;
    *release = 2;
    *build = 3;
    *patch = 4;
    *moduleName = "MVtestdescribe";
    *buildDateTime = "Dec 05 2026 12:00:00";
    *fourth = "fourth";
    *compilerVersion = 1234;
    *compilerId = "test compiler";
    (void)extra;  // left null: the caller's buffer is not touched
    return "Test Describe Module";
}

EXPORT int TestModuleTag() {
    return 1;
}

// The rest of the description protocol, for mvbasics module describe.
EXPORT void GETTNBASICSINFO(const char** compilerId, int* compilerVersion,
                            const char** descriptionWithVersion, const char** buildDate,
                            const char** moduleName) {
    *compilerId = "test compiler";
    *compilerVersion = 1234;
    *descriptionWithVersion = "Test Describe Module 7.1.2.3.4 \x1b[2J";
    *buildDate = "Dec 05 2026";
    *moduleName = "MVtestdescribe";
}

// Refuses when the build is to be checked and not waived.
EXPORT int TnCheckDll(int flags) {
    return (flags & 0x4) != 0 && (flags & 0x20000000) == 0 ? -5004 : 0;
}
