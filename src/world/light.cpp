#include "world/light.h"

NztLight::NztLight() { kind = 8; }
