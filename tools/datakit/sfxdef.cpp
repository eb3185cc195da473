#include "datakit/sfxdef.h"

#include <filesystem>

#include "core/binio.h"
#include "datakit/datakit.h"

namespace datakit {

namespace {

void Put3(BinWriter& out, const float (&v)[3]) {
    for (float f : v) out.F32(f);
}

// Zeros written after the given texels.
uint64_t TexelPadding(const SfxDefSpec& s) {
    uint64_t texels = uint64_t{s.width} * s.height;
    if (!s.padTexels || texels <= s.texels.size() / 4) return 0;
    return texels * 4 - s.texels.size();
}

}  // namespace

uint64_t SfxDefParameterOffset(const SfxDefSpec& s) { return 272 + s.texels.size() + TexelPadding(s); }

std::vector<uint8_t> MakeSfxDef(const SfxDefSpec& s) {
    std::vector<uint8_t> bytes;
    BinWriter out(bytes);
    out.U32(s.version);
    out.Text(s.textureName, 256);
    out.U32(s.width);
    out.U32(s.height);
    out.U32(s.mipmap);
    out.Bytes(s.texels.data(), s.texels.size());
    out.Zeros(static_cast<size_t>(TexelPadding(s)));
    out.I32(s.particleCount);
    out.F32(s.emissionDuration);
    out.I32(s.birthsBase);
    out.I32(s.birthsSpread);
    out.U32(s.blendMode);
    Put3(out, s.emitterHalfExtents);
    out.F32(s.lifetimeBase);
    out.F32(s.lifetimeSpread);
    out.F32(s.massBase);
    out.F32(s.massSpread);
    Put3(out, s.initialVelocity);
    out.F32(s.velocitySpread);
    out.F32(s.startSize);
    out.F32(s.middleSize);
    out.F32(s.endSize);
    out.F32(s.sizeSpread);
    out.F32(s.startOpacity);
    out.F32(s.middleOpacity);
    out.F32(s.endOpacity);
    Put3(out, s.startColour);
    Put3(out, s.middleColour);
    Put3(out, s.endColour);
    Put3(out, s.gravity);
    Put3(out, s.extraForce);
    out.F32(s.drag);
    out.F32(s.accelerationJitter);
    out.U32(s.particleKind);
    return bytes;
}

bool WriteSfxDef(const std::string& dataFolder, const std::string& name, const SfxDefSpec& spec) {
    std::error_code ec;
    std::filesystem::create_directories(dataFolder + "/SFX", ec);
    return WriteFileBytes(dataFolder + "/SFX/" + name + ".QVp", MakeSfxDef(spec));
}

}  // namespace datakit
