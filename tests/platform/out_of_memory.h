// Test helper: every allocation through the OS layer fails while an OutOfMemory lives,
// and the size handed to the memory handler is recorded.
#ifndef MV_TESTS_PLATFORM_OUT_OF_MEMORY_H
#define MV_TESTS_PLATFORM_OUT_OF_MEMORY_H

#include "mvbasics.h"
#include "os/os_testing.h"

class OutOfMemory {
  public:
    OutOfMemory() : m_old(mmTnSetHandler(Record)) { Asked() = 0; }
    ~OutOfMemory() { mmTnSetHandler(m_old); }
    OutOfMemory(const OutOfMemory&) = delete;
    OutOfMemory& operator=(const OutOfMemory&) = delete;

    // The size of the last failed allocation reported to the memory handler.
    static uint32_t& Asked() {
        static uint32_t size = 0;
        return size;
    }

  private:
    static int32_t Record(uint32_t size) {
        Asked() = size;
        return 0;
    }
    static void* Fail(size_t) { return nullptr; }

    TnMemoryHandler m_old;
    mvos::ScopedSyscall<void* (*)(size_t)> m_fail{&mvos::SyscallTable::malloc, Fail};
};

#endif
