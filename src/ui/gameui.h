// Game interfaces.
#pragma once

void DestroyAllGameUIs();
void RefreshHudTextSizes();
void LayoutGameScreens();
void RefreshGameUITexts();
