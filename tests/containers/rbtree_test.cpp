// The red-black tree container and iterator beyond the model run: empty and detached
// iterators, deletion to both ends, change detection of a failed deletion, cloning,
// failures of the function table and of memory, consistency checks.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "containers.h"
#include "support/alloc_failure.h"
#include "test_support.h"

namespace {

using mvtest::Elem;
using mvtest::Source;

long g_compares = 0;
bool g_breakCompare = false;  // makes every comparison unequal (an inconsistent order)
std::vector<int64_t> g_disposed;

// The shared order, counted; probe key -666 fails the comparison with -77.
int CompareCounted(TnCompareArgs* a) {
    ++g_compares;
    if (*static_cast<int64_t*>(a->probeKey) == -666) return -77;
    mvtest::CompareElem(a);
    if (g_breakCompare) *a->orderResult = 1;
    return 0;
}
void RecordDisposal(TnVContainer*, void* e) {
    g_disposed.push_back(static_cast<Elem*>(e)->key);
}

struct Tree : TnRBTree {
    // Holds the keys 1 to `keys`.
    explicit Tree(uint16_t flags = 0, uint32_t perBlock = 0, int64_t keys = 0)
        : TnRBTree(sizeof(Elem), flags, perBlock) {
        mvtest::SetUpTable(*this, CompareCounted, RecordDisposal);
        g_disposed.clear();
        g_compares = 0;
        g_breakCompare = false;
        for (int64_t k = 1; k <= keys; ++k) EXPECT_EQ(0, Add(k));
    }
    int Add(int64_t key) {
        Source src(Elem{key, 0, 0});
        return InsertElement(&src.it, nullptr, 0, nullptr);
    }
    int Find(int64_t key, TnRBTreeIterator* result) {
        Source src(Elem{key, 0, 0});
        return SearchElement(&src.it, nullptr, 0, nullptr, result);
    }
};

int64_t KeyAt(TnVIterator& it) {
    int rc;
    return static_cast<Elem*>(it.GetElement(&rc, nullptr))->key;
}

TEST(RBTree, EmptyDetachedAndForeignIterators) {
    Tree t, other;
    std::unique_ptr<TnVIterator> made(t.CreateIterator(nullptr));
    ASSERT_NE(nullptr, made);
    EXPECT_EQ(ERR_TN_BEFORE_FIRST, made->First());
    EXPECT_EQ(ERR_TN_AFTER_LAST, made->Last());
    TnRBTreeIterator none(nullptr, nullptr);
    EXPECT_EQ(ERR_TN_DETACHED, none.Next());
    EXPECT_EQ(ERR_TN_DETACHED, none.Last());
    // A result iterator of another tree is refused.
    ASSERT_EQ(0, t.Add(10));
    TnRBTreeIterator foreign(&other, nullptr);
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED, t.Find(10, &foreign));
}

TEST(RBTree, CloneChecksTheTargetsType) {
    Tree t(0, 0, 5);
    TnRBTreeIterator it(&t, nullptr);
    ASSERT_EQ(0, it.First());
    ASSERT_EQ(0, it.Next());

    Elem v = {1, 0, 0};
    TnOneEntryContainer one(&v, sizeof v);
    TnOneEntryIterator wrong(&one, nullptr);
    EXPECT_EQ(nullptr, it.Clone(&wrong));
    EXPECT_EQ(&one, wrong.container);

    TnRBTreeIterator target(&t, nullptr);
    EXPECT_EQ(&target, it.Clone(&target));
    EXPECT_EQ(0, target.Next());
    EXPECT_EQ(3, KeyAt(target));
    EXPECT_EQ(2, KeyAt(it));  // the paths are independent

    std::unique_ptr<TnVIterator> copy(it.Clone(nullptr));
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ(0, copy->Prior());
    EXPECT_EQ(1, KeyAt(*copy));
}

TEST(RBTree, FailuresOfTheTableLinkNothing) {
    Tree t(0, 0, 2);
    const uint32_t changes = t.changeCount;
    EXPECT_EQ(-77, t.Add(-666));
    EXPECT_EQ((std::vector<int64_t>{-666}), g_disposed);  // the refused element is disposed of
    TnRBTreeIterator it(&t, nullptr);
    EXPECT_EQ(-77, t.Find(-666, &it));
    EXPECT_EQ(ERR_TN_POSITION_LOST, it.state);
    Source failing(Elem{-666, 0, 0});
    EXPECT_EQ(-77, t.DeleteElement(&failing.it, nullptr, 0, nullptr));

    // A copy function that fails: the entry goes back unused.
    t.SetCopyFunc(
        [](TnVContainer*, void*, TnVIterator*, void*, void*, TnVParameter*) { return -88; });
    EXPECT_EQ(-88, t.Add(3));
    EXPECT_EQ(1u, g_disposed.size());
    EXPECT_EQ(2u, t.count);
    EXPECT_EQ(changes, t.changeCount);

    // The source iterator's state is returned.
    Source src(Elem{5, 0, 0});
    src.it.Next();
    EXPECT_EQ(ERR_TN_AFTER_LAST, t.InsertElement(&src.it, nullptr, 0, nullptr));
    EXPECT_EQ(ERR_TN_AFTER_LAST, t.SearchElement(&src.it, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(ERR_TN_AFTER_LAST, t.DeleteElement(&src.it, nullptr, 0, nullptr));
}

// A probe is read directly only when nothing about it can answer differently from the
// one-entry classes' own functions: a derived iterator and a replaced key function are
// asked, and a container without an entry is refused as before.
TEST(RBTree, ProbesAnswerAsTheirOwnFunctionsSay) {
    Tree t(0, 0, 5);
    // A derived iterator whose parts name another key than its container holds.
    struct Redirected : TnOneEntryIterator {
        Redirected(TnOneEntryContainer* c, int64_t* key)
            : TnOneEntryIterator(c, nullptr), key(key) {}
        int GetEntryParts(void*, void**, void** k, void** d, uint32_t*, TnVParameter*) override {
            *k = key;
            *d = nullptr;
            return 0;
        }
        int64_t* key;
    };
    Elem absent{99, 0, 0}, present{4, 0, 0};
    TnOneEntryContainer one(&absent, sizeof absent);
    TnOneEntryIterator plain(&one, nullptr);
    EXPECT_EQ(ERR_TN_NOT_FOUND, t.SearchElement(&plain, nullptr, 0, nullptr, nullptr));
    Redirected redirected(&one, &present.key);
    EXPECT_EQ(0, t.SearchElement(&redirected, nullptr, 0, nullptr, nullptr));

    one.keyFunc = [](TnVContainer*, void*, int* rc, TnVParameter*) -> void* {
        static int64_t two = 2;
        *rc = 0;
        return &two;
    };
    EXPECT_EQ(0, t.SearchElement(&plain, nullptr, 0, nullptr, nullptr));

    TnOneEntryContainer none(nullptr, 0);
    TnOneEntryIterator empty(&none, nullptr);
    EXPECT_EQ(ERR_TN_BEFORE_FIRST, t.SearchElement(&empty, nullptr, 0, nullptr, nullptr));
    empty.state = 0;  // standing on an entry that is not there
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED, t.SearchElement(&empty, nullptr, 0, nullptr, nullptr));
}

TEST(RBTree, NeighbourNotFoundAgainAfterDeletion) {
    Tree t(0, 0, 3);
    TnRBTreeIterator it(&t, nullptr);
    ASSERT_EQ(0, it.First());
    // Disposing of the element breaks the order, so the neighbour cannot be found again.
    t.SetDestroyFunc([](TnVContainer*, void*) { g_breakCompare = true; });
    EXPECT_EQ(ERR_TN_INTERNAL, it.DeleteElement(0, nullptr));
    EXPECT_EQ(ERR_TN_POSITION_LOST, it.state);
    g_breakCompare = false;
    EXPECT_EQ(2u, t.count);
    EXPECT_EQ(0, it.First());
    EXPECT_EQ(2, KeyAt(it));
}

TEST(RBTree, AscendingInsertsCostOneComparisonEach) {
    Tree t(0, 1000);
    ASSERT_EQ(0, t.Add(0));
    for (int64_t k = 1; k < 5000; ++k) {
        const long before = g_compares;
        ASSERT_EQ(0, t.Add(k));
        ASSERT_EQ(1, g_compares - before);
    }
    EXPECT_EQ(0, t.CheckTree(nullptr));
}

TEST(RBTree, CheckTreeFindsCorruption) {
    Tree t(0, 0, 7);
    ASSERT_EQ(0, t.CheckTree(nullptr));
    t.count = 8;
    EXPECT_EQ(-5, t.CheckTree(nullptr));
    t.count = 7;
    t.root->SetRed();
    EXPECT_EQ(-1, t.CheckTree(nullptr));
    t.root->SetBlack();
    Elem* top = mvtest::ElemOf(t.root);
    const int64_t saved = top->key;
    top->key = 100;
    EXPECT_EQ(-4, t.CheckTree(nullptr));
    top->key = saved;
    TnRBTreeNodeStack s;
    mvtest::ElemOf(s.GoToFirstEntry(t.root))->key = -666;  // compared as a probe
    EXPECT_EQ(-77, t.CheckTree(nullptr));
}

// Every node with its parent (null for the root), in order.
void Collect(TnRBTreeNode* n, TnRBTreeNode* parent,
             std::vector<std::pair<TnRBTreeNode*, TnRBTreeNode*>>* out) {
    if (n == nullptr) return;
    Collect(n->Left(), n, out);
    out->push_back({n, parent});
    Collect(n->right, n, out);
}

bool IsBlack(TnRBTreeNode* n) {
    return n == nullptr || !n->IsRed();
}

// Corruptions below the root are reported from the subtree that holds them, on either
// side; equal entries are in order only where the duplicate policy allows them.
TEST(RBTree, CheckTreeFindsCorruptionInSubtrees) {
    Tree t(0, 0, 200);
    std::vector<std::pair<TnRBTreeNode*, TnRBTreeNode*>> nodes;
    Collect(t.root, nullptr, &nodes);
    ASSERT_EQ(200u, nodes.size());
    // A red node's black child made red: two reds in a row.
    int reds = 0, heights = 0;
    for (auto& [n, parent] : nodes) {
        if (parent == nullptr) continue;
        if (parent->IsRed() && !n->IsRed()) {
            n->SetRed();
            EXPECT_EQ(TnRBTree::kRedNodeWithRedChild, t.CheckTree(nullptr));
            n->SetBlack();
            ++reds;
        } else if (!parent->IsRed() && !n->IsRed() && IsBlack(n->Left()) && IsBlack(n->right)) {
            // A black node under a black parent made red: one side loses a black node.
            n->SetRed();
            EXPECT_EQ(TnRBTree::kUnequalBlackHeights, t.CheckTree(nullptr));
            n->SetBlack();
            ++heights;
        }
    }
    EXPECT_GT(reds, 0);
    EXPECT_GT(heights, 0);
    ASSERT_EQ(0, t.CheckTree(nullptr));

    // Keys out of order deep in the tree, on the left and on the right of their parent.
    int lefts = 0, rights = 0;
    for (auto& [n, parent] : nodes) {
        if (parent == nullptr || parent == t.root) continue;
        Elem* e = mvtest::ElemOf(n);
        const int64_t saved = e->key;
        e->key = mvtest::ElemOf(parent)->key;  // equal to its parent: not allowed here
        EXPECT_EQ(TnRBTree::kOrderViolated, t.CheckTree(nullptr)) << saved;
        e->key = saved;
        (n == parent->Left() ? lefts : rights) += 1;
    }
    EXPECT_GT(lefts, 0);
    EXPECT_GT(rights, 0);
    ASSERT_EQ(0, t.CheckTree(nullptr));

    // The accessors of the check fail: their result is the check's.
    t.SetDatFunc([](TnVContainer*, void*, int* rc, TnVParameter*) -> void* {
        *rc = -91;
        return nullptr;
    });
    EXPECT_EQ(-91, t.CheckTree(nullptr));
    t.SetDatFunc(mvtest::ElemDat);
    t.SetKeyFunc(nullptr);
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED, t.CheckTree(nullptr));
    t.SetKeyFunc(mvtest::ElemKey);
    t.SetCompareFunc(nullptr);
    TnRBTreeIterator it(&t, nullptr);
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED, t.Find(5, &it));
    t.SetKeyFunc(mvtest::ElemKey);
    t.SetCompareFunc(CompareCounted);
    EXPECT_EQ(0, t.CheckTree(nullptr));
}

TEST(RBTree, CheckTreeAcceptsAllowedDuplicates) {
    Tree full(TnVContainer::kFullDuplicatesAllowed);
    for (int i = 0; i < 40; ++i) ASSERT_EQ(0, full.Add(i % 3));
    EXPECT_EQ(0, full.CheckTree(nullptr));
    EXPECT_EQ(40u, full.count);
    // Equal keys that differ in order are allowed with kEqualKeysAllowed only.
    Tree keys(TnVContainer::kEqualKeysAllowed), strict;
    for (int64_t ord = 0; ord < 20; ++ord) {
        Source src(Elem{7, ord, 0});
        ASSERT_EQ(0, keys.InsertElement(&src.it, nullptr, 0, nullptr));
        EXPECT_EQ(ord == 0 ? 0 : ERR_TN_DUPLICATE,
                  strict.InsertElement(&src.it, nullptr, 0, nullptr));
    }
    EXPECT_EQ(0, keys.CheckTree(nullptr));
    EXPECT_EQ(1u, strict.count);
    TnRBTreeParameter p;
    EXPECT_EQ(1, p.GetType());
    EXPECT_EQ(1, keys.GetType());
}

TEST(RBTree, NoMemoryForANewEntry) {
    mvtest::CountingMemoryHandler handler;
    {
        Tree t(0, 4);
        mvtest::HeapFailure failure;
        int rc = 0;
        EXPECT_EQ(nullptr, t.CreateEntry(&rc));
        EXPECT_EQ(ERR_TN_NO_MEMORY, rc);
        EXPECT_EQ(ERR_TN_NO_MEMORY, t.Add(1));
        EXPECT_EQ(0u, t.count);
    }
    // An element size whose entry would not fit 32 bits gets no entry either.
    for (uint32_t size : {UINT32_MAX, UINT32_MAX - 8}) {
        TnRBTree t(size, 0, 0);
        int rc = 0;
        EXPECT_EQ(nullptr, t.CreateEntry(&rc)) << size;
        EXPECT_EQ(ERR_TN_NO_MEMORY, rc);
    }
}

}  // namespace
