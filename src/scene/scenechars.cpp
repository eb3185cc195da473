// The character state a scene stores: the character record, the speed factor, the two record
// lists, the player's life block, and the reset of the player before a scene takes it over.
#include <algorithm>
#include <cstring>

#include "character/entity.h"
#include "character/record.h"
#include "core/binio.h"
#include "scene/sceneevents.h"
#include "model/mesh.h"

void ApplySceneCharacterRecord(NztEntity* entity, const uint8_t* bytes) {
    BinReader in(bytes, SceneCharacterRecordBytes);
    CharacterRecord record;
    if (ReadCharacterRecord(in, &record)) entity->ApplyCharacterRecord(record);
}

void CaptureSceneCharacterRecord(const NztEntity* entity, uint8_t* bytes) {
    CharacterRecord record;
    entity->FillCharacterRecord(record);
    std::vector<uint8_t> out;
    BinWriter w(out);
    WriteCharacterRecord(w, record);
    out.resize(SceneCharacterRecordBytes);
    std::memcpy(bytes, out.data(), SceneCharacterRecordBytes);
}

void ApplySceneSpeedFactor(NztEntity* entity, float factor) {
    entity->speedFactor = factor;
    entity->speedFactorTarget = factor;
}

float CaptureSceneSpeedFactor(const NztEntity* entity) { return entity->speedFactor; }

void ApplySceneRecordLists(NztEntity* entity, const SceneRecordLists& lists) {
    const uint32_t bones = entity->mesh != nullptr ? entity->mesh->BoneCount : 0;
    // A bone index the character's mesh does not have is left out.
    for (uint32_t bone : lists.first)
        if (bone < bones) entity->steeringBones.push_back(bone);
    for (const auto& bytes : lists.bones) {
        BinReader in(bytes.data(), bytes.size());
        EntityBoneRecord record;
        if (ReadBoneRecord(in, &record)) entity->AddBoneRecord(record);
    }
}

void CaptureSceneRecordLists(const NztEntity* entity, SceneRecordLists* out) {
    *out = SceneRecordLists();
    out->first = entity->steeringBones;
    for (const EntityBoneRecord& record : entity->boneRecords) {
        std::vector<uint8_t> bytes;
        BinWriter w(bytes);
        WriteBoneRecord(w, record);
        std::array<uint8_t, SceneBoneRecordBytes> stored{};
        std::memcpy(stored.data(), bytes.data(), std::min(bytes.size(), stored.size()));
        out->bones.push_back(stored);
    }
}

// The life block: life within [0, maximum], the air reserve within [0, 200], and the dead word.
void ApplyScenePlayerLife(NztEntity* player, float life, float reserve, uint32_t stateWord) {
    player->SetLife(life);
    player->reserve = std::clamp(reserve, 0.0f, 200.0f);
    player->dead = stateWord;
}

void CaptureScenePlayerLife(const NztEntity* player, float* life, float* reserve, uint32_t* stateWord) {
    *life = player->life;
    *reserve = player->reserve;
    *stateWord = player->dead;
}

void ResetScenePlayerState(NztEntity* player) {
    player->riddenEntity = nullptr;
    player->ResetLinkSlots();
    player->verticalVelocity = 0.0f;
    player->forwardSpeed = 0.0f;
    std::fill(player->motion, player->motion + 3, Vec3{0.0f, 0.0f, 0.0f});
    // No glide, slide, parachute or sky dive goes on into the new scene, and no tilt of the ground.
    player->ResetMotion();
    player->groundPitch = player->groundRoll = 0;
    player->previousGroundPitch = player->previousGroundRoll = 0;
}
