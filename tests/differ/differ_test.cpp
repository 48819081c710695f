#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "mvbasics.h"

namespace {

constexpr uint32_t kRec = 8;
using Rec = std::string;  // kRec bytes, big-endian so that bytewise order is numeric order
using Recs = std::vector<Rec>;

Rec R(uint64_t v) {
    Rec r(kRec, '\0');
    for (uint32_t i = 0; i < kRec; ++i) r[i] = static_cast<char>(v >> (8 * (kRec - 1 - i)));
    return r;
}

Recs Make(std::initializer_list<uint64_t> values) {
    Recs out;
    for (uint64_t v : values) out.push_back(R(v));
    return out;
}

// Records compare bytewise over their kRec bytes (a diff-list element is longer).
int CompareRecords(TnCompareArgs* a) {
    const int c = std::memcmp(a->probeKey, a->element, kRec);
    *a->keyResult = *a->orderResult = (c > 0) - (c < 0);
    return 0;
}

// An output container that records what it receives; it refuses an insertion that does
// not come with mode 0, no source parameter and a parameter whose flags are the side.
struct Collector : TnVContainer {
    explicit Collector(uint32_t s) : TnVContainer(kRec, 0), side(s) {}
    int InsertElement(TnVIterator* source, TnVParameter* sp, uint16_t mode,
                      TnVParameter* param) override {
        if (mode != 0 || sp != nullptr || param == nullptr || param->paramFlags != side) return -9;
        if (failAfter >= 0 && static_cast<int>(got.size()) >= failAfter) return ERR_TN_NO_MEMORY;
        int rc = 0;
        const void* key = source->GetKey(&rc, nullptr);
        if (rc >= 0) got.emplace_back(static_cast<const char*>(key), kRec);
        return rc < 0 ? rc : 0;
    }
    uint32_t side;
    Recs got;
    int failAfter = -1;
};

// Builds a pending element of the diff list: the source's record, then -1 or +1 by the
// side bit.
int BuildPending(TnVContainer*, void* destination, TnVIterator*, void* key, void*,
                 TnVParameter* param) {
    std::memcpy(destination, key, kRec);
    const int32_t m = (param->paramFlags & 1) ? 1 : -1;
    std::memcpy(static_cast<unsigned char*>(destination) + kRec, &m, sizeof m);
    return 0;
}

// The diff list: a TnRBTree of (record, multiplicity) elements walked by a tree
// iterator; counts the calls that search or change it.
class TreeDiffList : public TnDiffListIteratorInterface {
  public:
    explicit TreeDiffList(TnRBTree* tree) : TnDiffListIteratorInterface(tree), cur_(tree, nullptr) {
        tree->SetCompareFunc(CompareRecords);
        tree->SetCopyFunc(BuildPending);
    }
    int First() override { return state = cur_.First(); }
    int Next() override { return state = cur_.Next(); }
    int SearchElement(TnVIterator* source, TnVParameter* sp, uint16_t mode,
                      TnVParameter* param) override {
        ++calls;
        const int rc = Tree()->SearchElement(source, sp, mode, param, &cur_);
        state = cur_.state;
        return rc;
    }
    int InsertElement(TnVIterator* source, TnVParameter* sp, uint16_t mode,
                      TnVParameter* param) override {
        ++calls;
        return Tree()->InsertElement(source, sp, mode, param);
    }
    int DeleteElement(uint16_t mode, TnVParameter* param) override {
        ++calls;
        const int rc = cur_.DeleteElement(mode, param);  // -522 after the last entry
        state = cur_.state;
        return rc;
    }
    void* GetEntry(int* result, TnVParameter* param) override {
        return cur_.GetEntry(result, param);
    }
    int32_t* GetDiffCount() override {
        int rc = 0;
        void* entry = cur_.GetEntry(&rc, nullptr);
        if (entry == nullptr) return nullptr;
        auto* element = static_cast<unsigned char*>(Tree()->GetElementOfEntry(entry));
        return reinterpret_cast<int32_t*>(element + kRec);
    }
    int calls = 0;

  private:
    TnRBTree* Tree() { return static_cast<TnRBTree*>(container); }
    TnRBTreeIterator cur_;
};

// Records back to back in a memory file behind a 3-byte prefix, walked from the file's
// position.
MemFile* Fill(MemFile& file, const Recs& recs) {
    file.Put("pad", 0, 3);
    for (size_t i = 0; i < recs.size(); ++i)
        file.Put(recs[i].data(), static_cast<int32_t>(3 + i * kRec), kRec);
    file.SetPosition(3);
    return &file;
}

int g_compares = 0;
int g_compareFailure = 0;  // nonzero: the head-to-head comparison fails with it

// A memory-file walk over the records that counts its head-to-head comparisons.
struct RecordFile {
    struct Iterator : TnMemFileIterator {
        using TnMemFileIterator::TnMemFileIterator;
        int CompareElement(TnVIterator* other, TnVParameter* op, int* keyResult, int* orderResult,
                           TnVParameter* param) override {
            ++g_compares;
            if (g_compareFailure != 0) return g_compareFailure;
            return TnMemFileIterator::CompareElement(other, op, keyResult, orderResult, param);
        }
    };
    explicit RecordFile(const Recs& recs)
        : container(Fill(file, recs), kRec, static_cast<uint32_t>(recs.size())), it(&container) {}
    MemFile file;
    TnMemFileContainer container;
    Iterator it;
};

Recs Sorted(Recs v) {
    std::sort(v.begin(), v.end());
    return v;
}

struct Result {
    int rc;
    Recs onlyFirst, onlySecond;  // sorted
    int compares;                // head-to-head comparisons
    int listCalls;               // searches and changes of the diff list
};

// Diffs a against b, both held in memory-file containers.
Result RunDiff(const Recs& a, const Recs& b, double ratio) {
    RecordFile fa(a), fb(b);
    TnRBTree pending(kRec + sizeof(int32_t), 0);
    TreeDiffList list(&pending);
    Collector outA(0), outB(1);
    TnVContainerDiffer differ;
    differ.diffList = &list;
    g_compares = 0;
    const int rc = differ.Diff(&fa.it, &fb.it, &outA, &outB, ratio);
    EXPECT_EQ(0, pending.CheckTree(nullptr));
    return {rc, Sorted(outA.got), Sorted(outB.got), g_compares, list.calls};
}

// Equal collections leave the diff list alone, unless every entry must go through it.
TEST(Differ, EqualCollectionsUseTheDiffListOnlyWithoutABudget) {
    const Recs v = Make({1, 1, 2, 3, 3, 3, 9});
    EXPECT_EQ(0, RunDiff(v, v, 0.5).listCalls);
    const Result r = RunDiff(v, v, 0.0);
    EXPECT_EQ(0, r.rc);
    EXPECT_GT(r.listCalls, 0);
    EXPECT_TRUE(r.onlyFirst.empty() && r.onlySecond.empty());
}

// Multiset difference a - b.
Recs Minus(const Recs& a, const Recs& b) {
    std::map<Rec, int> m;
    for (const auto& r : a) ++m[r];
    for (const auto& r : b) --m[r];
    Recs out;
    for (const auto& e : m)
        for (int i = 0; i < e.second; ++i) out.push_back(e.first);
    return out;
}

TEST(Differ, RandomCollectionsGiveExactMultisetDifferences) {
    std::mt19937 rng(11);
    for (int round = 0; round < 120; ++round) {
        const unsigned range = 1 + rng() % 40;
        Recs a;
        for (int i = 0, n = static_cast<int>(rng() % 60); i < n; ++i) a.push_back(R(rng() % range));
        Recs b = a;
        // Remove, add and change some entries.
        for (int k = 0, n = static_cast<int>(rng() % 8); k < n && !b.empty(); ++k)
            b.erase(b.begin() + static_cast<long>(rng() % b.size()));
        for (int k = 0, n = static_cast<int>(rng() % 8); k < n; ++k) b.push_back(R(rng() % range));
        a = Sorted(a);
        b = Sorted(b);
        if (round % 5 == 0) std::shuffle(b.begin(), b.end(), rng);  // order does not matter
        if (round % 7 == 0) std::shuffle(a.begin(), a.end(), rng);
        const auto wantA = Minus(a, b), wantB = Minus(b, a);
        for (double ratio : {0.0, 0.000001, 0.5, 1e12}) {
            const Result r = RunDiff(a, b, ratio);
            ASSERT_EQ(wantA, r.onlyFirst) << "round " << round << " ratio " << ratio;
            ASSERT_EQ(wantB, r.onlySecond) << "round " << round << " ratio " << ratio;
            ASSERT_EQ(wantA.empty() && wantB.empty() ? 0 : 1, r.rc);
        }
    }
}

TEST(Differ, ComparisonBudget) {
    // Two collections that never agree head to head: each entry is one ahead.
    Recs a, b;
    for (uint64_t i = 0; i < 1000; ++i) {
        a.push_back(R(2 * i));
        b.push_back(R(2 * i + 1));
    }
    const struct {
        double ratio;
        int compares;
    } cases[] = {{0.0, 0}, {-1.0, 0}, {0.000001, 10}, {0.005, 5}, {0.5, 500}, {1e12, 1000}};
    for (const auto& c : cases) {
        const Result r = RunDiff(a, b, c.ratio);
        EXPECT_EQ(c.compares, r.compares) << "ratio " << c.ratio;
        EXPECT_EQ(a, r.onlyFirst);
        EXPECT_EQ(b, r.onlySecond);
    }
}

// A diff list that fails on request: a search, an insertion or a removal answers an
// error, or the multiplicity of the entry it stands on is missing.
class FaultyDiffList : public TreeDiffList {
  public:
    using TreeDiffList::TreeDiffList;
    int SearchElement(TnVIterator* source, TnVParameter* sp, uint16_t mode,
                      TnVParameter* param) override {
        return searchFailure != 0 ? searchFailure
                                  : TreeDiffList::SearchElement(source, sp, mode, param);
    }
    int InsertElement(TnVIterator* source, TnVParameter* sp, uint16_t mode,
                      TnVParameter* param) override {
        return insertFailure != 0 ? insertFailure
                                  : TreeDiffList::InsertElement(source, sp, mode, param);
    }
    int DeleteElement(uint16_t mode, TnVParameter* param) override {
        return deleteFailure != 0 ? deleteFailure : TreeDiffList::DeleteElement(mode, param);
    }
    int32_t* GetDiffCount() override { return noCount ? nullptr : TreeDiffList::GetDiffCount(); }
    int searchFailure = 0, insertFailure = 0, deleteFailure = 0;
    bool noCount = false;
};

// Each failure of the diff list, of an output or of a comparison ends the diff with its
// code, wherever in the walk it happens.
TEST(Differ, EveryFailureEndsTheDiffWithItsCode) {
    // Each row arms one failure: of the list's search, insertion or removal, a missing
    // multiplicity, the second output after so many entries, or the comparison.
    struct Case {
        const char* what;
        Recs a, b;
        double ratio;
        int search, insert, remove;
        bool noCount;
        int outputAfter, compare, rc;
    };
    const Case cases[] = {
        {"search", Make({1}), Make({2}), 0.0, -77, 0, 0, false, -1, 0, -77},
        {"insertion into the list", Make({1}), Make({2}), 0.0, 0, -79, 0, false, -1, 0, -79},
        {"removal of a matched entry", Make({2}), Make({2}), 0.0, 0, 0, -78, false, -1, 0, -78},
        {"multiplicity of a matched entry", Make({2}), Make({2}), 0.0, 0, 0, 0, true, -1, 0,
         ERR_TN_NOT_IMPLEMENTED},
        {"multiplicity while draining", Make({1, 2}), Make({3}), 0.0, 0, 0, 0, true, -1, 0,
         ERR_TN_NOT_IMPLEMENTED},
        {"output while draining", Make({1, 3}), Make({2}), 0.0, 0, 0, 0, false, 0, 0,
         ERR_TN_NO_MEMORY},
        {"output after the other walk ended", Make({}), Make({5, 6}), 1.0, 0, 0, 0, false, 1, 0,
         ERR_TN_NO_MEMORY},
        {"output of an entry without partner", Make({1}), Make({5, 6}), 0.0, 0, 0, 0, false, 0, 0,
         ERR_TN_NO_MEMORY},
        {"comparison", Make({1}), Make({2}), 1.0, 0, 0, 0, false, -1, -76, -76},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordFile fa(c.a), fb(c.b);
        TnRBTree pending(kRec + sizeof(int32_t), 0);
        FaultyDiffList list(&pending);
        Collector outA(0), outB(1);
        list.searchFailure = c.search;
        list.insertFailure = c.insert;
        list.deleteFailure = c.remove;
        list.noCount = c.noCount;
        outB.failAfter = c.outputAfter;
        g_compareFailure = c.compare;
        TnVContainerDiffer differ;
        differ.diffList = &list;
        EXPECT_EQ(c.rc, differ.Diff(&fa.it, &fb.it, &outA, &outB, c.ratio));
        g_compareFailure = 0;
        EXPECT_EQ(0, pending.CheckTree(nullptr));
    }

    // Missing diff list, collections and outputs, and walks that cannot start.
    RecordFile fa(Make({1})), fb(Make({2}));
    TnRBTree pending(kRec + sizeof(int32_t), 0);
    TreeDiffList list(&pending);
    Collector outA(0), outB(1);
    TnVContainerDiffer differ;
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED, differ.Diff(&fa.it, &fb.it, &outA, &outB, 1.0));
    differ.diffList = &list;
    TnVIterator detached(nullptr);
    for (int r : {differ.Diff(&fa.it, nullptr, &outA, &outB, 1.0),
                  differ.Diff(&fa.it, &fb.it, nullptr, &outB, 1.0),
                  differ.Diff(&fa.it, &fb.it, &outA, nullptr, 1.0),
                  differ.Diff(&detached, &fb.it, &outA, &outB, 1.0),
                  differ.Diff(&fa.it, &detached, &outA, &outB, 1.0)})
        EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED, r);
    EXPECT_TRUE(outA.got.empty() && outB.got.empty());
}

TEST(MemFileContainer, WalksWholeRecordsFromTheFilePosition) {
    MemFile file;
    const char bytes[] =
        "xxAAAAAAA\x01"
        "AAAAAAA\xff"
        "BBBBBBBBXYZ";  // 3 records and a cut one
    file.Put(bytes, 0, 29);
    file.SetPosition(2);
    TnMemFileContainer c(&file, 8, 5);
    TnMemFileIterator it(&c);
    EXPECT_EQ(0, it.First());
    EXPECT_EQ(file.Data() + 2, it.record);
    EXPECT_EQ(0, it.Next());
    EXPECT_EQ(1u, c.currentIndex);
    EXPECT_EQ(0, it.Next());
    EXPECT_EQ(ERR_TN_AFTER_LAST, it.Next());

    // Records that differ only in their last byte, 0x01 against 0xff, as unsigned bytes.
    file.SetPosition(2);
    TnMemFileContainer low(&file, 8, 1), none(&file, 8, 0);
    file.SetPosition(10);
    TnMemFileContainer high(&file, 8, 1);
    file.SetPosition(27);
    TnMemFileContainer past(&file, 8, 1);
    TnMemFileIterator lo(&low), hi(&high), in(&none), ip(&past);
    ASSERT_EQ(0, lo.First());
    ASSERT_EQ(0, hi.First());
    int keyResult = 9, orderResult = 9;
    EXPECT_EQ(0, hi.CompareElement(&lo, nullptr, &keyResult, &orderResult, nullptr));
    EXPECT_EQ(1, keyResult);
    EXPECT_EQ(1, orderResult);
    EXPECT_EQ(0, lo.CompareElement(&hi, nullptr, &keyResult, &orderResult, nullptr));
    EXPECT_EQ(-1, keyResult);
    EXPECT_EQ(ERR_TN_AFTER_LAST,
              it.CompareElement(&lo, nullptr, &keyResult, &orderResult, nullptr));
    EXPECT_EQ(ERR_TN_BEFORE_FIRST, in.First());
    EXPECT_EQ(ERR_TN_BEFORE_FIRST, ip.First());  // the record would run past the file
}

// Without a container or a file there is nothing to walk; a walk that has ended stays
// ended; comparisons need two entries.
TEST(MemFileContainer, WalksWithoutFileOrContainer) {
    TnMemFileIterator detached(nullptr);
    EXPECT_EQ(ERR_TN_DETACHED, detached.First());
    EXPECT_EQ(ERR_TN_DETACHED, detached.Next());
    TnMemFileContainer noFile(nullptr, 8, 3);
    TnMemFileIterator it(&noFile);
    EXPECT_EQ(ERR_TN_BEFORE_FIRST, it.First());
    EXPECT_EQ(ERR_TN_BEFORE_FIRST, it.Next());  // Next from before the first is First

    MemFile file;
    file.Put("AAAAAAAABBBBBBBB", 0, 16);
    file.SetPosition(0);
    TnMemFileContainer two(&file, 8, 2);
    TnMemFileIterator a(&two), b(&two);
    ASSERT_EQ(0, a.First());
    ASSERT_EQ(ERR_TN_BEFORE_FIRST, b.state);
    int keyResult = 9, orderResult = 9;
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED,
              a.CompareElement(nullptr, nullptr, &keyResult, &orderResult, nullptr));
    EXPECT_EQ(ERR_TN_BEFORE_FIRST,
              a.CompareElement(&b, nullptr, &keyResult, &orderResult, nullptr));
    EXPECT_EQ(9, keyResult);
    TnVIterator other(nullptr, &two);  // an iterator of the base class: no entries
    other.state = 0;
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED,
              a.CompareElement(&other, nullptr, &keyResult, &orderResult, nullptr));
    b.record = nullptr;
    b.state = 0;  // positioned, yet without a record
    EXPECT_EQ(ERR_TN_NOT_IMPLEMENTED, a.CompareElement(&b, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0, a.Next());
    EXPECT_EQ(ERR_TN_AFTER_LAST, a.Next());
    EXPECT_EQ(ERR_TN_AFTER_LAST, a.Next());
    EXPECT_EQ(1u, two.currentIndex);
}

}  // namespace
