// Spells.
#pragma once

#include <cstdint>

class NztBase3D;
struct SpellEffect;

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
