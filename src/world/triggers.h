// Trigger zones.
#pragma once

#include <cstdint>

#include "world/base3d.h"

class NztEventTrigger : public NztEventObject, public NztController {
public:
    NztEventTrigger() { kind = ObjectKindTrigger; }

    // As the base object's: 23 on the first key, 25 when the list empties; 24 on every update
    // while keys run.
    NztControllerKeyState* AddKey(const NztControllerKey* key) override;
    void DeleteKey(int32_t index) override;
    void ClearKeys() override;
    void UpdateKeys() override;
};

void UpdateRegisteredTriggers();
uint32_t BroadcastToRegisteredTriggers(uint32_t code);
void DeleteAllEventTriggers();
