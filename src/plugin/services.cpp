#include "plugin/services.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "audio/openal.h"
#include "audio/sound.h"
#include "camera/camera.h"
#include "character/entity.h"
#include "character/objeffects.h"
#include "character/spell.h"
#include "core/frameclock.h"
#include "core/input.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/objlookup.h"
#include "objects/objtype.h"
#include "platform/window.h"
#include "plugin/pluginhost.h"
#include "render/renderstate.h"
#include "ui/screenmsg.h"

uint32_t PluginIntRandomIndex = 0;
uint32_t PluginFloatRandomIndex = 0;

// Plug-ins see a user property through the interface's own record type.
static_assert(sizeof(QvUserProperty) == sizeof(UserProperty) &&
              offsetof(QvUserProperty, intValue) == offsetof(UserProperty, intValue) &&
              offsetof(QvUserProperty, floatValue) == offsetof(UserProperty, floatValue));
static_assert(sizeof(QvPluginInfo) == 300 && sizeof(QvPluginObjectInfo) == 276 && sizeof(QvPluginAttachInfo) == 260);

namespace {

// Out buffers of the path services: the interface promises the plug-in at most this many bytes.
constexpr size_t PathOutBytes = 256;

void* GetMainWindow() { return MainWindow; }
const char* GetBaseFolder() { return DataFolder; }
void Pump() { PumpMessages(); }
int32_t IsKeyDown(uint32_t key) {
    const uint8_t* keys = KeyStates.keys ? KeyStates.keys : KeyStates.keyTables[0];
    return (keys[key & 0xFF] & 0x80) ? 1 : 0;
}
void Nothing() {}
intptr_t Identity(intptr_t x) { return x; }
void* Malloc(size_t size) { return std::malloc(size); }
void* Realloc(void* block, size_t size) { return std::realloc(block, size); }
void Free(void* block) { std::free(block); }
void FillBytesSvc(void* dest, uint32_t value, size_t count) { FillBytes(dest, static_cast<uint8_t>(value), count); }
void FillWordsSvc(void* dest, uint32_t value, size_t count) {
    auto* p = static_cast<uint8_t*>(dest);
    const auto v = static_cast<uint16_t>(value);
    for (size_t i = 0; i < count; ++i) std::memcpy(p + i * 2, &v, 2);
}
void FillDwordsSvc(void* dest, uint32_t value, size_t count) { FillDwords(dest, value, count); }
void FillFloats(void* dest, float value, size_t count) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    SetDwords(dest, count, bits);
}
int32_t RandomInt(int32_t minimum, int32_t maximum) {
    const float r = RandomTable[PluginIntRandomIndex++ & RandomTableMask];
    const int64_t span = static_cast<int64_t>(maximum) - minimum;
    return static_cast<int32_t>(minimum + static_cast<int64_t>(RoundToInt(static_cast<double>(span) * r)));
}
float RandomFloat(float minimum, float maximum) {
    const float r = RandomTable[PluginFloatRandomIndex++ & RandomTableMask];
    return minimum + (maximum - minimum) * r;
}
int32_t FileExistsSvc(const char* path) {
    struct stat st;
    return path && stat(path, &st) == 0 ? 1 : 0;
}
void* OpenFile(const char* path, uint32_t mode) { return path ? OpenFileMode(path, mode & 0xFF) : nullptr; }
int32_t CloseFile(void* file) { return file ? std::fclose(static_cast<FILE*>(file)) : EOF; }
int32_t SeekFile(void* file, int32_t offset, int32_t origin) {
    return file ? std::fseek(static_cast<FILE*>(file), offset, origin) : -1;
}
size_t ReadFile(void* file, void* buffer, size_t count) {
    return file ? std::fread(buffer, 1, count, static_cast<FILE*>(file)) : 0;
}
size_t WriteFile(void* file, const void* buffer, size_t count) {
    return file ? std::fwrite(buffer, 1, count, static_cast<FILE*>(file)) : 0;
}
// A result that does not fit gives an empty string rather than a cut one.
void PathPart(bool (*part)(char*, size_t, const char*), const char* path, char* out) {
    if (!out) return;
    if (!path || !part(out, PathOutBytes, path)) out[0] = '\0';
}
void GetFolderSvc(const char* path, char* out) { PathPart(GetPathFolder, path, out); }
void GetFileNameSvc(const char* path, char* out) { PathPart(GetPathFileName, path, out); }
void GetFileNameExtSvc(const char* path, char* out) { PathPart(GetPathFileNameExt, path, out); }
void GetExtensionSvc(const char* path, char* out) { PathPart(GetPathExtension, path, out); }
void SetExtensionSvc(char* path, const char* extension) {
    if (path && extension) SetPathExtension(path, PathOutBytes, extension);
}
int32_t GetFileSize(const char* path) {
    struct stat st;
    if (!path || stat(path, &st) != 0) return -1;
    return static_cast<int32_t>(std::min<int64_t>(st.st_size, INT32_MAX));
}
void MakeFolders(const char* path) {
    if (path) MakePathFolders(path);
}
void* LoadWhole(const char* path) {
    if (!path) return nullptr;
    std::vector<uint8_t> bytes = LoadWholeFile(path);
    if (bytes.empty()) return nullptr;
    void* block = std::malloc(bytes.size());
    if (block) std::memcpy(block, bytes.data(), bytes.size());
    return block;
}

template <typename T>
int32_t FindLastByMesh(T** list, uint32_t count, const char* name) {
    if (!name || !list) return -1;
    for (int64_t i = static_cast<int64_t>(count) - 1; i >= 0; --i) {
        const T* o = list[i];
        if (o && o->mesh && strcasecmp(o->mesh->Name, name) == 0) return static_cast<int32_t>(i);
    }
    return -1;
}
int32_t FindScnObjectByModelSvc(const char* name) { return FindLastByMesh(ScnObjectList, ScnObjectCount, name); }
int32_t FindEntityByModelSvc(const char* name) { return FindLastByMesh(EntityList, EntityCount, name); }
// Characters carry no name of their own yet: nothing answers.
// The last character whose own name equals the name, without regard to case.
int32_t FindEntityByName(const char* name) {
    if (!name || !EntityList) return -1;
    for (uint32_t i = EntityCount; i-- > 0;) {
        const NztEntity* e = EntityList[i];
        if (e && strcasecmp(e->name, name) == 0) return static_cast<int32_t>(i);
    }
    return -1;
}

// The object at a list position; null for a position outside the list (which the plug-in
// should never pass, but a wrong index must not read past the list).
template <typename T>
NztBaseObject* ListObject(T** list, uint32_t count, int32_t index) {
    if (!list || index < 0 || static_cast<uint32_t>(index) >= count) return nullptr;
    return list[index];
}
void FillObjectInfo(const NztBaseObject* o, QvPluginObjectInfo* out) {
    if (!o || !out) return;
    std::memset(out, 0, sizeof *out);
    out->id = o->id;
    out->word = static_cast<uint32_t>(o->word0);
    out->attachCount = static_cast<int32_t>(o->attachPoints.size());
    if (!o->mesh) return;
    out->meshWord0 = o->mesh->Version;
    out->meshWord1 = o->mesh->TypeIndex;
    if (ObjectTypeTable && o->mesh->TypeIndex < ObjectTypeCount) {
        const NztObjectType& type = ObjectTypeTable[o->mesh->TypeIndex];
        std::snprintf(out->animFolder, sizeof out->animFolder, "%.*s", static_cast<int>(sizeof type.AnimFolder),
                      type.AnimFolder);
    }
}
void FillAttachInfo(const NztBaseObject* o, int32_t attach, QvPluginAttachInfo* out) {
    if (!o || !out || attach < 0 || static_cast<size_t>(attach) >= o->attachPoints.size()) return;
    const NztAttachPoint& point = o->attachPoints[static_cast<size_t>(attach)];
    std::memset(out, 0, sizeof *out);
    out->anchor = static_cast<int32_t>(point.Anchor);
    std::snprintf(out->name, sizeof out->name, "%.*s", static_cast<int>(sizeof point.Name), point.Name);
}
void GetScnObjectInfo(int32_t index, QvPluginObjectInfo* out) {
    FillObjectInfo(ListObject(ScnObjectList, ScnObjectCount, index), out);
}
void GetEntityInfo(int32_t index, QvPluginObjectInfo* out) {
    FillObjectInfo(ListObject(EntityList, EntityCount, index), out);
}
void GetScnObjectEntry(int32_t index, int32_t attach, QvPluginAttachInfo* out) {
    FillAttachInfo(ListObject(ScnObjectList, ScnObjectCount, index), attach, out);
}
void GetEntityEntry(int32_t index, int32_t attach, QvPluginAttachInfo* out) {
    FillAttachInfo(ListObject(EntityList, EntityCount, index), attach, out);
}
void ActivateObjectSvc(int32_t id, int32_t kind) {
    if (NztEventObject* o = FindSceneObject(kind, id)) ActivateObject(o);
}
void DeactivateObjectSvc(int32_t id, int32_t kind) {
    if (NztEventObject* o = FindSceneObject(kind, id)) DeactivateObject(o);
}

NztBaseObject* FindByIdKind(int32_t id, int32_t kind) {
    if (kind == QV_PLUGIN_KIND_SCNOBJECT) return FindScnObjectById(id);
    if (kind == QV_PLUGIN_KIND_ENTITY) return FindEntityById(id);
    return nullptr;
}
void GetObjectPosition(int32_t id, int32_t kind, float out[3]) {
    NztBaseObject* o = FindByIdKind(id, kind);
    if (o && out) std::memcpy(out, o->Position, sizeof o->Position);
}
// A carried scene object (state 1) that a plug-in moves or turns is dropped (state 2).
void DropIfCarried(NztBaseObject* o) {
    if (o->kind == ObjectKindScn && o->poseState == 1) o->poseState = 2;
}
void SetObjectPosition(int32_t id, int32_t kind, const float in[3]) {
    NztBaseObject* o = FindByIdKind(id, kind);
    if (!o || !in) return;
    o->SetPosition(in);
    DropIfCarried(o);
}
void GetObjectQuaternion(int32_t id, int32_t kind, float out[4]) {
    NztBaseObject* o = FindByIdKind(id, kind);
    if (o && out) MatrixToQuat(o->rotation, out);
}
void SetObjectQuaternion(int32_t id, int32_t kind, const float in[4]) {
    NztBaseObject* o = FindByIdKind(id, kind);
    if (!o || !in) return;
    o->QuaternionToMatrix(in);
    DropIfCarried(o);
}

std::vector<UserProperty>* EntityProperties(int32_t entity) {
    NztBaseObject* base = ListObject(EntityList, EntityCount, entity);
    return base && base->userProperties ? &base->userProperties->properties : nullptr;
}
UserProperty* EntityProperty(int32_t entity, int32_t property) {
    std::vector<UserProperty>* list = EntityProperties(entity);
    if (!list || property < 0 || static_cast<size_t>(property) >= list->size()) return nullptr;
    return &(*list)[static_cast<size_t>(property)];
}
int32_t FindEntityProperty(int32_t entity, const char* name) {
    std::vector<UserProperty>* list = EntityProperties(entity);
    if (!list || !name) return -1;
    for (int64_t i = static_cast<int64_t>(list->size()) - 1; i >= 0; --i)
        if (strcasecmp((*list)[static_cast<size_t>(i)].name, name) == 0) return static_cast<int32_t>(i);
    return -1;
}
QvUserProperty* GetEntityProperty(int32_t entity, int32_t property) {
    return reinterpret_cast<QvUserProperty*>(EntityProperty(entity, property));
}
int32_t GetEntityPropertyInt(int32_t entity, int32_t property) {
    UserProperty* p = EntityProperty(entity, property);
    return p ? p->intValue : 0;
}
float GetEntityPropertyFloat(int32_t entity, int32_t property) {
    UserProperty* p = EntityProperty(entity, property);
    return p ? p->floatValue : 0.0f;
}
void SetEntityPropertyName(int32_t entity, int32_t property, const char* name) {
    UserProperty* p = EntityProperty(entity, property);
    if (p && name) std::snprintf(p->name, sizeof p->name, "%s", name);
}
void SetEntityPropertyInt(int32_t entity, int32_t property, int32_t value) {
    if (UserProperty* p = EntityProperty(entity, property)) p->intValue = value;
}
void SetEntityPropertyFloat(int32_t entity, int32_t property, float value) {
    if (UserProperty* p = EntityProperty(entity, property)) p->floatValue = value;
}

void CastSpellSvc(int32_t spell, int32_t list, const float* position) {
    // Without a player the stand-by caster casts.
    NztEntity* caster = PlayerEntity ? PlayerEntity : SpellCaster;
    CastSpellAndRun(spell, caster, list, position);
}
void PlayEntityAnim(int32_t id, int32_t kind, const char* first, const char* second) {
    if (kind != QV_PLUGIN_KIND_ENTITY) return;
    NztEntity* entity = FindEntityById(id);
    if (!entity || !entity->registered) return;
    NztAnim* anim = first ? entity->GetAnimByName(first) : nullptr;
    NztAnim* returnTo = second ? entity->GetAnimByName(second) : nullptr;
    entity->SetAnim(anim, 1, returnTo, 0);
}

int32_t PlaySound(const char* name, uint32_t looping) {
    if (!name) return NoSoundSlot;
    const int slot = LoadSound(name, nullptr);
    if (slot != NoSoundSlot) PlaySoundSlotAtListener(slot, looping);
    return slot;
}
void StopSound(int32_t slot) {
    const int32_t index = std::clamp<int32_t>(slot, 0, SoundSlotCount - 1);
    const uint32_t source = SoundTable.slots[index].source;
    if (OpenAL.alSourceStop && source) OpenAL.alSourceStop(source);
}
// Hold time in seconds and the place in 1024 x 768 units, then the three switches; no game interface.
void ShowScreenMessageSvc(const char* text, float red, float green, float blue, float alpha, float holdTime, float x,
                          float y, int32_t shadow, int32_t showGameUI, int32_t linked) {
    const float colour[4] = {red, green, blue, alpha};
    ShowScreenMessage(text, colour, -1, holdTime, x, y, static_cast<uint32_t>(shadow), static_cast<uint32_t>(showGameUI),
                      static_cast<uint32_t>(linked));
}

}  // namespace

int32_t DispatchPluginRequest(intptr_t parameter, uint32_t code) {
    switch (code) {
    case QV_PLUGIN_REQ_RUN_FRAME:
        if (FrameFunction) FrameFunction();
        return 1;
    case QV_PLUGIN_REQ_DISABLE_SELF:
        DisablePluginAt(static_cast<int32_t>(parameter));
        return 1;
    case QV_PLUGIN_REQ_RELOAD_SPELLS:
        ReloadSpells();
        return 1;
    case QV_PLUGIN_REQ_MAKE_GL_CURRENT:
        if (MainWindow && RenderState.glContext && RenderPlatform.makeCurrent)
            RenderPlatform.makeCurrent(MainWindow, RenderState.glContext);
        return 1;
    default:
        return 0;
    }
}

const QvPluginServiceTable PluginServices = {
    QV_PLUGIN_API_VERSION,
    QV_PLUGIN_SERVICE_COUNT,
    GetMainWindow,
    GetBaseFolder,
    DispatchPluginRequest,
    Pump,
    IsKeyDown,
    Nothing,
    Identity,
    Malloc,
    Realloc,
    Free,
    FillBytesSvc,
    FillWordsSvc,
    FillDwordsSvc,
    FillFloats,
    RandomInt,
    RandomFloat,
    FileExistsSvc,
    OpenFile,
    CloseFile,
    SeekFile,
    ReadFile,
    WriteFile,
    GetFolderSvc,
    GetFileNameSvc,
    GetFileNameExtSvc,
    GetExtensionSvc,
    SetExtensionSvc,
    GetFileSize,
    MakeFolders,
    LoadWhole,
    FindScnObjectByModelSvc,
    FindEntityByModelSvc,
    FindEntityByName,
    GetScnObjectInfo,
    GetEntityInfo,
    GetScnObjectEntry,
    GetEntityEntry,
    ActivateObjectSvc,
    DeactivateObjectSvc,
    GetObjectPosition,
    SetObjectPosition,
    GetObjectQuaternion,
    SetObjectQuaternion,
    FindEntityProperty,
    GetEntityProperty,
    GetEntityPropertyInt,
    GetEntityPropertyFloat,
    SetEntityPropertyName,
    SetEntityPropertyInt,
    SetEntityPropertyFloat,
    CastSpellSvc,
    PlayEntityAnim,
    PlaySound,
    StopSound,
    ShowScreenMessageSvc,
};

// Every slot is filled: the table's size is two header words and exactly the service count.
static_assert(sizeof(QvPluginServiceTable) == 2 * sizeof(uint32_t) + QV_PLUGIN_SERVICE_COUNT * sizeof(void*));
