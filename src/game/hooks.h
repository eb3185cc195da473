// The calls that lower floors make up into the game, the ui and the world, installed at start-up.
#pragma once

// Installs every hook a lower floor declares for a higher one: the run-mode switch of the frame
// clock, the game half of input, the music events, the bars drawn over objects.
void InstallEngineHooks();
