#include "platform/joystick.h"

#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

SDL_Joystick* g_pad = nullptr;
SDL_JoystickID g_padId = -1;
bool g_started = false;

bool OpenDevice(int index) {
    SDL_Joystick* pad = SDL_JoystickOpen(index);
    if (!pad) {
        std::fprintf(stderr, "input: cannot open game pad %d: %s\n", index, SDL_GetError());
        return false;
    }
    g_pad = pad;
    g_padId = SDL_JoystickInstanceID(pad);
    return true;
}

// The pad SDL's configuration names player 0 when there is one, else the first that opens.
void OpenPreferred() {
    int count = SDL_NumJoysticks();
    for (int i = 0; i < count; ++i) {
        if (SDL_JoystickGetDevicePlayerIndex(i) == 0 && OpenDevice(i)) return;
    }
    for (int i = 0; i < count; ++i) {
        if (OpenDevice(i)) return;
    }
}

void ClosePad() {
    if (g_pad) SDL_JoystickClose(g_pad);
    g_pad = nullptr;
    g_padId = -1;
}

}  // namespace

int32_t JoystickAxisToDevice(int16_t sdlValue) {
    long v = std::lround(static_cast<double>(sdlValue) * 1000.0 / 32767.0);
    if (v < -1000) v = -1000;
    if (v > 1000) v = 1000;
    return static_cast<int32_t>(v);
}

uint32_t JoystickHatToPov(uint8_t sdlHat) {
    switch (sdlHat) {
        case SDL_HAT_UP: return 0;
        case SDL_HAT_RIGHTUP: return 4500;
        case SDL_HAT_RIGHT: return 9000;
        case SDL_HAT_RIGHTDOWN: return 13500;
        case SDL_HAT_DOWN: return 18000;
        case SDL_HAT_LEFTDOWN: return 22500;
        case SDL_HAT_LEFT: return 27000;
        case SDL_HAT_LEFTUP: return 31500;
        default: return kJoystickHatCentred;  // centred, or opposite directions at once
    }
}

bool JoystickInit() {
    if (!g_started) {
        if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
            std::fprintf(stderr, "input: joystick subsystem unavailable: %s\n", SDL_GetError());
            return false;
        }
        g_started = true;
    }
    if (!g_pad) OpenPreferred();
    return true;
}

void JoystickShutdown() {
    ClosePad();
    if (g_started) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    g_started = false;
}

bool JoystickIsOpen() { return g_pad != nullptr; }

bool JoystickRead(JoystickSample* out) {
    if (!g_pad) return false;
    SDL_JoystickUpdate();
    if (!SDL_JoystickGetAttached(g_pad)) return false;
    std::memset(out, 0, sizeof *out);
    int axes = SDL_JoystickNumAxes(g_pad);
    for (int i = 0; i < kJoystickAxes && i < axes; ++i) {
        out->axes[i] = JoystickAxisToDevice(SDL_JoystickGetAxis(g_pad, i));
    }
    out->pov = SDL_JoystickNumHats(g_pad) > 0 ? JoystickHatToPov(SDL_JoystickGetHat(g_pad, 0))
                                               : kJoystickHatCentred;
    int buttons = SDL_JoystickNumButtons(g_pad);
    for (int i = 0; i < kJoystickButtons && i < buttons; ++i) {
        out->buttons[i] = SDL_JoystickGetButton(g_pad, i) ? 1 : 0;
    }
    return true;
}

bool JoystickHandleEvent(const SDL_Event& event) {
    if (event.type == SDL_JOYDEVICEADDED) {
        // A pad that arrives while one is open is left alone: only one pad is used.
        if (g_started && !g_pad) OpenPreferred();
        return true;
    }
    if (event.type == SDL_JOYDEVICEREMOVED) {
        if (g_pad && event.jdevice.which == g_padId) {
            ClosePad();
            OpenPreferred();  // another pad still attached takes over
        }
        return true;
    }
    return false;
}
