// The red-black tree iterator: in-order steps on its own path stack, change
// detection and removal of the current entry.
#include <new>

#include "containers.h"
#include "containers/rbtree_internal.h"

namespace rbtree = mvb::containers::rbtree;

TnRBTreeIterator::TnRBTreeIterator(TnRBTree* tree, TnTransactionContext* context)
    : TnVIterator(context, tree), savedChangeCount(tree != nullptr ? tree->changeCount : 0) {}

TnRBTreeIterator::TnRBTreeIterator(const TnRBTreeIterator& other)
    : TnVIterator(other), path(other.path), savedChangeCount(other.savedChangeCount) {}

TnRBTreeIterator& TnRBTreeIterator::operator=(const TnRBTreeIterator& other) {
    TnVIterator::operator=(other);
    path = other.path;
    savedChangeCount = other.savedChangeCount;
    return *this;
}

TnRBTreeIterator::~TnRBTreeIterator() {}

uint16_t TnRBTreeIterator::GetType() {
    return kType;
}

TnVIterator* TnRBTreeIterator::Clone(TnVIterator* target) {
    if (target == nullptr) return new (std::nothrow) TnRBTreeIterator(*this);
    if (target->container == nullptr || target->container->GetType() != TnRBTree::kType ||
        target->GetType() != kType) {
        return nullptr;
    }
    *static_cast<TnRBTreeIterator*>(target) = *this;
    return target;
}

int TnRBTreeIterator::First() {
    if (state == ERR_TN_DETACHED) return state;
    if (path.GoToFirstEntry(Tree()->root) != nullptr) {
        rbtree::PrefetchLaterChildren(path.slots + 1, path.top, false);
        savedChangeCount = Tree()->changeCount;
        state = 0;
    } else {
        state = ERR_TN_BEFORE_FIRST;
    }
    return state;
}

int TnRBTreeIterator::Last() {
    if (state == ERR_TN_DETACHED) return state;
    if (path.GoToLastEntry(Tree()->root) != nullptr) {
        rbtree::PrefetchLaterChildren(path.slots + 1, path.top, true);
        savedChangeCount = Tree()->changeCount;
        state = 0;
    } else {
        state = ERR_TN_AFTER_LAST;
    }
    return state;
}

int TnRBTreeIterator::Next() {
    if (state == ERR_TN_BEFORE_FIRST) {
        const int r = First();
        if (r != ERR_TN_BEFORE_FIRST) return r;
        state = ERR_TN_AFTER_LAST;
        return state;
    }
    if (state < 0) return state;
    if (Stale()) {
        state = ERR_TN_POSITION_LOST;
        return ERR_TN_STALE;
    }
    TnRBTreeNode** const from = path.top;
    if (path.GoToNextEntry() == nullptr) {
        state = ERR_TN_AFTER_LAST;
    } else {
        rbtree::PrefetchLaterChildren(from + 1, path.top, false);
    }
    return state;
}

int TnRBTreeIterator::Prior() {
    if (state == ERR_TN_AFTER_LAST) {
        const int r = Last();
        if (r != ERR_TN_AFTER_LAST) return r;
        state = ERR_TN_BEFORE_FIRST;
        return state;
    }
    if (state < 0) return state;
    if (Stale()) {
        state = ERR_TN_POSITION_LOST;
        return ERR_TN_STALE;
    }
    TnRBTreeNode** const from = path.top;
    if (path.GoToPriorEntry() == nullptr) {
        state = ERR_TN_BEFORE_FIRST;
    } else {
        rbtree::PrefetchLaterChildren(from + 1, path.top, true);
    }
    return state;
}

void* TnRBTreeIterator::GetEntry(int* result, TnVParameter*) {
    *result = state;
    if (state < 0) return nullptr;
    if (Stale()) {
        *result = ERR_TN_STALE;
        return nullptr;
    }
    return path.Current();
}

int TnRBTreeIterator::DeleteElement(uint16_t mode, TnVParameter* param) {
    if (state < 0) return state;
    if (Stale()) return ERR_TN_STALE;
    TnRBTree* tree = Tree();
    TnRBTreeNode* z = path.Current();
    TnRBTreeNode** zSlot = path.top;
    const bool backwards = (mode & TN_MODE_BACKWARDS) != 0;
    const int r = backwards ? Prior() : Next();
    if (r < 0 && r != ERR_TN_BEFORE_FIRST && r != ERR_TN_AFTER_LAST) {
        state = r;
        return r;
    }
    TnRBTreeNode* neighbour = r >= 0 ? path.Current() : nullptr;
    // The slots up to z's are untouched by the step: end the path at z's predecessor.
    path.top = zSlot;
    path.PushRightSpine(z->Left());
    tree->RemoveEntry(path, zSlot);
    if (r >= 0) savedChangeCount = tree->changeCount;
    path.Reset();
    if (neighbour == nullptr) {
        state = r;
        return r;
    }
    // Rebalancing may have moved the neighbour: find its path again.
    int rc;
    TnRBTreeNode** slot;
    tree->FindEntry(neighbour, &rc, backwards ? TN_MODE_LAST : 0, param, path, &slot);
    if (rc == ERR_TN_NOT_FOUND) {
        state = ERR_TN_POSITION_LOST;
        return ERR_TN_INTERNAL;
    }
    state = rc;
    return rc;
}

int TnRBTreeIterator::DeleteElement1(uint16_t mode, TnVParameter*) {
    if (state < 0) return state;
    TnRBTree* tree = Tree();
    TnRBTreeNode* z;
    TnRBTree::RemoveNode(tree->root, path, z);
    if (z == tree->lastEntry) {
        TnRBTreeNode* last = tree->root;
        while (last != nullptr && last->right != nullptr) last = last->right;
        tree->lastEntry = last;
    }
    int r;
    if (path.Empty()) {
        if ((mode & TN_MODE_BACKWARDS) != 0) {
            r = Last();
        } else {
            r = state;
            state = ERR_TN_AFTER_LAST;
        }
    } else {
        r = (mode & TN_MODE_BACKWARDS) != 0 ? Prior() : 0;
    }
    tree->Dispose(z);
    ++tree->changeCount;
    --tree->count;
    savedChangeCount = tree->changeCount;
    return r;
}
