// Heap objects of the platform services: allocated through the OS layer, with the
// memory handler told of a failure.
#ifndef MV_PLATFORM_HEAP_H
#define MV_PLATFORM_HEAP_H

#include <cstddef>

#include "frame.h"
#include "os/os.h"

namespace mvb::services {

// A block of size bytes, or null after one call of the memory handler with the size.
inline void* AllocateObject(size_t size) {
    void* block = mvos::Malloc(size);
    if (block == nullptr) TnCallMemoryHandler(static_cast<uint32_t>(size));
    return block;
}

}  // namespace mvb::services

#endif
