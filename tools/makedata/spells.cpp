// The sample spells, the particle effect their thrown ball carries and the ball's mesh.
#include <cstdio>
#include <string>

#include "datakit/mesh.h"
#include "datakit/sfxdef.h"
#include "datakit/spell.h"
#include "sample.h"

namespace {

// A warm glow of 4 x 4 texels, brightest in the middle (stored blue, green, red, alpha).
std::vector<uint8_t> GlowTexels() {
    std::vector<uint8_t> texels;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const bool inner = (x == 1 || x == 2) && (y == 1 || y == 2);
            const uint8_t a = inner ? 255 : 96;
            texels.insert(texels.end(), {uint8_t(inner ? 160 : 32), uint8_t(inner ? 220 : 120), 255, a});
        }
    }
    return texels;
}

}  // namespace

bool WriteSampleSpells(const std::string& datasFolder) {
    datakit::SpellDefSpec definitions;
    datakit::SpellSfxSpec templates;
    datakit::MakeSampleSpells(definitions, templates);
    bool ok = datakit::WriteSpellFiles(datasFolder, definitions, templates);

    datakit::SfxDefSpec fire;
    fire.textureName = "SpellFire.tga";
    fire.width = fire.height = 4;
    fire.texels = GlowTexels();
    fire.particleCount = 96;
    fire.birthsBase = 6;
    fire.blendMode = 2;
    fire.emitterHalfExtents[0] = fire.emitterHalfExtents[1] = fire.emitterHalfExtents[2] = 1.5f;
    fire.lifetimeBase = 0.6f;
    fire.lifetimeSpread = 0.2f;
    fire.velocitySpread = 0.4f;
    fire.startSize = 6.0f;
    fire.middleSize = 4.0f;
    fire.endSize = 1.0f;
    fire.endOpacity = 0.0f;
    fire.middleColour[1] = 0.6f;
    fire.middleColour[2] = 0.2f;
    fire.endColour[0] = 0.8f;
    fire.endColour[1] = 0.2f;
    fire.endColour[2] = 0.0f;
    ok = datakit::WriteSfxDef(datasFolder, datakit::SampleSpellEffect, fire) && ok;

    // The thrown ball: a thrown object whose spell names no type takes this one.
    const std::string ball = datasFolder + "/OBJECTS/EFFECTS/Launch1001.QVo";
    ok = datakit::WriteModelFile(ball, datakit::WriteQvo(datakit::MakeBoxMesh("Launch1001", {3, 3, 3}, "Thunder"))) && ok;
    if (!ok) std::fprintf(stderr, "makedata: cannot write the sample spells\n");
    return ok;
}
