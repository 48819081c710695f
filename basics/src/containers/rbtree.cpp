// The red-black tree container: entries from an entry cache, order and duplicate
// policy from the function table, path stacks instead of parent links.
#include <new>

#include "containers.h"
#include "containers/rbtree_internal.h"

namespace {
constexpr uint16_t kPositioningModes = TN_MODE_FLOOR | TN_MODE_CEILING | TN_MODE_AFTER_START;
}  // namespace

// ---------------------------------------------------------------- TnRBTreeParameter

TnRBTreeParameter::TnRBTreeParameter() {}
TnRBTreeParameter::~TnRBTreeParameter() {}
uint16_t TnRBTreeParameter::GetType() {
    return kType;
}

// ---------------------------------------------------------------- construction

TnRBTree::TnRBTree(uint32_t elementSize_, uint16_t flags_, uint32_t entriesPerBlock)
    : TnVContainer(elementSize_, flags_),
      root(nullptr),
      lastEntry(nullptr),
      nodeCache(mvrb::NodeSize(elementSize_, sizeof(TnRBTreeNode)), entriesPerBlock,
                alignof(TnRBTreeNode)),
      hasEqualKeys(0),
      changeCount(0) {}

TnRBTree::~TnRBTree() {
    if (destroyFunc != nullptr) DisposeAll(root);
}

uint16_t TnRBTree::GetType() {
    return kType;
}

void* TnRBTree::GetElementOfEntry(void* entry) {
    return entry != nullptr ? static_cast<TnRBTreeNode*>(entry)->Element() : nullptr;
}

TnVIterator* TnRBTree::CreateIterator(TnTransactionContext* context) {
    return new (std::nothrow) TnRBTreeIterator(this, context);
}

void TnRBTree::OutTree(TnVParameter*) {}

// ---------------------------------------------------------------- element access

int TnRBTree::KeyAndDat(TnRBTreeNode* node, TnVParameter* param, void** key, void** dat) {
    if (keyFunc == nullptr || datFunc == nullptr) return ERR_TN_NOT_IMPLEMENTED;
    int rc = 0;
    *key = keyFunc(this, node->Element(), &rc, param);
    if (rc < 0) return rc;
    *dat = datFunc(this, node->Element(), &rc, param);
    if (rc == ERR_TN_NO_DAT) {
        *dat = nullptr;
        return 0;
    }
    return rc < 0 ? rc : 0;
}

int TnRBTree::SourceParts(TnVIterator* source, TnVParameter* sourceParam, void** key, void** dat) {
    *key = nullptr;
    *dat = nullptr;
    int rc = 0;
    void* entry = source->GetEntry(&rc, sourceParam);
    if (rc < 0) return rc;
    if (entry == nullptr) return ERR_TN_NOT_IMPLEMENTED;
    rc = source->GetEntryParts(entry, nullptr, key, dat, nullptr, sourceParam);
    if (rc == ERR_TN_NO_DAT) {
        *dat = nullptr;
        return 0;
    }
    return rc < 0 ? rc : 0;
}

int TnRBTree::ApplyDuplicateRule(int keyResult, int orderResult) {
    if ((flags & kFullDuplicatesAllowed) != 0) {
        if (keyResult == 0) hasEqualKeys = 1;
        return 0;
    }
    if (orderResult == 0) return ERR_TN_DUPLICATE;
    if (keyResult == 0) {
        if ((flags & kEqualKeysAllowed) == 0) return ERR_TN_DUPLICATE;
        hasEqualKeys = 1;
    }
    return 0;
}

void TnRBTree::Dispose(TnRBTreeNode* entry) {
    if (destroyFunc != nullptr) destroyFunc(this, entry->Element());
    nodeCache.ReturnEntry(entry);
}

void TnRBTree::DisposeAll(TnRBTreeNode* node) {
    // Post-order; the recursion is as deep as the tree is high.
    if (node == nullptr) return;
    DisposeAll(node->Left());
    DisposeAll(node->right);
    destroyFunc(this, node->Element());
}

// ---------------------------------------------------------------- search

TnRBTreeNode* TnRBTree::SearchEntry(TnVIterator* probe, void* key, void* dat, int* result,
                                    uint16_t mode, TnVParameter* param, TnRBTreeNodeStack* path,
                                    TnRBTreeNode*** foundSlot) {
    *result = 0;
    if (path != nullptr) path->Reset();
    if (foundSlot != nullptr) *foundSlot = nullptr;
    if (compareFunc == nullptr) {
        *result = ERR_TN_NOT_IMPLEMENTED;
        return nullptr;
    }
    int k = 0, o = 1, rc;

    // Descend to the first node equal to the probe.
    TnRBTreeNode* found = nullptr;
    for (TnRBTreeNode* n = root; n != nullptr; n = o < 0 ? n->Left() : n->right) {
        if (path != nullptr) path->Push(n);
        mvrb::PrefetchChildren(n);
        rc = CompareWith(probe, key, dat, n, param, &k, &o);
        if (rc < 0) {
            *result = rc;
            return nullptr;
        }
        if (o == 0) {
            found = n;
            break;
        }
    }

    if (found == nullptr) {
        *result = ERR_TN_NOT_FOUND;
        if (path == nullptr) return nullptr;
        if ((mode & (TN_MODE_FLOOR | TN_MODE_CEILING)) == 0 || path->Empty()) {
            path->Reset();
            return nullptr;
        }
        // Position on the nearest entry after (ceiling wins) or before the probe.
        if ((mode & TN_MODE_CEILING) != 0) return o < 0 ? path->Current() : path->GoToNextEntry();
        return o > 0 ? path->Current() : path->GoToPriorEntry();
    }

    bool last = (mode & TN_MODE_LAST) != 0;
    bool matched = false;
    TnRBTreeNode* start = nullptr;
    TnRBTreeNode** slot = nullptr;
    if (path != nullptr) {
        slot = path->top;
        if ((mode & TN_MODE_AFTER_START) != 0 && param != nullptr) {
            start = static_cast<TnRBTreeNode*>(param->startEntry);
            if (start == found) {
                matched = true;
                last = true;
            }
        }
    }

    TnRBTreeNode* lastEqual = found;
    if (hasEqualKeys != 0 || (mode & TN_MODE_FOR_REMOVAL) != 0) {
        if (start != nullptr && !matched) {
            void *startKey, *startDat;
            rc = KeyAndDat(start, param, &startKey, &startDat);
            if (rc >= 0) rc = CompareWith(nullptr, startKey, startDat, found, param, &k, &o);
            if (rc < 0) {
                *result = rc;
                return nullptr;
            }
            if (o == 0) {
                matched = true;
                last = true;
            }
        }
        // Walk down the run of equal entries towards its first (last) member.
        bool equal = true;
        for (TnRBTreeNode* n = found;;) {
            n = last == equal ? n->right : n->Left();
            if (n == nullptr) break;
            if (path != nullptr) path->Push(n);
            equal = false;
            if (hasEqualKeys != 0) {
                rc = CompareWith(probe, key, dat, n, param, &k, &o);
                if (rc < 0) {
                    *result = rc;
                    return nullptr;
                }
                if (o == 0) {
                    equal = true;
                    lastEqual = n;
                    if (path != nullptr) slot = path->top;
                }
            }
        }
    }

    if (path == nullptr) return lastEqual;
    if (matched) {
        // Continue after the whole run: its in-order successor.
        if (path->top == slot) path->GoToNextEntry();
        *foundSlot = path->top;
        return path->Current();
    }
    if ((mode & TN_MODE_FOR_REMOVAL) == 0) path->top = slot;
    *foundSlot = slot;
    return lastEqual;
}

int TnRBTree::SearchElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                            TnVParameter* param, TnVIterator* result) {
    void *key, *dat;
    int rc = SourceParts(source, sourceParam, &key, &dat);
    if (rc < 0) return rc;
    TnRBTreeIterator* it = nullptr;
    if (result != nullptr) {
        if (result->container != this || result->GetType() != TnRBTreeIterator::kType)
            return ERR_TN_NOT_IMPLEMENTED;
        it = static_cast<TnRBTreeIterator*>(result);
    }
    TnRBTreeNodeStack temporary;
    TnRBTreeNodeStack* path = it != nullptr                     ? &it->path
                              : (mode & kPositioningModes) != 0 ? &temporary
                                                                : nullptr;
    TnRBTreeNode** slot;
    TnRBTreeNode* node = SearchEntry(source, key, dat, &rc, mode, param, path, &slot);
    if (it != nullptr) {
        if (node != nullptr) {
            it->state = 0;
        } else if ((mode & TN_MODE_FLOOR) != 0) {
            it->state = ERR_TN_BEFORE_FIRST;
        } else if ((mode & (TN_MODE_CEILING | TN_MODE_AFTER_START)) != 0) {
            it->state = ERR_TN_AFTER_LAST;
        } else {
            it->state = ERR_TN_POSITION_LOST;
        }
        it->savedChangeCount = changeCount;
    }
    return rc;
}

TnRBTreeNode* TnRBTree::FindEntry(TnRBTreeNode* entry, int* result, uint16_t mode,
                                  TnVParameter* param, TnRBTreeNodeStack& path,
                                  TnRBTreeNode*** foundSlot) {
    void *key, *dat;
    *result = KeyAndDat(entry, param, &key, &dat);
    if (*result < 0) return nullptr;
    TnRBTreeNode* node = SearchEntry(nullptr, key, dat, result, mode, nullptr, &path, foundSlot);
    if (*result < 0) return nullptr;
    if (node == entry) return entry;
    if (hasEqualKeys != 0) {
        // Walk the run of equal entries from the one found to this very entry.
        const bool backwards = (mode & TN_MODE_LAST) != 0;
        path.top = *foundSlot;
        for (;;) {
            TnRBTreeNode* n = backwards ? path.GoToPriorEntry() : path.GoToNextEntry();
            if (n == nullptr) break;
            int k, o;
            const int rc = CompareWith(nullptr, key, dat, n, nullptr, &k, &o);
            if (rc < 0) {
                *result = rc;
                path.Reset();
                return nullptr;
            }
            if (o != 0) break;
            if (n == entry) {
                *foundSlot = path.top;
                if ((mode & TN_MODE_FOR_REMOVAL) != 0) {
                    if (backwards) {
                        path.PushLeftSpine(n->right);
                    } else {
                        path.PushRightSpine(n->Left());
                    }
                }
                return entry;
            }
        }
    }
    path.Reset();
    *result = ERR_TN_NOT_FOUND;
    return nullptr;
}

// ---------------------------------------------------------------- insertion

TnRBTreeNode* TnRBTree::CreateEntry(int* result) {
    TnRBTreeNode* entry = static_cast<TnRBTreeNode*>(nodeCache.GetEntry());
    if (entry == nullptr) {
        *result = ERR_TN_NO_MEMORY;
        return nullptr;
    }
    entry->MakeNew();
    *result = 0;
    return entry;
}

int TnRBTree::InsertEntry(TnRBTreeNode* entry, uint16_t mode, TnVParameter* param) {
    void *key, *dat;
    int rc = compareFunc != nullptr ? KeyAndDat(entry, param, &key, &dat) : ERR_TN_NOT_IMPLEMENTED;
    if (rc < 0) {
        Dispose(entry);
        return rc;
    }
    if (root == nullptr) {
        root = lastEntry = entry;
        entry->SetBlack();
    } else {
        const bool before = (mode & TN_MODE_INSERT_FIRST) != 0;
        TnRBTreeNodeStack path;
        int k, o;
        rc = CompareWith(nullptr, key, dat, lastEntry, param, &k, &o);
        int rule = rc < 0 ? rc : ApplyDuplicateRule(k, o);
        if (rule < 0) {
            Dispose(entry);
            return rule;
        }
        if (o > 0 || (o == 0 && !before)) {
            // Appending after the last entry: its path is the right spine.
            path.PushRightSpine(root);
            lastEntry->right = entry;
            lastEntry = entry;
        } else {
            bool right = false;
            for (TnRBTreeNode* n = root; n != nullptr; n = right ? n->right : n->Left()) {
                path.Push(n);
                mvrb::PrefetchChildren(n);
                rc = CompareWith(nullptr, key, dat, n, param, &k, &o);
                rule = rc < 0 ? rc : ApplyDuplicateRule(k, o);
                if (rule < 0) {
                    Dispose(entry);
                    return rule;
                }
                right = o > 0 || (o == 0 && !before);
            }
            if (right) {
                path.Current()->right = entry;
            } else {
                path.Current()->SetLeft(entry);
            }
        }
        RebalanceAfterAdd(root, path, entry);
    }
    ++changeCount;
    ++count;
    return rc;
}

int TnRBTree::InsertElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                            TnVParameter* param) {
    void *key, *dat;
    int rc = SourceParts(source, sourceParam, &key, &dat);
    if (rc < 0) return rc;
    TnRBTreeNode* entry = CreateEntry(&rc);
    if (entry == nullptr) return rc;
    rc = copyFunc != nullptr ? copyFunc(this, entry->Element(), source, key, dat, param)
                             : ERR_TN_NOT_IMPLEMENTED;
    if (rc < 0) {
        nodeCache.ReturnEntry(entry);
        return rc;
    }
    return InsertEntry(entry, mode, param);
}

// ---------------------------------------------------------------- removal

void TnRBTree::RemoveEntry(TnRBTreeNodeStack& path, TnRBTreeNode** foundSlot) {
    TnRBTreeNode* z = *foundSlot;
    const mvrb::Unlinked u = mvrb::UnlinkTop(root, path, foundSlot);
    if (z == lastEntry) {
        // The new rightmost entry: the node that took z's place, else z's only (left)
        // child, else z's parent.
        lastEntry = u.y != z ? u.y : u.x != nullptr ? u.x : u.yp;
    }
    if (u.yBlack) {
        TnRBTreeNode *r1, *r2;
        RebalanceAfterRemove(root, path, u.x, u.side, r1, r2);
    }
    Dispose(z);
    ++changeCount;
    --count;
}

int TnRBTree::DeleteElement(TnVIterator* source, TnVParameter* sourceParam, uint16_t mode,
                            TnVParameter* param) {
    void *key, *dat;
    int rc = SourceParts(source, sourceParam, &key, &dat);
    if (rc < 0) return rc;
    TnRBTreeNodeStack path;
    TnRBTreeNode** slot;
    const uint16_t searchMode = uint16_t((mode & ~kPositioningModes) | TN_MODE_FOR_REMOVAL);
    if (SearchEntry(source, key, dat, &rc, searchMode, param, &path, &slot) == nullptr) {
        return rc < 0 ? rc : ERR_TN_NOT_FOUND;
    }
    RemoveEntry(path, slot);
    return 0;
}

int TnRBTree::DeleteEntry(TnRBTreeNode* entry, uint16_t mode, TnVParameter* param) {
    TnRBTreeNodeStack path;
    TnRBTreeNode** slot;
    int rc;
    const uint16_t findMode = uint16_t((mode & ~kPositioningModes) | TN_MODE_FOR_REMOVAL);
    if (FindEntry(entry, &rc, findMode, param, path, &slot) == nullptr) {
        return rc < 0 ? rc : ERR_TN_NOT_FOUND;
    }
    RemoveEntry(path, slot);
    return 0;
}

int TnRBTree::Clear(TnTransactionContext*, uint32_t* countOut, TnVContainer*) {
    if (countOut != nullptr) *countOut = count;
    count = 0;
    if (destroyFunc != nullptr) DisposeAll(root);
    root = nullptr;
    lastEntry = nullptr;
    hasEqualKeys = 0;
    ++changeCount;
    nodeCache.UngetAllEntries();
    return 0;
}

// ---------------------------------------------------------------- consistency

int TnRBTree::CheckTree(TnVParameter* param) {
    if (compareFunc == nullptr) return ERR_TN_NOT_IMPLEMENTED;
    if (root == nullptr) return count == 0 ? kTreeValid : kCountMismatch;
    if (root->IsRed()) return kRedRoot;
    int blackHeight;
    uint32_t nodes;
    TnRBTreeNode *min, *max;
    const int rc = CheckSubtree(root, param, &blackHeight, &nodes, &min, &max);
    if (rc != 0) return rc;
    return nodes == count ? kTreeValid : kCountMismatch;
}

int TnRBTree::CheckSubtree(TnRBTreeNode* n, TnVParameter* param, int* blackHeight, uint32_t* nodes,
                           TnRBTreeNode** min, TnRBTreeNode** max) {
    int leftHeight = 0, rightHeight = 0;
    uint32_t leftNodes = 0, rightNodes = 0;
    TnRBTreeNode *leftMin = n, *leftMax = n, *rightMin = n, *rightMax = n;
    TnRBTreeNode* left = n->Left();
    TnRBTreeNode* right = n->right;
    int rc;
    if (left != nullptr &&
        (rc = CheckSubtree(left, param, &leftHeight, &leftNodes, &leftMin, &leftMax)) != 0) {
        return rc;
    }
    if (right != nullptr &&
        (rc = CheckSubtree(right, param, &rightHeight, &rightNodes, &rightMin, &rightMax)) != 0) {
        return rc;
    }
    if (n->IsRed() && (mvrb::IsRed(left) || mvrb::IsRed(right))) return kRedNodeWithRedChild;
    if (leftHeight != rightHeight) return kUnequalBlackHeights;
    const bool equalAllowed = (flags & kFullDuplicatesAllowed) != 0;
    void *key, *dat;
    int k, o;
    if (left != nullptr) {
        if ((rc = KeyAndDat(leftMax, param, &key, &dat)) < 0) return rc;
        if ((rc = CompareWith(nullptr, key, dat, n, param, &k, &o)) < 0) return rc;
        if (o > 0 || (o == 0 && !equalAllowed)) return kOrderViolated;
    }
    if (right != nullptr) {
        if ((rc = KeyAndDat(rightMin, param, &key, &dat)) < 0) return rc;
        if ((rc = CompareWith(nullptr, key, dat, n, param, &k, &o)) < 0) return rc;
        if (o < 0 || (o == 0 && !equalAllowed)) return kOrderViolated;
    }
    *blackHeight = leftHeight + (n->IsRed() ? 0 : 1);
    *nodes = leftNodes + rightNodes + 1;
    *min = leftMin;
    *max = rightMax;
    return 0;
}
