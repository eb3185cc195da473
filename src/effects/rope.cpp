#include "effects/rope.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "collision/collquery.h"
#include "core/binio.h"
#include "core/frameclock.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/charlinks.h"
#include "objects/objtype.h"

RopeSettingsRecord RopeSettings = {};
RopeParticle RopeParticles[RopePoolSize];
RopeConstraint RopeConstraints[RopePoolSize];
int32_t RopeParticleFill = 0;
int32_t RopeConstraintFill = 0;

RopeLink** RopeLinkList = nullptr;
uint32_t RopeLinkCount = 0;
uint32_t RopeLinkCapacity = 0;
RopeAnchor** RopeAnchorList = nullptr;
uint32_t RopeAnchorCount = 0;
uint32_t RopeAnchorCapacity = 0;

namespace {

// The collision queries take points; the rope step keeps its particles as float triples.
void EngineCollideSegment(const float segment[6], NztBase3D* asker) {
    CollideSegment(Vec3{segment[0], segment[1], segment[2]}, Vec3{segment[3], segment[4], segment[5]}, asker);
}
uint32_t EngineCollideSegmentNearest(const float start[3], const float end[3], float point[3]) {
    Vec3 hit{point[0], point[1], point[2]};
    const uint32_t type =
        CollideSegmentNearest(Vec3{start[0], start[1], start[2]}, Vec3{end[0], end[1], end[2]}, &hit);
    point[0] = hit.x;
    point[1] = hit.y;
    point[2] = hit.z;
    return type;
}

}  // namespace

RopeHooks RopeServices = {EngineCollideSegment, EngineCollideSegmentNearest};

void ResetRopeHooks() {
    RopeServices = RopeHooks{EngineCollideSegment, EngineCollideSegmentNearest};
}

// ---------------------------------------------------------------------------------------------
// Pools

void InitRopePools() {
    for (RopeParticle& p : RopeParticles) p = RopeParticle{};
    for (RopeConstraint& c : RopeConstraints) c = RopeConstraint{};
    ResetRopePools();
}

void ResetRopePools() {
    for (RopeParticle& p : RopeParticles) p = RopeParticle{};
    for (RopeConstraint& c : RopeConstraints) c = RopeConstraint{};
    RopeParticleFill = 0;
    RopeConstraintFill = 0;
    RopeSettings = RopeSettingsRecord{};
    RopeSettings.iterationCount = 1;
    RopeSettings.axisSwitches[0] = RopeSettings.axisSwitches[1] = RopeSettings.axisSwitches[2] = 1;
}

namespace {

// The first free entry below the fill count, else the entry at the fill count; -1 when full.
template <typename Entry, typename IsFree>
int32_t TakeEntry(Entry* pool, int32_t& fill, const Entry& entry, IsFree isFree) {
    for (int32_t i = 0; i < fill; ++i) {
        if (isFree(pool[i])) {
            pool[i] = entry;
            return i;
        }
    }
    if (fill >= RopePoolSize) return -1;
    pool[fill] = entry;
    return fill++;
}

}  // namespace

int32_t AllocRopeParticle(const RopeParticle& particle) {
    return TakeEntry(RopeParticles, RopeParticleFill, particle,
                     [](const RopeParticle& p) { return p.state == 0; });
}

int32_t AllocRopeConstraint(const RopeConstraint& constraint) {
    return TakeEntry(RopeConstraints, RopeConstraintFill, constraint,
                     [](const RopeConstraint& c) { return c.inUse == 0; });
}

void FreeRopeParticle(int32_t index) {
    if (index >= 0 && index < RopePoolSize) RopeParticles[index] = RopeParticle{};
}

void FreeRopeConstraint(int32_t index) {
    if (index >= 0 && index < RopePoolSize) RopeConstraints[index] = RopeConstraint{};
}

// ---------------------------------------------------------------------------------------------
// The step. Entries at or above a fill count were never handed out, so the stages stop there; and
// with every axis switched on (always, during play) they skip the per-axis tests. Every float
// operation is the one StepRopesReference makes, in the same order, so both give the same bits.

namespace {

bool AllAxesOn() {
    return RopeSettings.axisSwitches[0] != 0 && RopeSettings.axisSwitches[1] != 0 &&
           RopeSettings.axisSwitches[2] != 0;
}

bool ValidParticle(int32_t index) {
    return index >= 0 && index < RopePoolSize;
}

// Pushes a free particle out of the surfaces crossed between where it is and 1.0 above where it was:
// the crossing nearest to the raised point wins, so a particle that sank through a floor comes back
// onto it. The previous position is kept.
void CollideRopeParticle(RopeParticle& p) {
    const float segment[6] = {p.position[0],
                              p.position[1],
                              p.position[2],
                              p.previousPosition[0],
                              p.previousPosition[1] + 1.0f,
                              p.previousPosition[2]};
    RopeServices.collideSegment(segment, nullptr);
    RopeServices.collideSegmentNearest(segment + 3, segment, p.position);
}

void PinRopeParticle(RopeParticle& p) {
    if (p.pinned == 0) return;
    for (int axis = 0; axis < 3; ++axis) p.position[axis] = p.previousPosition[axis] = p.pinPoint[axis];
}

}  // namespace

void AccumulateRopeForces() {
    float g[3];
    for (int axis = 0; axis < 3; ++axis)
        g[axis] = RopeSettings.gravity[axis] + RopeSettings.extraAcceleration[axis];
    const bool all = AllAxesOn();
    for (int32_t i = 0; i < RopeParticleFill; ++i) {
        RopeParticle& p = RopeParticles[i];
        if (p.state != 1) continue;
        if (all) {
            p.acceleration[0] = g[0];
            p.acceleration[1] = g[1];
            p.acceleration[2] = g[2];
            continue;
        }
        for (int axis = 0; axis < 3; ++axis)
            if (RopeSettings.axisSwitches[axis] != 0) p.acceleration[axis] = g[axis];
    }
}

void IntegrateRopeParticles() {
    const float h = RopeSettings.stepTime * RopeSettings.stepTime;
    const bool on[3] = {RopeSettings.axisSwitches[0] != 0, RopeSettings.axisSwitches[1] != 0,
                        RopeSettings.axisSwitches[2] != 0};
    for (int32_t i = 0; i < RopeParticleFill; ++i) {
        RopeParticle& p = RopeParticles[i];
        if (p.state != 1) continue;
        for (int axis = 0; axis < 3; ++axis) {
            const float p0 = p.position[axis];
            if (on[axis]) p.position[axis] = p0 + (p0 - p.previousPosition[axis]) + p.acceleration[axis] * h;
            p.previousPosition[axis] = p0;
        }
    }
}

void SatisfyRopeConstraints() {
    const uint32_t passes = RopeSettings.iterationCount;
    const bool all = AllAxesOn();
    const bool on[3] = {RopeSettings.axisSwitches[0] != 0, RopeSettings.axisSwitches[1] != 0,
                        RopeSettings.axisSwitches[2] != 0};
    for (uint32_t pass = 0; pass < passes; ++pass) {
        for (int32_t i = 0; i < RopeParticleFill; ++i) {
            RopeParticle& p = RopeParticles[i];
            if (p.state == 1 && p.pinned == 0) CollideRopeParticle(p);
        }
        const bool last = pass + 1 == passes;
        for (int32_t i = 0; i < RopeConstraintFill; ++i) {
            const RopeConstraint& c = RopeConstraints[i];
            if (c.inUse != 1 || !ValidParticle(c.particleA) || !ValidParticle(c.particleB)) continue;
            RopeParticle& a = RopeParticles[c.particleA];
            RopeParticle& b = RopeParticles[c.particleB];
            const float d[3] = {b.position[0] - a.position[0], b.position[1] - a.position[1],
                                b.position[2] - a.position[2]};
            const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            const float k = len == 0.0f ? 0.0f : (len - c.restLength) / ((a.weight + b.weight) * len);
            if (all) {
                for (int axis = 0; axis < 3; ++axis) {
                    a.position[axis] += k * d[axis] * a.weight;
                    b.position[axis] -= k * d[axis] * b.weight;
                }
            } else {
                for (int axis = 0; axis < 3; ++axis) {
                    if (!on[axis]) continue;
                    a.position[axis] += k * d[axis] * a.weight;
                    b.position[axis] -= k * d[axis] * b.weight;
                }
            }
            if (last) {
                PinRopeParticle(a);
                PinRopeParticle(b);
            }
        }
    }
}

void StepRopesReference() {
    const RopeSettingsRecord& s = RopeSettings;
    for (RopeParticle& p : RopeParticles) {
        if (p.state != 1) continue;
        for (int axis = 0; axis < 3; ++axis)
            if (s.axisSwitches[axis] != 0) p.acceleration[axis] = s.gravity[axis] + s.extraAcceleration[axis];
    }
    const float h = s.stepTime * s.stepTime;
    for (RopeParticle& p : RopeParticles) {
        if (p.state != 1) continue;
        float p0[3];
        for (int axis = 0; axis < 3; ++axis) p0[axis] = p.position[axis];
        for (int axis = 0; axis < 3; ++axis) {
            if (s.axisSwitches[axis] == 0) continue;
            p.position[axis] =
                p.position[axis] + (p.position[axis] - p.previousPosition[axis]) + p.acceleration[axis] * h;
        }
        for (int axis = 0; axis < 3; ++axis) p.previousPosition[axis] = p0[axis];
    }
    for (uint32_t pass = 0; pass < s.iterationCount; ++pass) {
        for (RopeParticle& p : RopeParticles) {
            if (p.state != 1 || p.pinned != 0) continue;
            const float P[3] = {p.position[0], p.position[1], p.position[2]};
            const float Q[3] = {p.previousPosition[0], p.previousPosition[1] + 1.0f, p.previousPosition[2]};
            const float segment[6] = {P[0], P[1], P[2], Q[0], Q[1], Q[2]};
            RopeServices.collideSegment(segment, nullptr);
            RopeServices.collideSegmentNearest(Q, P, p.position);
        }
        for (RopeConstraint& c : RopeConstraints) {
            if (c.inUse != 1 || !ValidParticle(c.particleA) || !ValidParticle(c.particleB)) continue;
            RopeParticle& a = RopeParticles[c.particleA];
            RopeParticle& b = RopeParticles[c.particleB];
            float d[3];
            for (int axis = 0; axis < 3; ++axis) d[axis] = b.position[axis] - a.position[axis];
            const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            float k = 0.0f;
            if (len != 0.0f) k = (len - c.restLength) / ((a.weight + b.weight) * len);
            for (int axis = 0; axis < 3; ++axis) {
                if (s.axisSwitches[axis] == 0) continue;
                a.position[axis] += k * d[axis] * a.weight;
                b.position[axis] -= k * d[axis] * b.weight;
            }
            if (pass == s.iterationCount - 1) {
                for (RopeParticle* end : {&a, &b}) {
                    if (end->pinned == 0) continue;
                    for (int axis = 0; axis < 3; ++axis)
                        end->position[axis] = end->previousPosition[axis] = end->pinPoint[axis];
                }
            }
        }
    }
}

void UpdateRopes() {
    if (RopeLinkCount == 0) return;
    RopeSettings.stepTime = FrameTiming.frameTime;
    AccumulateRopeForces();
    IntegrateRopeParticles();
    SatisfyRopeConstraints();
    for (int32_t i = static_cast<int32_t>(RopeAnchorCount) - 1; i >= 0; --i)
        UpdateRopeAnchor(RopeAnchorList[i]);
}

// ---------------------------------------------------------------------------------------------
// Anchors and links

namespace {

// Room for extra more entries: the capacity becomes count + 10 (cleared) when count + extra would
// pass it. False, with the table unchanged, when memory cannot be had.
template <typename T>
bool ReserveTable(T**& list, uint32_t count, uint32_t& capacity, uint32_t extra) {
    if (count + extra <= capacity) return true;
    const uint32_t grown = count + 10;
    T** bigger = new (std::nothrow) T*[grown]();
    if (bigger == nullptr) return false;
    for (uint32_t i = 0; i < count; ++i) bigger[i] = list[i];
    delete[] list;
    list = bigger;
    capacity = grown;
    return true;
}

// Takes entry index out of the table, closing the gap; the caller owns the record.
template <typename T>
void RemoveTableEntry(T** list, uint32_t& count, uint32_t index) {
    for (uint32_t i = index; i + 1 < count; ++i) list[i] = list[i + 1];
    list[--count] = nullptr;
}

RopeAnchor* FindAnchor(const NztBaseObject* object, int32_t point) {
    for (int32_t i = static_cast<int32_t>(RopeAnchorCount) - 1; i >= 0; --i) {
        RopeAnchor* a = RopeAnchorList[i];
        if (a->object == object && a->point == point) return a;
    }
    return nullptr;
}

bool AnchorLinked(const RopeAnchor* anchor) {
    for (int32_t i = static_cast<int32_t>(RopeLinkCount) - 1; i >= 0; --i) {
        const RopeLink* l = RopeLinkList[i];
        if (l->anchorA == anchor || l->anchorB == anchor) return true;
    }
    return false;
}

// Removes the anchor from its table and frees it with its particle.
void DeleteAnchor(RopeAnchor* anchor) {
    for (int32_t i = static_cast<int32_t>(RopeAnchorCount) - 1; i >= 0; --i) {
        if (RopeAnchorList[i] != anchor) continue;
        RemoveTableEntry(RopeAnchorList, RopeAnchorCount, static_cast<uint32_t>(i));
        break;
    }
    FreeRopeParticle(anchor->particle);
    delete anchor;
}

void FreeTable(RopeAnchor**& list, uint32_t& capacity) {
    delete[] list;
    list = nullptr;
    capacity = 0;
}

void FreeTable(RopeLink**& list, uint32_t& capacity) {
    delete[] list;
    list = nullptr;
    capacity = 0;
}

float Distance(const float a[3], const float b[3]) {
    const float d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

// One end of a link being made: the anchor found there, or the one that will be made.
struct LinkEnd {
    RopeAnchor* found = nullptr;
    RopeAnchor* made = nullptr;
    float restPoint[3] = {0.0f, 0.0f, 0.0f};

    RopeAnchor* anchor() const { return found != nullptr ? found : made; }
};

// A new anchor with its particle at the rest point. A fixed anchor's pin point starts there too, so
// that the step before the first anchor update holds it in place rather than at the world origin.
bool MakeAnchor(LinkEnd& end, NztBaseObject* object, int32_t point, uint32_t fixed) {
    end.made = new (std::nothrow) RopeAnchor{};
    if (end.made == nullptr) return false;
    end.made->point = point;
    end.made->fixed = fixed;
    end.made->object = object;
    RopeParticle p;
    for (int axis = 0; axis < 3; ++axis) {
        p.position[axis] = p.previousPosition[axis] = end.restPoint[axis];
        if (fixed != 0) p.pinPoint[axis] = end.restPoint[axis];
    }
    p.state = 1;
    p.pinned = fixed != 0 ? 1 : 0;
    end.made->particle = AllocRopeParticle(p);
    return end.made->particle >= 0;
}

void DropMadeAnchor(LinkEnd& end) {
    if (end.made == nullptr) return;
    FreeRopeParticle(end.made->particle);
    delete end.made;
    end.made = nullptr;
}

}  // namespace

void RopeRestPoint(const NztBaseObject* object, int32_t point, float out[3]) {
    for (int axis = 0; axis < 3; ++axis) out[axis] = object->Position[axis];
    const NztMesh* mesh = object->mesh;
    if (point < 0 || mesh == nullptr || mesh->AttachPoints == nullptr ||
        static_cast<uint32_t>(point) >= mesh->AttachCount)
        return;
    const uint32_t vertex = mesh->AttachPoints[point].Anchor;
    if (mesh->Vertices == nullptr || vertex >= mesh->VertexCount) return;
    const Vec3& v = mesh->Vertices[vertex];
    const float* r = object->rotation;
    for (int axis = 0; axis < 3; ++axis)
        out[axis] = v.x * r[axis] + v.y * r[3 + axis] + v.z * r[6 + axis] + object->Position[axis];
}

RopeLink* CreateRopeLink(NztBaseObject* objectA, NztBaseObject* objectB, int32_t pointA, int32_t pointB,
                         uint32_t fixedA, uint32_t fixedB) {
    if (objectA == nullptr || objectB == nullptr) return nullptr;
    LinkEnd a, b;
    a.found = FindAnchor(objectA, pointA);
    b.found = FindAnchor(objectB, pointB);
    if (a.found != nullptr && a.found == b.found) return nullptr;
    RopeRestPoint(objectA, pointA, a.restPoint);
    RopeRestPoint(objectB, pointB, b.restPoint);

    // Everything the link needs is taken before anything is published, so a refusal changes nothing.
    const uint32_t newAnchors = (a.found == nullptr ? 1u : 0u) + (b.found == nullptr ? 1u : 0u);
    RopeLink* link = nullptr;
    bool ok = ReserveTable(RopeAnchorList, RopeAnchorCount, RopeAnchorCapacity, newAnchors) &&
              ReserveTable(RopeLinkList, RopeLinkCount, RopeLinkCapacity, 1);
    if (ok && a.found == nullptr) ok = MakeAnchor(a, objectA, pointA, fixedA);
    if (ok && b.found == nullptr) ok = MakeAnchor(b, objectB, pointB, fixedB);
    if (ok) ok = (link = new (std::nothrow) RopeLink{}) != nullptr;
    if (ok) {
        RopeConstraint c;
        c.restLength = Distance(a.restPoint, b.restPoint);
        c.particleA = a.anchor()->particle;
        c.particleB = b.anchor()->particle;
        c.inUse = 1;
        link->constraint = AllocRopeConstraint(c);
        ok = link->constraint >= 0;
    }
    if (!ok) {
        std::fprintf(stderr, "rope: no room for another rope link (%d particles, %d constraints taken)\n",
                     RopeParticleFill, RopeConstraintFill);
        delete link;
        DropMadeAnchor(b);
        DropMadeAnchor(a);
        return nullptr;
    }
    for (LinkEnd* end : {&a, &b}) {
        for (int axis = 0; axis < 3; ++axis) end->anchor()->restPoint[axis] = end->restPoint[axis];
        if (end->made != nullptr) RopeAnchorList[RopeAnchorCount++] = end->made;
    }
    link->anchorA = a.anchor();
    link->anchorB = b.anchor();
    RopeLinkList[RopeLinkCount++] = link;
    return link;
}

void DeleteRopeLink(int32_t index) {
    if (index < 0 || static_cast<uint32_t>(index) >= RopeLinkCount) return;
    RopeLink* link = RopeLinkList[index];
    RopeAnchor* a = link->anchorA;
    RopeAnchor* b = link->anchorB;
    RemoveTableEntry(RopeLinkList, RopeLinkCount, static_cast<uint32_t>(index));
    FreeRopeConstraint(link->constraint);
    delete link;
    if (a != nullptr && !AnchorLinked(a)) DeleteAnchor(a);
    if (b != nullptr && b != a && !AnchorLinked(b)) DeleteAnchor(b);
}

void RemoveRopeLink(NztBaseObject* objectA, int32_t pointA, NztBaseObject* objectB, int32_t pointB) {
    auto at = [](const RopeAnchor* anchor, const NztBaseObject* object, int32_t point) {
        return anchor->object == object && anchor->point == point;
    };
    for (int32_t i = static_cast<int32_t>(RopeLinkCount) - 1; i >= 0; --i) {
        if (static_cast<uint32_t>(i) >= RopeLinkCount) continue;
        const RopeLink* l = RopeLinkList[i];
        if ((at(l->anchorA, objectA, pointA) && at(l->anchorB, objectB, pointB)) ||
            (at(l->anchorA, objectB, pointB) && at(l->anchorB, objectA, pointA)))
            DeleteRopeLink(i);
    }
}

void RemoveObjectLinks(NztBaseObject* object) {
    for (int32_t i = static_cast<int32_t>(RopeLinkCount) - 1; i >= 0; --i) {
        if (static_cast<uint32_t>(i) >= RopeLinkCount) continue;
        const RopeLink* l = RopeLinkList[i];
        if (l->anchorA->object == object || l->anchorB->object == object) DeleteRopeLink(i);
    }
    for (int32_t i = static_cast<int32_t>(RopeAnchorCount) - 1; i >= 0; --i) {
        if (static_cast<uint32_t>(i) < RopeAnchorCount && RopeAnchorList[i]->object == object)
            DeleteAnchor(RopeAnchorList[i]);
    }
}

void FreeRopeLinks() {
    for (int32_t i = static_cast<int32_t>(RopeLinkCount) - 1; i >= 0; --i) DeleteRopeLink(i);
    FreeTable(RopeLinkList, RopeLinkCapacity);
    RopeLinkCount = 0;
}

void FreeRopeAnchors() {
    for (int32_t i = static_cast<int32_t>(RopeAnchorCount) - 1; i >= 0; --i) DeleteAnchor(RopeAnchorList[i]);
    FreeTable(RopeAnchorList, RopeAnchorCapacity);
    RopeAnchorCount = 0;
}

void UpdateRopeAnchor(RopeAnchor* anchor) {
    if (anchor == nullptr || anchor->object == nullptr || !ValidParticle(anchor->particle)) return;
    RopeParticle& q = RopeParticles[anchor->particle];
    NztBaseObject* o = anchor->object;
    const int32_t point = anchor->point;
    if (anchor->fixed != 0) {
        if (point < 0) {
            for (int axis = 0; axis < 3; ++axis) q.pinPoint[axis] = o->Position[axis];
        } else {
            o->GetPointPosition(point, q.pinPoint);
        }
    } else if (point == -1) {
        // The previous position stays: the object's motion this frame is what the rope gave it.
        for (int axis = 0; axis < 3; ++axis) o->Position[axis] = q.position[axis];
        if (o->poseState == 1) o->poseState = 2;
    } else {
        o->SetPointPosition(point, q.position);
    }
}

// ---------------------------------------------------------------------------------------------
// Scene-file chunk

int32_t WriteRopeLinks(NztFile& stream) {
    BinWriter out(stream);
    out.U32(RopeLinkCount);
    for (uint32_t i = 0; i < RopeLinkCount; ++i) {
        for (const RopeAnchor* a : {RopeLinkList[i]->anchorA, RopeLinkList[i]->anchorB}) {
            out.U32(static_cast<uint32_t>(a->object->kind));
            out.I32(a->object->id);
            out.I32(a->point);
            out.U32(a->fixed);
        }
    }
    if (out.Ok()) return 1;
    std::fprintf(stderr, "rope: the rope links could not be written\n");
    return 0;
}

namespace {

NztBaseObject* FindLinkedObject(uint32_t kind, int32_t id) {
    if (id == -1) return nullptr;
    if (kind == ObjectKindScn) {
        for (int64_t i = int64_t{ScnObjectCount} - 1; i >= 0; --i)
            if (ScnObjectList[i] != nullptr && ScnObjectList[i]->id == id) return ScnObjectList[i];
    } else if (kind == ObjectKindEntity) {
        for (int64_t i = int64_t{EntityCount} - 1; i >= 0; --i) {
            NztCollideObject* e = CharacterObject(EntityList[i]);
            if (e != nullptr && e->id == id) return e;
        }
    }
    return nullptr;
}

}  // namespace

int32_t LoadRopeLinks(NztFile& stream) {
    BinReader in(stream);
    const int32_t count = in.I32();
    if (!in.Ok()) {
        std::fprintf(stderr, "rope: the rope chunk is missing its link count\n");
        return 0;
    }
    for (int32_t i = 0; i < count; ++i) {
        uint32_t kind[2];
        int32_t id[2], point[2];
        uint32_t fixed[2];
        for (int end = 0; end < 2; ++end) {
            kind[end] = in.U32();
            id[end] = in.I32();
            point[end] = in.I32();
            fixed[end] = in.U32();
        }
        if (!in.Ok()) {
            std::fprintf(stderr, "rope: the rope chunk ends after %d of its %d links\n", i, count);
            return 0;
        }
        NztBaseObject* a = FindLinkedObject(kind[0], id[0]);
        NztBaseObject* b = FindLinkedObject(kind[1], id[1]);
        if (a != nullptr && b != nullptr) CreateRopeLink(a, b, point[0], point[1], fixed[0], fixed[1]);
    }
    return 1;
}
