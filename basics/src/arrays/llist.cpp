// The pointer array (elements in a memory file) and the sorted list.
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "arrays.h"
#include "arrays/staged_element.h"
#include "frame.h"
#include "memfile.h"

using namespace mvb::arrays;

namespace {

constexpr int32_t kSegmentSize = 8;

MemFile* NewFile() {
    MemFile* file = new (std::nothrow) MemFile(0, kSegmentSize);
    if (file == nullptr) TnCallMemoryHandler(sizeof(MemFile));
    return file;
}

// Byte size of n elements, when it fits the file's signed 32-bit sizes.
bool FileBytes(uint64_t elements, uint16_t elementSize, int32_t* bytes) {
    const uint64_t total = elements * elementSize;
    if (total > INT32_MAX) return false;
    *bytes = static_cast<int32_t>(total);
    return true;
}

}  // namespace

TnLList::TnLList() : TnLList(sizeof(void*), 0, nullptr) {}

TnLList::TnLList(uint16_t elementSize, uint32_t capacity, TnResult* rc)
    : TnVArray(elementSize), m_capacity(capacity), m_file(NewFile()) {
    int32_t bytes;
    if (m_file == nullptr)
        m_capacity = 0;
    else if (FileBytes(capacity, elementSize, &bytes) && bytes != 0)
        m_file->SizeSet(bytes);
    if (rc != nullptr) *rc = 0;
}

TnLList::TnLList(const TnLList& other) : TnVArray(other), m_capacity(0), m_file(NewFile()) {
    m_count = 0;
    Copy(other);
}

TnLList::~TnLList() {
    delete m_file;
    m_file = nullptr;
    m_capacity = 0;
}

uint16_t TnLList::GetType() const {
    return kType;
}
uint32_t TnLList::GetCurMaxCount() const {
    return m_capacity;
}

TnResult TnLList::Init(uint16_t elementSize, uint32_t capacity) {
    m_count = 0;
    m_elementSize = elementSize;
    int32_t bytes;
    // Not reported: the file grows again when elements are written.
    if (m_file != nullptr && elementSize != 0 && (m_capacity != 0 || capacity != 0) &&
        FileBytes(capacity, elementSize, &bytes))
        m_file->SizeSet(bytes);
    m_capacity = capacity;
    return 0;
}

TnResult TnLList::SizeSet(uint32_t capacity) {
    if (capacity < m_count) return ERR_TN_OUT_OF_RANGE;
    if (capacity == m_capacity) return 0;
    int32_t bytes;
    if (m_file == nullptr || !FileBytes(capacity, m_elementSize, &bytes))
        return ERR_TN_FILE_NO_MEMORY;
    const TnResult rc = m_file->SizeSet(bytes);
    if (rc == 0) m_capacity = capacity;
    return rc;
}

void TnLList::Clear() {
    Init(m_elementSize, 0);
}

TnResult TnLList::Get(uint32_t index, void* output) const {
    if (index >= m_count) return ERR_TN_OUT_OF_RANGE;
    m_file->Get(output, static_cast<int32_t>(index * m_elementSize), m_elementSize);
    return 0;
}

void* TnLList::Element(uint32_t index) const {
    if (index >= m_count || m_file == nullptr) return nullptr;
    if ((uint64_t{index} + 1) * m_elementSize > static_cast<uint64_t>(m_file->Size()))
        return nullptr;
    return m_file->Data() + uint64_t{index} * m_elementSize;
}

void** TnLList::PtrElement(uint32_t index) const {
    if (index >= m_count || m_file == nullptr) return nullptr;
    if ((uint64_t{index} + 1) * sizeof(void*) > static_cast<uint64_t>(m_file->Size()))
        return nullptr;
    return reinterpret_cast<void**>(m_file->Data() + uint64_t{index} * sizeof(void*));
}

void* TnLList::PrepareInsert(uint32_t index) {
    return Insert(index, nullptr) == 0 ? Element(index) : nullptr;
}

TnResult TnLList::Insert(uint32_t index, const void* element) {
    if (index > m_count) return ERR_TN_OUT_OF_RANGE;
    int32_t end;
    if (m_file == nullptr || m_count == UINT32_MAX ||
        !FileBytes(uint64_t{m_count} + 1, m_elementSize, &end))
        return ERR_TN_NO_STORAGE;
    const StagedElement staged(element, m_file->Data(), m_file->Capacity(), m_elementSize);
    if (!staged.Ok(element)) return ERR_TN_NO_STORAGE;
    element = staged.Get();
    if (m_count >= m_capacity) {
        // One more element; the file's rounding keeps reallocations rare.
        const int32_t bytes = static_cast<int32_t>((uint64_t{m_capacity} + 1) * m_elementSize);
        if (m_file->SizeSet(bytes) != 0) return ERR_TN_NO_STORAGE;
        ++m_capacity;
    } else if (m_file->Size() < end && m_file->SizeSet(end) != 0) {
        return ERR_TN_NO_STORAGE;  // the file could not be sized for the capacity earlier
    }
    const int32_t at = static_cast<int32_t>(index * m_elementSize);
    if (index < m_count) m_file->Copy(at + m_elementSize, at, end - m_elementSize - at);
    if (element != nullptr) m_file->Put(element, at, m_elementSize);
    ++m_count;
    return 0;
}

TnResult TnLList::Update(uint32_t index, const void* element) {
    if (index >= m_count) return ERR_TN_OUT_OF_RANGE;
    m_file->Put(element, static_cast<int32_t>(index * m_elementSize), m_elementSize);
    return 0;
}

TnResult TnLList::Delete(uint32_t index, int32_t shrink) {
    if (index >= m_count) return ERR_TN_OUT_OF_RANGE;
    --m_count;
    const int32_t at = static_cast<int32_t>(index * m_elementSize);
    m_file->Copy(at, at + m_elementSize, static_cast<int32_t>((m_count - index) * m_elementSize));
    if (shrink) {
        const uint32_t capacity = m_capacity >= 10 ? m_capacity - 10 : 0;
        if (m_count <= capacity) {
            m_capacity = capacity;
            m_file->SizeSet(static_cast<int32_t>(capacity * m_elementSize));
        }
    }
    return 0;
}

TnResult TnLList::Copy(const TnVArray& source) {
    const auto* other = dynamic_cast<const TnLList*>(&source);
    if (source.GetType() != kType || other == nullptr) return ERR_TN_OTHER_ARRAY_TYPE;
    if (other == this) return 0;
    int32_t bytes;
    if (m_file == nullptr || !FileBytes(other->m_count, other->m_elementSize, &bytes))
        return ERR_TN_NO_STORAGE;
    // The file ends as large as the source's file, and never smaller than the elements.
    const int32_t sourceSize = other->m_file != nullptr ? other->m_file->Size() : 0;
    if (m_file->SizeSet(std::max(bytes, sourceSize)) != 0) return ERR_TN_NO_STORAGE;
    if (sourceSize != 0) {
        m_file->SetPosition(0);
        m_file->Put(*other->m_file, 0, 0);
    }
    m_count = other->m_count;
    m_elementSize = other->m_elementSize;
    m_capacity = other->m_capacity;
    return 0;
}

TnResult TnLList::Import(uint32_t n, MemFile& source) {
    if (n == 0) return 0;
    int32_t bytes, end;
    if (m_file == nullptr || !FileBytes(n, m_elementSize, &bytes) ||
        !FileBytes(uint64_t{m_count} + n, m_elementSize, &end))
        return ERR_TN_NO_STORAGE;
    if (uint64_t{m_count} + n > m_capacity) {
        const uint64_t capacity = uint64_t{m_count} + m_capacity + n;
        int32_t fileBytes;
        if (capacity > UINT32_MAX || !FileBytes(capacity, m_elementSize, &fileBytes) ||
            m_file->SizeSet(fileBytes) != 0)
            return ERR_TN_NO_STORAGE;
        m_capacity = static_cast<uint32_t>(capacity);
    } else if (m_file->Size() < end && m_file->SizeSet(end) != 0) {
        return ERR_TN_NO_STORAGE;
    }
    if (bytes != 0) {
        // What the source holds from its position on (the position does not move), into
        // what the file holds from the end of the elements.
        int32_t available = bytes;
        const unsigned char* from = source.Seek(0, 1, &available);
        const int32_t at = end - bytes;
        if (from == nullptr || at >= m_file->Size()) return ERR_TN_NO_STORAGE;
        available = std::min(available, m_file->Size() - at);
        std::memmove(m_file->Data() + at, from, static_cast<size_t>(available));
    }
    m_count += n;
    return 0;
}

TnLList* TnLList::CreateCopyAndClear() {
    TnLList* copy = dynamic_cast<SortList*>(this) != nullptr
                        ? new (std::nothrow) SortList(m_elementSize, m_compare, 0)
                        : new (std::nothrow) TnLList(m_elementSize, 0, nullptr);
    if (copy == nullptr || copy->m_file == nullptr) {
        if (copy == nullptr) TnCallMemoryHandler(sizeof(SortList));
        delete copy;
        return nullptr;
    }
    std::swap(m_file, copy->m_file);
    copy->m_compare = m_compare;
    copy->m_count = m_count;
    copy->m_capacity = m_capacity;
    m_capacity = 0;
    Init(m_elementSize, 0);
    return copy;
}

SortList::SortList() : SortList(0, nullptr, 0) {}

SortList::SortList(uint16_t elementSize, TnArrayCompare compare, uint32_t capacity)
    : TnLList(elementSize, capacity, nullptr) {
    m_compare = compare;
}

SortList::SortList(const SortList& other) : TnLList(other) {}

SortList::~SortList() {}

TnResult SortList::Init(uint16_t elementSize, TnArrayCompare compare, uint32_t capacity) {
    m_compare = compare;
    return TnLList::Init(elementSize, capacity);
}
