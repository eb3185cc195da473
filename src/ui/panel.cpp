#include "ui/panel.h"

void InitPanelGlobals() {}
void CloseImagePanel() {}
void DrawObjectBars() {}
