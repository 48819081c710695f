// The node pool: nodes of one size from 4096-byte buffers, given back last in first out.
#include "frame.h"

namespace {
constexpr uint32_t kBufferBytes = 4096;
}

TnMemPool::TnMemPool(uint32_t nodeSize)
    : m_buffers(nullptr),
      m_free(nullptr),
      m_current(nullptr),
      m_last(nullptr),
      m_nodeSize(nodeSize != 0 ? nodeSize : 1),
      m_buffersObtained(0),
      m_buffersReleased(0),
      m_getCalls(0),
      m_putCalls(0) {}

TnMemPool::~TnMemPool() {
    DeallocateBuffers();
}

void TnMemPool::AddNewBuffer() {
    ++m_buffersObtained;
    uint32_t nodes = kBufferBytes / m_nodeSize;
    if (nodes == 0) nodes = 1;
    unsigned char* buffer =
        static_cast<unsigned char*>(::operator new(static_cast<size_t>(m_nodeSize) * nodes));
    m_buffers = new Link{m_buffers, buffer};
    m_current = buffer;
    m_last = buffer + static_cast<size_t>(nodes - 1) * m_nodeSize;
}

void* TnMemPool::GetNode() {
    ++m_getCalls;
    if (m_free != nullptr) {
        Link* cell = m_free;
        m_free = cell->next;
        void* node = cell->item;
        delete cell;
        return node;
    }
    if (m_current != m_last) {
        m_current += m_nodeSize;
        return m_current;
    }
    AddNewBuffer();
    return m_current;
}

void TnMemPool::PutNode(void* node) {
    ++m_putCalls;
    m_free = new Link{m_free, node};
}

void TnMemPool::DeallocateBuffers() {
    while (Link* cell = m_buffers) {
        m_buffers = cell->next;
        ::operator delete(cell->item);
        ++m_buffersReleased;
        delete cell;
    }
    while (Link* cell = m_free) {
        m_free = cell->next;
        delete cell;
    }
    m_current = nullptr;
    m_last = nullptr;
}
