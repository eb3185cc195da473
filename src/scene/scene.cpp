#include "scene/scene.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "audio/music.h"
#include "camera/camera.h"
#include "character/entity.h"
#include "core/binio.h"
#include "core/nztfile.h"
#include "core/pack.h"
#include "core/paths.h"
#include "effects/dynobject.h"
#include "effects/light.h"
#include "effects/rope.h"
#include "effects/sfx.h"
#include "effects/sfxdef.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/attach.h"
#include "objects/hover.h"
#include "objects/objtype.h"
#include "objects/posing.h"
#include "objects/registry.h"
#include "objects/triggers.h"
#include "render/projection.h"
#include "scene/sceneevents.h"
#include "ui/menu.h"
#include "ui/textbox.h"
#include "world/framepass.h"

uint32_t SceneFileVersion = SceneVersionCurrent;

namespace {

constexpr float kDegreesToRadians = 0.017453292f;
constexpr float kRadiansToDegrees = 57.29578f;
// Time-of-day speeds are kept per 1/50 s tick and stored per second of 60 ticks.
constexpr float kSpeedToFile = 60.0f;
constexpr float kSpeedFromFile = 0.016666668f;
// A snapshot block begins with its length (u64, host order: it never leaves the process).
constexpr size_t kSnapshotHeaderBytes = 8;

void SetName(char (&field)[256], const char* text) { std::snprintf(field, sizeof field, "%s", text ? text : ""); }

// ---- Loading ---------------------------------------------------------------------------------

void ApplyPlacement(NztBaseObject* object, const ScenePlacement& p) {
    object->SetPosition(p.position);
    object->SetRange(p.range);
    object->SetSize(p.size);
    object->word0 = p.flagA != 0;
    object->word1 = p.flagB != 0;
    object->word2 = p.flagC != 0;
    object->followDisplacement = static_cast<int32_t>(p.objectWord);
}

void ApplyProperties(NztBaseObject* object, const std::vector<UserProperty>& properties) {
    for (const UserProperty& u : properties) {
        if (object->userProperties == nullptr) object->userProperties = new UserPropertyList;
        AddUserProperty(object->userProperties, &u);
    }
}

void FinishActive(NztBaseObject* object, const ScenePlacement& p) {
    if (p.active == 0) TakeObjectOutOfWorld(object);
    object->shown = p.visible != 0;
}

void RebuildStatic(NztBaseObject* object) {
    if (object->mesh == nullptr) return;
    object->BindRenderData();
    TransformMeshStatic(object->mesh);
    auto* collide = static_cast<NztCollideObject*>(object);
    if (collide->hasCollision != 0) collide->UpdateCollision();
}

uint32_t ClampedAnimCount(uint32_t count) { return std::min(count, SceneAnimSlotLimit); }

void CommitScnObject(const SceneScnObject& o, int32_t index) {
    const NztScnObject* live = FindScnObjectByModel(o.model, o.number);
    const uint32_t typeIndex =
        live != nullptr && live->mesh != nullptr ? live->mesh->TypeIndex : GetObjectTypeIndex(o.model, o.number);
    NztScnObject* object = LoadScnObjectType(typeIndex, o.number);
    if (object == nullptr) return;
    object->id = index;
    ApplyPlacement(object, o.place);
    object->CopyTransform(o.place.rotation);
    object->depthBias = o.params[0];
    object->swayStrength = o.params[1];
    object->meshFloat = o.params[2];
    object->SetGroundQuad(o.params[3]);
    if (object->mesh != nullptr && object->mesh->VertexWavePhases != nullptr) SetMeshWave(o.wave, object->mesh);
    if (o.rotationPending != 0) object->rotationDirty = 1;
    else if (object->rotationDirty != 0) object->RefreshRotation();
    object->poseState = 2;  // dropped, not carried
    ApplyProperties(object, o.properties);
    GiveSceneEvents(object, o.events, ObjectKindScn);
    const uint32_t count = ClampedAnimCount(o.anim.count);
    if (o.anim.animated != 0 && count != 0 && object->mesh != nullptr) {
        object->ResizeAnimSlots(count);  // the mesh's table, which the object then takes
        // Each slot takes the file stored under its name.
        if (o.anim.slot1 >= 0 && static_cast<uint32_t>(o.anim.slot1) < count)
            LoadObjectAnim(static_cast<uint32_t>(o.anim.slot1), typeIndex, o.anim.name1);
        if (o.anim.slot2 >= 0 && static_cast<uint32_t>(o.anim.slot2) < count)
            LoadObjectAnim(static_cast<uint32_t>(o.anim.slot2), typeIndex, o.anim.name2);
        object->SetAnimIndex(static_cast<uint32_t>(o.anim.slot1), 1, static_cast<uint32_t>(o.anim.slot2),
                             static_cast<int32_t>(o.anim.frame));
    }
    RebuildStatic(object);
    FinishActive(object, o.place);
}

void CommitCharacter(const SceneCharacter& c, int32_t index, uint32_t version) {
    const char* name = c.type;
    // Old files named character types with a leading separator.
    if (version <= 10248 && (name[0] == '/' || name[0] == '\\')) ++name;
    const NztEntity* live = FindEntityType(name, c.number);
    const uint32_t typeIndex =
        live != nullptr && live->mesh != nullptr ? live->mesh->TypeIndex : GetObjectTypeIndex(name, c.number);
    NztEntity* entity = LoadEntityType(typeIndex, name, c.number);
    if (entity == nullptr) return;
    entity->id = index + 1;  // the player keeps 0
    ApplyPlacement(entity, c.place);
    entity->SetRotation(c.place.rotation);
    ApplyProperties(entity, c.properties);
    GiveSceneEvents(entity, c.events, ObjectKindEntity);
    ApplySceneCharacterRecord(entity, c.record.data());
    const uint32_t count = ClampedAnimCount(c.anim.count);
    if (c.anim.animated != 0 && count != 0 && entity->mesh != nullptr) {
        entity->ResizeAnimSlots(count);
        if (c.anim.slot1 != -1) {
            const size_t skip = entity->mesh->AnimSetNameLength;
            // An old name shorter than the set name it should start with is looked up empty.
            auto tail = [skip](const char* stored) { return stored + std::min(skip, std::strlen(stored)); };
            NztAnim* first = entity->GetAnimByName(tail(c.anim.name1));
            NztAnim* second = c.anim.slot2 != -1 ? entity->GetAnimByName(tail(c.anim.name2)) : nullptr;
            entity->SetAnim(first, 1, second, static_cast<int32_t>(c.anim.frame));
        }
    }
    ApplySceneSpeedFactor(entity, c.speedFactor);
    ApplySceneRecordLists(entity, c.lists);
    entity->PushStateToModel();
    RebuildStatic(entity);
    FinishActive(entity, c.place);
}

void ResetPlayerForLoad() {
    NztEntity* player = PlayerEntity;
    if (player == nullptr) return;
    player->Detach();
    player->riddenEntity = nullptr;
    player->FreeUserProperties();
    if (player->timer > 0.0f) player->timer = 0.0f;
    player->packedAngles &= 0xFF000000u;
    player->roll &= ~0xFFFu;
    static const float kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::copy(kIdentity, kIdentity + 9, player->rotation);
    std::copy(kIdentity, kIdentity + 9, player->secondRotation);
    ResetScenePlayerState(player);
}

void ClearWorldForLoad() {
    ResetTextBoxes();
    DeleteAllDynObjects();
    RemoveAllSfx();
    // Game lights own lights of the light library: they go first.
    DeleteAllGameLights();
    DeleteAllLights();
    FreeAllSfxDefs();
    RemoveAllScnObjects();
    RemoveNonPlayerEntities();
    DeleteAllEventTriggers();
    CloseImagePanel();
    ClearSceneInterfaceObjects();
    FreeEnvironmentZones();
    GameEventObject.ClearEvents();
}

void CommitPlayer(const ScenePlayer& pl) {
    NztEntity* player = PlayerEntity;
    if (player == nullptr) return;
    player->ClearEvents();
    player->id = 0;
    player->FreeArrays();
    if (pl.placed) {
        player->SetPosition(pl.place.position);
        player->SetRotation(pl.place.rotation);
        player->PushStateToModel();
        RebuildStatic(player);
    }
    ApplySceneRecordLists(player, pl.lists);
    // A player that is not placed keeps its position.
    float kept[6];
    std::copy(player->Position, player->Position + 3, kept);
    std::copy(player->PreviousPosition, player->PreviousPosition + 3, kept + 3);
    ApplyPlacement(player, pl.place);
    if (!pl.placed) {
        std::copy(kept, kept + 3, player->Position);
        std::copy(kept + 3, kept + 6, player->PreviousPosition);
    }
    ApplySceneCharacterRecord(player, pl.record.data());
    FinishActive(player, pl.place);
    if (pl.lifePresent) ApplyScenePlayerLife(player, pl.life, pl.reserve, pl.stateWord);
    ApplyProperties(player, pl.properties);
    GiveSceneEvents(player, pl.events, ObjectKindEntity);
}

void CommitSky(const SceneData& s) {
    if (s.hasSkyNames) {
        LoadSkyObject(s.skyName);
        LoadSunObject(s.sunName);
        LoadMoonObject(s.moonName);
    }
}

void CommitCamera(const SceneCamera& c) {
    if (!c.present) return;
    CameraInput.mouseX = CameraInput.mouseY = 0.0f;
    if (c.mode <= 11) SetCameraMode(static_cast<int32_t>(c.mode));
    else StoreCameraModeNumber(static_cast<int32_t>(c.mode));
    MainCamera.SetPosition(Vec3{c.position[0], c.position[1], c.position[2]});
    SetCameraRotation(c.rotation);
    // The camera's own easing carries it to the stored value (at once when none is running).
    SetCameraFovTarget(c.fieldOfView, MainCamera.fieldOfView[2]);
    ClearCameraStateStack();
}

void CommitSkySettings(const SceneSkySettings& k) {
    SkyEnabled = k.skyOn;
    SetTimeOfDayAngle(k.timeOfDay);
    ShownTimeOfDay = TimeOfDay;
    SunTilt = k.sunTilt * kDegreesToRadians;
    SunRoll = k.sunRoll * kDegreesToRadians;
    TimeRunning = k.timeRunning;
    DaySpeed = k.midSpeed * kSpeedFromFile;
    NightSpeed = k.outerSpeed * kSpeedFromFile;
    FlaresEnabled = k.lensFlares;
    SceneFogSwitch = k.fog;
    std::memcpy(SkyColorKeys, k.colours, sizeof SkyColorKeys);
    UpdateSkyColors();
}

void CommitPlaylist(const SceneData& s) {
    if (!s.hasPlaylist) return;
    // The current play-list is emptied and refilled; the other play-lists of the pool stay.
    if (CurrentPlaylist == nullptr) CurrentPlaylist = CreateMusicPlaylist();
    CurrentPlaylist->tracks.clear();
    SetName(CurrentPlaylist->name, s.playlistName);
    for (const auto& t : s.tracks) AddPlaylistTrack(t.data());
}

NztBaseObject* FindRopeEnd(uint32_t kind, int32_t id) {
    if (id == -1) return nullptr;
    if (kind == ObjectKindScn) return FindScnObjectById(id);
    if (kind == ObjectKindEntity) return FindEntityById(id);
    return nullptr;
}

// The settings screen's look: seven 256-byte image paths, then five words.
void ApplySettingsLook(const std::array<uint8_t, SettingsImagesBytes>& bytes) {
    BinReader in(bytes.data(), bytes.size());
    SettingsScreenLook& l = SettingsLook;
    for (char* path : {l.windowImage, l.sliderImage, l.sliderThumbImage, l.yesImage, l.yesPassOverImage, l.noImage,
                       l.noPassOverImage})
        in.Text(path, 256, 256);
    for (uint32_t* word : {&l.windowBorder, &l.sliderBorder, &l.sliderThumbBevel, &l.yesBorder, &l.noBorder})
        *word = in.U32();
}

void CaptureSettingsLook(std::array<uint8_t, SettingsImagesBytes>* out) {
    std::vector<uint8_t> bytes;
    BinWriter w(bytes);
    const SettingsScreenLook& l = SettingsLook;
    for (const char* path : {l.windowImage, l.sliderImage, l.sliderThumbImage, l.yesImage, l.yesPassOverImage,
                             l.noImage, l.noPassOverImage})
        w.Text(path, 256);
    for (uint32_t word : {l.windowBorder, l.sliderBorder, l.sliderThumbBevel, l.yesBorder, l.noBorder}) w.U32(word);
    std::memcpy(out->data(), bytes.data(), std::min(bytes.size(), out->size()));
}

// The world walk of old files: animation names in records of actions 44 to 46 began with the
// character's animation-set name, which is no longer stored.
void ShortenOldAnimNames() { ForEachEventOwner([](NztEventObject* owner) { ShortenOldAnimNamesOf(owner); }); }

}  // namespace

void CommitScene(const SceneData& s) {
    SceneFileVersion = s.version;
    ClearHoveredObject();
    CloseSceneSettingsScreen();
    ResetPlayerForLoad();
    ClearWorldForLoad();

    CommitSky(s);
    CommitCamera(s.camera);
    CommitPlayer(s.player);
    if (s.hasSkySettings) CommitSkySettings(s.sky);
    CommitPlaylist(s);
    for (size_t i = 0; i < s.scnObjects.size(); ++i) CommitScnObject(s.scnObjects[i], static_cast<int32_t>(i));
    for (size_t i = 0; i < s.characters.size(); ++i)
        CommitCharacter(s.characters[i], static_cast<int32_t>(i), s.version);
    for (size_t i = 0; i < s.gameLights.size(); ++i) {
        NztGameLight* light = CreateGameLight(s.gameLights[i]);
        if (light != nullptr) light->id = static_cast<int32_t>(i);
    }
    for (size_t i = 0; i < s.triggers.size(); ++i) CommitSceneTrigger(s.triggers[i], static_cast<int32_t>(i));
    CommitSceneInterfaceObjects(s);
    if (s.hasPanel) LoadPanelSettings(&s.panel);
    if (s.hasZones) {
        ZonesEnabled = static_cast<int32_t>(s.zonesOn);
        for (const EnvironmentZone& z : s.zones) AddEnvironmentZone(&z);
    }
    GiveSceneEvents(&GameEventObject, s.globalEvents, 0);
    if (s.hasSettingsImages) ApplySettingsLook(s.settingsImages);
    for (const auto& r : s.ropes) {
        NztBaseObject* a = FindRopeEnd(r[0], static_cast<int32_t>(r[1]));
        NztBaseObject* b = FindRopeEnd(r[4], static_cast<int32_t>(r[5]));
        if (a != nullptr && b != nullptr) CreateRopeLink(a, b, static_cast<int32_t>(r[2]), static_cast<int32_t>(r[6]), r[3], r[7]);
    }
    PlaceAllSfxAtOwners();
    if (s.version < 10255) ShortenOldAnimNames();
}

bool ReadScene(const char* name, int fromPacks, const void* snapshot, SceneData* out) {
    NztFile file;
    const char* source = name;
    char packName[512];
    if (name != nullptr && fromPacks) {
        if (!IsPlainName(name)) {
            std::fprintf(stderr, "scene: level name refused: %s\n", name);
            return false;
        }
        if (!FormatPath(packName, sizeof packName, "SCN/%s.Scn", name)) {
            std::fprintf(stderr, "scene: level name too long: %s\n", name);
            return false;
        }
        source = packName;
        if (!file.OpenRead(packName, PackTrees[PackScn])) return false;
    } else if (name != nullptr) {
        if (!file.OpenFile(name, NztFileRead)) return false;
    } else {
        if (snapshot == nullptr) return false;
        const uint64_t bytes = SceneSnapshotBytes(snapshot);
        if (bytes > UINT32_MAX) return false;
        file.OpenMemory(static_cast<const uint8_t*>(snapshot) + kSnapshotHeaderBytes, static_cast<uint32_t>(bytes));
        source = "snapshot";
    }
    BinReader in(file);
    const bool ok = ParseScene(in, source, out);
    file.Close();
    return ok;
}

int LoadScene(const char* name, int fromPacks, const void* snapshot) {
    SceneData scene;
    if (!ReadScene(name, fromPacks, snapshot, &scene)) return 0;
    CommitScene(scene);
    return 1;
}

uint64_t SceneSnapshotBytes(const void* snapshot) {
    if (snapshot == nullptr) return 0;
    uint64_t bytes = 0;
    std::memcpy(&bytes, snapshot, sizeof bytes);
    return bytes;
}

// ---- Saving ----------------------------------------------------------------------------------

namespace {

void CaptureWords(const NztBaseObject* object, ScenePlacement* p) {
    std::copy(object->Position, object->Position + 3, p->position);
    std::copy(object->rotation, object->rotation + 9, p->rotation);
    p->range = object->range;
    p->size = object->size;
    p->flagA = object->word0 != 0;
    p->flagB = object->word1 != 0;
    p->flagC = object->word2 != 0;
    p->objectWord = static_cast<uint32_t>(object->followDisplacement);
    p->active = object->registered != 0;
    p->visible = object->shown != 0;
}

void CaptureProperties(const NztBaseObject* object, std::vector<UserProperty>* out) {
    if (object->userProperties != nullptr) *out = object->userProperties->properties;
}

// The slot of an animation in the object's table, searched from its end; an animation that is set
// but not in the table is slot 0.
int32_t SlotOf(const NztBaseObject* object, const NztAnim* anim, uint32_t count) {
    if (anim == nullptr) return -1;
    for (uint32_t i = count; i-- > 0;)
        if (object->animSlots != nullptr && object->animSlots[i] == anim) return static_cast<int32_t>(i);
    return 0;
}

void CaptureAnimation(const NztBaseObject* object, bool character, SceneAnimation* a) {
    a->animated = object->animSlots != nullptr && object->mesh != nullptr;
    if (!a->animated) return;
    a->count = object->mesh->AnimSlotCount;
    if (a->count == 0) return;
    a->slot1 = SlotOf(object, object->currentAnim, a->count);
    a->slot2 = SlotOf(object, object->returnAnim, a->count);
    a->frame = static_cast<uint32_t>(object->currentFrame);
    auto nameOf = [&](int32_t slot, const NztAnim* anim, char (&out)[256]) {
        if (slot < 0) return;
        const char* slotName = static_cast<uint32_t>(slot) < AnimNameCount ? AnimNameTable[slot] : "";
        // Characters find their animations by the set name followed by the slot's name; scene
        // objects load the file the animation came from.
        if (character) SetName(out, (std::string(object->mesh->AnimSetName) + slotName).c_str());
        else SetName(out, anim->Name);
    };
    nameOf(a->slot1, object->currentAnim, a->name1);
    nameOf(a->slot2, object->returnAnim, a->name2);
}

void CaptureTypeName(const NztBaseObject* object, char (&name)[256], uint32_t* number) {
    if (object->mesh != nullptr && object->mesh->TypeIndex < ObjectTypeCount) {
        const NztObjectType& type = ObjectTypeTable[object->mesh->TypeIndex];
        SetName(name, type.Name);
        *number = type.Number;
    }
}

const char* SkyMeshName(const NztMesh* mesh, const char* fallback) {
    return mesh != nullptr && mesh->Name[0] != 0 ? mesh->Name : fallback;
}

}  // namespace

void CaptureScene(SceneData* s, int withSky, int withSkySettings, int withMusic, int withPanel) {
    *s = SceneData();
    s->hasSkyNames = withSky != 0;
    if (withSky) {
        SetName(s->skyName, SkyMeshName(SkyLayers[0], "Sky1001"));
        SetName(s->sunName, SkyMeshName(SunMesh, "Sun1001"));
        SetName(s->moonName, SkyMeshName(MoonMesh, "Moon1001"));
    }
    s->camera.present = 1;
    s->camera.mode = static_cast<uint32_t>(CameraMode);
    s->camera.position[0] = MainCamera.eye.x;
    s->camera.position[1] = MainCamera.eye.y;
    s->camera.position[2] = MainCamera.eye.z;
    GetCameraRotation(s->camera.rotation);
    s->camera.fieldOfView = MainCamera.fieldOfView[0];

    if (NztEntity* player = PlayerEntity) {
        ScenePlayer& pl = s->player;
        pl.placed = 1;
        CaptureWords(player, &pl.place);
        CaptureSceneCharacterRecord(player, pl.record.data());
        CaptureSceneRecordLists(player, &pl.lists);
        pl.lifePresent = 1;
        CaptureScenePlayerLife(player, &pl.life, &pl.reserve, &pl.stateWord);
        CaptureProperties(player, &pl.properties);
        TakeSceneEvents(player, &pl.events);
    }

    s->hasSkySettings = withSkySettings != 0;
    if (withSkySettings) {
        SceneSkySettings& k = s->sky;
        k.skyOn = SkyEnabled;
        k.timeOfDay = TimeOfDay;
        k.sunTilt = SunTilt * kRadiansToDegrees;
        k.sunRoll = SunRoll * kRadiansToDegrees;
        k.timeRunning = TimeRunning;
        k.midSpeed = DaySpeed * kSpeedToFile;
        k.outerSpeed = NightSpeed * kSpeedToFile;
        k.lensFlares = FlaresEnabled;
        k.fog = SceneFogSwitch;
        std::memcpy(k.colours, SkyColorKeys, sizeof k.colours);
    }
    s->hasPlaylist = withMusic != 0;
    if (withMusic && CurrentPlaylist != nullptr) {
        SetName(s->playlistName, CurrentPlaylist->name);
        for (const std::string& t : CurrentPlaylist->tracks) {
            std::array<char, 256> name{};
            std::snprintf(name.data(), name.size(), "%s", t.c_str());
            s->tracks.push_back(name);
        }
    }

    s->hasScnObjects = 1;
    for (uint32_t i = 0; i < ScnObjectCount; ++i) {
        NztScnObject* object = ScnObjectList[i];
        object->id = static_cast<int32_t>(i);
        SceneScnObject o;
        CaptureTypeName(object, o.model, &o.number);
        CaptureWords(object, &o.place);
        o.params[0] = object->depthBias;
        o.params[1] = object->swayStrength;
        o.params[2] = object->meshFloat;
        o.params[3] = object->groundQuadStrength;
        o.wave = object->mesh != nullptr ? object->mesh->VertexWaveSpread : 0.0f;
        o.rotationPending = object->rotationDirty;
        CaptureProperties(object, &o.properties);
        TakeSceneEvents(object, &o.events);
        CaptureAnimation(object, false, &o.anim);
        s->scnObjects.push_back(std::move(o));
    }

    s->hasCharacters = 1;
    for (uint32_t i = 0; i < EntityCount; ++i) {
        NztEntity* entity = EntityList[i];
        if (entity == PlayerEntity) continue;  // its id is 0, the others' were given by the remapping
        SceneCharacter c;
        CaptureTypeName(entity, c.type, &c.number);
        CaptureWords(entity, &c.place);
        CaptureSceneCharacterRecord(entity, c.record.data());
        CaptureProperties(entity, &c.properties);
        TakeSceneEvents(entity, &c.events);
        CaptureAnimation(entity, true, &c.anim);
        c.speedFactor = CaptureSceneSpeedFactor(entity);
        CaptureSceneRecordLists(entity, &c.lists);
        s->characters.push_back(std::move(c));
    }

    s->hasGameLights = 1;
    for (uint32_t i = 0; i < GameLightCount; ++i) {
        GameLightList[i]->id = static_cast<int32_t>(i);
        GameLightRecord record;
        GameLightList[i]->FillSceneRecord(&record);
        s->gameLights.push_back(record);
    }

    s->hasTriggers = 1;
    CaptureSceneTriggers(&s->triggers);
    s->hasGameUIs = s->hasCounters = s->hasInventories = s->hasGameMaps = 1;
    CaptureSceneInterfaceObjects(s);

    s->hasPanel = withPanel != 0;
    if (withPanel) {
        SetName(s->panel.imageName, PanelState.imageName);
        std::snprintf(s->panel.objectName, sizeof s->panel.objectName, "%s", PanelState.objectName);
        std::copy(PanelState.rect, PanelState.rect + 4, s->panel.rect);
    }
    s->hasZones = 1;
    s->zonesOn = static_cast<uint32_t>(ZonesEnabled);
    for (int32_t i = 0; i < EnvironmentZoneCount; ++i) s->zones.push_back(EnvironmentZones[i]);
    s->hasGlobalEvents = 1;
    TakeSceneEvents(&GameEventObject, &s->globalEvents);
    s->hasSettingsImages = 1;
    CaptureSettingsLook(&s->settingsImages);
    for (uint32_t i = 0; i < RopeLinkCount; ++i) {
        const RopeLink* link = RopeLinkList[i];
        std::array<uint32_t, 8> r{};
        int k = 0;
        for (const RopeAnchor* a : {link->anchorA, link->anchorB}) {
            r[k++] = static_cast<uint32_t>(a->object->kind);
            r[k++] = static_cast<uint32_t>(a->object->id);
            r[k++] = static_cast<uint32_t>(a->point);
            r[k++] = a->fixed;
        }
        s->ropes.push_back(r);
    }
}

void* SaveScene(const char* path, int withSky, int withSkySettings, int withMusic, int withPanel) {
    RemapAllObjectLinks();
    SceneData scene;
    CaptureScene(&scene, withSky, withSkySettings, withMusic, withPanel);
    if (path == nullptr) {
        std::vector<uint8_t> bytes;
        BinWriter out(bytes);
        WriteSceneData(out, scene);
        auto* block = static_cast<uint8_t*>(std::malloc(kSnapshotHeaderBytes + bytes.size()));
        if (block == nullptr) return nullptr;
        const uint64_t length = bytes.size();
        std::memcpy(block, &length, sizeof length);
        std::memcpy(block + kSnapshotHeaderBytes, bytes.data(), bytes.size());
        return block;
    }
    AtomicSave save;
    if (!save.Open(path)) {
        std::fprintf(stderr, "scene: %s: cannot be created\n", path);
        return nullptr;
    }
    BinWriter out(save.Stream());
    WriteSceneData(out, scene);
    if (!out.Ok()) std::fprintf(stderr, "scene: %s: the save could not be written; the previous one is kept\n", path);
    else save.Commit();
    return nullptr;
}

void DeleteDataFile(const char* name) {
    if (name == nullptr) return;
    const char* path = DataPath(name);
    if (*path) std::remove(path);
}

