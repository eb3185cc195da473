#include "render/text.h"

#include <FTGL/ftgl.h>
#include <GL/gl.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <memory>

#include "platform/codepage.h"
#include "render/renderstate.h"
#include "render/texture.h"

namespace {

constexpr float kDefaultFontSize = 12.0f;
// Largest accepted font size in pixels. Sizes come from data scaled by the screen width; a glyph
// set far beyond this would only exhaust texture memory at load.
constexpr float kMaxFontSize = 512.0f;
constexpr unsigned kFontDpi = 72;  // at 72 dpi one point is one pixel

// Every conversion lands here: no allocation per call. One character stays for the terminator.
constexpr size_t kWideTextChars = 1024;
wchar_t WideTextBuffer[kWideTextChars];

const wchar_t* ConvertText(const char* text) {
  CodePageToWide(text, WideTextBuffer, kWideTextChars, RenderState.threadCodePage != 0);
  return WideTextBuffer;
}

bool IsControl(wchar_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

// Every printable character either code page can produce. Measuring them once when a font is
// opened makes FTGL rasterise and upload all their glyphs then, instead of in the middle of a frame.
const wchar_t* PrintableCharacters() {
  static wchar_t chars[2 * 256 + 1];
  static size_t count = 0;
  if (count == 0) {
    for (bool thread : {false, true}) {
      for (int byte = 0x20; byte <= 0xFF; ++byte) {
        const wchar_t c = CodePageCharToWide(static_cast<unsigned char>(byte), thread);
        bool seen = IsControl(c);
        for (size_t i = 0; i < count && !seen; ++i) seen = chars[i] == c;
        if (!seen) chars[count++] = c;
      }
    }
    chars[count] = L'\0';
  }
  return chars;
}

// Opens a font and, only when that fully succeeds, puts it in the slot in place of the old one.
FTFont* OpenFontIntoSlot(const char* path, float size, FTFont*& slot,
                                float& slotSize) {
  if (path == nullptr || path[0] == '\0') return nullptr;
  const long pixels = (size > 0.0f && size <= kMaxFontSize) ? lrintf(size) : 0;
  if (pixels < 1) {
    std::fprintf(stderr, "text: font size %g out of range for %s\n", static_cast<double>(size),
                 path);
    return nullptr;
  }
  auto font = std::make_unique<FTTextureFont>(path);
  if (font->Error() != 0) {
    std::fprintf(stderr, "text: cannot open font %s\n", path);
    return nullptr;
  }
  if (!font->FaceSize(static_cast<unsigned>(pixels), kFontDpi)) {
    std::fprintf(stderr, "text: font %s has no size %ld\n", path, pixels);
    return nullptr;
  }
  font->BBox(PrintableCharacters());

  NztRenderState& rs = RenderState;
  if (slot != nullptr) {
    if (rs.currentFont == slot) rs.currentFont = nullptr;
    delete slot;
  }
  // Glyph uploads and the old font's texture deletion bound FTGL's own textures.
  BoundTextureId = 0;
  slot = font.release();
  slotSize = size;
  if (rs.currentFont == nullptr) {
    rs.currentFont = slot;
    rs.currentFontSize = size;
  }
  return slot;
}

}  // namespace

FTFont* CreateTextFont(const char* path) {
  return OpenFontIntoSlot(path, kDefaultFontSize, RenderState.defaultFont,
                          RenderState.defaultFontSize);
}

FTFont* LoadGameFont(const char* path, float size) {
  return OpenFontIntoSlot(path, size, RenderState.gameFont, RenderState.gameFontSize);
}

void MeasureText(const char* text, float* width, float* height, float* depth) {
  FTBBox box;
  if (RenderState.currentFont != nullptr) box = RenderState.currentFont->BBox(ConvertText(text));
  const FTPoint lower = box.Lower();
  const FTPoint upper = box.Upper();
  if (width != nullptr) *width = upper.Xf() - lower.Xf();
  if (height != nullptr) *height = upper.Yf() - lower.Yf();
  if (depth != nullptr) *depth = upper.Zf() - lower.Zf();
}

void DrawTextAt(const char* text, float x, float y) {
  NztRenderState& rs = RenderState;
  if (rs.currentFont == nullptr) return;
  const wchar_t* wide = ConvertText(text);
  glPushMatrix();
  // One unit is one pixel on the text plane; its origin is the viewport centre, y upwards.
  glLoadMatrixf(rs.textMatrix);
  glTranslatef(x - rs.halfViewportWidth, -(y - rs.halfViewportHeight), 0.0f);
  rs.currentFont->Render(wide);
  glPopMatrix();
  BoundTextureId = 0;  // the font bound its glyph textures
}

void FreeTextFonts() {
  NztRenderState& rs = RenderState;
  if (rs.defaultFont != nullptr || rs.gameFont != nullptr) BoundTextureId = 0;
  delete rs.defaultFont;
  delete rs.gameFont;
  rs.defaultFont = nullptr;
  rs.gameFont = nullptr;
  rs.currentFont = nullptr;
}
