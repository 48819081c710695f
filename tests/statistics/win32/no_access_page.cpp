// Windows: a page that faults on every access, for the collector's fault guard.
#include <windows.h>

namespace prftest {

void* NoAccessPage() {
    return VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS);
}

void FreeNoAccessPage(void* page) {
    VirtualFree(page, 0, MEM_RELEASE);
}

}  // namespace prftest
