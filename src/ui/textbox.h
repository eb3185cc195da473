// Text boxes and the text table.
#pragma once

void ClearTextBoxes();
// Frees the loaded text table and zeroes its count.
void FreeGtxTable();
int LoadGtxTable(const char* name);
