// Data blocks: the CRC-32 block checksum, the byte-run compressor, the record queue
// and the raw buffer.
#ifndef MV_DATABLOCKS_H
#define MV_DATABLOCKS_H

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

#endif
