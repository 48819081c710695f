// Scalar store and load on arbitrary values, modes and counts, from and to unaligned,
// exactly sized buffers: the stored bytes are each value's bytes in the order the mode
// selects, loading undoes storing, the sizes are count x the stored size; and the
// character fields and the big-endian float forms against a plain reference.
#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "scalar.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Store = uint32_t (*)(void*, const void*, uint8_t, uint32_t);
using SizeGet = uint32_t (*)(const void*, uint8_t, uint8_t, uint32_t);

// Each value's bytes reversed when the mode asks for the big-endian form (the host is
// little-endian).
Bytes Reference(const Bytes& values, size_t n, bool bigEndian) {
    Bytes out(values);
    if (bigEndian)
        for (size_t i = 0; i + n <= out.size(); i += n)
            std::reverse(out.begin() + long(i), out.begin() + long(i + n));
    return out;
}

// One member: store from an unaligned copy into an exactly sized block, then back.
void StoreAndBack(Store store, Store load, size_t n, uint8_t modeBits, const Bytes& values,
                  uint8_t mode) {
    const uint32_t count = uint32_t(values.size() / n);
    const Bytes used(values.begin(), values.begin() + long(count * n));
    Bytes source(used.size() + 1);
    if (!used.empty()) std::memcpy(source.data() + 1, used.data(), used.size());
    auto* stored = new unsigned char[used.size() + 1];
    FUZZ_CHECK(store(stored + 1, source.data() + 1, mode, count) == count * n);
    const Bytes want = Reference(used, n, n > 1 && (mode & modeBits) == 2);
    FUZZ_CHECK(used.empty() || std::memcmp(stored + 1, want.data(), used.size()) == 0);
    Bytes back(used.size());
    FUZZ_CHECK(load(back.data(), stored + 1, mode, count) == count * n);
    FUZZ_CHECK(back == used);
    delete[] stored;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const uint8_t mode = in.ConsumeIntegral<uint8_t>();
    const Bytes values = in.ConsumeBytes<unsigned char>(mvfuzz::Pick<size_t>(in, 200));
    const struct {
        Store store, load;
        size_t n;
        uint8_t bits;
        SizeGet sizeGet;
    } members[] = {
        {CharStore, CharStore, 1, 0x0F, CharSizeGet},
        {ShortStore, ShortStore, 2, 0x0F, ShortSizeGet},
        {LongStore, LongStore, 4, 0x0F, LongSizeGet},
        {O_8BStore, O_8BStore, 8, 0x0F, O_8BSizeGet},
        {IntStore, IntLoad, 4, 0x0F, IntSizeGet},
        {UnsignedStore, UnsignedLoad, 4, 0x0F, nullptr},
        {FloatStore, FloatStore, 4, 0x7F, FloatSizeGet},
        {DoubleStore, DoubleStore, 8, 0x7F, DoubleSizeGet},
    };
    for (const auto& m : members) {
        StoreAndBack(m.store, m.load, m.n, m.bits, values, mode);
        const uint32_t count = in.ConsumeIntegral<uint16_t>();
        if (m.sizeGet) FUZZ_CHECK(m.sizeGet(nullptr, mode, uint8_t(~mode), count) == count * m.n);
    }
    // The single-value members.
    if (values.size() >= 8) {
        unsigned char out[8];
        const bool big = (mode & 0x0F) == 2;
        FUZZ_CHECK(ShortStoreOne(out, values.data(), mode) == 2 &&
                   Bytes(out, out + 2) ==
                       Reference(Bytes(values.begin(), values.begin() + 2), 2, big));
        FUZZ_CHECK(LongStoreOne(out, values.data(), mode) == 4 &&
                   Bytes(out, out + 4) ==
                       Reference(Bytes(values.begin(), values.begin() + 4), 4, big));
        FUZZ_CHECK(O_8BStoreOne(out, values.data(), mode) == 8 &&
                   Bytes(out, out + 8) ==
                       Reference(Bytes(values.begin(), values.begin() + 8), 8, big));
        // The float forms are big-endian whatever the mode.
        float f;
        double d;
        std::memcpy(&f, values.data(), 4);
        std::memcpy(&d, values.data(), 8);
        stfloat(f, out);
        FUZZ_CHECK(Bytes(out, out + 4) ==
                   Reference(Bytes(values.begin(), values.begin() + 4), 4, true));
        const float f2 = ldfloat(out);
        FUZZ_CHECK(std::memcmp(&f2, &f, 4) == 0);
        stdbl(d, out);
        FUZZ_CHECK(Bytes(out, out + 8) ==
                   Reference(Bytes(values.begin(), values.begin() + 8), 8, true));
        const double d2 = lddbl(out);
        FUZZ_CHECK(std::memcmp(&d2, &d, 8) == 0);
    }
    // Character fields: blank-padded, no terminator, in exactly sized blocks.
    const std::string text = in.ConsumeRandomLengthString(80);
    const uint32_t length = mvfuzz::Pick<uint32_t>(in, 60);
    auto* field = new char[length + 1];
    field[length] = '#';
    stchar(text.c_str(), field, length);
    const std::string cut = std::string(text.c_str()).substr(0, length);
    FUZZ_CHECK(std::string(field, length) == cut + std::string(length - cut.size(), ' '));
    FUZZ_CHECK(field[length] == '#');
    auto* out = new char[length + 1];
    std::memset(out, '#', length + 1);
    ldchar(field, length, out);
    const size_t blank = std::min<size_t>(std::string(field, length).find(' '), length);
    FUZZ_CHECK(std::string(out, blank) == cut.substr(0, blank));
    FUZZ_CHECK(blank < length ? out[blank] == '\0' && (blank + 1 > length || out[blank + 1] == '#')
                              : out[length] == '#');
    delete[] out;
    delete[] field;
    return 0;
}
