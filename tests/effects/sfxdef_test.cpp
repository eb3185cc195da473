// Particle definitions: the .QVp reader, the particle set-up, the definition list and the shared
// quad buffers. The unit suites register the file's texture in the texture table beforehand, so
// that reading shares it without GL; GlSfxDefTexture uploads texels through a real context.
#include <GL/gl.h>
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/binio.h"
#include "core/nztmath.h"
#include "core/pack.h"
#include "core/paths.h"
#include "core/scratch.h"
#include "datakit/pack.h"
#include "datakit/sfxdef.h"
#include "effects/sfxdef.h"
#include "render/texture.h"
#include "support/gl_window.h"

namespace {

using datakit::SfxDefSpec;

constexpr uint32_t FakeTexture = 77;

// A spec whose every parameter differs from the defaults and from the others.
SfxDefSpec BusySpec() {
    SfxDefSpec s;
    s.textureName = "Smoke.tga";
    s.particleCount = 5;
    s.emissionDuration = 2.5f;
    s.birthsBase = 3;
    s.birthsSpread = 2;
    s.blendMode = 7;
    s.emitterHalfExtents[0] = 1;
    s.emitterHalfExtents[1] = 2;
    s.emitterHalfExtents[2] = 3;
    s.lifetimeBase = 4;
    s.lifetimeSpread = 0.5f;
    s.massBase = 2;
    s.massSpread = 0.25f;
    s.initialVelocity[0] = 0.5f;
    s.initialVelocity[1] = 6;
    s.initialVelocity[2] = -1.5f;
    s.velocitySpread = 0.75f;
    s.startSize = 2;
    s.middleSize = 5;
    s.endSize = 3;
    s.sizeSpread = 0.5f;
    s.startOpacity = 0.9f;
    s.middleOpacity = 0.6f;
    s.endOpacity = 0.1f;
    s.startColour[0] = 0.11f, s.startColour[1] = 0.12f, s.startColour[2] = 0.13f;
    s.middleColour[0] = 0.21f, s.middleColour[1] = 0.22f, s.middleColour[2] = 0.23f;
    s.endColour[0] = 0.31f, s.endColour[1] = 0.32f, s.endColour[2] = 0.33f;
    s.gravity[0] = 0.1f, s.gravity[1] = -9.8f, s.gravity[2] = 0.3f;
    s.extraForce[0] = 1.5f, s.extraForce[1] = 2.5f, s.extraForce[2] = 3.5f;
    s.drag = 0.4f;
    s.accelerationJitter = 0.05f;
    s.particleKind = 2;
    return s;
}

void ExpectVec(const Vec3& v, const float (&e)[3], const char* what) {
    EXPECT_FLOAT_EQ(v.x, e[0]) << what;
    EXPECT_FLOAT_EQ(v.y, e[1]) << what;
    EXPECT_FLOAT_EQ(v.z, e[2]) << what;
}

// The parameters a failed read must leave at their defaults.
void ExpectDefaults(const SfxDef& def) {
    EXPECT_EQ(def.particleCount, 0);
    EXPECT_TRUE(def.particles.empty());
    EXPECT_EQ(def.texture, 0u);
    EXPECT_EQ(def.blendMode, 2u);
    EXPECT_FLOAT_EQ(def.drag, 0.1f);
    EXPECT_FLOAT_EQ(def.startSize, 1.0f);
    EXPECT_FLOAT_EQ(def.endOpacity, 1.0f);
    EXPECT_FLOAT_EQ(def.middleColour.y, 1.0f);
    EXPECT_EQ(def.birthsBase, 0);
    EXPECT_EQ(def.particleKind, 0u);
    EXPECT_FLOAT_EQ(def.emissionDuration, 0.0f);
    EXPECT_FALSE(def.file.IsOpen());
}

class SfxDefTest : public ::testing::Test {
protected:
    void SetUp() override {
        BuildRandomTable();
        ClearTextureTable();
        SfxRandomIndex = SfxBirthRandomIndex = 0;
    }
    void TearDown() override {
        FreeAllSfxDefs();
        ClearTextureTable();
    }

    // A texture already loaded under name: reading a file that names it shares it without GL.
    static TextureEntry& Register(const char* name, uint32_t id = FakeTexture) {
        TextureEntry& e = TextureTable[TextureCount++];
        e = TextureEntry{id, 1, NameChecksum(name), 0, 1};
        return e;
    }

    SfxDef* ReadFile(const std::string& name, const std::vector<uint8_t>& bytes, int* result) {
        data_.WriteData("SFX/" + name + ".QVp", bytes);
        ClearPathCache();
        SfxDef* def = CreateSfxDef();
        *result = ReadSfxDef(def, ("SFX/" + name + ".QVp").c_str());
        return def;
    }

    DataFolderScope data_;
};

TEST_F(SfxDefTest, ReadsEveryParameterAndStartsIdle) {
    SfxDefSpec s = BusySpec();
    TextureEntry& texture = Register("Smoke.tga");
    int result = 0;
    SfxDef* def = ReadFile("fire", datakit::MakeSfxDef(s), &result);
    ASSERT_EQ(result, 1);

    EXPECT_EQ(def->version, 10000u);
    EXPECT_EQ(def->texture, FakeTexture);
    EXPECT_EQ(texture.refCount, 2u);
    EXPECT_EQ(def->particleCount, 5);
    EXPECT_EQ(def->particles.size(), 5u);
    EXPECT_FLOAT_EQ(def->emissionDuration, 2.5f);
    EXPECT_EQ(def->birthsBase, 3);
    EXPECT_EQ(def->birthsSpread, 2);
    EXPECT_EQ(def->blendMode, 7u);
    ExpectVec(def->emitterHalfExtents, s.emitterHalfExtents, "emitter");
    EXPECT_FLOAT_EQ(def->lifetimeBase, 4);
    EXPECT_FLOAT_EQ(def->lifetimeSpread, 0.5f);
    EXPECT_FLOAT_EQ(def->massBase, 2);
    EXPECT_FLOAT_EQ(def->massSpread, 0.25f);
    ExpectVec(def->initialVelocity, s.initialVelocity, "velocity");
    EXPECT_FLOAT_EQ(def->velocitySpread, 0.75f);
    EXPECT_FLOAT_EQ(def->startSize, 2);
    EXPECT_FLOAT_EQ(def->middleSize, 5);
    EXPECT_FLOAT_EQ(def->endSize, 3);
    EXPECT_FLOAT_EQ(def->sizeSpread, 0.5f);
    EXPECT_FLOAT_EQ(def->startOpacity, 0.9f);
    EXPECT_FLOAT_EQ(def->middleOpacity, 0.6f);
    EXPECT_FLOAT_EQ(def->endOpacity, 0.1f);
    ExpectVec(def->startColour, s.startColour, "start colour");
    ExpectVec(def->middleColour, s.middleColour, "middle colour");
    ExpectVec(def->endColour, s.endColour, "end colour");
    ExpectVec(def->gravity, s.gravity, "gravity");
    ExpectVec(def->extraForce, s.extraForce, "extra force");
    EXPECT_FLOAT_EQ(def->drag, 0.4f);
    EXPECT_FLOAT_EQ(def->accelerationJitter, 0.05f);
    EXPECT_EQ(def->particleKind, 2u);

    // Not from the file: world-space and the pointers keep their defaults.
    EXPECT_EQ(def->worldSpace, 0u);
    EXPECT_EQ(def->rotationPtr, def->rotation);
    EXPECT_EQ(def->emitterPositionPtr, def->emitterPosition);
    EXPECT_FALSE(def->file.IsOpen());

    // Bounds: emitter half-extents + the largest size (5) + the size spread.
    EXPECT_FLOAT_EQ(def->halfExtents.x, 6.5f);
    EXPECT_FLOAT_EQ(def->halfExtents.y, 7.5f);
    EXPECT_FLOAT_EQ(def->halfExtents.z, 8.5f);
    EXPECT_FLOAT_EQ(def->bound, 8.5f);

    EXPECT_FLOAT_EQ(def->emissionTime, 2.5f);  // idle until an effect restarts it
    EXPECT_EQ(def->emitting, 0u);
    for (const SfxParticle& p : def->particles) {
        EXPECT_EQ(p.state, 0u);
        EXPECT_EQ(p.age, 0.0f);
    }
    EXPECT_GE(SfxQuadBuffers.capacity, 5u);
}

TEST_F(SfxDefTest, ReadsFromTheSfxPackBeforeLooseFiles) {
    SfxDefSpec packed;
    packed.blendMode = 4;
    datakit::PackFolderSpec sfx{"SFX", {}, {}};
    sfx.files.push_back(datakit::PackFile("Rain.QVp", datakit::MakeSfxDef(packed), true));
    data_.WriteData("Sfx.QVz", datakit::MakePack({sfx}));
    SfxDefSpec loose;
    loose.blendMode = 5;
    data_.WriteData("SFX/Rain.QVp", datakit::MakeSfxDef(loose));
    Register("Spark.tga");

    OpenDataPacks();
    ASSERT_NE(PackTrees[PackSfx], nullptr);
    SfxDef* def = CreateSfxDef();
    ASSERT_EQ(ReadSfxDef(def, "SFX/Rain.QVp"), 1);
    EXPECT_EQ(def->blendMode, 4u);
}

TEST_F(SfxDefTest, EmissionStartsAtTheDurationWhateverItsSign) {
    Register("Spark.tga");
    for (float duration : {2.0f, 0.0f, -1.0f}) {
        SfxDefSpec s;
        s.emissionDuration = duration;
        int result = 0;
        SfxDef* def = ReadFile("emit", datakit::MakeSfxDef(s), &result);
        ASSERT_EQ(result, 1);
        EXPECT_EQ(def->emissionTime, duration);
        EXPECT_EQ(def->emitting, 0u);
    }
}

TEST_F(SfxDefTest, ParticleCountIsAtLeastOneAndBounded) {
    Register("Spark.tga");
    struct Case {
        int32_t count;
        int32_t expected;
    } cases[] = {{0, 1}, {-5, 1}, {1, 1}, {7, 7}, {MaxSfxParticles, MaxSfxParticles}};
    for (const Case& c : cases) {
        SfxDefSpec s;
        s.particleCount = c.count;
        int result = 0;
        SfxDef* def = ReadFile("count", datakit::MakeSfxDef(s), &result);
        ASSERT_EQ(result, 1) << c.count;
        EXPECT_EQ(def->particleCount, c.expected) << c.count;
        EXPECT_EQ(def->particles.size(), static_cast<size_t>(c.expected)) << c.count;
    }
    // Callers are clamped the same way.
    SfxDef* def = CreateSfxDef();
    SetSfxParticleCount(def, MaxSfxParticles + 1);
    EXPECT_EQ(def->particleCount, MaxSfxParticles);
    SetSfxParticleCount(def, INT32_MIN);
    EXPECT_EQ(def->particleCount, 1);
}

TEST_F(SfxDefTest, ParticlesAreSetUpAgainOnlyWhenTheCountChanges) {
    SfxDef* def = CreateSfxDef();
    SetSfxParticleCount(def, 3);
    for (SfxParticle& p : def->particles) p.state = 1;
    SetSfxParticleCount(def, 3);
    EXPECT_EQ(def->particles[2].state, 1u);
    SetSfxParticleCount(def, 4);
    for (const SfxParticle& p : def->particles) EXPECT_EQ(p.state, 0u);

    for (SfxParticle& p : def->particles) p.state = 1, p.age = 3;
    def->emitting = 1;
    def->emissionDuration = 1.5f;
    def->emissionTime = 0.2f;
    ResetSfxParticles(def);
    EXPECT_EQ(def->emitting, 0u);
    EXPECT_EQ(def->emissionTime, 1.5f);
    for (const SfxParticle& p : def->particles) EXPECT_TRUE(p.state == 0 && p.age == 0);
}

// Each particle draws lifetime, mass and its three sizes from the first cursor in that order.
TEST_F(SfxDefTest, EachParticleDrawsItsOwnValues) {
    SfxDef* def = CreateSfxDef();
    def->lifetimeBase = 2, def->lifetimeSpread = 0.5f;
    def->massBase = 3, def->massSpread = 1;
    def->startSize = 2, def->middleSize = 4, def->endSize = 6, def->sizeSpread = 0.5f;
    def->startOpacity = 1, def->middleOpacity = 0.5f, def->endOpacity = 0;
    def->startColour = {1, 0, 0.5f}, def->middleColour = {0, 1, 0.5f}, def->endColour = {0.5f, 0.5f, 1};
    SetSfxParticleCount(def, 3);
    SfxRandomIndex = 100;
    InitSfxParticles(def);
    EXPECT_EQ(SfxRandomIndex, 115u);

    auto spread = [](float base, float spread, int index) {
        return base + (2.0f * spread * RandomTable[index] - spread);
    };
    for (int i = 0; i < 3; ++i) {
        const SfxParticle& p = def->particles[static_cast<size_t>(i)];
        int r = 100 + 5 * i;
        float life = spread(2, 0.5f, r), half = life * 0.5f;
        float start = spread(2, 0.5f, r + 2) * 0.5f, middle = spread(4, 0.5f, r + 3) * 0.5f,
              end = spread(6, 0.5f, r + 4) * 0.5f;
        EXPECT_FLOAT_EQ(p.lifetime, life);
        EXPECT_FLOAT_EQ(p.halfLifetime, half);
        EXPECT_FLOAT_EQ(p.mass, spread(3, 1, r + 1));
        EXPECT_FLOAT_EQ(p.startHalfSize, start);
        EXPECT_FLOAT_EQ(p.middleHalfSize, middle);
        EXPECT_FLOAT_EQ(p.endHalfSize, end);
        EXPECT_FLOAT_EQ(p.halfSize, start);
        EXPECT_FLOAT_EQ(p.sizeSlope1, (middle - start) / half);
        EXPECT_FLOAT_EQ(p.sizeSlope2, (end - middle) / half);
        EXPECT_FLOAT_EQ(p.opacitySlope1, -0.5f / half);
        EXPECT_FLOAT_EQ(p.opacitySlope2, -0.5f / half);
        EXPECT_FLOAT_EQ(p.redSlope1, -1 / half);
        EXPECT_FLOAT_EQ(p.greenSlope2, -0.5f / half);
        EXPECT_FLOAT_EQ(p.blueSlope1, 0);
        EXPECT_FLOAT_EQ(p.blueSlope2, 0.5f / half);
        EXPECT_EQ(p.state, 0u);
        EXPECT_EQ(p.age, 0.0f);
    }
}

TEST_F(SfxDefTest, ForceIsGravityDragAndExtraForceOverTheMass) {
    struct Case {
        float mass;
        Vec3 velocity;
        float inverse;
        Vec3 force;
    } cases[] = {
        // No mass: no gravity, the inverse mass is 1, so with no drag term the force is the extra force.
        {0, {0, 0, 0}, 1, {1, 2, 3}},
        // (g m - drag v + extra) / m with g = (0, -10, 0), drag 0.5, extra (1, 2, 3).
        {2, {4, 0, -2}, 0.5f, {(0 - 2 + 1) * 0.5f, (-20 - 0 + 2) * 0.5f, (0 + 1 + 3) * 0.5f}},
        {-4, {0, 0, 0}, -0.25f, {-0.25f, -10 - 0.5f, -0.75f}},
    };
    for (const Case& c : cases) {
        SfxDef* def = CreateSfxDef();
        def->massBase = c.mass;
        def->gravity = {0, -10, 0};
        def->drag = 0.5f;
        def->initialVelocity = c.velocity;
        def->extraForce = {1, 2, 3};
        SetSfxParticleCount(def, 2);
        for (const SfxParticle& p : def->particles) {
            EXPECT_EQ(p.mass, c.mass);
            EXPECT_EQ(p.inverseMass, c.inverse) << c.mass;
            EXPECT_FLOAT_EQ(p.force.x, c.force.x) << c.mass;
            EXPECT_FLOAT_EQ(p.force.y, c.force.y) << c.mass;
            EXPECT_FLOAT_EQ(p.force.z, c.force.z) << c.mass;
        }
    }
}

TEST_F(SfxDefTest, AMissingFileLeavesTheDefaultsSilently) {
    SfxDef* def = CreateSfxDef();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ReadSfxDef(def, "SFX/Nothing.QVp"), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ExpectDefaults(*def);
    EXPECT_EQ(IndexOfSfxDef(def), 0);  // stays in the list, drawing nothing
}

TEST_F(SfxDefTest, MalformedFilesAreRefusedWithDefaultsKept) {
    SfxDefSpec good = BusySpec();
    good.texels.assign(16, 9);
    const std::vector<uint8_t> bytes = datakit::MakeSfxDef(good);
    const uint64_t p = datakit::SfxDefParameterOffset(good);
    auto cut = [&](uint64_t n) { return std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n)); };
    auto with = [](SfxDefSpec s, auto change) {
        change(s);
        return datakit::MakeSfxDef(s);
    };
    struct Case {
        std::string what;
        std::vector<uint8_t> file;
    };
    std::vector<Case> cases = {
        {"empty", {}},
        {"in the version", cut(2)},
        {"before the texture name", cut(4)},
        {"in the texture name", cut(100)},
        {"before the width", cut(260)},
        {"before the height", cut(264)},
        {"before the mip-map flag", cut(268)},
        {"before the texels", cut(272)},
        {"in the texels", cut(280)},
        {"version 9999", with(good, [](SfxDefSpec& s) { s.version = 9999; })},
        {"version 10001", with(good, [](SfxDefSpec& s) { s.version = 10001; })},
        {"huge texture", with(good, [](SfxDefSpec& s) { s.width = s.height = 0xFFFFFFFFu, s.padTexels = false; })},
        {"texture past the end", with(good, [](SfxDefSpec& s) { s.width = 65536, s.height = 65536, s.padTexels = false; })},
        {"texels one short", with(good, [](SfxDefSpec& s) { s.width = 46, s.height = 1, s.padTexels = false; })},
        {"too many particles", with(good, [](SfxDefSpec& s) { s.particleCount = MaxSfxParticles + 1; })},
        {"most particles", with(good, [](SfxDefSpec& s) { s.particleCount = INT32_MAX; })},
    };
    // Cut at every parameter word and inside the last one.
    for (uint64_t word = 0; word <= 40; ++word) cases.push_back({"parameter " + std::to_string(word), cut(p + 4 * word)});
    cases.push_back({"inside the particle kind", cut(p + 162)});

    TextureEntry& texture = Register("Smoke.tga");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::testing::internal::CaptureStderr();
        int result = 1;
        SfxDef* def = ReadFile("Bad", c.file, &result);
        std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, 0);
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(err.rfind("sfx: SFX/Bad.QVp: ", 0), 0u) << err;
        ExpectDefaults(*def);
        EXPECT_EQ(texture.refCount, 1u);
        EXPECT_EQ(TextureCount, 1u);
    }
}

TEST_F(SfxDefTest, EveryShortenedFileFailsToParse) {
    SfxDefSpec s = BusySpec();
    const std::vector<uint8_t> bytes = datakit::MakeSfxDef(s);
    for (size_t n = 0; n <= bytes.size(); ++n) {
        SfxDef def;
        InitSfxDef(&def);
        BinReader in(bytes.data(), n);
        SfxDefFileData data;
        std::string fault;
        EXPECT_EQ(ParseSfxDef(&def, in, &data, &fault), n == bytes.size()) << n;
        EXPECT_EQ(fault.empty(), n == bytes.size()) << n;
    }
}

TEST_F(SfxDefTest, ATextureNameWithoutTerminatorIsCut) {
    std::vector<uint8_t> bytes = datakit::MakeSfxDef(SfxDefSpec{});
    std::fill(bytes.begin() + 4, bytes.begin() + 260, static_cast<uint8_t>('A'));
    TextureEntry& texture = Register(std::string(255, 'A').c_str());
    int result = 0;
    SfxDef* def = ReadFile("long", bytes, &result);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(def->texture, FakeTexture);
    EXPECT_EQ(texture.refCount, 2u);
}

TEST_F(SfxDefTest, DefinitionsShareATextureAndReleaseItWhenFreed) {
    TextureEntry& texture = Register("Spark.tga");
    SfxDefSpec a, b;
    b.texels.assign(16, 200);  // another picture under the same name is not used
    int result = 0;
    SfxDef* first = ReadFile("a", datakit::MakeSfxDef(a), &result);
    ASSERT_EQ(result, 1);
    SfxDef* second = ReadFile("b", datakit::MakeSfxDef(b), &result);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(first->texture, FakeTexture);
    EXPECT_EQ(second->texture, FakeTexture);
    EXPECT_EQ(texture.refCount, 3u);
    EXPECT_EQ(TextureCount, 1u);

    DeleteSfxDefAt(static_cast<uint32_t>(IndexOfSfxDef(first)), false);
    EXPECT_EQ(texture.refCount, 2u);
    FreeAllSfxDefs();
    EXPECT_EQ(texture.refCount, 1u);
}

TEST_F(SfxDefTest, ListGrowsAndShrinksByTen) {
    std::vector<SfxDef*> made;
    for (int i = 0; i < 31; ++i) made.push_back(CreateSfxDef());
    EXPECT_EQ(SfxDefCount, 31u);
    EXPECT_EQ(SfxDefCapacity, 40u);
    EXPECT_EQ(IndexOfSfxDef(made[30]), 30);

    DeleteSfxDefAt(0, false);  // the tail moves down
    EXPECT_EQ(IndexOfSfxDef(made[1]), 0);
    EXPECT_EQ(IndexOfSfxDef(made[30]), 29);
    EXPECT_EQ(SfxDefList[30], nullptr);
    DeleteSfxDefAt(SfxDefCount, true);  // outside the list: nothing
    EXPECT_EQ(SfxDefCount, 30u);

    while (SfxDefCount > 11) DeleteSfxDefAt(SfxDefCount - 1, false);
    EXPECT_EQ(SfxDefCapacity, 40u);
    DeleteSfxDefAt(SfxDefCount - 1, true);
    EXPECT_EQ(SfxDefCount, 10u);
    EXPECT_EQ(SfxDefCapacity, 20u);
    EXPECT_EQ(IndexOfSfxDef(made[10]), 9);
    EXPECT_EQ(IndexOfSfxDef(made[11]), -1);

    FreeAllSfxDefs();
    EXPECT_EQ(SfxDefCount, 0u);
    EXPECT_EQ(SfxDefCapacity, 0u);
    EXPECT_EQ(SfxDefList, nullptr);
}

TEST_F(SfxDefTest, QuadBuffersGrowWithFixedCornersAndGoWithTheLastDefinition) {
    GrowSfxQuadBuffers(2);
    SfxQuadBuffers.vertices[0] = 42;
    GrowSfxQuadBuffers(1);  // never shrinks
    GrowSfxQuadBuffers(3);
    const SfxQuadBufferSet& b = SfxQuadBuffers;
    ASSERT_EQ(b.capacity, 3u);
    EXPECT_EQ(b.vertices.size(), 36u);
    EXPECT_EQ(b.colours.size(), 48u);
    EXPECT_EQ(b.vertices[0], 42);
    for (uint32_t slot = 0; slot < 3; ++slot) {
        const float corners[8] = {0, 1, 1, 1, 1, 0, 0, 0};
        EXPECT_TRUE(std::equal(corners, corners + 8, b.texCoords.begin() + slot * 8)) << slot;
        for (uint32_t k = 0; k < 4; ++k) EXPECT_EQ(b.indices[slot * 4 + k], slot * 4 + k);
    }

    // The buffers outlive every definition but the last, even when the last has no particles.
    SfxDef* withParticles = CreateSfxDef();
    SetSfxParticleCount(withParticles, 8);
    SfxDef* empty = CreateSfxDef();
    EXPECT_EQ(SfxQuadBuffers.capacity, 8u);
    DeleteSfxDefAt(static_cast<uint32_t>(IndexOfSfxDef(withParticles)), false);
    EXPECT_EQ(SfxQuadBuffers.capacity, 8u);
    DeleteSfxDefAt(static_cast<uint32_t>(IndexOfSfxDef(empty)), false);
    EXPECT_EQ(SfxQuadBuffers.capacity, 0u);
    EXPECT_TRUE(SfxQuadBuffers.indices.empty());
}

TEST(SfxDefFileNames, PlainNamesOnly) {
    struct Case {
        const char* name;
        const char* path;  // null: refused
    } cases[] = {
        {"Fire", "SFX/Fire.QVp"}, {"Fire.Big", "SFX/Fire.Big.QVp"}, {"../Fire", nullptr},
        {"a/b", nullptr},         {"a\\b", nullptr},                 {"", nullptr},
        {nullptr, nullptr},
    };
    for (const Case& c : cases) {
        char out[64] = "untouched";
        ::testing::internal::CaptureStderr();
        bool ok = SfxDefFileName(out, sizeof out, c.name);
        std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(ok, c.path != nullptr) << (c.name ? c.name : "(null)");
        if (c.path) {
            EXPECT_STREQ(out, c.path);
        }
        EXPECT_EQ(err.empty(), ok) << err;
    }
    char small[16];
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(SfxDefFileName(small, sizeof small, "AVeryLongEffectName"));
    EXPECT_NE(::testing::internal::GetCapturedStderr(), "");
}

// Reading with a GL context: texels the table does not hold yet are uploaded once, keyed by the
// file's texture name.
class GlSfxDefTexture : public SfxDefTest {
protected:
    void SetUp() override {
        SfxDefTest::SetUp();
        ASSERT_TRUE(OpenHiddenGlWindow("sfxdef test", 64, 64, &window_, &context_))
            << SDL_GetError();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        BoundTextureId = 0;
        TextureSizeSetting = 0;
    }
    void TearDown() override {
        SfxDefTest::TearDown();
        DeleteAllTextures();
        CloseHiddenGlWindow(&window_, &context_);
    }

    static std::vector<uint8_t> Texels(uint32_t id, size_t bytes) {
        std::vector<uint8_t> out(bytes);
        glBindTexture(GL_TEXTURE_2D, id);
        BoundTextureId = id;
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
        return out;
    }
    static GLint MinFilter(uint32_t id) {
        GLint value = -1;
        glBindTexture(GL_TEXTURE_2D, id);
        BoundTextureId = id;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
        return value;
    }

    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
};

TEST_F(GlSfxDefTexture, UploadsStoredTexelsOnceAndSharesThem) {
    SfxDefSpec s;
    s.width = 2, s.height = 1;
    s.texels = {30, 20, 10, 255, 3, 2, 1, 128};  // stored blue, green, red, alpha
    int result = 0;
    SfxDef* first = ReadFile("one", datakit::MakeSfxDef(s), &result);
    ASSERT_EQ(result, 1);
    ASSERT_NE(first->texture, 0u);
    ASSERT_EQ(TextureCount, 1u);
    EXPECT_EQ(TextureTable[0].nameChecksum, NameChecksum("Spark.tga"));
    EXPECT_EQ(Texels(first->texture, 8), (std::vector<uint8_t>{10, 20, 30, 255, 1, 2, 3, 128}));

    s.texels = {0, 0, 0, 0, 0, 0, 0, 0};  // the same name: this block is not used
    SfxDef* second = ReadFile("two", datakit::MakeSfxDef(s), &result);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(second->texture, first->texture);
    EXPECT_EQ(TextureCount, 1u);
    EXPECT_EQ(TextureTable[0].refCount, 2u);
    EXPECT_EQ(Texels(first->texture, 8), (std::vector<uint8_t>{10, 20, 30, 255, 1, 2, 3, 128}));

    DeleteSfxDefAt(static_cast<uint32_t>(IndexOfSfxDef(first)), false);
    EXPECT_EQ(TextureCount, 1u);
    DeleteSfxDefAt(static_cast<uint32_t>(IndexOfSfxDef(second)), false);
    EXPECT_EQ(TextureCount, 0u);
}

TEST_F(GlSfxDefTexture, TheMipMapFlagChoosesTheFilter) {
    struct Case {
        uint32_t mipmap;
        GLint filter;
    } cases[] = {{0, GL_LINEAR}, {1, GL_LINEAR_MIPMAP_LINEAR}};
    for (const Case& c : cases) {
        SfxDefSpec s;
        s.textureName = "Mip" + std::to_string(c.mipmap) + ".tga";
        s.width = s.height = 8;
        s.mipmap = c.mipmap;
        int result = 0;
        SfxDef* def = ReadFile("mip", datakit::MakeSfxDef(s), &result);
        ASSERT_EQ(result, 1);
        EXPECT_EQ(MinFilter(def->texture), c.filter) << c.mipmap;
    }
}

}  // namespace
