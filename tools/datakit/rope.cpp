#include "datakit/rope.h"

#include "core/binio.h"

namespace datakit {

std::vector<uint8_t> MakeRopeChunk(const std::vector<RopeRecord>& records,
                                   std::optional<uint32_t> declaredCount) {
    std::vector<uint8_t> bytes;
    BinWriter out(bytes);
    out.U32(declaredCount.value_or(static_cast<uint32_t>(records.size())));
    for (const RopeRecord& r : records) {
        for (const RopeEnd& e : {r.a, r.b}) {
            out.U32(e.kind);
            out.I32(e.id);
            out.I32(e.point);
            out.U32(e.fixed);
        }
    }
    return bytes;
}

}  // namespace datakit
