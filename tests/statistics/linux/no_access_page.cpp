// Linux: a page that faults on every access, for the collector's fault guard.
#include <sys/mman.h>

#include "statistics/prf_fixture.h"

namespace prftest {

void* NoAccessPage() {
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return page == MAP_FAILED ? nullptr : page;
}

void FreeNoAccessPage(void* page) {
    munmap(page, 4096);
}

}  // namespace prftest
