#include "ui/console.h"

#include "render/renderstate.h"
#include "ui/wnd.h"

CNztWnd_Edit* ConsoleWnd = nullptr;
void (*ConsoleChatHook)(const char* line) = nullptr;

namespace {

// The console writes in the small (12-point) text font, whatever font the game's screens use: its
// caption must fit the 16-pixel caption strip and its lines the space below it. The font the
// frame had is given back after the console's own drawing.
struct ConsoleFont {
    FTFont* font = nullptr;
    float size = 0.0f;
};
ConsoleFont gSavedFont;

ConsoleFont TakeSmallFont() {
    NztRenderState& rs = RenderState;
    const ConsoleFont previous{rs.currentFont, rs.currentFontSize};
    if (rs.defaultFont != nullptr) {
        rs.currentFont = rs.defaultFont;
        rs.currentFontSize = rs.defaultFontSize;
    }
    return previous;
}

void GiveBackFont(const ConsoleFont& font) {
    RenderState.currentFont = font.font;
    RenderState.currentFontSize = font.size;
}

}  // namespace

uint32_t ConsoleWndCallback(uint32_t message, CNztWnd* window, float, float, float) {
    // The console may go with every window at shutdown: nothing may point at it afterwards.
    if (message == WndMsgDestroyed && window == ConsoleWnd) ConsoleWnd = nullptr;
    if (window == ConsoleWnd && window != nullptr) {
        if (message == WndMsgBeforeBody) gSavedFont = TakeSmallFont();
        if (message == WndMsgAfterBody) GiveBackFont(gSavedFont);
    }
    return 1;
}

CNztWnd_Edit* CreateConsoleWnd() {
    if (ConsoleWnd != nullptr) return ConsoleWnd;
    auto* w = new CNztWnd_Edit;
    if (!AppendWnd(w)) {
        delete w;
        return nullptr;
    }
    // Sized and measured in the font it is drawn with.
    const ConsoleFont previous = TakeSmallFont();
    w->Create(nullptr, 2.0f, RenderState.screenHeightF - 60.0f, 450.0f, 50.0f, nullptr);
    w->textColour[0] = w->textColour[1] = w->textColour[2] = 1.0f;
    w->minimumWidth = 50.0f;
    w->minimumHeight = 18.0f;
    w->colour[0] = w->colour[1] = w->colour[2] = w->colour[3] = 0.0f;
    w->textAnchorY = (w->height - 16.0f) * 0.5f;
    w->eventCallback = ConsoleWndCallback;
    w->border = w->titleBar = w->movable = 1;
    w->captionHeight = 16.0f;
    w->SetText("Console");
    w->takesKeys = 1;
    w->depthKey = 1000.0f;
    // The console lives for the whole run and Ctrl+C brings it back: its close button hides it.
    w->closeHides = 1;
    w->visible = 0;
    ConsoleWnd = w;
    GiveBackFont(previous);
    return w;
}

void AddConsoleCommand(const char* name, const char* help, void (*handler)(const char*, const char*)) {
    if (ConsoleWnd != nullptr) ConsoleWnd->AddCommand(name, help, handler);
}

void ConsolePrint(const char* text) {
    if (ConsoleWnd == nullptr || text == nullptr) return;
    TraceInterface("console line %s", text);
    ConsoleWnd->SetInputLine(text);
    ConsoleWnd->StartNewLine();
}

void OnConsoleChat(const char* line, const char*) {
    if (line != nullptr && ConsoleChatHook != nullptr) ConsoleChatHook(line);
}

void ToggleConsole() {
    CNztWnd_Edit* w = ConsoleWnd;
    if (w == nullptr) return;
    // The whole console shows or hides (its close button may have hidden it with its children).
    w->SetChildrenVisible(w->visible != 0 ? 0 : 1);
    if (w->visible != 0) SetFocusWnd(w);
}
