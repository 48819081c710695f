// Operation sequences on a memory file against a byte vector: writes inside and beyond
// the end, reads at and past the end, moves of overlapping ranges, deletion, resizing
// (growing, shrinking, within the capacity), seeks from every origin, copies between
// files, checksums, and copying, assignment and exchange of whole files. After each
// step the bytes, the size and the block arithmetic agree with the model.
#include <algorithm>
#include <cstring>
#include <vector>

#include "datablocks.h"
#include "fuzz_support.h"
#include "memfile.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Place(Bytes& model, const Bytes& b, size_t offset) {
    model.resize(std::max(model.size(), offset + b.size()));
    std::copy(b.begin(), b.end(), model.begin() + long(offset));
}

void Same(const MemFile& f, const Bytes& model) {
    FUZZ_CHECK(f.Size() == int32_t(model.size()));
    FUZZ_CHECK(uint32_t(f.Size()) <= f.Capacity());
    FUZZ_CHECK((f.Capacity() == 0) == (f.Data() == nullptr));
    FUZZ_CHECK(f.Capacity() <= 3 * f.SegmentSize() || f.SegmentSize() < 8);
    FUZZ_CHECK(model.empty() || std::memcmp(f.Data(), model.data(), model.size()) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    using mvfuzz::Pick;
    MemFile files[2] = {MemFile(Pick(in, 64), 1 << Pick(in, 8)), MemFile(0, 1 << Pick(in, 8))};
    Bytes models[2];
    for (int i = 0; i < 2; ++i) {
        models[i].assign(size_t(files[i].Size()), 0);
        if (files[i].Size() > 0) files[i].InitializeWith(0, 0);
    }
    while (in.remaining_bytes() > 0) {
        const int which = in.ConsumeBool();
        MemFile& f = files[which];
        Bytes& model = models[which];
        const int32_t n = int32_t(model.size());
        auto bytes = [&](int32_t most) {
            Bytes b(Pick<size_t>(in, size_t(most) + 1));
            for (auto& x : b) x = in.ConsumeIntegral<uint8_t>();
            return b;
        };
        switch (Pick(in, 14)) {
            case 0: {  // Put, also beyond the end (the gap is left unspecified, so zeroed)
                const int32_t offset = Pick(in, n + 40);
                const Bytes b = bytes(300);
                if (offset > n) {
                    FUZZ_CHECK(f.SizeSet(offset) == 0);
                    f.InitializeWith(0, n);
                    model.resize(size_t(offset), 0);
                }
                FUZZ_CHECK(f.Put(b.data(), offset, int32_t(b.size())) == int32_t(b.size()));
                Place(model, b, size_t(offset));
                break;
            }
            case 1: {  // refused ranges change nothing
                unsigned char x = 0;
                FUZZ_CHECK(f.Put(&x, -1 - Pick(in, 5), 1) == 0);
                FUZZ_CHECK(f.Put(&x, INT32_MAX - Pick(in, 2), 2) == 0);
                FUZZ_CHECK(f.Get(&x, -1, 1) == 0);
                break;
            }
            case 2: {  // Get, at and past the end
                const int32_t offset = Pick(in, n + 5), length = Pick(in, 300);
                Bytes out(static_cast<size_t>(length));
                const int32_t want = offset > n ? 0 : std::min(length, n - offset);
                FUZZ_CHECK(f.Get(out.data(), offset, length) == want);
                FUZZ_CHECK(want == 0 ||
                           std::equal(out.begin(), out.begin() + want, model.begin() + offset));
                break;
            }
            case 3: {  // Delete
                const int32_t offset = Pick(in, n + 1), length = Pick(in, n - offset + 1);
                FUZZ_CHECK(f.Delete(uint32_t(offset), uint32_t(length)) == 0);
                model.erase(model.begin() + offset, model.begin() + offset + length);
                break;
            }
            case 4: {  // Copy inside the file; the source range is cut at the end
                const int32_t source = Pick(in, n + 2), length = Pick(in, n + 2);
                const int32_t destination = Pick(in, n + 1);
                // The file grows for the destination first; the grown part is unspecified
                // until written, so it is grown and zeroed here beforehand.
                if (destination + length > n) {
                    FUZZ_CHECK(f.SizeSet(destination + length) == 0);
                    f.InitializeWith(0, n);
                    model.resize(size_t(destination + length), 0);
                }
                const int32_t end = int32_t(model.size());
                const int32_t moved = source >= end ? 0 : std::min(length, end - source);
                FUZZ_CHECK(f.Copy(destination, source, length) ==
                           (source == destination ? length : moved));
                const long from = std::min(source, end);
                Place(model, Bytes(model.begin() + from, model.begin() + from + moved),
                      size_t(destination));
                break;
            }
            case 5: {  // SizeSet / SizeSetDontShrink, the grown part zeroed
                const int32_t to = Pick(in, 3) == 0 ? Pick(in, 5000) : Pick(in, n + 50);
                FUZZ_CHECK((in.ConsumeBool() ? f.SizeSet(to) : f.SizeSetDontShrink(to)) == 0);
                f.InitializeWith(0, n);
                model.resize(size_t(to), 0);
                break;
            }
            case 6: {  // SetLogicalSize within the capacity only
                const int32_t to = Pick<int32_t>(in, int32_t(f.Capacity()) + 10);
                const TnResult rc = f.SetLogicalSize(to);
                if (uint32_t(to) > f.Capacity()) {
                    FUZZ_CHECK(rc == ERR_TN_BEYOND_CAPACITY);
                } else {
                    FUZZ_CHECK(rc == 0);
                    f.InitializeWith(0, n);
                    model.resize(size_t(to), 0);
                }
                break;
            }
            case 7: {  // Seek from each origin
                const uint16_t origin = Pick<uint16_t>(in, 4);
                const int32_t offset = int32_t(Pick(in, 2 * n + 10)) - n - 5;
                int32_t count = int32_t(Pick(in, 40)) - 5;
                const int32_t wanted = count > 0 ? count : 0, before = f.Position();
                const int64_t target = origin == 1   ? int64_t{before} + offset
                                       : origin == 2 ? int64_t{n} - offset
                                                     : offset;
                unsigned char* at = f.Seek(offset, origin, &count);
                if (target < 0 || target > n || (target == n && wanted > 0)) {
                    FUZZ_CHECK(at == nullptr && count == 0 && f.Position() == before);
                } else {
                    FUZZ_CHECK(at == f.Data() + target && f.Position() == target);
                    FUZZ_CHECK(count == std::min<int64_t>(wanted, n - target));
                }
                break;
            }
            case 8: {  // Put from the other file at this one's position
                MemFile& g = files[!which];
                const Bytes& other = models[!which];
                const int32_t from = Pick<int32_t>(in, int32_t(other.size()) + 2);
                const uint32_t length = Pick<uint32_t>(in, uint32_t(other.size()) + 2);
                const int32_t at = Pick(in, n + 1);
                f.SetPosition(at);
                size_t want = from >= int32_t(other.size()) ? 0 : other.size() - size_t(from);
                if (length != 0) want = std::min<size_t>(want, length);
                const Bytes piece(
                    other.begin() + std::min<long>(from, long(other.size())),
                    other.begin() + std::min<long>(from, long(other.size())) + long(want));
                FUZZ_CHECK(f.Put(g, length, uint32_t(from)) == want);
                FUZZ_CHECK(f.Position() == at);
                Place(model, piece, size_t(at));
                break;
            }
            case 9: {  // Get into the other file from this one's position
                MemFile& g = files[!which];
                Bytes& other = models[!which];
                const int32_t at = Pick(in, n + 1);
                const uint32_t length = Pick<uint32_t>(in, uint32_t(n - at) + 1);
                const uint32_t to = Pick<uint32_t>(in, uint32_t(other.size()) + 1);
                f.SetPosition(at);
                FUZZ_CHECK(f.Get(g, length, to) == length);
                Place(other, Bytes(model.begin() + at, model.begin() + at + long(length)), to);
                break;
            }
            case 10: {  // Write appends at the end
                f.SetPosition(n);
                TnResult rc = -1;
                const int32_t value = in.ConsumeIntegral<int32_t>();
                FUZZ_CHECK(f.Write(value, rc) == 4 && rc == 0 && f.Position() == n + 4);
                for (int i = 0; i < 4; ++i) model.push_back(uint8_t(uint32_t(value) >> (8 * i)));
                break;
            }
            case 11: {  // checksum of a range, and its continuation
                const uint32_t offset = Pick<uint32_t>(in, uint32_t(n) + 1);
                const uint32_t length =
                    in.ConsumeBool() ? 0xFFFFFFFFu : Pick<uint32_t>(in, uint32_t(n) - offset + 1);
                const uint32_t seed = in.ConsumeIntegral<uint32_t>();
                const uint32_t* previous = in.ConsumeBool() ? &seed : nullptr;
                const uint32_t span = length == 0xFFFFFFFFu ? uint32_t(n) - offset : length;
                FUZZ_CHECK(f.CheckSum(offset, length, previous) ==
                           CalcCheckSum(model.data() + offset, span, previous));
                break;
            }
            case 12: {  // fill to the end
                const int32_t from = Pick(in, n + 1);
                const unsigned char value = in.ConsumeIntegral<uint8_t>();
                f.InitializeWith(value, from);
                std::fill(model.begin() + from, model.end(), value);
                break;
            }
            default: {  // whole files: exchange, copy, assignment
                const int how = Pick(in, 3);
                if (how == 0) {
                    files[0].Exchange(files[1]);
                    std::swap(models[0], models[1]);
                } else if (how == 1) {
                    MemFile copy(files[!which]);
                    Same(copy, models[!which]);
                    f.Exchange(copy);
                    model = models[!which];
                } else {
                    f = files[!which];
                    model = models[!which];
                    FUZZ_CHECK(f.Position() == 0);
                }
                break;
            }
        }
        Same(files[0], models[0]);
        Same(files[1], models[1]);
    }
    return 0;
}
