// The effects a world object runs when a spell is cast on it: thrown objects, bolts, character
// animations, sounds and camera shakes, taken from the spell instance the object holds. A spell's
// first list runs when it is cast; its second where a thrown object or bolt of the first ends.
// Main thread only.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

class NztBaseObject;
class NztDynObject;
class NztThunder;
struct SpellEffect;

// Runs every record of object's spell instance, from the last to the first; projectile is the
// thrown object whose impact started the run, or null.
void RunObjectEffects(NztBaseObject* object, NztDynObject* projectile);

// The (owner, target) pairs a thrown-object (type 0) or bolt (type 1) record makes for object,
// its target and the listed objects: one pair, one per listed object, or none.
using EffectPair = std::pair<NztBaseObject*, NztBaseObject*>;
std::vector<EffectPair> EffectPairs(const SpellEffect& record, NztBaseObject* object, NztBaseObject* target,
                                    const std::vector<NztBaseObject*>& listed);

// Creates and places the thrown object of a record; null when it cannot be created.
NztDynObject* SpawnObjectEffect(SpellEffect* record, NztBaseObject* owner);
// Sets the flight of a spawned object, launches it and plays the record's sound.
void LaunchObjectEffect(NztDynObject* thrown, SpellEffect* record, NztBaseObject* object, NztBaseObject* owner,
                        NztBaseObject* target);
// Creates a bolt with its start at the owner's point (tied to it when the record follows the owner)
// or position, at the camera eye, or at the base position; null when it cannot be created.
NztThunder* SpawnThunderEffect(SpellEffect* record, NztBaseObject* owner);
// Sets the bolt's end, duration and end callback, makes it active and plays the record's sound.
void AimThunderEffect(NztThunder* bolt, SpellEffect* record, NztBaseObject* owner, NztBaseObject* object,
                      NztBaseObject* target);

// Casts the second list of spell on object; for a character whose instance names an animation the
// animation is looked up into the instance. 0 when the cast fails.
int32_t PrepareSpellEffects(NztBaseObject* object, int32_t spell);
// The same, then every record starts at position (the object's position when null).
int32_t StartSpellEffects(NztBaseObject* object, int32_t spell, const float* position);
// Impact of a thrown object whose record asked for the second list.
void OnDynObjectImpact(NztDynObject* thrown);
// End of a bolt whose record asked for the second list.
void OnThunderEnd(NztThunder* bolt);
