#include "plugin/services.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <vector>

#include "audio/openal.h"
#include "audio/sound.h"
#include "camera/camera.h"
#include "character/entity.h"
#include "character/entity.h"
#include "character/spell.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "game/entry.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/objtype.h"
#include "render/renderstate.h"
#include "ui/screenmsg.h"

namespace {

// The slot order is the interface: anchors across the table.
TEST(PluginServiceTable, SlotsKeepTheirOrder) {
    struct Case {
        size_t offset;
        size_t slot;
    };
    const Case cases[] = {
        {offsetof(QvPluginServiceTable, GetMainWindow), 0},
        {offsetof(QvPluginServiceTable, DispatchRequest), 2},
        {offsetof(QvPluginServiceTable, Identity), 6},
        {offsetof(QvPluginServiceTable, FillFloats), 13},
        {offsetof(QvPluginServiceTable, OpenFile), 17},
        {offsetof(QvPluginServiceTable, LoadWholeFile), 29},
        {offsetof(QvPluginServiceTable, ActivateObject), 37},
        {offsetof(QvPluginServiceTable, FindEntityProperty), 43},
        {offsetof(QvPluginServiceTable, PlaySound), 52},
        {offsetof(QvPluginServiceTable, ShowScreenMessage), 54},
    };
    const size_t first = offsetof(QvPluginServiceTable, GetMainWindow);
    for (const Case& c : cases) EXPECT_EQ((c.offset - first) / sizeof(void*), c.slot);
    EXPECT_EQ(PluginServices.version, QV_PLUGIN_API_VERSION);
    EXPECT_EQ(PluginServices.count, 55u);
    // Every slot is filled.
    const auto* slots = reinterpret_cast<void* const*>(reinterpret_cast<const char*>(&PluginServices) + first);
    for (size_t i = 0; i < PluginServices.count; ++i) EXPECT_NE(slots[i], nullptr) << "slot " << i;
}

TEST(PluginServiceTable, SimpleServicesAnswer) {
    EXPECT_EQ(PluginServices.Identity(-7), -7);
    EXPECT_EQ(PluginServices.GetBaseFolder(), DataFolder);
    EXPECT_EQ(PluginServices.DispatchRequest(0, 1024), 0);
    EXPECT_EQ(PluginServices.DispatchRequest(0, 1029), 0);
    // No GL context yet: handled, nothing done.
    EXPECT_EQ(PluginServices.DispatchRequest(0, QV_PLUGIN_REQ_MAKE_GL_CURRENT), 1);
    EXPECT_EQ(PluginServices.FileExists("/nonexistent/qv/file"), 0);
    EXPECT_EQ(PluginServices.GetFileSize("/nonexistent/qv/file"), -1);
    EXPECT_EQ(PluginServices.LoadWholeFile("/nonexistent/qv/file"), nullptr);
    EXPECT_EQ(PluginServices.OpenFile("/nonexistent/qv/file", 9), nullptr);

    uint16_t words[3] = {};
    PluginServices.FillWords(words, 0x12345, 2);
    EXPECT_EQ(words[0], 0x2345);
    EXPECT_EQ(words[1], 0x2345);
    EXPECT_EQ(words[2], 0);
    float floats[2] = {};
    PluginServices.FillFloats(floats, 2.5f, 2);
    EXPECT_EQ(floats[1], 2.5f);

    char out[256];
    PluginServices.GetPathFileName("C:\\Games\\PLUGIN\\Sample.QVm", out);
    EXPECT_STREQ(out, "Sample");
    PluginServices.GetPathExtension("dir/Sample.QVm", out);
    EXPECT_STREQ(out, ".QVm");
}

TEST(PluginServiceTable, FilesRoundTrip) {
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "qv_plugin_services.bin";
    void* f = PluginServices.OpenFile(path.c_str(), QV_PLUGIN_FILE_WB);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(PluginServices.WriteFile(f, "abcdef", 6), 6u);
    EXPECT_EQ(PluginServices.CloseFile(f), 0);
    EXPECT_EQ(PluginServices.FileExists(path.c_str()), 1);
    EXPECT_EQ(PluginServices.GetFileSize(path.c_str()), 6);
    auto* whole = static_cast<char*>(PluginServices.LoadWholeFile(path.c_str()));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(std::memcmp(whole, "abcdef", 6), 0);
    PluginServices.Free(whole);
    std::filesystem::remove(path);
}

TEST(PluginServiceTable, RandomIntWithEqualBoundsStillAdvances) {
    BuildRandomTable();
    const uint32_t before = PluginIntRandomIndex;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(PluginServices.RandomInt(5, 5), 5);
    EXPECT_EQ(PluginIntRandomIndex, before + 3);
    const int32_t r = PluginServices.RandomInt(-10, 10);
    EXPECT_GE(r, -10);
    EXPECT_LE(r, 10);
    const float f = PluginServices.RandomFloat(1.0f, 2.0f);
    EXPECT_GE(f, 1.0f);
    EXPECT_LE(f, 2.0f);
}

std::vector<uint32_t> stoppedSources;
void RecordStop(ALuint source) { stoppedSources.push_back(source); }

TEST(PluginServiceTable, StopSoundClampsTheSlot) {
    const auto savedStop = OpenAL.alSourceStop;
    const uint32_t saved[2] = {SoundTable.slots[0].source, SoundTable.slots[SoundSlotCount - 1].source};
    OpenAL.alSourceStop = RecordStop;
    SoundTable.slots[0].source = 70;
    SoundTable.slots[SoundSlotCount - 1].source = 71;
    struct Case {
        int32_t slot;
        uint32_t source;
    };
    for (const Case c : {Case{5000, 71}, Case{-3, 70}, Case{1055, 71}}) {
        stoppedSources.clear();
        PluginServices.StopSound(c.slot);
        ASSERT_EQ(stoppedSources.size(), 1u) << c.slot;
        EXPECT_EQ(stoppedSources[0], c.source) << c.slot;
    }
    OpenAL.alSourceStop = savedStop;
    SoundTable.slots[0].source = saved[0];
    SoundTable.slots[SoundSlotCount - 1].source = saved[1];
}

// The colour floats and the six values reach a free screen message in their order.
TEST(PluginServiceTable, ShowScreenMessageMakesAFreeMessage) {
    const NztRenderState saved = RenderState;
    ApplyScreenSize(RenderState, 800, 600);
    ResetScreenMessages();
    PluginServices.ShowScreenMessage("hello#there", 1.0f, 0.5f, 0.25f, 0.75f, 2.5f, 512.5f, 384.0f, 1, 0, 1);
    const ScreenMessage& m = ScreenMessages[ScreenMessageIndex];
    EXPECT_EQ(ScreenMessageActiveCount, 1u);
    EXPECT_STREQ(m.lines[0].text, "hello");
    EXPECT_STREQ(m.lines[1].text, "there");
    EXPECT_EQ(m.gameUI, -1);
    EXPECT_EQ(m.holdTime, 2.5f);
    EXPECT_EQ(m.shadow, 1u);
    EXPECT_EQ(m.linked, 1u);
    const float colour[4] = {1.0f, 0.5f, 0.25f, 0.75f};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(m.colour[i], colour[i]) << i;
    // No font: zero-sized text, so the position is the screen centre plus the grid offsets.
    EXPECT_EQ(m.x, 400.0f + 512.5f * 800.0f / 1024.0f);
    EXPECT_EQ(m.y, 300.0f + 384.0f * 600.0f / 768.0f);
    PluginServices.ShowScreenMessage(nullptr, 0.0f, 0.0f, 0.0f, 0.0f, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(m.colour[3], 0.0f);
    EXPECT_EQ(ScreenMessageActiveCount, 0u);
    ResetScreenMessages();
    RenderState = saved;
}

// A plug-in that moves or turns a carried scene object drops it; other states and characters stay.
TEST(PluginServiceTable, MovingOrTurningACarriedSceneObjectDropsIt) {
    NztScnObject* object = CreateScnObject(nullptr);
    NztEntity* entity = CreateEntity(nullptr);
    object->id = 7;
    entity->id = 7;
    const float p[3] = {1.0f, 2.0f, 3.0f};
    const float q[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    struct Case {
        int32_t kind;
        int32_t before;
        bool turn;
        int32_t after;
    };
    for (const Case c : {Case{4, 1, false, 2}, Case{4, 1, true, 2}, Case{4, 0, false, 0}, Case{4, 2, true, 2},
                         Case{5, 1, false, 1}}) {
        NztBaseObject* o = c.kind == 4 ? static_cast<NztBaseObject*>(object) : entity;
        o->poseState = c.before;
        if (c.turn) PluginServices.SetObjectQuaternion(7, c.kind, q);
        else PluginServices.SetObjectPosition(7, c.kind, p);
        EXPECT_EQ(o->poseState, c.after) << c.kind << " " << c.before << " " << c.turn;
    }
    EXPECT_EQ(object->Position[2], 3.0f);
    RemoveAllScnObjects();
    RemoveAllEntities();
}

TEST(PluginServiceTable, FindByModelAnswersTheLastMatch) {
    NztMesh rock, tree;
    std::strcpy(rock.Name, "Rock");
    std::strcpy(tree.Name, "Tree");
    NztScnObject a, b, c;
    a.mesh = &rock;
    b.mesh = &tree;
    c.mesh = &rock;
    NztScnObject* list[] = {&a, &b, &c};
    NztScnObject** savedList = ScnObjectList;
    const uint32_t savedCount = ScnObjectCount;
    ScnObjectList = list;
    ScnObjectCount = 3;
    EXPECT_EQ(PluginServices.FindScnObjectByModel("ROCK"), 2);
    EXPECT_EQ(PluginServices.FindScnObjectByModel("tree"), 1);
    EXPECT_EQ(PluginServices.FindScnObjectByModel("Bush"), -1);

    c.id = 42;
    c.word0 = 9;
    c.attachPoints.resize(2);
    std::strcpy(c.attachPoints[1].Name, "Hand");
    c.attachPoints[1].Anchor = 17;
    QvPluginObjectInfo info;
    PluginServices.GetScnObjectInfo(2, &info);
    EXPECT_EQ(info.id, 42);
    EXPECT_EQ(info.word, 9u);
    EXPECT_EQ(info.attachCount, 2);
    QvPluginAttachInfo point;
    PluginServices.GetScnObjectEntry(2, 1, &point);
    EXPECT_EQ(point.anchor, 17);
    EXPECT_STREQ(point.name, "Hand");
    // Positions outside the lists leave the output alone.
    struct Case {
        int32_t object, attach;
    };
    for (const Case k : {Case{3, 0}, Case{-1, 0}, Case{2, 2}, Case{2, -1}}) {
        std::memset(&point, 0x5A, sizeof point);
        PluginServices.GetScnObjectEntry(k.object, k.attach, &point);
        EXPECT_EQ(static_cast<uint8_t>(point.name[0]), 0x5A) << k.object << " " << k.attach;
    }
    ScnObjectList = savedList;
    ScnObjectCount = savedCount;
    a.mesh = b.mesh = c.mesh = nullptr;
}

}  // namespace

TEST(PluginServiceTable, FindEntityByNameAnswersTheLastMatchWhateverTheCase) {
    NztEntity guard, hero, second;
    std::strcpy(guard.name, "Guard");
    std::strcpy(hero.name, "Hero");
    std::strcpy(second.name, "GUARD");
    NztEntity* list[] = {&guard, &hero, &second};
    NztEntity** savedList = EntityList;
    const uint32_t savedCount = EntityCount;
    EntityList = list;
    EntityCount = 3;
    EXPECT_EQ(PluginServices.FindEntityByName("guard"), 2);
    EXPECT_EQ(PluginServices.FindEntityByName("HERO"), 1);
    EXPECT_EQ(PluginServices.FindEntityByName("Nobody"), -1);
    EXPECT_EQ(PluginServices.FindEntityByName(nullptr), -1);
    EntityList = savedList;
    EntityCount = savedCount;
}

// Service 50 casts as the player, or as the stand-by caster when there is none, and runs the
// effects of a successful cast.
TEST(PluginServiceTable, CastSpellFallsBackOnTheStandByCaster) {
    InitSpellGlobals();
    AllocateSpellRing();
    Spells.definitions.resize(1);
    std::memset(Spells.definitions[0].name, 0, sizeof Spells.definitions[0].name);
    Spells.definitions[0].firstList = {0};
    SpellSfxRecord shake{};
    shake.kind = 4;
    shake.origin[0] = 3;  // at the cast point
    shake.value1 = 0.5f;
    shake.values[0] = 10.0f;
    Spells.templates = {shake};
    const CNztCamera savedCamera = MainCamera;
    const auto savedState = CameraState;
    CameraState.shakeTime = -1.0f;
    NztEntity* savedPlayer = PlayerEntity;
    PlayerEntity = nullptr;

    const float at[3] = {0.0f, 0.0f, 0.0f};
    PluginServices.CastSpell(0, 0, at);
    ASSERT_NE(SpellCaster, nullptr);
    EXPECT_NE(SpellCaster->effectBlock, nullptr);
    EXPECT_FLOAT_EQ(CameraState.shakeTime, 0.5f);

    NztEntity player;
    PlayerEntity = &player;
    CameraState.shakeTime = -1.0f;
    PluginServices.CastSpell(0, 0, nullptr);
    EXPECT_EQ(player.effectBlock, &Spells.instances[1]);
    EXPECT_FLOAT_EQ(CameraState.shakeTime, 0.5f);
    // An index outside the table casts nothing.
    CameraState.shakeTime = -1.0f;
    PluginServices.CastSpell(-1, 0, nullptr);
    PluginServices.CastSpell(1, 0, nullptr);
    EXPECT_FLOAT_EQ(CameraState.shakeTime, -1.0f);
    EXPECT_EQ(Spells.nextInstance, 2);

    PlayerEntity = savedPlayer;
    FreeSpells();
    MainCamera = savedCamera;
    CameraState = savedState;
}
