// Arrays: the abstract dynamic array with its ordered operations, the contiguous array
// `TnCList`, the pointer array `TnLList` kept in a memory file, and `SortList`.
//
// Elements are fixed-size byte blocks addressed by a zero-based index and copied in and
// out by value. Result codes: 0 success; -501 no storage (or the array is full); -502
// index out of range, or key not found; -503 element size 0; -506 copy from another
// array type; -507 merge not supported; -508 duplicate refused; -2030 the sort's work
// element could not be obtained; -2106 no compare callback.
//
// Threads: an array is used by one thread at a time; different arrays may be used on
// different threads at once (they share nothing).
#ifndef MV_ARRAYS_H
#define MV_ARRAYS_H

#include "mvexport.h"

class MemFile;
class TnVArray;

// Orders two elements: negative when a comes first, 0 when equal, positive after. The
// ordered operations assume it is a consistent ordering and pass the array itself.
typedef int32_t (*TnArrayCompare)(const TnVArray* array, const void* a, const void* b);

class MVB_API TnVArray {
  public:
    TnVArray();
    explicit TnVArray(uint16_t elementSize);
    TnVArray(const TnVArray& other);
    TnVArray& operator=(const TnVArray&) = delete;
    // Leaves the fields recognisable: no callback, count and element size all ones.
    virtual ~TnVArray();

    virtual uint16_t GetType() const = 0;
    virtual uint32_t GetMaxCount() const;
    virtual uint32_t GetCurMaxCount() const = 0;
    virtual TnResult Init(uint16_t elementSize, uint32_t capacity) = 0;
    virtual TnResult SizeSet(uint32_t capacity) = 0;
    virtual void Clear() = 0;
    virtual TnResult Get(uint32_t index, void* output) const = 0;
    // Address of an element in place; null when out of range.
    virtual void* Element(uint32_t index) const = 0;
    // Inserts an unfilled element; its address, or null on failure.
    virtual void* PrepareInsert(uint32_t index) = 0;
    // element null: the new slot is left for the caller to fill.
    virtual TnResult Insert(uint32_t index, const void* element) = 0;
    virtual TnResult Update(uint32_t index, const void* element) = 0;
    virtual TnResult Delete(uint32_t index, int32_t shrink) = 0;
    virtual TnResult Copy(const TnVArray& source) = 0;

    // Inserts after any equal element that Search meets (-508 when duplicates are not
    // allowed); *position receives the new index. copy 0 leaves the new slot unfilled.
    virtual TnResult SortedInsert(const void* element, uint32_t* position, int32_t allowDuplicates,
                                  int32_t copy);
    // Binary search; 0 when found (*position its index), -502 when not (*position where
    // the key would go). Among equal elements, the first one the bisection meets.
    virtual TnResult Search(const void* key, uint32_t* position, void* output) const;
    // Compares the key with one element: -502 out of range, else the comparison.
    virtual TnResult SearchAt(uint32_t index, const void* key, void* output) const;
    // Quicksort with the pivot at the low end of each range; not stable, but its order of
    // equal elements is always the same for the same input.
    virtual TnResult Sort(uint16_t unused = 0);
    virtual TnResult Merge(const TnVArray& source, uint16_t unused);

    uint32_t Count() const { return m_count; }
    uint16_t ElementSize() const { return m_elementSize; }
    TnArrayCompare CompareCallback() const { return m_compare; }
    void SetCompareCallback(TnArrayCompare compare) { m_compare = compare; }

  protected:
    TnArrayCompare m_compare;
    uint32_t m_count;
    uint16_t m_elementSize;
};

// The contiguous array: one heap block, at most 32767 elements; the capacity doubles on
// growth and halves on request.
class MVB_API TnCList : public TnVArray {
  public:
    static constexpr uint16_t kType = 1;  // GetType() of every TnCList
    static constexpr uint16_t kMaxCount = 32767;

    TnCList();
    TnCList(uint16_t elementSize, int32_t initialCapacity, TnResult* rc = nullptr);
    TnCList(const TnCList& other);
    ~TnCList() override;

    uint16_t GetType() const override;
    uint32_t GetMaxCount() const override;
    uint32_t GetCurMaxCount() const override;
    TnResult Init(uint16_t elementSize, uint32_t capacity) override;
    TnResult SizeSet(uint32_t capacity) override;
    void Clear() override;
    TnResult Get(uint32_t index, void* output) const override;
    void* Element(uint32_t index) const override;
    void* PrepareInsert(uint32_t index) override;
    TnResult Insert(uint32_t index, const void* element) override;
    TnResult Update(uint32_t index, const void* element) override;
    TnResult Delete(uint32_t index, int32_t shrink) override;
    TnResult Copy(const TnVArray& source) override;

  protected:
    uint16_t m_maxCount;
    uint16_t m_capacity;
    unsigned char* m_data;
};

// The pointer array: elements kept in a memory file (segment size 8), element i at byte
// offset i x element size; no count limit. Its default element is a pointer.
class MVB_API TnLList : public TnVArray {
  public:
    static constexpr uint16_t kType = 2;  // GetType() of every TnLList and SortList

    TnLList();
    TnLList(uint16_t elementSize, uint32_t capacity, TnResult* rc = nullptr);
    TnLList(const TnLList& other);
    ~TnLList() override;

    uint16_t GetType() const override;
    uint32_t GetCurMaxCount() const override;
    TnResult Init(uint16_t elementSize, uint32_t capacity) override;
    TnResult SizeSet(uint32_t capacity) override;
    void Clear() override;
    TnResult Get(uint32_t index, void* output) const override;
    void* Element(uint32_t index) const override;
    void* PrepareInsert(uint32_t index) override;
    TnResult Insert(uint32_t index, const void* element) override;
    TnResult Update(uint32_t index, const void* element) override;
    TnResult Delete(uint32_t index, int32_t shrink) override;
    TnResult Copy(const TnVArray& source) override;

    // The index-th pointer slot; null when out of range. For pointer-sized elements.
    void** PtrElement(uint32_t index) const;
    // Appends n elements taken from source at its position (which does not move).
    TnResult Import(uint32_t n, MemFile& source);
    // A new array (same dynamic type) holding this one's contents; this one is left
    // empty. Null, with this array unchanged, when no memory is left. Caller owns it.
    TnLList* CreateCopyAndClear();

    MemFile* File() const { return m_file; }

  protected:
    uint32_t m_capacity;
    MemFile* m_file;
};

// A pointer array ordered by the compare callback given at construction.
class MVB_API SortList : public TnLList {
  public:
    SortList();
    SortList(uint16_t elementSize, TnArrayCompare compare, uint32_t capacity);
    SortList(const SortList& other);
    ~SortList() override;

    using TnLList::Init;
    TnResult Init(uint16_t elementSize, TnArrayCompare compare, uint32_t capacity);
};

#endif
