// Spells: the two spell files and their malformed forms, casting into the ring of instances, the
// mapping of templates onto effect records, reloading and freeing.
#include "character/spell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "camera/camera.h"
#include "character/entity.h"
#include "core/paths.h"
#include "datakit/datakit.h"
#include "datakit/spell.h"
#include "model/anim.h"
#include "model/temp_folder.h"
#include "objects/base3d.h"
#include "objects/baseanim.h"

namespace {

datakit::SpellDefSpec SampleDefs() {
    datakit::SpellDefSpec d;
    datakit::SpellSfxSpec s;
    datakit::MakeSampleSpells(d, s);
    return d;
}

datakit::SpellSfxSpec SampleSfx() {
    datakit::SpellDefSpec d;
    datakit::SpellSfxSpec s;
    datakit::MakeSampleSpells(d, s);
    return s;
}

std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t drop) {
    bytes.resize(bytes.size() - drop);
    return bytes;
}

TEST(SpellFiles, DefinitionFilesAreReadWholeOrRefused) {
    datakit::SpellDefSpec emptyLists;
    emptyLists.entries.emplace_back();
    emptyLists.entries[0].name = "Nothing";
    datakit::SpellDefSpec version4 = SampleDefs(), version6 = SampleDefs(), tooMany = SampleDefs(),
                          hugeCount = SampleDefs(), longFirst = SampleDefs(), longSecond = SampleDefs();
    version4.version = 10004;
    version6.version = 10006;
    tooMany.declaredCount = 3;
    hugeCount.declaredCount = 0xFFFFFFFF;
    longFirst.entries[1].declaredFirst = 2;
    longSecond.entries[0].declaredSecond = 0x40000000;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool read;
        size_t spells;
    } cases[] = {
        {"the sample", datakit::MakeSpellDef(SampleDefs()), true, 2},
        {"no spells", datakit::MakeSpellDef(datakit::SpellDefSpec{}), true, 0},
        {"both lists empty", datakit::MakeSpellDef(emptyLists), true, 1},
        {"version 10004", datakit::MakeSpellDef(version4), false, 0},
        {"version 10006", datakit::MakeSpellDef(version6), false, 0},
        {"no count", Cut(datakit::MakeSpellDef(datakit::SpellDefSpec{}), 1), false, 0},
        {"more spells than entries", datakit::MakeSpellDef(tooMany), false, 0},
        {"a count no file holds", datakit::MakeSpellDef(hugeCount), false, 0},
        {"a first list past the end", datakit::MakeSpellDef(longFirst), false, 0},
        {"a second list past the end", datakit::MakeSpellDef(longSecond), false, 0},
        {"cut inside the last list", Cut(datakit::MakeSpellDef(SampleDefs()), 2), false, 0},
    };
    EXPECT_EQ(datakit::MakeSpellDef(emptyLists).size(), 8u + SpellDefinitionMinBytes);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<SpellDefinition> out(1);
        out[0].name[0] = 'x';
        ::testing::internal::CaptureStderr();
        const bool read = ParseSpellDefinitions(c.bytes.data(), c.bytes.size(), "SPELL/Spell.Def", out);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(read, c.read);
        if (c.read) {
            EXPECT_EQ(out.size(), c.spells);
            EXPECT_TRUE(err.empty());
        } else {
            ASSERT_EQ(out.size(), 1u) << "a refused file leaves the table as it was";
            EXPECT_EQ(out[0].name[0], 'x');
            EXPECT_EQ(err.rfind("spell: SPELL/Spell.Def: ", 0), 0u) << err;
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        }
    }
    std::vector<SpellDefinition> out;
    const std::vector<uint8_t> sample = datakit::MakeSpellDef(SampleDefs());
    ASSERT_TRUE(ParseSpellDefinitions(sample.data(), sample.size(), "d", out));
    EXPECT_STREQ(out[0].name, "Fireball");
    EXPECT_EQ(out[0].firstList, (std::vector<int32_t>{2, 0}));
    EXPECT_EQ(out[0].secondList, (std::vector<int32_t>{1}));
    EXPECT_TRUE(out[1].secondList.empty());
}

TEST(SpellFiles, TemplateFilesAreReadWholeOrRefused) {
    datakit::SpellSfxSpec version4 = SampleSfx(), tooMany = SampleSfx(), hugeCount = SampleSfx();
    version4.version = 10004;
    tooMany.declaredCount = 4;
    hugeCount.declaredCount = 0x7FFFFFFF;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool read;
    } cases[] = {
        {"the sample", datakit::MakeSpellSfx(SampleSfx()), true},
        {"version 10004", datakit::MakeSpellSfx(version4), false},
        {"more templates than records", datakit::MakeSpellSfx(tooMany), false},
        {"a count no file holds", datakit::MakeSpellSfx(hugeCount), false},
        {"cut inside the last record", Cut(datakit::MakeSpellSfx(SampleSfx()), 1), false},
        {"cut inside the header", Cut(datakit::MakeSpellSfx(datakit::SpellSfxSpec{}), 2), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<SpellSfxRecord> out;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(ParseSpellSfx(c.bytes.data(), c.bytes.size(), "SPELL/Spell.Sfx", out), c.read);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(out.size(), c.read ? 3u : 0u);
        EXPECT_EQ(err.empty(), c.read) << err;
    }
    EXPECT_EQ(datakit::MakeSpellSfx(SampleSfx()).size(), 8u + 3 * SpellSfxRecordBytes);
}

// The sample tables, a fresh ring and the spare caster for each test.
class Casting : public ::testing::Test {
protected:
    void SetUp() override {
        InitSpellGlobals();
        AllocateSpellRing();
        const std::vector<uint8_t> d = datakit::MakeSpellDef(SampleDefs());
        const std::vector<uint8_t> s = datakit::MakeSpellSfx(SampleSfx());
        ASSERT_TRUE(ParseSpellDefinitions(d.data(), d.size(), "d", Spells.definitions));
        ASSERT_TRUE(ParseSpellSfx(s.data(), s.size(), "s", Spells.templates));
    }
    void TearDown() override { FreeSpells(); }
};

TEST_F(Casting, IndexesOutsideTheTableChangeNothing) {
    NztBaseObject caster;
    SpellInstance marker{};
    caster.effectBlock = &marker;
    caster.spellIndex = 7;
    for (int32_t index : {-1, -2147483647 - 1, 2, 1000}) {
        SCOPED_TRACE(index);
        EXPECT_FALSE(CastSpell(index, SpellDefinitions, &caster, 0, nullptr));
        EXPECT_EQ(caster.effectBlock, &marker);
        EXPECT_EQ(caster.spellIndex, 7);
        EXPECT_EQ(Spells.nextInstance, 0);
    }
    EXPECT_FALSE(CastSpell(0, SpellDefinitions, nullptr, 0, nullptr));
    EXPECT_EQ(Spells.nextInstance, 0);
}

TEST_F(Casting, ListsFillTheNextInstance) {
    NztBaseObject caster;
    caster.Position[0] = 5.0f;
    const float at[3] = {1.0f, 2.0f, 3.0f};
    Spells.definitions[0].wordA = 11;
    Spells.definitions[0].wordB = 22;
    std::strcpy(Spells.definitions[0].secondText, "Cast01");

    ASSERT_TRUE(CastSpell(0, SpellDefinitions, &caster, 0, at));
    SpellInstance* first = caster.effectBlock;
    EXPECT_EQ(first, &Spells.instances[0]);
    EXPECT_EQ(caster.spellIndex, 0);
    ASSERT_EQ(first->recordCount, 2u);
    EXPECT_STREQ(first->animName, "Cast01");
    EXPECT_EQ(first->animWord, 11u);
    EXPECT_EQ(first->wordB, 22u);
    EXPECT_EQ(first->records[0].type, 3u) << "in list order: the sound template first";
    EXPECT_STREQ(first->records[0].soundName, "Beep");
    EXPECT_EQ(first->records[1].type, 0u);
    EXPECT_FLOAT_EQ(first->records[1].basePosition[2], 3.0f);

    ASSERT_TRUE(CastSpell(0, SpellDefinitions, &caster, 1, nullptr));
    SpellInstance* second = caster.effectBlock;
    EXPECT_EQ(second, &Spells.instances[1]);
    EXPECT_EQ(second->animName, nullptr);
    EXPECT_EQ(second->animWord, 0u);
    ASSERT_EQ(second->recordCount, 1u);
    EXPECT_EQ(second->records[0].type, 4u);
    EXPECT_FLOAT_EQ(second->records[0].basePosition[0], 5.0f) << "the caster's position";

    // Any other list takes a slot and makes no effect.
    ASSERT_TRUE(CastSpell(0, SpellDefinitions, &caster, 2, nullptr));
    EXPECT_EQ(caster.effectBlock, &Spells.instances[2]);
    EXPECT_EQ(caster.effectBlock->recordCount, 0u);
    EXPECT_EQ(caster.effectBlock->animName, nullptr);
    // A spell with an empty list still becomes the caster's.
    ASSERT_TRUE(CastSpell(1, SpellDefinitions, &caster, 1, nullptr));
    EXPECT_EQ(caster.spellIndex, 1);
    EXPECT_EQ(caster.effectBlock->recordCount, 0u);
}

TEST_F(Casting, TemplatesTheTableLacksAreSkipped) {
    Spells.definitions[0].firstList = {5, 0, -1, 2};
    NztBaseObject caster;
    ASSERT_TRUE(CastSpell(0, SpellDefinitions, &caster, 0, nullptr));
    const SpellInstance* r = caster.effectBlock;
    ASSERT_EQ(r->recordCount, 4u);
    EXPECT_EQ(r->records[0].type, SpellEffectSkipped);
    EXPECT_EQ(r->records[1].type, 0u);
    EXPECT_EQ(r->records[2].type, SpellEffectSkipped) << "a negative index reads nothing";
    EXPECT_EQ(r->records[3].type, 3u);
}

TEST_F(Casting, TheRingIsReusedAndItsOldHolderLetsGo) {
    NztBaseObject first, other;
    ASSERT_TRUE(CastSpell(0, SpellDefinitions, &first, 0, nullptr));
    SpellInstance* held = first.effectBlock;
    for (int i = 0; i < 63; ++i) ASSERT_TRUE(CastSpell(1, SpellDefinitions, &other, 0, nullptr));
    EXPECT_EQ(first.effectBlock, held) << "64 casts fit in the ring";
    ASSERT_TRUE(CastSpell(1, SpellDefinitions, &other, 0, nullptr));
    EXPECT_EQ(other.effectBlock, held) << "the 65th cast reuses the first instance";
    EXPECT_EQ(first.effectBlock, nullptr) << "the first caster no longer points at it";
    EXPECT_EQ(first.spellIndex, 0);
    // A caster casting again on its own instance keeps it.
    for (int i = 0; i < 64; ++i) ASSERT_TRUE(CastSpell(1, SpellDefinitions, &other, 0, nullptr));
    EXPECT_EQ(other.effectBlock, held);
}

TEST_F(Casting, TemplateFieldsMapOntoTheEffectRecord) {
    SpellSfxRecord t;
    std::memset(&t, 0, sizeof t);
    t.kind = 1;
    std::strcpy(t.text1, "Sparks");
    t.value1 = 1.5f;
    std::strcpy(t.text2, "Boom");
    t.word1 = 7;
    t.values[0] = 2.0f;
    t.values[1] = 3.0f;
    t.values[2] = -4.0f;
    t.text3Present = 1;
    std::strcpy(t.text3, "Rock1001");
    std::strcpy(t.text4, "Spin");  // not present: copied empty
    t.word2 = 1;
    t.text6Present = 1;
    std::strcpy(t.text5, "Five");
    std::strcpy(t.text6, "Six");
    t.origin[0] = 2;
    t.origin[1] = 5;
    t.origin[2] = 1;
    t.origin[3] = 1;
    t.offset[1] = 6.0f;
    t.launch[0] = 1;
    t.launch[1] = 0;
    t.launch[2] = 9;
    t.launch[3] = 1;
    t.launchVector[2] = 8.0f;
    for (uint32_t i = 0; i < 5; ++i) t.words[i] = 100 + i;
    t.unused568 = 55;
    t.value2 = 0.25f;
    t.value3 = 0.5f;
    std::strcpy(t.text7, "Hurt01");
    t.word3 = 1;
    t.word4 = 1;
    const float at[3] = {1.0f, 2.0f, 3.0f};
    SpellEffect e;
    std::memset(&e, 0xAB, sizeof e);
    FillSpellEffect(e, t, at);
    EXPECT_EQ(e.type, 1u);
    EXPECT_STREQ(e.sfxName, "Sparks");
    EXPECT_FLOAT_EQ(e.duration, 1.5f);
    EXPECT_STREQ(e.soundName, "Boom");
    EXPECT_EQ(e.soundChannel, 7);
    EXPECT_FLOAT_EQ(e.amount, 2.0f);
    EXPECT_FLOAT_EQ(e.effectRadius, 3.0f);
    EXPECT_FLOAT_EQ(e.lifeChange, -4.0f);
    EXPECT_STREQ(e.typeName, "Rock1001");
    EXPECT_STREQ(e.animName, "");
    EXPECT_EQ(e.animLoops, 1);
    EXPECT_STREQ(e.names[0], "");
    EXPECT_STREQ(e.names[1], "Six");
    EXPECT_FLOAT_EQ(e.basePosition[1], 2.0f);
    EXPECT_EQ(e.originKind, 2u);
    EXPECT_EQ(e.attachPoint, 3) << "stored two above";
    EXPECT_EQ(e.followPointObject, 1);
    EXPECT_EQ(e.followOwner, 1);
    EXPECT_FLOAT_EQ(e.offset[1], 6.0f);
    EXPECT_EQ(e.launchMode, 1u);
    EXPECT_EQ(e.targetPoint, -2);
    EXPECT_EQ(e.word1, 9);
    EXPECT_EQ(e.orient, 1);
    EXPECT_FLOAT_EQ(e.launchVector[2], 8.0f);
    EXPECT_EQ(e.cameraOrigin, 100);
    EXPECT_EQ(e.characterAnimMode, 101u);
    EXPECT_EQ(e.spellWords[0], 102);
    EXPECT_EQ(e.spellWords[2], 104);
    EXPECT_EQ(e.spellWords[3], 0) << "the word at 568 is not copied";
    EXPECT_FLOAT_EQ(e.spellFloats[0], 0.25f);
    EXPECT_FLOAT_EQ(e.spellFloats[1], 0.5f);
    EXPECT_STREQ(e.characterAnimName, "Hurt01");
    EXPECT_EQ(e.callbackFlag, 1);
    EXPECT_EQ(e.aimFlag, 1);
    EXPECT_FLOAT_EQ(e.worldLaunch[0], 0.0f);
    EXPECT_FLOAT_EQ(e.gravity[1], -1.0f);
    EXPECT_FLOAT_EQ(e.gravityScale, 1.0f);
    EXPECT_FLOAT_EQ(e.drag, 0.0f);
    EXPECT_FLOAT_EQ(e.bounce, 1.0f);
    EXPECT_EQ(e.maxBounces, 0);

    // A sound-only template copies the kind, the position, its channel and its sound name.
    t.kind = 3;
    FillSpellEffect(e, t, at);
    EXPECT_EQ(e.type, 3u);
    EXPECT_STREQ(e.soundName, "Boom");
    EXPECT_EQ(e.soundChannel, 7);
    EXPECT_FLOAT_EQ(e.basePosition[2], 3.0f);
    EXPECT_STREQ(e.sfxName, "");
    EXPECT_FLOAT_EQ(e.duration, 0.0f);
    EXPECT_EQ(e.callbackFlag, 0);
}

class SpellLoading : public Casting {
protected:
    void SetUp() override {
        Casting::SetUp();
        ASSERT_FALSE(temp.path().empty());
        ASSERT_TRUE(SetDataFolder(temp.path().c_str()));
    }
    bool Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::filesystem::create_directories(temp.path() + "SPELL");
        return datakit::WriteFileBytes(temp.path() + "SPELL/" + name, bytes);
    }
    TempFolder temp;
};

TEST_F(SpellLoading, ReloadingReplacesBothTablesAndForgetsOldPointers) {
    datakit::SpellDefSpec defs = SampleDefs();
    defs.entries.emplace_back();
    defs.entries.back().name = "Third";
    ASSERT_TRUE(Write("Spell.Def", datakit::MakeSpellDef(defs)));
    ASSERT_TRUE(Write("Spell.Sfx", datakit::MakeSpellSfx(SampleSfx())));
    NztBaseObject caster;
    ASSERT_TRUE(CastSpell(0, SpellDefinitions, &caster, 0, nullptr));
    ASSERT_NE(caster.effectBlock->animName, nullptr);

    ASSERT_TRUE(ReloadSpells());
    EXPECT_EQ(Spells.definitions.size(), 3u);
    EXPECT_EQ(Spells.templates.size(), 3u);
    EXPECT_EQ(caster.effectBlock->animName, nullptr) << "the old definitions are gone";
    EXPECT_EQ(caster.effectBlock->templateList, nullptr);

    // A refused definition file keeps what was loaded; a reload with it leaves both tables empty.
    datakit::SpellDefSpec bad = SampleDefs();
    bad.version = 10006;
    ASSERT_TRUE(Write("Spell.Def", datakit::MakeSpellDef(bad)));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(LoadSpellDefinitions());
    EXPECT_EQ(Spells.definitions.size(), 3u);
    EXPECT_FALSE(ReloadSpells());
    ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(Spells.definitions.empty());
    EXPECT_TRUE(Spells.templates.empty());
    EXPECT_FALSE(CastSpell(0, SpellDefinitions, &caster, 0, nullptr));
}

TEST_F(Casting, FreeingLetsEveryHolderGo) {
    NztBaseObject caster;
    ASSERT_TRUE(CastSpell(0, SpellDefinitions, &caster, 0, nullptr));
    ASSERT_NE(SpellCaster, nullptr);
    FreeSpells();
    EXPECT_EQ(caster.effectBlock, nullptr);
    EXPECT_EQ(Spells.instances, nullptr);
    EXPECT_EQ(SpellCaster, nullptr);
    EXPECT_FALSE(CastSpell(0, SpellDefinitions, &caster, 0, nullptr)) << "no ring, no cast";
}

}  // namespace

namespace {

// The frames an animation passes cast their spells on the object that plays it.
TEST_F(Casting, AnimationFramesCastTheirSpells) {
    const CNztCamera savedCamera = MainCamera;
    const auto savedState = CameraState;
    CameraState.shakeTime = -1.0f;
    NztAnim anim;
    anim.Frames.resize(4);
    anim.Frames[2].FrameValue = 1;  // "Quake": a camera shake at the cast point
    NztBaseObject object;
    object.currentAnim = &anim;
    object.firstDueFrame = 0;
    object.currentFrame = 2;
    CastFrameSpells(&object);
    EXPECT_EQ(object.effectBlock, nullptr) << "frame 2 is not passed yet";
    object.firstDueFrame = 1;
    object.currentFrame = 3;
    CastFrameSpells(&object);
    ASSERT_NE(object.effectBlock, nullptr);
    EXPECT_EQ(object.spellIndex, 1);
    EXPECT_FLOAT_EQ(CameraState.shakeTime, 0.6f);
    object.currentAnim = nullptr;
    MainCamera = savedCamera;
    CameraState = savedState;
}

}  // namespace
