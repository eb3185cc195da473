// What the world floor asks of the characters and their spells, which sit on the floor above. The
// character floor fills the table (InstallCharacterLinks) at start-up and whenever it makes a
// character, so the table is full while any character exists; an empty slot answers as if there
// were none.
#pragma once

#include <cstdint>

class NztBaseObject;
class NztCollideObject;
class NztEntity;

struct CharacterLinkTable {
    NztCollideObject* (*asObject)(NztEntity* character);  // the character as the world object it is
    NztCollideObject* (*findById)(int32_t id);            // the character of an id, or null
    void (*castFrameSpell)(NztBaseObject* object, int32_t spell);  // casts and runs its effects
    void (*clearContactsWith)(NztBaseObject* object);     // every character forgets the object
    void (*remove)(NztBaseObject* character);             // out of the list, unless it is the player
    NztBaseObject* (*clone)(NztBaseObject* character);    // a copy added to the list, or null
    // Every character within the radius gains life by amount x (1 - d^2/r^2) and hears event 33.
    void (*radialLifeChange)(float amount, const float point[3], float radiusSq);
};
extern CharacterLinkTable CharacterLinks;

inline NztCollideObject* CharacterObject(NztEntity* character) {
    return character != nullptr && CharacterLinks.asObject != nullptr ? CharacterLinks.asObject(character) : nullptr;
}
inline NztCollideObject* FindCharacterObject(int32_t id) {
    return CharacterLinks.findById != nullptr ? CharacterLinks.findById(id) : nullptr;
}
