// The spells carried by animation frames. The rest of the base object's animation cursor, layers,
// attach points, trails and user properties are members of NztBaseObject (objects/base3d.h).
#pragma once

class NztBaseObject;

// Casts the first effect list of the spell of every frame from the first due frame up to the one
// before the current frame on object, and runs the object's effects after each cast that took.
void CastFrameSpells(NztBaseObject* object);
// The same for the current frame alone.
void CastCurrentFrameSpell(NztBaseObject* object);
