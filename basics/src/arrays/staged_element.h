// An element handed to Insert may lie inside the array's own storage (the caller copies
// one element of the array to another place). Growing the storage can move it and
// shifting the elements overwrites it, so such an element is copied aside first.
#ifndef MV_ARRAYS_STAGED_ELEMENT_H
#define MV_ARRAYS_STAGED_ELEMENT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame.h"
#include "os/os.h"

namespace mvb::arrays {

class StagedElement {
  public:
    // storage..storage + storageBytes: the bytes the operation may move or reallocate.
    StagedElement(const void* element, const void* storage, size_t storageBytes, size_t size)
        : m_element(element), m_heap(nullptr) {
        const auto at = reinterpret_cast<uintptr_t>(element);
        const auto from = reinterpret_cast<uintptr_t>(storage);
        if (element == nullptr || storage == nullptr || at + size <= from ||
            at >= from + storageBytes)
            return;
        unsigned char* copy = m_small;
        if (size > sizeof m_small) {
            copy = m_heap = static_cast<unsigned char*>(mvos::Malloc(size));
            if (copy == nullptr) {
                TnCallMemoryHandler(static_cast<uint32_t>(size));
                m_element = nullptr;
                return;
            }
        }
        std::memcpy(copy, element, size);
        m_element = copy;
    }
    ~StagedElement() { mvos::Free(m_heap); }
    StagedElement(const StagedElement&) = delete;
    StagedElement& operator=(const StagedElement&) = delete;

    // False when an element inside the storage could not be copied aside.
    bool Ok(const void* original) const { return original == nullptr || m_element != nullptr; }
    const void* Get() const { return m_element; }

  private:
    const void* m_element;
    unsigned char* m_heap;
    unsigned char m_small[64];
};

}  // namespace mvb::arrays

#endif
