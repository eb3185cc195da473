// Mouse cursors: built-in shapes and colour cursors made from pixels.
#pragma once

#include <cstdint>

struct SDL_Cursor;
using CursorHandle = SDL_Cursor*;  // null: no cursor

enum class SystemCursor { Arrow, Hand, Crosshair, Wait, IBeam };

// A built-in cursor shape; null when the video system is not running.
CursorHandle PlatformCreateSystemCursor(SystemCursor shape);
// A colour cursor from width x height pixels, 0xAARRGGBB, top row first; the hotspot must lie in
// the image. Null on failure.
CursorHandle PlatformCreateColorCursor(const uint32_t* argb, int32_t width, int32_t height,
                                       int32_t hotX, int32_t hotY);
// Makes the cursor the one shown over the window (null is ignored).
void PlatformSetCursor(CursorHandle cursor);
void PlatformShowCursor(bool show);
void PlatformFreeCursor(CursorHandle cursor);
