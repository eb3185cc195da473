// A small collision world for the tests: scene objects and characters made from triangle lists,
// published in the owning scene-object list and the character registry, with the global grid
// built over them. Everything is put back on destruction.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <unordered_map>
#include <vector>

#include "character/entity.h"
#include "collision/collide.h"
#include "collision/collquery.h"
#include "core/paths.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/objtype.h"
#include "objects/registry.h"

struct CollisionTri {
    Vec3 a, b, c;
    uint32_t type = 1;
};

// A horizontal square [x0, x1] x [z0, z1] at height y, facing up (or down), as two triangles.
inline std::vector<CollisionTri> Square(float x0, float z0, float x1, float z1, float y, uint32_t type,
                                        bool up = true) {
    const Vec3 p00{x0, y, z0}, p01{x0, y, z1}, p10{x1, y, z0}, p11{x1, y, z1};
    if (up) return {{p00, p01, p10, type}, {p10, p01, p11, type}};
    return {{p00, p10, p01, type}, {p10, p11, p01, type}};
}

// A wall in the plane x = x0 (normal +x or -x) spanning z0..z1 and y0..y1.
inline std::vector<CollisionTri> WallX(float x0, float z0, float z1, float y0, float y1, bool facePlus,
                                       uint32_t type = 1) {
    const Vec3 a{x0, y0, z0}, b{x0, y0, z1}, c{x0, y1, z0}, d{x0, y1, z1};
    if (facePlus) return {{a, c, b, type}, {b, c, d, type}};
    return {{a, b, c, type}, {b, d, c, type}};
}

// The same in the plane z = z0.
inline std::vector<CollisionTri> WallZ(float z0, float x0, float x1, float y0, float y1, bool facePlus,
                                       uint32_t type = 1) {
    const Vec3 a{x0, y0, z0}, b{x1, y0, z0}, c{x0, y1, z0}, d{x1, y1, z0};
    if (facePlus) return {{a, b, c, type}, {b, d, c, type}};
    return {{a, c, b, type}, {b, c, d, type}};
}

class CollisionWorld {
public:
    CollisionWorld() = default;
    CollisionWorld(const CollisionWorld&) = delete;
    CollisionWorld& operator=(const CollisionWorld&) = delete;
    ~CollisionWorld() {
        ScnObjectList = nullptr;
        ScnObjectCount = 0;
        EntityRegistry = ObjectList{};
        FreeCollideGrid();
        CurrentCollideCell = -1;
        objects_.clear();  // objects before the meshes they point at
    }

    // A collision mesh from the triangles (the posed copy equals the rest copy: the mesh sits at the
    // origin with no turn), bound to the object and taken into its collision arrays.
    void Give(NztCollideObject* object, const std::vector<CollisionTri>& tris, float sizeClass = 1.0f) {
        auto mesh = std::make_unique<NztMesh>();
        for (const CollisionTri& t : tris) {
            for (const Vec3& v : {t.a, t.b, t.c}) {
                mesh->CollisionTriangles.push_back(static_cast<uint32_t>(mesh->CollisionVertices.size()));
                mesh->CollisionVertices.push_back(v);
            }
            mesh->CollisionTriangleWords.push_back(t.type);
        }
        mesh->CollisionVertexCount = static_cast<uint32_t>(mesh->CollisionVertices.size());
        mesh->CollisionTriangleCount = static_cast<uint32_t>(tris.size());
        mesh->PosedCollisionVertices = mesh->CollisionVertices;
        mesh->SizeClass = sizeClass;
        if (!mesh->CollisionVertices.empty()) {
            Vec3 lo = mesh->CollisionVertices[0], hi = lo;
            for (const Vec3& v : mesh->CollisionVertices) {
                lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
                hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
            }
            const float box[6] = {lo.x, lo.y, lo.z, hi.x, hi.y, hi.z};
            std::copy(box, box + 6, mesh->OwnCollisionBounds);
        }
        object->mesh = mesh.get();
        object->CopyCollision(mesh.get());
        object->UpdateCollision();
        object->registered = 1;
        meshes_.push_back(std::move(mesh));
    }

    NztScnObject* AddScn(const std::vector<CollisionTri>& tris, float sizeClass = 1.0f) {
        auto o = std::make_unique<NztScnObject>();
        Give(o.get(), tris, sizeClass);
        scn_.push_back(o.get());
        objects_.push_back(std::move(o));
        return scn_.back();
    }

    NztEntity* AddEntity(const std::vector<CollisionTri>& tris) {
        auto e = std::make_unique<NztEntity>();
        Give(e.get(), tris);
        NztEntity* raw = e.get();
        entities_.push_back(raw);
        objects_.push_back(std::move(e));
        return raw;
    }

    // Publishes the lists and builds the global grid; the cell count.
    uint32_t Build() {
        ScnObjectList = scn_.data();
        ScnObjectCount = static_cast<uint32_t>(scn_.size());
        EntityRegistry.objects = entities_.data();
        EntityRegistry.count = static_cast<int32_t>(entities_.size());
        EntityRegistry.capacity = EntityRegistry.count;
        return BuildCollideGrid();
    }

private:
    std::vector<std::unique_ptr<NztMesh>> meshes_;
    std::vector<std::unique_ptr<NztCollideObject>> objects_;
    std::vector<NztScnObject*> scn_;
    std::vector<NztBase3D*> entities_;
};

// The grid as the plain layout makes it: every cell of the nx x nz layout (corners summed cell by
// cell) tests every triangle against its box grown by the margin, and is kept when any passes.
struct PlainCell {
    Vec3 boxMin, boxMax;
    std::vector<uint32_t> entries;
};
inline PlainCell PlainCellAt(const NztCollideObject& o, uint32_t i, uint32_t k, uint32_t nx, uint32_t nz) {
    const Vec3 lo{o.collisionBox[0], o.collisionBox[1], o.collisionBox[2]};
    const Vec3 hi{o.collisionBox[3], o.collisionBox[4], o.collisionBox[5]};
    const float dx = (hi.x - lo.x) / static_cast<float>(nx), dz = (hi.z - lo.z) / static_cast<float>(nz);
    float x0 = lo.x, z0 = lo.z;
    for (uint32_t n = 0; n < i; ++n) x0 += dx;
    for (uint32_t n = 0; n < k; ++n) z0 += dz;
    const float m = CollisionCellMargin;
    PlainCell cell{{x0, lo.y, z0}, {x0 + dx, hi.y, z0 + dz}, {}};
    const Vec3 testMin{x0 - m, lo.y - m, z0 + -m}, testMax{(x0 + dx) + m, hi.y + m, (z0 + dz) + m};
    for (uint32_t t = 0; t < o.triangles.size(); ++t) {
        const CollisionTriangle& tri = o.triangles[t];
        if (TriangleIntersectsBox(testMin, testMax, tri.v[0], tri.v[1], tri.v[2])) cell.entries.push_back(t);
    }
    return cell;
}
inline PlainCell PlainCellAt(const NztCollideObject& o, uint32_t i, uint32_t k) {
    return PlainCellAt(o, i, k, o.cellsPerAxis[0], o.cellsPerAxis[2]);
}

// Cells along an axis of an object's grid: the span in cells of 2.5 times the size class (at least
// 1.0), rounded, at least one; the engine bounds a grid to 256 cells an axis (a mesh with
// far-flung vertices).
inline uint32_t RuleCellsAlong(float span, const NztCollideObject& o) {
    const float s = std::max(1.0f, 2.5f * (o.mesh != nullptr ? o.mesh->SizeClass : 1.0f));
    return static_cast<uint32_t>(RoundToInt(std::min(std::max(1.0, double(span) / double(s)), 256.0)));
}

// The object's grid against the plain layout: the same cells kept, in layout order, with the same
// boxes bit for bit and the same lists. With a stride, only every stride-th layout cell is looked at
// (a large ground has tens of thousands).
inline testing::AssertionResult GridIsThePlainLayout(const NztCollideObject& o, uint32_t stride = 1) {
    const uint32_t nx = o.cellsPerAxis[0], nz = o.cellsPerAxis[2];
    if (nx != RuleCellsAlong(o.collisionBox[3] - o.collisionBox[0], o) ||
        nz != RuleCellsAlong(o.collisionBox[5] - o.collisionBox[2], o) || o.cellsPerAxis[1] != 1)
        return testing::AssertionFailure() << "another number of cells";
    if (o.gridLookup.size() != size_t(nx) * nz)
        return testing::AssertionFailure() << "no lookup for the layout";
    if (o.gridCellCount != o.gridCells.size()) return testing::AssertionFailure() << "the cell count is off";
    size_t kept = 0;
    for (size_t c = 0; c < o.gridLookup.size(); ++c) {
        const int32_t index = o.gridLookup[c];
        if (index >= 0 && static_cast<size_t>(index) != kept++)
            return testing::AssertionFailure() << "layout cell " << c << " kept out of order";
        if (c % stride != 0) continue;
        const PlainCell plain = PlainCellAt(o, static_cast<uint32_t>(c / nz), static_cast<uint32_t>(c % nz));
        if (plain.entries.empty() != (index < 0))
            return testing::AssertionFailure() << "layout cell " << c << (index < 0 ? " dropped" : " kept");
        if (index < 0) continue;
        const CollisionCell& cell = o.gridCells[static_cast<size_t>(index)];
        if (std::memcmp(&cell.boxMin, &plain.boxMin, sizeof(Vec3)) != 0 ||
            std::memcmp(&cell.boxMax, &plain.boxMax, sizeof(Vec3)) != 0)
            return testing::AssertionFailure() << "layout cell " << c << ": another box";
        if (std::vector<uint32_t>(cell.entries.begin(), cell.entries.end()) != plain.entries)
            return testing::AssertionFailure() << "layout cell " << c << ": another triangle list";
    }
    if (kept != o.gridCells.size())
        return testing::AssertionFailure() << kept << " cells in the lookup of " << o.gridCells.size();
    return testing::AssertionSuccess();
}

// The gathering queries as the collision rules state them, worked out afresh from the scene-object
// list, the character registry and each object's triangles and box, with nothing of the engine's
// grids or walks: the global grid of 5 x 5 cells over the colliding scene objects (their boxes
// within 10.0 of a cell), the cell of the query (searched from the last cell; for a point, its x and
// z within 0.1 of the cell), that cell's scene objects from the last entry, then every registered
// character from the last. Each object not skipped gets its in-box flag from the query's box test;
// when it passes, the first cell of the object's own grid (the plain layout, cells kept in layout
// order) that passes the same test gives the triangles, each of a material other than 0 taken when
// the query's exact test takes it. Objects the query does not reach keep their flags.
namespace rules {

enum class Query { Floor, Ceiling, Sphere, Segment };

struct Ask {
    Query query = Query::Floor;
    Vec3 a{0.0f, 0.0f, 0.0f};  // the point, the centre or the segment's start
    Vec3 b{0.0f, 0.0f, 0.0f};  // the segment's end
    float radius = 0.0f;
};

inline bool BoxTest(const Ask& q, const Vec3& bmin, const Vec3& bmax) {
    switch (q.query) {
        case Query::Floor:
        case Query::Ceiling:
            return q.a.x >= bmin.x - 0.1f && q.a.x <= bmax.x + 0.1f && q.a.z >= bmin.z - 0.1f &&
                   q.a.z <= bmax.z + 0.1f;
        case Query::Sphere: {
            const float r = q.radius + 0.1f;
            const Vec3 lo{q.a.x - r, q.a.y - r, q.a.z - r}, hi{q.a.x + r, q.a.y + r, q.a.z + r};
            return !(lo.x > bmax.x || bmin.x > hi.x || lo.y > bmax.y || bmin.y > hi.y || lo.z > bmax.z ||
                     bmin.z > hi.z);
        }
        case Query::Segment:
            return SegmentIntersectsBox(bmin, bmax, q.a, q.b);
    }
    return false;
}

// The exact test; the height of a vertical probe's hit in *height.
inline bool Takes(const Ask& q, const CollisionTriangle& t, float* height) {
    *height = 0.0f;
    switch (q.query) {
        case Query::Floor:
        case Query::Ceiling: {
            const bool floor = q.query == Query::Floor;
            const Vec3& p0 = t.v[floor ? 0 : 2];
            const Vec3& p1 = t.v[1];
            const Vec3& p2 = t.v[floor ? 2 : 0];
            auto edge = [&](const Vec3& a, const Vec3& b) {
                return (b.x - a.x) * (q.a.z - a.z) - (b.z - a.z) * (q.a.x - a.x);
            };
            if (!(floor ? t.normal.y > 0.25f : t.normal.y < 0.0f)) return false;
            if (!(edge(p0, p1) < 0.0f && edge(p1, p2) < 0.0f && edge(p2, p0) < 0.0f)) return false;
            Vec3 hit;
            if (!IntersectLinePlane(t.normal, t.v[0], q.a, Vec3{q.a.x, q.a.y - 100.0f, q.a.z}, hit))
                return false;
            *height = hit.y;
            return true;
        }
        case Query::Sphere:
            return SphereTouchesTriangle(t.v[0], t.v[1], t.v[2], q.a, q.radius);
        case Query::Segment: {
            Vec3 hit;
            return IntersectSegmentTriangle(t.v[0], t.v[1], t.v[2], q.a, q.b, hit);
        }
    }
    return false;
}

struct Hit {
    const NztCollideObject* object;
    float height;
    Vec3 v[3];
    Vec3 normal;
    uint32_t type;
    bool operator==(const Hit& o) const {
        // Bit for bit, so that a NaN equals itself.
        return object == o.object && std::memcmp(&height, &o.height, sizeof height) == 0 &&
               std::memcmp(v, o.v, sizeof v) == 0 && std::memcmp(&normal, &o.normal, sizeof normal) == 0 &&
               type == o.type;
    }
};

// What the query gathered, from the engine's hit buffer (heights only for the vertical probes,
// corners and normals only for the others).
inline std::vector<Hit> EngineHits(Query query) {
    const bool vertical = query == Query::Floor || query == Query::Ceiling;
    std::vector<Hit> hits;
    for (uint32_t i = 0; i < CollisionHitCount; ++i) {
        const CollisionHit& h = CollisionHits[i];
        Hit r{h.object, vertical ? h.height : 0.0f, {}, {}, h.hitType};
        if (!vertical) {
            std::copy(h.v, h.v + 3, r.v);
            r.normal = h.normal;
        }
        hits.push_back(r);
    }
    return hits;
}

// Every collision object a query may reach: the scene objects, then the characters.
inline std::vector<NztCollideObject*> AllObjects() {
    std::vector<NztCollideObject*> all;
    for (uint32_t i = 0; i < ScnObjectCount; ++i) all.push_back(ScnObjectList[i]);
    for (int32_t i = 0; i < EntityRegistry.count; ++i)
        all.push_back(static_cast<NztCollideObject*>(EntityRegistry.objects[i]));
    return all;
}

// Each object's grid as the rules lay it out over its box: the kept cells in layout order. Made
// again by the tests whenever an object moves or changes.
using Grids = std::unordered_map<const NztCollideObject*, std::vector<PlainCell>>;
inline Grids MakeGrids() {
    Grids grids;
    for (const NztCollideObject* o : AllObjects()) {
        std::vector<PlainCell>& kept = grids[o];
        const uint32_t nx = RuleCellsAlong(o->collisionBox[3] - o->collisionBox[0], *o);
        const uint32_t nz = RuleCellsAlong(o->collisionBox[5] - o->collisionBox[2], *o);
        for (uint32_t i = 0; i < nx; ++i) {
            for (uint32_t k = 0; k < nz; ++k) {
                PlainCell cell = PlainCellAt(*o, i, k, nx, nz);
                if (!cell.entries.empty()) kept.push_back(std::move(cell));
            }
        }
    }
    return grids;
}

// The object's triangles the query takes (after its box test set the flag).
inline void Visit(NztCollideObject* o, const Ask& q, const Grids& grids, std::vector<Hit>* hits) {
    const Vec3 lo{o->collisionBox[0], o->collisionBox[1], o->collisionBox[2]};
    const Vec3 hi{o->collisionBox[3], o->collisionBox[4], o->collisionBox[5]};
    o->inBox = BoxTest(q, lo, hi) ? 1 : 0;
    if (o->inBox == 0) return;
    for (const PlainCell& cell : grids.at(o)) {
        if (!BoxTest(q, cell.boxMin, cell.boxMax)) continue;
        for (const uint32_t index : cell.entries) {
            const CollisionTriangle& t = o->triangles[index];
            float height;
            if (t.material == HitTypeNone || !Takes(q, t, &height) || hits->size() >= CollisionHitCapacity)
                continue;
            // A vertical probe's hit is its object, height and type; the others' its triangle.
            if (q.query == Query::Floor || q.query == Query::Ceiling)
                hits->push_back({o, height, {}, {}, t.material});
            else
                hits->push_back({o, height, {t.v[0], t.v[1], t.v[2]}, t.normal, t.material});
        }
        return;
    }
}

// The gathering of q for a query without an asker: the hits in order; the in-box flags are left
// as the rules leave them.
inline std::vector<Hit> Gather(const Ask& q, const Grids& grids) {
    std::vector<Hit> hits;
    // The global grid.
    std::vector<NztScnObject*> colliding;
    for (uint32_t i = ScnObjectCount; i-- > 0;) {
        NztScnObject* o = ScnObjectList[i];
        if (o != nullptr && o->hasCollision != 0) colliding.push_back(o);
    }
    std::vector<NztScnObject*> cellObjects;
    if (!colliding.empty()) {
        Vec3 lo{colliding[0]->collisionBox[0], colliding[0]->collisionBox[1], colliding[0]->collisionBox[2]};
        Vec3 hi{colliding[0]->collisionBox[3], colliding[0]->collisionBox[4], colliding[0]->collisionBox[5]};
        for (const NztScnObject* o : colliding) {
            lo = {std::min(lo.x, o->collisionBox[0]), std::min(lo.y, o->collisionBox[1]),
                  std::min(lo.z, o->collisionBox[2])};
            hi = {std::max(hi.x, o->collisionBox[3]), std::max(hi.y, o->collisionBox[4]),
                  std::max(hi.z, o->collisionBox[5])};
        }
        const float dx = 0.2f * (hi.x - lo.x), dz = 0.2f * (hi.z - lo.z);
        struct Cell {
            Vec3 boxMin, boxMax;
        };
        std::vector<Cell> cells;
        float x0 = lo.x;
        for (int i = 0; i < 5; ++i, x0 += dx) {
            float z0 = lo.z;
            for (int k = 0; k < 5; ++k, z0 += dz) cells.push_back({{x0, lo.y, z0}, {x0 + dx, hi.y, z0 + dz}});
        }
        for (size_t c = cells.size(); c-- > 0;) {
            const Cell& cell = cells[c];
            const bool found = q.query == Query::Segment
                                   ? SegmentHitsBoxTopOrBottom(cell.boxMin, cell.boxMax, q.a, q.b)
                                   : q.a.x >= cell.boxMin.x - 0.1f && q.a.x <= cell.boxMax.x + 0.1f &&
                                         q.a.z >= cell.boxMin.z - 0.1f && q.a.z <= cell.boxMax.z + 0.1f;
            if (!found) continue;
            const float m = CollisionCellMargin;
            for (NztScnObject* o : colliding) {
                const bool apart =
                    cell.boxMin.x - m > o->collisionBox[3] || o->collisionBox[0] > cell.boxMax.x + m ||
                    cell.boxMin.y - m > o->collisionBox[4] || o->collisionBox[1] > cell.boxMax.y + m ||
                    cell.boxMin.z - m > o->collisionBox[5] || o->collisionBox[2] > cell.boxMax.z + m;
                if (!apart) cellObjects.push_back(o);
            }
            break;
        }
    }
    for (size_t i = cellObjects.size(); i-- > 0;) {
        if (cellObjects[i]->registered != 0) Visit(cellObjects[i], q, grids, &hits);
    }
    for (int32_t i = EntityRegistry.count; i-- > 0;) {
        auto* e = static_cast<NztCollideObject*>(EntityRegistry.objects[i]);
        if (e != nullptr && e->hasCollision != 0) Visit(e, q, grids, &hits);
    }
    return hits;
}

inline void RunEngine(const Ask& q) {
    switch (q.query) {
        case Query::Floor:
            CollideFloorProbe(q.a, nullptr);
            break;
        case Query::Ceiling:
            CollideCeilingProbe(q.a, nullptr);
            break;
        case Query::Sphere: {
            CollisionBody body;
            body.centre = q.a;
            body.radius = q.radius;
            CollideSphere(&body, nullptr);
            break;
        }
        case Query::Segment:
            CollideSegment(q.a, q.b, nullptr);
            break;
    }
}

// The engine's gathering of q against the rules': the same hits in the same order and the same
// in-box flag on every object. The flags are left as the engine set them.
inline testing::AssertionResult EngineFollowsTheRules(const Ask& q, const Grids& grids) {
    const std::vector<NztCollideObject*> all = AllObjects();
    std::vector<uint32_t> before, engine;
    for (const NztCollideObject* o : all) before.push_back(o->inBox);
    RunEngine(q);
    const std::vector<Hit> got = EngineHits(q.query);
    for (NztCollideObject* o : all) {
        engine.push_back(o->inBox);
        o->inBox = before[engine.size() - 1];
    }
    const std::vector<Hit> want = Gather(q, grids);
    testing::AssertionResult result = testing::AssertionSuccess();
    if (got.size() != want.size()) {
        result = testing::AssertionFailure() << got.size() << " hits where the rules give " << want.size();
    } else {
        for (size_t i = 0; i < got.size(); ++i) {
            if (!(got[i] == want[i])) {
                auto show = [](const Hit& h) {
                    std::ostringstream text;
                    text << h.object << " type " << h.type << " height " << h.height << " corner " << h.v[0].x
                         << " " << h.v[0].y << " " << h.v[0].z;
                    return text.str();
                };
                result = testing::AssertionFailure() << "hit " << i << " is " << show(got[i])
                                                     << " where the rules give " << show(want[i]);
                break;
            }
        }
    }
    for (size_t i = 0; i < all.size() && result; ++i) {
        if (all[i]->inBox != engine[i])
            result = testing::AssertionFailure() << "object " << i << " has in-box flag " << engine[i]
                                                 << " where the rules give " << all[i]->inBox;
    }
    for (size_t i = 0; i < all.size(); ++i) all[i]->inBox = engine[i];
    return result;
}

}  // namespace rules
