// The differ with a diff list kept in a TnRBTree whose element carries the record and
// its multiplicity, and the outputs in TnRBTrees too (duplicates allowed).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "mvbasics.h"

namespace {

constexpr uint32_t kRec = 8;                           // keeps the multiplicity aligned
constexpr uint32_t kElement = kRec + sizeof(int32_t);  // record, then multiplicity

int CompareRecords(TnCompareArgs* a) {
    const int c = std::memcmp(a->probeKey, a->element, kRec);
    *a->keyResult = (c > 0) - (c < 0);
    *a->orderResult = *a->keyResult;
    return 0;
}

// Builds a pending element: the source's record and -1 or +1 by the side bit.
int BuildPending(TnVContainer*, void* destination, TnVIterator*, void* key, void*,
                 TnVParameter* param) {
    std::memcpy(destination, key, kRec);
    const int32_t m = (param != nullptr && (param->paramFlags & 1)) ? 1 : -1;
    std::memcpy(static_cast<unsigned char*>(destination) + kRec, &m, sizeof m);
    return 0;
}

class TreeDiffList : public TnDiffListIteratorInterface {
  public:
    explicit TreeDiffList(TnRBTree* tree)
        : TnDiffListIteratorInterface(tree), cur_(tree, nullptr) {}
    int First() override { return state = cur_.First(); }
    int Next() override { return state = cur_.Next(); }
    int SearchElement(TnVIterator* source, TnVParameter* sp, uint16_t mode,
                      TnVParameter* param) override {
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
        const int rc = cur_.DeleteElement(mode, param);
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
        return reinterpret_cast<int32_t*>(
            static_cast<unsigned char*>(Tree()->GetElementOfEntry(entry)) + kRec);
    }
    int inserts = 0;

  private:
    TnRBTree* Tree() { return static_cast<TnRBTree*>(container); }
    TnRBTreeIterator cur_;
};

std::string Rec(unsigned v) {
    char r[kRec] = {};
    r[kRec - 2] = static_cast<char>(v >> 8);
    r[kRec - 1] = static_cast<char>(v);
    return std::string(r, kRec);
}

void Fill(TnRBTree& tree, const std::vector<std::string>& recs) {
    for (const auto& r : recs) {
        TnOneEntryContainer one(const_cast<char*>(r.data()), kRec);
        TnOneEntryIterator it(&one, nullptr);
        ASSERT_EQ(0, tree.InsertElement(&it, nullptr, 0, nullptr));
    }
}

std::vector<std::string> Contents(TnRBTree& tree) {
    std::vector<std::string> out;
    TnRBTreeIterator it(&tree, nullptr);
    for (int rc = it.First(); rc == 0; rc = it.Next()) {
        int r = 0;
        out.emplace_back(static_cast<const char*>(it.GetKey(&r, nullptr)), kRec);
    }
    return out;
}

std::vector<std::string> Minus(const std::vector<std::string>& a,
                               const std::vector<std::string>& b) {
    std::map<std::string, int> m;
    for (const auto& r : a) ++m[r];
    for (const auto& r : b) --m[r];
    std::vector<std::string> out;
    for (const auto& e : m)
        for (int i = 0; i < e.second; ++i) out.push_back(e.first);
    return out;
}

TEST(DifferOnTrees, RandomMultisetsAgainstAMemoryFile) {
    std::mt19937 rng(3);
    for (int round = 0; round < 40; ++round) {
        std::vector<std::string> a, b;
        const unsigned range = 1 + rng() % 30;
        for (int i = 0, n = int(rng() % 50); i < n; ++i) a.push_back(Rec(rng() % range));
        for (int i = 0, n = int(rng() % 50); i < n; ++i) b.push_back(Rec(rng() % range));
        std::sort(b.begin(), b.end());

        TnRBTree first(kRec, 2);  // duplicates allowed
        first.SetCompareFunc(CompareRecords);
        Fill(first, a);
        TnRBTreeIterator itFirst(&first, nullptr);

        MemFile file;
        for (size_t i = 0; i < b.size(); ++i)
            file.Put(b[i].data(), static_cast<int32_t>(i * kRec), kRec);
        file.SetPosition(0);
        TnMemFileContainer second(&file, kRec, static_cast<uint32_t>(b.size()));
        TnMemFileIterator itSecond(&second);

        TnRBTree pending(kElement, 0);
        pending.SetCompareFunc(CompareRecords);
        pending.SetCopyFunc(BuildPending);
        TreeDiffList list(&pending);

        TnRBTree outFirst(kRec, 2), outSecond(kRec, 2);
        outFirst.SetCompareFunc(CompareRecords);
        outSecond.SetCompareFunc(CompareRecords);

        for (double ratio : {0.0, 0.5, 1e12}) {
            uint32_t cleared = 0;
            outFirst.Clear(nullptr, &cleared, nullptr);
            outSecond.Clear(nullptr, &cleared, nullptr);
            pending.Clear(nullptr, &cleared, nullptr);
            TnVContainerDiffer differ;
            differ.diffList = &list;
            const int rc = differ.Diff(&itFirst, &itSecond, &outFirst, &outSecond, ratio);
            const auto wantFirst = Minus(a, b), wantSecond = Minus(b, a);
            ASSERT_EQ(wantFirst.empty() && wantSecond.empty() ? 0 : 1, rc);
            ASSERT_EQ(wantFirst, Contents(outFirst)) << "round " << round << " ratio " << ratio;
            ASSERT_EQ(wantSecond, Contents(outSecond)) << "round " << round << " ratio " << ratio;
            ASSERT_EQ(0, pending.CheckTree(nullptr));
        }
    }
}

}  // namespace
