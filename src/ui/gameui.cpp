#include "ui/gameui.h"

NztGameUI** GameUIList = nullptr;
int32_t GameUICount = 0;

void DestroyAllGameUIs() {}
void RefreshGameUITexts() {}
void ShowGameUI(NztGameUI*) {}
void HideGameUI(NztGameUI*) {}
void NztGameUI::SetOpacity(float) {}
