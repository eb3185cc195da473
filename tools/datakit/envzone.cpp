#include "datakit/envzone.h"

#include "core/binio.h"

namespace datakit {

std::vector<uint8_t> MakeEnvZoneSection(const EnvZoneSectionSpec& spec) {
    std::vector<uint8_t> bytes;
    BinWriter out(bytes);
    out.I32(spec.present);
    if (spec.present == 0) return bytes;
    out.I32(spec.enabled);
    out.I32(static_cast<int32_t>(spec.declaredCount < 0 ? static_cast<int64_t>(spec.zones.size()) : spec.declaredCount));
    for (const EnvZoneRecord& z : spec.zones) {
        out.U32(z.word0);
        for (float p : z.position) out.F32(p);
        out.U32(z.word16);
        out.F32(z.radiusSquared);
        out.F32(z.value);
        for (uint32_t w : z.words) out.U32(w);
    }
    return bytes;
}

}  // namespace datakit
