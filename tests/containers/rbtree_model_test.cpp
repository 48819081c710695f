// The red-black tree container and its iterator against a sorted reference: every
// duplicate policy, every search mode, every way of deleting, Clear, and the change
// detection of iterators, checked after each operation.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "containers.h"
#include "test_support.h"

namespace {

// An element: key and order part (the compare function's two levels) and an id.
struct Elem {
    int64_t key;
    int64_t ord;
    int64_t id;
};

std::vector<int>* g_destroyed = nullptr;  // destroyFunc calls per id

int Sign(int64_t v) {
    return (v > 0) - (v < 0);
}

int CompareElem(TnCompareArgs* a) {
    const int64_t pk = *static_cast<int64_t*>(a->probeKey);
    const int64_t pd = a->probeDat != nullptr ? *static_cast<int64_t*>(a->probeDat) : 0;
    const Elem* e = static_cast<Elem*>(a->element);
    *a->keyResult = Sign(pk - e->key);
    *a->orderResult = *a->keyResult != 0 ? *a->keyResult : Sign(pd - e->ord);
    return 0;
}
void* ElemKey(TnVContainer*, void* e, int* rc, TnVParameter*) {
    *rc = 0;
    return &static_cast<Elem*>(e)->key;
}
void* ElemDat(TnVContainer*, void* e, int* rc, TnVParameter*) {
    *rc = 0;
    return &static_cast<Elem*>(e)->ord;
}
void DestroyElem(TnVContainer*, void* e) {
    const int64_t id = static_cast<Elem*>(e)->id;
    if (id >= 0) ++(*g_destroyed)[size_t(id)];
}

void SetUpTable(TnRBTree& t) {
    t.SetCompareFunc(CompareElem);
    t.SetKeyFunc(ElemKey);
    t.SetDatFunc(ElemDat);
    t.SetDestroyFunc(DestroyElem);
}

struct Rec {
    int64_t key, ord, id;
    TnRBTreeNode* node;
};
bool Less(const Rec& r, int64_t key, int64_t ord) {
    return r.key < key || (r.key == key && r.ord < ord);
}
bool LessEq(const Rec& r, int64_t key, int64_t ord) {
    return r.key < key || (r.key == key && r.ord <= ord);
}

int64_t IdOf(void* entry) {
    return static_cast<Elem*>(static_cast<TnRBTreeNode*>(entry)->Element())->id;
}

class ModelRun {
  public:
    ModelRun(uint16_t flags, unsigned long long seed, std::vector<int>& destroyed)
        : flags_(flags), rng_(seed), destroyed_(destroyed), tree_(sizeof(Elem), flags, 0) {
        g_destroyed = &destroyed_;
        SetUpTable(tree_);
    }

    void Run(long ops) {
        TnRBTreeIterator watcher(&tree_, nullptr);
        for (op_ = 0; op_ < ops && !::testing::Test::HasFatalFailure(); ++op_) {
            SCOPED_TRACE(op_);
            const uint32_t before = tree_.changeCount;
            const bool watching = watcher.First() == 0;
            Step();
            if (::testing::Test::HasFatalFailure()) return;
            if (watching) {
                if (tree_.changeCount != before) {
                    ASSERT_EQ(TN_E_STALE, watcher.Next());
                    ASSERT_EQ(TN_STATE_LOST, watcher.state);
                    ASSERT_EQ(TN_STATE_LOST, watcher.Prior());
                    int rc;
                    ASSERT_EQ(nullptr, watcher.GetEntry(&rc, nullptr));
                } else {
                    ASSERT_NE(TN_E_STALE, watcher.Next());
                }
            }
            Verify(true);
        }
    }

  private:
    int64_t RandKey() { return int64_t(rng_() % 48); }
    int64_t RandOrd() { return int64_t(rng_() % 4); }
    size_t Lower(int64_t k, int64_t o) {
        return size_t(std::partition_point(model_.begin(), model_.end(),
                                           [&](const Rec& r) { return Less(r, k, o); }) -
                      model_.begin());
    }
    size_t Upper(int64_t k, int64_t o) {
        return size_t(std::partition_point(model_.begin(), model_.end(),
                                           [&](const Rec& r) { return LessEq(r, k, o); }) -
                      model_.begin());
    }
    bool KeyStored(int64_t k) {
        return std::any_of(model_.begin(), model_.end(), [&](const Rec& r) { return r.key == k; });
    }
    int64_t NewId() {
        destroyed_.push_back(0);
        return int64_t(destroyed_.size() - 1);
    }

    void Step() {
        const int what = int(rng_() % 100);
        if (model_.size() > 250 && what < 40) return DeleteByElement();
        if (what < 38) return Insert();
        if (what < 58) return Search();
        if (what < 68) return DeleteByElement();
        if (what < 76) return DeleteByEntry();
        if (what < 92) return DeleteThroughIterator();
        if (what < 98) return DeleteRunWhileStepping();
        return Clear();
    }

    void Insert() {
        const Elem e = {RandKey(), RandOrd(), NewId()};
        const bool before = rng_() % 3 == 0;
        const uint16_t mode = before ? TN_MODE_INSERT_FIRST : 0;
        bool refuse = false, equalKey = KeyStored(e.key);
        if ((flags_ & 2) == 0) {
            refuse = Lower(e.key, e.ord) != Upper(e.key, e.ord) || (equalKey && (flags_ & 1) == 0);
        }
        int rc;
        if (rng_() % 2 == 0) {
            Elem src = e;
            TnOneEntryContainer one(&src, sizeof src, &src.ord);
            TnOneEntryIterator it(&one, nullptr);
            rc = tree_.InsertElement(&it, nullptr, mode, nullptr);
        } else {
            TnRBTreeNode* entry = tree_.CreateEntry(&rc);
            ASSERT_NE(nullptr, entry);
            *static_cast<Elem*>(entry->Element()) = e;
            rc = tree_.InsertEntry(entry, mode, nullptr);
        }
        if (refuse) {
            ASSERT_EQ(TN_E_DUPLICATE, rc);
            ASSERT_EQ(1, destroyed_[size_t(e.id)]);
            return;
        }
        ASSERT_EQ(0, rc);
        ASSERT_EQ(0, destroyed_[size_t(e.id)]);
        if (equalKey) mustHaveEqualKeys_ = true;
        const size_t at = before ? Lower(e.key, e.ord) : Upper(e.key, e.ord);
        model_.insert(model_.begin() + long(at), Rec{e.key, e.ord, e.id, nullptr});
        // Find the new node through a walk (the model keeps node pointers).
        RefreshNodes();
    }

    void Search() {
        const int64_t k = RandKey(), o = RandOrd();
        uint16_t mode = 0;
        if (rng_() % 2) mode |= TN_MODE_LAST;
        if (rng_() % 3 == 0) mode |= TN_MODE_FLOOR;
        if (rng_() % 3 == 0) mode |= TN_MODE_CEILING;
        TnRBTreeParameter param;
        const bool withParam = rng_() % 4 != 0;
        if (rng_() % 3 == 0) {
            mode |= TN_MODE_AFTER_START;
            if (!model_.empty() && rng_() % 4 != 0) {
                // Often a member of the probe's run, so that the continuation is exercised.
                const size_t lo = Lower(k, o), hi = Upper(k, o);
                const size_t pick = lo < hi && rng_() % 2 ? lo + rng_() % (hi - lo)
                                                          : size_t(rng_() % model_.size());
                param.startEntry = model_[pick].node;
            }
        }
        const bool withResult = rng_() % 5 != 0;
        Elem probe = {k, o, -1};
        TnOneEntryContainer one(&probe, sizeof probe, &probe.ord);
        TnOneEntryIterator src(&one, nullptr);
        TnRBTreeIterator result(&tree_, nullptr);
        const int rc = tree_.SearchElement(&src, nullptr, mode, withParam ? &param : nullptr,
                                           withResult ? &result : nullptr);

        // Expected outcome.
        const size_t lo = Lower(k, o), hi = Upper(k, o);
        long want = -1;
        int wantRc = 0;
        if (lo < hi) {
            bool matched = false;
            if ((mode & TN_MODE_AFTER_START) != 0 && withParam) {
                for (size_t i = lo; i < hi; ++i) matched |= model_[i].node == param.startEntry;
            }
            if (matched) {
                want = hi < model_.size() ? long(hi) : -1;
            } else {
                want = long((mode & TN_MODE_LAST) != 0 ? hi - 1 : lo);
            }
        } else {
            wantRc = TN_E_NOT_FOUND;
            if ((mode & TN_MODE_CEILING) != 0) {
                want = lo < model_.size() ? long(lo) : -1;
            } else if ((mode & TN_MODE_FLOOR) != 0) {
                want = lo > 0 ? long(lo - 1) : -1;
            }
        }
        ASSERT_EQ(wantRc, rc) << "mode " << mode;
        if (!withResult) return;
        if (want >= 0) {
            ASSERT_EQ(0, result.state) << "mode " << mode;
            ASSERT_EQ(tree_.changeCount, result.savedChangeCount);
            int erc;
            ASSERT_EQ(model_[size_t(want)].id, IdOf(result.GetEntry(&erc, nullptr)));
            // The path is usable: step both ways from the entry found.
            const int dir = rng_() % 2 ? 1 : -1;
            const long nextIndex = want + dir;
            const int r = dir > 0 ? result.Next() : result.Prior();
            if (nextIndex < 0 || nextIndex >= long(model_.size())) {
                ASSERT_EQ(dir > 0 ? TN_STATE_AFTER_LAST : TN_STATE_BEFORE_FIRST, r);
            } else {
                ASSERT_EQ(0, r);
                ASSERT_EQ(model_[size_t(nextIndex)].id, IdOf(result.GetEntry(&erc, nullptr)));
            }
        } else {
            const int wantState = (mode & TN_MODE_FLOOR) != 0 ? TN_STATE_BEFORE_FIRST
                                  : (mode & (TN_MODE_CEILING | TN_MODE_AFTER_START)) != 0
                                      ? TN_STATE_AFTER_LAST
                                      : TN_STATE_LOST;
            ASSERT_EQ(wantState, result.state) << "mode " << mode;
        }
    }

    void DeleteByElement() {
        const int64_t k = RandKey(), o = RandOrd();
        const uint16_t mode = rng_() % 2 ? TN_MODE_LAST : 0;
        Elem probe = {k, o, -1};
        TnOneEntryContainer one(&probe, sizeof probe, &probe.ord);
        TnOneEntryIterator src(&one, nullptr);
        const int rc = tree_.DeleteElement(&src, nullptr, mode, nullptr);
        const size_t lo = Lower(k, o), hi = Upper(k, o);
        if (lo == hi) {
            ASSERT_EQ(TN_E_NOT_FOUND, rc);
            return;
        }
        ASSERT_EQ(0, rc);
        Erase((mode & TN_MODE_LAST) != 0 ? hi - 1 : lo);
    }

    void DeleteByEntry() {
        const uint16_t mode = rng_() % 2 ? TN_MODE_LAST : 0;
        if (model_.empty() || rng_() % 8 == 0) {
            // An entry that is not in the tree: nothing changes.
            int rc;
            TnRBTreeNode* stray = tree_.CreateEntry(&rc);
            *static_cast<Elem*>(stray->Element()) = Elem{RandKey(), RandOrd(), -1};
            const uint32_t changes = tree_.changeCount;
            ASSERT_EQ(TN_E_NOT_FOUND, tree_.DeleteEntry(stray, mode, nullptr));
            ASSERT_EQ(changes, tree_.changeCount);
            tree_.nodeCache.ReturnEntry(stray);
            return;
        }
        const size_t i = size_t(rng_() % model_.size());
        ASSERT_EQ(0, tree_.DeleteEntry(model_[i].node, mode, nullptr));
        Erase(i);
    }

    // Positions an iterator on entry i by First/Next or Last/Prior.
    void PositionAt(TnRBTreeIterator& it, size_t i) {
        if (i < model_.size() / 2) {
            ASSERT_EQ(0, it.First());
            for (size_t n = 0; n < i; ++n) ASSERT_EQ(0, it.Next());
        } else {
            ASSERT_EQ(0, it.Last());
            for (size_t n = model_.size() - 1; n > i; --n) ASSERT_EQ(0, it.Prior());
        }
    }

    void DeleteThroughIterator() {
        TnRBTreeIterator it(&tree_, nullptr);
        if (model_.empty()) {
            ASSERT_EQ(TN_STATE_BEFORE_FIRST, it.DeleteElement(0, nullptr));
            return;
        }
        const size_t i = size_t(rng_() % model_.size());
        PositionAt(it, i);
        const bool backwards = rng_() % 2 != 0;
        const bool fast = rng_() % 2 != 0;
        const uint16_t mode = backwards ? TN_MODE_BACKWARDS : 0;
        const int r = fast ? it.DeleteElement1(mode, nullptr) : it.DeleteElement(mode, nullptr);
        Erase(i);
        CheckAfterIteratorDelete(it, i, backwards, fast, r);
    }

    // Expected position after deleting model entry i (already erased) through it.
    void CheckAfterIteratorDelete(TnRBTreeIterator& it, size_t i, bool backwards, bool fast,
                                  int r) {
        long at;  // index the iterator should stand on, or -1 / -2 for before / after
        int wantR;
        if (!backwards) {
            at = i < model_.size() ? long(i) : -2;
            wantR = at >= 0 ? 0 : fast ? 0 : TN_STATE_AFTER_LAST;
        } else if (fast && i == model_.size()) {
            // No successor: back to the last entry, or after the end of an empty tree.
            at = model_.empty() ? -2 : long(model_.size() - 1);
            wantR = at >= 0 ? 0 : TN_STATE_AFTER_LAST;
        } else {
            at = i > 0 ? long(i - 1) : -1;
            wantR = at >= 0 ? 0 : TN_STATE_BEFORE_FIRST;
        }
        ASSERT_EQ(wantR, r) << "fast " << fast << " backwards " << backwards;
        if (at >= 0) {
            ASSERT_EQ(0, it.state);
            int rc;
            ASSERT_EQ(model_[size_t(at)].id, IdOf(it.GetEntry(&rc, nullptr)));
            ASSERT_EQ(0, rc);
        } else {
            ASSERT_EQ(at == -1 ? TN_STATE_BEFORE_FIRST : TN_STATE_AFTER_LAST, it.state);
        }
    }

    // Removes a stretch of entries while walking, forwards or backwards.
    void DeleteRunWhileStepping() {
        TnRBTreeIterator it(&tree_, nullptr);
        const bool backwards = rng_() % 2 != 0;
        const bool fast = rng_() % 2 != 0;
        const uint16_t mode = backwards ? TN_MODE_BACKWARDS : 0;
        int r = backwards ? it.Last() : it.First();
        long i = backwards ? long(model_.size()) - 1 : 0;
        size_t budget = size_t(rng_() % 60);
        while (r == 0 && budget-- > 0) {
            int rc;
            ASSERT_EQ(model_[size_t(i)].id, IdOf(it.GetEntry(&rc, nullptr)));
            if (rng_() % 2) {
                r = fast ? it.DeleteElement1(mode, nullptr) : it.DeleteElement(mode, nullptr);
                Erase(size_t(i));
                CheckAfterIteratorDelete(it, size_t(i), backwards, fast, r);
                if (backwards) --i;
                if (fast && !backwards && r == 0 && it.state != 0) r = it.state;
            } else {
                r = backwards ? it.Prior() : it.Next();
                i += backwards ? -1 : 1;
            }
            ASSERT_EQ(0, tree_.CheckTree(nullptr));
        }
    }

    void Clear() {
        TnRBTreeIterator it(&tree_, nullptr);
        it.First();
        uint32_t former = 12345;
        ASSERT_EQ(0, tree_.Clear(nullptr, rng_() % 2 ? &former : nullptr, nullptr));
        for (const Rec& r : model_) ASSERT_EQ(1, destroyed_[size_t(r.id)]);
        if (former != 12345) {
            ASSERT_EQ(model_.size(), former);
        }
        ASSERT_EQ(0, tree_.hasEqualKeys);
        if (!model_.empty()) {
            ASSERT_EQ(TN_E_STALE, it.Next());
            ASSERT_EQ(TN_STATE_BEFORE_FIRST, it.First());  // recovers: the tree is empty
        }
        model_.clear();
        mustHaveEqualKeys_ = false;
    }

    // Takes entry i out of the model after the tree removed it: disposed of just once.
    void Erase(size_t i) {
        const int64_t id = model_[i].id;
        model_.erase(model_.begin() + long(i));
        ASSERT_EQ(1, destroyed_[size_t(id)]);
    }

    void RefreshNodes() {
        TnRBTreeIterator it(&tree_, nullptr);
        size_t i = 0;
        for (int r = it.First(); r == 0; r = it.Next(), ++i) {
            int rc;
            ASSERT_LT(i, model_.size());
            model_[i].node = static_cast<TnRBTreeNode*>(it.GetEntry(&rc, nullptr));
        }
    }

    void Verify(bool walk) {
        ASSERT_EQ(model_.size(), tree_.count);
        ASSERT_EQ(0, tree_.CheckTree(nullptr));
        if (mustHaveEqualKeys_) {
            ASSERT_EQ(1, tree_.hasEqualKeys);
        }
        if (!model_.empty()) {
            ASSERT_EQ(model_.back().node, tree_.lastEntry);
        }
        if (!walk) return;
        TnRBTreeIterator it(&tree_, nullptr);
        size_t i = 0;
        int r;
        for (r = it.Next(); r == 0; r = it.Next(), ++i) {
            int rc;
            ASSERT_LT(i, model_.size());
            ASSERT_EQ(model_[i].node, it.GetEntry(&rc, nullptr));
            ASSERT_EQ(model_[i].id, IdOf(model_[i].node));
        }
        ASSERT_EQ(model_.size(), i);
        ASSERT_EQ(TN_STATE_AFTER_LAST, r);
        for (r = it.Prior(); r == 0; r = it.Prior()) {
            int rc;
            ASSERT_GT(i, 0u);
            ASSERT_EQ(model_[--i].node, it.GetEntry(&rc, nullptr));
        }
        ASSERT_EQ(0u, i);
        ASSERT_EQ(TN_STATE_BEFORE_FIRST, r);
    }

    uint16_t flags_;
    std::mt19937_64 rng_;
    std::vector<int>& destroyed_;
    TnRBTree tree_;
    std::vector<Rec> model_;
    bool mustHaveEqualKeys_ = false;
    long op_ = 0;
};

void RunPolicy(uint16_t flags) {
    const unsigned long long seed = mvtest::TestSeed("RBTreeModel");
    std::vector<int> destroyed;
    {
        ModelRun run(flags, seed, destroyed);
        run.Run(mvtest::ScaledOps(100000));
    }
    // With the tree gone, every element ever built was disposed of exactly once.
    for (size_t id = 0; id < destroyed.size(); ++id) ASSERT_EQ(1, destroyed[id]) << id;
}

TEST(RBTreeModel, UniqueKeys) {
    RunPolicy(0);
}
TEST(RBTreeModel, EqualKeysDifferentOrder) {
    RunPolicy(1);
}
TEST(RBTreeModel, FullDuplicates) {
    RunPolicy(2);
}

}  // namespace
