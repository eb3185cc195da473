// The movement steps and scripted moves the character update calls: ledge and wall probes,
// movement modes, procedural pose, player control, the animation state machine and the action
// callbacks. Each does the least it can until its own work fills it in: the probes and steps
// leave the character as it is, the take-offs and landings switch the flags they own, and every
// action callback ends its move on the frame it runs.
#include "character/entity.h"

void NztEntity::UpdateTilt() {}
void NztEntity::PlayerControl() {}
void NztEntity::UpdateAnimState() {}
void NztEntity::AdjustPose() {}
void NztEntity::StartJump() {}

void NztEntity::StartFly() {
    if (flying != 0) return;
    flying = 1;
    flyHeight = Position[1] - floorHeight;
    ObjectServices.sendEvent(this, 42, 0, 0, 0);
}

void NztEntity::EndFly() {
    flying = 0;
    flightUnderway = 0;
}

void NztEntity::StartSkyDive() {}
void NztEntity::StartFallDown() {}
void NztEntity::SlideStep() {}
void NztEntity::GliderStep() {}
void NztEntity::ParachuteStep() {}
void NztEntity::SkyDiveStep() {}
void NztEntity::GuardStep() {}

namespace {

// The move of callback ends at once: it leaves the stack and the character is idle again.
void EndMove(NztEntity* e, void (NztEntity::*callback)()) {
    e->RemoveAction(MakeAction(callback));
    e->actionIdle = 1;
}

}  // namespace

void NztEntity::ActJump() { EndMove(this, &NztEntity::ActJump); }
void NztEntity::ActFall() { EndMove(this, &NztEntity::ActFall); }
void NztEntity::ActJumpHandUpBig() { EndMove(this, &NztEntity::ActJumpHandUpBig); }
void NztEntity::ActJumpHandAway() { EndMove(this, &NztEntity::ActJumpHandAway); }
void NztEntity::ActClimbJumpUp() { EndMove(this, &NztEntity::ActClimbJumpUp); }
void NztEntity::ActClimbJumpDown() { EndMove(this, &NztEntity::ActClimbJumpDown); }
void NztEntity::ActClimbJumpLeft() { EndMove(this, &NztEntity::ActClimbJumpLeft); }
void NztEntity::ActClimbJumpRight() { EndMove(this, &NztEntity::ActClimbJumpRight); }
void NztEntity::ActClimbJumpBack() { EndMove(this, &NztEntity::ActClimbJumpBack); }
void NztEntity::ActClimbEndUp() { EndMove(this, &NztEntity::ActClimbEndUp); }
void NztEntity::ActDive() { EndMove(this, &NztEntity::ActDive); }
void NztEntity::ActFallDown() { EndMove(this, &NztEntity::ActFallDown); }
void NztEntity::ActStayOnTraject() { EndMove(this, &NztEntity::ActStayOnTraject); }
