// Containers and iterators: the container framework driven by a table of element
// functions, red-black node trees with explicit path stacks, the red-black tree
// container and its iterator, entry caches and entry rings, and the bit stack.
//
// Threads: a container, its iterators and its entry cache are used by one thread at a
// time (the owner's lock, if any, covers them all); different containers share nothing.
#ifndef MV_CONTAINERS_H
#define MV_CONTAINERS_H

#include <cstring>

#include "mvexport.h"
#include "results.h"

class TnVContainer;
class TnVIterator;
class TnVParameter;

// ---------------------------------------------------------------- modes
// (result codes and iterator states: results.h)

// Mode word of container and iterator operations (combinable).
enum : uint16_t {
    TN_MODE_BACKWARDS = 0x0001,     // deletion through an iterator: end on the previous entry
    TN_MODE_INSERT_FIRST = 0x0004,  // insertion: go before equal entries instead of after
    TN_MODE_LAST = 0x0010,          // search: the last of the equal entries
    TN_MODE_FLOOR = 0x0020,         // search miss: position on the nearest entry before
    TN_MODE_CEILING = 0x0040,       // search miss: position on the nearest entry after
    TN_MODE_AFTER_START = 0x0100,   // search: continue after the parameter's startEntry
    TN_MODE_FOR_REMOVAL = 0x0200,   // search: keep the path to the found entry's neighbour
};

// ---------------------------------------------------------------- element function table

// The single argument of a container's compare function.
struct TnCompareArgs {
    TnVContainer* container;  // the container being searched
    int* keyResult;           // out: keys alone, 0 = equal keys
    int* orderResult;         // out: <0 probe before element, 0 same position, >0 after
    TnVIterator* probe;       // iterator on the probe entry, or null
    void* probeKey;           // key of the probe
    void* probeDat;           // data part of the probe, may be null
    void* element;            // the stored element compared against
    TnVParameter* param;      // caller's parameter, or null
};

// Builds the element at destination from a source (key and dat of the source entry).
typedef int (*TnCopyFunc)(TnVContainer* container, void* destination, TnVIterator* source,
                          void* key, void* dat, TnVParameter* param);
// Disposes of an element; null in the table means nothing to do.
typedef void (*TnDestroyFunc)(TnVContainer* container, void* element);
// Orders a probe against a stored element. Negative aborts the calling operation.
typedef int (*TnCompareFunc)(TnCompareArgs* args);
typedef void* (*TnKeyFunc)(TnVContainer* container, void* element, int* result,
                           TnVParameter* param);
typedef void* (*TnDatFunc)(TnVContainer* container, void* element, int* result,
                           TnVParameter* param);
typedef uint32_t (*TnFlagsFunc)(TnVContainer* container, void* element, int* result,
                                TnVParameter* param);

// ---------------------------------------------------------------- parameter

// Optional argument object passed through container operations.
class MVB_API TnVParameter {
  public:
    static constexpr uint16_t kType = 0;  // GetType() of a plain parameter

    TnVParameter();
    // Copying takes startEntry only; paramFlags of the target is kept (or 0 when new).
    TnVParameter(const TnVParameter& other);
    TnVParameter& operator=(const TnVParameter& other);
    virtual ~TnVParameter();
    virtual uint16_t GetType();

    void* startEntry;     // entry to continue after (searches with TN_MODE_AFTER_START)
    uint32_t paramFlags;  // bit 0: side bit of the container differ
};

// ---------------------------------------------------------------- container

class MVB_API TnVContainer {
  public:
    static constexpr uint16_t kType = 0;  // GetType() of a container without a type of its own
    // Bits of flags, the duplicate policy.
    static constexpr uint16_t kEqualKeysAllowed = 0x1;       // equal keys that differ in order
    static constexpr uint16_t kFullDuplicatesAllowed = 0x2;  // entries that compare fully equal

    TnVContainer(uint32_t elementSize = 0, uint16_t flags = 0);
    virtual ~TnVContainer();
    virtual TnVContainer* Clone(TnVContainer* target);
    virtual uint16_t GetType();
    virtual int Clear(TnTransactionContext* context, uint32_t* countOut, TnVContainer* other);
    virtual int ClearPending(TnTransactionContext* context);
    virtual int SearchElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                              TnVParameter* param, TnVIterator* result);
    virtual int InsertElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                              TnVParameter* param);
    virtual int DeleteElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                              TnVParameter* param);
    virtual void* GetElementOfEntry(void* entry);
    virtual TnVIterator* CreateIterator(TnTransactionContext* context);

    // Replacing entries of the function table (the operations never change it).
    void SetCopyFunc(TnCopyFunc f) { copyFunc = f; }
    void SetDestroyFunc(TnDestroyFunc f) { destroyFunc = f; }
    void SetCompareFunc(TnCompareFunc f) { compareFunc = f; }
    void SetKeyFunc(TnKeyFunc f) { keyFunc = f; }
    void SetDatFunc(TnDatFunc f) { datFunc = f; }
    void SetFlagsFunc(TnFlagsFunc f) { flagsFunc = f; }

    // The defaults the constructor installs.
    static int DefaultCopy(TnVContainer* container, void* destination, TnVIterator* source,
                           void* key, void* dat, TnVParameter* param);
    static int DefaultCompare(TnCompareArgs* args);
    // A ready-made compare function for elements that start with a signed 64-bit key
    // (any alignment), with a probe key pointing at one: keyResult and orderResult are both
    // -1, 0 or 1 as the probe's key is smaller, equal or greater; returns 0. The red-black
    // tree recognises it and compares such keys inline, with the same results.
    static int CompareInt64Keys(TnCompareArgs* args);
    static void* DefaultKey(TnVContainer* container, void* element, int* result,
                            TnVParameter* param);
    static void* DefaultDat(TnVContainer* container, void* element, int* result,
                            TnVParameter* param);
    static uint32_t DefaultFlags(TnVContainer* container, void* element, int* result,
                                 TnVParameter* param);

    uint32_t count;        // number of entries
    uint32_t elementSize;  // bytes of one element
    uint16_t flags;        // duplicate policy: kEqualKeysAllowed, kFullDuplicatesAllowed
    TnCopyFunc copyFunc;
    TnDestroyFunc destroyFunc;
    TnCompareFunc compareFunc;
    TnKeyFunc keyFunc;
    TnDatFunc datFunc;
    TnFlagsFunc flagsFunc;

  protected:
    // Copies count, elementSize, flags and the function table.
    TnVContainer(const TnVContainer& other);
    TnVContainer& operator=(const TnVContainer&) = delete;
};

// ---------------------------------------------------------------- iterator

class MVB_API TnVIterator {
  public:
    static constexpr uint16_t kType = 0;  // GetType() of an iterator without a type of its own

    explicit TnVIterator(TnTransactionContext* context);
    TnVIterator(TnTransactionContext* context, TnVContainer* container);
    TnVIterator(const TnVIterator& other);
    TnVIterator& operator=(const TnVIterator& other);
    // Attaches to a container (state before the first entry), context unchanged.
    TnVIterator& operator=(TnVContainer* container);
    virtual ~TnVIterator();

    virtual uint16_t GetType();
    virtual TnVIterator* Clone(TnVIterator* target);
    virtual int First();
    virtual int Next();
    virtual int Prior();
    virtual int Last();
    // Compares this iterator's element with the other's entry (this against the other).
    virtual int CompareElement(TnVIterator* other, TnVParameter* otherParam, int* keyResult,
                               int* orderResult, TnVParameter* param);
    virtual int SearchElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                              TnVParameter* param);
    virtual int InsertElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                              TnVParameter* param);
    virtual int UpdateElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                              TnVParameter* param);
    virtual int DeleteElement(uint16_t mode, TnVParameter* param);
    virtual void Destroy();
    virtual void* GetEntry(int* result, TnVParameter* param);
    virtual int GetEntryParts(void* entry, void** element, void** key, void** dat,
                              uint32_t* flagsOut, TnVParameter* param);
    virtual void* GetElement(int* result, TnVParameter* param);
    virtual void* GetKey(int* result, TnVParameter* param);
    virtual void* GetDat(int* result, TnVParameter* param);
    virtual uint32_t GetFlags(int* result, TnVParameter* param);

    TnVContainer* container;        // the container iterated; null = none
    TnTransactionContext* context;  // caller's context
    int state;                      // 0 on an entry, else an iterator state (results.h)

  protected:
    void SetContainer(TnVContainer* newContainer);
};

// ---------------------------------------------------------------- one-entry container

// Presents a single entry (its own key) through the container interface.
class MVB_API TnOneEntryContainer : public TnVContainer {
  public:
    static constexpr uint16_t kType = 4;

    // entry may be null (an empty container); dat may be null (no data part).
    TnOneEntryContainer(void* entry, uint32_t entrySize, void* dat = nullptr,
                        uint32_t entryFlags = 1);
    ~TnOneEntryContainer() override;
    uint16_t GetType() override;
    int SearchElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                      TnVParameter* param, TnVIterator* result) override;

    void* entry;
    void* entryDat;
    uint32_t entryFlags;

  private:
    void SetFunctions();
};

class MVB_API TnOneEntryIterator : public TnVIterator {
  public:
    static constexpr uint16_t kType = 4;

    TnOneEntryIterator(TnOneEntryContainer* container, TnTransactionContext* context);
    ~TnOneEntryIterator() override;
    uint16_t GetType() override;
    int First() override;
    int Next() override;
    int Prior() override;
    int Last() override;
    void* GetEntry(int* result, TnVParameter* param) override;
    void* GetKey(int* result, TnVParameter* param) override;
    void* GetDat(int* result, TnVParameter* param) override;

  private:
    TnOneEntryContainer* One() { return static_cast<TnOneEntryContainer*>(container); }
};

// ---------------------------------------------------------------- entry cache

// Hands out fixed-size entries from blocks of many entries; takes single entries
// back onto a free list and all entries back at once, keeping the blocks.
class MVB_API TnEntryCache {
  public:
    TnEntryCache();
    TnEntryCache(uint32_t entrySize, uint32_t entriesPerBlock, uint16_t alignment);
    // A new empty cache configured like the other; no entries are copied.
    TnEntryCache(const TnEntryCache& other);
    TnEntryCache& operator=(const TnEntryCache&) = delete;
    ~TnEntryCache();

    // Clear, then configure: the entry size is at least a pointer (a free entry holds
    // the free-list link) and a multiple of alignment; perBlock 0 means 2045 / size.
    void Init(uint32_t size, uint32_t perBlock, uint16_t alignment);
    void* GetEntry() {
        if (freeList != nullptr) {
            void* e = freeList;
            freeList = LinkOf(e);
            return e;
        }
        if (offset != 0) {
            offset -= entrySize;
            return EntryArea(blockList) + offset;
        }
        return GetEntryFromNewBlock();
    }
    void ReturnEntry(void* entry) {
        std::memcpy(entry, &freeList, sizeof freeList);
        freeList = entry;
    }
    // Takes back the entry most recently handed out from a block (not the free list).
    void* UngetEntry();
    // Every entry becomes invalid; the blocks are kept for reuse. Constant time.
    void UngetAllEntries();
    // UngetAllEntries, then releases every block.
    void Clear();

    void* freeList;            // entries given back singly, linked through their first word
    void* blockList;           // blocks in use, newest first, linked through their first word
    void* blockTail;           // oldest block in use
    uint32_t offset;           // offset of the entry handed out last in the newest block
    uint32_t entrySize;        // bytes per entry
    void* spareBlocks;         // blocks kept for reuse
    uint32_t entriesPerBlock;  // entries per block
    uint16_t alignment;        // rounding unit of the entry size

  private:
    // The link in a free entry's first bytes; entries of a small alignment may hold it
    // at any address.
    static void* LinkOf(const void* entry) {
        void* link;
        std::memcpy(&link, entry, sizeof link);
        return link;
    }
    static unsigned char* EntryArea(void* block) {
        return static_cast<unsigned char*>(block) + sizeof(void*);
    }
    void* GetEntryFromNewBlock();
};

// ---------------------------------------------------------------- entry stack

typedef void (*TnEntryStackFunc)(TnTransactionContext* context, void* entry);

// A ring over a caller-supplied array of entries: a window of live entries that grows
// forwards or backwards as the caller steps past its ends.
class MVB_API TnEntryStack {
  public:
    TnEntryStack(TnTransactionContext* context, unsigned char* array, uint16_t entrySize,
                 uint16_t slotCount, TnEntryStackFunc initFunc, TnEntryStackFunc destroyFunc);
    TnEntryStack(const TnEntryStack&) = delete;
    TnEntryStack& operator=(const TnEntryStack&) = delete;
    // Finalises every live entry, oldest to newest.
    ~TnEntryStack();

    // The entry when it lies in the window (it becomes current), else null.
    void* SetCurrentEntryWithTest(void* entry);
    // The entry after / before current (the window grows onto a new slot), or null
    // when the window already fills the ring. current does not move.
    void* GetNextEntry();
    void* GetPrevEntry();

    TnTransactionContext* context;
    unsigned char* firstSlot;
    unsigned char* lastSlot;
    unsigned char* oldest;
    unsigned char* current;
    unsigned char* newest;
    uint16_t entrySize;
    TnEntryStackFunc initFunc;
    TnEntryStackFunc destroyFunc;
};

// ---------------------------------------------------------------- bit stack

// A LIFO stack of 1- to 8-bit values. Up to 26 bits of payload live inline in the
// word itself (bit 0 set, count in bits 1-5, items from bit 6); a stack resized to a
// capacity uses a heap block of one byte per item. The width is passed by the caller.
class MVB_API TnBitsStack {
  public:
    TnBitsStack();
    explicit TnBitsStack(uint32_t capacity);
    TnBitsStack(const TnBitsStack& other);
    TnBitsStack& operator=(const TnBitsStack& other);
    ~TnBitsStack();

    int Push(uint8_t value, uint8_t nbits);  // 0, or -1 when full
    void GetTop(uint8_t* value, uint8_t nbits);
    int Pop(uint8_t* value, uint8_t nbits);  // 0, or -1 when empty
    uint32_t GetNum();
    // Moves the items to new storage (inline for capacity 0); -1 leaves the stack as it was.
    int Resize(uint32_t newCapacity, uint8_t nbits);

    uintptr_t store;

  private:
    void Release();
    void CopyFrom(const TnBitsStack& other);
};

// ---------------------------------------------------------------- red-black nodes

// The node shape of every red-black tree: two child links, the colour in bit 0 of the
// left link (1 = red), no parent link. The element, if any, follows right directly.
struct TnRBTreeNode {
    uintptr_t left;  // left child with the colour bit
    TnRBTreeNode* right;

    TnRBTreeNode* Left() const { return reinterpret_cast<TnRBTreeNode*>(left & ~uintptr_t(1)); }
    TnRBTreeNode* Right() const { return right; }
    // Stores a new left child, keeping the colour.
    void SetLeft(TnRBTreeNode* n) { left = reinterpret_cast<uintptr_t>(n) | (left & 1); }
    bool IsRed() const { return (left & 1) != 0; }
    void SetRed() { left |= 1; }
    void SetBlack() { left &= ~uintptr_t(1); }
    void SetColourOf(const TnRBTreeNode* other) {
        left = (left & ~uintptr_t(1)) | (other->left & 1);
    }
    // Red, no children: the state of a newly made node.
    void MakeNew() {
        left = 1;
        right = nullptr;
    }
    void* Element() { return reinterpret_cast<unsigned char*>(this) + sizeof(TnRBTreeNode); }
};

// A node of TnRBTree1: the two links, then the in-order list, then the element.
struct TnRBTree1Node : TnRBTreeNode {
    TnRBTree1Node* prev;
    TnRBTree1Node* next;

    void* Element() { return reinterpret_cast<unsigned char*>(this) + sizeof(TnRBTree1Node); }
};

// An explicit root-to-node path; slot 0 is a null sentinel, top the current node's slot.
// Slots above top are left untouched by pops.
class MVB_API TnRBTreeNodeStack {
  public:
    enum { kSlots = 128 };

    TnRBTreeNodeStack() { Reset(); }
    // Copies slots 0 through top.
    TnRBTreeNodeStack(const TnRBTreeNodeStack& other) { CopyFrom(other); }
    TnRBTreeNodeStack& operator=(const TnRBTreeNodeStack& other) {
        if (this != &other) CopyFrom(other);
        return *this;
    }

    void Reset() {
        slots[0] = nullptr;
        top = slots;
    }
    void Push(TnRBTreeNode* n) { *++top = n; }
    // Returns the current node and moves down, never below the sentinel.
    TnRBTreeNode* Pop() {
        TnRBTreeNode* n = *top;
        if (n != nullptr) --top;
        return n;
    }
    TnRBTreeNode* Current() const { return *top; }
    bool Empty() const { return *top == nullptr; }

    TnRBTreeNode* GoToFirstEntry(TnRBTreeNode* root) {
        Reset();
        PushLeftSpine(root);
        return *top;
    }
    TnRBTreeNode* GoToLastEntry(TnRBTreeNode* root) {
        Reset();
        PushRightSpine(root);
        return *top;
    }
    // In-order successor / predecessor of the current node (which must exist).
    TnRBTreeNode* GoToNextEntry() {
        TnRBTreeNode* n = *top;
        if (n->right != nullptr) {
            PushLeftSpine(n->right);
            return *top;
        }
        TnRBTreeNode* from;
        do {
            from = *top;
            --top;
        } while (*top != nullptr && (*top)->right == from);
        return *top;
    }
    TnRBTreeNode* GoToPriorEntry() {
        TnRBTreeNode* n = *top;
        if (n->Left() != nullptr) {
            PushRightSpine(n->Left());
            return *top;
        }
        TnRBTreeNode* from;
        do {
            from = *top;
            --top;
        } while (*top != nullptr && (*top)->Left() == from);
        return *top;
    }
    // Pushes n and its left (right) children down to the leftmost (rightmost) node.
    void PushLeftSpine(TnRBTreeNode* n) {
        for (; n != nullptr; n = n->Left()) Push(n);
    }
    void PushRightSpine(TnRBTreeNode* n) {
        for (; n != nullptr; n = n->right) Push(n);
    }

    TnRBTreeNode* slots[kSlots];
    TnRBTreeNode** top;

  private:
    void CopyFrom(const TnRBTreeNodeStack& other) {
        const ptrdiff_t depth = other.top - other.slots;
        for (ptrdiff_t i = 0; i <= depth; ++i) slots[i] = other.slots[i];
        top = slots + depth;
    }
};

// The shared rebalancing algorithms, driven by path stacks.
class MVB_API TnRBTreeBase {
  public:
    // Results of the trees' CheckTree: 0 when valid, else the first violation met.
    enum CheckResult : int {
        kTreeValid = 0,
        kRedRoot = -1,
        kRedNodeWithRedChild = -2,
        kUnequalBlackHeights = -3,
        kOrderViolated = -4,
        kCountMismatch = -5,  // TnRBTree: the number of nodes differs from count
    };

    // The stack's top is the parent of the new red node x.
    static void RebalanceAfterAdd(TnRBTreeNode*& root, TnRBTreeNodeStack& stack, TnRBTreeNode* x);
    // Unlinks the stack's top node (with its full path). Afterwards the stack designates
    // the removed node's in-order successor, or is at the sentinel when it was the last.
    static void RemoveNode(TnRBTreeNode*& root, TnRBTreeNodeStack& stack, TnRBTreeNode*& removed);
    // The stack's top is the parent of x's position; side +1 when x is (or replaces) a
    // left child, -1 for a right child. r1 and r2 receive nodes moved up by rotation.
    static void RebalanceAfterRemove(TnRBTreeNode*& root, TnRBTreeNodeStack& stack, TnRBTreeNode* x,
                                     int side, TnRBTreeNode*& r1, TnRBTreeNode*& r2);
};

// A tree of fixed-size nodes from an entry cache, threaded in an in-order list;
// search and insertion only. Derived classes copy keys and compare.
class MVB_API TnRBTree1 : public TnRBTreeBase {
  public:
    TnRBTree1(uint32_t elementSize = 0, uint32_t entriesPerBlock = 0);
    virtual ~TnRBTree1();
    // Builds the element of a new node from the caller's key.
    virtual void CopyKey(const void* key, void* element) = 0;
    // Negative when the key sorts before the element, 0 when equal, positive after.
    virtual int Compare(const void* key, const void* element) = 0;

    void Clear();
    TnRBTree1Node* SearchNode(const void* key, TnRBTreeNodeStack& stack, int& cmp);
    // Only after a SearchNode that found nothing; null when no node memory was left.
    TnRBTree1Node* AddNode(const void* key, TnRBTreeNodeStack& stack, int cmp);

    uint32_t count;
    uint32_t elementSize;
    TnRBTree1Node* root;
    TnRBTree1Node* first;
    TnRBTree1Node* last;
    TnEntryCache nodeCache;

    TnRBTree1(const TnRBTree1&) = delete;
    TnRBTree1& operator=(const TnRBTree1&) = delete;
};

// Tree algorithms over nodes that the derived class creates and destroys; the caller
// owns the root pointer.
class MVB_API TnRBTree2 : public TnRBTreeBase {
  public:
    TnRBTree2();
    virtual ~TnRBTree2();
    // A new red node with null children for the key, or null.
    virtual TnRBTreeNode* CreateNode(const void* key) = 0;
    virtual void DestroyNode(TnRBTreeNode* node) = 0;
    // Same sign convention as TnRBTree1::Compare; extra comes from SearchNode.
    virtual int Compare(const void* key, TnRBTreeNode* node, uint32_t extra) = 0;

    // cmp on entry: 0 stops at the first equal node; any other value walks past equal
    // nodes to the position after the last of them. On return: the last comparison's
    // side, -2 / 2 when the key sorts before / at-or-after the whole tree.
    TnRBTreeNode* SearchNode(TnRBTreeNode* root, const void* key, TnRBTreeNodeStack& stack,
                             int& cmp, uint32_t extra);
    TnRBTreeNode* AddNode(TnRBTreeNode*& root, const void* key, TnRBTreeNodeStack& stack, int cmp);
    // Removes and destroys the stack's top node; the stack is left on its successor.
    void DelNode(TnRBTreeNode*& root, TnRBTreeNodeStack& stack);
    // Destroys every node of the subtree (post-order); the caller's root is not touched.
    void DestructAllElements(TnRBTreeNode* node);
    // 0 valid; -1 red root, -2 red node with red child, -3 unequal black heights, -4 order.
    int CheckTree(TnRBTreeNode* root);

  private:
    int CheckSubtree(TnRBTreeNode* n, int& blackHeight, TnRBTreeNode*& min, TnRBTreeNode*& max);
};

// ---------------------------------------------------------------- red-black tree container

class TnRBTreeIterator;
namespace mvb::containers::rbtree {
class Search;  // one search of TnRBTree, phase by phase (library-internal)
}

class MVB_API TnRBTreeParameter : public TnVParameter {
  public:
    static constexpr uint16_t kType = 1;

    TnRBTreeParameter();
    ~TnRBTreeParameter() override;
    uint16_t GetType() override;
};

// The ordered container: a red-black tree of entries (TnRBTreeNode + element) whose
// order, equality and element layout come from the function table.
class MVB_API TnRBTree : public TnVContainer, public TnRBTreeBase {
  public:
    static constexpr uint16_t kType = 1;

    TnRBTree(uint32_t elementSize = 0, uint16_t flags = 0, uint32_t entriesPerBlock = 0);
    // destroyFunc on every element, then the node memory is released.
    ~TnRBTree() override;
    uint16_t GetType() override;
    int Clear(TnTransactionContext* context, uint32_t* countOut, TnVContainer* other) override;
    int SearchElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                      TnVParameter* param, TnVIterator* result) override;
    int InsertElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                      TnVParameter* param) override;
    int DeleteElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                      TnVParameter* param) override;
    void* GetElementOfEntry(void* entry) override;
    TnVIterator* CreateIterator(TnTransactionContext* context) override;

    // A fresh red entry without children (element uninitialised), or null with -2030.
    TnRBTreeNode* CreateEntry(int* result);
    // Links an entry built by the caller; takes ownership in every case (a refused or
    // failed entry is disposed of and returned to the cache).
    int InsertEntry(TnRBTreeNode* entry, uint16_t mode, TnVParameter* param);
    // Removes this very entry; -510 when it is not in the tree.
    int DeleteEntry(TnRBTreeNode* entry, uint16_t mode, TnVParameter* param);
    // 0 consistent; -1 red root, -2 red-red, -3 black heights, -4 order, -5 count;
    // errors of the function table are returned.
    int CheckTree(TnVParameter* param);
    void OutTree(TnVParameter* param);

    static TnRBTreeNode* EntryOfElement(void* element) {
        return reinterpret_cast<TnRBTreeNode*>(static_cast<unsigned char*>(element) -
                                               sizeof(TnRBTreeNode));
    }

    TnRBTreeNode* root;       // null when empty
    TnRBTreeNode* lastEntry;  // the rightmost entry while the tree is not empty
    TnEntryCache nodeCache;
    uint16_t hasEqualKeys;  // 1 once an entry with a stored entry's key went in, until Clear
    uint32_t changeCount;   // grows with every insertion, removal and Clear

    TnRBTree(const TnRBTree&) = delete;
    TnRBTree& operator=(const TnRBTree&) = delete;

  private:
    friend class TnRBTreeIterator;
    friend class mvb::containers::rbtree::Search;

    int CompareWith(TnVIterator* probe, void* key, void* dat, TnRBTreeNode* node,
                    TnVParameter* param, int* keyResult, int* orderResult) {
        TnCompareArgs args = {this, keyResult, orderResult,     probe,
                              key,  dat,       node->Element(), param};
        return compareFunc(&args);
    }
    int KeyAndDat(TnRBTreeNode* node, TnVParameter* param, void** key, void** dat);
    static int SourceParts(TnVIterator* source, TnVParameter* sourceParam, void** key, void** dat);
    int ApplyDuplicateRule(int keyResult, int orderResult);
    // InsertEntry's part for a non-empty tree: finds the place, links the entry and
    // rebalances; compare(node, keyResult, orderResult, before) compares the entry with a
    // node (before: orderResult < 0) and returns the compare function's result.
    template <typename Compare>
    int Attach(TnRBTreeNode* entry, uint16_t mode, Compare compare);
    TnRBTreeNode* SearchEntry(TnVIterator* probe, void* key, void* dat, int* result, uint16_t mode,
                              TnVParameter* param, TnRBTreeNodeStack* path,
                              TnRBTreeNode*** foundSlot);
    TnRBTreeNode* FindEntry(TnRBTreeNode* entry, int* result, uint16_t mode, TnVParameter* param,
                            TnRBTreeNodeStack& path, TnRBTreeNode*** foundSlot);
    void RemoveEntry(TnRBTreeNodeStack& path, TnRBTreeNode** foundSlot);
    void Dispose(TnRBTreeNode* entry);
    void DisposeAll(TnRBTreeNode* node);
    int CheckSubtree(TnRBTreeNode* n, TnVParameter* param, int* blackHeight, uint32_t* nodes,
                     TnRBTreeNode** min, TnRBTreeNode** max);
};

// The cursor of a TnRBTree: in-order steps on a private path stack, change detection
// through the tree's change counter, and removal of the current entry.
class MVB_API TnRBTreeIterator : public TnVIterator {
  public:
    static constexpr uint16_t kType = 1;

    TnRBTreeIterator(TnRBTree* tree, TnTransactionContext* context);
    ~TnRBTreeIterator() override;
    uint16_t GetType() override;
    // Into target (whose container must be a TnRBTree), or a new copy when null.
    TnVIterator* Clone(TnVIterator* target) override;
    int First() override;
    int Next() override;
    int Prior() override;
    int Last() override;
    // Removes the current entry and stands on its neighbour (the previous one with
    // TN_MODE_BACKWARDS); checks for changes and finds the neighbour again.
    int DeleteElement(uint16_t mode, TnVParameter* param) override;
    void* GetEntry(int* result, TnVParameter* param) override;
    // The fast removal: no change check (the caller guarantees it) and no re-search.
    int DeleteElement1(uint16_t mode, TnVParameter* param);
    // The current entry's element without a virtual call: null unless the iterator
    // stands on an entry of a tree that has not changed since it was positioned.
    void* CurrentElement() const {
        return state == 0 && !Stale() ? path.Current()->Element() : nullptr;
    }

    TnRBTreeNodeStack path;     // root path to the current entry
    uint32_t savedChangeCount;  // the tree's changeCount when last positioned

  protected:
    TnRBTreeIterator(const TnRBTreeIterator& other);
    TnRBTreeIterator& operator=(const TnRBTreeIterator& other);

  private:
    friend class TnRBTree;
    TnRBTree* Tree() const { return static_cast<TnRBTree*>(container); }
    bool Stale() const { return savedChangeCount != Tree()->changeCount; }
};

#endif
