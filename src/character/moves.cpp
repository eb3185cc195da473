// The scripted moves the action stack runs (the fall without an animation is in modes.cpp). Each
// does the least it can until its own work fills it in: every callback ends its move on the frame
// it runs.
#include "character/entity.h"

namespace {

// The move of callback ends at once: it leaves the stack and the character is idle again.
void EndMove(NztEntity* e, void (NztEntity::*callback)()) {
    e->RemoveAction(MakeAction(callback));
    e->actionIdle = 1;
}

}  // namespace

void NztEntity::ActJump() { EndMove(this, &NztEntity::ActJump); }
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
