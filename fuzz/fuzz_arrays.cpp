// Operation sequences on the contiguous array, the pointer array and the sorted list
// against a vector of elements: positional insertion, deletion and update, prepared
// slots, capacities, copies, and the ordered operations with their exact results -- the
// sort leaves equal elements where the partition scheme (pivot at the low end) leaves
// them, and a search answers with the first equal element the bisection meets, or the
// insertion point, on any contents, sorted or not.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "arrays.h"
#include "fuzz_support.h"

namespace {

using Elem = std::vector<unsigned char>;

size_t g_keyBytes = 1;  // the leading bytes of an element that order it

int32_t ByKey(const TnVArray*, const void* a, const void* b) {
    return std::memcmp(a, b, g_keyBytes);
}
int Order(const Elem& a, const Elem& b) {
    return std::memcmp(a.data(), b.data(), g_keyBytes);
}

// The partition scheme, written plainly with a list of ranges.
void ReferenceSort(std::vector<Elem>& a) {
    std::vector<std::pair<long, long>> todo{{0, long(a.size()) - 1}};
    while (!todo.empty()) {
        const long lo = todo.back().first, hi = todo.back().second;
        todo.pop_back();
        if (hi <= lo) continue;
        long i = lo, j = hi;
        while (i < j) {
            while (Order(a[size_t(i)], a[size_t(lo)]) <= 0 && i < hi) ++i;
            while (Order(a[size_t(j)], a[size_t(lo)]) > 0 && j > lo) --j;
            if (i < j) std::swap(a[size_t(i)], a[size_t(j)]);
        }
        std::swap(a[size_t(lo)], a[size_t(j)]);
        todo.push_back({lo, j - 1});
        todo.push_back({j + 1, hi});
    }
}

// The bisection: the first equal element met, or where the key would go.
int32_t ReferenceSearch(const std::vector<Elem>& v, const Elem& key, uint32_t* position) {
    *position = 0;
    if (v.empty()) return ERR_TN_OUT_OF_RANGE;
    long low = 0, high = long(v.size()) - 1, middle = 0;
    int c = 0;
    do {
        middle = (low + high) / 2;
        c = Order(key, v[size_t(middle)]);
        if (c < 0)
            high = middle - 1;
        else
            low = middle + 1;
    } while (c != 0 && low <= high);
    *position = uint32_t(c > 0 ? middle + 1 : middle);
    return c == 0 ? 0 : ERR_TN_OUT_OF_RANGE;
}

std::unique_ptr<TnVArray> Make(int kind, uint16_t size, uint32_t capacity) {
    if (kind == 0) return std::make_unique<TnCList>(size, int32_t(capacity));
    if (kind == 1) return std::make_unique<TnLList>(size, capacity);
    return std::make_unique<SortList>(size, ByKey, capacity);
}

void Same(const TnVArray& array, const std::vector<Elem>& model) {
    FUZZ_CHECK(array.Count() == model.size());
    FUZZ_CHECK(array.GetCurMaxCount() >= array.Count());
    Elem out(array.ElementSize());
    for (uint32_t i = 0; i < array.Count(); ++i) {
        FUZZ_CHECK(array.Get(i, out.data()) == 0 && out == model[i]);
        FUZZ_CHECK(std::memcmp(array.Element(i), out.data(), out.size()) == 0);
    }
    FUZZ_CHECK(array.Get(array.Count(), out.data()) == ERR_TN_OUT_OF_RANGE);
    FUZZ_CHECK(array.Element(array.Count()) == nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    using mvfuzz::Pick;
    const int kind = Pick(in, 3);
    // Element sizes around the sort's special cases (1, 2, 4, 8, 12, 16 bytes).
    const uint16_t elementSize = uint16_t(1 + Pick(in, 20));
    g_keyBytes = std::min<size_t>(elementSize, 1 + Pick(in, 2));
    const uint8_t alphabet = uint8_t(2 + Pick(in, 30));
    std::unique_ptr<TnVArray> array = Make(kind, elementSize, Pick(in, 9));
    if (kind != 2 && in.ConsumeBool()) array->SetCompareCallback(ByKey);
    std::vector<Elem> model;
    auto element = [&] {
        Elem e(elementSize);
        for (auto& b : e) b = in.ConsumeIntegral<uint8_t>();
        e[0] = uint8_t('a' + e[0] % alphabet);  // few distinct keys: many equal ones
        return e;
    };
    while (in.remaining_bytes() > 0) {
        const uint32_t count = uint32_t(model.size());
        const uint32_t index = Pick(in, count + 2);
        const bool ordered = array->CompareCallback() != nullptr;
        switch (Pick(in, 10)) {
            case 0:
            case 1: {
                const Elem e = element();
                FUZZ_CHECK(array->Insert(index, e.data()) ==
                           (index <= count ? 0 : ERR_TN_OUT_OF_RANGE));
                if (index <= count) model.insert(model.begin() + index, e);
                break;
            }
            case 2: {
                const TnResult rc = array->Delete(index, in.ConsumeBool());
                FUZZ_CHECK(rc == (index < count ? 0 : ERR_TN_OUT_OF_RANGE));
                if (rc == 0) model.erase(model.begin() + index);
                break;
            }
            case 3: {
                const Elem e = element();
                FUZZ_CHECK(array->Update(index, e.data()) ==
                           (index < count ? 0 : ERR_TN_OUT_OF_RANGE));
                if (index < count) model[index] = e;
                break;
            }
            case 4: {
                const Elem e = element();
                void* slot = array->PrepareInsert(index);
                FUZZ_CHECK((slot != nullptr) == (index <= count));
                if (slot) {
                    std::memcpy(slot, e.data(), e.size());
                    model.insert(model.begin() + index, e);
                }
                break;
            }
            case 5: {
                const uint32_t capacity = index + Pick(in, 20);
                FUZZ_CHECK(array->SizeSet(capacity) ==
                           (capacity < count ? ERR_TN_OUT_OF_RANGE : 0));
                if (capacity >= count) FUZZ_CHECK(array->GetCurMaxCount() == capacity);
                break;
            }
            case 6: {
                const Elem key = element();
                uint32_t want = 0, position = 12345;
                Elem out(elementSize, 0);
                const int32_t expected = ReferenceSearch(model, key, &want);
                const TnResult rc = array->Search(key.data(), &position, out.data());
                if (!ordered && !model.empty()) {
                    FUZZ_CHECK(rc == ERR_TN_NO_COMPARE_FUNCTION);
                    break;
                }
                FUZZ_CHECK(rc == expected && position == want);
                if (rc == 0) FUZZ_CHECK(out == model[want]);
                const TnResult at = array->SearchAt(index, key.data(), nullptr);
                if (index >= count)
                    FUZZ_CHECK(at == ERR_TN_OUT_OF_RANGE);
                else if (ordered)
                    FUZZ_CHECK(at == Order(key, model[index]));
                break;
            }
            case 7: {
                const Elem key = element();
                const int32_t allow = in.ConsumeBool();
                uint32_t want = 0, position = 12345;
                const int32_t expected = ReferenceSearch(model, key, &want);
                const TnResult rc = array->SortedInsert(key.data(), &position, allow, 1);
                if (!ordered && !model.empty()) {
                    FUZZ_CHECK(rc == ERR_TN_NO_COMPARE_FUNCTION);
                } else if (expected == 0 && !allow) {
                    FUZZ_CHECK(rc == ERR_TN_DUPLICATE_ELEMENT);
                } else {
                    const uint32_t at = expected == 0 ? want + 1 : want;
                    FUZZ_CHECK(rc == 0 && position == at);
                    model.insert(model.begin() + at, key);
                }
                break;
            }
            case 8: {
                const TnResult rc = array->Sort();
                FUZZ_CHECK(rc == (ordered ? 0 : ERR_TN_NO_COMPARE_FUNCTION));
                if (rc == 0) ReferenceSort(model);
                break;
            }
            default: {  // a copy of the same type takes the contents and the element size
                std::unique_ptr<TnVArray> copy =
                    Make(kind, uint16_t(1 + Pick(in, 20)), Pick(in, 5));
                FUZZ_CHECK(copy->Copy(*array) == 0);
                copy->SetCompareCallback(array->CompareCallback());
                Same(*copy, model);
                std::unique_ptr<TnVArray> other = Make(kind == 0 ? 1 : 0, elementSize, 0);
                FUZZ_CHECK(other->Copy(*array) == ERR_TN_OTHER_ARRAY_TYPE);
                array = std::move(copy);
                break;
            }
        }
        Same(*array, model);
    }
    return 0;
}
