// Spell writers: "SPELL/Spell.Def" (the spells with their two lists of template indexes) and
// "SPELL/Spell.Sfx" (the 656-byte effect templates), with counts that can be broken.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "character/spell.h"

namespace datakit {

struct SpellDefEntry {
    std::string name;        // 64-byte field, cut to 63 characters
    std::string secondText;  // 64-byte field
    uint32_t wordA = 0, wordB = 0;
    std::vector<int32_t> firstList, secondList;
    int64_t declaredFirst = -1;   // the count written; -1 writes the list's size
    int64_t declaredSecond = -1;
};

struct SpellDefSpec {
    uint32_t version = SpellFileVersion;
    int64_t declaredCount = -1;  // -1 writes the number of entries
    std::vector<SpellDefEntry> entries;
};

struct SpellSfxSpec {
    uint32_t version = SpellFileVersion;
    int64_t declaredCount = -1;
    std::vector<SpellSfxRecord> records;
};

// A template with every field zero but the kind; texts are set with SetSpellText.
SpellSfxRecord BlankSpellTemplate(uint32_t kind);
// Copies text into a 64-byte field (cut to 63 characters, zero-padded).
void SetSpellText(char (&field)[64], const std::string& text);

std::vector<uint8_t> MakeSpellDef(const SpellDefSpec& spec);
std::vector<uint8_t> MakeSpellSfx(const SpellSfxSpec& spec);
// The sample spells: 0 "Fireball" throws a burning ball from the caster (with a sound) whose impact
// shakes the camera where it lands; 1 "Quake" shakes the camera at the cast point. Template 0 names
// the particle effect SampleSpellEffect.
inline constexpr const char* SampleSpellEffect = "SpellFire";
void MakeSampleSpells(SpellDefSpec& definitions, SpellSfxSpec& templates);

// Writes SPELL/Spell.Def and SPELL/Spell.Sfx below dataFolder (creating the folder).
bool WriteSpellFiles(const std::string& dataFolder, const SpellDefSpec& definitions, const SpellSfxSpec& templates);

}  // namespace datakit
