// Keyboard, game-pad and mouse input, and the engine's cursors.
//
// Each game tick the pad buffers are swapped and the pad read, then the keyboard table is read and
// turned into 24 game actions, each the "or" of keys and pad controls. Keys and actions are double
// buffered: pressed in this tick means set in the current table and not in the previous one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/cursor.h"
#include "platform/window.h"

class NztEventObject;

inline constexpr int kGameActionCount = 24;

// Game actions (index into the action tables).
enum GameAction : int {
    kActionB = 0,            // 'B' or pad button 5
    kActionShift = 1,        // Shift or pad button 7
    kActionAlt = 2,          // Alt or pad button 0
    kActionSpace = 3,        // Space or pad button 1
    kActionCtrl = 4,         // Ctrl or pad button 2
    kActionHome = 5,         // Home or pad button 4
    kActionEnd = 6,          // End or pad button 6
    kActionForward = 7,      // Up, 'Z', or the stick pushed forward (not in camera mode 0)
    kActionBack = 8,         // Down, 'S', or the stick pulled back
    kActionLeft = 9,         // Left, 'Q', or the stick left
    kActionRight = 10,       // Right, 'D', or the stick right
    kActionShiftLeft = 11,   // (Left or 'Q') with Shift
    kActionShiftRight = 12,  // (Right or 'D') with Shift
    kActionPageUp = 13,
    kActionPageDown = 14,
    kActionP = 15,
    kActionPad6 = 16,        // numeric-pad 6 or the hat right
    kActionPad4 = 17,        // numeric-pad 4 or the hat left
    kActionPad5 = 18,        // numeric-pad 5 or pad button 3
    kActionEscape = 19,      // Escape or pad button 9
    kActionCtrlC = 20,       // 'C' with Ctrl
    kActionLeftButton = 21,  // left mouse button
    kActionShiftOnly = 22,   // Shift
    kActionRightButton = 23, // right mouse button
};

struct KeyStateTables {
    uint8_t keyTables[2][256];                   // virtual-key states, 0x80 = down
    uint8_t actionTables[2][kGameActionCount];   // game actions, 0 or 1
    uint8_t* keys;                               // current key table
    uint8_t* previousKeys;
    uint8_t* actions;                            // current action table
    uint8_t* previousActions;
};
extern KeyStateTables KeyStates;

// One byte per game action; an action whose byte is 0 always reads 0. Start-up sets all to 1.
extern uint8_t ActionEnabled[kGameActionCount];

struct PadState {
    float axes[7];        // X, Y, Z, rotation X, Y, Z, slider 0 in -1..1; |value| < 0.01 reads 0
    uint32_t pov;         // first hat in hundredths of a degree, 0xFFFFFFFF when centred
    uint8_t buttons[16];  // 1 while down
};

struct PadStateBuffers {
    PadState buffers[2];
    PadState* current;
    PadState* previous;
};
extern PadStateBuffers PadStates;

struct CursorPoint {
    int32_t x, y;
};

extern CursorPoint CursorPos;       // screen pixels, at the last ReadMouseDelta
extern CursorPoint LastCursorPos;   // where the next delta is measured from
// The window's screen rectangle while the window has the focus, else null; the mouse wraps
// inside it (else inside the desktop).
extern const ScreenRect* CursorClipRect;
extern int32_t MouseWheelDelta;     // the last wheel delta not taken by a window
extern uint8_t MouseClicked;        // set by the button handlers

// Cursors of the engine, in the order of their old resource numbers 138, 137 and 135.
inline constexpr int kCursorAlternate = 0;  // 138: the pointing hand
inline constexpr int kCursorDefault = 1;    // 137: the arrow, current at start
inline constexpr int kCursorCross = 2;      // 135: the crosshair
extern CursorHandle GameCursors[3];
extern CursorHandle CurrentCursor;
extern CursorHandle FileCursor;             // the last cursor loaded by LoadCursorFile

int32_t InitInput();   // 0, or E_FAIL when the joystick subsystem cannot start
void ShutdownInput();  // closes the pad, frees every cursor
// Reads the pad into a buffer; 0. Without a pad, or when it cannot be read, the buffer keeps its
// values (a pad that was pulled out leaves both buffers released).
int32_t ReadPadState(PadState* buffer);
void SwapPadBuffers();
void ClearPadStates();  // both buffers zero, pointers at the first and the second
void PollJoysticks();   // swap, then read the current buffer
uint8_t PollKeyboard(); // swap and refill keys and actions; returns action 23
void ClearKeyStates();  // both key tables and both action tables zero, pointers reset
// Enables or disables one action; disabling also clears it in the current action table. Indices
// outside 0..23 are ignored.
void SetActionEnabled(uint32_t action, bool enabled);
// Computes the 24 actions from a key table and a pad state.
void ComputeGameActions(const uint8_t keys[256], const PadState& pad, int32_t cameraMode,
                        const uint8_t enabled[kGameActionCount], uint8_t out[kGameActionCount]);

// Cursor movement since the last call, then the cursor wrapped away from the edges so that mouse
// look never stops; the jump of a wrap is not reported.
void ReadMouseDelta(int32_t* dx, int32_t* dy);
int32_t OnMouseButtonDown(uint32_t flags, int32_t x, int32_t y);   // event 62 on a picked object
int32_t OnMouseDoubleClick(uint32_t flags, int32_t x, int32_t y);  // event 63 on a picked object
void OnMouseWheel(int32_t x, int32_t y, int32_t delta);            // events 64 / 65 on the player

void InitCursors();
// Loads "CURSORS/<name>" (a Windows .cur file) and makes it the current cursor. A bad name or file
// changes nothing and answers false.
bool LoadCursorFile(const char* name);

// A decoded cursor image: pixels 0xAARRGGBB, top row first.
struct CursorImage {
    int32_t width = 0, height = 0;
    int32_t hotX = 0, hotY = 0;
    std::vector<uint32_t> pixels;
};
// Decodes a .cur (or .ico) file: the entry nearest 32 pixels, 1-, 4-, 8-, 24- or 32-bit. On failure
// returns false and points *fault at a description.
bool DecodeCursorFile(const uint8_t* data, size_t size, CursorImage* image, const char** fault);

// The services outside this file that input reaches. The platform half is input's own; the game
// half (the window toolkit, picking, the player, the camera mode) is installed by the game at
// start-up into EngineInputHooks. Tests put fakes in InputServices and call ResetInputHooks
// afterwards.
struct InputHooks {
    void (*getKeyboardState)(uint8_t table[256]);
    bool (*getCursorPos)(int32_t* x, int32_t* y);
    void (*setCursorPos)(int32_t x, int32_t y);
    void (*getDesktopSize)(int32_t* width, int32_t* height);
    int32_t (*dispatchLButtonDown)(uint32_t flags, int32_t x, int32_t y);
    int32_t (*dispatchLButtonDblClk)(uint32_t flags, int32_t x, int32_t y);
    int32_t (*dispatchMouseWheel)(int32_t x, int32_t y, int32_t delta);
    NztEventObject* (*pickEntityOnRay)(int32_t x, int32_t y);
    NztEventObject* (*wheelTarget)();  // the player, or the character it rides; null without one
    void (*sendEvent)(NztEventObject* object, uint32_t code);
    int32_t (*cameraMode)();  // the camera mode the pad's forward action depends on
};
extern InputHooks InputServices;
// The engine's own services, which ResetInputHooks puts back into InputServices.
extern InputHooks EngineInputHooks;
void ResetInputHooks();
