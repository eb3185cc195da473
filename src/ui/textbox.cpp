#include "ui/textbox.h"

void ClearTextBoxes() {}
void FreeGtxTable() {}
int LoadGtxTable(const char*) { return 0; }
