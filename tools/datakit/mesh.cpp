#include "datakit/mesh.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "core/binio.h"

namespace datakit {
namespace {

void Mark(FieldOffsets* offsets, const std::string& field, const BinWriter& w) {
    if (offsets) (*offsets)[field] = static_cast<size_t>(w.Position());
}

void PutVec3(BinWriter& w, const Vec3& v) {
    w.F32(v.x);
    w.F32(v.y);
    w.F32(v.z);
}

void PutQuat(BinWriter& w, const Quat& q) {
    w.F32(q.w);
    w.F32(q.x);
    w.F32(q.y);
    w.F32(q.z);
}

// Pivot, vertex count, vertex list and weights (weights padded with 1.0).
void PutBoneLists(BinWriter& w, const QvoBone& bone, const std::string& field, FieldOffsets* offsets) {
    Mark(offsets, field + " pivot", w);
    w.U32(bone.pivot);
    Mark(offsets, field + " n", w);
    w.U32(static_cast<uint32_t>(bone.vertices.size()));
    for (size_t i = 0; i < bone.vertices.size(); ++i) {
        Mark(offsets, field + " vertex " + std::to_string(i), w);
        w.U32(bone.vertices[i]);
    }
    for (size_t i = 0; i < bone.vertices.size(); ++i) w.F32(i < bone.weights.size() ? bone.weights[i] : 1.0f);
}

void PutKey(BinWriter& w, const NztBoneKey& k) {
    w.U32(k.HasRotation);
    w.U32(k.HasTranslation);
    w.U32(k.HasScale);
    PutQuat(w, k.Rotation);
    PutVec3(w, k.Translation);
    PutVec3(w, k.Scale);
}

}  // namespace

void PatchU32(Bytes& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4 && offset + i < bytes.size(); ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool WriteModelFile(const std::string& path, const Bytes& bytes) {
    std::error_code ec;
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

Bytes WriteQvo(const QvoMesh& m, FieldOffsets* offsets) {
    Bytes bytes;
    BinWriter w(bytes);
    const uint32_t v = m.version;
    w.U32(v);
    Mark(offsets, "T", w);
    w.U32(static_cast<uint32_t>(m.textures.size()));
    for (const QvoTexture& t : m.textures) {
        w.Text(t.name, 256);
        w.U32(t.repeat);
        w.Zeros(8);
        w.U32(t.mipmap);
        w.Zeros(520);
    }
    if (v <= 10001) w.Zeros(4);
    Mark(offsets, "Name", w);
    w.Text(m.name, 256);
    if (v >= 10001) {
        Mark(offsets, "AnimSetName", w);
        if (v >= 10008)
            w.Text(m.animSetName, 32);
        else if (v >= 10003)
            w.U32(m.animSetWord);
        w.U32(m.texWave);
        w.F32(m.texWaveAmplitude);
        if (v >= 10006) w.U32(m.twoSided);
    }
    w.U32(m.skinned);
    w.U32(m.useCameraMatrix);
    w.U32(m.hasBones);
    const uint32_t V = static_cast<uint32_t>(m.vertices.size());
    Mark(offsets, "V", w);
    w.U32(V);
    Mark(offsets, "L", w);
    w.U32(static_cast<uint32_t>(m.indexList.size()));
    Mark(offsets, "M", w);
    w.U32(static_cast<uint32_t>(m.materials.size()));
    Mark(offsets, "B", w);
    w.U32(static_cast<uint32_t>(m.bones.size()));
    Mark(offsets, "A", w);
    w.U32(static_cast<uint32_t>(m.attach.size()));
    for (const Vec3& p : m.vertices) PutVec3(w, p);
    for (uint32_t i = 0; i < V; ++i) PutVec3(w, i < m.normals.size() ? m.normals[i] : Vec3{0.0f, 1.0f, 0.0f});
    for (uint32_t i = 0; i < V; ++i) PutVec3(w, i < m.shading.size() ? m.shading[i] : Vec3{0.0f, 0.0f, 0.0f});
    for (uint32_t i = 0; i < 2 * V; ++i) w.F32(i < m.texCoords.size() ? m.texCoords[i] : 0.0f);
    for (size_t i = 0; i < m.materials.size(); ++i) {
        const QvoMaterial& mat = m.materials[i];
        const std::string field = "material " + std::to_string(i);
        Mark(offsets, field + " layer1", w);
        w.I32(mat.layer1);
        w.U32(mat.word1);
        w.U32(mat.word2);
        w.I32(mat.layer2);
        w.I32(mat.layer3);
        Mark(offsets, field + " n", w);
        w.U32(static_cast<uint32_t>(mat.indices.size() / 3));
        Mark(offsets, field + " indices", w);
        for (size_t k = 0; k + 2 < mat.indices.size(); k += 3)
            for (size_t c = 0; c < 3; ++c) w.U32(mat.indices[k + c]);
    }
    w.U32(m.drawEnabled.value_or(1));
    Mark(offsets, "FirstLayer3Material", w);
    w.U32(m.firstLayer3Material);
    for (uint32_t i : m.indexList) w.U32(i);
    w.U32(m.lodWord);
    PutVec3(w, m.position);
    for (float f : m.matrix) w.F32(f);
    if (m.skinned || m.hasBones) {
        for (size_t b = 0; b < m.bones.size(); ++b) {
            const QvoBone& bone = m.bones[b];
            const std::string field = "bone " + std::to_string(b);
            if (v >= 10007) w.Zeros(32);
            PutBoneLists(w, bone, field, offsets);
            w.U32(bone.hasExtra);
            if (bone.hasExtra) {
                w.F32(bone.extraFollow);
                w.F32(bone.extraStiffness);
                PutVec3(w, bone.extraLimits);
                PutVec3(w, bone.extraVector);
            }
        }
    }
    for (size_t a = 0; a < m.attach.size(); ++a) {
        const QvoAttach& p = m.attach[a];
        w.Text(p.name, 256);
        Mark(offsets, "attach " + std::to_string(a) + " anchor", w);
        w.U32(p.anchor);
        w.U32(p.kind);
        w.U32(p.target);
        PutVec3(w, p.position);
        if (v >= 10009)
            PutQuat(w, p.rotation);
        else if (v >= 10005)
            w.U32(p.angle);
    }
    if (!m.bones.empty() && v >= 10004) {
        for (size_t a = 0; a < m.attach.size(); ++a) {
            const std::string field = "attach " + std::to_string(a) + " bones";
            Mark(offsets, field, w);
            w.U32(static_cast<uint32_t>(m.attach[a].bones.size()));
            for (size_t i = 0; i < m.attach[a].bones.size(); ++i) {
                Mark(offsets, field + " " + std::to_string(i), w);
                w.U32(m.attach[a].bones[i]);
            }
        }
    }
    return bytes;
}

Bytes WriteQvc(const QvcFile& f, FieldOffsets* offsets) {
    Bytes bytes;
    BinWriter w(bytes);
    w.U32(f.version);
    if (f.version >= 10002) {
        w.U32(f.collisionSkinned);
        Mark(offsets, "bones", w);
        w.U32(static_cast<uint32_t>(f.bones.size()));
    } else {
        w.Zeros(256);
    }
    Mark(offsets, "CV", w);
    w.U32(static_cast<uint32_t>(f.vertices.size()));
    const uint32_t CT = static_cast<uint32_t>(f.triangles.size() / 3);
    Mark(offsets, "CT", w);
    w.U32(CT);
    if (f.version >= 10001) w.F32(f.sideWord);
    for (const Vec3& p : f.vertices) PutVec3(w, p);
    Mark(offsets, "triangles", w);
    for (uint32_t i = 0; i < CT * 3; ++i) w.U32(f.triangles[i]);
    for (uint32_t i = 0; i < CT; ++i) w.U32(i < f.words.size() ? f.words[i] : 0);
    w.U32(f.tail);
    if (f.collisionSkinned)
        for (size_t b = 0; b < f.bones.size(); ++b) PutBoneLists(w, f.bones[b], "bone " + std::to_string(b), offsets);
    return bytes;
}

Bytes WriteQva(const QvaAnim& a, FieldOffsets* offsets) {
    Bytes bytes;
    BinWriter w(bytes);
    w.U32(a.version);
    Mark(offsets, "F", w);
    w.U32(a.frameCount);
    Mark(offsets, "B", w);
    w.U32(a.boneCount);
    Mark(offsets, "S", w);
    w.U32(static_cast<uint32_t>(a.frames.size()));
    if (a.version >= 10001) w.U32(a.texAnim);
    if (a.version >= 10002) w.U32(a.fileWord);
    for (size_t s = 0; s < a.frames.size(); ++s) {
        const QvaFrame& f = a.frames[s];
        Mark(offsets, "frame " + std::to_string(s) + " index", w);
        w.U32(f.index);
        w.I32(f.frameValue);
        w.U32(f.hasPosition);
        w.U32(f.hasRotation);
        if (a.version >= 10001) w.U32(f.hasTexTransform);
        if (f.hasPosition) PutVec3(w, f.position);
        if (f.hasRotation) PutQuat(w, f.rotation);
        if (f.hasTexTransform && a.version >= 10001)
            for (float t : f.texTransform) w.F32(t);
        for (uint32_t b = 0; b < a.boneCount; ++b) PutKey(w, b < f.keys.size() ? f.keys[b] : NztBoneKey{});
    }
    return bytes;
}

QvoMesh MakeGridMesh(const std::string& name, uint32_t cells, float size, const std::string& texture) {
    QvoMesh m;
    m.name = name;
    m.textures.push_back({texture, 1, 1});
    QvoMaterial mat;
    mat.layer1 = 0;
    const uint32_t side = cells + 1;
    const float step = size / static_cast<float>(cells);
    for (uint32_t z = 0; z < side; ++z) {
        for (uint32_t x = 0; x < side; ++x) {
            m.vertices.push_back({-size * 0.5f + step * static_cast<float>(x), 0.0f, -size * 0.5f + step * static_cast<float>(z)});
            m.normals.push_back({0.0f, 1.0f, 0.0f});
            // The texture repeats once a cell.
            m.texCoords.push_back(static_cast<float>(x));
            m.texCoords.push_back(static_cast<float>(z));
        }
    }
    for (uint32_t z = 0; z < cells; ++z) {
        for (uint32_t x = 0; x < cells; ++x) {
            const uint32_t a = z * side + x, b = a + 1, c = a + side, d = c + 1;
            mat.indices.insert(mat.indices.end(), {a, c, b, b, c, d});
        }
    }
    m.materials.push_back(mat);
    return m;
}

QvoMesh MakeBoxMesh(const std::string& name, Vec3 size, const std::string& texture) {
    QvoMesh m;
    m.name = name;
    m.textures.push_back({texture, 1, 1});
    QvoMaterial mat;
    mat.layer1 = 0;
    const float hx = size.x * 0.5f, hz = size.z * 0.5f, h = size.y;
    // Each face: outward normal and four corners counter-clockwise seen from outside.
    struct Face {
        Vec3 n;
        Vec3 c[4];
    };
    const Face faces[6] = {
        {{0, 0, 1}, {{-hx, 0, hz}, {hx, 0, hz}, {hx, h, hz}, {-hx, h, hz}}},
        {{0, 0, -1}, {{hx, 0, -hz}, {-hx, 0, -hz}, {-hx, h, -hz}, {hx, h, -hz}}},
        {{1, 0, 0}, {{hx, 0, hz}, {hx, 0, -hz}, {hx, h, -hz}, {hx, h, hz}}},
        {{-1, 0, 0}, {{-hx, 0, -hz}, {-hx, 0, hz}, {-hx, h, hz}, {-hx, h, -hz}}},
        {{0, 1, 0}, {{-hx, h, hz}, {hx, h, hz}, {hx, h, -hz}, {-hx, h, -hz}}},
        {{0, -1, 0}, {{-hx, 0, -hz}, {hx, 0, -hz}, {hx, 0, hz}, {-hx, 0, hz}}},
    };
    const float uv[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    for (const Face& f : faces) {
        const uint32_t base = static_cast<uint32_t>(m.vertices.size());
        for (int i = 0; i < 4; ++i) {
            m.vertices.push_back(f.c[i]);
            m.normals.push_back(f.n);
            m.texCoords.push_back(uv[i][0]);
            m.texCoords.push_back(uv[i][1]);
        }
        mat.indices.insert(mat.indices.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
    }
    m.materials.push_back(mat);
    return m;
}

QvoMesh MakeSkinnedStrip(const std::string& name, uint32_t vertices, uint32_t bones) {
    QvoMesh m;
    m.name = name;
    m.skinned = 1;
    const uint32_t rows = vertices / 2;
    for (uint32_t i = 0; i < vertices; ++i) {
        const float row = static_cast<float>(i / 2);
        m.vertices.push_back({(i & 1) ? 1.0f : -1.0f, row, 0.0f});
        m.normals.push_back({0.0f, 0.0f, 1.0f});
        m.texCoords.push_back(static_cast<float>(i & 1));
        m.texCoords.push_back(rows ? row / static_cast<float>(rows) : 0.0f);
    }
    QvoMaterial mat;
    for (uint32_t r = 0; r + 1 < rows; ++r) {
        const uint32_t a = 2 * r;
        mat.indices.insert(mat.indices.end(), {a, a + 1, a + 2, a + 1, a + 3, a + 2});
    }
    m.materials.push_back(mat);
    // Bone b pivots on the first vertex of its band and moves every vertex above it, so a bone
    // lower in the chain lists the vertices (and pivots) of every bone after it.
    for (uint32_t b = 0; b < bones && vertices > 0; ++b) {
        QvoBone bone;
        const uint32_t first = static_cast<uint32_t>(uint64_t{vertices} * b / bones) & ~1u;
        bone.pivot = std::min(first, vertices - 1);
        for (uint32_t v = first + 2; v < vertices; ++v) {
            bone.vertices.push_back(v);
            bone.weights.push_back(1.0f);
        }
        m.bones.push_back(std::move(bone));
    }
    return m;
}

QvcFile MakeSideFile(const QvoMesh& mesh) {
    QvcFile f;
    f.vertices = mesh.vertices;
    for (const QvoMaterial& mat : mesh.materials) f.triangles.insert(f.triangles.end(), mat.indices.begin(), mat.indices.end());
    f.words.assign(f.triangles.size() / 3, 1);
    return f;
}

QvaAnim MakeSwingAnim(uint32_t frames, uint32_t bones, uint32_t every) {
    QvaAnim a;
    a.frameCount = frames;
    a.boneCount = bones;
    if (every == 0) every = 1;
    for (uint32_t k = 0; k < frames; ++k) {
        if (k % every != 0 && k + 1 != frames) continue;
        QvaFrame f;
        f.index = k;
        f.hasPosition = 1;
        f.position = {0.0f, 0.0f, 2.0f * static_cast<float>(k)};
        f.hasRotation = 1;
        const float turn = 0.01f * static_cast<float>(k);
        f.rotation = {std::cos(turn), 0.0f, std::sin(turn), 0.0f};
        const float swing = 0.4f * std::sin(static_cast<float>(k) * 0.3f);
        for (uint32_t b = 0; b < bones; ++b) {
            NztBoneKey key;
            key.HasRotation = key.HasTranslation = 1;
            key.Rotation = {std::cos(swing * 0.5f), std::sin(swing * 0.5f), 0.0f, 0.0f};
            key.Translation = {0.0f, 0.01f * static_cast<float>(b), 0.0f};
            f.keys.push_back(key);
        }
        a.frames.push_back(std::move(f));
    }
    return a;
}

}  // namespace datakit

namespace datakit {
namespace {

constexpr float Pi = 3.14159265f;

// Appends a box (base centred on `base`) to the mesh's vertices and first material; returns the
// index of its first vertex (24 vertices follow).
uint32_t AddBox(QvoMesh& m, Vec3 base, Vec3 size) {
    QvoMesh box = MakeBoxMesh("", size, "");
    const uint32_t first = static_cast<uint32_t>(m.vertices.size());
    for (const Vec3& v : box.vertices) m.vertices.push_back(v + base);
    m.normals.insert(m.normals.end(), box.normals.begin(), box.normals.end());
    m.texCoords.insert(m.texCoords.end(), box.texCoords.begin(), box.texCoords.end());
    for (uint32_t i : box.materials[0].indices) m.materials[0].indices.push_back(first + i);
    return first;
}

Quat TurnX(float radians) { return {std::cos(radians * 0.5f), std::sin(radians * 0.5f), 0.0f, 0.0f}; }

struct SampleBone {
    const char* name;
    int parent;
    Vec3 joint;
    Vec3 boxBase;  // the bone's body part, base centre and size (size 0: none)
    Vec3 boxSize;
};

// The character's skeleton, parents before children; units are about a tenth of a metre.
const SampleBone HeroBones[] = {
    {"Pelvis", -1, {0, 9, 0}, {0, 8.8f, 0}, {3, 2, 1.5f}},
    {"Spine", 0, {0, 11, 0}, {0, 10.8f, 0}, {3.2f, 4, 1.6f}},
    {"Neck", 1, {0, 15, 0}, {0, 14.8f, 0}, {0.8f, 1.2f, 0.8f}},
    {"Head", 2, {0, 16, 0}, {0, 16, 0}, {1.8f, 2.2f, 1.8f}},
    {"ArmL", 1, {-2.2f, 14.5f, 0}, {-2.2f, 11.5f, 0}, {0.8f, 3, 0.8f}},
    {"ForearmL", 4, {-2.2f, 11.5f, 0}, {-2.2f, 8.5f, 0}, {0.7f, 3, 0.7f}},
    {"ArmR", 1, {2.2f, 14.5f, 0}, {2.2f, 11.5f, 0}, {0.8f, 3, 0.8f}},
    {"ForearmR", 6, {2.2f, 11.5f, 0}, {2.2f, 8.5f, 0}, {0.7f, 3, 0.7f}},
    {"ThighL", 0, {-1, 9, 0}, {-1, 5, 0}, {1.1f, 4, 1.1f}},
    {"ShinL", 8, {-1, 5, 0}, {-1, 1, 0}, {0.9f, 4, 0.9f}},
    {"FootL", 9, {-1, 1, 0}, {-1, 0, 0.4f}, {1, 1, 2}},
    {"ThighR", 0, {1, 9, 0}, {1, 5, 0}, {1.1f, 4, 1.1f}},
    {"ShinR", 11, {1, 5, 0}, {1, 1, 0}, {0.9f, 4, 0.9f}},
    {"FootR", 12, {1, 1, 0}, {1, 0, 0.4f}, {1, 1, 2}},
};
constexpr uint32_t HeroBoneCount = sizeof HeroBones / sizeof HeroBones[0];
enum { Spine = 1, ArmL = 4, ForearmL = 5, ArmR = 6, ForearmR = 7, ThighL = 8, ShinL = 9, ThighR = 11, ShinR = 12 };

bool IsBelow(uint32_t bone, uint32_t ancestor) {
    for (int b = static_cast<int>(bone); b >= 0; b = HeroBones[b].parent)
        if (static_cast<uint32_t>(b) == ancestor) return true;
    return false;
}

QvoMesh MakeHero() {
    QvoMesh m;
    m.name = "Hero1001";
    m.animSetName = "Hero";
    m.skinned = 1;
    m.textures.push_back({"Hero", 1, 1});
    m.materials.push_back({});
    m.materials[0].layer1 = 0;
    std::vector<uint32_t> boxFirst(HeroBoneCount), pivot(HeroBoneCount);
    for (uint32_t b = 0; b < HeroBoneCount; ++b) boxFirst[b] = AddBox(m, HeroBones[b].boxBase, HeroBones[b].boxSize);
    // Each joint is a vertex of its own that no triangle uses, so that a bone turns about it.
    for (uint32_t b = 0; b < HeroBoneCount; ++b) {
        pivot[b] = static_cast<uint32_t>(m.vertices.size());
        m.vertices.push_back(HeroBones[b].joint);
        m.normals.push_back({0, 1, 0});
        m.texCoords.insert(m.texCoords.end(), {0.0f, 0.0f});
    }
    // A bone moves its own body part and everything below it in the hierarchy, the joints of its
    // children included: the bones are applied last to first, which composes the chain.
    for (uint32_t b = 0; b < HeroBoneCount; ++b) {
        QvoBone bone;
        bone.pivot = pivot[b];
        for (uint32_t c = 0; c < HeroBoneCount; ++c) {
            if (!IsBelow(c, b)) continue;
            for (uint32_t v = 0; v < 24; ++v) bone.vertices.push_back(boxFirst[c] + v);
            if (c != b) bone.vertices.push_back(pivot[c]);
        }
        bone.weights.assign(bone.vertices.size(), 1.0f);
        m.bones.push_back(std::move(bone));
    }
    // Attach points; 4 and 8 are the feet (ground probing), anchored on a sole corner.
    struct Point {
        const char* name;
        uint32_t anchor;
    };
    const Point points[] = {
        {"Head", pivot[3]},           {"HandL", boxFirst[ForearmL]}, {"HandR", boxFirst[ForearmR] + 1},
        {"Back", boxFirst[Spine] + 4}, {"FootL", boxFirst[10]},       {"Chest", boxFirst[Spine]},
        {"Hip", boxFirst[0]},          {"#Weapon", boxFirst[ForearmR]}, {"FootR", boxFirst[13]},
    };
    for (const Point& p : points) {
        QvoAttach a;
        a.name = p.name;
        a.anchor = p.anchor;
        a.position = m.vertices[p.anchor];
        for (uint32_t b = 0; b < HeroBoneCount; ++b) {
            const auto& list = m.bones[b].vertices;
            if (m.bones[b].pivot == p.anchor || std::find(list.begin(), list.end(), p.anchor) != list.end())
                a.bones.push_back(b);
        }
        m.attach.push_back(std::move(a));
    }
    return m;
}

// One stored frame of the character at walk phase t (0..1 a cycle), or standing when swing is 0.
QvaFrame HeroFrame(uint32_t index, float phase, float swing, Vec3 position) {
    QvaFrame f;
    f.index = index;
    f.hasPosition = 1;
    f.position = position;
    f.keys.assign(HeroBoneCount, NztBoneKey{});
    for (NztBoneKey& k : f.keys) k.HasRotation = 1;
    const float s = std::sin(phase * 2.0f * Pi);
    // A negative turn about x swings a hanging limb forward (+z).
    f.keys[ThighL].Rotation = TurnX(-swing * s);
    f.keys[ThighR].Rotation = TurnX(swing * s);
    f.keys[ShinL].Rotation = TurnX(swing * 1.2f * std::max(0.0f, s));
    f.keys[ShinR].Rotation = TurnX(swing * 1.2f * std::max(0.0f, -s));
    f.keys[ArmL].Rotation = TurnX(swing * 0.7f * s);
    f.keys[ArmR].Rotation = TurnX(-swing * 0.7f * s);
    f.keys[ForearmL].Rotation = TurnX(-0.3f * swing);
    f.keys[ForearmR].Rotation = TurnX(-0.3f * swing);
    return f;
}

QvaAnim MakeHeroWalk() {
    QvaAnim a;
    a.frameCount = 24;
    a.boneCount = HeroBoneCount;
    // 0.55 units a frame: about 27 units (one and a half heights) a second at 50 frames a second.
    for (uint32_t k : {0u, 6u, 12u, 18u, 23u})
        a.frames.push_back(HeroFrame(k, static_cast<float>(k) / 24.0f, 0.5f, {0, 0, 0.55f * static_cast<float>(k)}));
    return a;
}

QvaAnim MakeHeroIdle() {
    QvaAnim a;
    a.frameCount = 50;
    a.boneCount = HeroBoneCount;
    for (uint32_t k : {0u, 25u, 49u}) {
        QvaFrame f = HeroFrame(k, 0.0f, 0.0f, {0, 0, 0});
        // Breathing: the spine leans a little at mid-cycle.
        f.keys[Spine].Rotation = TurnX(k == 25 ? 0.04f : 0.0f);
        a.frames.push_back(std::move(f));
    }
    return a;
}

}  // namespace

QvoMesh SampleHeroMesh() { return MakeHero(); }
QvaAnim SampleHeroWalk() { return MakeHeroWalk(); }
QvaAnim SampleHeroIdle() { return MakeHeroIdle(); }

std::vector<std::pair<std::string, Bytes>> SampleModelFiles() {
    std::vector<std::pair<std::string, Bytes>> files;

    QvoMesh ground = MakeGridMesh("Ground1001", 32, 2000.0f, "Ground");
    files.emplace_back("OBJECTS/Ground1001.QVo", WriteQvo(ground));
    files.emplace_back("OBJECTS/Ground0001.QVc", WriteQvc(MakeSideFile(ground)));

    // Props in older versions too, as a data folder collected over time holds them.
    QvoMesh crate = MakeBoxMesh("Crate1001", {20, 20, 20}, "Crate");
    crate.version = 10006;
    files.emplace_back("OBJECTS/Crate1001.QVo", WriteQvo(crate));
    files.emplace_back("OBJECTS/Crate0001.QVc", WriteQvc(MakeSideFile(crate)));

    QvoMesh tree = MakeBoxMesh("Tree1001", {4, 30, 4}, "Bark");
    tree.version = 10009;
    tree.textures.push_back({"Leaves", 1, 1});
    tree.materials.push_back({});
    tree.materials[1].layer1 = 1;
    const uint32_t crown = static_cast<uint32_t>(tree.vertices.size());
    {
        QvoMesh leaves = MakeBoxMesh("", {24, 20, 24}, "");
        for (const Vec3& v : leaves.vertices) tree.vertices.push_back(v + Vec3{0, 26, 0});
        tree.normals.insert(tree.normals.end(), leaves.normals.begin(), leaves.normals.end());
        tree.texCoords.insert(tree.texCoords.end(), leaves.texCoords.begin(), leaves.texCoords.end());
        for (uint32_t i : leaves.materials[0].indices) tree.materials[1].indices.push_back(crown + i);
    }
    tree.twoSided = 1;
    files.emplace_back("OBJECTS/Tree1001.QVo", WriteQvo(tree));
    QvoMesh treeFar = MakeBoxMesh("Tree2001", {16, 46, 16}, "Leaves");
    treeFar.version = 10009;
    files.emplace_back("OBJECTS/Tree2001.QVo", WriteQvo(treeFar));
    files.emplace_back("OBJECTS/Tree0001.QVc", WriteQvc(MakeSideFile(MakeBoxMesh("", {4, 30, 4}, ""))));

    // Dynamic objects are named by their full type name.
    QvoMesh barrel = MakeBoxMesh("Barrel", {8, 12, 8}, "Barrel");
    files.emplace_back("OBJECTS/Barrel.QVo", WriteQvo(barrel));
    files.emplace_back("OBJECTS/Barrel.QVc", WriteQvc(MakeSideFile(barrel)));

    QvoMesh hero = MakeHero();
    files.emplace_back("OBJECTS/ENTITIES/Hero1001.QVo", WriteQvo(hero));
    files.emplace_back("OBJECTS/ENTITIES/Hero0001.QVc", WriteQvc(MakeSideFile(MakeBoxMesh("", {4, 18, 3}, ""))));
    files.emplace_back("OBJECTS/ENTITIES/ANIMS/Hero/HeroMoveStatic01.QVa", WriteQva(MakeHeroIdle()));
    files.emplace_back("OBJECTS/ENTITIES/ANIMS/Hero/HeroMoveWalk.QVa", WriteQva(MakeHeroWalk()));
    return files;
}

}  // namespace datakit
