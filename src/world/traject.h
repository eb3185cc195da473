// Trajectories.
#pragma once

void DeleteAllTrajects();
