// Test support: make the C heap fail, count the library's mallocs and the memory
// handler's calls.
#ifndef MV_TESTS_ALLOC_FAILURE_H
#define MV_TESTS_ALLOC_FAILURE_H

#include <climits>
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

// Every malloc and realloc of the library fails while this object lives.
class HeapFailure {
    mvos::ScopedSyscall<void* (*)(size_t)> m_malloc{&mvos::SyscallTable::malloc,
                                                    [](size_t) -> void* { return nullptr; }};
    mvos::ScopedSyscall<void* (*)(void*, size_t)> m_realloc{
        &mvos::SyscallTable::realloc, [](void*, size_t) -> void* { return nullptr; }};
};

// Both: the heap fails and the handler's calls are recorded.
struct OutOfMemory : CountingMemoryHandler, HeapFailure {};

// Counts the library's mallocs while it lives; only the first `served` of them succeed.
class CountedMalloc {
  public:
    explicit CountedMalloc(int served = INT_MAX) { Count() = 0, Served() = served; }
    static int& Count() {
        static int count = 0;
        return count;
    }

  private:
    static int& Served() {
        static int served = 0;
        return served;
    }
    static void* Malloc(size_t n) {
        return ++Count() > Served() ? nullptr : mvos::DefaultSyscalls().malloc(n);
    }
    mvos::ScopedSyscall<void* (*)(size_t)> m_hook{&mvos::SyscallTable::malloc, &Malloc};
};

}  // namespace mvtest

#endif
