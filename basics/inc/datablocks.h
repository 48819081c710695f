// Data blocks: the CRC-32 block checksum, the byte-run compressor, the record queue
// and the raw buffer.
//
// Threads: the checksum and compression functions may run on any number of threads at
// once; a queue or raw buffer is used by one thread at a time.
#ifndef MV_DATABLOCKS_H
#define MV_DATABLOCKS_H

#include "memfile.h"
#include "mvexport.h"

// ---------------------------------------------------------------- checksum

// CRC-32 (reflected polynomial 0xEDB88320, register preset to all ones, result
// complemented) of length bytes. With a previous checksum the computation continues
// from it, as if the earlier blocks and this one were one block. A null block or a
// zero length returns the previous checksum (0 without one).
MVB_API uint32_t CalcCheckSum(const void* bytes, uint32_t length, const uint32_t* previous);

// ---------------------------------------------------------------- compression
//
// A compressed block is a sequence of tokens: a run token (count 1..255, value) stands
// for count copies of value; a literal token (0, L, then L bytes) carries L bytes as
// they are.

// Compresses length bytes into output. *outLength is the capacity on entry and the
// number of bytes written on success. 0, or -1 when the output is too small (or an
// argument is unusable); the length is then not updated. An empty input gives an
// empty block.
MVB_API int32_t DScomp(const unsigned char* input, int32_t length, unsigned char* output,
                       int32_t* outLength);

// Expands a compressed block into output; *outLength is the capacity on entry and the
// number of bytes produced on return. 0, or 2 when a token does not fit (the length
// then counts the whole tokens written) or a non-empty input produced nothing. Never
// reads outside the input nor writes beyond the capacity: a token cut off by the end
// of the input ends the expansion.
MVB_API int32_t DSdecomp(const unsigned char* input, int32_t length, unsigned char* output,
                         int32_t* outLength);

// The expanded length of a compressed block (0 for a length of 0 or less); a token cut
// off by the end of the input is not counted.
MVB_API int32_t DSlen(const unsigned char* input, int32_t length);

// ---------------------------------------------------------------- record queue

// A first-in, first-out byte queue on a memory file: Put appends at the end, Get takes
// a block of a length the caller names from the front. The queue keeps no record
// boundaries. With the compacting flag set, the unread bytes move to the front of the
// file after each read (the read offset stays 0); without it the read offset advances
// and Delete discards what has been read.
class MVB_API MemQueue : public MemFile {
  public:
    explicit MemQueue(uint16_t compacting = 0);
    MemQueue(const MemQueue& other);
    MemQueue& operator=(const MemQueue& other);

    // 0; -12002 when the file cannot grow; -12005 when the bytes were not all written.
    TnResult Put(const void* bytes, uint32_t length);
    // 0; -12001 when the queue is empty; -12003 when fewer than length unread bytes
    // remain (nothing is consumed); -12004 when a read or a move came up short; -12006
    // when the file could not be shrunk after a compacting read.
    TnResult Get(void* output, uint32_t length);
    // Removes the bytes between offset n and the read offset and makes n the read
    // offset (n must not exceed the read offset). Returns 0.
    TnResult Delete(uint32_t n);

    uint32_t ReadOffset() const { return m_readOffset; }

    uint32_t m_readOffset;
    uint16_t m_compacting;
};

// ---------------------------------------------------------------- raw buffer

// How a TnRawBuffer holds its bytes. Any other value behaves like
// TnRawBufferReference.
enum TnRawBufferBehavior : int32_t {
    TnRawBufferCopy = 0,       // a malloc copy of the caller's bytes, freed with the buffer
    TnRawBufferReference = 1,  // the caller's bytes in place, never freed
    TnRawBufferAdopt = 2,      // the caller's malloc block in place, freed with the buffer
};

// A byte block with a length and an ownership behaviour chosen at construction.
class MVB_API TnRawBuffer {
  public:
    // A null bytes pointer gives length 0; a length of 0 gives a null buffer. When a
    // copy cannot be obtained the memory handler is called and the buffer stays null.
    TnRawBuffer(void* bytes, uint32_t length, TnRawBufferBehavior behavior);
    // An owned buffer (Copy or Adopt) gets its own copy, keeping the behaviour.
    TnRawBuffer(const TnRawBuffer& other);
    TnRawBuffer& operator=(const TnRawBuffer&) = delete;
    ~TnRawBuffer();

    // Ensures room for n bytes: a shorter buffer is replaced by a fresh owned block of
    // n bytes (the old contents are not kept) and becomes TnRawBufferCopy. 0, or -2030
    // when the block could not be obtained (the buffer is then null, the length n).
    TnResult EnsureCapacity(uint32_t n);
    void* GetBuf() const { return m_buffer; }
    uint32_t GetBufLen() const { return m_length; }
    TnRawBufferBehavior GetBehavior() const { return m_behavior; }

    void* m_buffer;
    uint32_t m_length;
    TnRawBufferBehavior m_behavior;
};

#endif
