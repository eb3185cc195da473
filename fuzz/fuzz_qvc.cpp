// Collision side files (".QVc") from untrusted bytes.
#include <cstddef>
#include <cstdint>

#include "core/nztfile.h"
#include "model/mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    NztMesh mesh;
    NztFile stream;
    stream.OpenMemory(data, static_cast<uint32_t>(size));
    if (ParseMeshSideFile(&mesh, &stream, "fuzz.QVc")) {
        // Every triangle index must name a collision vertex.
        for (uint32_t index : mesh.CollisionTriangles)
            if (index >= mesh.CollisionVertices.size()) __builtin_trap();
    }
    FreeMesh(&mesh);
    return 0;
}
