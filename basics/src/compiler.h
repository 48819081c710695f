// Compiler specifics of the library's own code, in one place: builtins, attributes and
// the static-initialisation order. Everything here is for GCC and Clang (the MinGW-w64
// cross compilers included); a new compiler needs only this file changed. The public
// headers' decorations (MVB_API, MVB_PRINTF) live in mvexport.h, since a host's compiler
// reads those.
#ifndef MV_COMPILER_H
#define MV_COMPILER_H

#include <cstdint>

// Orders the construction of a namespace-scope object among this library's objects:
// lower numbers first, all after the C++ runtime's own (which use up to 100).
#define MVB_INIT_PRIORITY(n) __attribute__((init_priority(n)))

// Compiles one function for an instruction-set extension (e.g. "pclmul,sse2"); callers
// must check the CPU first with MVB_CPU_SUPPORTS.
#define MVB_TARGET(features) __attribute__((target(features)))
// True when the running CPU has the feature (a string literal such as "avx512f").
#define MVB_CPU_SUPPORTS(feature) (__builtin_cpu_init(), __builtin_cpu_supports(feature))

// Inlines every call in the function, and the calls in those, wherever possible: lets a
// template written once be compiled whole for the instruction set of the function (MVB_TARGET)
// it is instantiated in.
#define MVB_FLATTEN __attribute__((flatten))

// Keeps a function out of line (a rare path, so that its caller's common path stays small).
#define MVB_NOINLINE __attribute__((noinline))

// Keeps a namespace-scope object (and what it refers to) in the object file although
// nothing names it.
#define MVB_USED __attribute__((used))

namespace mvb {

// A hint that *p will be read soon; never faults, whatever p is.
inline void Prefetch(const void* p) {
    __builtin_prefetch(p);
}

inline uint16_t ByteSwap(uint16_t v) {
    return __builtin_bswap16(v);
}
inline uint32_t ByteSwap(uint32_t v) {
    return __builtin_bswap32(v);
}
inline uint64_t ByteSwap(uint64_t v) {
    return __builtin_bswap64(v);
}

// ifTrue when c holds, else otherwise; by a conditional move, never a branch, for
// conditions with no pattern a predictor could learn (the direction of a descent through
// random keys). GCC turns a plain conditional into a branch, so x86-64 gets the
// instruction itself; elsewhere a mask selects.
inline uintptr_t SelectIf(bool c, uintptr_t ifTrue, uintptr_t otherwise) {
#if defined(__x86_64__)
    asm("testb %[c], %[c]\n\tcmovneq %[t], %[r]"
        : [r] "+r"(otherwise)
        : [c] "q"(c), [t] "r"(ifTrue)
        : "cc");
    return otherwise;
#else
    const uintptr_t mask = uintptr_t(0) - uintptr_t(c);
    return otherwise ^ ((ifTrue ^ otherwise) & mask);
#endif
}
// The same for the condition a < b, compared by the selecting instructions themselves.
inline uintptr_t SelectIfLess(int64_t a, int64_t b, uintptr_t ifLess, uintptr_t otherwise) {
#if defined(__x86_64__)
    asm("cmpq %[b], %[a]\n\tcmovlq %[t], %[r]"
        : [r] "+r"(otherwise)
        : [a] "r"(a), [b] "r"(b), [t] "r"(ifLess)
        : "cc");
    return otherwise;
#else
    return SelectIf(a < b, ifLess, otherwise);
#endif
}

// Index of the lowest set bit; v must not be 0.
inline unsigned LowestSetBit(uint32_t v) {
    return static_cast<unsigned>(__builtin_ctz(v));
}
inline unsigned LowestSetBit(uint64_t v) {
    return static_cast<unsigned>(__builtin_ctzll(v));
}

}  // namespace mvb

#endif
