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
using Rec = std::string;  // kRec bytes

// Big-endian so that bytewise order is numeric order.
Rec R(uint64_t v) {
    Rec r(kRec, '\0');
    for (uint32_t i = 0; i < kRec; ++i) r[i] = static_cast<char>(v >> (8 * (kRec - 1 - i)));
    return r;
}

// ------------------------------------------------------------------ test collections

// Records compare bytewise over their kRec bytes (a diff-list element is longer).
int CompareRecords(TnCompareArgs* a) {
    const int c = std::memcmp(a->probeKey, a->element, kRec);
    *a->keyResult = *a->orderResult = (c > 0) - (c < 0);
    return 0;
}

int g_compares = 0;

int CountingCompare(TnCompareArgs* a) {
    ++g_compares;
    return CompareRecords(a);
}

// A collection held in a vector, walked by VecIterator; compares through the
// container's compare function (the framework's CompareElement).
struct VecContainer : TnVContainer {
    explicit VecContainer(std::vector<Rec> r) : TnVContainer(kRec, 0), recs(std::move(r)) {
        count = static_cast<uint32_t>(recs.size());
        SetCompareFunc(CountingCompare);
    }
    std::vector<Rec> recs;
};

struct VecIterator : TnVIterator {
    explicit VecIterator(VecContainer* c) : TnVIterator(nullptr, c) {}
    VecContainer* V() { return static_cast<VecContainer*>(container); }
    int First() override {
        pos = 0;
        return state = V()->recs.empty() ? TN_STATE_BEFORE_FIRST : 0;
    }
    int Next() override {
        if (state != 0) return state;
        return state = ++pos < V()->recs.size() ? 0 : TN_STATE_AFTER_LAST;
    }
    void* GetEntry(int* rc, TnVParameter*) override {
        *rc = state;
        return state == 0 ? &V()->recs[pos][0] : nullptr;
    }
    size_t pos = 0;
};

// An output container that records what it receives and the side bit it came with.
struct Collector : TnVContainer {
    Collector() : TnVContainer(kRec, 0) {}
    int InsertElement(TnVIterator* source, TnVParameter* sp, uint16_t mode,
                      TnVParameter* param) override {
        if (mode != 0 || sp != nullptr || param == nullptr) return -9;
        if (failAfter >= 0 && static_cast<int>(got.size()) >= failAfter) return TN_E_NO_MEMORY;
        int rc = 0;
        const void* key = source->GetKey(&rc, nullptr);
        if (rc < 0) return rc;
        got.emplace_back(static_cast<const char*>(key), kRec);
        sides.push_back(param->paramFlags & 1);
        ++count;
        return 0;
    }
    std::vector<Rec> got;
    std::vector<uint32_t> sides;
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
// iterator; counts the calls that change or search it.
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
        ++searches;
        const int rc = Tree()->SearchElement(source, sp, mode, param, &cur_);
        state = cur_.state;
        return rc;
    }
    int InsertElement(TnVIterator* source, TnVParameter* sp, uint16_t mode,
                      TnVParameter* param) override {
        ++inserts;
        return Tree()->InsertElement(source, sp, mode, param);
    }
    int DeleteElement(uint16_t mode, TnVParameter* param) override {
        ++deletes;
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
    int Mutations() const { return searches + inserts + deletes; }
    int searches = 0, inserts = 0, deletes = 0;

  private:
    TnRBTree* Tree() { return static_cast<TnRBTree*>(container); }
    TnRBTreeIterator cur_;
};

std::vector<Rec> Sorted(std::vector<Rec> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// Multiset difference a - b.
std::vector<Rec> Minus(const std::vector<Rec>& a, const std::vector<Rec>& b) {
    std::map<Rec, int> m;
    for (const auto& r : a) ++m[r];
    for (const auto& r : b) --m[r];
    std::vector<Rec> out;
    for (const auto& e : m)
        for (int i = 0; i < e.second; ++i) out.push_back(e.first);
    return out;
}

// What the differ did to the diff list.
struct ListUse {
    int mutations = 0, inserts = 0;
    uint32_t left = 0;
};

struct Result {
    int rc;
    std::vector<Rec> onlyFirst, onlySecond;
};

enum class Walk { Vector, MemFile, Tree };

// Diffs two vectors, the first walked by VecIterator (or in a TnRBTree), the second by
// VecIterator or as records of a memory file.
Result RunDiff(const std::vector<Rec>& a, const std::vector<Rec>& b, double ratio, Walk kind,
               ListUse* use = nullptr) {
    VecContainer ca(a);
    VecIterator ia(&ca);
    TnRBTree ta(kRec, 2);  // duplicates allowed
    ta.SetCompareFunc(CompareRecords);
    for (const auto& r : a) {
        TnOneEntryContainer one(const_cast<char*>(r.data()), kRec);
        TnOneEntryIterator it(&one, nullptr);
        EXPECT_EQ(0, ta.InsertElement(&it, nullptr, 0, nullptr));
    }
    TnRBTreeIterator itA(&ta, nullptr);
    TnVIterator* first = kind == Walk::Tree ? static_cast<TnVIterator*>(&itA) : &ia;

    MemFile file;
    file.Put("pad", 0, 3);  // the records start at the file's position, here 3
    for (size_t i = 0; i < b.size(); ++i)
        file.Put(b[i].data(), static_cast<int32_t>(3 + i * kRec), kRec);
    file.SetPosition(3);
    TnMemFileContainer cbFile(&file, kRec, static_cast<uint32_t>(b.size()));
    TnMemFileIterator ibFile(&cbFile);
    VecContainer cb(b);
    VecIterator ib(&cb);
    TnVIterator* second = kind == Walk::Vector ? static_cast<TnVIterator*>(&ib) : &ibFile;

    TnRBTree pending(kRec + sizeof(int32_t), 0);
    TreeDiffList list(&pending);
    Collector outA, outB;
    TnVContainerDiffer differ;
    EXPECT_EQ(nullptr, differ.diffList);
    differ.diffList = &list;
    Result res;
    res.rc = differ.Diff(first, second, &outA, &outB, ratio);
    for (uint32_t s : outA.sides) EXPECT_EQ(0u, s);
    for (uint32_t s : outB.sides) EXPECT_EQ(1u, s);
    res.onlyFirst = Sorted(outA.got);
    res.onlySecond = Sorted(outB.got);
    EXPECT_EQ(0, pending.CheckTree(nullptr));
    if (use != nullptr) *use = {list.Mutations(), list.inserts, pending.count};
    return res;
}

std::vector<Rec> Recs(std::initializer_list<uint64_t> v) {
    std::vector<Rec> out;
    for (uint64_t x : v) out.push_back(R(x));
    return out;
}

TEST(Differ, SmallCases) {
    for (Walk mem : {Walk::Vector, Walk::MemFile, Walk::Tree}) {
        Result r = RunDiff(Recs({1, 2, 3}), Recs({2, 3}), 1e12, mem);
        EXPECT_EQ(1, r.rc);
        EXPECT_EQ(Recs({1}), r.onlyFirst);
        EXPECT_TRUE(r.onlySecond.empty());

        ListUse p;
        r = RunDiff({}, Recs({5, 6}), 1.0, mem, &p);
        EXPECT_EQ(1, r.rc);
        EXPECT_EQ(Recs({5, 6}), r.onlySecond);
        EXPECT_EQ(0, p.mutations);

        r = RunDiff(Recs({7, 8}), {}, 0.0, mem, &p);
        EXPECT_EQ(Recs({7, 8}), r.onlyFirst);
        EXPECT_EQ(0, p.mutations);

        r = RunDiff({}, {}, 1.0, mem);
        EXPECT_EQ(0, r.rc);
    }
}

TEST(Differ, EqualCollectionsLeaveTheDiffListAlone) {
    const std::vector<Rec> v = Recs({1, 1, 2, 3, 3, 3, 9});
    for (Walk mem : {Walk::Vector, Walk::MemFile, Walk::Tree}) {
        ListUse p;
        Result r = RunDiff(v, v, 0.5, mem, &p);
        EXPECT_EQ(0, r.rc);
        EXPECT_TRUE(r.onlyFirst.empty() && r.onlySecond.empty());
        EXPECT_EQ(0, p.mutations);
        // Ratio 0 sends everything through the diff list, which ends empty.
        r = RunDiff(v, v, 0.0, mem, &p);
        EXPECT_EQ(0, r.rc);
        EXPECT_EQ(0u, p.left);
        EXPECT_GT(p.inserts, 0);
    }
}

TEST(Differ, RandomCollectionsGiveExactMultisetDifferences) {
    std::mt19937 rng(11);
    for (int round = 0; round < 120; ++round) {
        const int range = 1 + static_cast<int>(rng() % 40);
        std::vector<Rec> a, b;
        for (int i = 0, n = static_cast<int>(rng() % 60); i < n; ++i)
            a.push_back(R(rng() % static_cast<unsigned>(range)));
        b = a;
        // Mutate b: remove, add and change some entries.
        for (int k = 0, n = static_cast<int>(rng() % 8); k < n && !b.empty(); ++k)
            b.erase(b.begin() + static_cast<long>(rng() % b.size()));
        for (int k = 0, n = static_cast<int>(rng() % 8); k < n; ++k)
            b.push_back(R(rng() % static_cast<unsigned>(range)));
        a = Sorted(a);
        b = Sorted(b);
        if (round % 5 == 0) std::shuffle(b.begin(), b.end(), rng);  // order does not matter
        const auto wantA = Minus(a, b), wantB = Minus(b, a);
        for (double ratio : {0.0, 0.000001, 0.5, 1e12}) {
            for (Walk mem : {Walk::Vector, Walk::MemFile, Walk::Tree}) {
                Result r = RunDiff(a, b, ratio, mem);
                ASSERT_EQ(wantA, r.onlyFirst) << "round " << round << " ratio " << ratio;
                ASSERT_EQ(wantB, r.onlySecond) << "round " << round << " ratio " << ratio;
                ASSERT_EQ(wantA.empty() && wantB.empty() ? 0 : 1, r.rc);
            }
        }
    }
}

TEST(Differ, ComparisonBudget) {
    // Two collections that never agree head to head: each entry is one ahead.
    std::vector<Rec> a, b;
    for (uint64_t i = 0; i < 1000; ++i) {
        a.push_back(R(2 * i));
        b.push_back(R(2 * i + 1));
    }
    const struct {
        double ratio;
        int compares;
    } cases[] = {{0.0, 0}, {-1.0, 0}, {0.000001, 10}, {0.005, 5}, {0.5, 500}};
    for (const auto& c : cases) {
        g_compares = 0;
        Result r = RunDiff(a, b, c.ratio, Walk::Vector);
        EXPECT_EQ(c.compares, g_compares) << "ratio " << c.ratio;
        EXPECT_EQ(a, r.onlyFirst);
        EXPECT_EQ(b, r.onlySecond);
    }
    // Unlimited: every pair is compared once.
    g_compares = 0;
    RunDiff(a, b, 4294967295.0, Walk::Vector);
    EXPECT_GE(g_compares, 1000);
}

TEST(Differ, ErrorsStopTheDiff) {
    VecContainer ca(Recs({1, 2, 3})), cb(Recs({4}));
    VecIterator ia(&ca), ib(&cb);
    TnRBTree pending(kRec + sizeof(int32_t), 0);
    TreeDiffList list(&pending);
    Collector outA, outB;
    outA.failAfter = 1;
    TnVContainerDiffer differ;
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, differ.Diff(&ia, &ib, &outA, &outB, 1.0));  // no diff list
    differ.diffList = &list;
    EXPECT_EQ(TN_E_NO_MEMORY, differ.Diff(&ia, &ib, &outA, &outB, 1.0));
    EXPECT_EQ(1u, outA.got.size());  // what was written stays written
    // A walk that cannot start is reported.
    TnVIterator detached(nullptr);
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, differ.Diff(&detached, &ib, &outA, &outB, 1.0));
}

// ------------------------------------------------------------------ memory-file container

TEST(MemFileContainer, WalksRecordsFromTheFilePosition) {
    MemFile file;
    file.Put("xx", 0, 2);
    file.Put(
        "AAAAAAA\x01"
        "AAAAAAA\xff"
        "BBBBBBBB",
        2, 24);
    file.SetPosition(2);
    TnMemFileContainer c(&file, 8, 3);
    EXPECT_EQ(0, c.GetType());
    EXPECT_EQ(3u, c.count);
    EXPECT_EQ(8u, c.elementSize);
    EXPECT_EQ(2, c.startPosition);
    TnMemFileIterator it(&c), other(&c);
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, it.state);
    EXPECT_EQ(nullptr, it.record);
    EXPECT_EQ(0, it.First());
    EXPECT_EQ(file.Data() + 2, it.record);
    int rc = 1;
    EXPECT_EQ(file.Data() + 2, it.GetKey(&rc, nullptr));
    EXPECT_EQ(0, rc);
    EXPECT_EQ(nullptr, it.GetDat(&rc, nullptr));
    EXPECT_EQ(TN_E_NO_DAT, rc);
    EXPECT_EQ(1u, it.GetFlags(&rc, nullptr));

    // The first two records differ only in their last byte, 0x01 against 0xff.
    other = it;
    other.record = it.record;
    EXPECT_EQ(0, it.Next());
    EXPECT_EQ(1u, c.currentIndex);
    int keyResult = 9, orderResult = 9;
    EXPECT_EQ(0, it.CompareElement(&other, nullptr, &keyResult, &orderResult, nullptr));
    EXPECT_EQ(1, keyResult);
    EXPECT_EQ(1, orderResult);
    EXPECT_EQ(0, other.CompareElement(&it, nullptr, &keyResult, &orderResult, nullptr));
    EXPECT_EQ(-1, keyResult);
    EXPECT_EQ(0, it.CompareElement(&it, nullptr, &keyResult, &orderResult, nullptr));
    EXPECT_EQ(0, keyResult);

    EXPECT_EQ(0, it.Next());
    EXPECT_EQ(TN_STATE_AFTER_LAST, it.Next());
    EXPECT_EQ(TN_STATE_AFTER_LAST,
              it.CompareElement(&other, nullptr, &keyResult, &orderResult, nullptr));
    EXPECT_EQ(nullptr, it.GetEntry(&rc, nullptr));
    EXPECT_EQ(TN_STATE_AFTER_LAST, rc);
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, c.SearchElement(&it, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, c.InsertElement(&it, nullptr, 0, nullptr));
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, it.DeleteElement(0, nullptr));
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, it.Prior());
    EXPECT_EQ(TN_E_NOT_IMPLEMENTED, it.Last());
}

TEST(MemFileContainer, RecordsBeyondTheFileEndTheWalk) {
    MemFile file;
    file.Put("0123456789abcdefXYZ", 0, 19);  // two whole records of 8 and a cut one
    file.SetPosition(0);
    TnMemFileContainer c(&file, 8, 5);
    TnMemFileIterator it(&c);
    EXPECT_EQ(0, it.First());
    EXPECT_EQ(0, it.Next());
    EXPECT_EQ(TN_STATE_AFTER_LAST, it.Next());

    file.SetPosition(19);
    TnMemFileContainer past(&file, 8, 2);
    TnMemFileIterator ip(&past);
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, ip.First());
    TnMemFileContainer none(&file, 8, 0);
    TnMemFileIterator in(&none);
    EXPECT_EQ(TN_STATE_BEFORE_FIRST, in.First());
}

}  // namespace
