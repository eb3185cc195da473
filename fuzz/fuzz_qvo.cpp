// Mesh files (".QVo") from untrusted bytes, loaded as LOD 0 and LOD 1 of one mesh.
#include <cstddef>
#include <cstdint>

#include "core/nztfile.h"
#include "core/nztmath.h"
#include "model/mesh.h"
#include "objects/posing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool tables = (BuildSinCosTables(), true);
    (void)tables;
    if (size > UINT32_MAX) return 0;
    NztMesh mesh;
    for (uint32_t lod : {0u, 1u}) {
        NztFile stream;
        stream.OpenMemory(data, static_cast<uint32_t>(size));
        ParseMeshFile(&mesh, &stream, lod, 1, "fuzz.QVo");
    }
    // Walk what was accepted the way the engine does next.
    mesh.SelectLod(1);
    mesh.SelectDrawLod(0);
    const float scroll[3] = {0.5f, 0.25f, 1.0f};
    ScrollMeshTexCoords(scroll, &mesh);
    mesh.SelectLod(0);
    MeshPickHit hit;
    PickMeshTriangle(&mesh, MeshPickView{}, 400.0f, 300.0f, &hit);
    SetMeshRestPose(&mesh, nullptr);
    FreeMesh(&mesh);
    return 0;
}
