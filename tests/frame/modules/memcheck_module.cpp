// A memory-checking module for the tests: its function adds its first two arguments
// and stores the fourth into the int the third points at.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) int TarnMemoryCheck(void* a, void* b, void* c,
                                                                      void* d) {
    if (c != nullptr) *static_cast<int*>(c) = static_cast<int>(reinterpret_cast<intptr_t>(d));
    return static_cast<int>(reinterpret_cast<intptr_t>(a) + reinterpret_cast<intptr_t>(b));
}
