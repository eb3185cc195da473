#include "datakit/gtx.h"

#include "core/binio.h"
#include "datakit/datakit.h"

namespace datakit {

std::vector<uint8_t> MakeGtx(const GtxSpec& s) {
    constexpr size_t Entry = 256;
    std::vector<uint8_t> bytes;
    BinWriter out(bytes);
    out.U32(static_cast<uint32_t>(s.declaredCount < 0 ? static_cast<int64_t>(s.entries.size()) : s.declaredCount));
    for (const std::string& text : s.entries) {
        const size_t n = text.size() < Entry ? text.size() : Entry;
        out.Bytes(text.data(), n);
        out.Zeros(Entry - n);
    }
    return bytes;
}

bool WriteGtx(const std::string& path, const GtxSpec& spec) { return WriteFileBytes(path, MakeGtx(spec)); }

}  // namespace datakit
