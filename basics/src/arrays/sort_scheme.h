// The array sort: quicksort partitions with the pivot at the low end of each range.
//
// Callers depend on the order in which this scheme leaves equal elements, so every way
// of sorting here ends in exactly the scheme's order. Three ways exist:
//  - in place on the elements, the scheme itself (small arrays, and whenever the fast
//    ways cannot get their memory or find the compare callback inconsistent);
//  - when no two elements compare equal, or all equal elements are bytewise identical,
//    there is only one sorted result, and any sort gives it: a quicksort of copies of
//    small elements with their index, or of an index for other sizes;
//  - otherwise the scheme's partitions replayed on integer ranks: first with plain scans
//    under a budget of steps, and when that runs out (input in order) again with a tree
//    of range minima and maxima that finds where each inner scan stops in logarithmic
//    time, so that ordered input no longer costs n*n/2 comparisons.
#ifndef MV_ARRAYS_SORT_SCHEME_H
#define MV_ARRAYS_SORT_SCHEME_H

#include <cstdint>
#include <typeinfo>

#include "arrays.h"

namespace mvb::arrays {

// The library's own arrays (TnCList, TnLList, SortList) keep their elements in one block
// in index order: the block's start, so that element k's address can be computed instead
// of asked of the virtual Element. Null for any other class, derived ones included (one
// may show its elements elsewhere, and a first and a last element that happen to lie
// where a block would put them prove nothing about the others), and when empty.
inline unsigned char* ContiguousElements(const TnVArray& array) {
    const uint32_t count = array.Count();
    if (count == 0) return nullptr;
    // The type information of these classes is emitted here, with their virtual
    // functions, so theirs is one object each: comparing addresses avoids comparing
    // names. Were it ever another copy, the elements would only be asked one by one.
    const std::type_info* type = &typeid(array);
    if (type != &typeid(TnCList) && type != &typeid(TnLList) && type != &typeid(SortList))
        return nullptr;
    auto* block = static_cast<unsigned char*>(array.Element(0));
    if (block == nullptr ||
        array.Element(count - 1) != block + size_t{count - 1} * array.ElementSize())
        return nullptr;
    return block;
}

// Sorts elements 0..count-1 of the array in place, exchanging through `work` (one
// element). Returns the greatest number of ranges that waited at once, which stays
// below log2(count) + 1.
uint32_t PartitionSortInPlace(const TnVArray& array, TnArrayCompare compare, void* work);

// Replays the partitions on ranks[0..n-1] (the elements' positions in a consistent
// order, equal elements sharing a rank): reorders ranks and order alike. Returns false
// when it cannot get its memory. *depth receives the greatest number of waiting ranges.
bool PartitionSortRanks(uint32_t* ranks, uint32_t* order, uint32_t n, uint32_t* depth);

// The whole sort of count >= 2 elements: the fastest way that gives the scheme's order.
void SortElements(const TnVArray& array, TnArrayCompare compare, void* work);

}  // namespace mvb::arrays

#endif
