// Mouse cursors.
#pragma once

struct SDL_Cursor;
using CursorHandle = SDL_Cursor*;

CursorHandle LoadArrowCursor();
void SetCursor(CursorHandle cursor);
