// The abstract array: fields and the ordered operations shared by every implementation.
#include <cstring>

#include "arrays.h"
#include "arrays/sort_scheme.h"
#include "compiler.h"
#include "frame.h"
#include "os/os.h"

using namespace mvb::arrays;

TnVArray::TnVArray() : TnVArray(0) {}

TnVArray::TnVArray(uint16_t elementSize)
    : m_compare(nullptr), m_count(0), m_elementSize(elementSize) {}

TnVArray::TnVArray(const TnVArray& other)
    : m_compare(other.m_compare), m_count(other.m_count), m_elementSize(other.m_elementSize) {}

TnVArray::~TnVArray() {
    m_compare = nullptr;
    m_count = 0xFFFFFFFF;
    m_elementSize = 0xFFFF;
}

uint32_t TnVArray::GetMaxCount() const {
    return 0xFFFFFFFF;
}

TnResult TnVArray::Search(const void* key, uint32_t* position, void* output) const {
    if (position != nullptr) *position = 0;
    if (m_count == 0) return ERR_TN_OUT_OF_RANGE;
    if (m_compare == nullptr) return ERR_TN_NO_COMPARE_FUNCTION;
    // The library's own arrays keep their elements in one block, in index order: the
    // search then computes each address instead of asking Element for it (a virtual
    // call per step). Any other implementation is asked element by element.
    const TnArrayCompare compare = m_compare;
    const size_t size = m_elementSize;
    int64_t middle = 0;
    int32_t c = 0;
    const void* element = nullptr;
    auto bisect = [&](auto at) {
        int64_t low = 0, high = int64_t{m_count} - 1;
        do {
            middle = (low + high) / 2;
            element = at(middle, low, high);
            if (element == nullptr) return false;
            c = compare(this, key, element);
            if (c < 0)
                high = middle - 1;
            else
                low = middle + 1;
        } while (c != 0 && low <= high);
        return true;
    };
    const unsigned char* block = ContiguousElements(*this);
    const bool reached =
        block != nullptr
            ? bisect([block, size](int64_t middle, int64_t low, int64_t high) {
                  // Both elements the next step may probe start loading during this
                  // comparison.
                  mvb::Prefetch(block + size_t((low + middle - 1) / 2) * size);
                  mvb::Prefetch(block + size_t((middle + 1 + high) / 2) * size);
                  return static_cast<const void*>(block + size_t(middle) * size);
              })
            : bisect([this](int64_t middle, int64_t, int64_t) {
                  return static_cast<const void*>(Element(static_cast<uint32_t>(middle)));
              });
    if (!reached) return ERR_TN_OUT_OF_RANGE;
    if (position != nullptr) *position = static_cast<uint32_t>(c > 0 ? middle + 1 : middle);
    if (c != 0) return ERR_TN_OUT_OF_RANGE;
    if (output != nullptr && m_elementSize != 0) std::memcpy(output, element, m_elementSize);
    return 0;
}

TnResult TnVArray::SortedInsert(const void* element, uint32_t* position, int32_t allowDuplicates,
                                int32_t copy) {
    uint32_t local = 0;
    uint32_t* at = position != nullptr ? position : &local;
    const TnResult found = Search(element, at, nullptr);
    if (found != 0 && found != ERR_TN_OUT_OF_RANGE) return found;
    if (found == 0) {
        if (!allowDuplicates) return ERR_TN_DUPLICATE_ELEMENT;
        ++*at;
    }
    return Insert(*at, copy ? element : nullptr);
}

TnResult TnVArray::SearchAt(uint32_t index, const void* key, void* output) const {
    if (index >= m_count) return ERR_TN_OUT_OF_RANGE;
    if (m_compare == nullptr) return ERR_TN_NO_COMPARE_FUNCTION;
    const void* element = Element(index);
    if (element == nullptr) return ERR_TN_OUT_OF_RANGE;
    const int32_t c = m_compare(this, key, element);
    if (c == 0 && output != nullptr && m_elementSize != 0)
        std::memcpy(output, element, m_elementSize);
    return c;
}

TnResult TnVArray::Sort(uint16_t) {
    if (m_compare == nullptr) return ERR_TN_NO_COMPARE_FUNCTION;
    void* work = mvos::Malloc(m_elementSize != 0 ? m_elementSize : 1);
    if (work == nullptr) {
        TnCallMemoryHandler(m_elementSize);
        return ERR_TN_NO_MEMORY;
    }
    if (m_count >= 2 && Element(0) != nullptr && Element(m_count - 1) != nullptr)
        SortElements(*this, m_compare, work);
    mvos::Free(work);
    return 0;
}

TnResult TnVArray::Merge(const TnVArray&, uint16_t) {
    return ERR_TN_MERGE_NOT_SUPPORTED;
}
