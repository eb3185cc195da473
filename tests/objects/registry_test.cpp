// The object registries and the frame passes: registration and removal with their growth and
// order, the depth sort, the order of the update and render passes with recording objects and
// services, the camera-below-surface events, the picture overlay and the two pick queries.
#include "effects/dynobject.h"
#include "objects/registry.h"
#include "world/framepass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "camera/camera.h"
#include "character/entity.h"
#include "core/nztmath.h"
#include "datakit/mesh.h"
#include "effects/light.h"
#include "effects/sfx.h"
#include "effects/sfxdef.h"
#include "effects/thunder.h"
#include "effects/trail.h"
#include "game/frame.h"
#include "model/mesh.h"
#include "net/netclient.h"
#include "objects/base3d.h"
#include "objects/objtype.h"
#include "objects/triggers.h"
#include "render/glrecorder.h"
#include "render/renderstate.h"
#include "render/texture.h"
#include "scene/scene.h"

namespace {

std::vector<std::string>& Log() {
    static std::vector<std::string> log;
    return log;
}

// Objects of every registered kind that note their slots as "<name>.<slot>".
template <typename Base>
class Recording : public Base {
public:
    explicit Recording(std::string n = "") : name(std::move(n)) {}
    void Update() override { Note("update"); }
    void LateUpdate() override { Note("late"); }
    void RenderOpaque() override { Note("opaque"); }
    void Render() override { Note("render"); }
    void Note(const char* slot) const {
        Log().push_back(name + "." + slot);
        if (onSlot) onSlot(slot);
    }

    std::string name;
    std::function<void(const std::string&)> onSlot;
};

class RecEntity : public Recording<NztEntity> {
public:
    using Recording::Recording;
    void ActionA() { Note("actionA"); }
    void ActionB() { Note("actionB"); }
    // Empties its own slot, as a finished move does.
    void ActionDone() {
        Note("actionDone");
        actionSlots[--actionCount] = NztAction{};
    }
    void Push(void (RecEntity::*callback)()) {
        actionSlots[actionCount++].callback = static_cast<void (NztEntity::*)()>(callback);
    }
};
using RecScn = Recording<NztScnObject>;
using RecCollide = Recording<NztCollideObject>;
using RecDyn = Recording<NztDynObject>;
using RecSfx = Recording<NztSfx>;
using RecTrail = Recording<NztTrail>;
using RecThunder = Recording<NztThunder>;
using RecLight = Recording<NztLight>;

std::vector<NztBase3D*> Entries(const ObjectList& list) {
    return std::vector<NztBase3D*>(list.objects, list.objects + list.count);
}

class Registries : public ::testing::Test {
protected:
    void SetUp() override {
        savedTiming = FrameTiming;
        savedRender = RenderState;
        savedCamera = MainCamera;
        savedPlayer = PlayerEntity;
        savedFog = SceneFogSwitch;
        savedLights = {LightList, LightCount};
        savedDefs = {SfxDefList, SfxDefCount};
        Log().clear();
        ClearObjectLists();
        AllocObjectLists();
        FramePassServices.selectAction = [](NztBaseObject* e) {
            Log().push_back(static_cast<RecEntity*>(e)->name + ".select");
        };
        FramePassServices.sfxWorldPass = [](SfxDef* d) {
            Log().push_back("def" + std::to_string(d->userCount) + ".world");
        };
        FramePassServices.sfxLocalPass = [](SfxDef* d) {
            Log().push_back("def" + std::to_string(d->userCount) + ".local");
        };
        FramePassServices.broadcastEvent = [](uint32_t code) {
            Log().push_back("broadcast " + std::to_string(code));
        };
    }
    void TearDown() override {
        FreeObjectLists();
        ClearObjectLists();
        ResetFramePassHooks();
        FrameTiming = savedTiming;
        RenderState = savedRender;
        MainCamera = savedCamera;
        PlayerEntity = savedPlayer;
        SceneFogSwitch = savedFog;
        std::tie(LightList, LightCount) = savedLights;
        std::tie(SfxDefList, SfxDefCount) = savedDefs;
    }

    FrameTimingState savedTiming;
    NztRenderState savedRender;
    CNztCamera savedCamera;
    NztEntity* savedPlayer = nullptr;
    uint32_t savedFog = 0;
    std::pair<NztLight**, uint32_t> savedLights;
    std::pair<SfxDef**, uint32_t> savedDefs;
};

// ---------------------------------------------------------------------------------------------
// Registration

TEST_F(Registries, RegistrationIsGuardedByTheFlagAndKeepsTheKindListsInStep) {
    RecEntity e("e");
    EXPECT_EQ(RegisterEntity(&e), 1u);
    EXPECT_EQ(e.registered, 1);
    EXPECT_EQ(RegisterEntity(&e), 0u);  // twice: nothing changes
    EXPECT_EQ(RegisterScnObject(nullptr), 0u);
    EXPECT_EQ(Entries(ObjectRegistry), std::vector<NztBase3D*>{&e});
    EXPECT_EQ(Entries(EntityRegistry), std::vector<NztBase3D*>{&e});

    // Already in the master list: the kind registration stops there.
    RecScn s("s");
    EXPECT_EQ(RegisterObject(&s), 1u);
    EXPECT_EQ(RegisterScnObject(&s), 0u);
    EXPECT_EQ(ScnObjectRegistry.count, 0);

    EXPECT_EQ(UnregisterEntity(&e), 1u);
    EXPECT_EQ(e.registered, 0);
    EXPECT_EQ(UnregisterEntity(&e), 0u);
    EXPECT_EQ(EntityRegistry.count, 0);
    EXPECT_EQ(Entries(ObjectRegistry), std::vector<NztBase3D*>{&s});

    // Flagged but missing from the list: the flag is cleared all the same, the answer is 0.
    RecDyn stray("stray");
    stray.registered = 1;
    EXPECT_EQ(UnregisterObject(&stray), 0u);
    EXPECT_EQ(stray.registered, 0);
    EXPECT_EQ(ObjectRegistry.count, 1);

    // Triggers and near lights have their own lists, outside the master list.
    NztEventTrigger trigger;
    RecLight light("light");
    EXPECT_EQ(RegisterTrigger(&trigger), 1u);
    EXPECT_EQ(RegisterTrigger(&trigger), 0u);
    EXPECT_EQ(ActivateLight(&light), 1u);
    EXPECT_EQ(ActivateLight(&light), 0u);
    EXPECT_EQ(Entries(TriggerRegistry), std::vector<NztBase3D*>{&trigger});
    EXPECT_EQ(Entries(NearLightRegistry), std::vector<NztBase3D*>{&light});
    EXPECT_EQ(ObjectRegistry.count, 1);
    EXPECT_EQ(DeactivateLight(&light), 1u);
    EXPECT_EQ(DeactivateLight(&light), 0u);
    EXPECT_EQ(UnregisterTrigger(&trigger), 1u);
    EXPECT_EQ(NearLightRegistry.count + TriggerRegistry.count, 0);
}

TEST_F(Registries, RegistrationByTypeDispatchesOnTheKind) {
    RecCollide collide;
    RecScn scn;
    RecEntity entity;
    RecDyn dyn;
    RecSfx sfx;
    RecTrail trail;
    struct Case {
        NztBase3D* object;
        const ObjectList* list;  // null: refused
    };
    const Case cases[] = {
        {&collide, &CollideObjectRegistry},
        {&scn, &ScnObjectRegistry},
        {&entity, &EntityRegistry},
        {&dyn, &DynObjectRegistry},
        {&sfx, nullptr},
        {&trail, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.object->kind);
        const uint32_t expected = c.list != nullptr ? 1u : 0u;
        EXPECT_EQ(RegisterObjectByType(c.object), expected);
        EXPECT_EQ(c.object->registered, static_cast<int32_t>(expected));
        if (c.list != nullptr) {
            EXPECT_EQ(Entries(*c.list), std::vector<NztBase3D*>{c.object});
        }
        EXPECT_EQ(UnregisterObjectByType(c.object), expected);
        if (c.list != nullptr) {
            EXPECT_EQ(c.list->count, 0);
        }
        EXPECT_EQ(ObjectRegistry.count, 0);
    }
    EXPECT_EQ(RegisterObjectByType(nullptr), 0u);
}

TEST_F(Registries, ListsGrowByTheirStepWhenTheCountReachesTheCapacity) {
    EXPECT_EQ(ObjectRegistry.capacity, 500);
    EXPECT_EQ(EntityRegistry.capacity, 50);
    std::vector<std::unique_ptr<NztEntity>> entities;
    for (int i = 0; i < 49; ++i) {
        entities.push_back(std::make_unique<NztEntity>());
        ASSERT_EQ(RegisterEntity(entities.back().get()), 1u);
    }
    EXPECT_EQ(EntityRegistry.capacity, 50);
    entities.push_back(std::make_unique<NztEntity>());
    RegisterEntity(entities.back().get());
    EXPECT_EQ(EntityRegistry.capacity, 100);  // the 50th
    std::vector<std::unique_ptr<NztDynObject>> dyns;
    for (int i = 0; i < 449; ++i) {
        dyns.push_back(std::make_unique<NztDynObject>());
        RegisterDynObject(dyns.back().get());
    }
    EXPECT_EQ(ObjectRegistry.count, 499);
    EXPECT_EQ(ObjectRegistry.capacity, 500);
    NztDynObject last;
    RegisterDynObject(&last);
    EXPECT_EQ(ObjectRegistry.capacity, 1000);  // the 500th
    // Entries survive the growth in their order, and the new slots are empty.
    EXPECT_EQ(ObjectRegistry.objects[0], entities[0].get());
    EXPECT_EQ(ObjectRegistry.objects[499], &last);
    EXPECT_EQ(ObjectRegistry.objects[500], nullptr);
    // Removal never shrinks a list.
    for (auto& d : dyns) UnregisterDynObject(d.get());
    EXPECT_EQ(ObjectRegistry.capacity, 1000);
    EXPECT_EQ(DynObjectRegistry.capacity, 500);
}

TEST_F(Registries, AListAppendedToBeforeItsArrayExistsGetsOne) {
    FreeObjectLists();
    ClearObjectLists();
    NztScnObject s;
    EXPECT_EQ(RegisterScnObject(&s), 1u);
    EXPECT_EQ(Entries(ObjectRegistry), std::vector<NztBase3D*>{&s});
    EXPECT_EQ(Entries(ScnObjectRegistry), std::vector<NztBase3D*>{&s});
    EXPECT_EQ(ScnObjectRegistry.capacity, 50);
}

TEST_F(Registries, RemovalClosesTheGapAndNullsTheFreedSlot) {
    struct Case {
        const char* what;
        int removed;
        std::vector<int> left;
    };
    const Case cases[] = {
        {"last", 3, {0, 1, 2}},
        {"first", 0, {1, 2, 3}},
        {"middle", 2, {0, 1, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NztScnObject objects[4];
        for (auto& o : objects) RegisterScnObject(&o);
        EXPECT_EQ(UnregisterScnObject(&objects[c.removed]), 1u);
        for (const ObjectList* list : {&ObjectRegistry, &ScnObjectRegistry}) {
            std::vector<NztBase3D*> expected;
            for (int i : c.left) expected.push_back(&objects[i]);
            EXPECT_EQ(Entries(*list), expected);
            EXPECT_EQ(list->objects[3], nullptr);
        }
        for (int i : c.left) UnregisterScnObject(&objects[i]);
    }
}

// ---------------------------------------------------------------------------------------------
// Depth sort

TEST(ObjectDepthSort, SortsAscendingWhateverTheInput) {
    std::mt19937 random(7);
    std::vector<std::vector<float>> inputs = {
        {},
        {3},
        {2, 1},
        {1, 2, 3, 4, 5},
        {5, 4, 3, 2, 1},
        {4, 4, 4, 4},
        {1, -1, 0, 1, -1, 0},
        {0, 9, 0, 9, 0},
    };
    std::vector<float> big(1000);
    for (float& f : big) f = static_cast<float>(random() % 200) - 100.0f;
    inputs.push_back(big);
    std::vector<float> sawtooth(301);
    for (size_t i = 0; i < sawtooth.size(); ++i) sawtooth[i] = static_cast<float>(i % 7);
    inputs.push_back(sawtooth);
    for (const auto& depths : inputs) {
        std::vector<std::unique_ptr<NztBase3D>> objects;
        std::vector<NztBase3D*> array;
        for (float d : depths) {
            objects.push_back(std::make_unique<NztBase3D>());
            objects.back()->sortDepth = d;
            array.push_back(objects.back().get());
        }
        if (!array.empty()) SortObjectsByDepth(array.data(), 0, static_cast<int32_t>(array.size()) - 1);
        std::vector<float> sorted;
        for (auto* o : array) sorted.push_back(o->sortDepth);
        std::vector<float> expected = depths;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(sorted, expected);
        // Every object is still there once.
        std::vector<NztBase3D*> owners;
        for (auto& o : objects) owners.push_back(o.get());
        std::sort(owners.begin(), owners.end());
        std::sort(array.begin(), array.end());
        EXPECT_EQ(array, owners);
    }
}

// ---------------------------------------------------------------------------------------------
// Update passes

TEST_F(Registries, UpdatePassesWalkTheListsLastToFirstInTheirOrder) {
    RecEntity e1("e1"), e2("e2"), remote("remote");
    RecScn s1("s1"), s2("s2");
    RecCollide c1("c1");
    RecDyn d1("d1");
    RecThunder t1("t1");
    RecTrail r1("r1");
    RecSfx x1("x1"), x2("x2");
    e1.Push(&RecEntity::ActionA);
    e1.Push(&RecEntity::ActionB);
    remote.Push(&RecEntity::ActionA);
    RemotePlayerRecord record{};
    remote.networkRecord = &record;
    RegisterEntity(&e1);
    RegisterEntity(&remote);
    RegisterEntity(&e2);
    RegisterScnObject(&s1);
    RegisterScnObject(&s2);
    RegisterCollideObject(&c1);
    RegisterDynObject(&d1);
    RegisterThunder(&t1);
    RegisterTrail(&r1);
    RegisterSfx(&x1);
    RegisterSfx(&x2);
    // The owning lists that the late pass walks: definitions and lights.
    SfxDef def1, def2;
    def1.userCount = 1;
    def1.worldSpace = 1;
    def2.userCount = 2;
    SfxDef* defs[] = {&def1, &def2};
    SfxDefList = defs;
    SfxDefCount = 2;
    RecLight l1("l1"), l2("l2");
    NztLight* lights[] = {&l1, &l2};
    LightList = lights;
    LightCount = 2;

    UpdateObjects();
    EXPECT_EQ(Log(), (std::vector<std::string>{"e2.select", "e1.select", "e1.actionB", "e1.actionA",
                                               "s2.update", "s1.update", "c1.update", "e2.update",
                                               "remote.update", "e1.update"}));
    Log().clear();
    LateUpdateObjects();
    EXPECT_EQ(Log(), (std::vector<std::string>{"e2.late", "remote.late", "e1.late", "s2.late", "s1.late",
                                               "d1.late", "t1.late", "r1.late", "x2.late", "x1.late",
                                               "def2.local", "def1.world", "l2.update", "l1.update"}));
}

TEST_F(Registries, PassesSurviveObjectsLeavingTheListsOnTheWay) {
    RecScn a("a"), b("b"), c("c"), d("d");
    for (RecScn* s : {&a, &b, &c, &d}) RegisterScnObject(s);
    // d takes itself and two others out during its update; the walk goes on with what is left.
    d.onSlot = [&](const std::string&) {
        UnregisterScnObject(&d);
        UnregisterScnObject(&c);
        UnregisterScnObject(&b);
    };
    UpdateObjects();
    EXPECT_EQ(Log(), (std::vector<std::string>{"d.update", "a.update"}));

    // A finished move that empties its own slot leaves nothing behind to call.
    Log().clear();
    RecEntity e("e");
    e.Push(&RecEntity::ActionA);
    e.Push(&RecEntity::ActionDone);
    RegisterEntity(&e);
    UpdateObjects();
    UpdateObjects();
    EXPECT_EQ(Log(), (std::vector<std::string>{"e.select", "e.actionDone", "e.actionA", "a.update",
                                               "e.update", "e.select", "e.actionA", "a.update", "e.update"}));
}

// ---------------------------------------------------------------------------------------------
// Render pass

class RecordedRenderPass : public Registries {
protected:
    void SetUp() override {
        Registries::SetUp();
        session = std::make_unique<glrec::Session>();
        RenderState.depthTestOn = RenderState.depthWriteOn = 1;
        FramePassServices.testSunVisibility = [] { glrec::Calls().push_back("SunVisibility"); };
        FramePassServices.drawSunHalo = [] { glrec::Calls().push_back("SunHalo"); };
        FramePassServices.drawLensFlares = [] { glrec::Calls().push_back("LensFlares"); };
        FramePassServices.drawObjectBars = [] { glrec::Calls().push_back("ObjectBars"); };
        FramePassServices.popMatrix = [] { glrec::Calls().push_back("PopMatrix"); };
        FramePassServices.broadcastEvent = [](uint32_t code) {
            glrec::Calls().push_back("Broadcast " + std::to_string(code));
        };
        LightList = nullptr;
        LightCount = 0;
    }
    void TearDown() override {
        session.reset();
        Registries::TearDown();
    }
    std::unique_ptr<glrec::Session> session;
};

// The slots of the objects go to the same record as the GL calls.
template <typename Base>
class Drawn : public Base {
public:
    explicit Drawn(std::string n, float depth) : name(std::move(n)) { this->sortDepth = depth; }
    void RenderOpaque() override { glrec::Calls().push_back(name + ".opaque"); }
    void Render() override { glrec::Calls().push_back(name + ".render"); }
    std::string name;
};

TEST_F(RecordedRenderPass, TheRenderPassDrawsFarToNearBetweenItsStateChanges) {
    using glrec::Call;
    Drawn<NztScnObject> nearObject("near", 5.0f), farObject("far", 50.0f), middle("middle", 20.0f);
    Drawn<NztLight> l1("l1", 0.0f), l2("l2", 0.0f);
    NztLight* lights[] = {&l1, &l2};
    struct Case {
        const char* what;
        bool objects;
        uint32_t fog;
        uint32_t baseViewPushed;
    };
    const Case cases[] = {
        {"objects with fog", true, 1, 0},
        {"no fog, a 2-D matrix already pushed", true, 0, 1},
        {"empty lists", false, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RenderState.depthTestOn = RenderState.depthWriteOn = 1;
        RenderState.blendOn = RenderState.texture2DOn = RenderState.fogOn = 0;
        RenderState.texCoordArrayOn = RenderState.colorArrayOn = 0;
        RenderState.blendMode = 0;
        RenderState.baseViewPushed = c.baseViewPushed;
        BoundTextureId = 77;
        SceneFogSwitch = c.fog;
        if (c.objects) {
            for (NztScnObject* o : {&nearObject, &farObject, &middle}) RegisterScnObject(o);
            LightList = lights;
            LightCount = 2;
        }
        glrec::Calls().clear();
        RenderObjects();

        std::vector<std::string> expected = {Call("Enable", GL_TEXTURE_2D),
                                             Call("EnableClientState", GL_TEXTURE_COORD_ARRAY),
                                             Call("EnableClientState", GL_COLOR_ARRAY)};
        auto add = [&](std::initializer_list<std::string> calls) { expected.insert(expected.end(), calls); };
        if (c.fog) add({Call("Enable", GL_FOG)});
        if (c.objects) add({"far.opaque", "middle.opaque", "near.opaque"});
        if (c.fog) add({Call("Disable", GL_FOG)});
        add({Call("Enable", GL_BLEND), Call("DepthMask", 0), "SunVisibility"});
        if (c.fog) add({Call("Enable", GL_FOG)});
        if (c.objects) add({"far.render", "middle.render", "near.render"});
        if (c.fog) add({Call("Disable", GL_FOG)});
        add({Call("BlendFunc", GL_SRC_ALPHA, GL_ONE), Call("DisableClientState", GL_COLOR_ARRAY)});
        if (c.objects) add({"l2.render", "l1.render"});
        add({Call("Disable", GL_DEPTH_TEST), "SunHalo"});
        if (!c.baseViewPushed) add({Call("PushMatrix"), Call("LoadMatrixf", 1, 1, 0)});
        add({"LensFlares", "ObjectBars"});
        if (!c.baseViewPushed) add({"PopMatrix"});
        add({Call("Enable", GL_DEPTH_TEST), Call("DepthMask", 1), Call("Disable", GL_BLEND)});
        EXPECT_EQ(glrec::Calls(), expected);
        EXPECT_EQ(BoundTextureId, 0u);  // the next bind always goes out
        if (c.objects) {
            EXPECT_EQ(Entries(ObjectRegistry), (std::vector<NztBase3D*>{&nearObject, &middle, &farObject}));
            for (NztScnObject* o : {&nearObject, &farObject, &middle}) UnregisterScnObject(o);
            LightList = nullptr;
            LightCount = 0;
        }
    }
}

TEST_F(RecordedRenderPass, TheCameraGoingUnderASurfaceAndUpAgainIsBroadcastOnce) {
    struct Frame {
        const char* what;
        int32_t found;
        float surface;
        float eye;
        std::vector<std::string> broadcasts;
        float depth;
    };
    const Frame frames[] = {
        {"dry", 0, 50.0f, 10.0f, {}, 0.0f},
        {"a surface below the eye", 1, 5.0f, 10.0f, {}, 0.0f},
        {"going under", 1, 50.0f, 10.0f, {"Broadcast 132"}, 40.0f},
        {"staying under", 1, 30.0f, 10.0f, {}, 20.0f},
        {"coming up", 1, 10.0f, 10.0f, {"Broadcast 133"}, 0.0f},
        {"under again", 1, 12.0f, 10.0f, {"Broadcast 132"}, 2.0f},
        {"the probe lost the surface", 0, 12.0f, 10.0f, {"Broadcast 133"}, 0.0f},
    };
    for (const Frame& f : frames) {
        SCOPED_TRACE(f.what);
        MainCamera.belowSurface = f.found;
        MainCamera.surfaceHeight = f.surface;
        MainCamera.eye.y = f.eye;
        glrec::Calls().clear();
        RenderObjects();
        std::vector<std::string> broadcasts;
        for (const std::string& call : glrec::Calls()) {
            if (call.rfind("Broadcast", 0) == 0) broadcasts.push_back(call);
        }
        EXPECT_EQ(broadcasts, f.broadcasts);
        EXPECT_FLOAT_EQ(CameraBelowSurfaceDepth, f.depth);
        // The test runs with the camera matrix loaded, after the bars.
        if (!f.broadcasts.empty()) {
            const auto& calls = glrec::Calls();
            const auto at = std::find(calls.begin(), calls.end(), f.broadcasts[0]);
            ASSERT_NE(at, calls.end());
            EXPECT_EQ(*(at - 1), "ObjectBars");
            EXPECT_EQ(*(at + 1), "PopMatrix");
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Picture overlay

ScreenImageParams Picture(uint32_t show, float fadeTime, uint32_t layer = 0) {
    ScreenImageParams p;
    p.show = show;
    p.fadeTime = fadeTime;
    p.layer = layer;
    return p;
}

TEST_F(RecordedRenderPass, TheOverlayFadesInHoldsAndFadesOut) {
    FrameTiming.frameTime = 0.25f;
    const ScreenImageParams show = Picture(1, 0.5f, 1);
    ShowScreenImage(&show);
    EXPECT_EQ(ScreenImage.state, ScreenImageShown);
    EXPECT_EQ(ScreenImage.layer, 1u);
    EXPECT_EQ(ScreenImage.params.texture, 0u);  // no picture named: a coloured quad

    DrawScreenImage(0);  // another layer: nothing, the fade stands still
    EXPECT_EQ(ScreenImage.params.elapsed, 0.0f);
    glrec::Calls().clear();
    DrawScreenImage(1);
    EXPECT_EQ(ScreenImage.params.elapsed, 0.25f);
    // Depth off, blending in the picture's mode (4), a plain quad, depth back on.
    EXPECT_EQ(glrec::Calls(),
              (std::vector<std::string>{glrec::Call("Disable", GL_DEPTH_TEST), glrec::Call("DepthMask", 0),
                                        glrec::Call("Enable", GL_BLEND),
                                        glrec::Call("BlendFunc", GL_ONE_MINUS_DST_COLOR, GL_DST_COLOR),
                                        glrec::Call("Begin", GL_QUADS), glrec::Call("Enable", GL_DEPTH_TEST),
                                        glrec::Call("DepthMask", 1)}));
    EXPECT_EQ(RenderState.primitiveKind, 0u);
    for (int i = 0; i < 3; ++i) DrawScreenImage(1);
    EXPECT_EQ(ScreenImage.params.elapsed, 0.5f);  // held at the fade time
    EXPECT_EQ(ScreenImage.state, ScreenImageShown);

    const ScreenImageParams hide = Picture(0, 0.5f, 1);
    ShowScreenImage(&hide);
    EXPECT_EQ(ScreenImage.state, ScreenImageFadingOut);
    EXPECT_EQ(ScreenImage.params.elapsed, 0.0f);
    DrawScreenImage(1);
    EXPECT_EQ(ScreenImage.state, ScreenImageFadingOut);
    DrawScreenImage(1);
    EXPECT_EQ(ScreenImage.state, ScreenImageOff);
}

TEST_F(RecordedRenderPass, HidingTheOverlayFadesOnlyWhenItWasShownWithAFadeTime) {
    struct Case {
        const char* what;
        float shownFade;  // < 0: nothing shown first
        bool nullBlock;
        float hideFade;
        uint32_t state;
    };
    const Case cases[] = {
        {"a hide with fade time 0 clears at once", 0.5f, false, 0.0f, ScreenImageOff},
        {"a hide with a fade time fades out", 0.5f, false, 1.0f, ScreenImageFadingOut},
        {"a hide while nothing shows", -1.0f, false, 1.0f, ScreenImageOff},
        {"a null block fades out a fading picture", 0.5f, true, 0.0f, ScreenImageFadingOut},
        {"a null block clears a picture without fade", 0.0f, true, 0.0f, ScreenImageOff},
        {"a null block while nothing shows", -1.0f, true, 0.0f, ScreenImageOff},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScreenImage = ScreenImageState{};
        if (c.shownFade >= 0.0f) {
            const ScreenImageParams show = Picture(1, c.shownFade);
            ShowScreenImage(&show);
            ScreenImage.params.elapsed = 0.3f;
        }
        if (c.nullBlock) {
            ShowScreenImage(nullptr);
        } else {
            const ScreenImageParams hide = Picture(0, c.hideFade);
            ShowScreenImage(&hide);
        }
        EXPECT_EQ(ScreenImage.state, c.state);
        if (c.state == ScreenImageFadingOut) {
            EXPECT_EQ(ScreenImage.params.elapsed, 0.0f);  // from full strength
        }
    }
}

TEST_F(RecordedRenderPass, APictureThatCannotBeLoadedLeavesAColouredQuad) {
    for (const char* name : {"NoSuchPicture", "../Escape", "A/B"}) {
        SCOPED_TRACE(name);
        ScreenImageParams p = Picture(1, 0.0f);
        std::snprintf(p.pictureName, sizeof p.pictureName, "%s", name);
        ShowScreenImage(&p);
        EXPECT_EQ(ScreenImage.state, ScreenImageShown);
        EXPECT_EQ(ScreenImage.params.texture, 0u);
    }
    // A name without its terminator is cut at the end of the field.
    ScreenImageParams p = Picture(1, 0.0f);
    std::fill(std::begin(p.pictureName), std::end(p.pictureName), 'x');
    ShowScreenImage(&p);
    EXPECT_EQ(std::string(ScreenImage.params.pictureName).size(), sizeof p.pictureName - 1);
}

// ---------------------------------------------------------------------------------------------
// Picking

// A square of side 20 around the origin of its mesh, facing +z, and a camera on the z axis at
// z = 100 looking down -z: the centre of the 800 x 600 viewport is the point (0, 0) of the axis.
class Picking : public Registries {
protected:
    void SetUp() override {
        Registries::SetUp();
        datakit::QvoMesh m;
        m.name = "Panel1001";
        m.vertices = {{-10, -10, 0}, {10, -10, 0}, {10, 10, 0}, {-10, 10, 0}};
        m.materials.resize(1);
        m.materials[0].indices = {0, 1, 2, 0, 2, 3};
        const auto bytes = datakit::WriteQvo(m);
        NztFile stream;
        stream.OpenMemory(bytes.data(), static_cast<uint32_t>(bytes.size()));
        ASSERT_EQ(ParseMeshFile(&mesh, &stream, 0, 1, "OBJECTS/Panel1001.QVo"), 1);
        ComputeMeshBounds(&mesh);
        NztRenderState& rs = RenderState;
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        std::copy(identity, identity + 16, rs.cameraMatrix);
        rs.cameraPosition[0] = rs.cameraPosition[1] = 0.0f;
        rs.cameraPosition[2] = 100.0f;
        rs.focalLength = 1600.0f;
        rs.viewportX = rs.viewportY = 0.0f;
        rs.halfViewportWidth = 400.0f;
        rs.halfViewportHeight = 300.0f;
        PlayerEntity = nullptr;
    }
    void TearDown() override {
        FreeMesh(&mesh);
        Registries::TearDown();
    }

    // An object of the square at p, posed, in view and shown, with event records or the hover flag.
    template <typename T>
    void Place(T& object, float x, float y, float z) {
        object.SetMesh(&mesh);
        const float p[3] = {x, y, z};
        object.SetPosition(p);
        object.vertices.resize(4);
        for (int i = 0; i < 4; ++i) object.vertices[i] = mesh.Lods[0].Vertices[i] + Vec3{x, y, z};
        object.visible = 1;
        object.eventRecordCount = 1;
        object.hoverFlag = 1;
    }

    NztMesh mesh;
};

TEST_F(Picking, TheNearestObjectWithEventsUnderThePointWinsWithinThePlayersReach) {
    RecEntity front("front"), player("player");
    RecScn back("back");
    Place(front, 0, 0, 0);   // 100 in front of the camera
    Place(back, 0, 0, -50);  // behind it, same type: one shared mesh
    RegisterEntity(&front);
    RegisterScnObject(&back);
    const float playerAt[3] = {0, 0, 100};
    player.SetPosition(playerAt);

    struct Case {
        const char* what;
        std::function<void()> change;
        bool withPlayer;
        float reach;
        int32_t x, y;
        NztEventObject* expected;
    };
    const Case cases[] = {
        {"no player: nothing, even over a hit", [] {}, false, 0.0f, 400, 300, nullptr},
        {"reach 0 ignores distance", [] {}, true, 0.0f, 400, 300, &front},
        {"hit point exactly at the reach", [] {}, true, 10000.0f, 400, 300, &front},
        {"hit point beyond the reach", [] {}, true, 9999.0f, 400, 300, nullptr},
        {"off both objects", [] {}, true, 0.0f, 100, 100, nullptr},
        {"the nearer one hidden", [&] { front.shown = 0; }, true, 0.0f, 400, 300, &back},
        {"the nearer one out of view", [&] { front.visible = 0; }, true, 0.0f, 400, 300, &back},
        {"the nearer one without events", [&] { front.eventRecordCount = 0; }, true, 0.0f, 400, 300, &back},
        {"neither has events", [&] { front.eventRecordCount = back.eventRecordCount = 0; }, true, 0.0f, 400,
         300, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        front.shown = back.shown = 1;
        front.visible = back.visible = 1;
        front.eventRecordCount = back.eventRecordCount = 1;
        c.change();
        PlayerEntity = c.withPlayer ? &player : nullptr;
        player.pickReach = c.reach;
        EXPECT_EQ(PickEntityOnRay(c.x, c.y), c.expected);
    }
}

TEST_F(Picking, EqualDistancesKeepTheFirstHitOfTheWalk) {
    RecEntity first("first"), second("second"), player("player");
    Place(first, 0, 0, 0);
    Place(second, 2, 0, 0);
    RegisterEntity(&first);
    RegisterEntity(&second);
    PlayerEntity = &player;
    // The walk runs from the last registered: the second is met first and kept.
    EXPECT_EQ(PickEntityOnRay(400, 300), &second);
    EXPECT_EQ(PickEntityOnRayInReach(400, 300), &second);
}

TEST_F(Picking, HoverPickingTakesHoverObjectsWithinThePlayersRadius) {
    RecEntity near("near"), player("player");
    RecScn far("far");
    Place(near, 0, 0, 0);
    Place(far, 0, 0, -50);
    RegisterEntity(&near);
    RegisterScnObject(&far);
    const float playerAt[3] = {0, 0, 30};
    player.SetPosition(playerAt);
    struct Case {
        const char* what;
        bool withPlayer;
        float playerRadius, entityRadius, typeRadius;
        uint8_t nearHover;
        NztEventObject* expected;
    };
    const Case cases[] = {
        {"no player: no reach limit", false, 0, 0, 0, 1, &near},
        {"a player of radius 0: no reach limit", true, 0, 0, 0, 1, &near},
        {"entity just within the two radii", true, 20, 10, 0, 1, &near},
        {"entity beyond, the scene object within its type radius", true, 20, 9, 60, 1, &far},
        {"both beyond", true, 20, 9, 59, 1, nullptr},
        {"the nearer one does not hover", true, 0, 0, 0, 0, &far},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PlayerEntity = c.withPlayer ? &player : nullptr;
        player.radius = c.playerRadius;
        near.radius = c.entityRadius;
        mesh.CoreRadius = c.typeRadius;
        near.hoverFlag = c.nearHover;
        near.eventRecordCount = 0;  // events play no part here
        EXPECT_EQ(PickEntityOnRayInReach(400, 300), c.expected);
    }
}

}  // namespace
