// The node pool: buffer arithmetic, last-in first-out reuse, release.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "frame.h"

namespace {

// A buffer holds 4096 / size nodes (at least one), handed out in address order; the
// node after the last opens the next buffer.
TEST(MemPool, BufferArithmeticAndRelease) {
    for (uint32_t size : {16u, 1000u, 1365u, 4096u, 5000u}) {
        TnMemPool pool(size);
        EXPECT_EQ(nullptr, pool.m_current);
        const uint32_t perBuffer = std::max(1u, 4096u / size);
        auto* first = static_cast<unsigned char*>(pool.GetNode());
        for (uint32_t i = 1; i < perBuffer; ++i)
            ASSERT_EQ(first + size * i, pool.GetNode()) << size;
        EXPECT_EQ(1u, pool.m_buffersObtained) << size;
        EXPECT_EQ(pool.m_current, pool.m_last) << size;
        auto* next = static_cast<unsigned char*>(pool.GetNode());
        EXPECT_EQ(2u, pool.m_buffersObtained) << size;
        EXPECT_EQ(next + (perBuffer - 1) * size, pool.m_last) << size;
        EXPECT_EQ(perBuffer + 1, pool.m_getCalls);
        // Release gives back both buffers and forgets the chains; the counters go on.
        pool.PutNode(first);
        pool.DeallocateBuffers();
        pool.DeallocateBuffers();
        EXPECT_EQ(2u, pool.m_buffersReleased);
        EXPECT_TRUE(pool.m_buffers == nullptr && pool.m_free == nullptr);
        EXPECT_TRUE(pool.m_current == nullptr && pool.m_last == nullptr);
        pool.GetNode();  // opens a fresh buffer again
        EXPECT_EQ(3u, pool.m_buffersObtained);
        EXPECT_EQ(1u, pool.m_putCalls);
    }
}

// Random get/put sequences against a model: given-back nodes come back last in first
// out, live nodes never overlap, and buffers are opened only when needed.
TEST(MemPool, RandomUseAgainstAModel) {
    std::mt19937 rng(12345);
    for (uint32_t size : {1u, 8u, 24u, 1000u, 4096u, 5000u}) {
        TnMemPool pool(size);
        std::vector<uintptr_t> live, freed;
        for (int step = 0; step < 3000; ++step) {
            if (!live.empty() && rng() % 3 == 0) {
                size_t i = rng() % live.size();
                pool.PutNode(reinterpret_cast<void*>(live[i]));
                freed.push_back(live[i]);
                live.erase(live.begin() + static_cast<long>(i));
            } else {
                uintptr_t node = reinterpret_cast<uintptr_t>(pool.GetNode());
                if (!freed.empty()) {
                    ASSERT_EQ(freed.back(), node);
                    freed.pop_back();
                }
                live.push_back(node);
                reinterpret_cast<unsigned char*>(node)[0] = 0xAB;
                reinterpret_cast<unsigned char*>(node)[size - 1] = 0xCD;
            }
        }
        std::vector<uintptr_t> sorted = live;
        std::sort(sorted.begin(), sorted.end());
        for (size_t i = 1; i < sorted.size(); ++i) ASSERT_GE(sorted[i] - sorted[i - 1], size);
        uint32_t perBuffer = std::max(1u, 4096u / size);
        EXPECT_LE(pool.m_buffersObtained, (live.size() + freed.size()) / perBuffer + 1) << size;
    }
}

}  // namespace
