// The contiguous array: one heap block, at most 32767 elements.
#include <cstring>

#include "arrays.h"
#include "arrays/staged_element.h"
#include "frame.h"

using namespace mvb::arrays;

TnCList::TnCList() : TnVArray(0), m_maxCount(0), m_capacity(0), m_data(nullptr) {}

TnCList::TnCList(uint16_t elementSize, int32_t initialCapacity, TnResult* rc)
    : TnVArray(elementSize), m_maxCount(0), m_capacity(0), m_data(nullptr) {
    const TnResult result = Init(elementSize, static_cast<uint32_t>(initialCapacity));
    if (rc != nullptr) *rc = result;
}

TnCList::TnCList(const TnCList& other)
    : TnVArray(other), m_maxCount(kMaxCount), m_capacity(0), m_data(nullptr) {
    m_count = 0;
    Copy(other);
}

TnCList::~TnCList() {
    mmResize(&m_data, 0);
    m_capacity = 0;
    m_maxCount = 0;
}

uint16_t TnCList::GetType() const {
    return kType;
}
uint32_t TnCList::GetMaxCount() const {
    return m_maxCount;
}
uint32_t TnCList::GetCurMaxCount() const {
    return m_capacity;
}

TnResult TnCList::Init(uint16_t elementSize, uint32_t capacity) {
    mmResize(&m_data, 0);
    m_elementSize = elementSize;
    m_count = 0;
    m_capacity = 0;
    if (elementSize == 0) {
        m_maxCount = 0;
        return ERR_TN_ZERO_ELEMENT_SIZE;
    }
    m_maxCount = kMaxCount;
    if (capacity > kMaxCount) capacity = kMaxCount;
    if (capacity == 0) return 0;
    if (mmResize(&m_data, capacity * elementSize) != 0) return ERR_TN_NO_STORAGE;
    m_capacity = static_cast<uint16_t>(capacity);
    return 0;
}

TnResult TnCList::SizeSet(uint32_t capacity) {
    if (capacity < m_count) return ERR_TN_OUT_OF_RANGE;
    if (capacity == m_capacity) return 0;
    if (capacity > m_maxCount) return ERR_TN_NO_STORAGE;
    if (mmResize(&m_data, capacity * m_elementSize) != 0) return ERR_TN_NO_STORAGE;
    m_capacity = static_cast<uint16_t>(capacity);
    return 0;
}

void TnCList::Clear() {
    mmResize(&m_data, 0);
    Init(m_elementSize, 0);
}

TnResult TnCList::Get(uint32_t index, void* output) const {
    if (index >= m_count) return ERR_TN_OUT_OF_RANGE;
    std::memcpy(output, m_data + index * m_elementSize, m_elementSize);
    return 0;
}

void* TnCList::Element(uint32_t index) const {
    return index < m_count ? m_data + index * m_elementSize : nullptr;
}

void* TnCList::PrepareInsert(uint32_t index) {
    return Insert(index, nullptr) == 0 ? Element(index) : nullptr;
}

TnResult TnCList::Insert(uint32_t index, const void* element) {
    if (index > m_count || index >= m_maxCount) return ERR_TN_OUT_OF_RANGE;
    const StagedElement staged(element, m_data, uint32_t{m_capacity} * m_elementSize,
                               m_elementSize);
    if (!staged.Ok(element)) return ERR_TN_NO_STORAGE;
    element = staged.Get();
    if (m_count >= m_capacity) {
        if (m_count >= m_maxCount) return ERR_TN_NO_STORAGE;
        // Double the capacity; near the limit, halve the step until it fits.
        uint32_t step = m_capacity != 0 ? m_capacity : 1;
        while (step > 1 && m_capacity + step > m_maxCount) step /= 2;
        const uint32_t capacity = m_capacity + step;
        if (capacity > m_maxCount) return ERR_TN_NO_STORAGE;
        if (mmResize(&m_data, capacity * m_elementSize) != 0) return ERR_TN_NO_STORAGE;
        m_capacity = static_cast<uint16_t>(capacity);
    }
    unsigned char* slot = m_data + index * m_elementSize;
    if (index < m_count)
        std::memmove(slot + m_elementSize, slot, (m_count - index) * m_elementSize);
    if (element != nullptr) std::memcpy(slot, element, m_elementSize);
    ++m_count;
    return 0;
}

TnResult TnCList::Update(uint32_t index, const void* element) {
    if (index >= m_count) return ERR_TN_OUT_OF_RANGE;
    std::memmove(m_data + index * m_elementSize, element, m_elementSize);
    return 0;
}

TnResult TnCList::Delete(uint32_t index, int32_t shrink) {
    if (index >= m_count) return ERR_TN_OUT_OF_RANGE;
    --m_count;
    unsigned char* slot = m_data + index * m_elementSize;
    if (index < m_count)
        std::memmove(slot, slot + m_elementSize, (m_count - index) * m_elementSize);
    if (shrink && m_count <= m_capacity / 2u) {
        // Best effort: a block that cannot shrink stays as it is.
        m_capacity /= 2;
        mmResize(&m_data, uint32_t{m_capacity} * m_elementSize);
    }
    return 0;
}

TnResult TnCList::Copy(const TnVArray& source) {
    const auto* other = dynamic_cast<const TnCList*>(&source);
    if (source.GetType() != kType || other == nullptr) return ERR_TN_OTHER_ARRAY_TYPE;
    if (other == this) return 0;
    const uint32_t bytes = uint32_t{other->m_capacity} * other->m_elementSize;
    if (mmResize(&m_data, bytes) != 0) return ERR_TN_NO_STORAGE;
    m_elementSize = other->m_elementSize;
    m_capacity = other->m_capacity;
    m_count = other->m_count;
    if (m_data != nullptr) std::memcpy(m_data, other->m_data, bytes);
    return 0;
}
