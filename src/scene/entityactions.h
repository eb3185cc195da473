// The entity control actions that reach the interface: the image panel on an object.
#pragma once

#include <cstdint>

struct EventRecord;

// Opens the image panel on a scene object or character, or closes it (type 62, deferred).
void ImagePanelAction(EventRecord* record);
// Where the pointer is, in client pixels; installed by start-up (null: the screen centre).
extern void (*ImagePanelPointer)(int32_t* x, int32_t* y);
// Installs the handlers of this file into the action table.
void RegisterSceneEntityActions();
