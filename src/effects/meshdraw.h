// Drawing of posed meshes with the fixed-function pipeline: client vertex, colour and texcoord
// arrays, one glDrawElements of 32-bit triangle indices per material, up to three texture units
// with texture-environment combiners, the DOT3 bump pass through the normalisation cube map,
// per-material blend modes, and flat-colour, faded, sky and vertex-coloured variants.
//
// Materials come in two runs: the blended run, materials 0 to FirstLayer3Material - 1, and the
// opaque run, the rest. Each run is drawn from its last material down to its first. A material's
// first file word is its flat-colour switch (non-zero: one colour instead of the vertex colours),
// its second its blend mode (1 to 9 of SelectBlendMode).
//
// The switches that the render-state cache holds (arrays, units, unit-0 texture and texturing,
// blend, depth writes) go through it; units 1 and 2 are switched on and off inside each draw. Every
// routine leaves the active and client-active units at 0 and units 1 and 2 with texturing and
// texcoord arrays off. Main thread only.
#pragma once

#include <GL/gl.h>

struct NztMesh;

// The GL calls of the drawing code that the render-state table does not hold. The defaults are
// the library's own functions; tests replace them to record the calls without a context.
struct MeshDrawGlCalls {
    decltype(&::glVertexPointer) VertexPointer = &::glVertexPointer;
    decltype(&::glColorPointer) ColorPointer = &::glColorPointer;
    decltype(&::glTexCoordPointer) TexCoordPointer = &::glTexCoordPointer;
    decltype(&::glDrawElements) DrawElements = &::glDrawElements;
    decltype(&::glBindTexture) BindTexture = &::glBindTexture;
    decltype(&::glTexEnvi) TexEnvi = &::glTexEnvi;
    decltype(&::glColor4f) Color4f = &::glColor4f;
};
extern MeshDrawGlCalls MeshGl;

// The global mesh-drawing switch (script action 76, sub-code 5): while it is 0 the world's mesh
// drawing passes below draw nothing. Models in interface windows, the sky and flat-colour draws are
// not world meshes and stay drawn. 1 at start.
extern uint32_t MeshDrawSwitch;

// The opaque run with vertex colours: plain, second layer added, or the bump pass (bump map
// dotted with the light vectors, then the lit base multiplied onto it). Nothing while DrawEnabled
// is 0; meshes whose TexWave is 1 take the three-unit path.
void DrawMeshOpaque(NztMesh* mesh);
// The opaque run as an object draws it: DrawMeshSimple when unlit, else lit first, then DrawMeshOpaque.
void DrawMeshOpaqueRun(NztMesh* mesh, bool unlit);
// The blended run, each material with its blend mode (the caller has blending on).
void DrawMeshSecondPass(NztMesh* mesh);
// Both runs under source-alpha blending, the opaque one writing depth; flat materials in the tint.
void DrawMeshSecondPassFaded(NztMesh* mesh);
// The opaque run without vertex colours: sun colour times tint, flat materials in the tint.
void DrawMeshSimple(NztMesh* mesh);
// DrawMeshSimple over the blended run, each material with its blend mode.
void DrawMeshAlpha(NztMesh* mesh);
// DrawMeshSimple's colours over both runs under source-alpha blending.
void DrawMeshAlphaFaded(NztMesh* mesh);
// Every material in one colour, vertex positions only (the caller switches texturing off).
void DrawMeshFlatColor(NztMesh* mesh, float r, float g, float b, float a);
// Every material in the grey g (brightness and opacity), each with its blend mode.
void DrawSkyMesh(NztMesh* mesh, float g);
// The blended run in colours lit by the sun alone (the sun's flare test).
void DrawMeshVertexColored(NztMesh* mesh);
// The three-unit path of meshes whose TexWave is 1: two scrolling samples of the bump map dotted
// with the light vectors, then the base multiplied on, with the sky cube map or the second layer.
void DrawMeshThreeUnitOpaque(NztMesh* mesh);
void DrawMeshThreeUnitBlended(NztMesh* mesh);
// A model shown in an interface window: lit by a fixed sun without near lights, both runs drawn;
// the scene's sun and near-light list are left as they were.
void DrawMeshPreview(NztMesh* mesh);

// Small switches over the render-state cache.
void ResetActiveTexture();        // unit 0 active unless the cache says it is
void ResetClientActiveTexture();  // unit 0 client-active unless the cache says it is
void EnableTexture2DCached();     // unit 0's 2D texturing on (the bound texture forgotten)
void DisableBlendCached();
