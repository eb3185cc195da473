#include "ui/gameui.h"

void DestroyAllGameUIs() {}
void RefreshHudTextSizes() {}
void LayoutGameScreens() {}
void RefreshGameUITexts() {}
