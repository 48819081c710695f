// Allocation with the process-wide out-of-memory handler.
#include <cstdio>

#include "frame.h"
#include "os/os.h"
#include "syslog.h"

namespace {
TnMemoryHandler g_memoryHandler = TnDefaultMemoryHandler;

int ResizeBlock(void** block, uint32_t size) {
    if (size == 0) {
        if (*block != nullptr) {
            mvos::Free(*block);
            *block = nullptr;
        }
        return 0;
    }
    if (*block == nullptr) {
        *block = mvos::Malloc(size);
        if (*block == nullptr) {
            TnCallMemoryHandler(size);
            return -1;
        }
        return 0;
    }
    void* grown = mvos::Realloc(*block, size);
    if (grown == nullptr) {
        TnCallMemoryHandler(size);
        return -1;
    }
    *block = grown;
    return 0;
}
}  // namespace

int mmResize(unsigned char** block, uint32_t size) {
    void* p = *block;
    int rc = ResizeBlock(&p, size);
    *block = static_cast<unsigned char*>(p);
    return rc;
}

int mmFarResize(void** block, uint32_t size) { return ResizeBlock(block, size); }

TnMemoryHandler mmTnSetHandler(TnMemoryHandler handler) {
    TnMemoryHandler previous = g_memoryHandler;
    g_memoryHandler = handler;
    return previous;
}

int32_t TnCallMemoryHandler(uint32_t size) { return g_memoryHandler(size); }

int32_t TnDefaultMemoryHandler(uint32_t size) {
    static const char kFormat[] = "\n%s\n%s %lu %s\n";
    const unsigned long n = size;
    std::fprintf(stderr, kFormat, "Merivane runs out of memory.", "Tried to allocate", n,
                 "bytes of memory.");
    TnSystemLog()->Report(10, kFormat, "Merivane runs out of memory.", "Tried to allocate", n,
                          "bytes of memory.");
    TnMessage()->Show(nullptr, 0, kFormat, "Merivane runs out of memory.", "Tried to allocate",
                      n, "bytes of memory.");
    TARN_assert("Out of memory. Aborting!", "src\\resize", 172);
    return 0;
}
