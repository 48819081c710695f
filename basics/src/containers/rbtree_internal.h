// Helpers shared by the red-black trees and the tree container.
#ifndef MV_CONTAINERS_RBTREE_INTERNAL_H
#define MV_CONTAINERS_RBTREE_INTERNAL_H

#include "compiler.h"
#include "containers.h"

namespace mvb::containers::rbtree {

// Starts loading both children of a node while it is being compared: a descent then
// waits for one memory access per level less.
inline void PrefetchChildren(const TnRBTreeNode* n) {
    mvb::Prefetch(reinterpret_cast<const void*>(n->left & ~uintptr_t(1)));
    mvb::Prefetch(n->right);
}

// An in-order walk goes into a node's right subtree (backwards: its left subtree) only
// after the node's other subtree: for the nodes of path slots first to last, just
// pushed, start loading that child now, so that it has arrived when the walk gets there.
inline void PrefetchLaterChildren(TnRBTreeNode* const* first, TnRBTreeNode* const* last,
                                  bool backwards) {
    for (; first <= last; ++first) {
        mvb::Prefetch(backwards ? (*first)->Left() : (*first)->right);
    }
}

// The child a descent takes: the left one when the probe sorts before n. Selected rather
// than branched to, since on random keys a branch would mispredict every other level.
inline TnRBTreeNode* ChildTowards(const TnRBTreeNode* n, bool left) {
    return reinterpret_cast<TnRBTreeNode*>(
        mvb::SelectIf(left, n->left & ~uintptr_t(1), reinterpret_cast<uintptr_t>(n->right)));
}
// The same for a probe key compared with n's 64-bit key, the comparison made by the
// selection itself: a level's step is then the loads, one compare and one move.
inline TnRBTreeNode* ChildTowardsKey(const TnRBTreeNode* n, int64_t probe, int64_t key) {
    return reinterpret_cast<TnRBTreeNode*>(mvb::SelectIfLess(
        probe, key, n->left & ~uintptr_t(1), reinterpret_cast<uintptr_t>(n->right)));
}

// Entry size of a node cache: the header words plus the element. A sum beyond 32 bits
// saturates (the cache then cannot obtain a block) instead of wrapping to a small entry.
inline uint32_t NodeSize(uint32_t elementSize, size_t header) {
    const uint64_t size = uint64_t(elementSize) + header;
    return size > UINT32_MAX ? UINT32_MAX : uint32_t(size);
}

inline bool IsRed(const TnRBTreeNode* n) {
    return n != nullptr && n->IsRed();
}

// Hangs n where old hung under parent (null parent: n becomes the root).
void ReplaceChild(TnRBTreeNode*& root, TnRBTreeNode* parent, TnRBTreeNode* old, TnRBTreeNode* n);

struct Unlinked {
    TnRBTreeNode* y;   // the node actually unlinked
    TnRBTreeNode* yp;  // its parent (null when it was the root)
    TnRBTreeNode* x;   // the child that took y's place, may be null
    int side;          // +1 when y was a left child, -1 right, 0 root
    bool yBlack;
};

// Unlinks the stack's top node y, which is the node z in zSlot or z's in-order
// neighbour with at most one child; in the latter case y takes z's place (slot,
// colour, links). Afterwards the stack's top is y's former parent.
Unlinked UnlinkTop(TnRBTreeNode*& root, TnRBTreeNodeStack& stack, TnRBTreeNode** zSlot);

}  // namespace mvb::containers::rbtree

#endif
