// Small structures: intrusive linked lists and the bit string.
//
// Threads: a list or bit string is used by one thread at a time.
#ifndef MV_LISTS_H
#define MV_LISTS_H

#include "mvexport.h"

// ---------------------------------------------------------------- doubly linked

// An object that can live on a TnLinkedList. The links belong to the list.
class MVB_API TnLinkedListItem {
  public:
    TnLinkedListItem() : previous(nullptr), next(nullptr) {}
    // Unlinks the item from its neighbours (not from its list's ends).
    virtual ~TnLinkedListItem();

    // Joins the neighbours to each other and clears both links. Does not know the
    // list: use only on items that are neither first nor last.
    void UnLink();

    TnLinkedListItem* previous;
    TnLinkedListItem* next;
};

// A doubly linked list that owns its items: clearing or destroying it deletes them.
class MVB_API TnLinkedList {
  public:
    TnLinkedList() : first(nullptr), last(nullptr) {}
    virtual ~TnLinkedList();

    // item must be on no list.
    void InsertFirst(TnLinkedListItem* item);
    void Append(TnLinkedListItem* item);
    // existing must be on this list; item must be on no list.
    void InsertBefore(TnLinkedListItem* existing, TnLinkedListItem* item);

    // Take an end item off without deleting it; nothing on an empty list.
    void RemoveFirst();
    void RemoveLast();
    // 0, or -502 when item is not on this list (nothing changes then).
    int RemoveItem(TnLinkedListItem* item);

    // Take an end item off and delete it; nothing on an empty list.
    void DeleteFirst();
    void DeleteLast();
    // RemoveItem, then delete the item on success; RemoveItem's result.
    int DeleteItem(TnLinkedListItem* item);
    // Deletes every item, first to last.
    void Clear();

    TnLinkedListItem* first;
    TnLinkedListItem* last;
};

// ---------------------------------------------------------------- singly linked

class MVB_API TnSimpleLinkedListItem {
  public:
    TnSimpleLinkedListItem() : next(nullptr) {}
    TnSimpleLinkedListItem* next;
};

// A singly linked list that never owns or deletes its items.
class MVB_API TnSimpleLinkedList {
  public:
    TnSimpleLinkedList() : first(nullptr) {}

    void InsertFirst(TnSimpleLinkedListItem* item);
    // item->next must be null.
    void Append(TnSimpleLinkedListItem* item);
    // Each returns the unlinked item with next cleared, or null.
    TnSimpleLinkedListItem* RemoveFirst();
    TnSimpleLinkedListItem* RemoveLast();
    TnSimpleLinkedListItem* RemoveItem(TnSimpleLinkedListItem* item);

    TnSimpleLinkedListItem* first;
};

// ---------------------------------------------------------------- bit string

// A fixed-length bit string that keeps the number of set bits. Bit i is bit i % 8
// (from the least significant) of byte i / 8. Result codes: 0; -2005 for a position
// or area outside the string and for a search that finds nothing; -1 for an area
// that holds a bit already in the wanted state.
class MVB_API _TnBitString {
  public:
    explicit _TnBitString(unsigned int length);
    ~_TnBitString();
    _TnBitString(const _TnBitString&) = delete;
    _TnBitString& operator=(const _TnBitString&) = delete;

    int Set(unsigned int i);
    int Reset(unsigned int i);
    // value: 0 when clear, the bit's weight within its byte (1..128) when set.
    int Get(unsigned int i, int& value) const;
    // Inverts bit i; value receives its previous state as 0 or 1.
    int Flip(unsigned int i, int& value);
    unsigned int Length() const { return length; }
    unsigned int GetNum() const { return setCount; }

    // Set (or clear) bits start..start+count-1 when none of them is set (clear)
    // yet; otherwise -1 with position = offset of the first such bit from start.
    int TestAndSetArea(unsigned int start, unsigned int count, unsigned int& position);
    int TestAndResetArea(unsigned int start, unsigned int count, unsigned int& position);
    int SetAll();
    int ResetAll();
    // First bit at or after start that is set (value != 0) or clear (value == 0);
    // position receives its index, or length with -2005 when there is none.
    int Find(unsigned int start, int value, unsigned int& position) const;

    unsigned char* bits;
    uint32_t length;
    uint32_t setCount;
};

#endif
