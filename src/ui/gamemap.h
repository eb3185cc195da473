// Game maps.
#pragma once

void DestroyAllGameMaps();
