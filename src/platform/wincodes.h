// The Windows numbers the engine speaks in: window message codes, virtual-key codes, mouse-button
// flags and the wheel step. They reach data files, event records and plug-ins, so they keep the
// values of the original platform; the platform layer translates its own events into them.
#pragma once

#include <cstdint>

using WParam = uintptr_t;  // first message parameter (key code, button flags, quit code)
using LParam = intptr_t;   // second message parameter (packed position or size)
using LResult = intptr_t;  // answer of a window procedure

// Packs two 16-bit values the way a message carries a position or a size.
constexpr LParam MakeLParam(int32_t low, int32_t high) {
    return static_cast<LParam>((static_cast<uint32_t>(low) & 0xFFFFu) | ((static_cast<uint32_t>(high) & 0xFFFFu) << 16));
}
// Positions may lie left of or above the window while the mouse is captured: read them signed.
constexpr int32_t LowWord(LParam value) { return static_cast<int16_t>(static_cast<uint32_t>(value) & 0xFFFFu); }
constexpr int32_t HighWord(LParam value) { return static_cast<int16_t>((static_cast<uint32_t>(value) >> 16) & 0xFFFFu); }
// Sizes are never negative.
constexpr uint32_t LowWordUnsigned(LParam value) { return static_cast<uint32_t>(value) & 0xFFFFu; }
constexpr uint32_t HighWordUnsigned(LParam value) { return (static_cast<uint32_t>(value) >> 16) & 0xFFFFu; }

// Message codes.
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_MOVE = 0x0003;
constexpr uint32_t WM_SIZE = 0x0005;
constexpr uint32_t WM_SETFOCUS = 0x0007;
constexpr uint32_t WM_KILLFOCUS = 0x0008;
constexpr uint32_t WM_PAINT = 0x000F;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_KEYUP = 0x0101;
constexpr uint32_t WM_CHAR = 0x0102;
constexpr uint32_t WM_SYSKEYDOWN = 0x0104;
constexpr uint32_t WM_SYSKEYUP = 0x0105;
constexpr uint32_t WM_SYSCHAR = 0x0106;
constexpr uint32_t WM_SYSCOMMAND = 0x0112;
constexpr uint32_t WM_MOUSEMOVE = 0x0200;
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t WM_LBUTTONUP = 0x0202;
constexpr uint32_t WM_LBUTTONDBLCLK = 0x0203;
constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
constexpr uint32_t WM_RBUTTONUP = 0x0205;
constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
constexpr uint32_t WM_MBUTTONUP = 0x0208;
constexpr uint32_t WM_MOUSEWHEEL = 0x020A;
constexpr uint32_t WM_POWERBROADCAST = 0x0218;

// WM_SIZE kinds (wParam).
constexpr uint32_t SIZE_RESTORED = 0;
constexpr uint32_t SIZE_MINIMIZED = 1;
constexpr uint32_t SIZE_MAXIMIZED = 2;

// WM_SYSCOMMAND commands (wParam, low four bits masked off).
constexpr uint32_t SC_SCREENSAVE = 0xF140;
constexpr uint32_t SC_MONITORPOWER = 0xF170;

// WM_POWERBROADCAST.
constexpr uint32_t PBT_APMQUERYSUSPEND = 0x0000;
constexpr LResult BROADCAST_QUERY_DENY = 0x424D5144;

// Button and modifier flags carried by mouse messages (wParam, low word).
constexpr uint32_t MK_LBUTTON = 0x0001;
constexpr uint32_t MK_RBUTTON = 0x0002;
constexpr uint32_t MK_SHIFT = 0x0004;
constexpr uint32_t MK_CONTROL = 0x0008;
constexpr uint32_t MK_MBUTTON = 0x0010;
constexpr uint32_t MK_XBUTTON1 = 0x0020;
constexpr uint32_t MK_XBUTTON2 = 0x0040;

// One notch of a mouse wheel; WM_MOUSEWHEEL carries the signed delta in the high word of wParam.
constexpr int32_t WHEEL_DELTA = 120;

// Key-message bits of lParam.
constexpr uint32_t KF_ALTDOWN_BIT = 1u << 29;
constexpr uint32_t KF_REPEAT_BIT = 1u << 30;
constexpr uint32_t KF_UP_BIT = 1u << 31;

// Virtual-key codes. Letters and digits are their upper-case ASCII codes ('A' = 0x41, '0' = 0x30).
constexpr uint32_t VK_LBUTTON = 0x01;
constexpr uint32_t VK_RBUTTON = 0x02;
constexpr uint32_t VK_CANCEL = 0x03;
constexpr uint32_t VK_MBUTTON = 0x04;
constexpr uint32_t VK_BACK = 0x08;
constexpr uint32_t VK_TAB = 0x09;
constexpr uint32_t VK_CLEAR = 0x0C;
constexpr uint32_t VK_RETURN = 0x0D;
constexpr uint32_t VK_SHIFT = 0x10;
constexpr uint32_t VK_CONTROL = 0x11;
constexpr uint32_t VK_MENU = 0x12;  // Alt
constexpr uint32_t VK_PAUSE = 0x13;
constexpr uint32_t VK_CAPITAL = 0x14;
constexpr uint32_t VK_ESCAPE = 0x1B;
constexpr uint32_t VK_SPACE = 0x20;
constexpr uint32_t VK_PRIOR = 0x21;  // Page Up
constexpr uint32_t VK_NEXT = 0x22;   // Page Down
constexpr uint32_t VK_END = 0x23;
constexpr uint32_t VK_HOME = 0x24;
constexpr uint32_t VK_LEFT = 0x25;
constexpr uint32_t VK_UP = 0x26;
constexpr uint32_t VK_RIGHT = 0x27;
constexpr uint32_t VK_DOWN = 0x28;
constexpr uint32_t VK_SELECT = 0x29;
constexpr uint32_t VK_PRINT = 0x2A;
constexpr uint32_t VK_EXECUTE = 0x2B;
constexpr uint32_t VK_SNAPSHOT = 0x2C;
constexpr uint32_t VK_INSERT = 0x2D;
constexpr uint32_t VK_DELETE = 0x2E;
constexpr uint32_t VK_HELP = 0x2F;
constexpr uint32_t VK_LWIN = 0x5B;
constexpr uint32_t VK_RWIN = 0x5C;
constexpr uint32_t VK_APPS = 0x5D;
constexpr uint32_t VK_SLEEP = 0x5F;
constexpr uint32_t VK_NUMPAD0 = 0x60;  // VK_NUMPAD1 .. VK_NUMPAD9 follow
constexpr uint32_t VK_NUMPAD4 = 0x64;
constexpr uint32_t VK_NUMPAD5 = 0x65;
constexpr uint32_t VK_NUMPAD6 = 0x66;
constexpr uint32_t VK_MULTIPLY = 0x6A;
constexpr uint32_t VK_ADD = 0x6B;
constexpr uint32_t VK_SEPARATOR = 0x6C;
constexpr uint32_t VK_SUBTRACT = 0x6D;
constexpr uint32_t VK_DECIMAL = 0x6E;
constexpr uint32_t VK_DIVIDE = 0x6F;
constexpr uint32_t VK_F1 = 0x70;  // VK_F2 .. VK_F24 follow
constexpr uint32_t VK_F10 = 0x79;
constexpr uint32_t VK_F11 = 0x7A;
constexpr uint32_t VK_F12 = 0x7B;
constexpr uint32_t VK_F24 = 0x87;
constexpr uint32_t VK_NUMLOCK = 0x90;
constexpr uint32_t VK_SCROLL = 0x91;
constexpr uint32_t VK_LSHIFT = 0xA0;
constexpr uint32_t VK_RSHIFT = 0xA1;
constexpr uint32_t VK_LCONTROL = 0xA2;
constexpr uint32_t VK_RCONTROL = 0xA3;
constexpr uint32_t VK_LMENU = 0xA4;
constexpr uint32_t VK_RMENU = 0xA5;
constexpr uint32_t VK_OEM_1 = 0xBA;       // ';' on a US layout
constexpr uint32_t VK_OEM_PLUS = 0xBB;
constexpr uint32_t VK_OEM_COMMA = 0xBC;
constexpr uint32_t VK_OEM_MINUS = 0xBD;
constexpr uint32_t VK_OEM_PERIOD = 0xBE;
constexpr uint32_t VK_OEM_2 = 0xBF;       // '/'
constexpr uint32_t VK_OEM_3 = 0xC0;       // '`'
constexpr uint32_t VK_OEM_4 = 0xDB;       // '['
constexpr uint32_t VK_OEM_5 = 0xDC;       // '\'
constexpr uint32_t VK_OEM_6 = 0xDD;       // ']'
constexpr uint32_t VK_OEM_7 = 0xDE;       // '''
constexpr uint32_t VK_OEM_102 = 0xE2;     // the extra key beside the left Shift of European keyboards

// Result codes of the COM-style services (HRESULT).
constexpr int32_t S_OK = 0;
constexpr int32_t E_FAIL = static_cast<int32_t>(0x80004005u);
