// The world-object class tree and the base object: kinds and bases, construction defaults, the
// default virtual slots, range and size, levels of detail, picking, orientation, mesh binding, the
// animation slots, wind sway, and what a release does to every reference other objects hold.
#include "objects/base3d.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "camera/camera.h"
#include "character/entity.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "effects/dynobject.h"
#include "effects/gamelight.h"
#include "effects/light.h"
#include "effects/sfx.h"
#include "effects/sky.h"
#include "effects/thunder.h"
#include "effects/trail.h"
#include "game/frame.h"
#include "model/mesh.h"
#include "net/netclient.h"
#include "objects/objtype.h"
#include "objects/triggers.h"
#include "render/renderstate.h"
#include "ui/counter.h"
#include "ui/gamemap.h"
#include "ui/gameui.h"
#include "ui/inventory.h"

namespace {

// The owning lists of the world, filled by a test; the fake removal services delete from them.
struct WorldLists {
    std::vector<NztSfx*> sfx;
    std::vector<NztTrail*> trails;
    std::vector<NztLight*> lights;
    std::vector<NztDynObject*> dyns;
    std::vector<NztEntity*> entities;
    std::vector<NztThunder*> thunders;
    std::vector<std::string> removals;  // "sfx 3", "trail 0", "light 1", "links"
    std::vector<std::pair<const NztEventObject*, uint32_t>> events;

    void Publish() {
        SfxList = sfx.data();
        SfxCount = static_cast<uint32_t>(sfx.size());
        TrailList = trails.data();
        TrailCount = static_cast<uint32_t>(trails.size());
        LightList = lights.data();
        LightCount = static_cast<uint32_t>(lights.size());
        DynObjectList = dyns.data();
        DynObjectCount = static_cast<uint32_t>(dyns.size());
        EntityList = entities.data();
        EntityCount = static_cast<uint32_t>(entities.size());
        ThunderList = thunders.data();
        ThunderCount = static_cast<uint32_t>(thunders.size());
    }
    template <typename T>
    void Erase(std::vector<T*>& list, uint32_t index, const char* what) {
        removals.push_back(std::string(what) + " " + std::to_string(index));
        ASSERT_LT(index, list.size());
        delete list[index];
        list.erase(list.begin() + index);
        Publish();
    }
    void Clear() {
        for (auto* p : sfx) delete p;
        for (auto* p : trails) delete p;
        for (auto* p : lights) delete p;
        for (auto* p : dyns) delete p;
        for (auto* p : entities) delete p;
        for (auto* p : thunders) delete p;
        *this = WorldLists{};
        Publish();
    }
};

WorldLists& World() {
    static WorldLists world;
    return world;
}

std::vector<uint32_t> EventsOn(const NztEventObject* object) {
    std::vector<uint32_t> codes;
    for (const auto& [o, code] : World().events) {
        if (o == object) codes.push_back(code);
    }
    return codes;
}

// A mesh of one level of detail whose box is the cube of half side `half` around its origin.
std::unique_ptr<NztMesh> BoxMesh(float half) {
    auto mesh = std::make_unique<NztMesh>();
    for (int c = 0; c < 8; ++c) {
        mesh->BoxCorners[c] = {(c & 1) ? half : -half, (c & 2) ? half : -half, (c & 4) ? half : -half};
    }
    mesh->LargestExtent = 2 * half;
    mesh->SizeClass = 1.0f;
    return mesh;
}

void ExpectRows(const float* actual, const float* expected, const std::string& what) {
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(actual[i], expected[i], 1e-5f) << what << " element " << i;
}

uint32_t YawBits(const NztBaseObject& o) {
    return (o.packedAngles >> 12) & 0xFFFu;
}

class WorldObjects : public ::testing::Test {
protected:
    void SetUp() override {
        BuildSinCosTables();
        BuildRandomTable();
        savedTiming = FrameTiming;
        savedRender = RenderState;
        savedCamera = MainCamera;
        savedControl = CameraControl;
        savedPlayer = PlayerEntity;
        std::copy(WobbleVector, WobbleVector + 3, savedWobble);
        World().Clear();
        ObjectServices.sendEvent = [](NztEventObject* o, uint32_t code, uint32_t, uint32_t, uint32_t) {
            World().events.emplace_back(o, code);
            return 1u;
        };
        ObjectServices.removeSfxAt = [](uint32_t i) { World().Erase(World().sfx, i, "sfx"); };
        ObjectServices.removeTrailAt = [](uint32_t i) { World().Erase(World().trails, i, "trail"); };
        ObjectServices.deleteLightAt = [](uint32_t i) { World().Erase(World().lights, i, "light"); };
        ObjectServices.removeObjectLinks = [](NztBaseObject*) { World().removals.push_back("links"); };
    }
    void TearDown() override {
        World().Clear();
        ResetObjectHooks();
        FrameTiming = savedTiming;
        RenderState = savedRender;
        MainCamera = savedCamera;
        CameraControl = savedControl;
        PlayerEntity = savedPlayer;
        std::copy(savedWobble, savedWobble + 3, WobbleVector);
    }

    // The render state of a camera at the origin looking down -z with no turn: a point at depth d
    // lands 1600 / d pixels from the viewport centre per unit, y downwards.
    static void CameraAtOrigin() {
        NztRenderState& rs = RenderState;
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        std::copy(identity, identity + 16, rs.cameraMatrix);
        std::fill(rs.cameraPosition, rs.cameraPosition + 3, 0.0f);
        rs.viewAxis[0] = rs.viewAxis[1] = 0.0f;
        rs.viewAxis[2] = 1.0f;
        rs.focalLength = 1600.0f;
        rs.viewportX = rs.viewportY = 0.0f;
        rs.halfViewportWidth = 400.0f;
        rs.halfViewportHeight = 300.0f;
        MainCamera.eye = {0.0f, 0.0f, 0.0f};
    }

    FrameTimingState savedTiming;
    NztRenderState savedRender;
    CNztCamera savedCamera;
    CameraControlBlock savedControl;
    NztEntity* savedPlayer = nullptr;
    float savedWobble[3] = {};
};

TEST_F(WorldObjects, EveryClassHasItsKindAndItsBases) {
    struct Case {
        const char* name;
        std::function<NztBase3D*()> make;
        int32_t kind;
        bool eventObject, controller, baseObject, collide;
        float range = 500.0f;
    };
    const Case cases[] = {
        {"NztBaseObject", [] { return new NztBaseObject; }, 1, true, true, true, false},
        {"NztSfx", [] { return new NztSfx; }, 2, false, false, false, false, 2000.0f},
        {"NztCollideObject", [] { return new NztCollideObject; }, 3, true, true, true, true},
        {"NztScnObject", [] { return new NztScnObject; }, 4, true, true, true, true, 1000.0f},
        {"NztEntity", [] { return new NztEntity; }, 5, true, true, true, true, 250.0f},
        {"NztGameLight", [] { return new NztGameLight; }, 6, true, false, false, false},
        {"NztDynObject", [] { return new NztDynObject; }, 7, true, true, true, false, 2000.0f},
        {"NztLight", [] { return new NztLight; }, 8, false, true, false, false},
        {"NztThunder", [] { return new NztThunder; }, 9, false, false, false, false},
        {"NztTrail", [] { return new NztTrail; }, 10, false, false, false, false},
        {"NztEventTrigger", [] { return new NztEventTrigger; }, 11, true, true, false, false},
        {"NztCounter", [] { return new NztCounter; }, 12, true, false, false, false},
        {"NztGameUI", [] { return new NztGameUI; }, 13, true, false, false, false},
        {"NztInventory", [] { return new NztInventory; }, 14, true, false, false, false},
        {"NztGameMap", [] { return new NztGameMap; }, 15, true, false, false, false},
    };
    for (const Case& c : cases) {
        std::unique_ptr<NztBase3D> o(c.make());
        EXPECT_EQ(o->kind, c.kind) << c.name;
        EXPECT_EQ(dynamic_cast<NztEventObject*>(o.get()) != nullptr, c.eventObject) << c.name;
        EXPECT_EQ(dynamic_cast<NztController*>(o.get()) != nullptr, c.controller) << c.name;
        EXPECT_EQ(dynamic_cast<NztBaseObject*>(o.get()) != nullptr, c.baseObject) << c.name;
        EXPECT_EQ(dynamic_cast<NztCollideObject*>(o.get()) != nullptr, c.collide) << c.name;
        EXPECT_EQ(o->id, -1) << c.name;
        EXPECT_EQ(o->registered, 0) << c.name;
        EXPECT_EQ(o->range, c.range) << c.name;
    }
}

TEST_F(WorldObjects, ABaseObjectStartsWithItsDefaults) {
    ObjectRandomIndex = 7;
    NztBaseObject o;
    EXPECT_EQ(o.wobblePhase, RoundToInt(RandomTable[7] * 4096.0f));
    EXPECT_EQ(ObjectRandomIndex, 8u);
    EXPECT_EQ(o.timeSource, &FrameTiming.frameTime);
    EXPECT_EQ(o.keyCount, 0);
    EXPECT_EQ(o.shown, 1);
    EXPECT_EQ(o.visibilityTest, 1);
    EXPECT_EQ(o.visible, 0);
    EXPECT_EQ(o.meshDrawScale, 1.0f);
    EXPECT_EQ(o.meshDrawMode, 1);
    EXPECT_EQ(o.opacity, 1.0f);
    EXPECT_EQ(o.boneOrientation, 1);
    EXPECT_EQ(o.previousFrame, -1);
    EXPECT_EQ(o.spareWord, 1);
    EXPECT_EQ(o.hoverFlag, 0);
    EXPECT_EQ(o.pointedObject, 0u);
    EXPECT_EQ(o.destroyWhenDeactivated, 0);
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    ExpectRows(o.rotation, identity, "rotation");
    ExpectRows(o.secondRotation, identity, "second rotation");
    EXPECT_EQ(o.mesh, nullptr);
    EXPECT_EQ(o.parent, nullptr);
    EXPECT_EQ(o.networkRecord, nullptr);
    EXPECT_TRUE(o.vertices.empty());
}

TEST_F(WorldObjects, ClassesWithoutOwnSlotsStoreRangeAndSizeAsGiven) {
    std::vector<std::unique_ptr<NztBase3D>> objects;
    objects.emplace_back(new NztCounter);
    objects.emplace_back(new NztGameUI);
    objects.emplace_back(new NztInventory);
    objects.emplace_back(new NztGameMap);
    objects.emplace_back(new NztGameLight);
    objects.emplace_back(new NztEventTrigger);
    objects.emplace_back(new NztSfx);
    objects.emplace_back(new NztThunder);
    objects.emplace_back(new NztTrail);
    for (auto& o : objects) {
        o->SetRange(123.0f);
        o->SetSize(-4.0f);
        o->Update();
        o->LateUpdate();
        o->RenderOpaque();
        o->Render();
        o->DrawFlatColor(1, 1, 1);
        o->DrawFlatColorAlpha(1, 1, 1, 1);
        EXPECT_EQ(o->GetRange(), 123.0f) << "kind " << o->kind;
        EXPECT_EQ(o->GetSize(), -4.0f) << "kind " << o->kind;
    }
}

TEST_F(WorldObjects, BaseObjectRangeFadesAndZeroSizeKeepsTheDerivedValues) {
    NztBaseObject object;
    NztBase3D& slots = object;
    slots.SetRange(1000.0f);
    EXPECT_EQ(slots.GetRange(), 1000.0f);
    EXPECT_FLOAT_EQ(object.fadeStart, 800.0f);
    EXPECT_FLOAT_EQ(object.fadeFactor, 0.005f);

    struct Step {
        float size, twice, inverse;
    };
    const Step steps[] = {{4.0f, 8.0f, 0.25f}, {0.0f, 8.0f, 0.25f}, {-2.0f, -4.0f, -0.5f}};
    for (const Step& s : steps) {
        slots.SetSize(s.size);
        EXPECT_EQ(slots.GetSize(), s.size);
        EXPECT_EQ(object.twiceSize, s.twice) << "size " << s.size;
        EXPECT_EQ(object.inverseSize, s.inverse) << "size " << s.size;
    }
}

TEST(ObjectLod, ThresholdsAreStrictAndScaleWithTheSizeClass) {
    struct Case {
        float sizeClass, distanceSq;
        int32_t lod;
    };
    const Case cases[] = {
        {1, 0, 0},      {1, 10000, 0},  {1, 10001, 1},  {1, 40000, 1},  {1, 40001, 2},
        {1, 90001, 3},  {1, 160001, 4}, {1, 250000, 4}, {1, 250001, 5}, {2, 250000, 3},
        {2, 500000, 4}, {2, 500001, 5}, {0, 0.001f, 5}, {0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseLod(c.sizeClass, c.distanceSq), c.lod) << c.sizeClass << " " << c.distanceSq;
    }
}

TEST_F(WorldObjects, PackedAnglesWrapInTheirOwnBits) {
    NztBaseObject o;
    o.packedAngles = 0xAB000000u | (100u << 12) | 4090u;
    o.SetYaw(4096 + 5);
    EXPECT_EQ(YawBits(o), 5u);
    EXPECT_EQ(o.packedAngles & 0xFFFu, 4090u);
    EXPECT_EQ(o.packedAngles >> 24, 0xABu);

    o.packedAngles = 0xAB000000u | (4095u << 12) | 4090u;
    o.roll = 0x12345FFFu;
    o.AddAngles(10.0f, 1.0f, 2.0f);
    EXPECT_EQ(o.packedAngles & 0xFFFu, 4u);
    EXPECT_EQ(YawBits(o), 0u);
    EXPECT_EQ(o.packedAngles >> 24, 0xABu);
    EXPECT_EQ(o.roll, 0x12345001u);

    o.AddAngles(-5.0f, -1.0f, 0.0f);
    EXPECT_EQ(o.packedAngles & 0xFFFu, 4095u);
    EXPECT_EQ(YawBits(o), 4095u);

    o.SetYawPitch(-1, 4097);
    EXPECT_EQ(o.packedAngles & 0xFFFu, 4095u);
    EXPECT_EQ(YawBits(o), 1u);
    EXPECT_EQ(o.packedAngles >> 24, 0xABu);
}

TEST_F(WorldObjects, RotationsAgreeWhicheverWayTheyAreBuilt) {
    float yaw90[9];
    MatrixRotationY(yaw90, 1024);
    const float expected[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};
    ExpectRows(yaw90, expected, "MatrixRotationY");

    float m[9];
    const float half = std::sqrt(0.5f);
    const float q[4] = {half, 0, half, 0};
    QuatToMatrix(m, q);
    ExpectRows(m, yaw90, "QuatToMatrix");
    MatrixFromEuler(m, 0.0f, 1.5707964f, 0.0f);
    ExpectRows(m, yaw90, "MatrixFromEuler");

    // In place: the output may be the first operand.
    MatrixMultiply3(m, m, yaw90);
    float yaw180[9];
    MatrixRotationY(yaw180, 2048);
    ExpectRows(m, yaw180, "MatrixMultiply3");

    NztBaseObject turned, set;
    turned.AddAngles(0.0f, 1024.0f, 0.0f);
    set.SetYaw(1024);
    ExpectRows(turned.rotation, set.rotation, "AddAngles against SetYaw");
    NztBaseObject fromQuat;
    fromQuat.QuaternionToMatrix(q);
    ExpectRows(fromQuat.rotation, yaw90, "QuaternionToMatrix");
}

TEST_F(WorldObjects, LookingAndTurningTowardsPoints) {
    NztBaseObject o;
    const float upRight[3] = {10, 10, 0};
    o.LookAt(upRight);
    EXPECT_EQ(YawBits(o), 1024u);
    EXPECT_EQ(o.packedAngles & 0xFFFu, 4096u - 512u);
    // The forward row points at the target.
    EXPECT_NEAR(o.rotation[6], std::sqrt(0.5f), 1e-4f);
    EXPECT_NEAR(o.rotation[7], std::sqrt(0.5f), 1e-4f);
    EXPECT_NEAR(o.rotation[8], 0.0f, 1e-4f);

    struct Case {
        const char* what;
        float point[3];
        uint32_t startYaw;
        float factor;
        bool away;
        uint32_t yaw;
    };
    const Case cases[] = {
        {"all the way", {1, 0, 0}, 0, 1.0f, false, 1024},   {"half way", {1, 0, 0}, 0, 0.5f, false, 512},
        {"through zero", {-1, 0, 0}, 0, 1.0f, false, 3072}, {"away", {0, 0, 1}, 0, 1.0f, true, 2048},
        {"straight at it", {0, 0, 5}, 0, 0.3f, false, 0},
    };
    for (const Case& c : cases) {
        NztBaseObject t;
        t.SetYaw(static_cast<int32_t>(c.startYaw));
        if (c.away) {
            t.TurnAwayBy(c.point, c.factor);
        } else {
            t.TurnTowardsBy(c.point, c.factor);
        }
        EXPECT_EQ(YawBits(t), c.yaw) << c.what;
    }

    NztBaseObject t;
    const float left[3] = {-3, 7, 0};
    t.TurnTowards(left);
    EXPECT_EQ(YawBits(t), 3072u);
}

TEST(ObjectAngles, LerpTakesTheShorterArcAndDoesNotWrap) {
    struct Case {
        float factor, target, current, result;
    };
    const Case cases[] = {
        {1.0f, 1024, 0, 1024}, {0.5f, 1024, 0, 512},   {0.5f, 3072, 0, 3584}, {0.5f, 100, 4000, 2},
        {0.5f, 2048, 0, 3072}, {0.5f, 0, 2048, -1024}, {0.5f, 0, 1000, 500},  {0.0f, 500, 3000, -1096},
    };
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(LerpAngle(c.factor, c.target, c.current), c.result)
            << c.factor << " " << c.target << " " << c.current;
    }
}

TEST_F(WorldObjects, MovingAlongTheObjectsAxesRespectsLocks) {
    NztBaseObject o;
    o.SetYaw(1024);  // forward is +x, right is -z
    const float forwardAndRight[3] = {2, 0, 5};
    o.MoveLocal(forwardAndRight);
    EXPECT_NEAR(o.Position[0], 5.0f, 1e-5f);
    EXPECT_NEAR(o.Position[2], -2.0f, 1e-5f);
    o.axisLocks[0] = 1;
    o.MoveLocal(forwardAndRight);
    EXPECT_NEAR(o.Position[0], 5.0f, 1e-5f);
    EXPECT_NEAR(o.Position[2], -4.0f, 1e-5f);
    EXPECT_EQ(o.PreviousPosition[0], 0.0f);  // moves do not touch the previous position

    const float p[3] = {1, 2, 3};
    o.SetPosition(p);
    EXPECT_EQ(o.PreviousPosition[2], 3.0f);
}

TEST_F(WorldObjects, PickingHitsStrictlyInsideTheProjectedBox) {
    CameraAtOrigin();
    auto mesh = BoxMesh(10.0f);
    NztBaseObject o;
    o.SetMesh(mesh.get());
    // Near face at depth 100: its corners project 160 pixels from the centre.
    struct Case {
        const char* what;
        float z;
        float viewportX;
        int32_t x, y;
        int32_t hit;
    };
    const Case cases[] = {
        {"centre", -110, 0, 400, 300, 1},
        {"just inside the right edge", -110, 0, 559, 300, 1},
        {"on the right edge", -110, 0, 560, 300, 0},
        {"on the top edge", -110, 0, 400, 140, 0},
        {"just inside the bottom edge", -110, 0, 400, 459, 1},
        {"outside", -110, 0, 100, 300, 0},
        {"behind the camera", 110, 0, 400, 300, 0},
        {"viewport moved right", -110, 100, 500, 300, 1},
        {"viewport moved right, old centre", -110, 100, 250, 300, 0},
    };
    for (const Case& c : cases) {
        RenderState.viewportX = c.viewportX;
        const float p[3] = {0, 0, c.z};
        o.SetPosition(p);
        float depth = -1.0f;
        EXPECT_EQ(o.PickTest(c.x, c.y, &depth), c.hit) << c.what;
        if (c.hit) {
            EXPECT_FLOAT_EQ(depth, 100.0f) << c.what;
        }
    }
}

TEST_F(WorldObjects, LevelOfDetailAndVisibilityFollowTheCamera) {
    CameraAtOrigin();
    auto mesh = BoxMesh(10.0f);
    NztBaseObject o;
    o.SetMesh(mesh.get());
    const float p[3] = {0, 0, -110};
    o.SetPosition(p);
    o.lod = 3;
    o.SyncModel();
    EXPECT_FLOAT_EQ(o.viewDepth, 110.0f);
    EXPECT_FLOAT_EQ(o.sortDepth, 100.0f);  // the nearest corner
    EXPECT_FLOAT_EQ(o.cameraDistanceSq, 12100.0f);
    EXPECT_EQ(o.previousLod, 3);
    EXPECT_EQ(o.lod, 1);
    EXPECT_EQ(o.visible, 1);
    EXPECT_EQ(mesh->Owner, &o);

    o.SetRange(50.0f);  // the nearest corner lies beyond the range
    o.SyncModel();
    EXPECT_EQ(o.visible, 0);

    o.visibilityTest = 0;
    o.lod = 4;
    o.SyncModel();
    EXPECT_EQ(o.visible, 1);
    EXPECT_EQ(o.lod, 4);
    EXPECT_FLOAT_EQ(o.sortDepth, 110.0f);  // untested: the sort copy keeps the view depth

    // An object on the camera itself is never visible.
    o.visibilityTest = 1;
    mesh->LargestExtent = 0.5f;
    const float onCamera[3] = {0, 0, -0.5f};
    o.SetPosition(onCamera);
    o.SyncModel();
    EXPECT_EQ(o.visible, 0);
}

TEST_F(WorldObjects, TheCentreComesFromThePosedVertices) {
    NztBaseObject o;
    float out[3] = {7, 7, 7};
    o.ComputeCenter(out);  // no buffer: nothing
    EXPECT_EQ(out[0], 7.0f);

    o.vertices = {{1, 2, 3}, {5, -2, 9}, {3, 0, -1}};
    o.vertexCount = 0;
    o.ComputeCenter(out);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[2], 3.0f);

    o.vertexCount = 3;
    o.ComputeCenter(out);
    EXPECT_EQ(out[0], 3.0f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_EQ(out[2], 4.0f);
}

TEST_F(WorldObjects, SetMeshTakesThePlacementOnceAndSizesTheBuffers) {
    auto mesh = BoxMesh(1.0f);
    mesh->OwnPosition = {1, 2, 3};
    const float turned[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};
    std::copy(turned, turned + 9, mesh->OwnMatrix);
    mesh->TwoSided = 1;
    mesh->VertexCapacity = 8;
    mesh->VertexCount = 5;
    mesh->LargestBoneCount = 4;
    mesh->AnimSlots.assign(3, nullptr);
    NztAttachPoint points[2];
    points[0].Anchor = 6;
    points[1].Anchor = 7;
    points[1].Kind = 4;
    mesh->AttachPoints = points;
    mesh->AttachCount = 2;

    NztBaseObject o;
    o.SetMesh(mesh.get());
    EXPECT_EQ(o.Position[1], 2.0f);
    ExpectRows(o.rotation, turned, "rotation from the mesh");
    EXPECT_EQ(o.twoSided, 1);
    EXPECT_EQ(o.vertexCapacity, 8);
    EXPECT_EQ(o.vertexCount, 5);
    EXPECT_EQ(o.vertices.size(), 8u);
    EXPECT_EQ(o.normals.size(), 8u);
    EXPECT_EQ(o.colours.size(), 32u);
    ASSERT_EQ(o.attachPoints.size(), 2u);
    EXPECT_EQ(o.attachPoints[1].Anchor, 7u);
    EXPECT_EQ(o.layers.size(), static_cast<size_t>(AnimLayerCount));
    EXPECT_EQ(o.boneMask, std::vector<uint8_t>(4, 0));
    EXPECT_EQ(o.animSlots, mesh->AnimSlots.data());

    // Binding the same mesh again keeps the placement but restarts the rest.
    const float moved[3] = {9, 9, 9};
    o.SetPosition(moved);
    o.currentAnim = reinterpret_cast<NztAnim*>(&o);
    o.previousFrame = 12;
    o.SetMesh(mesh.get());
    EXPECT_EQ(o.Position[1], 9.0f);
    EXPECT_EQ(o.currentAnim, nullptr);
    EXPECT_EQ(o.previousFrame, -1);
}

TEST_F(WorldObjects, BindingHandsTheObjectsBuffersToTheSharedMesh) {
    auto mesh = BoxMesh(1.0f);
    mesh->VertexCapacity = 4;
    NztBaseObject a, b;
    a.SetMesh(mesh.get());
    b.SetMesh(mesh.get());
    a.opacity = 0.25f;
    a.BindRenderData();
    EXPECT_EQ(mesh->Owner, &a);
    EXPECT_EQ(static_cast<void*>(mesh->Position), static_cast<void*>(a.Position));
    EXPECT_EQ(mesh->Matrix, a.rotation);
    EXPECT_EQ(mesh->InverseMatrix, a.secondRotation);
    EXPECT_EQ(mesh->PosedVertices, a.vertices.data());
    EXPECT_EQ(mesh->Motion, &a.motion[1]);
    EXPECT_EQ(mesh->MotionAxisLocks, a.axisLocks);
    EXPECT_EQ(mesh->MeshAlpha, 0.25f);

    // A level of detail loaded later raises the capacity: the buffers follow before posing.
    mesh->VertexCapacity = 10;
    b.BindRenderData();
    EXPECT_EQ(b.vertices.size(), 10u);
    EXPECT_EQ(mesh->PosedVertices, b.vertices.data());

    // A released object leaves the mesh bound to nothing of its own.
    b.ReleaseData();
    EXPECT_EQ(mesh->Owner, nullptr);
    EXPECT_EQ(mesh->Position, &mesh->OwnPosition);
    EXPECT_EQ(mesh->PosedVertices, nullptr);
}

TEST_F(WorldObjects, AnimationSlotsStartStopAndKeepARunningCursor) {
    auto mesh = BoxMesh(1.0f);
    NztAnim walk, still;
    walk.FrameCount = 10;
    walk.BoneCount = 3;
    still.FrameCount = 1;
    mesh->AnimSlots = {&walk, &still};

    NztBaseObject o;
    o.SetMesh(mesh.get());
    o.SetAnim(&walk, 1, nullptr, 0);
    EXPECT_EQ(o.currentAnim, nullptr) << "a mesh without bones plays nothing";

    mesh->LargestBoneCount = mesh->MaxBoneCount = 2;
    o.SetMesh(mesh.get());
    EXPECT_EQ(o.BlendToAnim(&walk, 1, nullptr, 4), 1);
    EXPECT_EQ(o.currentFrame, 4);
    EXPECT_EQ(o.frameCount, 10);
    EXPECT_EQ(o.boneCount, 2);
    o.currentFrame = 7;
    EXPECT_EQ(o.BlendToAnim(&walk, 2, nullptr, 0), 1);
    EXPECT_EQ(o.currentFrame, 7) << "the playing animation keeps its cursor";
    EXPECT_EQ(o.speedWord, 2);

    o.poseState = 1;
    o.SetAnimIndex(1, 0, 0, 0);
    EXPECT_EQ(o.currentAnim, &still);
    EXPECT_EQ(o.returnAnim, &walk);
    EXPECT_EQ(o.poseState, 2) << "a one-frame animation is posed once";

    EXPECT_EQ(o.GetAnim(2), nullptr);
    EXPECT_EQ(o.GetAnim(0xFFFFFFFFu), nullptr);
    EXPECT_EQ(o.BlendToAnimIndex(0xFFFFFFFFu, 0, 0, 0), 0);
    EXPECT_EQ(o.currentAnim, nullptr);
    EXPECT_EQ(o.animating, 0);
}

TEST_F(WorldObjects, WindSwaysVerticesByTheirHeight) {
    auto mesh = BoxMesh(1.0f);
    Vec3 rest[3] = {{0, 0, 0}, {0, 50, 0}, {0, 200, 0}};
    mesh->Vertices = rest;
    mesh->VertexCount = 3;
    mesh->HeightScale = 512.0f / 100.0f;
    NztBaseObject o;
    o.vertices.assign(rest, rest + 3);
    o.vertexCount = 3;
    o.mesh = mesh.get();
    FrameTiming.frameFactor = 1.0f;

    // Still air: x and z sit at -0.5, y at 0.
    WobbleVector[0] = -0.5f, WobbleVector[1] = 0.0f, WobbleVector[2] = -0.5f;
    o.ApplyWobble(2.0f, 0);
    EXPECT_EQ(o.vertices[2].x, 0.0f);

    WobbleVector[0] = 0.5f, WobbleVector[1] = 1.0f, WobbleVector[2] = -0.5f;
    o.wobblePhase = 1024 - 32;  // reaches a quarter turn: amplitude 0.5
    o.ApplyWobble(2.0f, 0);
    EXPECT_FLOAT_EQ(o.wobbleAmplitude, 0.5f);
    EXPECT_EQ(o.vertices[0].x, 0.0f);                          // weight 0 at the ground
    EXPECT_FLOAT_EQ(o.vertices[1].x, WobbleWeightTable[256]);  // height 256 of 512: (1/2)^3
    EXPECT_FLOAT_EQ(o.vertices[1].y, 50.0f + WobbleWeightTable[256]);
    EXPECT_FLOAT_EQ(o.vertices[2].x, WobbleWeightTable[511]);  // capped at the table's end
    EXPECT_EQ(o.vertices[2].z, 0.0f);

    // Relative sway moves by the change only; absolute by the whole offset.
    o.wobblePhase = 1024 - 32;
    o.ApplyWobble(2.0f, 0);
    EXPECT_FLOAT_EQ(o.vertices[1].x, WobbleWeightTable[256]);
    o.wobblePhase = 1024 - 32;
    o.ApplyWobble(2.0f, 1);
    EXPECT_FLOAT_EQ(o.vertices[1].x, 2 * WobbleWeightTable[256]);
}

TEST_F(WorldObjects, GroundQuadCornersTurnWithTheObject) {
    NztBaseObject o;
    o.localGroundQuad.reset(new float[12]{1, 0, 0, 0, 0, 1, -1, 0, 0, 0, 0, -1});
    o.worldGroundQuad.reset(new float[12]{});
    o.SetYaw(1024);
    const float p[3] = {10, 5, 20};
    o.SetPosition(p);
    o.RotateLocalVectors();
    const float expected[12] = {10, 5.05f, 19, 11, 5.05f, 20, 10, 5.05f, 21, 9, 5.05f, 20};
    for (int i = 0; i < 12; ++i) EXPECT_NEAR(o.worldGroundQuad[i], expected[i], 1e-5f) << i;
}

// One object with something of every kind pointing at it.
struct Entangled {
    NztScnObject* old = new NztScnObject;
    NztBaseObject parent, child, other;
    NztAttachPoint points[3];
    std::unique_ptr<NztMesh> mesh = BoxMesh(1.0f);
    RemotePlayerRecord record;
    NztSfx* onPoint = new NztSfx;

    Entangled() {
        WorldLists& w = World();
        points[0].Kind = 4;
        points[1].Kind = 3;
        mesh->AttachPoints = points;
        mesh->AttachCount = 3;
        mesh->VertexCapacity = 4;
        old->SetMesh(mesh.get());
        old->attachPoints[0].Target = static_cast<NztBaseObject*>(&child);
        child.parent = old;
        old->attachPoints[1].Target = onPoint;
        onPoint->owner = old;
        parent.attachPoints.resize(2);
        parent.attachPoints[1].Kind = 4;
        parent.attachPoints[1].Target = static_cast<NztBaseObject*>(old);
        old->parent = &parent;
        old->parentPoint = 1;
        record.object = old;
        ReleaseNetworkRecord = DetachNetworkRecord;  // as the network client does when it binds one
        old->networkRecord = &record;
        old->userProperties = new UserPropertyList;
        old->userProperties->properties.resize(2);
        const NztControllerKey key{};
        old->NztController::AddKey(&key);

        auto trail = [&](NztBaseObject* owner) {
            auto* t = new NztTrail;
            t->owner = owner;
            w.trails.push_back(t);
            return t;
        };
        old->trails.push_back(trail(&other));
        old->trails.push_back(trail(old));
        trail(&other);

        auto sfx = [&](NztBaseObject* owner, NztBaseObject* source) {
            auto* s = new NztSfx;
            s->owner = owner;
            s->meshSource = source;
            w.sfx.push_back(s);
        };
        sfx(old, nullptr);
        sfx(&other, old);
        sfx(&other, nullptr);
        w.sfx.push_back(onPoint);

        auto light = [&](NztBaseObject* followed, NztBaseObject* target) {
            auto* l = new NztLight;
            l->followedObject = followed;
            l->followedPoint = 2;
            l->targetObject = target;
            l->targetPoint = 3;
            w.lights.push_back(l);
        };
        light(old, &other);
        light(&other, old);
        light(&other, &other);

        auto* d = new NztDynObject;
        d->followedObject = old;
        d->owner = old;
        d->targetObject = old;
        w.dyns.push_back(d);
        w.dyns.push_back(new NztDynObject);

        auto* bolt = new NztThunder;
        bolt->startObject = old;
        bolt->endObject = &other;
        w.thunders.push_back(bolt);

        auto entity = [&](NztBaseObject* target, int32_t order) {
            auto* e = new NztEntity;
            e->target = target;
            e->order = order;
            w.entities.push_back(e);
            return e;
        };
        entity(old, 6);
        PlayerEntity = entity(old, 0);
        entity(&other, 6);
        w.Publish();

        MainCamera.carriedObject = old;
        CameraControl.targetObject = old;
        CameraControl.secondObject = &other;
    }
    ~Entangled() { delete old; }
};

TEST_F(WorldObjects, ReleasingAnObjectLetsGoOfEveryReferenceToIt) {
    Entangled e;
    WorldLists& w = World();
    NztScnObject* old = e.old;
    old->BindRenderData();
    old->ReleaseData();

    // What it held.
    EXPECT_EQ(old->keyCount, 0);
    EXPECT_EQ(old->keys, nullptr);
    EXPECT_TRUE(old->trails.empty());
    EXPECT_EQ(old->userProperties, nullptr);
    EXPECT_TRUE(old->attachPoints.empty());
    EXPECT_TRUE(old->vertices.empty());
    EXPECT_EQ(old->vertexCapacity, 0);
    EXPECT_EQ(e.mesh->Owner, nullptr);
    EXPECT_EQ(old->networkRecord, nullptr);
    EXPECT_EQ(e.record.object, nullptr);
    EXPECT_EQ(e.record.detached, 1);

    // What hung on it and what it hung on.
    EXPECT_EQ(e.child.parent, nullptr);
    EXPECT_EQ(e.onPoint->owner, nullptr);
    EXPECT_EQ(old->parent, nullptr);
    EXPECT_EQ(e.parent.attachPoints[1].Target, nullptr);
    EXPECT_EQ(e.parent.attachPoints[1].Kind, 0u);

    // Trails and effects of it are gone (the effect that hung on a point lost its owner first and
    // stays); the others remain, in order.
    EXPECT_EQ(w.removals, (std::vector<std::string>{"links", "trail 1", "sfx 1", "sfx 0"}));
    ASSERT_EQ(w.trails.size(), 2u);
    EXPECT_EQ(w.trails[0]->owner, &e.other);
    ASSERT_EQ(w.sfx.size(), 2u);
    EXPECT_EQ(w.sfx[0]->owner, &e.other);
    EXPECT_EQ(w.sfx[1], e.onPoint);

    // Lights that followed or aimed at it forget both links.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(w.lights[i]->followedObject, nullptr) << i;
        EXPECT_EQ(w.lights[i]->followedPoint, 0) << i;
        EXPECT_EQ(w.lights[i]->targetObject, nullptr) << i;
        EXPECT_EQ(w.lights[i]->targetPoint, 0) << i;
    }
    EXPECT_EQ(w.lights[2]->followedObject, &e.other);
    EXPECT_EQ(w.lights.size(), 3u);  // a release deletes no light

    NztDynObject* d = w.dyns[0];
    EXPECT_EQ(d->followedObject, nullptr);
    EXPECT_EQ(d->followChanged, 1u);
    EXPECT_EQ(d->owner, nullptr);
    EXPECT_EQ(d->targetObject, nullptr);
    EXPECT_EQ(w.dyns[1]->followChanged, 0u);

    EXPECT_EQ(w.thunders[0]->startObject, nullptr);
    EXPECT_EQ(w.thunders[0]->endObject, &e.other);

    EXPECT_EQ(MainCamera.carriedObject, nullptr);
    EXPECT_EQ(old->poseState, 2) << "a dropped scene object";
    EXPECT_EQ(CameraControl.targetObject, nullptr);
    EXPECT_EQ(CameraControl.secondObject, &e.other);

    // Characters lose it: order 6 says 30, the player says 39; the keys went without events.
    EXPECT_EQ(w.entities[0]->target, nullptr);
    EXPECT_EQ(w.entities[1]->target, nullptr);
    EXPECT_EQ(w.entities[2]->target, &e.other);
    EXPECT_EQ(EventsOn(old), (std::vector<uint32_t>{30, 39}));
}

TEST_F(WorldObjects, ReplacingAnObjectHandsItsReferencesOver) {
    struct Case {
        const char* what;
        bool character;
    };
    const Case cases[] = {{"by a character", true}, {"by another kind", false}};
    for (const Case& c : cases) {
        World().Clear();
        Entangled e;
        WorldLists& w = World();
        std::unique_ptr<NztBaseObject> replacement(c.character ? new NztEntity : new NztBaseObject);
        replacement->attachPoints.resize(2);
        replacement->attachPoints[1].Anchor = 1;
        replacement->vertices = {{0, 0, 0}, {4, 5, 6}};
        ReplaceObjectReferences(e.old, replacement.get());

        EXPECT_EQ(w.removals, (std::vector<std::string>{"trail 1"})) << c.what << ": trails go all the same";
        ASSERT_EQ(w.sfx.size(), 4u) << c.what;
        EXPECT_EQ(w.sfx[0]->owner, replacement.get()) << c.what;
        EXPECT_EQ(w.sfx[1]->meshSource, replacement.get()) << c.what;
        EXPECT_EQ(e.onPoint->owner, replacement.get()) << c.what;

        NztDynObject* d = w.dyns[0];
        EXPECT_EQ(d->followedObject, replacement.get()) << c.what;
        EXPECT_EQ(d->followChanged, 1u) << c.what;
        EXPECT_EQ(d->followPosition[1], 5.0f) << c.what << ": the second attach point's vertex";
        EXPECT_EQ(d->owner, replacement.get()) << c.what;
        EXPECT_EQ(d->targetObject, replacement.get()) << c.what;
        EXPECT_EQ(w.thunders[0]->startObject, replacement.get()) << c.what;
        EXPECT_EQ(CameraControl.targetObject, replacement.get()) << c.what;
        EXPECT_EQ(MainCamera.carriedObject, nullptr) << c.what << ": the camera carries nothing";

        NztBaseObject* expectedTarget = c.character ? replacement.get() : nullptr;
        EXPECT_EQ(w.entities[0]->target, expectedTarget) << c.what;
        EXPECT_EQ(w.entities[1]->target, expectedTarget) << c.what;
        const std::vector<uint32_t> lostTarget = {30, 39};
        EXPECT_EQ(EventsOn(e.old), c.character ? std::vector<uint32_t>() : lostTarget) << c.what;
    }

    // With a single attach point, a followed replacement is followed at its position.
    World().Clear();
    NztBaseObject old, replacement;
    replacement.attachPoints.resize(1);
    const float p[3] = {7, 8, 9};
    replacement.SetPosition(p);
    auto* d = new NztDynObject;
    d->followedObject = &old;
    World().dyns.push_back(d);
    World().Publish();
    ReplaceObjectReferences(&old, &replacement);
    EXPECT_EQ(d->followPosition[2], 9.0f);
}

TEST_F(WorldObjects, RemovingAttachedEffectsDeletesWhatIsBoundToTheObject) {
    Entangled e;
    WorldLists& w = World();
    e.old->RemoveAttachedEffects();
    // Lights that follow it go; one merely aimed at it stays.
    EXPECT_EQ(w.removals, (std::vector<std::string>{"light 0", "trail 1", "sfx 3", "sfx 1", "sfx 0"}));
    ASSERT_EQ(w.lights.size(), 2u);
    EXPECT_EQ(w.lights[0]->targetObject, e.old);
    EXPECT_EQ(w.dyns[0]->followedObject, nullptr);
    EXPECT_EQ(w.dyns[0]->followChanged, 1u);
    EXPECT_EQ(w.dyns[0]->owner, e.old) << "only the following link is cut";
    EXPECT_TRUE(w.events.empty());
}

TEST_F(WorldObjects, AnObjectHangsOnOnePointAndLetsGoCleanly) {
    NztBaseObject parent, child;
    parent.attachPoints.resize(3);
    for (int i = 0; i < 3; ++i) {
        parent.attachPoints[i].Kind = 5;
        parent.attachPoints[i].Target = static_cast<NztBaseObject*>(&child);
    }
    child.parent = &parent;
    EXPECT_EQ(parent.RemoveChild(&child), 1);
    EXPECT_EQ(parent.attachPoints[2].Target, nullptr) << "searched from the last point";
    EXPECT_EQ(parent.attachPoints[0].Target, static_cast<NztBaseObject*>(&child));
    EXPECT_EQ(child.parent, nullptr);
    EXPECT_EQ(parent.RemoveChild(&parent), 0);

    child.parent = &parent;
    child.Detach();
    EXPECT_EQ(parent.attachPoints[1].Target, nullptr);
    EXPECT_EQ(child.parent, nullptr);

    parent.ClearAttachPoint(-1);
    parent.ClearAttachPoint(3);
    EXPECT_EQ(parent.attachPoints[0].Kind, 5u);
}

}  // namespace
