// Spell effect template files over arbitrary bytes, then a cast of every template: texts stay
// terminated and the records fit in the input.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "character/spell.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<SpellSfxRecord> templates;
    if (!ParseSpellSfx(data, size, "fuzz.Sfx", templates)) {
        if (!templates.empty()) __builtin_trap();
        return 0;
    }
    if (8 + templates.size() * uint64_t{SpellSfxRecordBytes} > size) __builtin_trap();
    const float at[3] = {1.0f, 2.0f, 3.0f};
    for (const SpellSfxRecord& t : templates) {
        SpellEffect e;
        FillSpellEffect(e, t, at);
        for (const char* text : {e.sfxName, e.soundName, e.typeName, e.animName, e.names[0], e.names[1],
                                 e.characterAnimName}) {
            if (strnlen(text, 64) == 64) __builtin_trap();
        }
    }
    return 0;
}
