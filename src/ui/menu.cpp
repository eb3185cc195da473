#include "ui/menu.h"

void LayoutSettingsScreen() {}
