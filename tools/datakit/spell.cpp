#include "datakit/spell.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/binio.h"
#include "datakit/datakit.h"

namespace datakit {

namespace {

uint32_t Declared(int64_t declared, size_t given) {
    return static_cast<uint32_t>(declared < 0 ? static_cast<int64_t>(given) : declared);
}

void PutText(BinWriter& out, const char (&field)[64]) {
    char copy[64];
    std::memcpy(copy, field, sizeof copy);
    out.Bytes(copy, sizeof copy);
}

void PutRecord(BinWriter& out, const SpellSfxRecord& r) {
    out.Bytes(r.header, sizeof r.header);
    out.U32(r.kind);
    PutText(out, r.text1);
    out.F32(r.value1);
    PutText(out, r.text2);
    out.U32(r.word1);
    for (float v : r.values) out.F32(v);
    out.U32(r.text3Present);
    out.U32(r.text4Present);
    PutText(out, r.text3);
    PutText(out, r.text4);
    out.U32(r.word2);
    out.U32(r.text5Present);
    out.U32(r.text6Present);
    PutText(out, r.text5);
    PutText(out, r.text6);
    for (int32_t w : r.origin) out.U32(static_cast<uint32_t>(w));
    for (float v : r.offset) out.F32(v);
    for (int32_t w : r.launch) out.U32(static_cast<uint32_t>(w));
    for (float v : r.launchVector) out.F32(v);
    for (uint32_t w : r.words) out.U32(w);
    out.U32(r.unused568);
    out.F32(r.value2);
    out.F32(r.value3);
    PutText(out, r.text7);
    out.U32(r.word3);
    out.U32(r.word4);
    out.U32(r.unused652);
}

}  // namespace

SpellSfxRecord BlankSpellTemplate(uint32_t kind) {
    SpellSfxRecord r;
    std::memset(&r, 0, sizeof r);
    r.kind = kind;
    r.word1 = static_cast<uint32_t>(-1);  // a sound slot of its own
    r.origin[1] = 1;                      // the owner's position
    r.launch[1] = 1;                      // the target's position
    return r;
}

void SetSpellText(char (&field)[64], const std::string& text) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), std::min<size_t>(text.size(), sizeof field - 1));
}

std::vector<uint8_t> MakeSpellDef(const SpellDefSpec& spec) {
    std::vector<uint8_t> bytes;
    BinWriter out(bytes);
    out.U32(spec.version);
    out.U32(Declared(spec.declaredCount, spec.entries.size()));
    for (const SpellDefEntry& e : spec.entries) {
        out.Text(e.name, 64);
        out.Text(e.secondText, 64);
        out.U32(e.wordA);
        out.U32(e.wordB);
        out.U32(Declared(e.declaredFirst, e.firstList.size()));
        for (int32_t i : e.firstList) out.U32(static_cast<uint32_t>(i));
        out.U32(Declared(e.declaredSecond, e.secondList.size()));
        for (int32_t i : e.secondList) out.U32(static_cast<uint32_t>(i));
    }
    return bytes;
}

std::vector<uint8_t> MakeSpellSfx(const SpellSfxSpec& spec) {
    std::vector<uint8_t> bytes;
    BinWriter out(bytes);
    out.U32(spec.version);
    out.U32(Declared(spec.declaredCount, spec.records.size()));
    for (const SpellSfxRecord& r : spec.records) PutRecord(out, r);
    return bytes;
}

void MakeSampleSpells(SpellDefSpec& definitions, SpellSfxSpec& templates) {
    SpellSfxRecord ball = BlankSpellTemplate(0);
    SetSpellText(ball.text1, SampleSpellEffect);
    ball.value1 = 2.0f;             // seconds of flight at most
    ball.values[0] = 3.0f;          // collision radius
    ball.offset[1] = 12.0f;         // from the caster's chest
    ball.offset[2] = 4.0f;
    ball.launch[0] = 4;             // a vector in the caster's frame
    ball.launchVector[1] = 0.6f;    // up and forward, units per step
    ball.launchVector[2] = 4.0f;
    ball.word2 = 1;                 // its animation (none) loops
    ball.word3 = 1;                 // the impact runs the second list
    SpellSfxRecord shake = BlankSpellTemplate(4);
    shake.origin[0] = 3;  // at the point where the second list starts
    shake.value1 = 0.6f;
    shake.values[0] = 40.0f;
    SpellSfxRecord sound = BlankSpellTemplate(3);
    SetSpellText(sound.text2, "Beep");
    templates.records = {ball, shake, sound};

    SpellDefEntry fireball;
    fireball.name = "Fireball";
    fireball.firstList = {2, 0};
    fireball.secondList = {1};
    SpellDefEntry quake;
    quake.name = "Quake";
    quake.firstList = {1};
    definitions.entries = {fireball, quake};
}

bool WriteSpellFiles(const std::string& dataFolder, const SpellDefSpec& definitions, const SpellSfxSpec& templates) {
    std::error_code ec;
    std::filesystem::create_directories(dataFolder + "/SPELL", ec);
    return WriteFileBytes(dataFolder + "/SPELL/Spell.Def", MakeSpellDef(definitions)) &&
           WriteFileBytes(dataFolder + "/SPELL/Spell.Sfx", MakeSpellSfx(templates));
}

}  // namespace datakit
