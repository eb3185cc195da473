// Game interfaces.
#pragma once

#include "world/events.h"

class CNztWnd;

class NztGameUI : public NztEventObject {
public:
    NztGameUI() { kind = ObjectKindGameUI; }
    void SetOpacity(float alpha);
    CNztWnd* mainWnd = nullptr;
};

extern NztGameUI** GameUIList;
extern int32_t GameUICount;

void DestroyAllGameUIs();
void RefreshHudTextSizes();
void LayoutGameScreens();
void RefreshGameUITexts();

void ShowGameUI(NztGameUI* object);
void HideGameUI(NztGameUI* object);
