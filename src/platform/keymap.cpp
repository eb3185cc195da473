#include "platform/keymap.h"

#include <SDL2/SDL_keycode.h>

#include "platform/wincodes.h"

uint32_t VirtualKeyFromSdl(int32_t keycode, int32_t scancode, bool numLock) {
    if (!numLock) {
        switch (keycode) {
            case SDLK_KP_0: return VK_INSERT;
            case SDLK_KP_1: return VK_END;
            case SDLK_KP_2: return VK_DOWN;
            case SDLK_KP_3: return VK_NEXT;
            case SDLK_KP_4: return VK_LEFT;
            case SDLK_KP_5: return VK_CLEAR;
            case SDLK_KP_6: return VK_RIGHT;
            case SDLK_KP_7: return VK_HOME;
            case SDLK_KP_8: return VK_UP;
            case SDLK_KP_9: return VK_PRIOR;
            case SDLK_KP_PERIOD: return VK_DELETE;
            default: break;
        }
    }
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9) return '1' + (scancode - SDL_SCANCODE_1);
    if (scancode == SDL_SCANCODE_0) return '0';
    if (keycode >= SDLK_a && keycode <= SDLK_z) return 'A' + (keycode - SDLK_a);
    if (keycode >= SDLK_0 && keycode <= SDLK_9) return '0' + (keycode - SDLK_0);
    if (keycode >= SDLK_F1 && keycode <= SDLK_F12) return VK_F1 + (keycode - SDLK_F1);
    if (keycode >= SDLK_F13 && keycode <= SDLK_F24) return VK_F1 + 12 + (keycode - SDLK_F13);
    if (keycode >= SDLK_KP_1 && keycode <= SDLK_KP_9) return VK_NUMPAD0 + 1 + (keycode - SDLK_KP_1);
    switch (keycode) {
        case SDLK_BACKSPACE: return VK_BACK;
        case SDLK_TAB: return VK_TAB;
        case SDLK_CLEAR: return VK_CLEAR;
        case SDLK_RETURN:
        case SDLK_RETURN2:
        case SDLK_KP_ENTER: return VK_RETURN;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return VK_SHIFT;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return VK_CONTROL;
        case SDLK_LALT:
        case SDLK_RALT: return VK_MENU;
        case SDLK_PAUSE: return VK_PAUSE;
        case SDLK_CAPSLOCK: return VK_CAPITAL;
        case SDLK_ESCAPE: return VK_ESCAPE;
        case SDLK_SPACE: return VK_SPACE;
        case SDLK_PAGEUP: return VK_PRIOR;
        case SDLK_PAGEDOWN: return VK_NEXT;
        case SDLK_END: return VK_END;
        case SDLK_HOME: return VK_HOME;
        case SDLK_LEFT: return VK_LEFT;
        case SDLK_UP: return VK_UP;
        case SDLK_RIGHT: return VK_RIGHT;
        case SDLK_DOWN: return VK_DOWN;
        case SDLK_SELECT: return VK_SELECT;
        case SDLK_EXECUTE: return VK_EXECUTE;
        case SDLK_PRINTSCREEN: return VK_SNAPSHOT;
        case SDLK_INSERT: return VK_INSERT;
        case SDLK_DELETE: return VK_DELETE;
        case SDLK_HELP: return VK_HELP;
        case SDLK_CANCEL: return VK_CANCEL;
        case SDLK_LGUI: return VK_LWIN;
        case SDLK_RGUI: return VK_RWIN;
        case SDLK_APPLICATION: return VK_APPS;
        case SDLK_SLEEP: return VK_SLEEP;
        case SDLK_KP_0: return VK_NUMPAD0;
        case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
        case SDLK_KP_PLUS: return VK_ADD;
        case SDLK_KP_COMMA: return VK_SEPARATOR;
        case SDLK_KP_MINUS: return VK_SUBTRACT;
        case SDLK_KP_PERIOD: return VK_DECIMAL;
        case SDLK_KP_DIVIDE: return VK_DIVIDE;
        case SDLK_NUMLOCKCLEAR: return VK_NUMLOCK;
        case SDLK_SCROLLLOCK: return VK_SCROLL;
        case SDLK_SEMICOLON: return VK_OEM_1;
        case SDLK_EQUALS:
        case SDLK_PLUS: return VK_OEM_PLUS;
        case SDLK_COMMA: return VK_OEM_COMMA;
        case SDLK_MINUS: return VK_OEM_MINUS;
        case SDLK_PERIOD: return VK_OEM_PERIOD;
        case SDLK_SLASH: return VK_OEM_2;
        case SDLK_BACKQUOTE: return VK_OEM_3;
        case SDLK_LEFTBRACKET: return VK_OEM_4;
        case SDLK_BACKSLASH: return VK_OEM_5;
        case SDLK_RIGHTBRACKET: return VK_OEM_6;
        case SDLK_QUOTE: return VK_OEM_7;
        default: break;
    }
    if (scancode == SDL_SCANCODE_NONUSBACKSLASH) return VK_OEM_102;
    return 0;
}

uint8_t CharacterForVirtualKey(uint32_t virtualKey) {
    switch (virtualKey) {
        case VK_BACK: return 8;
        case VK_RETURN: return 13;
        case VK_ESCAPE: return 27;
        default: return 0;
    }
}

namespace {
// Windows-1252 gives 0x80..0x9F to typographic characters; five of the 32 places stay empty (0).
constexpr uint16_t kHighControlPage[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 0x88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 0x98
};
}  // namespace

int Windows1252FromCodePoint(uint32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return static_cast<int>(codePoint);
    for (int i = 0; i < 32; ++i) {
        if (kHighControlPage[i] != 0 && kHighControlPage[i] == codePoint) return 0x80 + i;
    }
    return -1;
}

size_t Utf8ToWindows1252(std::string_view utf8, uint8_t* out, size_t capacity) {
    size_t written = 0;
    size_t i = 0;
    auto put = [&](uint8_t byte) {
        if (written < capacity) out[written++] = byte;
    };
    while (i < utf8.size() && written < capacity) {
        const auto lead = static_cast<uint8_t>(utf8[i]);
        size_t length = 0;
        uint32_t codePoint = 0;
        uint32_t minimum = 0;
        if (lead < 0x80) {
            length = 1, codePoint = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, codePoint = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, codePoint = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, codePoint = lead & 0x07, minimum = 0x10000;
        }
        bool valid = length != 0 && i + length <= utf8.size();
        for (size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<uint8_t>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) {
                valid = false;
            } else {
                codePoint = (codePoint << 6) | (next & 0x3F);
            }
        }
        // Overlong forms, surrogates and values past the last code point are malformed too.
        if (valid && (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))) {
            valid = false;
        }
        if (!valid) {
            put('?');
            ++i;
            continue;
        }
        const int byte = Windows1252FromCodePoint(codePoint);
        put(byte < 0 ? '?' : static_cast<uint8_t>(byte));
        i += length;
    }
    return written;
}
