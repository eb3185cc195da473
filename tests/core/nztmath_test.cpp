#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

#include "core/nztmath.h"

namespace {

class MathTables : public ::testing::Test {
protected:
    void SetUp() override {
        BuildSinCosTables();
        BuildRandomTable();
    }
    void TearDown() override { ResetMathTables(); }
};

void ExpectVec(const Vec3& got, const Vec3& want, float tolerance) {
    EXPECT_NEAR(got.x, want.x, tolerance);
    EXPECT_NEAR(got.y, want.y, tolerance);
    EXPECT_NEAR(got.z, want.z, tolerance);
}

TEST_F(MathTables, SinCosUseTheF32TurnAndRepeatTheFullTurn) {
    // The turn is 6.2831855f, a little more than 2 pi: a quarter turn lands just past pi / 2 and
    // entry 4096 just past a full turn, which a table built from the exact 2 pi would not show.
    EXPECT_EQ(SinCosTables.sine[0], 0.0f);
    EXPECT_EQ(SinCosTables.cosine[0], 1.0f);
    EXPECT_EQ(SinCosTables.sine[1024], 1.0f);
    EXPECT_NEAR(SinCosTables.cosine[1024], -4.3711390e-8f, 1e-14f);
    EXPECT_EQ(SinCosTables.cosine[2048], -1.0f);
    EXPECT_EQ(SinCosTables.cosine[4096], 1.0f);
    EXPECT_NEAR(SinCosTables.sine[4096], 1.7484555e-7f, 1e-13f);
    EXPECT_EQ(TableSin(1024 + 4096), SinCosTables.sine[1024]);
    EXPECT_EQ(TableCos(-1024), SinCosTables.cosine[3072]);
}

TEST_F(MathTables, RandomTableFollowsTheRuntimeGenerator) {
    constexpr float kScale = 3.0518509e-5f;
    EXPECT_EQ(RandomTable[0], 41 * kScale);
    EXPECT_EQ(RandomTable[1], 18467 * kScale);
    EXPECT_EQ(RandomTable[2], 6334 * kScale);
    EXPECT_EQ(RandomTable[3], 26500 * kScale);
    float lo = 1.0f, hi = 0.0f;
    for (float r : RandomTable) {
        lo = std::fmin(lo, r);
        hi = std::fmax(hi, r);
    }
    EXPECT_GE(lo, 0.0f);
    EXPECT_LE(hi, 1.0f);

    // The generator goes on after the table's values; rebuilding starts again from the default seed
    // whatever was drawn before.
    CrtSrand(1);
    for (int i = 0; i < RandomTableSize; ++i) CrtRand();
    const int next = CrtRand();
    BuildRandomTable();
    EXPECT_EQ(CrtRand(), next);
    EXPECT_EQ(RandomTable[0], 41 * kScale);
}

TEST_F(MathTables, CrtRandSequences) {
    struct Case {
        uint32_t seed;
        int values[5];
    };
    const Case cases[] = {
        {1, {41, 18467, 6334, 26500, 19169}},
        {0, {38, 7719, 21238, 2437, 8855}},
    };
    for (const Case& c : cases) {
        CrtSrand(c.seed);
        for (int v : c.values) EXPECT_EQ(CrtRand(), v) << "seed " << c.seed;
    }
}

TEST_F(MathTables, ConstantsFilledWithTheSinCosTables) {
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(IdentityMatrix3[i], identity[i]);
    for (const float* q : {IdentityQuatTraject, IdentityQuatAnim, IdentityQuatPose}) {
        EXPECT_EQ(q[0], 1.0f);
        EXPECT_EQ(q[1], 0.0f);
        EXPECT_EQ(q[2], 0.0f);
        EXPECT_EQ(q[3], 0.0f);
    }
    EXPECT_EQ(WobbleWeightTable[0], 0.0f);
    EXPECT_EQ(WobbleWeightTable[1], std::ldexp(1.0f, -27));
    EXPECT_EQ(WobbleWeightTable[256], 0.125f);
    // 511^3 = 133432831 needs 27 bits: it is rounded to f32 once, to 133432832.
    EXPECT_EQ(WobbleWeightTable[511], std::ldexp(133432832.0f, -27));
}

// Rows of the rotation of quaternion (w, x, y, z), as the matrix code builds them.
void QuatRows(const float q[4], float m[9]) {
    const float w = q[0], x = q[1], y = q[2], z = q[3];
    const float rows[9] = {1 - 2 * (y * y + z * z), 2 * (x * y + w * z),     2 * (x * z - w * y),
                           2 * (x * y - w * z),     1 - 2 * (x * x + z * z), 2 * (y * z + w * x),
                           2 * (x * z + w * y),     2 * (y * z - w * x),     1 - 2 * (x * x + y * y)};
    for (int i = 0; i < 9; ++i) m[i] = rows[i];
}

TEST_F(MathTables, DirectionToMatrixExactAngles) {
    const float c1024 = SinCosTables.cosine[1024];
    const float c3072 = SinCosTables.cosine[3072];
    const float sp = SinCosTables.sine[3584], cp = SinCosTables.cosine[3584];
    struct Case {
        Vec3 d;
        float m[9];
    };
    const Case cases[] = {
        {{0, 0, 1}, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        {{0, 0, 5}, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        // yaw 1024: the sine is exactly 1, the cosine the table's tiny remainder.
        {{1, 0, 0}, {c1024, 0, -1, 0, 1, 0, 1, 0, c1024}},
        // pitch -1024, masked to 3072: forward points up.
        {{0, 1, 0}, {1, 0, 0, 0, c3072, -1, 0, 1, c3072}},
        // yaw 1024 and pitch -512 (masked to 3584): both angles at once.
        {{1, 1, 0}, {c1024, 0, -1, sp, cp, c1024 * sp, cp, -sp, c1024 * cp}},
    };
    for (const Case& c : cases) {
        float m[9];
        DirectionToMatrix(c.d, m);
        for (int i = 0; i < 9; ++i) {
            EXPECT_EQ(m[i], c.m[i]) << "d (" << c.d.x << ", " << c.d.y << ", " << c.d.z << ") [" << i << "]";
        }
    }
}

TEST_F(MathTables, DirectionToMatrixAndQuatAgreeOnTheForwardAxis) {
    const Vec3 directions[] = {{0, 0, 1}, {1, 0, 0},      {0, 0, -1},        {-3, 0, 1},
                               {1, 2, 3}, {-2, -1, 0.5f}, {0.1f, -5, -0.2f}, {4, 4, -4}};
    for (const Vec3& d : directions) {
        const float len = std::sqrt(Dot(d, d));
        const Vec3 unit = d * (1.0f / len);
        float m[9], q[4], qm[9];
        DirectionToMatrix(d, m);
        DirectionToQuat(d, q);
        QuatRows(q, qm);
        // The matrix rounds its angles to whole units (half a unit is 0.00077 rad); the quaternion
        // does not.
        ExpectVec({m[6], m[7], m[8]}, unit, 0.0025f);
        ExpectVec({qm[6], qm[7], qm[8]}, unit, 1e-5f);
        for (int i = 0; i < 9; ++i) EXPECT_NEAR(m[i], qm[i], 0.0025f) << i;
    }
}

TEST_F(MathTables, AnglesToQuatHalfAngles) {
    const float h = std::sqrt(0.5f);
    struct Case {
        float pitch, yaw;
        float q[4];
    };
    const Case cases[] = {
        {0, 0, {1, 0, 0, 0}},
        {0, 1024, {h, 0, h, 0}},
        {1024, 0, {h, h, 0, 0}},
        {0, 2048, {0, 0, 1, 0}},
        {1024, 1024, {0.5f, 0.5f, 0.5f, -0.5f}},
        {-512, 0, {std::cos(0.3926991f), -std::sin(0.3926991f), 0, 0}},
    };
    for (const Case& c : cases) {
        float q[4];
        AnglesToQuat(q, c.pitch, c.yaw);
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(q[i], c.q[i], 1e-6f) << c.pitch << " " << c.yaw;
    }
}

TEST(Geometry, ScratchPlaneIsTheUnnormalisedCrossThroughP1) {
    SetScratchPlane({0, 0, 0}, {2, 0, 0}, {0, 0, 3});
    EXPECT_EQ(ScratchPlaneNormal.x, 0.0f);
    EXPECT_EQ(ScratchPlaneNormal.y, -6.0f);
    EXPECT_EQ(ScratchPlaneNormal.z, 0.0f);
    ExpectVec(ScratchPlanePoint, {2, 0, 0}, 0.0f);
    ResetMathTables();
}

// Every line-plane and segment-plane variant, on the plane y = 0.
TEST(Geometry, LineAndSegmentAgainstPlane) {
    const Vec3 p0{0, 0, 0}, p1{1, 0, 0}, p2{0, 0, 1};
    const Vec3 normal{0, 1, 0};
    struct Case {
        const char* name;
        Vec3 a, b;
        bool lineHit, segmentHit;
        Vec3 hit;
    };
    const Case cases[] = {
        {"crossing", {0.25f, 1, 0.5f}, {0.25f, -3, 0.5f}, true, true, {0.25f, 0, 0.5f}},
        {"parallel", {0, 1, 0}, {5, 1, 7}, false, false, {}},
        {"in the plane", {0, 0, 0}, {5, 0, 7}, false, false, {}},
        {"nearly parallel hits far", {0, 1, 0}, {1, 1 - 1.0f / 1024, 0}, true, false, {1024, 0, 0}},
        {"short of the plane", {3, 2, 0}, {3, 1, 0}, true, false, {3, 0, 0}},
        {"end on the plane", {3, 2, -1}, {3, 0, -1}, true, true, {3, 0, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Vec3 hit{};
        ASSERT_EQ(IntersectLinePlane(normal, p1, c.a, c.b, hit), c.lineHit);
        if (c.lineHit) ExpectVec(hit, c.hit, 1e-4f);
        ASSERT_EQ(IntersectLineTrianglePlane(p0, p1, p2, c.a, c.b, hit), c.lineHit);
        if (c.lineHit) ExpectVec(hit, c.hit, 1e-4f);
        EXPECT_EQ(IntersectSegmentTrianglePlane(p0, p1, p2, c.a, c.b, hit), c.segmentHit);

        SetScratchPlane(p0, p1, p2);
        ASSERT_EQ(IntersectLineScratchPlane(c.a, c.b, hit), c.lineHit);
        if (c.lineHit) ExpectVec(hit, c.hit, 1e-4f);
        EXPECT_EQ(IntersectSegmentScratchPlane(c.a, c.b, hit), c.segmentHit);
    }
    ResetMathTables();
}

TEST(Geometry, PointInTriangleTolerance) {
    // Edge A-B has length 1 and its outward normal in the x-z plane is (-0.8, 0.6); the edge
    // function there is the distance outside the edge. The triangle lies in y = 0, so the x-y and
    // y-z projections see it edge-on.
    const Vec3 A{0, 0, 0}, B{0.6f, 0, 0.8f}, C{2, 0, 0};
    struct Case {
        const char* name;
        Vec3 p;
        bool inside;
    };
    const Case cases[] = {
        {"centroid", {0.8667f, 0, 0.2667f}, true},
        {"on a vertex", {0.6f, 0, 0.8f}, true},
        {"0.05 outside A-B", {0.26f, 0, 0.43f}, true},
        {"0.2 outside A-B", {0.14f, 0, 0.52f}, false},
        {"beyond B-C inside the box", {1.9f, 0, 0.7f}, false},
        {"0.05 off the plane", {0.8667f, 0.05f, 0.2667f}, true},
        {"0.2 off the plane", {0.8667f, 0.2f, 0.2667f}, false},
        {"0.05 outside the box", {-0.05f, 0, 0.0f}, true},
        {"0.2 outside the box", {2.2f, 0, 0.0f}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PointInTriangle(A, B, C, c.p), c.inside) << c.name;
        EXPECT_EQ(PointInTriangle(A, C, B, c.p), c.inside) << c.name << ", other winding";
    }
}

TEST(Geometry, SegmentAgainstTriangle) {
    const Vec3 A{0, 0, 0}, B{2, 0, 0}, C{0, 0, 2};
    struct Case {
        const char* name;
        Vec3 a, b;
        bool hits;
        bool planeHit;  // the hit point is written even when the triangle rejects it
        Vec3 hit;
    };
    const Case cases[] = {
        {"through the middle", {0.5f, 1, 0.5f}, {0.5f, -1, 0.5f}, true, true, {0.5f, 0, 0.5f}},
        {"stops 0.05 short", {0.5f, 1, 0.5f}, {0.5f, 0.05f, 0.5f}, true, true, {0.5f, 0, 0.5f}},
        {"stops 0.2 short", {0.5f, 1, 0.5f}, {0.5f, 0.2f, 0.5f}, false, false, {}},
        {"slanted, meets the plane far off",
         {0.2f, 0.09f, 0.2f},
         {0.4f, 0.08f, 0.2f},
         false,
         true,
         {2, 0, 0.2f}},
        {"beside the hypotenuse", {1.5f, 1, 1.5f}, {1.5f, -1, 1.5f}, false, true, {1.5f, 0, 1.5f}},
        {"parallel above", {0, 0.05f, 0}, {1, 0.05f, 1}, false, false, {}},
        {"all beyond one side", {3, 1, 3}, {4, -1, 4}, false, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Vec3 unset{-99, -99, -99};
        Vec3 hit = unset;
        EXPECT_EQ(IntersectSegmentTriangle(A, B, C, c.a, c.b, hit), c.hits);
        ExpectVec(hit, c.planeHit ? c.hit : unset, 1e-3f);

        SetScratchPlane(A, B, C);
        hit = unset;
        EXPECT_EQ(IntersectSegmentScratchTriangle(A, B, C, c.a, c.b, hit), c.hits);
        ExpectVec(hit, c.planeHit ? c.hit : unset, 1e-3f);
    }
    ResetMathTables();
}

TEST(Geometry, PointInBoxTolerance) {
    const Vec3 lo{0, 0, 0}, hi{1, 2, 3};
    struct Case {
        Vec3 p;
        bool inside;
    };
    const Case cases[] = {
        {{0.5f, 1, 1.5f}, true},   {{-0.05f, 1, 1.5f}, true}, {{0.5f, 2.09f, 1.5f}, true},
        {{0.5f, 1, -0.2f}, false}, {{1.2f, 1, 1.5f}, false},  {{0.5f, 2.2f, 3}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PointInBox(lo, hi, c.p), c.inside) << c.p.x << " " << c.p.y << " " << c.p.z;
    }
}

TEST(Geometry, SegmentAgainstBox) {
    const Vec3 lo{0, 0, 0}, hi{1, 1, 1};
    struct Case {
        const char* name;
        Vec3 a, b;
        bool intersects, topOrBottom;
    };
    const Case cases[] = {
        {"end on the top face", {0.5f, 1, 0.5f}, {0.5f, 3, 0.5f}, true, true},
        {"end on a side face", {1, 0.5f, 0.5f}, {3, 0.5f, 0.5f}, true, true},
        {"end on a corner", {1, 1, 1}, {2, 3, 4}, true, true},
        {"through the sides", {-1, 0.5f, 0.5f}, {2, 0.5f, 0.5f}, true, false},
        {"through top and bottom", {0.5f, -1, 0.5f}, {0.5f, 2, 0.5f}, true, true},
        {"diagonal through", {-1, -1, -1}, {2, 2, 2}, true, true},
        {"in the bottom, out a side", {0.5f, -1, 0.2f}, {0.5f, 2, 2}, true, true},
        {"in a side, out the top", {-1, 0.2f, 0.5f}, {2, 2, 0.5f}, true, true},
        {"passes the corner", {-1, 0.5f, 1}, {1, 0.5f, 3}, false, false},
        {"beyond one face", {2, 0, 0}, {3, 1, 1}, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SegmentIntersectsBox(lo, hi, c.a, c.b), c.intersects) << c.name;
        EXPECT_EQ(SegmentIntersectsBox(lo, hi, c.b, c.a), c.intersects) << c.name << ", reversed";
        EXPECT_EQ(SegmentHitsBoxTopOrBottom(lo, hi, c.a, c.b), c.topOrBottom) << c.name;
    }
}

TEST(Geometry, TriangleAgainstBox) {
    const Vec3 lo{0, 0, 0}, hi{1, 1, 1};
    struct Case {
        const char* name;
        Vec3 p0, p1, p2;
        bool intersects;
    };
    const Case cases[] = {
        {"vertex inside", {0.5f, 0.5f, 0.5f}, {5, 5, 5}, {5, 6, 5}, true},
        {"vertex on a face", {1, 0.5f, 0.5f}, {3, 0.5f, 0.5f}, {3, 0.7f, 0.5f}, true},
        {"large, cutting the box", {-5, 0.5f, -5}, {5, 0.5f, -5}, {0, 0.5f, 10}, true},
        {"thin, an edge crossing the box", {-1, 0.5f, 0.5f}, {2, 0.5f, 0.5f}, {2, 0.5f, 0.6f}, true},
        {"boxes overlap, plane misses", {2.5f, -1, 0}, {0, -1, 2.5f}, {1.25f, 3, 1.25f}, false},
        {"boxes apart", {2, 2, 2}, {3, 2, 2}, {2, 3, 2}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TriangleIntersectsBox(lo, hi, c.p0, c.p1, c.p2), c.intersects) << c.name;
        EXPECT_EQ(TriangleIntersectsBox(lo, hi, c.p2, c.p1, c.p0), c.intersects)
            << c.name << ", other winding";
    }
    ResetMathTables();
}

TEST(Geometry, SphereAgainstTriangle) {
    const Vec3 V0{0, 0, 0}, V1{4, 0, 0}, V2{0, 0, 4};
    struct Case {
        const char* name;
        Vec3 v0, v1, v2;
        Vec3 centre;
        float radius;
        bool touches;
    };
    const Case cases[] = {
        // One case per closest-point region; each radius is the exact distance, then a bit less.
        {"above the interior", V0, V1, V2, {1, 2, 1}, 2, true},
        {"above the interior, short", V0, V1, V2, {1, 2, 1}, 1.99f, false},
        {"below the interior", V0, V1, V2, {1, -3, 1}, 3, true},
        {"beyond the long edge", V0, V1, V2, {3, 0, 3}, 1.4143f, true},
        {"beyond the long edge, short", V0, V1, V2, {3, 0, 3}, 1.4142f, false},
        {"beyond V2", V0, V1, V2, {0, 0, 6}, 2, true},
        {"beyond V2, short", V0, V1, V2, {0, 0, 6}, 1.9f, false},
        {"beside edge V0-V2", V0, V1, V2, {-1, 0, 2}, 1, true},
        {"beside edge V0-V2, short", V0, V1, V2, {-1, 0, 2}, 0.9f, false},
        {"beyond V0", V0, V1, V2, {-1, 0, -1}, 1.4143f, true},
        {"beyond V0, short", V0, V1, V2, {-1, 0, -1}, 1.4142f, false},
        {"beside edge V0-V1", V0, V1, V2, {2, 0, -3}, 3, true},
        {"beyond V1", V0, V1, V2, {6, 0, 0}, 2, true},
        {"beyond V1, short", V0, V1, V2, {6, 0, 0}, 1.9f, false},
        // Zero-area triangles are their edges.
        {"two vertices equal, near the edge", V0, V0, V1, {2, 1, 0}, 1, true},
        {"two vertices equal, short", V0, V0, V1, {2, 1, 0}, 0.9f, false},
        {"collinear, over the middle", V0, {2, 0, 0}, V1, {1, 0.5f, 0}, 0.5f, true},
        {"collinear, short", V0, {2, 0, 0}, V1, {1, 0.5f, 0}, 0.49f, false},
        {"collinear, beyond an end", {-2, 0, 0}, V0, {2, 0, 0}, {-2.5f, 0, 0}, 0.5f, true},
        {"collinear, far away", V0, {2, 0, 0}, V1, {10, 10, 10}, 1, false},
        {"collinear, unevenly spaced",
         {0.1f, 0.2f, 0.3f},
         {0.4f, 0.8f, 1.2f},
         {0.7f, 1.4f, 2.1f},
         {0.4f, 0.8f, 1.7f},
         0.3f,
         true},
        {"a single point", V1, V1, V1, {4, 0, 1}, 1, true},
        {"a single point, short", V1, V1, V1, {4, 0, 1}, 0.5f, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SphereTouchesTriangle(c.v0, c.v1, c.v2, c.centre, c.radius), c.touches) << c.name;
        EXPECT_EQ(SphereTouchesTriangle(c.v2, c.v0, c.v1, c.centre, c.radius), c.touches)
            << c.name << ", vertices turned";
    }
}

// Plain reference: the projection onto the plane when it falls inside (barycentric
// coordinates), otherwise the nearest edge; a triangle without area is its edges.
double ReferenceDistance(const Vec3& v0, const Vec3& v1, const Vec3& v2, const Vec3& p) {
    auto sub = [](const Vec3& a, const Vec3& b) {
        return std::array<double, 3>{double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z};
    };
    auto dot = [](const std::array<double, 3>& a, const std::array<double, 3>& b) {
        return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    };
    auto toSegment = [&](const Vec3& a, const Vec3& b) {
        const auto ab = sub(b, a), ap = sub(p, a);
        const double len2 = dot(ab, ab);
        const double t = len2 > 0 ? std::clamp(dot(ap, ab) / len2, 0.0, 1.0) : 0.0;
        const std::array<double, 3> d{ap[0] - t * ab[0], ap[1] - t * ab[1], ap[2] - t * ab[2]};
        return std::sqrt(dot(d, d));
    };
    const auto e0 = sub(v1, v0), e1 = sub(v2, v0), vp = sub(p, v0);
    const std::array<double, 3> n{e0[1] * e1[2] - e0[2] * e1[1], e0[2] * e1[0] - e0[0] * e1[2],
                                  e0[0] * e1[1] - e0[1] * e1[0]};
    const double d00 = dot(e0, e0), d01 = dot(e0, e1), d11 = dot(e1, e1);
    const double denom = d00 * d11 - d01 * d01;
    if (dot(n, n) > 0 && denom > 0) {
        const double v = (d11 * dot(vp, e0) - d01 * dot(vp, e1)) / denom;
        const double w = (d00 * dot(vp, e1) - d01 * dot(vp, e0)) / denom;
        if (v >= 0 && w >= 0 && v + w <= 1) return std::fabs(dot(vp, n)) / std::sqrt(dot(n, n));
    }
    return std::min({toSegment(v0, v1), toSegment(v1, v2), toSegment(v2, v0)});
}

TEST(Geometry, SphereAgainstTriangleMatchesReference) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> coord(-20, 20), step(-3, 3), kind(0, 3);
    auto point = [&] { return Vec3{float(coord(rng)), float(coord(rng)), float(coord(rng))}; };
    for (int i = 0; i < 3000; ++i) {
        const Vec3 v0 = point();
        Vec3 v1 = point(), v2 = point();
        if (kind(rng) == 0) {
            // Collinear or coincident vertices, exactly (small integers).
            const Vec3 dir{float(step(rng)), float(step(rng)), float(step(rng))};
            v1 = v0 + dir;
            v2 = v0 + dir * float(step(rng));
        }
        const Vec3 centre = point() * 0.5f;
        const double d = ReferenceDistance(v0, v1, v2, centre);
        SCOPED_TRACE(::testing::Message() << "case " << i << ", distance " << d);
        EXPECT_TRUE(SphereTouchesTriangle(v0, v1, v2, centre, float(d * 1.0001 + 1e-4)));
        if (d > 1e-3) {
            EXPECT_FALSE(SphereTouchesTriangle(v0, v1, v2, centre, float(d * 0.9999)));
        }
    }
}

}  // namespace
