#include "effects/shading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "core/config.h"
#include "core/nztmath.h"
#include "effects/light.h"
#include "model/mesh.h"
#include "objects/posing.h"
#include "objects/registry.h"
#include "render/projection.h"
#include "render/renderstate.h"

namespace {

constexpr float Tol = 1e-5f;

// A mesh of n vertices whose object buffers are bound, and a near-light list the test fills. The
// globals it touches are put back afterwards.
class Shading : public ::testing::Test {
protected:
    void SetUp() override {
        BuildSinCosTables();
        ResetShadingGlobals();
        savedConfig_ = UserConfig;
        savedRender_ = RenderState;
        for (int i = 0; i < 3; ++i) savedEye_[i] = CameraPositionCopy[i];
        NearLightRegistry = {};
    }
    void TearDown() override {
        NearLightRegistry = {};
        ResetShadingGlobals();
        UserConfig = savedConfig_;
        RenderState = savedRender_;
        for (int i = 0; i < 3; ++i) CameraPositionCopy[i] = savedEye_[i];
        ResetMathTables();
    }

    void Build(uint32_t n) {
        ResetMesh(&mesh);
        mesh.AllocLod(n, 0, 0, 0, 0, 0, 0, 0, 0);
        posed.assign(n, Vec3{0.0f, 0.0f, 0.0f});
        normals.assign(n, Vec3{0.0f, 1.0f, 0.0f});
        colours.assign(uint64_t{n} * 4, -7.0f);
        mesh.PosedVertices = posed.data();
        mesh.PosedNormals = normals.data();
        mesh.VertexColours = colours.data();
    }
    // The wave texcoord copies of a mesh loaded with the texture wave (v of vertex i = i).
    void AddWaveCopies() {
        MeshLod& lod = mesh.Lods[0];
        lod.WaveTexCoords.assign(uint64_t{lod.VertexCount} * 2, 0.0f);
        for (uint32_t i = 0; i < lod.VertexCount; ++i) lod.WaveTexCoords[i * 2 + 1] = static_cast<float>(i);
        lod.WaveTexCoordsScaled = lod.WaveTexCoords;
        mesh.WaveTexCoords = lod.WaveTexCoords.data();
        mesh.WaveTexCoordsScaled = lod.WaveTexCoordsScaled.data();
    }
    NztLight* AddLight() {
        lights_.push_back(std::make_unique<NztLight>());
        list_.push_back(lights_.back().get());
        NearLightRegistry.objects = list_.data();
        NearLightRegistry.count = static_cast<int32_t>(list_.size());
        return lights_.back().get();
    }
    void ClearLights() {
        lights_.clear();
        list_.clear();
        NearLightRegistry = {};
    }
    Vec3 Colour(uint32_t i) const { return {colours[i * 4], colours[i * 4 + 1], colours[i * 4 + 2]}; }

    NztMesh mesh;
    std::vector<Vec3> posed, normals;
    std::vector<float> colours;

private:
    std::vector<std::unique_ptr<NztLight>> lights_;
    std::vector<NztBase3D*> list_;
    UserConfigData savedConfig_;
    NztRenderState savedRender_;
    float savedEye_[3] = {};
};

void ExpectVec(const Vec3& got, const Vec3& want, float tol = Tol) {
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
}

// One light of a case; the fields not named keep a fresh light's values.
struct LightSpec {
    uint32_t kind;
    Vec3 position;
    float innerRange = 20.0f;
    float bias = 0.0f;
    uint32_t active = 1;
    float outerRangeSquared = 10000.0f;
};

struct LightCase {
    const char* name;
    std::vector<LightSpec> lights;
    Vec3 normal;
    Vec3 p;
    Vec3 rgb;  // added to a vertex of colour 0
};

// Point lights of colour (1, 0.5, 0.25), outer range 100 with the fall-off starting at the inner
// range; spots of the same colour 50 above their target at the origin, cones 0.95 and 0.8, fading
// out at 100 from the light.
void Configure(NztLight* l, const LightSpec& s) {
    l->LightKind = s.kind;
    l->Active = s.active;
    l->Position[0] = s.position.x;
    l->Position[1] = s.position.y;
    l->Position[2] = s.position.z;
    l->Colour[0] = 1.0f;
    l->Colour[1] = 0.5f;
    l->Colour[2] = 0.25f;
    l->OuterRange = 100.0f;
    l->OuterRangeSquared = s.outerRangeSquared;
    l->InnerRange = s.innerRange;
    l->InverseRangeSpan = 1.0f / (100.0f - s.innerRange);
    l->Intensity = 1.0f;
    l->FacingBias = s.bias;
    l->Direction[0] = 0.0f;
    l->Direction[1] = 1.0f;
    l->Direction[2] = 0.0f;
    l->TargetDistance = 50.0f;
    l->InverseTargetDistance2 = 0.01f;
    l->InnerConeCosine = 0.95f;
    l->OuterConeCosine = 0.8f;
}

TEST_F(Shading, LightKindsRangesAndFacing) {
    const Vec3 up{0.0f, 1.0f, 0.0f}, down{0.0f, -1.0f, 0.0f}, side{1.0f, 0.0f, 0.0f}, o{0.0f, 0.0f, 0.0f};
    // Off the spot's axis by 30: d = sqrt(3400), ratio = 50 / d between the cones.
    const float d30 = std::sqrt(3400.0f);
    const float edge = (1.0f - (50.0f / d30 - 0.95f) / (0.8f - 0.95f)) * (1.0f - d30 * 0.01f);
    const LightCase cases[] = {
        {"point inside the inner range, facing it", {{1, {0, 10, 0}}}, up, o, {1.0f, 0.5f, 0.25f}},
        {"point behind the vertex", {{1, {0, -10, 0}}}, up, o, {0, 0, 0}},
        {"ambient point behind the vertex", {{4, {0, -10, 0}}}, up, o, {1.0f, 0.5f, 0.25f}},
        {"point half-way through the fall-off", {{1, {0, 60, 0}}}, up, o, {0.5f, 0.25f, 0.125f}},
        {"point just inside the outer range", {{1, {0, 99, 0}}}, up, o, {0.0125f, 0.00625f, 0.003125f}},
        {"point at the outer range", {{1, {0, 100, 0}}}, up, o, {0, 0, 0}},
        {"ambient point half-way, any normal", {{4, {0, 60, 0}}}, down, o, {0.5f, 0.25f, 0.125f}},
        {"point at a right angle with a bias", {{1, {0, 10, 0}, 20.0f, 0.5f}}, side, o, {0.5f, 0.25f, 0.125f}},
        {"point at a right angle without one", {{1, {0, 10, 0}}}, side, o, {0, 0, 0}},
        {"dark point takes the complement", {{2, {0, 10, 0}}}, up, o, {0.0f, -0.5f, -0.75f}},
        {"inactive light", {{1, {0, 10, 0}, 20.0f, 0.0f, 0}}, up, o, {0, 0, 0}},
        {"light without range", {{4, {0, 10, 0}, 20.0f, 0.0f, 1, 0.0f}}, up, o, {0, 0, 0}},
        {"kinds without a term", {{0, {0, 10, 0}}, {3, {0, 10, 0}}, {7, {0, 50, 0}}}, up, o, {0, 0, 0}},
        {"vertex on a point light", {{1, {0, 0, 0}}}, up, o, {0, 0, 0}},
        {"two lights add", {{1, {0, 10, 0}}, {4, {0, 60, 0}}}, up, o, {1.5f, 0.75f, 0.375f}},
        {"spot on its axis", {{5, {0, 50, 0}}}, up, o, {0.5f, 0.25f, 0.125f}},
        {"spot between the cones", {{5, {0, 50, 0}}}, up, {30, 0, 0}, {edge, edge * 0.5f, edge * 0.25f}},
        {"spot outside the outer cone", {{5, {0, 50, 0}}}, up, {50, 0, 0}, {0, 0, 0}},
        {"spot beyond the target distance", {{5, {0, 50, 0}}}, up, {0, -10, 0}, {0, 0, 0}},
        {"vertex behind the spot", {{5, {0, 50, 0}}}, down, {0, 60, 0}, {0, 0, 0}},
        {"vertex level with the spot", {{5, {0, 50, 0}}}, up, {10, 50, 0}, {0, 0, 0}},
        {"dark spot on its axis", {{6, {0, 50, 0}}}, up, o, {0.0f, -0.25f, -0.375f}},
    };
    SunLighting = 0;
    for (float& c : SunColour) c = 0.0f;
    for (const LightCase& c : cases) {
        SCOPED_TRACE(c.name);
        ClearLights();
        for (const LightSpec& s : c.lights) Configure(AddLight(), s);
        float rgb[3] = {0.0f, 0.0f, 0.0f};
        AddLightContributions(c.p, c.normal, rgb);
        ExpectVec({rgb[0], rgb[1], rgb[2]}, c.rgb);
        // The mesh routines give the same, the fast one included.
        Build(1);
        posed[0] = c.p;
        normals[0] = c.normal;
        for (void (*light)(NztMesh*) : {LightMeshPlain, LightMeshPlainReference}) {
            light(&mesh);
            ExpectVec(Colour(0), c.rgb);
        }
    }
}

struct SunCase {
    const char* name;
    void (*light)(NztMesh*);
    uint32_t sunLighting, sunLit;
    Vec3 normal;
    float weight;  // of SunColour; -1 means SunColour added unweighted
};

TEST_F(Shading, SunTerm) {
    const Vec3 toSun{0.6f, 0.8f, 0.0f}, away{-0.6f, -0.8f, 0.0f};
    const SunCase cases[] = {
        {"facing the sun", LightMeshPlain, 1, 1, toSun, 2.25f},
        {"facing away: a quarter", LightMeshPlain, 1, 1, away, 0.25f},
        {"sideways", LightMeshPlain, 1, 1, {0.0f, 0.0f, 1.0f}, 1.25f},
        {"scene's sun off", LightMeshPlain, 0, 1, toSun, -1.0f},
        {"mesh not sun-lit", LightMeshPlain, 1, 0, toSun, -1.0f},
        {"flare test lights the other side", ComputeSunVertexColours, 0, 0, away, 2.25f},
        {"flare test facing the sun", ComputeSunVertexColours, 1, 1, toSun, 0.25f},
    };
    SunDirection = toSun;
    SunColour[0] = 0.4f;
    SunColour[1] = 0.2f;
    SunColour[2] = 0.1f;
    const Vec3 base{0.05f, 0.1f, 0.15f};
    for (const SunCase& c : cases) {
        SCOPED_TRACE(c.name);
        Build(1);
        mesh.ShadingVectors[0] = base;
        normals[0] = c.normal;
        mesh.SunLit = c.sunLit;
        mesh.MeshAlpha = 0.3f;
        SunLighting = c.sunLighting;
        c.light(&mesh);
        const float w = c.weight < 0.0f ? 1.0f : c.weight;
        ExpectVec(Colour(0), {base.x + 0.4f * w, base.y + 0.2f * w, base.z + 0.1f * w});
        EXPECT_FLOAT_EQ(colours[3], 0.3f);
    }
}

// The fast lighting against the plain walk, over random meshes and light lists of every kind,
// lights near and far from the mesh, some on vertices, some switched off.
TEST_F(Shading, FastLightingMatchesReference) {
    std::mt19937 rng(77u);
    std::uniform_real_distribution<float> coord(-200.0f, 200.0f), unit(-1.0f, 1.0f), fraction(0.0f, 1.0f);
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        const uint32_t n = 1500;
        Build(n);
        for (uint32_t i = 0; i < n; ++i) {
            posed[i] = {coord(rng), coord(rng) * 0.5f, coord(rng)};
            Vec3 v{unit(rng), unit(rng), unit(rng)};
            const float len = std::sqrt(Dot(v, v));
            normals[i] = len > 0.01f ? v * (1.0f / len) : Vec3{0.0f, 1.0f, 0.0f};
            mesh.ShadingVectors[i] = {fraction(rng) * 0.2f, fraction(rng) * 0.2f, fraction(rng) * 0.2f};
        }
        mesh.SunLit = round % 2;
        ClearLights();
        for (int k = 0; k < 24; ++k) {
            NztLight* l = AddLight();
            l->LightKind = static_cast<uint32_t>(k % 8);
            l->Active = k % 11 != 5;
            // Some far beyond the mesh, a few sitting on a vertex.
            const float spread = k % 3 == 0 ? 2000.0f : 1.0f;
            const Vec3 at = k % 7 == 3 ? posed[static_cast<uint32_t>(k) * 37 % n]
                                       : Vec3{coord(rng) * spread, coord(rng) * spread, coord(rng) * spread};
            l->Position[0] = at.x;
            l->Position[1] = at.y;
            l->Position[2] = at.z;
            for (float& c : l->Colour) c = fraction(rng);
            l->OuterRange = 20.0f + fraction(rng) * 300.0f;
            l->OuterRangeSquared = l->OuterRange * l->OuterRange;
            l->InnerRange = fraction(rng) * l->OuterRange;
            l->InverseRangeSpan = 1.0f / (l->OuterRange - l->InnerRange);
            l->Intensity = 0.2f + fraction(rng);
            l->FacingBias = k % 4 == 1 ? 0.3f : 0.0f;
            const Vec3 dir{unit(rng), unit(rng), unit(rng)};
            const float dl = std::sqrt(Dot(dir, dir));
            for (int a = 0; a < 3; ++a) l->Direction[a] = (&dir.x)[a] / dl;
            l->TargetDistance = 50.0f + fraction(rng) * 300.0f;
            l->InverseTargetDistance2 = 1.0f / (l->TargetDistance * (1.0f + fraction(rng)));
            l->OuterConeCosine = 0.5f + fraction(rng) * 0.2f;
            l->InnerConeCosine = l->OuterConeCosine + 0.05f + fraction(rng) * 0.2f;
        }
        LightMeshPlainReference(&mesh);
        const std::vector<float> reference = colours;
        std::fill(colours.begin(), colours.end(), -7.0f);
        LightMeshPlain(&mesh);
        for (uint32_t i = 0; i < n * 4; ++i)
            ASSERT_NEAR(colours[i], reference[i], 1e-5f * (1.0f + std::fabs(reference[i]))) << "value " << i;
    }
}

TEST_F(Shading, BumpLightVectorsPointAtTheSun) {
    struct Case {
        const char* name;
        Vec3 sun, p, normal, want;
    } cases[] = {
        {"sun overhead, normal up", {0, 100, 0}, {0, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {"sun overhead, normal along x", {0, 100, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 1}},
        {"sun along x, normal up", {50, 0, 0}, {0, 0, 0}, {0, 1, 0}, {-1, 0, 1}},
        {"sun along z seen from a moved vertex", {3, 4, 10}, {3, 4, 0}, {1, 0, 0}, {1, 0, 1}},
        {"sun on the vertex: no direction", {5, 5, 5}, {5, 5, 5}, {0.6f, 0.8f, 0.0f}, {0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Build(1);
        SunPosition = c.sun;
        posed[0] = c.p;
        normals[0] = c.normal;
        LightMeshBump(&mesh);
        ExpectVec(mesh.LightVectors[0], c.want);
        // Its colours are LightMeshPlain's.
        const Vec3 bumped = Colour(0);
        LightMeshPlain(&mesh);
        ExpectVec(bumped, Colour(0), 0.0f);
    }
}

// Which lighting ComputeMeshLighting runs, told by what it writes: the three-unit path has its
// own alpha and scrolls the wave copies, the bump paths write light vectors.
TEST_F(Shading, LightingChoiceAndTwoFramesOfWaveScroll) {
    struct Case {
        const char* name;
        uint32_t layer3, bump, texWave;
        bool vectors, threeUnit;
    } cases[] = {
        {"no bump map", 0, 1, 1, false, false},
        {"bump mapping switched off", 1, 0, 1, false, false},
        {"bump map", 1, 1, 0, true, false},
        {"bump map on the three-unit path", 1, 1, 1, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Build(3);
        AddWaveCopies();
        mesh.HasLayer3 = c.layer3;
        mesh.TexWave = c.texWave;
        mesh.MeshAlpha = 0.4f;
        mesh.TexWaveRate1 = 0.125f;
        mesh.TexWaveRate2 = 0.25f;
        UserConfig.bumpMapping = c.bump;
        PrepareShadingArrays(&mesh);
        mesh.LightVectors.assign(3, Vec3{9.0f, 9.0f, 9.0f});
        normals[2] = {0.0f, 0.0f, 1.0f};
        SunPosition = {0.0f, 100.0f, 0.0f};
        ComputeMeshLighting(&mesh);
        ComputeMeshLighting(&mesh);
        EXPECT_FLOAT_EQ(colours[3], c.threeUnit ? 0.75f : 0.4f);
        EXPECT_EQ(mesh.LightVectors[2].z == 9.0f, !c.vectors);
        for (uint32_t i = 0; i < 3; ++i) {
            const float v = static_cast<float>(i);
            EXPECT_FLOAT_EQ(mesh.WaveTexCoords[i * 2 + 1], c.threeUnit ? v + 0.25f : v);
            EXPECT_FLOAT_EQ(mesh.WaveTexCoordsScaled[i * 2 + 1], c.threeUnit ? v + 0.5f : v);
            EXPECT_EQ(mesh.WaveTexCoords[i * 2], 0.0f);
        }
    }
}

TEST_F(Shading, ThreeUnitColoursAndVectors) {
    Build(1);
    SunDirection = {0.0f, 1.0f, 0.0f};
    SunColour[0] = 0.5f;
    SunColour[1] = 0.25f;
    SunColour[2] = 1.0f;
    mesh.ShadingVectors[0] = {0.1f, 0.2f, 0.3f};
    const Vec3 n{0.6f, 0.0f, 0.8f};
    normals[0] = n;
    posed[0] = {10.0f, 20.0f, 30.0f};
    CameraPositionCopy[0] = 1.0f;
    CameraPositionCopy[1] = 2.0f;
    CameraPositionCopy[2] = 3.0f;
    // Near lights play no part.
    Configure(AddLight(), {4, {10, 20, 30}});
    LightMeshBumpThreeUnit(&mesh);
    // n . SunDirection - 1 = -1.
    ExpectVec(Colour(0), {0.1f - 0.5f, 0.2f - 0.25f, 0.3f - 1.0f});
    ExpectVec(mesh.LightVectors[0], {n.x - n.y - n.z, n.x + n.y - n.z, 1.0f});
    const Vec3 e{9.0f, 18.0f, 27.0f};
    ExpectVec(mesh.Layer3Vectors[0], {(n.y + n.z) * e.x + n.x * e.z, n.x * e.x + n.y * e.y + n.z * e.z,
                                      (n.x + n.z) * e.y + n.y * e.z}, 1e-4f);
    // Without UseLayer3Vectors they stay as they were; with the sun off the sun colour is added.
    mesh.UseLayer3Vectors = 0;
    mesh.Layer3Vectors[0] = {7.0f, 7.0f, 7.0f};
    SunLighting = 0;
    LightMeshBumpThreeUnit(&mesh);
    ExpectVec(mesh.Layer3Vectors[0], {7.0f, 7.0f, 7.0f});
    ExpectVec(Colour(0), {0.6f, 0.45f, 1.3f});
}

TEST_F(Shading, ReflectionTexCoords) {
    // Camera rotation columns a = (0.6, 0, 0.8) and b = (0, 1, 0), as the camera matrix stores them.
    float* m = RenderState.cameraMatrix;
    const float a[3] = {0.6f, 0.0f, 0.8f}, b[3] = {0.0f, 1.0f, 0.0f};
    for (int k = 0; k < 3; ++k) {
        m[k * 4] = a[k];
        m[k * 4 + 1] = b[k];
    }
    struct Case {
        Vec3 normal;
        float u, v;
    } cases[] = {
        {{0.6f, 0.0f, 0.8f}, 1.0f, 0.5f},
        {{-0.6f, 0.0f, -0.8f}, 0.0f, 0.5f},
        {{0.0f, 1.0f, 0.0f}, 0.5f, 0.0f},
        {{0.0f, -1.0f, 0.0f}, 0.5f, 1.0f},
    };
    Build(4);
    for (uint32_t i = 0; i < 4; ++i) normals[i] = cases[i].normal;
    ComputeReflectionTexCoords(&mesh);
    for (uint32_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(mesh.Layer2TexCoords[i * 2], cases[i].u, Tol);
        EXPECT_NEAR(mesh.Layer2TexCoords[i * 2 + 1], cases[i].v, Tol);
    }
}

TEST_F(Shading, WavePhaseWrapsInItsLowBitsAndOffsetScrolls) {
    struct Case {
        uint32_t word;
        int32_t step;
        uint32_t after;
    } cases[] = {
        {0xABCDEFFFu, 1, 0xABCDE000u},
        {0x00001FFEu, 3, 0x00001001u},
        {0x00000400u, 1024, 0x00000800u},
        {0xFFFFF000u, 4095, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        Build(2);
        AddWaveCopies();
        uint32_t word = c.word;
        mesh.WavePhase = &word;
        mesh.TexWaveStep = c.step;
        mesh.TexWaveScale = 0.5f;
        normals[1] = {0.2f, 0.3f, 0.4f};
        ComputeWaveTexCoords(&mesh);
        EXPECT_EQ(word, c.after);
        ComputeWaveTexCoords(&mesh);
        // Two calls: the offset in the first pair has moved twice.
        EXPECT_NEAR(mesh.WaveTexCoords[0], 0.0006f, 1e-7f);
        EXPECT_NEAR(mesh.WaveTexCoords[1], 0.0010f, 1e-7f);
        const int phase = static_cast<int>((c.after + static_cast<uint32_t>(c.step)) & 0xFFFu);
        EXPECT_NEAR(mesh.Layer2TexCoords[2], TableCos(phase) * 0.5f + 0.7f + 0.0006f, Tol);
        EXPECT_NEAR(mesh.Layer2TexCoords[3], TableSin(phase) * 0.5f - 0.1f + 0.0010f, Tol);
    }
}

TEST_F(Shading, PlanarTexCoordsSpanTheMeshOnce) {
    Build(3);
    mesh.InvHalfSize = {0.5f, 1.0f, 0.25f};
    const Vec3 rest[3] = {{-2.0f, 0.0f, -4.0f}, {2.0f, 0.0f, 4.0f}, {0.0f, 0.0f, 0.0f}};
    for (uint32_t i = 0; i < 3; ++i) mesh.Vertices[i] = rest[i];
    normals = {{-1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.6f, 0.8f, 0.0f}};
    mesh.PosedNormals = normals.data();
    ComputeLightPlanarTexCoords(&mesh);
    static const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const float* r = CameraOrientation() ? CameraOrientation() : identity;
    for (uint32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const Vec3& n = normals[i];
        const float mx = r[0] * n.x + r[3] * n.y + r[6] * n.z;
        const float my = r[1] * n.x + r[4] * n.y + r[7] * n.z;
        EXPECT_NEAR(mesh.Layer2TexCoords[i * 2], (rest[i].x * 0.5f + mx + 2.0f) * 0.25f, Tol);
        EXPECT_NEAR(mesh.Layer2TexCoords[i * 2 + 1], (rest[i].z * 0.25f + my + 2.0f) * 0.25f, Tol);
    }
}

// An object that has bound no buffers yet gets nothing written and nothing read.
TEST_F(Shading, UnboundMeshIsLeftAlone) {
    Build(4);
    mesh.PosedVertices = nullptr;
    mesh.PosedNormals = nullptr;
    mesh.VertexColours = nullptr;
    mesh.HasLayer3 = 1;
    mesh.TexWave = 1;
    for (void (*routine)(NztMesh*) :
         {ComputeMeshLighting, LightMeshPlain, LightMeshPlainReference, LightMeshBump, LightMeshBumpThreeUnit,
          ComputeReflectionTexCoords, ComputeWaveTexCoords, ComputeLightPlanarTexCoords, ComputeSunVertexColours})
        routine(&mesh);
    EXPECT_EQ(mesh.OwnWavePhase, 0u);
    for (void (*routine)(NztMesh*) : {ComputeMeshLighting, LightMeshPlain, ComputeReflectionTexCoords})
        routine(nullptr);
}

}  // namespace
