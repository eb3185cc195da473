#include "platform/cursor.h"

CursorHandle LoadArrowCursor() { return nullptr; }
void SetCursor(CursorHandle) {}
