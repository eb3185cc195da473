// Trajectories: named lists of points (a position and the point looked at from it) that cameras fly
// along and characters follow, read from "TRAJECTS/<name>.Qvt" through the "Trajects" pack or the
// data folder, recorded in the editor from the live camera and saved back under the data folder.
//
// The file (little-endian):
//   18 bytes  "NztC Traject File" and its NUL
//   u32       version: 10001 written; 10000 and 10001 read
//   256 bytes name, NUL-terminated
//   u32       point count
//   points    10001: position (3 f32), target (3 f32), orientation quaternion (4 f32, w first)
//             10000: 4 unused bytes, position (3 f32), orientation quaternion (4 f32, w first);
//                    the target is 10 units ahead along the quaternion's -z
#pragma once

#include <cstdint>
#include <vector>

#include "core/nztmath.h"

struct NztFile;

inline constexpr char TrajectFileMagic[18] = "NztC Traject File";
inline constexpr uint32_t TrajectFileVersion = 10001;
inline constexpr uint32_t TrajectOldFileVersion = 10000;
inline constexpr uint32_t TrajectPointBytes = 40;
inline constexpr uint32_t TrajectOldPointBytes = 32;
inline constexpr uint32_t TrajectHeaderBytes = 18 + 4 + 256 + 4;

struct NztTrajectPoint {
    Vec3 position;
    Vec3 target;          // the point looked at from the position
    float orientation[4]; // w, x, y, z: the turn towards target - position
};

struct NztTraject {
    // Never empty once created or read.
    std::vector<NztTrajectPoint> points;
    char name[256] = {};
    // The cursor: a fractional point index stepped by the frame factor.
    int32_t currentPoint = 0;
    int32_t previousPoint = 0;
    int32_t firstDuePoint = 0;
    float cursorTime = 0.0f;
    uint8_t pointUnchanged = 0;  // 1 when the last step stayed on the same point
    Vec3 cursorPosition = {0.0f, 0.0f, 0.0f};
    float cursorOrientation[4] = {0.0f, 0.0f, 0.0f, 0.0f};

    int32_t PointCount() const { return static_cast<int32_t>(points.size()); }

    // Cursor back to point 0, taking its position and orientation.
    void Rewind();
    // The position of point index; false (out untouched) when there is no such point.
    bool GetPoint(int32_t index, Vec3& out) const;
    // Index of the point whose position (or target) is nearest to p; 0 with fewer than 2 points.
    // Point 0 wins every tie it is part of; among other tied points the highest index wins.
    int32_t NearestPointByPosition(const Vec3& p) const;
    int32_t NearestPointByTarget(const Vec3& p) const;
    // Projects p on the target path next to point index: returns the other end of the segment
    // used (the next point while the projection falls within it or index is 0, else the previous
    // one) and the fraction along that segment in u. 0 (u untouched) with fewer than 2 points or
    // an index outside the points.
    int32_t ProjectOnSegment(int32_t index, const Vec3& p, float& u) const;
    // Steps the cursor by the frame factor (frame time x 50): one whole point when the factor is
    // at most 1 or above 50, otherwise a fractional step rounded to a point; past the last point
    // it starts again at point 0.
    void AdvanceCursor();
    // Orientation of point index from the direction target - position.
    void UpdatePointOrientation(int32_t index);
};

// The table owns its trajectories. The selection is what the editor commands and the save work on;
// its index is -1 when the selected trajectory is not in the table.
struct TrajectTableState {
    NztTraject** entries = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;  // grows by 10 entries
    NztTraject* selected = nullptr;
    int32_t selectedIndex = -1;
};
extern TrajectTableState TrajectTable;

// Makes the trajectory the selection; returns its table index, or -1.
int32_t SelectTraject(NztTraject* traject);
// The loaded trajectory whose name matches ignoring case, or null; the selection index becomes its
// index (-1 when not found) while the selected trajectory stays.
NztTraject* FindTrajectByName(const char* name);
// Appends a trajectory named "Traj<n>" (n = the table count before) holding one point at the origin.
NztTraject* CreateTraject();
// The trajectory of that name, read from "TRAJECTS/<name>.Qvt" on first use and selected then. It
// stays in the table (with its single default point) when the file cannot be read; null only for
// a null or empty name.
NztTraject* LoadTraject(const char* name);
void DeleteTraject(int32_t index);
// Frees every trajectory and the table (shutdown and tests).
void DeleteAllTrajects();

// Reads a trajectory file by relative data name into the trajectory: 1 read, 0 when the file is
// missing or malformed (one line on stderr for a malformed one), the trajectory then unchanged.
int ReadTrajectFile(const char* fileName, NztTraject* traject);
// The same over an open stream; fileName names it in diagnostics.
int ReadTrajectStream(NztFile& stream, const char* fileName, NztTraject* traject);
// Saves the selected trajectory (version 10001) under the data folder by relative name, through a
// temporary file; 1 written, 0 without a selection or when the file cannot be written.
int WriteTrajectFile(const char* fileName);

// The editor's trajectory commands; 1 to 5 need a selected trajectory.
enum TrajectCommand : int {
    TrajectCmdCreate = 0,   // create a trajectory and select it
    TrajectCmdSave = 1,     // save it as "TRAJECTS/<name>.Qvt"
    TrajectCmdRewind = 2,
    TrajectCmdRecord = 3,   // RecordTrajectPoint
    TrajectCmdPlayStep = 4, // move the camera one step along it
    TrajectCmdJumpNext = 5, // put the camera on the next point
};
void TrajectEditCommand(int command);
// Stores the camera's eye and look target into the selected trajectory's current point, then
// appends a copy of the last point and moves the cursor to the point after the current one.
void RecordTrajectPoint();
