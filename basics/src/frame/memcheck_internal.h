// Test access to the memory-check hook, which otherwise sets itself up once per process.
#ifndef MV_FRAME_MEMCHECK_INTERNAL_H
#define MV_FRAME_MEMCHECK_INTERNAL_H

namespace mvb::frame {
// Forgets the set-up, so the next TarnCheckMemory call reads the configuration again.
void ForgetMemoryCheck();
}  // namespace mvb::frame

#endif
