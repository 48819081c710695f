#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "memfile.h"
#include "memfile/alloc_failure.h"
#include "memfile/guarantee.h"

namespace {

std::string Contents(const MemFile& f) {
    return std::string(reinterpret_cast<const char*>(f.Data()), static_cast<size_t>(f.Size()));
}

MemFile FileHolding(const std::string& text, int32_t segmentSize = 8) {
    MemFile f(0, segmentSize);
    EXPECT_EQ(static_cast<int32_t>(text.size()),
              f.Put(text.data(), 0, static_cast<int32_t>(text.size())));
    return f;
}

TEST(MemFileSizing, GrowthFollowsTheSegmentSequence) {
    MemFile f;
    EXPECT_EQ(8u, f.SegmentSize());
    EXPECT_EQ(0u, f.Capacity());
    EXPECT_EQ(nullptr, f.Data());
    const int32_t sizes[] = {1, 9, 17, 25, 33, 49, 65, 100, 1000, 5000};
    const uint32_t capacities[] = {8, 16, 24, 32, 48, 64, 96, 128, 1024, 6144};
    const uint32_t segments[] = {8, 8, 8, 16, 16, 32, 32, 64, 512, 2048};
    for (size_t i = 0; i < 10; ++i) {
        ASSERT_EQ(0, f.SizeSet(sizes[i]));
        EXPECT_EQ(sizes[i], f.Size());
        EXPECT_EQ(capacities[i], f.Capacity()) << "size " << sizes[i];
        EXPECT_EQ(segments[i], f.SegmentSize()) << "size " << sizes[i];
    }
}

TEST(MemFileSizing, ShrinkReturnsToTheBaseSegmentSize) {
    MemFile f;
    ASSERT_EQ(0, f.SizeSet(100));
    EXPECT_EQ(64u, f.SegmentSize());
    std::memset(f.Data(), 'x', 100);
    ASSERT_EQ(0, f.SizeSet(10));
    EXPECT_EQ(8u, f.SegmentSize());
    EXPECT_EQ(16u, f.Capacity());
    EXPECT_EQ(std::string(10, 'x'), Contents(f));

    // Shrinking while more than one coarse segment remains keeps the segment size.
    ASSERT_EQ(0, f.SizeSet(1000));
    ASSERT_EQ(0, f.SizeSet(600));
    EXPECT_EQ(512u, f.SegmentSize());
    EXPECT_EQ(1024u, f.Capacity());
    // Emptying releases the block and restores the base shift, not the position.
    f.SetPosition(7);
    ASSERT_EQ(0, f.SizeSet(0));
    EXPECT_EQ(nullptr, f.Data());
    EXPECT_EQ(0u, f.Capacity());
    EXPECT_EQ(8u, f.SegmentSize());
    EXPECT_EQ(7, f.Position());
}

TEST(MemFileSizing, SegmentSizeStopsAtFourMegabytes) {
    MemFile f;
    ASSERT_EQ(0, f.SizeSet(100000000));
    EXPECT_EQ(4u << 20, f.SegmentSize());
    EXPECT_EQ(24u * (4u << 20), f.Capacity());
}

TEST(MemFileSizing, ConstructorRoundsTheSegmentSizeDown) {
    EXPECT_EQ(1u, MemFile(0, 0).SegmentSize());
    EXPECT_EQ(1u, MemFile(0, 1).SegmentSize());
    EXPECT_EQ(64u, MemFile(0, 100).SegmentSize());
    MemFile f(20, 16);
    EXPECT_EQ(20, f.Size());
    EXPECT_EQ(32u, f.Capacity());
    // A one-byte segment file still keeps at most three segments.
    MemFile g(0, 1);
    ASSERT_EQ(0, g.SizeSet(5));
    EXPECT_EQ(6u, g.Capacity());
}

TEST(MemFileSizing, LogicalSizeAndDontShrink) {
    MemFile f;
    ASSERT_EQ(0, f.SizeSet(20));
    EXPECT_EQ(-10002, f.SetLogicalSize(25));
    EXPECT_EQ(-10002, f.SetLogicalSize(-1));
    EXPECT_EQ(0, f.SetLogicalSize(24));
    EXPECT_EQ(24, f.Size());
    unsigned char* block = f.Data();
    EXPECT_EQ(0, f.SizeSetDontShrink(3));
    EXPECT_EQ(block, f.Data());
    EXPECT_EQ(24u, f.Capacity());
    EXPECT_EQ(0, f.SizeSetDontShrink(40));
    EXPECT_EQ(48u, f.Capacity());

    f.SetPosition(5);
    f.SetSizeZeroAndShrink(48);  // not above the limit: the block stays
    EXPECT_EQ(0, f.Size());
    EXPECT_EQ(0, f.Position());
    EXPECT_NE(nullptr, f.Data());
    f.SetSizeZeroAndShrink(47);
    EXPECT_EQ(nullptr, f.Data());
    EXPECT_EQ(0u, f.Capacity());
    EXPECT_EQ(8u, f.SegmentSize());
}

TEST(MemFileSizing, FailedGrowthLeavesTheFileAsItWas) {
    MemFile f = FileHolding("0123456789abcdefghij");  // 20 bytes, capacity 24
    const uint32_t capacity = f.Capacity();
    const uint32_t segment = f.SegmentSize();
    const MemFile longer = FileHolding("0123456789abcdefghijklmnopqrst");
    {
        mvtest::CountingMemoryHandler handler;
        mvtest::HeapFailure failure;
        EXPECT_EQ(-10001, f.SizeSet(5000));
        ASSERT_EQ(1u, handler.Calls().size());
        EXPECT_EQ(6144u, handler.Calls()[0]);
        // Every writing operation reports 0 bytes.
        EXPECT_EQ(0, f.Put("x", 30, 1));
        EXPECT_EQ(0, f.Copy(40, 0, 4));
        EXPECT_EQ(0u, f.Put(longer, 0, 0));
        EXPECT_EQ(4u, handler.Calls().size());
    }
    EXPECT_EQ("0123456789abcdefghij", Contents(f));
    EXPECT_EQ(capacity, f.Capacity());
    EXPECT_EQ(segment, f.SegmentSize());
    char out[20];
    EXPECT_EQ(20, f.Get(out, 0, 20));
    EXPECT_EQ(0, std::memcmp(out, "0123456789abcdefghij", 20));

    MemFile empty;
    {
        mvtest::CountingMemoryHandler handler;
        mvtest::HeapFailure failure;
        EXPECT_EQ(-10001, empty.SizeSet(3));
        EXPECT_EQ(std::vector<uint32_t>{8}, handler.Calls());
    }
    EXPECT_EQ(nullptr, empty.Data());
    EXPECT_EQ(0, empty.Size());
}

TEST(MemFileSizing, NegativeSizesAreRefused) {
    MemFile f = FileHolding("abc");
    EXPECT_EQ(-10001, f.SizeSet(-1));
    EXPECT_EQ(-10001, f.SizeSetDontShrink(-1));
    EXPECT_EQ("abc", Contents(f));
}

TEST(MemFileSeek, OriginsAndAvailableBytes) {
    MemFile f = FileHolding("0123456789");
    int32_t n = 0;
    EXPECT_EQ(f.Data() + 10, f.Seek(0, 2, &n, 0));
    EXPECT_EQ(0, n);
    n = 1;
    EXPECT_EQ(nullptr, f.Seek(0, 2, &n, 0));
    EXPECT_EQ(0, n);
    n = 20;
    EXPECT_EQ(f.Data() + 2, f.Seek(2, 0, &n, 0));
    EXPECT_EQ(8, n);
    EXPECT_EQ(2, f.Position());
    n = 0;
    EXPECT_EQ(f.Data() + 7, f.Seek(3, 2, &n, 0));
    EXPECT_EQ(7, f.Position());
    EXPECT_EQ(f.Data() + 8, f.Seek(1, 1));
    EXPECT_EQ(8, f.Position());
    EXPECT_EQ(f.Data() + 5, f.Seek(-3, 1));
    // Any other origin counts from the start.
    EXPECT_EQ(f.Data() + 4, f.Seek(4, 9));
    // A target beyond the end, or before the start, leaves the position alone.
    n = 2;
    EXPECT_EQ(nullptr, f.Seek(11, 0, &n, 0));
    EXPECT_EQ(0, n);
    EXPECT_EQ(nullptr, f.Seek(-1, 0));
    EXPECT_EQ(nullptr, f.Seek(11, 2));
    EXPECT_EQ(4, f.Position());
}

TEST(MemFileBytes, PutAndGetAtOffsets) {
    MemFile f;
    EXPECT_EQ(3, f.Put("xyz", 100, 3));
    EXPECT_EQ(103, f.Size());
    EXPECT_EQ(0, std::memcmp(f.Data() + 100, "xyz", 3));
    char out[8] = {};
    EXPECT_EQ(0, f.Get(out, 103, 1));
    EXPECT_EQ(0, f.Get(out, 104, 1));
    EXPECT_EQ(2, f.Get(out, 101, 5));
    EXPECT_EQ(0, std::memcmp(out, "yz", 2));
    EXPECT_EQ(0, f.Put("abc", -1, 3));
    EXPECT_EQ(0, f.Put("abc", 0, -3));
    EXPECT_EQ(0, f.Get(out, -1, 3));
    EXPECT_EQ(0, f.Put("abc", INT32_MAX - 1, 3));  // the end does not fit 32 bits
    EXPECT_EQ(103, f.Size());
    EXPECT_EQ(0, f.Position());
}

TEST(MemFileBytes, CopyHandlesOverlapAndGrowth) {
    MemFile f = FileHolding("abcde");
    EXPECT_EQ(4, f.Copy(1, 0, 4));
    EXPECT_EQ("aabcd", Contents(f));
    f = FileHolding("abcde");
    EXPECT_EQ(4, f.Copy(0, 1, 4));
    EXPECT_EQ("bcdee", Contents(f));
    EXPECT_EQ(3, f.Copy(4, 0, 3));
    EXPECT_EQ("bcdebcd", Contents(f));
    EXPECT_EQ(2, f.Copy(2, 2, 2));
    EXPECT_EQ(0, f.Copy(1, 2, 0));
    // The source range is cut at the end of the file.
    EXPECT_EQ(2, f.Copy(0, 5, 3));
    EXPECT_EQ("cddebcd", Contents(f));
    EXPECT_EQ(0, f.Copy(0, 9, 1));
    EXPECT_EQ(0, f.Copy(-1, 0, 1));
}

TEST(MemFileBytes, DeleteRemovesARange) {
    MemFile f = FileHolding("abcdefgh");
    EXPECT_EQ(0, f.Delete(2, 3));
    EXPECT_EQ("abfgh", Contents(f));
    EXPECT_EQ(0, f.Delete(3, 2));
    EXPECT_EQ("abf", Contents(f));
    EXPECT_EQ(0, f.Delete(0, 3));
    EXPECT_EQ(0, f.Size());
}

TEST(MemFileBytes, DeleteKeepsItsPromiseWhenShrinkingFails) {
    MemFile f;
    ASSERT_EQ(0, f.SizeSet(5000));
    std::memset(f.Data(), 'q', 5000);
    {
        mvtest::CountingMemoryHandler handler;
        mvtest::HeapFailure failure;
        EXPECT_EQ(0, f.Delete(10, 4990));
    }
    EXPECT_EQ(std::string(10, 'q'), Contents(f));
}

TEST(MemFileBytes, BrokenCallerPromisesAreCaught) {
    MemFile f = FileHolding("abcdefgh");
    MemFile g;
    f.SetPosition(6);
    if (mvb::kAssertCallerGuarantees) {
        EXPECT_ANY_THROW(f.Delete(6, 3));
        EXPECT_ANY_THROW(f.Get(g, 3, 0));
        TnResult rc = 0;
        f.SetPosition(9);
        EXPECT_ANY_THROW(f.Write(7, rc));
    } else {
        EXPECT_EQ(2u, f.Get(g, 3, 0));
        EXPECT_EQ("gh", Contents(g));
        EXPECT_EQ(0, f.Delete(6, 3));
        EXPECT_EQ("abcdef", Contents(f));
    }
}

TEST(MemFileFiles, PutFromAnotherFile) {
    MemFile source = FileHolding("0123456789");
    source.SetPosition(4);
    MemFile f;
    EXPECT_EQ(10u, f.Put(source, 0, 0));
    EXPECT_EQ("0123456789", Contents(f));
    EXPECT_EQ(4, source.Position());
    EXPECT_EQ(0, f.Position());

    f.SetPosition(8);
    EXPECT_EQ(3u, f.Put(source, 3, 2));
    EXPECT_EQ("01234567234", Contents(f));
    EXPECT_EQ(2u, f.Put(source, 5, 8));  // cut at the source's end
    EXPECT_EQ("01234567894", Contents(f));
    EXPECT_EQ(5u, f.Put(source, 0, 5));  // length 0 and a source offset: to the end
    EXPECT_EQ("0123456756789", Contents(f));
    EXPECT_EQ(0u, f.Put(source, 1, 10));
    EXPECT_EQ(0u, f.Put(source, 0, 11));
    EXPECT_EQ(0u, f.Put(MemFile(), 0, 0));
}

TEST(MemFileFiles, GetIntoAnotherFile) {
    MemFile f = FileHolding("0123456789");
    MemFile g = FileHolding("ab");
    f.SetPosition(3);
    EXPECT_EQ(4u, f.Get(g, 4, 5));
    EXPECT_EQ(9, g.Size());
    EXPECT_EQ("3456", Contents(g).substr(5));
    EXPECT_EQ(3, f.Position());
    // Into itself, overlapping.
    f.SetPosition(0);
    EXPECT_EQ(5u, f.Get(f, 5, 2));
    EXPECT_EQ("0101234789", Contents(f));
}

TEST(MemFileFiles, CopyAssignmentAndExchange) {
    MemFile source(0, 4);
    ASSERT_EQ(26, source.Put("abcdefghijklmnopqrstuvwxyz", 0, 26));
    MemFile copy(source);
    EXPECT_EQ(Contents(source), Contents(copy));
    EXPECT_EQ(source.SegmentSize(), copy.SegmentSize());
    EXPECT_NE(source.Data(), copy.Data());

    MemFile assigned(0, 64);
    assigned.SetPosition(3);
    assigned = source;
    EXPECT_EQ(Contents(source), Contents(assigned));
    EXPECT_EQ(0, assigned.Position());
    EXPECT_EQ(64u, assigned.SegmentSize());
    assigned = assigned;
    EXPECT_EQ(Contents(source), Contents(assigned));

    MemFile other = FileHolding("xy", 2);
    other.SetPosition(1);
    unsigned char* block = source.Data();
    source.Exchange(other);
    EXPECT_EQ("xy", Contents(source));
    EXPECT_EQ(1, source.Position());
    EXPECT_EQ(2u, source.SegmentSize());
    EXPECT_EQ(block, other.Data());
    EXPECT_EQ(26, other.Size());
    ASSERT_EQ(0, other.SizeSet(0));
    EXPECT_EQ(4u, other.SegmentSize());  // the base shift travelled with the block
}

TEST(MemFileFiles, SegmentsAndFill) {
    MemFile f;
    EXPECT_EQ(nullptr, f.GetSegment(0));
    ASSERT_EQ(0, f.SizeSet(40));
    EXPECT_EQ(f.Data() + 32, f.GetSegment(2));
    f.InitializeWith('a', 0);
    f.InitializeWith('b', 30);
    f.InitializeWith('c', 40);
    f.InitializeWith('c', -1);
    EXPECT_EQ(std::string(30, 'a') + std::string(10, 'b'), Contents(f));
}

TEST(MemFileWrite, AppendsLittleEndianWords) {
    MemFile f;
    TnResult rc = -1;
    EXPECT_EQ(4, f.Write(0x11223344, rc));
    EXPECT_EQ(0, rc);
    EXPECT_EQ(4, f.Write(-2, rc));
    EXPECT_EQ(8, f.Size());
    EXPECT_EQ(8, f.Position());
    const unsigned char expected[] = {0x44, 0x33, 0x22, 0x11, 0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(0, std::memcmp(expected, f.Data(), 8));
    for (int i = 0; i < 1000; ++i) f.Write(i, rc);
    EXPECT_EQ(4008, f.Size());
    EXPECT_EQ(0x3E7, f.Data()[4004] | f.Data()[4005] << 8);
}

TEST(MemFileWrite, ReportsAFailedGrowth) {
    MemFile f(24);  // capacity 24: the next word needs a bigger block
    f.SetPosition(24);
    mvtest::CountingMemoryHandler handler;
    mvtest::HeapFailure failure;
    TnResult rc = 0;
    EXPECT_EQ(4, f.Write(1, rc));
    EXPECT_EQ(-10001, rc);
    EXPECT_EQ(24, f.Size());
    EXPECT_EQ(24, f.Position());
    EXPECT_EQ(1u, handler.Calls().size());
}

// Random operations against a byte vector, checking contents and block arithmetic.
TEST(MemFileRandom, MatchesAByteVector) {
    std::mt19937 rng(1234);
    MemFile f;
    std::vector<unsigned char> model;
    auto pick = [&](int n) { return static_cast<int32_t>(rng() % static_cast<unsigned>(n)); };
    for (int step = 0; step < 4000; ++step) {
        const int32_t size = static_cast<int32_t>(model.size());
        switch (pick(6)) {
            case 0: {  // Put
                int32_t offset = pick(size + 1), length = pick(300);
                std::vector<unsigned char> bytes(static_cast<size_t>(length));
                for (auto& b : bytes) b = static_cast<unsigned char>(rng());
                ASSERT_EQ(length, f.Put(bytes.data(), offset, length));
                if (model.size() < static_cast<size_t>(offset + length))
                    model.resize(static_cast<size_t>(offset + length));
                std::copy(bytes.begin(), bytes.end(), model.begin() + offset);
                break;
            }
            case 1: {  // Delete
                int32_t offset = pick(size + 1), length = pick(size - offset + 1);
                ASSERT_EQ(0,
                          f.Delete(static_cast<uint32_t>(offset), static_cast<uint32_t>(length)));
                model.erase(model.begin() + offset, model.begin() + offset + length);
                break;
            }
            case 2: {  // Copy inside the file
                int32_t source = pick(size + 1), length = pick(size - source + 1);
                int32_t destination = pick(size + 1);
                std::vector<unsigned char> moved(model.begin() + source,
                                                 model.begin() + source + length);
                ASSERT_EQ(length, f.Copy(destination, source, length));
                if (model.size() < static_cast<size_t>(destination + length))
                    model.resize(static_cast<size_t>(destination + length));
                std::copy(moved.begin(), moved.end(), model.begin() + destination);
                break;
            }
            case 3: {  // SizeSet, mostly small
                int32_t n = pick(4) == 0 ? pick(3000) : pick(size + 50);
                ASSERT_EQ(0, f.SizeSet(n));
                f.InitializeWith(0, size);  // the grown part is unspecified until written
                model.resize(static_cast<size_t>(n));
                break;
            }
            case 4: {  // Get
                int32_t offset = pick(size + 5), length = pick(100);
                std::vector<unsigned char> out(static_cast<size_t>(length));
                int32_t expected = offset > size ? 0 : std::min(length, size - offset);
                ASSERT_EQ(expected, f.Get(out.data(), offset, length));
                ASSERT_TRUE(
                    std::equal(out.begin(), out.begin() + expected, model.begin() + offset));
                break;
            }
            default: {  // append through Put(file)
                MemFile piece;
                int32_t length = pick(64);
                for (int32_t i = 0; i < length; ++i) {
                    unsigned char b = static_cast<unsigned char>(rng());
                    piece.Put(&b, i, 1);
                    model.push_back(b);
                }
                f.SetPosition(size);
                ASSERT_EQ(static_cast<uint32_t>(length), f.Put(piece, 0, 0));
                break;
            }
        }
        ASSERT_EQ(static_cast<int32_t>(model.size()), f.Size()) << "step " << step;
        ASSERT_LE(static_cast<uint32_t>(f.Size()), f.Capacity());
        ASSERT_EQ(f.Capacity() == 0, f.Data() == nullptr);
        ASSERT_LE(f.Capacity(), 3 * f.SegmentSize());
        if (!model.empty()) {
            ASSERT_EQ(0, std::memcmp(model.data(), f.Data(), model.size()));
        }
    }
}

}  // namespace
