// Red-black node trees: rebalancing along explicit path stacks, the cache-backed
// threaded tree and the tree over caller-made nodes.
//
// Every tree of the library keeps these red-black properties between operations:
//
//  1) Every node is red or black (bit 0 of its left link: 1 red, 0 black).
//  2) The root is black.
//  3) Every null child counts as a black leaf.
//  4) A red node has no red child.
//  5) Every path from a node down to a null child passes the same number of black
//     nodes (the node's black height).
//
// 4) and 5) together keep the longest root path at most twice the shortest, so a tree
// of n nodes is at most 2*log2(n+1) deep and a path fits the 128 slots of a stack.
//
// Nodes have no parent link: every operation carries the root path of the node it
// works on in a TnRBTreeNodeStack, and rebalancing walks up by popping it.
//
// In the diagrams below, lower-case letters are red nodes and upper-case letters are
// black nodes; (x) is a node of either colour. Only the left-hand case is drawn; the
// code does the mirror image when the parent is a right child.
#include "containers.h"
#include "containers/rbtree_internal.h"

namespace rbtree = mvb::containers::rbtree;

namespace mvb::containers::rbtree {

void ReplaceChild(TnRBTreeNode*& root, TnRBTreeNode* parent, TnRBTreeNode* old, TnRBTreeNode* n) {
    if (parent == nullptr) {
        root = n;
    } else if (parent->Left() == old) {
        parent->SetLeft(n);
    } else {
        parent->right = n;
    }
}

Unlinked UnlinkTop(TnRBTreeNode*& root, TnRBTreeNodeStack& stack, TnRBTreeNode** zSlot) {
    Unlinked u;
    TnRBTreeNode* z = *zSlot;
    u.y = stack.Pop();
    u.yp = stack.Current();
    u.x = u.y->Left() != nullptr ? u.y->Left() : u.y->right;
    u.yBlack = !u.y->IsRed();
    u.side = 0;
    if (u.yp == nullptr) {
        root = u.x;
    } else if (u.yp->Left() == u.y) {
        u.yp->SetLeft(u.x);
        u.side = 1;
    } else {
        u.yp->right = u.x;
        u.side = -1;
    }
    if (u.y != z) {
        // y takes z's place: its slot, colour and both links, under z's parent.
        u.y->left = z->left;
        u.y->right = z->right;
        *zSlot = u.y;
        ReplaceChild(root, zSlot[-1], z, u.y);
    }
    return u;
}

}  // namespace mvb::containers::rbtree

using rbtree::IsRed;
using rbtree::ReplaceChild;

// ---------------------------------------------------------------- TnRBTreeBase

// Insertion hangs a red node x at a null child. That keeps 5) but may break 4) (a red
// parent) or 2) (x is the root).
//
// Loop invariant: x is red and 5) holds everywhere; the only violation is x's parent p
// being red too (or, after case 2, the root being red). The stack's top is p's parent.
void TnRBTreeBase::RebalanceAfterAdd(TnRBTreeNode*& root, TnRBTreeNodeStack& stack,
                                     TnRBTreeNode* x) {
    TnRBTreeNode* p = stack.Pop();
    for (;;) {
        /*
         * Case 1: no parent, or a black one. Nothing is violated but perhaps 2), which
         * the final recolouring of the root restores.
         */
        if (p == nullptr || !p->IsRed()) break;
        TnRBTreeNode* g = stack.Pop();  // exists: a red node is never the root here
        const bool parentIsLeft = g->Left() == p;
        TnRBTreeNode* uncle = parentIsLeft ? g->right : g->Left();
        if (IsRed(uncle)) {
            /*
             * Case 2: a red uncle. Flip the colours of p, u and g:
             *
             *       G            g
             *      / \          / \
             *     p   u  -->   P   U
             *    /            /
             *   x            x
             *
             * Black heights below g are unchanged; g may now have a red parent, so the
             * loop goes on two levels up with x = g.
             */
            p->SetBlack();
            g->SetRed();
            uncle->SetBlack();
            x = g;
            p = stack.Pop();
            continue;
        }
        TnRBTreeNode* gg = stack.Pop();
        if (parentIsLeft) {
            if (p->right == x) {
                /*
                 * Case 3: a black uncle and x the inner child of p. Rotate left at p,
                 * which makes p the outer child of x and leads to case 4:
                 *
                 *      G             G
                 *     / \           / \
                 *    p   U  -->    x   U
                 *     \           /
                 *      x         p
                 *
                 * Both nodes are red, so black heights do not change.
                 */
                p->right = x->Left();
                x->SetLeft(p);
                p = x;
            }
            /*
             * Case 4: a black uncle and x the outer child. Rotate right at g and
             * exchange the colours of p and g:
             *
             *        G           P
             *       / \         / \
             *      p   U  -->  x   g
             *     /                 \
             *    x                   U
             *
             * P stands where G stood, with the same black height and a black colour,
             * so 4) holds above it and the fix is complete.
             */
            g->SetLeft(p->right);
            p->right = g;
        } else {  // the mirror image: p is a right child
            if (p->Left() == x) {
                p->SetLeft(x->right);
                x->right = p;
                p = x;
            }
            g->right = p->Left();
            p->SetLeft(g);
        }
        p->SetBlack();
        g->SetRed();
        ReplaceChild(root, gg, g, p);
        break;
    }
    root->SetBlack();
}

// Unlinking a black node y leaves every path through the position of its child x one
// black node short (5) is broken) and may put a red x under a red parent. A red x is
// simply coloured black. Otherwise x carries an "extra black".
//
// Loop invariant: x (possibly null, then `side` says which child of p it is) is black
// and every path through it has one black node fewer than the paths through its sibling
// s; everything else holds. The stack's top is the parent of p. s exists: it has a black
// height of at least one.
//
// The path bookkeeping: a rotation at p lifts s above p. Callers that keep a path below
// p (RemoveNode resumes at the removed node's successor) learn of the lifted nodes as r1
// (case 1) and r2 (case 4) and insert them into their saved path.
void TnRBTreeBase::RebalanceAfterRemove(TnRBTreeNode*& root, TnRBTreeNodeStack& stack,
                                        TnRBTreeNode* x, int side, TnRBTreeNode*& r1,
                                        TnRBTreeNode*& r2) {
    r1 = nullptr;
    r2 = nullptr;
    if (x == root) {
        if (x != nullptr) x->SetBlack();
        return;
    }
    TnRBTreeNode* p = stack.Pop();
    while (x != root && !IsRed(x)) {
        if (x != nullptr) side = p->Left() == x ? 1 : -1;
        if (side > 0) {
            TnRBTreeNode* s = p->right;
            if (s->IsRed()) {
                /*
                 * Case 1: a red sibling (so p is black). Rotate left at p and exchange the
                 * colours of p and s:
                 *
                 *      P               S
                 *     / \             / \
                 *    x   s    -->    p   Sr
                 *       / \         / \
                 *      Sl  Sr      x   Sl
                 *
                 * x keeps its deficit, but its new sibling Sl is black and p is red: one
                 * of cases 2 to 4 follows, and case 2 then ends the loop.
                 */
                p->right = s->Left();
                ReplaceChild(root, stack.Current(), p, s);
                s->SetLeft(p);
                s->SetBlack();
                p->SetRed();
                r1 = s;
                s = p->right;
            }
            if (!IsRed(s->Left()) && !IsRed(s->right)) {
                /*
                 * Case 2: a black sibling with two black children. Colour s red:
                 *
                 *     (p)           (p)
                 *     / \           / \
                 *    x   S    -->  x   s
                 *       / \           / \
                 *      Sl  Sr        Sl  Sr
                 *
                 * Now both subtrees of p are short by one: the deficit moves up to p. A
                 * red p (always after case 1) takes it by turning black; else go on up.
                 */
                s->SetRed();
                x = p;
                if (r1 != nullptr) break;  // p is red: colouring it black ends the fix
                p = stack.Pop();
                continue;
            }
            if (!IsRed(s->right)) {
                /*
                 * Case 3: a black sibling whose outer child is black and inner child is
                 * red. Rotate right at s and exchange their colours:
                 *
                 *     (p)           (p)
                 *     / \           / \
                 *    x   S    -->  x   Sl
                 *       / \             \
                 *      sl  Sr            s
                 *                         \
                 *                          Sr
                 *
                 * Black heights below p do not change, and the new sibling has a red
                 * outer child: case 4.
                 */
                TnRBTreeNode* sl = s->Left();
                s->SetLeft(sl->right);
                sl->right = s;
                sl->SetBlack();
                s->SetRed();
                p->right = sl;
                s = sl;
            }
            /*
             * Case 4: a black sibling with a red outer child. Rotate left at p; s takes
             * p's colour, p and sr turn black:
             *
             *      (p)             (s)
             *      / \             / \
             *     x   S     -->   P   Sr
             *        / \         / \
             *      (sl) sr      x  (sl)
             *
             * The paths through x gain the black P; those through sr keep their count
             * with Sr black. Every property holds again: the loop ends (x = root).
             */
            p->right = s->Left();
            ReplaceChild(root, r1 != nullptr ? r1 : stack.Current(), p, s);
            s->SetLeft(p);
            s->SetColourOf(p);
            p->SetBlack();
            s->right->SetBlack();
            r2 = s;
        } else {  // the mirror image: x is a right child, s the left one
            TnRBTreeNode* s = p->Left();
            if (s->IsRed()) {
                p->SetLeft(s->right);
                ReplaceChild(root, stack.Current(), p, s);
                s->right = p;
                s->SetBlack();
                p->SetRed();
                r1 = s;
                s = p->Left();
            }
            if (!IsRed(s->Left()) && !IsRed(s->right)) {
                s->SetRed();
                x = p;
                if (r1 != nullptr) break;
                p = stack.Pop();
                continue;
            }
            if (!IsRed(s->Left())) {
                TnRBTreeNode* sr = s->right;
                s->right = sr->Left();
                sr->SetLeft(s);
                sr->SetBlack();
                s->SetRed();
                p->SetLeft(sr);
                s = sr;
            }
            p->SetLeft(s->right);
            ReplaceChild(root, r1 != nullptr ? r1 : stack.Current(), p, s);
            s->right = p;
            s->SetColourOf(p);
            p->SetBlack();
            s->Left()->SetBlack();
            r2 = s;
        }
        x = root;
    }
    if (x != nullptr) x->SetBlack();
}

// Removal unlinks a node y with at most one child x: z itself, or, when z has a left
// child, z's in-order predecessor y, which then takes z's place, colour and links (the
// order is kept and the colours stay where they were). Only y's colour disappears from
// the tree: when y was black, RebalanceAfterRemove restores 5) from x's position.
void TnRBTreeBase::RemoveNode(TnRBTreeNode*& root, TnRBTreeNodeStack& stack,
                              TnRBTreeNode*& removed) {
    TnRBTreeNode* z = stack.Current();
    removed = z;
    TnRBTreeNode** zSlot = stack.top;
    // With a left child, z's in-order predecessor is the node actually unlinked.
    if (z->Left() != nullptr) stack.PushRightSpine(z->Left());
    const rbtree::Unlinked u = rbtree::UnlinkTop(root, stack, zSlot);
    if (u.yp == nullptr) {
        stack.GoToFirstEntry(root);
        if (root != nullptr) root->SetBlack();
        return;
    }
    // The slot of z's successor once the tree is consistent again.
    TnRBTreeNode** resume;
    if (u.y != z) {
        resume = zSlot;
    } else {
        TnRBTreeNode** ypSlot = stack.top;
        if (u.x != nullptr) {
            stack.PushLeftSpine(u.x);
        } else if (u.side < 0) {
            stack.GoToNextEntry();
        }
        resume = stack.top;
        stack.top = ypSlot;
    }
    if (u.yBlack) {
        TnRBTreeNode *r1, *r2;
        RebalanceAfterRemove(root, stack, u.x, u.side, r1, r2);
        const int moved = (r1 != nullptr) + (r2 != nullptr);
        if (moved != 0 && stack.top < resume) {
            // Rotations lifted r1/r2 onto the saved path just above the top.
            for (TnRBTreeNode** s = resume; s > stack.top; --s) s[moved] = *s;
            TnRBTreeNode** at = stack.top + 1;
            if (r1 != nullptr) *at++ = r1;
            if (r2 != nullptr) *at = r2;
            resume += moved;
        }
    }
    stack.top = resume;
    if (u.y != z) stack.GoToNextEntry();
}

// ---------------------------------------------------------------- TnRBTree1

TnRBTree1::TnRBTree1(uint32_t elementSize, uint32_t entriesPerBlock)
    : count(0),
      elementSize(elementSize),
      root(nullptr),
      first(nullptr),
      last(nullptr),
      nodeCache(rbtree::NodeSize(elementSize, sizeof(TnRBTree1Node)), entriesPerBlock,
                alignof(TnRBTree1Node)) {}

TnRBTree1::~TnRBTree1() {}

void TnRBTree1::Clear() {
    count = 0;
    root = first = last = nullptr;
    nodeCache.UngetAllEntries();
}

TnRBTree1Node* TnRBTree1::SearchNode(const void* key, TnRBTreeNodeStack& stack, int& cmp) {
    stack.Reset();
    cmp = 1;
    // Keys arriving in ascending order cost one comparison each.
    if (last != nullptr && Compare(key, last->Element()) > 0) {
        stack.PushRightSpine(root);
        return nullptr;
    }
    for (TnRBTreeNode* n = root; n != nullptr;) {
        stack.Push(n);
        rbtree::PrefetchChildren(n);
        cmp = Compare(key, static_cast<TnRBTree1Node*>(n)->Element());
        if (cmp == 0) return static_cast<TnRBTree1Node*>(n);
        n = cmp < 0 ? n->Left() : n->right;
    }
    return nullptr;
}

TnRBTree1Node* TnRBTree1::AddNode(const void* key, TnRBTreeNodeStack& stack, int cmp) {
    TnRBTree1Node* node = static_cast<TnRBTree1Node*>(nodeCache.GetEntry());
    if (node == nullptr) return nullptr;
    node->MakeNew();
    node->prev = nullptr;
    node->next = nullptr;
    CopyKey(key, node->Element());
    if (stack.Empty()) {
        root = first = last = node;
        node->SetBlack();
        ++count;
        return node;
    }
    TnRBTree1Node* parent = static_cast<TnRBTree1Node*>(stack.Current());
    if (cmp > 0) {
        parent->right = node;
        node->next = parent->next;
        node->prev = parent;
        if (parent->next != nullptr) {
            parent->next->prev = node;
        } else {
            last = node;
        }
        parent->next = node;
    } else {
        parent->SetLeft(node);
        node->prev = parent->prev;
        node->next = parent;
        if (parent->prev != nullptr) {
            parent->prev->next = node;
        } else {
            first = node;
        }
        parent->prev = node;
    }
    TnRBTreeNode* r = root;
    RebalanceAfterAdd(r, stack, node);
    root = static_cast<TnRBTree1Node*>(r);
    ++count;
    return node;
}

// ---------------------------------------------------------------- TnRBTree2

TnRBTree2::TnRBTree2() {}
TnRBTree2::~TnRBTree2() {}

TnRBTreeNode* TnRBTree2::SearchNode(TnRBTreeNode* root, const void* key, TnRBTreeNodeStack& stack,
                                    int& cmp, uint32_t extra) {
    const bool stopAtEqual = cmp == 0;
    stack.Reset();
    if (root == nullptr) {
        cmp = 2;
        return nullptr;
    }
    bool allLeft = true, allRight = true;
    TnRBTreeNode* equal = nullptr;
    for (TnRBTreeNode* n = root; n != nullptr;) {
        stack.Push(n);
        rbtree::PrefetchChildren(n);
        const int c = Compare(key, n, extra);
        if (c == 0 && stopAtEqual) {
            cmp = 0;
            return n;
        }
        if (c >= 0) {
            if (c == 0) equal = n;
            allLeft = false;
            cmp = 1;
            n = n->right;
        } else {
            allRight = false;
            cmp = c;
            n = n->Left();
        }
    }
    if (cmp < 0) {
        cmp = allLeft ? -2 : -1;
    } else {
        cmp = allRight ? 2 : 1;
    }
    return equal;
}

TnRBTreeNode* TnRBTree2::AddNode(TnRBTreeNode*& root, const void* key, TnRBTreeNodeStack& stack,
                                 int cmp) {
    TnRBTreeNode* node = CreateNode(key);
    if (node == nullptr) return nullptr;
    if (stack.Empty()) {
        root = node;
        node->SetBlack();
        return node;
    }
    TnRBTreeNode* parent = stack.Current();
    if (cmp > 0) {
        parent->right = node;
    } else {
        parent->SetLeft(node);
    }
    RebalanceAfterAdd(root, stack, node);
    return node;
}

void TnRBTree2::DelNode(TnRBTreeNode*& root, TnRBTreeNodeStack& stack) {
    TnRBTreeNode* removed;
    RemoveNode(root, stack, removed);
    DestroyNode(removed);
}

void TnRBTree2::DestructAllElements(TnRBTreeNode* node) {
    // Post-order; the recursion is as deep as the tree is high.
    if (node == nullptr) return;
    DestructAllElements(node->Left());
    DestructAllElements(node->right);
    DestroyNode(node);
}

int TnRBTree2::CheckTree(TnRBTreeNode* root) {
    if (root == nullptr) return 0;
    if (root->IsRed()) return kRedRoot;
    int blackHeight;
    TnRBTreeNode *min, *max;
    return CheckSubtree(root, blackHeight, min, max);
}

int TnRBTree2::CheckSubtree(TnRBTreeNode* n, int& blackHeight, TnRBTreeNode*& min,
                            TnRBTreeNode*& max) {
    int leftHeight = 0, rightHeight = 0;
    TnRBTreeNode *leftMin = n, *leftMax = n, *rightMin = n, *rightMax = n;
    TnRBTreeNode* left = n->Left();
    TnRBTreeNode* right = n->right;
    if (left != nullptr) {
        const int rc = CheckSubtree(left, leftHeight, leftMin, leftMax);
        if (rc != 0) return rc;
    }
    if (right != nullptr) {
        const int rc = CheckSubtree(right, rightHeight, rightMin, rightMax);
        if (rc != 0) return rc;
    }
    if (n->IsRed() && (IsRed(left) || IsRed(right))) return kRedNodeWithRedChild;
    if (leftHeight != rightHeight) return kUnequalBlackHeights;
    if (left != nullptr && Compare(leftMax, n, 0) > 0) return kOrderViolated;
    if (right != nullptr && Compare(rightMin, n, 0) < 0) return kOrderViolated;
    blackHeight = leftHeight + (n->IsRed() ? 0 : 1);
    min = leftMin;
    max = rightMax;
    return 0;
}
