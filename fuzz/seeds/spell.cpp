#include "datakit/spell.h"
#include "seeds.h"

namespace {

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeDefSeeds() {
    datakit::SpellDefSpec sample;
    datakit::SpellSfxSpec templates;
    datakit::MakeSampleSpells(sample, templates);
    datakit::SpellDefSpec empty;
    empty.entries.emplace_back();
    datakit::SpellDefSpec longList = sample;
    longList.entries[0].declaredSecond = 0x40000000;
    return {
        {"sample.Def", datakit::MakeSpellDef(sample)},
        {"empty-lists.Def", datakit::MakeSpellDef(empty)},
        {"long-list.Def", datakit::MakeSpellDef(longList)},
    };
}

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeSfxSeeds() {
    datakit::SpellDefSpec definitions;
    datakit::SpellSfxSpec sample;
    datakit::MakeSampleSpells(definitions, sample);
    datakit::SpellSfxSpec huge = sample;
    huge.declaredCount = 0x7FFFFFFF;
    return {
        {"sample.Sfx", datakit::MakeSpellSfx(sample)},
        {"huge-count.Sfx", datakit::MakeSpellSfx(huge)},
    };
}

fuzzseeds::Registration defSeeds("spelldef", MakeDefSeeds);
fuzzseeds::Registration sfxSeeds("spellsfx", MakeSfxSeeds);

}  // namespace
