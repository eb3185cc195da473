// The plug-in services on world objects, user properties, animations and sounds (slots 37-39, 41,
// 43-49, 51 and 52), called through the table as a plug-in calls them.
#include "plugin/services.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "audio/openal.h"
#include "audio/sound.h"
#include "character/entity.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "datakit/datakit.h"
#include "datakit/wav.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "objects/userprop.h"
#include "world/scnobject.h"

namespace {

UserProperty Property(const char* name, int32_t i, float f) {
    UserProperty p{};
    std::snprintf(p.name, sizeof p.name, "%s", name);
    p.intValue = i;
    p.floatValue = f;
    return p;
}

// Slots 43-49 work on the entity at an index of the character list and the property at an index
// of its list; an entity without a list answers -1, null, 0 and 0.0 and takes no change.
TEST(PluginPropertyServices, ReadAndWriteTheIndexedEntitysProperties) {
    NztEntity bare, owner;
    owner.userProperties = new UserPropertyList;
    for (const UserProperty& p : {Property("Gold", 5, 1.5f), Property("Keys", 2, 0.0f), Property("GOLD", 9, 2.5f)})
        AddUserProperty(owner.userProperties, &p);
    NztEntity* list[] = {&bare, &owner};
    NztEntity** savedList = EntityList;
    const uint32_t savedCount = EntityCount;
    EntityList = list;
    EntityCount = 2;

    // The last property of that name, whatever the case.
    EXPECT_EQ(PluginServices.FindEntityProperty(1, "gold"), 2);
    EXPECT_EQ(PluginServices.FindEntityProperty(1, "Keys"), 1);
    EXPECT_EQ(PluginServices.FindEntityProperty(1, "Silver"), -1);
    EXPECT_EQ(PluginServices.FindEntityProperty(0, "Gold"), -1);
    // The property itself, in the interface's layout.
    QvUserProperty* p = PluginServices.GetEntityProperty(1, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(p), "Gold");
    EXPECT_EQ(PluginServices.GetEntityProperty(0, 0), nullptr);
    EXPECT_EQ(PluginServices.GetEntityPropertyInt(1, 2), 9);
    EXPECT_EQ(PluginServices.GetEntityPropertyFloat(1, 0), 1.5f);
    EXPECT_EQ(PluginServices.GetEntityPropertyInt(0, 0), 0);
    EXPECT_EQ(PluginServices.GetEntityPropertyFloat(0, 0), 0.0f);

    PluginServices.SetEntityPropertyName(1, 1, "Lockpicks");
    PluginServices.SetEntityPropertyInt(1, 1, -4);
    PluginServices.SetEntityPropertyFloat(1, 1, 7.25f);
    const UserProperty& changed = owner.userProperties->properties[1];
    EXPECT_STREQ(changed.name, "Lockpicks");
    EXPECT_EQ(changed.intValue, -4);
    EXPECT_EQ(changed.floatValue, 7.25f);
    EXPECT_EQ(PluginServices.FindEntityProperty(1, "lockpicks"), 1);
    // Read back through the service as well.
    EXPECT_EQ(PluginServices.GetEntityPropertyInt(1, 1), -4);
    EXPECT_EQ(PluginServices.GetEntityPropertyFloat(1, 1), 7.25f);
    // No list: nothing changes and nothing is made.
    PluginServices.SetEntityPropertyName(0, 0, "x");
    PluginServices.SetEntityPropertyInt(0, 0, 1);
    PluginServices.SetEntityPropertyFloat(0, 0, 1.0f);
    EXPECT_EQ(bare.userProperties, nullptr);

    EntityList = savedList;
    EntityCount = savedCount;
}

// Slots 39 and 41 read the object found by id and kind: its position, and its rotation as a
// quaternion w, x, y, z. An id or kind that finds nothing leaves the output as it was.
TEST(PluginObjectServices, PositionAndQuaternionOfTheObjectFoundByIdAndKind) {
    BuildSinCosTables();
    NztScnObject* object = CreateScnObject(nullptr);
    NztEntity* entity = CreateEntity(nullptr);
    object->id = 3;
    entity->id = 3;
    const float at[3] = {4.0f, -5.0f, 6.5f};
    object->SetPosition(at);
    const float elsewhere[3] = {-1.0f, 0.0f, 1.0f};
    entity->SetPosition(elsewhere);
    // Half a turn about the vertical: x and z change sign.
    const float turn[9] = {-1, 0, 0, 0, 1, 0, 0, 0, -1};
    std::memcpy(object->rotation, turn, sizeof turn);

    float position[3] = {};
    PluginServices.GetObjectPosition(3, QV_PLUGIN_KIND_SCNOBJECT, position);
    EXPECT_EQ(position[0], 4.0f);
    EXPECT_EQ(position[1], -5.0f);
    EXPECT_EQ(position[2], 6.5f);
    PluginServices.GetObjectPosition(3, QV_PLUGIN_KIND_ENTITY, position);
    EXPECT_EQ(position[0], -1.0f);
    EXPECT_EQ(position[2], 1.0f);

    float q[4] = {};
    PluginServices.GetObjectQuaternion(3, QV_PLUGIN_KIND_SCNOBJECT, q);
    EXPECT_NEAR(std::fabs(q[0]), 0.0f, 1e-5f);
    EXPECT_NEAR(q[1], 0.0f, 1e-5f);
    EXPECT_NEAR(std::fabs(q[2]), 1.0f, 1e-5f);
    EXPECT_NEAR(q[3], 0.0f, 1e-5f);
    PluginServices.GetObjectQuaternion(3, QV_PLUGIN_KIND_ENTITY, q);
    EXPECT_NEAR(q[0], 1.0f, 1e-5f) << "a new character faces +z: the identity";

    struct Miss {
        int32_t id, kind;
    };
    for (const Miss m : {Miss{4, QV_PLUGIN_KIND_SCNOBJECT}, Miss{3, 6}, Miss{-1, QV_PLUGIN_KIND_ENTITY}}) {
        float p[3] = {9.0f, 9.0f, 9.0f};
        float r[4] = {9.0f, 9.0f, 9.0f, 9.0f};
        PluginServices.GetObjectPosition(m.id, m.kind, p);
        PluginServices.GetObjectQuaternion(m.id, m.kind, r);
        EXPECT_EQ(p[0], 9.0f) << m.id << " " << m.kind;
        EXPECT_EQ(r[0], 9.0f) << m.id << " " << m.kind;
    }
    RemoveAllScnObjects();
    RemoveAllEntities();
}

// Slots 37 and 38 put the object found by id and kind into the world and take it out again; an
// id that finds nothing changes nothing.
TEST(PluginObjectServices, ActivateAndDeactivateTheObjectFoundByIdAndKind) {
    AllocObjectLists();
    NztScnObject* object = CreateScnObject(nullptr);
    object->id = 5;
    ASSERT_NE(object->registered, 0u);
    PluginServices.DeactivateObject(6, QV_PLUGIN_KIND_SCNOBJECT);
    PluginServices.DeactivateObject(5, QV_PLUGIN_KIND_ENTITY);
    EXPECT_NE(object->registered, 0u);
    PluginServices.DeactivateObject(5, QV_PLUGIN_KIND_SCNOBJECT);
    EXPECT_EQ(object->registered, 0u);
    PluginServices.ActivateObject(6, QV_PLUGIN_KIND_SCNOBJECT);
    EXPECT_EQ(object->registered, 0u);
    PluginServices.ActivateObject(5, QV_PLUGIN_KIND_SCNOBJECT);
    EXPECT_NE(object->registered, 0u);
    RemoveAllScnObjects();
    FreeObjectLists();
}

// Slot 51 plays the first named animation on the registered character of that id, locked, with the
// second as the one to return to; other kinds and characters out of the world are left alone.
TEST(PluginObjectServices, PlayEntityAnimPlaysTheNamedAnimationOnTheCharacter) {
    AllocObjectLists();
    NztMesh mesh;
    mesh.Skinned = 1;
    mesh.AnimSlots.assign(AnimNameCount, nullptr);
    mesh.AnimSlotFlags.assign(AnimNameCount, 1);
    NztAnim stand, wave;
    stand.FrameCount = wave.FrameCount = 4;
    stand.Frames.resize(4);
    wave.Frames.resize(4);
    mesh.AnimSlots[static_cast<size_t>(FindAnimSlot("MoveStatic01"))] = &stand;
    mesh.AnimSlots[static_cast<size_t>(FindAnimSlot("Action01"))] = &wave;
    NztEntity* entity = CreateEntity(nullptr);
    entity->id = 8;
    entity->mesh = &mesh;
    entity->layers.resize(AnimLayerCount);

    PluginServices.PlayEntityAnim(8, QV_PLUGIN_KIND_SCNOBJECT, "Action01", "MoveStatic01");
    PluginServices.PlayEntityAnim(9, QV_PLUGIN_KIND_ENTITY, "Action01", "MoveStatic01");
    EXPECT_EQ(entity->currentAnim, nullptr);
    entity->registered = 0;
    PluginServices.PlayEntityAnim(8, QV_PLUGIN_KIND_ENTITY, "Action01", "MoveStatic01");
    EXPECT_EQ(entity->currentAnim, nullptr);
    entity->registered = 1;
    PluginServices.PlayEntityAnim(8, QV_PLUGIN_KIND_ENTITY, "action01", "MoveStatic01");
    EXPECT_EQ(entity->currentAnim, &wave);
    EXPECT_EQ(entity->nextAnim, &stand);
    EXPECT_NE(entity->locked, 0);

    entity->mesh = nullptr;
    RemoveAllEntities();
    FreeObjectLists();
}

// Slot 52 loads the named sound into a slot owned by nobody and plays it at the listener, looping
// when asked; a name that loads nothing answers no slot.
TEST(AudioPluginServices, PlaySoundLoadsTheNamedSoundAndPlaysIt) {
    setenv("ALSOFT_DRIVERS", "null", 1);
    char pattern[] = "/tmp/qv-plugin-sound-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = std::string(pattern) + "/";
    ASSERT_TRUE(datakit::WriteBytes(folder + "SOUNDS/Beep.Wav",
                                    datakit::Pcm16Wav(datakit::SineTone(22050, 1, 0.5, 880, 0.5, {}), 1, 22050)));
    ASSERT_TRUE(SetDataFolder(folder.c_str()));
    ClearPathCache();
    ASSERT_TRUE(StartSoundSystem());
    InitSound();
    EXPECT_EQ(PluginServices.PlaySound(nullptr, 0), NoSoundSlot);
    EXPECT_EQ(PluginServices.PlaySound("SOUNDS/Missing.Wav", 0), NoSoundSlot);
    const uint32_t key = NameChecksum("SOUNDS/Beep.Wav");
    const int32_t slot = PluginServices.PlaySound("SOUNDS/Beep.Wav", 0);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(SoundTable.slots[slot].nameKey, key);
    EXPECT_EQ(SoundTable.slots[slot].owner, nullptr);
    EXPECT_EQ(SoundTable.slots[slot].playCount, 1u);
    ALint loops = -1;
    OpenAL.alGetSourcei(SoundTable.slots[slot].source, AL_LOOPING, &loops);
    EXPECT_EQ(loops, AL_FALSE);
    // The same name without an owner finds the same slot; this time it loops.
    EXPECT_EQ(PluginServices.PlaySound("SOUNDS/Beep.Wav", 1), slot);
    EXPECT_EQ(SoundTable.slots[slot].playCount, 2u);
    OpenAL.alGetSourcei(SoundTable.slots[slot].source, AL_LOOPING, &loops);
    EXPECT_EQ(loops, AL_TRUE);
    DeleteAllSounds();
    StopSoundSystem();
    std::filesystem::remove_all(pattern);
}

}  // namespace
