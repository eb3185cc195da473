// Trails.
#pragma once

void RemoveAllTrails();
