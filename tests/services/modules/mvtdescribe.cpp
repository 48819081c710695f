// A test module that answers the self-description protocol.
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
