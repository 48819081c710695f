// The record queue, compacting or not, against a byte vector with a read offset: puts
// and gets of any length, deletion of what was read, copies and assignment; and the raw
// buffer in each ownership behaviour, copied and grown, holding exactly its bytes (ASan
// sees any read or write past them, and any block freed twice or never).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "datablocks.h"
#include "fuzz_support.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Model {
    Bytes file;         // what the queue's memory file holds
    uint32_t read = 0;  // the read offset
};

void Same(const MemQueue& q, const Model& m) {
    FUZZ_CHECK(q.Size() == int32_t(m.file.size()) && q.ReadOffset() == m.read);
    FUZZ_CHECK(m.file.empty() || std::memcmp(q.Data(), m.file.data(), m.file.size()) == 0);
}

void Queue(FuzzedDataProvider& in) {
    using mvfuzz::Pick;
    const uint16_t compacting = in.ConsumeBool();
    MemQueue q(compacting);
    Model m;
    for (int steps = Pick(in, 200); steps > 0 && in.remaining_bytes() > 0; --steps) {
        const uint32_t unread = uint32_t(m.file.size()) - m.read;
        switch (Pick(in, 5)) {
            case 0: {
                const Bytes b = in.ConsumeBytes<unsigned char>(Pick(in, 200));
                FUZZ_CHECK(q.Put(b.empty() ? nullptr : b.data(), uint32_t(b.size())) == 0);
                m.file.insert(m.file.end(), b.begin(), b.end());
                break;
            }
            case 1: {
                const uint32_t length = Pick(in, unread + 3);
                Bytes out(length + 1, 0xEE);
                const TnResult rc = q.Get(out.data(), length);
                if (unread == 0) {
                    FUZZ_CHECK(rc == ERR_TN_QUEUE_EMPTY);
                } else if (length > unread) {
                    FUZZ_CHECK(rc == ERR_TN_QUEUE_TOO_SHORT);
                } else {
                    FUZZ_CHECK(rc == 0);
                    FUZZ_CHECK(
                        std::equal(out.begin(), out.begin() + length, m.file.begin() + m.read));
                    FUZZ_CHECK(out[length] == 0xEE);
                    if (compacting) {
                        m.file.erase(m.file.begin(), m.file.begin() + m.read + length);
                        m.read = 0;
                    } else {
                        m.read += length;
                    }
                }
                break;
            }
            case 2: {  // discards what was read, down to offset n
                const uint32_t n = Pick(in, m.read + 1);
                FUZZ_CHECK(q.Delete(n) == 0);
                m.file.erase(m.file.begin() + n, m.file.begin() + m.read);
                m.read = n;
                break;
            }
            case 3: {
                FUZZ_CHECK(q.Put(nullptr, 1 + Pick(in, 5)) == ERR_TN_QUEUE_SHORT_WRITE);
                FUZZ_CHECK(q.Put(nullptr, 0) == 0);
                break;
            }
            default: {
                MemQueue copy(q);
                Same(copy, m);
                MemQueue assigned(!compacting);
                assigned = copy;
                Same(assigned, m);
                q = assigned;
                break;
            }
        }
        Same(q, m);
    }
}

void RawBuffers(FuzzedDataProvider& in) {
    using mvfuzz::Pick;
    const Bytes bytes = in.ConsumeBytes<unsigned char>(Pick(in, 100));
    const auto behaviour = TnRawBufferBehavior(Pick(in, 4));
    void* given = nullptr;
    if (!bytes.empty() && in.ConsumeBool()) {
        given = std::malloc(bytes.size());
        std::memcpy(given, bytes.data(), bytes.size());
    }
    Bytes stack(bytes);
    void* source = given ? given : stack.empty() ? nullptr : stack.data();
    // Only a malloc block may be adopted; the buffer then frees it.
    if (behaviour == TnRawBufferAdopt && !given) return;
    const bool adopted = behaviour == TnRawBufferAdopt;
    {
        TnRawBuffer buffer(source, uint32_t(bytes.size()), behaviour);
        const uint32_t length = source ? uint32_t(bytes.size()) : 0;
        FUZZ_CHECK(buffer.GetBufLen() == length && buffer.GetBehavior() == behaviour);
        FUZZ_CHECK((buffer.GetBuf() == nullptr) == (length == 0));
        if (length) FUZZ_CHECK(std::memcmp(buffer.GetBuf(), bytes.data(), length) == 0);
        if (length != 0) FUZZ_CHECK((buffer.GetBuf() == source) == (behaviour != TnRawBufferCopy));
        TnRawBuffer copy(buffer);
        FUZZ_CHECK(copy.GetBufLen() == length);
        if (length) FUZZ_CHECK(std::memcmp(copy.GetBuf(), bytes.data(), length) == 0);
        const uint32_t want = Pick(in, 2 * length + 4);
        FUZZ_CHECK(copy.EnsureCapacity(want) == 0);
        if (want > length) {
            FUZZ_CHECK(copy.GetBufLen() == want && copy.GetBehavior() == TnRawBufferCopy);
            std::memset(copy.GetBuf(), 0x5A, want);
        } else {
            FUZZ_CHECK(copy.GetBufLen() == length);
        }
    }
    if (given && !adopted) std::free(given);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    while (in.remaining_bytes() > 0) {
        if (in.ConsumeBool())
            Queue(in);
        else
            RawBuffers(in);
    }
    return 0;
}
