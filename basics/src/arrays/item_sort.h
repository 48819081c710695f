#ifndef MV_ARRAYS_ITEM_SORT_H
#define MV_ARRAYS_ITEM_SORT_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

// The sort behind the array sort's out-of-place ways. Items are copies of small elements
// with their index, or indices into the array; `less` calls the compare callback. Any sort will do
// here: the caller checks the result and uses only the ranks of equal items, never their order
// among themselves. This one is a quicksort that partitions in blocks whose comparisons do not
// branch (on random input a plain partition mispredicts every other comparison), moves the items
// equal to the pivot before the range aside in one pass (few distinct values), and finishes ranges
// that a partition found in order by insertion. Every scan is bounded by its range, so a callback
// that contradicts itself yields some permutation and nothing worse; a range that keeps
// partitioning badly goes to a heap sort.
namespace mvb::arrays::items {

constexpr ptrdiff_t kInsertionBelow = 24;  // ranges this small: insertion sort
constexpr ptrdiff_t kNintherAbove = 128;   // pivot: median of three medians above this
constexpr ptrdiff_t kBlock = 64;           // items classified per block of a partition
constexpr ptrdiff_t kFewMoves = 8;         // what an insertion sort of an ordered range may move

// Insertion sort of [begin, end); false as soon as it has moved items more than `limit`
// places in all (the range is then partly sorted).
template <typename T, typename Less>
bool InsertionSort(T* begin, T* end, Less& less, ptrdiff_t limit) {
    if (end - begin < 2) return true;
    ptrdiff_t moved = 0;
    for (T* cur = begin + 1; cur < end; ++cur) {
        if (!less(*cur, cur[-1])) continue;
        const T item = *cur;
        T* hole = cur;
        do {
            *hole = hole[-1];
            --hole;
        } while (hole > begin && less(item, hole[-1]));
        *hole = item;
        moved += cur - hole;
        if (moved > limit) return false;
    }
    return true;
}

template <typename T, typename Less>
void Order2(T* a, T* b, Less& less) {
    if (less(*b, *a)) std::swap(*a, *b);
}
template <typename T, typename Less>
void Order3(T* a, T* b, T* c, Less& less) {
    Order2(a, b, less);
    Order2(b, c, less);
    Order2(a, b, less);
}

template <typename T, typename Less>
void SiftDown(T* heap, ptrdiff_t n, ptrdiff_t hole, Less& less) {
    const T item = heap[hole];
    for (ptrdiff_t child = 2 * hole + 1; child < n; child = 2 * hole + 1) {
        if (child + 1 < n && less(heap[child], heap[child + 1])) ++child;
        if (!less(item, heap[child])) break;
        heap[hole] = heap[child];
        hole = child;
    }
    heap[hole] = item;
}
template <typename T, typename Less>
void HeapSort(T* begin, T* end, Less& less) {
    const ptrdiff_t n = end - begin;
    for (ptrdiff_t k = n / 2; k-- > 0;) SiftDown(begin, n, k, less);
    for (ptrdiff_t last = n - 1; last > 0; --last) {
        std::swap(begin[0], begin[last]);
        SiftDown(begin, last, 0, less);
    }
}

// Partitions [begin, end) around the pivot at begin, which is not above the item before
// begin: the items not above the pivot go left of it. Returns the pivot's place.
template <typename T, typename Less>
T* PartitionEqualLeft(T* begin, T* end, Less& less) {
    const T pivot = *begin;
    T* first = begin;
    T* last = end;
    for (;;) {
        do --last;
        while (last > begin && less(pivot, *last));
        do ++first;
        while (first < last && !less(pivot, *first));
        if (first >= last) break;
        std::swap(*first, *last);
    }
    *begin = *last;
    *last = pivot;
    return last;
}

// Partitions [begin, end) around the pivot at begin: the items below it go left of it.
// Returns the pivot's place; *inOrder tells whether no item had to move.
template <typename T, typename Less>
T* PartitionBelowLeft(T* begin, T* end, Less& less, bool* inOrder) {
    const T pivot = *begin;
    T* first = begin + 1;
    T* last = end;
    while (first < last && less(*first, pivot)) ++first;
    while (first < last && !less(last[-1], pivot)) --last;
    *inOrder = first >= last;
    if (first < last) {
        std::swap(*first, *--last);
        ++first;
        // Blocks: each side notes the offsets of its items that belong on the other side
        // (a comparison adds to a count, no jump), then the noted items are exchanged
        // pairwise. A side takes a new block when all of its noted items have moved.
        unsigned char offsetsL[kBlock], offsetsR[kBlock];
        T* baseL = first;
        T* baseR = last;
        ptrdiff_t numL = 0, numR = 0, startL = 0, startR = 0;
        while (first < last) {
            const ptrdiff_t unknown = last - first;
            const ptrdiff_t splitL = numL == 0 ? (numR == 0 ? unknown / 2 : unknown) : 0;
            const ptrdiff_t splitR = numR == 0 ? unknown - splitL : 0;
            for (ptrdiff_t i = 0, stop = std::min(splitL, kBlock); i < stop; ++i) {
                offsetsL[numL] = static_cast<unsigned char>(i);
                numL += !less(*first, pivot);
                ++first;
            }
            for (ptrdiff_t i = 0, stop = std::min(splitR, kBlock); i < stop; ++i) {
                offsetsR[numR] = static_cast<unsigned char>(i + 1);
                --last;
                numR += less(*last, pivot);
            }
            const ptrdiff_t num = std::min(numL, numR);
            for (ptrdiff_t k = 0; k < num; ++k)
                std::swap(baseL[offsetsL[startL + k]], baseR[-offsetsR[startR + k]]);
            numL -= num;
            numR -= num;
            startL += num;
            startR += num;
            if (numL == 0) {
                startL = 0;
                baseL = first;
            }
            if (numR == 0) {
                startR = 0;
                baseR = last;
            }
        }
        // What is left noted on one side goes to the far end of that side's scanned part.
        if (numL != 0) {
            while (numL-- > 0) std::swap(baseL[offsetsL[startL + numL]], *--last);
            first = last;
        }
        if (numR != 0) {
            while (numR-- > 0) std::swap(baseR[-offsetsR[startR + numR]], *first++);
        }
    }
    T* place = first - 1;
    *begin = *place;
    *place = pivot;
    return place;
}

// Sorts [begin, end). `leftmost`: no item before begin belongs to the sort's earlier
// pivots (else begin[-1] is one, not above any item of the range). `bad`: how many more
// unbalanced partitions the range may make before it goes to the heap sort.
template <typename T, typename Less>
void Sort(T* begin, T* end, Less& less, int bad, bool leftmost) {
    for (;;) {
        const ptrdiff_t size = end - begin;
        if (size < kInsertionBelow) {
            InsertionSort(begin, end, less, PTRDIFF_MAX);
            return;
        }
        // The pivot, a median, goes to begin.
        const ptrdiff_t half = size / 2;
        if (size > kNintherAbove) {
            Order3(begin, begin + half, end - 1, less);
            Order3(begin + 1, begin + (half - 1), end - 2, less);
            Order3(begin + 2, begin + (half + 1), end - 3, less);
            Order3(begin + (half - 1), begin + half, begin + (half + 1), less);
            std::swap(*begin, begin[half]);
        } else {
            Order3(begin + half, begin, end - 1, less);
        }
        // A pivot equal to the one before the range: all the items equal to it are done.
        if (!leftmost && !less(begin[-1], *begin)) {
            begin = PartitionEqualLeft(begin, end, less) + 1;
            continue;
        }
        bool inOrder;
        T* pivot = PartitionBelowLeft(begin, end, less, &inOrder);
        const ptrdiff_t left = pivot - begin, right = end - (pivot + 1);
        if (left < size / 8 || right < size / 8) {
            // Unbalanced: move a few items about so that the next pivots differ.
            if (--bad == 0) {
                HeapSort(begin, end, less);
                return;
            }
            if (left >= kInsertionBelow) {
                std::swap(begin[0], begin[left / 4]);
                std::swap(pivot[-1], pivot[-(left / 4)]);
                if (left > kNintherAbove) {
                    std::swap(begin[1], begin[left / 4 + 1]);
                    std::swap(begin[2], begin[left / 4 + 2]);
                    std::swap(pivot[-2], pivot[-(left / 4 + 1)]);
                    std::swap(pivot[-3], pivot[-(left / 4 + 2)]);
                }
            }
            if (right >= kInsertionBelow) {
                std::swap(pivot[1], pivot[1 + right / 4]);
                std::swap(end[-1], end[-(right / 4)]);
                if (right > kNintherAbove) {
                    std::swap(pivot[2], pivot[2 + right / 4]);
                    std::swap(pivot[3], pivot[3 + right / 4]);
                    std::swap(end[-2], end[-(1 + right / 4)]);
                    std::swap(end[-3], end[-(2 + right / 4)]);
                }
            }
        } else if (inOrder && InsertionSort(begin, pivot, less, kFewMoves) &&
                   InsertionSort(pivot + 1, end, less, kFewMoves)) {
            return;
        }
        // The smaller side by recursion, the larger one by the loop: log2(n) deep at most.
        if (left < right) {
            Sort(begin, pivot, less, bad, leftmost);
            begin = pivot + 1;
            leftmost = false;
        } else {
            Sort(pivot + 1, end, less, bad, false);
            end = pivot;
        }
    }
}

template <typename T, typename Less>
void SortItems(T* items, uint32_t n, Less less) {
    int log2n = 1;
    while ((uint64_t{1} << log2n) < n) ++log2n;
    Sort(items, items + n, less, log2n, true);
}

}  // namespace mvb::arrays::items

#endif
