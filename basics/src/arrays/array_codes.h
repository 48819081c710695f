// Result codes of the array family.
#ifndef MV_ARRAYS_ARRAY_CODES_H
#define MV_ARRAYS_ARRAY_CODES_H

#include "mvexport.h"

namespace mvb::arrays {

constexpr TnResult kNoStorage = -501;        // no memory, or the array is full
constexpr TnResult kIndexOutOfRange = -502;  // also: key not found
constexpr TnResult kZeroElementSize = -503;
constexpr TnResult kOtherArrayType = -506;
constexpr TnResult kMergeNotSupported = -507;
constexpr TnResult kDuplicate = -508;
constexpr TnResult kNoSortWorkArea = -2030;
constexpr TnResult kNoCompareCallback = -2106;
constexpr TnResult kFileNoMemory = -10001;  // the memory file's own code

}  // namespace mvb::arrays

#endif
