#include "core/nztmath.h"

#include <algorithm>
#include <cmath>
#include <cstring>

SinCosTableSet SinCosTables;
float RandomTable[RandomTableSize];
float IdentityMatrix3[9];
float IdentityQuatTraject[4];
float IdentityQuatAnim[4];
float IdentityQuatPose[4];
float WobbleWeightTable[WobbleWeightTableSize];
Vec3 ScratchPlaneNormal;
Vec3 ScratchPlanePoint;

namespace {

uint32_t crtRandState = 1;

// Tolerance of the geometry tests, in world units (for the edge functions: units squared).
constexpr float kTolerance = 0.1f;

void SetIdentityQuat(float q[4]) {
    q[0] = 1.0f;
    q[1] = 0.0f;
    q[2] = 0.0f;
    q[3] = 0.0f;
}

// Which of min (0) or max (1) each coordinate of a box corner takes.
Vec3 Corner(const Vec3& lo, const Vec3& hi, int ix, int iy, int iz) {
    return {ix ? hi.x : lo.x, iy ? hi.y : lo.y, iz ? hi.z : lo.z};
}

// Three corners of each face of a box, as {x, y, z} selectors; only the face's plane is used.
constexpr int kFaceCorners[6][3][3] = {
    {{0, 0, 0}, {0, 1, 0}, {0, 1, 1}},  // x = min
    {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}},  // x = max
    {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}},  // y = min
    {{0, 1, 0}, {1, 1, 0}, {1, 1, 1}},  // y = max
    {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}},  // z = min
    {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}},  // z = max
};
constexpr int kFaceYMin = 2;
constexpr int kFaceYMax = 3;

// The twelve box edges as pairs of corner selectors.
constexpr int kBoxEdges[12][2][3] = {
    {{0, 0, 0}, {1, 0, 0}}, {{0, 1, 0}, {1, 1, 0}}, {{0, 0, 1}, {1, 0, 1}}, {{0, 1, 1}, {1, 1, 1}},
    {{0, 0, 0}, {0, 1, 0}}, {{1, 0, 0}, {1, 1, 0}}, {{0, 0, 1}, {0, 1, 1}}, {{1, 0, 1}, {1, 1, 1}},
    {{0, 0, 0}, {0, 0, 1}}, {{1, 0, 0}, {1, 0, 1}}, {{0, 1, 0}, {0, 1, 1}}, {{1, 1, 0}, {1, 1, 1}},
};

Vec3 Select(const Vec3& lo, const Vec3& hi, const int sel[3]) {
    return Corner(lo, hi, sel[0], sel[1], sel[2]);
}

float Axis(const Vec3& v, int axis) {
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

// std::fmin and std::fmax by comparisons the compiler keeps inline (the library calls were a
// large share of grid building). A NaN argument is passed over as fmin/fmax do, so the answers do
// not change when a mesh holds a NaN vertex (files' floats are not checked for it).
inline float MinOf(float a, float b) {
    if (b != b) return a;
    if (a != a) return b;
    return b < a ? b : a;
}
inline float MaxOf(float a, float b) {
    if (b != b) return a;
    if (a != a) return b;
    return a < b ? b : a;
}

float Min3(float a, float b, float c) {
    return MinOf(a, MinOf(b, c));
}
float Max3(float a, float b, float c) {
    return MaxOf(a, MaxOf(b, c));
}

// Inside on every axis, bounds included, no tolerance.
bool InsideBoxExact(const Vec3& lo, const Vec3& hi, const Vec3& p) {
    return lo.x <= p.x && p.x <= hi.x && lo.y <= p.y && p.y <= hi.y && lo.z <= p.z && p.z <= hi.z;
}

// The hit lies in the axis-aligned box of segment a..b grown by `grow`.
bool InSegmentBox(const Vec3& a, const Vec3& b, const Vec3& hit, float grow) {
    for (int axis = 0; axis < 3; ++axis) {
        float lo = MinOf(Axis(a, axis), Axis(b, axis));
        float hi = MaxOf(Axis(a, axis), Axis(b, axis));
        float h = Axis(hit, axis);
        if (h < lo - grow || h > hi + grow) return false;
    }
    return true;
}

// Both ends of a..b beyond the same side of the triangle's box grown by 0.1, on some axis.
bool SegmentOutsideTriangleBox(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& a, const Vec3& b) {
    for (int axis = 0; axis < 3; ++axis) {
        float lo = Min3(Axis(p0, axis), Axis(p1, axis), Axis(p2, axis)) - kTolerance;
        float hi = Max3(Axis(p0, axis), Axis(p1, axis), Axis(p2, axis)) + kTolerance;
        if (Axis(a, axis) < lo && Axis(b, axis) < lo) return true;
        if (Axis(a, axis) > hi && Axis(b, axis) > hi) return true;
    }
    return false;
}

// Both ends of a..b beyond the same face of the box (no tolerance).
bool SegmentOutsideBox(const Vec3& lo, const Vec3& hi, const Vec3& a, const Vec3& b) {
    for (int axis = 0; axis < 3; ++axis) {
        if (Axis(a, axis) < Axis(lo, axis) && Axis(b, axis) < Axis(lo, axis)) return true;
        if (Axis(a, axis) > Axis(hi, axis) && Axis(b, axis) > Axis(hi, axis)) return true;
    }
    return false;
}

bool SegmentThroughFace(const Vec3& lo, const Vec3& hi, int face, const Vec3& a, const Vec3& b) {
    const Vec3 c0 = Select(lo, hi, kFaceCorners[face][0]);
    const Vec3 c1 = Select(lo, hi, kFaceCorners[face][1]);
    const Vec3 c2 = Select(lo, hi, kFaceCorners[face][2]);
    Vec3 hit;
    return IntersectSegmentTrianglePlane(c0, c1, c2, a, b, hit) && PointInBox(lo, hi, hit);
}

// 2-D edge function of the projection onto axes (u, v).
float EdgeFunction(const Vec3& U, const Vec3& V, const Vec3& P, int u, int v) {
    return (Axis(V, u) - Axis(U, u)) * (Axis(P, v) - Axis(U, v)) -
           (Axis(V, v) - Axis(U, v)) * (Axis(P, u) - Axis(U, u));
}

struct DVec3 {
    double x, y, z;
};
DVec3 DSub(const Vec3& a, const Vec3& b) {
    return {double(a.x) - double(b.x), double(a.y) - double(b.y), double(a.z) - double(b.z)};
}
double DDot(const DVec3& a, const DVec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Squared distance from p to segment a..b (a point when a == b).
double SquaredDistanceToSegment(const Vec3& p, const Vec3& a, const Vec3& b) {
    const DVec3 ab = DSub(b, a);
    const DVec3 ap = DSub(p, a);
    const double len2 = DDot(ab, ab);
    double t = len2 > 0.0 ? DDot(ap, ab) / len2 : 0.0;
    t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
    const DVec3 d = {ap.x - t * ab.x, ap.y - t * ab.y, ap.z - t * ab.z};
    return DDot(d, d);
}

// Squared distance from p to the triangle V0 + s E0 + t E1 (s, t >= 0, s + t <= 1), by the
// region of the (s, t) plane in which the unconstrained minimum falls: 0 inside the triangle,
// 1 beyond the edge s + t = 1, 3 beyond t's axis (s < 0), 5 beyond s's axis (t < 0), and 2, 4, 6
// the corners beyond V2, V0 and V1. Outside region 0 the closest point lies on an edge.
// Worked in double: the determinant of a thin triangle cancels to nothing in f32.
double SquaredDistanceToTriangle(const Vec3& p, const Vec3& v0, const Vec3& v1, const Vec3& v2) {
    const DVec3 e0 = DSub(v1, v0);
    const DVec3 e1 = DSub(v2, v0);
    const DVec3 diff = DSub(v0, p);
    const double a00 = DDot(e0, e0);
    const double a01 = DDot(e0, e1);
    const double a11 = DDot(e1, e1);
    const double b0 = DDot(diff, e0);
    const double b1 = DDot(diff, e1);
    const double c = DDot(diff, diff);
    const double det = std::fabs(a00 * a11 - a01 * a01);

    // A zero-area triangle has no interior and the regions below would divide by zero: it is its
    // three edges. The threshold (sine of the corner angle below 1e-5) only catches vertices that
    // are collinear up to rounding.
    if (!(det > 1e-10 * a00 * a11)) {
        return std::fmin(SquaredDistanceToSegment(p, v0, v1),
                         std::fmin(SquaredDistanceToSegment(p, v1, v2), SquaredDistanceToSegment(p, v2, v0)));
    }

    const double s = a01 * b1 - a11 * b0;
    const double t = a01 * b0 - a00 * b1;
    auto at = [&](double ss, double tt) {
        return ss * (a00 * ss + a01 * tt + 2.0 * b0) + tt * (a01 * ss + a11 * tt + 2.0 * b1) + c;
    };
    // Closest points on the edges, clamped to their end vertices.
    auto onEdgeE0 = [&]() {  // V0..V1, t = 0
        if (b0 >= 0.0) return c;
        if (-b0 >= a00) return a00 + 2.0 * b0 + c;
        return b0 * (-b0 / a00) + c;
    };
    auto onEdgeE1 = [&]() {  // V0..V2, s = 0
        if (b1 >= 0.0) return c;
        if (-b1 >= a11) return a11 + 2.0 * b1 + c;
        return b1 * (-b1 / a11) + c;
    };
    auto onEdgeV1V2 = [&]() {  // s + t = 1
        const double numer = a11 + b1 - a01 - b0;
        const double denom = a00 - 2.0 * a01 + a11;
        if (numer <= 0.0) return a11 + 2.0 * b1 + c;
        if (numer >= denom) return a00 + 2.0 * b0 + c;
        const double se = numer / denom;
        return at(se, 1.0 - se);
    };

    double dist;
    if (s + t <= det) {
        if (s < 0.0) {
            dist = (t < 0.0 && b0 < 0.0) ? onEdgeE0() : onEdgeE1();  // regions 4 and 3
        } else if (t < 0.0) {
            dist = onEdgeE0();  // region 5
        } else {
            dist = at(s / det, t / det);  // region 0: the interior
        }
    } else if (s < 0.0) {
        dist = (a11 + b1 > a01 + b0) ? onEdgeV1V2() : onEdgeE1();  // region 2
    } else if (t < 0.0) {
        dist = (a00 + b0 > a01 + b1) ? onEdgeV1V2() : onEdgeE0();  // region 6
    } else {
        dist = onEdgeV1V2();  // region 1
    }
    return std::fabs(dist);
}

}  // namespace

int CrtRand() {
    crtRandState = crtRandState * 214013u + 2531011u;
    return static_cast<int>((crtRandState >> 16) & 0x7FFF);
}

void CrtSrand(uint32_t seed) {
    crtRandState = seed;
}

void BuildSinCosTables() {
    // The angle is i x 2 pi / 4096 with both factors as f32; in long double the product is exact.
    const long double step = static_cast<long double>(6.2831855f) * 0.00024414063f;
    for (int i = 0; i < SinCosTableSize; ++i) {
        const long double angle = i * step;
        SinCosTables.sine[i] = static_cast<float>(sinl(angle));
        SinCosTables.cosine[i] = static_cast<float>(cosl(angle));
    }
    for (int i = 0; i < 9; ++i) IdentityMatrix3[i] = (i % 4 == 0) ? 1.0f : 0.0f;
    SetIdentityQuat(IdentityQuatTraject);
    SetIdentityQuat(IdentityQuatAnim);
    SetIdentityQuat(IdentityQuatPose);
    for (int i = 0; i < WobbleWeightTableSize; ++i) {
        // The cube is exact as an integer and rounded once to f32; the factor is 2^-27.
        WobbleWeightTable[i] = static_cast<float>(i * i * i) * 7.450581e-9f;
    }
}

void BuildRandomTable() {
    // The first values of the runtime's default-seeded generator; later CrtRand callers go on from
    // where the table stopped, as they do in the Windows program.
    CrtSrand(1);
    for (float& r : RandomTable) r = static_cast<float>(CrtRand()) * 3.0518509e-5f;  // ~1/32767
}

void ResetMathTables() {
    std::memset(&SinCosTables, 0, sizeof SinCosTables);
    std::memset(RandomTable, 0, sizeof RandomTable);
    std::memset(IdentityMatrix3, 0, sizeof IdentityMatrix3);
    std::memset(IdentityQuatTraject, 0, sizeof IdentityQuatTraject);
    std::memset(IdentityQuatAnim, 0, sizeof IdentityQuatAnim);
    std::memset(IdentityQuatPose, 0, sizeof IdentityQuatPose);
    std::memset(WobbleWeightTable, 0, sizeof WobbleWeightTable);
    ScratchPlaneNormal = {0.0f, 0.0f, 0.0f};
    ScratchPlanePoint = {0.0f, 0.0f, 0.0f};
    CrtSrand(1);
}

void DirectionToMatrix(const Vec3& d, float out[9]) {
    const double horizontal = std::sqrt(double(d.x) * d.x + double(d.z) * d.z);
    const int yaw = static_cast<int>(
        lrintf(static_cast<float>(std::atan2(double(d.x), double(d.z)) * AngleUnitsPerRadian)));
    const int pitch = static_cast<int>(
        lrintf(static_cast<float>(std::atan2(double(d.y), horizontal) * -AngleUnitsPerRadian)));
    const float sy = TableSin(yaw), cy = TableCos(yaw);
    const float sp = TableSin(pitch), cp = TableCos(pitch);
    // Pitch about the local x axis first, then yaw about the vertical, so that the forward row is
    // the direction (sy cp, -sp, cy cp); the same turn as DirectionToQuat.
    out[0] = cy;
    out[1] = 0.0f;
    out[2] = -sy;
    out[3] = sy * sp;
    out[4] = cp;
    out[5] = cy * sp;
    out[6] = sy * cp;
    out[7] = -sp;
    out[8] = cy * cp;
}

void DirectionToQuat(const Vec3& d, float out[4]) {
    const double horizontal = std::sqrt(double(d.x) * d.x + double(d.z) * d.z);
    const float yaw = static_cast<float>(std::atan2(double(d.x), double(d.z)) * AngleUnitsPerRadian);
    const float pitch = static_cast<float>(std::atan2(double(d.y), horizontal) * -AngleUnitsPerRadian);
    AnglesToQuat(out, pitch, yaw);
}

void AnglesToQuat(float out[4], float pitch, float yaw) {
    const double a = double(pitch) * 0.5 * double(RadiansPerAngleUnit);
    const double b = double(yaw) * 0.5 * double(RadiansPerAngleUnit);
    const double sa = std::sin(a), ca = std::cos(a);
    const double sb = std::sin(b), cb = std::cos(b);
    out[0] = static_cast<float>(cb * ca);
    out[1] = static_cast<float>(sa * cb);
    out[2] = static_cast<float>(sb * ca);
    out[3] = static_cast<float>(-sb * sa);
}

void SetScratchPlane(const Vec3& p0, const Vec3& p1, const Vec3& p2) {
    ScratchPlaneNormal = Cross(p1 - p2, p1 - p0);
    ScratchPlanePoint = p1;
}

bool IntersectLinePlane(const Vec3& normal, const Vec3& point, const Vec3& a, const Vec3& b, Vec3& hit) {
    const Vec3 ab = a - b;
    const float denom = Dot(normal, ab);
    if (denom == 0.0f) return false;
    const float t = Dot(normal, point - a) / denom;
    hit = a + ab * t;
    return true;
}

bool IntersectLineScratchPlane(const Vec3& a, const Vec3& b, Vec3& hit) {
    return IntersectLinePlane(ScratchPlaneNormal, ScratchPlanePoint, a, b, hit);
}

bool IntersectLineTrianglePlane(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& a, const Vec3& b,
                                Vec3& hit) {
    // This one runs from b along b - a: hit = b + t (b - a), t = n.(p1 - b) / n.(b - a).
    return IntersectLinePlane(Cross(p1 - p2, p1 - p0), p1, b, a, hit);
}

bool IntersectSegmentScratchPlane(const Vec3& a, const Vec3& b, Vec3& hit) {
    return IntersectLineScratchPlane(a, b, hit) && InSegmentBox(a, b, hit, 0.0f);
}

bool IntersectSegmentTrianglePlane(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& a,
                                   const Vec3& b, Vec3& hit) {
    return IntersectLineTrianglePlane(p0, p1, p2, a, b, hit) && InSegmentBox(a, b, hit, 0.0f);
}

bool PointInTriangle(const Vec3& A, const Vec3& B, const Vec3& C, const Vec3& P) {
    for (int axis = 0; axis < 3; ++axis) {
        const float lo = Min3(Axis(A, axis), Axis(B, axis), Axis(C, axis));
        const float hi = Max3(Axis(A, axis), Axis(B, axis), Axis(C, axis));
        const float p = Axis(P, axis);
        if (p < lo - kTolerance || p > hi + kTolerance) return false;
    }
    // Projections x-z, x-y, y-z. A triangle seen edge-on gives edge functions near 0 and passes.
    constexpr int kPlanes[3][2] = {{0, 2}, {0, 1}, {1, 2}};
    for (const auto& plane : kPlanes) {
        const float e0 = EdgeFunction(A, B, P, plane[0], plane[1]);
        const float e1 = EdgeFunction(B, C, P, plane[0], plane[1]);
        const float e2 = EdgeFunction(C, A, P, plane[0], plane[1]);
        const bool belowAll = e0 < kTolerance && e1 < kTolerance && e2 < kTolerance;
        const bool aboveAll = e0 > -kTolerance && e1 > -kTolerance && e2 > -kTolerance;
        if (!belowAll && !aboveAll) return false;
    }
    return true;
}

bool IntersectSegmentScratchTriangle(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& a,
                                     const Vec3& b, Vec3& hit) {
    if (SegmentOutsideTriangleBox(p0, p1, p2, a, b)) return false;
    if (!IntersectLineScratchPlane(a, b, hit)) return false;
    return InSegmentBox(a, b, hit, kTolerance) && PointInTriangle(p0, p1, p2, hit);
}

bool IntersectSegmentTriangle(const Vec3& A, const Vec3& B, const Vec3& C, const Vec3& a, const Vec3& b,
                              Vec3& hit) {
    if (SegmentOutsideTriangleBox(A, B, C, a, b)) return false;
    if (!IntersectLineTrianglePlane(A, B, C, a, b, hit)) return false;
    return InSegmentBox(a, b, hit, kTolerance) && PointInTriangle(A, B, C, hit);
}

bool PointInBox(const Vec3& boxMin, const Vec3& boxMax, const Vec3& p) {
    for (int axis = 0; axis < 3; ++axis) {
        const float v = Axis(p, axis);
        if (Axis(boxMin, axis) > v + kTolerance || v - kTolerance > Axis(boxMax, axis)) return false;
    }
    return true;
}

bool SegmentIntersectsBox(const Vec3& boxMin, const Vec3& boxMax, const Vec3& a, const Vec3& b) {
    if (SegmentOutsideBox(boxMin, boxMax, a, b)) return false;
    if (InsideBoxExact(boxMin, boxMax, a) || InsideBoxExact(boxMin, boxMax, b)) return true;
    for (int face = 0; face < 6; ++face) {
        if (SegmentThroughFace(boxMin, boxMax, face, a, b)) return true;
    }
    return false;
}

bool SegmentHitsBoxTopOrBottom(const Vec3& boxMin, const Vec3& boxMax, const Vec3& a, const Vec3& b) {
    if (SegmentOutsideBox(boxMin, boxMax, a, b)) return false;
    if (InsideBoxExact(boxMin, boxMax, a) || InsideBoxExact(boxMin, boxMax, b)) return true;
    return SegmentThroughFace(boxMin, boxMax, kFaceYMin, a, b) ||
           SegmentThroughFace(boxMin, boxMax, kFaceYMax, a, b);
}

bool TriangleIntersectsBox(const Vec3& boxMin, const Vec3& boxMax, const Vec3& p0, const Vec3& p1,
                           const Vec3& p2) {
    for (int axis = 0; axis < 3; ++axis) {
        if (Max3(Axis(p0, axis), Axis(p1, axis), Axis(p2, axis)) < Axis(boxMin, axis) ||
            Min3(Axis(p0, axis), Axis(p1, axis), Axis(p2, axis)) > Axis(boxMax, axis)) {
            return false;
        }
    }
    if (InsideBoxExact(boxMin, boxMax, p0) || InsideBoxExact(boxMin, boxMax, p1) ||
        InsideBoxExact(boxMin, boxMax, p2)) {
        return true;
    }

    Vec3 hit;
    SetScratchPlane(p0, p1, p2);
    for (const auto& edge : kBoxEdges) {
        const Vec3 a = Select(boxMin, boxMax, edge[0]);
        const Vec3 b = Select(boxMin, boxMax, edge[1]);
        if (IntersectSegmentScratchTriangle(p0, p1, p2, a, b, hit)) return true;
    }

    const Vec3* const tri[3] = {&p0, &p1, &p2};
    for (const auto& face : kFaceCorners) {
        SetScratchPlane(Select(boxMin, boxMax, face[0]), Select(boxMin, boxMax, face[1]),
                        Select(boxMin, boxMax, face[2]));
        for (int i = 0; i < 3; ++i) {
            if (IntersectSegmentScratchPlane(*tri[i], *tri[(i + 1) % 3], hit) &&
                PointInBox(boxMin, boxMax, hit)) {
                return true;
            }
        }
    }
    return false;
}

bool SphereTouchesTriangle(const Vec3& v0, const Vec3& v1, const Vec3& v2, const Vec3& centre, float radius) {
    return SquaredDistanceToTriangle(centre, v0, v1, v2) <= double(radius) * double(radius);
}

bool MatrixInverse3(const float m[9], float out[9]) {
    const float c0 = m[4] * m[8] - m[5] * m[7];
    const float c1 = m[5] * m[6] - m[3] * m[8];
    const float c2 = m[3] * m[7] - m[4] * m[6];
    const float det = m[0] * c0 + m[1] * c1 + m[2] * c2;
    if (det == 0.0f || !std::isfinite(det)) {
        if (out != m) std::copy(m, m + 9, out);
        return false;
    }
    const float k = 1.0f / det;
    float r[9];
    r[0] = c0 * k;
    r[1] = (m[2] * m[7] - m[1] * m[8]) * k;
    r[2] = (m[1] * m[5] - m[2] * m[4]) * k;
    r[3] = c1 * k;
    r[4] = (m[0] * m[8] - m[2] * m[6]) * k;
    r[5] = (m[2] * m[3] - m[0] * m[5]) * k;
    r[6] = c2 * k;
    r[7] = (m[1] * m[6] - m[0] * m[7]) * k;
    r[8] = (m[0] * m[4] - m[1] * m[3]) * k;
    std::copy(r, r + 9, out);
    return true;
}

void MatrixToQuat(const float m[9], float q[4]) {
    const float trace = m[0] + m[4] + m[8];
    float w, x, y, z;
    if (trace > 0.0f) {
        const float s = std::sqrt(trace + 1.0f) * 2.0f;
        w = 0.25f * s;
        x = (m[5] - m[7]) / s;
        y = (m[6] - m[2]) / s;
        z = (m[1] - m[3]) / s;
    } else if (m[0] > m[4] && m[0] > m[8]) {
        const float s = std::sqrt(1.0f + m[0] - m[4] - m[8]) * 2.0f;
        w = (m[5] - m[7]) / s;
        x = 0.25f * s;
        y = (m[3] + m[1]) / s;
        z = (m[6] + m[2]) / s;
    } else if (m[4] > m[8]) {
        const float s = std::sqrt(1.0f + m[4] - m[0] - m[8]) * 2.0f;
        w = (m[6] - m[2]) / s;
        x = (m[3] + m[1]) / s;
        y = 0.25f * s;
        z = (m[7] + m[5]) / s;
    } else {
        const float s = std::sqrt(1.0f + m[8] - m[0] - m[4]) * 2.0f;
        w = (m[1] - m[3]) / s;
        x = (m[6] + m[2]) / s;
        y = (m[7] + m[5]) / s;
        z = 0.25f * s;
    }
    const float n = std::sqrt(w * w + x * x + y * y + z * z);
    const float k = n > 0.0f ? 1.0f / n : 0.0f;
    q[0] = w * k;
    q[1] = x * k;
    q[2] = y * k;
    q[3] = z * k;
}
