// Rope simulation, links and anchors.
#pragma once

#include <cstdint>

struct RopeSettingsRecord {
    float gravity[3];
    float extraAcceleration[3];
    float spare;
    float stepTime;
    uint32_t iterationCount;
    uint32_t axisSwitches[3];
};
extern RopeSettingsRecord RopeSettings;

void InitRopePools();
void ResetRopePools();
void UpdateRopes();
void FreeRopeLinks();
void FreeRopeAnchors();
class NztBaseObject;
// Deletes every link with an end on the object, then every anchor of the object.
void RemoveObjectLinks(NztBaseObject* object);
