#include "objects/userprop.h"

#include <cstdio>

namespace {

bool InList(const UserPropertyList* list, int32_t index) {
    return list != nullptr && index >= 0 && static_cast<size_t>(index) < list->properties.size();
}

}  // namespace

void AddUserProperty(UserPropertyList* list, const UserProperty* source) {
    if (list == nullptr) return;
    UserProperty property{};
    if (source != nullptr) {
        property = *source;
        // The source may come straight from a file; its name must still end inside the field.
        property.name[sizeof property.name - 1] = 0;
    } else {
        std::snprintf(property.name, sizeof property.name, "User Property %zu", list->properties.size() + 1);
    }
    list->properties.push_back(property);
}

void CopyUserProperty(const UserPropertyList* list, int32_t index, UserProperty* out) {
    if (out == nullptr || !InList(list, index)) return;
    *out = list->properties[static_cast<size_t>(index)];
}

UserProperty* GetUserProperty(UserPropertyList* list, int32_t index) {
    if (!InList(list, index)) return nullptr;
    return &list->properties[static_cast<size_t>(index)];
}
