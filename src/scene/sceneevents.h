// What the scene reader and writer need of the objects they store: event lists, character records,
// interface objects, triggers and the renumbering of the object lists. Kept apart from the byte
// layout so that each object class can change how it takes its stored state.
#pragma once

#include <cstdint>
#include <vector>

#include "scene/scene.h"

class NztBaseObject;
class NztEntity;
class NztEventObject;

// Event records of the file handed to their owner: firing arguments cleared, and records of an
// older file (SceneFileVersion) read in their layout and upgraded for the owner kind.
void GiveSceneEvents(NztEventObject* owner, const SceneEvents& events, int32_t ownerKind);
// The owner's records in the stored layout.
void TakeSceneEvents(const NztEventObject* owner, SceneEvents* out);

// An object whose active word is 0 leaves the world (the registries) but stays in its list.
void TakeObjectOutOfWorld(NztBaseObject* object);

// The character record, the speed factor, the two record lists and the life block.
void ApplySceneCharacterRecord(NztEntity* entity, const uint8_t* record);
void CaptureSceneCharacterRecord(const NztEntity* entity, uint8_t* record);
void ApplySceneSpeedFactor(NztEntity* entity, float factor);
float CaptureSceneSpeedFactor(const NztEntity* entity);
void ApplySceneRecordLists(NztEntity* entity, const SceneRecordLists& lists);
void CaptureSceneRecordLists(const NztEntity* entity, SceneRecordLists* out);
void ApplyScenePlayerLife(NztEntity* player, float life, float reserve, uint32_t stateWord);
void CaptureScenePlayerLife(const NztEntity* player, float* life, float* reserve, uint32_t* stateWord);
// Motion, contacts and mount of the player before a scene takes it over.
void ResetScenePlayerState(NztEntity* player);

void CloseSceneSettingsScreen();

// Trigger zones, counters, game interfaces, inventories and game maps.
void CommitSceneTrigger(const SceneTrigger& trigger, int32_t index);
void CaptureSceneTriggers(std::vector<SceneTrigger>* out);
void ClearSceneInterfaceObjects();
void CommitSceneInterfaceObjects(const SceneData& scene);
void CaptureSceneInterfaceObjects(SceneData* scene);

// Every event owner: the global event object, then scene objects, characters, trigger zones,
// counters, game interfaces, inventories, game maps and game lights, each list from its end.
void ForEachEventOwner(void (*visit)(NztEventObject* owner));
// Removes the animation-set name from the front of the animation names in the owner's records of
// actions 44 to 46 aimed at a live character (files older than 10255).
void ShortenOldAnimNamesOf(NztEventObject* owner);
