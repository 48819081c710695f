// The record queue: a first-in, first-out byte queue on a memory file.
#include <climits>

#include "datablocks.h"
#include "memfile/guarantee.h"

MemQueue::MemQueue(uint16_t compacting)
    : MemFile(0, 8), m_readOffset(0), m_compacting(compacting) {}

MemQueue::MemQueue(const MemQueue& other)
    : MemFile(other), m_readOffset(other.m_readOffset), m_compacting(other.m_compacting) {}

MemQueue& MemQueue::operator=(const MemQueue& other) {
    if (this != &other) {
        MemFile::operator=(other);
        m_readOffset = other.m_readOffset;
        m_compacting = other.m_compacting;
    }
    return *this;
}

TnResult MemQueue::Put(const void* bytes, uint32_t length) {
    const int32_t end = m_size;
    if (bytes == nullptr && length != 0) return ERR_TN_QUEUE_SHORT_WRITE;
    if (length > static_cast<uint32_t>(INT32_MAX - end)) return ERR_TN_QUEUE_NOT_GROWN;
    const int32_t n = static_cast<int32_t>(length);
    if (SizeSet(end + n) < 0) return ERR_TN_QUEUE_NOT_GROWN;
    if (MemFile::Put(bytes, end, n) < n) return ERR_TN_QUEUE_SHORT_WRITE;
    return 0;
}

TnResult MemQueue::Get(void* output, uint32_t length) {
    const uint32_t size = static_cast<uint32_t>(m_size);
    if (m_readOffset >= size) return ERR_TN_QUEUE_EMPTY;
    if (size - m_readOffset < length) return ERR_TN_QUEUE_TOO_SHORT;
    if (output == nullptr && length != 0) return ERR_TN_QUEUE_SHORT_READ;
    const int32_t n = static_cast<int32_t>(length);
    const int32_t from = static_cast<int32_t>(m_readOffset);
    if (MemFile::Get(output, from, n) != n) return ERR_TN_QUEUE_SHORT_READ;
    if (m_compacting != 0) {
        const int32_t remaining = m_size - from - n;
        if (Copy(0, from + n, remaining) != remaining) return ERR_TN_QUEUE_SHORT_READ;
        if (SizeSet(remaining) < 0) return ERR_TN_QUEUE_NOT_SHRUNK;
        m_readOffset = 0;
    } else {
        m_readOffset += length;
    }
    return 0;
}

TnResult MemQueue::Delete(uint32_t n) {
    if (!MVB_CALLER_GUARANTEE(n <= m_readOffset)) return 0;
    MemFile::Delete(n, m_readOffset - n);
    m_readOffset = n;
    return 0;
}
