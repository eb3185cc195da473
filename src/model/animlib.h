// The animation library, which owns animations, and the records of the animations shared by file
// name (the object types load them: objects/objtype.h). Main thread only.
#pragma once

#include <cstdint>

struct NztAnim;

// An animation shared by file name (LoadAnimFile).
struct AnimNameRecord {
    char Name[256];
    uint32_t Checksum;
    NztAnim* Anim;
    uint32_t UserCount;
};
extern AnimNameRecord* AnimNameRecords;
extern uint32_t AnimNameRecordCount;

// Index of the shared-animation record of the name, added when missing.
uint32_t GetAnimNameIndex(const char* name);
// Frees the animation-name records.
void FreeAnimNameRecords();

// Animation library.
extern NztAnim** AnimList;
extern uint32_t AnimCount;
extern uint32_t AnimCapacity;
// A new empty animation owned by the library.
NztAnim* CreateAnim();
// Frees an animation of the library and takes it off the list; pointers the library does not own
// (or no longer owns) are left alone, so an animation shared by several slots is freed once.
void DeleteAnim(NztAnim* anim);
void DeleteAllAnims();
