#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "memfile.h"
#include "support/alloc_failure.h"
#include "support/scratch_dir.h"
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
    const int32_t sizes[] = {1, 9, 17, 25, 33, 49, 65, 100, 1000, 5000};
    const uint32_t capacities[] = {8, 16, 24, 32, 48, 64, 96, 128, 1024, 6144};
    const uint32_t segments[] = {8, 8, 8, 16, 16, 32, 32, 64, 512, 2048};
    for (size_t i = 0; i < 10; ++i) {
        ASSERT_EQ(0, f.SizeSet(sizes[i]));
        EXPECT_EQ(capacities[i], f.Capacity()) << "size " << sizes[i];
        EXPECT_EQ(segments[i], f.SegmentSize()) << "size " << sizes[i];
    }
    ASSERT_EQ(0, f.SizeSet(100000000));
    EXPECT_EQ(4u << 20, f.SegmentSize());
    EXPECT_EQ(24u * (4u << 20), f.Capacity());
    // Back down: at most one coarse segment left returns to the base segment size, more
    // than one keeps it. Emptying releases the block and keeps the position.
    ASSERT_EQ(0, f.SizeSet(100));
    EXPECT_EQ(64u, f.SegmentSize());
    ASSERT_EQ(0, f.SizeSet(10));
    EXPECT_EQ(16u, f.Capacity());
    ASSERT_EQ(0, f.SizeSet(1000));
    ASSERT_EQ(0, f.SizeSet(600));
    EXPECT_EQ(512u, f.SegmentSize());
    f.SetPosition(7);
    ASSERT_EQ(0, f.SizeSet(0));
    EXPECT_EQ(nullptr, f.Data());
    EXPECT_EQ(8u, f.SegmentSize());
    EXPECT_EQ(7, f.Position());
    // Segment sizes round down to a power of two; one-byte segments still keep at most three.
    EXPECT_EQ(1u, MemFile(0, 0).SegmentSize());
    EXPECT_EQ(64u, MemFile(0, 100).SegmentSize());
    EXPECT_EQ(6u, MemFile(5, 1).Capacity());
}

TEST(MemFileSizing, LogicalSizeDontShrinkAndZero) {
    MemFile f = FileHolding("0123456789abcdefghij");  // capacity 24
    EXPECT_EQ(-10002, f.SetLogicalSize(25));
    EXPECT_EQ(-10002, f.SetLogicalSize(-1));
    EXPECT_EQ(-10001, f.SizeSet(-1));
    EXPECT_EQ(-10001, f.SizeSetDontShrink(-1));
    EXPECT_EQ(0, f.SetLogicalSize(24));
    unsigned char* block = f.Data();
    EXPECT_EQ(0, f.SizeSetDontShrink(3));
    EXPECT_EQ(block, f.Data());
    EXPECT_EQ("012", Contents(f));
    EXPECT_EQ(0, f.SizeSetDontShrink(40));
    EXPECT_EQ(48u, f.Capacity());
    f.SetPosition(5);
    f.SetSizeZeroAndShrink(48);  // not above the limit: the block stays
    EXPECT_EQ(0, f.Position());
    EXPECT_NE(nullptr, f.Data());
    f.SetSizeZeroAndShrink(47);
    EXPECT_EQ(nullptr, f.Data());
    EXPECT_EQ(8u, f.SegmentSize());
}

TEST(MemFileSizing, FailedGrowthLeavesTheFileAsItWas) {
    MemFile f = FileHolding("0123456789abcdefghij");  // 20 bytes, capacity 24
    const MemFile longer = FileHolding("0123456789abcdefghijklmnopqrst");
    MemFile empty;
    {
        mvtest::OutOfMemory oom;
        EXPECT_EQ(-10001, f.SizeSet(5000));
        EXPECT_EQ(std::vector<uint32_t>{6144}, oom.Calls());
        EXPECT_EQ(20, f.Size());
        // Every writing operation reports 0 bytes.
        EXPECT_EQ(0, f.Put("x", 30, 1));
        EXPECT_EQ(0, f.Copy(40, 0, 4));
        EXPECT_EQ(0u, f.Put(longer, 0, 0));
        TnResult rc = 0;
        f.SetPosition(20);
        EXPECT_EQ(4, f.Write(1, rc));  // 24 still fits
        EXPECT_EQ(4, f.Write(1, rc));
        EXPECT_EQ(-10001, rc);
        EXPECT_EQ(-10001, empty.SizeSet(3));
        EXPECT_EQ(6u, oom.Calls().size());
    }
    EXPECT_EQ(std::string("0123456789abcdefghij\1\0\0\0", 24), Contents(f));
    EXPECT_EQ(24u, f.Capacity());
    EXPECT_EQ(8u, f.SegmentSize());
    EXPECT_EQ(24, f.Position());
    char out[20];
    EXPECT_EQ(20, f.Get(out, 0, 20));
    EXPECT_EQ(0, std::memcmp(out, "0123456789abcdefghij", 20));
    EXPECT_EQ(nullptr, empty.Data());
}

TEST(MemFileSeek, OriginsAndAvailableBytes) {
    MemFile f = FileHolding("0123456789");
    struct Case {
        int32_t offset;
        uint16_t origin;
        int32_t wanted;
        int32_t at;  // -1: null
        int32_t available;
        int32_t position;
    };
    const Case cases[] = {
        {0, 2, 0, 10, 0, 10}, {0, 2, 1, -1, 0, 10}, {2, 0, 20, 2, 8, 2},  {3, 2, 0, 7, 0, 7},
        {1, 1, 0, 8, 0, 8},   {-3, 1, 0, 5, 0, 5},  {4, 9, 0, 4, 0, 4},  // other origins: start
        {11, 0, 2, -1, 0, 4}, {-1, 0, 0, -1, 0, 4}, {11, 2, 0, -1, 0, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.offset << " from " << c.origin);
        int32_t n = c.wanted;
        EXPECT_EQ(c.at < 0 ? nullptr : f.Data() + c.at, f.Seek(c.offset, c.origin, &n, 0));
        EXPECT_EQ(c.available, n);
        EXPECT_EQ(c.position, f.Position());
    }
}

TEST(MemFileBytes, PutBeyondTheEndAndBadRanges) {
    MemFile f;
    EXPECT_EQ(3, f.Put("xyz", 100, 3));
    EXPECT_EQ(103, f.Size());
    char out[3];
    EXPECT_EQ(0, f.Put("abc", -1, 3));
    EXPECT_EQ(0, f.Get(out, -1, 3));
    EXPECT_EQ(0, f.Put("abc", INT32_MAX - 1, 3));  // the end does not fit 32 bits
    EXPECT_EQ(103, f.Size());
    EXPECT_EQ(0, f.Position());
}

TEST(MemFileBytes, CopyAndDelete) {
    MemFile f = FileHolding("abcde");
    EXPECT_EQ(4, f.Copy(1, 0, 4));
    EXPECT_EQ("aabcd", Contents(f));
    EXPECT_EQ(3, f.Copy(4, 0, 3));  // grows
    EXPECT_EQ("aabcaab", Contents(f));
    EXPECT_EQ(2, f.Copy(0, 5, 3));  // the source range is cut at the end of the file
    EXPECT_EQ("abbcaab", Contents(f));
    EXPECT_EQ(0, f.Copy(0, 9, 1));
    EXPECT_EQ(0, f.Copy(-1, 0, 1));

    f = FileHolding("abcdefgh");
    EXPECT_EQ(0, f.Delete(2, 3));
    EXPECT_EQ("abfgh", Contents(f));

    // The smaller size holds even when the heap cannot shrink the block.
    MemFile big;
    ASSERT_EQ(0, big.SizeSet(5000));
    std::memset(big.Data(), 'q', 5000);
    {
        mvtest::OutOfMemory oom;
        EXPECT_EQ(0, big.Delete(10, 4990));
    }
    EXPECT_EQ(std::string(10, 'q'), Contents(big));
}

TEST(MemFileFiles, PutAndGetBetweenFiles) {
    MemFile source = FileHolding("0123456789");
    source.SetPosition(4);
    MemFile f;
    EXPECT_EQ(10u, f.Put(source, 0, 0));  // the whole source
    EXPECT_EQ("0123456789", Contents(f));
    EXPECT_EQ(4, source.Position());
    EXPECT_EQ(0, f.Position());
    f.SetPosition(8);
    EXPECT_EQ(3u, f.Put(source, 3, 2));
    EXPECT_EQ("01234567234", Contents(f));
    EXPECT_EQ(2u, f.Put(source, 5, 8));  // cut at the source's end
    EXPECT_EQ(5u, f.Put(source, 0, 5));  // length 0 and a source offset: to the end
    EXPECT_EQ("0123456756789", Contents(f));
    EXPECT_EQ(0u, f.Put(source, 0, 10));
    EXPECT_EQ(0u, f.Put(MemFile(), 0, 0));

    MemFile g = FileHolding("ab");
    source.SetPosition(3);
    EXPECT_EQ(4u, source.Get(g, 4, 5));
    EXPECT_EQ(9, g.Size());
    EXPECT_EQ("3456", Contents(g).substr(5));
    EXPECT_EQ(3, source.Position());
    source.SetPosition(0);
    EXPECT_EQ(5u, source.Get(source, 5, 2));  // into itself, overlapping
    EXPECT_EQ("0101234789", Contents(source));
}

TEST(MemFileFiles, CopyAssignmentAndExchange) {
    MemFile source(0, 4);
    ASSERT_EQ(26, source.Put("abcdefghijklmnopqrstuvwxyz", 0, 26));
    MemFile copy(source);
    EXPECT_EQ(Contents(source), Contents(copy));
    EXPECT_EQ(source.SegmentSize(), copy.SegmentSize());
    MemFile assigned(0, 64);
    assigned.SetPosition(3);
    assigned = source;
    EXPECT_EQ(Contents(source), Contents(assigned));
    EXPECT_EQ(0, assigned.Position());
    EXPECT_EQ(64u, assigned.SegmentSize());

    MemFile other = FileHolding("xy", 2);
    other.SetPosition(1);
    unsigned char* block = source.Data();
    source.Exchange(other);
    EXPECT_EQ("xy", Contents(source));
    EXPECT_EQ(1, source.Position());
    EXPECT_EQ(block, other.Data());
    ASSERT_EQ(0, other.SizeSet(0));
    EXPECT_EQ(4u, other.SegmentSize());  // the base shift travelled with the block
}

TEST(MemFileFiles, SegmentsFillAndWrite) {
    MemFile f;
    EXPECT_EQ(nullptr, f.GetSegment(0));
    ASSERT_EQ(0, f.SizeSet(40));
    EXPECT_EQ(f.Data() + 32, f.GetSegment(2));
    f.InitializeWith('a', 0);
    f.InitializeWith('b', 30);
    f.InitializeWith('c', 40);
    f.InitializeWith('c', -1);
    EXPECT_EQ(std::string(30, 'a') + std::string(10, 'b'), Contents(f));

    MemFile w;
    TnResult rc = -1;
    EXPECT_EQ(4, w.Write(0x11223344, rc));
    EXPECT_EQ(0, rc);
    EXPECT_EQ(4, w.Write(-2, rc));
    EXPECT_EQ(8, w.Position());
    EXPECT_EQ(std::string("\x44\x33\x22\x11\xFE\xFF\xFF\xFF", 8), Contents(w));
}

// Random operations against a byte vector, checking contents and block arithmetic.
TEST(MemFileRandom, MatchesAByteVector) {
    std::mt19937 rng(1234);
    MemFile f;
    std::vector<unsigned char> model;
    auto pick = [&](int n) { return static_cast<int32_t>(rng() % static_cast<unsigned>(n)); };
    auto randomBytes = [&](int32_t n) {
        std::vector<unsigned char> b(static_cast<size_t>(n));
        for (auto& x : b) x = static_cast<unsigned char>(rng());
        return b;
    };
    // Writes bytes into the model at offset, growing it as the file grows.
    auto place = [&](const std::vector<unsigned char>& b, int32_t offset) {
        model.resize(std::max(model.size(), offset + b.size()));
        std::copy(b.begin(), b.end(), model.begin() + offset);
    };
    for (int step = 0; step < 4000; ++step) {
        const int32_t size = static_cast<int32_t>(model.size());
        switch (pick(6)) {
            case 0: {  // Put
                const int32_t offset = pick(size + 1);
                const auto b = randomBytes(pick(300));
                ASSERT_EQ(static_cast<int32_t>(b.size()),
                          f.Put(b.data(), offset, static_cast<int32_t>(b.size())));
                place(b, offset);
                break;
            }
            case 1: {  // Delete
                const int32_t offset = pick(size + 1), length = pick(size - offset + 1);
                ASSERT_EQ(0,
                          f.Delete(static_cast<uint32_t>(offset), static_cast<uint32_t>(length)));
                model.erase(model.begin() + offset, model.begin() + offset + length);
                break;
            }
            case 2: {  // Copy inside the file, ranges may overlap
                const int32_t source = pick(size + 1), length = pick(size - source + 1);
                const int32_t destination = pick(size + 1);
                ASSERT_EQ(length, f.Copy(destination, source, length));
                place(std::vector<unsigned char>(model.begin() + source,
                                                 model.begin() + source + length),
                      destination);
                break;
            }
            case 3: {  // SizeSet, mostly small
                const int32_t n = pick(4) == 0 ? pick(3000) : pick(size + 50);
                ASSERT_EQ(0, f.SizeSet(n));
                f.InitializeWith(0, size);  // the grown part is unspecified until written
                model.resize(static_cast<size_t>(n));
                break;
            }
            case 4: {  // Get, also at and beyond the end
                const int32_t offset = pick(size + 5), length = pick(100);
                std::vector<unsigned char> out(static_cast<size_t>(length));
                const int32_t expected = offset > size ? 0 : std::min(length, size - offset);
                ASSERT_EQ(expected, f.Get(out.data(), offset, length));
                ASSERT_TRUE(
                    std::equal(out.begin(), out.begin() + expected, model.begin() + offset));
                break;
            }
            default: {  // append through Put(file)
                const auto b = randomBytes(pick(64));
                MemFile piece;
                piece.Put(b.data(), 0, static_cast<int32_t>(b.size()));
                f.SetPosition(size);
                ASSERT_EQ(b.size(), f.Put(piece, 0, 0));
                place(b, size);
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

// Ranges that do not fit the file's signed 32-bit offsets, or that need memory the heap
// does not give, move nothing and answer 0 bytes; the file keeps its contents.
TEST(MemFileBytes, RangesOutsideTheOffsetsMoveNothing) {
    MemFile f = FileHolding("abcdefgh");
    char out[4] = {'z', 'z', 'z', 'z'};
    EXPECT_EQ(0, f.Put("abc", 0, -1));
    EXPECT_EQ(0, f.Get(out, 0, -1));
    EXPECT_EQ(0, f.Copy(0, -1, 2));
    EXPECT_EQ(0, f.Copy(0, 1, -2));
    EXPECT_EQ(0, f.Copy(INT32_MAX - 1, 0, 2));

    // File to file: the destination offset, this file's position, the memory.
    MemFile g = FileHolding("0123");
    f.SetPosition(0);
    EXPECT_EQ(0u, f.Get(g, 2, UINT32_MAX - 1));
    g.SetPosition(-1);
    EXPECT_EQ(0u, g.Put(f, 2, 0));
    g.SetPosition(INT32_MAX - 1);
    EXPECT_EQ(0u, g.Put(f, 3, 0));
    MemFile empty;
    EXPECT_EQ(0u, f.Get(empty, 0, 0));  // nothing to copy into: no block
    EXPECT_EQ(nullptr, empty.Data());
    {
        mvtest::OutOfMemory oom;
        EXPECT_EQ(0u, f.Get(empty, 4, 0));
        EXPECT_EQ(1u, oom.Calls().size());
        // A copy made without memory is empty (and usable).
        MemFile copy(f);
        EXPECT_EQ(0, copy.Size());
        EXPECT_EQ(nullptr, copy.Data());
    }
    EXPECT_EQ(0, empty.Size());
    EXPECT_EQ("abcdefgh", Contents(f));
    EXPECT_EQ("0123", Contents(g));

    // A copy of an empty file takes its segment size and nothing else.
    MemFile fine(0, 2);
    MemFile fineCopy(fine);
    EXPECT_EQ(0, fineCopy.Size());
    EXPECT_EQ(2u, fineCopy.SegmentSize());
    // Segment sizes beyond 2^30 stop at 2^30.
    MemFile huge(0, INT32_MAX);
    EXPECT_EQ(1u << 30, huge.SegmentSize());
}

TEST(MemFileSeek, WithoutACount) {
    MemFile f = FileHolding("0123456789");
    EXPECT_EQ(f.Data() + 4, f.Seek(4, 0, nullptr, 0));
    EXPECT_EQ(4, f.Position());
    EXPECT_EQ(f.Data() + 6, f.Seek(2, 1, nullptr, 0));
    EXPECT_EQ(nullptr, f.Seek(11, 0, nullptr, 0));  // past the end
    EXPECT_EQ(nullptr, f.Seek(11, 2, nullptr, 0));  // before the start
    EXPECT_EQ(6, f.Position());
    EXPECT_EQ(f.Data() + 10, f.Seek(10, 0, nullptr, 0));  // the end itself, no bytes
    EXPECT_EQ(10, f.Position());
}

// A host handler that continues after the failed assertion lets the broken promise through;
// then the file clamps the range to what it holds (release builds do so without asking).
int g_assertions = 0;
int ContinueAfterAssertion(uint32_t code, void*) {
    if (code == TN_ASSERTION_EXCEPTION) ++g_assertions;
    return TN_EXCEPTION_CONTINUE_EXECUTION;
}

class MemFilePromises : public mvtest::IsolatedTest {
  protected:
    void SetUp() override {
        g_assertions = 0;
        m_cookie = TnAddExceptionHandler(ContinueAfterAssertion, nullptr);
        ASSERT_NE(nullptr, m_cookie);
        ::testing::internal::CaptureStderr();
    }
    void TearDown() override {
        ::testing::internal::GetCapturedStderr();
        TnRemoveExceptionHandler(m_cookie);
    }
    void* m_cookie = nullptr;
};

TEST_F(MemFilePromises, BrokenPromisesAreClampedWhenTheHostContinues) {
    const int perPromise = mvb::kAssertCallerGuarantees ? 1 : 0;
    MemFile f = FileHolding("abcdefgh");
    MemFile g;
    f.SetPosition(6);
    EXPECT_EQ(2u, f.Get(g, 3, 0));  // only what the file holds past its position
    EXPECT_EQ("gh", Contents(g));
    EXPECT_EQ(1 * perPromise, g_assertions);
    f.SetPosition(9);
    EXPECT_EQ(0u, f.Get(g, 3, 0));
    f.SetPosition(-3);
    EXPECT_EQ(0u, f.Get(g, 3, 0));
    EXPECT_EQ("gh", Contents(g));
    EXPECT_EQ(3 * perPromise, g_assertions);

    EXPECT_EQ(0, f.Delete(6, 3));  // cut at the end
    EXPECT_EQ("abcdef", Contents(f));
    EXPECT_EQ(0, f.Delete(6, 1));  // nothing there
    EXPECT_EQ(0, f.Delete(7, 1));
    EXPECT_EQ("abcdef", Contents(f));
    EXPECT_EQ(6 * perPromise, g_assertions);

    // A word written with the position past the end goes to the end.
    MemFile w = FileHolding("abcdefgh");
    TnResult rc = -1;
    w.SetPosition(20);
    EXPECT_EQ(4, w.Write(0x64636261, rc));
    EXPECT_EQ(0, rc);
    EXPECT_EQ("abcdefghabcd", Contents(w));
    EXPECT_EQ(12, w.Position());
    EXPECT_EQ(7 * perPromise, g_assertions);
}

}  // namespace
