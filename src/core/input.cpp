#include "core/input.h"

KeyStateTables KeyStates;
PadStateBuffers PadStates;
CursorPoint CursorPos;
CursorPoint LastCursorPos;
ScreenRect* CursorClipRect = nullptr;
int32_t MouseDelta[2] = {};
int32_t MouseWheelDelta = 0;
uint8_t MouseClicked = 0;

void ClearKeyStates() {}
uint8_t PollKeyboard() { return 0; }
int32_t ReadPadState(PadBuffer*) { return 0; }
void PollJoysticks() {}
int32_t OnMouseButtonDown(uint32_t, int32_t, int32_t) { return 0; }
int32_t OnMouseDoubleClick(uint32_t, int32_t, int32_t) { return 0; }
void OnMouseWheel(int32_t, int32_t, int32_t) {}
int32_t InitInput() { return 0; }
void InitCursors() {}
void ShutdownInput() {}
