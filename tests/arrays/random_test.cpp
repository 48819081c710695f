// Long random sequences of operations against std::vector<std::string>.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "arrays.h"

namespace {

constexpr uint16_t kSize = 6;  // elements are 6-byte texts

int32_t ByText(const TnVArray*, const void* a, const void* b) {
    return std::memcmp(a, b, kSize);
}

std::string Text(const void* p) {
    return std::string(static_cast<const char*>(p), kSize);
}

std::string RandomText(std::mt19937& rng, int alphabet) {
    std::string s(kSize, 'a');
    // Few distinct leading letters, so that equal keys are common.
    s[0] = static_cast<char>('a' + rng() % static_cast<unsigned>(alphabet));
    s[5] = static_cast<char>('a' + rng() % static_cast<unsigned>(alphabet));
    return s;
}

// The bisection the arrays promise: the first equal element met, or the insertion point.
int32_t ReferenceSearch(const std::vector<std::string>& v, const std::string& key,
                        uint32_t* position) {
    *position = 0;
    if (v.empty()) return -502;
    long low = 0, high = static_cast<long>(v.size()) - 1, middle = 0;
    int c = 0;
    do {
        middle = (low + high) / 2;
        c = key.compare(v[static_cast<size_t>(middle)]);
        if (c < 0)
            high = middle - 1;
        else
            low = middle + 1;
    } while (c != 0 && low <= high);
    *position = static_cast<uint32_t>(c > 0 ? middle + 1 : middle);
    return c == 0 ? 0 : -502;
}

void ExpectSame(const TnVArray& array, const std::vector<std::string>& model, int step) {
    ASSERT_EQ(model.size(), array.Count()) << "step " << step;
    ASSERT_GE(array.GetCurMaxCount(), array.Count());
    char out[kSize];
    for (uint32_t i = 0; i < array.Count(); ++i) {
        ASSERT_EQ(0, array.Get(i, out));
        ASSERT_EQ(model[i], Text(out)) << "step " << step << ", index " << i;
    }
    ASSERT_EQ(-502, array.Get(array.Count(), out));
}

void RunUnordered(TnVArray& array, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::string> model;
    for (int step = 0; step < 3000; ++step) {
        const uint32_t count = static_cast<uint32_t>(model.size());
        const uint32_t index = rng() % (count + 2);
        const std::string text = RandomText(rng, 26);
        const uint32_t op = rng() % 8;  // insert 3 in 8, delete 2, update, prepare, resize
        if (op < 3) {
            const TnResult rc = array.Insert(index, text.data());
            ASSERT_EQ(index <= count ? 0 : -502, rc);
            if (rc == 0) model.insert(model.begin() + index, text);
        } else if (op < 5) {
            const TnResult rc = array.Delete(index, static_cast<int32_t>(rng() % 2));
            ASSERT_EQ(index < count ? 0 : -502, rc);
            if (rc == 0) model.erase(model.begin() + index);
        } else if (op == 5) {
            const TnResult rc = array.Update(index, text.data());
            ASSERT_EQ(index < count ? 0 : -502, rc);
            if (rc == 0) model[index] = text;
        } else if (op == 6) {
            void* slot = array.PrepareInsert(index);
            ASSERT_EQ(index <= count, slot != nullptr);
            if (slot != nullptr) {
                std::memcpy(slot, text.data(), kSize);
                model.insert(model.begin() + index, text);
            }
        } else {
            const uint32_t capacity = index + rng() % 20;
            ASSERT_EQ(capacity < count ? -502 : 0, array.SizeSet(capacity));
            ASSERT_EQ(capacity < count ? array.GetCurMaxCount() : capacity, array.GetCurMaxCount());
        }
        ExpectSame(array, model, step);
    }
}

void RunOrdered(TnVArray& array, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::string> model;
    array.SetCompareCallback(ByText);
    for (int step = 0; step < 3000; ++step) {
        const std::string key = RandomText(rng, 6);
        uint32_t expectedPosition = 0, position = 12345;
        const int32_t expected = ReferenceSearch(model, key, &expectedPosition);
        const uint32_t op = rng() % 4;  // sorted insert 2 in 4, search, delete
        if (op < 2) {
            const int32_t allow = static_cast<int32_t>(rng() % 2);
            const bool refused = expected == 0 && !allow;
            ASSERT_EQ(refused ? -508 : 0, array.SortedInsert(key.data(), &position, allow, 1));
            const uint32_t at = expected == 0 ? expectedPosition + 1 : expectedPosition;
            if (!refused) {
                ASSERT_EQ(at, position);
                model.insert(model.begin() + at, key);
            }
        } else if (op == 2) {
            char out[kSize] = {};
            ASSERT_EQ(expected, array.Search(key.data(), &position, out));
            ASSERT_EQ(expectedPosition, position);
            if (expected == 0) {
                ASSERT_EQ(key, Text(out));
            }
        } else if (!model.empty()) {
            const uint32_t index = rng() % static_cast<uint32_t>(model.size());
            ASSERT_EQ(0, array.Delete(index, 1));
            model.erase(model.begin() + index);
        }
        ExpectSame(array, model, step);
    }
}

TEST(ArrayRandom, ContiguousArrayMatchesAVector) {
    TnCList list(kSize, 0);
    RunUnordered(list, 21);
    TnCList sorted(kSize, 3);
    RunOrdered(sorted, 22);
}

TEST(ArrayRandom, PointerArrayMatchesAVector) {
    TnLList list(kSize, 0);
    RunUnordered(list, 23);
    SortList sorted(kSize, nullptr, 5);
    RunOrdered(sorted, 24);
}

}  // namespace
