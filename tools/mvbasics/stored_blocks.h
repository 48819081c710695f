// The stored-data helpers of the library, over whole strings: the block checksum and
// byte-run compression, with the checks the tool makes before it expands anything.
#ifndef MV_TOOLS_STORED_BLOCKS_H
#define MV_TOOLS_STORED_BLOCKS_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace mvtool {

// CRC-32 of the bytes (continued piece by piece for long data).
uint32_t BlockChecksum(const std::string& data);

// Compresses one piece (at most a few MiB); false when the compressor refuses it.
bool PackBlock(const std::string& plain, std::string* packed);

// Walks the tokens of compressed data without expanding them: true when every token
// is complete. Otherwise damage says where and how the data is broken.
bool CheckPackedTokens(const std::string& packed, std::string* damage);

// The length of the next run of whole tokens from offset, at most about limit bytes
// (at least one token). The data must have passed CheckPackedTokens.
size_t TokenPieceLength(const std::string& packed, size_t offset, size_t limit);

// Expands whole tokens into exactly the size they announce; false when the expander
// produces nothing from a non-empty input.
bool UnpackBlock(const std::string& packed, std::string* plain);

}  // namespace mvtool

#endif
