#include "character/entity.h"

void NztEntity::SetTarget(NztBaseObject* object) {
    target = object;
}
