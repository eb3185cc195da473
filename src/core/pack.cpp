#include "core/pack.h"

void OpenDataPacks() {}
void CloseDataPacks() {}
