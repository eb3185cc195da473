// Seeds for the particle definition reader: small files with and without texels.
#include "datakit/sfxdef.h"
#include "seeds.h"

namespace {

std::vector<std::pair<std::string, fuzzseeds::Bytes>> SfxDefSeeds() {
    datakit::SfxDefSpec plain;
    plain.texels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    datakit::SfxDefSpec busy = plain;
    busy.textureName = "Smoke.tga";
    busy.width = 4;
    busy.height = 1;
    busy.mipmap = 1;
    busy.particleCount = 300;
    busy.emissionDuration = 2.5f;
    busy.birthsBase = 4;
    busy.birthsSpread = 2;
    busy.blendMode = 1;
    busy.lifetimeSpread = 0.5f;
    busy.massBase = 0;
    busy.sizeSpread = 0.25f;
    busy.particleKind = 2;
    datakit::SfxDefSpec empty;
    empty.width = empty.height = 0;
    empty.particleCount = 0;
    return {{"plain.QVp", datakit::MakeSfxDef(plain)},
            {"busy.QVp", datakit::MakeSfxDef(busy)},
            {"no_texels.QVp", datakit::MakeSfxDef(empty)}};
}

const fuzzseeds::Registration registration("qvp", SfxDefSeeds);

}  // namespace
