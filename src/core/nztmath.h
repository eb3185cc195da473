#pragma once

#include <cstdint>

// Angles are integers of 4096 units per full turn; table look-ups mask them to 12 bits.
inline constexpr float AngleUnitsPerRadian = 651.8986f;      // 4096 / 2 pi
inline constexpr float RadiansPerAngleUnit = 0.0015339808f;  // 2 pi / 4096
inline constexpr int AngleUnitMask = 0xFFF;

// A point or direction in world space, y up.
struct Vec3 {
    float x, y, z;
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(const Vec3& a, const Vec3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator*(const Vec3& a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline float Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Sine and cosine of every angle unit. Entry 4096 repeats a full turn, so a reader may look at
// index i + 1 for any masked i.
inline constexpr int SinCosTableSize = 4097;
struct SinCosTableSet {
    float sine[SinCosTableSize];
    float cosine[SinCosTableSize];
};
extern SinCosTableSet SinCosTables;

inline float TableSin(int angle) {
    return SinCosTables.sine[angle & AngleUnitMask];
}
inline float TableCos(int angle) {
    return SinCosTables.cosine[angle & AngleUnitMask];
}

// 32768 floats in 0..1, the same on every run; each reader keeps its own index masked with
// RandomTableMask.
inline constexpr int RandomTableSize = 32768;
inline constexpr int RandomTableMask = 0x7FFF;
extern float RandomTable[RandomTableSize];

// The Windows C runtime's rand()/srand(), so that everything drawn from it matches the Windows
// program on every run. The state starts at 1 (the runtime's default seed). CrtRand yields 0..32767.
int CrtRand();
void CrtSrand(uint32_t seed);

// Constants filled by BuildSinCosTables. Rotations are 3x3 row-major; quaternions are w, x, y, z.
extern float IdentityMatrix3[9];
extern float IdentityQuatTraject[4];  // read by the trajectory code
extern float IdentityQuatAnim[4];     // read by the animation code
extern float IdentityQuatPose[4];     // read by the posing code
// Weights of the wind sway of base objects: entry i = i^3 / 2^27.
inline constexpr int WobbleWeightTableSize = 512;
extern float WobbleWeightTable[WobbleWeightTableSize];

// Start-up builders, called in this order.
void BuildSinCosTables();  // SinCosTables and the constants above
void BuildRandomTable();   // RandomTable from the first 32768 CrtRand values after CrtSrand(1)
// Clears every table and constant and puts the generator back to its default seed.
void ResetMathTables();

// Rotation whose forward row (row 2) points along d, from the rounded yaw and pitch of d looked up
// in SinCosTables.
void DirectionToMatrix(const Vec3& d, float out[9]);
// The same turn as a quaternion, from the unrounded angles.
void DirectionToQuat(const Vec3& d, float out[4]);
// Quaternion of a pitch then yaw turn (roll 0), both in angle units.
void AnglesToQuat(float out[4], float pitch, float yaw);
// The inverse of a 3 x 3 matrix; false (out = m) when it is singular.
bool MatrixInverse3(const float m[9], float out[9]);
// The unit quaternion (w, x, y, z) of a rotation matrix.
void MatrixToQuat(const float m[9], float q[4]);

// The scratch plane: normal (p1 - p2) x (p1 - p0), not normalised, through p1. Shared global
// state: set it and run the tests that read it without interleaving another user.
extern Vec3 ScratchPlaneNormal;
extern Vec3 ScratchPlanePoint;
void SetScratchPlane(const Vec3& p0, const Vec3& p1, const Vec3& p2);

// Line tests: false only when the line is exactly parallel to the plane. Segment tests also need
// the hit inside the segment's axis-aligned box (no tolerance).
bool IntersectLineScratchPlane(const Vec3& a, const Vec3& b, Vec3& hit);
bool IntersectSegmentScratchPlane(const Vec3& a, const Vec3& b, Vec3& hit);
bool IntersectLinePlane(const Vec3& normal, const Vec3& point, const Vec3& a, const Vec3& b, Vec3& hit);
bool IntersectLineTrianglePlane(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& a, const Vec3& b,
                                Vec3& hit);
bool IntersectSegmentTrianglePlane(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& a,
                                   const Vec3& b, Vec3& hit);

// Inside test with a tolerance of 0.1 on the triangle's box and on the 2-D edge functions of the
// three axis-plane projections (either winding).
bool PointInTriangle(const Vec3& A, const Vec3& B, const Vec3& C, const Vec3& P);

// Segment against a triangle with the 0.1 tolerances. The plane hit is written to `hit` whenever
// the line meets the plane, even when a later step rejects it. The scratch variant takes the
// plane from SetScratchPlane, which must have been set from the same triangle.
bool IntersectSegmentScratchTriangle(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& a,
                                     const Vec3& b, Vec3& hit);
bool IntersectSegmentTriangle(const Vec3& A, const Vec3& B, const Vec3& C, const Vec3& a, const Vec3& b,
                              Vec3& hit);

// Box tests; boxes are axis-aligned (min, max). PointInBox allows 0.1 outside every face.
bool PointInBox(const Vec3& boxMin, const Vec3& boxMax, const Vec3& p);
bool SegmentIntersectsBox(const Vec3& boxMin, const Vec3& boxMax, const Vec3& a, const Vec3& b);
bool SegmentHitsBoxTopOrBottom(const Vec3& boxMin, const Vec3& boxMax, const Vec3& a, const Vec3& b);
// Uses (and overwrites) the scratch plane.
bool TriangleIntersectsBox(const Vec3& boxMin, const Vec3& boxMax, const Vec3& p0, const Vec3& p1,
                           const Vec3& p2);

// True when the triangle comes within radius of centre (touching counts).
bool SphereTouchesTriangle(const Vec3& v0, const Vec3& v1, const Vec3& v2, const Vec3& centre, float radius);
