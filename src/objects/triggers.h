// Trigger zones: invisible oriented boxes that raise events 9 (entered), 10 (still inside, on each
// test) and 11 (left) on themselves as the player moves through them. Tested every 0.1 s by the
// game tick through the registry's trigger list.
#pragma once

#include <cstdint>

#include "objects/base3d.h"

class NztEventTrigger : public NztEventObject, public NztController {
public:
    NztEventTrigger();
    ~NztEventTrigger() override;

    // As the base object's: 23 on the first key, 25 when the list empties; 24 on every update
    // while keys run.
    NztControllerKeyState* AddKey(const NztControllerKey* key) override;
    void DeleteKey(int32_t index) override;
    void ClearKeys() override;
    void UpdateKeys() override;

    // Inverse orientation, corners and squared radius from position, orientation and extents.
    void UpdateBox();
    void SetRotation(const float m[9], bool rebuild);
    // Turns about the vertical axis by yaw angle units; the box is not rebuilt.
    void SetYaw(int32_t yaw);
    // Moves by v along the trigger's own axes and rebuilds the box.
    void MoveLocal(const float v[3]);
    // Takes the object's place, moved along its forward axis by distance; the carrier is cleared.
    void PlaceAt(const NztBaseObject* object, float distance);
    void SetCarrier(NztBaseObject* object, int32_t attachPoint);
    NztBaseObject* Carrier() const;

    char name[256] = {};
    float orientation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float inverseOrientation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float extents[3] = {0.0f, 0.0f, 0.0f};  // full size along the trigger's own axes
    uint32_t carrier = 0;                   // event-object handle of the carrier; 0 when free
    int32_t carrierPoint = -1;              // -1: the carrier's own position
    float corners[8][3] = {};  // the first two: minimum and maximum in the trigger's own frame
    float radiusSq = 0.0f;
    int32_t zoneState = -1;  // -1 outside, 9 just entered, 10 inside, 11 just left
};

extern NztEventTrigger** EventTriggerList;
extern uint32_t EventTriggerCount;

NztEventTrigger* CreateEventTrigger();
void DeleteEventTrigger(int32_t index);
void DeleteAllEventTriggers();
// Searched from the end; null for id -1, a kind other than 11, or none.
NztEventTrigger* FindEventTrigger(int32_t id, int32_t kind);
// Back into the world (when out of it) with its records evaluated.
void ActivateTrigger(NztEventTrigger* trigger);
// The zone test against a point; 1 when inside. Raises 9, 10 and 11 as the state changes.
int32_t TestTriggerObjects(NztEventTrigger* trigger, const float point[3]);
// Every registered trigger, last first, against the player; how many hold it (0 without a player).
uint32_t UpdateRegisteredTriggers();
// Event code to every registered trigger whose zone holds the player; the sum of the answers.
uint32_t BroadcastToRegisteredTriggers(uint32_t code);
