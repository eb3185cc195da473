#include "world/collquery.h"

uint32_t FindStandingSurface(const Vec3&, float, float, float*, float*, StandingProbe*, NztBase3D*) {
    return 0;
}
float NearestSurface(const Vec3&, float, float) {
    return 0.0f;
}
uint32_t SweepCollisionBody(CollisionBody*, Vec3*, SweepHitRecord*) {
    return 0;
}
uint32_t ComputeSurfaceTilt(NztBaseObject*, int32_t*, int32_t*) {
    return 0;
}
uint32_t ComputeGroundTilt(NztBaseObject*, int32_t*, int32_t*) {
    return 0;
}
void CollideSegment(const float*, NztBase3D*) {}
uint32_t CollideSegmentNearest(const float*, const float*, float*) {
    return 0;
}
int32_t GroundHeightAt(const float*, float, float defaultHeight, float* floor, float* surface) {
    *floor = defaultHeight;
    *surface = defaultHeight;
    return 0;
}
