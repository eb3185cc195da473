#include "camera/traject.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "camera/camera.h"
#include "core/binio.h"
#include "core/frameclock.h"
#include "core/nztfile.h"
#include "core/pack.h"
#include "core/paths.h"

TrajectTableState TrajectTable;

namespace {

// Growth step of the table.
constexpr int32_t TrajectTableStep = 10;
// The camera point 10 units ahead, along -z, that version-10000 files stored only as a turn.
constexpr Vec3 OldTargetOffset = {0.0f, 0.0f, -10.0f};

// q v q* for a unit quaternion (w, x, y, z).
Vec3 QuatRotateVector(const float q[4], const Vec3& v) {
    const Vec3 u = {q[1], q[2], q[3]};
    const Vec3 t = Cross(u, v) * 2.0f;
    return v + t * q[0] + Cross(u, t);
}

NztTrajectPoint DefaultPoint() {
    NztTrajectPoint p{};
    DirectionToQuat(p.target - p.position, p.orientation);
    return p;
}

void CopyName(char (&out)[256], const char* name) {
    std::snprintf(out, sizeof out, "%s", name);
}

bool Fault(const char* fileName, const char* what) {
    std::fprintf(stderr, "traject: %s: %s\n", fileName, what);
    return false;
}

void ReadQuat(BinReader& in, float q[4]) {
    for (int i = 0; i < 4; ++i) q[i] = in.F32();
}

// The name, the count and the points after the header, into name and points; false (one line on
// stderr) when they do not fit in the bytes left.
bool ReadTrajectPoints(BinReader& in, uint32_t version, const char* fileName, char (&name)[256],
                       std::vector<NztTrajectPoint>& points) {
    in.Text(name);
    const uint32_t count = in.U32();
    if (!in.Ok()) return Fault(fileName, "file ends inside the header");
    const uint32_t pointBytes = version == TrajectOldFileVersion ? TrajectOldPointBytes : TrajectPointBytes;
    if (!in.Fits(count, pointBytes)) return Fault(fileName, "point count runs past the end of the file");
    // A file of no points still gives one point at the origin.
    points.assign(count == 0 ? 1 : count, DefaultPoint());
    for (uint32_t i = 0; i < count; ++i) {
        NztTrajectPoint& p = points[i];
        if (version == TrajectOldFileVersion) {
            in.Skip(4);
            p.position = ReadVec3(in);
            float turn[4];
            ReadQuat(in, turn);
            p.target = p.position + QuatRotateVector(turn, OldTargetOffset);
            DirectionToQuat(p.target - p.position, p.orientation);
        } else {
            p.position = ReadVec3(in);
            p.target = ReadVec3(in);
            ReadQuat(in, p.orientation);
        }
    }
    if (!in.Ok()) return Fault(fileName, "file ends inside the points");
    return true;
}

void GrowTable() {
    const int32_t capacity = TrajectTable.capacity + TrajectTableStep;
    NztTraject** grown = new NztTraject*[static_cast<size_t>(capacity)]();
    for (int32_t i = 0; i < TrajectTable.count; ++i) grown[i] = TrajectTable.entries[i];
    delete[] TrajectTable.entries;
    TrajectTable.entries = grown;
    TrajectTable.capacity = capacity;
}

// Cursor on point index, as every whole step leaves it.
void SetCursorPoint(NztTraject& t, int32_t index) {
    t.currentPoint = index;
    t.firstDuePoint = index;
    t.cursorTime = static_cast<float>(index);
    t.pointUnchanged = 0;
}

template <Vec3 NztTrajectPoint::*Field>
int32_t NearestPoint(const std::vector<NztTrajectPoint>& points, const Vec3& p) {
    if (points.size() < 2) return 0;
    auto distance = [&](size_t i) {
        const Vec3 d = p - points[i].*Field;
        return Dot(d, d);
    };
    int32_t best = 0;
    float bestDistance = distance(0);
    for (size_t i = points.size() - 1; i > 0; --i) {
        const float d = distance(i);
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int32_t>(i);
        }
    }
    return best;
}

bool AllSmoothingAtLeastOne() {
    return CameraControl.smoothing[0] >= 1.0f && CameraControl.smoothing[1] >= 1.0f &&
           CameraControl.smoothing[2] >= 1.0f;
}

void PlayStep(NztTraject& t) {
    if (t.currentPoint < 0 || t.currentPoint >= t.PointCount()) return;
    const NztTrajectPoint& p = t.points[static_cast<size_t>(t.currentPoint)];
    CNztCamera& camera = MainCamera;
    camera.lookAtPoint = p.position;
    camera.aimPoint = p.position;
    if (AllSmoothingAtLeastOne()) {
        camera.eye = p.position;
    } else {
        const float dt50 = FrameTiming.frameFactor;
        camera.eye.x += (p.position.x - camera.eye.x) * CameraControl.smoothing[0] * dt50;
        camera.eye.y += (p.position.y - camera.eye.y) * CameraControl.smoothing[1] * dt50;
        camera.eye.z += (p.position.z - camera.eye.z) * CameraControl.smoothing[2] * dt50;
    }
    camera.LookAt(p.target);
    EaseCameraAngles();
    t.AdvanceCursor();
}

void JumpToNextPoint(NztTraject& t) {
    t.previousPoint = t.currentPoint;
    const int32_t next = t.currentPoint + 1;
    SetCursorPoint(t, next >= 0 && next < t.PointCount() ? next : 0);
    const NztTrajectPoint& p = t.points[static_cast<size_t>(t.currentPoint)];
    CNztCamera& camera = MainCamera;
    camera.eye = p.position;
    camera.lookAtPoint = p.position;
    camera.aimPoint = p.position;
    camera.LookAt(p.target);
    camera.UpdateMatrix();
}

void SaveSelectedTraject() {
    const NztTraject* t = TrajectTable.selected;
    char fileName[QvPathMax];
    if (!IsPlainName(t->name)) {
        std::fprintf(stderr, "traject: name refused for a file: %s\n", t->name);
        return;
    }
    if (!FormatPath(fileName, sizeof fileName, "TRAJECTS/%s.Qvt", t->name)) return;
    WriteTrajectFile(fileName);
}

}  // namespace

void NztTraject::UpdatePointOrientation(int32_t index) {
    if (index < 0 || index >= PointCount()) return;
    NztTrajectPoint& p = points[static_cast<size_t>(index)];
    DirectionToQuat(p.target - p.position, p.orientation);
}

void NztTraject::Rewind() {
    currentPoint = 0;
    firstDuePoint = 0;
    cursorTime = 0.0f;
    pointUnchanged = 0;
    if (!points.empty()) {
        cursorPosition = points[0].position;
        std::memcpy(cursorOrientation, points[0].orientation, sizeof cursorOrientation);
    }
}

bool NztTraject::GetPoint(int32_t index, Vec3& out) const {
    if (index < 0 || index >= PointCount()) return false;
    out = points[static_cast<size_t>(index)].position;
    return true;
}

int32_t NztTraject::NearestPointByPosition(const Vec3& p) const {
    return NearestPoint<&NztTrajectPoint::position>(points, p);
}

int32_t NztTraject::NearestPointByTarget(const Vec3& p) const {
    return NearestPoint<&NztTrajectPoint::target>(points, p);
}

int32_t NztTraject::ProjectOnSegment(int32_t index, const Vec3& p, float& u) const {
    const int32_t count = PointCount();
    if (count < 2 || index < 0 || index >= count) return 0;
    const Vec3 a = points[static_cast<size_t>(index)].target;
    // Fraction of d along the segment from a to the target of point end.
    auto along = [&](int32_t end) {
        Vec3 s = points[static_cast<size_t>(end)].target - a;
        Vec3 d = p - a;
        const float length = SqrtF(Dot(s, s));
        if (length != 0.0f) {
            s = s * (1.0f / length);
            d = d * (1.0f / length);
        }
        return Dot(d, s);
    };
    const int32_t next = index + 1 < count ? index + 1 : count - 1;
    if (next != index) {
        const float fraction = along(next);
        // Before the first segment's start the projection stays on it, with a negative fraction.
        if ((fraction >= 0.0f && fraction <= 1.0f) || index == 0) {
            u = fraction;
            return next;
        }
    }
    const int32_t previous = index > 0 ? index - 1 : 0;
    u = along(previous);
    return previous;
}

void NztTraject::AdvanceCursor() {
    const float dt50 = FrameTiming.frameFactor;
    const int32_t count = PointCount();
    previousPoint = currentPoint;
    if (!(dt50 <= 50.0f && dt50 > 1.0f)) {
        // Above 50 (a stalled frame) or at 1 and below (50 frames a second or more): one point.
        const int32_t next = currentPoint + 1;
        SetCursorPoint(*this, next >= 0 && next < count ? next : 0);
        return;
    }
    if (currentPoint >= count - 1 || currentPoint < 0) {
        SetCursorPoint(*this, 0);
        return;
    }
    firstDuePoint = currentPoint + 1;
    cursorTime += dt50;
    int32_t next = RoundToInt(cursorTime);
    if (next < 0) {
        next = 0;
        cursorTime = 0.0f;
    }
    if (next > count - 1) {
        next = count - 1;
        cursorTime = static_cast<float>(next);
    }
    currentPoint = next;
    pointUnchanged = currentPoint == previousPoint ? 1 : 0;
}

int32_t SelectTraject(NztTraject* traject) {
    TrajectTable.selected = traject;
    TrajectTable.selectedIndex = -1;
    for (int32_t i = 0; traject && i < TrajectTable.count; ++i) {
        if (TrajectTable.entries[i] == traject) {
            TrajectTable.selectedIndex = i;
            break;
        }
    }
    return TrajectTable.selectedIndex;
}

NztTraject* FindTrajectByName(const char* name) {
    TrajectTable.selectedIndex = -1;
    if (!name) return nullptr;
    for (int32_t i = 0; i < TrajectTable.count; ++i) {
        NztTraject* t = TrajectTable.entries[i];
        if (t && strcasecmp(t->name, name) == 0) {
            TrajectTable.selectedIndex = i;
            return t;
        }
    }
    return nullptr;
}

NztTraject* CreateTraject() {
    if (TrajectTable.count >= TrajectTable.capacity) GrowTable();
    NztTraject* t = new NztTraject;
    t->points.assign(1, DefaultPoint());
    std::snprintf(t->name, sizeof t->name, "Traj%d", TrajectTable.count);
    TrajectTable.entries[TrajectTable.count++] = t;
    return t;
}

NztTraject* LoadTraject(const char* name) {
    if (!name || !*name) return nullptr;
    // Looked up by the name as the record can hold it, so that a long name finds its record again.
    char stem[256];
    CopyName(stem, name);
    if (NztTraject* found = FindTrajectByName(stem)) return found;
    NztTraject* t = CreateTraject();
    CopyName(t->name, stem);
    char fileName[QvPathMax];
    if (!IsPlainName(stem)) {
        std::fprintf(stderr, "traject: name refused for a file: %s\n", stem);
    } else if (FormatPath(fileName, sizeof fileName, "TRAJECTS/%s.Qvt", stem)) {
        ReadTrajectFile(fileName, t);
        // The record is known by the name it was loaded under, whatever name the file holds, so
        // that the next load of that name finds it rather than reading it again.
        CopyName(t->name, stem);
    }
    SelectTraject(t);
    return t;
}

void DeleteTraject(int32_t index) {
    if (index < 0 || index >= TrajectTable.count) return;
    NztTraject* t = TrajectTable.entries[index];
    if (TrajectTable.selected == t) TrajectTable.selected = nullptr;
    ForgetCameraTraject(t);
    if (TrajectTable.selectedIndex == index) {
        TrajectTable.selectedIndex = -1;
    } else if (TrajectTable.selectedIndex > index) {
        --TrajectTable.selectedIndex;
    }
    delete t;
    TrajectTable.count--;
    for (int32_t i = index; i < TrajectTable.count; ++i) TrajectTable.entries[i] = TrajectTable.entries[i + 1];
    TrajectTable.entries[TrajectTable.count] = nullptr;
}

void DeleteAllTrajects() {
    for (int32_t i = TrajectTable.count - 1; i >= 0; --i) DeleteTraject(i);
    delete[] TrajectTable.entries;
    TrajectTable = TrajectTableState{};
}

int ReadTrajectStream(NztFile& stream, const char* fileName, NztTraject* traject) {
    if (!traject) return 0;
    BinReader in(stream);
    char magic[18];
    in.Read(magic, sizeof magic);
    const uint32_t version = in.U32();
    if (!in.Ok()) return Fault(fileName, "file ends inside the header");
    if (std::memcmp(magic, TrajectFileMagic, sizeof magic) != 0) return Fault(fileName, "not a trajectory file");
    if (version != TrajectOldFileVersion && version != TrajectFileVersion) {
        std::fprintf(stderr, "traject: %s: unknown version %u\n", fileName, version);
        return 0;
    }
    char name[256];
    std::vector<NztTrajectPoint> points;
    if (!ReadTrajectPoints(in, version, fileName, name, points)) return 0;
    traject->points = std::move(points);
    std::memcpy(traject->name, name, sizeof name);
    traject->currentPoint = 0;
    return 1;
}

int ReadTrajectFile(const char* fileName, NztTraject* traject) {
    if (!fileName || !traject) return 0;
    NztFile stream;
    if (!stream.OpenRead(fileName, PackTrees[PackTrajects])) return 0;
    const int read = ReadTrajectStream(stream, fileName, traject);
    stream.Close();
    return read;
}

int WriteTrajectFile(const char* fileName) {
    const NztTraject* t = TrajectTable.selected;
    if (!t || !fileName) return 0;
    char path[QvPathMax];
    const char* resolved = DataPath(fileName);
    if (!*resolved || !FormatPath(path, sizeof path, "%s", resolved)) return 0;
    MakePathFolders(path);
    AtomicSave save;
    if (!save.Open(path)) return 0;
    BinWriter out(save.Stream());
    out.Bytes(TrajectFileMagic, sizeof TrajectFileMagic);
    out.U32(TrajectFileVersion);
    out.Text(t->name, sizeof t->name);
    out.U32(static_cast<uint32_t>(t->points.size()));
    for (const NztTrajectPoint& p : t->points) {
        for (const Vec3* v : {&p.position, &p.target}) {
            out.F32(v->x);
            out.F32(v->y);
            out.F32(v->z);
        }
        for (float f : p.orientation) out.F32(f);
    }
    return save.Commit() ? 1 : 0;
}

void RecordTrajectPoint() {
    NztTraject* t = TrajectTable.selected;
    if (!t) return;
    const int32_t i = t->currentPoint;
    if (i < 0 || i >= t->PointCount()) return;
    NztTrajectPoint& p = t->points[static_cast<size_t>(i)];
    p.position = MainCamera.eye;
    p.target = MainCamera.lookTarget;
    t->UpdatePointOrientation(i);
    t->points.push_back(t->points.back());
    SetCursorPoint(*t, i + 1);
}

void TrajectEditCommand(int command) {
    if (command == TrajectCmdCreate) {
        SelectTraject(CreateTraject());
        return;
    }
    NztTraject* t = TrajectTable.selected;
    if (!t) return;
    switch (command) {
        case TrajectCmdSave: SaveSelectedTraject(); break;
        case TrajectCmdRewind: t->Rewind(); break;
        case TrajectCmdRecord: RecordTrajectPoint(); break;
        case TrajectCmdPlayStep: PlayStep(*t); break;
        case TrajectCmdJumpNext: JumpToNextPoint(*t); break;
        default: break;
    }
}
