// Keyboard translation: SDL key codes to the engine's virtual-key codes, and typed text from UTF-8
// to the single-byte Windows-1252 characters the interface windows work in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The virtual-key code of an SDL key, from its key code (layout dependent, as virtual keys are) and
// its scan code (for the digit row, whose virtual keys are the same on every layout). Both sides
// of a modifier give the shared code (VK_SHIFT, VK_CONTROL, VK_MENU). With NumLock off the
// numeric-pad keys report the navigation keys printed on them, as Windows does. 0 when the key has
// none.
uint32_t VirtualKeyFromSdl(int32_t keycode, int32_t scancode, bool numLock = true);

// The character that a key press types besides its text: 8 for Backspace, 13 for Return, 27 for
// Escape; 0 for every other key.
uint8_t CharacterForVirtualKey(uint32_t virtualKey);

// The Windows-1252 byte of a Unicode code point, or -1 when the code page has none.
int Windows1252FromCodePoint(uint32_t codePoint);

// Converts UTF-8 text to Windows-1252 bytes into out (at most capacity bytes) and returns how many
// were written. A code point the code page lacks, and every byte of a malformed sequence, becomes
// '?', as the system conversion does.
size_t Utf8ToWindows1252(std::string_view utf8, uint8_t* out, size_t capacity);
