// The bit string against a vector<bool> (single bits, areas claimed and released,
// searches, the count of set bits, the storage byte by byte), and the bit stack against
// a vector of values, in the inline form and on the heap, across resizes and copies.
#include <algorithm>
#include <vector>

#include "containers.h"
#include "fuzz_support.h"
#include "lists.h"

namespace {

using mvfuzz::Pick;

void BitString(FuzzedDataProvider& in) {
    const unsigned length = Pick(in, 700u);
    _TnBitString s(length);
    std::vector<bool> m(length);
    for (int steps = Pick(in, 100); steps > 0 && in.remaining_bytes() > 0; --steps) {
        const unsigned i = Pick(in, length + 3);
        const bool inside = i < length;
        int value = -7;
        switch (Pick(in, 8)) {
            case 0:
                FUZZ_CHECK(s.Set(i) == (inside ? 0 : ERR_TN_END_OF_SET));
                if (inside) m[i] = true;
                break;
            case 1:
                FUZZ_CHECK(s.Reset(i) == (inside ? 0 : ERR_TN_END_OF_SET));
                if (inside) m[i] = false;
                break;
            case 2:
                FUZZ_CHECK(s.Flip(i, value) == (inside ? 0 : ERR_TN_END_OF_SET));
                if (inside) {
                    FUZZ_CHECK(value == int(m[i]));
                    m[i] = !m[i];
                }
                break;
            case 3:
            case 4: {  // claim or release an area: all or nothing
                const bool set = in.ConsumeBool();
                const unsigned count = Pick(in, length - std::min(i, length) + 3);
                unsigned position = 12345;
                const int rc = set ? s.TestAndSetArea(i, count, position)
                                   : s.TestAndResetArea(i, count, position);
                if (uint64_t{i} + count > length) {
                    FUZZ_CHECK(rc == ERR_TN_END_OF_SET);
                    break;
                }
                const auto first = std::find(m.begin() + i, m.begin() + i + count, set);
                if (first != m.begin() + i + count) {
                    FUZZ_CHECK(rc == ERR_TN_FAILED && position == unsigned(first - m.begin()) - i);
                } else {
                    FUZZ_CHECK(rc == 0);
                    std::fill(m.begin() + i, m.begin() + i + count, set);
                }
                break;
            }
            case 5: {
                const int want = in.ConsumeBool();
                unsigned position = 12345;
                const int rc = s.Find(i, want, position);
                const auto hit = inside ? std::find(m.begin() + i, m.end(), bool(want)) : m.end();
                FUZZ_CHECK(position == unsigned(hit - m.begin()));
                FUZZ_CHECK(rc == (hit != m.end() ? 0 : ERR_TN_END_OF_SET));
                break;
            }
            case 6:
                if (in.ConsumeBool()) {
                    FUZZ_CHECK(s.SetAll() == 0);
                    m.assign(length, true);
                } else {
                    FUZZ_CHECK(s.ResetAll() == 0);
                    m.assign(length, false);
                }
                break;
            default:
                FUZZ_CHECK(s.Get(i, value) == (inside ? 0 : ERR_TN_END_OF_SET));
                if (inside) FUZZ_CHECK(value == (m[i] ? 1 << (i % 8) : 0));
                break;
        }
        FUZZ_CHECK(s.Length() == length);
        FUZZ_CHECK(s.GetNum() == size_t(std::count(m.begin(), m.end(), true)));
    }
    for (unsigned b = 0; b < length; ++b) FUZZ_CHECK(((s.bits[b / 8] >> (b % 8)) & 1) == m[b]);
}

void BitStack(FuzzedDataProvider& in) {
    const uint8_t nbits = uint8_t(1 + Pick(in, 8));
    const uint8_t mask = uint8_t((1u << nbits) - 1);
    uint32_t capacity = in.ConsumeBool() ? 0 : Pick(in, 40u);
    TnBitsStack stack(capacity);
    std::vector<uint8_t> m;
    auto room = [&] { return capacity == 0 ? 26u / nbits : capacity; };
    for (int steps = Pick(in, 100); steps > 0 && in.remaining_bytes() > 0; --steps) {
        switch (Pick(in, 5)) {
            case 0:
            case 1: {
                const uint8_t v = in.ConsumeIntegral<uint8_t>() & mask;
                const int rc = stack.Push(v, nbits);
                FUZZ_CHECK(rc == (m.size() < room() ? 0 : ERR_TN_FAILED));
                if (rc == 0) m.push_back(v);
                break;
            }
            case 2: {
                uint8_t v = 0xEE, top = 0xEE;
                stack.GetTop(&top, nbits);
                const int rc = stack.Pop(&v, nbits);
                FUZZ_CHECK(rc == (m.empty() ? ERR_TN_FAILED : 0));
                FUZZ_CHECK(m.empty() ? v == 0xEE && top == 0xEE : v == m.back() && top == v);
                if (!m.empty()) m.pop_back();
                break;
            }
            case 3: {  // a capacity too small for the items leaves the stack as it was
                const uint32_t to = in.ConsumeBool() ? 0 : Pick(in, 40u);
                const uint32_t fits = to == 0 ? 26u / nbits : to;
                const int rc = stack.Resize(to, nbits);
                FUZZ_CHECK(rc == (m.size() <= fits ? 0 : ERR_TN_FAILED));
                if (rc == 0) capacity = to;
                break;
            }
            default: {
                TnBitsStack copy(stack);
                TnBitsStack assigned(Pick(in, 3u));
                assigned = copy;
                stack = assigned;
                break;
            }
        }
        FUZZ_CHECK(stack.GetNum() == m.size());
    }
    // Emptied from the top, in reverse order of pushing.
    for (size_t n = m.size(); n > 0; --n) {
        uint8_t v = 0;
        FUZZ_CHECK(stack.Pop(&v, nbits) == 0 && v == m[n - 1]);
    }
    FUZZ_CHECK(stack.GetNum() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    while (in.remaining_bytes() > 0) {
        if (in.ConsumeBool())
            BitString(in);
        else
            BitStack(in);
    }
    return 0;
}
