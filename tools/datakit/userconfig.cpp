#include "datakit/userconfig.h"

#include "core/binio.h"

namespace datakit {

std::vector<uint8_t> MakeUserConfig(const UserConfigSpec& s) {
    std::vector<uint8_t> bytes;
    BinWriter out(bytes);
    auto skipped = [&](int n) {
        for (int i = 0; i < n; ++i) out.U8(s.skippedByte);
    };
    out.U32(s.version);
    if (s.version >= 10002 && s.version <= 10008) out.U32(s.unusedWord);
    for (uint32_t word : {s.width, s.height, s.bitsPerPixel, s.refreshRate, s.fullScreen}) out.U32(word);
    if (s.version >= 10005) out.U32(s.verticalSync);
    out.U32(s.bumpMapping);
    out.U32(s.textureSize);
    if (s.version == 10003) skipped(12);
    if (s.version == 10006 || s.version == 10007) skipped(8);
    if (s.version >= 10007) out.U32(s.tenthWord);
    return bytes;
}

}  // namespace datakit
