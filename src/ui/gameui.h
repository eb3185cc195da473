// Game interfaces: editor-made HUD panels. Each is one button window with three images and a
// caption taken from the loaded text table, placed in a tree of panels: a game interface, a counter
// or an inventory names its parent game interface by its 0-based index in GameUIList, and moving,
// scaling, rotating or fading a panel carries its children along. Clicks, hovering and the Enter
// and Escape keys of an editable caption fire events on the panel; a caption can be saved to and
// loaded from a ".nui" user file.
//
// Geometry is authored in a virtual 1024 x 768 screen and scaled to the real screen whenever a
// window is placed or sized. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "objects/events.h"

class CNztWnd;
class CNztWnd_Button;
class BinReader;
class BinWriter;

// The game interface's fixed record in scene files: 888 bytes, little-endian.
struct GameUIRecord {
    int32_t parentIndex = -1;  // 0-based index in GameUIList; -1 = top level
    float x = 0.0f, y = 0.0f;
    float width = 64.0f, height = 64.0f;
    float pressInflate = 0.0f;
    uint32_t border = 0, movable = 0, resizable = 0;
    float textOffsetX = 0.0f, textOffsetY = 0.0f;
    uint32_t textShadow = 0;
    uint32_t textColour = 0xFFFFFFFFu;  // 0xFFRRGGBB; the top byte is ignored on reading
    int32_t textIndex = -1;
    char name[64] = {};
    char imageName[256] = {};
    char passOverImageName[256] = {};
    char pressedImageName[256] = {};
};
inline constexpr size_t GameUIRecordBytes = 888;
// Reads one record; text fields forced to end in zero. False when the bytes run out.
bool ReadGameUIRecord(BinReader& in, GameUIRecord* record);
void WriteGameUIRecord(BinWriter& out, const GameUIRecord& record);

// The ".nui" save: u32 length, then that many caption bytes (no terminator, no version word).
inline constexpr uint32_t GameUITextMax = 255;
// Caption of a save into text (terminated). False when the length word is missing, above
// GameUITextMax or the bytes run short; text is then left alone. The stored length goes to
// storedLength when given.
bool ParseGameUIText(const uint8_t* data, size_t bytes, char (&text)[256], uint32_t* storedLength = nullptr);

// One running animation.
struct GameUIAnim {
    uint32_t kind = 0;  // 1 move, 2 rotate, 3 scale, 4 fade
    float duration = 0.0f;
    float elapsed = 0.0f;
    float start[3] = {};
    float end[3] = {};  // move: the part of (dx, dy) applied so far
};
inline constexpr uint32_t GameUIAnimMove = 1, GameUIAnimRotate = 2, GameUIAnimScale = 3, GameUIAnimFade = 4;

// An animation as an event record describes it: kind V5 (integer), duration V3, start values
// V6, V7, V10 and end values V8, V9, V11.
struct GameUIAnimParams {
    uint32_t kind = 0;
    float duration = 0.0f;
    float start[3] = {};
    float end[3] = {};
};
GameUIAnimParams GetUIAnimParams(const EventRecord& record);

class NztGameUI : public NztEventObject {
public:
    NztGameUI();

    void FillSceneRecord(GameUIRecord* record) const;
    void LinkToParent();
    void SetImage(const char* stem);
    void SetPressedImage(const char* stem);
    void SetPassOverImage(const char* stem);
    void SetGtxText(int32_t index);
    void SetOpacity(float alpha);
    void StartAnim(const GameUIAnimParams& params);
    // One step of every running animation, from the last to the first (after the window was drawn).
    void StepAnims();
    // Places the window at the current position, scaled.
    void Place();
    void SaveText(const char* saveName);
    void LoadText(const char* saveName);
    void RefreshTextSize();
    void DestroyWnd();
    void Release();

    // Children of this panel (game interfaces, counters, inventories) follow these.
    void RotateChildren(const float angles[3], float pivotX, float pivotY);
    void ScaleChildren(float sx, float sy);
    void FadeChildren(float alpha);

    CNztWnd_Button* mainWnd = nullptr;
    int32_t parentIndex = -1;
    float baseX = 0.0f, baseY = 0.0f;
    float baseWidth = 64.0f, baseHeight = 64.0f;
    float x = 0.0f, y = 0.0f;
    float width = 64.0f, height = 64.0f;
    float pressInflate = 0.0f;
    int32_t textIndex = -1;
    float textOffsetX = 0.0f, textOffsetY = 0.0f;
    uint32_t textShadow = 0;
    float textColour[3] = {1.0f, 1.0f, 1.0f};
    int32_t animCount = 0, animCapacity = 0;
    GameUIAnim* anims = nullptr;
    char name[64] = {};
    char imageName[256] = {};
    char passOverImageName[256] = {};
    char pressedImageName[256] = {};

private:
    // Steps animation i; one that ends is applied at its end and removed.
    void StepAnim(int32_t i);
    void ApplyAnim(GameUIAnim& anim, float t, bool last);
    void RemoveAnim(int32_t i);
};

extern NztGameUI** GameUIList;
extern int32_t GameUICount;

NztGameUI* CreateGameUI(const GameUIRecord& record);
void BuildGameUIWnds(NztGameUI* object, const GameUIRecord& record);
void LinkAllGameUIs();
// The game interface at a 0-based index, or null.
NztGameUI* GetGameUI(int32_t index);
void ShowGameUI(NztGameUI* object);
void HideGameUI(NztGameUI* object);
void EnableGameUI(NztGameUI* object);
void DisableGameUI(NztGameUI* object);
void RefreshGameUITexts();
void LayoutAllGameUIs();
void DestroyAllGameUIs();
void RefreshHudTextSizes();
void LayoutGameScreens();

uint32_t GameUIButtonCallback(CNztWnd* window);
uint32_t GameUIWndCallback(uint32_t message, CNztWnd* window, float a, float b, float c);

// Names from event records become file names: plain names only (no folders, no "..").
bool PlainSaveName(const char* name);
// Virtual 1024 x 768 units to screen pixels.
float HudScaleX();
float HudScaleY();
// The last pointer position in client pixels; installed by the game (null reads 0, 0).
extern void (*HudPointerPosition)(int32_t* x, int32_t* y);
