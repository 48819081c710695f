// A small host module of the Merivane runtime, as a module engineer writes one: it checks
// the basics library it was built against, keeps its records in a red-black tree, stores
// them in a memory file, checksums and compresses the stored bytes, reads its batch size
// from the registry and counts its work in the statistics. Its output is checked line by
// line by the packaging tests, so it prints nothing that varies between runs.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mvbasics.h"

namespace {

struct Record {
    int32_t id;
    char name[28];
};

// Records are ordered by id alone; equal ids are refused (policy 0 of the tree).
int CompareRecords(TnCompareArgs* args) {
    const Record* probe = static_cast<const Record*>(args->probeKey);
    const Record* stored = static_cast<const Record*>(args->element);
    const int order = (probe->id > stored->id) - (probe->id < stored->id);
    *args->keyResult = order;
    *args->orderResult = order;
    return 0;
}

int Fail(const char* what, int result) {
    std::printf("FAILED: %s: %d (%s)\n", what, result, TnError(nullptr, nullptr, result, 1));
    return 1;
}

// The batch size, from SOFTWARE\Ardwyn\Merivane\HostExample\BatchSize; a first run
// stores the default 4 there.
int BatchSize() {
    const char* path[] = {"HostExample", "BatchSize", nullptr};
    char text[16] = {};
    int length = sizeof text;
    if (TnGetRegistryEntry(path, text, length) != 0) {
        char initial[] = "4";
        int n = 1;
        if (TnSetRegistryEntry(path, initial, n) != 0) return -1;
        length = sizeof text;
        if (TnGetRegistryEntry(path, text, length) != 0) return -1;
    }
    text[length < int(sizeof text) ? length : int(sizeof text) - 1] = '\0';
    return std::atoi(text);
}

}  // namespace

int main() {
    int rc = TnCheckDll(TN_VERSION_CHECK_BUILD);
    if (rc != 0) return Fail("TnCheckDll", rc);
    unsigned major, minor, release, build, patch;
    const char *module, *built, *fourth, *compiler, *extra;
    int compilerVersion;
    const char* description = TnDescribeDll(&major, &minor, &release, &build, &patch, &module,
                                            &built, &fourth, &compilerVersion, &compiler, &extra);
    std::printf("library: %s, %s %u.%u.%u.%u.%u, TnCheckDll 0\n", description, module, major, minor,
                release, build, patch);

    const int batch = BatchSize();
    if (batch <= 0) return Fail("registry setting BatchSize", batch);
    std::printf("setting: BatchSize = %d\n", batch);

    // Records arrive out of order; the tree keeps them by id and refuses a repeated id.
    TnRBTree tree(sizeof(Record));
    tree.SetCompareFunc(CompareRecords);
    const Record incoming[] = {{42, "beryl"},  {7, "amber"},  {19, "cobalt"}, {3, "dune"},
                               {42, "repeat"}, {88, "ember"}, {61, "fjord"},  {25, "garnet"}};
    int refused = 0;
    for (const Record& r : incoming) {
        TnRBTreeNode* entry = tree.CreateEntry(&rc);
        if (entry == nullptr) return Fail("CreateEntry", rc);
        std::memcpy(entry->Element(), &r, sizeof r);
        rc = tree.InsertEntry(entry, 0, nullptr);
        if (rc == ERR_TN_DUPLICATE) {
            ++refused;
            continue;
        }
        if (rc != 0) return Fail("InsertEntry", rc);
        Statistics()->AddInsertedObjects(1);
    }
    rc = tree.CheckTree(nullptr);
    if (rc != 0) return Fail("CheckTree", rc);
    std::printf("tree: %u records, %d refused as duplicates, order", tree.count, refused);

    // In order into the memory file, one batch (one statistics transaction) at a time.
    MemFile file;
    TnRBTreeIterator it(&tree, nullptr);
    int32_t offset = 0, inBatch = 0;
    for (rc = it.First(); rc == 0; rc = it.Next()) {
        const Record* r = static_cast<const Record*>(it.GetElement(&rc, nullptr));
        if (r == nullptr) return Fail("GetElement", rc);
        std::printf(" %d", r->id);
        if (file.Put(r, offset, sizeof *r) != int32_t(sizeof *r)) return Fail("MemFile::Put", -1);
        offset += int32_t(sizeof *r);
        if (++inBatch == batch) {
            Statistics()->IncTransactions();
            inBatch = 0;
        }
    }
    if (inBatch != 0) Statistics()->IncTransactions();
    std::printf("\n");

    // The stored bytes: checksum, compress, expand again and compare.
    unsigned char stored[sizeof(Record) * 8], packed[sizeof stored * 2], unpacked[sizeof stored];
    const int32_t size = file.Get(stored, 0, offset);
    const uint32_t crc = CalcCheckSum(stored, uint32_t(size), nullptr);
    int32_t packedLength = sizeof packed, unpackedLength = sizeof unpacked;
    rc = DScomp(stored, size, packed, &packedLength);
    if (rc != 0) return Fail("DScomp", rc);
    rc = DSdecomp(packed, packedLength, unpacked, &unpackedLength);
    if (rc != 0) return Fail("DSdecomp", rc);
    const bool same = unpackedLength == size && std::memcmp(stored, unpacked, size_t(size)) == 0 &&
                      CalcCheckSum(unpacked, uint32_t(unpackedLength), nullptr) == crc;
    std::printf("memfile: %d bytes, CRC-32 %08X, compressed to %d bytes, expanded %s\n", size, crc,
                packedLength, same ? "identical" : "DIFFERENT");

    std::printf("statistics: %d inserted, %d transactions\n", Statistics()->m_InsertedObjects,
                Statistics()->m_Transactions);
    return same ? 0 : 1;
}
