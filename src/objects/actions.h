// The action table: one handler per action type (1..81) of an event record. Each floor registers
// the handlers of its own actions at start-up; a slot nobody filled does nothing. Whether an action
// runs at once or after the frame is drawn is decided here, by the type and its sub-codes.
#pragma once

#include <cstdint>

#include "objects/events.h"

enum EventActionType : int32_t {
    ActionStartLevel = 1,
    ActionReplaceObjectType,
    ActionSetSkyObject,
    ActionTransferPlayerState,
    ActionSaveSlot,
    ActionPlayMusic,
    ActionStopMusic,
    ActionFadeMusic,
    ActionLoadSound,
    ActionPlaySoundAtObject,
    ActionStopSounds,
    ActionSetSoundGains,
    ActionSetSoundSourceParam,
    ActionPlayVideo,
    ActionSetCinemaBorders,
    ActionSetTimeScale,
    ActionShowScreenMessage,
    ActionLoadCursorFile,
    ActionUseCurrentCursor,
    ActionUseAlternateCursor,
    ActionShakeCamera,
    ActionCameraFollowTrajectory,
    ActionCameraBehindObject,
    ActionSetCameraPlacement,
    ActionSetCameraHeight,
    ActionSetCameraSmoothing,
    ActionSetFieldOfView,
    ActionRestoreCameraMode,
    ActionPushPopCameraState,
    ActionSetCameraCarriedObject,
    ActionAddCameraKey,
    ActionSetObjectValue,
    ActionSetGameUI,
    ActionInventoryCommand,
    ActionGameMapCommand,
    ActionSetEntityLife,
    ActionSetPlayerControl,
    ActionSetPlayerStance,
    ActionSetPlayerFlag,
    ActionSetPlayerTurnFactor,
    ActionSetPlayerAbility,
    ActionPlayEntityAnimation,
    ActionSetGait,
    ActionPlayObjectAnimation,
    ActionPlayAnimationSequence,
    ActionLoadEntityAnimationFile,
    ActionShowScreenImage,
    ActionCastSpellOnObject,
    ActionResetObjectEffects,
    ActionCastSpellAtPoint,
    ActionSetSpellSound,
    ActionCastSpellFromHelper,
    ActionResetCameraLinkedObjects,
    ActionSetObjectTrails,
    ActionLookAtPoint,
    ActionLookAtObject,
    ActionMoveRotateObject,
    ActionPlacePlayer,
    ActionSetObjectPosition,
    ActionAttachObject,
    ActionDetachObject,
    ActionImagePanel,
    ActionSetEntityTarget,
    ActionObjectControl,
    ActionTriggerControl,
    ActionMountDismount,
    ActionRunObjectRecord,
    ActionSetObjectRecordState,
    ActionSetTriggerRecordState,
    ActionSetGameUIRecordState,
    ActionSetCounterRecordState,
    ActionSetInventoryRecordState,
    ActionSetGlobalRecordState,
    ActionSystemCommand,
    ActionCallPlugin,
    ActionSetEnvironment,
    ActionSetLight,
    ActionTextBox,
    ActionBlockInputAction,
    ActionAddRopeLink,
    ActionRemoveRopeLink,
};
inline constexpr int32_t EventActionCount = 81;

// The name of an action type ("StartLevel" ...); "" outside 1..81.
const char* EventActionName(int32_t type);
// Installs the handler of one action type; false outside 1..81. A null handler empties the slot.
bool RegisterEventAction(int32_t type, EventActionHandler handler);
EventActionHandler GetEventActionHandler(int32_t type);
// Empties every slot, then registers the actions of this floor (object records and triggers).
void ResetEventActions();
// 1 when the record's action goes through the deferred queue.
bool IsDeferredAction(const EventRecord& record);

// Actions of this floor.
void TriggerControlAction(EventRecord* record);        // 65
void RunObjectRecordAction(EventRecord* record);       // 67
void SetObjectRecordStateAction(EventRecord* record);  // 68 .. 73 by the record's action
// Flow-control jumps one scan may take before it ends.
inline constexpr int32_t MaxJumpsPerScan = 1024;
