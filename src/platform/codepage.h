// Single-byte code-page text to wide characters, in place of the Windows conversion service.
#pragma once

#include <cstddef>
#include <cstdint>

// Wide character of one byte of code-page text. threadCodePage selects the table of the calling
// thread's code page instead of the system one; both are Windows-1252 here, the code page the
// game's texts are written in.
wchar_t CodePageCharToWide(unsigned char byte, bool threadCodePage);

// Converts zero-terminated code-page text into out, which holds capacity wide characters, and
// always terminates it (when capacity > 0). Text longer than capacity - 1 characters is cut.
// A null text converts as an empty one. Returns the number of characters written before the zero.
size_t CodePageToWide(const char* text, wchar_t* out, size_t capacity, bool threadCodePage);
