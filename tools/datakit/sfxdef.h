// Particle definition writer: "SFX/<name>.QVp".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

struct SfxDefSpec {
    uint32_t version = 10000;
    // Written into a 256-byte field: longer names are cut to 255 characters.
    std::string textureName = "Spark.tga";
    uint32_t width = 2, height = 2;
    uint32_t mipmap = 0;
    // Texels of 4 bytes as stored (red and blue exchanged), written whole; with padTexels, zeros
    // follow up to width x height texels. Malformed files turn padding off.
    std::vector<uint8_t> texels;
    bool padTexels = true;
    int32_t particleCount = 16;
    float emissionDuration = 0;
    int32_t birthsBase = 1, birthsSpread = 0;
    uint32_t blendMode = 2;
    float emitterHalfExtents[3] = {0, 0, 0};
    float lifetimeBase = 1, lifetimeSpread = 0;
    float massBase = 1, massSpread = 0;
    float initialVelocity[3] = {0, 0, 0};
    float velocitySpread = 0;
    float startSize = 1, middleSize = 1, endSize = 1, sizeSpread = 0;
    float startOpacity = 1, middleOpacity = 1, endOpacity = 1;
    float startColour[3] = {1, 1, 1}, middleColour[3] = {1, 1, 1}, endColour[3] = {1, 1, 1};
    float gravity[3] = {0, 0, 0};
    float extraForce[3] = {0, 0, 0};
    float drag = 0.1f;
    float accelerationJitter = 0;
    uint32_t particleKind = 0;
};

// Offset of the particle count: everything before it is the header and the texels.
uint64_t SfxDefParameterOffset(const SfxDefSpec& spec);
std::vector<uint8_t> MakeSfxDef(const SfxDefSpec& spec);
// Writes SFX/<name>.QVp below dataFolder (creating the folder).
bool WriteSfxDef(const std::string& dataFolder, const std::string& name, const SfxDefSpec& spec);

}  // namespace datakit
