// The built-in message table of the error catalogue: constant data, sorted by code.
#ifndef MV_DIAG_MESSAGES_H
#define MV_DIAG_MESSAGES_H

#include <cstddef>
#include <cstdint>

namespace mvb::diag {

struct MessageEntry {
    int32_t code;
    const char* text;
};

// The whole table, strictly ascending by code.
const MessageEntry* MessageTable();
size_t MessageCount();

// The codes of the table's first and last rows (the table's source checks them).
constexpr int32_t kFirstMessageCode = -7310;
constexpr int32_t kLastMessageCode = 9004;
constexpr size_t kMessageSpan = static_cast<size_t>(kLastMessageCode - kFirstMessageCode) + 1;

// A direct index over the span of the table's codes: slot c - kFirstMessageCode holds the
// row number + 1 of code c, or 0 when c has no text. Built by the compiler.
struct MessageIndex {
    uint16_t row[kMessageSpan];
};
extern const MessageEntry kMessageRows[];
extern const MessageIndex kMessageIndex;

// The table's text of a code, or null when the code has none: one range check and two
// loads, inline in the caller, with no branch on the code to mispredict.
inline const char* FindMessage(int32_t code) {
    // Unsigned arithmetic: codes below the first wrap to large offsets.
    const uint32_t offset = static_cast<uint32_t>(code) - static_cast<uint32_t>(kFirstMessageCode);
    if (offset >= kMessageSpan) return nullptr;
    const uint16_t row = kMessageIndex.row[offset];
    return row != 0 ? kMessageRows[row - 1].text : nullptr;
}

}  // namespace mvb::diag

#endif
