// Keyboard, game pad and mouse input of the frame.
#pragma once

#include <cstdint>

struct ScreenRect;

struct KeyStateTables {
    uint8_t keyTables[2][256] = {};
    uint8_t* currentKeys = keyTables[0];
    uint8_t* previousKeys = keyTables[1];
    uint8_t actionTables[2][24] = {};
    uint8_t* currentActions = actionTables[0];
    uint8_t* previousActions = actionTables[1];
    uint8_t ActionEnabled[24] = {};
};
extern KeyStateTables KeyStates;

struct PadBuffer {
    float axes[7];
    uint32_t pov;
    uint8_t buttons[16];
};
struct PadStateBuffers {
    PadBuffer buffers[2] = {};
    PadBuffer* current = &buffers[0];
    PadBuffer* previous = &buffers[1];
};
extern PadStateBuffers PadStates;

struct CursorPoint {
    int32_t x = 0;
    int32_t y = 0;
};
extern CursorPoint CursorPos;
extern CursorPoint LastCursorPos;
extern ScreenRect* CursorClipRect;
extern int32_t MouseDelta[2];
extern int32_t MouseWheelDelta;
extern uint8_t MouseClicked;

void ClearKeyStates();
uint8_t PollKeyboard();
int32_t ReadPadState(PadBuffer* buffer);
void PollJoysticks();
int32_t OnMouseButtonDown(uint32_t flags, int32_t x, int32_t y);
int32_t OnMouseDoubleClick(uint32_t flags, int32_t x, int32_t y);
void OnMouseWheel(int32_t x, int32_t y, int32_t delta);
int32_t InitInput();
void InitCursors();
void ShutdownInput();
