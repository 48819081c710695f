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
    EXPECT_EQ(list.first == nullptr, list.last == nullptr);
    if (list.first == nullptr) return ids;
    EXPECT_EQ(nullptr, list.first->previous);
    const TnLinkedListItem* prev = nullptr;
    for (const TnLinkedListItem* p = list.first; p != nullptr; p = p->next) {
        EXPECT_EQ(prev, p->previous);
        ids.push_back(static_cast<const Tracked*>(p)->id);
        prev = p;
    }
    EXPECT_EQ(list.last, prev);
    return ids;
}

TEST(LinkedList, InsertAndRemoveAtEveryPosition) {
    std::vector<int> log;
    TnLinkedList list;
    Tracked* t[6];
    for (int i = 0; i < 6; ++i) t[i] = new Tracked(&log, i);
    list.Append(t[2]);
    list.InsertFirst(t[1]);
    list.Append(t[4]);
    list.InsertBefore(t[4], t[3]);
    list.InsertBefore(t[1], t[0]);  // before the first item: the new first item
    list.Append(t[5]);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5}), CheckedIds(list));

    for (int i : {2, 0, 5}) {  // middle, first, last
        EXPECT_EQ(0, list.RemoveItem(t[i]));
        EXPECT_EQ(nullptr, t[i]->previous);
        EXPECT_EQ(nullptr, t[i]->next);
    }
    EXPECT_EQ((std::vector<int>{1, 3, 4}), CheckedIds(list));
    list.RemoveFirst();
    list.RemoveLast();
    EXPECT_EQ(nullptr, t[1]->next);
    EXPECT_EQ(nullptr, t[4]->previous);
    EXPECT_EQ(0, list.RemoveItem(t[3]));  // the only item
    EXPECT_TRUE(CheckedIds(list).empty());
    list.RemoveFirst();  // nothing happens on an empty list
    list.RemoveLast();
    list.DeleteFirst();
    list.DeleteLast();
    EXPECT_TRUE(log.empty());  // removal never deletes
    for (Tracked* item : t) delete item;
}

TEST(LinkedList, RemoveItemNotOnListChangesNothing) {
    std::vector<int> log;
    TnLinkedList empty, one, two;
    Tracked stray(&log, 9);
    EXPECT_EQ(-502, empty.RemoveItem(&stray));
    EXPECT_EQ(-502, empty.DeleteItem(&stray));
    one.Append(new Tracked(&log, 1));
    auto* y = new Tracked(&log, 2);
    two.Append(y);
    EXPECT_EQ(-502, one.RemoveItem(y));
    EXPECT_EQ(-502, one.DeleteItem(y));
    EXPECT_EQ(-502, one.RemoveItem(nullptr));
    EXPECT_EQ((std::vector<int>{1}), CheckedIds(one));
    EXPECT_EQ((std::vector<int>{2}), CheckedIds(two));
    EXPECT_TRUE(log.empty());
}

TEST(LinkedList, DeletionsRunDestructorsOnceInListOrder) {
    std::vector<int> log;
    {
        TnLinkedList list;
        auto* a = new Tracked(&log, 1);
        list.Append(a);
        list.Append(new Tracked(&log, 2));
        list.DeleteLast();
        EXPECT_EQ(a, list.first);
        EXPECT_EQ(a, list.last);
        EXPECT_EQ(nullptr, a->next);  // cleared by the deleted item's destructor
        list.Append(new Tracked(&log, 3));
        list.Append(new Tracked(&log, 4));
        list.DeleteFirst();
        EXPECT_EQ(0, list.DeleteItem(list.last));
        EXPECT_EQ((std::vector<int>{3}), CheckedIds(list));
        EXPECT_EQ((std::vector<int>{2, 1, 4}), log);
        for (int i = 5; i <= 6; ++i) list.Append(new Tracked(&log, i));
    }  // the destructor deletes the rest, first to last
    EXPECT_EQ((std::vector<int>{2, 1, 4, 3, 5, 6}), log);

    log.clear();
    TnLinkedList list;
    for (int i = 1; i <= 3; ++i) list.InsertFirst(new Tracked(&log, i));
    list.Clear();
    EXPECT_EQ((std::vector<int>{3, 2, 1}), log);
    EXPECT_TRUE(CheckedIds(list).empty());
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
    EXPECT_EQ(&n4, list.RemoveLast());
    EXPECT_EQ(nullptr, n2.next);
    EXPECT_EQ(&n1, list.RemoveItem(&n1));  // the first item
    EXPECT_EQ(nullptr, n1.next);
    EXPECT_EQ("2", Values(list));
    EXPECT_EQ(&n2, list.RemoveLast());  // the only item
    EXPECT_EQ(nullptr, list.first);
    list.Append(&n2);
    EXPECT_EQ(&n2, list.RemoveFirst());
    EXPECT_EQ(nullptr, list.first);
}

}  // namespace
