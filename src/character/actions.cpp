// The action stack: up to ten member functions of the character run once per frame, the most
// recently pushed first, and the per-frame life step that chooses the action of the current
// animation.
#include <algorithm>

#include "character/animslots.h"
#include "character/entity.h"
#include "model/anim.h"
#include "model/mesh.h"

using namespace animslot;

namespace {

constexpr uint32_t EventLeftHold = 57;

}  // namespace

void NztEntity::ClearActionSlots() {
    for (NztAction& slot : actionSlots) slot = NztAction{};
    actionCount = 0;
}

void NztEntity::ResetActions() {
    ClearActionSlots();
    jumpSlot = 0;
    actionWord = 0;
    actionReset = 1;
    actionIdle = 1;
    airborne = 0;
    if (actionState == 1) ObjectServices.sendEvent(this, EventLeftHold, 0, 0, 0);
    actionState = 0;
    startHeight = 0.0f;
    skyDiveSpeed = 0.0f;
}

void NztEntity::PushAction(const NztAction& action) {
    const uint32_t count = std::min(actionCount, EntityActionCapacity);
    for (uint32_t i = count; i-- > 0;)
        if (actionSlots[i] == action) return;
    // A full stack takes no more: the moves never need more than a few slots.
    if (count >= EntityActionCapacity) return;
    actionSlots[count] = action;
    actionCount = count + 1;
}

void NztEntity::RemoveAction(const NztAction& action) {
    const uint32_t count = std::min(actionCount, EntityActionCapacity);
    for (uint32_t i = count; i-- > 0;) {
        if (!(actionSlots[i] == action)) continue;
        for (uint32_t k = i; k + 1 < count; ++k) actionSlots[k] = actionSlots[k + 1];
        actionCount = count - 1;
        actionSlots[actionCount] = NztAction{};
        return;
    }
}

void NztEntity::ResetControlState() {
    contact = 0;
    contactObject = nullptr;
    contactLink = nullptr;
    probeShape = &probeBlock;
}

void NztEntity::SelectAction() {
    if (reserve <= 0.0f) {
        life -= drainRate * 0.25f;
        const float capped = std::min(life, maxLife);
        life = capped > 0.0f ? capped : 0.0f;
    }
    if (life > 0.0f) {
        dead = 0;
    } else if (dead == 0) {
        if (target != nullptr) SetTarget(nullptr);
        ObjectServices.sendEvent(this, EntityEventDeath, 0, 0, 0);
        dead = 1;
    }
    if (actionIdle == 0) return;
    const NztAnim* anim = currentAnim;
    if (anim == nullptr) return;
    auto is = [&](uint32_t slot) { return mesh != nullptr && slot < mesh->AnimSlots.size() && mesh->AnimSlots[slot] == anim; };
    if (anim->JumpStartFlag != 0) {
        if (flying == 0) PushAction(MakeAction(&NztEntity::ActJump));
    } else if (is(JumpHandUpBig01)) {
        PushAction(MakeAction(&NztEntity::ActJumpHandUpBig));
    } else if (is(JumpHandAway01)) {
        PushAction(MakeAction(&NztEntity::ActJumpHandAway));
    } else if (is(ClimbJumpUp01)) {
        PushAction(MakeAction(&NztEntity::ActClimbJumpUp));
    } else if (is(ClimbJumpDown01)) {
        PushAction(MakeAction(&NztEntity::ActClimbJumpDown));
    } else if (is(ClimbJumpLeft01)) {
        PushAction(MakeAction(&NztEntity::ActClimbJumpLeft));
    } else if (is(ClimbJumpRight01)) {
        PushAction(MakeAction(&NztEntity::ActClimbJumpRight));
    } else if (is(ClimbJumpBack01)) {
        PushAction(MakeAction(&NztEntity::ActClimbJumpBack));
    } else if (is(ClimbEndUp)) {
        PushAction(MakeAction(&NztEntity::ActClimbEndUp));
    } else if (anim->DiveStartFlag != 0) {
        PushAction(MakeAction(&NztEntity::ActDive));
    } else if (is(FallDown)) {
        PushAction(MakeAction(&NztEntity::ActFallDown));
    }
}
