// Game lights.
#pragma once

void DeleteAllGameLights();
