// Lights: point lights (kinds 0 to 4) and spot lights (kinds 5 to 7) with a colour, an inner and an
// outer range, an optional target that aims a spot, key motion through the controller part and an
// optional flare sprite. Every frame a light decides whether the camera stands within its range;
// the near ones stand in the near-light list that per-vertex mesh lighting walks, and a light fades
// out over the outer fifth of its squared range.
//
// The base range word holds the camera cut-off squared; `registered` is the near flag (set while
// the light is in the near-light list). Main thread only.
#pragma once

#include <cstdint>

#include "objects/base3d.h"

enum : uint32_t {
    LightKindFirstSpot = 5,  // kinds 5 to 7 are spots, 0 to 4 point lights
    LightKindLast = 7,       // kinds above it skip the per-kind terms in the range setters
};

class NztLight : public NztBase3D, public NztController {
public:
    NztLight();

    // Slot 0: the camera cut-off r, kept squared, with the fade over the outer fifth of r^2.
    void SetRange(float r) override;
    // Slot 1: the cut-off itself (the square root of the range word).
    float GetRange() override;
    // Follows its objects, runs its keys, then joins or leaves the near-light list.
    void Update() override;
    // The flare sprite, when the light has one.
    void Render() override;

    void SetColor(float r, float g, float b);  // each clamped to [0, 1]
    // Ranges below 0 become 0; the other range is pulled along so that inner <= outer.
    float SetOuterRange(float r);
    void SetInnerRange(float r);
    void SetTargetDistance(float d);
    // Spot terms from the target position to the position.
    void UpdateDirection();
    // Places the light ahead of the object (or of its parent) by the object's forward offset and
    // lets go of any followed or target object.
    void MoveToObject(NztBaseObject* object);
    // Runs the keys and moves the light by their steps; 1 when a key moved it.
    int32_t ApplyControllerKeys();
    // Before deletion: dynamic objects carrying the light forget it, and the keys are freed.
    void Release();

    bool IsSpot() const { return LightKind >= LightKindFirstSpot && LightKind <= LightKindLast; }
    bool IsPoint() const { return LightKind < LightKindFirstSpot; }

    uint32_t Active = 1;  // inactive lights skip update and drawing
    uint32_t LightKind = 1;
    float TargetPosition[3] = {};
    float Direction[3] = {};  // unit vector from the target to the light
    float Colour[3] = {1.0f, 1.0f, 1.0f};
    float OuterRange = 250.0f;
    float OuterRangeSquared = 62500.0f;
    float InverseOuterRange = 0.004f;
    float InnerRange = 0.0f;
    float BaseIntensity = 1.0f;
    float Intensity = 1.0f;  // what the lighting uses
    float TargetDistance = 1.0f;
    float InverseTargetDistance = 0.0f;
    float InverseTargetDistance2 = 0.0f;  // the copy the lighting reads
    // d / sqrt(r^2 + d^2) for the outer and inner range r and the target distance d.
    float OuterConeCosine = 0.0f;
    float InnerConeCosine = 0.0f;
    float InverseRangeSpan = 0.004f;  // 1 / (outer - inner) for point kinds; 0 when they meet
    float FacingBias = 0.0f;          // added to the facing term of the lighting

    uint32_t FlareTexture = 0;  // GL texture name; no flare when 0 (not owned)
    float FlareHalfSize = 0.0f;
    float FlareOpacity = 1.0f;
    float FadeStart = 400.0f;  // 0.8 x range squared
    float FadeScale = 0.01f;   // 1 / (0.2 x range squared)

    // The light sits on this object or its attach point (the object's position for a point < 0);
    // its spot target likewise.
    NztBaseObject* followedObject = nullptr;
    int32_t followedPoint = 0;
    NztBaseObject* targetObject = nullptr;
    int32_t targetPoint = 0;

private:
    // The spot terms once the target distance d is known.
    void AimFromDistance(float d);
};

// The light library (LightList, objects/objtype.h).
NztLight* CreateLight(uint32_t lightKind);
// Releases and destroys light index; the selected index stays within the list.
void DeleteLightAt(uint32_t index);
void DeleteAllLights();

// The list of the lights near the camera (objects/registry.h), without the master list.
uint32_t ActivateLight(NztLight* light);
uint32_t DeactivateLight(NztLight* light);
