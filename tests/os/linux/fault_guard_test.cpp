// The fault guard and the faults Linux raises: signals, an unreadable page, and the
// signal handlers put back afterwards.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>

#include "os/os.h"

namespace {

using namespace mvos;

TEST(FaultGuardLinux, TurnsSignalsIntoCodesAndRestoresTheHandlers) {
    const int sigs[] = {SIGSEGV, SIGBUS, SIGTRAP};
    struct sigaction before[3];
    for (int i = 0; i < 3; ++i) sigaction(sigs[i], nullptr, &before[i]);

    int ran = 0;
    EXPECT_EQ(kAccessViolation, Guarded([] { raise(SIGSEGV); }));
    EXPECT_EQ(kInPageError, Guarded([] { raise(SIGBUS); }));
    // A real access to a page that may not be read.
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, page);
    volatile int* p = static_cast<volatile int*>(page);
    EXPECT_EQ(kAccessViolation, Guarded([&] { ran = *p; }));
    munmap(page, 4096);
    uint32_t inner = 0;
    EXPECT_EQ(0u, Guarded([&] { inner = Guarded([] { raise(SIGSEGV); }); }));
    EXPECT_EQ(kAccessViolation, inner);
    // Several faults in a row keep working (the signal is not left blocked).
    for (int i = 0; i < 3; ++i) EXPECT_EQ(kAccessViolation, Guarded([] { raise(SIGSEGV); }));

    for (int i = 0; i < 3; ++i) {
        struct sigaction now {};
        sigaction(sigs[i], nullptr, &now);
        EXPECT_EQ(before[i].sa_handler, now.sa_handler) << sigs[i];
        EXPECT_EQ(before[i].sa_flags & SA_SIGINFO, now.sa_flags & SA_SIGINFO) << sigs[i];
    }
}

}  // namespace
