// Blocks and lock files that other accounts may have made or changed: the collector,
// the tool's decoder and the writer mutex must treat them as absent or refuse them,
// never read or write out of bounds.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "../../tools/mvbasics/perf_decode.h"
#include "prf_fixture.h"
#include "statistics/linux/shm_files.h"
#include "support/scratch_dir.h"

namespace {

using prftest::LocalBlock;

// A collection of everything into `out`.
prftest::Outcome CollectInto(std::vector<uint8_t>* out) {
    return prftest::Collect(u"Global", *out, static_cast<uint32_t>(out->size()));
}

// Every 32-bit word of the headers and the counter block's length word, rewritten to
// values an attacker would pick: the collection is refused unless the word is one the
// collector sets itself (TotalByteLength, NumInstances); values are collected as they
// are. The tool's decoder, given the raw block as a collection, never reads outside it.
TEST(HostileBlock, EveryRewrittenHeaderWordMakesTheBlockAbsent) {
    LocalBlock block;
    std::vector<uint8_t>& bytes = block.Bytes();
    const std::vector<uint8_t> original = bytes;
    const uint32_t kValues[] = {0, 1, 0x3F, 0x7FFFFFFF, 0xFFFFFFFF, 1128, 4096};
    const size_t kHeaders = 64 + 22 * 40;
    std::vector<uint8_t> out(2000);
    for (size_t offset = 0; offset < kHeaders + 8; offset += 4) {
        for (uint32_t value : kValues) {
            uint32_t old;
            std::memcpy(&old, &original[offset], 4);
            if (value == old) continue;
            std::memcpy(&bytes[offset], &value, 4);
            const bool ownWord = offset == 0 || offset == 40 || offset == kHeaders + 4;
            EXPECT_EQ(CollectInto(&out), ownWord ? prftest::kWholeBlock : prftest::kNothing)
                << offset << " " << value;
            std::vector<mvtool::perfdecode::RawCounter> counters;
            const std::vector<uint8_t> raw(bytes);  // exactly sized: ASan sees overreads
            mvtool::perfdecode::Decode(raw.data(), raw.size(), 1, &counters);
            bytes = original;
        }
    }
    // Values are data, whatever they hold.
    std::memset(&bytes[kHeaders + 8], 0xFF, 22 * 8);
    EXPECT_EQ(CollectInto(&out), prftest::kWholeBlock);
    std::vector<mvtool::perfdecode::RawCounter> counters;
    ASSERT_TRUE(mvtool::perfdecode::Decode(out.data(), 1128, 1, &counters));
    ASSERT_EQ(counters.size(), 22u);
    EXPECT_EQ(counters[7].value, 0xFFFFFFFFu);
    EXPECT_EQ(counters[7].nameTitleIndex, 1000u + 2 * 8);
}

// A block whose headers are still being written (the completion mark, the first
// object's HeaderLength, is stored last) is skipped; so is one of zeros.
TEST(HostileBlock, AnIncompleteBlockIsSkipped) {
    LocalBlock block;
    std::vector<uint8_t> out(2000);
    std::memset(&block.Bytes()[8], 0, 4);
    EXPECT_EQ(CollectInto(&out), prftest::kNothing);
    std::fill(block.Bytes().begin(), block.Bytes().end(), 0);
    EXPECT_EQ(CollectInto(&out), prftest::kNothing);
    // Once the headers are all written, mark included, the block is collected.
    PrfData::sm_pPrfData->WriteHeaders(block.Bytes().data());
    EXPECT_EQ(prftest::At<uint32_t>(block.Bytes().data(), 8), 64u);
    EXPECT_EQ(CollectInto(&out), prftest::kWholeBlock);
}

// The decoder on arbitrary collections: random lengths and offsets around the real
// ones never make it read outside the bytes it was given.
TEST(HostileBlock, TheToolsDecoderStaysInsideItsCollection) {
    LocalBlock block;
    std::vector<uint8_t> good(1128);
    ASSERT_EQ(CollectInto(&good), prftest::kWholeBlock);
    std::mt19937 random(15);
    size_t accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = good;
        for (int k = 0; k < 3; ++k) {
            const size_t word = random() % (bytes.size() / 4);
            const uint32_t value = random() % 3 == 0 ? random() : random() % 2048;
            std::memcpy(&bytes[4 * word], &value, 4);
        }
        bytes.resize(random() % 2 ? bytes.size() : random() % bytes.size());
        std::vector<mvtool::perfdecode::RawCounter> counters;
        accepted +=
            mvtool::perfdecode::Decode(bytes.data(), bytes.size(), 1 + random() % 2, &counters);
    }
    EXPECT_GT(accepted, 0u);  // changed values and spare words still decode
}

class WriterLock : public mvtest::IsolatedTest {
  protected:
    // Whether the mutex can be had now; its handle is closed again.
    static int32_t Take(bool* existed) {
        mvos::WriterMutex* mutex = nullptr;
        const int32_t status = mvos::CreateWriterMutex("Lock_mt", &mutex, existed);
        mvos::CloseWriterMutex(mutex);
        return status;
    }
    std::string LockPath() const {
        return m_dir.Path() + "/" + std::getenv("MERIVANE_IPC_NAMESPACE") + "Lock_mt.lock";
    }
};

// The lock file is only ever one of this account's regular files in a folder only
// this account may write: a link, a file of another account or a folder at its place
// is refused, and a folder others may write is not used at all.
TEST_F(WriterLock, OnlyAPrivateRegularFileServesAsTheLock) {
    mvtest::ScopedEnv xdg("XDG_RUNTIME_DIR", m_dir.Path());
    ASSERT_EQ(chmod(m_dir.Path().c_str(), 0700), 0);
    bool existed = true;
    ASSERT_EQ(Take(&existed), mvos::kOk);
    EXPECT_FALSE(existed);
    struct stat st;
    ASSERT_EQ(lstat(LockPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    mvos::WriterMutex* held = nullptr;
    ASSERT_EQ(mvos::CreateWriterMutex("Lock_mt", &held, &existed), mvos::kOk);
    EXPECT_EQ(Take(&existed), mvos::kOk);
    EXPECT_TRUE(existed);
    mvos::CloseWriterMutex(held);

    const std::string target = m_dir.File("elsewhere");
    ASSERT_EQ(unlink(LockPath().c_str()), 0);
    ASSERT_EQ(symlink(target.c_str(), LockPath().c_str()), 0);
    EXPECT_EQ(Take(&existed), mvos::kAccessDenied);
    EXPECT_EQ(access(target.c_str(), F_OK), -1);
    ASSERT_EQ(unlink(LockPath().c_str()), 0);
    prftest::PlantBlock(LockPath(), 0600, 65534, 0, 0);
    EXPECT_EQ(Take(&existed), mvos::kAccessDenied);
    ASSERT_EQ(unlink(LockPath().c_str()), 0);
    ASSERT_EQ(mkdir(LockPath().c_str(), 0700), 0);
    EXPECT_NE(Take(&existed), mvos::kOk);
    ASSERT_EQ(rmdir(LockPath().c_str()), 0);

    // A folder that group or others may write is passed over for the private one.
    ASSERT_EQ(chmod(m_dir.Path().c_str(), 0777), 0);
    EXPECT_EQ(Take(&existed), mvos::kOk);
    EXPECT_EQ(access(LockPath().c_str(), F_OK), -1);
    EXPECT_EQ(mvos::RemoveWriterMutex("Lock_mt"), mvos::kOk);
}

}  // namespace
