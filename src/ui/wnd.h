// The window toolkit and window manager.
#pragma once

#include <cstdint>

class CNztWnd {
public:
    virtual ~CNztWnd() = default;
    uint32_t visible = 0;
    uint32_t takesKeys = 0;
};

extern CNztWnd** WndList;
extern uint32_t WndCount;
extern CNztWnd* FocusWnd;

CNztWnd* SetFocusWnd(CNztWnd* window);
void SendKeyDownToFocusWnd(CNztWnd* window, uint32_t code);
void SendKeyUpToFocusWnd(CNztWnd* window, uint32_t code);
void SendCharToFocusWnd(CNztWnd* window, uint32_t code);
uint32_t DispatchMouseMoveToWnds(int32_t x, int32_t y, uint32_t flags);
uint32_t DispatchLButtonDownToWnds(int32_t x, int32_t y, uint32_t flags);
uint32_t DispatchLButtonDblClkToWnds(int32_t x, int32_t y, uint32_t flags);
uint32_t DispatchLButtonUpToWnds(int32_t x, int32_t y, uint32_t flags);
uint32_t DispatchRButtonDownToWnds(int32_t x, int32_t y, uint32_t flags);
uint32_t DispatchRButtonUpToWnds(int32_t x, int32_t y, uint32_t flags);
uint32_t DispatchMButtonDownToWnds(int32_t x, int32_t y, uint32_t flags);
uint32_t DispatchMButtonUpToWnds(int32_t x, int32_t y, uint32_t flags);
uint32_t DispatchMouseWheelToWnds(int32_t x, int32_t y, int32_t delta);
void SortWndsByDepth(CNztWnd** list, int32_t first, int32_t last);
void DrawAllWnds();
void DrawBatchedQuad(uint32_t texture, const float corners[4][3], float alpha);
void DestroyWnd(CNztWnd* window, uint32_t shrink);
void DestroyAllWnds();
