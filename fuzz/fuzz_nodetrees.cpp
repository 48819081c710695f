// The red-black node trees against sorted references. The tree over caller-made nodes:
// insertion of unique keys or after equal ones, the search's side results, removal of
// the node found and of its successors through the path stack, and destruction of all;
// CheckTree and walks both ways after each step. The threaded cache-backed tree: search
// and insertion against a set, its in-order list both ways, Clear and reuse.
#include <algorithm>
#include <set>
#include <vector>

#include "containers.h"
#include "fuzz_support.h"

namespace {

using mvfuzz::Pick;

struct Node2 {
    TnRBTreeNode link;
    long key;
    long seq;  // insertion sequence: tells equal keys apart
};

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
        lastDestroyed = N(node)->seq;
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
    long lastDestroyed = -1;
    bool failCreate = false;
};

using Ref = std::vector<std::pair<long, long>>;  // (key, seq) in tree order

void Walks(TnRBTreeNode* root, const Ref& ref) {
    TnRBTreeNodeStack s;
    size_t i = 0;
    for (TnRBTreeNode* n = s.GoToFirstEntry(root); n; n = s.GoToNextEntry(), ++i)
        FUZZ_CHECK(i < ref.size() && Tree2::N(n)->seq == ref[i].second);
    FUZZ_CHECK(i == ref.size());
    for (TnRBTreeNode* n = s.GoToLastEntry(root); n; n = s.GoToPriorEntry())
        FUZZ_CHECK(i > 0 && Tree2::N(n)->seq == ref[--i].second);
    FUZZ_CHECK(i == 0);
}

void RunTree2(FuzzedDataProvider& in) {
    Tree2 t;
    Ref ref;
    long seq = 0;
    TnRBTreeNodeStack s;
    const long range = 4 + Pick(in, 300);
    for (int steps = Pick(in, 400); steps > 0 && in.remaining_bytes() > 0; --steps) {
        const long key = Pick<long>(in, range);
        Node2 q{{1, nullptr}, key, seq};
        const auto lower = std::lower_bound(ref.begin(), ref.end(), std::make_pair(key, -1L));
        const auto upper = std::lower_bound(ref.begin(), ref.end(), std::make_pair(key + 1, -1L));
        const int what = Pick(in, 20);
        if (what < 11) {
            const bool dup = in.ConsumeBool();
            int cmp = dup ? 1 : 0;
            TnRBTreeNode* found = t.SearchNode(t.root, &q, s, cmp, 0);
            if (!dup && found) {
                FUZZ_CHECK(cmp == 0 && Tree2::N(found)->key == key && lower != upper);
                continue;
            }
            if (dup && found) FUZZ_CHECK((upper - 1)->second == Tree2::N(found)->seq);
            if (!dup && !found) FUZZ_CHECK(lower == upper);
            if (ref.empty() || upper == ref.end())
                FUZZ_CHECK(cmp == 2);
            else if (upper == ref.begin())
                FUZZ_CHECK(cmp == -2);
            else
                FUZZ_CHECK(cmp == 1 || cmp == -1);
            if (Pick(in, 30) == 0) {  // no node: nothing changes
                t.failCreate = true;
                FUZZ_CHECK(t.AddNode(t.root, &q, s, cmp) == nullptr);
                t.failCreate = false;
            } else {
                FUZZ_CHECK(t.AddNode(t.root, &q, s, cmp) != nullptr);
                ref.insert(upper, std::make_pair(key, seq));
            }
            ++seq;
        } else if (what < 19) {
            // The equal node found, then on along the stack, deleting or stepping.
            int cmp = 0;
            TnRBTreeNode* n = t.SearchNode(t.root, &q, s, cmp, 0);
            if (!n) {
                FUZZ_CHECK(lower == upper);
                continue;
            }
            size_t i = size_t(
                std::find_if(lower, upper, [&](auto& e) { return e.second == Tree2::N(n)->seq; }) -
                ref.begin());
            for (int step = 0, count = 1 + Pick(in, 6); n && step < count; ++step) {
                FUZZ_CHECK(i < ref.size() && ref[i].second == Tree2::N(n)->seq);
                if (step == 0 || in.ConsumeBool()) {
                    t.DelNode(t.root, s);
                    FUZZ_CHECK(t.lastDestroyed == ref[i].second);
                    ref.erase(ref.begin() + long(i));
                    n = s.Current();
                    FUZZ_CHECK(n || s.top == s.slots);
                } else {
                    n = s.GoToNextEntry();
                    ++i;
                }
                FUZZ_CHECK(t.CheckTree(t.root) == 0);
            }
            FUZZ_CHECK(n || i == ref.size());
        } else {
            t.DestructAllElements(t.root);
            t.root = nullptr;
            ref.clear();
            FUZZ_CHECK(t.live == 0);
        }
        FUZZ_CHECK(t.CheckTree(t.root) == 0 && t.live == long(ref.size()));
        Walks(t.root, ref);
    }
}

class Tree1 : public TnRBTree1 {
  public:
    explicit Tree1(uint32_t perBlock) : TnRBTree1(sizeof(long), perBlock) {}
    void CopyKey(const void* key, void* element) override {
        *static_cast<long*>(element) = *static_cast<const long*>(key);
    }
    int Compare(const void* key, const void* element) override {
        const long a = *static_cast<const long*>(key), b = *static_cast<const long*>(element);
        return (a > b) - (a < b);
    }
};

long Key1(TnRBTree1Node* n) {
    return *static_cast<long*>(n->Element());
}

void RunTree1(FuzzedDataProvider& in) {
    Tree1 t(Pick(in, 20u));
    std::set<long> ref;
    TnRBTreeNodeStack s;
    for (int steps = Pick(in, 400); steps > 0 && in.remaining_bytes() > 0; --steps) {
        if (Pick(in, 40) == 0) {
            t.Clear();
            ref.clear();
        } else {
            long k = Pick<long>(in, 500);
            int cmp = 0;
            TnRBTree1Node* found = t.SearchNode(&k, s, cmp);
            FUZZ_CHECK((found != nullptr) == (ref.count(k) == 1));
            if (found) {
                FUZZ_CHECK(cmp == 0 && Key1(found) == k);
            } else {
                TnRBTree1Node* added = t.AddNode(&k, s, cmp);
                FUZZ_CHECK(added && Key1(added) == k);
                ref.insert(k);
            }
        }
        FUZZ_CHECK(t.count == ref.size());
        std::vector<long> list, back;
        for (TnRBTree1Node* n = t.first; n; n = n->next) list.push_back(Key1(n));
        for (TnRBTree1Node* n = t.last; n; n = n->prev) back.push_back(Key1(n));
        std::reverse(back.begin(), back.end());
        FUZZ_CHECK(list == std::vector<long>(ref.begin(), ref.end()) && back == list);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    while (in.remaining_bytes() > 0) {
        if (in.ConsumeBool())
            RunTree2(in);
        else
            RunTree1(in);
    }
    return 0;
}
