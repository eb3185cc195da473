#include "effects/shading.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/config.h"
#include "effects/light.h"
#include "model/mesh.h"
#include "objects/posing.h"
#include "objects/registry.h"
#include "objects/sun.h"
#include "render/projection.h"
#include "render/renderstate.h"

namespace {

enum LightKindCode : uint32_t { kPoint = 1, kDarkPoint = 2, kAmbientPoint = 4, kSpot = 5, kDarkSpot = 6 };

// The scroll of the texture wave's offset per call, in texcoord units.
constexpr float kWaveScrollU = 0.0003f;
constexpr float kWaveScrollV = 0.0005f;

// One near light as the vertex loops read it, copied from its NztLight once per call.
struct ShadingLight {
    Vec3 position;
    Vec3 direction;
    float term[3];  // the colour added, or for the dark kinds (1 - colour) taken away
    float outerRangeSquared;
    float innerRange;
    float outerRange;
    float inverseRangeSpan;
    float intensity;
    float bias;
    float targetDistance;
    float inverseTargetDistance;
    float innerCone;
    float outerCone;
    uint32_t kind;
    bool dark;
};

// False for a light that lights nothing: none, inactive, without range, or of a kind without a
// term (0, 3, 7 and unknown kinds).
bool TakeLight(const NztBase3D* object, ShadingLight* out) {
    if (!object) return false;
    const NztLight& l = *static_cast<const NztLight*>(object);
    if (!l.Active || l.OuterRangeSquared == 0.0f) return false;
    const uint32_t kind = l.LightKind;
    if (kind != kPoint && kind != kDarkPoint && kind != kAmbientPoint && kind != kSpot && kind != kDarkSpot)
        return false;
    out->kind = kind;
    out->dark = kind == kDarkPoint || kind == kDarkSpot;
    out->position = {l.Position[0], l.Position[1], l.Position[2]};
    out->direction = {l.Direction[0], l.Direction[1], l.Direction[2]};
    for (int c = 0; c < 3; ++c) out->term[c] = out->dark ? 1.0f - l.Colour[c] : l.Colour[c];
    out->outerRangeSquared = l.OuterRangeSquared;
    out->innerRange = l.InnerRange;
    out->outerRange = l.OuterRange;
    out->inverseRangeSpan = l.InverseRangeSpan;
    out->intensity = l.Intensity;
    out->bias = l.FacingBias;
    out->targetDistance = l.TargetDistance;
    out->inverseTargetDistance = l.InverseTargetDistance2;
    out->innerCone = l.InnerConeCosine;
    out->outerCone = l.OuterConeCosine;
    return true;
}

inline bool IsSpot(uint32_t kind) { return kind == kSpot || kind == kDarkSpot; }

// One light's term at vertex p with normal n, added to (or taken from) c.
inline void ApplyLight(const ShadingLight& l, const Vec3& p, const Vec3& n, float c[3]) {
    const Vec3 D = l.position - p;
    const float d2 = Dot(D, D);
    float weight;
    if (IsSpot(l.kind)) {
        const float t = Dot(l.direction, D);
        // t = 0 puts the vertex level with the light, outside every cone; it is never divided by.
        if (!(t > 0.0f) || t > l.targetDistance) return;
        const float k = Dot(n, D) / t + l.bias;
        if (!(k > 0.0f)) return;
        const float d = std::sqrt(d2);
        const float s = 1.0f - d * l.inverseTargetDistance;
        if (!(s > 0.0f)) return;
        const float ratio = t / d;
        if (ratio > l.innerCone) {
            weight = s * l.intensity * k;
        } else if (ratio > l.outerCone) {
            weight = (1.0f - (ratio - l.innerCone) / (l.outerCone - l.innerCone)) * l.intensity * k * s;
        } else {
            return;
        }
    } else {
        if (!(d2 < l.outerRangeSquared)) return;
        const float d = std::sqrt(d2);
        if (l.kind == kAmbientPoint) {
            weight = d >= l.innerRange ? (l.outerRange - d) * l.inverseRangeSpan * l.intensity : l.intensity;
        } else {
            // A vertex on the light itself has no direction to it: no term.
            if (!(d > 0.0f)) return;
            const float k = Dot(n, D) / d + l.bias;
            if (!(k > 0.0f)) return;
            weight = l.intensity * k;
            if (d >= l.innerRange) weight = (l.outerRange - d) * l.inverseRangeSpan * weight;
        }
    }
    if (l.dark) {
        c[0] -= weight * l.term[0];
        c[1] -= weight * l.term[1];
        c[2] -= weight * l.term[2];
    } else {
        c[0] += weight * l.term[0];
        c[1] += weight * l.term[1];
        c[2] += weight * l.term[2];
    }
}

// The vertices the shading loops walk: the posed vertices of the current LOD, never past the
// base colours of the LOD being drawn. 0 when the object has bound no posed buffers.
uint32_t ShadedVertexCount(const NztMesh* m) {
    if (!m || !m->PosedVertices || !m->PosedNormals) return 0;
    const MeshLod& drawn = m->Lods[std::min<uint32_t>(m->DrawLod, MeshLodCount - 1)];
    return static_cast<uint32_t>(std::min<uint64_t>(m->VertexCount, drawn.ShadingVectors.size()));
}

Vec3 BaseColour(const NztMesh* m, uint32_t i) { return m->ShadingVectors[i]; }

bool SunTermOn(const NztMesh* m) { return SunLighting != 0 && m->SunLit != 0; }

// rgb of vertex i before the near lights.
inline void SunTerm(const Vec3& n, const Vec3& base, bool sunLit, float c[3]) {
    if (sunLit) {
        const float w = Dot(n, SunDirection) + 1.25f;
        c[0] = SunColour[0] * w + base.x;
        c[1] = SunColour[1] * w + base.y;
        c[2] = SunColour[2] * w + base.z;
    } else {
        c[0] = base.x + SunColour[0];
        c[1] = base.y + SunColour[1];
        c[2] = base.z + SunColour[2];
    }
}

inline void StoreColour(float* out, const float c[3], float alpha) {
    out[0] = c[0];
    out[1] = c[1];
    out[2] = c[2];
    out[3] = alpha;
}

// Squared distance from p to the box [lo, hi]; 0 inside.
float BoxDistanceSquared(const Vec3& lo, const Vec3& hi, const Vec3& p) {
    auto gap = [](float v, float a, float b) { return v < a ? a - v : v > b ? v - b : 0.0f; };
    const float x = gap(p.x, lo.x, hi.x), y = gap(p.y, lo.y, hi.y), z = gap(p.z, lo.z, hi.z);
    return x * x + y * y + z * z;
}

// Whether the light can reach any vertex inside the box. Point kinds reach the outer range; spot
// kinds the distance where their falloff s reaches 0. The margin keeps a light whose reach only
// just touches the box, whatever the rounding of the per-vertex distances.
bool ReachesBox(const ShadingLight& l, const Vec3& lo, const Vec3& hi) {
    float reach2 = l.outerRangeSquared;
    if (IsSpot(l.kind)) {
        if (!(l.inverseTargetDistance > 0.0f)) return true;
        const float reach = 1.0f / l.inverseTargetDistance;
        reach2 = reach * reach;
    }
    return !(BoxDistanceSquared(lo, hi, l.position) > reach2 * 1.0001f);
}

// The near lights that can light some posed vertex of the mesh, in the order of the walk (last
// entry of the list first). Scratch kept between calls: the lighting runs every frame.
const std::vector<ShadingLight>& LightsReachingMesh(const NztMesh* m, uint32_t n) {
    static std::vector<ShadingLight> lights;
    lights.clear();
    if (!NearLightRegistry.objects) return lights;
    for (int32_t i = NearLightRegistry.count; i-- > 0;) {
        ShadingLight l;
        if (TakeLight(NearLightRegistry.objects[i], &l)) lights.push_back(l);
    }
    if (lights.empty()) return lights;
    const Vec3* v = m->PosedVertices;
    Vec3 lo = v[0], hi = v[0];
    for (uint32_t i = 1; i < n; ++i) {
        lo = {std::min(lo.x, v[i].x), std::min(lo.y, v[i].y), std::min(lo.z, v[i].z)};
        hi = {std::max(hi.x, v[i].x), std::max(hi.y, v[i].y), std::max(hi.z, v[i].z)};
    }
    lights.erase(std::remove_if(lights.begin(), lights.end(),
                                [&](const ShadingLight& l) { return !ReachesBox(l, lo, hi); }),
                 lights.end());
    return lights;
}

}  // namespace

void PrepareShadingArrays(NztMesh* mesh) {
    if (!mesh) return;
    // GL reads them at the indices of the LOD being drawn, the shading loops up to VertexCount.
    const MeshLod& drawn = mesh->Lods[std::min<uint32_t>(mesh->DrawLod, MeshLodCount - 1)];
    const uint64_t n = std::max(mesh->VertexCount, drawn.VertexCount);
    if (mesh->Layer2TexCoords.size() < n * 2) mesh->Layer2TexCoords.resize(n * 2, 0.0f);
    if (mesh->LightVectors.size() < n) mesh->LightVectors.resize(n, Vec3{0.0f, 0.0f, 0.0f});
    if (mesh->Layer3Vectors.size() < n) mesh->Layer3Vectors.resize(n, Vec3{0.0f, 0.0f, 0.0f});
}

void AddLightContributions(const Vec3& p, const Vec3& n, float colour[3]) {
    if (!NearLightRegistry.objects) return;
    for (int32_t i = NearLightRegistry.count; i-- > 0;) {
        ShadingLight l;
        if (TakeLight(NearLightRegistry.objects[i], &l)) ApplyLight(l, p, n, colour);
    }
}

void LightMeshPlainReference(NztMesh* mesh) {
    const uint32_t n = ShadedVertexCount(mesh);
    if (n == 0 || !mesh->VertexColours) return;
    const bool sunLit = SunTermOn(mesh);
    for (uint32_t i = 0; i < n; ++i) {
        float c[3];
        SunTerm(mesh->PosedNormals[i], BaseColour(mesh, i), sunLit, c);
        if (NearLightRegistry.count > 0) AddLightContributions(mesh->PosedVertices[i], mesh->PosedNormals[i], c);
        StoreColour(mesh->VertexColours + uint64_t{i} * 4, c, mesh->MeshAlpha);
    }
}

// The reference above with the near lights read once, and those whose reach misses the box of
// the posed vertices left out.
void LightMeshPlain(NztMesh* mesh) {
    const uint32_t n = ShadedVertexCount(mesh);
    if (n == 0 || !mesh->VertexColours) return;
    const bool sunLit = SunTermOn(mesh);
    const float alpha = mesh->MeshAlpha;
    const Vec3* vertices = mesh->PosedVertices;
    const Vec3* normals = mesh->PosedNormals;
    const Vec3* base = mesh->ShadingVectors;
    float* out = mesh->VertexColours;
    const std::vector<ShadingLight>& lights = LightsReachingMesh(mesh, n);
    if (lights.empty()) {
        for (uint32_t i = 0; i < n; ++i) {
            float c[3];
            SunTerm(normals[i], base[i], sunLit, c);
            StoreColour(out + uint64_t{i} * 4, c, alpha);
        }
        return;
    }
    const ShadingLight* first = lights.data();
    const ShadingLight* last = first + lights.size();
    for (uint32_t i = 0; i < n; ++i) {
        float c[3];
        SunTerm(normals[i], base[i], sunLit, c);
        for (const ShadingLight* l = first; l != last; ++l) ApplyLight(*l, vertices[i], normals[i], c);
        StoreColour(out + uint64_t{i} * 4, c, alpha);
    }
}

void LightMeshBump(NztMesh* mesh) {
    LightMeshPlain(mesh);
    const uint32_t n = ShadedVertexCount(mesh);
    if (n == 0) return;
    PrepareShadingArrays(mesh);
    Vec3* out = mesh->LightVectors.data();
    for (uint32_t i = 0; i < n; ++i) {
        const Vec3& nm = mesh->PosedNormals[i];
        Vec3 L = SunPosition - mesh->PosedVertices[i];
        const float length = std::sqrt(Dot(L, L));
        if (length != 0.0f) L = L * (1.0f / length);
        out[i] = {nm.x * L.z - (nm.z + nm.y) * L.x, (nm.x - nm.z) * L.y + nm.y * L.z, 1.0f};
    }
}

void LightMeshBumpThreeUnit(NztMesh* mesh) {
    const uint32_t n = ShadedVertexCount(mesh);
    if (n == 0) return;
    PrepareShadingArrays(mesh);
    const bool sunLit = SunTermOn(mesh);
    const bool layer3 = mesh->UseLayer3Vectors != 0;
    const Vec3 eye{CameraPositionCopy[0], CameraPositionCopy[1], CameraPositionCopy[2]};
    const MeshLod& drawn = mesh->Lods[std::min<uint32_t>(mesh->DrawLod, MeshLodCount - 1)];
    // The wave copies exist only for meshes loaded with the texture wave on.
    float* wave = drawn.WaveTexCoords.size() >= uint64_t{n} * 2 ? mesh->WaveTexCoords : nullptr;
    float* scaled = drawn.WaveTexCoordsScaled.size() >= uint64_t{n} * 2 ? mesh->WaveTexCoordsScaled : nullptr;
    for (uint32_t i = 0; i < n; ++i) {
        const Vec3& nm = mesh->PosedNormals[i];
        const Vec3 base = BaseColour(mesh, i);
        if (mesh->VertexColours) {
            float c[3];
            if (sunLit) {
                const float w = Dot(nm, SunDirection) - 1.0f;
                c[0] = base.x + SunColour[0] * w;
                c[1] = base.y + SunColour[1] * w;
                c[2] = base.z + SunColour[2] * w;
            } else {
                c[0] = base.x + SunColour[0];
                c[1] = base.y + SunColour[1];
                c[2] = base.z + SunColour[2];
            }
            StoreColour(mesh->VertexColours + uint64_t{i} * 4, c, mesh->ThreeUnitAlpha);
        }
        mesh->LightVectors[i] = {nm.x - nm.y - nm.z, nm.x + nm.y - nm.z, 1.0f};
        if (layer3) {
            const Vec3 e = mesh->PosedVertices[i] - eye;
            mesh->Layer3Vectors[i] = {(nm.y + nm.z) * e.x + nm.x * e.z, nm.x * e.x + nm.y * e.y + nm.z * e.z,
                                      (nm.x + nm.z) * e.y + nm.y * e.z};
        }
        if (wave) wave[uint64_t{i} * 2 + 1] += mesh->TexWaveRate1;
        if (scaled) scaled[uint64_t{i} * 2 + 1] += mesh->TexWaveRate2;
    }
}

void ComputeMeshLighting(NztMesh* mesh) {
    if (!mesh) return;
    if (mesh->HasLayer3 && UserConfig.bumpMapping) {
        if (mesh->TexWave == 1)
            LightMeshBumpThreeUnit(mesh);
        else
            LightMeshBump(mesh);
    } else {
        LightMeshPlain(mesh);
    }
}

void ComputeReflectionTexCoords(NztMesh* mesh) {
    const uint32_t n = ShadedVertexCount(mesh);
    if (n == 0) return;
    PrepareShadingArrays(mesh);
    // The first two columns of the camera rotation, as the camera matrix holds it.
    const float* m = RenderState.cameraMatrix;
    const Vec3 a{m[0], m[4], m[8]};
    const Vec3 b{m[1], m[5], m[9]};
    float* out = mesh->Layer2TexCoords.data();
    for (uint32_t i = n; i-- > 0;) {
        const Vec3& nm = mesh->PosedNormals[i];
        out[uint64_t{i} * 2] = (Dot(a, nm) + 1.0f) * 0.5f;
        out[uint64_t{i} * 2 + 1] = (1.0f - Dot(b, nm)) * 0.5f;
    }
}

void ComputeWaveTexCoords(NztMesh* mesh) {
    const uint32_t n = ShadedVertexCount(mesh);
    if (n == 0) return;
    PrepareShadingArrays(mesh);
    uint32_t* phaseWord = mesh->WavePhase ? mesh->WavePhase : &mesh->OwnWavePhase;
    const uint32_t phase = (*phaseWord + static_cast<uint32_t>(mesh->TexWaveStep)) & AngleUnitMask;
    *phaseWord = (*phaseWord & ~static_cast<uint32_t>(AngleUnitMask)) | phase;
    float su = 0.0f, sv = 0.0f;
    const MeshLod& drawn = mesh->Lods[std::min<uint32_t>(mesh->DrawLod, MeshLodCount - 1)];
    if (mesh->WaveTexCoords && drawn.WaveTexCoords.size() >= 2) {
        su = mesh->WaveTexCoords[0] += kWaveScrollU;
        sv = mesh->WaveTexCoords[1] += kWaveScrollV;
    }
    const float cu = TableCos(static_cast<int>(phase)) * mesh->TexWaveScale;
    const float sn = TableSin(static_cast<int>(phase)) * mesh->TexWaveScale;
    float* out = mesh->Layer2TexCoords.data();
    for (uint32_t i = 0; i < n; ++i) {
        const Vec3& nm = mesh->PosedNormals[i];
        out[uint64_t{i} * 2] = cu + (nm.z + nm.y) + su;
        out[uint64_t{i} * 2 + 1] = sn + (nm.x - nm.y) + sv;
    }
}

void ComputeLightPlanarTexCoords(NztMesh* mesh) {
    const uint32_t n = ShadedVertexCount(mesh);
    if (n == 0 || !mesh->Vertices) return;
    PrepareShadingArrays(mesh);
    static const float kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const float* r = CameraOrientation();
    if (!r) r = kIdentity;
    // The half extents map the rest x and z onto -1..1, the turned normal adds -1..1; the sum
    // plus 2 over 4 spans the texture once.
    const float sx = mesh->InvHalfSize.x;
    const float sz = mesh->InvHalfSize.z;
    float* out = mesh->Layer2TexCoords.data();
    for (uint32_t i = n; i-- > 0;) {
        const Vec3& nm = mesh->PosedNormals[i];
        const float mx = r[0] * nm.x + r[3] * nm.y + r[6] * nm.z;
        const float my = r[1] * nm.x + r[4] * nm.y + r[7] * nm.z;
        const Vec3& rest = mesh->Vertices[i];
        out[uint64_t{i} * 2] = (rest.x * sx + mx + 2.0f) * 0.25f;
        out[uint64_t{i} * 2 + 1] = (rest.z * sz + my + 2.0f) * 0.25f;
    }
}

void ComputeSunVertexColours(NztMesh* mesh) {
    const uint32_t n = ShadedVertexCount(mesh);
    if (n == 0 || !mesh->VertexColours) return;
    for (uint32_t i = 0; i < n; ++i) {
        const float w = 1.25f - Dot(mesh->PosedNormals[i], SunDirection);
        const Vec3 base = BaseColour(mesh, i);
        const float c[3] = {SunColour[0] * w + base.x, SunColour[1] * w + base.y, SunColour[2] * w + base.z};
        StoreColour(mesh->VertexColours + uint64_t{i} * 4, c, mesh->MeshAlpha);
    }
}
