// Test support: make the C heap fail and count the memory handler's calls.
#ifndef MV_TESTS_ALLOC_FAILURE_H
#define MV_TESTS_ALLOC_FAILURE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "frame.h"
#include "os/os_testing.h"

namespace mvtest {

// Installs a memory handler that records each call (and lets the allocation fail) for
// the lifetime of the object, then puts the previous handler back.
class CountingMemoryHandler {
  public:
    CountingMemoryHandler() : m_previous(mmTnSetHandler(&Record)) { Sizes().clear(); }
    ~CountingMemoryHandler() { mmTnSetHandler(m_previous); }
    CountingMemoryHandler(const CountingMemoryHandler&) = delete;
    CountingMemoryHandler& operator=(const CountingMemoryHandler&) = delete;

    const std::vector<uint32_t>& Calls() const { return Sizes(); }

  private:
    static std::vector<uint32_t>& Sizes() {
        static std::vector<uint32_t> sizes;
        return sizes;
    }
    static int32_t Record(uint32_t size) {
        Sizes().push_back(size);
        return 0;
    }
    TnMemoryHandler m_previous;
};

inline void* FailMalloc(size_t) {
    return nullptr;
}
inline void* FailRealloc(void*, size_t) {
    return nullptr;
}

// Every malloc and realloc of the library fails while this object lives.
class HeapFailure {
  public:
    HeapFailure()
        : m_malloc(&mvos::SyscallTable::malloc, &FailMalloc),
          m_realloc(&mvos::SyscallTable::realloc, &FailRealloc) {}

  private:
    mvos::ScopedSyscall<void* (*)(size_t)> m_malloc;
    mvos::ScopedSyscall<void* (*)(void*, size_t)> m_realloc;
};

}  // namespace mvtest

#endif
