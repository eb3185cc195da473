#include "effects/meshdraw.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/config.h"
#include "effects/light.h"
#include "effects/shading.h"
#include "model/mesh.h"
#include "objects/registry.h"
#include "render/glext.h"
#include "render/glrecorder.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "render/texture.h"
#include "support/gl_window.h"

namespace {

// ---- a fake GL that keeps the state the drawing code changes ----------------------------------

struct UnitState {
    bool tex2D = false, cube = false, coordArray = false;
    GLuint bound2D = 0, boundCube = 0;
    GLint env = GL_MODULATE, combineRgb = GL_MODULATE;
    GLint coordSize = 4;
    GLsizei coordStride = 0;
    const void* coords = nullptr;
};

constexpr int kUnits = 4;

// The state at one glDrawElements.
struct DrawSnapshot {
    const void* indices;
    GLsizei count;
    UnitState units[kUnits];
    bool colourArray;
    float colour[4];
    bool blend;
    GLenum src, dst;
    bool depthWrite;
};

// Everything starts off, as in a fresh context and a fresh render-state cache.
struct FakeGl {
    uint32_t active = 0, client = 0, highestUnit = 0;
    UnitState units[kUnits];
    bool colourArray = false, vertexArray = false, blend = false, depthWrite = false;
    GLenum src = GL_ONE, dst = GL_ZERO;
    float colour[4] = {1, 1, 1, 1};
    const void* colourPointer = nullptr;
    const void* vertexPointer = nullptr;
    std::vector<DrawSnapshot> draws;
    int bind2DCalls = 0;
};

FakeGl& Gl() {
    static FakeGl gl;
    return gl;
}

void Switch(GLenum what, bool on) {
    FakeGl& gl = Gl();
    if (what == GL_TEXTURE_2D) gl.units[gl.active].tex2D = on;
    if (what == GL_TEXTURE_CUBE_MAP) gl.units[gl.active].cube = on;
    if (what == GL_BLEND) gl.blend = on;
}

void SwitchArray(GLenum what, bool on) {
    FakeGl& gl = Gl();
    if (what == GL_TEXTURE_COORD_ARRAY) gl.units[gl.client].coordArray = on;
    if (what == GL_COLOR_ARRAY) gl.colourArray = on;
    if (what == GL_VERTEX_ARRAY) gl.vertexArray = on;
}

void SelectUnit(uint32_t* which, GLenum unit) {
    *which = unit - GL_TEXTURE0;
    Gl().highestUnit = std::max(Gl().highestUnit, *which);
}

void Unused() {}

void* FakeProcAddress(const char* name) {
    if (std::string(name) == "glActiveTextureARB")
        return reinterpret_cast<void*>(+[](GLenum unit) { SelectUnit(&Gl().active, unit); });
    if (std::string(name) == "glClientActiveTextureARB")
        return reinterpret_cast<void*>(+[](GLenum unit) { SelectUnit(&Gl().client, unit); });
    return reinterpret_cast<void*>(&Unused);
}

void InstallFakeGl() {
    Gl() = FakeGl{};
    GlCore.Enable = [](GLenum c) { Switch(c, true); };
    GlCore.Disable = [](GLenum c) { Switch(c, false); };
    GlCore.EnableClientState = [](GLenum c) { SwitchArray(c, true); };
    GlCore.DisableClientState = [](GLenum c) { SwitchArray(c, false); };
    GlCore.BlendFunc = [](GLenum s, GLenum d) {
        Gl().src = s;
        Gl().dst = d;
    };
    GlCore.DepthMask = [](GLboolean on) { Gl().depthWrite = on != 0; };
    MeshGl.VertexPointer = [](GLint, GLenum, GLsizei, const void* p) { Gl().vertexPointer = p; };
    MeshGl.ColorPointer = [](GLint, GLenum, GLsizei, const void* p) { Gl().colourPointer = p; };
    MeshGl.TexCoordPointer = [](GLint size, GLenum, GLsizei stride, const void* p) {
        UnitState& u = Gl().units[Gl().client];
        u.coordSize = size;
        u.coordStride = stride;
        u.coords = p;
    };
    MeshGl.DrawElements = [](GLenum mode, GLsizei count, GLenum type, const void* indices) {
        ASSERT_EQ(mode, static_cast<GLenum>(GL_TRIANGLES));
        ASSERT_EQ(type, static_cast<GLenum>(GL_UNSIGNED_INT));
        const FakeGl& gl = Gl();
        DrawSnapshot s{indices, count, {}, gl.colourArray, {}, gl.blend, gl.src, gl.dst, gl.depthWrite};
        std::copy(gl.units, gl.units + kUnits, s.units);
        std::copy(gl.colour, gl.colour + 4, s.colour);
        EXPECT_TRUE(gl.vertexArray);
        Gl().draws.push_back(s);
    };
    MeshGl.BindTexture = [](GLenum target, GLuint name) {
        UnitState& u = Gl().units[Gl().active];
        if (target == GL_TEXTURE_2D) {
            u.bound2D = name;
            ++Gl().bind2DCalls;
        }
        if (target == GL_TEXTURE_CUBE_MAP) u.boundCube = name;
    };
    MeshGl.TexEnvi = [](GLenum target, GLenum name, GLint value) {
        ASSERT_EQ(target, static_cast<GLenum>(GL_TEXTURE_ENV));
        UnitState& u = Gl().units[Gl().active];
        if (name == GL_TEXTURE_ENV_MODE) u.env = value;
        if (name == GL_COMBINE_RGB) u.combineRgb = value;
    };
    MeshGl.Color4f = [](GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
        float* c = Gl().colour;
        c[0] = r, c[1] = g, c[2] = b, c[3] = a;
    };
    // A driver with multitexture, whose unit selections reach the fake.
    GlExtensionLoader.glString = [](GLenum name) -> const char* {
        if (name == GL_VERSION) return "1.3";
        if (name == GL_EXTENSIONS) return "GL_ARB_multitexture";
        return nullptr;
    };
    GlExtensionLoader.procAddress = &FakeProcAddress;
    InitGlExtensions();
}

// ---- meshes ---------------------------------------------------------------------------------

constexpr GLuint kNormalCube = 901, kSkyCube = 902;

struct MatSpec {
    bool layer2 = false;
    bool layer3 = false;
    uint32_t flat = 0;
    uint32_t blend = 0;
};

struct MeshSpec {
    std::vector<MatSpec> materials;
    uint32_t firstOpaque = 0;
    uint32_t texWave = 0;
    uint32_t drawEnabled = 1;
};

// A quad of 4 posed vertices; material i is one triangle with layer 1 = 100 + i, layer 2 =
// 200 + i and layer 3 = 300 + i where it has them.
struct DrawnMesh {
    NztMesh mesh;
    std::vector<Vec3> posed, normals;
    std::vector<float> colours;

    void Init(const MeshSpec& spec) {
        const uint32_t m = static_cast<uint32_t>(spec.materials.size());
        mesh.AllocLod(4, m, 0, 0, 0, 0, 0, 0, 0);
        posed = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
        normals.assign(4, Vec3{0.0f, 0.0f, 1.0f});
        colours.assign(16, 1.0f);
        mesh.PosedVertices = posed.data();
        mesh.PosedNormals = normals.data();
        mesh.VertexColours = colours.data();
        MeshLod& lod = mesh.Lods[0];
        for (uint32_t i = 0; i < m; ++i) {
            MeshMaterial& mat = lod.Materials[i];
            const MatSpec& s = spec.materials[i];
            mat.Indices = {0, i % 2 + 1, i % 2 + 2};
            mat.IndexCount = 3;
            mat.Layer1 = static_cast<int32_t>(100 + i);
            mat.Layer2 = s.layer2 ? static_cast<int32_t>(200 + i) : NoTexture;
            mat.Layer3 = s.layer3 ? static_cast<int32_t>(300 + i) : NoTexture;
            mat.Word1 = s.flat;
            mat.Word2 = s.blend;
            if (s.layer2) mesh.HasLayer2 = lod.HasLayer2 = 1;
            if (s.layer3) mesh.HasLayer3 = lod.HasLayer3 = 1;
        }
        mesh.FirstLayer3Material = lod.FirstLayer3Material = spec.firstOpaque;
        mesh.DrawEnabled = lod.DrawEnabled = spec.drawEnabled;
        mesh.TexWave = spec.texWave;
        if (spec.texWave != 0) {
            lod.WaveTexCoords.assign(8, 0.25f);
            lod.WaveTexCoordsScaled.assign(8, 0.5f);
            mesh.WaveTexCoords = lod.WaveTexCoords.data();
            mesh.WaveTexCoordsScaled = lod.WaveTexCoordsScaled.data();
        }
    }
    // The material whose indices a draw used; -1 for none.
    int MaterialOf(const DrawSnapshot& d) const {
        for (uint32_t i = 0; i < mesh.MaterialCount; ++i)
            if (mesh.Materials[i].Indices.data() == d.indices) return static_cast<int>(i);
        return -1;
    }
    // The materials of the draws, in draw order.
    std::vector<int> DrawOrder() const {
        std::vector<int> order;
        for (const DrawSnapshot& d : Gl().draws) order.push_back(MaterialOf(d));
        return order;
    }
    std::vector<DrawSnapshot> DrawsOf(int material) const {
        std::vector<DrawSnapshot> out;
        for (const DrawSnapshot& d : Gl().draws)
            if (MaterialOf(d) == material) out.push_back(d);
        return out;
    }
};

class MeshDraw : public ::testing::Test {
protected:
    void SetUp() override {
        Fresh();
        savedConfig_ = UserConfig;
        UserConfig.bumpMapping = 1;
        ResetShadingGlobals();
        NearLightRegistry = {};
    }
    void TearDown() override {
        MeshGl = MeshDrawGlCalls{};
        UserConfig = savedConfig_;
        ResetShadingGlobals();
        NearLightRegistry = {};
    }
    // A fresh fake GL and render-state cache, for each case of a table.
    static void Fresh() {
        InstallFakeGl();
        InitRenderState();
        BoundTextureId = 0;
        RenderState.normalizationCubeMap = kNormalCube;
        RenderState.skyCubeMap = kSkyCube;
    }
    // The state every routine leaves: unit 0 selected, units above 0 off, the cache in step.
    static void ExpectUnitsReset() {
        const FakeGl& gl = Gl();
        EXPECT_EQ(gl.active, 0u);
        EXPECT_EQ(gl.client, 0u);
        for (int u = 1; u < kUnits; ++u) {
            SCOPED_TRACE(u);
            EXPECT_FALSE(gl.units[u].tex2D);
            EXPECT_FALSE(gl.units[u].cube);
            EXPECT_FALSE(gl.units[u].coordArray);
        }
        // A routine that selected no unit leaves the cache not knowing one.
        for (uint32_t cached : {RenderState.activeTextureUnit, RenderState.clientActiveTextureUnit})
            EXPECT_TRUE(cached == 0 || cached == kNoTextureUnit) << cached;
        EXPECT_EQ(RenderState.colorArrayOn != 0, gl.colourArray);
        EXPECT_EQ(RenderState.texCoordArrayOn != 0, gl.units[0].coordArray);
        EXPECT_EQ(RenderState.blendOn != 0, gl.blend);
        EXPECT_EQ(RenderState.depthWriteOn != 0, gl.depthWrite);
    }

    glrec::Session session_;
    UserConfigData savedConfig_;
};

using Routine = void (*)(NztMesh*);
const Routine kFlatRed = [](NztMesh* m) { DrawMeshFlatColor(m, 1.0f, 0.0f, 0.0f, 1.0f); };
const Routine kSky = [](NztMesh* m) { DrawSkyMesh(m, 0.5f); };

const MatSpec kPlain{}, kBlended{false, false, 0, 2}, kLayered{true, false, 0, 0}, kBumped{false, true, 0, 0},
    kBumpedLayered{true, true, 0, 0}, kBlendedLayered{true, false, 0, 6};
// Material 0 in the blended run, 1 and 2 in the opaque run.
const MeshSpec kMixed{{kBlended, kPlain, kPlain}, 1};
const MeshSpec kMixedLayered{{kBlendedLayered, kLayered, kPlain}, 1};
const MeshSpec kMixedBumped{{kBlended, kBumpedLayered, kBumped}, 1};

struct RoutineCase {
    const char* name;
    MeshSpec mesh;
    Routine draw;
    std::vector<int> order;  // materials drawn, in order
};

TEST_F(MeshDraw, EachRoutineDrawsItsRunsAndResetsTheUnits) {
    const RoutineCase cases[] = {
        {"opaque pass", kMixed, DrawMeshOpaque, {2, 1}},
        {"second pass", kMixed, DrawMeshSecondPass, {0}},
        {"opaque pass, all blended", {{kBlended, kBlended}, 2}, DrawMeshOpaque, {}},
        {"second pass, all blended", {{kBlended, kBlended}, 2}, DrawMeshSecondPass, {1, 0}},
        {"second pass, none blended", {{kPlain, kPlain}, 0}, DrawMeshSecondPass, {}},
        {"opaque pass, drawing off", {{kPlain}, 0, 0, 0}, DrawMeshOpaque, {}},
        {"simple pass, drawing off", {{kPlain}, 0, 0, 0}, DrawMeshSimple, {}},
        {"opaque pass, second layer", kMixedLayered, DrawMeshOpaque, {2, 1}},
        {"opaque pass, second layer by wave", {{kBlended, kLayered, kPlain}, 1, 3}, DrawMeshOpaque, {2, 1}},
        {"opaque pass, bump map", kMixedBumped, DrawMeshOpaque, {2, 2, 1, 1}},
        {"second pass, second layer", kMixedLayered, DrawMeshSecondPass, {0}},
        {"faded second pass", kMixed, DrawMeshSecondPassFaded, {2, 1, 0}},
        {"simple pass", kMixed, DrawMeshSimple, {2, 1}},
        {"alpha pass", kMixed, DrawMeshAlpha, {0}},
        {"faded alpha pass", kMixed, DrawMeshAlphaFaded, {2, 1, 0}},
        {"flat colour", kMixed, kFlatRed, {2, 1, 0}},
        {"sky", kMixed, kSky, {2, 1, 0}},
        {"sky, second layer", kMixedLayered, kSky, {2, 1, 0}},
        {"vertex coloured", {{kBlended, kBlended, kPlain}, 2}, DrawMeshVertexColored, {1, 0}},
        {"three-unit opaque, bump map", {{kBlended, kBumpedLayered, kBumped}, 1, 1}, DrawMeshOpaque, {2, 2, 1, 1}},
        {"three-unit second pass, bump map", {{kBumped, kBumped, kPlain}, 2, 1}, DrawMeshSecondPass, {1, 1, 0, 0}},
        {"three-unit opaque, second layer", {{kBlended, kLayered, kPlain}, 1, 1}, DrawMeshOpaque, {2, 1}},
        {"three-unit second pass, second layer", {{kLayered, kPlain}, 2, 1}, DrawMeshSecondPass, {1, 0}},
        {"three-unit opaque, plain", {{kBlended, kPlain, kPlain}, 1, 1}, DrawMeshOpaque, {2, 1}},
        {"three-unit second pass, plain", {{kBlended, kPlain}, 1, 1}, DrawMeshSecondPass, {0}},
        {"preview", kMixedBumped, DrawMeshPreview, {2, 2, 1, 1, 0}},
    };
    for (const RoutineCase& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        DrawnMesh d;
        d.Init(c.mesh);
        c.draw(&d.mesh);
        EXPECT_EQ(d.DrawOrder(), c.order);
        ExpectUnitsReset();
    }
}

TEST_F(MeshDraw, TheGlobalSwitchHidesWorldMeshesButNotWindowModels) {
    struct SwitchCase {
        const char* name;
        void (*draw)(NztMesh*);
        std::vector<int> onOrder;
    };
    const SwitchCase cases[] = {
        {"opaque pass", DrawMeshOpaque, {2, 1}},
        {"second pass", DrawMeshSecondPass, {0}},
        {"faded second pass", DrawMeshSecondPassFaded, {2, 1, 0}},
        {"simple pass", DrawMeshSimple, {2, 1}},
        {"alpha pass", DrawMeshAlpha, {0}},
        {"faded alpha pass", DrawMeshAlphaFaded, {2, 1, 0}},
    };
    for (const SwitchCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (uint32_t on : {0u, 1u}) {
            Fresh();
            MeshDrawSwitch = on;
            DrawnMesh d;
            d.Init(kMixed);
            c.draw(&d.mesh);
            EXPECT_EQ(d.DrawOrder(), on != 0 ? c.onOrder : std::vector<int>{}) << on;
        }
    }
    Fresh();
    MeshDrawSwitch = 0;
    DrawnMesh d;
    d.Init(kMixed);
    DrawMeshPreview(&d.mesh);
    EXPECT_EQ(d.DrawOrder(), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(MeshDrawSwitch, 0u);
    MeshDrawSwitch = 1;
}

TEST_F(MeshDraw, BumpMappingSwitchDecidesTheCubeMapAndUnits) {
    struct Case {
        uint32_t bump, texWave;
        bool cube;
        uint32_t highestUnit;
    } cases[] = {{1, 0, true, 1}, {0, 0, false, 1}, {1, 1, true, 2}, {0, 1, false, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "bump " << c.bump << ", wave " << c.texWave);
        Fresh();
        UserConfig.bumpMapping = c.bump;
        DrawnMesh d;
        d.Init({{kBumpedLayered, kBumped}, 0, c.texWave});
        DrawMeshOpaque(&d.mesh);
        bool cube = false;
        for (const DrawSnapshot& s : Gl().draws)
            for (const UnitState& u : s.units) cube = cube || u.cube;
        EXPECT_EQ(cube, c.cube);
        EXPECT_EQ(Gl().highestUnit, c.highestUnit);
    }
}

TEST_F(MeshDraw, FlatMaterialsTakeTheirPassColour) {
    struct Case {
        const char* name;
        uint32_t texWave;
        bool bump;
        Routine draw;
        float flat[4];
        bool plainUsesArray;  // else the non-flat material is drawn in sun colour x tint
    } cases[] = {
        {"opaque pass", 0, false, DrawMeshOpaque, {1, 1, 1, 0.8f}, true},
        {"opaque bump pass", 0, true, DrawMeshOpaque, {1, 1, 1, 0.8f}, true},
        {"three-unit bump pass", 1, true, DrawMeshOpaque, {1, 1, 1, 0.75f}, true},
        {"three-unit pass", 1, false, DrawMeshOpaque, {1, 1, 1, 0.75f}, true},
        {"simple pass", 0, false, DrawMeshSimple, {0.5f, 0.6f, 0.7f, 0.8f}, false},
        {"faded second pass", 0, false, DrawMeshSecondPassFaded, {0.5f, 0.6f, 0.7f, 0.8f}, true},
        {"faded alpha pass", 0, false, DrawMeshAlphaFaded, {0.5f, 0.6f, 0.7f, 0.8f}, false},
    };
    SunColour[0] = 0.2f;
    SunColour[1] = 0.4f;
    SunColour[2] = 0.6f;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        DrawnMesh d;
        const MatSpec flat{false, c.bump, 1, 0}, plain{false, c.bump, 0, 0};
        d.Init({{flat, plain}, 0, c.texWave});
        d.mesh.Tint[0] = 0.5f;
        d.mesh.Tint[1] = 0.6f;
        d.mesh.Tint[2] = 0.7f;
        d.mesh.MeshAlpha = 0.8f;
        c.draw(&d.mesh);
        // The last draw of a material is the one that shows its colour.
        const std::vector<DrawSnapshot> flats = d.DrawsOf(0), plains = d.DrawsOf(1);
        ASSERT_FALSE(flats.empty());
        ASSERT_FALSE(plains.empty());
        EXPECT_FALSE(flats.back().colourArray);
        for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(flats.back().colour[k], c.flat[k]) << k;
        EXPECT_EQ(plains.back().colourArray, c.plainUsesArray);
        if (!c.plainUsesArray) {
            const float lit[4] = {0.1f, 0.24f, 0.42f, 0.8f};
            for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(plains.back().colour[k], lit[k]) << k;
        }
    }
}

TEST_F(MeshDraw, OpaqueBumpPassMultipliesTheLitBaseOntoTheBumpValue) {
    DrawnMesh d;
    d.Init({{kBumpedLayered, kBumped}, 0});
    DrawMeshOpaque(&d.mesh);
    for (int material : {1, 0}) {
        SCOPED_TRACE(material);
        const std::vector<DrawSnapshot> draws = d.DrawsOf(material);
        ASSERT_EQ(draws.size(), 2u);
        const DrawSnapshot& bump = draws[0];
        EXPECT_EQ(bump.units[0].bound2D, static_cast<GLuint>(300 + material));
        EXPECT_EQ(bump.units[0].env, GL_COMBINE);
        EXPECT_EQ(bump.units[0].combineRgb, GL_REPLACE);
        EXPECT_TRUE(bump.units[1].cube);
        EXPECT_EQ(bump.units[1].boundCube, kNormalCube);
        EXPECT_EQ(bump.units[1].combineRgb, GL_DOT3_RGB);
        EXPECT_EQ(bump.units[1].coords, d.mesh.LightVectors.data());
        EXPECT_EQ(bump.units[1].coordSize, 3);
        EXPECT_EQ(bump.units[1].coordStride, 12);
        EXPECT_FALSE(bump.blend);
        const DrawSnapshot& base = draws[1];
        EXPECT_TRUE(base.blend);
        EXPECT_EQ(base.src, static_cast<GLenum>(GL_DST_COLOR));
        EXPECT_EQ(base.dst, static_cast<GLenum>(GL_ZERO));
        EXPECT_EQ(base.units[0].bound2D, static_cast<GLuint>(100 + material));
        EXPECT_EQ(base.units[0].env, GL_MODULATE);
        EXPECT_FALSE(base.units[1].cube);
        // Only material 0 has a second layer: added on unit 1.
        EXPECT_EQ(base.units[1].tex2D, material == 0);
        if (material == 0) {
            EXPECT_EQ(base.units[1].bound2D, 200u);
            EXPECT_EQ(base.units[1].env, GL_ADD);
            EXPECT_EQ(base.units[1].coords, d.mesh.Layer2TexCoords.data());
        }
    }
    EXPECT_FALSE(Gl().blend);
    // The bump pass binds unconditionally and leaves no texture in the cache.
    EXPECT_EQ(BoundTextureId, 0u);
}

TEST_F(MeshDraw, ThreeUnitBumpPassSecondDraw) {
    struct Case {
        const char* name;
        uint32_t useLayer3Vectors;
        bool layer2;
        GLenum unit1;  // 0 = off
        GLuint texture;
    } cases[] = {
        {"sky cube map over the layer-3 vectors", 1, false, GL_TEXTURE_CUBE_MAP, kSkyCube},
        {"sky cube map before the second layer", 1, true, GL_TEXTURE_CUBE_MAP, kSkyCube},
        {"second layer", 0, true, GL_TEXTURE_2D, 200},
        {"nothing on unit 1", 0, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        DrawnMesh d;
        d.Init({{{c.layer2, true, 0, 0}}, 0, 1});
        d.mesh.UseLayer3Vectors = c.useLayer3Vectors;
        DrawMeshThreeUnitOpaque(&d.mesh);
        ASSERT_EQ(Gl().draws.size(), 2u);
        const DrawSnapshot& bump = Gl().draws[0];
        EXPECT_EQ(bump.units[0].coords, d.mesh.WaveTexCoords);
        EXPECT_EQ(bump.units[0].bound2D, 300u);
        EXPECT_EQ(bump.units[1].coords, d.mesh.WaveTexCoordsScaled);
        EXPECT_EQ(bump.units[1].bound2D, 300u);
        EXPECT_EQ(bump.units[1].env, GL_ADD);
        EXPECT_EQ(bump.units[2].boundCube, kNormalCube);
        EXPECT_EQ(bump.units[2].combineRgb, GL_DOT3_RGB);
        EXPECT_EQ(bump.units[2].coords, d.mesh.LightVectors.data());
        const DrawSnapshot& base = Gl().draws[1];
        EXPECT_EQ(base.units[0].bound2D, 100u);
        EXPECT_EQ(base.units[0].coords, d.mesh.TexCoords);
        EXPECT_EQ(base.units[0].env, GL_COMBINE);  // left on REPLACE: layer 1's colour alone
        EXPECT_FALSE(base.units[2].cube);
        EXPECT_EQ(base.units[1].cube, c.unit1 == GL_TEXTURE_CUBE_MAP);
        EXPECT_EQ(base.units[1].tex2D, c.unit1 == GL_TEXTURE_2D);
        if (c.unit1 == GL_TEXTURE_CUBE_MAP) {
            EXPECT_EQ(base.units[1].boundCube, c.texture);
            EXPECT_EQ(base.units[1].coords, d.mesh.Layer3Vectors.data());
            EXPECT_EQ(base.units[1].coordSize, 3);
        } else if (c.unit1 == GL_TEXTURE_2D) {
            EXPECT_EQ(base.units[1].bound2D, c.texture);
            EXPECT_EQ(base.units[1].coords, d.mesh.Layer2TexCoords.data());
        }
        if (c.unit1 != 0) {
            EXPECT_EQ(base.units[1].env, GL_MODULATE);
        }
        EXPECT_EQ(Gl().units[0].env, GL_MODULATE);
        ExpectUnitsReset();
    }
}

TEST_F(MeshDraw, SecondLayerMappingAndUnitZeroTexCoords) {
    struct Case {
        const char* name;
        uint32_t texWave;
        Routine draw;
        bool waveAdvances;
        bool waveUnit0;  // the layered material's unit 0 reads the wave base copy
    } cases[] = {
        {"reflection", 0, DrawMeshOpaque, false, false},
        {"texture wave", 3, DrawMeshOpaque, true, false},
        {"three-unit planar", 1, DrawMeshOpaque, false, true},
    };
    UserConfig.bumpMapping = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        DrawnMesh d;
        d.Init({{kPlain, kLayered}, 0, c.texWave});
        d.mesh.TexWaveStep = 5;
        c.draw(&d.mesh);
        EXPECT_EQ(d.mesh.OwnWavePhase, c.waveAdvances ? 5u : 0u);
        const std::vector<DrawSnapshot> layered = d.DrawsOf(1), plain = d.DrawsOf(0);
        ASSERT_EQ(layered.size(), 1u);
        ASSERT_EQ(plain.size(), 1u);
        EXPECT_TRUE(layered[0].units[1].tex2D);
        EXPECT_EQ(layered[0].units[1].env, GL_ADD);
        EXPECT_EQ(layered[0].units[1].bound2D, 201u);
        EXPECT_EQ(layered[0].units[0].bound2D, 101u);
        EXPECT_EQ(layered[0].units[0].coords,
                  c.waveUnit0 ? static_cast<const void*>(d.mesh.WaveTexCoords) : d.mesh.TexCoords);
        EXPECT_FALSE(plain[0].units[1].tex2D);
        EXPECT_EQ(plain[0].units[0].bound2D, 100u);
        ExpectUnitsReset();
    }
}

TEST_F(MeshDraw, PlainPathBindsThroughTheCacheAndSetsBlendModes) {
    DrawnMesh d;
    d.Init({{kBlended, {false, false, 0, 6}, kPlain, kPlain}, 2});
    d.mesh.Materials[2].Layer1 = d.mesh.Materials[3].Layer1 = 77;
    DrawMeshOpaque(&d.mesh);
    EXPECT_EQ(Gl().bind2DCalls, 1);
    EXPECT_EQ(BoundTextureId, 77u);
    SwitchBlend(true);
    DrawMeshSecondPass(&d.mesh);
    ASSERT_EQ(d.DrawOrder(), (std::vector<int>{3, 2, 1, 0}));
    const DrawSnapshot& six = Gl().draws[2];
    const DrawSnapshot& two = Gl().draws[3];
    EXPECT_EQ(six.src, static_cast<GLenum>(GL_SRC_ALPHA));
    EXPECT_EQ(six.dst, static_cast<GLenum>(GL_ONE_MINUS_SRC_ALPHA));
    EXPECT_EQ(two.src, static_cast<GLenum>(GL_SRC_ALPHA));
    EXPECT_EQ(two.dst, static_cast<GLenum>(GL_ONE));
    EXPECT_EQ(two.units[0].bound2D, 100u);
}

TEST_F(MeshDraw, PreviewLeavesTheSceneLightingAsItFoundIt) {
    SunPosition = {1.0f, 2.0f, 3.0f};
    SunDirection = {0.0f, 0.0f, 1.0f};
    SunColour[0] = 0.1f;
    SunColour[1] = 0.2f;
    SunColour[2] = 0.3f;
    NztLight light;
    light.LightKind = 4;
    NztBase3D* list[1] = {&light};
    NearLightRegistry.objects = list;
    NearLightRegistry.count = 1;
    DrawnMesh d;
    d.Init(kMixed);
    d.mesh.MeshAlpha = 0.3f;
    DrawMeshPreview(&d.mesh);
    EXPECT_EQ(SunPosition.x, 1.0f);
    EXPECT_EQ(SunPosition.z, 3.0f);
    EXPECT_EQ(SunDirection.z, 1.0f);
    EXPECT_EQ(SunColour[0], 0.1f);
    EXPECT_EQ(SunColour[2], 0.3f);
    EXPECT_EQ(NearLightRegistry.count, 1);
    EXPECT_EQ(NearLightRegistry.objects, list);
    // Lit by the preview's own sun without the light, fully opaque: normal (0, 0, 1) against
    // direction (-1, -1, 1) / sqrt 3.
    const float w = 1.0f / std::sqrt(3.0f) + 1.25f;
    EXPECT_NEAR(d.colours[0], 0.75f * w, 1e-5f);
    EXPECT_EQ(d.colours[3], 1.0f);
    EXPECT_FALSE(Gl().blend);
    EXPECT_TRUE(Gl().depthWrite);
}

TEST_F(MeshDraw, NothingBoundNothingDrawn) {
    DrawnMesh d;
    d.Init(kMixedBumped);
    d.mesh.PosedVertices = nullptr;
    for (Routine r : {DrawMeshOpaque, DrawMeshSecondPass, DrawMeshSecondPassFaded, DrawMeshSimple, DrawMeshAlpha,
                      DrawMeshAlphaFaded, kFlatRed, kSky, DrawMeshVertexColored, DrawMeshThreeUnitOpaque,
                      DrawMeshThreeUnitBlended, DrawMeshPreview})
        r(&d.mesh);
    d.mesh.PosedVertices = d.posed.data();
    d.mesh.VertexColours = nullptr;
    for (Routine r : {DrawMeshOpaque, DrawMeshSecondPass, DrawMeshVertexColored}) r(&d.mesh);
    EXPECT_TRUE(Gl().draws.empty());
    // A material whose index count claims more than it holds draws what it holds.
    d.mesh.VertexColours = d.colours.data();
    d.mesh.Materials[2].IndexCount = 300;
    DrawMeshSimple(&d.mesh);
    ASSERT_FALSE(Gl().draws.empty());
    EXPECT_EQ(Gl().draws[0].count, 3);
}

// ---- drawn for real ------------------------------------------------------------------------

// A hidden window with a compatibility context; the mesh covers the whole 32 x 32 viewport.
class GlMeshDraw : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(OpenHiddenGlWindow("mesh drawing test", 32, 32, &window_, &context_))
            << SDL_GetError();
        InitGlExtensions();
        InitRenderState();
        ClearTextureTable();
        savedConfig_ = UserConfig;
        UserConfig.bumpMapping = 1;
        ResetShadingGlobals();
        NearLightRegistry = {};
        glViewport(0, 0, 32, 32);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-1, 1, -1, 1, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        EnableTexture2DCached();
    }
    void TearDown() override {
        DeleteAllTextures();
        for (GLuint t : {RenderState.normalizationCubeMap, RenderState.blankTexture})
            if (t != 0) glDeleteTextures(1, &t);
        UserConfig = savedConfig_;
        ResetShadingGlobals();
        NearLightRegistry = {};
        InitRenderState();
        BoundTextureId = 0;
        CloseHiddenGlWindow(&window_, &context_);
        // No SDL_Quit: it unloads the GL driver, whose own allocations would then be reported as
        // leaks of an unknown module.
    }
    static int32_t Solid(uint8_t r, uint8_t g, uint8_t b) {
        std::vector<uint8_t> pixels;
        for (int i = 0; i < 16; ++i) pixels.insert(pixels.end(), {r, g, b, 255});
        return static_cast<int32_t>(UploadTexture(pixels.data(), 4, 4, 32, 0, 0, 1));
    }
    static std::vector<int> CentrePixel() {
        uint8_t rgba[4] = {};
        glReadPixels(16, 16, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        return {rgba[0], rgba[1], rgba[2]};
    }

    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    UserConfigData savedConfig_;
};

struct PixelCase {
    const char* name;
    bool layer2;
    bool bump;
    Vec3 sun;      // position; the quad faces +z
    float dot;     // the DOT3 value the bump pass is expected to give
};

// A lit quad: base colour (0.1, 0, 0), sun (0.2, 0.3, 0.4) from straight ahead (weight 2.25), an
// ambient light adding (0.2, 0, 0); layer 1 (200, 100, 50), layer 2 (0, 40, 80) added.
TEST_F(GlMeshDraw, LitTexturedQuadReadsBack) {
    const float diagonal = std::sqrt(0.5f);
    // Light vector (-L.x, -L.y, 1) through the cube map against the flat normal of the blank bump
    // map (128, 128, 255): 4 x ((128/255 - 0.5)(c.x - 0.5) + ...) with c the encoded direction.
    auto dot3 = [](Vec3 v) {
        const float len = std::sqrt(Dot(v, v));
        const float flat = 128.0f / 255.0f - 0.5f;
        const Vec3 c = v * (0.5f / len);
        return 4.0f * (flat * c.x + flat * c.y + 0.5f * c.z);
    };
    const PixelCase cases[] = {
        {"vertex colours times layer 1", false, false, {0, 0, 16000}, 1.0f},
        {"layer 2 added", true, false, {0, 0, 16000}, 1.0f},
        {"bump map lit head on", false, true, {0, 0, 1.0e7f}, dot3({0, 0, 1})},
        {"bump map lit at 45 degrees", false, true, {-1.0e7f, 0, 1.0e7f}, dot3({diagonal, 0, 1})},
    };
    SunDirection = {0.0f, 0.0f, 1.0f};
    SunColour[0] = 0.2f;
    SunColour[1] = 0.3f;
    SunColour[2] = 0.4f;
    NztLight ambient;
    ambient.LightKind = 4;
    ambient.Colour[0] = 0.2f;
    ambient.Colour[1] = ambient.Colour[2] = 0.0f;
    ambient.InnerRange = 1000.0f;
    NztBase3D* list[1] = {&ambient};
    NearLightRegistry.objects = list;
    NearLightRegistry.count = 1;
    RenderState.normalizationCubeMap = CreateNormalizationCubeMap();
    RenderState.blankTexture = CreateBlankTexture();
    const int32_t layer1 = Solid(200, 100, 50), layer2 = Solid(0, 40, 80);
    for (const PixelCase& c : cases) {
        SCOPED_TRACE(c.name);
        DrawnMesh d;
        d.Init({{{c.layer2, c.bump, 0, 0}}, 0});
        for (Vec3& v : d.mesh.Lods[0].ShadingVectors) v = {0.1f, 0.0f, 0.0f};
        MeshMaterial& mat = d.mesh.Materials[0];
        mat.Indices = {0, 1, 2, 0, 2, 3};
        mat.IndexCount = 6;
        mat.Layer1 = layer1;
        mat.Layer2 = c.layer2 ? layer2 : NoTexture;
        mat.Layer3 = c.bump ? static_cast<int32_t>(RenderState.blankTexture) : NoTexture;
        SunPosition = c.sun;
        SelectClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        ComputeMeshLighting(&d.mesh);
        DrawMeshOpaque(&d.mesh);
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        const float lit[3] = {0.1f + 0.45f + 0.2f, 0.675f, 0.9f};
        const float tex1[3] = {200, 100, 50}, tex2[3] = {0, c.layer2 ? 40.0f : 0.0f, c.layer2 ? 80.0f : 0.0f};
        const std::vector<int> got = CentrePixel();
        for (int k = 0; k < 3; ++k) {
            const float want = std::min(255.0f, tex1[k] * lit[k] + tex2[k]) * std::min(1.0f, c.dot);
            EXPECT_NEAR(got[k], want, 4.0f) << "channel " << k;
        }
    }
}

}  // namespace
