// The image panel and the object bars.
#pragma once

void InitPanelGlobals();
void CloseImagePanel();
// The bars above objects.
void DrawObjectBars();
