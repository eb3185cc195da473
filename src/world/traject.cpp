#include "world/traject.h"

void DeleteAllTrajects() {}
