#include "core/input.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/binio.h"
#include "core/nztfile.h"
#include "core/paths.h"
#include "platform/joystick.h"
#include "platform/window.h"
#include "platform/wincodes.h"

KeyStateTables KeyStates = {{}, {}, KeyStates.keyTables[0], KeyStates.keyTables[1],
                            KeyStates.actionTables[0], KeyStates.actionTables[1]};
uint8_t ActionEnabled[kGameActionCount] = {};
PadStateBuffers PadStates = {{}, &PadStates.buffers[0], &PadStates.buffers[1]};

CursorPoint CursorPos = {0, 0};
CursorPoint LastCursorPos = {0, 0};
const ScreenRect* CursorClipRect = nullptr;
int32_t MouseWheelDelta = 0;
uint8_t MouseClicked = 0;

CursorHandle GameCursors[3] = {nullptr, nullptr, nullptr};
CursorHandle CurrentCursor = nullptr;
CursorHandle FileCursor = nullptr;

namespace {

// Set while a pad was open at the last read, so that pulling it out releases its controls once.
bool g_padWasOpen = false;

// Until the game installs its half: no window takes a click, no object is picked or told, and the
// camera is in its start mode.
int32_t NoWindowTakesButton(uint32_t, int32_t, int32_t) { return 0; }
int32_t NoWindowTakesWheel(int32_t, int32_t, int32_t) { return 0; }
NztEventObject* NoObjectPicked(int32_t, int32_t) { return nullptr; }
NztEventObject* NoWheelTarget() { return nullptr; }
void NoEventSent(NztEventObject*, uint32_t) {}
int32_t StartCameraMode() { return 1; }

constexpr InputHooks kDefaultHooks = {
    PlatformGetKeyboardState,  PlatformGetCursorPos,  PlatformSetCursorPos,
    PlatformGetDesktopSize,    NoWindowTakesButton,   NoWindowTakesButton,
    NoWindowTakesWheel,        NoObjectPicked,        NoWheelTarget,
    NoEventSent,               StartCameraMode,
};

}  // namespace

InputHooks EngineInputHooks = kDefaultHooks;
InputHooks InputServices = kDefaultHooks;

void ResetInputHooks() { InputServices = EngineInputHooks; }

// ---------------------------------------------------------------------------------------------
// Keys, actions and the pad

void ClearKeyStates() {
    std::memset(KeyStates.keyTables, 0, sizeof KeyStates.keyTables);
    std::memset(KeyStates.actionTables, 0, sizeof KeyStates.actionTables);
    KeyStates.keys = KeyStates.keyTables[0];
    KeyStates.previousKeys = KeyStates.keyTables[1];
    KeyStates.actions = KeyStates.actionTables[0];
    KeyStates.previousActions = KeyStates.actionTables[1];
}

void ClearPadStates() {
    std::memset(PadStates.buffers, 0, sizeof PadStates.buffers);
    PadStates.current = &PadStates.buffers[0];
    PadStates.previous = &PadStates.buffers[1];
}

void SwapPadBuffers() {
    if (PadStates.current == &PadStates.buffers[0]) {
        PadStates.current = &PadStates.buffers[1];
        PadStates.previous = &PadStates.buffers[0];
    } else {
        PadStates.current = &PadStates.buffers[0];
        PadStates.previous = &PadStates.buffers[1];
    }
}

void SetActionEnabled(uint32_t action, bool enabled) {
    if (action >= static_cast<uint32_t>(kGameActionCount)) return;
    ActionEnabled[action] = enabled ? 1 : 0;
    if (!enabled) KeyStates.actions[action] = 0;
}

int32_t InitInput() { return JoystickInit() ? S_OK : E_FAIL; }

void ShutdownInput() {
    JoystickShutdown();
    g_padWasOpen = false;
    // The file cursor may be current; freeing the current cursor makes the system fall back to
    // its default, so the order does not matter.
    PlatformFreeCursor(FileCursor);
    FileCursor = nullptr;
    for (CursorHandle& cursor : GameCursors) {
        PlatformFreeCursor(cursor);
        cursor = nullptr;
    }
    CurrentCursor = nullptr;
}

int32_t ReadPadState(PadState* buffer) {
    if (!JoystickIsOpen()) {
        if (g_padWasOpen) {
            // The pad went away: release its sticks and buttons rather than hold them forever.
            ClearPadStates();
            g_padWasOpen = false;
        }
        return S_OK;
    }
    g_padWasOpen = true;
    JoystickSample sample;
    // One attempt per poll; an unreadable pad keeps the buffer's old values.
    if (!JoystickRead(&sample)) return S_OK;
    for (int i = 0; i < kJoystickAxes; ++i) {
        float value = static_cast<float>(sample.axes[i]) * 0.001f;
        if (value > -0.01f && value < 0.01f) value = 0.0f;
        buffer->axes[i] = value;
    }
    buffer->pov = sample.pov;
    std::memcpy(buffer->buttons, sample.buttons, sizeof buffer->buttons);
    return S_OK;
}

void PollJoysticks() {
    SwapPadBuffers();
    ReadPadState(PadStates.current);
}

void ComputeGameActions(const uint8_t keys[256], const PadState& pad, int32_t cameraMode,
                        const uint8_t enabled[kGameActionCount], uint8_t out[kGameActionCount]) {
    auto key = [keys](uint32_t vk) { return (keys[vk] & 0x80) != 0; };
    auto button = [&pad](int n) { return pad.buttons[n] != 0; };
    const float x = pad.axes[0];
    const float y = pad.axes[1];
    const bool shift = key(VK_SHIFT);
    const bool left = key(VK_LEFT) || key('Q');
    const bool right = key(VK_RIGHT) || key('D');

    bool a[kGameActionCount];
    a[kActionB] = key('B') || button(5);
    a[kActionShift] = shift || button(7);
    a[kActionAlt] = key(VK_MENU) || button(0);
    a[kActionSpace] = key(VK_SPACE) || button(1);
    a[kActionCtrl] = key(VK_CONTROL) || button(2);
    a[kActionHome] = key(VK_HOME) || button(4);
    a[kActionEnd] = key(VK_END) || button(6);
    a[kActionForward] = key(VK_UP) || key('Z') || (y < -0.01f && cameraMode != 0);
    a[kActionBack] = key(VK_DOWN) || key('S') || y > 0.01f;
    a[kActionLeft] = left || x < -0.01f;
    a[kActionRight] = right || x > 0.01f;
    a[kActionShiftLeft] = left && shift;
    a[kActionShiftRight] = right && shift;
    a[kActionPageUp] = key(VK_PRIOR);
    a[kActionPageDown] = key(VK_NEXT);
    a[kActionP] = key('P');
    a[kActionPad6] = key(VK_NUMPAD6) || pad.pov == 9000;
    a[kActionPad4] = key(VK_NUMPAD4) || pad.pov == 27000;
    a[kActionPad5] = key(VK_NUMPAD5) || button(3);
    a[kActionEscape] = key(VK_ESCAPE) || button(9);
    a[kActionCtrlC] = key('C') && key(VK_CONTROL);
    a[kActionLeftButton] = key(VK_LBUTTON);
    a[kActionShiftOnly] = shift;
    a[kActionRightButton] = key(VK_RBUTTON);
    for (int i = 0; i < kGameActionCount; ++i) out[i] = (enabled[i] && a[i]) ? 1 : 0;
}

uint8_t PollKeyboard() {
    std::swap(KeyStates.keys, KeyStates.previousKeys);
    InputServices.getKeyboardState(KeyStates.keys);
    std::swap(KeyStates.actions, KeyStates.previousActions);
    ComputeGameActions(KeyStates.keys, *PadStates.current, InputServices.cameraMode(), ActionEnabled,
                       KeyStates.actions);
    return KeyStates.actions[kActionRightButton];
}

// ---------------------------------------------------------------------------------------------
// Mouse

namespace {

// Moves a coordinate that touches an edge of [low, high) to just inside the opposite edge.
int32_t WrapCoordinate(int32_t v, int32_t low, int32_t high) {
    if (high - low < 3) return v;  // no room to wrap (size unknown or degenerate)
    if (v <= low) return high - 2;
    if (v >= high - 1) return low + 1;
    return v;
}

}  // namespace

void ReadMouseDelta(int32_t* dx, int32_t* dy) {
    InputServices.getCursorPos(&CursorPos.x, &CursorPos.y);
    *dx = CursorPos.x - LastCursorPos.x;
    *dy = CursorPos.y - LastCursorPos.y;

    int32_t left = 0, top = 0, right = 0, bottom = 0;
    if (CursorClipRect) {
        left = CursorClipRect->left;
        top = CursorClipRect->top;
        right = CursorClipRect->right;
        bottom = CursorClipRect->bottom;
    } else {
        InputServices.getDesktopSize(&right, &bottom);
    }
    CursorPoint wrapped = {WrapCoordinate(CursorPos.x, left, right),
                           WrapCoordinate(CursorPos.y, top, bottom)};
    if (wrapped.x != CursorPos.x || wrapped.y != CursorPos.y) {
        CursorPos = wrapped;
        InputServices.setCursorPos(CursorPos.x, CursorPos.y);
    }
    LastCursorPos = CursorPos;
}

namespace {

int32_t OnLeftButton(int32_t (*dispatch)(uint32_t, int32_t, int32_t), uint32_t eventCode,
                     uint32_t flags, int32_t x, int32_t y) {
    MouseClicked = 1;
    int32_t taken = dispatch(flags, x, y);
    if (taken) return taken;
    if (NztEventObject* object = InputServices.pickEntityOnRay(x, y)) {
        InputServices.sendEvent(object, eventCode);
    }
    return 0;
}

}  // namespace

int32_t OnMouseButtonDown(uint32_t flags, int32_t x, int32_t y) {
    return OnLeftButton(InputServices.dispatchLButtonDown, 62, flags, x, y);
}

int32_t OnMouseDoubleClick(uint32_t flags, int32_t x, int32_t y) {
    return OnLeftButton(InputServices.dispatchLButtonDblClk, 63, flags, x, y);
}

void OnMouseWheel(int32_t x, int32_t y, int32_t delta) {
    if (InputServices.dispatchMouseWheel(x, y, delta)) return;
    if (NztEventObject* target = InputServices.wheelTarget()) {
        if (delta > 0) InputServices.sendEvent(target, 64);
        if (delta < 0) InputServices.sendEvent(target, 65);
    }
    MouseWheelDelta = delta;
}

// ---------------------------------------------------------------------------------------------
// Cursors

void InitCursors() {
    for (CursorHandle& cursor : GameCursors) PlatformFreeCursor(cursor);
    GameCursors[kCursorAlternate] = PlatformCreateSystemCursor(SystemCursor::Hand);
    GameCursors[kCursorDefault] = PlatformCreateSystemCursor(SystemCursor::Arrow);
    GameCursors[kCursorCross] = PlatformCreateSystemCursor(SystemCursor::Crosshair);
    CurrentCursor = GameCursors[kCursorDefault];
    PlatformSetCursor(CurrentCursor);
    PlatformShowCursor(true);
}

namespace {

constexpr int32_t kMaxCursorSide = 256;

bool Fail(const char** fault, const char* text) {
    *fault = text;
    return false;
}

}  // namespace

bool DecodeCursorFile(const uint8_t* data, size_t size, CursorImage* image, const char** fault) {
    BinReader dir(data, size);
    const uint16_t reserved = dir.U16(), type = dir.U16(), count = dir.U16();
    if (!dir.Ok()) return Fail(fault, "truncated header");
    if (reserved != 0 || (type != 1 && type != 2)) return Fail(fault, "not a cursor file");
    if (count == 0) return Fail(fault, "no images");

    // The entry whose larger side is nearest the usual 32-pixel cursor; the first on a tie.
    uint32_t bestBytes = 0, bestOffset = 0;
    uint16_t bestHotX = 0, bestHotY = 0;
    int32_t bestScore = -1;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t w = dir.U8(), h = dir.U8();
        dir.Skip(2);  // colour count, reserved
        const uint16_t hotX = dir.U16(), hotY = dir.U16();
        const uint32_t bytes = dir.U32(), offset = dir.U32();
        if (!dir.Ok()) return Fail(fault, "truncated image directory");
        int32_t side = std::max(w ? w : 256, h ? h : 256);
        int32_t score = side > 32 ? side - 32 : 32 - side;
        if (bestScore < 0 || score < bestScore) {
            bestScore = score;
            bestBytes = bytes;
            bestOffset = offset;
            bestHotX = hotX;
            bestHotY = hotY;
        }
    }
    if (static_cast<uint64_t>(bestOffset) + bestBytes > size) {
        return Fail(fault, "image data outside the file");
    }
    const uint8_t* res = data + bestOffset;
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bestBytes >= 8 && std::memcmp(res, kPng, 8) == 0) {
        return Fail(fault, "PNG images are not supported");
    }

    BinReader r(res, bestBytes);
    const uint32_t headerSize = r.U32();
    const int32_t width = r.I32(), doubleHeight = r.I32();
    r.Skip(2);  // planes
    const uint16_t bitCount = r.U16();
    const uint32_t compression = r.U32();
    r.Skip(12);  // image size, pixels per metre across and down
    const uint32_t clrUsed = r.U32();
    if (!r.Ok()) return Fail(fault, "truncated bitmap header");
    if (headerSize < 40 || headerSize > bestBytes) return Fail(fault, "bad bitmap header size");
    if (compression != 0) return Fail(fault, "compressed bitmaps are not supported");
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32) {
        return Fail(fault, "unsupported bit depth");
    }
    // The height counts the colour rows and the mask rows together.
    if (width < 1 || width > kMaxCursorSide || doubleHeight < 2 || doubleHeight % 2 != 0 ||
        doubleHeight / 2 > kMaxCursorSide) {
        return Fail(fault, "bad image size");
    }
    const int32_t height = doubleHeight / 2;

    uint64_t paletteCount = 0;
    if (bitCount <= 8) {
        paletteCount = clrUsed ? clrUsed : (1u << bitCount);
        if (paletteCount > (1u << bitCount)) return Fail(fault, "palette too large");
    }
    const uint64_t colourStride = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
    const uint64_t maskStride = (static_cast<uint64_t>(width) + 31) / 32 * 4;
    const uint64_t paletteStart = headerSize;
    const uint64_t colourStart = paletteStart + paletteCount * 4;
    const uint64_t maskStart = colourStart + colourStride * height;
    uint64_t end = maskStart + maskStride * height;
    // A 32-bit image carries its own alpha; its mask is optional.
    const bool hasMask = end <= bestBytes;
    if (!hasMask && !(bitCount == 32 && maskStart <= bestBytes)) {
        return Fail(fault, "image data truncated");
    }

    auto maskBit = [&](int32_t row, int32_t x) {
        if (!hasMask) return false;
        const uint8_t* line = res + maskStart + maskStride * row;
        return (line[x >> 3] >> (7 - (x & 7)) & 1) != 0;
    };
    auto palette = [&](uint64_t index) {
        const uint8_t* p = res + paletteStart + index * 4;
        return static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
    };

    // Old 32-bit images leave alpha at zero and rely on the mask.
    bool ownAlpha = false;
    if (bitCount == 32) {
        for (int32_t row = 0; row < height && !ownAlpha; ++row) {
            const uint8_t* line = res + colourStart + colourStride * row;
            for (int32_t x = 0; x < width; ++x) {
                if (line[x * 4 + 3] != 0) {
                    ownAlpha = true;
                    break;
                }
            }
        }
    }

    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    for (int32_t row = 0; row < height; ++row) {  // rows are stored bottom-up
        const uint8_t* line = res + colourStart + colourStride * row;
        uint32_t* out = pixels.data() + static_cast<size_t>(height - 1 - row) * width;
        for (int32_t x = 0; x < width; ++x) {
            uint32_t rgb;
            if (bitCount == 32 || bitCount == 24) {
                const uint8_t* p = line + static_cast<size_t>(x) * (bitCount / 8);
                rgb = static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
                if (ownAlpha) {
                    out[x] = static_cast<uint32_t>(p[3]) << 24 | rgb;
                    continue;
                }
            } else {
                uint64_t bit = static_cast<uint64_t>(x) * bitCount;
                const uint32_t shift = 8 - bitCount - static_cast<uint32_t>(bit & 7);
                const uint32_t index = line[bit >> 3] >> shift & ((1u << bitCount) - 1);
                if (index >= paletteCount) return Fail(fault, "colour index outside the palette");
                rgb = palette(index);
            }
            if (!maskBit(row, x)) {
                out[x] = 0xFF000000u | rgb;
            } else {
                // Mask set with a colour inverts the screen on Windows; a colour cursor cannot
                // invert, so such pixels are drawn black to stay visible.
                out[x] = rgb ? 0xFF000000u : 0u;
            }
        }
    }

    image->width = width;
    image->height = height;
    if (type == 2) {
        image->hotX = std::min<int32_t>(bestHotX, width - 1);
        image->hotY = std::min<int32_t>(bestHotY, height - 1);
    } else {
        // An icon has no hotspot of its own: its centre is used.
        image->hotX = width / 2;
        image->hotY = height / 2;
    }
    image->pixels = std::move(pixels);
    return true;
}

namespace {

// Cursor files are small; anything larger is not one.
constexpr uint32_t kMaxCursorFileSize = 4u << 20;

}  // namespace

bool LoadCursorFile(const char* name) {
    if (!IsPlainName(name)) {
        std::fprintf(stderr, "input: refused cursor name \"%s\"\n", name ? name : "");
        return false;
    }
    char path[260];
    int n = std::snprintf(path, sizeof path, "CURSORS/%s", name);
    if (n < 0 || static_cast<size_t>(n) >= sizeof path) {
        std::fprintf(stderr, "input: cursor name too long\n");
        return false;
    }
    NztFile file;
    if (!file.OpenRead(path, nullptr)) {
        std::fprintf(stderr, "input: %s: cannot open\n", path);
        return false;
    }
    std::vector<uint8_t> bytes;
    bool whole = file.ReadToEnd(bytes, kMaxCursorFileSize);
    file.Close();
    if (!whole) {
        std::fprintf(stderr, "input: %s: file too large for a cursor\n", path);
        return false;
    }
    CursorImage image;
    const char* fault = "";
    if (!DecodeCursorFile(bytes.data(), bytes.size(), &image, &fault)) {
        std::fprintf(stderr, "input: %s: %s\n", path, fault);
        return false;
    }
    CursorHandle cursor = PlatformCreateColorCursor(image.pixels.data(), image.width,
                                                    image.height, image.hotX, image.hotY);
    if (!cursor) return false;
    // Switch first, then free the old file cursor, so the cursor shown is never a freed one.
    CursorHandle old = FileCursor;
    FileCursor = cursor;
    CurrentCursor = cursor;
    PlatformSetCursor(CurrentCursor);
    PlatformFreeCursor(old);
    return true;
}
