// The raw buffer: a byte block with an ownership behaviour.
#include <cstring>

#include "datablocks.h"
#include "frame.h"
#include "os/os.h"

namespace {

bool Owns(TnRawBufferBehavior behavior) {
    return behavior == TnRawBufferCopy || behavior == TnRawBufferAdopt;
}

// A malloc copy of length bytes; null (after one call of the memory handler) on failure.
void* CopyOf(const void* bytes, uint32_t length) {
    void* block = mvos::Malloc(length);
    if (block == nullptr) {
        TnCallMemoryHandler(length);
        return nullptr;
    }
    std::memcpy(block, bytes, length);
    return block;
}

}  // namespace

TnRawBuffer::TnRawBuffer(void* bytes, uint32_t length, TnRawBufferBehavior behavior)
    : m_buffer(bytes), m_length(bytes != nullptr ? length : 0), m_behavior(behavior) {
    if (m_length == 0) m_buffer = nullptr;
    if (behavior == TnRawBufferCopy && m_buffer != nullptr) m_buffer = CopyOf(bytes, m_length);
}

TnRawBuffer::TnRawBuffer(const TnRawBuffer& other)
    : m_buffer(other.m_buffer), m_length(other.m_length), m_behavior(other.m_behavior) {
    if (Owns(m_behavior) && m_buffer != nullptr) m_buffer = CopyOf(other.m_buffer, m_length);
}

TnRawBuffer::~TnRawBuffer() {
    if (Owns(m_behavior) && m_buffer != nullptr) mvos::Free(m_buffer);
}

TnResult TnRawBuffer::EnsureCapacity(uint32_t n) {
    if (m_length >= n) return 0;
    m_length = n;
    if (Owns(m_behavior) && m_buffer != nullptr) mvos::Free(m_buffer);
    m_behavior = TnRawBufferCopy;
    m_buffer = mvos::Malloc(n);
    if (m_buffer == nullptr) {
        TnCallMemoryHandler(n);
        return ERR_TN_NO_MEMORY;
    }
    return 0;
}
