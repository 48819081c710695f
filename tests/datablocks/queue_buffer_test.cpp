#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <random>
#include <string>

#include "support/alloc_failure.h"
#include "mvbasics.h"

namespace {

std::string Take(MemQueue& q, uint32_t n, TnResult* rc = nullptr) {
    std::string out(n, '?');
    TnResult r = q.Get(&out[0], n);
    if (rc != nullptr) *rc = r;
    return r == 0 ? out : std::string();
}

TEST(MemQueue, DeleteDiscardsWhatWasRead) {
    MemQueue q;
    ASSERT_EQ(0, q.Put("abcde", 5));
    EXPECT_EQ("abc", Take(q, 3));
    EXPECT_EQ(0, q.Delete(0));
    EXPECT_EQ(2, q.Size());
    EXPECT_EQ(0u, q.ReadOffset());
    // Delete(n) keeps the first n bytes already read and drops the others.
    ASSERT_EQ(0, q.Put("xyz", 3));
    EXPECT_EQ("dex", Take(q, 3));
    EXPECT_EQ(0, q.Delete(1));
    EXPECT_EQ(3, q.Size());
    EXPECT_EQ(1u, q.ReadOffset());
    EXPECT_EQ("yz", Take(q, 2));
}

// A random mix of puts and gets (reads across put boundaries, too long, from an empty
// queue) against a plain deque of bytes, in both modes; copies drain to the same bytes.
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
                ASSERT_EQ(model.empty() ? -12001 : model.size() < n ? -12003 : 0, rc);
                if (rc == 0) {
                    ASSERT_EQ(std::string(model.begin(), model.begin() + n), got);
                    model.erase(model.begin(), model.begin() + n);
                }
            }
            if (!compacting && step % 500 == 499) q.Delete(0);
            ASSERT_EQ(model.size(), static_cast<size_t>(q.Size()) - q.ReadOffset());
            ASSERT_TRUE(compacting == 0 || q.ReadOffset() == 0);  // compacting keeps 0
            if (step % 1000 == 999) {
                const std::string rest(model.begin(), model.end());
                const auto size = static_cast<uint32_t>(rest.size());
                MemQueue twin(q), assigned(1 - compacting);
                assigned = q;
                EXPECT_EQ(size > 0 ? rest : "", Take(twin, size));
                EXPECT_EQ(size > 0 ? rest : "", Take(assigned, size));
                EXPECT_EQ(compacting, assigned.m_compacting);
            }
        }
    }
}

TEST(MemQueue, Failures) {
    MemQueue q(1);
    EXPECT_EQ(-12005, q.Put(nullptr, 4));
    ASSERT_EQ(0, q.Put(std::string(200, 'x').data(), 200));
    mvtest::OutOfMemory oom;
    EXPECT_EQ(-12002, q.Put(std::string(100, 'y').data(), 100));
    EXPECT_EQ(1u, oom.Calls().size());
    EXPECT_EQ(200, q.Size());
    std::string out(150, ' ');
    EXPECT_EQ(-12006, q.Get(&out[0], 150));  // shrinking to 50 bytes needs a new block
    EXPECT_EQ(std::string(150, 'x'), out);
}

// Ownership faults show under the sanitizers: freeing a buffer that is not owned (the
// caller's stack bytes here) or twice aborts, an owned block never freed is a leak.
TEST(TnRawBuffer, ConstructionAndOwnership) {
    char bytes[] = "abcdef";
    for (auto b : {TnRawBufferCopy, TnRawBufferReference, TnRawBufferAdopt}) {
        EXPECT_EQ(0u, TnRawBuffer(nullptr, 10, b).GetBufLen());
        EXPECT_EQ(nullptr, TnRawBuffer(bytes, 0, b).GetBuf());
    }
    void* block = mvos::Malloc(6);
    std::memcpy(block, bytes, 6);
    TnRawBuffer ref(bytes, 6, TnRawBufferReference), refTwin(ref);
    TnRawBuffer other(bytes, 6, static_cast<TnRawBufferBehavior>(7));  // as a reference
    TnRawBuffer adopted(block, 6, TnRawBufferAdopt), adoptedTwin(adopted);
    TnRawBuffer copy(bytes, 6, TnRawBufferCopy);
    EXPECT_EQ(static_cast<void*>(bytes), refTwin.GetBuf());
    EXPECT_EQ(static_cast<void*>(bytes), other.GetBuf());
    EXPECT_EQ(block, adopted.GetBuf());
    EXPECT_EQ(TnRawBufferAdopt, adoptedTwin.GetBehavior());
    for (const TnRawBuffer* b : {&copy, &adoptedTwin}) {  // blocks of their own
        EXPECT_NE(static_cast<void*>(bytes), b->GetBuf());
        EXPECT_NE(block, b->GetBuf());
        EXPECT_EQ(0, std::memcmp(b->GetBuf(), bytes, 6));
    }
}

TEST(TnRawBuffer, EnsureCapacity) {
    char bytes[] = "abcdef";
    TnRawBuffer ref(bytes, 6, TnRawBufferReference);
    EXPECT_EQ(0, ref.EnsureCapacity(6));
    EXPECT_EQ(static_cast<void*>(bytes), ref.GetBuf());
    EXPECT_EQ(0, ref.EnsureCapacity(100));  // the caller's bytes are not freed
    EXPECT_EQ(100u, ref.GetBufLen());
    EXPECT_EQ(TnRawBufferCopy, ref.GetBehavior());
    std::memset(ref.GetBuf(), 'q', 100);  // the whole new block is usable, and owned

    TnRawBuffer copy(bytes, 6, TnRawBufferCopy);
    mvtest::OutOfMemory oom;
    EXPECT_EQ(-2030, copy.EnsureCapacity(64));  // the old block is freed
    EXPECT_EQ(nullptr, copy.GetBuf());
    EXPECT_EQ(64u, copy.GetBufLen());
    // A copy that cannot be made leaves the buffer null; each failure reports its size.
    TnRawBuffer failed(bytes, 6, TnRawBufferCopy);
    EXPECT_EQ(nullptr, failed.GetBuf());
    EXPECT_EQ(std::vector<uint32_t>({64u, 6u}), oom.Calls());
}

}  // namespace
