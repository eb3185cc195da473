// Particle effects: the particle passes (the kernels against their plain forms, and the arithmetic
// of one step), effect types and definition sharing, attaching, and the quads a system writes.
#include <GL/gl.h>
#include <SDL2/SDL.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <vector>

#include "camera/camera.h"
#include "core/nztmath.h"
#include "effects/dynobject.h"
#include "effects/sfx.h"
#include "effects/sfxdef.h"
#include "effects/thunder.h"
#include "game/frame.h"
#include "model/mesh.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "render/renderstate.h"
#include "render/texture.h"
#include "support/gl_window.h"

namespace {

MATCHER_P3(IsPoint, x, y, z, "") {
    return arg.x == x && arg.y == y && arg.z == z;
}

// A system whose every parameter moves the particles: several births a frame, a spread of
// lifetimes short enough that particles die and are reborn within the run, jitter on the forces.
void BusyDef(SfxDef* def, uint32_t count) {
    InitSfxDef(def);
    def->emissionDuration = 0;
    def->birthsBase = 6;
    def->birthsSpread = 3;
    def->emitterHalfExtents = {1.5f, 0.5f, 2.0f};
    def->lifetimeBase = 0.4f;
    def->lifetimeSpread = 0.2f;
    def->massBase = 2.0f;
    def->massSpread = 0.5f;
    def->initialVelocity = {0.2f, 1.0f, -0.3f};
    def->velocitySpread = 0.25f;
    def->startSize = 1, def->middleSize = 3, def->endSize = 0.5f, def->sizeSpread = 0.2f;
    def->startOpacity = 0.2f, def->middleOpacity = 1.0f, def->endOpacity = 0.0f;
    def->startColour = {1, 0.5f, 0}, def->middleColour = {0.5f, 0.5f, 0.5f}, def->endColour = {0, 0, 1};
    def->gravity = {0, -9.8f, 0};
    def->extraForce = {0.5f, 0, 0};
    def->accelerationJitter = 0.7f;
    SetSfxParticleCount(def, static_cast<int32_t>(count));
    InitSfxParticles(def);
    ResetSfxParticles(def);
}

void ExpectSameParticles(const SfxDef& a, const SfxDef& b, int frame) {
    ASSERT_EQ(a.particles.size(), b.particles.size());
    for (size_t i = 0; i < a.particles.size(); ++i) {
        const SfxParticle& p = a.particles[i];
        const SfxParticle& q = b.particles[i];
        SCOPED_TRACE(testing::Message() << "frame " << frame << " particle " << i);
        ASSERT_EQ(p.state, q.state);
        ASSERT_EQ(p.age, q.age);
        ASSERT_EQ(p.position.x, q.position.x);
        ASSERT_EQ(p.position.y, q.position.y);
        ASSERT_EQ(p.position.z, q.position.z);
        ASSERT_EQ(p.velocity.x, q.velocity.x);
        ASSERT_EQ(p.velocity.y, q.velocity.y);
        ASSERT_EQ(p.velocity.z, q.velocity.z);
        ASSERT_EQ(p.halfSize, q.halfSize);
        ASSERT_EQ(p.opacity, q.opacity);
        ASSERT_EQ(p.red, q.red);
        ASSERT_EQ(p.green, q.green);
        ASSERT_EQ(p.blue, q.blue);
    }
    ASSERT_EQ(a.emitting, b.emitting);
    ASSERT_EQ(a.emissionTime, b.emissionTime);
}

class SfxPasses : public testing::Test {
protected:
    void SetUp() override {
        BuildRandomTable();
        savedTiming = FrameTiming;
        FrameTiming.frameTime = 0.02f;
        SfxRandomIndex = 0;
        SfxBirthRandomIndex = 0;
    }
    void TearDown() override {
        FrameTiming = savedTiming;
        FreeSfxQuadBuffers();
    }
    FrameTimingState savedTiming;
};

// The kernels keep the plain passes' arithmetic and random draws exactly, for every spawn source.
TEST_F(SfxPasses, KernelsMatchThePlainPassesForEverySpawnSource) {
    NztBaseObject mesh;
    mesh.Position[0] = 5, mesh.Position[1] = 6, mesh.Position[2] = 7;
    const float turn[9] = {0, 0, 1, 1, 0, 0, 0, 1, 0};
    std::copy(turn, turn + 9, mesh.rotation);
    for (int i = 0; i < 40; ++i) mesh.vertices.push_back({float(i), float(i * i % 7), float(-i)});
    mesh.vertexCount = 40;
    NztBaseObject bare;  // a mesh source with no posed vertices spawns at its position
    bare.Position[1] = 3;
    NztThunder bolt;
    bolt.Position[0] = -4;
    for (int i = 0; i < 22; ++i) bolt.points.push_back({float(i), 1, 2});
    bolt.pointCount = 11;

    struct Case {
        const char* name;
        bool world;
        NztBaseObject* meshSource;
        NztThunder* vertexSource;
        float emissionDuration;
    };
    const Case cases[] = {
        {"world, own emitter", true, nullptr, nullptr, 0},
        {"world, mesh source", true, &mesh, nullptr, 0},
        {"world, mesh source without vertices", true, &bare, nullptr, 0},
        {"world, bolt source", true, nullptr, &bolt, 0},
        {"world, emission for 0.3 s", true, nullptr, nullptr, 0.3f},
        {"local", false, nullptr, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SfxDef kernel, plain;
        float rotation[9] = {0.8f, 0.6f, 0, -0.6f, 0.8f, 0, 0, 0, 1};
        float emitter[3] = {10, 20, 30};
        for (SfxDef* d : {&kernel, &plain}) {
            SfxRandomIndex = 0;
            BusyDef(d, 200);
            d->worldSpace = c.world;
            d->rotationPtr = rotation;
            d->emitterPositionPtr = emitter;
            d->meshSource = c.meshSource;
            d->vertexSource = c.vertexSource;
            d->emissionDuration = c.emissionDuration;
            d->emissionTime = 0;
        }
        const uint32_t start = SfxRandomIndex;
        uint32_t kernelIndex = start, plainIndex = start, kernelBirth = 0, plainBirth = 0;
        for (int frame = 0; frame < 120; ++frame) {
            SfxRandomIndex = kernelIndex, SfxBirthRandomIndex = kernelBirth;
            (c.world ? UpdateSfxParticlesWorld : UpdateSfxParticlesLocal)(&kernel);
            kernelIndex = SfxRandomIndex, kernelBirth = SfxBirthRandomIndex;
            SfxRandomIndex = plainIndex, SfxBirthRandomIndex = plainBirth;
            (c.world ? UpdateSfxParticlesWorldReference : UpdateSfxParticlesLocalReference)(&plain);
            plainIndex = SfxRandomIndex, plainBirth = SfxBirthRandomIndex;
            ASSERT_EQ(kernelIndex, plainIndex);
            ASSERT_EQ(kernelBirth, plainBirth);
            ExpectSameParticles(kernel, plain, frame);
        }
        // The run has births, deaths and rebirths, so every branch was compared.
        EXPECT_GT(kernelIndex - start, 200u * 6);
        FreeSfxDef(&kernel);
        FreeSfxDef(&plain);
    }
}

// One step by hand: velocities are added without the frame time, forces are scaled by it, and
// both the spawn offset and the pushes are turned by the rotation as stored (row i dotted with v).
TEST_F(SfxPasses, AStepAddsTheVelocityAndTurnsTheScaledForce) {
    for (const auto pass : {UpdateSfxParticlesWorld, UpdateSfxParticlesWorldReference}) {
        SfxDef def;
        InitSfxDef(&def);
        def.birthsBase = 1;
        def.lifetimeBase = 1.0f;
        def.massBase = 1.0f;
        def.drag = 0;
        def.initialVelocity = {1, 2, 3};
        def.gravity = {0, -10, 0};
        def.startSize = 2, def.middleSize = 4, def.endSize = 0;
        def.startOpacity = 0, def.middleOpacity = 1, def.endOpacity = 0;
        SetSfxParticleCount(&def, 1);
        InitSfxParticles(&def);
        ResetSfxParticles(&def);
        def.worldSpace = 1;
        // Row 0 = (0, 1, 0): x' = v.y; row 1 = (0, 0, 1): y' = v.z; row 2 = (1, 0, 0): z' = v.x.
        const float m[9] = {0, 1, 0, 0, 0, 1, 1, 0, 0};
        const float at[3] = {100, 200, 300};
        def.rotationPtr = m;
        def.emitterPositionPtr = at;

        pass(&def);  // birth at the emitter (no box), velocity turned
        const SfxParticle& p = def.particles[0];
        ASSERT_EQ(p.state, 1u);
        EXPECT_THAT(p.position, IsPoint(100, 200, 300));
        EXPECT_THAT(p.velocity, IsPoint(2, 3, 1));
        EXPECT_EQ(p.halfSize, 1.0f);

        pass(&def);  // moves by the whole velocity; gravity (0, -10, 0) x 0.02 turned is (-0.2, 0, 0)
        EXPECT_THAT(p.position, IsPoint(102, 203, 301));
        EXPECT_FLOAT_EQ(p.velocity.x, 1.8f);
        EXPECT_EQ(p.velocity.y, 3.0f);
        EXPECT_EQ(p.velocity.z, 1.0f);
        EXPECT_FLOAT_EQ(p.age, 0.02f);

        // Size and opacity follow the first slope to half the life, then the second from the
        // middle values; the particle dies at its lifetime.
        FrameTiming.frameTime = 0.25f;
        pass(&def);
        pass(&def);
        EXPECT_FLOAT_EQ(p.halfSize, 1.0f + 2.0f * 0.27f);  // age 0.27: 1 + (2 - 1) / 0.5 x 0.27
        EXPECT_FLOAT_EQ(p.opacity, 0.54f);
        pass(&def);
        EXPECT_FLOAT_EQ(p.halfSize, 2.0f - 4.0f * 0.02f);  // age 0.52: 2 + (0 - 2) / 0.5 x 0.02
        pass(&def);
        EXPECT_EQ(p.state, 0u);  // age 1.02 >= 1
        FrameTiming.frameTime = 0.02f;
        FreeSfxDef(&def);
    }
}

TEST_F(SfxPasses, EmissionStopsWhenItsTimeIsSpentAndBirthsFollowTheSpread) {
    SfxDef def;
    BusyDef(&def, 500);
    def.accelerationJitter = 0;
    def.lifetimeBase = 100, def.lifetimeSpread = 0;
    InitSfxParticles(&def);
    def.emissionDuration = 0.05f;
    def.emissionTime = 0;
    auto alive = [&] {
        uint32_t n = 0;
        for (const SfxParticle& p : def.particles) n += p.state;
        return n;
    };
    uint32_t before = 0;
    for (int frame = 0; frame < 3; ++frame) {  // emission time 0, 0.02, 0.04 < 0.05
        UpdateSfxParticlesLocal(&def);
        const uint32_t born = alive() - before;
        EXPECT_GE(born, 3u);  // 6 +- 3
        EXPECT_LE(born, 9u);
        before = alive();
        EXPECT_EQ(def.emitting, 1u);
    }
    for (int frame = 0; frame < 5; ++frame) UpdateSfxParticlesLocal(&def);
    EXPECT_EQ(def.emitting, 0u);
    const uint32_t settled = alive();
    UpdateSfxParticlesLocal(&def);
    EXPECT_EQ(alive(), settled);
    FreeSfxDef(&def);
}

// Kinds 1 and 2 kill particles on the wrong side of the reference height while the quads are made;
// a local system's particles are placed at the emitter plus their turned offset.
TEST_F(SfxPasses, QuadsKillParticlesOnTheWrongSideOfTheReferenceHeight) {
    struct Case {
        uint32_t kind;
        uint32_t worldSpace;
        std::vector<uint32_t> survivors;  // indices of particles at y = -1, 0, 1 left alive
    };
    const Case cases[] = {
        {SfxParticlePlain, 1, {0, 1, 2}},
        {SfxParticleBelowHeight, 1, {0, 1}},
        {SfxParticleAboveHeight, 1, {1, 2}},
        {SfxParticleBelowHeight, 0, {0}},  // the emitter at y = 0.5 lifts them by half a unit
    };
    MainCamera.Init();
    const float up[12] = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
    std::copy(up, up + 12, MainCamera.cornerDirections);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " world " << c.worldSpace);
        SfxDef def;
        InitSfxDef(&def);
        SetSfxParticleCount(&def, 3);
        GrowSfxQuadBuffers(3);
        const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        const float emitter[3] = {0, 0.5f, 0};
        def.rotationPtr = identity;
        def.emitterPositionPtr = emitter;
        def.particleKind = c.kind;
        def.worldSpace = c.worldSpace;
        def.referenceHeight = 0;
        def.blendMode = 1;
        for (int i = 0; i < 3; ++i) {
            SfxParticle& p = def.particles[i];
            p.state = 1;
            p.position = {0, float(i - 1), 0};
            p.halfSize = 0.5f;
            p.opacity = 0.5f;
            p.red = p.green = p.blue = 1;
        }
        const uint32_t quads = FillSfxQuads(&def);
        ASSERT_EQ(quads, c.survivors.size());
        for (size_t i = 0; i < 3; ++i) {
            const bool kept = std::find(c.survivors.begin(), c.survivors.end(), i) != c.survivors.end();
            EXPECT_EQ(def.particles[i].state, kept ? 1u : 0u) << i;
        }
        // Last particle first: quad 0 is the highest survivor; its first corner is centre - 0.5.
        const float top = float(c.survivors.back()) - 1 + (c.worldSpace ? 0 : 0.5f);
        EXPECT_EQ(SfxQuadBuffers.vertices[1], top - 0.5f);
        EXPECT_EQ(SfxQuadBuffers.colours[0], 0.5f);  // blend mode 1 scales the colour by the opacity
        EXPECT_EQ(SfxQuadBuffers.colours[3], 0.5f);
        FreeSfxDef(&def);
    }
}

// ---------------------------------------------------------------------------------------------
// Effects, types and attaching

class SfxEffects : public testing::Test {
protected:
    void SetUp() override {
        BuildRandomTable();
        // Start from no effects and no definitions, whatever an earlier test left loaded.
        RemoveAllSfx();
        FreeAllSfxDefs();
        ClearObjectLists();
        AllocObjectLists();
    }
    void TearDown() override {
        RemoveAllSfx();
        FreeAllSfxDefs();
        FreeObjectLists();
        ClearObjectLists();
    }
};

TEST_F(SfxEffects, DefinitionsAreSharedWithinATypeAndFreedWithTheirLastEffect) {
    NztSfx* first = AddSfxType("NoSuchEffect");
    NztSfx* second = AddSfxType("NoSuchEffect");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    // Every AddSfxType makes a type and definition of its own, in world space.
    EXPECT_NE(first->definition, second->definition);
    EXPECT_EQ(first->ownDefinition, 1u);
    EXPECT_EQ(first->definition->worldSpace, 1u);
    EXPECT_EQ(first->range, 2000.0f);
    EXPECT_EQ(SfxDefCount, 2u);
    EXPECT_EQ(first->registered, 1);

    NztSfx* twin = CreateSfx(first->typeIndex);
    ASSERT_NE(twin, nullptr);
    SfxDef* shared = first->definition;
    EXPECT_EQ(twin->definition, shared);
    EXPECT_EQ(shared->userCount, 2);
    EXPECT_EQ(SfxTypeTable[first->typeIndex].InstanceCount, 2);
    EXPECT_EQ(CreateSfx(int32_t(SfxTypeCount)), nullptr);

    // The effect pushed last drives the shared system.
    first->Position[0] = 1;
    twin->Position[0] = 2;
    first->PushToDefinition();
    twin->PushToDefinition();
    EXPECT_EQ(shared->emitterPositionPtr[0], 2.0f);

    RemoveSfxAt(SfxCount - 1);  // the twin: one of two
    EXPECT_EQ(IndexOfSfxDef(shared), 0);
    EXPECT_EQ(shared->userCount, 1);
    RemoveSfxAt(0);  // the last of its type
    EXPECT_EQ(IndexOfSfxDef(shared), -1);
    EXPECT_EQ(SfxTypeTable[0].Def, nullptr);
    EXPECT_EQ(SfxDefCount, 1u);
    EXPECT_EQ(SfxList[0], second);
    EXPECT_EQ(SfxCount, 1u);
}

// An effect made straight from a definition says nothing through its type index; removing it must
// not free the definition that the effects of type 0 still use.
TEST_F(SfxEffects, AnEffectWithoutATypeDoesNotFreeAnotherTypesDefinition) {
    NztSfx* typed = AddSfxType("NoSuchEffect");
    SfxDef* other = CreateSfxDef();
    NztSfx* loose = NewSfx(other);
    EXPECT_EQ(loose->typeIndex, 0);
    RemoveSfxAt(1);
    EXPECT_GE(IndexOfSfxDef(typed->definition), 0);
    EXPECT_EQ(IndexOfSfxDef(other), -1);
}

TEST_F(SfxEffects, AttachingTakesTheSlotTheRotationAndTheRange) {
    NztBaseObject a, b;
    a.attachPoints.resize(3);
    b.attachPoints.resize(1);
    const float turn[9] = {0, 0, 1, 0, 1, 0, -1, 0, 0};
    std::copy(turn, turn + 9, a.rotation);
    a.range = 750;
    NztSfx* sfx = AddSfxType("NoSuchEffect");
    NztSfx* held = AddSfxType("NoSuchEffect");

    held->AttachTo(&a, 2);
    sfx->AttachTo(&b, 0);
    sfx->AttachTo(&a, 0);
    EXPECT_EQ(b.attachPoints[0].Target, nullptr);  // left its former owner
    sfx->AttachTo(&a, 2);                          // moves within a, and takes held's slot
    EXPECT_EQ(sfx->owner, &a);
    EXPECT_EQ(a.attachPoints[2].Target, sfx);
    EXPECT_EQ(a.attachPoints[2].Kind, 3u);
    EXPECT_EQ(a.attachPoints[0].Target, nullptr);
    EXPECT_EQ(a.attachPoints[0].Kind, 0u);
    EXPECT_EQ(held->owner, nullptr);
    EXPECT_EQ(sfx->range, 750.0f);
    EXPECT_EQ(std::memcmp(sfx->rotation, turn, sizeof turn), 0);

    sfx->AttachTo(&a, 3);  // no such slot: nothing changes
    sfx->AttachTo(&a, -1);
    EXPECT_EQ(a.attachPoints[2].Target, sfx);

    NztDynObject carrier;
    carrier.carriedSfx = sfx;
    std::vector<NztDynObject*> dyn = {&carrier};
    NztDynObject** savedList = DynObjectList;
    const uint32_t savedCount = DynObjectCount;
    DynObjectList = dyn.data(), DynObjectCount = 1;
    sfx->referenceHeight = 3;
    sfx->Detach();
    DynObjectList = savedList, DynObjectCount = savedCount;
    EXPECT_EQ(sfx->owner, nullptr);
    EXPECT_EQ(a.attachPoints[2].Target, nullptr);
    EXPECT_EQ(carrier.carriedSfx, nullptr);
    EXPECT_EQ(sfx->referenceHeight, 0.0f);
    a.attachPoints.clear();
}

TEST_F(SfxEffects, AVisibleOwnerMakesTheEffectVisibleAndTheOwnerWinsThePlacement) {
    NztBaseObject owner, source;
    owner.Position[0] = 1;
    source.Position[0] = 2;
    NztSfx* sfx = AddSfxType("NoSuchEffect");
    sfx->owner = &owner;
    sfx->meshSource = &source;
    PlaceAllSfxAtOwners();
    EXPECT_EQ(sfx->Position[0], 1.0f);

    owner.visible = 1;
    sfx->LateUpdate();  // follows the mesh source, then pushes
    EXPECT_EQ(sfx->Position[0], 2.0f);
    EXPECT_EQ(sfx->visible, 1u);
    SfxDef* def = sfx->definition;
    EXPECT_EQ(def->visible, 1u);
    EXPECT_EQ(def->emitterPositionPtr, sfx->Position);
    EXPECT_EQ(def->rotationPtr, sfx->rotation);
    EXPECT_EQ(def->meshSource, &source);
    sfx->owner = nullptr;
    sfx->meshSource = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Drawing through a real context: identity matrices, so world x and y are clip coordinates.

class GlSfxDraw : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(OpenHiddenGlWindow("sfx test", 64, 64, &window_, &context_))
            << SDL_GetError();
        InitRenderState();
        ClearTextureTable();
        BoundTextureId = 0;
        glViewport(0, 0, 64, 64);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        SwitchTexture2D(true);
        SwitchBlend(true);
        uint8_t white[4] = {255, 255, 255, 255};
        FindTexture("white", 0);
        texture_ = UploadTexture(white, 1, 1, 32, 0, 0, 0);
        savedCamera_ = MainCamera;
        const float corners[12] = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
        std::copy(corners, corners + 12, MainCamera.cornerDirections);
    }
    void TearDown() override {
        MainCamera = savedCamera_;
        FreeSfxQuadBuffers();
        DeleteAllTextures();
        InitRenderState();
        BoundTextureId = 0;
        CloseHiddenGlWindow(&window_, &context_);
    }
    // Particles at (-0.5, -0.5) and (0.5, 0.5), a quarter of the view wide.
    void TwoParticles(SfxDef* def) {
        InitSfxDef(def);
        SetSfxParticleCount(def, 2);
        GrowSfxQuadBuffers(2);
        def->texture = texture_;
        def->worldSpace = 1;
        def->viewDepth = 10;
        def->blendMode = 2;
        for (int i = 0; i < 2; ++i) {
            SfxParticle& p = def->particles[i];
            p.state = 1;
            p.position = {i ? 0.5f : -0.5f, i ? 0.5f : -0.5f, 0};
            p.halfSize = 0.25f;
            p.opacity = 1;
            p.red = p.green = p.blue = 1;
        }
    }
    static uint8_t Red(int x, int y) {
        uint8_t rgba[4] = {};
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        return rgba[0];
    }
    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    uint32_t texture_ = 0;
    CNztCamera savedCamera_;
};

TEST_F(GlSfxDraw, LiveParticlesAreDrawnOnlyInFrontOfTheCameraAndOnTheirSideOfTheHeight) {
    struct Case {
        const char* name;
        uint32_t kind;
        float viewDepth;
        uint8_t lower, upper;  // red at the centres of the two particles
    };
    const Case cases[] = {
        {"both drawn", SfxParticlePlain, 10, 255, 255},
        {"kept below 0", SfxParticleBelowHeight, 10, 255, 0},
        {"kept above 0", SfxParticleAboveHeight, 10, 0, 255},
        {"behind the camera", SfxParticlePlain, -5, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SfxDef def;
        TwoParticles(&def);
        def.particleKind = c.kind;
        def.viewDepth = c.viewDepth;
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        SetParticleArrays();
        DrawSfxParticles(&def);
        glFinish();
        EXPECT_EQ(Red(16, 16), c.lower);
        EXPECT_EQ(Red(48, 48), c.upper);
        EXPECT_EQ(Red(32, 2), 0);
        def.texture = 0;  // the table's, released by DeleteAllTextures
        FreeSfxDef(&def);
    }
}

}  // namespace
