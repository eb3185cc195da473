// Counters.
#pragma once

void DestroyAllCounters();
