// Particle effects.
#pragma once

void RemoveAllSfx();
