// Intrusive lists: the doubly linked owning list and the singly linked plain list.
#include "lists.h"

namespace {}

// ---------------------------------------------------------------- TnLinkedListItem

TnLinkedListItem::~TnLinkedListItem() {
    UnLink();
}

void TnLinkedListItem::UnLink() {
    if (next != nullptr) next->previous = previous;
    if (previous != nullptr) previous->next = next;
    previous = nullptr;
    next = nullptr;
}

// ---------------------------------------------------------------- TnLinkedList

namespace {

// Moves the list's front past its first item (which must exist) and returns that
// item, still linked to its neighbour: the caller unlinks or deletes it.
TnLinkedListItem* DetachFirst(TnLinkedList& list) {
    TnLinkedListItem* item = list.first;
    list.first = item->next;
    if (list.first == nullptr) list.last = nullptr;
    return item;
}

TnLinkedListItem* DetachLast(TnLinkedList& list) {
    TnLinkedListItem* item = list.last;
    list.last = item->previous;
    if (list.last == nullptr) list.first = nullptr;
    return item;
}

}  // namespace

TnLinkedList::~TnLinkedList() {
    Clear();
}

void TnLinkedList::InsertFirst(TnLinkedListItem* item) {
    item->previous = nullptr;
    item->next = first;
    if (first != nullptr)
        first->previous = item;
    else
        last = item;
    first = item;
}

void TnLinkedList::Append(TnLinkedListItem* item) {
    item->next = nullptr;
    item->previous = last;
    if (last != nullptr)
        last->next = item;
    else
        first = item;
    last = item;
}

void TnLinkedList::InsertBefore(TnLinkedListItem* existing, TnLinkedListItem* item) {
    item->next = existing;
    item->previous = existing->previous;
    if (existing->previous != nullptr)
        existing->previous->next = item;
    else
        first = item;
    existing->previous = item;
}

void TnLinkedList::RemoveFirst() {
    if (first != nullptr) DetachFirst(*this)->UnLink();
}

void TnLinkedList::RemoveLast() {
    if (last != nullptr) DetachLast(*this)->UnLink();
}

int TnLinkedList::RemoveItem(TnLinkedListItem* item) {
    TnLinkedListItem* p = first;
    while (p != nullptr && p != item) p = p->next;
    if (p == nullptr) return ERR_TN_OUT_OF_RANGE;
    if (item == first)
        RemoveFirst();
    else if (item == last)
        RemoveLast();
    else
        item->UnLink();
    return 0;
}

// The deleted item's destructor clears the new end item's link back to it.
void TnLinkedList::DeleteFirst() {
    if (first != nullptr) delete DetachFirst(*this);
}

void TnLinkedList::DeleteLast() {
    if (last != nullptr) delete DetachLast(*this);
}

int TnLinkedList::DeleteItem(TnLinkedListItem* item) {
    int result = RemoveItem(item);
    if (result == 0) delete item;
    return result;
}

void TnLinkedList::Clear() {
    while (first != nullptr) DeleteFirst();
}

// ---------------------------------------------------------------- TnSimpleLinkedList

void TnSimpleLinkedList::InsertFirst(TnSimpleLinkedListItem* item) {
    item->next = first;
    first = item;
}

void TnSimpleLinkedList::Append(TnSimpleLinkedListItem* item) {
    TnSimpleLinkedListItem** link = &first;
    while (*link != nullptr) link = &(*link)->next;
    *link = item;
}

TnSimpleLinkedListItem* TnSimpleLinkedList::RemoveFirst() {
    TnSimpleLinkedListItem* item = first;
    if (item == nullptr) return nullptr;
    first = item->next;
    item->next = nullptr;
    return item;
}

TnSimpleLinkedListItem* TnSimpleLinkedList::RemoveLast() {
    if (first == nullptr) return nullptr;
    TnSimpleLinkedListItem** link = &first;
    while ((*link)->next != nullptr) link = &(*link)->next;
    TnSimpleLinkedListItem* item = *link;
    *link = nullptr;
    return item;
}

TnSimpleLinkedListItem* TnSimpleLinkedList::RemoveItem(TnSimpleLinkedListItem* item) {
    TnSimpleLinkedListItem** link = &first;
    while (*link != nullptr && *link != item) link = &(*link)->next;
    if (*link == nullptr) return nullptr;
    *link = item->next;
    item->next = nullptr;
    return item;
}
