// The collector entry points and the mvbasics tool's decoder on arbitrary shared-block
// contents. The block is an exactly sized heap copy (so ASan sees any read past it);
// input layout: a 4-byte control word, then either the block's bytes (patch bit clear)
// or 8-byte patches (offset, value) applied to a well-formed block (patch bit set).
// What the collector hands out must always decode; the decoder must stay inside any
// collection it is given.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "../tools/mvbasics/perf_decode.h"
#include "prfdata.h"
#include "statistics.h"

namespace {

constexpr uint32_t kPatchBit = 1u << 31;

const char16_t* Request(uint32_t control) {
    static const char16_t* const kRequests[] = {u"Global", u"1000",   u"2 1000 77",
                                                u"1002",   u"global", u""};
    return kRequests[(control >> 16) % (sizeof kRequests / sizeof kRequests[0])];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PrfData* prf = PrfData::sm_pPrfData;
    if (!prf || size < 4) return 0;
    uint32_t control;
    std::memcpy(&control, data, 4);
    data += 4;
    size -= 4;

    // The tool's decoder on the raw input, as if it were a collection.
    std::vector<mvtool::perfdecode::RawCounter> counters;
    const std::vector<uint8_t> raw(data, data + size);
    mvtool::perfdecode::Decode(raw.data(), raw.size(), 1 + control % 3, &counters);

    const auto saved = std::make_tuple(prf->m_pPrfData, prf->m_cbPrfData, prf->m_fWritable,
                                       prf->m_dwFirstCounter, prf->m_dwFirstHelp);
    prf->m_dwFirstCounter = 1000;
    prf->m_dwFirstHelp = 1001;
    std::vector<uint8_t> block(prf->ComputeObjectSizes());
    if (control & kPatchBit) {
        prf->WriteHeaders(block.data());
        for (size_t at = 0; at + 8 <= size; at += 8) {
            uint32_t offset;
            std::memcpy(&offset, data + at, 4);
            offset %= block.size() - 3;
            std::memcpy(&block[offset], data + at + 4, 4);
        }
    } else {
        std::memcpy(block.data(), data, size < block.size() ? size : block.size());
    }
    // Mapped as this process's own block: collected without looking for a writer.
    prf->m_pPrfData = block.data();
    prf->m_cbPrfData = static_cast<uint32_t>(block.size());
    prf->m_fWritable = true;

    const uint32_t room = control & 0xFFF;
    std::vector<uint8_t> out(room);
    std::u16string name = Request(control);
    void* where = out.data();
    uint32_t bytes = room;
    uint32_t objects = 0;
    const uint32_t status = PrfData_Collect(name.data(), &where, &bytes, &objects);
    if (status == 0 && bytes > 0) {
        if (bytes > room || static_cast<uint8_t*>(where) != out.data() + bytes) std::abort();
        if (!mvtool::perfdecode::Decode(out.data(), bytes, objects, &counters) ||
            counters.size() != 22)
            std::abort();
    } else if (bytes != 0 || (status != 0 && status != 234)) {
        std::abort();
    }
    PrfData_Close();

    std::tie(prf->m_pPrfData, prf->m_cbPrfData, prf->m_fWritable, prf->m_dwFirstCounter,
             prf->m_dwFirstHelp) = saved;
    return 0;
}
