// Thunder bolts: the bolt list, the lifetime of a bolt, its two shapes and where its ends come from,
// headless; GlThunder draws both shapes for real and reads the pixels back.
#include "effects/thunder.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/nztmath.h"
#include "core/paths.h"
#include "effects/sfx.h"
#include "effects/sfxdef.h"
#include "game/frame.h"
#include "objects/registry.h"
#include "render/glext.h"
#include "render/renderstate.h"
#include "render/texture.h"
#include "support/gl_window.h"

namespace {

class Thunder : public ::testing::Test {
protected:
    void SetUp() override {
        BuildSinCosTables();
        BuildRandomTable();
        savedTiming = FrameTiming;
        FrameTiming.frameTime = 0.02f;
        SfxRandomIndex = SfxBirthRandomIndex = 0;
        ClearObjectLists();
        AllocObjectLists();
    }
    void TearDown() override {
        RemoveAllThunders();
        FreeObjectLists();
        ResetObjectHooks();
        FrameTiming = savedTiming;
        SfxRandomIndex = SfxBirthRandomIndex = 0;
        ResetMathTables();
    }
    // An active bolt between two free points, without jitter or wave unless asked.
    static NztThunder* Bolt(uint32_t style, Vec3 from, Vec3 to, float jitter = 0.0f, float wave = 0.0f) {
        NztThunder* bolt = CreateThunder();
        bolt->style = style;
        bolt->jitter = jitter;
        bolt->waveAmplitude = wave;
        bolt->startPosition[0] = from.x, bolt->startPosition[1] = from.y, bolt->startPosition[2] = from.z;
        bolt->endPosition[0] = to.x, bolt->endPosition[1] = to.y, bolt->endPosition[2] = to.z;
        bolt->active = 1;
        return bolt;
    }
    // The centre of point i: the point itself for the line, the middle of its pair for the ribbon.
    static Vec3 Centre(const NztThunder& bolt, uint32_t i) {
        if (bolt.style == ThunderStyleLine) return bolt.points[i];
        return (bolt.points[2 * i] + bolt.points[2 * i + 1]) * 0.5f;
    }

    FrameTimingState savedTiming;
};

TEST_F(Thunder, ANewBoltHasItsShapeDefaultsAndArrays) {
    SfxBirthRandomIndex = 5;
    NztThunder* bolt = CreateThunder();
    EXPECT_EQ(bolt->kind, ObjectKindThunder);
    EXPECT_EQ(bolt->range, 500.0f);
    EXPECT_EQ(bolt->registered, 1);
    EXPECT_EQ(bolt->active, 0u);
    EXPECT_EQ(bolt->style, ThunderStyleRibbon);
    EXPECT_EQ(bolt->pointCount, 11u);
    EXPECT_EQ(bolt->segmentCount, 10u);
    EXPECT_EQ(bolt->jitter, 4.0f);
    EXPECT_EQ(bolt->waveAmplitude, 7.0f);
    EXPECT_EQ(bolt->waveStep, 372);
    EXPECT_EQ(bolt->startPoint, -1);
    EXPECT_EQ(bolt->endPoint, -1);
    EXPECT_EQ(bolt->ribbonAngle, RoundToInt(RandomTable[5] * 4096.0f));
    EXPECT_EQ(SfxBirthRandomIndex, 6u);
    ASSERT_EQ(bolt->indices.size(), 22u);
    ASSERT_EQ(bolt->texCoords.size(), 44u);
    for (uint32_t v = 0; v < 22; ++v) {
        SCOPED_TRACE(v);
        EXPECT_EQ(bolt->indices[v], v);
        EXPECT_EQ(bolt->texCoords[2 * v], static_cast<float>((v / 2) & 1));  // u alternates by point
        EXPECT_EQ(bolt->texCoords[2 * v + 1], static_cast<float>(v & 1));   // v: 0 then 1
    }
}

TEST_F(Thunder, TheListGrowsByTenAndRemovalClosesItUp) {
    std::vector<NztThunder*> made;
    for (int i = 0; i < 11; ++i) made.push_back(CreateThunder());
    EXPECT_EQ(ThunderCount, 11u);
    EXPECT_EQ(ThunderCapacity, 20u);
    EXPECT_EQ(ThunderRegistry.count, 11);

    RemoveThunderAt(11);  // past the end: nothing
    RemoveThunderAt(500);
    EXPECT_EQ(ThunderCount, 11u);

    RemoveThunderAt(0);
    EXPECT_EQ(ThunderCount, 10u);
    EXPECT_EQ(ThunderList[0], made[1]);
    EXPECT_EQ(ThunderList[9], made[10]);
    EXPECT_EQ(ThunderList[10], nullptr);
    EXPECT_EQ(ThunderRegistry.count, 10);
    EXPECT_EQ(IndexOfThunder(made[10]), 9);

    RemoveAllThunders();
    EXPECT_EQ(ThunderCount, 0u);
    EXPECT_EQ(ThunderCapacity, 0u);
    EXPECT_EQ(ThunderList, nullptr);
    EXPECT_EQ(ThunderRegistry.count, 0);
    EXPECT_EQ(ObjectRegistry.count, 0);
}

TEST_F(Thunder, ABoltWithoutDurationLivesUntilSwitchedOff) {
    NztThunder* bolt = Bolt(ThunderStyleRibbon, {0, 0, 0}, {0, 0, 100});
    for (int frame = 0; frame < 200; ++frame) bolt->LateUpdate();
    ASSERT_EQ(ThunderCount, 1u);
    EXPECT_EQ(bolt->active, 1u);
    bolt->active = 0;
    bolt->LateUpdate();  // removes and destroys the bolt
    EXPECT_EQ(ThunderCount, 0u);
    EXPECT_EQ(ThunderRegistry.count, 0);
}

TEST_F(Thunder, ADurationRunsOutOnceThenTheBoltLeaves) {
    static std::vector<std::string> log;
    log.clear();
    NztThunder* bolt = Bolt(ThunderStyleLine, {0, 0, 0}, {0, 0, 100});
    bolt->duration = bolt->remaining = 0.05f;
    bolt->endCallback = [](NztThunder* b) { log.push_back("end " + std::to_string(b->active)); };
    bolt->buildCallback = [](NztThunder*) { log.push_back("build"); };
    // Builds with 0.05, 0.03 and 0.01 s left, leaving -0.01.
    for (int frame = 0; frame < 3; ++frame) bolt->LateUpdate();
    EXPECT_EQ(log, (std::vector<std::string>{"build", "build", "build"}));
    bolt->LateUpdate();  // runs out: no build
    EXPECT_EQ(log, (std::vector<std::string>{"build", "build", "build", "end 0"}));
    ASSERT_EQ(ThunderCount, 1u);
    bolt->LateUpdate();
    EXPECT_EQ(ThunderCount, 0u);
    EXPECT_EQ(log.size(), 4u);
}

TEST_F(Thunder, BothShapesFadeToBlackAtTheirEnds) {
    for (uint32_t style : {ThunderStyleLine, ThunderStyleRibbon}) {
        SCOPED_TRACE(style);
        NztThunder* bolt = Bolt(style, {10, 20, 30}, {-50, 80, 200}, 4.0f, 7.0f);
        bolt->colour[0] = 0.5f, bolt->colour[1] = 0.25f, bolt->colour[2] = 1.0f;
        bolt->BuildBolt();
        const uint32_t n = style == ThunderStyleLine ? 11 : 22;
        const uint32_t perPoint = style == ThunderStyleLine ? 1 : 2;
        for (uint32_t v = 0; v < n; ++v) {
            SCOPED_TRACE(v);
            const Vec3 c = bolt->colours[v];
            const uint32_t point = v / perPoint;
            if (point == 0 || point == 10) {
                EXPECT_EQ(c.x + c.y + c.z, 0.0f);
            } else if (style == ThunderStyleRibbon) {
                EXPECT_EQ(c.x, 0.5f);  // the bolt colour itself
                EXPECT_EQ(c.y, 0.25f);
                EXPECT_EQ(c.z, 1.0f);
            } else {
                // A random share of the bolt colour, the same for every channel.
                EXPECT_GE(c.z, 0.0f);
                EXPECT_LE(c.z, 1.0f);
                EXPECT_FLOAT_EQ(c.x, 0.5f * c.z);
                EXPECT_FLOAT_EQ(c.y, 0.25f * c.z);
            }
        }
    }
}

TEST_F(Thunder, StartAndEndTogetherKeepEveryPointNearTheStart) {
    for (uint32_t style : {ThunderStyleLine, ThunderStyleRibbon}) {
        SCOPED_TRACE(style);
        NztThunder* bolt = Bolt(style, {5, 6, 7}, {5, 6, 7}, 4.0f);
        for (int frame = 0; frame < 20; ++frame) {
            bolt->BuildBolt();
            for (uint32_t i = 0; i < 11; ++i) {
                const Vec3 c = Centre(*bolt, i);
                EXPECT_LE(std::fabs(c.x - 5.0f), 4.0f) << i;
                EXPECT_LE(std::fabs(c.y - 6.0f), 4.0f) << i;
                EXPECT_LE(std::fabs(c.z - 7.0f), 4.0f) << i;
            }
        }
    }
}

// Without jitter the bolt lies on the segment: the line steps forward by a point's share of the
// length or back a little, the ribbon always forward, each point a pair across the centre.
TEST_F(Thunder, PointsRunAlongTheBoltInEitherDirection) {
    struct Case {
        const char* name;
        Vec3 from, to;
    } cases[] = {
        {"along z", {0, 0, 0}, {0, 0, 110}},
        {"along x", {0, 5, 0}, {110, 5, 0}},
        {"upwards", {3, -20, 4}, {3, 90, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Vec3 axis = (c.to - c.from) * (1.0f / 110.0f);
        for (uint32_t style : {ThunderStyleLine, ThunderStyleRibbon}) {
            SCOPED_TRACE(style);
            NztThunder* bolt = Bolt(style, c.from, c.to);
            const int32_t angleBefore = bolt->ribbonAngle;
            bolt->BuildBolt();
            EXPECT_NEAR(Centre(*bolt, 0).x, c.from.x, 1e-4f);
            EXPECT_NEAR(Centre(*bolt, 10).z, c.to.z, 1e-4f);
            float previous = 0.0f;
            for (uint32_t i = 1; i < 10; ++i) {
                const Vec3 p = Centre(*bolt, i) - c.from;
                const float along = Dot(p, axis);
                const Vec3 off = p - axis * along;
                EXPECT_NEAR(std::sqrt(Dot(off, off)), 0.0f, 0.01f) << i;
                if (i == 1) {
                    EXPECT_NEAR(along, 10.0f, 0.01f);
                } else if (style == ThunderStyleRibbon) {
                    EXPECT_NEAR(along - previous, 10.0f, 0.01f) << i;
                } else {
                    const float d = along - previous;
                    EXPECT_TRUE(std::fabs(d - 10.0f) < 0.01f || std::fabs(d + 2.0f) < 0.01f) << i << ": " << d;
                }
                previous = along;
            }
            if (style == ThunderStyleRibbon) {
                for (uint32_t i = 0; i < 11; ++i) {
                    const Vec3 across = bolt->points[2 * i] - bolt->points[2 * i + 1];
                    EXPECT_NEAR(std::sqrt(Dot(across, across)), 4.0f, 1e-4f) << i;  // twice the half-width
                    EXPECT_EQ(across.z, 0.0f) << i;  // turned about the world z axis
                }
                EXPECT_EQ(bolt->ribbonAngle, (angleBefore + 11 * 32) & 0xFFF);
            }
        }
    }
}

TEST_F(Thunder, TheWaveLiftsInnerPointsByTheSineOfItsPhase) {
    for (uint32_t style : {ThunderStyleLine, ThunderStyleRibbon}) {
        SCOPED_TRACE(style);
        NztThunder* bolt = Bolt(style, {0, 0, 0}, {0, 0, 110}, 0.0f, 7.0f);
        bolt->wavePhase = 100;
        bolt->BuildBolt();
        for (uint32_t i = 1; i < 10; ++i)
            EXPECT_NEAR(Centre(*bolt, i).y, 7.0f * TableSin(100 + 372 * static_cast<int>(i - 1)), 1e-4f) << i;
        EXPECT_EQ(Centre(*bolt, 0).y, 0.0f);
        EXPECT_EQ(Centre(*bolt, 10).y, 0.0f);
        EXPECT_EQ(bolt->wavePhase, (100 + 9 * 372) & 0xFFF);
    }
}

TEST_F(Thunder, OnlyTheRibbonScrollsItsTexture) {
    for (uint32_t style : {ThunderStyleLine, ThunderStyleRibbon}) {
        SCOPED_TRACE(style);
        NztThunder* bolt = Bolt(style, {0, 0, 0}, {0, 0, 100});
        const std::vector<float> before = bolt->texCoords;
        bolt->BuildBolt();
        bolt->BuildBolt();
        for (size_t k = 0; k < before.size(); ++k) {
            const float shift = style == ThunderStyleRibbon && k % 2 == 0 ? 0.2f : 0.0f;
            EXPECT_NEAR(bolt->texCoords[k], before[k] - shift, 1e-6f) << k;
        }
    }
}

TEST_F(Thunder, EndsFollowTheirObjectsAndStayWhenTheObjectGoes) {
    NztBaseObject from, to;
    from.Position[0] = 100.0f;
    to.Position[2] = 250.0f;
    NztThunder* bolt = Bolt(ThunderStyleLine, {0, 0, 0}, {0, 0, 0});
    bolt->startObject = &from;
    bolt->endObject = &to;
    bolt->endPoint = 3;  // the object has no such point: its position
    bolt->BuildBolt();
    EXPECT_EQ(bolt->startPosition[0], 100.0f);
    EXPECT_EQ(bolt->endPosition[2], 250.0f);
    EXPECT_EQ(bolt->points[10].z, 250.0f);

    from.Position[0] = 40.0f;
    bolt->BuildBolt();
    EXPECT_EQ(bolt->points[0].x, 40.0f);

    bolt->endObject = nullptr;  // what a released object leaves
    to.Position[2] = -1.0f;
    bolt->BuildBolt();
    EXPECT_EQ(bolt->points[10].z, 250.0f);
}

TEST_F(Thunder, ReleaseTakesItsEffectAndItsParticleSourceAlong) {
    static std::vector<uint32_t> removed;
    removed.clear();
    ObjectServices.removeSfxAt = [](uint32_t index) { removed.push_back(index); };
    NztSfx other, own;
    NztSfx* effects[2] = {&other, &own};
    SfxList = effects;
    SfxCount = 2;
    SfxDef def;
    SfxDef* defs[1] = {&def};
    SfxDefList = defs;
    SfxDefCount = 1;

    NztThunder* bolt = CreateThunder();
    bolt->effect = &own;
    def.vertexSource = bolt;
    RemoveThunderAt(0);
    EXPECT_EQ(removed, std::vector<uint32_t>{1});
    EXPECT_EQ(def.vertexSource, nullptr);

    SfxList = nullptr;
    SfxCount = 0;
    SfxDefList = nullptr;
    SfxDefCount = 0;
}

// ---- drawn for real ------------------------------------------------------------------------

// A hidden 32 x 32 window looking down z at the square -16..16; bolts run across its middle.
class GlThunder : public Thunder {
protected:
    void SetUp() override {
        Thunder::SetUp();
        ASSERT_TRUE(OpenHiddenGlWindow("thunder test", 32, 32, &window_, &context_))
            << SDL_GetError();
        InitGlExtensions();
        InitRenderState();
        ClearTextureTable();
        glViewport(0, 0, 32, 32);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-16, 16, -16, 16, -100, 100);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        SwitchVertexArray(true);
        SwitchTexCoordArray(true);
        SwitchDepthTest(false);
        SwitchBlend(true);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    void TearDown() override {
        RemoveAllThunders();
        DeleteAllTextures();
        InitRenderState();
        BoundTextureId = 0;
        CloseHiddenGlWindow(&window_, &context_);
        Thunder::TearDown();
    }
    static int Red(int x, int y) {
        uint8_t rgba[4] = {};
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        return rgba[0];
    }

    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
};

TEST_F(GlThunder, BothShapesLightTheirPathAdditively) {
    std::vector<uint8_t> white(16 * 4, 255);
    const uint32_t texture = UploadTexture(white.data(), 4, 4, 32, 0, 1, 1);
    for (uint32_t style : {ThunderStyleLine, ThunderStyleRibbon}) {
        SCOPED_TRACE(style);
        glClear(GL_COLOR_BUFFER_BIT);
        NztThunder* bolt = Bolt(style, {-30, 0.5f, 0}, {30, 0.5f, 0});
        bolt->texture = texture;
        bolt->ribbonAngle = 4096 - 32;  // the first pair stands upright, the rest lean a little
        SwitchTexture2D(style == ThunderStyleRibbon);
        bolt->BuildBolt();
        bolt->Render();
        EXPECT_EQ(RenderState.blendMode, 2u);
        // Across the middle the ribbon is white and the line a random share of white; far above
        // and below nothing was drawn.
        const int lit = style == ThunderStyleRibbon ? 200 : 0;
        EXPECT_GT(Red(16, 16), lit);
        EXPECT_GT(Red(8, 16), lit);
        EXPECT_EQ(Red(16, 2), 0);
        EXPECT_EQ(Red(16, 30), 0);
        if (style == ThunderStyleRibbon) {
            EXPECT_EQ(BoundTextureId, texture);
        }
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
