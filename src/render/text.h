// Text measured and drawn with texture fonts. The render state holds two owned font slots, the
// default font and the game font, and a current font that refers to one of them (or to none).
// Text is single-byte code-page text; coordinates are pixels from the viewport's top-left corner.
#pragma once

class FTFont;

// Opens the font file at path as the default font at 12 pixels and returns it. On failure the
// slot keeps its old font and the result is null. Needs a current GL context (glyphs are uploaded
// here, never while a frame is drawn).
FTFont* CreateTextFont(const char* path);

// Opens the font file at path as the game font at size pixels (rounded), as CreateTextFont does.
FTFont* LoadGameFont(const char* path, float size);

// Writes the extents of the text's bounding box with the current font into the outputs that are
// not null. With no current font, or an empty text, the box is all zero.
void MeasureText(const char* text, float* width, float* height, float* depth);

// Draws the text with the current font, (x, y) being the start of its baseline. The caller sets
// colour, blending and texturing. Leaves no texture binding recorded. Without a font, nothing.
void DrawTextAt(const char* text, float x, float y);

// Deletes both owned fonts and clears all three slots (GL shutdown, tests).
void FreeTextFonts();
