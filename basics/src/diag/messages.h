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

// The table's text of a code, or null when the code has none. A direct index over the
// span of the table's codes, built at compile time: no allocation, no search.
const char* FindMessage(int32_t code);

}  // namespace mvb::diag

#endif
