// The array sort; see sort_scheme.h for the three ways and why they agree.
#include "arrays/sort_scheme.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "arrays/item_sort.h"
#include "os/os.h"

namespace mvb::arrays {

namespace {

// Arrays below this count go straight to the in-place scheme: it needs no memory and
// its worst case is still small.
constexpr uint32_t kInPlaceBelow = 16;

// A block from the C heap that is given back at the end of the scope. A failure here
// is not an error: the sort then takes the in-place way.
template <typename T>
class HeapArray {
  public:
    explicit HeapArray(uint64_t count) : m_items(nullptr) {
        const uint64_t bytes = count * sizeof(T);
        if (count != 0 && bytes / sizeof(T) == count && static_cast<size_t>(bytes) == bytes)
            m_items = static_cast<T*>(mvos::Malloc(static_cast<size_t>(bytes)));
    }
    ~HeapArray() { mvos::Free(m_items); }
    HeapArray(const HeapArray&) = delete;
    HeapArray& operator=(const HeapArray&) = delete;
    T* get() const { return m_items; }
    T& operator[](uint64_t i) const { return m_items[i]; }
    explicit operator bool() const { return m_items != nullptr; }

  private:
    T* m_items;
};

// Works through the ranges that partitioning leaves: the smaller side next, the larger
// one waiting, so that at most log2(n) ranges ever wait. Any order of working through
// them makes the same partitions, as the ranges never overlap.
template <typename PartitionFn>
uint32_t RunPartitions(uint32_t n, PartitionFn partition) {
    struct Range {
        int64_t lo, hi;
    };
    Range waiting[64];
    uint32_t pending = 0, deepest = 0;
    int64_t lo = 0, hi = int64_t{n} - 1;
    for (;;) {
        while (lo < hi) {
            const int64_t p = partition(lo, hi);
            if (p - lo < hi - p) {
                if (p + 1 < hi) waiting[pending++] = Range{p + 1, hi};
                hi = p - 1;
            } else {
                if (lo < p - 1) waiting[pending++] = Range{lo, p - 1};
                lo = p + 1;
            }
            if (pending > deepest) deepest = pending;
        }
        if (pending == 0) return deepest;
        --pending;
        lo = waiting[pending].lo;
        hi = waiting[pending].hi;
    }
}

// Range maxima and minima over the ranks, to find where the scans of a partition stop.
class RankTree {
  public:
    RankTree(const uint32_t* ranks, uint32_t n)
        : m_leaves(LeavesFor(n)), m_max(2 * uint64_t{m_leaves}), m_min(2 * uint64_t{m_leaves}) {
        if (!m_max || !m_min) return;
        for (uint32_t k = 0; k < m_leaves; ++k) {
            m_max[m_leaves + k] = k < n ? ranks[k] : 0;
            m_min[m_leaves + k] = k < n ? ranks[k] : UINT32_MAX;
        }
        for (uint32_t node = m_leaves - 1; node > 0; --node) Pull(node);
    }
    bool Ready() const { return m_max && m_min; }

    void Set(uint32_t k, uint32_t rank) {
        uint32_t node = m_leaves + k;
        m_max[node] = m_min[node] = rank;
        for (node /= 2; node > 0; node /= 2) Pull(node);
    }
    // First index in [a, b] whose rank is above pivot, or -1.
    int64_t FirstAbove(int64_t a, int64_t b, uint32_t pivot) const {
        return a > b ? -1 : FirstAbove(1, 0, m_leaves - 1, a, b, pivot);
    }
    // Last index in [a, b] whose rank is at most pivot, or -1.
    int64_t LastAtMost(int64_t a, int64_t b, uint32_t pivot) const {
        return a > b ? -1 : LastAtMost(1, 0, m_leaves - 1, a, b, pivot);
    }

  private:
    static uint32_t LeavesFor(uint32_t n) {
        uint64_t leaves = 1;
        while (leaves < n) leaves *= 2;
        return leaves > (uint64_t{1} << 31) ? 0 : static_cast<uint32_t>(leaves);
    }
    void Pull(uint32_t node) {
        m_max[node] = std::max(m_max[2 * node], m_max[2 * node + 1]);
        m_min[node] = std::min(m_min[2 * node], m_min[2 * node + 1]);
    }
    int64_t FirstAbove(uint32_t node, int64_t nl, int64_t nr, int64_t a, int64_t b,
                       uint32_t pivot) const {
        if (nr < a || nl > b || m_max[node] <= pivot) return -1;
        if (nl == nr) return nl;
        const int64_t mid = nl + (nr - nl) / 2;
        const int64_t left = FirstAbove(2 * node, nl, mid, a, b, pivot);
        return left >= 0 ? left : FirstAbove(2 * node + 1, mid + 1, nr, a, b, pivot);
    }
    int64_t LastAtMost(uint32_t node, int64_t nl, int64_t nr, int64_t a, int64_t b,
                       uint32_t pivot) const {
        if (nr < a || nl > b || m_min[node] > pivot) return -1;
        if (nl == nr) return nl;
        const int64_t mid = nl + (nr - nl) / 2;
        const int64_t right = LastAtMost(2 * node + 1, mid + 1, nr, a, b, pivot);
        return right >= 0 ? right : LastAtMost(2 * node, nl, mid, a, b, pivot);
    }

    uint32_t m_leaves;
    HeapArray<uint32_t> m_max;
    HeapArray<uint32_t> m_min;
};

// Input already in order, with no equal elements that differ in their bytes, is its own
// result; input strictly in reverse order has its reverse as result. True when one of
// the two applied (checked before any memory is taken).
bool SortPresorted(const TnVArray& array, TnArrayCompare compare, void* work) {
    const uint32_t n = array.Count();
    const size_t size = array.ElementSize();
    bool ascending = true, descending = true;
    for (uint32_t k = 1; k < n && (ascending || descending); ++k) {
        const void* a = array.Element(k - 1);
        const void* b = array.Element(k);
        const int32_t c = compare(&array, a, b);
        if (c > 0 || (c == 0 && std::memcmp(a, b, size) != 0)) ascending = false;
        if (c <= 0) descending = false;
    }
    if (ascending) return true;
    if (!descending) return false;
    for (uint32_t a = 0, b = n - 1; a < b; ++a, --b) {
        void* pa = array.Element(a);
        void* pb = array.Element(b);
        std::memcpy(work, pa, size);
        std::memcpy(pa, pb, size);
        std::memcpy(pb, work, size);
    }
    return true;
}

// A copy of a small element with its index in the array: sorting these reads each
// element where it lies in the sort's own buffer, with no index or pointer in between.
// Aligned at least as the element is in the array (its size's lowest power of two).
constexpr size_t CopyAlignment(size_t size) {
    return size % 16 == 0 ? 16 : size % 8 == 0 ? 8 : 4;
}
template <size_t N>
struct alignas(CopyAlignment(N)) ElementCopy {
    unsigned char bytes[N];
    uint32_t index;
};

// The address of element k: computed in a block that holds the elements in index order,
// else asked of the array.
class ElementAt {
  public:
    explicit ElementAt(const TnVArray& array)
        : m_array(array), m_block(ContiguousElements(array)), m_size(array.ElementSize()) {}
    unsigned char* operator()(uint32_t k) const {
        return m_block != nullptr ? m_block + size_t{k} * m_size
                                  : static_cast<unsigned char*>(m_array.Element(k));
    }

  private:
    const TnVArray& m_array;
    unsigned char* m_block;
    size_t m_size;
};

// The out-of-place way for elements of N bytes. False when the in-place scheme must do
// the work instead (no memory, or a callback whose answers contradict each other).
template <size_t N>
bool SortCopies(const TnVArray& array, TnArrayCompare compare) {
    typedef ElementCopy<N> Copy;
    const uint32_t n = array.Count();
    HeapArray<Copy> copies(n);
    if (!copies) return false;
    const ElementAt at(array);
    for (uint32_t k = 0; k < n; ++k) {
        const unsigned char* element = at(k);
        if (element == nullptr) return false;
        std::memcpy(copies[k].bytes, element, N);
        copies[k].index = k;
    }
    Copy* const sorted = copies.get();
    items::SortItems(sorted, n, [&](const Copy& a, const Copy& b) {
        return compare(&array, a.bytes, b.bytes) < 0;
    });
    bool distinguishable = false;
    for (uint32_t i = 1; i < n; ++i) {
        const int32_t c = compare(&array, sorted[i - 1].bytes, sorted[i].bytes);
        if (c > 0) return false;
        if (c == 0 && std::memcmp(sorted[i - 1].bytes, sorted[i].bytes, N) != 0)
            distinguishable = true;
    }
    if (!distinguishable) {
        for (uint32_t i = 0; i < n; ++i) std::memcpy(at(i), sorted[i].bytes, N);
        return true;
    }
    // Equal elements that differ: their final order is the scheme's, replayed on ranks.
    // A second buffer takes the copies back in index order.
    HeapArray<uint32_t> rank(n), order(n);
    HeapArray<Copy> byIndex(n);
    if (!rank || !order || !byIndex) return false;
    uint32_t current = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (i > 0 && compare(&array, sorted[i - 1].bytes, sorted[i].bytes) < 0) ++current;
        rank[sorted[i].index] = current;
        byIndex[sorted[i].index] = sorted[i];
        order[i] = i;
    }
    uint32_t depth;
    if (!PartitionSortRanks(rank.get(), order.get(), n, &depth)) return false;
    for (uint32_t i = 0; i < n; ++i) std::memcpy(at(i), byIndex[order[i]].bytes, N);
    return true;
}

// The fast ways. False when the in-place scheme must do the work instead (no memory,
// or a callback whose answers contradict each other).
bool SortThroughIndex(const TnVArray& array, TnArrayCompare compare) {
    const uint32_t n = array.Count();
    const size_t size = array.ElementSize();
    HeapArray<unsigned char*> at(n);
    HeapArray<uint32_t> index(n), ranks(n);
    HeapArray<unsigned char> moved(uint64_t{n} * size);
    if (!at || !index || !ranks || !moved) return false;
    for (uint32_t k = 0; k < n; ++k) {
        at[k] = static_cast<unsigned char*>(array.Element(k));
        if (at[k] == nullptr) return false;
    }
    auto sameBytes = [&](uint32_t a, uint32_t b) { return std::memcmp(at[a], at[b], size) == 0; };

    for (uint32_t i = 0; i < n; ++i) index[i] = i;
    uint32_t* const sorted = index.get();
    items::SortItems(sorted, n,
                     [&](uint32_t a, uint32_t b) { return compare(&array, at[a], at[b]) < 0; });
    uint32_t* const rank = ranks.get();
    uint32_t current = 0;
    bool distinguishable = false;
    rank[sorted[0]] = 0;
    for (uint32_t i = 1; i < n; ++i) {
        const int32_t c = compare(&array, at[sorted[i - 1]], at[sorted[i]]);
        if (c > 0) return false;
        if (c < 0)
            ++current;
        else if (!sameBytes(sorted[i - 1], sorted[i]))
            distinguishable = true;
        rank[sorted[i]] = current;
    }
    if (distinguishable) {
        // Equal elements that differ: their final order is the scheme's, replayed on ranks.
        for (uint32_t i = 0; i < n; ++i) sorted[i] = i;
        uint32_t depth;
        if (!PartitionSortRanks(rank, sorted, n, &depth)) return false;
    }
    for (uint32_t i = 0; i < n; ++i) std::memcpy(&moved[i * size], at[sorted[i]], size);
    for (uint32_t i = 0; i < n; ++i) std::memcpy(at[i], &moved[i * size], size);
    return true;
}

// The out-of-place ways: elements of the common small sizes sorted as copies, any other
// size through an index.
bool SortOutOfPlace(const TnVArray& array, TnArrayCompare compare) {
    switch (array.ElementSize()) {
        case 1:
            return SortCopies<1>(array, compare);
        case 2:
            return SortCopies<2>(array, compare);
        case 4:
            return SortCopies<4>(array, compare);
        case 8:
            return SortCopies<8>(array, compare);
        case 12:
            return SortCopies<12>(array, compare);
        case 16:
            return SortCopies<16>(array, compare);
        default:
            return SortThroughIndex(array, compare);
    }
}

}  // namespace

uint32_t PartitionSortInPlace(const TnVArray& array, TnArrayCompare compare, void* work) {
    const size_t size = array.ElementSize();
    auto exchange = [&](int64_t a, int64_t b) {
        if (size == 0) return;
        void* pa = array.Element(static_cast<uint32_t>(a));
        void* pb = array.Element(static_cast<uint32_t>(b));
        std::memcpy(work, pa, size);
        std::memcpy(pa, pb, size);
        std::memcpy(pb, work, size);
    };
    auto at = [&](int64_t i) { return array.Element(static_cast<uint32_t>(i)); };
    return RunPartitions(array.Count(), [&](int64_t lo, int64_t hi) {
        // The pivot is compared where it lies; it moves only with the last exchange. The
        // first scan passes the pivot itself without asking (it equals itself), so that a
        // callback that denies this cannot move the pivot early and loop for ever.
        const void* pivot = at(lo);
        int64_t i = lo, j = hi;
        while (i < j) {
            while (i < hi && (i == lo || compare(&array, at(i), pivot) <= 0)) ++i;
            while (j > lo && compare(&array, at(j), pivot) > 0) --j;
            if (i < j) exchange(i, j);
        }
        if (j != lo) exchange(lo, j);
        return j;
    });
}

namespace {

// The plain scans on the ranks, given a budget of scan steps; false (with ranks and order
// in some intermediate arrangement) when the budget ran out.
bool PlainRankPartitions(uint32_t* ranks, uint32_t* order, uint32_t n, uint64_t budget,
                         uint32_t* depth) {
    uint64_t steps = 0;
    auto exchange = [&](int64_t a, int64_t b) {
        std::swap(ranks[a], ranks[b]);
        std::swap(order[a], order[b]);
    };
    *depth = RunPartitions(n, [&](int64_t lo, int64_t hi) {
        if (steps > budget) return lo;  // abandoned: finish the walk quickly
        const uint32_t pivot = ranks[lo];
        int64_t i = lo, j = hi;
        while (i < j) {
            const int64_t i0 = i, j0 = j;
            while (i < hi && ranks[i] <= pivot) ++i;
            while (j > lo && ranks[j] > pivot) --j;
            steps += static_cast<uint64_t>((i - i0) + (j0 - j)) + 1;
            if (i < j) exchange(i, j);
        }
        if (j != lo) exchange(lo, j);
        return j;
    });
    return steps <= budget;
}

// The same partitions with the scans' stops found in the tree: O(log n) per stop.
bool TreeRankPartitions(uint32_t* ranks, uint32_t* order, uint32_t n, uint32_t* depth) {
    RankTree tree(ranks, n);
    if (!tree.Ready()) return false;
    auto exchange = [&](int64_t a, int64_t b) {
        std::swap(ranks[a], ranks[b]);
        std::swap(order[a], order[b]);
        tree.Set(static_cast<uint32_t>(a), ranks[a]);
        tree.Set(static_cast<uint32_t>(b), ranks[b]);
    };
    *depth = RunPartitions(n, [&](int64_t lo, int64_t hi) {
        const uint32_t pivot = ranks[lo];
        int64_t i = lo, j = hi;
        while (i < j) {
            // Where the plain scans stop: the first element above the pivot (or hi), and
            // the last one not above it (or lo).
            const int64_t up = tree.FirstAbove(i, hi - 1, pivot);
            i = up < 0 ? hi : up;
            const int64_t down = tree.LastAtMost(lo + 1, j, pivot);
            j = down < 0 ? lo : down;
            if (i < j) exchange(i, j);
        }
        if (j != lo) exchange(lo, j);
        return j;
    });
    return true;
}

}  // namespace

bool PartitionSortRanks(uint32_t* ranks, uint32_t* order, uint32_t n, uint32_t* depth) {
    *depth = 0;
    if (n < 2) return true;
    // Plain scans first: on balanced partitions they cost about 1.4 n log2 n steps and
    // beat the tree. Past four times that (input in order, long runs), start again
    // from the saved arrangement with the tree.
    HeapArray<uint32_t> saved(2 * uint64_t{n});
    if (!saved) return false;
    std::memcpy(saved.get(), ranks, n * sizeof(uint32_t));
    std::memcpy(saved.get() + n, order, n * sizeof(uint32_t));
    uint64_t log2n = 1;
    while ((uint64_t{1} << log2n) < n) ++log2n;
    if (PlainRankPartitions(ranks, order, n, 6 * uint64_t{n} * log2n, depth)) return true;
    std::memcpy(ranks, saved.get(), n * sizeof(uint32_t));
    std::memcpy(order, saved.get() + n, n * sizeof(uint32_t));
    return TreeRankPartitions(ranks, order, n, depth);
}

void SortElements(const TnVArray& array, TnArrayCompare compare, void* work) {
    if (array.Count() >= kInPlaceBelow && array.ElementSize() != 0 &&
        (SortPresorted(array, compare, work) || SortOutOfPlace(array, compare)))
        return;
    PartitionSortInPlace(array, compare, work);
}

}  // namespace mvb::arrays
