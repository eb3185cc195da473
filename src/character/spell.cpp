#include "character/spell.h"

SpellInstance* SpellInstances = nullptr;

void InitSpellGlobals() {}
uint32_t LoadSpellDefinitions() { return 0; }
void LoadSpellSfx() {}
void FreeSpells() {}
