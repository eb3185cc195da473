// Thunder bolts: a flickering lightning bolt between two points, each free or tied to an object or
// one of its attach points. Every late update rebuilds the bolt in place with fresh random jitter;
// it lives for a set time (or until its active flag is cleared) and then removes itself from the
// thunder list. Drawn additively, as a line strip or a textured ribbon. Main thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "objects/base3d.h"

class NztSfx;

inline constexpr uint32_t ThunderStyleLine = 0;
inline constexpr uint32_t ThunderStyleRibbon = 1;
// Points of a bolt as Init builds it; the ribbon has two vertices per point.
inline constexpr uint32_t ThunderPointCount = 11;

class NztThunder : public NztBase3D {
public:
    using Callback = void (*)(NztThunder* bolt);

    NztThunder();
    ~NztThunder() override = default;

    // The shape defaults and the four per-vertex arrays for ThunderPointCount points.
    void Init();
    // Takes the bolt's effect off the effect list and frees the arrays.
    void Release();
    // Counts the duration down, takes the ends from their objects and rebuilds the points.
    void BuildBolt();
    void Draw();

    void LateUpdate() override;
    void Render() override;

    uint32_t style = ThunderStyleRibbon;
    uint32_t texture = 0;    // GL name of the ribbon texture
    float duration = 0.0f;   // seconds; 0 = no time limit
    float remaining = 0.0f;  // seconds, counted down while a duration is set
    uint32_t active = 0;     // an inactive bolt leaves the thunder list at its next late update
    // Rows 0 and 1 cross the bolt, row 2 points from start to end; rebuilt every frame.
    float orientation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::vector<Vec3> points;      // two per point for the ribbon, the first pointCount for the line
    std::vector<Vec3> colours;     // one per vertex
    std::vector<uint32_t> indices;  // 0, 1, 2, ...
    std::vector<float> texCoords;   // (u, v) per vertex: (u, 0) and (u, 1) for each point
    uint32_t segmentCount = 10;
    uint32_t pointCount = ThunderPointCount;
    float colour[3] = {1.0f, 1.0f, 1.0f};
    float jitter = 4.0f;  // each coordinate of a point is moved by up to +- this
    float waveAmplitude = 7.0f;  // 0: no wave
    float ribbonHalfWidth = 2.0f;
    int32_t ribbonAngle = 0;  // angle units, advanced by 32 for every point
    NztBaseObject* startObject = nullptr;
    NztBaseObject* endObject = nullptr;
    int32_t startPoint = -1;  // attach point on the object; negative: the object's position
    int32_t endPoint = -1;
    float startPosition[3] = {0.0f, 0.0f, 0.0f};
    float endPosition[3] = {0.0f, 0.0f, 0.0f};
    NztSfx* effect = nullptr;  // removed from the effect list with the bolt
    int32_t spellIndex = 0;
    NztBaseObject* notedObject = nullptr;  // the object whose effects made the bolt
    Callback endCallback = nullptr;        // when the duration runs out
    Callback buildCallback = nullptr;      // after every rebuild
    int32_t wavePhase = 0;                 // angle units
    int32_t waveStep = 372;                // angle units added for every point

private:
    void BuildLine();
    void BuildRibbon();
};

// The live bolts: a pointer list that grows by 10 entries (new ones null).
extern NztThunder** ThunderList;
extern uint32_t ThunderCount;
extern uint32_t ThunderCapacity;
// The bolt texture, loaded with the engine's resources (0 until then).
extern uint32_t ThunderTexture;

// A new inactive bolt, initialised, registered and appended to the list.
NztThunder* CreateThunder();
// Unregisters, releases and destroys entry index; the tail moves down one place. An index outside
// the list does nothing.
void RemoveThunderAt(uint32_t index);
// Every bolt, then the list itself.
void RemoveAllThunders();
// Index of the bolt in the list, -1 when absent.
int32_t IndexOfThunder(const NztThunder* bolt);

// The master list and the thunder list of the registries (objects/registry.h).
uint32_t RegisterThunder(NztThunder* object);
uint32_t UnregisterThunder(NztThunder* object);
