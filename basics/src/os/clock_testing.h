// Test support for the OS layer's clocks: replace one clock for a scope.
#ifndef MV_OS_CLOCK_TESTING_H
#define MV_OS_CLOCK_TESTING_H

#include "os/os.h"

namespace mvos {

template <typename Fn>
class ScopedClock {
  public:
    ScopedClock(Fn ClockTable::*slot, Fn replacement) : m_slot(slot), m_saved(Clocks().*slot) {
        Clocks().*slot = replacement;
    }
    ~ScopedClock() { Clocks().*m_slot = m_saved; }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

  private:
    Fn ClockTable::*m_slot;
    Fn m_saved;
};

}  // namespace mvos

#endif
