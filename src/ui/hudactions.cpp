#include "ui/hudactions.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "audio/music.h"
#include "audio/sound.h"
#include "audio/volume.h"
#include "character/entity.h"
#include "core/paths.h"
#include "effects/sky.h"
#include "objects/actions.h"
#include "objects/eventrecord.h"
#include "objects/objlookup.h"
#include "render/renderstate.h"
#include "ui/counter.h"
#include "ui/gamemap.h"
#include "ui/gameui.h"
#include "ui/inventory.h"
#include "ui/wnd.h"

bool (*HudStartNetworkSession)(const char* host) = nullptr;

namespace {

// Sound slots the counters' sound sub-codes address: V rounded plus this.
constexpr int32_t ScriptSoundSlotFirst = 1024;
constexpr int32_t ScriptSoundSlotCount = 32;

int32_t Round(float v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0f) return INT32_MAX;
    if (v <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(std::lround(v));
}

// Terminated copies of the record's texts (a record built in memory may lack the zero).
struct RecordTexts {
    char text2[256];
    char shortName[32];
    explicit RecordTexts(const EventRecord& r) {
        std::memcpy(text2, r.Text2, sizeof text2);
        text2[sizeof text2 - 1] = 0;
        std::memcpy(shortName, r.ShortName, sizeof shortName);
        shortName[sizeof shortName - 1] = 0;
    }
};

void RestoreGameFont() {
    RenderState.currentFont = RenderState.gameFont;
    RenderState.currentFontSize = RenderState.gameFontSize;
}

NztEventObject* Target(const EventRecord& r) { return FindSceneObject(r.TargetKind, r.TargetId); }

int32_t ScriptSlot(float v) {
    const int32_t s = Round(v);
    return s >= 0 && s < ScriptSoundSlotCount ? s : -1;
}

}  // namespace

void SetObjectValueAction(EventRecord* record) {
    if (record == nullptr) return;
    const EventRecord& r = *record;
    NztCounter* c = GetCounter(r.Param);
    if (c == nullptr) return;
    const float v = r.Value1;
    NztCounter* otherCounter = r.TargetKind == ObjectKindCounter ? GetCounter(r.TargetId) : nullptr;
    const bool hasOther = otherCounter != nullptr;
    const float other = hasOther ? otherCounter->value : 0.0f;
    NztEventObject* object = Target(r);
    auto* model = dynamic_cast<NztBaseObject*>(object);
    auto* scene = dynamic_cast<NztScnObject*>(object);
    auto* entity = dynamic_cast<NztEntity*>(object);
    const RecordTexts texts(r);
    switch (r.Param2) {
    case 0: c->SetValue(v); break;
    case 1: c->SetValue(c->value + v); break;
    case 2: c->SetValue(c->value * v); break;
    case 3: if (hasOther) c->SetValue(other); break;
    case 4: if (hasOther) c->SetValue(c->value + other); break;
    case 5: if (hasOther) c->SetValue(c->value - other); break;
    case 6: if (hasOther) c->SetValue(c->value * other); break;
    case 7: if (hasOther && other != 0.0f) c->SetValue(c->value / other); break;
    case 8:
        c->step = v;
        c->interval = r.Value2;
        c->elapsed = 0.0f;
        c->source = v != 0.0f ? 1 : 0;
        break;
    case 9:
        c->source = 2;
        c->randomRange = Round(v);
        c->interval = r.Value2;
        c->elapsed = 0.0f;
        break;
    case 10: c->randomRange = Round(v); break;
    case 11: c->Show(); break;
    case 12: c->Hide(); break;
    case 13: c->Enable(); break;
    case 14: c->Disable(); break;
    case 15: c->DestroyWnds(); break;
    case 16: c->SaveValue(texts.text2); break;
    case 17: c->LoadValue(texts.text2); break;
    case 18: DeleteCounterSave(texts.text2); break;
    case 19: case 20: case 38: case 39: case 41: {
        c->source = r.Param2 == 19 ? 3 : r.Param2 == 20 ? 4 : r.Param2 == 38 ? 5 : r.Param2 == 39 ? 6 : 7;
        c->interval = v;
        c->elapsed = 0.0f;
        break;
    }
    case 21:
        if (r.TargetKind == ObjectKindEntity && entity != nullptr) c->SetValue(entity->life);
        break;
    case 22:
        if (model != nullptr)
            if (const UserProperty* p = model->GetUserProperty(Round(v))) c->SetValue(p->floatValue);
        break;
    case 23: if (scene != nullptr) c->SetValue(float(Round(scene->GetPitchFromMatrix()))); break;
    case 24: if (scene != nullptr) c->SetValue(float(Round(scene->GetYawFromMatrix()))); break;
    case 25: if (scene != nullptr) c->SetValue(float(Round(scene->GetRollFromMatrix()))); break;
    case 26: case 27: case 28:
        if (object != nullptr) c->SetValue(float(Round(object->Position[r.Param2 - 26])));
        break;
    case 29: if (entity != nullptr) entity->SetLife(c->value); break;
    case 30: if (entity != nullptr) entity->SetMaxLife(c->value); break;
    case 31:
        if (model != nullptr)
            if (UserProperty* p = model->GetUserProperty(Round(v))) p->floatValue = c->value;
        break;
    case 32:
        if (model != nullptr) {
            model->SetYawPitch(Round(c->value) & 0xFFF, int32_t((model->packedAngles >> 12) & 0xFFF));
            model->SyncModelState();
            if (auto* collide = dynamic_cast<NztCollideObject*>(model)) collide->UpdateCollision();
        }
        break;
    case 33: if (model != nullptr) model->SetYaw(Round(c->value) & 0xFFF); break;
    case 34:
        if (scene != nullptr) scene->AddAngles(0.0f, 0.0f, float(Round(c->value)) - scene->GetRollFromMatrix());
        break;
    case 35: case 36: case 37:
        if (model != nullptr) {
            float p[3] = {model->Position[0], model->Position[1], model->Position[2]};
            p[r.Param2 - 35] = c->value;
            model->SetPosition(p);
            if (r.Param2 == 35) {
                model->SyncModelState();
                if (auto* collide = dynamic_cast<NztCollideObject*>(model)) collide->UpdateCollision();
            }
        }
        break;
    case 40: c->SetDepth(v); break;
    case 42:
        SetTimeOfDayAngle(c->value);
        UpdateSkyColors();
        break;
    case 43: c->SetMinimum(v); break;
    case 44: c->AddToMinimum(v); break;
    case 45: c->MultiplyMinimum(v); break;
    case 46: if (hasOther) c->SetMinimum(other); break;
    case 47: if (hasOther) c->AddToMinimum(other); break;
    case 48: if (hasOther) c->AddToMinimum(-other); break;
    case 49: if (hasOther) c->MultiplyMinimum(other); break;
    case 50: if (hasOther) c->DivideMinimum(other); break;
    case 51: c->SetMaximum(v); break;
    case 52: c->SetMaximum(c->maximum + v); break;
    case 53: c->SetMaximum(c->maximum * v); break;
    case 54: if (hasOther) c->SetMaximum(other); break;
    case 55: if (hasOther) c->SetMaximum(c->maximum + other); break;
    case 56: if (hasOther) c->SetMaximum(c->maximum - other); break;
    case 57: if (hasOther) c->SetMaximum(c->maximum * other); break;
    case 58: if (hasOther && other != 0.0f) c->SetMaximum(c->maximum / other); break;
    case 59: c->SetImage(texts.text2); break;
    case 60: {
        float s = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
        if (!(s == s) || s == 1.0f) s = 0.0f;
        c->smoothing = s;
        break;
    }
    case 61:
        if (const int32_t s = ScriptSlot(v); s >= 0) {
            SetSoundPitch(ScriptSoundSlotFirst + s, c->value * c->inverseMaximum * 1.5f + 0.5f);
        }
        break;
    case 62:
        if (const int32_t s = ScriptSlot(v); s >= 0) c->SetValue((GetSoundPitch(ScriptSoundSlotFirst + s) - 0.5f) * 0.6666667f * c->maximum2);
        break;
    case 63:
        SoundVolume = c->value * c->inverseMaximum;
        SetMasterSoundGain(SoundVolume);
        break;
    case 64: c->SetValue(c->maximum2 * SoundVolume); break;
    case 65:
        if (const int32_t s = ScriptSlot(v); s >= 0) SetSoundGain(ScriptSoundSlotFirst + s, c->value * c->inverseMaximum);
        break;
    case 66:
        if (const int32_t s = ScriptSlot(v); s >= 0)
            c->SetValue(SoundTable.slots[ScriptSoundSlotFirst + s].gain * c->maximum2);
        break;
    case 67: FadeMusicTo(0, c->value * c->inverseMaximum); break;
    case 68: c->SetValue(c->maximum2 * MusicVolume); break;
    case 69: c->interactive = 1; break;
    case 70: c->interactive = 0; break;
    default: break;
    }
}

void SetGameUIAction(EventRecord* record) {
    if (record == nullptr) return;
    const EventRecord& r = *record;
    NztGameUI* g = GetGameUI(r.Param);
    if (g == nullptr) return;
    const RecordTexts texts(r);
    CNztWnd_Button* w = g->mainWnd;
    const float kx = HudScaleX(), ky = HudScaleY();
    switch (r.Param2) {
    case 0: ShowGameUI(g); break;
    case 1: HideGameUI(g); break;
    case 2: EnableGameUI(g); break;
    case 3: DisableGameUI(g); break;
    case 4: g->DestroyWnd(); break;
    case 5:
        g->x = g->baseX = r.Value1;
        g->y = g->baseY = r.Value2;
        if (w != nullptr) w->SetPos(r.Value1 * kx, r.Value2 * ky);
        break;
    case 6:
        if (w != nullptr) {
            int32_t px = 0, py = 0;
            if (HudPointerPosition != nullptr) HudPointerPosition(&px, &py);
            w->SetPos(r.Value1 * kx + float(px), r.Value2 * ky + float(py));
        }
        break;
    case 7: g->StartAnim(GetUIAnimParams(r)); break;
    case 8:
        if (w != nullptr) {
            const int32_t n = Round(r.Value1);
            w->readOnlyCaption = 0;
            w->takesKeys = 1;
            w->captionCapacity = static_cast<uint32_t>(n < 1 ? 1 : (n > 256 ? 256 : n));
        }
        break;
    case 9:
        if (w != nullptr) {
            w->readOnlyCaption = 1;
            w->takesKeys = 0;
        }
        break;
    case 10: g->SetGtxText(r.ValueI(5)); break;
    case 11: case 12: {
        NztGameUI* second = r.TargetKind == ObjectKindGameUI ? GetGameUI(r.TargetId) : nullptr;
        if (second == nullptr) break;
        NztGameUI* from = r.Param2 == 11 ? g : second;
        NztGameUI* to = r.Param2 == 11 ? second : g;
        if (from->mainWnd == nullptr) break;
        char caption[256];
        std::memcpy(caption, from->mainWnd->text, sizeof caption);
        caption[sizeof caption - 1] = 0;
        RestoreGameFont();
        to->textIndex = -1;
        if (to->mainWnd != nullptr) to->mainWnd->SetText(caption);
        break;
    }
    case 13: g->SaveText(texts.text2); break;
    case 14:
        RestoreGameFont();
        g->LoadText(texts.text2);
        break;
    case 15:
        if (HudStartNetworkSession != nullptr) HudStartNetworkSession(w != nullptr ? w->text : nullptr);
        break;
    case 16: if (w != nullptr) w->depthKey = r.Value1; break;
    case 17: if (w != nullptr) w->depthTested = 1; break;
    case 18: if (w != nullptr) w->depthTested = 0; break;
    case 19: if (w != nullptr) SetFocusWnd(w); break;
    case 20: g->SetImage(texts.text2); break;
    case 21: g->SetPressedImage(texts.text2); break;
    case 22: g->SetPassOverImage(texts.text2); break;
    default: break;
    }
}

void InventoryCommandAction(EventRecord* record) {
    if (record == nullptr) return;
    const EventRecord& r = *record;
    NztInventory* inv = GetInventory(r.Param);
    if (inv == nullptr) return;
    const RecordTexts texts(r);
    switch (r.Param2) {
    case 0:
        if (inv->itemCount < inv->capacity) {
            NztEventObject* o = Target(r);
            if (o == nullptr || inv->SlotOf(o) >= 0) break;
            DeactivateObjectForInventory(o);
            inv->AddItem(o);
        }
        break;
    case 1: {
        const int32_t slot = inv->FindItem(Target(r));
        if (slot < 0) break;
        const uint32_t self = inv->Handle();
        inv->RemoveItem(slot);
        if (ResolveEventObject(self) == inv) inv->Layout();
        break;
    }
    case 2: inv->Show(); break;
    case 3: inv->Hide(); break;
    case 4: inv->SelectPrevious(); break;
    case 5: inv->SelectNext(); break;
    case 6: inv->UseSelected(); break;
    case 7: inv->Save(texts.text2); break;
    case 8: inv->Load(texts.text2); break;
    case 9: DeleteInventoryFile(texts.text2); break;
    case 10: inv->SetDepth(r.Value1); break;
    default: break;
    }
}

void GameMapCommandAction(EventRecord* record) {
    if (record == nullptr) return;
    const EventRecord& r = *record;
    NztGameMap* m = GetGameMap(r.Param);
    if (m == nullptr) return;
    const RecordTexts texts(r);
    switch (r.Param2) {
    case 0: m->Show(); break;
    case 1: m->Hide(); break;
    case 2: m->SetPos(r.Value1, r.Value2); break;
    case 3: m->SetSize(r.Value1, r.Value2); break;
    case 4: m->SetOpacity(r.Value1); break;
    case 5: {
        const int32_t mode = r.ValueI(5);
        NztEventObject* object = nullptr;
        float wx = r.ValueF(0), wz = r.ValueF(2);
        if (mode == 1 || mode == 2) {
            object = Target(r);
            if (object == nullptr) break;
            wx = object->Position[0];
            wz = object->Position[2];
        } else if (mode != 0) {
            break;
        }
        m->AddMarker(mode == 2 ? object : nullptr, mode == 2 && r.ValueF(8) != 0.0f ? 1u : 0u, wx, wz, r.ValueF(3),
                     r.ValueF(4), r.ValueF(6), r.ValueF(7), r.ValueF(9), texts.text2, texts.shortName);
        break;
    }
    case 6: m->RemoveMarker(texts.shortName); break;
    case 7: m->ClearMarkers(); break;
    case 8: if (m->mapWnd != nullptr) m->mapWnd->depthKey = r.Value1; break;
    case 9: m->SetMarkerImage(texts.shortName, texts.text2); break;
    default: break;
    }
}

void InstallHudEvents() {
    RegisterEventAction(ActionSetObjectValue, SetObjectValueAction);
    RegisterEventAction(ActionSetGameUI, SetGameUIAction);
    RegisterEventAction(ActionInventoryCommand, InventoryCommandAction);
    RegisterEventAction(ActionGameMapCommand, GameMapCommandAction);

    EventKindList counters;
    counters.count = [] { return CounterCount; };
    counters.at = [](int32_t i) -> NztEventObject* { return CounterList[i]; };
    counters.name = [](const NztEventObject* o) -> const char* { return static_cast<const NztCounter*>(o)->name; };
    SetEventKindList(ObjectKindCounter, counters);
    EventKindList gameUIs;
    gameUIs.count = [] { return GameUICount; };
    gameUIs.at = [](int32_t i) -> NztEventObject* { return GameUIList[i]; };
    gameUIs.name = [](const NztEventObject* o) -> const char* { return static_cast<const NztGameUI*>(o)->name; };
    SetEventKindList(ObjectKindGameUI, gameUIs);
    EventKindList inventories;
    inventories.count = [] { return InventoryCount; };
    inventories.at = [](int32_t i) -> NztEventObject* { return InventoryList[i]; };
    inventories.name = [](const NztEventObject* o) -> const char* { return static_cast<const NztInventory*>(o)->name; };
    SetEventKindList(ObjectKindInventory, inventories);
    EventKindList maps;
    maps.count = [] { return GameMapCount; };
    maps.at = [](int32_t i) -> NztEventObject* { return GameMapList[i]; };
    maps.name = [](const NztEventObject* o) -> const char* { return static_cast<const NztGameMap*>(o)->name; };
    SetEventKindList(ObjectKindGameMap, maps);

    RemoveItemFromInventoriesHook = [](NztEventObject* object) -> int32_t {
        const int32_t removed = RemoveItemFromAllInventories(object);
        if (removed != 0) LayoutAllInventories();
        return removed;
    };
}
