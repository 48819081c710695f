// Red-black node trees: the path stack, the tree over caller-made nodes and the
// cache-backed threaded tree, each against a sorted reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "containers.h"
#include "support/alloc_failure.h"
#include "test_support.h"

namespace {

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
    int Compare(const void* key, TnRBTreeNode* node, uint32_t) override {
        const long a = static_cast<const Node2*>(key)->key, b = N(node)->key;
        return (a > b) - (a < b);
    }
    static Node2* N(TnRBTreeNode* n) { return reinterpret_cast<Node2*>(n); }

    TnRBTreeNode* root = nullptr;
    long live = 0;
    bool failCreate = false;
    std::vector<long> destroyed;
};

Node2 Probe(long key, long seq = -1) {
    return Node2{{1, nullptr}, key, seq};
}

using Ref = std::vector<std::pair<long, long>>;  // (key, seq), in tree order

// Sequence numbers in order, walked forwards or (reversed back) backwards.
std::vector<long> Walk(TnRBTreeNode* root, bool backwards) {
    std::vector<long> seqs;
    TnRBTreeNodeStack s;
    for (TnRBTreeNode* n = backwards ? s.GoToLastEntry(root) : s.GoToFirstEntry(root); n != nullptr;
         n = backwards ? s.GoToPriorEntry() : s.GoToNextEntry()) {
        seqs.push_back(Tree2::N(n)->seq);
    }
    if (backwards) std::reverse(seqs.begin(), seqs.end());
    return seqs;
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
        if (what < 55) {  // insert: with duplicates after the equal ones, or unique
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
            if (upper == ref.end()) {  // after the last node, or an empty tree
                ASSERT_EQ(2, cmp);
            } else if (upper == ref.begin()) {
                ASSERT_EQ(-2, cmp);
            } else {
                ASSERT_TRUE(cmp == 1 || cmp == -1) << cmp;
            }
            if (rng() % 50 == 0) {  // no node: nothing changes
                t.failCreate = true;
                ASSERT_EQ(nullptr, t.AddNode(t.root, &q, s, cmp));
                t.failCreate = false;
            } else {
                ASSERT_NE(nullptr, t.AddNode(t.root, &q, s, cmp));
                ref.insert(upper, std::make_pair(key, seq));
            }
            ++seq;
        } else if (what < 88) {
            // Delete the equal node found, then walk on deleting or stepping: a deletion
            // leaves the stack on the successor (at the sentinel after the last node).
            int cmp = 0;
            TnRBTreeNode* n = t.SearchNode(t.root, &q, s, cmp, 0);
            if (n == nullptr) {
                ASSERT_EQ(lower, upper);
                continue;
            }
            size_t i = size_t(
                std::find_if(lower, upper, [&](auto& e) { return e.second == Tree2::N(n)->seq; }) -
                ref.begin());
            for (size_t step = 0, steps = rng() % 8 ? 1 : 1 + rng() % 20;
                 n != nullptr && step < steps; ++step) {
                ASSERT_LT(i, ref.size());
                ASSERT_EQ(ref[i].second, Tree2::N(n)->seq);
                if (step == 0 || rng() % 3 != 0) {
                    t.DelNode(t.root, s);
                    ASSERT_EQ(ref[i].second, t.destroyed.back());
                    ref.erase(ref.begin() + long(i));
                    n = s.Current();
                    ASSERT_TRUE(n != nullptr || s.top == s.slots);
                } else {
                    n = s.GoToNextEntry();
                    ++i;
                }
                ASSERT_EQ(0, t.CheckTree(t.root));
            }
            ASSERT_TRUE(n != nullptr || i == ref.size());
        } else if (what < 89) {
            t.DestructAllElements(t.root);
            t.root = nullptr;
            ref.clear();
            ASSERT_EQ(0, t.live);
        }
        ASSERT_EQ(0, t.CheckTree(t.root));
        ASSERT_EQ(long(ref.size()), t.live);
        if (op % 7 == 0 || ref.size() < 50) {
            std::vector<long> want;
            for (auto& e : ref) want.push_back(e.second);
            ASSERT_EQ(want, Walk(t.root, false));
            ASSERT_EQ(want, Walk(t.root, true));
        }
    }
}

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

// Ascending keys first (one comparison each), then random additions and Clear; the list
// is checked against the in-order walk throughout.
TEST(Tree1, RandomizedListMatchesWalkAndClearReusesMemory) {
    const unsigned long long seed = mvtest::TestSeed("Tree1");
    std::mt19937_64 rng(seed);
    Tree1 t(16);
    std::set<long> ref;
    TnRBTreeNodeStack s;
    int cmp;
    for (long k = 0; k < 1000; ++k) {
        const long before = t.compares;
        ASSERT_EQ(nullptr, t.SearchNode(&k, s, cmp));
        ASSERT_EQ(k == 0 ? 0 : 1, t.compares - before);
        ASSERT_EQ(1, cmp);
        ASSERT_NE(nullptr, t.AddNode(&k, s, cmp));
        ref.insert(k);
    }
    CheckThreaded(t, ref);
    const long ops = mvtest::ScaledOps(100000);
    for (long op = 0; op < ops; ++op) {
        const long k = long(rng() % 2000);
        TnRBTree1Node* found = t.SearchNode(&k, s, cmp);
        ASSERT_EQ(ref.count(k) != 0, found != nullptr);
        if (found != nullptr) {
            ASSERT_EQ(0, cmp);
            ASSERT_EQ(found, s.Current());
            ASSERT_EQ(k, Key1(found));
        } else {
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
            mvtest::CountedMalloc mallocs;
            for (long i = 0; i < long(before); ++i) {
                ASSERT_EQ(nullptr, t.SearchNode(&i, s, cmp));
                ASSERT_NE(nullptr, t.AddNode(&i, s, cmp));
                ref.insert(i);
            }
            EXPECT_EQ(0, mallocs.Count());
        }
    }
    CheckThreaded(t, ref);
}

}  // namespace
