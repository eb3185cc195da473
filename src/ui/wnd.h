// The window toolkit and window manager.
#pragma once

#include <cstdint>

class CNztWnd;
// Notified of everything that happens to a window: (message, window, a, b, c).
using NztWndCallback = uint32_t (*)(uint32_t message, CNztWnd* window, float a, float b, float c);

class CNztWnd {
public:
    virtual ~CNztWnd() = default;
    virtual void SetPos(float x, float y);
    virtual void SetSize(float w, float h);
    virtual void SetWidth(float w);
    virtual void SetHeight(float h);
    void SetText(const char* newText);
    void SetImage(const char* name);
    void AddChild(CNztWnd* child);
    void RemoveChild(CNztWnd* child);
    void SetChildrenVisible(uint32_t on);
    void SetChildrenEnabled(uint32_t on);
    void UpdateRect();

    char text[256] = {};
    float textWidth = 0.0f, textHeight = 0.0f, textDepth = 0.0f;
    float left = 0.0f, top = 0.0f, width = 0.0f, height = 0.0f;
    float angle1 = 0.0f;  // 4096 per turn
    float pivotX = 0.0f, pivotY = 0.0f;
    float screenLeft = 0.0f, screenTop = 0.0f;
    uint32_t visible = 0;
    uint32_t enabled = 0;
    uint32_t border = 0, titleBar = 0, captionButtons = 0, movable = 0, resizable = 0, interactive = 0;
    float depthKey = 0.0f;
    float colour[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    uint32_t opaqueWhenFocused = 0;
    uint32_t image = 0;
    float fontSize = 0.0f, inverseFontSize = 0.0f;
    uint32_t takesKeys = 0;
    CNztWnd* parent = nullptr;
    CNztWnd** children = nullptr;
    uint32_t childCount = 0;
    float minimumWidth = 50.0f, minimumHeight = 18.0f, captionHeight = 16.0f;
    float textColour[3] = {1.0f, 1.0f, 1.0f};
    NztWndCallback eventCallback = nullptr;
    void* owner = nullptr;
};

// Text label.
class CNztWnd_Info : public CNztWnd {
public:
    void SetText(const char* newText);
    char label[256] = {};
    float textOffsetX = 0.0f, textOffsetY = 0.0f;
    uint32_t shadow = 1;
    uint32_t clip = 1;
    float sampleWidth = 0.0f, sampleHeight = 0.0f, sampleDepth = 0.0f;
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
CNztWnd* CreateWnd(const char* caption, float x, float y, float width, float height, const char* image);
CNztWnd_Info* CreateInfoWnd(const char* label, const char* image, float x, float y, float width, float height,
                            CNztWnd* parent);
void DestroyWnd(CNztWnd* window, uint32_t shrink);
void DestroyAllWnds();
