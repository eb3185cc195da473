#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/nztfile.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "datakit/mesh.h"
#include "model/animlib.h"
#include "model/mesh.h"
#include "objects/posing.h"  // the rest pose of a parsed mesh
#include "render/renderstate.h"
#include "temp_folder.h"

namespace {

using datakit::Bytes;
using datakit::QvoMesh;

constexpr float Tol = 1e-5f;

void ExpectVec(const Vec3& got, const Vec3& want, float tol = Tol) {
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
}

class MeshFiles : public ::testing::Test {
protected:
    void SetUp() override {
        BuildSinCosTables();
        RenderState.blankTexture = 0;
    }
    void TearDown() override {
        FreeMesh(&mesh);
        ResetMathTables();
    }

    // The pose animation belongs to the animation library: free the mesh before resetting it.
    void Fresh() {
        FreeMesh(&mesh);
        ResetMesh(&mesh);
    }
    int Parse(const Bytes& bytes, uint32_t lod = 0, const char* name = "OBJECTS/Tree1001.QVo") {
        NztFile stream;
        stream.OpenMemory(bytes.data(), static_cast<uint32_t>(bytes.size()));
        return ParseMeshFile(&mesh, &stream, lod, 1, name);
    }
    int ParseSide(const Bytes& bytes) {
        NztFile stream;
        stream.OpenMemory(bytes.data(), static_cast<uint32_t>(bytes.size()));
        return ParseMeshSideFile(&mesh, &stream, "OBJECTS/Tree0001.QVc");
    }

    NztMesh mesh;
};

// A skinned strip of 8 vertices on a chain of 3 bones (bone 0 pivots on vertex 0 and moves 2..7,
// bone 1 pivots on 2 and moves 4..7, bone 2 pivots on 4 and moves 6..7) with two textures and
// two attach points, written in the given version.
QvoMesh SampleMesh(uint32_t version) {
    QvoMesh m = datakit::MakeSkinnedStrip("Tree1001", 8, 3);
    m.version = version;
    m.textures = {{"Bark", 1, 1}, {"Leaf", 0, 1}};
    m.materials[0].layer1 = 0;
    m.materials[0].layer2 = 1;
    m.materials[0].word1 = 3;
    m.materials[0].word2 = 5;
    m.animSetName = "Stored";
    m.texWave = 1;
    m.texWaveAmplitude = 2.0f;
    m.twoSided = 1;
    m.indexList = {1, 2, 3};
    m.lodWord = 42;
    m.position = {1, 2, 3};
    m.matrix[1] = 0.5f;
    m.bones[1].hasExtra = 1;
    m.bones[1].extraFollow = 0.25f;
    m.bones[1].extraStiffness = 0.1f;
    m.bones[1].extraLimits = {1, 2, 3};
    datakit::QvoAttach hand;
    hand.name = "Hand";
    hand.anchor = 5;
    hand.kind = 4;
    hand.target = 9;
    hand.position = {1, 2, 3};
    hand.angle = 1024;
    hand.rotation = {0.5f, 0.5f, 0.5f, 0.5f};
    hand.bones = {0, 2};
    datakit::QvoAttach top = hand;
    top.name = "Top";
    top.anchor = 7;
    top.bones = {};
    m.attach = {hand, top};
    return m;
}

TEST_F(MeshFiles, EveryVersionGroupRoundTrips) {
    for (uint32_t version : {10000u, 10001u, 10003u, 10004u, 10005u, 10006u, 10008u, 10009u, 10010u}) {
        SCOPED_TRACE(version);
        Fresh();
        ASSERT_EQ(Parse(datakit::WriteQvo(SampleMesh(version))), 1);
        EXPECT_EQ(mesh.Version, version);
        EXPECT_STREQ(mesh.Name, "Tree1001");
        EXPECT_STREQ(mesh.AnimSetName, version == 10000 ? "" : version == 10010 ? "Stored" : "Tree");
        EXPECT_EQ(mesh.AnimSetNameLength, std::strlen(mesh.AnimSetName));
        EXPECT_EQ(mesh.TexWave, version >= 10001 ? 1u : 0u);
        EXPECT_EQ(mesh.TwoSided, version >= 10006 ? 1u : 0u);
        ASSERT_EQ(mesh.VertexCount, 8u);
        ExpectVec(mesh.Vertices[7], Vec3{1, 3, 0});
        ExpectVec(*mesh.Position, Vec3{1, 2, 3});
        EXPECT_FLOAT_EQ(mesh.Matrix[1], 0.5f);
        EXPECT_EQ(mesh.LodWord, 42);
        ASSERT_EQ(mesh.IndexCount, 3u);
        EXPECT_EQ(mesh.IndexList[2], 3u);
        // Materials: file words as read; valid texture indices give the slot's GL name.
        ASSERT_EQ(mesh.MaterialCount, 1u);
        const MeshMaterial& mat = mesh.Materials[0];
        EXPECT_EQ(mat.IndexCount, 18u);
        EXPECT_EQ(mat.Word1, 3u);
        EXPECT_EQ(mat.Word2, 5u);
        EXPECT_EQ(mat.Layer1, mesh.TextureNames[0]);
        EXPECT_EQ(mat.Layer2, mesh.TextureNames[1]);
        EXPECT_EQ(mat.Layer3, NoTexture);
        EXPECT_EQ(mesh.HasLayer2, 1u);
        EXPECT_EQ(mesh.HasLayer3, 0u);
        EXPECT_EQ(mesh.TextureCount, 2u);
        // Bones, their extra words and the children table.
        ASSERT_EQ(mesh.MaxBoneCount, 3u);
        EXPECT_EQ(mesh.Bones[1].Pivot, 2u);
        EXPECT_EQ(mesh.Bones[1].Vertices, (std::vector<uint32_t>{4, 5, 6, 7}));
        EXPECT_EQ(mesh.Bones[1].Cache.size(), 4u);
        EXPECT_TRUE(mesh.Bones[0].Cache.empty());
        EXPECT_EQ(mesh.Bones[1].HasExtra, 1u);
        EXPECT_FLOAT_EQ(mesh.Bones[1].ExtraFollow, 0.25f);
        ExpectVec(mesh.Bones[1].ExtraLimits, Vec3{1, 2, 3});
        EXPECT_EQ(mesh.BoneChildren[0], (std::vector<uint32_t>{1, 2}));
        EXPECT_EQ(mesh.BoneChildren[1], (std::vector<uint32_t>{2}));
        EXPECT_TRUE(mesh.BoneChildren[2].empty());
        // Attach points in their three forms; old files derive the bone lists.
        ASSERT_EQ(mesh.AttachCount, 2u);
        const NztAttachPoint& p = mesh.AttachPoints[0];
        EXPECT_STREQ(p.Name, "Hand");
        EXPECT_EQ(p.Anchor, 5u);
        EXPECT_EQ(p.Kind, version >= 10004 ? 4u : 0u);
        EXPECT_EQ(p.TargetWord, version >= 10004 ? 9u : 0u);
        ExpectVec(p.Position, Vec3{1, 2, 3});
        const float h = std::sqrt(0.5f);
        const Quat want = version >= 10009 ? Quat{0.5f, 0.5f, 0.5f, 0.5f}
                          : version >= 10005 ? Quat{h, 0, h, 0}
                                             : QuatIdentity;
        EXPECT_NEAR(p.Rotation.w, want.w, Tol);
        EXPECT_NEAR(p.Rotation.y, want.y, Tol);
        EXPECT_NEAR(p.Rotation.x, want.x, Tol);
        using List = std::vector<uint32_t>;
        EXPECT_EQ(mesh.AttachBoneLists[0], (version >= 10004 ? List{0, 2} : List{0, 1}));
        EXPECT_EQ(mesh.AttachBoneLists[1], (version >= 10004 ? List{} : List{0, 1, 2}));
        // The texture wave of versions that store it.
        if (mesh.TexWave) {
            EXPECT_EQ(mesh.TexWaveStep, 512);
            EXPECT_FLOAT_EQ(mesh.TexWaveScale, 0.01f);
            EXPECT_FLOAT_EQ(mesh.WaveTexCoordsScaled[14], 4.0f * mesh.TexCoords[14]);
            EXPECT_FLOAT_EQ(mesh.WaveTexCoordsScaled[15], 2.0f * mesh.TexCoords[15]);
            EXPECT_FLOAT_EQ(mesh.TexWaveRate1, 0.006f);
        }
        EXPECT_FALSE(mesh.Stream.IsOpen());
    }
}

TEST_F(MeshFiles, BoneChildrenAreTheBonesPivotingInTheListInBoneOrder) {
    QvoMesh m = datakit::MakeSkinnedStrip("Arm1001", 8, 0);
    struct Bone {
        uint32_t pivot;
        std::vector<uint32_t> vertices;
    };
    // Bones 1 and 2 share a pivot; bone 0 names its vertices twice.
    const Bone bones[] = {{0, {1, 2, 3, 1, 2}}, {2, {3}}, {2, {}}, {3, {}}, {1, {2}}};
    for (const Bone& b : bones) {
        datakit::QvoBone bone;
        bone.pivot = b.pivot;
        bone.vertices = b.vertices;
        m.bones.push_back(bone);
    }
    ASSERT_EQ(Parse(datakit::WriteQvo(m)), 1);
    using List = std::vector<uint32_t>;
    EXPECT_EQ(mesh.BoneChildren[0], (List{1, 2, 3, 4}));
    EXPECT_EQ(mesh.BoneChildren[1], (List{3}));
    EXPECT_EQ(mesh.BoneChildren[2], List{});
    EXPECT_EQ(mesh.BoneChildren[4], (List{1, 2}));
}

// Long vertex lists go through the reader's block bounds: children are found whether a list runs
// up, runs down or jumps about, and whether a block's bounds hold a few pivots or many.
TEST_F(MeshFiles, BoneChildrenOfLongListsInEveryOrder) {
    constexpr uint32_t Vertices = 3000, Bones = 40;
    // Bones 0-19 pivot close together (3 apart), the others far apart; two pairs share a pivot.
    auto pivotOf = [](uint32_t b) { return b == 7 ? 9u : b == 30 ? 1500u : b < 20 ? 3 * b : 500 + 50 * b; };
    enum class Order { Up, Down, Shuffled };
    for (const Order order : {Order::Up, Order::Down, Order::Shuffled}) {
        SCOPED_TRACE(static_cast<int>(order));
        Fresh();
        QvoMesh m = datakit::MakeSkinnedStrip("Arm1001", Vertices, 0);
        uint32_t seed = 12345;
        std::vector<std::vector<uint32_t>> lists;
        for (uint32_t b = 0; b < Bones; ++b) {
            // Every (b % 4 + 2)-th vertex left out of a span that grows with the bone, so that
            // some pivots in the span are named and some are not.
            std::vector<uint32_t> list;
            for (uint32_t v = (b * 37) % 200; v < std::min(Vertices, 300 + 70 * b); ++v)
                if (v % (b % 4 + 2) != 1) list.push_back(v);
            if (order == Order::Down) std::reverse(list.begin(), list.end());
            if (order == Order::Shuffled) {
                for (size_t i = list.size(); i > 1; --i) {
                    seed = seed * 1103515245u + 12345u;
                    std::swap(list[i - 1], list[(seed >> 8) % i]);
                }
            }
            datakit::QvoBone bone;
            bone.pivot = pivotOf(b);
            bone.vertices = list;
            bone.weights.assign(list.size(), 1.0f);
            m.bones.push_back(bone);
            lists.push_back(std::move(list));
        }
        ASSERT_EQ(Parse(datakit::WriteQvo(m)), 1);
        for (uint32_t i = 0; i < Bones; ++i) {
            std::vector<uint32_t> want;
            for (uint32_t j = 0; j < Bones; ++j)
                if (std::find(lists[i].begin(), lists[i].end(), pivotOf(j)) != lists[i].end()) want.push_back(j);
            EXPECT_EQ(mesh.BoneChildren[i], want) << "bone " << i;
        }
    }
}

// The box is that of every vertex, however many pieces the reader copies them in and whichever
// piece or leftover vertex holds an extreme.
TEST_F(MeshFiles, TheBoxTakesEveryVertex) {
    constexpr uint32_t Vertices = 5003;  // more than two pieces of 2048, three left over after the quads
    for (const uint32_t extreme : {0u, 1u, 2047u, 2048u, 4099u, 5000u, 5002u}) {
        SCOPED_TRACE(extreme);
        Fresh();
        QvoMesh m = datakit::MakeSkinnedStrip("Rock1001", Vertices, 0);
        uint32_t seed = 777;
        for (Vec3& v : m.vertices) {
            float c[3];
            for (float& f : c) {
                seed = seed * 1103515245u + 12345u;
                f = static_cast<float>((seed >> 8) % 2000) * 0.01f - 10.0f;
            }
            v = {c[0], c[1], c[2]};
        }
        m.vertices[extreme] = {-50.0f, 60.0f, -70.0f};
        m.vertices[Vertices - 1 - extreme] = {55.0f, -65.0f, 75.0f};
        ASSERT_EQ(Parse(datakit::WriteQvo(m)), 1);
        ExpectVec(mesh.BoxMin, Vec3{-50.0f, -65.0f, -70.0f}, 0.0f);
        ExpectVec(mesh.BoxMax, Vec3{55.0f, 60.0f, 75.0f}, 0.0f);
    }
}

TEST_F(MeshFiles, AnimationSetNameFromTheModelNameNeverOverflowsNorUnderflows) {
    struct Case {
        uint32_t version;
        std::string name;
        std::string want;
    };
    const std::string longName(255, 'n');
    for (const Case& c : {Case{10009, "Tree1001", "Tree"}, Case{10009, "ab", ""}, Case{10001, "NZT1", ""},
                          Case{10003, longName, std::string(31, 'n')}}) {
        SCOPED_TRACE(c.name);
        Fresh();
        QvoMesh m = SampleMesh(c.version);
        m.name = c.name;
        ASSERT_EQ(Parse(datakit::WriteQvo(m)), 1);
        EXPECT_EQ(std::string(mesh.AnimSetName), c.want);
        EXPECT_EQ(mesh.AnimSetNameLength, c.want.size());
    }
}

TEST_F(MeshFiles, FixedTextFieldsEndInZero) {
    datakit::FieldOffsets at;
    Bytes bytes = datakit::WriteQvo(SampleMesh(10010), &at);
    std::fill_n(bytes.begin() + static_cast<ptrdiff_t>(at.at("Name")), 256, 'N');
    std::fill_n(bytes.begin() + static_cast<ptrdiff_t>(at.at("AnimSetName")), 32, 'S');
    std::fill_n(bytes.begin() + 8, 256, 'T');  // the first texture's name
    ASSERT_EQ(Parse(bytes), 1);
    EXPECT_EQ(std::string(mesh.Name), std::string(255, 'N'));
    EXPECT_EQ(std::string(mesh.AnimSetName), std::string(31, 'S'));
}

TEST_F(MeshFiles, AFlatAxisGetsABoxOfWidthTwo) {
    QvoMesh m = datakit::MakeGridMesh("Wall1001", 2, 10.0f, "Wall");
    for (Vec3& v : m.vertices) v = {5.0f, v.z, v.x};  // every vertex at x = 5
    ASSERT_EQ(Parse(datakit::WriteQvo(m)), 1);
    EXPECT_FLOAT_EQ(mesh.BoxMin.x, 4.0f);
    EXPECT_FLOAT_EQ(mesh.BoxMax.x, 6.0f);
    EXPECT_FLOAT_EQ(mesh.Size.x, 2.0f);
    ExpectVec(mesh.Size, Vec3{2, 10, 10});
    EXPECT_FLOAT_EQ(mesh.CoreRadius, 1.5f);  // min(0.35 x 10, 0.75 x 2)
    EXPECT_FLOAT_EQ(mesh.HeightScale, 51.2f);
    EXPECT_FLOAT_EQ(mesh.HalfHeight, 5.0f);
    ExpectVec(mesh.BoxCorners[7], Vec3{6, 5, 5});
}

TEST_F(MeshFiles, SizeClassFollowsTheLargestExtent) {
    struct Case {
        float extent;
        float sizeClass;
    };
    for (const Case& c : {Case{150, 1}, Case{151, 2}, Case{400, 2}, Case{401, 3}, Case{1000, 3}, Case{1001, 4}}) {
        SCOPED_TRACE(c.extent);
        Fresh();
        ASSERT_EQ(Parse(datakit::WriteQvo(datakit::MakeBoxMesh("Box1001", {10, 10, c.extent}, "Box"))), 1);
        EXPECT_FLOAT_EQ(mesh.SizeClass, c.sizeClass);
        EXPECT_FLOAT_EQ(mesh.LargestExtent, c.extent);
    }
}

TEST_F(MeshFiles, TextureIndicesOutOfRangeAreNoLayerAndTheBlankTakesEmptyThirdLayers) {
    RenderState.blankTexture = 77;
    struct Case {
        uint32_t drawEnabled;
        uint32_t firstLayer3;
        std::vector<int32_t> wantLayer3;
    };
    // Materials: layer 3 = texture 0 (valid), -1, 2 (= the texture count), -7.
    const Case cases[] = {
        {1, 1, {0, 77, 77, 77}},
        {1, 2, {0, NoTexture, 77, 77}},
        {0, 1, {0, NoTexture, NoTexture, NoTexture}},  // not drawn: no default
        {1, 4, {0, NoTexture, NoTexture, NoTexture}},  // no third-layer group
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstLayer3);
        Fresh();
        QvoMesh m = datakit::MakeBoxMesh("Box1001", {1, 1, 1}, "Box");
        m.textures.push_back({"Bump", 1, 1});
        const datakit::QvoMaterial base = m.materials[0];
        m.materials.assign(4, base);
        const int32_t layer3[4] = {0, -1, 2, -7};
        for (int i = 0; i < 4; ++i) {
            m.materials[i].layer1 = i == 3 ? 5 : 1;
            m.materials[i].layer2 = -3;
            m.materials[i].layer3 = layer3[i];
        }
        m.drawEnabled = c.drawEnabled;
        m.firstLayer3Material = c.firstLayer3;
        ASSERT_EQ(Parse(datakit::WriteQvo(m)), 1);
        EXPECT_EQ(mesh.HasLayer3, 1u);
        EXPECT_EQ(mesh.HasLayer2, 0u);
        for (int i = 0; i < 4; ++i) {
            // A valid index gives the slot's name (0 here: no image files); others no layer.
            EXPECT_EQ(mesh.Materials[i].Layer3, c.wantLayer3[i] == 0 ? mesh.TextureNames[0] : c.wantLayer3[i]);
            EXPECT_EQ(mesh.Materials[i].Layer2, NoTexture);
        }
        EXPECT_EQ(mesh.Materials[3].Layer1, NoTexture);
        EXPECT_EQ(mesh.Materials[0].Layer1, 0);
    }
}

TEST_F(MeshFiles, TextureWaveStepFollowsTheVertexCount) {
    struct Case {
        uint32_t vertices;
        int32_t step;
    };
    for (const Case& c : {Case{5000, 1}, Case{1000, 4}, Case{4096, 1}, Case{0, 1}}) {
        SCOPED_TRACE(c.vertices);
        Fresh();
        QvoMesh m;
        m.name = "Flag1001";
        m.texWave = 1;
        m.texWaveAmplitude = 10.0f;
        m.vertices.assign(c.vertices, Vec3{0, 0, 0});
        ASSERT_EQ(Parse(datakit::WriteQvo(m)), 1);
        EXPECT_EQ(mesh.TexWaveStep, c.step);
        EXPECT_FLOAT_EQ(mesh.TexWaveScale, 0.05f);
    }
}

TEST_F(MeshFiles, NamesThatAreNotPlainLoadNoTexture) {
    QvoMesh m = SampleMesh(10010);
    m.textures[1].name = "../../secret";
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(Parse(datakit::WriteQvo(m)), 1);
    EXPECT_EQ(LoadMapTexture(&mesh, "..\\Sky"), 0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(mesh.TextureNames[1], 0);
    EXPECT_NE(err.find("\"../../secret\" is not a plain name"), std::string::npos) << err;
    EXPECT_NE(err.find("\"..\\Sky\" is not a plain name"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
}

TEST_F(MeshFiles, LodsLoadSelectAndReload) {
    ASSERT_EQ(Parse(datakit::WriteQvo(SampleMesh(10010)), 0), 1);
    ASSERT_EQ(Parse(datakit::WriteQvo(datakit::MakeBoxMesh("Tree2001", {1, 2, 3}, "Box")), 1), 1);
    EXPECT_EQ(mesh.HighestLod, 1u);
    EXPECT_STREQ(mesh.Name, "Tree1001");  // only LOD 0 names the mesh
    EXPECT_EQ(mesh.CurrentLod, 0u);
    EXPECT_EQ(mesh.VertexCount, 8u);
    EXPECT_EQ(mesh.VertexCapacity, 24u);
    EXPECT_EQ(mesh.SelectLod(4), 1u);  // clamped to the highest LOD loaded
    EXPECT_EQ(mesh.PreviousLod, 0u);
    EXPECT_EQ(mesh.VertexCount, 24u);
    EXPECT_EQ(mesh.MaxBoneCount, 0u);
    mesh.SelectDrawLod(0);
    EXPECT_EQ(mesh.DrawLod, 0u);
    EXPECT_EQ(mesh.Materials, mesh.Lods[0].Materials.data());
    EXPECT_EQ(mesh.VertexCount, 24u);  // the vertex arrays stay those of the current LOD
    const float scroll[3] = {0.25f, 0.5f, 0.0f};
    ScrollMeshTexCoords(scroll, &mesh);
    EXPECT_NE(mesh.TexCoords, mesh.BaseTexCoords);
    mesh.SelectDrawLod(0);
    EXPECT_EQ(mesh.TexCoords, mesh.BaseTexCoords);
    // Reloading LOD 0 with more vertices replaces its arrays and the view follows.
    ASSERT_EQ(Parse(datakit::WriteQvo(datakit::MakeSkinnedStrip("Tree1001", 40, 2)), 0), 1);
    EXPECT_EQ(mesh.CurrentLod, 0u);
    EXPECT_EQ(mesh.VertexCount, 40u);
    EXPECT_EQ(mesh.Vertices, mesh.Lods[0].Vertices.data());
    EXPECT_EQ(mesh.VertexCapacity, 40u);
    EXPECT_EQ(mesh.LargestBoneCount, 3u);
}

TEST_F(MeshFiles, ScrolledTexCoordsOffsetAndScaleAboutTheCentre) {
    QvoMesh m = datakit::MakeBoxMesh("Box1001", {1, 1, 1}, "Box");
    ASSERT_EQ(Parse(datakit::WriteQvo(m)), 1);
    struct Case {
        float transform[3];
        float u0, v0;  // base texcoords (0, 1) of vertex 0
    };
    for (const Case& c : {Case{{0.25f, -0.5f, 0.0f}, 0.25f, 0.5f}, Case{{0.1f, 0.0f, 1.0f}, -0.4f, 1.5f}}) {
        ScrollMeshTexCoords(c.transform, &mesh);
        EXPECT_FLOAT_EQ(mesh.TexCoords[0], c.u0);
        EXPECT_FLOAT_EQ(mesh.TexCoords[1], c.v0);
        EXPECT_FLOAT_EQ(mesh.BaseTexCoords[1], 1.0f);
    }
}

// Malformed ".QVo" files: every one is refused, and a mesh holding a LOD 0 keeps it and its
// highest LOD whether the bad file was meant for LOD 0 or LOD 2.
TEST_F(MeshFiles, MalformedMeshFilesAreRefusedAndChangeNothing) {
    struct Case {
        std::string what;
        Bytes bytes;
    };
    std::vector<Case> cases;
    for (uint32_t version : {10003u, 10010u}) {
        datakit::FieldOffsets at;
        const Bytes good = datakit::WriteQvo(SampleMesh(version), &at);
        auto patch = [&](const std::string& what, const std::string& field, uint32_t value) {
            Bytes b = good;
            datakit::PatchU32(b, at.at(field), value);
            cases.push_back({std::to_string(version) + " " + what, b});
        };
        patch("huge texture count", "T", 0x7FFFFFFF);
        patch("huge vertex count", "V", 0xFFFFFFF0);
        patch("huge material count", "M", 0x40000000);
        patch("huge index-list length", "L", 0x40000000);
        patch("huge bone count", "B", 0xFFFFFFFF);
        patch("bone count above the cap", "B", MaxMeshBones + 1);
        patch("huge attach count", "A", 0x01000000);
        patch("huge triangle count", "material 0 n", 0x20000000);
        patch("triangle index at the vertex count", "material 0 indices", 8);
        patch("first third-layer material past the materials", "FirstLayer3Material", 2);
        patch("bone pivot at the vertex count", "bone 1 pivot", 8);
        patch("huge bone vertex count", "bone 1 n", 0x10000000);
        patch("bone vertex past the vertex count", "bone 2 vertex 1", 0xFFFFFFFF);
        patch("anchor at the vertex count", "attach 1 anchor", 8);
        patch("version below", "T", 0);
        datakit::PatchU32(cases.back().bytes, 0, 9999);
        patch("version above", "T", 0);
        datakit::PatchU32(cases.back().bytes, 0, 10011);
        if (version >= 10004) {
            patch("huge attach bone list", "attach 0 bones", 0x7FFFFFFF);
            patch("attach bone at the bone count", "attach 0 bones 1", 3);
        }
        for (size_t n = 0; n < good.size(); ++n)
            cases.push_back({std::to_string(version) + " truncated", Bytes(good.begin(), good.begin() + ptrdiff_t(n))});
    }
    const Bytes lod0 = datakit::WriteQvo(datakit::MakeBoxMesh("Keep1001", {1, 2, 3}, "Box"));
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        // Truncations are many: each is tried as one of the two LODs in turn.
        const bool truncated = c.what.find("truncated") != std::string::npos;
        for (uint32_t lod : {0u, 2u}) {
            if (truncated && lod != (i % 2 ? 0u : 2u)) continue;
            SCOPED_TRACE(c.what + " (" + std::to_string(c.bytes.size()) + " bytes) as LOD " + std::to_string(lod));
            Fresh();
            ASSERT_EQ(Parse(lod0), 1);
            EXPECT_EQ(Parse(c.bytes, lod), 0);
            EXPECT_EQ(mesh.HighestLod, 0u);
            EXPECT_STREQ(mesh.Name, "Keep1001");
            EXPECT_EQ(mesh.VertexCount, 24u);
            EXPECT_EQ(mesh.Lods[2].VertexCount, 0u);
            EXPECT_EQ(mesh.TexWave, 0u);
        }
    }
}

TEST_F(MeshFiles, ARefusedMeshGivesOneLineNamingFileAndField) {
    datakit::FieldOffsets at;
    Bytes bytes = datakit::WriteQvo(SampleMesh(10010), &at);
    datakit::PatchU32(bytes, at.at("bone 1 pivot"), 500);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Parse(bytes, 0, "OBJECTS/Bad1001.QVo"), 0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("mesh: OBJECTS/Bad1001.QVo: bone 1: pivot vertex 500"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST_F(MeshFiles, SideFileVersionsRoundTrip) {
    datakit::QvcFile f = datakit::MakeSideFile(datakit::MakeBoxMesh("", {2, 2, 2}, ""));
    f.words[3] = 8;
    f.sideWord = 0.5f;
    f.tail = 77;
    datakit::QvoBone bone;
    bone.pivot = 1;
    bone.vertices = {2, 3};
    bone.weights = {1.0f, 0.5f};
    f.bones = {bone, bone};
    for (uint32_t version : {10000u, 10001u, 10002u}) {
        for (uint32_t skinned : {0u, 1u}) {
            SCOPED_TRACE(std::to_string(version) + (skinned ? " skinned" : ""));
            f.version = version;
            f.collisionSkinned = skinned;
            Fresh();
            ASSERT_EQ(ParseSide(datakit::WriteQvc(f)), 1);
            EXPECT_EQ(mesh.SideFileVersion, version);
            EXPECT_EQ(mesh.CollisionVertexCount, 24u);
            EXPECT_EQ(mesh.CollisionTriangleCount, 12u);
            EXPECT_EQ(mesh.PosedCollisionVertices.size(), 24u);
            EXPECT_EQ(mesh.CollisionTriangles[35], f.triangles[35]);
            EXPECT_EQ(mesh.CollisionTriangleWords[3], 8u);
            EXPECT_EQ(mesh.SideFileTail, 77u);
            EXPECT_FLOAT_EQ(mesh.SideFileWord, version >= 10001 ? 0.5f : 1.0f);
            const bool bones = version == 10002 && skinned;
            EXPECT_EQ(mesh.CollisionSkinned, bones ? 1u : 0u);
            ASSERT_EQ(mesh.CollisionBoneCount, bones ? 2u : 0u);
            if (bones) {
                EXPECT_FLOAT_EQ(mesh.CollisionBones[1].Weights[1], 0.5f);
            }
        }
    }
}

TEST_F(MeshFiles, MalformedSideFilesAreRefused) {
    datakit::QvcFile f = datakit::MakeSideFile(datakit::MakeBoxMesh("", {2, 2, 2}, ""));
    f.collisionSkinned = 1;
    datakit::QvoBone bone;
    bone.pivot = 1;
    bone.vertices = {2, 3};
    f.bones = {bone};
    datakit::FieldOffsets at;
    const Bytes good = datakit::WriteQvc(f, &at);
    struct Case {
        std::string what;
        Bytes bytes;
    };
    std::vector<Case> cases;
    auto patch = [&](const std::string& what, const std::string& field, uint32_t value) {
        Bytes b = good;
        datakit::PatchU32(b, at.at(field), value);
        cases.push_back({what, b});
    };
    patch("huge vertex count", "CV", 0xFFFFFFFF);
    patch("huge triangle count", "CT", 0x7FFFFFFF);
    patch("huge bone count", "bones", 0xFFFFFFFF);
    patch("triangle vertex at the vertex count", "triangles", 24);
    patch("bone pivot at the vertex count", "bone 0 pivot", 24);
    patch("huge bone vertex count", "bone 0 n", 0x40000000);
    patch("bone vertex at the vertex count", "bone 0 vertex 1", 24);
    patch("version above", "CV", 24);
    datakit::PatchU32(cases.back().bytes, 0, 10003);
    for (size_t n = 0; n < good.size(); ++n) cases.push_back({"truncated", Bytes(good.begin(), good.begin() + ptrdiff_t(n))});
    const Bytes keep = datakit::WriteQvc(datakit::MakeSideFile(datakit::MakeBoxMesh("", {1, 1, 1}, "")));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what + " at " + std::to_string(c.bytes.size()) + " bytes");
        Fresh();
        ASSERT_EQ(ParseSide(keep), 1);
        EXPECT_EQ(ParseSide(c.bytes), 0);
        EXPECT_EQ(mesh.CollisionVertexCount, 24u);
        EXPECT_EQ(mesh.CollisionVertices.size(), 24u);
        EXPECT_EQ(mesh.CollisionSkinned, 0u);
    }
}

TEST_F(MeshFiles, EmptyMeshHasOneVertexOneBoneAndAPose) {
    CreateEmptyMesh(&mesh);
    EXPECT_EQ(mesh.VertexCount, 1u);
    EXPECT_EQ(mesh.MaterialCount, 0u);
    ASSERT_EQ(mesh.MaxBoneCount, 1u);
    EXPECT_EQ(mesh.Bones[0].Pivot, 0u);
    EXPECT_EQ(mesh.Bones[0].VertexCount, 0u);
    EXPECT_TRUE(mesh.BoneChildren[0].empty());
    EXPECT_EQ(mesh.Skinned, 1u);
    ASSERT_NE(mesh.LayerPose, nullptr);
    EXPECT_EQ(mesh.LayerPose->FrameCount, 1u);
    EXPECT_EQ(mesh.LayerPose->BoneCount, 1u);
    FreeMesh(&mesh);
    EXPECT_EQ(mesh.LayerPose, nullptr);
    EXPECT_EQ(mesh.VertexCount, 0u);
    EXPECT_EQ(mesh.Vertices, nullptr);
}

TEST_F(MeshFiles, RestPoseBoundsKeepPlacementAndSizeClass) {
    ASSERT_EQ(Parse(datakit::WriteQvo(SampleMesh(10010))), 1);
    *mesh.Position = {5, 5, 5};
    mesh.SizeClass = 3.0f;
    mesh.TexWaveRate1 = 9.0f;
    NztAnim* idle = CreateAnim();
    idle->AllocFrames(3, 1);
    SetMeshRestPose(&mesh, idle);
    ExpectVec(*mesh.Position, Vec3{5, 5, 5});
    EXPECT_EQ(mesh.Visible, 0u);
    EXPECT_EQ(mesh.PosedVertices, nullptr);
    EXPECT_FLOAT_EQ(mesh.SizeClass, 3.0f);
    EXPECT_FLOAT_EQ(mesh.TexWaveRate1, 9.0f);
    // The pose is turned by the mesh's matrix, whose x axis leans 0.5 up: 3 high becomes 4.
    ExpectVec(mesh.Size, Vec3{2, 4, 2});
    DeleteAnim(idle);
}

TEST_F(MeshFiles, AnimationSlotsGrowOnlyAndAreFreedOnce) {
    ResizeMeshAnimSlots(&mesh, 3);
    ResizeMeshAnimSlots(&mesh, 1);
    EXPECT_EQ(mesh.AnimSlotCount, 3u);
    EXPECT_EQ(mesh.AnimSlots.size(), 3u);
    NztAnim* shared = CreateAnim();
    mesh.AnimSlots[0] = mesh.AnimSlots[2] = shared;
    mesh.AnimSlotFlags[1] = 1;
    ResizeMeshAnimSlots(&mesh, 236);
    EXPECT_EQ(mesh.AnimSlots[2], shared);
    EXPECT_EQ(mesh.AnimSlotFlags[1], 1u);
    EXPECT_EQ(mesh.AnimSlots[235], nullptr);
    FreeMeshAnimSlots(&mesh);  // the sanitizer sees a second delete of the shared animation
    EXPECT_EQ(mesh.AnimSlotCount, 0u);
}

TEST_F(MeshFiles, ReplacingATextureNeedsALoadedSlot) {
    ASSERT_EQ(Parse(datakit::WriteQvo(SampleMesh(10010))), 1);
    mesh.Lods[0].TextureNames[1] = -1;  // never loaded
    struct Case {
        uint32_t lod, slot;
        int replaced;
    };
    for (const Case& c : {Case{0, 0, 1}, Case{0, 1, 0}, Case{0, 2, 0}, Case{1, 0, 0}, Case{9, 0, 0}})
        EXPECT_EQ(ReplaceMeshTexture(c.lod, &mesh, c.slot, "Moss", 1, 1, 1), c.replaced) << c.lod << " " << c.slot;
}

// A camera at z = -10 looking along +z at two triangles under the viewport centre.
TEST_F(MeshFiles, PickingFindsTheNearestTriangleUnderThePoint) {
    QvoMesh m;
    m.name = "Pick1001";
    m.vertices = {{-1, -1, 0}, {1, -1, 0}, {0, 1, 0}, {-1, -1, 5}, {1, -1, 5}, {0, 1, 5}};
    m.materials.resize(2);
    m.materials[0].indices = {3, 4, 5};
    m.materials[1].indices = {0, 1, 2, 1, 0, 2};  // the second triangle faces away
    ASSERT_EQ(Parse(datakit::WriteQvo(m)), 1);
    MeshPickView view;
    view.Eye = {0, 0, -10};
    view.Focal = 100.0f;
    MeshPickHit hit;
    ASSERT_EQ(PickMeshTriangle(&mesh, view, 400, 300, &hit), 0);
    EXPECT_EQ(hit.Material, 1);
    EXPECT_NEAR(hit.Depth, 10.0f, Tol);
    Vec3 point;
    ASSERT_TRUE(PickMeshHitPoint(&mesh, view, hit.Material, hit.Triangle, 400, 300, &point));
    ExpectVec(point, Vec3{0, 0, 0});
    // 10 units away a pixel is a tenth of a unit, y counted upwards on the plane.
    ASSERT_TRUE(PickMeshHitPoint(&mesh, view, 1, 0, 402, 298, &point));
    ExpectVec(point, Vec3{0.2f, 0.2f, 0}, 1e-4f);
    EXPECT_FALSE(PickMeshHitPoint(&mesh, view, 1, 0, 405, 295, &point));
    EXPECT_EQ(PickMeshTriangle(&mesh, view, 400, 100, &hit), -1);
    EXPECT_EQ(hit.Material, -1);
    EXPECT_FALSE(TestPickTriangle(1, 1, &mesh, view, 400, 300, nullptr));
    EXPECT_FALSE(TestPickTriangle(0, 2, &mesh, view, 400, 300, nullptr));
}

// The bytes a mesh keeps, array by array, to compare two loads of one file.
std::vector<uint8_t> MeshBytes(const NztMesh& m) {
    std::vector<uint8_t> out;
    auto put = [&out](const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        const uint64_t size = n;
        const uint8_t* s = reinterpret_cast<const uint8_t*>(&size);
        out.insert(out.end(), s, s + 8);
        if (n) out.insert(out.end(), b, b + n);
    };
    auto array = [&put](const auto& v) { put(v.data(), v.size() * sizeof(v[0])); };
    for (const MeshLod& l : m.Lods) {
        array(l.Vertices);
        array(l.Normals);
        array(l.ShadingVectors);
        array(l.TexCoords);
        array(l.WaveTexCoordsScaled);
        array(l.IndexList);
        for (const MeshMaterial& mat : l.Materials) {
            array(mat.Indices);
            put(&mat.Layer1, 4);
            put(&mat.Layer2, 4);
            put(&mat.Layer3, 4);
        }
        for (const NztMeshBone& b : l.Bones) {
            put(&b.Pivot, 4);
            array(b.Vertices);
            array(b.Weights);
            put(&b.ExtraLimits, sizeof b.ExtraLimits);
            put(&b.HasExtra, 4);
        }
        for (const auto& list : l.BoneChildren) array(list);
        for (const NztAttachPoint& a : l.AttachPoints) {
            put(a.Name, sizeof a.Name);
            put(&a.Anchor, 4);
            put(&a.Rotation, sizeof a.Rotation);
        }
        for (const auto& list : l.AttachBoneLists) array(list);
    }
    array(m.CollisionVertices);
    array(m.CollisionTriangles);
    array(m.CollisionTriangleWords);
    for (const NztMeshBone& b : m.CollisionBones) array(b.Vertices);
    put(&m.BoxMin, sizeof m.BoxMin);
    put(&m.BoxMax, sizeof m.BoxMax);
    put(m.Name, sizeof m.Name);
    put(m.AnimSetName, sizeof m.AnimSetName);
    return out;
}

// The arrays are taken straight from the bytes where they lie aligned, through a bounce buffer
// where they do not, and a loose file is read whole into a buffer the next file reuses: every
// way gives the same mesh, and a file cut short is refused whichever way it comes.
TEST_F(MeshFiles, EveryWayOfReadingAFileGivesTheSameMesh) {
    // Arrays of several slices (the index lists run to about 90,000 words) and small ones.
    QvoMesh big = datakit::MakeSkinnedStrip("Tree1001", 30000, 4);
    big.version = 10010;
    const QvoMesh sample = SampleMesh(10010);
    big.textures = sample.textures;
    big.attach = sample.attach;
    big.indexList = {1, 2, 3};
    big.texWave = 1;
    big.bones[1].hasExtra = 1;
    big.bones[1].extraLimits = {1, 2, 3};
    const Bytes small = datakit::WriteQvo(sample);
    const Bytes large = datakit::WriteQvo(big);
    const Bytes side = datakit::WriteQvc(datakit::MakeSideFile(big));

    TempFolder temp;
    ASSERT_FALSE(temp.path().empty());
    ASSERT_TRUE(SetDataFolder(temp.path().c_str()));
    const std::pair<const char*, const Bytes*> files[] = {{"OBJECTS/Small1001.QVo", &small},
                                                          {"OBJECTS/Large1001.QVo", &large},
                                                          {"OBJECTS/Large0001.QVc", &side}};
    for (const auto& [name, bytes] : files) ASSERT_TRUE(datakit::WriteModelFile(temp.path() + name, *bytes));
    const Bytes cut(large.begin(), large.end() - 5);
    ASSERT_TRUE(datakit::WriteModelFile(temp.path() + "OBJECTS/Cut1001.QVo", cut));

    auto fromMemory = [](const Bytes& bytes, size_t offset, const Bytes* sideBytes) {
        // offset 1 puts every array off its alignment
        std::vector<uint8_t> block(bytes.size() + offset);
        std::copy(bytes.begin(), bytes.end(), block.begin() + static_cast<ptrdiff_t>(offset));
        auto m = std::make_unique<NztMesh>();
        NztFile stream;
        stream.OpenMemory(block.data() + offset, static_cast<uint32_t>(bytes.size()));
        EXPECT_EQ(ParseMeshFile(m.get(), &stream, 0, 1, "OBJECTS/Tree1001.QVo"), 1);
        if (sideBytes != nullptr) {
            std::vector<uint8_t> sideBlock(sideBytes->size() + offset);
            std::copy(sideBytes->begin(), sideBytes->end(),
                      sideBlock.begin() + static_cast<ptrdiff_t>(offset));
            stream.OpenMemory(sideBlock.data() + offset, static_cast<uint32_t>(sideBytes->size()));
            EXPECT_EQ(ParseMeshSideFile(m.get(), &stream, "OBJECTS/Tree0001.QVc"), 1);
        }
        return m;
    };
    auto loose = [](const char* name, const char* sideName) {
        auto m = std::make_unique<NztMesh>();
        EXPECT_EQ(LoadMeshFile(name, m.get(), 0, 1), 1) << name;
        if (sideName != nullptr) {
            EXPECT_EQ(LoadMeshSideFile(sideName, m.get()), 1) << sideName;
        }
        return m;
    };
    auto same = [](std::unique_ptr<NztMesh> a, std::unique_ptr<NztMesh> b) {
        const bool equal = MeshBytes(*a) == MeshBytes(*b);
        FreeMesh(a.get());
        FreeMesh(b.get());
        return equal;
    };
    EXPECT_TRUE(same(fromMemory(large, 0, &side), fromMemory(large, 1, &side)));
    EXPECT_TRUE(same(fromMemory(large, 0, &side), loose("OBJECTS/Large1001.QVo", "OBJECTS/Large0001.QVc")));
    // A small file after a large one reads over the start of the buffer the large one left.
    EXPECT_TRUE(same(fromMemory(small, 1, nullptr), loose("OBJECTS/Small1001.QVo", nullptr)));

    ASSERT_EQ(LoadMeshFile("OBJECTS/Small1001.QVo", &mesh, 0, 1), 1);
    const std::vector<uint8_t> kept = MeshBytes(mesh);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(LoadMeshFile("OBJECTS/Cut1001.QVo", &mesh, 0, 1), 0);
    const std::string refusal = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(refusal.find("mesh: OBJECTS/Cut1001.QVo: "), std::string::npos) << refusal;
    EXPECT_EQ(MeshBytes(mesh), kept);
}

// The sample data that makedata writes loads through the engine from a data folder.
TEST_F(MeshFiles, SampleModelsLoadFromTheDataFolder) {
    TempFolder temp;
    const std::string& folder = temp.path();
    ASSERT_FALSE(folder.empty());
    const auto files = datakit::SampleModelFiles();
    for (const auto& [name, bytes] : files) ASSERT_TRUE(datakit::WriteModelFile(folder + name, bytes));
    ASSERT_TRUE(SetDataFolder(folder.c_str()));
    ::testing::internal::CaptureStderr();
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const std::string ext = name.substr(name.size() - 4);
        if (ext == ".QVa") {
            NztAnim anim;
            EXPECT_EQ(anim.Load(name.c_str(), 14), 1);
            EXPECT_GT(anim.FrameCount, 1u);
        } else {
            NztMesh m;
            const uint32_t lod = name.find("2001") != std::string::npos ? 1 : 0;
            EXPECT_EQ(ext == ".QVo" ? LoadMeshFile(name.c_str(), &m, lod, 1) : LoadMeshSideFile(name.c_str(), &m), 1);
            FreeMesh(&m);
        }
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    ASSERT_EQ(LoadMeshFile("OBJECTS/ENTITIES/Hero1001.QVo", &mesh, 0, 1), 1);
    EXPECT_STREQ(mesh.AnimSetName, "Hero");
    EXPECT_STREQ(mesh.Folder, "OBJECTS/ENTITIES/");
    EXPECT_EQ(mesh.Skinned, 1u);
    EXPECT_EQ(mesh.MaxBoneCount, 14u);
    EXPECT_EQ(mesh.AttachCount, 9u);
    EXPECT_NE(mesh.LayerPose, nullptr);
    EXPECT_EQ(mesh.BoneChildren[0].size(), 13u);  // the pelvis carries every other joint
    NztAnim walk;
    ASSERT_EQ(walk.Load("OBJECTS/ENTITIES/ANIMS/Hero/HeroMoveWalk.QVa", mesh.MaxBoneCount), 1);
    EXPECT_NEAR(walk.RootStep.z, 0.55f * 23 / 24, 1e-4f);
    EXPECT_EQ(LoadMeshFile("OBJECTS/Missing1001.QVo", &mesh, 1, 1), 0);
    EXPECT_EQ(mesh.HighestLod, 0u);
}

}  // namespace
