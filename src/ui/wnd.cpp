#include "ui/wnd.h"

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
void DestroyWnd(CNztWnd*, uint32_t) {}
void DestroyAllWnds() {}
