#include "model/animlib.h"

#include <cstdio>

#include "core/ownedlist.h"
#include "core/paths.h"
#include "model/anim.h"

AnimNameRecord* AnimNameRecords = nullptr;
uint32_t AnimNameRecordCount = 0;
NztAnim** AnimList = nullptr;
uint32_t AnimCount = 0;
uint32_t AnimCapacity = 0;

namespace {

uint32_t AnimNameRecordCapacity = 0;

}  // namespace

uint32_t GetAnimNameIndex(const char* name) {
    if (name == nullptr) name = "";
    const uint32_t checksum = NameChecksum(name);
    for (uint32_t i = AnimNameRecordCount; i-- > 0;)
        if (AnimNameRecords[i].Checksum == checksum) return i;
    GrowTable(AnimNameRecords, AnimNameRecordCount, AnimNameRecordCapacity);
    AnimNameRecord& record = AnimNameRecords[AnimNameRecordCount];
    record = AnimNameRecord{};
    std::snprintf(record.Name, sizeof record.Name, "%s", name);
    record.Checksum = checksum;
    return AnimNameRecordCount++;
}

void FreeAnimNameRecords() { FreeTable(AnimNameRecords, AnimNameRecordCount, AnimNameRecordCapacity); }

NztAnim* CreateAnim() {
    NztAnim* anim = new NztAnim();
    Append(AnimList, AnimCount, AnimCapacity, anim);
    return anim;
}

void DeleteAnim(NztAnim* anim) {
    const int32_t index = anim != nullptr ? IndexIn(AnimList, AnimCount, anim) : -1;
    if (index < 0) return;
    // A shared animation loaded by name loses its record's pointer with it.
    if (anim->NameIndex >= 0 && static_cast<uint32_t>(anim->NameIndex) < AnimNameRecordCount &&
        AnimNameRecords[anim->NameIndex].Anim == anim) {
        AnimNameRecords[anim->NameIndex].Anim = nullptr;
        AnimNameRecords[anim->NameIndex].UserCount = 0;
    }
    delete anim;
    CloseGap(AnimList, AnimCount, static_cast<uint32_t>(index));
    ShrinkIfAsked(AnimList, AnimCount, AnimCapacity, true);
}

void DeleteAllAnims() {
    while (AnimCount != 0) DeleteAnim(AnimList[AnimCount - 1]);
    FreeList(AnimList, AnimCount, AnimCapacity);
}
