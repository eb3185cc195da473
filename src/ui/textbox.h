// The text table and the text boxes.
//
// Every text that scripts show comes from one loaded text table (".Gtx": a u32 count, then that
// many 256-byte zero-terminated entries), so that a game is translated by swapping the table.
// Text boxes are short-lived captions floating over a world object (or placed on the screen):
// at most TextBoxCount at a time, each with its table text split into lines at '#', an optional
// image behind it, a colour and a lifetime in seconds. Main thread only.
#pragma once

#include <cstdint>
#include <vector>

class NztBase3D;
struct NztFile;

constexpr uint32_t GtxEntryBytes = 256;

// Entry n lives at entries.data() + GtxEntryBytes x n; every entry ends in a zero.
struct GtxTableState {
    std::vector<char> entries;
    uint32_t count = 0;
};
extern GtxTableState GtxTable;

// The entry of the loaded table, or the empty text for an index outside 0..count-1.
const char* GtxEntry(int64_t index);

// Loads the table from a relative data name ("TEXT/Default.Gtx"), from the text pack or the data
// folder. 0 on success; -1 when the file is missing or malformed, and then the old table stays.
int LoadGtxTable(const char* name);
// The same over an open stream; fileName only names the file in diagnostics.
int ReadGtxTable(NztFile& stream, const char* fileName);
// Frees the loaded text table and zeroes its count.
void FreeGtxTable();

// One line of a split text: its offset in pixels from the text's position and its start.
struct TextLine {
    float x;
    float y;
    char* text;
};
// A 256-byte text holds at most 255 line breaks.
constexpr uint32_t MaxTextLines = 256;

// Cuts the text at every '#' (each becomes a zero) and records the lines in text order, the first
// line at the start of the text; offsets are left at 0. Returns the line count (number of '#' + 1).
// With more lines than maxLines, the last recorded line keeps the rest of the text, '#' and all.
uint32_t SplitTextLines(char* text, TextLine* lines, uint32_t maxLines = MaxTextLines);

constexpr uint32_t TextBoxCount = 12;

struct TextBox {
    NztBase3D* owner;      // null: placed on the screen only
    float remainingTime;   // seconds; the box is free when this is not above 0
    float x, y;            // pixels: the box's top-left corner, relative to the owner's screen point
    float colour[4];
    uint32_t shadow;       // non-zero: each line drawn first in black one pixel right and down
    char text[256];        // the table entry, each '#' replaced by a zero
    uint32_t lineCount;
    TextLine lines[MaxTextLines];  // line i at (0, i x font height), pointing into text
    uint32_t image;        // texture drawn behind the text, 0 for none
    float width, height;   // pixels
};
extern TextBox TextBoxes[TextBoxCount];

// What an opener asks for. Sizes and offsets are in units of a 1024 x 768 screen.
struct TextBoxRequest {
    int32_t textIndex;
    char imagePath[256];   // relative data name of the image; empty for none
    uint32_t shadow;
    uint32_t autoSize;     // non-zero: size the box to its text, x and y being the margins
    float duration;        // seconds
    float width, height;
    float x, y;
    float colour[4];
};

// Zeroes every box (start-up).
void ClearTextBoxes();
// Frees every box, releasing its image (scene load, and the text-box action without an owner).
void ResetTextBoxes();
// Frees the boxes of one owner. Whoever destroys a world object calls this first: a box keeps
// its owner's pointer and reads its position every drawn frame.
void ResetObjectTextBoxes(const NztBase3D* owner);
// Fills the free box with the highest index; returns its index, or -1 when all are busy (the
// request is dropped).
int32_t OpenTextBox(NztBase3D* owner, const TextBoxRequest* request);
// Counts down, frees and draws every box; once per drawn frame, from the window drawing.
void DrawTextBoxes();
