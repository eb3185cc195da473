// Player control: the gait button, the input events raised on the controlled character, and the
// control step of the current movement mode, which turns the stick or the direction buttons into a
// heading, a forward button, speeds and turn rates for the animation state machine.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "camera/camera.h"
#include "character/entity.h"
#include "character/movement.h"
#include "character/moveutil.h"
#include "core/input.h"

namespace {

// One row of the input events: the button and its press code (held = press + 19, release + 38).
struct InputEventRow {
    int button;
    uint32_t press;
};
// Buttons 0-14 raise their events whatever the control flag says.
constexpr InputEventRow AlwaysRows[] = {{2, 79}, {7, 68},  {8, 69},  {9, 70},  {10, 71}, {11, 72},
                                        {12, 73}, {13, 74}, {14, 75}, {1, 76},  {0, 77}};
// These only while the player entity is driven by input.
constexpr InputEventRow DrivenRows[] = {{15, 78}, {4, 80}, {6, 81}, {3, 82}, {5, 83}, {21, 84}, {22, 85}, {23, 86}};

constexpr uint32_t HeldOffset = 19;
constexpr uint32_t ReleaseOffset = 38;

void RaiseRow(NztEntity* e, const InputEventRow& row) {
    const bool now = ButtonDown(row.button);
    const bool before = ButtonWasDown(row.button);
    if (now && !before) {
        RaiseEvent(e, row.press);
    } else if (!now && before) {
        RaiseEvent(e, row.press + ReleaseOffset);
    } else if (now && TenthTick()) {
        RaiseEvent(e, row.press + HeldOffset);
    }
}

// The turn requests shared by the glide, swim and drive controls.
void TurnRequests(NztEntity* e, float stickX) {
    const float a = stickX == 0.0f ? 1.0f : std::fabs(stickX);
    e->glideTurn = e->glideTurnRate * a;
    e->turnRate = 32.0f * a;
    e->turnRateFast = 64.0f * a;
    e->turnRateSlow = 16.0f * a;
}

}  // namespace

float StickX() {
    const PadState* pad = PadStates.current;
    if (!pad) return 0.0f;
    const float x = pad->axes[0];
    if ((x < 0.0f && ActionEnabled[MoveButton::Left]) || (x > 0.0f && ActionEnabled[MoveButton::Right])) return x;
    return 0.0f;
}

float StickY() {
    const PadState* pad = PadStates.current;
    if (!pad) return 0.0f;
    const float y = pad->axes[1];
    if ((y < 0.0f && ActionEnabled[MoveButton::Forward]) || (y > 0.0f && ActionEnabled[MoveButton::Back])) return y;
    return 0.0f;
}

void NztEntity::PlayerControl() {
    if (!groundTilt && ButtonPressed(MoveButton::Gait)) gait = gait == 0 ? 1 : gait == 1 ? 2 : 0;
    RaiseInputEvents();
    if (riddenEntity) {
        // The mount takes the frame; the rider's own movement is not controlled. A chain that comes
        // back to a character already on it stops there.
        if (riddenEntity != this && riddenEntity->riddenEntity != this) riddenEntity->PlayerControl();
        return;
    }
    if (groundTilt) {
        ControlDrive();
        return;
    }
    if (actionState != 0) {
        gaitInUse = gait;
        return;
    }
    if (flying && airborne) {
        ControlGlide();
    } else if (inWater && canSwim && !airborne) {
        ControlSwim();
    } else if (sliding) {
        ControlSlide();
    } else if (!hangGliding && !parachuting && !skyDiving) {
        ControlGround();
    } else {
        ControlGlide();
    }
}

void NztEntity::RaiseInputEvents() {
    if (riddenEntity) return;
    for (const InputEventRow& row : AlwaysRows) RaiseRow(this, row);
    const NztEntity* player = PlayerEntity;
    if (player && player->inputDriven) {
        for (const InputEventRow& row : DrivenRows) RaiseRow(this, row);
    }
    if (TenthTick()) {
        const float speed = forwardSpeed;
        RaiseEvent(this, speed > 0.25f ? 126u : speed < -0.25f ? 127u : 125u);
    }
}

void NztEntity::ControlGround() {
    float x = StickX();
    float y = StickY();
    const bool fromStick = x != 0.0f || y != 0.0f;
    if (!fromStick) {
        gaitInUse = gait;
        if (stance == StanceFree || stance == StanceSideways) {
            x = ButtonDown(MoveButton::Left) ? -1.0f : ButtonDown(MoveButton::Right) ? 1.0f : 0.0f;
            if (stance == StanceFree)
                y = ButtonDown(MoveButton::Forward) ? -1.0f : ButtonDown(MoveButton::Back) ? 1.0f : 0.0f;
        }
    }
    const float* m = MainCamera.inverse;
    if (x == 0.0f && y == 0.0f) {
        if (CameraMode == 6) {
            // Face the way the camera looks: (0, 0, -1) turned by the camera's inverse.
            const float cx = -m[6], cz = -m[8];
            if (cx != 0.0f || cz != 0.0f) SetYaw(RoundToInt(std::atan2(cx, cz) * AngleUnitsPerRadian));
        }
        return;
    }
    if (stance != StanceFree && stance != StanceSideways) return;
    // The camera's inverse: row 0 its right, row 2 pointing away from the view, so a stick pushed
    // forward (y < 0) leads along the view.
    const float wx = x * m[0] + y * m[6];
    const float wz = x * m[2] + y * m[8];
    const float t = (wx == 0.0f && wz == 0.0f) ? HeadingOf(this) : std::atan2(wx, wz) * AngleUnitsPerRadian;
    float h = t;
    if (groundControl && CameraMode != 6) {
        float c = HeadingOf(this);
        float d = t - c;
        if (std::fabs(d) >= 2048.0f) {
            c += t > c ? 4096.0f : -4096.0f;
            d = t - c;
        }
        h = c + d * turnFactor * FrameTiming.frameFactor;
    }
    SetYaw(RoundToInt(h));
    if (stance == StanceFree) {
        float off = std::fmod(std::fabs(h - t), 4096.0f);
        if (off > 2048.0f) off = 4096.0f - off;
        if (forwardSpeed == 0.0f && off >= 170.0f) {
            if (GetAnim(AnimSlot::MoveTurn) &&
                (currentAnim == GetAnim(AnimSlot::MoveStatic01) || currentAnim == GetAnim(AnimSlot::MoveTurn)))
                BlendToAnimIndex(AnimSlot::MoveTurn, 0, AnimSlot::None, 0);
        } else if (KeyStates.actions) {
            KeyStates.actions[MoveButton::Forward] = 1;
        }
    }
    if (fromStick) {
        const float l = std::sqrt(wx * wx + wz * wz);
        if (gait == 2)
            gaitInUse = l > 0.8f ? 2 : l > 0.6f ? 1 : 0;
        else if (gait == 1)
            gaitInUse = l > 0.5f ? 1 : 0;
        else
            gaitInUse = 0;
    }
}

void NztEntity::ControlSlide() {
    const float x = StickX();
    const float y = StickY();
    if (y < 0.0f)
        slideSpeed = (5.0f - 10.0f * y) * sprintFactor;
    else if (y > 0.0f)
        slideSpeed = 0.5f;
    else if (ButtonDown(MoveButton::Forward))
        slideSpeed = 15.0f * sprintFactor;
    else if (ButtonDown(MoveButton::Back))
        slideSpeed = 0.5f;
    else
        slideSpeed = 5.0f * runFactor;
    slideTurnRate = x == 0.0f ? 128.0f : std::fabs(x) * 128.0f;
}

void NztEntity::ControlGlide() {
    gaitInUse = gait;
    const float y = StickY();
    flyVerticalSpeed = y == 0.0f ? flyClimbRate : flyClimbRate * std::fabs(y);
    TurnRequests(this, StickX());
}

void NztEntity::ControlSwim() {
    gaitInUse = gait;
    const float y = StickY();
    swimVerticalSpeed = y == 0.0f ? swimClimbRate : swimClimbRate * std::fabs(y);
    TurnRequests(this, StickX());
}

void NztEntity::ControlDrive() {
    TurnRequests(this, StickX());
}
