#include "collision/collide.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "collision_fixture.h"

namespace {

TEST(CollideObject, TrianglesTakeUnitNormalsAndMaterialWords) {
    struct Case {
        const char* name;
        CollisionTri tri;
        Vec3 normal;
    };
    const Case cases[] = {
        {"facing up", {{0, 0, 0}, {0, 0, 2}, {2, 0, 0}, 7}, {0, 1, 0}},
        {"facing down", {{0, 0, 0}, {2, 0, 0}, {0, 0, 2}, 3}, {0, -1, 0}},
        {"standing, facing +x", {{1, 0, 0}, {1, 4, 0}, {1, 0, 4}, 8}, {1, 0, 0}},
        {"degenerate keeps a zero normal", {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, 1}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        CollisionWorld world;
        NztScnObject* o = world.AddScn({c.tri});
        ASSERT_EQ(o->triangles.size(), 1u) << c.name;
        const CollisionTriangle& t = o->triangles[0];
        EXPECT_FLOAT_EQ(t.normal.x, c.normal.x) << c.name;
        EXPECT_FLOAT_EQ(t.normal.y, c.normal.y) << c.name;
        EXPECT_FLOAT_EQ(t.normal.z, c.normal.z) << c.name;
        EXPECT_EQ(t.material, c.tri.type) << c.name;
        EXPECT_FLOAT_EQ(t.v[1].x, c.tri.b.x) << c.name;
    }
}

TEST(CollideObject, MeshWithoutTrianglesNeverCollides) {
    CollisionWorld world;
    NztScnObject* o = world.AddScn({});
    EXPECT_EQ(o->hasCollision, 0u);
    EXPECT_TRUE(o->triangles.empty());
    EXPECT_EQ(world.Build(), 0u);
}

TEST(CollideObject, GridCellsFollowTheSizeClassAndDropEmptyCells) {
    // A strip 100 long with a triangle at each end. Size class 1 gives cells of 2.5: 40 along x,
    // one along z; each end triangle reaches the five cells within the 10.0 margin.
    CollisionWorld world;
    NztScnObject* o =
        world.AddScn({{{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, 1}, {{99, 0, 0}, {99, 0, 1}, {100, 0, 0}, 0}});
    EXPECT_EQ(o->cellsPerAxis[0], 40u);
    EXPECT_EQ(o->cellsPerAxis[1], 1u);
    EXPECT_EQ(o->cellsPerAxis[2], 1u);
    ASSERT_EQ(o->gridCellCount, 10u);
    ASSERT_EQ(o->gridCells.size(), 10u);
    // Kept cells close up: the sixth kept cell is the 36th of the row.
    EXPECT_FLOAT_EQ(o->gridCells[4].boxMin.x, 10.0f);
    EXPECT_FLOAT_EQ(o->gridCells[5].boxMin.x, 87.5f);
    auto list = [](const CollisionCell& cell) {
        return std::vector<uint32_t>(cell.entries.begin(), cell.entries.end());
    };
    EXPECT_EQ(list(o->gridCells[0]), std::vector<uint32_t>{0});
    // Material 0 is binned like any other triangle.
    EXPECT_EQ(list(o->gridCells[9]), std::vector<uint32_t>{1});

    // Size class 4 makes cells of 10.0; an object smaller than that, even flat, gets one cell
    // spanning its box (height included, here none).
    CollisionWorld small;
    NztScnObject* s = small.AddScn(Square(0, 0, 8, 8, 3, 1), 4.0f);
    ASSERT_EQ(s->gridCellCount, 1u);
    EXPECT_EQ(s->gridCells[0].entries.size(), 2u);
    EXPECT_FLOAT_EQ(s->gridCells[0].boxMin.y, 3.0f);
    EXPECT_FLOAT_EQ(s->gridCells[0].boxMax.y, 3.0f);
    EXPECT_FLOAT_EQ(s->gridCells[0].boxMax.x, 8.0f);
}

TEST(CollideObject, FarFlungVerticesGiveABoundedGrid) {
    CollisionWorld world;
    NztScnObject* o =
        world.AddScn({{{0, 0, 0}, {0, 0, 1}, {1e30f, 0, 0}, 1}, {{0, 0, 0}, {0, 0, 1e30f}, {1, 0, 0}, 1}});
    EXPECT_LE(o->cellsPerAxis[0] * o->cellsPerAxis[2], 256u * 256u);
    EXPECT_GE(o->gridCellCount, 1u);
}

TEST(CollideObject, GridsHoldWhatThePlainLayoutHolds) {
    // Scattered triangles of every size, slivers, standing ones, far-flung and NaN vertices, over
    // size classes that give one cell to hundreds.
    std::mt19937 random(28);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int round = 0; round < 45; ++round) {
        const float span = round % 3 == 0 ? 8.0f : round % 3 == 1 ? 40.0f : 150.0f;
        const float sizeClass = static_cast<float>(1 + round % 4);
        std::vector<CollisionTri> tris;
        const int count = 1 + static_cast<int>(unit(random) * 40.0f);
        for (int t = 0; t < count; ++t) {
            const Vec3 a{unit(random) * span, unit(random) * span * 0.3f, unit(random) * span};
            const float reach = unit(random) < 0.3f ? span : span * 0.1f;
            auto near = [&] {
                return Vec3{a.x + (unit(random) - 0.5f) * reach, a.y + (unit(random) - 0.5f) * reach,
                            a.z + (unit(random) - 0.5f) * reach};
            };
            CollisionTri tri{a, near(), near(), 1};
            if (t % 7 == 3) tri.c = {a.x, a.y + reach, a.z};  // a sliver standing up
            if (round % 4 == 2) {
                // On a grid of 0.5, so that triangles end exactly on the cells' test borders.
                for (Vec3* v : {&tri.a, &tri.b, &tri.c})
                    *v = {std::round(v->x * 2) / 2, std::round(v->y * 2) / 2, std::round(v->z * 2) / 2};
            }
            tris.push_back(tri);
        }
        if (round % 10 == 4) tris[0].b.x = std::nanf("");
        if (round % 10 == 7) tris[0].c.z = std::nanf("");
        if (round % 15 == 9) tris[0].c.x = 1e30f;
        CollisionWorld world;
        const NztScnObject* o = world.AddScn(tris, sizeClass);
        EXPECT_TRUE(GridIsThePlainLayout(*o)) << "round " << round;
    }
}

// A rigid object that only moves keeps its grid's lists, and a copy of a shape placed elsewhere
// takes the lists made for the first of its shape; either way the grid must be the one a build
// where the object now stands makes, cell by cell, though every corner and cell border is rounded
// afresh at the new place. Shapes of scattered triangles over one to many cells, moved to whole
// and fractional places near the origin and thousands of units away.
TEST(CollideObject, MovedAndSharedGridsAreWhatABuildWhereTheyStandGives) {
    std::mt19937 random(32);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    int grids = 0;
    for (int shape = 0; shape < 16; ++shape) {
        const float span = shape % 3 == 0 ? 6.0f : shape % 3 == 1 ? 30.0f : 90.0f;
        const float sizeClass = static_cast<float>(1 + shape % 4);
        std::vector<CollisionTri> tris;
        for (int t = 0; t < 60; ++t) {
            const Vec3 a{unit(random) * span, unit(random) * span * 0.3f, unit(random) * span};
            const float reach = unit(random) < 0.3f ? span * 0.5f : span * 0.1f;
            auto near = [&] {
                return Vec3{a.x + (unit(random) - 0.5f) * reach, a.y + (unit(random) - 0.5f) * reach,
                            a.z + (unit(random) - 0.5f) * reach};
            };
            CollisionTri tri{a, near(), near(), 1};
            if (shape % 2 == 1) {
                // On a grid of 0.5, so that corners lie exactly on the cells' test borders.
                for (Vec3* v : {&tri.a, &tri.b, &tri.c})
                    *v = {std::round(v->x * 2) / 2, std::round(v->y * 2) / 2, std::round(v->z * 2) / 2};
            }
            tris.push_back(tri);
        }
        CollisionWorld world;
        NztScnObject* mover = world.AddScn(tris, sizeClass);
        NztScnObject* copy = world.AddScn(tris, sizeClass);
        for (int place = 0; place < 16; ++place) {
            SCOPED_TRACE(::testing::Message() << "shape " << shape << ", place " << place);
            const float far = place % 4 == 0 ? 3000.0f : 60.0f;
            Vec3 at{(unit(random) - 0.5f) * far, (unit(random) - 0.5f) * 10.0f, (unit(random) - 0.5f) * far};
            if (place % 5 == 0) at = {std::round(at.x), std::round(at.y), std::round(at.z)};
            *mover->mesh->Position = at;
            mover->UpdateCollision();
            EXPECT_TRUE(GridIsThePlainLayout(*mover));
            *copy->mesh->Position = at + Vec3{0.37f, 0.0f, -0.61f};
            copy->FreeGrid();
            copy->UpdateCollision();
            EXPECT_TRUE(GridIsThePlainLayout(*copy));
            grids += 2;
        }
    }
    EXPECT_EQ(grids, 512);
}

TEST(CollideObject, ReleaseFreesEverythingAndLeavesTheGlobalGrid) {
    CollisionWorld world;
    NztScnObject* a = world.AddScn(Square(0, 0, 10, 10, 0, 1));
    world.AddScn(Square(20, 0, 30, 10, 0, 1));
    ASSERT_EQ(world.Build(), 25u);
    a->ReleaseCollision();
    EXPECT_EQ(a->hasCollision, 0u);
    EXPECT_EQ(a->collisionTriangleCount, 0);
    EXPECT_TRUE(a->triangles.empty());
    EXPECT_TRUE(a->worldVertices.empty());
    EXPECT_EQ(a->gridCellCount, 0u);
    for (const CollideGridCell& cell : CollideGridCells) {
        for (const NztScnObject* o : cell.entries) EXPECT_NE(o, a);
    }
}

TEST(CollideGrid, FiveByFiveCellsOverTheCollidingSceneObjects) {
    CollisionWorld world;
    // Two squares: the grid spans x 0..110 in cells of 22, z 0..10 in cells of 2.
    NztScnObject* left = world.AddScn(Square(0, 0, 15, 10, 0, 1));
    NztScnObject* right = world.AddScn(Square(100, 0, 110, 10, 5, 1));
    world.AddScn({});  // no collision: not in the grid
    ASSERT_EQ(world.Build(), 25u);
    ASSERT_EQ(CollideGridCells.size(), 25u);
    // x outer, z inner.
    EXPECT_FLOAT_EQ(CollideGridCells[6].boxMin.x, 22.0f);
    EXPECT_FLOAT_EQ(CollideGridCells[6].boxMin.z, 2.0f);
    EXPECT_FLOAT_EQ(CollideGridCells[6].boxMax.y, 5.0f);
    // Cell 0 (x 0..22) holds the left square; cell 5 (x 22..44) still reaches it through the
    // margin (12 < 15); cell 10 (44..66) holds nothing but is kept; cell 20 (88..110) the right one.
    EXPECT_EQ(CollideGridCells[0].entries, std::vector<NztScnObject*>{left});
    EXPECT_EQ(CollideGridCells[5].entries, std::vector<NztScnObject*>{left});
    EXPECT_TRUE(CollideGridCells[10].entries.empty());
    EXPECT_EQ(CollideGridCells[20].entries, std::vector<NztScnObject*>{right});

    // Overlapping objects are listed from the end of the owning list.
    CollisionWorld stacked;
    NztScnObject* first = stacked.AddScn(Square(0, 0, 10, 10, 0, 1));
    NztScnObject* second = stacked.AddScn(Square(0, 0, 10, 10, 4, 1));
    stacked.Build();
    EXPECT_EQ(CollideGridCells[12].entries, (std::vector<NztScnObject*>{second, first}));
}

TEST(CollideGrid, CellSearches) {
    CollisionWorld world;
    world.AddScn(Square(0, 0, 50, 50, 0, 1));  // cells of 10 x 10
    ASSERT_EQ(world.Build(), 25u);
    struct Case {
        Vec3 point;
        int32_t cell;
    };
    const Case cases[] = {
        {{5, 0, 5}, 0},      {{5, 1000, 5}, 0},   // height does not count
        {{10, 0, 5}, 5},                          // on a shared border: the later cell
        {{10, 0, 10}, 6},    {{-0.1f, 0, 5}, 0},  // within 0.1 outside
        {{-0.2f, 0, 5}, -1}, {{49, 0, 50.05f}, 24}, {{60, 0, 5}, -1},
    };
    for (const Case& c : cases) {
        CurrentCollideCell = 99;
        EXPECT_EQ(FindCollideCellAt(c.point), c.cell) << c.point.x << ' ' << c.point.z;
        EXPECT_EQ(CurrentCollideCell, c.cell);
    }
    // A segment that passes through the top and bottom of cell 12 (x 20..30, z 20..30); a flat
    // cell has no inside, so only a segment crossing its plane meets it.
    EXPECT_EQ(FindCollideCellOnSegment({25, 10, 25}, {25, -10, 25}), 12);
    EXPECT_EQ(FindCollideCellOnSegment({25, 10, 25}, {25, 5, 25}), -1);
    EXPECT_EQ(FindCollideCellOnSegment({80, 10, 80}, {80, -10, 80}), -1);
}

TEST(CollideGrid, NoCollidingSceneObjectMeansNoCell) {
    CollisionWorld world;
    world.AddEntity(Square(0, 0, 10, 10, 0, 1));  // characters are not in the grid
    EXPECT_EQ(world.Build(), 0u);
    EXPECT_EQ(CollideGridCellCount, 0u);
    EXPECT_EQ(FindCollideCellAt({5, 0, 5}), -1);
    EXPECT_EQ(FindCollideCellOnSegment({5, 10, 5}, {5, -10, 5}), -1);
}

}  // namespace
