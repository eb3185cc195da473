#include "collision/collquery.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <typeinfo>
#include <unordered_map>
#include <vector>

#include "collision/collide.h"
#include "core/paths.h"
#include "objects/base3d.h"
#include "objects/objtype.h"
#include "objects/posing.h"
#include "objects/registry.h"

CollisionHit CollisionHits[CollisionHitCapacity];
uint32_t CollisionHitCount = 0;
bool CharacterIndexEnabled = true;

namespace {

// Tolerance of the box and cell pre-tests.
constexpr float kBoxTolerance = 0.1f;
// Starting bests of the ground probe: below and above anything a level holds.
constexpr float kLowest = -4000000.0f;
constexpr float kHighest = 4000000.0f;

Vec3 Lower(const float box[6]) {
    return {box[0], box[1], box[2]};
}
Vec3 Upper(const float box[6]) {
    return {box[3], box[4], box[5]};
}

void Append(NztCollideObject* object, const CollisionTriangle& t, float height) {
    if (CollisionHitCount >= CollisionHitCapacity) return;
    CollisionHit& h = CollisionHits[CollisionHitCount++];
    h.object = object;
    h.height = height;
    h.v[0] = t.v[0];
    h.v[1] = t.v[1];
    h.v[2] = t.v[2];
    h.normal = t.normal;
    h.hitType = t.material;
}

// Each collector answers the box pre-test (object box and grid cells alike) and appends the
// triangles that pass its own test.
struct SphereCollector {
    Vec3 centre;
    float radius;
    Vec3 lo, hi;  // the body's box
    SphereCollector(const CollisionBody& body) : centre(body.centre), radius(body.radius) {
        const float r = body.radius + kBoxTolerance;
        lo = {centre.x - r, centre.y - r, centre.z - r};
        hi = {centre.x + r, centre.y + r, centre.z + r};
    }
    bool Box(const Vec3& bmin, const Vec3& bmax) const {
        return !(lo.x > bmax.x || bmin.x > hi.x || lo.y > bmax.y || bmin.y > hi.y || lo.z > bmax.z ||
                 bmin.z > hi.z);
    }
    Vec3 ReachMin() const { return lo; }
    Vec3 ReachMax() const { return hi; }
    void Take(NztCollideObject* o, const CollisionTriangle& t) const {
        if (SphereTouchesTriangle(t.v[0], t.v[1], t.v[2], centre, radius)) Append(o, t, 0.0f);
    }
    // Take for a triangle of a grid cell, passing over one whose box lies clear of the sphere's on
    // some axis: the distance to the triangle is at least that gap, and the margin keeps the
    // rounding of the exact test (worked in double) far below it. The plain walk keeps the exact
    // test alone, so that the differential tests check the margin.
    void TakeInCell(NztCollideObject* o, const CollisionTriangle& t) const {
        if (!Clear(t)) Take(o, t);
    }
    bool Clear(const CollisionTriangle& t) const {
        // The exact test squares the radius: a negative one reaches as far as a positive one.
        const float reach = std::fabs(radius) * 1.001f + 1e-3f;
        auto apart = [reach](float a, float b, float d, float c) {
            // A corner that is not a number leaves the triangle to the exact test, whatever that
            // makes of it.
            if (std::isnan(a) || std::isnan(b) || std::isnan(d)) return false;
            const float lo = std::min(a, std::min(b, d)), hi = std::max(a, std::max(b, d));
            const float margin = reach + 1e-4f * (std::fabs(lo) + std::fabs(hi) + std::fabs(c));
            return c - hi > margin || lo - c > margin;
        };
        const Vec3(&v)[3] = t.v;
        return apart(v[0].x, v[1].x, v[2].x, centre.x) || apart(v[0].y, v[1].y, v[2].y, centre.y) ||
               apart(v[0].z, v[1].z, v[2].z, centre.z);
    }
};

struct SegmentCollector {
    Vec3 a, b;
    bool Box(const Vec3& bmin, const Vec3& bmax) const { return SegmentIntersectsBox(bmin, bmax, a, b); }
    Vec3 ReachMin() const { return {std::fmin(a.x, b.x), 0.0f, std::fmin(a.z, b.z)}; }
    Vec3 ReachMax() const { return {std::fmax(a.x, b.x), 0.0f, std::fmax(a.z, b.z)}; }
    void Take(NztCollideObject* o, const CollisionTriangle& t) const {
        Vec3 hit;
        if (IntersectSegmentTriangle(t.v[0], t.v[1], t.v[2], a, b, hit)) Append(o, t, 0.0f);
    }
};

// The vertical probes: the point lies strictly inside the triangle's x-z projection when the
// edge function is negative on each edge, walked P0 P1 P2 for floors and P2 P1 P0 for ceilings.
float EdgeXZ(float ax, float az, float bx, float bz, const Vec3& p) {
    return (bx - ax) * (p.z - az) - (bz - az) * (p.x - ax);
}
float EdgeXZ(const Vec3& a, const Vec3& b, const Vec3& p) {
    return EdgeXZ(a.x, a.z, b.x, b.z, p);
}

// A triangle seen from above, packed for the short lists below: a probe reads these few bytes
// and the triangle itself only when it is hit.
struct OutlineXZ {
    float x[3], z[3];
};

template <bool kFloor>
struct VerticalCollector {
    Vec3 p;
    bool Box(const Vec3& bmin, const Vec3& bmax) const {
        return p.x >= bmin.x - kBoxTolerance && p.x <= bmax.x + kBoxTolerance &&
               p.z >= bmin.z - kBoxTolerance && p.z <= bmax.z + kBoxTolerance;
    }
    Vec3 ReachMin() const { return {p.x - kBoxTolerance, 0.0f, p.z - kBoxTolerance}; }
    Vec3 ReachMax() const { return {p.x + kBoxTolerance, 0.0f, p.z + kBoxTolerance}; }
    // The facing and the three edge functions are all worked out before one branch: which of them
    // fails is as good as random, and a walk that stops at the first failure mispredicts on nearly
    // every triangle of a cell.
    void Take(NztCollideObject* o, const CollisionTriangle& t) const {
        const Vec3& a = t.v[kFloor ? 0 : 2];
        const Vec3& b = t.v[1];
        const Vec3& d = t.v[kFloor ? 2 : 0];
        const int facing = kFloor ? t.normal.y > 0.25f : t.normal.y < 0.0f;
        const int inside = int(EdgeXZ(a, b, p) < 0.0f) & int(EdgeXZ(b, d, p) < 0.0f) & int(EdgeXZ(d, a, p) < 0.0f);
        if (facing & inside) Hit(o, t);
    }
    // The same gathering from the object's short lists: the first cell that passes the box test,
    // found as FirstCell finds it but in the lists' copy of the layout, then Take's test over the
    // cell's list (the outlines are the triangles' own corners, so the edge functions come out the
    // same to the bit).
    template <class Lists>
    void TakeFromLists(NztCollideObject* o, const Lists& lists) const;
    template <class Lists>
    void TakeListed(NztCollideObject* o, const Lists& lists, const uint32_t range[2]) const {
        const std::vector<uint32_t>& list = kFloor ? lists.floors : lists.ceilings;
        const CollisionTriangle* triangles = o->triangles.data();
        const size_t count = std::min(o->triangles.size(), lists.outlines.size());
        constexpr int a = kFloor ? 0 : 2, d = kFloor ? 2 : 0;
        for (uint32_t i = range[0]; i < range[1]; ++i) {
            const uint32_t index = list[i];
            if (index >= count) continue;
            const OutlineXZ& s = lists.outlines[index];
            const int inside = int(EdgeXZ(s.x[a], s.z[a], s.x[1], s.z[1], p) < 0.0f) &
                               int(EdgeXZ(s.x[1], s.z[1], s.x[d], s.z[d], p) < 0.0f) &
                               int(EdgeXZ(s.x[d], s.z[d], s.x[a], s.z[a], p) < 0.0f);
            if (!inside) continue;
            const CollisionTriangle& t = triangles[index];
            const bool facing = kFloor ? t.normal.y > 0.25f : t.normal.y < 0.0f;
            if (facing && t.material != HitTypeNone) Hit(o, t);
        }
    }
    void Hit(NztCollideObject* o, const CollisionTriangle& t) const {
        Vec3 hit;
        if (!IntersectLinePlane(t.normal, t.v[0], p, Vec3{p.x, p.y - 100.0f, p.z}, hit)) return;
        Append(o, t, hit.y);
    }
};
using FloorCollector = VerticalCollector<true>;
using CeilingCollector = VerticalCollector<false>;

// The asker as a world object, or null. Where the object part sits within an object depends on its
// class alone, so the answer of the cast is kept for the last class asked about: a frame's queries
// come from a few classes, and the cast searches the class tree every time.
const NztBaseObject* AsBaseObject(const NztBase3D* a) {
    struct Known {
        const std::type_info* type = nullptr;
        bool object = false;
        std::ptrdiff_t offset = 0;
    };
    static Known known;
    if (a == nullptr) return nullptr;
    const std::type_info& type = typeid(*a);
    if (known.type != &type) {
        const NztBaseObject* o = dynamic_cast<const NztBaseObject*>(a);
        known.type = &type;
        known.object = o != nullptr;
        known.offset = o != nullptr ? reinterpret_cast<const char*>(o) - reinterpret_cast<const char*>(a) : 0;
        return o;
    }
    if (!known.object) return nullptr;
    return reinterpret_cast<const NztBaseObject*>(reinterpret_cast<const char*>(a) + known.offset);
}

struct Exclusion {
    const NztBase3D* asker;
    const NztBaseObject* askerObject;  // the asker when it has an attachment link
    explicit Exclusion(NztBase3D* a) : asker(a), askerObject(AsBaseObject(a)) {}
    bool Skips(const NztCollideObject* o) const {
        if (static_cast<const NztBase3D*>(o) == asker || o->hasCollision == 0) return true;
        return askerObject != nullptr && (o == askerObject->parent || o->parent == askerObject);
    }
};

// The layout cells [first, last] along one axis that a query reaching from a to b may touch. The
// cell corners were summed up cell by cell, so the estimate is widened by one cell each way; the
// exact box test decides. A query with no finite reach looks at the whole axis.
bool CellRange(float a, float b, float origin, float step, uint32_t n, uint32_t* first, uint32_t* last) {
    *first = 0;
    *last = n - 1;
    if (!(step > 0.0f) || !std::isfinite(a) || !std::isfinite(b)) return true;
    const double lo = std::floor((double(a) - origin) / step) - 1.0;
    const double hi = std::floor((double(b) - origin) / step) + 1.0;
    if (hi < 0.0 || lo > double(n - 1)) return false;
    *first = lo > 0.0 ? static_cast<uint32_t>(lo) : 0;
    *last = hi < double(n - 1) ? static_cast<uint32_t>(hi) : n - 1;
    return true;
}

// The first cell of the object's grid, in array order, that passes the query's box test. Kept
// cells follow the layout order (x outer, z inner), so walking the layout cells within the
// query's reach in that order meets them in array order.
template <class Collector>
const CollisionCell* FirstCell(const NztCollideObject* o, const Collector& c) {
    const uint32_t nx = o->cellsPerAxis[0], nz = o->cellsPerAxis[2];
    if (nx == 0 || nz == 0 || o->gridLookup.size() != size_t(nx) * nz) {
        for (const CollisionCell& cell : o->gridCells) {
            if (c.Box(cell.boxMin, cell.boxMax)) return &cell;
        }
        return nullptr;
    }
    const Vec3 reachMin = c.ReachMin(), reachMax = c.ReachMax();
    uint32_t i0, i1, k0, k1;
    if (!CellRange(reachMin.x, reachMax.x, o->gridOrigin.x, o->gridStep[0], nx, &i0, &i1) ||
        !CellRange(reachMin.z, reachMax.z, o->gridOrigin.z, o->gridStep[1], nz, &k0, &k1)) {
        return nullptr;
    }
    for (uint32_t i = i0; i <= i1; ++i) {
        for (uint32_t k = k0; k <= k1; ++k) {
            const int32_t index = o->gridLookup[size_t(i) * nz + k];
            if (index < 0 || size_t(index) >= o->gridCells.size()) continue;
            const CollisionCell& cell = o->gridCells[size_t(index)];
            if (c.Box(cell.boxMin, cell.boxMax)) return &cell;
        }
    }
    return nullptr;
}

// Collectors with a test of their own for a grid cell's triangles (Take with a quick way out).
template <class Collector, class = void>
struct HasCellTake : std::false_type {};
template <class Collector>
struct HasCellTake<Collector, std::void_t<decltype(&Collector::TakeInCell)>> : std::true_type {};

// The vertical probes of an object that keeps still. A cell's list holds every triangle within
// 10.0 of it, while a point under or over the cell lies in few of them: a terrain cell lists some
// sixty triangles and a probe finds one. For an object whose triangles and grid have not changed
// for a while, each cell gets two shorter lists, its floors and its ceilings, in the cell's order,
// leaving out only the triangles that cannot pass the probe's test anywhere over the cell: those
// facing the wrong way, and those whose x-z box lies well clear of the cell. "Well clear" is far
// enough that rounding in the probe's edge functions can never put the point inside; a sliver (a
// corner narrower than about one degree, where the edge functions are all rounding) or a triangle
// with a coordinate that is not a number is always kept.
struct VerticalLists {
    uint32_t quietProbes = 0;  // probes since the object last changed
    bool made = false;
    // What the lists were made from.
    const CollisionTriangle* triangles = nullptr;
    size_t triangleCount = 0;
    const CollisionCell* cells = nullptr;
    size_t cellCount = 0;
    const uint32_t* entries = nullptr;
    // The grid's layout: every cell of the nx x nz layout with its box in x and z (not a number for
    // a dropped cell, which no box test passes) and its two lists.
    struct LayoutCell {
        float xlo, xhi, zlo, zhi;
        uint32_t floors[2], ceilings[2];  // first and end in floors and ceilings
    };
    uint32_t nx = 0, nz = 0;
    Vec3 origin{0.0f, 0.0f, 0.0f};
    float step[2] = {0.0f, 0.0f};
    std::vector<LayoutCell> layout;
    // The cells as laid out in rows: every kept cell of row i spans rowX[2i] to rowX[2i+1] in x and
    // every one of column k spans columnZ[2k] to columnZ[2k+1] in z (false: some cell does not, and
    // each cell's own box is tested). A probe then tests a row and a column, and reads the one cell
    // it picks.
    bool rows = false;
    std::vector<float> rowX, columnZ;
    std::vector<uint32_t> floors, ceilings;  // triangle indices
    std::vector<OutlineXZ> outlines;         // one per triangle
};
std::unordered_map<const NztCollideObject*, VerticalLists> VerticalListsOf;

// Probes an object must answer unchanged before its lists are made: an object that moves every
// frame would pay for lists it never uses.
constexpr uint32_t kQuietProbesBeforeLists = 256;
// Smallest sine of a corner of a triangle (seen from above) that is not a sliver.
constexpr double kSliverSine = 0.02;

bool IsSliverXZ(const CollisionTriangle& t) {
    const double ax = t.v[0].x, az = t.v[0].z, bx = t.v[1].x, bz = t.v[1].z, cx = t.v[2].x, cz = t.v[2].z;
    const double area2 = std::fabs((bx - ax) * (cz - az) - (bz - az) * (cx - ax));
    const double ab = std::sqrt((bx - ax) * (bx - ax) + (bz - az) * (bz - az));
    const double bc = std::sqrt((cx - bx) * (cx - bx) + (cz - bz) * (cz - bz));
    const double ca = std::sqrt((ax - cx) * (ax - cx) + (az - cz) * (az - cz));
    // The sine of each corner, 2 area / (product of its sides); written so that NaN counts as a sliver.
    return !(area2 >= kSliverSine * ab * ca && area2 >= kSliverSine * ab * bc && area2 >= kSliverSine * bc * ca);
}

// A triangle's x-z box widened by how far rounding may carry a probe's point; every point of the
// plane when the triangle must always be kept.
struct Reach {
    double xlo, xhi, zlo, zhi;
};
Reach ReachOf(const CollisionTriangle& t, double magnitude) {
    constexpr double kAll = HUGE_VAL;
    const Vec3(&v)[3] = t.v;
    for (const Vec3& p : v)
        if (!std::isfinite(p.x) || !std::isfinite(p.z)) return {-kAll, kAll, -kAll, kAll};
    if (IsSliverXZ(t)) return {-kAll, kAll, -kAll, kAll};
    const double xlo = std::min({v[0].x, v[1].x, v[2].x}), xhi = std::max({v[0].x, v[1].x, v[2].x});
    const double zlo = std::min({v[0].z, v[1].z, v[2].z}), zhi = std::max({v[0].z, v[1].z, v[2].z});
    // Beyond the edge functions' rounding (relative to the triangle's size), the rounding of the
    // probe's own box test in single precision (relative to the coordinates).
    const double margin = 0.01 + 1e-3 * std::max(xhi - xlo, zhi - zlo) + 1e-6 * magnitude;
    return {xlo - margin, xhi + margin, zlo - margin, zhi + margin};
}

// Whether a point of the cell's box, widened by the probes' tolerance, may lie in the reach.
bool CellMeets(const CollisionCell& cell, const Reach& r) {
    const double xlo = double(cell.boxMin.x) - kBoxTolerance, xhi = double(cell.boxMax.x) + kBoxTolerance;
    const double zlo = double(cell.boxMin.z) - kBoxTolerance, zhi = double(cell.boxMax.z) + kBoxTolerance;
    // A cell box that is not a number keeps everything.
    if (!(xlo <= xhi && zlo <= zhi)) return true;
    return !(r.xhi < xlo || r.xlo > xhi || r.zhi < zlo || r.zlo > zhi);
}

void MakeVerticalLists(const NztCollideObject* o, VerticalLists& lists) {
    lists.made = true;
    lists.triangles = o->triangles.data();
    lists.triangleCount = o->triangles.size();
    lists.cells = o->gridCells.data();
    lists.cellCount = o->gridCells.size();
    lists.entries = o->gridEntries.data();
    lists.nx = o->cellsPerAxis[0];
    lists.nz = o->cellsPerAxis[2];
    lists.origin = o->gridOrigin;
    lists.step[0] = o->gridStep[0];
    lists.step[1] = o->gridStep[1];
    lists.floors.clear();
    lists.ceilings.clear();
    // The coordinates the cells and their triangles reach (a box that is not a number gives
    // infinite margins, which keep everything).
    const float* box = o->collisionBox;
    const double magnitude = 2.0 * CollisionCellMargin + std::max({std::fabs(double(box[0])), std::fabs(double(box[2])),
                                                                   std::fabs(double(box[3])), std::fabs(double(box[5]))});
    const double wide = std::isfinite(magnitude) ? magnitude : HUGE_VAL;
    static std::vector<Reach> reach;
    reach.resize(lists.triangleCount);
    lists.outlines.resize(lists.triangleCount);
    for (size_t t = 0; t < lists.triangleCount; ++t) {
        const Vec3(&v)[3] = o->triangles[t].v;
        lists.outlines[t] = {{v[0].x, v[1].x, v[2].x}, {v[0].z, v[1].z, v[2].z}};
        reach[t] = ReachOf(o->triangles[t], wide);
    }
    const float dropped = std::nanf("");
    lists.layout.assign(o->gridLookup.size(), {dropped, dropped, dropped, dropped, {0, 0}, {0, 0}});
    for (size_t c = 0; c < o->gridLookup.size(); ++c) {
        const int32_t index = o->gridLookup[c];
        if (index < 0 || size_t(index) >= o->gridCells.size()) continue;
        const CollisionCell& cell = o->gridCells[size_t(index)];
        VerticalLists::LayoutCell& at = lists.layout[c];
        at = {cell.boxMin.x, cell.boxMax.x, cell.boxMin.z, cell.boxMax.z, {0, 0}, {0, 0}};
        at.floors[0] = static_cast<uint32_t>(lists.floors.size());
        at.ceilings[0] = static_cast<uint32_t>(lists.ceilings.size());
        for (const uint32_t t : cell.entries) {
            if (t >= lists.triangleCount) continue;
            const float ny = o->triangles[t].normal.y;
            const bool floor = ny > 0.25f, ceiling = ny < 0.0f;
            if ((!floor && !ceiling) || !CellMeets(cell, reach[t])) continue;
            (floor ? lists.floors : lists.ceilings).push_back(t);
        }
        at.floors[1] = static_cast<uint32_t>(lists.floors.size());
        at.ceilings[1] = static_cast<uint32_t>(lists.ceilings.size());
    }
    // The rows and columns, from the first kept cell of each; a row or column without one keeps
    // not-a-number spans, which no probe passes.
    lists.rowX.assign(2 * size_t(lists.nx), dropped);
    lists.columnZ.assign(2 * size_t(lists.nz), dropped);
    std::vector<bool> rowSet(lists.nx, false), columnSet(lists.nz, false);
    lists.rows = lists.layout.size() == size_t(lists.nx) * lists.nz;
    for (uint32_t i = 0; i < lists.nx && lists.rows; ++i) {
        for (uint32_t k = 0; k < lists.nz; ++k) {
            const VerticalLists::LayoutCell& at = lists.layout[size_t(i) * lists.nz + k];
            const int32_t index = o->gridLookup[size_t(i) * lists.nz + k];
            if (index < 0 || size_t(index) >= o->gridCells.size()) continue;
            if (!rowSet[i]) lists.rowX[2 * i] = at.xlo, lists.rowX[2 * i + 1] = at.xhi, rowSet[i] = true;
            if (!columnSet[k]) lists.columnZ[2 * k] = at.zlo, lists.columnZ[2 * k + 1] = at.zhi, columnSet[k] = true;
            // Spans compared as they are (a cell box that is not a number is told apart by them).
            const bool same = std::memcmp(&at.xlo, &lists.rowX[2 * i], sizeof(float)) == 0 &&
                              std::memcmp(&at.xhi, &lists.rowX[2 * i + 1], sizeof(float)) == 0 &&
                              std::memcmp(&at.zlo, &lists.columnZ[2 * k], sizeof(float)) == 0 &&
                              std::memcmp(&at.zhi, &lists.columnZ[2 * k + 1], sizeof(float)) == 0;
            if (!same) {
                lists.rows = false;
                break;
            }
        }
    }
}

// The probes of a frame fall on a few objects at a time: the lists of those looked up last are
// kept in a small table by the object's address.
struct ListsSeen {
    const NztCollideObject* object = nullptr;
    VerticalLists* lists = nullptr;
};
ListsSeen RecentLists[8];
ListsSeen& RecentListsOf(const NztCollideObject* o) {
    return RecentLists[(reinterpret_cast<uintptr_t>(o) * 0x9E3779B97F4A7C15ull) >> 61];
}

const VerticalLists* CurrentVerticalLists(const NztCollideObject* o) {
    // Without a lookup over the whole layout FirstCell scans the kept cells instead.
    const uint32_t nx = o->cellsPerAxis[0], nz = o->cellsPerAxis[2];
    if (!o->gridShape.valid || nx == 0 || nz == 0 || o->gridLookup.size() != size_t(nx) * nz) return nullptr;
    ListsSeen& seen = RecentListsOf(o);
    if (seen.object != o) {
        seen.lists = &VerticalListsOf[o];  // map entries stay put while others come and go
        seen.object = o;
    }
    VerticalLists& lists = *seen.lists;
    if (lists.made) {
        if (lists.triangles == o->triangles.data() && lists.triangleCount == o->triangles.size() &&
            lists.cells == o->gridCells.data() && lists.cellCount == o->gridCells.size() &&
            lists.entries == o->gridEntries.data() && lists.layout.size() == o->gridLookup.size()) {
            return &lists;
        }
        lists.made = false;
        lists.quietProbes = 0;
    }
    if (++lists.quietProbes < kQuietProbesBeforeLists) return nullptr;
    MakeVerticalLists(o, lists);
    return &lists;
}

// The object's triangles or grid changed: its lists no longer hold.
void ForgetVerticalLists(const NztCollideObject* o, bool gone) {
    if (VerticalListsOf.empty()) return;
    const auto at = VerticalListsOf.find(o);
    if (at == VerticalListsOf.end()) return;
    if (gone) {
        if (RecentListsOf(o).object == o) RecentListsOf(o) = {};
        VerticalListsOf.erase(at);
        return;
    }
    at->second.made = false;
    at->second.quietProbes = 0;
}

template <bool kFloor>
template <class Lists>
void VerticalCollector<kFloor>::TakeFromLists(NztCollideObject* o, const Lists& lists) const {
    uint32_t i0, i1, k0, k1;
    const Vec3 reachMin = ReachMin(), reachMax = ReachMax();
    if (!CellRange(reachMin.x, reachMax.x, lists.origin.x, lists.step[0], lists.nx, &i0, &i1) ||
        !CellRange(reachMin.z, reachMax.z, lists.origin.z, lists.step[1], lists.nz, &k0, &k1)) {
        return;
    }
    if (lists.rows) {
        // The box test of a cell split into its row's part and its column's part: the same
        // comparisons, and the first cell in layout order that passes both.
        const float* rowX = lists.rowX.data();
        const float* columnZ = lists.columnZ.data();
        for (uint32_t i = i0; i <= i1; ++i) {
            if (!(p.x >= rowX[2 * i] - kBoxTolerance && p.x <= rowX[2 * i + 1] + kBoxTolerance)) continue;
            for (uint32_t k = k0; k <= k1; ++k) {
                if (!(p.z >= columnZ[2 * k] - kBoxTolerance && p.z <= columnZ[2 * k + 1] + kBoxTolerance)) continue;
                const auto& cell = lists.layout[size_t(i) * lists.nz + k];
                if (std::isnan(cell.xlo)) continue;  // dropped
                TakeListed(o, lists, kFloor ? cell.floors : cell.ceilings);
                return;
            }
        }
        return;
    }
    for (uint32_t i = i0; i <= i1; ++i) {
        for (uint32_t k = k0; k <= k1; ++k) {
            const auto& cell = lists.layout[size_t(i) * lists.nz + k];
            if (!Box({cell.xlo, 0.0f, cell.zlo}, {cell.xhi, 0.0f, cell.zhi})) continue;
            TakeListed(o, lists, kFloor ? cell.floors : cell.ceilings);
            return;
        }
    }
}

// Box pre-test (which sets the in-box flag), then the triangles of the first grid cell that
// passes the same test, or of the whole object for the reference walk.
template <class Collector, bool kUseGrid>
void VisitObject(NztCollideObject* o, const Collector& c) {
    o->inBox = c.Box(Lower(o->collisionBox), Upper(o->collisionBox)) ? 1 : 0;
    if (o->inBox == 0) return;
    if (!kUseGrid) {
        for (const CollisionTriangle& t : o->triangles) {
            if (t.material != HitTypeNone) c.Take(o, t);
        }
        return;
    }
    // Characters are left to the plain walk: they seldom keep still, and their few triangles
    // gain little from the lists.
    if constexpr (std::is_same_v<Collector, FloorCollector> || std::is_same_v<Collector, CeilingCollector>) {
        const VerticalLists* lists = o->characterSlot < 0 ? CurrentVerticalLists(o) : nullptr;
        if (lists != nullptr) {
            c.TakeFromLists(o, *lists);
            return;
        }
    }
    const CollisionCell* cell = FirstCell(o, c);
    if (cell == nullptr) return;
    for (const uint32_t index : cell->entries) {
        if (index >= o->triangles.size()) continue;
        const CollisionTriangle& t = o->triangles[index];
        if (t.material == HitTypeNone) continue;
        if constexpr (HasCellTake<Collector>::value)
            c.TakeInCell(o, t);
        else
            c.Take(o, t);
    }
}

// The index of the registered characters: a grid in x and z over their collision boxes, each cell
// listing the registry slots whose box reaches it. It stands for one state of the registry (its
// array, count and change counter) and is made again when that moves or an indexed object is
// destroyed; a character's cells follow its box through NoteCharacterBoxMoved. Characters with a
// box that is not finite are looked at by every query. Beside it, the characters whose in-box flag
// a query may have left at 1, so that a later query that does not reach them clears it.
struct CharacterIndex {
    bool valid = false;
    bool usable = false;  // false: a character is listed twice, queries walk them all
    uint32_t changes = 0;
    NztBase3D** objects = nullptr;
    int32_t count = 0;
    double originX = 0.0, originZ = 0.0, inverseCell = 1.0;
    int32_t nx = 1, nz = 1;
    double extent[4] = {0.0, 0.0, 0.0, 0.0};  // min x, min z, max x, max z the grid was laid over
    struct Slot {
        NztCollideObject* object = nullptr;
        int32_t x0 = 0, x1 = -1, z0 = 0, z1 = -1;  // the cells listed (none when x1 < x0)
        bool everywhere = false;
        // The object's box as last listed (every change of it is noted): the box pre-test of a
        // query reads it here rather than from the object.
        Vec3 lo{0.0f, 0.0f, 0.0f}, hi{0.0f, 0.0f, 0.0f};
    };
    std::vector<Slot> slots;
    std::vector<std::vector<int32_t>> cells;
    std::vector<int32_t> everywhere;
    std::vector<uint32_t> seen;  // per slot: the last query that took it as a candidate
    uint32_t query = 0;
    std::vector<int32_t> candidates;
    bool flaggedKnown = false;
    std::vector<NztCollideObject*> flagged;  // every registered character whose flag may be 1
    std::vector<NztCollideObject*> keep;
};
CharacterIndex Characters;

// Smallest cell side, and most cells along an axis.
constexpr double kIndexCell = 4.0;
constexpr double kIndexMaxCells = 256.0;
// Added around a query's reach, so that the rounding of the box tests' tolerances never lets a
// box pass that the index left out.
constexpr double kIndexSlack = 0.5;

bool FiniteBox(const float box[6]) {
    return std::isfinite(box[0]) && std::isfinite(box[2]) && std::isfinite(box[3]) && std::isfinite(box[5]);
}

int32_t IndexCell(double v, double origin, double inverse, int32_t n) {
    const double t = std::floor((v - origin) * inverse);
    if (!(t > 0.0)) return 0;
    return t < double(n - 1) ? static_cast<int32_t>(t) : n - 1;
}

void Unlist(int32_t slot) {
    CharacterIndex::Slot& s = Characters.slots[size_t(slot)];
    auto drop = [slot](std::vector<int32_t>& list) {
        const auto at = std::find(list.begin(), list.end(), slot);
        if (at != list.end()) {
            *at = list.back();
            list.pop_back();
        }
    };
    if (s.everywhere) drop(Characters.everywhere);
    for (int32_t i = s.x0; i <= s.x1; ++i)
        for (int32_t k = s.z0; k <= s.z1; ++k) drop(Characters.cells[size_t(i) * size_t(Characters.nz) + size_t(k)]);
    s.everywhere = false;
    s.x1 = s.x0 - 1;
}

// Lists the slot under the cells its object's box reaches now; false when the box lies outside
// the extent the grid was laid over (it is then listed in the border cells, which stays right but
// grows them).
bool List(int32_t slot, bool moved) {
    CharacterIndex& ix = Characters;
    CharacterIndex::Slot& s = ix.slots[size_t(slot)];
    const float* box = s.object->collisionBox;
    s.lo = Lower(box);
    s.hi = Upper(box);
    if (!FiniteBox(box)) {
        if (moved && s.everywhere) return true;
        if (moved) Unlist(slot);
        s.everywhere = true;
        ix.everywhere.push_back(slot);
        return true;
    }
    const double xlo = std::fmin(box[0], box[3]), xhi = std::fmax(box[0], box[3]);
    const double zlo = std::fmin(box[2], box[5]), zhi = std::fmax(box[2], box[5]);
    const int32_t x0 = IndexCell(xlo, ix.originX, ix.inverseCell, ix.nx);
    const int32_t x1 = IndexCell(xhi, ix.originX, ix.inverseCell, ix.nx);
    const int32_t z0 = IndexCell(zlo, ix.originZ, ix.inverseCell, ix.nz);
    const int32_t z1 = IndexCell(zhi, ix.originZ, ix.inverseCell, ix.nz);
    const bool inside = xlo >= ix.extent[0] && zlo >= ix.extent[1] && xhi <= ix.extent[2] && zhi <= ix.extent[3];
    if (moved) {
        if (!s.everywhere && s.x0 == x0 && s.x1 == x1 && s.z0 == z0 && s.z1 == z1) return inside;
        Unlist(slot);
    }
    s.x0 = x0, s.x1 = x1, s.z0 = z0, s.z1 = z1;
    for (int32_t i = x0; i <= x1; ++i)
        for (int32_t k = z0; k <= z1; ++k) ix.cells[size_t(i) * size_t(ix.nz) + size_t(k)].push_back(slot);
    return inside;
}

void BuildCharacterIndex() {
    CharacterIndex& ix = Characters;
    ix.valid = true;
    ix.usable = true;
    ix.changes = EntityRegistryChanges;
    ix.objects = EntityRegistry.objects;
    ix.count = EntityRegistry.count;
    ix.flaggedKnown = false;
    const size_t n = ix.count > 0 ? size_t(ix.count) : 0;
    ix.slots.assign(n, {});
    ix.seen.assign(n, 0);
    ix.query = 0;
    ix.everywhere.clear();
    double lo[2] = {0.0, 0.0}, hi[2] = {0.0, 0.0};
    bool any = false;
    for (size_t i = 0; i < n; ++i) {
        auto* o = static_cast<NztCollideObject*>(ix.objects[i]);
        if (o != nullptr) o->characterSlot = -1;
    }
    for (size_t i = 0; i < n; ++i) {
        auto* o = static_cast<NztCollideObject*>(ix.objects[i]);
        ix.slots[i].object = o;
        if (o == nullptr) continue;
        if (o->characterSlot != -1) ix.usable = false;
        o->characterSlot = static_cast<int32_t>(i);
        const float* box = o->collisionBox;
        if (!FiniteBox(box)) continue;
        const double b[4] = {std::fmin(box[0], box[3]), std::fmin(box[2], box[5]), std::fmax(box[0], box[3]),
                             std::fmax(box[2], box[5])};
        for (int a = 0; a < 2; ++a) {
            lo[a] = any ? std::min(lo[a], b[a]) : b[a];
            hi[a] = any ? std::max(hi[a], b[a + 2]) : b[a + 2];
        }
        any = true;
    }
    // Room around the crowd for it to move in before the grid is laid out again.
    for (int a = 0; a < 2; ++a) {
        const double grow = 0.25 * (hi[a] - lo[a]) + 32.0;
        lo[a] -= grow;
        hi[a] += grow;
    }
    const double span = std::max(hi[0] - lo[0], hi[1] - lo[1]);
    const double cell = std::max(kIndexCell, span / kIndexMaxCells);
    ix.originX = lo[0];
    ix.originZ = lo[1];
    ix.inverseCell = 1.0 / cell;
    ix.nx = static_cast<int32_t>(std::min(kIndexMaxCells, std::max(1.0, std::ceil((hi[0] - lo[0]) / cell))));
    ix.nz = static_cast<int32_t>(std::min(kIndexMaxCells, std::max(1.0, std::ceil((hi[1] - lo[1]) / cell))));
    ix.extent[0] = lo[0], ix.extent[1] = lo[1], ix.extent[2] = hi[0], ix.extent[3] = hi[1];
    ix.cells.resize(size_t(ix.nx) * size_t(ix.nz));
    for (std::vector<int32_t>& c : ix.cells) c.clear();
    if (!ix.usable) return;
    for (size_t i = 0; i < n; ++i) {
        if (ix.slots[i].object != nullptr) List(static_cast<int32_t>(i), false);
    }
}

// The index, made again when the registry is not the one it stands for; null when queries must
// walk every character.
CharacterIndex* CurrentCharacterIndex() {
    CharacterIndex& ix = Characters;
    if (!ix.valid || ix.changes != EntityRegistryChanges || ix.objects != EntityRegistry.objects ||
        ix.count != EntityRegistry.count) {
        BuildCharacterIndex();
    }
    return ix.usable ? &ix : nullptr;
}

// A segment's reach passes over an end that is not a number; its box test then need not keep to
// the reach, so such a query walks every character.
template <class Collector>
bool IndexCanServe(const Collector&) {
    return true;
}
bool IndexCanServe(const SegmentCollector& c) {
    return std::isfinite(c.a.x) && std::isfinite(c.a.z) && std::isfinite(c.b.x) && std::isfinite(c.b.z);
}

// The scene objects of the global cell (last entry first; -1: none), then every registered
// character (last first), or those the index finds near the query's reach in x and z.
template <class Collector, bool kUseGrid>
void Gather(const Collector& c, int32_t cell, NztBase3D* asker) {
    CollisionHitCount = 0;
    const Exclusion exclusion(asker);
    if (kUseGrid) {
        if (cell >= 0 && static_cast<uint32_t>(cell) < CollideGridCells.size()) {
            const std::vector<NztScnObject*>& entries = CollideGridCells[static_cast<uint32_t>(cell)].entries;
            for (size_t i = entries.size(); i-- > 0;) {
                NztScnObject* o = entries[i];
                if (exclusion.Skips(o) || o->registered == 0) continue;
                VisitObject<Collector, kUseGrid>(o, c);
            }
        }
    } else {
        // The grid's cells list the scene objects from the end of the owning list and are walked
        // from their end, so the walk is in list order.
        for (uint32_t i = 0; i < ScnObjectCount; ++i) {
            NztScnObject* o = ScnObjectList[i];
            if (o == nullptr || exclusion.Skips(o) || o->registered == 0) continue;
            VisitObject<Collector, kUseGrid>(o, c);
        }
    }
    const Vec3 reachMin = c.ReachMin(), reachMax = c.ReachMax();
    CharacterIndex* ix = nullptr;
    if (CharacterIndexEnabled && IndexCanServe(c) && std::isfinite(reachMin.x) && std::isfinite(reachMin.z) &&
        std::isfinite(reachMax.x) && std::isfinite(reachMax.z)) {
        ix = CurrentCharacterIndex();
    }
    if (ix == nullptr) {
        Characters.flaggedKnown = false;
        for (int32_t i = EntityRegistry.count; i-- > 0;) {
            auto* e = static_cast<NztCollideObject*>(EntityRegistry.objects[i]);
            if (e == nullptr || exclusion.Skips(e)) continue;
            VisitObject<Collector, kUseGrid>(e, c);
        }
        return;
    }
    if (!ix->flaggedKnown) {
        ix->flagged.clear();
        for (const CharacterIndex::Slot& s : ix->slots) {
            if (s.object != nullptr && s.object->inBox != 0) ix->flagged.push_back(s.object);
        }
        ix->flaggedKnown = true;
    }
    // What the plain walk would clear: the flags of every character the query does not skip.
    ix->keep.clear();
    for (NztCollideObject* o : ix->flagged) {
        if (exclusion.Skips(o))
            ix->keep.push_back(o);
        else
            o->inBox = 0;
    }
    ix->flagged.swap(ix->keep);
    // The candidates, each once, walked from the last slot to the first as the plain walk goes.
    if (++ix->query == 0) {
        std::fill(ix->seen.begin(), ix->seen.end(), 0u);
        ix->query = 1;
    }
    const double slackLo = kIndexSlack + 1e-6 * std::fmax(std::fabs(reachMin.x), std::fabs(reachMin.z));
    const double slackHi = kIndexSlack + 1e-6 * std::fmax(std::fabs(reachMax.x), std::fabs(reachMax.z));
    const int32_t x0 = IndexCell(double(reachMin.x) - slackLo, ix->originX, ix->inverseCell, ix->nx);
    const int32_t x1 = IndexCell(double(reachMax.x) + slackHi, ix->originX, ix->inverseCell, ix->nx);
    const int32_t z0 = IndexCell(double(reachMin.z) - slackLo, ix->originZ, ix->inverseCell, ix->nz);
    const int32_t z1 = IndexCell(double(reachMax.z) + slackHi, ix->originZ, ix->inverseCell, ix->nz);
    // A character whose box fails the query's pre-test is passed over without a look at it: its
    // flag ends at 0 whether the query skips it or not, and it is 0 already (it is not among the
    // flagged now, or has just been cleared).
    std::vector<int32_t>& candidates = ix->candidates;
    candidates.clear();
    auto take = [ix, &candidates](int32_t slot) {
        if (ix->seen[size_t(slot)] == ix->query) return;
        ix->seen[size_t(slot)] = ix->query;
        candidates.push_back(slot);
    };
    for (const int32_t slot : ix->everywhere) take(slot);
    for (int32_t i = x0; i <= x1; ++i) {
        for (int32_t k = z0; k <= z1; ++k) {
            for (const int32_t slot : ix->cells[size_t(i) * size_t(ix->nz) + size_t(k)]) {
                const CharacterIndex::Slot& s = ix->slots[size_t(slot)];
                if (c.Box(s.lo, s.hi)) take(slot);
            }
        }
    }
    std::sort(candidates.begin(), candidates.end(), [](int32_t a, int32_t b) { return a > b; });
    for (const int32_t slot : candidates) {
        NztCollideObject* e = ix->slots[size_t(slot)].object;
        if (exclusion.Skips(e)) continue;
        VisitObject<Collector, kUseGrid>(e, c);
        if (e->inBox != 0) ix->flagged.push_back(e);
    }
}

bool IsZero(const Vec3& v) {
    return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f;
}

bool IsWater(const CollisionHit& h) {
    return h.hitType == HitTypeWater;
}

// WaterHeightAt and NearestSurface over the floor probe's hits of one kind.
float NearestOfKind(const Vec3& point, float range, float defaultHeight, bool water) {
    if (CollisionHitCount == 1)
        return IsWater(CollisionHits[0]) == water ? CollisionHits[0].height : defaultHeight;
    bool above = false, below = false;
    float bestAbove = 0.0f, bestBelow = 0.0f;
    for (uint32_t i = 0; i < CollisionHitCount; ++i) {
        const CollisionHit& h = CollisionHits[i];
        if (IsWater(h) != water) continue;
        const float d = h.height - point.y;
        if (d >= 0.0f && d < range) {
            if (!above || h.height < bestAbove) bestAbove = h.height;
            above = true;
        } else if (d < 0.0f) {
            if (!below || h.height > bestBelow) bestBelow = h.height;
            below = true;
        }
    }
    return above ? bestAbove : (below ? bestBelow : defaultHeight);
}

// The lowest (or highest) solid hit strictly between lo and hi, else the fallback; a lone hit
// answers its height, or the fallback when it is water.
float SolidBetween(float lo, float hi, bool lowest, float fallback) {
    if (CollisionHitCount == 1) return IsWater(CollisionHits[0]) ? fallback : CollisionHits[0].height;
    bool found = false;
    float best = fallback;
    for (uint32_t i = 0; i < CollisionHitCount; ++i) {
        const CollisionHit& h = CollisionHits[i];
        if (IsWater(h) || !(h.height > lo && h.height < hi)) continue;
        if (!found || (lowest ? h.height < best : h.height > best)) best = h.height;
        found = true;
    }
    return best;
}

// The body of GroundHeightAt over the gathered floor hits; *chosen is the floor's hit or -1.
uint32_t ReduceGround(const Vec3& point, float step, float defaultHeight, float* floor, float* surface,
                      int32_t* chosen) {
    *chosen = -1;
    if (CollisionHitCount == 0) {
        *floor = *surface = defaultHeight;
        return 0;
    }
    if (CollisionHitCount == 1 && IsWater(CollisionHits[0])) {
        *floor = kLowest;
        *surface = CollisionHits[0].height;
        return 1;
    }
    int32_t solidAbove = -1, solidBelow = -1, waterAbove = -1, waterBelow = -1;
    float solidAboveH = kLowest, solidBelowH = kLowest, waterAboveH = kHighest, waterBelowH = kLowest;
    for (uint32_t i = 0; i < CollisionHitCount; ++i) {
        const CollisionHit& h = CollisionHits[i];
        const float d = h.height - point.y;
        const int32_t index = static_cast<int32_t>(i);
        if (!IsWater(h)) {
            if (d >= 0.0f && d < step) {
                if (solidAbove < 0 || h.height > solidAboveH) solidAbove = index, solidAboveH = h.height;
            } else if (d < 0.0f) {
                if (solidBelow < 0 || h.height > solidBelowH) solidBelow = index, solidBelowH = h.height;
            }
        } else if (d >= 0.0f) {
            if (waterAbove < 0 || h.height < waterAboveH) waterAbove = index, waterAboveH = h.height;
        } else if (waterBelow < 0 || h.height > waterBelowH) {
            waterBelow = index, waterBelowH = h.height;
        }
    }
    *chosen = solidAbove >= 0 ? solidAbove : solidBelow;
    *floor = *chosen >= 0 ? CollisionHits[*chosen].height : defaultHeight;
    *surface = *floor;
    float water;
    if (waterAbove >= 0 && (waterAboveH - point.y < step || waterBelow < 0)) {
        water = waterAboveH;
    } else if (waterBelow >= 0) {
        water = waterBelowH;
    } else {
        return 0;
    }
    if (water > *floor) {
        *surface = water;
        return 1;
    }
    return 0;
}

// Moves the body and gathers what it touches there; with no contact the move stands (true).
bool MoveAndCollide(CollisionBody* body, const Vec3& motion, NztBase3D* asker) {
    body->centre = body->centre + motion;
    CollideSphere(body, asker);
    if (CollisionHitCount == 0) return true;
    body->centre = body->centre - motion;
    return false;
}

template <bool kInWater>
uint32_t Slide(CollisionBody* body, Vec3* motion, SweepHitRecord* hit, float axisFlags[3], NztBase3D* asker) {
    if (kInWater) axisFlags[0] = axisFlags[1] = axisFlags[2] = 1.0f;
    if (IsZero(*motion)) return 0;
    if (MoveAndCollide(body, *motion, asker)) return 0;
    const Vec3 before = *motion;
    uint32_t result = 0;
    for (uint32_t i = 0; i < CollisionHitCount; ++i) {
        const CollisionHit& h = CollisionHits[i];
        if (IsWater(h)) {
            if (!kInWater) continue;
            *motion = *motion * 0.9f;
        } else if (h.hitType == HitTypeTouch) {
            hit->touchedType = HitTypeTouch;
            hit->touchedObject = h.object;
            continue;
        }
        const float d = Dot(h.normal, *motion);
        if (d < 0.0f) {
            hit->hitType = h.hitType;
            hit->normal = h.normal;
            hit->object = h.object;
            *motion = *motion - h.normal * d;
            result = h.hitType;
        }
    }
    body->centre = body->centre + *motion;
    if (kInWater) {
        const float b[3] = {before.x, before.y, before.z};
        const float a[3] = {motion->x, motion->y, motion->z};
        for (int k = 0; k < 3; ++k) {
            const bool stopped = (b[k] > 0.0f && a[k] <= 0.1f) || (b[k] < 0.0f && a[k] >= -0.1f);
            axisFlags[k] = stopped ? -1.0f : 1.0f;
        }
    }
    return result;
}

// Most slides one sweep walks: a motion of absurd length for the body (from bad data or a tiny
// radius) is walked this many diameters at most instead of stalling the frame.
constexpr double kMaxSweepSlides = 65536.0;

template <bool kInWater>
uint32_t Sweep(CollisionBody* body, Vec3* motion, SweepHitRecord* hit, float axisFlags[3], NztBase3D* asker) {
    hit->touchedType = 0;
    hit->touchedObject = nullptr;
    hit->hitType = 0;
    hit->object = nullptr;
    if (IsZero(*motion)) return 0;
    const float m = std::fmax(std::fabs(motion->x), std::fmax(std::fabs(motion->y), std::fabs(motion->z)));
    const float diameter = 2.0f * body->radius;
    uint32_t n = 1;
    Vec3 step = *motion;
    // A body without a positive radius slides the whole motion at once (the division below would
    // ask for endless slides).
    if (diameter > 0.0f && m > diameter) {
        const float length = std::sqrt(Dot(*motion, *motion));
        n = static_cast<uint32_t>(std::fmin(std::floor(double(length) / double(diameter)), kMaxSweepSlides));
        step = *motion * (diameter / length);
    }
    *motion = {0.0f, 0.0f, 0.0f};
    for (uint32_t i = 0; i < n; ++i) {
        Vec3 part = step;
        const uint32_t result = Slide<kInWater>(body, &part, hit, axisFlags, asker);
        *motion = *motion + part;
        if (result != 0) return result;
    }
    return 0;
}

int32_t RoundAngle(float h1, float h2) {
    if (h1 == h2) return 0;
    return RoundToInt(std::atan2(0.25f * (h1 - h2), 1.0f) * AngleUnitsPerRadian);
}

uint32_t Tilt(NztBaseObject* object, int32_t* pitch, int32_t* roll, bool water) {
    if (object == nullptr) return 0;  // a mesh posed without an owner has no ground to tilt to
    const Vec3 p{object->Position[0], object->Position[1], object->Position[2]};
    const Vec3 r0{object->rotation[0], object->rotation[1], object->rotation[2]};
    const Vec3 r2{object->rotation[6], object->rotation[7], object->rotation[8]};
    // The object is the asker: its own triangles (and what it carries) are not its ground.
    auto probe = [&](const Vec3& at) {
        return water ? WaterHeightAt(at, 10.0f, at.y, object) : NearestSurface(at, 10.0f, at.y, object);
    };
    *pitch = RoundAngle(probe(p + r2 * 2.0f), probe(p - r2 * 2.0f));
    *roll = RoundAngle(probe(p + r0 * 2.0f), probe(p - r0 * 2.0f));
    return 1;
}

}  // namespace

void NoteCharacterBoxMoved(NztCollideObject* object) {
    ForgetVerticalLists(object, false);
    CharacterIndex& ix = Characters;
    const int32_t slot = object->characterSlot;
    if (!ix.valid || !ix.usable || slot < 0 || size_t(slot) >= ix.slots.size() || ix.slots[size_t(slot)].object != object)
        return;
    // A character gone beyond the room left around the crowd: the grid is laid out again.
    if (!List(slot, true)) ix.valid = false;
}

void ForgetCharacterBox(const NztCollideObject* object) {
    ForgetVerticalLists(object, true);
    CharacterIndex& ix = Characters;
    const int32_t slot = object->characterSlot;
    if (ix.valid && slot >= 0 && size_t(slot) < ix.slots.size() && ix.slots[size_t(slot)].object == object)
        ix.valid = false;
}

void CollideSphere(const CollisionBody* body, NztBase3D* asker) {
    Gather<SphereCollector, true>(SphereCollector(*body), FindCollideCellAt(body->centre), asker);
}

void CollideSegment(const Vec3& a, const Vec3& b, NztBase3D* asker) {
    Gather<SegmentCollector, true>(SegmentCollector{a, b}, FindCollideCellOnSegment(a, b), asker);
}

void CollideFloorProbe(const Vec3& point, NztBase3D* asker) {
    Gather<FloorCollector, true>(FloorCollector{point}, FindCollideCellAt(point), asker);
}

void CollideCeilingProbe(const Vec3& point, NztBase3D* asker) {
    Gather<CeilingCollector, true>(CeilingCollector{point}, FindCollideCellAt(point), asker);
}

void CollideSphereReference(const CollisionBody* body, NztBase3D* asker) {
    Gather<SphereCollector, false>(SphereCollector(*body), -1, asker);
}

void CollideSegmentReference(const Vec3& a, const Vec3& b, NztBase3D* asker) {
    Gather<SegmentCollector, false>(SegmentCollector{a, b}, -1, asker);
}

void CollideFloorProbeReference(const Vec3& point, NztBase3D* asker) {
    Gather<FloorCollector, false>(FloorCollector{point}, -1, asker);
}

void CollideCeilingProbeReference(const Vec3& point, NztBase3D* asker) {
    Gather<CeilingCollector, false>(CeilingCollector{point}, -1, asker);
}

uint32_t GroundHeightAt(const Vec3& point, float step, float defaultHeight, float* floor, float* surface,
                        NztBase3D* asker) {
    CollideFloorProbe(point, asker);
    int32_t chosen;
    return ReduceGround(point, step, defaultHeight, floor, surface, &chosen);
}

uint32_t FindStandingSurface(const Vec3& point, float step, float defaultHeight, float* floor, float* surface,
                             StandingProbe* probe, NztBase3D* asker) {
    CollideFloorProbe(point, asker);
    int32_t chosen;
    const uint32_t result = ReduceGround(point, step, defaultHeight, floor, surface, &chosen);
    *probe = StandingProbe{};
    if (chosen >= 0) {
        const CollisionHit& h = CollisionHits[chosen];
        probe->hitType = h.hitType;
        probe->normal[0] = h.normal.x;
        probe->normal[1] = h.normal.y;
        probe->normal[2] = h.normal.z;
        probe->object = h.object;
    }
    return result;
}

float WaterHeightAt(const Vec3& point, float range, float defaultHeight, NztBase3D* asker) {
    CollideFloorProbe(point, asker);
    return NearestOfKind(point, range, defaultHeight, true);
}

float NearestSurface(const Vec3& point, float range, float defaultHeight) {
    return NearestSurface(point, range, defaultHeight, nullptr);
}

float NearestSurface(const Vec3& point, float range, float defaultHeight, NztBase3D* asker) {
    CollideFloorProbe(point, asker);
    return NearestOfKind(point, range, defaultHeight, false);
}

float CeilingWithinHeight(const Vec3& point, float height, NztBase3D* asker) {
    CollideFloorProbe(point, asker);
    return SolidBetween(point.y, point.y + height, true, point.y + CollisionProbeReach);
}

float FloorBelow(const Vec3& point, float depth, NztBase3D* asker) {
    CollideFloorProbe(point, asker);
    return SolidBetween(point.y - depth, point.y, false, point.y - CollisionProbeReach);
}

float CeilingAbove(const Vec3& point, float height, NztBase3D* asker) {
    CollideCeilingProbe(point, asker);
    return SolidBetween(point.y, point.y + height, true, point.y + CollisionProbeReach);
}

uint32_t CollideSegmentNearest(const Vec3& start, const Vec3& end, Vec3* point) {
    const Vec3 span = end - start;
    float best = Dot(span, span);
    uint32_t result = 0;
    for (uint32_t i = 0; i < CollisionHitCount; ++i) {
        const CollisionHit& h = CollisionHits[i];
        if (h.hitType == HitTypeWater || h.hitType == HitTypeTouch) continue;
        // Only a real crossing counts: the plane point of a rejected test may lie anywhere.
        Vec3 crossing;
        if (!IntersectSegmentTriangle(h.v[0], h.v[1], h.v[2], start, end, crossing)) continue;
        const Vec3 d = crossing - start;
        const float distance = Dot(d, d);
        if (distance < best) {
            best = distance;
            *point = crossing;
            result = h.hitType;
        }
    }
    return result;
}

NztCollideObject* FindWallAhead(CollisionBody* body, const Vec3& motion, uint32_t typeFilter, Vec3* normal,
                                NztBase3D* asker) {
    if (IsZero(motion)) return nullptr;
    if (MoveAndCollide(body, motion, asker)) return nullptr;
    for (uint32_t i = 0; i < CollisionHitCount; ++i) {
        const CollisionHit& h = CollisionHits[i];
        if ((typeFilter == 0 || h.hitType == typeFilter) && Dot(h.normal, motion) < 0.0f) {
            *normal = h.normal;
            return h.object;
        }
    }
    return nullptr;
}

uint32_t SlideStep(CollisionBody* body, Vec3* motion, SweepHitRecord* hit, NztBase3D* asker) {
    return Slide<false>(body, motion, hit, nullptr, asker);
}

uint32_t SlideStepInWater(CollisionBody* body, Vec3* motion, SweepHitRecord* hit, float axisFlags[3],
                          NztBase3D* asker) {
    return Slide<true>(body, motion, hit, axisFlags, asker);
}

uint32_t SweepCollisionBody(CollisionBody* body, Vec3* motion, SweepHitRecord* hit) {
    return SweepCollisionBody(body, motion, hit, nullptr);
}

uint32_t SweepCollisionBody(CollisionBody* body, Vec3* motion, SweepHitRecord* hit, NztBase3D* asker) {
    return Sweep<false>(body, motion, hit, nullptr, asker);
}

uint32_t SweepCollisionBodyInWater(CollisionBody* body, Vec3* motion, SweepHitRecord* hit, float axisFlags[3],
                                   NztBase3D* asker) {
    return Sweep<true>(body, motion, hit, axisFlags, asker);
}

uint32_t ComputeSurfaceTilt(NztBaseObject* object, int32_t* pitch, int32_t* roll) {
    return Tilt(object, pitch, roll, false);
}

uint32_t ComputeGroundTilt(NztBaseObject* object, int32_t* pitch, int32_t* roll) {
    return Tilt(object, pitch, roll, true);
}

// ---------------------------------------------------------------------------------------------
// The queries posing and ground following make (objects/posing.h)

PoseWorldCalls PoseWorld = {FindStandingSurface, NearestSurface, SweepCollisionBody, ComputeSurfaceTilt,
                            ComputeGroundTilt};

void ResetPoseWorld() {
    PoseWorld = {FindStandingSurface, NearestSurface, SweepCollisionBody, ComputeSurfaceTilt,
                 ComputeGroundTilt};
}
