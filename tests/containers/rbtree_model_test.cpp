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

using mvtest::Elem;
using mvtest::ElemOf;
using mvtest::Source;

std::vector<int>* g_destroyed = nullptr;  // destroyFunc calls per id

void DestroyElem(TnVContainer*, void* e) {
    const int64_t id = static_cast<Elem*>(e)->id;
    if (id >= 0) ++(*g_destroyed)[size_t(id)];
}

struct Rec {
    int64_t key, ord, id;
    TnRBTreeNode* node;
};
int64_t IdOf(void* entry) {
    return ElemOf(entry)->id;
}

class ModelRun {
  public:
    // With a compare function other than CompareElem (which orders by key, then order
    // part), keys alone order the elements: every order part is 0, and keys go negative.
    ModelRun(uint16_t flags, unsigned long long seed, std::vector<int>& destroyed,
             TnCompareFunc compare)
        : flags_(flags),
          keysOnly_(compare != mvtest::CompareElem),
          rng_(seed),
          destroyed_(destroyed),
          tree_(sizeof(Elem), flags, 0) {
        g_destroyed = &destroyed_;
        mvtest::SetUpTable(tree_, compare, DestroyElem);
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
                    // A stale iterator refuses to delete and keeps its state.
                    ASSERT_EQ(ERR_TN_STALE, watcher.DeleteElement(0, nullptr));
                    ASSERT_EQ(0, watcher.state);
                    ASSERT_EQ(ERR_TN_STALE, watcher.Next());
                    ASSERT_EQ(ERR_TN_POSITION_LOST, watcher.state);
                    ASSERT_EQ(ERR_TN_POSITION_LOST, watcher.Prior());
                    int rc;
                    ASSERT_EQ(nullptr, watcher.GetEntry(&rc, nullptr));
                } else {
                    ASSERT_NE(ERR_TN_STALE, watcher.Next());
                }
            }
            Verify();
        }
    }

  private:
    // Keys are drawn so that the tree can reach its target size with runs of equal keys.
    int64_t RandKey() {
        const int64_t range = int64_t(flags_ == 0 ? target_ + 16 : target_ / 3 + 8);
        return int64_t(rng_() % uint64_t(range)) - (keysOnly_ ? range / 2 : 0);
    }
    int64_t RandOrd() { return keysOnly_ ? 0 : int64_t(rng_() % 4); }
    // First entry not before (k, o), and first entry after it.
    size_t Bound(int64_t k, int64_t o, bool upper) {
        auto before = [&](const Rec& r) {
            return r.key < k || (r.key == k && (upper ? r.ord <= o : r.ord < o));
        };
        return size_t(std::partition_point(model_.begin(), model_.end(), before) - model_.begin());
    }
    size_t Lower(int64_t k, int64_t o) { return Bound(k, o, false); }
    size_t Upper(int64_t k, int64_t o) { return Bound(k, o, true); }
    bool KeyStored(int64_t k) { return Lower(k, INT64_MIN) != Upper(k, INT64_MAX); }
    int64_t NewId() {
        destroyed_.push_back(0);
        return int64_t(destroyed_.size() - 1);
    }

    void Step() {
        // The target size changes now and then, so that small and deep trees both occur.
        if (op_ % 3000 == 0) target_ = size_t(8) << (rng_() % 6);
        const int what = int(rng_() % 100);
        if (what < 30 && model_.size() != target_) {
            return model_.size() < target_ ? Insert() : DeleteByEntry();
        }
        if (what < 45) return Insert();
        if (what < 73) return Search();
        if (what < 78) return DeleteByElement();
        if (what < 83) return DeleteByEntry();
        if (what < 99 || rng_() % 8 != 0) return DeleteThroughIterator();
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
            Source src(e);
            rc = tree_.InsertElement(&src.it, nullptr, mode, nullptr);
        } else {
            TnRBTreeNode* entry = tree_.CreateEntry(&rc);
            ASSERT_NE(nullptr, entry);
            *static_cast<Elem*>(entry->Element()) = e;
            rc = tree_.InsertEntry(entry, mode, nullptr);
        }
        if (refuse) {
            ASSERT_EQ(ERR_TN_DUPLICATE, rc);
            ASSERT_EQ(1, destroyed_[size_t(e.id)]);
            return;
        }
        ASSERT_EQ(0, rc);
        ASSERT_EQ(0, destroyed_[size_t(e.id)]);
        if (equalKey) hasEqualKeys_ = true;
        const size_t at = before ? Lower(e.key, e.ord) : Upper(e.key, e.ord);
        // The walk of Verify fills in the new entry's node.
        model_.insert(model_.begin() + long(at), Rec{e.key, e.ord, e.id, nullptr});
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
        Source src(Elem{k, o, -1});
        TnRBTreeIterator result(&tree_, nullptr);
        const int rc = tree_.SearchElement(&src.it, nullptr, mode, withParam ? &param : nullptr,
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
            wantRc = ERR_TN_NOT_FOUND;
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
                ASSERT_EQ(dir > 0 ? ERR_TN_AFTER_LAST : ERR_TN_BEFORE_FIRST, r);
            } else {
                ASSERT_EQ(0, r);
                ASSERT_EQ(model_[size_t(nextIndex)].id, IdOf(result.GetEntry(&erc, nullptr)));
            }
        } else {
            const int wantState = (mode & TN_MODE_FLOOR) != 0 ? ERR_TN_BEFORE_FIRST
                                  : (mode & (TN_MODE_CEILING | TN_MODE_AFTER_START)) != 0
                                      ? ERR_TN_AFTER_LAST
                                      : ERR_TN_POSITION_LOST;
            ASSERT_EQ(wantState, result.state) << "mode " << mode;
        }
    }

    void DeleteByElement() {
        const int64_t k = RandKey(), o = RandOrd();
        const uint16_t mode = rng_() % 2 ? TN_MODE_LAST : 0;
        Source src(Elem{k, o, -1});
        const int rc = tree_.DeleteElement(&src.it, nullptr, mode, nullptr);
        const size_t lo = Lower(k, o), hi = Upper(k, o);
        if (lo == hi) {
            ASSERT_EQ(ERR_TN_NOT_FOUND, rc);
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
            ASSERT_EQ(ERR_TN_NOT_FOUND, tree_.DeleteEntry(stray, mode, nullptr));
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

    // Expected position after deleting model entry i (already erased) through it.
    void CheckAfterIteratorDelete(TnRBTreeIterator& it, size_t i, bool backwards, bool fast,
                                  int r) {
        long at;  // index the iterator should stand on, or -1 / -2 for before / after
        int wantR;
        if (!backwards) {
            at = i < model_.size() ? long(i) : -2;
            wantR = at >= 0 ? 0 : fast ? 0 : ERR_TN_AFTER_LAST;
        } else if (fast && i == model_.size()) {
            // No successor: back to the last entry, or after the end of an empty tree.
            at = model_.empty() ? -2 : long(model_.size() - 1);
            wantR = at >= 0 ? 0 : ERR_TN_AFTER_LAST;
        } else {
            at = i > 0 ? long(i - 1) : -1;
            wantR = at >= 0 ? 0 : ERR_TN_BEFORE_FIRST;
        }
        ASSERT_EQ(wantR, r) << "fast " << fast << " backwards " << backwards;
        if (at >= 0) {
            ASSERT_EQ(0, it.state);
            int rc;
            ASSERT_EQ(model_[size_t(at)].id, IdOf(it.GetEntry(&rc, nullptr)));
            ASSERT_EQ(0, rc);
        } else {
            ASSERT_EQ(at == -1 ? ERR_TN_BEFORE_FIRST : ERR_TN_AFTER_LAST, it.state);
        }
    }

    // Removes entries through an iterator while walking on from a random entry, forwards
    // or backwards, with the checked or the fast removal.
    void DeleteThroughIterator() {
        TnRBTreeIterator it(&tree_, nullptr);
        if (model_.empty()) {
            ASSERT_EQ(ERR_TN_BEFORE_FIRST, it.DeleteElement(0, nullptr));
            return;
        }
        const bool backwards = rng_() % 2 != 0, fast = rng_() % 2 != 0;
        const uint16_t mode = backwards ? TN_MODE_BACKWARDS : 0;
        // Small trees are sometimes emptied from their end, one deletion after another.
        const bool all = model_.size() <= 30 && rng_() % 16 == 0;
        long i = all ? (backwards ? long(model_.size()) - 1 : 0) : long(rng_() % model_.size());
        PositionAt(it, size_t(i));
        int r = 0;
        const size_t steps = all ? model_.size() : 1 + rng_() % 16;
        for (size_t step = 0; r == 0 && step < steps; ++step) {
            int rc;
            ASSERT_EQ(model_[size_t(i)].id, IdOf(it.GetEntry(&rc, nullptr)));
            if (all || step == 0 || rng_() % 8 == 0) {
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
        ASSERT_TRUE(!all || (model_.empty() && tree_.root == nullptr));
    }

    // The watcher of Run checks that positioned iterators go stale.
    void Clear() {
        uint32_t former = 12345;
        ASSERT_EQ(0, tree_.Clear(nullptr, rng_() % 2 ? &former : nullptr, nullptr));
        for (const Rec& r : model_) ASSERT_EQ(1, destroyed_[size_t(r.id)]);
        ASSERT_TRUE(former == 12345 || former == model_.size());
        model_.clear();
        hasEqualKeys_ = false;
    }

    // Takes entry i out of the model after the tree removed it: disposed of just once.
    void Erase(size_t i) {
        const int64_t id = model_[i].id;
        model_.erase(model_.begin() + long(i));
        ASSERT_EQ(1, destroyed_[size_t(id)]);
    }

    void Verify() {
        ASSERT_EQ(model_.size(), tree_.count);
        ASSERT_EQ(0, tree_.CheckTree(nullptr));
        ASSERT_EQ(hasEqualKeys_ ? 1 : 0, tree_.hasEqualKeys);
        TnRBTreeIterator it(&tree_, nullptr);
        size_t i = 0;
        int r, rc;
        for (r = it.Next(); r == 0; r = it.Next(), ++i) {
            ASSERT_LT(i, model_.size());
            void* entry = it.GetEntry(&rc, nullptr);
            if (model_[i].node == nullptr) model_[i].node = static_cast<TnRBTreeNode*>(entry);
            ASSERT_EQ(model_[i].node, entry);
            ASSERT_EQ(model_[i].id, IdOf(entry));
        }
        ASSERT_EQ(model_.size(), i);
        ASSERT_EQ(ERR_TN_AFTER_LAST, r);
        for (r = it.Prior(); r == 0; r = it.Prior()) {
            ASSERT_GT(i, 0u);
            ASSERT_EQ(model_[--i].node, it.GetEntry(&rc, nullptr));
        }
        ASSERT_EQ(0u, i);
        ASSERT_EQ(ERR_TN_BEFORE_FIRST, r);
        if (!model_.empty()) {
            ASSERT_EQ(model_.back().node, tree_.lastEntry);
        }
    }

    uint16_t flags_;
    bool keysOnly_;
    std::mt19937_64 rng_;
    std::vector<int>& destroyed_;
    TnRBTree tree_;
    std::vector<Rec> model_;
    bool hasEqualKeys_ = false;
    long op_ = 0;
    size_t target_ = 8;
};

void RunPolicy(uint16_t flags, TnCompareFunc compare = mvtest::CompareElem, long ops = 100000) {
    const unsigned long long seed = mvtest::TestSeed("RBTreeModel");
    std::vector<int> destroyed;
    {
        ModelRun run(flags, seed, destroyed, compare);
        run.Run(mvtest::ScaledOps(ops));
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
// The library's own comparison of 64-bit keys, which the tree's descents make inline.
TEST(RBTreeModel, Int64KeysComparedInline) {
    RunPolicy(0, TnVContainer::CompareInt64Keys, 30000);
    RunPolicy(2, TnVContainer::CompareInt64Keys, 30000);
}

}  // namespace
