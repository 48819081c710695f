#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <random>
#include <string>

#include "memfile/alloc_failure.h"
#include "mvbasics.h"

namespace {

std::string Take(MemQueue& q, uint32_t n, TnResult* rc = nullptr) {
    std::string out(n, '?');
    TnResult r = q.Get(&out[0], n);
    if (rc != nullptr) *rc = r;
    return r == 0 ? out : std::string();
}

TEST(MemFileCheckSum, RangesOfAFile) {
    MemFile f;
    ASSERT_EQ(9, f.Put("123456789", 0, 9));
    f.SetPosition(7);
    EXPECT_EQ(0xCBF43926u, f.CheckSum(0, 0xFFFFFFFFu, nullptr));
    EXPECT_EQ(0, f.Position());
    EXPECT_EQ(CalcCheckSum("56789", 5, nullptr), f.CheckSum(4, 0xFFFFFFFFu, nullptr));
    EXPECT_EQ(4, f.Position());
    EXPECT_EQ(CalcCheckSum("56789", 5, nullptr), f.CheckSum(4, 1000, nullptr));
    EXPECT_EQ(CalcCheckSum("345", 3, nullptr), f.CheckSum(2, 3, nullptr));
    // Continuing from a previous value, and the empty cases returning the start value.
    const uint32_t first = f.CheckSum(0, 4, nullptr);
    EXPECT_EQ(0xCBF43926u, f.CheckSum(4, 5, &first));
    const uint32_t p = 0xDEADBEEFu;
    f.SetPosition(3);
    EXPECT_EQ(p, f.CheckSum(9, 5, &p));
    EXPECT_EQ(p, f.CheckSum(2, 0, &p));
    EXPECT_EQ(3, f.Position());  // untouched when nothing is covered
    MemFile ten;
    ASSERT_EQ(10, ten.Put("0123456789", 0, 10));
    EXPECT_EQ(0u, ten.CheckSum(20, 5, nullptr));
    EXPECT_EQ(0u, MemFile().CheckSum(0, 0xFFFFFFFFu, nullptr));
}

TEST(MemQueue, ReadsAcrossPutBoundaries) {
    for (uint16_t compacting : {0, 1}) {
        MemQueue q(compacting);
        EXPECT_EQ(0, q.Put("abc", 3));
        EXPECT_EQ(0, q.Put("de", 2));
        EXPECT_EQ("abcd", Take(q, 4));
        TnResult rc;
        Take(q, 2, &rc);
        EXPECT_EQ(-12003, rc);
        EXPECT_EQ("e", Take(q, 1));
        Take(q, 1, &rc);
        EXPECT_EQ(-12001, rc);
        Take(q, 0, &rc);
        EXPECT_EQ(-12001, rc);
        EXPECT_EQ(0, q.Put("", 0));
        EXPECT_EQ(-12005, q.Put(nullptr, 4));
    }
}

TEST(MemQueue, CompactingKeepsOnlyUnreadBytes) {
    MemQueue q(1);
    ASSERT_EQ(0, q.Put("0123456789", 10));
    for (uint32_t n : {3u, 1u, 4u, 2u}) {
        const int32_t before = q.Size();
        ASSERT_EQ(0, q.Get(std::string(n, ' ').data(), n));
        EXPECT_EQ(before - static_cast<int32_t>(n), q.Size());
        EXPECT_EQ(0u, q.ReadOffset());
    }
    EXPECT_EQ(0, q.Size());
}

TEST(MemQueue, NonCompactingAdvancesAndDeleteDiscards) {
    MemQueue q;
    ASSERT_EQ(0, q.Put("abcde", 5));
    EXPECT_EQ("abc", Take(q, 3));
    EXPECT_EQ(5, q.Size());
    EXPECT_EQ(3u, q.ReadOffset());
    EXPECT_EQ(0, q.Delete(0));
    EXPECT_EQ(2, q.Size());
    EXPECT_EQ(0u, q.ReadOffset());
    EXPECT_EQ("de", Take(q, 2));
    // Delete(n) keeps the first n read bytes and makes them unread again.
    ASSERT_EQ(0, q.Put("vwxyz", 5));
    EXPECT_EQ("vwx", Take(q, 3));
    EXPECT_EQ(0, q.Delete(1));
    EXPECT_EQ(1u, q.ReadOffset());
    EXPECT_EQ("yz", Take(q, 2));
}

// A random mix of puts and gets against a plain deque of bytes.
TEST(MemQueue, AgreesWithADequeModel) {
    std::mt19937 rng(5);
    for (uint16_t compacting : {0, 1}) {
        MemQueue q(compacting);
        std::deque<char> model;
        for (int step = 0; step < 3000; ++step) {
            const uint32_t n = rng() % 40;
            if (rng() % 2) {
                std::string bytes(n, '\0');
                for (auto& c : bytes) c = static_cast<char>(rng());
                ASSERT_EQ(0, q.Put(bytes.data(), n));
                model.insert(model.end(), bytes.begin(), bytes.end());
            } else {
                TnResult rc;
                const std::string got = Take(q, n, &rc);
                if (model.empty()) {
                    ASSERT_EQ(-12001, rc);
                } else if (model.size() < n) {
                    ASSERT_EQ(-12003, rc);
                } else {
                    ASSERT_EQ(0, rc);
                    ASSERT_EQ(std::string(model.begin(), model.begin() + n), got);
                    model.erase(model.begin(), model.begin() + n);
                }
            }
            if (!compacting && step % 500 == 499) q.Delete(0);
            ASSERT_EQ(model.size(), static_cast<size_t>(q.Size()) - q.ReadOffset());
        }
    }
}

TEST(MemQueue, CopiesAreIndependent) {
    MemQueue q;
    ASSERT_EQ(0, q.Put("hello", 5));
    EXPECT_EQ("he", Take(q, 2));
    MemQueue copy(q);
    EXPECT_EQ(2u, copy.ReadOffset());
    EXPECT_EQ("llo", Take(copy, 3));
    MemQueue assigned(1);
    assigned = q;
    EXPECT_EQ(0u, assigned.m_compacting);
    EXPECT_EQ("llo", Take(assigned, 3));
    EXPECT_EQ("llo", Take(q, 3));
}

TEST(MemQueue, FailedGrowthReportsAndKeepsTheQueue) {
    MemQueue q;
    ASSERT_EQ(0, q.Put("abc", 3));
    {
        mvtest::CountingMemoryHandler handler;
        mvtest::HeapFailure failure;
        EXPECT_EQ(-12002, q.Put(std::string(100, 'x').data(), 100));
        EXPECT_EQ(1u, handler.Calls().size());
    }
    EXPECT_EQ(3, q.Size());
    EXPECT_EQ("abc", Take(q, 3));
}

TEST(MemQueue, FailedShrinkAfterCompactingRead) {
    MemQueue q(1);
    ASSERT_EQ(0, q.Put(std::string(200, 'x').data(), 200));
    mvtest::CountingMemoryHandler handler;
    mvtest::HeapFailure failure;
    std::string out(150, ' ');
    EXPECT_EQ(-12006, q.Get(&out[0], 150));  // shrinking to 50 bytes needs a new block
    EXPECT_EQ(std::string(150, 'x'), out);
}

// ------------------------------------------------------------------ raw buffer

TEST(TnRawBuffer, ConstructionRules) {
    char bytes[] = "0123456789";
    for (auto b : {TnRawBufferCopy, TnRawBufferReference, TnRawBufferAdopt}) {
        TnRawBuffer nullBytes(nullptr, 10, b);
        EXPECT_EQ(nullptr, nullBytes.GetBuf());
        EXPECT_EQ(0u, nullBytes.GetBufLen());
    }
    TnRawBuffer empty(bytes, 0, TnRawBufferCopy);
    EXPECT_EQ(nullptr, empty.GetBuf());
    EXPECT_EQ(0u, empty.GetBufLen());

    TnRawBuffer copy(bytes, 10, TnRawBufferCopy);
    ASSERT_NE(nullptr, copy.GetBuf());
    EXPECT_NE(static_cast<void*>(bytes), copy.GetBuf());
    EXPECT_EQ(0, std::memcmp(copy.GetBuf(), bytes, 10));
    TnRawBuffer ref(bytes, 10, TnRawBufferReference);
    EXPECT_EQ(static_cast<void*>(bytes), ref.GetBuf());
    TnRawBuffer other(bytes, 10, static_cast<TnRawBufferBehavior>(7));  // as a reference
    EXPECT_EQ(static_cast<void*>(bytes), other.GetBuf());
}

// Counts the blocks freed through the OS layer while it lives.
class FreeCounter {
  public:
    FreeCounter() : m_slot(&mvos::SyscallTable::free, &Count) { Freed().clear(); }
    static std::vector<void*>& Freed() {
        static std::vector<void*> freed;
        return freed;
    }

  private:
    static void Count(void* p) {
        Freed().push_back(p);
        mvos::DefaultSyscalls().free(p);
    }
    mvos::ScopedSyscall<void (*)(void*)> m_slot;
};

TEST(TnRawBuffer, OwnershipAtDestruction) {
    FreeCounter counter;
    char bytes[] = "abcdef";
    void* copied;
    {
        TnRawBuffer ref(bytes, 6, TnRawBufferReference);
        TnRawBuffer copy(bytes, 6, TnRawBufferCopy);
        copied = copy.GetBuf();
    }
    ASSERT_EQ(1u, FreeCounter::Freed().size());  // the reference frees nothing
    EXPECT_EQ(copied, FreeCounter::Freed()[0]);

    void* block = mvos::Malloc(6);
    std::memcpy(block, "abcdef", 6);
    void* secondCopy;
    {
        TnRawBuffer adopted(block, 6, TnRawBufferAdopt);
        EXPECT_EQ(block, adopted.GetBuf());
        TnRawBuffer twin(adopted);  // an owned buffer's copy gets its own block
        secondCopy = twin.GetBuf();
        EXPECT_NE(block, secondCopy);
        EXPECT_EQ(TnRawBufferAdopt, twin.GetBehavior());
        EXPECT_EQ(0, std::memcmp(secondCopy, "abcdef", 6));
        TnRawBuffer ref(bytes, 6, TnRawBufferReference);
        TnRawBuffer refTwin(ref);  // a reference's copy shares the caller's bytes
        EXPECT_EQ(static_cast<void*>(bytes), refTwin.GetBuf());
    }
    ASSERT_EQ(3u, FreeCounter::Freed().size());
    EXPECT_EQ(secondCopy, FreeCounter::Freed()[1]);
    EXPECT_EQ(block, FreeCounter::Freed()[2]);
}

TEST(TnRawBuffer, EnsureCapacity) {
    char bytes[] = "abcdef";
    TnRawBuffer ref(bytes, 6, TnRawBufferReference);
    EXPECT_EQ(0, ref.EnsureCapacity(6));
    EXPECT_EQ(0, ref.EnsureCapacity(2));
    EXPECT_EQ(static_cast<void*>(bytes), ref.GetBuf());
    EXPECT_EQ(6u, ref.GetBufLen());
    {
        FreeCounter counter;
        EXPECT_EQ(0, ref.EnsureCapacity(100));
        EXPECT_TRUE(FreeCounter::Freed().empty());  // the caller's bytes are not freed
    }
    EXPECT_NE(static_cast<void*>(bytes), ref.GetBuf());
    EXPECT_EQ(100u, ref.GetBufLen());
    EXPECT_EQ(TnRawBufferCopy, ref.GetBehavior());
    std::memset(ref.GetBuf(), 'q', 100);  // the whole new block is usable

    TnRawBuffer copy(bytes, 6, TnRawBufferCopy);
    void* old = copy.GetBuf();
    {
        FreeCounter counter;
        mvtest::CountingMemoryHandler handler;
        mvtest::HeapFailure failure;
        EXPECT_EQ(-2030, copy.EnsureCapacity(64));
        ASSERT_EQ(1u, handler.Calls().size());
        EXPECT_EQ(64u, handler.Calls()[0]);
        ASSERT_EQ(1u, FreeCounter::Freed().size());
        EXPECT_EQ(old, FreeCounter::Freed()[0]);
    }
    EXPECT_EQ(nullptr, copy.GetBuf());
    EXPECT_EQ(64u, copy.GetBufLen());
}

TEST(TnRawBuffer, FailedCopyCallsTheHandler) {
    char bytes[] = "abcdef";
    mvtest::CountingMemoryHandler handler;
    mvtest::HeapFailure failure;
    TnRawBuffer copy(bytes, 6, TnRawBufferCopy);
    EXPECT_EQ(nullptr, copy.GetBuf());
    ASSERT_EQ(1u, handler.Calls().size());
    EXPECT_EQ(6u, handler.Calls()[0]);
}

}  // namespace
