// Trails: set-up from the owner's attach points, the grid, the parameters, the history and lag
// modes, the refill after the owner was out of view, and the timed stop and fade. Headless: the
// textures are registered in the texture table beforehand so that loading only shares them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/nztmath.h"
#include "core/paths.h"
#include "effects/trail.h"
#include "game/frame.h"
#include "model/mesh.h"
#include "objects/registry.h"
#include "render/texture.h"

namespace {

constexpr uint32_t FireTexture = 41;

class Trails : public testing::Test {
protected:
    void SetUp() override {
        BuildRandomTable();
        ClearTextureTable();
        ClearObjectLists();
        AllocObjectLists();
        savedTiming = FrameTiming;
        FrameTiming.frameTime = 0.02f;
        Register("MAPS/TrailFire.Img", FireTexture);
    }
    void TearDown() override {
        RemoveAllTrails();
        FreeObjectLists();
        ClearObjectLists();
        ClearTextureTable();
        FrameTiming = savedTiming;
    }
    // A held reference keeps a release from reaching GL.
    static TextureEntry& Register(const char* name, uint32_t id) {
        TextureEntry& e = TextureTable[TextureCount++];
        e = TextureEntry{id, 1, NameChecksum(name), 1, 1};
        return e;
    }
    // An owner whose attach points carry the names, point i anchored on vertex 2 i.
    static void Points(NztBaseObject& owner, const std::vector<std::string>& names) {
        owner.attachPoints.resize(names.size());
        for (size_t i = 0; i < names.size(); ++i) {
            std::snprintf(owner.attachPoints[i].Name, sizeof owner.attachPoints[i].Name, "%s",
                          names[i].c_str());
            owner.attachPoints[i].Anchor = static_cast<uint32_t>(2 * i);
        }
        owner.vertices.assign(2 * names.size(), Vec3{});
        owner.visible = 1;
    }
    // Moves every point's vertex to (x, row, 0).
    static void MoveTo(NztBaseObject& owner, float x) {
        for (size_t i = 0; i < owner.attachPoints.size(); ++i)
            owner.vertices[owner.attachPoints[i].Anchor] = {x, float(i), 0};
    }
    static float At(const NztTrail& t, uint32_t row, uint32_t column) {
        return t.vertices[row * t.columns + column].x;
    }
    static std::vector<float> Row(const NztTrail& t, uint32_t row) {
        std::vector<float> xs;
        for (uint32_t c = 0; c < t.columns; ++c) xs.push_back(At(t, row, c));
        return xs;
    }

    FrameTimingState savedTiming;
    // Outlives the trails, which TearDown removes.
    NztBaseObject owner;
};

TEST_F(Trails, SetupTakesThePointsOfItsLetterOnly) {
    struct Case {
        std::vector<std::string> names;
        char letter;
        uint32_t rows;  // 0: no grid
    };
    const Case cases[] = {
        {{"@TrailA", "@TrailA", "@TrailA"}, 'A', 3},
        {{"@TrailA", "@TrailB", "@TrailAxe"}, 'A', 2},
        {{"@TrailA", "@TrailB"}, 'A', 0},           // one point makes no ribbon
        {{"@Trail", "@Trail", "@TrailA"}, 'A', 0},  // a bare "@Trail" has no letter
        {{"#Fire", "@TrailA", "@trailA"}, 'A', 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names.size());
        Points(owner, c.names);
        NztTrail* trail = CreateTrail(&owner, c.letter);
        ASSERT_NE(trail, nullptr);
        EXPECT_EQ(trail->registered, 1);  // made and listed either way
        EXPECT_EQ(TrailList[TrailCount - 1], trail);
        EXPECT_EQ(trail->rows, c.rows);
        EXPECT_EQ(trail->texture, FireTexture);
        if (c.rows) {
            EXPECT_EQ(trail->columns, 10u);
            EXPECT_EQ(trail->followFactor, 0.5f);
            ASSERT_EQ(owner.trails.size(), 1u);
            EXPECT_EQ(owner.trails[0], trail);
        } else {
            EXPECT_TRUE(trail->pointVertices.empty());
            EXPECT_TRUE(trail->indices.empty());
            EXPECT_TRUE(owner.trails.empty());
        }
        RemoveTrailAt(TrailCount - 1);  // off the owner's list too
        EXPECT_TRUE(owner.trails.empty());
    }
}

TEST_F(Trails, TheGridJoinsNeighbouringColumnsOfNeighbouringRows) {
    Points(owner, {"@Trail1", "@Trail1", "@Trail1"});
    NztTrail* t = CreateTrail(&owner, '1');
    t->BuildBuffers(4);
    ASSERT_EQ(t->vertices.size(), 12u);
    EXPECT_EQ(t->quadCount, 6u);
    ASSERT_EQ(t->indices.size(), 24u);
    // The last quad: row 1, column 2 (vertex 6) with its right and lower neighbours.
    EXPECT_EQ(std::vector<uint32_t>(t->indices.end() - 4, t->indices.end()),
              (std::vector<uint32_t>{6, 7, 11, 10}));
    // Vertex 7 is row 1, column 3: u = 3 / 3, v = 1 / 2.
    EXPECT_EQ(t->texCoords[14], 1.0f);
    EXPECT_EQ(t->texCoords[15], 0.5f);
    EXPECT_EQ(t->resetFlag, 1u);
}

TEST_F(Trails, ParametersKeepAFadeFactorWithinZeroToOneAndAtLeastTwoColumns) {
    struct Case {
        float fade, expectedFade;
        float segments;
        uint32_t columns;
    };
    const Case cases[] = {
        {0.5f, 0.5f, 5.6f, 6}, {0.999f, 0.999f, 3, 3}, {1.0f, 0, 3, 3},
        {1.5f, 0, 3, 3},       {-0.1f, 0, 0, 2},       {0, 0, -7, 2},
    };
    Points(owner, {"@TrailX", "@TrailX"});
    NztTrail* t = CreateTrail(&owner, 'X');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fade);
        t->SetParams(MakeTrailParams("TrailFire", 2, c.fade, 4, c.segments, 0.3f, 0.1f, 0.7f));
        EXPECT_EQ(t->fadeFactor, c.expectedFade);
        EXPECT_EQ(t->columns, c.columns);
        EXPECT_EQ(t->opacity, 0.7f);
        EXPECT_EQ(t->baseOpacity, 0.7f);
        EXPECT_EQ(t->blendMode, 4u);
        EXPECT_EQ(t->duration, 2.0f);
    }
    // The same name keeps the loaded texture (one reference), another one lets it go.
    EXPECT_EQ(TextureTable[0].refCount, 2u);
    Register("MAPS/Smoke.Img", 42);
    t->LoadTexture("Smoke");
    EXPECT_EQ(t->texture, 42u);
    EXPECT_EQ(TextureTable[0].refCount, 1u);
    t->LoadTexture("../Smoke");  // refused: the old texture is gone, no new one
    EXPECT_EQ(t->texture, 0u);
}

TEST_F(Trails, HistoryModeShiftsOneColumnAFrameAfterFillingUp) {
    Points(owner, {"@TrailA", "@TrailA"});
    NztTrail* t = CreateTrail(&owner, 'A');
    t->BuildBuffers(3);
    t->followFactor = 0;
    t->running = 1;
    MoveTo(owner, 1);
    EXPECT_EQ(t->UpdateGrid(), 0);  // the refill is not drawn
    EXPECT_EQ(t->recorded, 1u);
    MoveTo(owner, 2);
    EXPECT_EQ(t->UpdateGrid(), 1);  // first 2 columns take the point
    EXPECT_EQ(Row(*t, 1), (std::vector<float>{2, 2, 1}));
    MoveTo(owner, 3);
    t->UpdateGrid();  // first column only: now full
    EXPECT_EQ(Row(*t, 0), (std::vector<float>{3, 2, 1}));
    MoveTo(owner, 4);
    t->UpdateGrid();  // shifts
    EXPECT_EQ(Row(*t, 0), (std::vector<float>{4, 3, 2}));
    EXPECT_EQ(t->vertices[t->columns].y, 1.0f);  // row 1 is the second point
}

TEST_F(Trails, LagModeEasesEachColumnTowardTheOneBefore) {
    Points(owner, {"@TrailA", "@TrailA"});
    NztTrail* t = CreateTrail(&owner, 'A');
    t->BuildBuffers(3);
    t->running = 1;  // follow factor 0.5 from the set-up
    MoveTo(owner, 0);
    t->UpdateGrid();
    MoveTo(owner, 8);
    EXPECT_EQ(t->UpdateGrid(), 1);
    EXPECT_EQ(Row(*t, 0), (std::vector<float>{8, 4, 2}));

    // With jitter each vertex draws its own factor within [f - j, f + j].
    t->followJitter = 0.25f;
    MoveTo(owner, 16);
    t->UpdateGrid();
    const float lagged = At(*t, 0, 1);
    EXPECT_GE(lagged, 4 + 12 * 0.25f);
    EXPECT_LE(lagged, 4 + 12 * 0.75f);
}

TEST_F(Trails, AnOwnerOutOfViewRestartsTheGridFromTheCurrentPoints) {
    Points(owner, {"@TrailA", "@TrailA"});
    NztTrail* t = CreateTrail(&owner, 'A');
    t->running = 1;
    MoveTo(owner, 1);
    t->UpdateGrid();
    MoveTo(owner, 5);
    t->UpdateGrid();
    owner.visible = 0;
    EXPECT_EQ(t->UpdateGrid(), 0);
    EXPECT_EQ(t->resetFlag, 1u);
    owner.visible = 1;
    MoveTo(owner, 9);
    EXPECT_EQ(t->UpdateGrid(), 0);
    for (uint32_t c = 0; c < t->columns; ++c) EXPECT_EQ(At(*t, 1, c), 9) << c;
    // A point anchored outside the posed vertices has nothing to follow.
    owner.vertices.resize(1);
    EXPECT_EQ(t->UpdateGrid(), 0);
}

TEST_F(Trails, ATimedTrailStopsThenFadesOutAndARestartRestoresIt) {
    Points(owner, {"@TrailA", "@TrailA"});
    NztTrail* t = CreateTrail(&owner, 'A');
    t->SetParams(MakeTrailParams("TrailFire", 0.05f, 0.5f, 2, 4, 0.5f, 0, 0.8f));
    t->running = 1;
    t->UpdateGrid();
    t->UpdateGrid();
    EXPECT_EQ(t->UpdateGrid(), 0);  // 0.06 s: past the duration
    EXPECT_EQ(t->running, 0u);
    EXPECT_EQ(t->fading, 1u);
    EXPECT_EQ(t->UpdateGrid(), 1);  // fading: drawn as it is
    t->LateUpdate();
    EXPECT_FLOAT_EQ(t->opacity, 0.4f);
    t->running = 1;                                     // restarted while fading
    t->LateUpdate(), t->LateUpdate(), t->LateUpdate();  // 0.2, 0.1, 0.05
    EXPECT_EQ(t->fading, 0u);
    EXPECT_EQ(t->opacity, 0.8f);
    EXPECT_EQ(t->resetFlag, 1u);
    EXPECT_EQ(t->timer, 0.0f);

    // A fade factor of 0 ends the fade on the next frame and the trail stays stopped.
    t->fadeFactor = 0;
    t->running = 0;
    t->fading = 1;
    t->LateUpdate();
    EXPECT_EQ(t->fading, 0u);
    EXPECT_EQ(t->opacity, 0.0f);
}

}  // namespace
