// Game interfaces.
#pragma once

#include "scene/events.h"

class CNztWnd;

class NztGameUI : public NztEventObject {
public:
    NztGameUI() { kind = ObjectKindGameUI; }
    CNztWnd* mainWnd = nullptr;
};

extern NztGameUI** GameUIList;
extern int32_t GameUICount;

void DestroyAllGameUIs();
void RefreshHudTextSizes();
void LayoutGameScreens();
void RefreshGameUITexts();
