// Spells: named bundles of object effects read from "SPELL/Spell.Def" (the spells, each with two
// lists of template indexes) and "SPELL/Spell.Sfx" (the effect templates). Casting a spell on an
// object fills the next instance of a ring of 64 with copies of one list's templates, based at a
// point or at the caster, for the object effect runner (world/objeffects.h).
//
// A ring instance is held by one object at a time: when a cast reuses an instance, the object that
// held it lets go of it, so no object keeps a pointer to effects that now belong to another cast.
// Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class NztBase3D;
class NztBaseObject;
class NztEntity;

// One effect of a spell as the runner reads it, filled by CastSpell from a template. Names are
// texts of 64 bytes ending in zero.
struct SpellEffect {
    uint32_t type;  // 0 spawned object, 1 thunder bolt, 2 character animation, 3 sound, 4 camera shake
    char sfxName[64];
    float duration;
    char soundName[64];
    int32_t soundChannel;  // -1: a slot of its own; else effect channel (slot 1024 + channel)
    float amount;          // collision radius of a spawned object; strength of a camera shake
    float effectRadius;
    float lifeChange;
    char typeName[64];
    char animName[64];
    int32_t animLoops;
    char names[2][64];
    float basePosition[3];
    uint32_t originKind;  // 0 the object, 1 its target, 2 each listed object, 3 none
    int32_t attachPoint;  // -1: the owner's position
    int32_t followPointObject;
    int32_t followOwner;
    float offset[3];
    uint32_t launchMode;  // 0 the object, 1 its target, 2 each listed object, 3 none, 4 a local vector
    int32_t targetPoint;
    int32_t word1;
    int32_t orient;
    float launchVector[3];
    int32_t cameraOrigin;
    uint32_t characterAnimMode;  // type 2 acts only when it is 4
    int32_t spellWords[4];
    float spellFloats[2];
    char characterAnimName[64];
    int32_t callbackFlag;
    int32_t aimFlag;
    float word2;
    float worldLaunch[3];
    float gravity[3];
    float gravityScale;
    float drag;
    float bounce;
    int32_t maxBounces;
};
// The type a cast gives a record whose template the table lacks: the runner skips it.
inline constexpr uint32_t SpellEffectSkipped = 0xFFFFFFFFu;

struct SpellInstance {
    uint32_t state;
    uint32_t started;
    uint32_t listedCount;  // cleared by every cast
    NztBase3D** listedObjects;  // freed with the ring
    float timer;
    char* animName;  // the definition's second text (first list only), or null
    void* anim;
    float secondFloat;
    uint32_t recordCount;
    const int32_t* templateList;  // the definition's list in use; not owned
    SpellEffect* records;         // recordCount records, owned, reused by later casts
    uint32_t wordB;
    uint32_t animWord;  // word A of the definition
};
inline constexpr uint32_t SpellInstanceCount = 64;

// One spell of "SPELL/Spell.Def".
struct SpellDefinition {
    char name[64];
    char secondText[64];
    uint32_t wordA;
    uint32_t wordB;
    std::vector<int32_t> firstList;
    std::vector<int32_t> secondList;
};

// One 656-byte effect template of "SPELL/Spell.Sfx", field by field as the file holds it.
struct SpellSfxRecord {
    uint8_t header[64];  // not used by casting
    uint32_t kind;       // kind 3 copies only the kind, the position, word1 and text2
    char text1[64];
    float value1;
    char text2[64];
    uint32_t word1;
    float values[3];
    uint32_t text3Present;
    uint32_t text4Present;
    char text3[64];
    char text4[64];
    uint32_t word2;
    uint32_t text5Present;
    uint32_t text6Present;
    char text5[64];
    char text6[64];
    // Who the effect starts from: origin kind, attach point + 2, follow-point-object and
    // follow-owner words, offset.
    int32_t origin[4];
    float offset[3];
    // What it aims at: launch mode, target point + 2, a word, orient, launch vector.
    int32_t launch[4];
    float launchVector[3];
    uint32_t words[5];
    uint32_t unused568;
    float value2;
    float value3;
    char text7[64];
    uint32_t word3;
    uint32_t word4;
    uint32_t unused652;
};
static_assert(sizeof(SpellSfxRecord) == 656);
static_assert(offsetof(SpellSfxRecord, kind) == 64);
static_assert(offsetof(SpellSfxRecord, text2) == 136);
static_assert(offsetof(SpellSfxRecord, word1) == 200);
static_assert(offsetof(SpellSfxRecord, text3) == 224);
static_assert(offsetof(SpellSfxRecord, text5) == 364);
static_assert(offsetof(SpellSfxRecord, origin) == 492);
static_assert(offsetof(SpellSfxRecord, launch) == 520);
static_assert(offsetof(SpellSfxRecord, words) == 548);
static_assert(offsetof(SpellSfxRecord, value2) == 572);
static_assert(offsetof(SpellSfxRecord, text7) == 580);
static_assert(offsetof(SpellSfxRecord, word3) == 644);

inline constexpr uint32_t SpellFileVersion = 10005;
inline constexpr size_t SpellSfxRecordBytes = 656;
// A definition with both lists empty: two texts and four words.
inline constexpr size_t SpellDefinitionMinBytes = 144;

// The spell set: definitions, templates and the ring of live instances.
struct SpellSet {
    std::vector<SpellDefinition> definitions;
    std::vector<SpellSfxRecord> templates;
    int32_t nextInstance = 0;  // the ring slot the next cast takes, 0..63
    SpellInstance* instances = nullptr;  // SpellInstanceCount, from AllocateSpellRing
};
extern SpellSet Spells;
// The set every caster of the program uses.
inline SpellSet* const SpellDefinitions = &Spells;
// The character that casts when the thing that casts is not one (actions, plug-ins); it is in no
// object list. Null before InitSpellGlobals and after FreeSpells.
extern NztEntity* SpellCaster;

// Program start: empties the set and makes the spare caster.
void InitSpellGlobals();
// Allocates the ring zeroed, or zeroes the one that exists.
void AllocateSpellRing();
// Each reads its file through the SPELL pack or the data folder and answers whether it did; a
// missing, refused or malformed file leaves the table as it was.
bool LoadSpellDefinitions();
bool LoadSpellSfx();
// From bytes, for the loaders, the tests and the fuzz targets: false (one line on stderr naming
// fileName) for a wrong version or a count the bytes do not hold.
bool ParseSpellDefinitions(const uint8_t* data, size_t size, const char* fileName, std::vector<SpellDefinition>& out);
bool ParseSpellSfx(const uint8_t* data, size_t size, const char* fileName, std::vector<SpellSfxRecord>& out);
// Frees both tables, then loads both files; false when either load fails.
bool ReloadSpells();
// Shutdown: both tables, the ring with what its instances own, and the spare caster.
void FreeSpells();

// Gives caster the next ring instance filled from list 0 (first list), 1 (second list) or any other
// value (none), based at position or the caster's position. False, with nothing changed, for an
// index outside the definitions, a null caster or no ring.
bool CastSpell(int32_t index, SpellSet* set, NztBaseObject* caster, int32_t list, const float* position);
// A cast followed by the caster's effects; the result of the cast.
bool CastSpellAndRun(int32_t index, NztBaseObject* caster, int32_t list, const float* position);

// Fills one effect record from a template at a position (what CastSpell does per list entry).
void FillSpellEffect(SpellEffect& record, const SpellSfxRecord& source, const float position[3]);
