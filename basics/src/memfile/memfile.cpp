// The segmented memory file.
#include "memfile.h"

#include <cstring>
#include <utility>

#include "frame.h"
#include "compiler.h"
#include "memfile/guarantee.h"
#include "scalar/convert.h"

namespace {

// The segment size stops growing at 4 MiB; beyond that the block is more segments.
constexpr unsigned kMaxCoarseningShift = 22;
constexpr int64_t kMaxSize = INT32_MAX;

uint8_t ShiftForSegmentSize(int32_t segmentSize) {
    uint8_t shift = 0;
    while (shift < 30 && (int64_t{2} << shift) <= segmentSize) ++shift;
    return shift;
}

uint64_t SegmentsFor(int64_t size, unsigned shift) {
    return (static_cast<uint64_t>(size) + (uint64_t{1} << shift) - 1) >> shift;
}

}  // namespace

MemFile::MemFile(int32_t initialSize, int32_t segmentSize)
    : m_data(nullptr),
      m_size(0),
      m_position(0),
      m_segmentCount(0),
      m_segmentShift(ShiftForSegmentSize(segmentSize)),
      m_baseShift(m_segmentShift) {
    if (initialSize != 0) SizeSet(initialSize);
}

MemFile::MemFile(const MemFile& other)
    : m_data(nullptr),
      m_size(0),
      m_position(0),
      m_segmentCount(0),
      m_segmentShift(other.m_segmentShift),
      m_baseShift(other.m_segmentShift) {
    if (other.m_size != 0 && SizeSet(other.m_size) == 0) Put(other, 0, 0);
}

MemFile& MemFile::operator=(const MemFile& other) {
    m_position = 0;
    SizeSet(other.m_size);
    Put(other, 0, 0);
    return *this;
}

MemFile::~MemFile() {
    mmResize(&m_data, 0);
}

TnResult MemFile::SizeSet(int32_t size, uint16_t) {
    if (size == 0) {
        mmResize(&m_data, 0);
        m_size = 0;
        m_segmentCount = 0;
        m_segmentShift = m_baseShift;
        return 0;
    }
    if (size < 0) return ERR_TN_FILE_NO_MEMORY;

    unsigned shift = m_segmentShift;
    uint64_t segments = SegmentsFor(size, shift);
    // A file shrunk to at most one coarse segment goes back to its fine segments.
    if (size < m_size && segments <= 1 && shift > m_baseShift) {
        shift = m_baseShift;
        segments = SegmentsFor(size, shift);
    }
    // Keep the block to at most three segments by doubling the segment size.
    while (segments > 3 && shift < kMaxCoarseningShift) {
        segments = (segments + 1) / 2;
        ++shift;
    }

    const uint64_t capacity = segments << shift;
    if (m_data == nullptr || capacity != Capacity()) {
        // Nothing changes unless the block could be resized (mmResize has then called
        // the memory handler once with the capacity).
        if (mmResize(&m_data, static_cast<uint32_t>(capacity)) != 0) return ERR_TN_FILE_NO_MEMORY;
    }
    m_segmentCount = static_cast<uint16_t>(segments);
    m_segmentShift = static_cast<uint8_t>(shift);
    m_size = size;
    return 0;
}

TnResult MemFile::SizeSetDontShrink(int32_t size, uint16_t mode) {
    if (size < 0) return ERR_TN_FILE_NO_MEMORY;
    if (Capacity() < static_cast<uint32_t>(size)) return SizeSet(size, mode);
    m_size = size;
    return 0;
}

TnResult MemFile::SetLogicalSize(int32_t size) {
    if (size < 0 || static_cast<uint32_t>(size) > Capacity()) return ERR_TN_BEYOND_CAPACITY;
    m_size = size;
    return 0;
}

void MemFile::SetSizeZeroAndShrink(uint32_t limit) {
    if (Capacity() > limit) {
        mmResize(&m_data, 0);
        m_segmentCount = 0;
        m_segmentShift = m_baseShift;
    }
    m_size = 0;
    m_position = 0;
}

unsigned char* MemFile::Seek(int32_t offset, uint16_t origin, int32_t* count, uint16_t) {
    int64_t target = offset;
    if (origin == 1) target = int64_t{m_position} + offset;
    if (origin == 2) target = int64_t{m_size} - offset;
    int64_t wanted = (count != nullptr && *count > 0) ? *count : 0;
    if (target + wanted > m_size) {
        if (target >= m_size) {
            if (count != nullptr) *count = 0;
            return nullptr;
        }
        wanted = m_size - target;
    }
    if (target < 0) {
        if (count != nullptr) *count = 0;
        return nullptr;
    }
    m_position = static_cast<int32_t>(target);
    if (count != nullptr) *count = static_cast<int32_t>(wanted);
    return m_data + target;
}

int32_t MemFile::Put(const void* bytes, int32_t offset, int32_t length) {
    if (offset < 0 || length < 0) return 0;
    const int64_t end = int64_t{offset} + length;
    if (end > kMaxSize) return 0;
    if (end > m_size && SizeSet(static_cast<int32_t>(end)) != 0) return 0;
    if (m_data == nullptr) return 0;
    if (length != 0) std::memmove(m_data + offset, bytes, static_cast<size_t>(length));
    return length;
}

int32_t MemFile::Get(void* bytes, int32_t offset, int32_t length) const {
    if (offset < 0 || length < 0) return 0;
    if (int64_t{offset} + length > m_size) {
        if (offset > m_size) return 0;
        length = m_size - offset;
    }
    if (m_data == nullptr) return 0;
    if (length != 0) std::memcpy(bytes, m_data + offset, static_cast<size_t>(length));
    return length;
}

uint32_t MemFile::Get(MemFile& destination, uint32_t length, uint32_t destinationOffset) const {
    const int64_t position = m_position;
    if (!MVB_CALLER_GUARANTEE(position >= 0 && position + length <= m_size)) {
        const int64_t available = (position < 0 || position > m_size) ? 0 : m_size - position;
        if (length > available) length = static_cast<uint32_t>(available);
    }
    const int64_t end = int64_t{destinationOffset} + length;
    if (end > kMaxSize) return 0;
    if (destination.m_size < end && destination.SizeSet(static_cast<int32_t>(end)) != 0) return 0;
    if (destination.m_data == nullptr) return 0;
    // Read the block only now: the destination may be this very file, just resized.
    if (length != 0)
        std::memmove(destination.m_data + destinationOffset, m_data + position, length);
    return length;
}

uint32_t MemFile::Put(const MemFile& source, uint32_t length, uint32_t sourceOffset) {
    const int64_t sourceSize = source.m_size;
    if (sourceOffset >= sourceSize) return 0;
    const int64_t available = sourceSize - sourceOffset;
    if (length == 0 || length > available) length = static_cast<uint32_t>(available);
    const int64_t position = m_position;
    const int64_t end = position + length;
    if (position < 0 || end > kMaxSize) return 0;
    if (m_size < end && SizeSet(static_cast<int32_t>(end)) != 0) return 0;
    if (m_data == nullptr || source.m_data == nullptr) return 0;
    std::memmove(m_data + position, source.m_data + sourceOffset, length);
    return length;
}

int32_t MemFile::Copy(int32_t destinationOffset, int32_t sourceOffset, int32_t length) {
    if (destinationOffset < 0 || sourceOffset < 0 || length < 0) return 0;
    const int64_t end = int64_t{destinationOffset} + length;
    if (end > kMaxSize) return 0;
    if (end > m_size && SizeSet(static_cast<int32_t>(end)) != 0) return 0;
    if (length == 0 || destinationOffset == sourceOffset) return length;
    // Only bytes inside the file are moved.
    if (sourceOffset >= m_size) return 0;
    if (int64_t{sourceOffset} + length > m_size) length = m_size - sourceOffset;
    std::memmove(m_data + destinationOffset, m_data + sourceOffset, static_cast<size_t>(length));
    return length;
}

int32_t MemFile::Delete(uint32_t offset, uint32_t length) {
    if (!MVB_CALLER_GUARANTEE(int64_t{offset} + length <= m_size)) {
        if (offset >= static_cast<uint32_t>(m_size)) return 0;
        length = static_cast<uint32_t>(m_size) - offset;
    }
    const int32_t tail = m_size - static_cast<int32_t>(offset + length);
    Copy(static_cast<int32_t>(offset), static_cast<int32_t>(offset + length), tail);
    const int32_t size = m_size - static_cast<int32_t>(length);
    // Shrinking the block may fail; the smaller size always fits the old block.
    if (SizeSet(size) != 0) SetLogicalSize(size);
    return 0;
}

void MemFile::Exchange(MemFile& other) {
    std::swap(m_data, other.m_data);
    std::swap(m_size, other.m_size);
    std::swap(m_position, other.m_position);
    std::swap(m_segmentCount, other.m_segmentCount);
    std::swap(m_segmentShift, other.m_segmentShift);
    std::swap(m_baseShift, other.m_baseShift);
}

unsigned char* MemFile::GetSegment(uint32_t index) const {
    if (m_data == nullptr) return nullptr;
    return m_data + (static_cast<size_t>(index) << m_segmentShift);
}

void MemFile::InitializeWith(unsigned char value, int32_t offset) {
    if (m_data != nullptr && m_size > 0 && offset >= 0 && offset < m_size)
        std::memset(m_data + offset, value, static_cast<size_t>(m_size - offset));
}

// Write when the word does not fit the block: grow the file first. Also the place that
// clamps a position the caller left elsewhere than at the end.
int32_t MemFile::WriteGrowing(int32_t value, TnResult& rc) {
    if (!MVB_CALLER_GUARANTEE(m_position >= 0 && m_position <= m_size)) m_position = m_size;
    const int64_t size = int64_t{m_size} + 4;
    if (size > kMaxSize) {
        rc = ERR_TN_FILE_NO_MEMORY;
    } else if (size <= Capacity()) {
        m_size = static_cast<int32_t>(size);
        rc = 0;
    } else {
        rc = SizeSet(static_cast<int32_t>(size));
    }
    if (rc < 0) return 4;
    // LongStore in mode 1 (least significant byte first), inline.
    mvb::scalar::Convert<4>(m_data + m_position, &value, 1, mvb::scalar::kIntegerModeBits, 1);
    m_position += 4;
    return 4;
}

// Write is inline in memfile.h; hosts built before that call it by its exported name, so
// the library keeps one copy of it emitted.
namespace {
[[maybe_unused]] MVB_USED int32_t (MemFile::*const kEmittedWrite)(int32_t,
                                                                  TnResult&) = &MemFile::Write;
}  // namespace
