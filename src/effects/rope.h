// Ropes: distance constraints between points of world objects, simulated with Verlet particles.
//
// Two fixed pools of RopePoolSize entries hold the particles and the constraints; entries are
// referred to by index and taken by the link code below. Each game frame (while at least one link
// exists) UpdateRopes accumulates gravity, integrates positions (position Verlet, no damping), then
// runs the relaxation passes: each pass pushes free particles out of the world's collision surfaces
// and pulls every constrained pair back to its rest length; the last pass puts pinned particles back
// on their pin points. The anchors then couple particles with objects: a fixed anchor pins its
// particle to the object's point, a free anchor writes its particle back into the object.
//
// A link joins two anchors; links that share an anchor share its particle, so chains and webs form
// through shared anchors. Nothing here draws. Main thread only.
#pragma once

#include <cstdint>

class NztBase3D;
class NztBaseObject;
struct NztFile;

constexpr int32_t RopePoolSize = 1000;

struct RopeParticle {
    float position[3] = {0.0f, 0.0f, 0.0f};  // world, y up
    float previousPosition[3] = {0.0f, 0.0f, 0.0f};
    float acceleration[3] = {0.0f, 0.0f, 0.0f};  // applied by the next integration
    uint32_t state = 0;                          // 0 free pool entry, 1 simulated
    uint32_t pinned = 0;                         // 1: held at pinPoint on all three axes
    float pinPoint[3] = {0.0f, 0.0f, 0.0f};
    float weight = 0.25f;  // inverse mass in the relaxation
};

struct RopeConstraint {
    float restLength = 0.0f;
    int32_t particleA = 0;  // pool indices
    int32_t particleB = 0;
    uint32_t inUse = 0;
};

struct RopeSettingsRecord {
    float gravity[3];            // units per second squared
    float extraAcceleration[3];  // added to gravity
    float spare;
    float stepTime;            // seconds, the frame time copied at every step
    uint32_t iterationCount;   // relaxation passes per step
    uint32_t axisSwitches[3];  // x, y, z: an axis switched off is neither accelerated, integrated nor relaxed
};
extern RopeSettingsRecord RopeSettings;

// The pools. Entries at or above the fill count have never been handed out (state / in use 0).
extern RopeParticle RopeParticles[RopePoolSize];
extern RopeConstraint RopeConstraints[RopePoolSize];
extern int32_t RopeParticleFill;
extern int32_t RopeConstraintFill;

// Every entry to its defaults, then ResetRopePools.
void InitRopePools();
// Every entry of both pools free, both fill counts 0; the settings' floats 0, the iteration count
// and the three axis switches 1.
void ResetRopePools();
// Copies the template into the first free entry below the fill count, else the entry at the fill
// count. -1 when the pool is full (no entry is ever handed out twice).
int32_t AllocRopeParticle(const RopeParticle& particle);
int32_t AllocRopeConstraint(const RopeConstraint& constraint);
// Gives one entry back (an index outside the pool does nothing).
void FreeRopeParticle(int32_t index);
void FreeRopeConstraint(int32_t index);

// One simulation step, then every anchor's coupling (last anchor first); nothing without links.
void UpdateRopes();
// The three stages of the step.
void AccumulateRopeForces();
void IntegrateRopeParticles();
void SatisfyRopeConstraints();
// The three stages written plainly over all RopePoolSize entries, kept to check the ones above.
void StepRopesReference();

// The world queries the collision stage asks; they start as the engine's own, and tests put fakes
// in their place and call ResetRopeHooks afterwards.
struct RopeHooks {
    void (*collideSegment)(const float segment[6], NztBase3D* asker);
    uint32_t (*collideSegmentNearest)(const float start[3], const float end[3], float point[3]);
};
extern RopeHooks RopeServices;
void ResetRopeHooks();

// Links and anchors.
struct RopeAnchor {
    int32_t particle = -1;  // pool index; -1 until allocated
    int32_t point = -1;     // attach point of the object; -1: the object's position
    uint32_t fixed = 0;     // 1: the particle is pinned and follows the object; 0: it drives the object
    NztBaseObject* object = nullptr;
    float restPoint[3] = {0.0f, 0.0f, 0.0f};  // world position when a link last took the anchor
};

struct RopeLink {
    int32_t constraint = -1;  // pool index
    RopeAnchor* anchorA = nullptr;
    RopeAnchor* anchorB = nullptr;
};

// Owning tables; they grow to count + 10, and every search runs from the last entry to the first.
extern RopeLink** RopeLinkList;
extern uint32_t RopeLinkCount;
extern uint32_t RopeLinkCapacity;
extern RopeAnchor** RopeAnchorList;
extern uint32_t RopeAnchorCount;
extern uint32_t RopeAnchorCapacity;

// Joins point A of object A to point B of object B, reusing the anchors that already exist there.
// The rest length is the distance between the anchors' rest points. Null when both ends are the
// same existing anchor, or when the pools or memory cannot take the link (nothing changes then).
RopeLink* CreateRopeLink(NztBaseObject* objectA, NztBaseObject* objectB, int32_t pointA, int32_t pointB,
                         uint32_t fixedA, uint32_t fixedB);
// Deletes every link between (object A, point A) and (object B, point B), in either order.
void RemoveRopeLink(NztBaseObject* objectA, int32_t pointA, NztBaseObject* objectB, int32_t pointB);
// Deletes link index and each of its anchors that no other link uses, with their pool entries; an
// index out of range does nothing.
void DeleteRopeLink(int32_t index);
// Deletes every link with an end on the object, then every anchor of the object.
void RemoveObjectLinks(NztBaseObject* object);
void FreeRopeLinks();
void FreeRopeAnchors();
// Per-frame coupling of one anchor with its object.
void UpdateRopeAnchor(RopeAnchor* anchor);
// World position of an object's point: a valid attach point maps the mesh's own (current-LOD)
// anchor vertex through the object's rotation and position; anything else gives the position.
void RopeRestPoint(const NztBaseObject* object, int32_t point, float out[3]);

// The scene file's rope chunk: u32 count (read signed, 0 or less for none), then per link 32 bytes
// of eight words: kind, id, point, fixed of end A, then the same of end B.
constexpr uint32_t RopeLinkRecordBytes = 32;
// 1 when the whole chunk was written, 0 when the stream refused a write.
int32_t WriteRopeLinks(NztFile& stream);
// Adds the chunk's links to those that exist: ends of kind 4 are looked up among the scene objects
// and kind 5 among the characters by id (last entry first); a record with an end not found is
// skipped. 1 when the chunk was read whole; 0 when the data ended before the count's last record
// (the records before it are kept).
int32_t LoadRopeLinks(NztFile& stream);
