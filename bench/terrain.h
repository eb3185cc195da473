// The ground of the movement and collision benchmarks: a random height field cut into
// kTiles x kTiles tiles, each tile one collision mesh of kQuads x kQuads quads.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "core/nztmath.h"
#include "model/mesh.h"

constexpr int kTiles = 4;   // per side
constexpr int kQuads = 12;  // per tile side
constexpr float kQuadSize = 5.0f;
constexpr int kTerrainSide = kTiles * kQuads + 1;  // corners per side

// The corner heights, uniform in 0..top and the same on every run.
inline std::vector<float> TerrainHeights(float top) {
    std::mt19937 rng(20241210);
    std::uniform_real_distribution<float> height(0.0f, top);
    std::vector<float> h(static_cast<size_t>(kTerrainSide * kTerrainSide));
    for (float& v : h) v = height(rng);
    return h;
}

// Tile (tx, tz) of the field into mesh: two triangles a quad, the first with the surface word
// word(x, z), the second with 1; its bounds reach up to top.
template <class Word>
void FillTerrainTile(NztMesh* mesh, const std::vector<float>& h, int tx, int tz, float top, Word word) {
    auto corner = [&](int x, int z) {
        return Vec3{x * kQuadSize, h[static_cast<size_t>(x * kTerrainSide + z)], z * kQuadSize};
    };
    for (int x = tx * kQuads; x < (tx + 1) * kQuads; ++x) {
        for (int z = tz * kQuads; z < (tz + 1) * kQuads; ++z) {
            const Vec3 quad[6] = {corner(x, z),     corner(x, z + 1), corner(x + 1, z),
                                  corner(x + 1, z), corner(x, z + 1), corner(x + 1, z + 1)};
            for (const Vec3& v : quad) {
                mesh->CollisionTriangles.push_back(static_cast<uint32_t>(mesh->CollisionVertices.size()));
                mesh->CollisionVertices.push_back(v);
            }
            mesh->CollisionTriangleWords.push_back(word(x, z));
            mesh->CollisionTriangleWords.push_back(1);
        }
    }
    mesh->CollisionVertexCount = static_cast<uint32_t>(mesh->CollisionVertices.size());
    mesh->CollisionTriangleCount = static_cast<uint32_t>(mesh->CollisionTriangleWords.size());
    mesh->PosedCollisionVertices = mesh->CollisionVertices;
    const float box[6] = {tx * kQuads * kQuadSize,       0.0f, tz * kQuads * kQuadSize,
                          (tx + 1) * kQuads * kQuadSize, top,  (tz + 1) * kQuads * kQuadSize};
    std::copy(box, box + 6, mesh->OwnCollisionBounds);
}
