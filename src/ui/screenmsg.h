// Screen messages: short coloured texts over the game, free on the screen or under a game
// interface, held for a time and then faded out. Three records are reused in turn.
#pragma once

#include <cstdint>

#include "ui/textbox.h"

constexpr uint32_t ScreenMessageCount = 3;

struct ScreenMessage {
    uint32_t checksum;  // NameChecksum of the text: the same text twice for one interface shows once
    float holdTime;     // seconds at full strength before the fade starts
    int32_t gameUI;     // index in GameUIList, -1 for a free message
    uint32_t linked;    // the fade also drives the game interface's alpha and hides it at the end
    float x, y;         // pixels from the viewport's top-left corner
    float colour[4];    // the record is active while colour[3] > 0
    uint32_t shadow;    // a black copy one pixel right and down is drawn first
    char text[256];     // the lines point in here; every '#' became a zero
    uint32_t lineCount;
    TextLine lines[MaxTextLines];
};

extern ScreenMessage ScreenMessages[ScreenMessageCount];
extern uint32_t ScreenMessageActiveCount;  // shows minus fade-outs
extern uint32_t ScreenMessageIndex;        // the record filled last, 0..2

// Shows text (longer texts are cut to 255 characters); x is in units of a 1024-wide screen, y of
// a 768-high one (of the 1024 width under a game interface). A null text clears every record
// without touching game interfaces.
void ShowScreenMessage(const char* text, const float colour[4], int32_t gameUI, float holdTime, float x, float y,
                       uint32_t shadow, uint32_t showGameUI, uint32_t linked);
// Hides the game interfaces of linked active messages, then empties every record.
void ClearScreenMessages();
// Draws, holds and fades the active messages; once per frame inside the window drawing pass.
void DrawScreenMessages();
// Every record, the count and the index back to zero (shutdown, tests).
void ResetScreenMessages();
