// Trails: a textured ribbon streaming behind chosen points of a moving object. The object's mesh
// carries attach points named "@Trail" and one letter; a trail for that letter joins every such
// point into a grid whose rows are the points and whose columns are their positions over the last
// frames. In history mode (follow factor 0) the columns are the last positions, shifted by one a
// frame; in lag mode each column eases toward the one before it. A trail may run for a set time,
// then fades out and stops. Main thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "core/nztmath.h"
#include "objects/base3d.h"

// What an event action sets on a trail.
struct TrailParams {
    int32_t segmentCount = 0;  // grid columns
    float followFactor = 0.0f;
    float followJitter = 0.0f;
    float duration = 0.0f;
    float opacity = 1.0f;
    float fadeFactor = 0.0f;
    int32_t blendMode = 2;
    char textureName[256] = {};
};

// The block from the action's values in record order; the segment count is rounded from its float.
TrailParams MakeTrailParams(const char* textureName, float duration, float fadeFactor, int32_t blendMode,
                            float segmentCount, float followFactor, float followJitter, float opacity);

class NztTrail : public NztBase3D {
public:
    NztTrail() { kind = ObjectKindTrail; }
    ~NztTrail() override = default;

    void LateUpdate() override;  // depths from the owner; the fade
    void Render() override;      // timer, grid update and drawing

    // Follows the "@Trail<letter>" points of object with the default texture; 1 with at least two
    // points (buffers of 10 columns, lag mode 0.5), else 0 and no buffers.
    int32_t SetupDefault(NztBaseObject* object, char letter);
    // A grid of the point rows and columns (at least 2); the next build refills it.
    void BuildBuffers(int32_t columns);
    // Keeps the loaded texture for the same name; loads "MAPS/<name>.Img" for a new one.
    void LoadTexture(const char* name);
    void SetParams(const TrailParams& params);
    // A running trail stops and fades out; a stopped or fading one is left as it is (objects/baseanim.cpp).
    void Stop();
    // Off the owner, texture released, buffers freed.
    void Release();
    // The grid step of Render without drawing: 1 when the grid is ready to be drawn this frame.
    int32_t UpdateGrid();
    // Draws the grid as it is.
    void DrawGrid();

    float duration = 0.0f;  // seconds; 0 runs until stopped
    float timer = 0.0f;
    float baseOpacity = 1.0f;
    float opacity = 1.0f;
    uint32_t blendMode = 2;
    uint32_t resetFlag = 1;  // refill every column with the current points on the next build
    uint32_t visible = 0;
    uint32_t running = 0;
    uint32_t fading = 0;
    float fadeFactor = 0.9f;         // opacity multiplier a frame while fading
    NztBaseObject* owner = nullptr;  // object whose attach points are followed
    uint32_t texture = 0;
    uint32_t columnsWanted = 0;
    uint32_t recorded = 0;       // columns filled since the last reset
    float followFactor = 0.75f;  // 0: history mode
    float followJitter = 0.0f;
    float widthFactor = 1.0f;  // set by the object-type set-up, not read by the drawing
    char textureName[256] = {};
    std::vector<uint32_t> pointVertices;  // rows: vertex indices in the owner's posed vertices
    std::vector<Vec3> pointPositions;
    std::vector<float> texCoords;  // u = column / (columns - 1), v = row / (rows - 1)
    std::vector<Vec3> vertices;    // row-major, one row per point
    uint32_t quadCount = 0;
    std::vector<uint32_t> indices;  // quad (i, i + 1, i + columns + 1, i + columns)
    uint32_t columns = 0;
    uint32_t rows = 0;
};

// Constructs a trail on object's points of letter, registers it and appends it to the list.
NztTrail* CreateTrail(NztBaseObject* object, char letter);

// The live trails; the list grows by 10 entries.
extern NztTrail** TrailList;
extern uint32_t TrailCount;
extern uint32_t TrailCapacity;
// Unregisters, releases and destroys trail index; the tail moves down.
void RemoveTrailAt(uint32_t index);
void RemoveAllTrails();

// The master list and the trail list of the registries (objects/registry.h).
uint32_t RegisterTrail(NztTrail* object);
uint32_t UnregisterTrail(NztTrail* object);
