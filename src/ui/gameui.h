// Game interfaces.
#pragma once

#include "scene/events.h"

class NztGameUI : public NztEventObject {
public:
    NztGameUI() { kind = ObjectKindGameUI; }
};

void DestroyAllGameUIs();
void RefreshHudTextSizes();
void LayoutGameScreens();
void RefreshGameUITexts();
