// Small helpers shared by the movement files: button tests over the input tables, headings and
// turns in angle units, and finite-value guards. Main thread only.
#pragma once

#include <cmath>
#include <cstdint>

#include "character/entity.h"
#include "core/frameclock.h"
#include "core/input.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "objects/objtype.h"

// The frames that complete a 0.1 s period (held-button and speed events are raised on them).
inline bool TenthTick() {
    return FrameAccumulators.tickA == 0.0f;
}

inline bool ButtonDown(int b) {
    return KeyStates.actions && KeyStates.actions[b] != 0;
}
inline bool ButtonWasDown(int b) {
    return KeyStates.previousActions && KeyStates.previousActions[b] != 0;
}
inline bool ButtonPressed(int b) {
    return ButtonDown(b) && !ButtonWasDown(b);
}
inline bool ButtonReleased(int b) {
    return !ButtonDown(b) && ButtonWasDown(b);
}

// The pad stick with a disabled direction read as 0 (negative x left, negative y forward).
float StickX();
float StickY();

// Heading of the object's forward row, angle units in (-2048, 2048].
inline float HeadingOf(const NztBaseObject* o) {
    return std::atan2(o->rotation[6], o->rotation[8]) * AngleUnitsPerRadian;
}
inline int32_t YawOf(const NztBaseObject* o) {
    return static_cast<int32_t>((o->packedAngles >> 12) & 0xFFFu);
}
// Turns the character about the vertical by delta angle units (a non-finite turn is none).
inline void TurnYawBy(NztEntity* e, float delta) {
    if (std::isfinite(delta)) e->TurnBy(RoundToInt(delta));
}

// Events go to the object through the world's send hook (three zero parameters).
inline void RaiseEvent(NztEventObject* object, uint32_t code) {
    if (object) ObjectServices.sendEvent(object, code, 0, 0, 0);
}

inline float Clampf(float v, float lo, float hi) {
    return v < lo ? lo : v > hi ? hi : v;
}
inline float Approach(float value, float target, float rate) {
    return value + (target - value) * rate;
}
// A probe answer that is not a finite number is none.
inline bool Finite(float v) {
    return std::isfinite(v);
}
