// Named user properties carried by world objects: one name, one integer and one float each. The
// record is stored byte for byte in scene files, so its layout is fixed at 264 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct UserProperty {
    char name[256];  // always ends in a zero
    int32_t intValue;
    float floatValue;
};
static_assert(sizeof(UserProperty) == 264);
static_assert(offsetof(UserProperty, intValue) == 256);
static_assert(offsetof(UserProperty, floatValue) == 260);

// Owned by its object, created on first append and freed with the object.
struct UserPropertyList {
    std::vector<UserProperty> properties;
};

// Appends a copy of source (its name forced to end in a zero), or, with a null source, a property
// named "User Property <n>" with n the new count, integer 0 and float 0. A null list does nothing.
void AddUserProperty(UserPropertyList* list, const UserProperty* source = nullptr);
// Copies element index into out; nothing when the list is empty, out is null or index is outside it.
void CopyUserProperty(const UserPropertyList* list, int32_t index, UserProperty* out);
// The address of element index, or null when the list is empty or index is outside it.
UserProperty* GetUserProperty(UserPropertyList* list, int32_t index);
