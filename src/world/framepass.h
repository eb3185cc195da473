// The frame passes: the walks over the registries (objects/registry.h) that update the world objects
// once per game tick and draw them once per drawn frame.
//
// Three passes walk the registries from the last entry to the first: UpdateObjects and
// LateUpdateObjects once per game tick, RenderObjects once per drawn frame. Objects may register or
// unregister others from inside a pass, so the walks read the count and the array on every step.
// The render pass also raises the camera-below-surface events. Main thread only.
#pragma once

#include <cstdint>

class NztBase3D;
class NztBaseObject;
struct SfxDef;

// The update passes, in this order once per game tick.
void UpdateObjects();
void LateUpdateObjects();
// The render pass: the master list sorted by view depth and drawn far to near, opaque then
// transparent, the light glows, the sun halo, the lens flares and the object bars.
void RenderObjects();
// Sorts entries left..right of the array by their sort depth, ascending (not stable).
void SortObjectsByDepth(NztBase3D** objects, int32_t left, int32_t right);

// The services outside the registries that the passes call. They start as the engine's own; tests
// put fakes in their place and call ResetFramePassHooks afterwards.
struct FramePassHooks {
    void (*selectAction)(NztBaseObject* character);
    void (*sfxWorldPass)(SfxDef* def);
    void (*sfxLocalPass)(SfxDef* def);
    void (*testSunVisibility)();
    void (*drawSunHalo)();
    void (*drawLensFlares)();
    void (*drawObjectBars)();
    void (*broadcastEvent)(uint32_t code);
    void (*popMatrix)();
};
extern FramePassHooks FramePassServices;
void ResetFramePassHooks();
// The bars the ui draws over objects, called by the engine's drawObjectBars; the game installs it
// at start-up (null draws none).
extern void (*ObjectBarsDrawer)();

// Non-zero: the loaded scene switches fog on while the objects are drawn (the scene loader sets it).
extern uint32_t SceneFogSwitch;
