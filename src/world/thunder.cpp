#include "world/thunder.h"

NztThunder** ThunderList = nullptr;
uint32_t ThunderCount = 0;

void RemoveAllThunders() {}
NztThunder* CreateThunder() {
    return nullptr;
}
