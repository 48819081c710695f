// Destroyed objects stay recognisable: the final values their destructors store must
// survive optimisation (an optimiser may otherwise drop stores into an object that is
// ending its life). Read back through the raw storage the object lived in.
#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include "arrays.h"
#include "lists.h"

namespace {

template <typename T>
T ReadAt(const unsigned char* storage, size_t offset) {
    T value;
    std::memcpy(&value, storage + offset, sizeof value);
    return value;
}

size_t OffsetIn(const void* object, const void* field) {
    return static_cast<size_t>(static_cast<const unsigned char*>(field) -
                               static_cast<const unsigned char*>(object));
}

struct ArrayProbe : TnCList {
    using TnCList::TnCList;
    size_t compareAt() const { return OffsetIn(this, &m_compare); }
    size_t countAt() const { return OffsetIn(this, &m_count); }
    size_t sizeAt() const { return OffsetIn(this, &m_elementSize); }
};

int32_t AnyOrder(const TnVArray*, const void*, const void*) {
    return 0;
}

TEST(Destroyed, ArrayHasNoCallbackAndAllOnesCountAndElementSize) {
    alignas(ArrayProbe) unsigned char storage[sizeof(ArrayProbe)];
    auto* array = new (storage) ArrayProbe(4, 8);
    array->SetCompareCallback(AnyOrder);
    int32_t v = 7;
    ASSERT_EQ(0, array->Insert(0, &v));
    const size_t compareAt = array->compareAt(), countAt = array->countAt(),
                 sizeAt = array->sizeAt();
    array->~ArrayProbe();
    EXPECT_EQ(nullptr, ReadAt<TnArrayCompare>(storage, compareAt));
    EXPECT_EQ(0xFFFFFFFFu, ReadAt<uint32_t>(storage, countAt));
    EXPECT_EQ(0xFFFFu, ReadAt<uint16_t>(storage, sizeAt));
}

TEST(Destroyed, BitStringHasLengthZero) {
    alignas(_TnBitString) unsigned char storage[sizeof(_TnBitString)];
    auto* bits = new (storage) _TnBitString(100);
    ASSERT_EQ(0, bits->Set(99));
    const size_t lengthAt = OffsetIn(bits, &bits->length);
    bits->~_TnBitString();
    EXPECT_EQ(0u, ReadAt<uint32_t>(storage, lengthAt));
}

}  // namespace
