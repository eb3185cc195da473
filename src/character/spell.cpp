#include "character/spell.h"

SpellInstance* SpellInstances = nullptr;

void InitSpellGlobals() {}
uint32_t LoadSpellDefinitions() { return 0; }
void LoadSpellSfx() {}
void FreeSpells() {}
bool ReloadSpells() { return false; }

SpellDefinitionTable* SpellDefinitions = nullptr;

int32_t CastSpell(int32_t, SpellDefinitionTable*, NztBaseObject*, int32_t, const float*) {
    return 0;
}
