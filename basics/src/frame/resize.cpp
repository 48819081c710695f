// Allocation with the process-wide out-of-memory handler, and the bridge from the C++
// runtime's new-handler to it.
#include <cstdio>
#include <new>

#include "frame.h"
#include "os/os.h"
#include "systemlog.h"

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
            return ERR_TN_FAILED;
        }
        return 0;
    }
    void* grown = mvos::Realloc(*block, size);
    if (grown == nullptr) {
        TnCallMemoryHandler(size);
        return ERR_TN_FAILED;
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

int mmFarResize(void** block, uint32_t size) {
    return ResizeBlock(block, size);
}

TnMemoryHandler mmTnSetHandler(TnMemoryHandler handler) {
    // The handler is never null: null puts the default back. There is no "new mode" to
    // set on this platform (malloc never calls the runtime's new-handler).
    TnMemoryHandler previous = g_memoryHandler;
    g_memoryHandler = handler != nullptr ? handler : TnDefaultMemoryHandler;
    return previous;
}

int32_t TnCallMemoryHandler(uint32_t size) {
    return g_memoryHandler(size);
}

namespace {
// The runtime's new-handler does not receive the size: the memory handler gets 0. A
// zero answer lets the allocation fail, as the runtime's contract wants.
void NewHandlerAdapter() {
    if (TnNewHandlerBridge(0) == 0) throw std::bad_alloc();
}
}  // namespace

int TnNewHandlerBridge(size_t size) {
    return TnCallMemoryHandler(size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size));
}

void* TnSetOurNewHandler(void* handler) {
    std::new_handler next =
        handler != nullptr ? reinterpret_cast<std::new_handler>(handler) : NewHandlerAdapter;
    return reinterpret_cast<void*>(std::set_new_handler(next));
}

int32_t TnDefaultMemoryHandler(uint32_t size) {
    static const char kFormat[] = "\n%s\n%s %lu %s\n";
    const unsigned long n = size;
    std::fprintf(stderr, kFormat, "Merivane runs out of memory.", "Tried to allocate", n,
                 "bytes of memory.");
    TnSystemLog()->Report(10, kFormat, "Merivane runs out of memory.", "Tried to allocate", n,
                          "bytes of memory.");
    TnMessage()->Show(nullptr, 0, kFormat, "Merivane runs out of memory.", "Tried to allocate", n,
                      "bytes of memory.");
    TARN_assert("Out of memory. Aborting!", "src\\resize", 172);
    return 0;
}
