// The pieces of object-type loading that the character list shares with the other instance
// lists: growing and closing up the owning lists, type names and folders, level-of-detail and
// animation loading. Included by the files that keep instance lists of object types only
// (objects/objtype.cpp, effects/dynobject.cpp, character/entitylist.cpp).
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "core/ownedlist.h"
#include "core/paths.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/events.h"
#include "objects/objtype.h"

extern uint32_t ObjectTypeCapacity;
extern uint32_t SfxTypeCapacity;

namespace {


// Mesh files of levels 0 to 5 carry the digits 1 to 6.
constexpr uint32_t LodDigitCount = 6;

// Appends a new instance to its owning list and registers it.
template <typename T>
T* AddInstance(T**& list, uint32_t& count, uint32_t& capacity, T* object, uint32_t (*registerObject)(T*)) {
    Append(list, count, capacity, object);
    registerObject(object);
    return object;
}

void ReleaseTypeInstance(NztMesh* mesh);

// Takes entry index off its owning list, then unregisters, releases and destroys it and lets its
// type know; the list is closed up first so that the release never sees the entry half gone.
template <typename T, typename Release>
void RemoveInstanceAt(T**& list, uint32_t& count, uint32_t& capacity, uint32_t index, bool shrink,
                      uint32_t (*unregisterObject)(T*), Release release) {
    if (index >= count) return;
    T* object = list[index];
    CloseGap(list, count, index);
    if (object != nullptr) {
        NztMesh* mesh = object->mesh;
        unregisterObject(object);
        release(object);
        delete object;
        ReleaseTypeInstance(mesh);
    }
    ShrinkIfAsked(list, count, capacity, shrink);
}

void CopyName(char (&out)[256], const char* name) {
    std::snprintf(out, sizeof out, "%s", name != nullptr ? name : "");
}

[[maybe_unused]] uint32_t SendTo(NztEventObject* object, uint32_t code) {
    return ObjectServices.sendEvent(object, code, 0, 0, 0);
}

[[maybe_unused]] float DistanceSq(const float a[3], const float b[3]) {
    const float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return dx * dx + dy * dy + dz * dz;
}

// A type name from data becomes part of a path: it may name a folder below OBJECTS, never above it.
bool IsSafeTypeName(const char* name) {
    if (name == nullptr || name[0] == 0 || name[0] == '/' || name[0] == '\\') return false;
    return std::strstr(name, "..") == nullptr;
}

// The folder part of a type name ("MONSTERS/Orc" gives "MONSTERS/"), empty without one.
[[maybe_unused]] void FolderPart(const char* name, char (&out)[256]) {
    size_t cut = 0;
    for (size_t i = 0; name[i] != 0; ++i)
        if (name[i] == '/' || name[i] == '\\') cut = i + 1;
    std::snprintf(out, sizeof out, "%.*s", static_cast<int>(std::min<size_t>(cut, 255)), name);
}

// "Hero1001" into the base "Hero" and the number 1; false when the name is too short.
bool SplitTypeName(const char* typeName, char (&base)[256], uint32_t* number) {
    if (!IsSafeTypeName(typeName)) return false;
    const size_t n = std::strlen(typeName);
    if (n < 4 || n - 4 >= sizeof base) return false;
    *number = static_cast<uint32_t>(std::strtoul(typeName + n - 3, nullptr, 10));
    std::memcpy(base, typeName, n - 4);
    base[n - 4] = 0;
    return true;
}

bool FormatPath(char (&out)[512], const char* format, ...) __attribute__((format(printf, 2, 3)));
bool FormatPath(char (&out)[512], const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(out, sizeof out, format, args);
    va_end(args);
    if (n < 0 || static_cast<size_t>(n) >= sizeof out) {
        std::fprintf(stderr, "objtype: path too long for \"%s\"\n", format);
        return false;
    }
    return true;
}

NztObjectType* TypeAt(uint32_t index) {
    return index < ObjectTypeCount ? &ObjectTypeTable[index] : nullptr;
}

// One instance of the mesh's type went away: the last one gives the mesh back to the library.
// A mesh outside the type table belongs to its one instance.
void ReleaseTypeInstance(NztMesh* mesh) {
    if (mesh == nullptr) return;
    NztObjectType* type = TypeAt(mesh->TypeIndex);
    if (type == nullptr || type->Mesh != mesh) {
        ReleaseMeshData(mesh);
        return;
    }
    if (type->InstanceCount > 0) --type->InstanceCount;
    if (type->InstanceCount == 0) {
        type->Mesh = nullptr;
        ReleaseMeshData(mesh);
    }
}

// LODs 1 to 5 of a type from the same file pattern with the digits 2 to 6, up to the first missing.
void LoadHigherLods(NztMesh* mesh, const char* pattern, const char* base, uint32_t number) {
    char path[512];
    for (uint32_t lod = 1; lod < LodDigitCount; ++lod) {
        if (!FormatPath(path, pattern, base, lod + 1, number)) return;
        if (LoadMeshFile(path, mesh, lod, 1) == 0) return;
    }
}

// Instances keep a pointer to the slot array, so it gets its full size before the first instance.
void SizeTypeSlots(NztMesh* mesh) {
    ResizeMeshAnimSlots(mesh, AnimNameCount);
}

[[maybe_unused]] void NameMeshForType(NztMesh* mesh, uint32_t typeIndex) {
    const NztObjectType& type = ObjectTypeTable[typeIndex];
    CopyName(mesh->Name, type.Name);
    for (char* c = mesh->Name; *c != 0; ++c) *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    mesh->Number = type.Number;
    mesh->TypeIndex = typeIndex;
    SizeTypeSlots(mesh);
}

[[maybe_unused]] NztAnim* LoadSlotAnim(uint32_t slot, NztObjectType& type, const char* path) {
    NztMesh* mesh = type.Mesh;
    if (mesh == nullptr || slot >= AnimNameCount) return nullptr;
    SizeTypeSlots(mesh);
    mesh->AnimSlotFlags[slot] = 1;
    NztAnim*& anim = mesh->AnimSlots[slot];
    if (anim == nullptr) anim = CreateAnim();
    if (anim->Load(path, std::max(mesh->LargestBoneCount, mesh->MaxBoneCount)) == 0) {
        DeleteAnim(anim);
        anim = nullptr;
        return nullptr;
    }
    const AnimDefaultFlags& d = AnimDefaults[slot];
    anim->JumpStartFlag = d.JumpStartFlag;
    anim->DiveStartFlag = d.DiveStartFlag;
    anim->IdleFlag = d.IdleFlag;
    anim->LoopFlag = d.LoopFlag;
    return anim;
}

[[maybe_unused]] bool NameMatches(const NztMesh* mesh, const char* name, uint32_t number) {
    return mesh != nullptr && mesh->Number == number && strcasecmp(mesh->Name, name) == 0;
}

void CopyPlacement(const NztBaseObject* from, NztBaseObject* to) {
    std::copy(from->Position, from->Position + 3, to->Position);
    std::copy(from->PreviousPosition, from->PreviousPosition + 3, to->PreviousPosition);
    std::copy(from->rotation, from->rotation + 9, to->rotation);
    std::copy(from->secondRotation, from->secondRotation + 9, to->secondRotation);
    to->packedAngles = from->packedAngles;
    to->roll = from->roll;
}

// Range, size, ground quad and flags of a clone.
[[maybe_unused]] void CopyCloneState(NztCollideObject* from, NztCollideObject* to) {
    CopyPlacement(from, to);
    to->SetRange(from->GetRange());
    to->SetSize(from->GetSize());
    to->SetGroundQuad(from->groundQuadStrength);
    to->shown = from->shown;
    to->visibilityTest = from->visibilityTest;
    to->unlit = from->unlit;
    std::copy(from->axisLocks, from->axisLocks + 3, to->axisLocks);
}

}  // namespace
