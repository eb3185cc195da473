// Game pad through the SDL joystick API. At most one pad is open: the one SDL lists as player 0,
// else the first that opens. Pads plugged in or pulled out while running are opened and closed on
// the device events the window layer's event pump hands over.
#pragma once

#include <cstdint>

union SDL_Event;

inline constexpr int kJoystickAxes = 7;      // X, Y, Z, rotation X, Y, Z, slider 0
inline constexpr int kJoystickButtons = 16;
inline constexpr uint32_t kJoystickHatCentred = 0xFFFFFFFFu;

struct JoystickSample {
    int32_t axes[kJoystickAxes];  // -1000..1000; axes the pad lacks read 0
    uint32_t pov;                 // first hat, hundredths of a degree clockwise from up, or centred
    uint8_t buttons[kJoystickButtons];  // 1 while down
};

// Starts the joystick subsystem and opens a pad when one is attached. False when SDL's joystick
// subsystem cannot start; no pad attached is not a failure.
bool JoystickInit();
// Closes the pad and stops the joystick subsystem.
void JoystickShutdown();
bool JoystickIsOpen();
// Reads the open pad once. False when no pad is open or it cannot be read (pulled out); the caller
// keeps its old values and tries again at its next poll.
bool JoystickRead(JoystickSample* out);
// Joystick device-added and device-removed events: opens a new pad when none is open, closes the
// open one when it goes away. Returns true when the event was one of those two.
bool JoystickHandleEvent(const SDL_Event& event);

// Conversions from SDL's units (exposed for their tests).
int32_t JoystickAxisToDevice(int16_t sdlValue);    // -32768..32767 -> -1000..1000
uint32_t JoystickHatToPov(uint8_t sdlHat);         // SDL hat bits -> hundredths of a degree
