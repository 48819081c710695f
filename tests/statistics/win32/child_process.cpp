// Windows: a helper process is created with two inherited pipe ends as its standard
// input and output.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>

#include "statistics/multiprocess.h"

namespace prftest {

struct ChildProcess {
    HANDLE process;
};

ChildProcess* StartChild(const char* program, std::FILE** to, std::FILE** from) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE inRead, inWrite, outRead, outWrite;
    if (!CreatePipe(&inRead, &inWrite, &inherit, 0)) return nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) {
        CloseHandle(inRead);
        CloseHandle(inWrite);
        return nullptr;
    }
    // The test's own ends stay in the test.
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION created{};
    std::string commandLine = std::string("\"") + program + "\"";
    const BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &created);
    CloseHandle(inRead);
    CloseHandle(outWrite);
    if (!started) {
        CloseHandle(inWrite);
        CloseHandle(outRead);
        return nullptr;
    }
    CloseHandle(created.hThread);
    *to =
        _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(inWrite), _O_WRONLY | _O_BINARY), "wb");
    *from =
        _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(outRead), _O_RDONLY | _O_BINARY), "rb");
    return new ChildProcess{created.hProcess};
}

void KillChild(ChildProcess* child) {
    TerminateProcess(child->process, 1);
}

void WaitChild(ChildProcess* child) {
    WaitForSingleObject(child->process, INFINITE);
    CloseHandle(child->process);
    delete child;
}

}  // namespace prftest
