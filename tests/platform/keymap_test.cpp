#include <gtest/gtest.h>

#include <SDL2/SDL_keycode.h>

#include <string>

#include "platform/keymap.h"
#include "platform/wincodes.h"

namespace {

struct KeyCase {
    const char* name;
    int32_t keycode;
    int32_t scancode;
    uint32_t virtualKey;
};

TEST(Keymap, SdlKeysBecomeVirtualKeys) {
    const KeyCase cases[] = {
        {"letter", SDLK_q, SDL_SCANCODE_A, 'Q'},  // a French layout's Q sits where a US layout has A
        {"digit row on a US layout", SDLK_1, SDL_SCANCODE_1, '1'},
        {"digit row on a French layout", SDLK_AMPERSAND, SDL_SCANCODE_1, '1'},
        {"zero", SDLK_0, SDL_SCANCODE_0, '0'},
        {"F11 (screenshots)", SDLK_F11, SDL_SCANCODE_F11, VK_F11},
        {"F24", SDLK_F24, SDL_SCANCODE_F24, VK_F24},
        {"left Shift", SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, VK_SHIFT},
        {"right Ctrl", SDLK_RCTRL, SDL_SCANCODE_RCTRL, VK_CONTROL},
        {"right Alt", SDLK_RALT, SDL_SCANCODE_RALT, VK_MENU},
        {"keypad Enter", SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, VK_RETURN},
        {"keypad 0", SDLK_KP_0, SDL_SCANCODE_KP_0, VK_NUMPAD0},
        {"keypad 5", SDLK_KP_5, SDL_SCANCODE_KP_5, VK_NUMPAD0 + 5},
        {"Page Up", SDLK_PAGEUP, SDL_SCANCODE_PAGEUP, VK_PRIOR},
        {"Escape", SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, VK_ESCAPE},
        {"semicolon", SDLK_SEMICOLON, SDL_SCANCODE_SEMICOLON, VK_OEM_1},
        {"key beside left Shift", SDLK_LESS, SDL_SCANCODE_NONUSBACKSLASH, VK_OEM_102},
        {"no virtual key", SDLK_MUTE, SDL_SCANCODE_MUTE, 0},
    };
    for (const KeyCase& c : cases) {
        EXPECT_EQ(VirtualKeyFromSdl(c.keycode, c.scancode), c.virtualKey) << c.name;
    }
}

TEST(Keymap, NumericPadWithNumLockOffGivesNavigationKeys) {
    const KeyCase cases[] = {
        {"keypad 4", SDLK_KP_4, SDL_SCANCODE_KP_4, VK_LEFT},
        {"keypad 6", SDLK_KP_6, SDL_SCANCODE_KP_6, VK_RIGHT},
        {"keypad 5", SDLK_KP_5, SDL_SCANCODE_KP_5, VK_CLEAR},
        {"keypad 9", SDLK_KP_9, SDL_SCANCODE_KP_9, VK_PRIOR},
        {"keypad 0", SDLK_KP_0, SDL_SCANCODE_KP_0, VK_INSERT},
        {"keypad period", SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD, VK_DELETE},
        {"keypad Enter is unchanged", SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, VK_RETURN},
    };
    for (const KeyCase& c : cases) {
        EXPECT_EQ(VirtualKeyFromSdl(c.keycode, c.scancode, false), c.virtualKey) << c.name;
    }
}

TEST(Keymap, OnlyBackspaceReturnAndEscapeTypeACharacter) {
    EXPECT_EQ(CharacterForVirtualKey(VK_BACK), 8);
    EXPECT_EQ(CharacterForVirtualKey(VK_RETURN), 13);
    EXPECT_EQ(CharacterForVirtualKey(VK_ESCAPE), 27);
    EXPECT_EQ(CharacterForVirtualKey(VK_TAB), 0);
    EXPECT_EQ(CharacterForVirtualKey('A'), 0);
}

struct TextCase {
    const char* name;
    std::string utf8;
    std::string expected;
};

TEST(Keymap, Utf8TextBecomesWindows1252) {
    const TextCase cases[] = {
        {"ASCII", "Az0 ~", "Az0 ~"},
        {"Latin-1 letters", "\xC3\xA9\xC3\xBF", "\xE9\xFF"},
        {"euro and typographic quotes", "\xE2\x82\xAC\xE2\x80\x9C\xC5\x93", "\x80\x93\x9C"},
        {"outside the code page", "a\xE6\x97\xA5z", "a?z"},
        {"C1 control", "\xC2\x81", "?"},
        {"truncated sequence", "a\xC3", "a?"},
        {"stray continuation byte", "\x80z", "?z"},
        {"overlong slash", "\xC0\xAF", "??"},
        {"surrogate", "\xED\xA0\x80", "???"},
        {"beyond the last code point", "\xF4\x90\x80\x80", "????"},
        {"four-byte emoji", "\xF0\x9F\x98\x80", "?"},
    };
    for (const TextCase& c : cases) {
        uint8_t out[64];
        const size_t n = Utf8ToWindows1252(c.utf8, out, sizeof out);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(out), n), c.expected) << c.name;
    }
}

TEST(Keymap, ConversionStopsAtTheCapacity) {
    uint8_t out[3] = {0, 0, 0};
    EXPECT_EQ(Utf8ToWindows1252("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", out, 2), 2u);
    EXPECT_EQ(out[0], 0xE9);
    EXPECT_EQ(out[1], 0xE9);
    EXPECT_EQ(out[2], 0);
}

}  // namespace
