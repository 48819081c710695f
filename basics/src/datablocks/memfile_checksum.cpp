// The checksum of a memory file's range.
#include "datablocks.h"
#include "memfile.h"

uint32_t MemFile::CheckSum(uint32_t offset, uint32_t length, const uint32_t* previous) const {
    const uint32_t start = previous != nullptr ? *previous : 0;
    if (length == 0xFFFFFFFFu) length = m_size > 0 ? static_cast<uint32_t>(m_size) : 0;
    if (length == 0 || m_size <= 0 || offset >= static_cast<uint32_t>(m_size)) return start;
    // The range is cut at the end of the file.
    const uint32_t available = static_cast<uint32_t>(m_size) - offset;
    if (length > available) length = available;
    m_position = static_cast<int32_t>(offset);
    return CalcCheckSum(m_data + offset, length, &start);
}
