// The data kit's sample spells, made and parsed into the spell set as a level would load them.
#pragma once

#include <cstdint>
#include <vector>

#include "character/spell.h"
#include "datakit/spell.h"

// Starts the spell globals and ring, then parses the sample definitions and effect templates into
// Spells; false when either does not parse (the templates are not tried after bad definitions).
inline bool LoadSampleSpells() {
    InitSpellGlobals();
    AllocateSpellRing();
    datakit::SpellDefSpec d;
    datakit::SpellSfxSpec s;
    datakit::MakeSampleSpells(d, s);
    const std::vector<uint8_t> db = datakit::MakeSpellDef(d), sb = datakit::MakeSpellSfx(s);
    return ParseSpellDefinitions(db.data(), db.size(), "d", Spells.definitions) &&
           ParseSpellSfx(sb.data(), sb.size(), "s", Spells.templates);
}
