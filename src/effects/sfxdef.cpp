#include "effects/sfxdef.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/binio.h"
#include "core/pack.h"
#include "core/paths.h"
#include "render/texture.h"

SfxDef** SfxDefList = nullptr;
uint32_t SfxDefCount = 0;
uint32_t SfxDefCapacity = 0;
SfxQuadBufferSet SfxQuadBuffers;
uint32_t SfxRandomIndex = 0;
uint32_t SfxBirthRandomIndex = 0;

namespace {

// The texture name field of a file, zero-padded.
constexpr uint64_t TextureNameBytes = 256;

void ResizeSfxDefList(uint32_t capacity) {
    SfxDef** list = new SfxDef*[capacity]();
    std::copy(SfxDefList, SfxDefList + SfxDefCount, list);
    delete[] SfxDefList;
    SfxDefList = list;
    SfxDefCapacity = capacity;
}

// The parameters a file sets, at their defaults.
void ResetSfxParameters(SfxDef* def) {
    def->emissionDuration = 0;
    def->birthsBase = def->birthsSpread = 0;
    def->blendMode = SfxDefaultBlendMode;
    def->emitterHalfExtents = {};
    def->lifetimeBase = def->lifetimeSpread = 0;
    def->massBase = def->massSpread = 0;
    def->initialVelocity = {};
    def->velocitySpread = 0;
    def->startSize = def->middleSize = def->endSize = 1;
    def->sizeSpread = 0;
    def->startOpacity = def->middleOpacity = def->endOpacity = 1;
    def->startColour = def->middleColour = def->endColour = {1, 1, 1};
    def->gravity = {};
    def->extraForce = {};
    def->drag = 0.1f;
    def->accelerationJitter = 0;
    def->particleKind = SfxParticlePlain;
}

// The texture of a definition file: shared with an earlier load of the same name, else made from
// the file's texels (stored with red and blue exchanged).
uint32_t LoadSfxTexture(SfxDefFileData& data) {
    uint32_t found = FindTexture(data.textureName, 0);
    if (found != TextureMiss) return found;
    if (!data.texels.empty()) SwapRgbaBytes(data.texels.data(), static_cast<int>(data.width), static_cast<int>(data.height));
    return UploadTexture(data.texels.empty() ? nullptr : data.texels.data(), data.width, data.height, 32, data.mipmap, 1,
                         0);
}

float Slope(float from, float to, float halfLifetime) { return (to - from) / halfLifetime; }

}  // namespace

float NextSfxRandom() { return RandomTable[SfxRandomIndex++ & RandomTableMask]; }

float NextSfxBirthRandom() { return RandomTable[SfxBirthRandomIndex++ & RandomTableMask]; }

float SfxRandomSpread(float base, float spread) { return base + (2.0f * spread * NextSfxRandom() - spread); }

SfxDef* CreateSfxDef() {
    if (SfxDefCount >= SfxDefCapacity) ResizeSfxDefList(SfxDefCount + 10);
    SfxDef* def = new SfxDef;
    InitSfxDef(def);
    SfxDefList[SfxDefCount++] = def;
    return def;
}

void DeleteSfxDefAt(uint32_t index, bool shrink) {
    if (index >= SfxDefCount) return;
    if (SfxDef* def = SfxDefList[index]) {
        FreeSfxDef(def);
        delete def;
    }
    std::copy(SfxDefList + index + 1, SfxDefList + SfxDefCount, SfxDefList + index);
    SfxDefList[--SfxDefCount] = nullptr;
    if (shrink && SfxDefCapacity > SfxDefCount + 20) ResizeSfxDefList(SfxDefCount + 10);
}

int32_t IndexOfSfxDef(const SfxDef* def) {
    for (uint32_t i = SfxDefCount; i-- > 0;)
        if (SfxDefList[i] == def) return static_cast<int32_t>(i);
    return -1;
}

void FreeAllSfxDefs() {
    while (SfxDefCount > 0) DeleteSfxDefAt(SfxDefCount - 1, false);
    delete[] SfxDefList;
    SfxDefList = nullptr;
    SfxDefCapacity = 0;
    FreeSfxQuadBuffers();
}

void InitSfxDef(SfxDef* def) {
    def->version = 0;
    std::fill(std::begin(def->rotation), std::end(def->rotation), 0.0f);
    def->rotationPtr = def->rotation;
    def->viewDepth = def->cameraDistanceSq = 0;
    def->particleCount = 0;
    std::vector<SfxParticle>().swap(def->particles);
    def->userCount = 0;
    def->visible = 0;
    def->halfExtents = {};
    def->bound = 0;
    def->meshSource = nullptr;
    def->vertexSource = nullptr;
    def->emitting = 0;
    std::fill(std::begin(def->emitterPosition), std::end(def->emitterPosition), 0.0f);
    def->emitterPositionPtr = def->emitterPosition;
    def->emissionTime = 0;
    def->worldSpace = 0;
    def->referenceHeight = 0;
    def->texture = 0;
    def->file.CloseAndClear();
    ResetSfxParameters(def);
}

bool SfxDefFileName(char* out, size_t outBytes, const char* typeName) {
    if (!IsPlainName(typeName)) {
        std::fprintf(stderr, "sfx: effect name refused: %s\n", typeName ? typeName : "(null)");
        return false;
    }
    if (!FormatPath(out, outBytes, "SFX/%s.QVp", typeName)) {
        std::fprintf(stderr, "sfx: effect name too long: %.64s...\n", typeName);
        return false;
    }
    return true;
}

bool ParseSfxDef(SfxDef* def, BinReader& in, SfxDefFileData* data, std::string* fault) {
    def->version = in.U32();
    if (in.Failed()) {
        *fault = "truncated before the version";
        return false;
    }
    if (def->version != SfxDefVersion) {
        *fault = "version " + std::to_string(def->version) + ", expected " + std::to_string(SfxDefVersion);
        return false;
    }
    in.Text(data->textureName, sizeof data->textureName, TextureNameBytes);
    data->width = in.U32();
    data->height = in.U32();
    data->mipmap = in.U32();
    if (in.Failed()) {
        *fault = "truncated in the texture header";
        return false;
    }
    // Both factors are below 2^32, so their product fits in 64 bits; the byte count is formed only
    // once it is known to be in the file.
    uint64_t texelCount = uint64_t{data->width} * data->height;
    if (texelCount > in.Remaining() / 4) {
        *fault = "texture of " + std::to_string(data->width) + " x " + std::to_string(data->height) +
                 " texels runs past the end";
        return false;
    }
    data->texels.resize(texelCount * 4);
    in.Read(data->texels.data(), texelCount * 4);

    data->particleCount = in.I32();
    def->emissionDuration = in.F32();
    def->birthsBase = in.I32();
    def->birthsSpread = in.I32();
    def->blendMode = in.U32();
    def->emitterHalfExtents = ReadVec3(in);
    def->lifetimeBase = in.F32();
    def->lifetimeSpread = in.F32();
    def->massBase = in.F32();
    def->massSpread = in.F32();
    def->initialVelocity = ReadVec3(in);
    def->velocitySpread = in.F32();
    def->startSize = in.F32();
    def->middleSize = in.F32();
    def->endSize = in.F32();
    def->sizeSpread = in.F32();
    def->startOpacity = in.F32();
    def->middleOpacity = in.F32();
    def->endOpacity = in.F32();
    def->startColour = ReadVec3(in);
    def->middleColour = ReadVec3(in);
    def->endColour = ReadVec3(in);
    def->gravity = ReadVec3(in);
    def->extraForce = ReadVec3(in);
    def->drag = in.F32();
    def->accelerationJitter = in.F32();
    def->particleKind = in.U32();
    if (in.Failed()) {
        *fault = "truncated in the particle parameters";
        return false;
    }
    if (data->particleCount > MaxSfxParticles) {
        *fault = "particle count " + std::to_string(data->particleCount) + " above " + std::to_string(MaxSfxParticles);
        return false;
    }
    return true;
}

int ReadSfxDef(SfxDef* def, const char* name) {
    if (!name || !def->file.OpenRead(name, PackTrees[PackSfx])) return 0;
    SfxDefFileData data;
    std::string fault;
    BinReader in(def->file);
    bool parsed = ParseSfxDef(def, in, &data, &fault);
    CloseSfxDefFile(def);
    if (!parsed) {
        std::fprintf(stderr, "sfx: %s: %s\n", name, fault.c_str());
        ResetSfxParameters(def);
        return 0;
    }
    uint32_t texture = LoadSfxTexture(data);
    if (def->texture) ReleaseTexture(def->texture);
    def->texture = texture;
    PrepareSfxParticles(def, data.particleCount);
    return 1;
}

void PrepareSfxParticles(SfxDef* def, int32_t particleCount) {
    SetSfxParticleCount(def, particleCount);
    GrowSfxQuadBuffers(def->particleCount);
    ComputeSfxBounds(def);
    InitSfxParticles(def);
    ResetSfxParticles(def);
}

void SetSfxParticleCount(SfxDef* def, int32_t count) {
    count = std::clamp(count, 1, MaxSfxParticles);
    if (count == def->particleCount) return;
    def->particles.resize(static_cast<size_t>(count));
    def->particleCount = count;
    InitSfxParticles(def);
}

void InitSfxParticles(SfxDef* def) {
    GrowSfxQuadBuffers(def->particleCount);
    for (SfxParticle& p : def->particles) {
        p.state = 0;
        p.age = 0;
        p.lifetime = SfxRandomSpread(def->lifetimeBase, def->lifetimeSpread);
        p.halfLifetime = p.lifetime * 0.5f;
        p.mass = SfxRandomSpread(def->massBase, def->massSpread);
        p.inverseMass = p.mass != 0 ? 1.0f / p.mass : 1.0f;
        p.force = (def->gravity * p.mass - def->initialVelocity * def->drag + def->extraForce) * p.inverseMass;
        p.startHalfSize = SfxRandomSpread(def->startSize, def->sizeSpread) * 0.5f;
        p.middleHalfSize = SfxRandomSpread(def->middleSize, def->sizeSpread) * 0.5f;
        p.endHalfSize = SfxRandomSpread(def->endSize, def->sizeSpread) * 0.5f;
        p.halfSize = p.startHalfSize;
        float h = p.halfLifetime;
        p.sizeSlope1 = Slope(p.startHalfSize, p.middleHalfSize, h);
        p.sizeSlope2 = Slope(p.middleHalfSize, p.endHalfSize, h);
        p.opacitySlope1 = Slope(def->startOpacity, def->middleOpacity, h);
        p.opacitySlope2 = Slope(def->middleOpacity, def->endOpacity, h);
        p.redSlope1 = Slope(def->startColour.x, def->middleColour.x, h);
        p.redSlope2 = Slope(def->middleColour.x, def->endColour.x, h);
        p.greenSlope1 = Slope(def->startColour.y, def->middleColour.y, h);
        p.greenSlope2 = Slope(def->middleColour.y, def->endColour.y, h);
        p.blueSlope1 = Slope(def->startColour.z, def->middleColour.z, h);
        p.blueSlope2 = Slope(def->middleColour.z, def->endColour.z, h);
    }
}

void ComputeSfxBounds(SfxDef* def) {
    def->emissionTime = def->emissionDuration;
    float m = std::max({def->startSize, def->middleSize, def->endSize}) + def->sizeSpread;
    def->halfExtents = def->emitterHalfExtents + Vec3{m, m, m};
    def->bound = std::max({def->halfExtents.x, def->halfExtents.y, def->halfExtents.z});
}

void ResetSfxParticles(SfxDef* def) {
    def->emissionTime = def->emissionDuration;
    def->emitting = 0;
    for (SfxParticle& p : def->particles) {
        p.state = 0;
        p.age = 0;
    }
}

void CloseSfxDefFile(SfxDef* def) { def->file.CloseAndClear(); }

void FreeSfxDef(SfxDef* def) {
    if (def->texture) {
        ReleaseTexture(def->texture);
        def->texture = 0;
    }
    // The buffers serve every definition: they go with the last one, with or without particles.
    uint32_t others = SfxDefCount - (IndexOfSfxDef(def) >= 0 ? 1 : 0);
    if (others == 0) FreeSfxQuadBuffers();
    def->particleCount = 0;
    std::vector<SfxParticle>().swap(def->particles);
    CloseSfxDefFile(def);
}

void GrowSfxQuadBuffers(int32_t count) {
    if (count <= 0 || static_cast<uint32_t>(count) <= SfxQuadBuffers.capacity) return;
    SfxQuadBufferSet& b = SfxQuadBuffers;
    const size_t slots = static_cast<size_t>(count);
    b.vertices.resize(slots * 4 * 3);
    b.colours.resize(slots * 4 * 4);
    b.texCoords.resize(slots * 4 * 2);
    b.indices.resize(slots * 4);
    static constexpr float Corners[8] = {0, 1, 1, 1, 1, 0, 0, 0};
    for (size_t i = b.capacity; i < slots; ++i) {
        std::copy(std::begin(Corners), std::end(Corners), b.texCoords.begin() + static_cast<ptrdiff_t>(i * 8));
        for (uint32_t k = 0; k < 4; ++k) b.indices[i * 4 + k] = static_cast<uint32_t>(i * 4 + k);
    }
    b.capacity = static_cast<uint32_t>(count);
}

void FreeSfxQuadBuffers() { SfxQuadBuffers = SfxQuadBufferSet{}; }
