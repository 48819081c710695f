#include <gtest/gtest.h>

#include <random>
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

// Random operations against a vector of ids; every removed item comes back unlinked,
// every deleted one is destroyed exactly once.
TEST(LinkedList, RandomizedAgainstVector) {
    std::mt19937 rng(61);
    std::vector<int> log, expectedLog, model;
    std::vector<Tracked*> items;  // by id
    TnLinkedList list;
    for (int step = 0; step < 3000; ++step) {
        size_t n = model.size();
        size_t at = n != 0 ? rng() % n : 0;
        unsigned op = rng() % 8;
        if (op < 3 || n == 0) {  // insert first, append, insert before
            items.push_back(new Tracked(&log, static_cast<int>(items.size())));
            Tracked* item = items.back();
            if (op == 0 || n == 0)
                list.InsertFirst(item), model.insert(model.begin(), item->id);
            else if (op == 1)
                list.Append(item), model.push_back(item->id);
            else
                list.InsertBefore(items[model[at]], item),
                    model.insert(model.begin() + at, item->id);
        } else {
            size_t pos = op == 3 ? 0 : op == 4 ? n - 1 : at;
            int id = model[pos];
            Tracked* item = items[id];
            bool remove = rng() % 2 == 0;
            if (op == 3)
                remove ? list.RemoveFirst() : list.DeleteFirst();
            else if (op == 4)
                remove ? list.RemoveLast() : list.DeleteLast();
            else
                ASSERT_EQ(0, remove ? list.RemoveItem(item) : list.DeleteItem(item));
            model.erase(model.begin() + pos);
            if (remove) {
                ASSERT_EQ(nullptr, item->previous);
                ASSERT_EQ(nullptr, item->next);
                delete item;
            }
            expectedLog.push_back(id);
        }
        ASSERT_EQ(model, CheckedIds(list)) << step;
        ASSERT_EQ(expectedLog, log) << step;
    }
    for (int id : model) expectedLog.push_back(id);
    list.Clear();  // first to last
    EXPECT_EQ(expectedLog, log);
    EXPECT_TRUE(CheckedIds(list).empty());
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

TEST(LinkedList, EmptyListAndDestructionInListOrder) {
    std::vector<int> log;
    {
        TnLinkedList list;
        list.RemoveFirst();  // nothing happens on an empty list
        list.RemoveLast();
        list.DeleteFirst();
        list.DeleteLast();
        for (int i = 1; i <= 3; ++i) list.Append(new Tracked(&log, i));
    }  // the destructor deletes every item once, first to last
    EXPECT_EQ((std::vector<int>{1, 2, 3}), log);
}

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
