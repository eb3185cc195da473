// Per-vertex shading inputs of a posed mesh, computed on the processor before it is drawn: vertex
// colours from the sun and the lights near the camera (GL lighting is not used for meshes), the
// light vectors of the DOT3 bump pass, and the second-layer texture coordinates (camera
// reflection, texture wave, planar light mapping). Every routine reads the posed buffers the
// object bound into the mesh and writes only the arrays it names. Main thread only.
//
// Colours are not clamped here: GL clamps them when it draws.
#pragma once

#include <cstdint>

#include "core/nztmath.h"
#include "objects/sun.h"

struct NztMesh;

// Sizes the mesh's shading arrays (layer-2 texcoords, light vectors, layer-3 vectors) to at least
// VertexCount entries, new entries zero. The drawing code calls it too, so that GL never reads
// past them.
void PrepareShadingArrays(NztMesh* mesh);

// This frame's vertex colours (and light vectors for bump-mapped meshes, and the wave texcoords
// of the three-unit path), by the mesh's layers and the user's bump-mapping switch.
void ComputeMeshLighting(NztMesh* mesh);
// Sun term plus the near lights into VertexColours; alpha MeshAlpha.
void LightMeshPlain(NztMesh* mesh);
// LightMeshPlain, written the plain way (every light of the near list asked at every vertex);
// the reference the fast version is checked against.
void LightMeshPlainReference(NztMesh* mesh);
// LightMeshPlain's colours plus the light vectors towards SunPosition.
void LightMeshBump(NztMesh* mesh);
// The three-unit path: colours without near lights and alpha ThreeUnitAlpha, light vectors from
// the normal alone, layer-3 vectors (with UseLayer3Vectors) and the two wave texcoord copies
// scrolled by TexWaveRate1 and TexWaveRate2.
void LightMeshBumpThreeUnit(NztMesh* mesh);

// Layer2TexCoords from the posed normals against the first two columns of the camera rotation.
void ComputeReflectionTexCoords(NztMesh* mesh);
// Layer2TexCoords of the texture wave: advances the object's phase word and the scroll offset held
// in the first pair of the wave texcoords.
void ComputeWaveTexCoords(NztMesh* mesh);
// Layer2TexCoords of the planar light mapping: rest x and z over the half extents plus the
// normal turned by the camera orientation.
void ComputeLightPlanarTexCoords(NztMesh* mesh);
// VertexColours from the sun alone, lit from the opposite side (the sun's flare test).
void ComputeSunVertexColours(NztMesh* mesh);

// Adds every near light to one vertex's colour (r, g, b), lights taken from the last to the first.
void AddLightContributions(const Vec3& p, const Vec3& n, float colour[3]);
