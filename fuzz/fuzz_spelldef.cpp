// Spell definition files over arbitrary bytes: a file is read whole or refused, and every list read
// fits in the input.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "character/spell.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<SpellDefinition> definitions;
    if (!ParseSpellDefinitions(data, size, "fuzz.Def", definitions)) {
        if (!definitions.empty()) __builtin_trap();
        return 0;
    }
    uint64_t bytes = 8;
    for (const SpellDefinition& d : definitions) {
        if (d.name[63] != '\0' || d.secondText[63] != '\0') __builtin_trap();
        bytes += SpellDefinitionMinBytes + 4 * uint64_t{d.firstList.size() + d.secondList.size()};
    }
    if (bytes > size) __builtin_trap();
    return 0;
}
