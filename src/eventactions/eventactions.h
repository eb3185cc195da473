// The event actions that reach into world objects and characters: life, control switches,
// animations, spells and effects, trails and facing (types 36 to 56); placing, copying, attaching and
// detaching objects (57 to 61); targets, the object switchboard and mounting (63, 64 and 66). Each
// takes the record that fired. Objects are looked up again after every step that may run events,
// so an object destroyed on the way is never touched. Main thread only.
#pragma once

#include <cstdint>

class NztBaseObject;
struct EventRecord;

// Installs every handler of this file into the action table.
void RegisterCharacterActions();

// Life, control, animation, spell and effect actions.
void SetEntityLifeAction(EventRecord* record);             // 36
void SetPlayerControlAction(EventRecord* record);          // 37
void SetPlayerStanceAction(EventRecord* record);           // 38
void SetPlayerFlagAction(EventRecord* record);             // 39
void SetPlayerTurnFactorAction(EventRecord* record);       // 40
void SetPlayerAbilityAction(EventRecord* record);          // 41
void PlayEntityAnimationAction(EventRecord* record);       // 42
void SetGaitAction(EventRecord* record);                   // 43
void PlayObjectAnimationAction(EventRecord* record);       // 44
void PlayAnimationSequenceAction(EventRecord* record);     // 45
void LoadEntityAnimationFileAction(EventRecord* record);   // 46
void ShowScreenImageAction(EventRecord* record);           // 47
void CastSpellOnObjectAction(EventRecord* record);         // 48
void ResetObjectEffectsAction(EventRecord* record);        // 49
void CastSpellAtPointAction(EventRecord* record);          // 50
void SetSpellSoundAction(EventRecord* record);             // 51
void CastSpellFromHelperAction(EventRecord* record);       // 52
void ResetCameraLinkedObjectsAction(EventRecord* record);  // 53
void SetObjectTrailsAction(EventRecord* record);           // 54
void LookAtPointAction(EventRecord* record);               // 55
void LookAtObjectAction(EventRecord* record);              // 56

// Object motion actions.
void MoveRotateObject(EventRecord* record);   // 57
void PlacePlayer(EventRecord* record);        // 58
void SetObjectPosition(EventRecord* record);  // 59
void AttachObject(EventRecord* record);       // 60
void DetachObject(EventRecord* record);       // 61

// Entity control actions.
void SetEntityTargetAction(EventRecord* record);  // 63
void ObjectControlAction(EventRecord* record);    // 64
void MountDismountAction(EventRecord* record);    // 66

// Inverts a row-major 3x3 rotation in place (no test for a zero determinant).
void Invert3x3(float m[9]);
// Store the angle (masked to 12 bits) in the object's packed roll or pitch and write the rotation.
void SetRollMatrix(NztBaseObject* object, int32_t angle);
void SetPitchMatrix(NztBaseObject* object, int32_t angle);
// True when the object has animation layers and its fourth one plays nothing.
bool HasFreeAnimLayer(const NztBaseObject* object);
// A random frame of the current animation; nothing without one or for an animation of no frames.
void SetRandomAnimFrame(NztBaseObject* object);
