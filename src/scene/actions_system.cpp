// System commands (type 74) and the user event files they save and load.
#include <cstdio>
#include <cstring>

#include "character/entity.h"
#include "core/binio.h"
#include "core/nztfile.h"
#include "core/paths.h"
#include "objects/objlookup.h"
#include "objects/objtype.h"
#include "render/renderstate.h"
#include "render/text.h"
#include "scene/actions.h"
#include "scene/scene.h"
#include "scene/shell.h"
#include "ui/counter.h"
#include "ui/gameui.h"
#include "ui/menu.h"
#include "ui/textbox.h"

SceneActionHooks SceneActions;

void ResetSceneActionHooks() { SceneActions = SceneActionHooks(); }

namespace {

constexpr uint32_t kRunModeEditor = 2;
constexpr uint32_t kRunModeBackToGame = 3;
// Owner and player in a user event file.
constexpr int32_t kOwnerRef = -2;
constexpr int32_t kPlayerRef = -3;

// The kind of the object that actions 32 to 35 work on by index.
int32_t IndexedKindOf(int32_t action) {
    switch (action) {
        case 32: return ObjectKindCounter;
        case 33: return ObjectKindGameUI;
        case 34: return ObjectKindInventory;
        case 35: return ObjectKindGameMap;
        default: return 0;
    }
}

// "USER/<name>.evt" under the data folder; empty for a name that is not plain.
bool UserEventPath(const char* name, char* out, size_t bytes) {
    if (!IsPlainName(name)) {
        std::fprintf(stderr, "scene: event file name refused: %s\n", name ? name : "(null)");
        return false;
    }
    const char* path = DataPathFormat("USER/%s.evt", name);
    return path[0] != 0 && FormatPath(out, bytes, "%s", path);
}

NztEventObject* RecordTarget(const EventRecord& r) {
    if (r.TargetKind < ObjectKindScn || r.TargetKind > ObjectKindGameMap) return nullptr;
    return GetObjectByKind(r.TargetKind, r.TargetId);
}

void ReplaceReference(int32_t* id, int32_t* kind, const NztEventObject* owner) {
    if (*kind < ObjectKindScn || *kind > ObjectKindGameMap) return;
    const NztEventObject* object = GetObjectByKind(*kind, *id);
    if (object == nullptr) return;
    if (object == owner) *id = *kind = kOwnerRef;
    else if (object == PlayerEntity) *id = *kind = kPlayerRef;
}

void ResolveReference(int32_t* id, int32_t* kind, const NztEventObject* owner) {
    if (*id == kOwnerRef && *kind == kOwnerRef) {
        *id = owner->id;
        *kind = owner->kind;
    } else if (*id == kPlayerRef && *kind == kPlayerRef) {
        *id = PlayerEntity != nullptr ? PlayerEntity->id : -1;
        *kind = ObjectKindEntity;
    }
}

void WriteRecord(BinWriter& out, const EventRecord& r) {
    // The record's words as they stand, little-endian.
    uint32_t words[EventRecordBytes / 4];
    std::memcpy(words, &r, sizeof words);
    for (uint32_t w : words) out.U32(w);
}

}  // namespace

int32_t SaveUserEvents(const char* path, const NztEventObject* owner) {
    if (path == nullptr || owner == nullptr || owner->eventRecordCount <= 0) return 0;
    AtomicSave save;
    if (!save.Open(path)) return 0;
    BinWriter out(save.Stream());
    out.U32(UserEventFileVersion);
    out.U32(static_cast<uint32_t>(owner->eventRecordCount));
    for (int32_t i = 0; i < owner->eventRecordCount; ++i) {
        EventRecord r = owner->eventRecords[i];
        r.Arg0 = r.Arg1 = r.Arg2 = 0;
        if (const int32_t kind = IndexedKindOf(r.Action); kind != 0 && GetObjectByKind(kind, r.Param) == owner)
            r.Param = kOwnerRef;
        ReplaceReference(&r.CondIndex, &r.CondKind, owner);
        ReplaceReference(&r.TargetId, &r.TargetKind, owner);
        ReplaceReference(&r.Target2Id, &r.Target2Kind, owner);
        WriteRecord(out, r);
    }
    return out.Ok() && save.Commit() ? 1 : 0;
}

int32_t ReadUserEvents(const uint8_t* data, size_t size, const char* source, NztEventObject* owner) {
    if (owner == nullptr) return 0;
    BinReader in(data, size);
    const uint32_t version = in.U32();
    const uint32_t count = in.U32();
    if (!in.Ok()) {
        std::fprintf(stderr, "scene: %s: the event file ends before its count\n", source);
        return 0;
    }
    if (version < EventRecordFirstVersion || version > EventRecordCurrentVersion) return 0;
    const float counterValue =
        owner->kind == ObjectKindCounter ? static_cast<const NztCounter*>(owner)->value : 0.0f;
    std::vector<EventRecord> records;
    size_t used = 0;
    if (!ParseEventRecords(data + 8, size - 8, version, count, owner->kind, counterValue, records, &used)) {
        std::fprintf(stderr, "scene: %s: %u event records do not fit in the file\n", source, count);
        return 0;
    }
    SceneFileVersion = version;
    for (EventRecord& r : records) {
        if (const int32_t kind = IndexedKindOf(r.Action); kind != 0) {
            if (r.Param == kOwnerRef) {
                r.Param = owner->id;
                std::snprintf(r.ParamName, sizeof r.ParamName, "%s", GetEventObjectName(owner));
            } else if (const int32_t index = FindObjectIndexByName(kind, r.ParamName); index >= 0) {
                r.Param = index;
            }
        }
        ResolveReference(&r.CondIndex, &r.CondKind, owner);
        ResolveReference(&r.TargetId, &r.TargetKind, owner);
        ResolveReference(&r.Target2Id, &r.Target2Kind, owner);
        owner->AddEventRecord(&r);
    }
    return 1;
}

int32_t LoadUserEvents(const char* path, NztEventObject* owner) {
    if (path == nullptr || owner == nullptr) return 0;
    const std::vector<uint8_t> bytes = LoadWholeFile(path);
    if (bytes.empty()) return 0;
    return ReadUserEvents(bytes.data(), bytes.size(), path, owner);
}

void SystemCommandAction(EventRecord* r) {
    char path[QvPathMax];
    switch (r->Param) {
        case 4:
            if (SceneActions.closeMainWindow != nullptr) SceneActions.closeMainWindow();
            break;
        case 5: OpenSettingsScreen(); break;
        case 6: OpenPauseMenu(); break;
        case 7: ShellOpen(r->Text2); break;
        case 8:
            if (!OpenRegistryTarget(r->Text)) ShellOpen(r->Text2);
            break;
        case 9: SendMailTo(r->Text2); break;
        case 10:
            if (IsPlainName(r->Text) && FormatPath(path, sizeof path, "%s%s.Gtx", "TEXT/", r->Text)) {
                LoadGtxTable(path);
                RefreshGameUITexts();
            }
            break;
        case 11: {
            // The size is given for a screen 1024 pixels wide.
            const float size = r->Value1 * static_cast<float>(RenderState.screenWidth) * 0.0009765625f;
            const char* font = IsPlainName(r->Text) ? DataPathFormat("%s%s", "FONTS/", r->Text) : "";
            if (font[0] != 0) {
                LoadGameFont(font, size);
                RefreshHudTextSizes();
            }
            break;
        }
        case 12: RenderState.threadCodePage = r->Param2 == 0 ? 1 : 0; break;
        case 13: {
            if (SceneActions.selectFrame == nullptr || SceneActions.runMode == nullptr) break;
            const uint32_t mode = SceneActions.runMode();
            if (r->Param2 != 0 && mode != kRunModeBackToGame) SceneActions.selectFrame(true);
            else if (r->Param2 == 0 && mode != kRunModeEditor) SceneActions.selectFrame(false);
            break;
        }
        case 14: {
            NztEventObject* object = RecordTarget(*r);
            if (object != nullptr && UserEventPath(r->Text2, path, sizeof path)) SaveUserEvents(path, object);
            break;
        }
        case 15: {
            NztEventObject* object = RecordTarget(*r);
            if (object != nullptr && UserEventPath(r->Text2, path, sizeof path) && FileExists(path)) {
                object->ClearEvents();
                LoadUserEvents(path, object);
            }
            break;
        }
        case 16:
            if (UserEventPath(r->Text2, path, sizeof path)) std::remove(path);
            break;
        case 17: {
            const char* user = DataPath("USER/");
            if (user[0] != 0) DeleteFolderTree(user);
            break;
        }
        default: break;
    }
}
