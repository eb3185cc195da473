// Mesh and side files read from disk, the way the game loads loose files. The input is written to a
// file in a data folder of the target's own and loaded as LOD 0 and LOD 1 of a mesh and as its side
// file; then its first half, as a second file, goes through the same reused read buffer. Each load
// must end as the same bytes read from memory end.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/nztfile.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "model/mesh.h"

namespace {

// The folder lives in a plain array: the clean-up at exit runs after static strings are gone.
char gFolder[256];

const char* Folder() {
    if (gFolder[0] != '\0') return gFolder;
    const char* tmp = std::getenv("TMPDIR");
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    std::snprintf(gFolder, sizeof gFolder, "%s/qv_fuzz_meshfile_XXXXXX", base);
    if (mkdtemp(gFolder) == nullptr || !SetDataFolder(gFolder)) std::abort();
    BuildSinCosTables();
    std::atexit([] {
        for (const char* name : {"whole.qvo", "half.qvo"}) std::remove((std::string(gFolder) + "/" + name).c_str());
        rmdir(gFolder);
    });
    return gFolder;
}

void Write(const char* name, const uint8_t* data, size_t size) {
    FILE* f = std::fopen((std::string(Folder()) + "/" + name).c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

// The loose file and the same bytes from memory, into two meshes: both end alike.
void LoadBothWays(const char* name, const uint8_t* data, size_t size) {
    NztMesh fromFile, fromMemory;
    for (uint32_t lod : {0u, 1u}) {
        const int loaded = LoadMeshFile(name, &fromFile, lod, 1);
        NztFile stream;
        stream.OpenMemory(data, static_cast<uint32_t>(size));
        const int parsed = ParseMeshFile(&fromMemory, &stream, lod, 1, name);
        if (loaded != parsed || fromFile.VertexCount != fromMemory.VertexCount ||
            fromFile.IndexCount != fromMemory.IndexCount || fromFile.BoneCount != fromMemory.BoneCount)
            __builtin_trap();
    }
    const int loaded = LoadMeshSideFile(name, &fromFile);
    NztFile stream;
    stream.OpenMemory(data, static_cast<uint32_t>(size));
    const int parsed = ParseMeshSideFile(&fromMemory, &stream, name);
    if (loaded != parsed || fromFile.CollisionVertices.size() != fromMemory.CollisionVertices.size() ||
        fromFile.CollisionTriangles.size() != fromMemory.CollisionTriangles.size())
        __builtin_trap();
    FreeMesh(&fromFile);
    FreeMesh(&fromMemory);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    Folder();
    Write("whole.qvo", data, size);
    Write("half.qvo", data, size / 2);
    LoadBothWays("whole.qvo", data, size);
    LoadBothWays("half.qvo", data, size / 2);
    return 0;
}
