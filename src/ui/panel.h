// The image panel (a model shown in front of a background image, growing out of a point and
// shrinking into another) and the health bars above characters.
#pragma once

#include <cstdint>

#include "objects/eventrecord.h"

class CNztWnd;
class NztBaseObject;
class NztEntity;
class NztScnObject;
struct NztRenderState;

// The panel's settings as a scene stores them. Rectangles are x, y, width, height in 1024x768
// units.
struct PanelSettings {
    char objectName[64] = {};
    char imageName[256] = {};  // background, loaded as "MAPS/UI/<name>.Img"
    float rect[4] = {256.0f, 192.0f, 512.0f, 384.0f};
};

struct ImagePanelState {
    CNztWnd* window = nullptr;  // null while closed
    // The model shown: the panel's own, in no world list or registry, freed only by the panel.
    NztScnObject* object = nullptr;
    uint8_t objectOwned = 0;
    char objectName[64] = {};
    char imageName[256] = {};
    uint32_t image = 0;  // texture id of the background
    float rect[4] = {256.0f, 192.0f, 512.0f, 384.0f};
    float showTime = 0.0f;  // seconds; 0 = until closed
    float timeLeft = 0.0f;
    float openingLeft = 0.0f;  // seconds left of the growing
    float closingLeft = 0.0f;  // seconds left of the shrinking
    float step[4] = {};        // change of the current rectangle per frame
    float startRect[4] = {};   // a point: width and height 0
    float endRect[4] = {};     // a point: width and height 0
    float currentRect[4] = {};
    // Run when the shrinking ends: action 62, sub-code 7 (close the panel), through the action table,
    // so that a script hooked on the closing sees it.
    EventRecord closeRecord = {};
};

extern ImagePanelState PanelState;

// Seconds the panel takes to grow and to shrink.
inline constexpr float PanelAnimTime = 0.15f;

void InitPanelGlobals();
// settings may be null: only the layout is refreshed.
void LoadPanelSettings(const PanelSettings* settings);
void LayoutPanelWnd();
// Opens the panel for an object (or refreshes it: the window stays, the model is replaced and
// the growing starts again). showTime in seconds, 0 = until closed.
void OpenImagePanel(NztBaseObject* object, float showTime);
void CloseImagePanel();
void StartPanelClose();
// One drawn frame of the panel's animation.
void UpdateImagePanel();
uint32_t PanelWndCallback(uint32_t message, CNztWnd* window, float a, float b, float c);

// One bar in pixels from the viewport centre: the black frame and the coloured fill.
struct ObjectBar {
    float frame[4];  // left, top, right, bottom
    float fill[4];
};
// False when the character gets no bar this frame.
bool ComputeObjectBar(const NztEntity& entity, const NztRenderState& rs, ObjectBar* out);
// The bars above characters.
void DrawObjectBars();
