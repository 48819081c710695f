// The node pool: buffer arithmetic, last-in first-out reuse, release.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <vector>

#include "frame.h"

namespace {

TEST(MemPool, SmallNodesFillA4096ByteBufferFirst) {
    TnMemPool pool(16);
    EXPECT_EQ(nullptr, pool.m_current);
    std::vector<unsigned char*> nodes;
    for (int i = 0; i < 256; ++i) nodes.push_back(static_cast<unsigned char*>(pool.GetNode()));
    EXPECT_EQ(1u, pool.m_buffersObtained);
    for (int i = 1; i < 256; ++i) EXPECT_EQ(nodes[0] + 16 * i, nodes[i]);
    EXPECT_EQ(nodes[255], pool.m_last);
    unsigned char* next = static_cast<unsigned char*>(pool.GetNode());
    EXPECT_EQ(2u, pool.m_buffersObtained);
    EXPECT_EQ(pool.m_current, next);
    EXPECT_EQ(next + 255 * 16, pool.m_last);
    EXPECT_EQ(257u, pool.m_getCalls);
}

TEST(MemPool, NodesLargerThanABufferGetOneBufferEach) {
    TnMemPool pool(5000);
    void* a = pool.GetNode();
    void* b = pool.GetNode();
    EXPECT_NE(a, b);
    EXPECT_EQ(2u, pool.m_buffersObtained);
    EXPECT_EQ(pool.m_current, pool.m_last);
    pool.PutNode(a);
    EXPECT_EQ(a, pool.GetNode());  // the free chain first, no new buffer
    EXPECT_EQ(2u, pool.m_buffersObtained);
    // A buffer of exactly one node and one of a few.
    TnMemPool exact(4096), third(1365);
    exact.GetNode();
    EXPECT_EQ(exact.m_current, exact.m_last);
    third.GetNode();
    EXPECT_EQ(third.m_current + 2 * 1365, third.m_last);
}

TEST(MemPool, GivenBackNodesReturnLastInFirstOut) {
    TnMemPool pool(24);
    void* a = pool.GetNode();
    void* b = pool.GetNode();
    pool.PutNode(a);
    pool.PutNode(b);
    EXPECT_EQ(b, pool.GetNode());
    EXPECT_EQ(a, pool.GetNode());
    EXPECT_EQ(2u, pool.m_putCalls);
    EXPECT_EQ(4u, pool.m_getCalls);
    EXPECT_EQ(nullptr, pool.m_free);
}

TEST(MemPool, DeallocateReleasesEverythingAndKeepsCounting) {
    TnMemPool pool(1000);  // four nodes a buffer
    std::vector<void*> nodes;
    for (int i = 0; i < 10; ++i) nodes.push_back(pool.GetNode());
    pool.PutNode(nodes[3]);
    EXPECT_EQ(3u, pool.m_buffersObtained);
    pool.DeallocateBuffers();
    EXPECT_EQ(3u, pool.m_buffersReleased);
    EXPECT_EQ(nullptr, pool.m_buffers);
    EXPECT_EQ(nullptr, pool.m_free);
    EXPECT_EQ(nullptr, pool.m_current);
    EXPECT_EQ(nullptr, pool.m_last);
    EXPECT_EQ(10u, pool.m_getCalls);
    pool.GetNode();  // opens a fresh buffer again
    EXPECT_EQ(4u, pool.m_buffersObtained);
    pool.DeallocateBuffers();
    pool.DeallocateBuffers();
    EXPECT_EQ(4u, pool.m_buffersReleased);
}

// Random get/put sequences against a model: live nodes never overlap, each lies in one
// node slot of the pool, and give-backs come back in stack order.
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
