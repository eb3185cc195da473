// Mesh drawing.
#pragma once

struct NztMesh;

// The posed mesh in one colour.
void DrawMeshFlatColor(NztMesh* mesh, float r, float g, float b, float a);
