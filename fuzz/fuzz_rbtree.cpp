// Operation sequences on the red-black tree container and its iterators against a
// sorted vector (a std::multimap in order of key, then order part, then arrival):
// insertion by element and by entry, every search mode with and without a result
// iterator, the three ways of deleting, Clear, and stale iterators. After each step the
// tree passes CheckTree, walks both ways as the model does, and every element built was
// disposed of exactly once when it left.
#include <algorithm>
#include <cstring>
#include <vector>

#include "containers.h"
#include "fuzz_support.h"

namespace {

struct Elem {
    int64_t key, ord, id;
};
struct Rec {
    int64_t key, ord, id;
    TnRBTreeNode* node;
};

std::vector<int> g_disposed;  // disposals per element id, for one input

int Sign(int64_t v) {
    return (v > 0) - (v < 0);
}
int CompareElem(TnCompareArgs* a) {
    const int64_t pk = *static_cast<int64_t*>(a->probeKey);
    const int64_t pd = a->probeDat ? *static_cast<int64_t*>(a->probeDat) : 0;
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
void Dispose(TnVContainer*, void* e) {
    const int64_t id = static_cast<Elem*>(e)->id;
    if (id >= 0) ++g_disposed[size_t(id)];
}
int64_t IdOf(void* entry) {
    return static_cast<Elem*>(static_cast<TnRBTreeNode*>(entry)->Element())->id;
}

// A one-entry source standing on an element, as the tree's operations take it.
struct Source {
    explicit Source(Elem e) : elem(e), one(&elem, sizeof elem, &elem.ord), it(&one, nullptr) {}
    Elem elem;
    TnOneEntryContainer one;
    TnOneEntryIterator it;
};

class Run {
  public:
    // keysOnly: the library's TnVContainer::CompareInt64Keys orders by keys alone (which
    // the tree compares inline); every order part is then 0, and keys go negative.
    Run(FuzzedDataProvider& in, uint16_t flags, bool keysOnly)
        : in_(in),
          flags_(flags),
          keysOnly_(keysOnly),
          tree_(sizeof(Elem), flags, 1 + in.ConsumeIntegral<uint8_t>() % 8) {
        tree_.SetCompareFunc(keysOnly ? TnVContainer::CompareInt64Keys : CompareElem);
        tree_.SetKeyFunc(ElemKey);
        tree_.SetDatFunc(ElemDat);
        tree_.SetDestroyFunc(Dispose);
    }

    void Go() {
        TnRBTreeIterator watcher(&tree_, nullptr);
        while (in_.remaining_bytes() > 0) {
            const uint32_t before = tree_.changeCount;
            const bool watching = watcher.First() == 0;
            Step();
            if (watching && tree_.changeCount != before) {
                FUZZ_CHECK(watcher.DeleteElement(0, nullptr) == ERR_TN_STALE);
                FUZZ_CHECK(watcher.Next() == ERR_TN_STALE);
                FUZZ_CHECK(watcher.state == ERR_TN_POSITION_LOST);
            }
            Verify();
        }
    }

  private:
    int64_t Key() { return mvfuzz::Pick<int64_t>(in_, 24) - (keysOnly_ ? 12 : 0); }
    int64_t Ord() { return keysOnly_ ? 0 : mvfuzz::Pick<int64_t>(in_, 4); }
    size_t Bound(int64_t k, int64_t o, bool upper) {
        auto before = [&](const Rec& r) {
            return r.key < k || (r.key == k && (upper ? r.ord <= o : r.ord < o));
        };
        return size_t(std::partition_point(model_.begin(), model_.end(), before) - model_.begin());
    }
    bool KeyStored(int64_t k) { return Bound(k, INT64_MIN, false) != Bound(k, INT64_MAX, true); }

    void Step() {
        switch (mvfuzz::Pick(in_, 7)) {
            case 0:
            case 1:
                return Insert();
            case 2:
                return Search();
            case 3:
                return DeleteByElement();
            case 4:
                return DeleteByEntry();
            case 5:
                return DeleteThroughIterator();
            default:
                return Clear();
        }
    }

    void Insert() {
        g_disposed.push_back(0);
        const Elem e = {Key(), Ord(), int64_t(g_disposed.size() - 1)};
        const bool first = in_.ConsumeBool();
        const uint16_t mode = first ? TN_MODE_INSERT_FIRST : 0;
        const size_t lo = Bound(e.key, e.ord, false), hi = Bound(e.key, e.ord, true);
        const bool equalKey = KeyStored(e.key);
        const bool refuse = (flags_ & 2) == 0 && (lo != hi || (equalKey && (flags_ & 1) == 0));
        int rc;
        if (in_.ConsumeBool()) {
            Source src(e);
            rc = tree_.InsertElement(&src.it, nullptr, mode, nullptr);
        } else {
            TnRBTreeNode* entry = tree_.CreateEntry(&rc);
            FUZZ_CHECK(entry != nullptr);
            *static_cast<Elem*>(entry->Element()) = e;
            rc = tree_.InsertEntry(entry, mode, nullptr);
        }
        if (refuse) {
            FUZZ_CHECK(rc == ERR_TN_DUPLICATE && g_disposed[size_t(e.id)] == 1);
            return;
        }
        FUZZ_CHECK(rc == 0 && g_disposed[size_t(e.id)] == 0);
        hasEqualKeys_ |= equalKey;
        model_.insert(model_.begin() + long(first ? lo : hi), Rec{e.key, e.ord, e.id, nullptr});
    }

    void Search() {
        const int64_t k = Key(), o = Ord();
        const uint16_t mode =
            in_.ConsumeIntegral<uint16_t>() &
            (TN_MODE_LAST | TN_MODE_FLOOR | TN_MODE_CEILING | TN_MODE_AFTER_START);
        const bool withParam = in_.ConsumeBool(), withResult = in_.ConsumeBool();
        TnRBTreeParameter param;
        if (!model_.empty() && in_.ConsumeBool())
            param.startEntry = model_[mvfuzz::Pick(in_, model_.size())].node;
        Source src(Elem{k, o, -1});
        TnRBTreeIterator result(&tree_, nullptr);
        const int rc = tree_.SearchElement(&src.it, nullptr, mode, withParam ? &param : nullptr,
                                           withResult ? &result : nullptr);
        const size_t lo = Bound(k, o, false), hi = Bound(k, o, true);
        long want = -1;
        int wantRc = 0;
        if (lo < hi) {
            bool matched = false;
            if ((mode & TN_MODE_AFTER_START) && withParam)
                for (size_t i = lo; i < hi; ++i) matched |= model_[i].node == param.startEntry;
            want = matched ? (hi < model_.size() ? long(hi) : -1)
                           : long((mode & TN_MODE_LAST) ? hi - 1 : lo);
        } else {
            wantRc = ERR_TN_NOT_FOUND;
            if (mode & TN_MODE_CEILING)
                want = lo < model_.size() ? long(lo) : -1;
            else if (mode & TN_MODE_FLOOR)
                want = lo > 0 ? long(lo - 1) : -1;
        }
        FUZZ_CHECK(rc == wantRc);
        if (!withResult) return;
        if (want < 0) {
            const int state = (mode & TN_MODE_FLOOR) ? ERR_TN_BEFORE_FIRST
                              : (mode & (TN_MODE_CEILING | TN_MODE_AFTER_START))
                                  ? ERR_TN_AFTER_LAST
                                  : ERR_TN_POSITION_LOST;
            FUZZ_CHECK(result.state == state);
            return;
        }
        int erc;
        FUZZ_CHECK(result.state == 0 &&
                   IdOf(result.GetEntry(&erc, nullptr)) == model_[size_t(want)].id);
        // The path found is usable both ways.
        const bool forward = in_.ConsumeBool();
        const long next = want + (forward ? 1 : -1);
        const int r = forward ? result.Next() : result.Prior();
        if (next < 0 || next >= long(model_.size()))
            FUZZ_CHECK(r == (forward ? ERR_TN_AFTER_LAST : ERR_TN_BEFORE_FIRST));
        else
            FUZZ_CHECK(r == 0 && IdOf(result.GetEntry(&erc, nullptr)) == model_[size_t(next)].id);
    }

    void DeleteByElement() {
        const int64_t k = Key(), o = Ord();
        const uint16_t mode = in_.ConsumeBool() ? TN_MODE_LAST : 0;
        Source src(Elem{k, o, -1});
        const int rc = tree_.DeleteElement(&src.it, nullptr, mode, nullptr);
        const size_t lo = Bound(k, o, false), hi = Bound(k, o, true);
        if (lo == hi) return FUZZ_CHECK(rc == ERR_TN_NOT_FOUND);
        FUZZ_CHECK(rc == 0);
        Erase(mode ? hi - 1 : lo);
    }

    void DeleteByEntry() {
        if (model_.empty() || in_.ConsumeBool()) {
            int rc;
            TnRBTreeNode* stray = tree_.CreateEntry(&rc);
            *static_cast<Elem*>(stray->Element()) = Elem{Key(), Ord(), -1};
            const uint32_t changes = tree_.changeCount;
            FUZZ_CHECK(tree_.DeleteEntry(stray, 0, nullptr) == ERR_TN_NOT_FOUND);
            FUZZ_CHECK(changes == tree_.changeCount);
            tree_.nodeCache.ReturnEntry(stray);
            return;
        }
        const size_t i = mvfuzz::Pick(in_, model_.size());
        FUZZ_CHECK(
            tree_.DeleteEntry(model_[i].node, in_.ConsumeBool() ? TN_MODE_LAST : 0, nullptr) == 0);
        Erase(i);
    }

    // Walks to entry i, then removes entries while stepping on, forwards or backwards,
    // with the checked or the fast removal.
    void DeleteThroughIterator() {
        TnRBTreeIterator it(&tree_, nullptr);
        if (model_.empty()) return FUZZ_CHECK(it.DeleteElement(0, nullptr) == ERR_TN_BEFORE_FIRST);
        const bool backwards = in_.ConsumeBool(), fast = in_.ConsumeBool();
        const uint16_t mode = backwards ? TN_MODE_BACKWARDS : 0;
        long i = long(mvfuzz::Pick(in_, model_.size()));
        FUZZ_CHECK(it.First() == 0);
        for (long n = 0; n < i; ++n) FUZZ_CHECK(it.Next() == 0);
        int r = 0;
        for (int step = 0, steps = 1 + mvfuzz::Pick(in_, 8); r == 0 && step < steps; ++step) {
            int rc;
            FUZZ_CHECK(IdOf(it.GetEntry(&rc, nullptr)) == model_[size_t(i)].id);
            if (step > 0 && in_.ConsumeBool()) {
                r = backwards ? it.Prior() : it.Next();
                i += backwards ? -1 : 1;
                continue;
            }
            r = fast ? it.DeleteElement1(mode, nullptr) : it.DeleteElement(mode, nullptr);
            Erase(size_t(i));
            long at;
            int wantR;
            if (!backwards) {
                at = size_t(i) < model_.size() ? i : -2;
                wantR = at >= 0 || fast ? 0 : ERR_TN_AFTER_LAST;
            } else if (fast && size_t(i) == model_.size()) {
                at = model_.empty() ? -2 : long(model_.size()) - 1;
                wantR = at >= 0 ? 0 : ERR_TN_AFTER_LAST;
            } else {
                at = i - 1 >= 0 ? i - 1 : -1;
                wantR = at >= 0 ? 0 : ERR_TN_BEFORE_FIRST;
            }
            FUZZ_CHECK(r == wantR);
            if (at >= 0)
                FUZZ_CHECK(it.state == 0 &&
                           IdOf(it.GetEntry(&rc, nullptr)) == model_[size_t(at)].id);
            else
                FUZZ_CHECK(it.state == (at == -1 ? ERR_TN_BEFORE_FIRST : ERR_TN_AFTER_LAST));
            if (at < 0) break;
            i = at;
            FUZZ_CHECK(tree_.CheckTree(nullptr) == 0);
        }
    }

    void Clear() {
        uint32_t former = 12345;
        FUZZ_CHECK(tree_.Clear(nullptr, in_.ConsumeBool() ? &former : nullptr, nullptr) == 0);
        for (const Rec& r : model_) FUZZ_CHECK(g_disposed[size_t(r.id)] == 1);
        FUZZ_CHECK(former == 12345 || former == model_.size());
        model_.clear();
        hasEqualKeys_ = false;
    }

    void Erase(size_t i) {
        FUZZ_CHECK(g_disposed[size_t(model_[i].id)] == 1);
        model_.erase(model_.begin() + long(i));
    }

    void Verify() {
        FUZZ_CHECK(tree_.count == model_.size());
        FUZZ_CHECK(tree_.CheckTree(nullptr) == 0);
        FUZZ_CHECK(tree_.hasEqualKeys == (hasEqualKeys_ ? 1 : 0));
        TnRBTreeIterator it(&tree_, nullptr);
        size_t i = 0;
        int r, rc;
        for (r = it.Next(); r == 0; r = it.Next(), ++i) {
            FUZZ_CHECK(i < model_.size());
            void* entry = it.GetEntry(&rc, nullptr);
            if (!model_[i].node) model_[i].node = static_cast<TnRBTreeNode*>(entry);
            FUZZ_CHECK(model_[i].node == entry && IdOf(entry) == model_[i].id);
        }
        FUZZ_CHECK(i == model_.size() && r == ERR_TN_AFTER_LAST);
        for (r = it.Prior(); r == 0; r = it.Prior())
            FUZZ_CHECK(i > 0 && model_[--i].node == it.GetEntry(&rc, nullptr));
        FUZZ_CHECK(i == 0 && r == ERR_TN_BEFORE_FIRST);
        FUZZ_CHECK(model_.empty() || model_.back().node == tree_.lastEntry);
    }

  private:
    FuzzedDataProvider& in_;
    uint16_t flags_;
    bool keysOnly_;
    TnRBTree tree_;
    std::vector<Rec> model_;
    bool hasEqualKeys_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    g_disposed.clear();
    {
        const uint8_t setup = in.ConsumeIntegral<uint8_t>();
        Run run(in, setup % 3, (setup & 0x80) != 0);
        run.Go();
    }
    // With the tree gone, every element ever built was disposed of exactly once.
    for (int n : g_disposed) FUZZ_CHECK(n == 1);
    return 0;
}
