// Collision queries: what characters, dynamic objects, posing, ropes and the camera ask the world.
// A gathering query fills the shared hit buffer with the triangles it meets among the scene objects
// of one global grid cell and every registered character (one cell of each object's own grid);
// the reducing queries gather and then pick one answer from the buffer.
//
// Heights are world y. Hit types are the triangles' material words (objects/collshape.h): 3 water,
// 8 reported but never blocking, 0 never gathered, anything else solid. An asker is left out of
// its own query together with the object it hangs on and the objects hanging on it.
//
// Main thread only: the hit buffer and the current grid cell are shared, so queries never nest.
// No query allocates, but for the first ones to meet an object (its entry among the shorter lists
// the vertical probes keep for objects that keep still, and those lists once it has).
#pragma once

#include <cstdint>

#include "core/nztmath.h"
#include "objects/collshape.h"

class NztBase3D;
class NztBaseObject;
class NztCollideObject;

// One gathered triangle.
struct CollisionHit {
    NztCollideObject* object;
    float height;  // where the vertical line through a probe point meets the triangle's plane
    Vec3 v[3];     // the triangle, world space
    Vec3 normal;
    uint32_t hitType;
};

inline constexpr uint32_t CollisionHitCapacity = 1024;
// The hit buffer. A query that meets more triangles keeps the first CollisionHitCapacity.
extern CollisionHit CollisionHits[CollisionHitCapacity];
extern uint32_t CollisionHitCount;

// Vertical probes look this far when no range is given.
inline constexpr float CollisionProbeReach = 40000.0f;

// Gathering.
void CollideSphere(const CollisionBody* body, NztBase3D* asker);
void CollideSegment(const Vec3& a, const Vec3& b, NztBase3D* asker);
// Upward-facing triangles (normal y above 0.25) under or over the point, seen from above.
void CollideFloorProbe(const Vec3& point, NztBase3D* asker);
// Downward-facing triangles (normal y below 0), seen from below.
void CollideCeilingProbe(const Vec3& point, NztBase3D* asker);

// The same gatherings over every registered colliding scene object and every triangle of each,
// without either grid: the plain version the grid-driven ones are checked against.
void CollideSphereReference(const CollisionBody* body, NztBase3D* asker);
void CollideSegmentReference(const Vec3& a, const Vec3& b, NztBase3D* asker);
void CollideFloorProbeReference(const Vec3& point, NztBase3D* asker);
void CollideCeilingProbeReference(const Vec3& point, NztBase3D* asker);

// The characters a gathering looks at are found through an index over their boxes (a grid in x and
// z kept in step with the characters' collision updates and with the registry), so that a query
// looks only at the characters near it. Every registered character the query does not skip ends
// with the in-box flag the plain walk over all of them would give it (0 for those far away), and
// the hits come in the same order. False: every query walks all the registered characters (the
// plain walk the index is checked against).
extern bool CharacterIndexEnabled;
// Called by the collision objects: the box or the triangles of the object changed (any object,
// not only characters); the object is going away.
void NoteCharacterBoxMoved(NztCollideObject* object);
void ForgetCharacterBox(const NztCollideObject* object);

// Floor and water under a point. The floor is the highest solid surface less than step above the
// point, else the highest below it, else the default; the surface is the floor, or the water
// height when water lies above the floor (answer 1). A lone water hit gives floor -4000000.
uint32_t GroundHeightAt(const Vec3& point, float step, float defaultHeight, float* floor, float* surface,
                        NztBase3D* asker = nullptr);
// GroundHeightAt that also records the chosen floor's type, normal and object.
uint32_t FindStandingSurface(const Vec3& point, float step, float defaultHeight, float* floor, float* surface,
                             StandingProbe* probe, NztBase3D* asker);
// The nearest water (or solid) surface at or above the point within range, else the highest below
// it, else the default. A lone hit answers whatever its height.
float WaterHeightAt(const Vec3& point, float range, float defaultHeight, NztBase3D* asker = nullptr);
float NearestSurface(const Vec3& point, float range, float defaultHeight);
float NearestSurface(const Vec3& point, float range, float defaultHeight, NztBase3D* asker);
// Solid surfaces strictly within height above or depth below the point; y +/- CollisionProbeReach
// when none. CeilingWithinHeight and FloorBelow look at floors, CeilingAbove at ceilings.
float CeilingWithinHeight(const Vec3& point, float height, NztBase3D* asker = nullptr);
float FloorBelow(const Vec3& point, float depth, NztBase3D* asker = nullptr);
float CeilingAbove(const Vec3& point, float height, NztBase3D* asker = nullptr);

// Over the buffer CollideSegment just filled: the crossing nearest to start (written to *point) of
// a blocking triangle, and its hit type; 0 when none.
uint32_t CollideSegmentNearest(const Vec3& start, const Vec3& end, Vec3* point);

// The object of the first surface of the type (any when 0) that the body, moved by motion, would
// touch while heading into it (its normal in *normal); null when none. With no contact at all the
// body keeps the move.
NztCollideObject* FindWallAhead(CollisionBody* body, const Vec3& motion, uint32_t typeFilter, Vec3* normal,
                                NztBase3D* asker = nullptr);

// One slide of the body: the motion loses its part into every blocking surface touched at the
// moved position, and the body moves by what is left. The type of the last blocking surface, or 0.
uint32_t SlideStep(CollisionBody* body, Vec3* motion, SweepHitRecord* hit, NztBase3D* asker = nullptr);
// The same in water: water slows the motion by 0.9 and blocks too; axisFlags[k] is -1.0 where the
// slide stopped the motion along axis k, else 1.0.
uint32_t SlideStepInWater(CollisionBody* body, Vec3* motion, SweepHitRecord* hit, float axisFlags[3],
                          NztBase3D* asker = nullptr);
// A motion longer than the body's diameter is walked in diameter-long slides; *motion becomes the
// displacement made (the remainder beyond the whole slides is not walked).
uint32_t SweepCollisionBody(CollisionBody* body, Vec3* motion, SweepHitRecord* hit);
uint32_t SweepCollisionBody(CollisionBody* body, Vec3* motion, SweepHitRecord* hit, NztBase3D* asker);
uint32_t SweepCollisionBodyInWater(CollisionBody* body, Vec3* motion, SweepHitRecord* hit, float axisFlags[3],
                                   NztBase3D* asker = nullptr);

// Pitch and roll (angle units) of the solid surface (ComputeSurfaceTilt) or the water surface
// (ComputeGroundTilt) under the object, from probes 2.0 ahead, behind, right and left of it; 1.
uint32_t ComputeSurfaceTilt(NztBaseObject* object, int32_t* pitch, int32_t* roll);
uint32_t ComputeGroundTilt(NztBaseObject* object, int32_t* pitch, int32_t* roll);
