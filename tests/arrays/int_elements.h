// Arrays of 32-bit integers in the array tests: their order and their contents.
#ifndef MV_TESTS_ARRAYS_INT_ELEMENTS_H
#define MV_TESTS_ARRAYS_INT_ELEMENTS_H

#include <vector>

#include "arrays.h"

inline int32_t ByInt(const TnVArray*, const void* a, const void* b) {
    const int32_t x = *static_cast<const int32_t*>(a), y = *static_cast<const int32_t*>(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

inline std::vector<int32_t> Ints(const TnVArray& array) {
    std::vector<int32_t> out(array.Count());
    for (uint32_t i = 0; i < array.Count(); ++i) array.Get(i, &out[i]);
    return out;
}

#endif
