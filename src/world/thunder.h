// Thunder bolts.
#pragma once

void RemoveAllThunders();
