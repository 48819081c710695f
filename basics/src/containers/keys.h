// The comparison of TnVContainer::CompareInt64Keys, shared by that function and by the
// red-black tree's descents, which make it inline when a tree's compare function is that
// one: both give the same results by construction.
#ifndef MV_CONTAINERS_KEYS_H
#define MV_CONTAINERS_KEYS_H

#include <cstdint>
#include <cstring>

namespace mvb::containers {

// The signed 64-bit key at p, which may be unaligned.
inline int64_t Int64KeyAt(const void* p) {
    int64_t key;
    std::memcpy(&key, p, sizeof key);
    return key;
}

// -1, 0 or 1 as the probe's key is smaller than, equal to or greater than the element's.
inline int CompareInt64(int64_t probe, int64_t element) {
    return (probe > element) - (probe < element);
}

}  // namespace mvb::containers

#endif
