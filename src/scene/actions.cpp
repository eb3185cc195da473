#include "scene/actions.h"

#include "objects/actions.h"
#include "objects/objlookup.h"
#include "scene/scene.h"

void RegisterSceneActions() {
    static const struct {
        int32_t type;
        EventActionHandler handler;
    } kActions[] = {
        {ActionStartLevel, StartLevelAction},
        {ActionReplaceObjectType, ReplaceObjectTypeAction},
        {ActionSetSkyObject, SetSkyObjectAction},
        {ActionTransferPlayerState, TransferPlayerStateAction},
        {ActionSaveSlot, SaveSlotAction},
        {ActionPlayMusic, PlayMusicAction},
        {ActionStopMusic, StopMusicAction},
        {ActionFadeMusic, FadeMusicAction},
        {ActionLoadSound, LoadSoundAction},
        {ActionPlaySoundAtObject, PlaySoundAtObjectAction},
        {ActionStopSounds, StopSoundsAction},
        {ActionSetSoundGains, SetSoundGainsAction},
        {ActionSetSoundSourceParam, SetSoundSourceParamAction},
        {ActionPlayVideo, PlayVideoAction},
        {ActionSetCinemaBorders, SetCinemaBordersAction},
        {ActionSetTimeScale, SetTimeScaleAction},
        {ActionShowScreenMessage, ShowScreenMessageAction},
        {ActionLoadCursorFile, LoadCursorFileAction},
        {ActionUseCurrentCursor, UseCurrentCursorAction},
        {ActionUseAlternateCursor, UseAlternateCursorAction},
        {ActionShakeCamera, ShakeCameraAction},
        {ActionCameraFollowTrajectory, CameraFollowTrajectoryAction},
        {ActionCameraBehindObject, CameraBehindObjectAction},
        {ActionSetCameraPlacement, SetCameraPlacementAction},
        {ActionSetCameraHeight, SetCameraHeightAction},
        {ActionSetCameraSmoothing, SetCameraSmoothingAction},
        {ActionSetFieldOfView, SetFieldOfViewAction},
        {ActionRestoreCameraMode, RestoreCameraModeAction},
        {ActionPushPopCameraState, PushPopCameraStateAction},
        {ActionSetCameraCarriedObject, SetCameraCarriedObjectAction},
        {ActionAddCameraKey, AddCameraKeyAction},
        {ActionSystemCommand, SystemCommandAction},
        {ActionCallPlugin, CallPluginAction},
        {ActionSetEnvironment, SetEnvironmentAction},
        {ActionSetLight, SetLightAction},
        {ActionTextBox, TextBoxAction},
        {ActionBlockInputAction, BlockInputActionAction},
        {ActionAddRopeLink, AddRopeLinkAction},
        {ActionRemoveRopeLink, RemoveRopeLinkAction},
    };
    for (const auto& a : kActions) RegisterEventAction(a.type, a.handler);
    // Destroying an object renumbers the lists, so that no record names it any more.
    RemapObjectLinksHook = RemapAllObjectLinks;
}
