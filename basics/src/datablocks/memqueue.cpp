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
    if (bytes == nullptr && length != 0) return -12005;
    if (length > static_cast<uint32_t>(INT32_MAX - end)) return -12002;
    const int32_t n = static_cast<int32_t>(length);
    if (SizeSet(end + n) < 0) return -12002;
    if (MemFile::Put(bytes, end, n) < n) return -12005;
    return 0;
}

TnResult MemQueue::Get(void* output, uint32_t length) {
    const uint32_t size = static_cast<uint32_t>(m_size);
    if (m_readOffset >= size) return -12001;
    if (size - m_readOffset < length) return -12003;
    if (output == nullptr && length != 0) return -12004;
    const int32_t n = static_cast<int32_t>(length);
    const int32_t from = static_cast<int32_t>(m_readOffset);
    if (MemFile::Get(output, from, n) != n) return -12004;
    if (m_compacting != 0) {
        const int32_t remaining = m_size - from - n;
        if (Copy(0, from + n, remaining) != remaining) return -12004;
        if (SizeSet(remaining) < 0) return -12006;
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
