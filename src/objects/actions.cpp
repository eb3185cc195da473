#include "objects/actions.h"

#include "core/nztmath.h"
#include "core/paths.h"
#include "objects/objlookup.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "objects/triggers.h"

namespace {

const char* const ActionNames[EventActionCount] = {
    "StartLevel", "ReplaceObjectType", "SetSkyObject", "TransferPlayerState", "SaveSlot", "PlayMusic",
    "StopMusic", "FadeMusic", "LoadSound", "PlaySoundAtObject", "StopSounds", "SetSoundGains",
    "SetSoundSourceParam", "PlayVideo", "SetCinemaBorders", "SetTimeScale", "ShowScreenMessage",
    "LoadCursorFile", "UseCurrentCursor", "UseAlternateCursor", "ShakeCamera", "CameraFollowTrajectory",
    "CameraBehindObject", "SetCameraPlacement", "SetCameraHeight", "SetCameraSmoothing", "SetFieldOfView",
    "RestoreCameraMode", "PushPopCameraState", "SetCameraCarriedObject", "AddCameraKey", "SetObjectValue",
    "SetGameUI", "InventoryCommand", "GameMapCommand", "SetEntityLife", "SetPlayerControl",
    "SetPlayerStance", "SetPlayerFlag", "SetPlayerTurnFactor", "SetPlayerAbility", "PlayEntityAnimation",
    "SetGait", "PlayObjectAnimation", "PlayAnimationSequence", "LoadEntityAnimationFile",
    "ShowScreenImage", "CastSpellOnObject", "ResetObjectEffects", "CastSpellAtPoint", "SetSpellSound",
    "CastSpellFromHelper", "ResetCameraLinkedObjects", "SetObjectTrails", "LookAtPoint", "LookAtObject",
    "MoveRotateObject", "PlacePlayer", "SetObjectPosition", "AttachObject", "DetachObject", "ImagePanel",
    "SetEntityTarget", "ObjectControl", "TriggerControl", "MountDismount", "RunObjectRecord",
    "SetObjectRecordState", "SetTriggerRecordState", "SetGameUIRecordState", "SetCounterRecordState",
    "SetInventoryRecordState", "SetGlobalRecordState", "SystemCommand", "CallPlugin", "SetEnvironment",
    "SetLight", "TextBox", "BlockInputAction", "AddRopeLink", "RemoveRopeLink",
};

EventActionHandler ActionTable[EventActionCount] = {};

// The record `index` of owner, or null outside its list.
EventRecord* RecordOf(NztEventObject* owner, int32_t index) {
    if (owner == nullptr || index < 0 || index >= owner->eventRecordCount) return nullptr;
    return &owner->eventRecords[index];
}

}  // namespace

const char* EventActionName(int32_t type) {
    return type >= 1 && type <= EventActionCount ? ActionNames[type - 1] : "";
}

bool RegisterEventAction(int32_t type, EventActionHandler handler) {
    if (type < 1 || type > EventActionCount) return false;
    ActionTable[type - 1] = handler;
    return true;
}

EventActionHandler GetEventActionHandler(int32_t type) {
    return type >= 1 && type <= EventActionCount ? ActionTable[type - 1] : nullptr;
}

void ResetEventActions() {
    for (EventActionHandler& h : ActionTable) h = nullptr;
    RegisterEventAction(ActionTriggerControl, TriggerControlAction);
    RegisterEventAction(ActionRunObjectRecord, RunObjectRecordAction);
    for (int32_t type = ActionSetObjectRecordState; type <= ActionSetGlobalRecordState; ++type)
        RegisterEventAction(type, SetObjectRecordStateAction);
}

bool IsDeferredAction(const EventRecord& r) {
    switch (r.Action) {
        case ActionStartLevel:
        case ActionReplaceObjectType:
        case ActionSetSkyObject:
        case ActionTransferPlayerState:
        case ActionSaveSlot:
        case ActionPlayMusic:
        case ActionStopMusic:
        case ActionPlayVideo:
        case ActionSetPlayerControl:
        case ActionSetPlayerAbility:
        case ActionLoadEntityAnimationFile:
        case ActionImagePanel:
        case ActionCallPlugin:
        case ActionAddRopeLink:
        case ActionRemoveRopeLink: return true;
        case ActionSetObjectValue: return r.Param2 == 15;
        case ActionSetGameUI: return r.Param2 == 4;
        case ActionInventoryCommand: return r.Param2 == 0 || r.Param2 == 1 || r.Param2 == 8;
        case ActionObjectControl: return r.Param == 8;
        case ActionTriggerControl: return r.Param == 6;
        case ActionSystemCommand:
            return r.Param == 4 || r.Param == 10 || r.Param == 11 || r.Param == 12 || r.Param == 13 || r.Param == 17;
        default: return false;
    }
}

void TriggerControlAction(EventRecord* r) {
    if (r->TargetKind != ObjectKindTrigger) return;
    NztEventTrigger* t = FindEventTrigger(r->TargetId, r->TargetKind);
    if (t == nullptr) return;
    const int32_t sub = r->Param;
    if (sub >= 0 && sub <= 4) {
        if (!t->registered) return;
        NztControllerKey key;
        key.kind = static_cast<uint32_t>(sub);
        key.duration = r->ValueF(3);
        for (int k = 0; k < 3; ++k) key.vector[k] = r->ValueF(k);
        t->AddKey(&key);
    } else if (sub == 5) {
        t->ClearKeys();
    } else if (sub == 6) {
        if (t->registered) UnregisterTrigger(t);
    } else if (sub == 7) {
        if (t->registered) return;
        const uint32_t self = t->Handle();
        ActivateTrigger(t);
        if (ResolveEventObject(self) != t) return;
        bool drawn = false;
        for (int k = 0; k < 3; ++k) {
            const float v = r->ValueF(k);
            if (v == 0.0f) continue;
            t->Position[k] += -v + 2.0f * v * NextObjectRandom();
            drawn = true;
        }
        if (r->Value1 != 0.0f) {
            const float a = r->Value1;
            t->SetYaw(RoundToInt(-a + 2.0f * a * NextObjectRandom()));
            drawn = true;
        }
        if (drawn) t->UpdateBox();
    }
}

void RunObjectRecordAction(EventRecord* r) {
    NztEventObject* target = FindSceneObject(r->TargetKind, r->TargetId);
    if (target != nullptr) target->RunEventRecord(r->Param);
}

void SetObjectRecordStateAction(EventRecord* r) {
    NztEventObject* owner = nullptr;
    switch (r->Action) {
        case ActionSetObjectRecordState: owner = FindSceneObject(r->TargetKind, r->TargetId); break;
        case ActionSetTriggerRecordState: owner = FindEventTrigger(r->TargetId, r->TargetKind); break;
        case ActionSetGameUIRecordState:
            if (r->TargetKind == ObjectKindGameUI) owner = GetObjectByKind(ObjectKindGameUI, r->TargetId);
            break;
        case ActionSetCounterRecordState:
            if (r->TargetKind == ObjectKindCounter) owner = GetObjectByKind(ObjectKindCounter, r->TargetId);
            break;
        case ActionSetInventoryRecordState:
            if (r->TargetKind == ObjectKindInventory) owner = GetObjectByKind(ObjectKindInventory, r->TargetId);
            break;
        case ActionSetGlobalRecordState: owner = &GameEventObject; break;
        default: return;
    }
    // Read before the write: the record changed may be this very one.
    const float a = r->Value1;
    const int32_t mode = r->Param2;
    const bool ownScale = r->Action == ActionSetObjectRecordState;
    EventRecord* target = RecordOf(owner, r->Param);
    if (target == nullptr) return;
    switch (mode) {
        case 0: target->State = a; break;
        case 1: target->State += a; break;
        // Stored scripts count on the sign flip of every owner but scene objects and characters.
        case 2: target->State *= ownScale ? a : -a; break;
        default: break;
    }
}
