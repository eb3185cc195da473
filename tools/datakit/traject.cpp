#include "datakit/traject.h"

#include <algorithm>

#include "core/binio.h"
#include "core/nztmath.h"

namespace datakit {

std::vector<uint8_t> MakeQvt(const QvtSpec& s) {
    std::vector<uint8_t> bytes;
    BinWriter out(bytes);
    std::string magic = s.magic.substr(0, 18);
    magic.resize(18, '\0');
    out.Bytes(magic.data(), magic.size());
    out.U32(s.version);
    out.Text(s.name, 256);
    const bool old = s.version == 10000;
    const size_t given = old ? s.oldPoints.size() : s.points.size();
    out.U32(static_cast<uint32_t>(s.declaredCount < 0 ? static_cast<int64_t>(given) : s.declaredCount));
    if (old) {
        for (const QvtOldPoint& p : s.oldPoints) {
            out.U32(p.unused);
            for (float f : p.position) out.F32(f);
            for (float f : p.orientation) out.F32(f);
        }
    } else {
        for (const QvtPoint& p : s.points) {
            for (float f : p.position) out.F32(f);
            for (float f : p.target) out.F32(f);
            for (float f : p.orientation) out.F32(f);
        }
    }
    return bytes;
}

QvtPoint MakeQvtPoint(const std::array<float, 3>& position, const std::array<float, 3>& target) {
    QvtPoint point;
    point.position = position;
    point.target = target;
    const Vec3 d{target[0] - position[0], target[1] - position[1], target[2] - position[2]};
    float q[4];
    DirectionToQuat(d, q);
    std::copy(q, q + 4, point.orientation.begin());
    return point;
}

}  // namespace datakit
