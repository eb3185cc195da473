// Attach points, procedural bones and ground following.
#pragma once

struct NztMesh;

// Places what hangs on the bound object's attach points; nothing for a mesh out of view.
void UpdateMeshAttachments(NztMesh* mesh);
