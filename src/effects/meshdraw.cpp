#include "effects/meshdraw.h"

#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/config.h"
#include "effects/shading.h"
#include "model/mesh.h"
#include "objects/registry.h"
#include "render/glext.h"
#include "render/renderstate.h"
#include "render/texture.h"

MeshDrawGlCalls MeshGl;

namespace {

// Blend modes of SelectBlendMode used here.
constexpr uint32_t kBlendSrcAlpha = 6;    // SRC_ALPHA, ONE_MINUS_SRC_ALPHA
constexpr uint32_t kBlendMultiply = 9;    // DST_COLOR, ZERO
constexpr GLsizei kVectorStride = sizeof(Vec3);  // light and layer-3 vectors: three floats

bool BumpMappingOn() { return UserConfig.bumpMapping != 0; }

uint32_t MaterialTotal(const NztMesh* m) { return m->Materials ? m->MaterialCount : 0; }
// Materials below this index form the blended run, the others the opaque run.
uint32_t FirstOpaque(const NztMesh* m) { return std::min(m->FirstLayer3Material, MaterialTotal(m)); }

const MeshLod& DrawnLod(const NztMesh* m) { return m->Lods[std::min<uint32_t>(m->DrawLod, MeshLodCount - 1)]; }

// A layer's GL name; a missing layer binds no texture.
GLuint TextureName(int32_t texture) { return texture > 0 ? static_cast<GLuint>(texture) : 0; }

bool HasSecondLayer(const NztMesh* m, const MeshMaterial& mat) { return m->HasLayer2 && mat.Layer2 >= 0; }

// One wave texcoord copy of the three-unit path; a mesh loaded without the wave has none and
// draws with its plain texcoords instead.
const float* WaveTexCoordCopy(const NztMesh* m, bool scaled) {
    const MeshLod& l = DrawnLod(m);
    const std::vector<float>& copy = scaled ? l.WaveTexCoordsScaled : l.WaveTexCoords;
    const float* p = scaled ? m->WaveTexCoordsScaled : m->WaveTexCoords;
    return p && !copy.empty() && copy.size() >= l.TexCoords.size() ? p : m->TexCoords;
}

// Texcoord array of a unit from data, switched on. Unit 0's switch is the cached one; the cache
// holds no switch for the other units, which every routine leaves off.
void TexCoordsOn(uint32_t unit, GLint size, GLsizei stride, const void* data) {
    SelectClientActiveTexture(unit);
    MeshGl.TexCoordPointer(size, GL_FLOAT, stride, data);
    if (unit == 0)
        SwitchTexCoordArray(true);
    else
        GlCore.EnableClientState(GL_TEXTURE_COORD_ARRAY);
}

// The one way a texture reaches a unit: the unit made active, the texture bound to the target,
// the target enabled on units other than 0 (unit 0's 2D texturing is the caller's), and the cached
// unit-0 texture forgotten.
void BindOnUnit(uint32_t unit, GLenum target, int32_t texture) {
    SelectActiveTexture(unit);
    MeshGl.BindTexture(target, TextureName(texture));
    if (unit != 0) GlCore.Enable(target);
    BoundTextureId = 0;
}

// Texturing and the texcoord array of a unit above 0 off.
void UnitOff(uint32_t unit, GLenum target) {
    SelectActiveTexture(unit);
    GlCore.Disable(target);
    SelectClientActiveTexture(unit);
    GlCore.DisableClientState(GL_TEXTURE_COORD_ARRAY);
}

// Layer 1 on unit 0, bound only when the cache holds another texture. No texture (0) is always
// sent: the cache's 0 means that nothing is known.
void BindLayer1Cached(int32_t texture) {
    ResetActiveTexture();
    const GLuint name = TextureName(texture);
    if (name != 0 && name == BoundTextureId) return;
    MeshGl.BindTexture(GL_TEXTURE_2D, name);
    BoundTextureId = name;
}

void EnvMode(GLint mode) { MeshGl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, mode); }

// The unit's own texture replaces the colour.
void EnvReplaceWithTexture() {
    EnvMode(GL_COMBINE);
    MeshGl.TexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_REPLACE);
    MeshGl.TexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_TEXTURE);
}

// The unit's texture dotted with the previous unit's result.
void EnvDot3() {
    EnvMode(GL_COMBINE);
    MeshGl.TexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_DOT3_RGB);
}

void DrawMaterial(const MeshMaterial& mat) {
    uint64_t count = std::min<uint64_t>(mat.IndexCount, mat.Indices.size());
    count = std::min<uint64_t>(count - count % 3, INT32_MAX - 2);
    if (count == 0) return;
    MeshGl.DrawElements(GL_TRIANGLES, static_cast<GLsizei>(count), GL_UNSIGNED_INT, mat.Indices.data());
}

// A flat material takes one colour with the colour array off; the others the vertex colours.
void VertexOrFlatColour(const MeshMaterial& mat, float r, float g, float b, float a) {
    if (mat.Word1 != 0) {
        SwitchColorArray(false);
        MeshGl.Color4f(r, g, b, a);
    } else {
        SwitchColorArray(true);
    }
}

// Vertex array, the vertex colours when asked for (else the colour array off) and the plain
// texcoords on unit 0. False when the object bound nothing to draw from.
bool SetMeshArrays(NztMesh* m, bool colours) {
    if (!m->PosedVertices || !m->TexCoords || (colours && !m->VertexColours)) return false;
    PrepareShadingArrays(m);
    ResetClientActiveTexture();
    SwitchVertexArray(true);
    MeshGl.VertexPointer(3, GL_FLOAT, 0, m->PosedVertices);
    if (colours) {
        MeshGl.ColorPointer(4, GL_FLOAT, 0, m->VertexColours);
        SwitchColorArray(true);
    } else {
        SwitchColorArray(false);
    }
    TexCoordsOn(0, 2, 0, m->TexCoords);
    return true;
}

void ResetUnits() {
    ResetClientActiveTexture();
    ResetActiveTexture();
}

// Layer 1 with layer 2 added on unit 1 over Layer2TexCoords; unit 0 takes the given texcoords.
void DrawWithLayer2Added(NztMesh* m, const MeshMaterial& mat, const float* unit0TexCoords) {
    TexCoordsOn(0, 2, 0, unit0TexCoords);
    BindOnUnit(0, GL_TEXTURE_2D, mat.Layer1);
    TexCoordsOn(1, 2, 0, m->Layer2TexCoords.data());
    BindOnUnit(1, GL_TEXTURE_2D, mat.Layer2);
    EnvMode(GL_ADD);
    DrawMaterial(mat);
    UnitOff(1, GL_TEXTURE_2D);
}

// Layer 1, with layer 2 added when the material has one.
void DrawLayered(NztMesh* m, const MeshMaterial& mat) {
    if (HasSecondLayer(m, mat)) {
        DrawWithLayer2Added(m, mat, m->TexCoords);
    } else {
        BindLayer1Cached(mat.Layer1);
        DrawMaterial(mat);
    }
}

// Materials end - 1 down to first without vertex colours: the sun colour times the tint, flat
// materials in the tint itself.
void DrawUnlitRun(NztMesh* m, uint32_t first, uint32_t end, bool ownBlendModes) {
    const float* tint = m->Tint;
    const float lit[3] = {SunColour[0] * tint[0], SunColour[1] * tint[1], SunColour[2] * tint[2]};
    for (uint32_t i = end; i-- > first;) {
        const MeshMaterial& mat = m->Materials[i];
        if (ownBlendModes) SelectBlendMode(mat.Word2);
        const float* c = mat.Word1 != 0 ? tint : lit;
        MeshGl.Color4f(c[0], c[1], c[2], m->MeshAlpha);
        BindLayer1Cached(mat.Layer1);
        DrawMaterial(mat);
    }
}

// The three-unit path over materials end - 1 down to first. The blended run keeps the caller's
// blending on and sets each material's own mode first.
void DrawThreeUnitRun(NztMesh* m, uint32_t first, uint32_t end, bool blended) {
    if (!SetMeshArrays(m, true)) return;
    const float* wave = WaveTexCoordCopy(m, false);
    const float* waveScaled = WaveTexCoordCopy(m, true);
    const float alpha = m->ThreeUnitAlpha;
    if (m->HasLayer3 && BumpMappingOn()) {
        if (m->HasLayer2 && !m->UseLayer3Vectors) ComputeLightPlanarTexCoords(m);
        for (uint32_t i = end; i-- > first;) {
            const MeshMaterial& mat = m->Materials[i];
            if (blended) SelectBlendMode(mat.Word2);
            // The bump value: two scrolling samples of the bump map added, dotted with the light.
            TexCoordsOn(0, 2, 0, wave);
            BindOnUnit(0, GL_TEXTURE_2D, mat.Layer3);
            EnvReplaceWithTexture();
            TexCoordsOn(1, 2, 0, waveScaled);
            BindOnUnit(1, GL_TEXTURE_2D, mat.Layer3);
            EnvMode(GL_ADD);
            TexCoordsOn(2, 3, kVectorStride, m->LightVectors.data());
            BindOnUnit(2, GL_TEXTURE_CUBE_MAP, static_cast<int32_t>(RenderState.normalizationCubeMap));
            EnvDot3();
            DrawMaterial(mat);
            UnitOff(2, GL_TEXTURE_CUBE_MAP);
            UnitOff(1, GL_TEXTURE_2D);
            // The base multiplied onto it. Unit 0 stays on REPLACE: its RGB is layer 1 alone and
            // the vertex or flat colour reaches only the alpha.
            if (!blended) SwitchBlend(true);
            SelectBlendMode(kBlendMultiply);
            VertexOrFlatColour(mat, 1.0f, 1.0f, 1.0f, alpha);
            TexCoordsOn(0, 2, 0, m->TexCoords);
            BindOnUnit(0, GL_TEXTURE_2D, mat.Layer1);
            GLenum unit1 = 0;
            if (m->UseLayer3Vectors) {
                TexCoordsOn(1, 3, kVectorStride, m->Layer3Vectors.data());
                BindOnUnit(1, GL_TEXTURE_CUBE_MAP, static_cast<int32_t>(RenderState.skyCubeMap));
                EnvMode(GL_MODULATE);
                unit1 = GL_TEXTURE_CUBE_MAP;
            } else if (mat.Layer2 >= 0) {
                TexCoordsOn(1, 2, 0, m->Layer2TexCoords.data());
                BindOnUnit(1, GL_TEXTURE_2D, mat.Layer2);
                EnvMode(GL_MODULATE);
                unit1 = GL_TEXTURE_2D;
            }
            DrawMaterial(mat);
            if (unit1 != 0) UnitOff(1, unit1);
            if (!blended) SwitchBlend(false);
        }
        ResetUnits();
        EnvMode(GL_MODULATE);
        return;
    }
    if (m->HasLayer2) {
        ComputeLightPlanarTexCoords(m);
        for (uint32_t i = end; i-- > first;) {
            const MeshMaterial& mat = m->Materials[i];
            if (blended) SelectBlendMode(mat.Word2);
            VertexOrFlatColour(mat, 1.0f, 1.0f, 1.0f, alpha);
            if (mat.Layer2 >= 0) {
                DrawWithLayer2Added(m, mat, wave);
            } else {
                // Drawn with whatever texcoords unit 0 holds: the wave copy once a material with
                // a second layer has set it.
                BindLayer1Cached(mat.Layer1);
                DrawMaterial(mat);
            }
        }
        ResetUnits();
        return;
    }
    for (uint32_t i = end; i-- > first;) {
        const MeshMaterial& mat = m->Materials[i];
        VertexOrFlatColour(mat, 1.0f, 1.0f, 1.0f, alpha);
        if (blended) SelectBlendMode(mat.Word2);
        BindLayer1Cached(mat.Layer1);
        DrawMaterial(mat);
    }
    ResetUnits();
}

}  // namespace

void ResetActiveTexture() { SelectActiveTexture(0); }
void ResetClientActiveTexture() { SelectClientActiveTexture(0); }

void EnableTexture2DCached() {
    // The cached switch is unit 0's.
    ResetActiveTexture();
    SwitchTexture2D(true);
}

void DisableBlendCached() { SwitchBlend(false); }

uint32_t MeshDrawSwitch = 1;

void DrawMeshOpaque(NztMesh* mesh) {
    if (!mesh || !mesh->DrawEnabled || MeshDrawSwitch == 0) return;
    if (mesh->TexWave == 1) {
        DrawMeshThreeUnitOpaque(mesh);
        return;
    }
    if (!SetMeshArrays(mesh, true)) return;
    const uint32_t first = FirstOpaque(mesh), end = MaterialTotal(mesh);
    const float alpha = mesh->MeshAlpha;
    if (mesh->HasLayer3 && BumpMappingOn()) {
        if (mesh->HasLayer2) ComputeReflectionTexCoords(mesh);
        for (uint32_t i = end; i-- > first;) {
            const MeshMaterial& mat = mesh->Materials[i];
            // The bump map dotted with the light vectors...
            TexCoordsOn(0, 2, 0, mesh->TexCoords);
            BindOnUnit(0, GL_TEXTURE_2D, mat.Layer3);
            EnvReplaceWithTexture();
            TexCoordsOn(1, 3, kVectorStride, mesh->LightVectors.data());
            BindOnUnit(1, GL_TEXTURE_CUBE_MAP, static_cast<int32_t>(RenderState.normalizationCubeMap));
            EnvDot3();
            DrawMaterial(mat);
            UnitOff(1, GL_TEXTURE_CUBE_MAP);
            // ...then the lit base multiplied onto it.
            SwitchBlend(true);
            SelectBlendMode(kBlendMultiply);
            VertexOrFlatColour(mat, 1.0f, 1.0f, 1.0f, alpha);
            TexCoordsOn(0, 2, 0, mesh->TexCoords);
            BindOnUnit(0, GL_TEXTURE_2D, mat.Layer1);
            EnvMode(GL_MODULATE);
            const bool layer2 = HasSecondLayer(mesh, mat);
            if (layer2) {
                TexCoordsOn(1, 2, 0, mesh->Layer2TexCoords.data());
                BindOnUnit(1, GL_TEXTURE_2D, mat.Layer2);
                EnvMode(GL_ADD);
            }
            DrawMaterial(mat);
            if (layer2) UnitOff(1, GL_TEXTURE_2D);
            SwitchBlend(false);
        }
    } else {
        if (mesh->HasLayer2) {
            if (mesh->TexWave == 3)
                ComputeWaveTexCoords(mesh);
            else
                ComputeReflectionTexCoords(mesh);
        }
        for (uint32_t i = end; i-- > first;) {
            const MeshMaterial& mat = mesh->Materials[i];
            VertexOrFlatColour(mat, 1.0f, 1.0f, 1.0f, alpha);
            DrawLayered(mesh, mat);
        }
    }
    ResetUnits();
}

void DrawMeshThreeUnitOpaque(NztMesh* mesh) {
    if (!mesh || !mesh->DrawEnabled || MeshDrawSwitch == 0) return;
    DrawThreeUnitRun(mesh, FirstOpaque(mesh), MaterialTotal(mesh), false);
}

void DrawMeshThreeUnitBlended(NztMesh* mesh) {
    if (!mesh || MeshDrawSwitch == 0) return;
    DrawThreeUnitRun(mesh, 0, FirstOpaque(mesh), true);
}

void DrawMeshSecondPass(NztMesh* mesh) {
    if (!mesh || MeshDrawSwitch == 0) return;
    const uint32_t blendedEnd = FirstOpaque(mesh);
    if (blendedEnd == 0) return;
    if (mesh->TexWave == 1) {
        DrawMeshThreeUnitBlended(mesh);
        return;
    }
    if (!SetMeshArrays(mesh, true)) return;
    if (mesh->HasLayer2) ComputeReflectionTexCoords(mesh);
    for (uint32_t i = blendedEnd; i-- > 0;) {
        const MeshMaterial& mat = mesh->Materials[i];
        SelectBlendMode(mat.Word2);
        VertexOrFlatColour(mat, 1.0f, 1.0f, 1.0f, mesh->MeshAlpha);
        DrawLayered(mesh, mat);
    }
    ResetUnits();
}

void DrawMeshSecondPassFaded(NztMesh* mesh) {
    if (!mesh || MeshDrawSwitch == 0 || !SetMeshArrays(mesh, true)) return;
    const uint32_t first = FirstOpaque(mesh), end = MaterialTotal(mesh);
    const float* tint = mesh->Tint;
    SelectBlendMode(kBlendSrcAlpha);
    SwitchDepthWrite(true);
    for (uint32_t i = end; i-- > first;) {
        const MeshMaterial& mat = mesh->Materials[i];
        VertexOrFlatColour(mat, tint[0], tint[1], tint[2], mesh->MeshAlpha);
        BindLayer1Cached(mat.Layer1);
        DrawMaterial(mat);
    }
    SwitchDepthWrite(false);
    for (uint32_t i = first; i-- > 0;) {
        const MeshMaterial& mat = mesh->Materials[i];
        SelectBlendMode(mat.Word2);
        VertexOrFlatColour(mat, tint[0], tint[1], tint[2], mesh->MeshAlpha);
        BindLayer1Cached(mat.Layer1);
        DrawMaterial(mat);
    }
    ResetUnits();
}

void DrawMeshOpaqueRun(NztMesh* mesh, bool unlit) {
    if (unlit) {
        DrawMeshSimple(mesh);
    } else {
        ComputeMeshLighting(mesh);
        DrawMeshOpaque(mesh);
    }
}

void DrawMeshSimple(NztMesh* mesh) {
    if (!mesh || !mesh->DrawEnabled || MeshDrawSwitch == 0 || !SetMeshArrays(mesh, false)) return;
    DrawUnlitRun(mesh, FirstOpaque(mesh), MaterialTotal(mesh), false);
    ResetUnits();
}

void DrawMeshAlpha(NztMesh* mesh) {
    if (!mesh || MeshDrawSwitch == 0 || !SetMeshArrays(mesh, false)) return;
    DrawUnlitRun(mesh, 0, FirstOpaque(mesh), true);
    ResetUnits();
}

void DrawMeshAlphaFaded(NztMesh* mesh) {
    if (!mesh || MeshDrawSwitch == 0 || !SetMeshArrays(mesh, false)) return;
    const uint32_t first = FirstOpaque(mesh);
    SelectBlendMode(kBlendSrcAlpha);
    SwitchDepthWrite(true);
    DrawUnlitRun(mesh, first, MaterialTotal(mesh), false);
    SwitchDepthWrite(false);
    DrawUnlitRun(mesh, 0, first, true);
    ResetUnits();
}

void DrawMeshFlatColor(NztMesh* mesh, float r, float g, float b, float a) {
    if (!mesh || !mesh->PosedVertices) return;
    ResetClientActiveTexture();
    SwitchVertexArray(true);
    MeshGl.VertexPointer(3, GL_FLOAT, 0, mesh->PosedVertices);
    SwitchColorArray(false);
    // The texcoord array is left as it is, but never pointing at another mesh's data.
    if (mesh->TexCoords) MeshGl.TexCoordPointer(2, GL_FLOAT, 0, mesh->TexCoords);
    MeshGl.Color4f(r, g, b, a);
    for (uint32_t i = MaterialTotal(mesh); i-- > 0;) DrawMaterial(mesh->Materials[i]);
}

void DrawSkyMesh(NztMesh* mesh, float g) {
    if (!mesh || !SetMeshArrays(mesh, false)) return;
    MeshGl.Color4f(g, g, g, g);
    if (mesh->HasLayer2) ComputeReflectionTexCoords(mesh);
    for (uint32_t i = MaterialTotal(mesh); i-- > 0;) {
        const MeshMaterial& mat = mesh->Materials[i];
        SelectBlendMode(mat.Word2);
        DrawLayered(mesh, mat);
    }
    ResetUnits();
}

void DrawMeshVertexColored(NztMesh* mesh) {
    if (!mesh || !SetMeshArrays(mesh, true)) return;
    ComputeSunVertexColours(mesh);
    for (uint32_t i = FirstOpaque(mesh); i-- > 0;) {
        const MeshMaterial& mat = mesh->Materials[i];
        SelectBlendMode(mat.Word2);
        BindLayer1Cached(mat.Layer1);
        DrawMaterial(mat);
    }
    ResetUnits();
}

void DrawMeshPreview(NztMesh* mesh) {
    if (!mesh) return;
    const Vec3 savedPosition = SunPosition;
    const Vec3 savedDirection = SunDirection;
    const float savedColour[3] = {SunColour[0], SunColour[1], SunColour[2]};
    const int32_t savedLights = NearLightRegistry.count;

    // A fixed sun from the lower front left, no near lights, the model fully opaque.
    SunPosition = {-1000.0f, -1000.0f, 1000.0f};
    const float length = std::sqrt(3000000.0f);
    SunDirection = SunPosition * (1.0f / length);
    for (float& c : SunColour) c = 0.75f;
    NearLightRegistry.count = 0;
    // A window's model is no world mesh: the global switch does not hide it.
    const uint32_t savedSwitch = MeshDrawSwitch;
    MeshDrawSwitch = 1;
    mesh->MeshAlpha = 1.0f;
    ComputeMeshLighting(mesh);

    DisableBlendCached();
    EnableTexture2DCached();
    ResetClientActiveTexture();
    SwitchTexCoordArray(true);
    DrawMeshOpaque(mesh);
    SwitchBlend(true);
    SwitchDepthWrite(false);
    DrawMeshSecondPass(mesh);
    SwitchDepthWrite(true);
    SwitchBlend(false);

    SunPosition = savedPosition;
    SunDirection = savedDirection;
    for (int c = 0; c < 3; ++c) SunColour[c] = savedColour[c];
    NearLightRegistry.count = savedLights;
    MeshDrawSwitch = savedSwitch;
}
