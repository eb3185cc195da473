#include <gtest/gtest.h>

#include <cmath>

#include "audio/openal.h"
#include "audio/sound.h"
#include "audio/volume.h"

namespace {

// Stand-ins for world objects: the table only compares owner pointers.
NztBase3D* Owner(uintptr_t n) { return reinterpret_cast<NztBase3D*>(n * 64); }

class SoundTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(SoundSystemActive());
        InitSound();
        SoundVolume = 1.0f;
        MasterSoundFade = {};
    }
    void TearDown() override {
        DeleteAllSounds();
        SoundVolume = 1.0f;
    }
};

TEST_F(SoundTableTest, SlotsAreHandedOutInOrderThenReused) {
    for (int i = 0; i < HandedOutSlotCount; ++i) ASSERT_EQ(ChooseSoundSlot(), i);
    EXPECT_EQ(SoundTable.count, 1024u);

    // Full: the highest slot without an owner is taken first.
    for (int i = 0; i < HandedOutSlotCount; ++i) SoundTable.slots[i].owner = Owner(1);
    SoundTable.slots[10].owner = nullptr;
    SoundTable.slots[700].owner = nullptr;
    EXPECT_EQ(ChooseSoundSlot(), 700);

    // Every slot owned: the lowest that has been played, else slot 0.
    SoundTable.slots[10].owner = Owner(2);
    SoundTable.slots[700].owner = Owner(2);
    EXPECT_EQ(ChooseSoundSlot(), 0);
    SoundTable.slots[900].playCount = 3;
    SoundTable.slots[400].playCount = 1;
    EXPECT_EQ(ChooseSoundSlot(), 400);
    EXPECT_EQ(SoundTable.count, 1024u);
}

TEST_F(SoundTableTest, PitchIsClamped) {
    const std::pair<float, float> cases[] = {{3.0f, 2.0f}, {2.0f, 2.0f},  {1.99f, 1.99f}, {1.0f, 1.0f},
                                             {0.51f, 0.51f}, {0.5f, 0.5f}, {0.1f, 0.5f},   {-4.0f, 0.5f},
                                             {NAN, 2.0f}};
    for (const auto& [asked, played] : cases) EXPECT_EQ(ClampSoundPitch(asked), played) << asked;
}

// Without a sound device nothing loads, and no operation trips over a failed or wild index.
TEST_F(SoundTableTest, SilentTableIgnoresFailedAndWildIndices) {
    const float at[3] = {1, 2, 3};
    EXPECT_EQ(LoadSound("SOUNDS/Beep.Wav", Owner(1)), NoSoundSlot);
    EXPECT_EQ(SoundTable.count, 0u) << "a failed load takes no slot";
    EXPECT_EQ(PlayOwnerSound("SOUNDS/Beep.Wav", Owner(1), 0), NoSoundSlot);
    EXPECT_EQ(LoadAndPlaySoundAt("SOUNDS/Beep.Wav", 5000, at), NoSoundSlot);
    for (int index : {NoSoundSlot, -77, SoundSlotCount, 1 << 30}) {
        EXPECT_EQ(PlaySoundSlot(index, at, 1), NoSoundSlot) << index;
        EXPECT_EQ(PlaySoundSlotAtListener(index, 0), NoSoundSlot) << index;
        SetSoundGain(index, 0.3f);
        AddSoundGain(index, 0.3f);
        SetSoundPitch(index, 1.5f);
        EXPECT_EQ(LoadSoundSlot(nullptr, index, "SOUNDS/Beep.Wav"), NoSoundSlot) << index;
    }
    SetSoundGain(1055, 0.25f);
    AddSoundGain(1055, 0.25f);
    EXPECT_EQ(SoundTable.slots[1055].gain, 0.5f);
    for (const SoundSlot& slot : SoundTable.slots) EXPECT_EQ(slot.playCount, 0u);
}

TEST_F(SoundTableTest, StopOwnerSoundsForgetsOnlyThatOwnersSlots) {
    SoundTable.count = 3;
    for (int i : {0, 1, 2, 1030}) {
        SoundTable.slots[i].nameKey = 100u + static_cast<uint32_t>(i);
        SoundTable.slots[i].playCount = 2;
        SoundTable.slots[i].owner = i == 1 ? Owner(2) : Owner(1);
    }
    StopOwnerSounds(Owner(1));
    for (int i : {0, 2, 1030}) {
        EXPECT_EQ(SoundTable.slots[i].owner, nullptr) << i;
        EXPECT_EQ(SoundTable.slots[i].nameKey, 0u) << i;
        EXPECT_EQ(SoundTable.slots[i].playCount, 0u) << i;
    }
    EXPECT_EQ(SoundTable.slots[1].owner, Owner(2));
    EXPECT_EQ(SoundTable.slots[1].nameKey, 101u);
}

TEST_F(SoundTableTest, ResetSoundGainsResetsTheFirst32Slots) {
    for (SoundSlot& slot : SoundTable.slots) slot.gain = 0.25f;
    ResetSoundGains();
    for (int i = 0; i < SoundSlotCount; ++i) EXPECT_EQ(SoundTable.slots[i].gain, i < 32 ? 1.0f : 0.25f) << i;
}

// The master fade, one call per 0.1 s tick: how many ticks until it settles, and where.
TEST_F(SoundTableTest, MasterFadeCountsTicks) {
    struct Case {
        const char* what;
        float from;
        uint32_t state;  // set directly for the states other code starts
        uint32_t steps;
        float target;
        int ticks;
        float end;
    };
    const Case cases[] = {
        {"fall over 10", 1.0f, 0, 10, 0.5f, 10, 0.5f},
        {"rise over 4", 0.2f, 0, 4, 1.0f, 4, 1.0f},
        {"rise over 3 in thirds", 0.0f, 0, 3, 1.0f, 3, 1.0f},
        {"no steps: at once", 1.0f, 0, 0, 0.3f, 0, 0.3f},
        {"same target: at once", 0.7f, 0, 8, 0.7f, 0, 0.7f},
    };
    for (const Case& c : cases) {
        SoundVolume = c.from;
        MasterSoundFade = {};
        FadeMasterSound(c.steps, c.target);
        EXPECT_EQ(SoundVolume, c.target) << c.what << ": the setting takes the target at once";
        int ticks = 0;
        while (MasterSoundFade.state != FadeNone && ticks < 1000) {
            ++ticks;
            UpdateMasterSoundFade();
        }
        EXPECT_EQ(ticks, c.ticks) << c.what;
        EXPECT_EQ(MasterSoundGain, c.end) << c.what;
    }
}

TEST_F(SoundTableTest, FadeOutToSilenceStopsEverySoundThenRestoresTheSetting) {
    SoundVolume = 0.8f;
    SoundTable.count = 2;
    SoundTable.slots[1].nameKey = 5;
    MasterSoundFade = {0.8f, 0.2f, FadeOutAndStop};
    for (int tick = 1; tick <= 3; ++tick) {
        UpdateMasterSoundFade();
        EXPECT_NEAR(MasterSoundGain, 0.8f - 0.2f * tick, 1e-6) << tick;
    }
    UpdateMasterSoundFade();
    EXPECT_EQ(MasterSoundFade.state, uint32_t{FadeNone});
    EXPECT_EQ(MasterSoundGain, 0.8f);
    EXPECT_EQ(SoundTable.count, 0u) << "all sounds deleted";
    EXPECT_EQ(SoundTable.slots[1].nameKey, 0u);
}

}  // namespace
