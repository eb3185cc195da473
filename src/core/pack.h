// The data packs of the nine categories.
#pragma once

void OpenDataPacks();
void CloseDataPacks();
