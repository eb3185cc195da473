#include "character/spell.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "character/entity.h"
#include "character/objeffects.h"
#include "core/binio.h"
#include "core/nztfile.h"
#include "core/pack.h"
#include "objects/base3d.h"

SpellSet Spells;
NztEntity* SpellCaster = nullptr;

namespace {

constexpr const char* DefinitionFile = "SPELL/Spell.Def";
constexpr const char* TemplateFile = "SPELL/Spell.Sfx";
// Larger spell files are refused before they are read.
constexpr uint32_t MaxSpellFileBytes = 64u << 20;
// The attach point and target point words are stored two above their values (wrapping, as the
// words are copied).
constexpr uint32_t PointBias = 2;
int32_t Unbias(int32_t stored) {
    return static_cast<int32_t>(static_cast<uint32_t>(stored) - PointBias);
}
constexpr uint32_t KindSoundOnly = 3;

// The object holding each ring instance, by handle, so that a cast reusing the instance can make
// the previous holder let go of it.
uint32_t RingHolders[SpellInstanceCount] = {};

bool Fault(const char* fileName, const char* what) {
    std::fprintf(stderr, "spell: %s: %s\n", fileName ? fileName : "?", what);
    return false;
}

template <size_t N>
void CopyText(char (&to)[64], const char (&from)[N]) {
    static_assert(N == 64);
    std::memcpy(to, from, 64);
    to[63] = '\0';
}

// A list of count template indexes, the count checked against the bytes first.
bool ReadIndexList(BinReader& in, std::vector<int32_t>& list) {
    const uint32_t count = in.U32();
    if (!in.Ok() || !in.Fits(count, 4)) return false;
    list.resize(count);
    for (int32_t& index : list) index = in.I32();
    return in.Ok();
}

void ReadSfxRecord(BinReader& in, SpellSfxRecord& r) {
    in.Read(r.header, sizeof r.header);
    r.kind = in.U32();
    in.Text(r.text1);
    r.value1 = in.F32();
    in.Text(r.text2);
    r.word1 = in.U32();
    for (float& v : r.values) v = in.F32();
    r.text3Present = in.U32();
    r.text4Present = in.U32();
    in.Text(r.text3);
    in.Text(r.text4);
    r.word2 = in.U32();
    r.text5Present = in.U32();
    r.text6Present = in.U32();
    in.Text(r.text5);
    in.Text(r.text6);
    for (int32_t& w : r.origin) w = in.I32();
    for (float& v : r.offset) v = in.F32();
    for (int32_t& w : r.launch) w = in.I32();
    for (float& v : r.launchVector) v = in.F32();
    for (uint32_t& w : r.words) w = in.U32();
    r.unused568 = in.U32();
    r.value2 = in.F32();
    r.value3 = in.F32();
    in.Text(r.text7);
    r.word3 = in.U32();
    r.word4 = in.U32();
    r.unused652 = in.U32();
}

bool ReadSpellFile(const char* fileName, std::vector<uint8_t>& bytes) {
    NztFile stream;
    if (!stream.OpenRead(fileName, PackTrees[PackSpell])) return false;
    const bool whole = stream.ReadToEnd(bytes, MaxSpellFileBytes);
    stream.Close();
    if (!whole) return Fault(fileName, "cannot be read whole");
    return true;
}

// Every instance lets go of the definition texts and lists it points into.
void ForgetDefinitionPointers() {
    if (Spells.instances == nullptr) return;
    for (uint32_t i = 0; i < SpellInstanceCount; ++i) {
        Spells.instances[i].animName = nullptr;
        Spells.instances[i].templateList = nullptr;
    }
}

void FreeTables() {
    ForgetDefinitionPointers();
    Spells.definitions.clear();
    Spells.definitions.shrink_to_fit();
    Spells.templates.clear();
    Spells.templates.shrink_to_fit();
}

// Takes ring instance r for caster: its previous holder, when another live object still holds it,
// lets go of it.
void TakeInstance(uint32_t r, NztBaseObject* caster) {
    SpellInstance* instance = &Spells.instances[r];
    if (NztEventObject* previous = ResolveEventObject(RingHolders[r]); previous != nullptr && previous != caster) {
        if (auto* holder = dynamic_cast<NztBaseObject*>(previous); holder != nullptr && holder->effectBlock == instance)
            holder->effectBlock = nullptr;
    }
    RingHolders[r] = EventObjectHandle(caster);
}

}  // namespace

void InitSpellGlobals() {
    // The ring and the tables are given back by FreeSpells; a second start keeps what exists.
    Spells.nextInstance = 0;
    if (SpellCaster == nullptr) SpellCaster = new NztEntity();
    SpellCaster->effectBlock = nullptr;
    SpellCaster->spellIndex = 0;
}

void AllocateSpellRing() {
    if (Spells.instances == nullptr) {
        Spells.instances = static_cast<SpellInstance*>(std::calloc(SpellInstanceCount, sizeof(SpellInstance)));
    } else {
        for (uint32_t i = 0; i < SpellInstanceCount; ++i) {
            std::free(Spells.instances[i].listedObjects);
            std::free(Spells.instances[i].records);
        }
        std::memset(static_cast<void*>(Spells.instances), 0, SpellInstanceCount * sizeof(SpellInstance));
    }
    std::fill(std::begin(RingHolders), std::end(RingHolders), 0u);
    Spells.nextInstance = 0;
}

bool ParseSpellDefinitions(const uint8_t* data, size_t size, const char* fileName, std::vector<SpellDefinition>& out) {
    BinReader in(data, size);
    const uint32_t version = in.U32();
    const uint32_t count = in.U32();
    if (!in.Ok()) return Fault(fileName, "file ends inside the header");
    if (version != SpellFileVersion) return Fault(fileName, "unknown version");
    if (count > INT32_MAX || !in.Fits(count, SpellDefinitionMinBytes)) return Fault(fileName, "more spells than the file holds");
    std::vector<SpellDefinition> definitions(count);
    for (SpellDefinition& d : definitions) {
        in.Text(d.name);
        in.Text(d.secondText);
        d.wordA = in.U32();
        d.wordB = in.U32();
        if (!ReadIndexList(in, d.firstList) || !ReadIndexList(in, d.secondList))
            return Fault(fileName, "a spell's list is longer than the file");
    }
    if (!in.Ok()) return Fault(fileName, "file ends inside a spell");
    out = std::move(definitions);
    return true;
}

bool ParseSpellSfx(const uint8_t* data, size_t size, const char* fileName, std::vector<SpellSfxRecord>& out) {
    BinReader in(data, size);
    const uint32_t version = in.U32();
    const uint32_t count = in.U32();
    if (!in.Ok()) return Fault(fileName, "file ends inside the header");
    if (version != SpellFileVersion) return Fault(fileName, "unknown version");
    if (count > INT32_MAX || !in.Fits(count, SpellSfxRecordBytes)) return Fault(fileName, "more templates than the file holds");
    std::vector<SpellSfxRecord> templates(count);
    for (SpellSfxRecord& r : templates) ReadSfxRecord(in, r);
    if (!in.Ok()) return Fault(fileName, "file ends inside a template");
    out = std::move(templates);
    return true;
}

bool LoadSpellDefinitions() {
    std::vector<uint8_t> bytes;
    if (!ReadSpellFile(DefinitionFile, bytes)) return false;
    std::vector<SpellDefinition> definitions;
    if (!ParseSpellDefinitions(bytes.data(), bytes.size(), DefinitionFile, definitions)) return false;
    ForgetDefinitionPointers();
    Spells.definitions = std::move(definitions);
    return true;
}

bool LoadSpellSfx() {
    std::vector<uint8_t> bytes;
    if (!ReadSpellFile(TemplateFile, bytes)) return false;
    std::vector<SpellSfxRecord> templates;
    if (!ParseSpellSfx(bytes.data(), bytes.size(), TemplateFile, templates)) return false;
    Spells.templates = std::move(templates);
    return true;
}

bool ReloadSpells() {
    FreeTables();
    if (!LoadSpellDefinitions()) return false;
    return LoadSpellSfx();
}

void FreeSpells() {
    FreeTables();
    if (Spells.instances != nullptr) {
        for (uint32_t i = 0; i < SpellInstanceCount; ++i) {
            SpellInstance* instance = &Spells.instances[i];
            // Nobody may keep pointing at an instance that is gone.
            if (NztEventObject* holder = ResolveEventObject(RingHolders[i])) {
                if (auto* o = dynamic_cast<NztBaseObject*>(holder); o != nullptr && o->effectBlock == instance)
                    o->effectBlock = nullptr;
            }
            std::free(instance->listedObjects);
            std::free(instance->records);
        }
        std::free(Spells.instances);
        Spells.instances = nullptr;
    }
    std::fill(std::begin(RingHolders), std::end(RingHolders), 0u);
    Spells.nextInstance = 0;
    delete SpellCaster;
    SpellCaster = nullptr;
}

void FillSpellEffect(SpellEffect& e, const SpellSfxRecord& s, const float position[3]) {
    std::memset(&e, 0, sizeof e);
    e.type = s.kind;
    std::copy(position, position + 3, e.basePosition);
    e.soundChannel = static_cast<int32_t>(s.word1);
    CopyText(e.soundName, s.text2);
    if (s.kind == KindSoundOnly) return;
    CopyText(e.sfxName, s.text1);
    e.duration = s.value1;
    e.amount = s.values[0];
    e.effectRadius = s.values[1];
    e.lifeChange = s.values[2];
    if (s.text3Present != 0) CopyText(e.typeName, s.text3);
    if (s.text4Present != 0) CopyText(e.animName, s.text4);
    e.animLoops = static_cast<int32_t>(s.word2);
    if (s.text5Present != 0) CopyText(e.names[0], s.text5);
    if (s.text6Present != 0) CopyText(e.names[1], s.text6);
    e.originKind = static_cast<uint32_t>(s.origin[0]);
    e.attachPoint = Unbias(s.origin[1]);
    e.followPointObject = s.origin[2];
    e.followOwner = s.origin[3];
    std::copy(s.offset, s.offset + 3, e.offset);
    e.launchMode = static_cast<uint32_t>(s.launch[0]);
    e.targetPoint = Unbias(s.launch[1]);
    e.word1 = s.launch[2];
    e.orient = s.launch[3];
    std::copy(s.launchVector, s.launchVector + 3, e.launchVector);
    e.cameraOrigin = static_cast<int32_t>(s.words[0]);
    e.characterAnimMode = s.words[1];
    for (int i = 0; i < 3; ++i) e.spellWords[i] = static_cast<int32_t>(s.words[2 + i]);
    e.spellFloats[0] = s.value2;
    e.spellFloats[1] = s.value3;
    CopyText(e.characterAnimName, s.text7);
    e.callbackFlag = static_cast<int32_t>(s.word3);
    e.aimFlag = static_cast<int32_t>(s.word4);
    // The flight's own fields: no launch yet, gravity straight down at scale 1, no drag, bounce 1.
    e.gravity[1] = -1.0f;
    e.gravityScale = 1.0f;
    e.bounce = 1.0f;
}

bool CastSpell(int32_t index, SpellSet* set, NztBaseObject* caster, int32_t list, const float* position) {
    if (set == nullptr || caster == nullptr || set->instances == nullptr) return false;
    if (index < 0 || static_cast<size_t>(index) >= set->definitions.size()) return false;
    const SpellDefinition& definition = set->definitions[static_cast<size_t>(index)];
    const uint32_t r = static_cast<uint32_t>(set->nextInstance) % SpellInstanceCount;
    set->nextInstance = static_cast<int32_t>((r + 1) % SpellInstanceCount);
    SpellInstance* instance = &set->instances[r];
    if (set == &Spells) TakeInstance(r, caster);
    caster->effectBlock = instance;
    caster->spellIndex = index;
    instance->listedCount = 0;
    instance->recordCount = 0;
    const std::vector<int32_t>* templates = nullptr;
    if (list == 0) {
        instance->animName = const_cast<char*>(definition.secondText);
        instance->animWord = definition.wordA;
        instance->wordB = definition.wordB;
        templates = &definition.firstList;
    } else {
        instance->animName = nullptr;
        instance->animWord = 0;
        instance->wordB = 0;
        if (list == 1) templates = &definition.secondList;
    }
    instance->templateList = templates != nullptr && !templates->empty() ? templates->data() : nullptr;
    if (templates == nullptr || templates->empty()) return true;
    const size_t n = templates->size();
    auto* records = static_cast<SpellEffect*>(std::realloc(instance->records, n * sizeof(SpellEffect)));
    if (records == nullptr) return false;
    instance->records = records;
    instance->recordCount = static_cast<uint32_t>(n);
    const float* at = position != nullptr ? position : caster->Position;
    for (size_t i = 0; i < n; ++i) {
        const int32_t s = (*templates)[i];
        if (s >= 0 && static_cast<size_t>(s) < set->templates.size()) {
            FillSpellEffect(records[i], set->templates[static_cast<size_t>(s)], at);
        } else {
            // A template the table lacks makes no effect.
            std::memset(&records[i], 0, sizeof records[i]);
            records[i].type = SpellEffectSkipped;
        }
    }
    return true;
}

bool CastSpellAndRun(int32_t index, NztBaseObject* caster, int32_t list, const float* position) {
    if (!CastSpell(index, SpellDefinitions, caster, list, position)) return false;
    RunObjectEffects(caster, nullptr);
    return true;
}
