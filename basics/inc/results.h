// Result codes: every code that an operation of Merivane Basics returns, by subsystem.
//
// A result code (TnResult) is a signed 32-bit integer: 0 is success, a negative value
// an error, a value above 999 a notice that accompanies success, and a value from 1 to
// 999 a count returned in place of a result. Operations return these names, never bare
// numbers; the values are fixed, since hosts compare and store them.
//
// TnError() (errors.h) turns any code into text. The codes marked [text] have a
// catalogue text of their own, quoted after the mark; every other code here reads
// "unknown error" unless a module error callback supplies a text.
//
// One value has one name. Where two subsystems report the same condition they share
// the code and the name (ERR_TN_NO_MEMORY, ERR_TN_OUT_OF_RANGE, ERR_TN_FAILED). The OS
// layer's Win32-style status numbers are a separate name space inside the library and
// never reach a host.
#ifndef MV_RESULTS_H
#define MV_RESULTS_H

#include <cstdint>

enum TnResultCode : int32_t {
    // ---------------------------------------------------------------- shared by several families

    // A step failed; the operation says which: mmResize/mmFarResize (no memory),
    // TarnCheckMemory (no checking function), the registry functions (the registry
    // refused), InstallSource, DScomp (output too small), TnBitString area conflict,
    // TnBitsStack full/empty/too small, RegisterStatistics/DeregisterStatistics (wrong
    // registration state), performance-block activation.
    ERR_TN_FAILED = -1,
    // [text] "The operating system returned an out of memory error." No memory for a sort
    // work element (arrays), a raw buffer's block, or a container's new entry.
    ERR_TN_NO_MEMORY = -2030,
    // [text] "The operation is not yet implemented." An abstract container or iterator
    // default, so that a caller can probe what a container supports.
    ERR_TN_NOT_IMPLEMENTED = -2999,

    // ---------------------------------------------------------------- runtime frame

    // TestHandler: a growth request made to fail by the "growErrorCounter" setting.
    ERR_TN_SIMULATED_FAILURE = -313,
    // [text] "One of the parameters passed to this function is not valid."
    // SetModuleErrorCallback: inverted or overlapping range, or removal with other bounds.
    ERR_TN_PARAMETER_NOT_VALID = -2002,
    // [text] "A module has an incompatible version." CheckTnVersionNumber, TnCheckDll.
    ERR_TN_INCOMPATIBLE_VERSION = -5004,

    // ---------------------------------------------------------------- arrays and lists

    // TnCList/TnLList/SortList: storage could not be obtained, or the array is full.
    ERR_TN_NO_STORAGE = -501,
    // Arrays: index out of range, or Search found no equal key. Linked lists: the item
    // is not on this list.
    ERR_TN_OUT_OF_RANGE = -502,
    // Arrays: Init with element size 0.
    ERR_TN_ZERO_ELEMENT_SIZE = -503,
    // Arrays: Copy from an array of another type.
    ERR_TN_OTHER_ARRAY_TYPE = -506,
    // Arrays: Merge is not supported.
    ERR_TN_MERGE_NOT_SUPPORTED = -507,
    // Arrays: SortedInsert met an equal element and duplicates are not allowed.
    ERR_TN_DUPLICATE_ELEMENT = -508,
    // [text] "No compare function for a type exists." Arrays: Sort without compare callback.
    ERR_TN_NO_COMPARE_FUNCTION = -2106,
    // [text] "A Get() or a Seek() was called at the beginning or end of a set."
    // TnBitString: a position or area outside the string, or a Find that found nothing.
    ERR_TN_END_OF_SET = -2005,

    // ---------------------------------------------------------------- memory file and record queue

    // MemFile::SizeSet/SizeSetDontShrink (and SortList::SizeSet): no memory to grow.
    ERR_TN_FILE_NO_MEMORY = -10001,
    // MemFile::SetLogicalSize: the size exceeds the capacity.
    ERR_TN_BEYOND_CAPACITY = -10002,
    // MemQueue::Get: the queue is empty.
    ERR_TN_QUEUE_EMPTY = -12001,
    // MemQueue::Put: the file could not grow.
    ERR_TN_QUEUE_NOT_GROWN = -12002,
    // MemQueue::Get: fewer unread bytes than asked for (nothing consumed).
    ERR_TN_QUEUE_TOO_SHORT = -12003,
    // MemQueue::Get: a read or a compacting move came up short.
    ERR_TN_QUEUE_SHORT_READ = -12004,
    // MemQueue::Put: a write came up short.
    ERR_TN_QUEUE_SHORT_WRITE = -12005,
    // MemQueue::Get: the file could not shrink after compacting.
    ERR_TN_QUEUE_NOT_SHRUNK = -12006,

    // ---------------------------------------------------------------- containers and iterators

    // Search or deletion: no entry equals the probe, or the entry is not in the tree.
    ERR_TN_NOT_FOUND = -510,
    // TnMemFileContainer::SearchElement: no pending entry equals the probe (the differ
    // treats it as ERR_TN_NOT_FOUND).
    ERR_TN_NOT_PENDING = -511,
    // Insertion refused by the container's duplicate policy.
    ERR_TN_DUPLICATE = -512,
    // The iterator is stale: its container changed since it was positioned.
    ERR_TN_STALE = -513,
    // Element accessor: the element has no data part (callers treat it as success).
    ERR_TN_NO_DAT = -519,
    // Iterator state: no container.
    ERR_TN_DETACHED = -520,
    // Iterator state: before the first entry (also a fresh iterator with a container).
    ERR_TN_BEFORE_FIRST = -521,
    // Iterator state: after the last entry.
    ERR_TN_AFTER_LAST = -522,
    // Iterator state: position lost (a search found nothing, or the container changed).
    ERR_TN_POSITION_LOST = -523,
    // [text] "An internal error has occurred. Use TnBase::GetLastBaseError() for details."
    // TnRBTreeIterator::DeleteElement: the neighbour entry was not found again.
    ERR_TN_INTERNAL = -2099,

    // ---------------------------------------------------------------- platform services

    // [text] "Timezone information could not be retrieved from the operating system."
    // bksgettimezone.
    ERR_TN_NO_TIME_ZONE = -2171,
    // [text] "Invalid parameter." TnGetRegistryEntry, TnSetRegistryEntry,
    // TnDeleteRegistryEntry: null key path, null buffer or length 0.
    ERR_TN_INVALID_PARAMETER = -2530,
    // [text] "A module handle is invalid." TnDynamicLoader: a null handle.
    ERR_TN_MODULE_HANDLE_INVALID = -5001,
    // [text] "A module could not be loaded." TnDynamicLoader::LoadModule, TnGetDescription.
    ERR_TN_COULD_NOT_LOAD_MODULE = -5002,
    // [text] "A module entry could not be found." TnDynamicLoader::GetEntryPoint,
    // TnGetDescription.
    ERR_TN_COULD_NOT_GET_ENTRY = -5003,

    // ---------------------------------------------------------------- statistics

    // RegisterStatistics: the registration key could not be created.
    // DeregisterStatistics: the counter texts could not be unloaded.
    ERR_TN_REGISTRATION_FAILED = -2,
    // RegisterStatistics: the counter texts could not be loaded (the key is removed).
    ERR_TN_COUNTER_TEXTS_FAILED = -3,
};

#endif
