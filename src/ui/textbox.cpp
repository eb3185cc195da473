#include "ui/textbox.h"

void ClearTextBoxes() {}
void FreeGtxTable() {}
