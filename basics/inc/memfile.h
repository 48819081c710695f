// Memory file: a growable byte buffer with file-like access.
//
// The bytes live in one contiguous heap block whose capacity is a whole number of
// segments of a power-of-two size. The segment size grows with the file (up to 4 MiB)
// so that the block is one, two or three segments: growth is geometric without a
// separate growth factor. Sizes, positions and offsets are signed 32-bit.
//
// Threads: a memory file is used by one thread at a time.
#ifndef MV_MEMFILE_H
#define MV_MEMFILE_H

#include <cstring>

#include "mvexport.h"

class MVB_API MemFile {
  public:
    // segmentSize is rounded down to a power of two (0 and 1 both give 1 byte).
    explicit MemFile(int32_t initialSize = 0, int32_t segmentSize = 8);
    // Same contents; the segment size of the copy is the source's current one.
    MemFile(const MemFile& other);
    // Same contents; the segment sizes of this file are kept. The position becomes 0.
    MemFile& operator=(const MemFile& other);
    virtual ~MemFile();

    // Sets the logical size, growing or shrinking the block. 0 or -10001 (no memory:
    // the memory handler has been called once and the file is exactly as it was).
    TnResult SizeSet(int32_t size, uint16_t mode = 0);
    // As SizeSet, but a block that is large enough is kept as it is.
    TnResult SizeSetDontShrink(int32_t size, uint16_t mode = 0);
    // Sets the size within the current capacity; -10002 beyond it.
    TnResult SetLogicalSize(int32_t size);
    // Size and position 0; the block is released when its capacity exceeds limit.
    void SetSizeZeroAndShrink(uint32_t limit);

    // Positions the file at a target (origin 0: offset, 1: position + offset, 2: size -
    // offset) and returns its address, with *count reduced to the bytes available
    // there. Null (count 0, position unchanged) when the target is at or beyond the
    // size while bytes are wanted, or before the start.
    unsigned char* Seek(int32_t offset, uint16_t origin, int32_t* count = nullptr,
                        uint16_t mode = 0);

    // Writes length bytes at offset, growing the file; the bytes written (0 on failure).
    int32_t Put(const void* bytes, int32_t offset, int32_t length);
    // Reads up to length bytes at offset; the bytes read. The position is not used.
    int32_t Get(void* bytes, int32_t offset, int32_t length) const;
    // Copies length bytes from this file's position into destination at
    // destinationOffset, growing it; the bytes copied.
    uint32_t Get(MemFile& destination, uint32_t length, uint32_t destinationOffset) const;
    // Copies from source (from sourceOffset; length 0: to its end) into this file at its
    // position, growing it; the bytes copied. Neither position moves.
    uint32_t Put(const MemFile& source, uint32_t length, uint32_t sourceOffset);
    // Moves bytes inside the file (ranges may overlap), growing it for the destination.
    int32_t Copy(int32_t destinationOffset, int32_t sourceOffset, int32_t length);
    // Removes length bytes at offset; the bytes after them move down. Returns 0.
    int32_t Delete(uint32_t offset, uint32_t length);
    // Swaps everything, the block included, with another file.
    void Exchange(MemFile& other);
    // Address of segment i (not checked against the capacity).
    unsigned char* GetSegment(uint32_t index) const;
    // Fills the bytes from offset to the end of the file with value.
    void InitializeWith(unsigned char value, int32_t offset);
    // Appends a 32-bit value at the position (which must be the end of the file),
    // least significant byte first; *rc receives 0 or SizeSet's code. Returns 4.
    // Inline when the word fits the block (hosts built against an earlier header call the
    // library's copy, which stays exported); growth and a misplaced position take
    // WriteGrowing.
    MVB_API int32_t Write(int32_t value, TnResult& rc) {
        const int32_t size = m_size;
        if (m_position != size || int64_t{size} + 4 > int64_t{Capacity()})
            return WriteGrowing(value, rc);
        unsigned char* const at = m_data + size;
        const auto bits = static_cast<uint32_t>(value);
        // The fields are stored one each side of the word: merged into one 8-byte store,
        // they would not forward to the next call's two 4-byte loads.
        const unsigned char bytes[4] = {
            static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
            static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
        m_size = size + 4;
        std::memcpy(at, bytes, 4);  // one store
        m_position = size + 4;
        rc = 0;
        return 4;
    }
    // Write's path out of line: grows the file for the word (or fails with rc), and
    // first moves a position left elsewhere than at the end there.
    int32_t WriteGrowing(int32_t value, TnResult& rc);
    // CRC-32 of a range (length all ones: to the end), continuing from *previous.
    uint32_t CheckSum(uint32_t offset, uint32_t length, const uint32_t* previous) const;

    unsigned char* Data() const { return m_data; }
    int32_t Size() const { return m_size; }
    int32_t Position() const { return m_position; }
    void SetPosition(int32_t position) { m_position = position; }
    uint32_t Capacity() const { return static_cast<uint32_t>(m_segmentCount) << m_segmentShift; }
    uint32_t SegmentSize() const { return 1u << m_segmentShift; }

    // The fields, in their original order.
    unsigned char* m_data;
    int32_t m_size;
    // A read-only checksum also positions the file, so the position may move in const
    // operations.
    mutable int32_t m_position;
    uint16_t m_segmentCount;
    uint8_t m_segmentShift;
    uint8_t m_baseShift;
};

#endif
