// Writers for mesh files (".QVo", every version), collision side files (".QVc") and animation
// files (".QVa"), plus a few shape builders shared by tests, fuzz seeds, benchmarks and makedata.
//
// The writers put down exactly what they are given, indices and counts included, so that tests can
// build broken files as easily as sound ones.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/nztmath.h"
#include "model/anim.h"

namespace datakit {

using Bytes = std::vector<uint8_t>;
// Byte offset of named fields in a written file ("V", "M", "bone 0 pivot", ...), for tests that
// overwrite a field.
using FieldOffsets = std::map<std::string, size_t>;

// Overwrites the 32-bit little-endian word at offset.
void PatchU32(Bytes& bytes, size_t offset, uint32_t value);
// Writes bytes to path, creating the folders on the way; false on failure.
bool WriteModelFile(const std::string& path, const Bytes& bytes);

struct QvoTexture {
    std::string name;
    uint32_t repeat = 1;
    uint32_t mipmap = 1;
};

struct QvoMaterial {
    int32_t layer1 = -1;  // texture indices; negative or not below the texture count: no layer
    uint32_t word1 = 0;
    uint32_t word2 = 0;
    int32_t layer2 = -1;
    int32_t layer3 = -1;
    std::vector<uint32_t> indices;  // triples
};

struct QvoBone {
    uint32_t pivot = 0;
    std::vector<uint32_t> vertices;
    std::vector<float> weights;  // padded with 1.0 to the vertex list
    uint32_t hasExtra = 0;
    float extraFollow = 0.0f;
    float extraStiffness = 0.0f;
    Vec3 extraLimits{0.0f, 0.0f, 0.0f};
    Vec3 extraVector{0.0f, 0.0f, 0.0f};
};

struct QvoAttach {
    std::string name;
    uint32_t anchor = 0;
    uint32_t kind = 0;
    uint32_t target = 0;
    Vec3 position{0.0f, 0.0f, 0.0f};
    uint32_t angle = 0;            // versions 10005 to 10008, 4096 units a turn
    Quat rotation = QuatIdentity;  // versions 10009 and 10010
    std::vector<uint32_t> bones;   // versions 10004 and later, when the mesh has bones
};

struct QvoMesh {
    uint32_t version = 10010;
    std::vector<QvoTexture> textures;
    std::string name;
    std::string animSetName;   // the stored 32-byte name of versions 10008 and later
    uint32_t animSetWord = 0;  // the word of versions 10003 to 10007
    uint32_t texWave = 0;
    float texWaveAmplitude = 0.0f;
    uint32_t twoSided = 0;
    uint32_t skinned = 0;
    uint32_t useCameraMatrix = 0;
    uint32_t hasBones = 0;
    std::vector<Vec3> vertices;
    std::vector<Vec3> normals;   // padded with (0, 1, 0)
    std::vector<Vec3> shading;   // padded with zeros
    std::vector<float> texCoords;  // u, v per vertex, padded with zeros
    std::vector<QvoMaterial> materials;
    std::optional<uint32_t> drawEnabled;  // default 1
    uint32_t firstLayer3Material = 0;
    std::vector<uint32_t> indexList;
    uint32_t lodWord = 0;
    Vec3 position{0.0f, 0.0f, 0.0f};
    float matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::vector<QvoBone> bones;  // written when skinned or hasBones; the count always
    std::vector<QvoAttach> attach;
};

Bytes WriteQvo(const QvoMesh& mesh, FieldOffsets* offsets = nullptr);

struct QvcFile {
    uint32_t version = 10002;
    uint32_t collisionSkinned = 0;  // version 10002
    std::vector<Vec3> vertices;
    std::vector<uint32_t> triangles;  // triples
    std::vector<uint32_t> words;      // one per triangle, padded with zeros
    float sideWord = 1.0f;            // versions 10001 and 10002
    uint32_t tail = 0;
    std::vector<QvoBone> bones;  // pivot, vertices and weights are written
};

Bytes WriteQvc(const QvcFile& file, FieldOffsets* offsets = nullptr);

struct QvaFrame {
    uint32_t index = 0;
    int32_t frameValue = -1;
    uint32_t hasPosition = 0;
    uint32_t hasRotation = 0;
    uint32_t hasTexTransform = 0;  // versions 10001 and later
    Vec3 position{0.0f, 0.0f, 0.0f};
    Quat rotation = QuatIdentity;
    float texTransform[3] = {0.0f, 0.0f, 0.0f};
    std::vector<NztBoneKey> keys;  // padded with identity keys to the bone count
};

struct QvaAnim {
    uint32_t version = 10002;
    uint32_t frameCount = 1;
    uint32_t boneCount = 0;
    uint32_t texAnim = 0;   // versions 10001 and later
    uint32_t fileWord = 0;  // version 10002
    std::vector<QvaFrame> frames;  // the stored frames
};

Bytes WriteQva(const QvaAnim& anim, FieldOffsets* offsets = nullptr);

// Shapes. Every builder gives a sound mesh of the newest version with one material.
// A flat grid of cells x cells quads, `size` units wide, centred on the origin at y = 0.
QvoMesh MakeGridMesh(const std::string& name, uint32_t cells, float size, const std::string& texture);
// An axis-aligned box with its base centred on the origin (24 vertices, flat faces).
QvoMesh MakeBoxMesh(const std::string& name, Vec3 size, const std::string& texture);
// A skinned strip of `vertices` vertices hanging on a chain of `bones` bones, each bone moving the
// vertices above its pivot (as many list entries as a hierarchy gives); for tests and benchmarks.
QvoMesh MakeSkinnedStrip(const std::string& name, uint32_t vertices, uint32_t bones);
// The collision side file of a mesh: its vertices and every material's triangles.
QvcFile MakeSideFile(const QvoMesh& mesh);
// An animation of `frames` frames and `bones` bones storing every `every`-th frame and the last,
// each with a root position, a root turn and a rotation and translation on every bone.
QvaAnim MakeSwingAnim(uint32_t frames, uint32_t bones, uint32_t every);

// The sample models of the data folder as (relative data name, bytes): a ground, props (a crate,
// a tree with two LODs, a barrel for dynamic objects), their collision side files, and a skinned
// character "Hero" with a skeleton, attach points, an idle and a walk cycle.
std::vector<std::pair<std::string, Bytes>> SampleModelFiles();
// The sample character's mesh (14 bones, set name "Hero"), its 24-frame walk cycle and its
// 50-frame idle, for the sample characters and the benchmarks.
QvoMesh SampleHeroMesh();
QvaAnim SampleHeroWalk();
QvaAnim SampleHeroIdle();

}  // namespace datakit
