// Red-black node trees: the path stack, the tree over caller-made nodes and the
// cache-backed threaded tree, each against a sorted reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>
#include <vector>

#include "containers.h"
#include "os/os_testing.h"
#include "test_support.h"

namespace {

// ---------------------------------------------------------------- TnRBTree2

struct Node2 {
    TnRBTreeNode link;
    long key;
    long seq;  // insertion sequence: tells equal keys apart
};

// Keys are probe nodes, so that the node-as-key calls of CheckTree need no special case.
class Tree2 : public TnRBTree2 {
  public:
    ~Tree2() override { DestructAllElements(root); }
    TnRBTreeNode* CreateNode(const void* key) override {
        if (failCreate) return nullptr;
        Node2* n = new Node2(*static_cast<const Node2*>(key));
        n->link.MakeNew();
        ++live;
        return &n->link;
    }
    void DestroyNode(TnRBTreeNode* node) override {
        destroyed.push_back(N(node)->seq);
        --live;
        delete N(node);
    }
    int Compare(const void* key, TnRBTreeNode* node, uint32_t extra) override {
        EXPECT_EQ(expectedExtra, extra);
        const long a = static_cast<const Node2*>(key)->key, b = N(node)->key;
        return (a > b) - (a < b);
    }
    static Node2* N(TnRBTreeNode* n) { return reinterpret_cast<Node2*>(n); }

    TnRBTreeNode* root = nullptr;
    long live = 0;
    bool failCreate = false;
    uint32_t expectedExtra = 0;
    std::vector<long> destroyed;
};

Node2 Probe(long key, long seq = -1) {
    Node2 p;
    p.link.MakeNew();
    p.key = key;
    p.seq = seq;
    return p;
}

using Ref = std::vector<std::pair<long, long>>;  // (key, seq), in tree order

std::vector<long> WalkForward(TnRBTreeNode* root) {
    std::vector<long> seqs;
    TnRBTreeNodeStack s;
    for (TnRBTreeNode* n = s.GoToFirstEntry(root); n != nullptr; n = s.GoToNextEntry()) {
        seqs.push_back(Tree2::N(n)->seq);
    }
    return seqs;
}

std::vector<long> WalkBackward(TnRBTreeNode* root) {
    std::vector<long> seqs;
    TnRBTreeNodeStack s;
    for (TnRBTreeNode* n = s.GoToLastEntry(root); n != nullptr; n = s.GoToPriorEntry()) {
        seqs.push_back(Tree2::N(n)->seq);
    }
    std::reverse(seqs.begin(), seqs.end());
    return seqs;
}

std::vector<long> Seqs(const Ref& ref) {
    std::vector<long> v;
    for (auto& e : ref) v.push_back(e.second);
    return v;
}

TEST(NodeStack, CopyTakesThePathUpToTheTop) {
    TnRBTreeNode a, b, c;
    TnRBTreeNodeStack s;
    EXPECT_TRUE(s.Empty());
    EXPECT_EQ(nullptr, s.Pop());  // the sentinel is never popped
    EXPECT_EQ(s.slots, s.top);
    s.Push(&a);
    s.Push(&b);
    s.Push(&c);
    s.Pop();
    TnRBTreeNodeStack copy(s);
    EXPECT_EQ(copy.slots + 2, copy.top);
    EXPECT_EQ(&b, copy.Current());
    EXPECT_EQ(&c, s.top[1]);  // slots above the top survive a pop
    TnRBTreeNodeStack assigned;
    assigned = s;
    EXPECT_EQ(&b, assigned.Pop());
    EXPECT_EQ(&a, assigned.Pop());
    EXPECT_EQ(nullptr, assigned.Pop());
}

TEST(Tree2, EmptyTreeAndBoundarySearches) {
    Tree2 t;
    TnRBTreeNodeStack s;
    Node2 p = Probe(5);
    int cmp = 0;
    EXPECT_EQ(nullptr, t.SearchNode(t.root, &p, s, cmp, 0));
    EXPECT_EQ(2, cmp);
    EXPECT_TRUE(s.Empty());
    EXPECT_EQ(0, t.CheckTree(t.root));

    for (long k : {10, 20, 30, 40, 50}) {
        Node2 q = Probe(k, k);
        cmp = 0;
        ASSERT_EQ(nullptr, t.SearchNode(t.root, &q, s, cmp, 0));
        ASSERT_NE(nullptr, t.AddNode(t.root, &q, s, cmp));
    }
    Node2 low = Probe(1), high = Probe(99), mid = Probe(25), top = Probe(50);
    cmp = 0;
    t.SearchNode(t.root, &low, s, cmp, 0);
    EXPECT_EQ(-2, cmp);
    cmp = 0;
    t.SearchNode(t.root, &high, s, cmp, 0);
    EXPECT_EQ(2, cmp);
    cmp = 0;
    t.SearchNode(t.root, &mid, s, cmp, 0);
    EXPECT_TRUE(cmp == 1 || cmp == -1);
    cmp = 0;
    EXPECT_EQ(50, Tree2::N(t.SearchNode(t.root, &top, s, cmp, 0))->key);
    EXPECT_EQ(0, cmp);
    cmp = 1;  // the duplicate mode ends after the maximum
    EXPECT_EQ(50, Tree2::N(t.SearchNode(t.root, &top, s, cmp, 0))->key);
    EXPECT_EQ(2, cmp);

    // No node: nothing changes.
    t.failCreate = true;
    cmp = 0;
    t.SearchNode(t.root, &mid, s, cmp, 0);
    EXPECT_EQ(nullptr, t.AddNode(t.root, &mid, s, cmp));
    EXPECT_EQ((std::vector<long>{10, 20, 30, 40, 50}), WalkForward(t.root));
}

TEST(Tree2, EqualKeysKeepInsertionOrder) {
    Tree2 t;
    TnRBTreeNodeStack s;
    for (long seq = 1; seq <= 3; ++seq) {
        Node2 q = Probe(7, seq);
        int cmp = 1;
        t.SearchNode(t.root, &q, s, cmp, 0);
        ASSERT_NE(nullptr, t.AddNode(t.root, &q, s, cmp));
    }
    EXPECT_EQ((std::vector<long>{1, 2, 3}), WalkForward(t.root));
    Node2 q = Probe(7);
    int cmp = 1;
    EXPECT_EQ(3, Tree2::N(t.SearchNode(t.root, &q, s, cmp, 0))->seq);
}

TEST(Tree2, CheckTreeReportsEachViolation) {
    Tree2 t;
    TnRBTreeNodeStack s;
    for (long k = 1; k <= 7; ++k) {
        Node2 q = Probe(k, k);
        int cmp = 0;
        t.SearchNode(t.root, &q, s, cmp, 0);
        t.AddNode(t.root, &q, s, cmp);
    }
    ASSERT_EQ(0, t.CheckTree(t.root));
    // Shape after ascending inserts 1..7: 2 / (1) (4 / 3 (6 / 5 7)), 5 and 7 red.
    TnRBTreeNode* r = t.root;
    r->SetRed();
    EXPECT_EQ(-1, t.CheckTree(r));
    r->SetBlack();

    TnRBTreeNode* six = r->right->right;
    ASSERT_EQ(6, Tree2::N(six)->key);
    six->SetRed();  // red parent of red children
    EXPECT_EQ(-2, t.CheckTree(r));
    six->SetBlack();
    six->right->SetBlack();  // a black node too many on one side
    EXPECT_EQ(-3, t.CheckTree(r));
    six->right->SetRed();

    std::swap(Tree2::N(six->Left())->key, Tree2::N(six->right)->key);
    EXPECT_EQ(-4, t.CheckTree(r));
    std::swap(Tree2::N(six->Left())->key, Tree2::N(six->right)->key);
    EXPECT_EQ(0, t.CheckTree(r));
}

// Random insertions (both modes), searches, deletions through the stack and full
// deletion walks, checked against a sorted reference after every operation.
TEST(Tree2, RandomizedAgainstSortedReference) {
    const unsigned long long seed = mvtest::TestSeed("Tree2");
    std::mt19937_64 rng(seed);
    const long ops = mvtest::ScaledOps(200000);
    Tree2 t;
    Ref ref;
    long seq = 0;
    TnRBTreeNodeStack s;
    for (long op = 0; op < ops; ++op) {
        SCOPED_TRACE(op);
        const int what = int(rng() % 100);
        const long range = ref.size() < 20 ? 40 : 400;
        const long key = long(rng() % range);
        Node2 q = Probe(key, seq);
        auto lower = std::lower_bound(ref.begin(), ref.end(), std::make_pair(key, -1L));
        auto upper = std::lower_bound(ref.begin(), ref.end(), std::make_pair(key + 1, -1L));
        if (what < 45) {  // insert: with duplicates after the equal ones, or unique
            const bool dup = rng() % 2 != 0;
            int cmp = dup ? 1 : 0;
            TnRBTreeNode* found = t.SearchNode(t.root, &q, s, cmp, 0);
            if (!dup && found != nullptr) {
                ASSERT_EQ(0, cmp);
                ASSERT_EQ(key, Tree2::N(found)->key);
                ASSERT_NE(lower, upper);
                continue;
            }
            if (dup && found != nullptr) {
                ASSERT_EQ((upper - 1)->second, Tree2::N(found)->seq);
            }
            if (ref.empty()) {
                ASSERT_EQ(2, cmp);
            } else if (upper == ref.begin()) {
                ASSERT_EQ(-2, cmp);
            } else if (upper == ref.end()) {
                ASSERT_EQ(2, cmp);
            } else {
                ASSERT_TRUE(cmp == 1 || cmp == -1) << cmp;
            }
            ASSERT_NE(nullptr, t.AddNode(t.root, &q, s, cmp));
            ref.insert(upper, std::make_pair(key, seq));
            ++seq;
        } else if (what < 85) {  // delete one equal node; the stack ends on its successor
            int cmp = 0;
            TnRBTreeNode* found = t.SearchNode(t.root, &q, s, cmp, 0);
            if (found == nullptr) {
                ASSERT_EQ(lower, upper);
                continue;
            }
            const long gone = Tree2::N(found)->seq;
            auto it = std::find_if(lower, upper, [&](auto& e) { return e.second == gone; });
            ASSERT_NE(upper, it);
            it = ref.erase(it);
            t.DelNode(t.root, s);
            ASSERT_EQ(gone, t.destroyed.back());
            if (it == ref.end()) {
                ASSERT_TRUE(s.Empty());
                ASSERT_EQ(s.slots, s.top);
            } else {
                ASSERT_FALSE(s.Empty());
                ASSERT_EQ(it->second, Tree2::N(s.Current())->seq);
                // The path is a valid root path: walking on from it sees the rest.
                std::vector<long> rest;
                for (TnRBTreeNode* n = s.Current(); n != nullptr; n = s.GoToNextEntry()) {
                    rest.push_back(Tree2::N(n)->seq);
                }
                ASSERT_EQ(std::vector<long>(Seqs(Ref(it, ref.end()))), rest);
            }
        } else if (what < 87) {  // delete a run while stepping: every node visited once
            TnRBTreeNode* n = s.GoToFirstEntry(t.root);
            size_t i = 0;
            const size_t stop = rng() % (ref.size() + 1);
            while (n != nullptr && i < stop) {
                ASSERT_EQ(ref[i].second, Tree2::N(n)->seq);
                if (rng() % 3 != 0) {
                    t.DelNode(t.root, s);
                    ref.erase(ref.begin() + long(i));
                    n = s.Current();
                } else {
                    n = s.GoToNextEntry();
                    ++i;
                }
                ASSERT_EQ(0, t.CheckTree(t.root));
            }
        } else if (what < 88) {
            t.DestructAllElements(t.root);
            t.root = nullptr;
            ref.clear();
            ASSERT_EQ(0, t.live);
        }
        ASSERT_EQ(0, t.CheckTree(t.root));
        ASSERT_EQ(long(ref.size()), t.live);
        if (op % 7 == 0 || ref.size() < 50) {
            const std::vector<long> want = Seqs(ref);
            ASSERT_EQ(want, WalkForward(t.root));
            ASSERT_EQ(want, WalkBackward(t.root));
        }
    }
}

// ---------------------------------------------------------------- TnRBTree1

class Tree1 : public TnRBTree1 {
  public:
    explicit Tree1(uint32_t perBlock = 0) : TnRBTree1(sizeof(long), perBlock) {}
    void CopyKey(const void* key, void* element) override {
        *static_cast<long*>(element) = *static_cast<const long*>(key);
    }
    int Compare(const void* key, const void* element) override {
        ++compares;
        const long a = *static_cast<const long*>(key), b = *static_cast<const long*>(element);
        return (a > b) - (a < b);
    }
    long compares = 0;
};

long Key1(TnRBTree1Node* n) {
    return *static_cast<long*>(n->Element());
}

// Checks the list against the in-order walk and the reference.
void CheckThreaded(Tree1& t, const std::set<long>& ref) {
    std::vector<long> walk, list, back;
    TnRBTreeNodeStack s;
    for (TnRBTreeNode* n = s.GoToFirstEntry(t.root); n != nullptr; n = s.GoToNextEntry()) {
        walk.push_back(Key1(static_cast<TnRBTree1Node*>(n)));
    }
    for (TnRBTree1Node* n = t.first; n != nullptr; n = n->next) list.push_back(Key1(n));
    for (TnRBTree1Node* n = t.last; n != nullptr; n = n->prev) back.push_back(Key1(n));
    std::reverse(back.begin(), back.end());
    const std::vector<long> want(ref.begin(), ref.end());
    ASSERT_EQ(want, walk);
    ASSERT_EQ(want, list);
    ASSERT_EQ(want, back);
    ASSERT_EQ(ref.size(), t.count);
}

TEST(Tree1, AscendingKeysCostOneComparisonEach) {
    Tree1 t;
    TnRBTreeNodeStack s;
    std::set<long> ref;
    for (long k = 0; k < 1000; ++k) {
        int cmp;
        const long before = t.compares;
        ASSERT_EQ(nullptr, t.SearchNode(&k, s, cmp));
        ASSERT_EQ(k == 0 ? 0 : 1, t.compares - before);
        ASSERT_EQ(1, cmp);
        ASSERT_NE(nullptr, t.AddNode(&k, s, cmp));
        ref.insert(k);
    }
    CheckThreaded(t, ref);
    long k = 500;
    int cmp;
    TnRBTree1Node* n = t.SearchNode(&k, s, cmp);
    ASSERT_NE(nullptr, n);
    EXPECT_EQ(0, cmp);
    EXPECT_EQ(500, Key1(n));
    EXPECT_EQ(n, static_cast<TnRBTree1Node*>(s.Current()));
}

int g_mallocs1 = 0;
void* CountMalloc(size_t n) {
    ++g_mallocs1;
    return std::malloc(n);
}

TEST(Tree1, RandomizedListMatchesWalkAndClearReusesMemory) {
    const unsigned long long seed = mvtest::TestSeed("Tree1");
    std::mt19937_64 rng(seed);
    Tree1 t(16);
    EXPECT_EQ(sizeof(long) + 4 * sizeof(void*), t.nodeCache.entrySize);
    std::set<long> ref;
    TnRBTreeNodeStack s;
    const long ops = mvtest::ScaledOps(100000);
    for (long op = 0; op < ops; ++op) {
        const long k = long(rng() % 2000);
        int cmp;
        TnRBTree1Node* found = t.SearchNode(&k, s, cmp);
        ASSERT_EQ(ref.count(k) != 0, found != nullptr);
        if (found == nullptr) {
            ASSERT_NE(nullptr, t.AddNode(&k, s, cmp));
            ref.insert(k);
        }
        if (op % 97 == 0) CheckThreaded(t, ref);
        if (op % 20000 == 19999) {
            const size_t before = ref.size();
            t.Clear();
            ref.clear();
            CheckThreaded(t, ref);
            // Refilling as many nodes needs no new block.
            mvos::ScopedSyscall<void* (*)(size_t)> hook(&mvos::SyscallTable::malloc, CountMalloc);
            g_mallocs1 = 0;
            for (long i = 0; i < long(before); ++i) {
                TnRBTree1Node* n = t.SearchNode(&i, s, cmp);
                ASSERT_EQ(nullptr, n);
                ASSERT_NE(nullptr, t.AddNode(&i, s, cmp));
                ref.insert(i);
            }
            EXPECT_EQ(0, g_mallocs1);
        }
    }
    CheckThreaded(t, ref);
}

}  // namespace
