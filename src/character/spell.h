// Spells.
#pragma once

#include <cstdint>

class NztBase3D;
class NztBaseObject;
struct SpellEffect;
struct SpellDefinitionTable;

// One effect of a spell, copied from the spell's definitions by CastSpell. Names are texts of 64
// bytes ending in zero.
struct SpellEffect {
    uint32_t type;  // 0 spawned object, 1 thunder bolt, 2 character animation, 3 sound, 4 camera shake
    char sfxName[64];
    float duration;
    char soundName[64];
    int32_t soundChannel;  // -1: a slot of its own; else effect channel (slot 1024 + channel)
    float amount;          // collision radius of a spawned object; strength of a camera shake
    float effectRadius;
    float lifeChange;
    char typeName[64];
    char animName[64];
    int32_t animLoops;
    char names[2][64];
    float basePosition[3];
    uint32_t originKind;  // 0 the object, 1 its target, 2 each listed object, 3 none
    int32_t attachPoint;  // -1: the owner's position
    int32_t followPointObject;
    int32_t followOwner;
    float offset[3];
    uint32_t launchMode;  // 0 the object, 1 its target, 2 each listed object, 3 none, 4 a local vector
    int32_t targetPoint;
    int32_t word1;
    int32_t orient;
    float launchVector[3];
    int32_t cameraOrigin;
    uint32_t characterAnimMode;  // type 2 acts only when it is 4
    int32_t spellWords[4];
    float spellFloats[2];
    char characterAnimName[64];
    int32_t callbackFlag;
    int32_t aimFlag;
    float word2;
    float worldLaunch[3];
    float gravity[3];
    float gravityScale;
    float drag;
    float bounce;
    int32_t maxBounces;
};

struct SpellInstance {
    uint32_t state;
    uint32_t started;
    uint32_t listedCount;
    NztBase3D** listedObjects;
    float timer;
    char* animName;
    void* anim;
    float secondFloat;
    uint32_t recordCount;
    uint32_t word9;
    SpellEffect* records;
    uint32_t word11;
    uint32_t animWord;
};
constexpr uint32_t SpellInstanceCount = 64;
extern SpellInstance* SpellInstances;

void InitSpellGlobals();
uint32_t LoadSpellDefinitions();
void LoadSpellSfx();
void FreeSpells();
bool ReloadSpells();

// The loaded spell definitions.
extern SpellDefinitionTable* SpellDefinitions;
// Gives object an instance of spell index filled from list selector 0 (first list), 1 (second) or
// 2 (none), based at position or the object's position. 1, or 0 for an index out of range.
int32_t CastSpell(int32_t index, SpellDefinitionTable* definitions, NztBaseObject* object, int32_t list,
                  const float* position);
