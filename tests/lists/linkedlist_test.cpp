#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mvbasics.h"

namespace {

// An item that records its destruction in a shared log.
struct Tracked : TnLinkedListItem {
    Tracked(std::vector<int>* log, int id) : log(log), id(id) {}
    ~Tracked() override { log->push_back(id); }
    std::vector<int>* log;
    int id;
};

// Walks the list both ways and checks every link invariant; returns the ids.
std::vector<int> CheckedIds(const TnLinkedList& list) {
    std::vector<int> ids;
    if (list.first == nullptr) {
        EXPECT_EQ(nullptr, list.last);
        return ids;
    }
    EXPECT_EQ(nullptr, list.first->previous);
    EXPECT_EQ(nullptr, list.last->next);
    const TnLinkedListItem* prev = nullptr;
    for (const TnLinkedListItem* p = list.first; p != nullptr; p = p->next) {
        EXPECT_EQ(prev, p->previous);
        ids.push_back(static_cast<const Tracked*>(p)->id);
        prev = p;
    }
    EXPECT_EQ(list.last, prev);
    return ids;
}

TEST(LinkedList, InsertionsKeepOrderAndLinks) {
    std::vector<int> log;
    TnLinkedList list;
    auto* a = new Tracked(&log, 1);
    auto* b = new Tracked(&log, 2);
    auto* c = new Tracked(&log, 3);
    auto* d = new Tracked(&log, 4);
    list.Append(b);
    list.InsertFirst(a);
    list.Append(d);
    list.InsertBefore(d, c);
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), CheckedIds(list));
    auto* z = new Tracked(&log, 0);
    list.InsertBefore(a, z);  // before the first item: the new first item
    EXPECT_EQ(z, list.first);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), CheckedIds(list));
    EXPECT_TRUE(log.empty());
}

TEST(LinkedList, RemoveItemNotOnListChangesNothing) {
    std::vector<int> log;
    TnLinkedList empty, one, two;
    Tracked stray(&log, 9);
    EXPECT_EQ(-502, empty.RemoveItem(&stray));
    EXPECT_EQ(-502, empty.DeleteItem(&stray));
    auto* x = new Tracked(&log, 1);
    auto* y = new Tracked(&log, 2);
    one.Append(x);
    two.Append(y);
    EXPECT_EQ(-502, one.RemoveItem(y));
    EXPECT_EQ(-502, one.DeleteItem(y));
    EXPECT_EQ(-502, one.RemoveItem(nullptr));
    EXPECT_EQ((std::vector<int>{1}), CheckedIds(one));
    EXPECT_EQ((std::vector<int>{2}), CheckedIds(two));
    EXPECT_TRUE(log.empty());
}

TEST(LinkedList, RemovalsAtEveryPosition) {
    std::vector<int> log;
    TnLinkedList list;
    Tracked* items[5];
    for (int i = 0; i < 5; ++i) list.Append(items[i] = new Tracked(&log, i));

    EXPECT_EQ(0, list.RemoveItem(items[2]));  // middle
    EXPECT_EQ(nullptr, items[2]->previous);
    EXPECT_EQ(nullptr, items[2]->next);
    EXPECT_EQ(0, list.RemoveItem(items[0]));  // first
    EXPECT_EQ(0, list.RemoveItem(items[4]));  // last
    EXPECT_EQ((std::vector<int>{1, 3}), CheckedIds(list));
    list.RemoveFirst();
    list.RemoveLast();
    EXPECT_EQ(nullptr, items[1]->next);
    EXPECT_EQ(nullptr, items[3]->previous);
    EXPECT_EQ(nullptr, list.first);
    EXPECT_EQ(nullptr, list.last);
    list.RemoveFirst();  // nothing happens on an empty list
    list.RemoveLast();
    list.DeleteFirst();
    list.DeleteLast();
    EXPECT_TRUE(log.empty());  // removal never deletes
    for (Tracked* t : items) delete t;
}

TEST(LinkedList, RemoveOnlyItemEmptiesList) {
    std::vector<int> log;
    TnLinkedList list;
    auto* only = new Tracked(&log, 1);
    list.Append(only);
    EXPECT_EQ(0, list.RemoveItem(only));
    EXPECT_EQ(nullptr, list.first);
    EXPECT_EQ(nullptr, list.last);
    delete only;
}

TEST(LinkedList, DeletionsRunDestructorsAndFixEnds) {
    std::vector<int> log;
    TnLinkedList list;
    auto* a = new Tracked(&log, 1);
    list.Append(a);
    list.Append(new Tracked(&log, 2));
    list.DeleteLast();
    EXPECT_EQ(a, list.first);
    EXPECT_EQ(a, list.last);
    EXPECT_EQ(nullptr, a->next);  // cleared by the deleted item's destructor
    EXPECT_EQ((std::vector<int>{2}), log);

    list.Append(new Tracked(&log, 3));
    list.Append(new Tracked(&log, 4));
    list.DeleteFirst();
    EXPECT_EQ(nullptr, list.first->previous);
    EXPECT_EQ((std::vector<int>{3, 4}), CheckedIds(list));
    auto* four = list.last;
    EXPECT_EQ(0, list.DeleteItem(four));
    EXPECT_EQ((std::vector<int>{2, 1, 4}), log);
    EXPECT_EQ((std::vector<int>{3}), CheckedIds(list));
}

TEST(LinkedList, DestroyAndClearDeleteInListOrder) {
    std::vector<int> log;
    {
        TnLinkedList list;
        for (int i = 1; i <= 3; ++i) list.Append(new Tracked(&log, i));
    }
    EXPECT_EQ((std::vector<int>{1, 2, 3}), log);

    log.clear();
    TnLinkedList list;
    for (int i = 1; i <= 3; ++i) list.InsertFirst(new Tracked(&log, i));
    list.Clear();
    EXPECT_EQ((std::vector<int>{3, 2, 1}), log);
    EXPECT_EQ(nullptr, list.first);
    EXPECT_EQ(nullptr, list.last);
}

TEST(LinkedList, ItemDestructorUnlinksFromNeighbours) {
    std::vector<int> log;
    Tracked a(&log, 1), c(&log, 3);
    {
        Tracked b(&log, 2);
        a.next = &b;
        b.previous = &a;
        b.next = &c;
        c.previous = &b;
    }
    EXPECT_EQ(&c, a.next);
    EXPECT_EQ(&a, c.previous);
    a.next = nullptr;
    c.previous = nullptr;
}

// ---------------------------------------------------------------- singly linked

struct Node : TnSimpleLinkedListItem {
    explicit Node(int v) : v(v) {}
    int v;
};

std::string Values(const TnSimpleLinkedList& list) {
    std::string s;
    for (auto* p = list.first; p != nullptr; p = p->next)
        s += std::to_string(static_cast<Node*>(p)->v);
    return s;
}

TEST(SimpleLinkedList, InsertAppendAndRemove) {
    Node n1(1), n2(2), n3(3), n4(4);
    TnSimpleLinkedList list;
    EXPECT_EQ(nullptr, list.RemoveFirst());
    EXPECT_EQ(nullptr, list.RemoveLast());
    list.Append(&n2);
    list.InsertFirst(&n1);
    list.Append(&n3);
    list.Append(&n4);
    EXPECT_EQ("1234", Values(list));

    EXPECT_EQ(&n3, list.RemoveItem(&n3));
    EXPECT_EQ(nullptr, n3.next);
    EXPECT_EQ(nullptr, list.RemoveItem(&n3));  // no longer on the list
    EXPECT_EQ("124", Values(list));
    EXPECT_EQ(&n4, list.RemoveLast());
    EXPECT_EQ(nullptr, n2.next);
    EXPECT_EQ(&n1, list.RemoveFirst());
    EXPECT_EQ(nullptr, n1.next);
    EXPECT_EQ("2", Values(list));
    EXPECT_EQ(&n2, list.RemoveLast());  // the only item
    EXPECT_EQ(nullptr, list.first);
    EXPECT_EQ(nullptr, list.RemoveLast());
}

TEST(SimpleLinkedList, RemoveFirstItemByIdentity) {
    Node n1(1), n2(2);
    TnSimpleLinkedList list;
    list.Append(&n1);
    list.Append(&n2);
    EXPECT_EQ(&n1, list.RemoveItem(&n1));
    EXPECT_EQ(&n2, list.first);
    EXPECT_EQ(nullptr, n1.next);
}

}  // namespace
