#include "ui/textbox.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "core/binio.h"
#include "core/frameclock.h"
#include "core/nztfile.h"
#include "core/pack.h"
#include "objects/base3d.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "render/text.h"
#include "render/texture.h"
#include "ui/wnd.h"

GtxTableState GtxTable;
TextBox TextBoxes[TextBoxCount];

namespace {

// Quad batch of BeginPrimitive: textured quads.
constexpr uint32_t kTexturedQuads = 7;
// Blend mode of SelectBlendMode: (source alpha, one minus source alpha).
constexpr uint32_t kAlphaBlend = 6;

int GtxFault(const char* fileName, const char* fault) {
    std::fprintf(stderr, "text: %s: %s\n", fileName, fault);
    return -1;
}

void UseGameFont(NztRenderState& rs) {
    rs.currentFont = rs.gameFont;
    rs.currentFontSize = rs.gameFontSize;
}

void FreeBox(TextBox& box) {
    box.remainingTime = 0.0f;
    box.lineCount = 0;
    box.owner = nullptr;
    if (box.image != 0) ReleaseTexture(box.image);
    box.image = 0;
}

// NaN counts as spent, so that a bad duration frees its box instead of holding it for good.
bool IsFree(const TextBox& box) { return !(box.remainingTime > 0.0f); }

}  // namespace

const char* GtxEntry(int64_t index) {
    if (index < 0 || index >= GtxTable.count) return "";
    return GtxTable.entries.data() + GtxEntryBytes * static_cast<uint64_t>(index);
}

int ReadGtxTable(NztFile& stream, const char* fileName) {
    BinReader in(stream);
    const uint32_t count = in.U32();
    if (!in.Ok()) return GtxFault(fileName, "file ends inside the count");
    // The count comes from the file: it must be backed by the bytes that follow it.
    if (!in.Fits(count, GtxEntryBytes)) return GtxFault(fileName, "count larger than the entries in the file");
    std::vector<char> entries(static_cast<size_t>(count) * GtxEntryBytes);
    if (!in.Read(entries.data(), entries.size())) return GtxFault(fileName, "file ends inside the entries");
    for (uint32_t i = 0; i < count; ++i) entries[GtxEntryBytes * (i + 1) - 1] = '\0';
    GtxTable.entries = std::move(entries);
    GtxTable.count = count;
    return 0;
}

int LoadGtxTable(const char* name) {
    if (name == nullptr) return -1;
    NztFile stream;
    if (!stream.OpenRead(name, PackTrees[PackText])) return -1;
    const int result = ReadGtxTable(stream, name);
    stream.Close();
    return result;
}

void FreeGtxTable() {
    GtxTable.entries = std::vector<char>();
    GtxTable.count = 0;
}

uint32_t SplitTextLines(char* text, TextLine* lines, uint32_t maxLines) {
    if (text == nullptr || lines == nullptr || maxLines == 0) return 0;
    uint32_t count = 0;
    lines[count++] = TextLine{0.0f, 0.0f, text};
    for (char* p = text; *p != '\0' && count < maxLines; ++p) {
        if (*p != '#') continue;
        *p = '\0';
        lines[count++] = TextLine{0.0f, 0.0f, p + 1};
    }
    return count;
}

void ClearTextBoxes() { std::memset(TextBoxes, 0, sizeof TextBoxes); }

void ResetTextBoxes() {
    for (TextBox& box : TextBoxes) FreeBox(box);
}

void ResetObjectTextBoxes(const NztBase3D* owner) {
    if (owner == nullptr) return;
    for (TextBox& box : TextBoxes) {
        if (box.owner == owner) FreeBox(box);
    }
}

int32_t OpenTextBox(NztBase3D* owner, const TextBoxRequest* request) {
    if (request == nullptr) return -1;
    int32_t index = static_cast<int32_t>(TextBoxCount) - 1;
    while (index >= 0 && !IsFree(TextBoxes[index])) --index;
    if (index < 0) return -1;
    TextBox& box = TextBoxes[index];
    // A box whose time ran out keeps its image until the next drawn frame frees it.
    FreeBox(box);

    NztRenderState& rs = RenderState;
    UseGameFont(rs);
    const float fontHeight = rs.currentFontSize;
    box.owner = owner;
    box.remainingTime = request->duration;
    box.x = request->x;
    box.y = request->y;
    std::memcpy(box.colour, request->colour, sizeof box.colour);
    box.shadow = request->shadow;
    box.width = request->width;
    box.height = request->height;

    const char* text = GtxEntry(request->textIndex);
    const size_t length = strnlen(text, sizeof box.text - 1);
    std::memcpy(box.text, text, length);
    box.text[length] = '\0';
    box.lineCount = SplitTextLines(box.text, box.lines, MaxTextLines);

    if (request->autoSize != 0) {
        // The longest line in bytes; among equals the one nearest the end of the text.
        const char* longest = box.lines[0].text;
        size_t longestLength = 0;
        for (uint32_t i = 0; i < box.lineCount; ++i) {
            const size_t n = std::strlen(box.lines[i].text);
            if (n >= longestLength) {
                longest = box.lines[i].text;
                longestLength = n;
            }
        }
        float textWidth = 0.0f;
        MeasureText(longest, &textWidth, nullptr, nullptr);
        box.width = textWidth * 1024.0f / rs.screenWidthF + 2.0f * box.x;
        box.height = static_cast<float>(box.lineCount) * fontHeight * 768.0f / rs.screenHeightF + 3.0f * box.y;
    }
    for (uint32_t i = 0; i < box.lineCount; ++i) box.lines[i].y = static_cast<float>(i) * fontHeight;

    // From 1024 x 768 units to pixels; the box stands centred above its anchor point, and x, y
    // become its top-left corner, counted from the viewport's origin.
    box.width = box.width * rs.screenWidthF / 1024.0f;
    box.height = box.height * rs.screenHeightF / 768.0f;
    box.x = box.x * rs.screenWidthF * 0.0009765625f + rs.viewportX - box.width * 0.5f;
    box.y = box.y * rs.screenHeightF * 0.0013020834f + rs.viewportY - box.height;

    char imagePath[sizeof request->imagePath];
    const size_t pathLength = strnlen(request->imagePath, sizeof imagePath - 1);
    std::memcpy(imagePath, request->imagePath, pathLength);
    imagePath[pathLength] = '\0';
    box.image = pathLength != 0 ? LoadTexture(imagePath, 0, 0) : 0;
    return index;
}

void DrawTextBoxes() {
    NztRenderState& rs = RenderState;
    SwitchBlend(true);
    SelectBlendMode(kAlphaBlend);
    SwitchDepthTest(false);
    UseGameFont(rs);
    PushBaseViewMatrix(rs);
    const float fontHeight = rs.currentFontSize;
    for (int32_t i = static_cast<int32_t>(TextBoxCount) - 1; i >= 0; --i) {
        TextBox& box = TextBoxes[i];
        if (IsFree(box)) {
            FreeBox(box);
            continue;
        }
        box.remainingTime -= FrameTiming.frameTime;
        // Pixels from the viewport centre, y downwards (the 2-D plane of the base view).
        float px = box.x - rs.viewportX;
        float py = box.y - rs.viewportY;
        if (box.owner != nullptr) {
            float point[3] = {box.owner->Position[0], box.owner->Position[1] + box.owner->headHeight,
                              box.owner->Position[2]};
            ProjectToScreenInPlace(rs, point);
            px += point[0];
            py += point[1];
        }
        if (box.image != 0) {
            const float corners[4][3] = {{px, py, 0.0f},
                                         {px + box.width, py, 0.0f},
                                         {px + box.width, py + box.height, 0.0f},
                                         {px, py + box.height, 0.0f}};
            BeginPrimitive(rs, kTexturedQuads);
            DrawBatchedQuad(box.image, corners, 1.0f);
            glEnd();
            // The first baseline one font height down keeps the text inside the image.
            py += fontHeight;
        }
        SwitchTexture2D(true);
        // DrawTextAt counts from the viewport's top-left corner.
        const float left = px + rs.halfViewportWidth;
        const float top = py + rs.halfViewportHeight;
        for (uint32_t l = 0; l < box.lineCount; ++l) {
            const TextLine& line = box.lines[l];
            if (box.shadow != 0) {
                glColor4f(0.0f, 0.0f, 0.0f, box.colour[3]);
                DrawTextAt(line.text, left + line.x + 1.0f, top + line.y + 1.0f);
            }
            glColor4f(box.colour[0], box.colour[1], box.colour[2], box.colour[3]);
            DrawTextAt(line.text, left + line.x, top + line.y);
        }
    }
    SwitchDepthTest(true);
}
