// Object registries: which world objects take part in each frame.
//
// Every world object is registered in the master list and in the list of its kind; triggers and the
// lights near the camera have lists of their own outside the master list. The owning lists of each
// kind keep ownership: the registries only point. The registered flag of NztBase3D is the sign of
// membership. The passes that walk the registries every frame are world/framepass.h.
//
// Every list keeps the order of registration; removal moves the tail down one place and nulls the
// freed slot. A list never shrinks: when an append makes the count reach the capacity, the capacity
// becomes count + the list's step (500 for the master list, 50 for the others).
//
// This file also holds the full-screen picture overlay and the two pick queries under the mouse.
// Main thread only.
#pragma once

#include <cstdint>

class NztBase3D;
class NztCollideObject;
class NztDynObject;
class NztBaseObject;
class NztEntity;
class NztEventObject;
class NztEventTrigger;
class NztLight;
class NztScnObject;
class NztSfx;
class NztThunder;
class NztTrail;
struct SfxDef;

struct ObjectList {
    NztBase3D** objects = nullptr;  // slots from count to capacity are null
    int32_t count = 0;
    int32_t capacity = 0;
};

inline constexpr int32_t MasterListStep = 500;
inline constexpr int32_t KindListStep = 50;

extern ObjectList ObjectRegistry;  // the master list
extern ObjectList EntityRegistry;
extern ObjectList ScnObjectRegistry;
extern ObjectList CollideObjectRegistry;  // plain collision objects only
extern ObjectList DynObjectRegistry;
extern ObjectList SfxRegistry;
extern ObjectList TrailRegistry;
extern ObjectList ThunderRegistry;
extern ObjectList TriggerRegistry;    // not in the master list
extern ObjectList NearLightRegistry;  // lights lit near the camera; not in the master list
// Bumped whenever the character list may have changed (registration, removal, the lists made or
// freed): the collision queries' index of the characters is made again when it moves.
extern uint32_t EntityRegistryChanges;

// Before start-up: every list empty with no array, the overlay off with its defaults.
void ClearObjectLists();
// At start-up: the first capacities (500 and 50), arrays allocated, counts 0.
void AllocObjectLists();
// At shutdown: the overlay's picture released, every array freed, counts and capacities 0.
void FreeObjectLists();

// Master list only: 1 when done, 0 when the flag says it is already in (or already out). An
// unregistration whose object is missing from the list still clears the flag and answers 0.
uint32_t RegisterObject(NztBase3D* object);
uint32_t UnregisterObject(NztBase3D* object);
// The master list first (0 there stops the call), then the kind list.
uint32_t RegisterEntity(NztCollideObject* object);
uint32_t RegisterScnObject(NztScnObject* object);
uint32_t RegisterCollideObject(NztCollideObject* object);
uint32_t UnregisterEntity(NztCollideObject* object);
uint32_t UnregisterScnObject(NztScnObject* object);
uint32_t UnregisterCollideObject(NztCollideObject* object);
// Own lists, guarded by the object's registered flag, without the master list.
uint32_t RegisterTrigger(NztEventTrigger* object);
uint32_t UnregisterTrigger(NztEventTrigger* object);
// The same for the kinds whose classes stand on higher floors, which wrap them with their own types
// (RegisterSfx, ActivateLight and the others): the master list and then the kind list, or an own
// list alone.
uint32_t RegisterInKind(NztBase3D* object, ObjectList& kindList);
uint32_t UnregisterFromKind(NztBase3D* object, ObjectList& kindList);
uint32_t RegisterOwn(NztBase3D* object, ObjectList& list);
uint32_t UnregisterOwn(NztBase3D* object, ObjectList& list);
// By kind: 3 collision object, 4 scene object, 5 character, 7 dynamic object; any other kind 0.
uint32_t RegisterObjectByType(NztBase3D* object);
uint32_t UnregisterObjectByType(NztBase3D* object);

// Depth test and depth writes off, or on, through the cached switches.
void DepthWriteOff();
void DepthWriteOn();

// Events broadcast when the camera goes below a surface and when it comes up again.
inline constexpr uint32_t CameraBelowSurfaceEvent = 132;
inline constexpr uint32_t CameraAboveSurfaceEvent = 133;
// How far the camera was below the surface above it last frame; 0 when it was not (the render
// pass measures it, world/framepass.h).
extern float CameraBelowSurfaceDepth;

// The picture overlay's parameters, copied whole from the caller (76 words).
struct ScreenImageParams {
    uint32_t show = 0;      // 1 shows (or replaces) the picture, 0 hides it
    uint32_t layer = 0;     // 0 drawn under the interface windows, 1 over them
    uint32_t spare = 0;     // carried along, not read
    float fadeTime = 0.5f;  // seconds
    float elapsed = 0.0f;   // seconds of the running fade
    float color[4] = {1.0f, 0.0f, 0.0f, 0.5f};
    float minFactor = 0.0f;      // the colour factor at the start of a fade in, the end of a fade out
    uint32_t blendMode = 4;      // a mode of SetBlendMode
    char pictureName[256] = {};  // "MAPS/<name>.Img"; empty: a plain coloured quad
    uint32_t texture = 0;        // GL name, set here
};
static_assert(sizeof(ScreenImageParams) == 76 * 4);

enum : uint32_t {
    ScreenImageOff = 0,
    ScreenImageShown = 1,  // shown or fading in
    ScreenImageFadingOut = 2,
};
struct ScreenImageState {
    uint32_t state = ScreenImageOff;
    uint32_t layer = 0;
    ScreenImageParams params;
};
extern ScreenImageState ScreenImage;

// Starts, replaces or ends the overlay; null ends it (with a fade out when one is set).
void ShowScreenImage(const ScreenImageParams* params);
// Draws the overlay when it is on and its layer is the one given; advances its fade.
void DrawScreenImage(uint32_t layer);

// The object with event records under a client point (entities, then scene objects): the nearest
// picked triangle wins; null without a player, or when the hit point lies beyond the player's reach.
NztEventObject* PickEntityOnRay(int32_t x, int32_t y);
// The nearest object under the point that reacts to hovering, within reach of the player's radius.
NztEventObject* PickEntityOnRayInReach(int32_t x, int32_t y);

// Calls f on every entry from the last to the first. f may register or unregister objects: the
// count and the array are read again on every step, and slots that emptied meanwhile are skipped.
template <typename T, typename F>
void ForEachLastFirst(const ObjectList& list, F&& f) {
    for (int32_t i = list.count - 1; i >= 0; --i) {
        if (i >= list.count) continue;
        NztBase3D* object = list.objects[i];
        if (object != nullptr) f(static_cast<T*>(object));
    }
}
