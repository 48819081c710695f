// The container differ, which writes the entries that occur in only one of two
// collections into an output container per side, and the memory-file container, which
// presents fixed-size records stored back to back in a memory file as a container.
//
// Threads: a differ run and the containers it reads and writes belong to one thread.
#ifndef MV_DIFFER_H
#define MV_DIFFER_H

#include "containers.h"
#include "memfile.h"
#include "mvexport.h"

// The side table through which the differ resynchronises two walks: pending entries,
// each with a signed multiplicity (negative: waiting entries of the first collection,
// positive: of the second). Supplied by the caller, who chooses storage and lookup.
//
// The differ calls: First and Next (walk, -521/-522 at the ends); SearchElement(entry's
// iterator, null, 0, null): position on the pending entry equal to the iterator's entry
// and return 0 or more, or -510/-511 when there is none; InsertElement(entry's iterator,
// null, 0, parameter): add the entry as pending with multiplicity -1 when bit 0 of the
// parameter's paramFlags is 0, +1 when it is 1; DeleteElement(0, null): remove the
// current entry; GetDiffCount: the current entry's multiplicity, changed in place.
class MVB_API TnDiffListIteratorInterface : public TnVIterator {
  public:
    // Attached to the diff list's container with no context, before the first entry.
    explicit TnDiffListIteratorInterface(TnVContainer* container);
    ~TnDiffListIteratorInterface() override;
    virtual int32_t* GetDiffCount() = 0;
};

// Compares two collections walked in the same order.
class MVB_API TnVContainerDiffer {
  public:
    TnVContainerDiffer();

    // Inserts every entry found only in the first walk into outFirst and every entry
    // found only in the second into outSecond, through their InsertElement (source = an
    // iterator on the entry, mode 0, a parameter whose paramFlags bit 0 tells the side:
    // 0 first, 1 second). ratio bounds the disagreeing head-to-head comparisons to
    // ratio times the larger count (none at 0 or below, at least 10 for a positive
    // ratio, unlimited when the product reaches 4294967295); after that every entry goes
    // through the diff list. 1 when anything was written, 0 when the collections are
    // equal, or the first negative result of an iterator, an output or the diff list
    // (-2999 when an argument or the diff list is missing).
    int Diff(TnVIterator* first, TnVIterator* second, TnVContainer* outFirst,
             TnVContainer* outSecond, double ratio);

    TnDiffListIteratorInterface* diffList;  // set by the caller before Diff
};

// recordCount records of recordSize bytes in a memory file, starting at the file's
// position when the container is made. Records are their own elements and keys; they
// compare as unsigned bytes in memory order. The walk position lives in the container
// and in the memory file: one walk at a time, and nothing else may move the file's
// position during it. Searches, insertions and deletions are not supported (-2999).
class MVB_API TnMemFileContainer : public TnVContainer {
  public:
    TnMemFileContainer(MemFile* file, uint32_t recordSize, uint32_t recordCount);
    ~TnMemFileContainer() override;

    MemFile* memFile;       // not owned
    int32_t startPosition;  // where record 0 begins
    uint32_t currentIndex;  // the record the walk stands on
};

class MVB_API TnMemFileIterator : public TnVIterator {
  public:
    // Attached, with no context, before the first record.
    explicit TnMemFileIterator(TnMemFileContainer* container);
    ~TnMemFileIterator() override;

    // -521 when there is no complete record at the start; else 0 on record 0.
    int First() override;
    // 0 on the next record; -522 past the last record or the end of the file.
    int Next() override;
    // Compares this record with the other iterator's entry, recordSize bytes as
    // unsigned bytes: -1, 0 or +1 in both results. Returns the other's GetEntry result.
    int CompareElement(TnVIterator* other, TnVParameter* otherParam, int* keyResult,
                       int* orderResult, TnVParameter* param) override;
    // The current record (null unless positioned); result = state.
    void* GetEntry(int* result, TnVParameter* param) override;
    void* GetKey(int* result, TnVParameter* param) override;

    unsigned char* record;  // the current record

  private:
    TnMemFileContainer* File() const { return static_cast<TnMemFileContainer*>(container); }
    // Seeks one record at the target and keeps it when the whole record is in the file.
    unsigned char* SeekRecord(int32_t offset, uint16_t origin);
};

#endif
