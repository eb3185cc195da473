#include "ui/screenmsg.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>

#include "core/frameclock.h"
#include "core/paths.h"
#include "render/renderstate.h"
#include "render/text.h"
#include "ui/gameui.h"
#include "ui/wnd.h"

ScreenMessage ScreenMessages[ScreenMessageCount];
uint32_t ScreenMessageActiveCount = 0;
uint32_t ScreenMessageIndex = 0;

namespace {

// Blend mode of SelectBlendMode: (source alpha, one minus source alpha).
constexpr uint32_t kAlphaBlend = 6;
// Alpha lost per 1/50 s step once the hold time is over: full strength fades in 0.4 s.
constexpr float kFadePerStep = 0.05f;

void UseGameFont(NztRenderState& rs) {
    rs.currentFont = rs.gameFont;
    rs.currentFontSize = rs.gameFontSize;
}

bool IsActive(const ScreenMessage& m) { return m.colour[3] > 0.0f; }

NztGameUI* ExistingGameUI(int32_t index) {
    if (index < 0 || index >= GameUICount || GameUIList == nullptr) return nullptr;
    return GameUIList[index];
}

}  // namespace

void ResetScreenMessages() {
    std::memset(ScreenMessages, 0, sizeof ScreenMessages);
    ScreenMessageActiveCount = 0;
    ScreenMessageIndex = 0;
}

void ShowScreenMessage(const char* text, const float colour[4], int32_t gameUI, float holdTime, float x, float y,
                       uint32_t shadow, uint32_t showGameUI, uint32_t linked) {
    if (text == nullptr) {
        for (ScreenMessage& m : ScreenMessages) m.colour[3] = 0.0f;
        ScreenMessageActiveCount = 0;
        ScreenMessageIndex = 0;
        return;
    }
    // The checksum covers what is kept: a text cut to the record's size.
    char copy[sizeof ScreenMessage::text];
    std::snprintf(copy, sizeof copy, "%s", text);
    const uint32_t checksum = NameChecksum(copy);
    for (const ScreenMessage& m : ScreenMessages) {
        if (IsActive(m) && m.gameUI == gameUI && m.checksum == checksum) return;
    }
    NztRenderState& rs = RenderState;
    UseGameFont(rs);
    // Older messages of the same owner move up so that the new one shows below them.
    for (ScreenMessage& m : ScreenMessages) {
        if (IsActive(m) && m.gameUI == gameUI) m.y -= static_cast<float>(m.lineCount) * rs.currentFontSize;
    }
    ++ScreenMessageActiveCount;
    ScreenMessageIndex = (ScreenMessageIndex + 1) % ScreenMessageCount;
    ScreenMessage& m = ScreenMessages[ScreenMessageIndex];
    m.checksum = checksum;
    std::memcpy(m.colour, colour, sizeof m.colour);
    m.linked = linked;
    m.shadow = shadow;
    m.gameUI = gameUI;
    m.holdTime = holdTime;
    std::memcpy(m.text, copy, sizeof m.text);
    m.lineCount = SplitTextLines(m.text, m.lines, MaxTextLines);

    float widest = 0.0f;
    float lineHeight = 0.0f;
    for (uint32_t i = 0; i < m.lineCount; ++i) {
        float width = 0.0f;
        MeasureText(m.lines[i].text, &width, &lineHeight, nullptr);
        if (width > widest) widest = width;
        m.lines[i].x = 0.0f;
        m.lines[i].y = static_cast<float>(i) * lineHeight;
    }

    const float gridX = rs.screenWidthF / 1024.0f;
    if (gameUI == -1) {
        m.x = rs.halfViewportWidth - widest * 0.5f + x * gridX;
        m.y = rs.halfViewportHeight - 3.0f * lineHeight + y * rs.screenHeightF / 768.0f;
        return;
    }
    NztGameUI* owner = ExistingGameUI(gameUI);
    if (owner == nullptr) return;  // kept, drawn wherever the record was
    if (showGameUI != 0) {
        owner->SetOpacity(m.colour[3]);
        ShowGameUI(owner);
    }
    const CNztWnd* wnd = owner->mainWnd;
    if (wnd == nullptr) return;
    m.x = wnd->screenLeft + wnd->width * 0.5f - widest * 0.5f + x * gridX;
    m.y = y * gridX + wnd->screenTop + lineHeight;
}

void ClearScreenMessages() {
    for (ScreenMessage& m : ScreenMessages) {
        if (!IsActive(m) || m.linked == 0) continue;
        if (NztGameUI* owner = ExistingGameUI(m.gameUI)) HideGameUI(owner);
    }
    for (ScreenMessage& m : ScreenMessages) {
        m.colour[3] = 0.0f;
        m.holdTime = 0.0f;
    }
    ScreenMessageActiveCount = 0;
}

void DrawScreenMessages() {
    if (ScreenMessageActiveCount == 0) return;
    NztRenderState& rs = RenderState;
    SwitchBlend(true);
    SelectBlendMode(kAlphaBlend);
    SwitchDepthTest(false);
    UseGameFont(rs);
    const float frameTime = FrameTiming.frameTime;
    for (int32_t i = static_cast<int32_t>(ScreenMessageCount) - 1; i >= 0; --i) {
        ScreenMessage& m = ScreenMessages[i];
        if (!IsActive(m)) continue;
        for (uint32_t l = 0; l < m.lineCount; ++l) {
            const TextLine& line = m.lines[l];
            if (m.shadow != 0) {
                glColor4f(0.0f, 0.0f, 0.0f, m.colour[3]);
                DrawTextAt(line.text, m.x + line.x + 1.0f, m.y + line.y + 1.0f);
            }
            glColor4f(m.colour[0], m.colour[1], m.colour[2], m.colour[3]);
            DrawTextAt(line.text, m.x + line.x, m.y + line.y);
        }
        if (m.holdTime > 0.0f) {
            m.holdTime -= frameTime;
            continue;
        }
        m.colour[3] -= frameTime * 50.0f * kFadePerStep;
        NztGameUI* owner = m.linked != 0 ? ExistingGameUI(m.gameUI) : nullptr;
        if (owner != nullptr) owner->SetOpacity(m.colour[3] > 0.0f ? m.colour[3] : 0.0f);
        if (m.colour[3] <= 0.0f) {
            m.colour[3] = 0.0f;
            if (ScreenMessageActiveCount > 0) --ScreenMessageActiveCount;
            if (owner != nullptr) HideGameUI(owner);
        }
    }
    SwitchDepthTest(true);
}
