// A small collision world for the tests: scene objects and characters made from triangle lists,
// published in the owning scene-object list and the character registry, with the global grid
// built over them. Everything is put back on destruction.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "character/entity.h"
#include "model/mesh.h"
#include "world/base3d.h"
#include "world/collide.h"
#include "world/objtype.h"
#include "world/registry.h"

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
inline PlainCell PlainCellAt(const NztCollideObject& o, uint32_t i, uint32_t k) {
    const uint32_t nx = o.cellsPerAxis[0], nz = o.cellsPerAxis[2];
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

// The object's grid against the plain layout: the same cells kept, in layout order, with the same
// boxes bit for bit and the same lists. With a stride, only every stride-th layout cell is looked at
// (a large ground has tens of thousands).
inline testing::AssertionResult GridIsThePlainLayout(const NztCollideObject& o, uint32_t stride = 1) {
    const uint32_t nx = o.cellsPerAxis[0], nz = o.cellsPerAxis[2];
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
