// The character record and the wheel records: the writer's bytes read back, applied with their
// clamps, filled from the character and written again; malformed input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "character/record.h"
#include "core/binio.h"
#include "datakit/character.h"
#include "fixture.h"

namespace {

using Records = CharacterWorld;

std::vector<uint8_t> Written(const CharacterRecord& c) {
    std::vector<uint8_t> out;
    BinWriter w(out);
    WriteCharacterRecord(w, c);
    return out;
}

// A character whose mesh has the given number of bones.
struct Boned {
    explicit Boned(uint32_t bones) {
        mesh.MaxBoneCount = mesh.LargestBoneCount = bones;
        e.mesh = &mesh;
    }
    ~Boned() { e.mesh = nullptr; }
    NztMesh mesh;
    NztEntity e;
};

// Little-endian words written at their offsets by hand, independent of any writer's field order.
void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<uint8_t>(v >> (8 * k));
}
void PutF32(std::vector<uint8_t>& b, size_t at, float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    PutU32(b, at, u);
}

// Every field of the 160-byte record at its own offset, each value different from its default and
// from its neighbours: a shifted or swapped field lands in the wrong character field.
TEST_F(Records, EveryFieldSitsAtItsOffset) {
    std::vector<uint8_t> bytes(CharacterRecordSize, 0);
    std::memcpy(bytes.data(), "Sentry", 7);
    struct F32Field {
        size_t offset;
        float value;
        float NztEntity::*field;
    };
    const F32Field floats[] = {
        {32, 150.0f, &NztEntity::maxLife},       {36, 7.0f, &NztEntity::orderClockLimit},
        {72, 6.0f, &NztEntity::flyMinHeight},    {76, 600.0f, &NztEntity::flyMaxHeight},
        {80, 11.0f, &NztEntity::flyClimbRate},   {88, 3.0f, &NztEntity::swimDepth},
        {92, 41000.0f, &NztEntity::swimParam},   {96, 2.75f, &NztEntity::swimClimbRate},
        {104, 2.25f, &NztEntity::hangReach},     {112, 33.0f, &NztEntity::glideTurnRate},
        {116, 0.7f, &NztEntity::walkFactor},     {120, 1.3f, &NztEntity::runFactor},
        {124, 1.9f, &NztEntity::sprintFactor},   {140, 1.25f, &NztEntity::weight},
        {144, 0.06f, &NztEntity::turnSmoothing}, {148, 0.07f, &NztEntity::groundSpeedSmoothing},
        {152, 0.02f, &NztEntity::airSpeedSmoothing}, {156, 1.5f, &NztEntity::carrierSpeedSmoothing},
    };
    struct U32Field {
        size_t offset;
        uint32_t value;
        uint32_t NztEntity::*field;
    };
    const U32Field words[] = {{68, 1, &NztEntity::canFly},         {84, 0, &NztEntity::canSwim},
                              {100, 0, &NztEntity::canHang},       {128, 0, &NztEntity::groundControl},
                              {132, 1, &NztEntity::groundTilt},    {136, 4, &NztEntity::groundTiltAxes}};
    for (const F32Field& f : floats) PutF32(bytes, f.offset, f.value);
    for (const U32Field& f : words) PutU32(bytes, f.offset, f.value);
    PutF32(bytes, 40, 19.0f);   // type height
    PutF32(bytes, 44, 2.5f);    // size
    for (int k = 0; k < 5; ++k) PutF32(bytes, 48 + 4 * k, 11.0f + static_cast<float>(k));
    PutU32(bytes, 108, static_cast<uint32_t>(-3));  // hang point, signed

    BinReader r(bytes.data(), bytes.size());
    CharacterRecord record;
    ASSERT_TRUE(ReadCharacterRecord(r, &record));
    Boned boned(14);
    NztEntity& e = boned.e;
    e.ApplyCharacterRecord(record);
    EXPECT_STREQ(e.name, "Sentry");
    for (const F32Field& f : floats) EXPECT_FLOAT_EQ(e.*(f.field), f.value) << "offset " << f.offset;
    for (const U32Field& f : words) EXPECT_EQ(e.*(f.field), f.value) << "offset " << f.offset;
    EXPECT_FLOAT_EQ(e.life, 150.0f);
    EXPECT_FLOAT_EQ(e.probeBlock.typeHeight, 19.0f);
    EXPECT_FLOAT_EQ(e.size, 2.5f);
    EXPECT_FLOAT_EQ(e.probeBlock.baseSize, 2.5f);
    for (int k = 0; k < 5; ++k) {
        EXPECT_FLOAT_EQ(e.radii[k], 11.0f + static_cast<float>(k)) << k;
        EXPECT_FLOAT_EQ(e.radiiSquared[k], (11.0f + static_cast<float>(k)) * (11.0f + static_cast<float>(k))) << k;
    }
    EXPECT_EQ(e.hangPoint, -3);
    // Filled back from the character and written, the bytes are the same.
    CharacterRecord filled;
    e.FillCharacterRecord(filled);
    EXPECT_EQ(Written(filled), bytes);
}

// The 16-byte wheel record: s32 attach point at 0, s32 bone at 4, f32 travel at 8, f32 offset at 12.
TEST_F(Records, TheWheelRecordFieldsSitAtTheirOffsets) {
    std::vector<uint8_t> bytes(EntityBoneRecordSize, 0);
    PutU32(bytes, 0, static_cast<uint32_t>(-1));
    PutU32(bytes, 4, 3);
    PutF32(bytes, 8, 0.4f);
    PutF32(bytes, 12, 7.0f);
    BinReader r(bytes.data(), bytes.size());
    EntityBoneRecord record;
    ASSERT_TRUE(ReadBoneRecord(r, &record));
    EXPECT_EQ(record.point, -1);
    EXPECT_EQ(record.bone, 3);
    EXPECT_FLOAT_EQ(record.travel, 0.4f);
    EXPECT_FLOAT_EQ(record.offset, 7.0f);
    std::vector<uint8_t> out;
    BinWriter w(out);
    WriteBoneRecord(w, record);
    EXPECT_EQ(out, bytes);
}

TEST_F(Records, RoundTripThroughTheWriterTheReaderAndTheCharacter) {
    datakit::CharacterRecordSpec spec;
    spec.name = "Guard";
    spec.maxLife = 150.0f;
    spec.size = 2.5f;
    spec.radius[0] = 40.0f;
    spec.radius[4] = 3.0f;
    spec.canFly = 1;
    spec.hangPoint = -1;
    spec.walkFactor = 0.8f;
    spec.groundTilt = 1;
    spec.carrierSpeedSmoothing = 1.5f;
    const std::vector<uint8_t> bytes = datakit::MakeCharacterRecord(spec);
    ASSERT_EQ(bytes.size(), CharacterRecordSize);
    BinReader r(bytes.data(), bytes.size());
    CharacterRecord record;
    ASSERT_TRUE(ReadCharacterRecord(r, &record));
    Boned boned(14);
    boned.e.ApplyCharacterRecord(record);
    EXPECT_STREQ(boned.e.name, "Guard");
    EXPECT_FLOAT_EQ(boned.e.life, 150.0f);
    EXPECT_FLOAT_EQ(boned.e.invMaxLife, 1.0f / 150.0f);
    EXPECT_FLOAT_EQ(boned.e.radiiSquared[0], 1600.0f);
    EXPECT_FLOAT_EQ(boned.e.radiiSquared[4], 9.0f);
    EXPECT_EQ(boned.e.hangPoint, -1);
    EXPECT_EQ(boned.e.canFly, 1u);
    CharacterRecord filled;
    boned.e.FillCharacterRecord(filled);
    EXPECT_EQ(Written(filled), bytes);
}

TEST_F(Records, ApplyClampsAndTheBoneTest) {
    struct Case {
        const char* what;
        void (*edit)(CharacterRecord&);
        uint32_t bones;
        void (*check)(const NztEntity&);
    };
    const Case cases[] = {
        {"negative life", [](CharacterRecord& c) { c.maxLife = -5.0f; }, 14,
         [](const NztEntity& e) {
             EXPECT_EQ(e.life, 0.0f);
             EXPECT_EQ(e.maxLife, 0.0f);
             EXPECT_EQ(e.invMaxLife, 0.0f);
         }},
        {"size 0", [](CharacterRecord& c) { c.size = 0.0f; }, 14,
         [](const NztEntity& e) {
             EXPECT_FLOAT_EQ(e.size, 0.1f);
             EXPECT_FLOAT_EQ(e.probeBlock.baseSize, 0.1f);
         }},
        {"smoothing above and below", [](CharacterRecord& c) {
             c.turnSmoothing = 1.5f;
             c.groundSpeedSmoothing = -0.2f;
             c.carrierSpeedSmoothing = 3.0f;
         }, 14,
         [](const NztEntity& e) {
             EXPECT_EQ(e.turnSmoothing, 1.0f);
             EXPECT_EQ(e.groundSpeedSmoothing, 0.0f);
             EXPECT_EQ(e.carrierSpeedSmoothing, 2.0f);
         }},
        {"weight not a number", [](CharacterRecord& c) { c.weight = std::numeric_limits<float>::quiet_NaN(); }, 14,
         [](const NztEntity& e) { EXPECT_FLOAT_EQ(e.weight, 0.0001f); }},
        {"one bone forces the mode flags off", [](CharacterRecord& c) { c.canFly = c.canSwim = c.groundTilt = 1; }, 1,
         [](const NztEntity& e) {
             EXPECT_EQ(e.canFly, 0u);
             EXPECT_EQ(e.canSwim, 0u);
             EXPECT_EQ(e.groundTilt, 0u);
             CharacterRecord filled;
             e.FillCharacterRecord(filled);
             EXPECT_EQ(filled.canFly, 0u);
             EXPECT_EQ(filled.canSwim, 0u);
             EXPECT_EQ(filled.groundTilt, 0u);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CharacterRecord record;
        c.edit(record);
        Boned boned(c.bones);
        boned.e.ApplyCharacterRecord(record);
        c.check(boned.e);
    }
}

TEST_F(Records, FillThenApplyRestoresFullLife) {
    Boned boned(14);
    boned.e.SetMaxLife(80.0f);
    boned.e.life = 20.0f;
    CharacterRecord record;
    boned.e.FillCharacterRecord(record);
    boned.e.ApplyCharacterRecord(record);
    EXPECT_FLOAT_EQ(boned.e.life, 80.0f);
}

TEST_F(Records, MalformedInput) {
    const std::vector<uint8_t> sound = datakit::MakeCharacterRecord({});
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool read;
    };
    std::vector<uint8_t> unterminated = sound;
    std::memset(unterminated.data(), 'A', 32);
    const Case cases[] = {
        {"empty", {}, false},
        {"one byte short", std::vector<uint8_t>(sound.begin(), sound.end() - 1), false},
        {"a name without its terminator", unterminated, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BinReader r(c.bytes.data(), c.bytes.size());
        CharacterRecord record;
        std::strcpy(record.name, "kept");
        EXPECT_EQ(ReadCharacterRecord(r, &record), c.read);
        if (c.read) {
            EXPECT_EQ(std::strlen(record.name), 31u);
        } else {
            EXPECT_STREQ(record.name, "kept");
        }
    }
    // Wheel records: 16 bytes or nothing.
    const std::vector<uint8_t> wheel = datakit::MakeBoneRecord({3, 2, 0.25f, 9.0f});
    ASSERT_EQ(wheel.size(), EntityBoneRecordSize);
    BinReader whole(wheel.data(), wheel.size());
    EntityBoneRecord b;
    ASSERT_TRUE(ReadBoneRecord(whole, &b));
    EXPECT_EQ(b.point, 3);
    EXPECT_EQ(b.bone, 2);
    EXPECT_FLOAT_EQ(b.travel, 0.25f);
    BinReader shortOne(wheel.data(), wheel.size() - 1);
    EXPECT_FALSE(ReadBoneRecord(shortOne, &b));
}

TEST_F(Records, WheelRecordsNeedTheirBoneAndCapTheTravelOnce) {
    Boned boned(4);
    struct Case {
        EntityBoneRecord record;
        int32_t added;
        float cap;
    };
    const Case cases[] = {
        {{0, 3, 0.8f, 5.0f}, 1, 0.5f},   // capped at 0.5; the offset starts at 0
        {{-1, 1, 0.3f, 0.0f}, 1, 0.3f},  // a point outside the points is the position
        {{0, 4, 0.1f, 0.0f}, 0, 0.3f},   // no bone 4
        {{0, -1, 0.1f, 0.0f}, 0, 0.3f},
        {{0, 2, -1.0f, 0.0f}, 1, 0.0f},  // a negative travel holds the wheel still
    };
    for (const Case& c : cases) {
        EXPECT_EQ(boned.e.AddBoneRecord(c.record), c.added) << c.record.bone;
        EXPECT_FLOAT_EQ(boned.e.travelCap, c.cap) << c.record.bone;
    }
    ASSERT_EQ(boned.e.boneRecords.size(), 3u);
    EXPECT_EQ(boned.e.boneRecords[0].offset, 0.0f);
    EXPECT_FLOAT_EQ(boned.e.boneRecords[0].travel, 0.8f);
}

}  // namespace
