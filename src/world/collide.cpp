#include "world/collide.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/paths.h"
#include "model/mesh.h"
#include "world/objtype.h"
#include "world/base3d.h"
#include "world/posing.h"
#include "world/charlinks.h"
#include "world/collquery.h"

uint32_t CollideGridCellCount = 0;
std::vector<CollideGridCell> CollideGridCells;
int32_t CurrentCollideCell = -1;

namespace {

// Most cells an object grid has along one axis. A mesh with far-flung vertices would otherwise ask
// for an unbounded grid; larger cells only give a query more triangles to test, never fewer.
constexpr double kMaxCellsPerAxis = 256.0;
// How far outside a cell's x and z ranges a point still belongs to the cell.
constexpr float kCellTolerance = 0.1f;

Vec3 Lower(const float box[6]) {
    return {box[0], box[1], box[2]};
}
Vec3 Upper(const float box[6]) {
    return {box[3], box[4], box[5]};
}
Vec3 Grown(const Vec3& v, float d) {
    return {v.x + d, v.y + d, v.z + d};
}

// Number of cells along one axis of an object grid: the span in cells of size s, rounded, at
// least 1.
uint32_t CellsAlong(float span, float s) {
    const double cells = std::min(std::max(1.0, double(span) / double(s)), kMaxCellsPerAxis);
    return static_cast<uint32_t>(RoundToInt(cells));
}

// Poses the collision copy into the world vertices; false when not one of them changed.
bool PoseCollisionCopy(NztCollideObject& object) {
    NztMesh* mesh = object.mesh;
    SkinCollisionVertices(mesh);
    const std::vector<Vec3>& posed = mesh->PosedCollisionVertices;
    const size_t n = std::min(object.worldVertices.size(), posed.size());
    const bool same = n == 0 || std::memcmp(posed.data(), object.worldVertices.data(), n * sizeof(Vec3)) == 0;
    if (!same) std::copy(posed.begin(), posed.begin() + static_cast<std::ptrdiff_t>(n), object.worldVertices.begin());
    return !same;
}

float GridCellSize(const NztMesh* mesh) {
    return std::max(1.0f, 2.5f * (mesh != nullptr ? mesh->SizeClass : 1.0f));
}

// The shape the grid's lists depend on: the rest collision vertices, the turn they are placed
// with, the cell size. A rigid mesh (not skinned for collision, no vertex wave) keeps its shape
// while only its position changes.
NztCollideObject::GridShape CurrentGridShape(const NztCollideObject& o) {
    NztCollideObject::GridShape shape;
    const NztMesh* mesh = o.mesh;
    shape.valid = true;
    shape.rigid = !(mesh->CollisionSkinned != 0 && mesh->SkinActive != 0) && mesh->VertexWaveSpread == 0.0f &&
                  mesh->Matrix != nullptr;
    shape.restVertices = mesh->CollisionVertices.data();
    shape.restCount = mesh->CollisionVertices.size();
    shape.triangleIndices = mesh->CollisionTriangles.data();
    shape.triangleCount = o.triangles.size();
    if (mesh->Matrix != nullptr) std::copy(mesh->Matrix, mesh->Matrix + 9, shape.matrix);
    shape.cellSize = GridCellSize(mesh);
    return shape;
}

// The same collision mesh, triangles and cell size: equal world vertices give the same grid.
bool SameSource(const NztCollideObject::GridShape& a, const NztCollideObject::GridShape& b) {
    return a.valid && b.valid && a.restVertices == b.restVertices && a.restCount == b.restCount &&
           a.triangleIndices == b.triangleIndices && a.triangleCount == b.triangleCount && a.cellSize == b.cellSize;
}

// Also rigid and turned alike: world vertices that differ only by a move give the same lists.
bool SameShape(const NztCollideObject::GridShape& a, const NztCollideObject::GridShape& b) {
    return SameSource(a, b) && a.rigid && b.rigid && std::memcmp(a.matrix, b.matrix, sizeof a.matrix) == 0;
}

// min and max of three, passing over a NaN as the triangle-box test does.
float LowOf3(float a, float b, float c) {
    float m = a;
    if (b < m || m != m) m = b;
    if (c < m || m != m) m = c;
    return m;
}
float HighOf3(float a, float b, float c) {
    float m = a;
    if (b > m || m != m) m = b;
    if (c > m || m != m) m = c;
    return m;
}

// The triangle lists of the grid last made for a rigid shape, kept so that the next object of that
// shape placed elsewhere (the many copies of one prop in a level) takes them instead of testing
// every triangle against every cell again. They are what a move keeps (UpdateCollision): world
// vertices that differ only by a move give the same lists. The shape is kept by value, so that a
// freed mesh whose memory is reused is never taken for it.
struct SharedGrid {
    std::vector<Vec3> rest;         // the rest collision vertices
    std::vector<uint32_t> indices;  // the collision triangles, three vertex indices each
    size_t worldCount = 0;          // posed vertices the object keeps
    size_t triangleCount = 0;
    float matrix[9] = {};
    float cellSize = 0.0f;
    uint32_t nx = 0, nz = 0;
    std::vector<int32_t> lookup;
    std::vector<uint32_t> entries;
    std::vector<uint32_t> cellStart, cellCount;  // each kept cell's run of entries
};

// A few shapes are kept, the last used first.
constexpr size_t kSharedGridLimit = 8;
thread_local std::vector<SharedGrid> SharedGrids;

bool Finite(const float* f, size_t n) {
    return std::all_of(f, f + n, [](float v) { return std::isfinite(v); });
}

// Whether the object, posed with this shape over its current box, may take shared lists at all:
// rigid, every triangle corner one of its posed vertices (a missing one stays at the origin
// whatever the move), its box and turn finite (a NaN or an overflow gives no move to carry the
// lists along).
bool Shareable(const NztCollideObject& o, const NztCollideObject::GridShape& shape) {
    const NztMesh* mesh = o.mesh;
    return shape.rigid && shape.triangleCount != 0 && mesh != nullptr && !mesh->CollisionVertices.empty() &&
           o.worldVertices.size() == mesh->CollisionVertices.size() &&
           mesh->PosedCollisionVertices.size() == mesh->CollisionVertices.size() &&
           mesh->CollisionTriangles.size() >= 3 * shape.triangleCount && Finite(o.collisionBox, 6) &&
           Finite(shape.matrix, 9);
}

bool SameSharedShape(const SharedGrid& g, const NztCollideObject& o, const NztCollideObject::GridShape& shape,
                     uint32_t nx, uint32_t nz) {
    const std::vector<Vec3>& rest = o.mesh->CollisionVertices;
    const uint32_t* indices = o.mesh->CollisionTriangles.data();
    return g.nx == nx && g.nz == nz && g.cellSize == shape.cellSize &&
           g.worldCount == o.worldVertices.size() && g.triangleCount == shape.triangleCount &&
           std::memcmp(g.matrix, shape.matrix, sizeof g.matrix) == 0 && g.rest.size() == rest.size() &&
           std::memcmp(g.rest.data(), rest.data(), rest.size() * sizeof(Vec3)) == 0 &&
           std::memcmp(g.indices.data(), indices, g.indices.size() * sizeof(uint32_t)) == 0;
}

SharedGrid* FindSharedGrid(const NztCollideObject& o, const NztCollideObject::GridShape& shape, uint32_t nx,
                           uint32_t nz) {
    for (size_t i = 0; i < SharedGrids.size(); ++i) {
        if (!SameSharedShape(SharedGrids[i], o, shape, nx, nz)) continue;
        std::rotate(SharedGrids.begin(), SharedGrids.begin() + static_cast<std::ptrdiff_t>(i),
                    SharedGrids.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        return &SharedGrids.front();
    }
    return nullptr;
}

// Keeps the object's fresh lists for the shape (its rest vertices must be finite too).
void KeepSharedGrid(const NztCollideObject& o, const NztCollideObject::GridShape& shape) {
    const NztMesh* mesh = o.mesh;
    const std::vector<Vec3>& rest = mesh->CollisionVertices;
    if (!Finite(reinterpret_cast<const float*>(rest.data()), rest.size() * 3)) return;
    SharedGrid g;
    g.indices.assign(mesh->CollisionTriangles.begin(),
                     mesh->CollisionTriangles.begin() + static_cast<std::ptrdiff_t>(3 * shape.triangleCount));
    if (*std::max_element(g.indices.begin(), g.indices.end()) >= rest.size()) return;
    g.rest = rest;
    g.worldCount = o.worldVertices.size();
    g.triangleCount = shape.triangleCount;
    std::copy(shape.matrix, shape.matrix + 9, g.matrix);
    g.cellSize = shape.cellSize;
    g.nx = o.cellsPerAxis[0];
    g.nz = o.cellsPerAxis[2];
    g.lookup = o.gridLookup;
    g.entries = o.gridEntries;
    for (const CollisionCell& cell : o.gridCells) {
        g.cellStart.push_back(static_cast<uint32_t>(cell.entries.first - o.gridEntries.data()));
        g.cellCount.push_back(static_cast<uint32_t>(cell.entries.count));
    }
    if (SharedGrids.size() >= kSharedGridLimit) SharedGrids.pop_back();
    SharedGrids.insert(SharedGrids.begin(), std::move(g));
}

// Gives the object the lists kept for its shape, with the cells laid out over its own box as
// BuildGrid lays them out; false when none are kept (the caller builds).
bool TakeSharedGrid(NztCollideObject& o, const NztCollideObject::GridShape& shape) {
    if (!Shareable(o, shape)) return false;
    const Vec3 lo = Lower(o.collisionBox), hi = Upper(o.collisionBox);
    const uint32_t nx = CellsAlong(hi.x - lo.x, shape.cellSize);
    const uint32_t nz = CellsAlong(hi.z - lo.z, shape.cellSize);
    const SharedGrid* shared = FindSharedGrid(o, shape, nx, nz);
    if (shared == nullptr) return false;
    o.FreeGrid();
    o.cellsPerAxis[0] = nx;
    o.cellsPerAxis[1] = 1;
    o.cellsPerAxis[2] = nz;
    o.gridLookup = shared->lookup;
    o.gridEntries = shared->entries;
    o.gridCells.resize(shared->cellStart.size());
    for (size_t c = 0; c < o.gridCells.size(); ++c)
        o.gridCells[c].entries = {o.gridEntries.data() + shared->cellStart[c], shared->cellCount[c]};
    o.gridCellCount = static_cast<uint32_t>(o.gridCells.size());
    o.PlaceGridCells();
    return true;
}

}  // namespace

NztCollideObject::~NztCollideObject() {
    RemoveFromCollideGrid(this);
    ForgetCharacterBox(this);
}

void NztCollideObject::CopyCollision(NztMesh* source) {
    if (source == nullptr) return;
    collisionVertexCount = source->CollisionVertexCount;
    collisionTriangleCount =
        static_cast<int32_t>(std::min<uint32_t>(source->CollisionTriangleCount, INT32_MAX));
    gridShape.valid = false;  // the triangles are made again by the next update
    if (collisionTriangleCount > 0) {
        hasCollision = 1;
        worldVertices.assign(collisionVertexCount, Vec3{0.0f, 0.0f, 0.0f});
        triangles.assign(static_cast<size_t>(collisionTriangleCount), CollisionTriangle{});
    }
}

void NztCollideObject::ReleaseCollision() {
    for (uint32_t i = EntityCount; i-- > 0;) {
        if (NztCollideObject* e = CharacterObject(EntityList[i])) e->ClearContactsWith(this);
    }
    ReleaseData();
    worldVertices = {};
    triangles = {};
    collisionVertexCount = 0;
    collisionTriangleCount = 0;
    hasCollision = 0;
    FreeGrid();
    // The global grid is rebuilt only when the set of scene objects changes; until then it must
    // not keep pointing at an object that is going away.
    RemoveFromCollideGrid(this);
}

void NztCollideObject::UpdateCollision() {
    if (mesh == nullptr) return;
    const bool changed = PoseCollisionCopy(*this);
    const GridShape shape = CurrentGridShape(*this);
    ComputeCollisionBounds(mesh);
    // Nothing moved since the grid was made: box, triangles and grid stand.
    if (!changed && SameSource(shape, gridShape) &&
        std::equal(collisionBox, collisionBox + 6, mesh->CollisionBounds)) {
        return;
    }
    std::copy(mesh->CollisionBounds, mesh->CollisionBounds + 6, collisionBox);
    NoteCharacterBoxMoved(this);
    for (uint32_t i = 0; i < triangles.size(); ++i) UpdateTriangle(i);
    // A rigid object that only moved keeps its lists; the cells are laid out again over the new
    // box as a rebuild would lay them out. A rebuild happens when the shape, the turn or the number
    // of cells changes.
    if (SameShape(shape, gridShape) && !gridLookup.empty()) {
        const Vec3 lo = Lower(collisionBox), hi = Upper(collisionBox);
        if (CellsAlong(hi.x - lo.x, shape.cellSize) == cellsPerAxis[0] &&
            CellsAlong(hi.z - lo.z, shape.cellSize) == cellsPerAxis[2]) {
            PlaceGridCells();
            return;
        }
    }
    if (!TakeSharedGrid(*this, shape)) {
        BuildGrid();
        if (Shareable(*this, shape)) KeepSharedGrid(*this, shape);
    }
    gridShape = shape;
}

void NztCollideObject::PlaceGridCells() {
    const Vec3 lo = Lower(collisionBox);
    const Vec3 hi = Upper(collisionBox);
    const uint32_t nx = cellsPerAxis[0], nz = cellsPerAxis[2];
    const float dx = (hi.x - lo.x) / static_cast<float>(nx);
    const float dz = (hi.z - lo.z) / static_cast<float>(nz);
    gridOrigin = lo;
    gridStep[0] = dx;
    gridStep[1] = dz;
    float x0 = lo.x;
    for (uint32_t i = 0; i < nx; ++i, x0 += dx) {
        float z0 = lo.z;
        for (uint32_t k = 0; k < nz; ++k, z0 += dz) {
            const int32_t index = gridLookup[static_cast<size_t>(i) * nz + k];
            if (index < 0 || static_cast<size_t>(index) >= gridCells.size()) continue;
            CollisionCell& cell = gridCells[static_cast<size_t>(index)];
            cell.boxMin = {x0, lo.y, z0};
            cell.boxMax = {x0 + dx, hi.y, z0 + dz};
        }
    }
}

void NztCollideObject::RefreshTriangles() {
    if (mesh == nullptr) return;
    // The grid stays as it was, so it no longer stands for these triangles.
    if (PoseCollisionCopy(*this)) gridShape.valid = false;
    for (uint32_t i = 0; i < triangles.size(); ++i) UpdateTriangle(i);
}

void NztCollideObject::UpdateTriangle(uint32_t index) {
    if (mesh == nullptr || index >= triangles.size()) return;
    const std::vector<uint32_t>& indices = mesh->CollisionTriangles;
    if (3ull * index + 2 >= indices.size()) return;
    CollisionTriangle& t = triangles[index];
    for (int k = 0; k < 3; ++k) {
        const uint32_t v = indices[3ull * index + k];
        t.v[k] = v < worldVertices.size() ? worldVertices[v] : Vec3{0.0f, 0.0f, 0.0f};
    }
    const std::vector<uint32_t>& words = mesh->CollisionTriangleWords;
    t.material = index < words.size() ? words[index] : HitTypeNone;
    const Vec3 n = Cross(t.v[0] - t.v[1], t.v[0] - t.v[2]);
    const float length = std::sqrt(Dot(n, n));
    t.normal = length != 0.0f ? Vec3{n.x / length, n.y / length, n.z / length} : n;
}

void NztCollideObject::BuildGrid() {
    FreeGrid();
    const float s = GridCellSize(mesh);
    const Vec3 lo = Lower(collisionBox);
    const Vec3 hi = Upper(collisionBox);
    const uint32_t nx = CellsAlong(hi.x - lo.x, s);
    const uint32_t nz = CellsAlong(hi.z - lo.z, s);
    cellsPerAxis[0] = nx;
    cellsPerAxis[1] = 1;
    cellsPerAxis[2] = nz;
    const float dx = (hi.x - lo.x) / static_cast<float>(nx);
    const float dz = (hi.z - lo.z) / static_cast<float>(nz);
    gridOrigin = lo;
    gridStep[0] = dx;
    gridStep[1] = dz;
    gridLookup.assign(static_cast<size_t>(nx) * nz, -1);

    // Each cell keeps the triangles that TriangleIntersectsBox finds in its box grown by the
    // margin. That test turns a triangle down first when its range on an axis misses the box's,
    // so only the cells a triangle's x and z ranges reach are tested. The cells' test extents, as
    // the cells are laid out (x0 and z0 summed cell by cell), rise with the index when the steps
    // are numbers: then a triangle's reach is found by search.
    struct Scratch {
        std::vector<float> xLo, xHi, xAt, zLo, zHi;
        // reach: i0, i1, k0, k1 of each triangle
        std::vector<uint32_t> columnStart, columnTriangles, reach;
        std::vector<uint32_t> cellStart, cellCount, cellEntries;
        std::vector<CollisionCell> cells;
        std::vector<std::vector<uint32_t>> lists;
    };
    static thread_local Scratch w;
    w.xLo.resize(nx);
    w.xHi.resize(nx);
    w.xAt.resize(nx);
    w.zLo.resize(nz);
    w.zHi.resize(nz);
    {
        float x0 = lo.x;
        for (uint32_t i = 0; i < nx; ++i, x0 += dx) {
            w.xAt[i] = x0;
            w.xLo[i] = x0 - CollisionCellMargin;
            w.xHi[i] = (x0 + dx) + CollisionCellMargin;
        }
        float z0 = lo.z;
        for (uint32_t k = 0; k < nz; ++k, z0 += dz) {
            w.zLo[k] = z0 + -CollisionCellMargin;
            w.zHi[k] = (z0 + dz) + CollisionCellMargin;
        }
    }
    auto rising = [](const std::vector<float>& a, const std::vector<float>& b, float step) {
        return step >= 0.0f && std::is_sorted(a.begin(), a.end()) && std::is_sorted(b.begin(), b.end()) &&
               std::all_of(a.begin(), a.end(), [](float f) { return f == f; }) &&
               std::all_of(b.begin(), b.end(), [](float f) { return f == f; });
    };
    const bool orderedX = rising(w.xLo, w.xHi, dx);
    const bool orderedZ = rising(w.zLo, w.zHi, dz);

    // The columns [i0, i1) and rows [k0, k1) each triangle reaches, and the triangles of each column
    // in triangle order.
    const uint32_t T = static_cast<uint32_t>(triangles.size());
    w.reach.resize(size_t(T) * 4);
    w.columnStart.assign(size_t(nx) + 1, 0);
    for (uint32_t t = 0; t < T; ++t) {
        const CollisionTriangle& tri = triangles[t];
        uint32_t* r = &w.reach[size_t(t) * 4];
        const float tx0 = LowOf3(tri.v[0].x, tri.v[1].x, tri.v[2].x);
        const float tx1 = HighOf3(tri.v[0].x, tri.v[1].x, tri.v[2].x);
        const float tz0 = LowOf3(tri.v[0].z, tri.v[1].z, tri.v[2].z);
        const float tz1 = HighOf3(tri.v[0].z, tri.v[1].z, tri.v[2].z);
        const bool plainX = tri.v[0].x == tri.v[0].x && tri.v[1].x == tri.v[1].x && tri.v[2].x == tri.v[2].x;
        r[0] = 0;
        r[1] = nx;
        if (orderedX && plainX) {
            r[0] = static_cast<uint32_t>(std::lower_bound(w.xHi.begin(), w.xHi.end(), tx0) - w.xHi.begin());
            r[1] = static_cast<uint32_t>(std::upper_bound(w.xLo.begin(), w.xLo.end(), tx1) - w.xLo.begin());
        }
        r[2] = 0;
        r[3] = nz;
        if (orderedZ && tz0 == tz0 && tz1 == tz1) {
            r[2] = static_cast<uint32_t>(std::lower_bound(w.zHi.begin(), w.zHi.end(), tz0) - w.zHi.begin());
            r[3] = static_cast<uint32_t>(std::upper_bound(w.zLo.begin(), w.zLo.end(), tz1) - w.zLo.begin());
        }
        for (uint32_t i = r[0]; i < r[1]; ++i) ++w.columnStart[i + 1];
    }
    for (uint32_t i = 0; i < nx; ++i) w.columnStart[i + 1] += w.columnStart[i];
    w.columnTriangles.resize(w.columnStart[nx]);
    {
        std::vector<uint32_t>& fill = w.cellStart;  // the next free place of each column, for now
        fill.assign(w.columnStart.begin(), w.columnStart.end() - 1);
        for (uint32_t t = 0; t < T; ++t) {
            const uint32_t* r = &w.reach[size_t(t) * 4];
            for (uint32_t i = r[0]; i < r[1]; ++i) w.columnTriangles[fill[i]++] = t;
        }
    }

    if (w.lists.size() < nz) w.lists.resize(nz);
    w.cellStart.clear();
    w.cellCount.clear();
    w.cellEntries.clear();
    w.cells.clear();
    for (uint32_t i = 0; i < nx; ++i) {
        const float x0 = w.xAt[i];
        for (uint32_t k = 0; k < nz; ++k) w.lists[k].clear();
        for (uint32_t c = w.columnStart[i]; c < w.columnStart[i + 1]; ++c) {
            const uint32_t t = w.columnTriangles[c];
            const CollisionTriangle& tri = triangles[t];
            const uint32_t* r = &w.reach[size_t(t) * 4];
            for (uint32_t k = r[2]; k < r[3]; ++k) {
                const Vec3 testMin{w.xLo[i], lo.y - CollisionCellMargin, w.zLo[k]};
                const Vec3 testMax{w.xHi[i], hi.y + CollisionCellMargin, w.zHi[k]};
                if (TriangleIntersectsBox(testMin, testMax, tri.v[0], tri.v[1], tri.v[2]))
                    w.lists[k].push_back(t);
            }
        }
        float z0 = lo.z;
        for (uint32_t k = 0; k < nz; ++k, z0 += dz) {
            const std::vector<uint32_t>& list = w.lists[k];
            if (list.empty()) continue;
            CollisionCell cell;
            cell.boxMin = {x0, lo.y, z0};
            cell.boxMax = {x0 + dx, hi.y, z0 + dz};
            gridLookup[static_cast<size_t>(i) * nz + k] = static_cast<int32_t>(w.cells.size());
            w.cells.push_back(cell);
            w.cellStart.push_back(static_cast<uint32_t>(w.cellEntries.size()));
            w.cellCount.push_back(static_cast<uint32_t>(list.size()));
            w.cellEntries.insert(w.cellEntries.end(), list.begin(), list.end());
        }
    }
    gridEntries.assign(w.cellEntries.begin(), w.cellEntries.end());
    for (size_t c = 0; c < w.cells.size(); ++c)
        w.cells[c].entries = {gridEntries.data() + w.cellStart[c], w.cellCount[c]};
    gridCells.assign(w.cells.begin(), w.cells.end());
    gridCellCount = static_cast<uint32_t>(gridCells.size());
}

void NztCollideObject::FreeGrid() {
    gridShape.valid = false;
    gridCells = {};
    gridEntries = {};
    gridLookup = {};
    gridCellCount = 0;
}

uint32_t BuildCollideGrid() {
    CollideGridCellCount = 0;
    bool any = false;
    Vec3 lo{0.0f, 0.0f, 0.0f}, hi{0.0f, 0.0f, 0.0f};
    for (uint32_t i = ScnObjectCount; i-- > 0;) {
        const NztScnObject* o = ScnObjectList[i];
        if (o == nullptr || o->hasCollision == 0) continue;
        const Vec3 bmin = Lower(o->collisionBox), bmax = Upper(o->collisionBox);
        if (!any) {
            lo = bmin;
            hi = bmax;
            any = true;
            continue;
        }
        lo = {std::min(lo.x, bmin.x), std::min(lo.y, bmin.y), std::min(lo.z, bmin.z)};
        hi = {std::max(hi.x, bmax.x), std::max(hi.y, bmax.y), std::max(hi.z, bmax.z)};
    }
    if (!any) return 0;

    const float dx = 0.2f * (hi.x - lo.x);
    const float dz = 0.2f * (hi.z - lo.z);
    CollideGridCells.assign(CollideGridCellCountFull, CollideGridCell{});
    uint32_t c = 0;
    float x0 = lo.x;
    for (uint32_t i = 0; i < CollideGridSide; ++i, x0 += dx) {
        float z0 = lo.z;
        for (uint32_t k = 0; k < CollideGridSide; ++k, z0 += dz, ++c) {
            CollideGridCell& cell = CollideGridCells[c];
            cell.boxMin = {x0, lo.y, z0};
            cell.boxMax = {x0 + dx, hi.y, z0 + dz};
            const Vec3 testMin = Grown(cell.boxMin, -CollisionCellMargin);
            const Vec3 testMax = Grown(cell.boxMax, CollisionCellMargin);
            for (uint32_t j = ScnObjectCount; j-- > 0;) {
                NztScnObject* o = ScnObjectList[j];
                if (o == nullptr || o->hasCollision == 0) continue;
                const Vec3 bmin = Lower(o->collisionBox), bmax = Upper(o->collisionBox);
                const bool apart = testMin.x > bmax.x || bmin.x > testMax.x || testMin.y > bmax.y ||
                                   bmin.y > testMax.y || testMin.z > bmax.z || bmin.z > testMax.z;
                if (!apart) cell.entries.push_back(o);
            }
            cell.entries.shrink_to_fit();
        }
    }
    CollideGridCellCount = CollideGridCellCountFull;
    return CollideGridCellCount;
}

void FreeCollideGrid() {
    CollideGridCells = {};
    CollideGridCellCount = 0;
}

void RemoveFromCollideGrid(const NztCollideObject* object) {
    for (CollideGridCell& cell : CollideGridCells) {
        std::erase_if(cell.entries, [object](const NztScnObject* o) { return o == object; });
    }
}

int32_t FindCollideCellAt(const Vec3& point) {
    CurrentCollideCell = -1;
    for (uint32_t i = std::min<size_t>(CollideGridCellCount, CollideGridCells.size()); i-- > 0;) {
        const CollideGridCell& cell = CollideGridCells[i];
        if (point.x >= cell.boxMin.x - kCellTolerance && point.x <= cell.boxMax.x + kCellTolerance &&
            point.z >= cell.boxMin.z - kCellTolerance && point.z <= cell.boxMax.z + kCellTolerance) {
            CurrentCollideCell = static_cast<int32_t>(i);
            break;
        }
    }
    return CurrentCollideCell;
}

int32_t FindCollideCellOnSegment(const Vec3& a, const Vec3& b) {
    CurrentCollideCell = -1;
    for (uint32_t i = std::min<size_t>(CollideGridCellCount, CollideGridCells.size()); i-- > 0;) {
        const CollideGridCell& cell = CollideGridCells[i];
        if (SegmentHitsBoxTopOrBottom(cell.boxMin, cell.boxMax, a, b)) {
            CurrentCollideCell = static_cast<int32_t>(i);
            break;
        }
    }
    return CurrentCollideCell;
}

