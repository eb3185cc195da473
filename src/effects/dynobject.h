// Dynamic objects: short-lived moving world objects (projectiles, debris, missiles, floating
// particle carriers) that an object effect launches and lets fly under one movement mode until they
// hit something, reach their target, run out of bounces or outlive their lifetime. A dynamic object
// may carry one particle effect and one light that travel with it. A stopped object deletes itself
// in its next late update.
//
// Velocities are in units per 1/50-second step and are added to positions without the frame time;
// accelerations and timers are multiplied by the frame time in seconds. Main thread only.
#pragma once

#include <cstdint>

#include "collision/collquery.h"
#include "objects/base3d.h"

class CNztCamera;
class NztLight;
class NztSfx;
class NztDynObject;

using DynImpactCallback = void (*)(NztDynObject* object, const float position[3]);
using DynBounceCallback = void (*)(NztDynObject* object, const float position[3], uint32_t bounce);
using DynStepCallback = void (*)(NztDynObject* object, const float position[3]);

class NztDynObject : public NztBaseObject {
public:
    NztDynObject();

    void LateUpdate() override;    // slot 5
    void RenderOpaque() override;  // slot 6
    void Render() override;        // slot 7

    // Carries effect (null drops the carried one): it takes the object's range, owner and position.
    void AttachSfx(NztSfx* effect);
    // Stops the carried effect's emission and removes it from the effect list.
    void DetachSfx();
    void DeleteCarriedLight();
    void SetTargetPointFromTarget();
    int32_t IsWithinEffectRadius(const float point[3]) const;
    // Starts a flight from the fields the effect code filled.
    void Launch();
    // One step of the current mode; LateUpdate calls it while moving.
    void PhysicsStep();
    // Ends the flight; with linger set and a carried effect of its own definition, the object
    // waits (undrawn) until the longest particle life has passed.
    void StopMovement(int32_t linger);

    NztSfx* carriedSfx = nullptr;
    NztLight* carriedLight = nullptr;
    uint32_t frameFade = 0;  // fade the transparent pass over the animation frames
    uint32_t bounceCount = 0;
    uint32_t maxBounces = 0;  // bounces allowed before a hit counts as an impact
    float driftOpacity = 1.0f;
    float driftFactor = 1.0f;  // how strongly the wobble vector carries a drifting object
    uint32_t pointFlight = 0;  // mode: fly to targetPoint
    NztBaseObject* targetObject = nullptr;  // mode: home on this object
    uint32_t aimFlag = 0;  // face targetPoint each step; homing also refreshes it from the target
    NztBaseObject* followedObject = nullptr;  // mode: stick to this object
    int32_t followedPoint = 0;                // attach point of the followed object; < 0 its position
    uint32_t followChanged = 0;               // set when the followed object was swapped or dropped
    float followPosition[3] = {0.0f, 0.0f, 0.0f};
    NztBaseObject* owner = nullptr;       // the launcher: radius effects and hit events name it
    CNztCamera* carrierCamera = nullptr;  // mode: ride on this camera
    uint32_t cameraFollow = 0;            // copy the carrier camera's eye each step
    // The swept sphere; its radius is also the arrival radius.
    CollisionBody body{{0.0f, 0.0f, 0.0f}, 0.0f, 1.0f};
    CollisionBody* bodyPtr = &body;  // null: the object does not collide
    SweepHitRecord sweepHit;         // of the last sweep
    uint32_t stopOnImpact = 1;
    uint32_t impactAtEndOfLife = 0;
    uint32_t lingering = 0;  // stopped, waiting for the carried effect's particles to die
    float colour[3] = {1.0f, 1.0f, 1.0f};
    float launchRotation[9] = {};
    uint32_t moving = 0;
    float targetPoint[3] = {0.0f, 0.0f, 0.0f};
    uint32_t lingerOnStop = 0;
    float lifetime = 0.0f;  // seconds; 0 = unlimited
    float elapsed = 0.0f;   // seconds since launch
    float gravityScale = 1.0f;
    float inverseGravityScale = 1.0f;
    float extraForce[3] = {0.0f, 0.0f, 0.0f};
    float gravity[3] = {0.0f, 6.0f, 0.0f};
    float launchVelocity[3] = {0.0f, 0.0f, 0.0f};  // in the object's own axes
    float velocity[3] = {0.0f, 0.0f, 0.0f};        // world axes, units per step
    float drag = 0.1f;                             // applied once, at launch
    float startBounceFactor = 0.5f;
    float bounceFactor = 0.5f;
    float acceleration[3] = {0.0f, 0.0f, 0.0f};  // fixed at launch
    uint32_t keepLaunchRotation = 0;
    uint32_t driven = 0;  // mode: moved by others, only swept
    uint32_t drift = 0;   // mode: drift with the wobble and fade
    uint32_t sink = 0;    // mode: drift, fade and sink
    uint32_t playOnce = 0;  // the flight ends when the animation reaches its last frame
    uint8_t spareByte = 0;
    float lifeChange = 0.0f;  // amount of the radial life change
    float effectRadius = 0.0f;
    float effectRadiusSq = 0.0f;  // 0 = no radial effects
    DynImpactCallback impactCallback = nullptr;
    DynBounceCallback bounceCallback = nullptr;
    DynStepCallback stepCallback = nullptr;
    // Object timer and age, advanced by the opaque render slot.
    float timer = 0.0f;
    uint32_t timerRunning = 1;
    float age = 0.0f;

private:
    // Radial effects and the impact callback (when a callback is set, or always at launch), then the
    // hit event to the object the last sweep hit.
    void Impact(bool hitEvent, bool callbackFirst = false);
    // Impact, then with stop on impact the callback is cleared and the flight stops; 1 when stopped.
    int32_t ImpactAndMaybeStop(bool hitEvent, bool callbackFirst = false);
    void StopNow();  // the stop a mode asks for: StopMovement with the linger-on-stop flag
    void CarriedFollow();
    int32_t AtLastFrame() const;
    void GetReferencePoint(const NztBaseObject* object, float out[3]) const;
    void StepLingering(float dt);
    void StepFollow();
    void StepDriven(float dt);
    void StepDrift(float dt, bool sinking);
    void StepForward(float dt, bool homing);
    void StepBallistic(float dt);
};

// The world services a flight reaches. They start as the engine's own; tests put fakes in their
// place and call ResetDynObjectHooks afterwards.
struct DynObjectHooks {
    uint32_t (*sweep)(CollisionBody* body, Vec3* motion, SweepHitRecord* hit);
    // The bouncing sweep: also answers -1 per axis where the motion was turned back, else 1.
    uint32_t (*bouncingSweep)(CollisionBody* body, Vec3* motion, SweepHitRecord* hit, Vec3* reflection);
    float (*groundHeight)(const Vec3& point, float range, float defaultHeight);
    void (*radialLifeChange)(float amount, const float point[3], float radiusSq);
    void (*radiusEvent)(float radiusSq, const float point[3], const NztBaseObject* self);
};
extern DynObjectHooks DynObjectServices;
void ResetDynObjectHooks();

// Opacity of the rise and fall over a drift lifetime (peak at half the lifetime); the peak itself
// for a lifetime of 0.
float DriftFadeOpacity(float peak, float elapsed, float lifetime);
// Opacity of the transparent pass of an object with frame fade, at frame f of an animation of
// frameCount frames (perFrame: the animation's 1 / frame count).
float FrameFadeOpacity(float opacity, int32_t frameCount, int32_t frame, float perFrame);

// The dynamic-object library (DynObjectList, objects/objtype.h).
// A new dynamic object on the mesh; its collision radius is half the largest of the mesh's sizes.
NztDynObject* CreateDynObject(NztMesh* mesh);
void DeleteDynObjectAt(uint32_t index, bool shrink);
void DeleteAllDynObjects();
// A dynamic object of the type; its mesh file is named by the full type name.
NztDynObject* LoadObjectFile(uint32_t typeIndex);
// Stops the flight of every dynamic object the camera carries.
void ResetCameraLinkedDynObjects(int32_t flag);

// The master list and the dynamic-object list of the registries (objects/registry.h).
uint32_t RegisterDynObject(NztDynObject* object);
uint32_t UnregisterDynObject(NztDynObject* object);
