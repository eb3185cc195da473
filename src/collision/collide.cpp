#include "collision/collide.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "collision/collquery.h"
#include "core/paths.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/charlinks.h"
#include "objects/objlookup.h"
#include "objects/objtype.h"
#include "objects/posing.h"

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

// What a rigid object's grid lists may be at another place. Moving the object (or placing a copy
// of its shape elsewhere) moves its triangles and its cell borders alike, but both are rounded
// afresh there, so a triangle that lies within rounding of a cell's test border (the cell grown by
// the margin) may fall on the other side of it. For every cell of the layout the candidates are
// the triangles that touch the cell grown by the margin and a slack, in triangle order; each is
// marked sure when it is listed now and also touches the cell grown by the margin less the slack.
// At the new place a sure candidate stays listed and every other one is tested again, which gives
// the lists of a build there as long as rounding moves nothing by as much as the slack. The slack
// is a hundred times that rounding (SlackNeeded); triangles whose test the rounding may swing
// further (slivers) or that are not made of numbers are always tested again.
struct GridCandidates {
    uint32_t nx = 0, nz = 0;
    double slack = 0.0;
    std::vector<uint32_t> start;    // per layout cell: its first entry; one more at the end
    std::vector<uint32_t> entries;  // triangle indices with the flags below
    // The entries tested again, and the layout cell of each.
    std::vector<uint32_t> unsure, unsureCell;
};
constexpr uint32_t kUnsure = 0x80000000u;  // tested again at each place
constexpr uint32_t kListed = 0x40000000u;  // an unsure one listed at the last place
constexpr uint32_t kTriangle = kListed - 1;

// The coordinates' size a grid's rounding is reckoned from: its box and margin.
double GridMagnitude(const float box[6]) {
    double m = 0.0;
    for (int k = 0; k < 6; ++k) m = std::max(m, std::fabs(double(box[k])));
    return m + 2.0 * CollisionCellMargin;
}
// The slack a grid of so many cells along x and z needs at magnitude m: a hundred times what
// rounding may move a corner or a cell border by (a float step of the coordinates for a corner,
// one more for each cell border summed up along an axis). Candidates are made with the slack of
// twice their magnitude, so they stand for places out to twice as far.
double SlackNeeded(double m, uint32_t nx, uint32_t nz) {
    return 1e-5 * std::max(m, 100.0) * (1.0 + double(nx + nz) / 32.0) + 1e-4;
}
constexpr double kSlackReach = 2.0;

// Smallest sine of a corner of a triangle whose test against a box is not swung by rounding more
// than the slack allows for.
constexpr double kSteadySine = 0.02;
bool Steady(const CollisionTriangle& t) {
    for (const Vec3& v : t.v)
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) return false;
    auto d = [](const Vec3& a, const Vec3& b) {
        const double x = double(a.x) - b.x, y = double(a.y) - b.y, z = double(a.z) - b.z;
        return std::array<double, 3>{x, y, z};
    };
    const auto ab = d(t.v[1], t.v[0]), ac = d(t.v[2], t.v[0]), bc = d(t.v[2], t.v[1]);
    const double cx = ab[1] * ac[2] - ab[2] * ac[1], cy = ab[2] * ac[0] - ab[0] * ac[2],
                 cz = ab[0] * ac[1] - ab[1] * ac[0];
    const double area2 = std::sqrt(cx * cx + cy * cy + cz * cz);
    auto len = [](const std::array<double, 3>& e) {
        return std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
    };
    const double lab = len(ab), lac = len(ac), lbc = len(bc);
    return area2 >= kSteadySine * lab * lac && area2 >= kSteadySine * lab * lbc &&
           area2 >= kSteadySine * lac * lbc;
}

// The x (or z) borders of the layout's cells as BuildGrid sums them.
void CellCorners(float lo, float step, uint32_t n, std::vector<float>* at) {
    at->resize(n);
    float x0 = lo;
    for (uint32_t i = 0; i < n; ++i, x0 += step) (*at)[i] = x0;
}

// An nx by nz layout of cells over a box: its corners and the cells' steps. Every grid laid over a
// box (built, moved, carried or shared) takes them from here, so that all round alike.
struct CellLayout {
    Vec3 lo, hi;
    float dx, dz;
};
// True when every triangle has a corner (here: all three, each a number) within every cell's test
// box: x in [xLo[i], xHi[i]], y in [yLo, yHi], z in [zLo[k], zHi[k]], for every i and k; false for
// an object without triangles.
bool CornersInsideEveryTestBox(const std::vector<CollisionTriangle>& triangles, const std::vector<float>& xLo,
                               const std::vector<float>& xHi, const std::vector<float>& zLo,
                               const std::vector<float>& zHi, float yLo, float yHi) {
    if (triangles.empty()) return false;
    Vec3 lo = triangles[0].v[0], hi = lo;
    for (const CollisionTriangle& tri : triangles) {
        for (const Vec3& v : tri.v) {
            if (!(v.x == v.x && v.y == v.y && v.z == v.z)) return false;
            lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
            hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
        }
    }
    if (!(yLo <= lo.y && hi.y <= yHi)) return false;
    for (size_t i = 0; i < xLo.size(); ++i)
        if (!(xLo[i] <= lo.x && hi.x <= xHi[i])) return false;
    for (size_t k = 0; k < zLo.size(); ++k)
        if (!(zLo[k] <= lo.z && hi.z <= zHi[k])) return false;
    return true;
}

CellLayout LayCells(const float box[6], uint32_t nx, uint32_t nz) {
    const Vec3 lo = Lower(box), hi = Upper(box);
    return {lo, hi, (hi.x - lo.x) / static_cast<float>(nx), (hi.z - lo.z) / static_cast<float>(nz)};
}

// The candidates of the grid just built for the object where it stands; false when its lists
// cannot be carried to another place (a triangle corner that is not one of its posed vertices
// stays at the origin whatever the move, a box that is not finite).
bool MakeCandidates(const NztCollideObject& o, GridCandidates* c) {
    const uint32_t T = static_cast<uint32_t>(o.triangles.size());
    const std::vector<uint32_t>& indices = o.mesh->CollisionTriangles;
    if (T == 0 || T > kTriangle || indices.size() < 3 * size_t(T)) return false;
    for (size_t i = 0; i < 3 * size_t(T); ++i)
        if (indices[i] >= o.worldVertices.size()) return false;
    const double magnitude = GridMagnitude(o.collisionBox);
    const uint32_t nx = o.cellsPerAxis[0], nz = o.cellsPerAxis[2];
    const double slack = SlackNeeded(kSlackReach * magnitude, nx, nz);
    if (!std::isfinite(magnitude) || !std::isfinite(slack) || slack >= 0.5 * CollisionCellMargin)
        return false;
    if (o.gridLookup.size() != size_t(nx) * nz) return false;
    const auto [lo, hi, dx, dz] = LayCells(o.collisionBox, nx, nz);
    std::vector<float> xAt, zAt;
    CellCorners(lo.x, dx, nx, &xAt);
    CellCorners(lo.z, dz, nz, &zAt);
    const float wide = static_cast<float>(CollisionCellMargin + slack);
    const float narrow = static_cast<float>(CollisionCellMargin - slack);
    c->nx = nx;
    c->nz = nz;
    c->slack = slack;
    c->start.assign(size_t(nx) * nz + 1, 0);
    c->entries.clear();
    c->unsure.clear();
    c->unsureCell.clear();
    std::vector<uint8_t> steady(T);
    for (uint32_t t = 0; t < T; ++t) steady[t] = Steady(o.triangles[t]) ? 1 : 0;
    // Per column, the triangles whose x range meets it grown by the wide margin (the columns' x
    // ranges rise with the index: finite box, cells of the same width).
    std::vector<std::vector<uint32_t>> columns(nx);
    for (uint32_t t = 0; t < T; ++t) {
        const CollisionTriangle& tri = o.triangles[t];
        if (!steady[t] &&
            !(std::isfinite(tri.v[0].x) && std::isfinite(tri.v[1].x) && std::isfinite(tri.v[2].x))) {
            for (uint32_t i = 0; i < nx; ++i) columns[i].push_back(t);
            continue;
        }
        const float tx0 = std::min({tri.v[0].x, tri.v[1].x, tri.v[2].x});
        const float tx1 = std::max({tri.v[0].x, tri.v[1].x, tri.v[2].x});
        for (uint32_t i = 0; i < nx; ++i) {
            if (tx1 < xAt[i] - wide || tx0 > (xAt[i] + dx) + wide) continue;
            columns[i].push_back(t);
        }
    }
    for (uint32_t i = 0; i < nx; ++i) {
        for (uint32_t k = 0; k < nz; ++k) {
            const size_t cell = size_t(i) * nz + k;
            c->start[cell] = static_cast<uint32_t>(c->entries.size());
            const Vec3 wideMin{xAt[i] - wide, lo.y - wide, zAt[k] - wide};
            const Vec3 wideMax{(xAt[i] + dx) + wide, hi.y + wide, (zAt[k] + dz) + wide};
            const Vec3 narrowMin{xAt[i] - narrow, lo.y - narrow, zAt[k] - narrow};
            const Vec3 narrowMax{(xAt[i] + dx) + narrow, hi.y + narrow, (zAt[k] + dz) + narrow};
            const int32_t kept = o.gridLookup[cell];
            CollisionCellEntries listed;
            if (kept >= 0 && size_t(kept) < o.gridCells.size()) listed = o.gridCells[size_t(kept)].entries;
            size_t next = 0;  // the listed triangles are in triangle order
            for (const uint32_t t : columns[i]) {
                const CollisionTriangle& tri = o.triangles[t];
                while (next < listed.size() && listed[next] < t) ++next;
                const bool isListed = next < listed.size() && listed[next] == t;
                bool sure = false;
                if (steady[t]) {
                    if (!TriangleIntersectsBox(wideMin, wideMax, tri.v[0], tri.v[1], tri.v[2])) {
                        if (isListed) return false;  // the test is not what it should be: keep nothing
                        continue;
                    }
                    sure =
                        isListed && TriangleIntersectsBox(narrowMin, narrowMax, tri.v[0], tri.v[1], tri.v[2]);
                } else {
                    const float tz0 = std::min({tri.v[0].z, tri.v[1].z, tri.v[2].z});
                    const float tz1 = std::max({tri.v[0].z, tri.v[1].z, tri.v[2].z});
                    const bool finite = std::isfinite(tz0) && std::isfinite(tz1);
                    if (finite && !isListed && (tz1 < wideMin.z || tz0 > wideMax.z)) continue;
                }
                if (!sure) {
                    c->unsure.push_back(static_cast<uint32_t>(c->entries.size()));
                    c->unsureCell.push_back(static_cast<uint32_t>(cell));
                }
                c->entries.push_back(sure ? t : (t | kUnsure | (isListed ? kListed : 0u)));
            }
        }
    }
    c->start.back() = static_cast<uint32_t>(c->entries.size());
    return true;
}

// Whether candidates made elsewhere may stand for the object's layout where it is now.
bool CandidatesFit(const GridCandidates& c, uint32_t nx, uint32_t nz, const float box[6]) {
    const double magnitude = GridMagnitude(box);
    return c.nx == nx && c.nz == nz && std::isfinite(magnitude) && SlackNeeded(magnitude, nx, nz) <= c.slack;
}

// The box a cell of the layout tests triangles against, as BuildGrid makes it.
void CellTestBox(float x0, float z0, float dx, float dz, const Vec3& lo, const Vec3& hi, Vec3* testMin,
                 Vec3* testMax) {
    *testMin = {x0 - CollisionCellMargin, lo.y - CollisionCellMargin, z0 + -CollisionCellMargin};
    *testMax = {(x0 + dx) + CollisionCellMargin, hi.y + CollisionCellMargin, (z0 + dz) + CollisionCellMargin};
}

// The object's lists from the candidates, its cells laid out over its box as BuildGrid lays them:
// the sure candidates as they are, the others tested where the object stands. With own, the
// candidates are the object's and note what was listed.
void ListCandidates(NztCollideObject& o, const GridCandidates& c, GridCandidates* own = nullptr) {
    const uint32_t nx = c.nx, nz = c.nz;
    const auto [lo, hi, dx, dz] = LayCells(o.collisionBox, nx, nz);
    std::vector<float> xAt, zAt;
    CellCorners(lo.x, dx, nx, &xAt);
    CellCorners(lo.z, dz, nz, &zAt);
    o.cellsPerAxis[0] = nx;
    o.cellsPerAxis[1] = 1;
    o.cellsPerAxis[2] = nz;
    o.gridOrigin = lo;
    o.gridStep[0] = dx;
    o.gridStep[1] = dz;
    o.gridLookup.assign(size_t(nx) * nz, -1);
    static thread_local std::vector<uint32_t> entries, first, count;
    static thread_local std::vector<CollisionCell> cells;
    entries.clear();
    first.clear();
    count.clear();
    cells.clear();
    for (uint32_t i = 0; i < nx; ++i) {
        for (uint32_t k = 0; k < nz; ++k) {
            const size_t cell = size_t(i) * nz + k;
            Vec3 testMin, testMax;
            CellTestBox(xAt[i], zAt[k], dx, dz, lo, hi, &testMin, &testMax);
            const size_t before = entries.size();
            for (uint32_t e = c.start[cell]; e < c.start[cell + 1]; ++e) {
                const uint32_t t = c.entries[e] & kTriangle;
                if ((c.entries[e] & kUnsure) != 0) {
                    const CollisionTriangle& tri = o.triangles[t];
                    const bool listed = TriangleIntersectsBox(testMin, testMax, tri.v[0], tri.v[1], tri.v[2]);
                    if (own != nullptr)
                        own->entries[e] = listed ? (own->entries[e] | kListed) : (own->entries[e] & ~kListed);
                    if (!listed) continue;
                }
                entries.push_back(t);
            }
            if (entries.size() == before) continue;
            o.gridLookup[cell] = static_cast<int32_t>(cells.size());
            CollisionCell kept;
            kept.boxMin = {xAt[i], lo.y, zAt[k]};
            kept.boxMax = {xAt[i] + dx, hi.y, zAt[k] + dz};
            cells.push_back(kept);
            first.push_back(static_cast<uint32_t>(before));
            count.push_back(static_cast<uint32_t>(entries.size() - before));
        }
    }
    o.gridEntries.assign(entries.begin(), entries.end());
    for (size_t k = 0; k < cells.size(); ++k) cells[k].entries = {o.gridEntries.data() + first[k], count[k]};
    o.gridCells.assign(cells.begin(), cells.end());
    o.gridCellCount = static_cast<uint32_t>(o.gridCells.size());
}

// Whether every unsure candidate is listed at the object's place as it was where its lists were
// made (then those lists stand there).
bool UnsureAsListed(const NztCollideObject& o, const GridCandidates& c) {
    if (!c.unsure.empty()) {
        const auto [lo, hi, dx, dz] = LayCells(o.collisionBox, c.nx, c.nz);
        static thread_local std::vector<float> xAt, zAt;
        CellCorners(lo.x, dx, c.nx, &xAt);
        CellCorners(lo.z, dz, c.nz, &zAt);
        for (size_t u = 0; u < c.unsure.size(); ++u) {
            const uint32_t entry = c.entries[c.unsure[u]];
            const uint32_t cell = c.unsureCell[u];
            Vec3 testMin, testMax;
            CellTestBox(xAt[cell / c.nz], zAt[cell % c.nz], dx, dz, lo, hi, &testMin, &testMax);
            const CollisionTriangle& tri = o.triangles[entry & kTriangle];
            if (TriangleIntersectsBox(testMin, testMax, tri.v[0], tri.v[1], tri.v[2]) !=
                ((entry & kListed) != 0))
                return false;
        }
    }
    return true;
}
// A move of an object whose lists stand for its candidates: while the unsure ones are listed as
// they were, the lists stand and only the cells move.
void CarryCandidates(NztCollideObject& o, GridCandidates& c) {
    if (UnsureAsListed(o, c))
        o.PlaceGridCells();
    else
        ListCandidates(o, c, &c);
}

// The candidates of the objects whose grids were carried or may be: made at an object's first
// move (a rigid object that moves once tends to move again), dropped with its grid. Never freed, so
// that an object destroyed at exit still finds it.
std::unordered_map<const NztCollideObject*, GridCandidates>& CandidatesOf() {
    static auto* candidates = new std::unordered_map<const NztCollideObject*, GridCandidates>;
    return *candidates;
}

// The triangle lists of the grid last made for a rigid shape, kept so that the next object of that
// shape placed elsewhere (the many copies of one prop in a level) takes them instead of testing
// every triangle against every cell again: the lists where they were made, and once a second
// object of the shape has come, its candidates (GridCandidates) for any other place. The shape is
// kept by value, so that a freed mesh whose memory is reused is never taken for it.
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
    // Made when a second object of the shape comes: until then only the lists are kept, which
    // stand for the first object's place alone.
    bool hasCandidates = false;
    GridCandidates candidates;
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

// Keeps the object's fresh lists for the shape (its rest vertices must be finite too). When lists
// are kept for the shape already, a second object of it has come: its lists get their candidates.
void KeepSharedGrid(const NztCollideObject& o, const NztCollideObject::GridShape& shape) {
    const NztMesh* mesh = o.mesh;
    if (SharedGrid* kept = FindSharedGrid(o, shape, o.cellsPerAxis[0], o.cellsPerAxis[2])) {
        // Candidates stand for places up to twice as far out as where they were made: an object
        // further out gives the shape new ones.
        if (kept->hasCandidates &&
            !(SlackNeeded(kSlackReach * GridMagnitude(o.collisionBox), o.cellsPerAxis[0], o.cellsPerAxis[2]) >
              kept->candidates.slack))
            return;
        GridCandidates candidates;
        if (!MakeCandidates(o, &candidates)) return;
        kept->lookup = o.gridLookup;
        kept->entries = o.gridEntries;
        kept->cellStart.clear();
        kept->cellCount.clear();
        for (const CollisionCell& cell : o.gridCells) {
            kept->cellStart.push_back(static_cast<uint32_t>(cell.entries.first - o.gridEntries.data()));
            kept->cellCount.push_back(static_cast<uint32_t>(cell.entries.count));
        }
        kept->candidates = std::move(candidates);
        kept->hasCandidates = true;
        return;
    }
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
// BuildGrid lays them out: the lists themselves when the candidates leave nothing to test again,
// else the candidates that pass where the object stands. False when the caller must build: none
// are kept, or no candidates yet (the caller's build then gives the shape its candidates, see
// KeepSharedGrid), or they were made for coordinates much smaller than the object's.
bool TakeSharedGrid(NztCollideObject& o, const NztCollideObject::GridShape& shape) {
    if (!Shareable(o, shape)) return false;
    const Vec3 lo = Lower(o.collisionBox), hi = Upper(o.collisionBox);
    const uint32_t nx = CellsAlong(hi.x - lo.x, shape.cellSize);
    const uint32_t nz = CellsAlong(hi.z - lo.z, shape.cellSize);
    const SharedGrid* shared = FindSharedGrid(o, shape, nx, nz);
    if (shared == nullptr || !shared->hasCandidates ||
        !CandidatesFit(shared->candidates, nx, nz, o.collisionBox))
        return false;
    o.FreeGrid();
    if (!UnsureAsListed(o, shared->candidates)) {
        ListCandidates(o, shared->candidates);
        return true;
    }
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
    CandidatesOf().erase(this);
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
    // A rigid object that only moved carries its lists along: the cells are laid out again over
    // the new box as a rebuild would lay them out, and the triangles near a cell's test border
    // are tested again there (GridCandidates). The candidates are made at its first move, from a
    // build where it then stands. A rebuild happens when the shape, the turn or the number of
    // cells changes, or when the object has gone far beyond where its candidates were made.
    if (SameShape(shape, gridShape) && !gridLookup.empty()) {
        const Vec3 lo = Lower(collisionBox), hi = Upper(collisionBox);
        if (CellsAlong(hi.x - lo.x, shape.cellSize) == cellsPerAxis[0] &&
            CellsAlong(hi.z - lo.z, shape.cellSize) == cellsPerAxis[2]) {
            const auto at = CandidatesOf().find(this);
            if (at != CandidatesOf().end() &&
                CandidatesFit(at->second, cellsPerAxis[0], cellsPerAxis[2], collisionBox)) {
                CarryCandidates(*this, at->second);
                return;
            }
            BuildGrid();
            GridCandidates candidates;
            if (MakeCandidates(*this, &candidates)) CandidatesOf()[this] = std::move(candidates);
            gridShape = shape;
            return;
        }
    }
    // An object that has turned since its grid was made (a character steering, say) is built
    // afresh without keeping its lists for others: a turn is seldom met again to the bit, and
    // keeping them would copy the lists at every turn and push out shapes that others share.
    const bool turned = SameSource(shape, gridShape) && shape.rigid && gridShape.rigid &&
                        std::memcmp(shape.matrix, gridShape.matrix, sizeof shape.matrix) != 0;
    if (!TakeSharedGrid(*this, shape)) {
        BuildGrid();
        if (!turned && Shareable(*this, shape)) KeepSharedGrid(*this, shape);
    }
    gridShape = shape;
}

void NztCollideObject::PlaceGridCells() {
    const uint32_t nx = cellsPerAxis[0], nz = cellsPerAxis[2];
    const auto [lo, hi, dx, dz] = LayCells(collisionBox, nx, nz);
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
    const CellLayout layout = LayCells(collisionBox, nx, nz);
    const float dx = layout.dx, dz = layout.dz;
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
    // A small object (a character's box of a dozen triangles) often lies whole within the test box
    // of every one of its cells, the margin being wider than the object. TriangleIntersectsBox takes
    // a triangle with a corner inside the box at once, so then every cell lists every triangle, and
    // the lists are written without the search below.
    if (CornersInsideEveryTestBox(triangles, w.xLo, w.xHi, w.zLo, w.zHi, lo.y - CollisionCellMargin,
                                  hi.y + CollisionCellMargin)) {
        const uint32_t T = static_cast<uint32_t>(triangles.size());
        gridEntries.resize(size_t(nx) * nz * T);
        gridCells.resize(size_t(nx) * nz);
        uint32_t c = 0;
        for (uint32_t i = 0; i < nx; ++i) {
            const float x0 = w.xAt[i];
            float z0 = lo.z;
            for (uint32_t k = 0; k < nz; ++k, z0 += dz, ++c) {
                uint32_t* entries = gridEntries.data() + size_t(c) * T;
                for (uint32_t t = 0; t < T; ++t) entries[t] = t;
                CollisionCell& cell = gridCells[c];
                cell.boxMin = {x0, lo.y, z0};
                cell.boxMax = {x0 + dx, hi.y, z0 + dz};
                cell.entries = {entries, T};
                gridLookup[c] = static_cast<int32_t>(c);
            }
        }
        gridCellCount = nx * nz;
        return;
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
    if (!CandidatesOf().empty()) CandidatesOf().erase(this);
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

void (*RebuildCollideGridHook)() = [] {
    FreeCollideGrid();
    BuildCollideGrid();
};
