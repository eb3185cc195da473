#include "ui/wnd.h"

#include <cstdio>
#include <cstdlib>

CNztWnd** WndList = nullptr;
uint32_t WndCount = 0;
CNztWnd* FocusWnd = nullptr;

CNztWnd* SetFocusWnd(CNztWnd*) { return nullptr; }
void SendKeyDownToFocusWnd(CNztWnd*, uint32_t) {}
void SendKeyUpToFocusWnd(CNztWnd*, uint32_t) {}
void SendCharToFocusWnd(CNztWnd*, uint32_t) {}
uint32_t DispatchMouseMoveToWnds(int32_t, int32_t, uint32_t) { return 0; }
uint32_t DispatchLButtonUpToWnds(int32_t, int32_t, uint32_t) { return 0; }
uint32_t DispatchRButtonDownToWnds(int32_t, int32_t, uint32_t) { return 0; }
uint32_t DispatchRButtonUpToWnds(int32_t, int32_t, uint32_t) { return 0; }
uint32_t DispatchMButtonDownToWnds(int32_t, int32_t, uint32_t) { return 0; }
uint32_t DispatchMButtonUpToWnds(int32_t, int32_t, uint32_t) { return 0; }
uint32_t DispatchLButtonDownToWnds(int32_t, int32_t, uint32_t) { return 0; }
uint32_t DispatchLButtonDblClkToWnds(int32_t, int32_t, uint32_t) { return 0; }
uint32_t DispatchMouseWheelToWnds(int32_t, int32_t, int32_t) { return 0; }
void SortWndsByDepth(CNztWnd**, int32_t, int32_t) {}
void DrawAllWnds() {}
void DrawBatchedQuad(uint32_t, const float[4][3], float) {}
void CNztWnd::SetPos(float x, float y) {
    left = x;
    top = y;
}
void CNztWnd::SetSize(float w, float h) {
    SetWidth(w);
    SetHeight(h);
}
void CNztWnd::SetWidth(float w) { width = w; }
void CNztWnd::SetHeight(float h) { height = h; }
void CNztWnd::SetText(const char* newText) { std::snprintf(text, sizeof text, "%s", newText ? newText : ""); }
void CNztWnd::SetImage(const char*) {}
void CNztWnd::AddChild(CNztWnd* child) {
    auto* grown = static_cast<CNztWnd**>(std::realloc(children, (childCount + 1) * sizeof(CNztWnd*)));
    if (!grown) return;
    children = grown;
    children[childCount++] = child;
}
void CNztWnd::RemoveChild(CNztWnd* child) {
    for (uint32_t i = 0; i < childCount; ++i)
        if (children[i] == child) {
            children[i] = children[--childCount];
            return;
        }
}
void CNztWnd::SetChildrenVisible(uint32_t on) {
    visible = on;
    for (uint32_t i = 0; i < childCount; ++i) children[i]->SetChildrenVisible(on);
}
void CNztWnd::SetChildrenEnabled(uint32_t on) {
    enabled = on;
    for (uint32_t i = 0; i < childCount; ++i) children[i]->SetChildrenEnabled(on);
}
void CNztWnd::UpdateRect() {}
void CNztWnd_Info::SetText(const char* newText) { std::snprintf(label, sizeof label, "%s", newText ? newText : ""); }

namespace {
template <class W>
W* AppendWnd(W* window, CNztWnd* parent, float x, float y, float width, float height) {
    auto* grown = static_cast<CNztWnd**>(std::realloc(WndList, (WndCount + 1) * sizeof(CNztWnd*)));
    if (!grown) {
        delete window;
        return nullptr;
    }
    WndList = grown;
    WndList[WndCount++] = window;
    window->visible = window->enabled = window->interactive = 1;
    window->SetPos(x, y);
    window->SetSize(width, height);
    if (parent) {
        window->parent = parent;
        parent->AddChild(window);
    }
    return window;
}
}  // namespace

CNztWnd* CreateWnd(const char* caption, float x, float y, float width, float height, const char*) {
    CNztWnd* w = AppendWnd(new CNztWnd, nullptr, x, y, width, height);
    if (w) w->SetText(caption);
    return w;
}
CNztWnd_Info* CreateInfoWnd(const char* label, const char*, float x, float y, float width, float height,
                            CNztWnd* parent) {
    CNztWnd_Info* w = AppendWnd(new CNztWnd_Info, parent, x, y, width, height);
    if (w) w->SetText(label);
    return w;
}
void DestroyWnd(CNztWnd* window, uint32_t) {
    for (uint32_t i = WndCount; i-- > 0;)
        if (WndList[i] == window) {
            if (window->parent) window->parent->RemoveChild(window);
            for (uint32_t c = 0; c < window->childCount; ++c) window->children[c]->parent = nullptr;
            std::free(window->children);
            delete window;
            for (uint32_t j = i + 1; j < WndCount; ++j) WndList[j - 1] = WndList[j];
            --WndCount;
            return;
        }
}
void DestroyAllWnds() {
    while (WndCount > 0) DestroyWnd(WndList[WndCount - 1], 1);
    std::free(WndList);
    WndList = nullptr;
}
