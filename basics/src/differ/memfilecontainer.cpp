// The memory-file container: fixed-size records in a memory file, walked in order.
#include <cstring>

#include "differ.h"

TnMemFileContainer::TnMemFileContainer(MemFile* file, uint32_t recordSize, uint32_t recordCount)
    : TnVContainer(recordSize, 0),
      memFile(file),
      startPosition(file != nullptr ? file->Position() : 0),
      currentIndex(0) {
    count = recordCount;
}

TnMemFileContainer::~TnMemFileContainer() = default;

TnMemFileIterator::TnMemFileIterator(TnMemFileContainer* c)
    : TnVIterator(nullptr, c), record(nullptr) {}

TnMemFileIterator::~TnMemFileIterator() = default;

unsigned char* TnMemFileIterator::SeekRecord(int32_t offset, uint16_t origin) {
    const auto size = static_cast<int32_t>(File()->elementSize);
    int32_t available = size;
    unsigned char* p = File()->memFile->Seek(offset, origin, &available);
    // A record cut off by the end of the file counts as beyond it.
    return p != nullptr && available == size ? p : nullptr;
}

int TnMemFileIterator::First() {
    if (container == nullptr) return state = ERR_TN_DETACHED;
    TnMemFileContainer* c = File();
    if (c->count == 0 || c->memFile == nullptr) return state = ERR_TN_BEFORE_FIRST;
    c->currentIndex = 0;
    record = SeekRecord(c->startPosition, 0);
    return state = record != nullptr ? 0 : ERR_TN_BEFORE_FIRST;
}

int TnMemFileIterator::Next() {
    if (state == ERR_TN_BEFORE_FIRST) return First();
    if (state != 0) return state;
    TnMemFileContainer* c = File();
    record = SeekRecord(static_cast<int32_t>(c->elementSize), 1);
    if (record == nullptr) return state = ERR_TN_AFTER_LAST;
    ++c->currentIndex;
    return state = c->currentIndex >= c->count ? ERR_TN_AFTER_LAST : 0;
}

void* TnMemFileIterator::GetEntry(int* result, TnVParameter*) {
    *result = state;
    return state == 0 ? record : nullptr;
}

void* TnMemFileIterator::GetKey(int* result, TnVParameter* param) {
    return GetEntry(result, param);
}

int TnMemFileIterator::CompareElement(TnVIterator* other, TnVParameter* otherParam, int* keyResult,
                                      int* orderResult, TnVParameter* param) {
    int rc = 0;
    const void* mine = GetEntry(&rc, param);
    if (rc < 0) return rc;
    if (other == nullptr) return ERR_TN_NOT_IMPLEMENTED;
    int otherRc = 0;
    const void* theirs = other->GetEntry(&otherRc, otherParam);
    if (otherRc < 0) return otherRc;
    if (mine == nullptr || theirs == nullptr) return ERR_TN_NOT_IMPLEMENTED;
    // memcmp orders by the first differing byte taken as unsigned.
    const int c = std::memcmp(mine, theirs, container->elementSize);
    const int order = c < 0 ? -1 : c > 0 ? 1 : 0;
    if (keyResult != nullptr) *keyResult = order;
    if (orderResult != nullptr) *orderResult = order;
    return otherRc;
}
