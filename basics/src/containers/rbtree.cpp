// The red-black tree container: entries from an entry cache, order and duplicate
// policy from the function table, path stacks instead of parent links.
#include <new>

#include "containers.h"
#include "containers/keys.h"
#include "containers/oneentry.h"
#include "containers/rbtree_internal.h"

namespace rbtree = mvb::containers::rbtree;

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

TnRBTree::TnRBTree(uint32_t elementSize, uint16_t flags, uint32_t entriesPerBlock)
    : TnVContainer(elementSize, flags),
      root(nullptr),
      lastEntry(nullptr),
      nodeCache(rbtree::NodeSize(elementSize, sizeof(TnRBTreeNode)), entriesPerBlock,
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
    // The default functions' answers are known without a call: the element is the key,
    // and there is no data part.
    int rc = 0;
    *key = keyFunc == DefaultKey ? node->Element() : keyFunc(this, node->Element(), &rc, param);
    if (rc < 0) return rc;
    if (datFunc == DefaultDat) {
        *dat = nullptr;
        return 0;
    }
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
    if (mvb::containers::ReadOneEntryProbe(source, &rc, key, dat)) return rc;
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

namespace mvb::containers::rbtree {

// A descent by the comparison of TnVContainer::CompareInt64Keys, made inline: from root
// down to the first node whose 64-bit key equals the one at probeKey (read only when the
// tree is not empty), calling visit on every node on the way. Each level only tests for equality;
// *order receives what the last comparison said (1 for an empty tree), the order of a miss coming
// from the last key compared. Null on a miss.
template <typename Visit>
TnRBTreeNode* DescendByInt64Key(TnRBTreeNode* n, const void* probeKey, int* order, Visit visit) {
    if (n == nullptr) {
        *order = 1;
        return nullptr;
    }
    const int64_t key = Int64KeyAt(probeKey);
    int64_t k;
    for (;;) {
        visit(n);
        k = Int64KeyAt(n->Element());
        if (key == k) {
            *order = 0;
            return n;
        }
        TnRBTreeNode* const next = ChildTowardsKey(n, key, k);
        if (next == nullptr) break;
        n = next;
    }
    *order = CompareInt64(key, k);
    return nullptr;
}

// What one comparison of the probe with a stored element said.
struct Comparison {
    int keyResult = 0;    // 0: the keys are equal
    int orderResult = 1;  // < 0: the probe sorts before the element; 0: at its place; > 0: after

    bool ProbeBefore() const { return orderResult < 0; }
    bool SamePlace() const { return orderResult == 0; }
    // Where an insertion goes past an equal entry: after it, unless asked to go first.
    bool GoesRight(bool insertFirst) const {
        return orderResult > 0 || (orderResult == 0 && !insertFirst);
    }
};

// The compare-argument block of one probe, built once for a whole descent; each
// comparison only points it at another stored element.
class Probe {
  public:
    Probe(TnRBTree& tree, TnVIterator* probe, void* key, void* dat, TnVParameter* param)
        : m_compare(tree.compareFunc),
          m_args{&tree, &m_last.keyResult, &m_last.orderResult, probe, key, dat, nullptr, param} {}
    Probe(const Probe&) = delete;  // the block points into this object
    Probe& operator=(const Probe&) = delete;

    // The compare function's result; Last() holds what it said.
    int Against(TnRBTreeNode* n) {
        m_args.element = n->Element();
        return m_compare(&m_args);
    }

    const Comparison& Last() const { return m_last; }

    // With TnVContainer::CompareInt64Keys as the compare function, a descent compares the
    // keys itself (the same results, no call per level) and records the last result here.
    bool ComparesInt64Keys() const { return m_compare == TnVContainer::CompareInt64Keys; }
    int64_t Int64Key() const { return mvb::containers::Int64KeyAt(m_args.probeKey); }
    const void* ProbeKey() const { return m_args.probeKey; }
    void SetLast(int order) { m_last.keyResult = m_last.orderResult = order; }

  private:
    Comparison m_last;  // the latest comparison
    TnCompareFunc m_compare;
    TnCompareArgs m_args;
};

// One SearchEntry, in its three phases: descend to a node equal to the probe; walk the
// run of equal entries below it to the run's first (or last) member; or, on a miss,
// position on a neighbour of the probe. The compare-argument block is built once for
// the whole search (Probe).
class Search {
  public:
    Search(TnRBTree& tree, TnVIterator* probe, void* key, void* dat, uint16_t mode,
           TnVParameter* param, TnRBTreeNodeStack* path)
        : m_tree(tree),
          m_mode(mode),
          m_param(param),
          m_path(path),
          m_probe(tree, probe, key, dat, param) {}

    // Phase 1: from the root down to the first node that compares equal, pushing every
    // node on the path. Null on a miss, and on an error of the compare function (then in
    // *result).
    TnRBTreeNode* Descend(int* result) {
        if (m_probe.ComparesInt64Keys()) return DescendByInt64Key();
        for (TnRBTreeNode* n = m_tree.root; n != nullptr;
             n = ChildTowards(n, m_probe.Last().ProbeBefore())) {
            Push(n);
            PrefetchChildren(n);
            const int rc = m_probe.Against(n);
            if (rc < 0) {
                *result = rc;
                return nullptr;
            }
            if (m_probe.Last().SamePlace()) return n;
        }
        return nullptr;
    }

    // Descend with the comparison of CompareInt64Keys made inline.
    TnRBTreeNode* DescendByInt64Key() {
        int order;
        TnRBTreeNode* const n = rbtree::DescendByInt64Key(m_tree.root, m_probe.ProbeKey(), &order,
                                                          [this](TnRBTreeNode* at) {
                                                              Push(at);
                                                              PrefetchChildren(at);
                                                          });
        m_probe.SetLast(order);
        return n;
    }

    // Phase 2: the run of equal entries around `found`. Entries equal to a node lie in
    // its subtrees, so the walk goes down from it: towards the run's first member it
    // steps left after an equal node and right after an unequal one (the run continues
    // in that node's right subtree); towards the last member the other way round. It
    // stops at a null child; the last equal node met is the run's end. With no equal keys
    // in the tree, `found` is the only member, and the walk only extends the path for a
    // removal. Returns the entry the search ends on (null at the end of the tree after a
    // start entry, and on an error, then in *result), with *foundSlot its path slot.
    TnRBTreeNode* WalkEqualRun(TnRBTreeNode* found, int* result, TnRBTreeNode*** foundSlot) {
        bool towardsLast = (m_mode & TN_MODE_LAST) != 0;
        // After a start entry that is in the run, the search continues behind the run.
        bool startInRun = false;
        TnRBTreeNode* start = nullptr;
        TnRBTreeNode** slot = nullptr;
        if (m_path != nullptr) {
            slot = m_path->top;
            if ((m_mode & TN_MODE_AFTER_START) != 0 && m_param != nullptr) {
                start = static_cast<TnRBTreeNode*>(m_param->startEntry);
                if (start == found) startInRun = towardsLast = true;
            }
        }
        const bool equalKeys = m_tree.hasEqualKeys != 0;
        TnRBTreeNode* runEnd = found;
        if (equalKeys || (m_mode & TN_MODE_FOR_REMOVAL) != 0) {
            if (start != nullptr && !startInRun) {
                void *startKey, *startDat;
                Comparison startVsFound;
                int rc = m_tree.KeyAndDat(start, m_param, &startKey, &startDat);
                if (rc >= 0) {
                    rc = m_tree.CompareWith(nullptr, startKey, startDat, found, m_param,
                                            &startVsFound.keyResult, &startVsFound.orderResult);
                }
                if (rc < 0) {
                    *result = rc;
                    return nullptr;
                }
                if (startVsFound.SamePlace()) startInRun = towardsLast = true;
            }
            bool lastWasEqual = true;
            for (TnRBTreeNode* n = found;;) {
                n = towardsLast == lastWasEqual ? n->right : n->Left();
                if (n == nullptr) break;
                Push(n);
                lastWasEqual = false;
                if (!equalKeys) continue;
                const int rc = m_probe.Against(n);
                if (rc < 0) {
                    *result = rc;
                    return nullptr;
                }
                if (m_probe.Last().SamePlace()) {
                    lastWasEqual = true;
                    runEnd = n;
                    if (m_path != nullptr) slot = m_path->top;
                }
            }
        }
        if (m_path == nullptr) return runEnd;
        if (startInRun) {
            // Continue after the whole run: its in-order successor.
            if (m_path->top == slot) m_path->GoToNextEntry();
            *foundSlot = m_path->top;
            return m_path->Current();
        }
        // A removal keeps the walked path, which ends at the run end's neighbour.
        if ((m_mode & TN_MODE_FOR_REMOVAL) == 0) m_path->top = slot;
        *foundSlot = slot;
        return runEnd;
    }

    // Phase 3, on a miss: -510. With a path and TN_MODE_CEILING (which wins) or
    // TN_MODE_FLOOR the search stands on the nearest entry after (before) the probe: the
    // path's last node when the probe sorts before (after) it, else that node's in-order
    // successor (predecessor). Null when there is none.
    TnRBTreeNode* PositionOnMiss(int* result) {
        *result = ERR_TN_NOT_FOUND;
        if (m_path == nullptr) return nullptr;
        if ((m_mode & (TN_MODE_FLOOR | TN_MODE_CEILING)) == 0 || m_path->Empty()) {
            m_path->Reset();
            return nullptr;
        }
        if ((m_mode & TN_MODE_CEILING) != 0)
            return m_probe.Last().ProbeBefore() ? m_path->Current() : m_path->GoToNextEntry();
        return m_probe.Last().ProbeBefore() ? m_path->GoToPriorEntry() : m_path->Current();
    }

  private:
    void Push(TnRBTreeNode* n) {
        if (m_path != nullptr) m_path->Push(n);
    }

    TnRBTree& m_tree;
    const uint16_t m_mode;
    TnVParameter* const m_param;
    TnRBTreeNodeStack* const m_path;
    Probe m_probe;
};

}  // namespace mvb::containers::rbtree

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
    rbtree::Search search(*this, probe, key, dat, mode, param, path);
    TnRBTreeNode* found = search.Descend(result);
    if (*result < 0) return nullptr;
    if (found == nullptr) return search.PositionOnMiss(result);
    return search.WalkEqualRun(found, result, foundSlot);
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
    if (it == nullptr && (mode & kPositioningModes) == 0 && compareFunc == CompareInt64Keys) {
        // Nothing to position on and no comparison that can fail: the answer is only
        // whether the key is present.
        int order;
        return rbtree::DescendByInt64Key(root, key, &order, [](TnRBTreeNode*) {}) != nullptr
                   ? 0
                   : ERR_TN_NOT_FOUND;
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
    if (rc >= 0 && root != nullptr) {
        rbtree::Probe probe(*this, nullptr, key, dat, param);
        if (probe.ComparesInt64Keys()) {
            const int64_t k = probe.Int64Key();
            rc = Attach(entry, mode,
                        [k](TnRBTreeNode* n, int* keyResult, int* orderResult, bool* before,
                            TnRBTreeNode** child) {
                            const int64_t nk = mvb::containers::Int64KeyAt(n->Element());
                            *keyResult = *orderResult = mvb::containers::CompareInt64(k, nk);
                            *before = k < nk;
                            *child = rbtree::ChildTowardsKey(n, k, nk);
                            return 0;
                        });
        } else {
            rc = Attach(entry, mode,
                        [&probe](TnRBTreeNode* n, int* keyResult, int* orderResult, bool* before,
                                 TnRBTreeNode** child) {
                            const int r = probe.Against(n);
                            *keyResult = probe.Last().keyResult;
                            *orderResult = probe.Last().orderResult;
                            *before = probe.Last().ProbeBefore();
                            *child = rbtree::ChildTowards(n, *before);
                            return r;
                        });
        }
    } else if (rc >= 0) {
        root = lastEntry = entry;
        entry->SetBlack();
    }
    if (rc < 0) {
        Dispose(entry);
        return rc;
    }
    ++changeCount;
    ++count;
    return rc;
}

template <typename Compare>
int TnRBTree::Attach(TnRBTreeNode* entry, uint16_t mode, Compare compare) {
    const bool insertFirst = (mode & TN_MODE_INSERT_FIRST) != 0;
    // Compares the entry with n and applies the duplicate rule; *left: the entry goes
    // before n, *child: the child of n on that side. The rule, and the direction's
    // dependence on the mode, matter only where a key or the order is equal: elsewhere the
    // direction and the child are the comparison's as they come, with no branch on them
    // (which would mispredict on random keys).
    auto step = [&](TnRBTreeNode* n, bool* left, TnRBTreeNode** child) {
        int k, o;
        const int rc = compare(n, &k, &o, left, child);
        if (rc < 0 || (k != 0 && o != 0)) return rc;
        const int refused = ApplyDuplicateRule(k, o);
        if (o == 0) {
            *left = insertFirst;
            *child = rbtree::ChildTowards(n, insertFirst);
        }
        return refused < 0 ? refused : rc;
    };
    TnRBTreeNodeStack path;
    bool left;
    TnRBTreeNode* child;
    int rc = step(lastEntry, &left, &child);
    if (rc < 0) return rc;
    if (!left) {
        // Appending after the last entry: its path is the right spine.
        path.PushRightSpine(root);
        lastEntry->right = entry;
        lastEntry = entry;
    } else {
        for (TnRBTreeNode* n = root; n != nullptr; n = child) {
            path.Push(n);
            rbtree::PrefetchChildren(n);
            rc = step(n, &left, &child);
            if (rc < 0) return rc;
        }
        if (left) {
            path.Current()->SetLeft(entry);
        } else {
            path.Current()->right = entry;
        }
    }
    RebalanceAfterAdd(root, path, entry);
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
    const rbtree::Unlinked u = rbtree::UnlinkTop(root, path, foundSlot);
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
    if (n->IsRed() && (rbtree::IsRed(left) || rbtree::IsRed(right))) return kRedNodeWithRedChild;
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
