// Internal interface of the byte-run codec: the token loops, written once over two
// small primitives, and the two code paths that instantiate them.
//
// The portable path scans and copies a byte at a time. The fast path (x86-64) scans
// 64 bytes per step for the end of a run or of a literal stretch, copies tokens in
// 16-byte chunks, the last chunk overlapping the one before so that nothing outside
// the token is read or written, and expands short tokens as whole 64-byte blocks whose
// excess it puts back. Both produce the same bytes, result codes and lengths, and leave
// the output past its final length as the caller left it: they differ only in how far
// one step of a scan or a copy reaches.
#ifndef MV_DATABLOCKS_CODEC_H
#define MV_DATABLOCKS_CODEC_H

#include <cstdint>

namespace mvb::datablocks::codec {

// Fast is the best form for the running processor (what DScomp and DSdecomp use); Narrow
// is the fast path as processors without 32-byte vectors run it.
enum class Path { Portable, Fast, Narrow };

// DScomp and DSdecomp on the chosen path (same arguments and results).
int32_t Compress(Path path, const unsigned char* input, int32_t length, unsigned char* output,
                 int32_t* outLength);
int32_t Expand(Path path, const unsigned char* input, int32_t length, unsigned char* output,
               int32_t* outLength);

// The paths; the build compiles one file that defines the fast pair (the x86-64 one, or
// on other processors one that forwards to the portable pair). The fast pair takes
// Path::Fast or Path::Narrow.
int32_t CompressPortable(const unsigned char* input, int32_t length, unsigned char* output,
                         int32_t* outLength);
int32_t ExpandPortable(const unsigned char* input, int32_t length, unsigned char* output,
                       int32_t* outLength);
int32_t CompressFast(Path path, const unsigned char* input, int32_t length, unsigned char* output,
                     int32_t* outLength);
int32_t ExpandFast(Path path, const unsigned char* input, int32_t length, unsigned char* output,
                   int32_t* outLength);

}  // namespace mvb::datablocks::codec

#endif
