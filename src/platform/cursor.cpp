#include "platform/cursor.h"

#include <SDL.h>

#include <cstdio>

CursorHandle PlatformCreateSystemCursor(SystemCursor shape) {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return nullptr;
    SDL_SystemCursor id = SDL_SYSTEM_CURSOR_ARROW;
    switch (shape) {
        case SystemCursor::Arrow: id = SDL_SYSTEM_CURSOR_ARROW; break;
        case SystemCursor::Hand: id = SDL_SYSTEM_CURSOR_HAND; break;
        case SystemCursor::Crosshair: id = SDL_SYSTEM_CURSOR_CROSSHAIR; break;
        case SystemCursor::Wait: id = SDL_SYSTEM_CURSOR_WAIT; break;
        case SystemCursor::IBeam: id = SDL_SYSTEM_CURSOR_IBEAM; break;
    }
    return SDL_CreateSystemCursor(id);
}

CursorHandle PlatformCreateColorCursor(const uint32_t* argb, int32_t width, int32_t height,
                                       int32_t hotX, int32_t hotY) {
    if (!SDL_WasInit(SDL_INIT_VIDEO) || !argb || width <= 0 || height <= 0 || hotX < 0 ||
        hotY < 0 || hotX >= width || hotY >= height) {
        return nullptr;
    }
    // The surface only borrows the pixels; SDL copies them into the cursor.
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<uint32_t*>(argb), width, height, 32, width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!surface) return nullptr;
    SDL_Cursor* cursor = SDL_CreateColorCursor(surface, hotX, hotY);
    if (!cursor) std::fprintf(stderr, "input: cannot create a cursor: %s\n", SDL_GetError());
    SDL_FreeSurface(surface);
    return cursor;
}

void PlatformSetCursor(CursorHandle cursor) {
    if (cursor) SDL_SetCursor(cursor);
}

void PlatformShowCursor(bool show) {
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

void PlatformFreeCursor(CursorHandle cursor) {
    if (cursor) SDL_FreeCursor(cursor);
}
