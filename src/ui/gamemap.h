// Game maps: HUD mini-maps. A window shows the map image of a rectangle of the world (world x to the
// right, world z downwards); markers on it show fixed places or follow world objects, and may turn
// with the followed object's heading. Markers are named (at most 31 characters) so that one script
// record can add a marker and another change or remove it.
//
// A followed object is held by its event handle: when the object is destroyed the marker forgets it
// and stays at the last place it showed. Geometry is authored in a virtual 1024 x 768 screen.
// Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "objects/events.h"

class CNztWnd;
class CNztWnd_Button;
class BinReader;
class BinWriter;

// The game map's fixed record in scene files: 356 bytes, little-endian. Markers are not stored.
struct GameMapRecord {
    char name[64] = {};
    char imageName[256] = {};
    float opacity = 0.75f;
    float x = 5.0f, y = 5.0f;
    float width = 64.0f, height = 64.0f;
    float originFractionX = 0.5f, originFractionY = 0.5f;
    float worldWidth = 10000.0f, worldDepth = 10000.0f;
};
inline constexpr size_t GameMapRecordBytes = 356;
bool ReadGameMapRecord(BinReader& in, GameMapRecord* record);
void WriteGameMapRecord(BinWriter& out, const GameMapRecord& record);

inline constexpr size_t MarkerNameBytes = 32;

struct GameMapMarker {
    CNztWnd* window = nullptr;  // a child of the map window
    uint32_t turns = 0;         // 1: turns with the followed object's heading
    uint32_t object = 0;        // handle of the followed object; 0 = a fixed marker
    float worldX = 0.0f, worldZ = 0.0f;  // a fixed marker's place (a followed one's last place)
    float anchorX = 0.0f, anchorY = 0.0f;
    float width = 0.0f, height = 0.0f;
    float anchorOffsetX = 0.0f, anchorOffsetY = 0.0f;
    char name[MarkerNameBytes] = {};
};

class NztGameMap : public NztEventObject {
public:
    NztGameMap();

    void FillSceneRecord(GameMapRecord* record) const;
    void Show();
    void Hide();
    void SetPos(float px, float py);
    using NztBase3D::SetSize;
    void SetSize(float w, float h);
    void SetOpacity(float a);
    void Layout();
    // object null: a fixed marker at (wx, wz).
    void AddMarker(NztEventObject* object, uint32_t turns, float wx, float wz, float w, float h, float ax, float ay,
                   float opacity, const char* stem, const char* markerName);
    void RemoveMarker(const char* markerName);
    void ClearMarkers();
    void SetMarkerImage(const char* markerName, const char* stem);
    void PlaceFixedMarkers();
    void PlaceFollowedMarkers();
    void Release();
    // The marker's place on the map for a world point, virtual units relative to the map window.
    void MarkerPlace(const GameMapMarker& marker, float wx, float wz, float* px, float* py) const;
    // Index of the last marker named so (ignoring case); -1 when none.
    int32_t FindMarker(const char* markerName) const;

    CNztWnd_Button* mapWnd = nullptr;
    char name[64] = {};
    char imageName[256] = {};
    float opacity = 0.75f;
    float x = 5.0f, y = 5.0f;
    float width = 64.0f, height = 64.0f;
    float originFractionX = 0.5f, originFractionY = 0.5f;
    float originX = 32.0f, originY = 32.0f;
    float worldWidth = 10000.0f, worldDepth = 10000.0f;
    float halfWidth = 32.0f, halfHeight = 32.0f;
    int32_t markerCount = 0;
    GameMapMarker* markers = nullptr;

private:
    void PlaceMarker(GameMapMarker& marker, float wx, float wz);
};

extern NztGameMap** GameMapList;
extern int32_t GameMapCount;
extern NztGameMap* CurrentGameMap;

NztGameMap* CreateGameMap(const GameMapRecord& record);
void BuildGameMapWnd(NztGameMap* map, const GameMapRecord& record);
NztGameMap* GetGameMap(int32_t index);
void LayoutAllGameMaps();
void DestroyAllGameMaps();
uint32_t GameMapWndCallback(uint32_t message, CNztWnd* window, float a, float b, float c);
