// Object registries and the frame passes.
#pragma once

void ClearObjectLists();
void AllocObjectLists();
void FreeObjectLists();
void UpdateObjects();
void LateUpdateObjects();
void RenderObjects();
