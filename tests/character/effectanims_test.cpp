// The object effects that act on characters and sounds: the character-animation effect (who plays
// it, turning to face the caster, the busy character's layer, the way back to a standing pose) and
// the sound-only effect.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_fixture.h"
#include "audio/openal.h"
#include "audio/sound.h"
#include "character/entity.h"
#include "character/fixture.h"
#include "character/objeffects.h"
#include "character/spell.h"
#include "core/paths.h"
#include "datakit/wav.h"
#include "effects/dynobject.h"
#include "model/anim.h"
#include "model/mesh.h"

namespace {

constexpr const char* kEffectAnim = "Action01";

// A mesh whose slots hold short animations by name; the others are known to be missing.
class AnimMesh {
public:
    explicit AnimMesh(bool fightStatic) {
        mesh.Skinned = 1;
        mesh.AnimSlots.assign(AnimNameCount, nullptr);
        mesh.AnimSlotFlags.assign(AnimNameCount, 1);
        Add("MoveStatic01");
        Add(kEffectAnim);
        if (fightStatic) Add("FightStatic");
    }
    NztAnim* Add(const char* name) {
        const int32_t slot = FindAnimSlot(name);
        EXPECT_GE(slot, 0) << name;
        auto a = std::make_unique<NztAnim>();
        a->FrameCount = 4;
        a->Frames.resize(4);
        mesh.AnimSlots[static_cast<size_t>(slot)] = a.get();
        anims.push_back(std::move(a));
        return anims.back().get();
    }
    NztAnim* Get(const char* name) { return mesh.AnimSlots[static_cast<size_t>(FindAnimSlot(name))]; }
    NztMesh mesh;
    std::vector<std::unique_ptr<NztAnim>> anims;
};

class CharacterEffects : public CharacterWorld {
protected:
    void TearDown() override {
        for (uint32_t i = 0; i < EntityCount; ++i)
            if (EntityList[i] != nullptr) EntityList[i]->mesh = nullptr;
        caster.effectBlock = nullptr;
        CharacterWorld::TearDown();
    }
    NztEntity* Character(AnimMesh& with, float x, float z) {
        NztEntity* e = CreateEntity(nullptr);
        e->mesh = &with.mesh;
        e->layers.resize(AnimLayerCount);
        e->Position[0] = x;
        e->Position[2] = z;
        return e;
    }
    static SpellEffect AnimEffect(uint32_t origin) {
        SpellEffect r{};
        r.type = 2;
        r.originKind = origin;
        r.characterAnimMode = 4;
        r.soundChannel = -1;
        std::snprintf(r.characterAnimName, sizeof r.characterAnimName, "%s", kEffectAnim);
        return r;
    }
    // Runs the records as the effects of `object`, with `listed` as the spell's listed objects.
    void Run(NztBaseObject* object, std::vector<SpellEffect> records, std::vector<NztBase3D*> listed = {},
             NztDynObject* projectile = nullptr) {
        held = std::move(records);
        listedHeld = std::move(listed);
        instance = SpellInstance{};
        instance.records = held.data();
        instance.recordCount = static_cast<uint32_t>(held.size());
        instance.listedObjects = listedHeld.empty() ? nullptr : listedHeld.data();
        instance.listedCount = static_cast<uint32_t>(listedHeld.size());
        object->effectBlock = &instance;
        RunObjectEffects(object, projectile);
        object->effectBlock = nullptr;
    }
    static float Heading(const NztEntity* e) { return std::atan2(e->rotation[6], e->rotation[8]); }

    AnimMesh fighter{true}, plain{false};
    NztBaseObject caster;
    SpellInstance instance{};
    std::vector<SpellEffect> held;
    std::vector<NztBase3D*> listedHeld;
};

// Who plays the effect's animation, by origin kind, and the pose each returns to afterwards.
TEST_F(CharacterEffects, TheAnimationPlaysOnTheCharacterTheOriginNames) {
    NztEntity* c = Character(fighter, 0.0f, 0.0f);
    NztEntity* t = Character(plain, 0.0f, 30.0f);
    NztEntity* l = Character(fighter, 30.0f, 0.0f);
    c->target = t;

    // Origin 0: the character itself; it returns to its "FightStatic".
    Run(c, {AnimEffect(0)});
    EXPECT_EQ(c->currentAnim, fighter.Get(kEffectAnim));
    EXPECT_EQ(c->nextAnim, fighter.Get("FightStatic"));
    EXPECT_EQ(t->currentAnim, nullptr);
    // Origin 1: its target, which has no "FightStatic" and returns to "MoveStatic01".
    Run(c, {AnimEffect(1)});
    EXPECT_EQ(t->currentAnim, plain.Get(kEffectAnim));
    EXPECT_EQ(t->nextAnim, plain.Get("MoveStatic01"));
    // Origin 2: each listed character; null entries are passed over.
    Run(c, {AnimEffect(2)}, {nullptr, l});
    EXPECT_EQ(l->currentAnim, fighter.Get(kEffectAnim));
    // Origin 3 and beyond name nobody.
    NztEntity* other = Character(fighter, 60.0f, 0.0f);
    c->target = other;
    Run(c, {AnimEffect(3), AnimEffect(7)}, {other});
    EXPECT_EQ(other->currentAnim, nullptr);
}

// The record is read only in animation mode 4 with a name; on an object that is not a character,
// origin 0 names nobody.
TEST_F(CharacterEffects, ARecordWithoutModeFourOrNameOrCharacterDoesNothing) {
    NztEntity* c = Character(fighter, 0.0f, 0.0f);
    SpellEffect otherMode = AnimEffect(0);
    otherMode.characterAnimMode = 3;
    SpellEffect noName = AnimEffect(0);
    noName.characterAnimName[0] = '\0';
    Run(c, {otherMode, noName});
    EXPECT_EQ(c->currentAnim, nullptr);
    // A name the character has no animation for: nothing either.
    SpellEffect unknown = AnimEffect(0);
    std::snprintf(unknown.characterAnimName, sizeof unknown.characterAnimName, "%s", "Action06");
    Run(c, {unknown});
    EXPECT_EQ(c->currentAnim, nullptr);
    // A plain object's effects reach no character with origin 0, its listed ones with origin 2.
    Run(&caster, {AnimEffect(0)});
    EXPECT_EQ(c->currentAnim, nullptr);
    Run(&caster, {AnimEffect(2)}, {c});
    EXPECT_EQ(c->currentAnim, fighter.Get(kEffectAnim));
}

// With origin 1 the target turns to face the casting character before its animation starts; a
// listed character faces it too; a plain object is faced by nobody.
TEST_F(CharacterEffects, TheTargetTurnsToFaceTheCasterFirst) {
    NztEntity* c = Character(fighter, 0.0f, 0.0f);
    NztEntity* t = Character(fighter, 40.0f, 0.0f);  // east of the caster, facing +z
    c->target = t;
    ASSERT_NEAR(Heading(t), 0.0f, 1e-3f);
    Run(c, {AnimEffect(1)});
    EXPECT_EQ(t->currentAnim, fighter.Get(kEffectAnim));
    // Facing west, towards the caster: a heading of minus a quarter turn.
    EXPECT_NEAR(Heading(t), -1.5707963f, 0.02f);
}

// A character already moving (non-zero speed word) that is not the player gets the effect as layer
// 4 over what it plays, at weight 0.5 (origins 0 and 1); only listed, it is passed over.
TEST_F(CharacterEffects, ABusyCharacterMixesTheEffectInAsALayerUnlessOnlyListed) {
    NztEntity* c = Character(fighter, 0.0f, 0.0f);
    NztEntity* busy = Character(fighter, 0.0f, 30.0f);
    NztAnim* walking = fighter.Add("MoveWalk");
    busy->BlendToAnim(walking, 0, nullptr, 0);
    busy->speedWord = 1;
    c->target = busy;
    Run(c, {AnimEffect(1)});
    EXPECT_EQ(busy->currentAnim, walking);
    EXPECT_EQ(busy->layers[4].Anim, fighter.Get(kEffectAnim));
    EXPECT_EQ(busy->layers[4].BlendMode, 4);
    EXPECT_FLOAT_EQ(busy->layers[4].Weight, 0.5f);
    EXPECT_EQ(busy->layers[4].Running, 1);

    NztEntity* listed = Character(fighter, 30.0f, 0.0f);
    listed->BlendToAnim(walking, 0, nullptr, 0);
    listed->speedWord = 1;
    Run(c, {AnimEffect(2)}, {listed});
    EXPECT_EQ(listed->currentAnim, walking);
    EXPECT_EQ(listed->layers[4].Anim, nullptr);
}

// The player's character plays the effect itself, its actions reset and its control word copied,
// even while it moves.
TEST_F(CharacterEffects, ThePlayerPlaysTheEffectAndDropsItsActions) {
    NztEntity* hero = Character(fighter, 0.0f, 0.0f);
    PlayerEntity = hero;
    hero->speedWord = 1;
    hero->controlWord = 3;
    hero->controlWordCopy = 0;
    Run(hero, {AnimEffect(0)});
    EXPECT_EQ(hero->currentAnim, fighter.Get(kEffectAnim));
    EXPECT_EQ(hero->layers[4].Anim, nullptr);
    EXPECT_EQ(hero->controlWordCopy, 3);
    EXPECT_EQ(hero->actionCount, 0);
}

// A character that hangs on another object, or that stands outside the effect radius of the
// projectile whose impact runs the effects, is passed over.
TEST_F(CharacterEffects, HangingCharactersAndThoseOutsideTheImpactRadiusArePassedOver) {
    NztEntity* c = Character(fighter, 0.0f, 0.0f);
    NztEntity* near = Character(fighter, 5.0f, 0.0f);
    NztEntity* far = Character(fighter, 50.0f, 0.0f);
    NztEntity* hanging = Character(fighter, 1.0f, 0.0f);
    hanging->parent = c;
    NztDynObject ball;
    ball.effectRadius = 10.0f;
    ball.effectRadiusSq = 100.0f;
    Run(c, {AnimEffect(2)}, {near, far, hanging}, &ball);
    EXPECT_EQ(near->currentAnim, fighter.Get(kEffectAnim));
    EXPECT_EQ(far->currentAnim, nullptr);
    EXPECT_EQ(hanging->currentAnim, nullptr);
    hanging->parent = nullptr;
}

// On a real (null) sound device: the sound-only effect with a name loads "SOUNDS/<name>.Wav" and plays it once
// at the object, in a slot of its own for channel -1, in slot 1024 + channel otherwise (the last
// slot for channel 31 and for any channel past it).
TEST(AudioEffectSounds, TheSoundEffectPlaysInItsOwnSlotOrItsChannel) {
    audiotest::UseNullDevice();
    audiotest::DataFolder folder;
    folder.Write("SOUNDS/Beep.Wav", datakit::Pcm16Wav(datakit::SineTone(22050, 1, 0.05, 880, 0.5, {}), 1, 22050));
    ASSERT_TRUE(StartSoundSystem());
    InitSound();
    NztBaseObject object;
    object.Position[0] = 5.0f;
    SpellInstance instance{};
    SpellEffect sound{};
    sound.type = 3;
    // No name: nothing is loaded.
    sound.soundChannel = -1;
    instance.records = &sound;
    instance.recordCount = 1;
    object.effectBlock = &instance;
    RunObjectEffects(&object, nullptr);
    EXPECT_EQ(SoundTable.slots[0].nameKey, 0u);
    std::snprintf(sound.soundName, sizeof sound.soundName, "%s", "Beep");
    const uint32_t key = NameChecksum("SOUNDS/Beep.Wav");
    struct Case {
        int32_t channel;
        int slot;
        uint32_t plays;
    };
    for (const Case c : {Case{-1, 0, 1}, Case{31, SoundSlotCount - 1, 1}, Case{40, SoundSlotCount - 1, 1}, Case{0, 1024, 1}}) {
        sound.soundChannel = c.channel;
        instance.records = &sound;
        instance.recordCount = 1;
        object.effectBlock = &instance;
        RunObjectEffects(&object, nullptr);
        object.effectBlock = nullptr;
        EXPECT_EQ(SoundTable.slots[c.slot].nameKey, key) << c.channel;
        EXPECT_EQ(SoundTable.slots[c.slot].playCount, c.plays) << c.channel;
    }
    DeleteAllSounds();
    StopSoundSystem();
}

}  // namespace
