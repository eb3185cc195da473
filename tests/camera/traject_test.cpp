#include "camera/traject.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "camera/camera.h"
#include "core/binio.h"
#include "core/nztmath.h"
#include "core/pack.h"
#include "core/scratch.h"
#include "datakit/pack.h"
#include "datakit/traject.h"
#include "game/frame.h"

namespace {

datakit::QvtPoint Point(Vec3 position, Vec3 target, std::array<float, 4> orientation = {1, 0, 0, 0}) {
    datakit::QvtPoint p;
    p.position = {position.x, position.y, position.z};
    p.target = {target.x, target.y, target.z};
    p.orientation = orientation;
    return p;
}

void ExpectVec(const Vec3& actual, const Vec3& expected, const std::string& what, float tolerance = 1e-4f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

void ExpectQuat(const float* actual, const float* expected, const std::string& what) {
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(actual[i], expected[i], 1e-5f) << what << " component " << i;
}

// Three points whose stored orientations are deliberately not those of their directions, so that
// a reader that recomputes them is caught.
datakit::QvtSpec ThreePointPath(const std::string& name) {
    datakit::QvtSpec spec;
    spec.name = name;
    spec.points = {Point({1, 2, 3}, {4, 5, 6}, {0.5f, 0.5f, 0.5f, 0.5f}),
                   Point({-10, 0.25f, 7}, {0, 0, 0}, {0, 1, 0, 0}),
                   Point({100, 200, 300}, {100, 200, 400}, {0.25f, -0.75f, 1e-7f, 3})};
    return spec;
}

// Each test starts from an empty table, a data folder of its own, no trajectory pack and the
// camera and frame timing as they were.
class Trajects : public ::testing::Test {
 protected:
    void SetUp() override {
        BuildSinCosTables();
        savedTiming = FrameTiming;
        savedControl = CameraControl;
    }
    void TearDown() override {
        DeleteAllTrajects();
        PackTrees[PackTrajects] = nullptr;
        FrameTiming = savedTiming;
        CameraControl = savedControl;
        MainCamera = CNztCamera{};
    }
    // A trajectory in the table holding the given positions (targets 1000 along x from them).
    NztTraject* Holding(const std::vector<Vec3>& positions) {
        NztTraject* t = CreateTraject();
        t->points.clear();
        for (const Vec3& p : positions) {
            NztTrajectPoint point{};
            point.position = p;
            point.target = p + Vec3{1000.0f, 0.0f, 0.0f};
            t->points.push_back(point);
        }
        return t;
    }

    DataFolderScope data;
    FrameTimingState savedTiming;
    CameraControlBlock savedControl;
};

TEST_F(Trajects, RoundTripThroughTheWriterFromLooseFilesAndThePack) {
    const std::vector<uint8_t> bytes = datakit::MakeQvt(ThreePointPath("Path"));
    datakit::PackFolderSpec folder{"TRAJECTS", {datakit::PackFile("Path.Qvt", bytes)}, {}};
    const std::vector<uint8_t> packBytes = datakit::MakePack({folder});
    QvzPackTree tree;
    BinReader packIn(packBytes.data(), packBytes.size());
    std::string fault;
    ASSERT_TRUE(tree.Serialize(packIn, nullptr, &fault)) << fault;

    for (bool fromPack : {false, true}) {
        SCOPED_TRACE(fromPack ? "pack" : "loose file");
        DeleteAllTrajects();
        std::filesystem::remove_all(data.Data("trajects"));
        ClearPathCache();
        if (fromPack) {
            PackTrees[PackTrajects] = &tree;
        } else {
            data.WriteData("trajects/path.qvt", bytes);  // found whatever the case of its name
        }
        NztTraject* t = LoadTraject("Path");
        ASSERT_NE(t, nullptr);
        EXPECT_STREQ(t->name, "Path");
        const datakit::QvtSpec spec = ThreePointPath("Path");
        ASSERT_EQ(t->PointCount(), 3);
        for (int i = 0; i < 3; ++i) {
            const datakit::QvtPoint& p = spec.points[i];
            ExpectVec(t->points[i].position, {p.position[0], p.position[1], p.position[2]}, "position", 0);
            ExpectVec(t->points[i].target, {p.target[0], p.target[1], p.target[2]}, "target", 0);
            for (int k = 0; k < 4; ++k) EXPECT_EQ(t->points[i].orientation[k], p.orientation[k]);
        }
        EXPECT_EQ(TrajectTable.selected, t);
        EXPECT_EQ(TrajectTable.selectedIndex, 0);

        PackTrees[PackTrajects] = nullptr;
        ASSERT_EQ(WriteTrajectFile("TRAJECTS/Copy.Qvt"), 1);
        EXPECT_EQ(data.root().Read("Datas/" + std::string(fromPack ? "TRAJECTS" : "trajects") + "/Copy.Qvt"), bytes);
    }
}

TEST_F(Trajects, OldFilesGainATargetTenUnitsAheadAndTheFacingOfIt) {
    const float h = 0.70710678f;
    struct Case {
        const char* what;
        Vec3 position;
        std::array<float, 4> turn;
        Vec3 target;
    } cases[] = {
        {"identity at the origin faces -z", {0, 0, 0}, {1, 0, 0, 0}, {0, 0, -10}},
        {"a quarter turn about y faces -x", {5, 0, 0}, {h, 0, h, 0}, {-5, 0, 0}},
        {"a quarter turn about x faces up", {1, 2, 3}, {h, h, 0, 0}, {1, 12, 3}},
    };
    datakit::QvtSpec spec;
    spec.version = 10000;
    spec.name = "Old";
    for (const Case& c : cases) {
        datakit::QvtOldPoint p;
        p.unused = 0xDEADBEEF;
        p.position = {c.position.x, c.position.y, c.position.z};
        p.orientation = c.turn;
        spec.oldPoints.push_back(p);
    }
    data.WriteData("TRAJECTS/Old.Qvt", datakit::MakeQvt(spec));
    NztTraject* t = LoadTraject("Old");
    ASSERT_EQ(t->PointCount(), 3);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        ExpectVec(t->points[i].position, c.position, c.what, 0);
        ExpectVec(t->points[i].target, c.target, c.what);
        float facing[4];
        DirectionToQuat(c.target - c.position, facing);
        ExpectQuat(t->points[i].orientation, facing, c.what);
    }
    // Facing -z is half a turn of yaw: w = cos(pi / 2), y = sin(pi / 2).
    const float halfTurn[4] = {0, 0, 1, 0};
    ExpectQuat(t->points[0].orientation, halfTurn, "half a turn");
}

TEST_F(Trajects, AFileOfNoPointsGivesOnePointAtTheOrigin) {
    datakit::QvtSpec spec;
    spec.name = "Nothing";
    data.WriteData("TRAJECTS/Nothing.Qvt", datakit::MakeQvt(spec));
    NztTraject t;
    t.points.resize(4);
    t.currentPoint = 3;
    ASSERT_EQ(ReadTrajectFile("TRAJECTS/Nothing.Qvt", &t), 1);
    ASSERT_EQ(t.PointCount(), 1);
    ExpectVec(t.points[0].position, {0, 0, 0}, "position", 0);
    ExpectVec(t.points[0].target, {0, 0, 0}, "target", 0);
    const float identity[4] = {1, 0, 0, 0};
    ExpectQuat(t.points[0].orientation, identity, "default orientation");
    EXPECT_EQ(t.currentPoint, 0);
}

TEST_F(Trajects, MalformedFilesAreRefusedWithOneLineAndLeaveTheTrajectoryAsItWas) {
    struct Case {
        std::string what;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    auto with = [](auto change) {
        datakit::QvtSpec spec = ThreePointPath("Bad");
        change(spec);
        return datakit::MakeQvt(spec);
    };
    cases.push_back({"magic without its NUL", with([](datakit::QvtSpec& s) { s.magic = "NztC Traject FileX"; })});
    cases.push_back({"other magic", with([](datakit::QvtSpec& s) { s.magic = "NztC Traject Filf"; })});
    for (uint32_t version : {9999u, 10002u, 0u})
        cases.push_back({"version " + std::to_string(version), with([&](datakit::QvtSpec& s) { s.version = version; })});
    for (int64_t count : {int64_t{4}, int64_t{0x7FFFFFFF}, int64_t{0xFFFFFFFF}})
        cases.push_back({"count " + std::to_string(count), with([&](datakit::QvtSpec& s) { s.declaredCount = count; })});
    datakit::QvtSpec old;
    old.version = 10000;
    old.oldPoints.resize(2);
    datakit::QvtSpec oldOverCount = old;
    oldOverCount.declaredCount = 3;
    cases.push_back({"old count 3 of 2", datakit::MakeQvt(oldOverCount)});
    for (const std::vector<uint8_t>& whole : {datakit::MakeQvt(ThreePointPath("Bad")), datakit::MakeQvt(old)}) {
        for (size_t cut = 0; cut < whole.size(); ++cut)
            cases.push_back({"cut at " + std::to_string(cut) + " of " + std::to_string(whole.size()),
                             std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(cut))});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        data.WriteData("TRAJECTS/Bad.Qvt", c.bytes);
        NztTraject t;
        std::snprintf(t.name, sizeof t.name, "Before");
        t.points.resize(2);
        t.points[1].position = {7, 8, 9};
        t.currentPoint = 1;
        testing::internal::CaptureStderr();
        EXPECT_EQ(ReadTrajectFile("TRAJECTS/Bad.Qvt", &t), 0);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("traject: TRAJECTS/Bad.Qvt: ", 0), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_STREQ(t.name, "Before");
        ASSERT_EQ(t.PointCount(), 2);
        ExpectVec(t.points[1].position, {7, 8, 9}, "kept point", 0);
        EXPECT_EQ(t.currentPoint, 1);
    }

    // A missing file is no fault of the data: nothing is said.
    NztTraject t;
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReadTrajectFile("TRAJECTS/Missing.Qvt", &t), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(Trajects, LoadingByNameReadsOnceAndKeepsWhatCouldNotBeRead) {
    data.WriteData("TRAJECTS/Path.Qvt", datakit::MakeQvt(ThreePointPath("Path")));
    // A file whose stored name is not its file name.
    data.WriteData("TRAJECTS/Renamed.Qvt", datakit::MakeQvt(ThreePointPath("Original")));
    // Readable only by a name that climbs out of the trajectory folder.
    data.WriteData("Escape.Qvt", datakit::MakeQvt(ThreePointPath("Escape")));

    EXPECT_EQ(LoadTraject(nullptr), nullptr);
    EXPECT_EQ(LoadTraject(""), nullptr);

    NztTraject* path = LoadTraject("Path");
    EXPECT_EQ(LoadTraject("PATH"), path);  // names match ignoring case
    EXPECT_EQ(TrajectTable.count, 1);
    EXPECT_EQ(path->PointCount(), 3);

    struct Case {
        const char* name;
        int points;
    } cases[] = {
        {"Ghost", 1},           // missing: the record stays with its single default point
        {"Renamed", 3},         // known by the name it was loaded under
        {"../Escape", 1},       // not a plain name: never read
        {"TRAJECTS\\Path", 1},  // nor this one
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int32_t before = TrajectTable.count;
        NztTraject* t = LoadTraject(c.name);
        ASSERT_NE(t, nullptr);
        EXPECT_STREQ(t->name, c.name);
        EXPECT_EQ(t->PointCount(), c.points);
        EXPECT_EQ(TrajectTable.count, before + 1);
        EXPECT_EQ(TrajectTable.selected, t);
        EXPECT_EQ(TrajectTable.selectedIndex, before);
        // The second load finds the record instead of adding another.
        EXPECT_EQ(LoadTraject(c.name), t);
        EXPECT_EQ(TrajectTable.count, before + 1);
    }

    // A name longer than the record holds finds its record again by the part it keeps.
    const std::string longName(400, 'L');
    NztTraject* longOne = LoadTraject(longName.c_str());
    EXPECT_EQ(std::strlen(longOne->name), 255u);
    EXPECT_EQ(LoadTraject(longName.c_str()), longOne);
}

TEST_F(Trajects, FindingByNameMovesOnlyTheSelectionIndex) {
    NztTraject* a = CreateTraject();
    NztTraject* b = CreateTraject();
    EXPECT_EQ(SelectTraject(a), 0);
    EXPECT_EQ(FindTrajectByName("TRAJ1"), b);
    EXPECT_EQ(TrajectTable.selectedIndex, 1);
    EXPECT_EQ(TrajectTable.selected, a);
    EXPECT_EQ(FindTrajectByName("Traj7"), nullptr);
    EXPECT_EQ(TrajectTable.selectedIndex, -1);
    NztTraject outside;
    EXPECT_EQ(SelectTraject(&outside), -1);
    EXPECT_EQ(TrajectTable.selected, &outside);
    SelectTraject(nullptr);
}

TEST_F(Trajects, CreatedTrajectoriesAreNumberedAndTheTableGrows) {
    for (int i = 0; i < 23; ++i) {
        NztTraject* t = CreateTraject();
        EXPECT_EQ(std::string(t->name), "Traj" + std::to_string(i));
        ASSERT_EQ(t->PointCount(), 1);
        ExpectVec(t->points[0].position, {0, 0, 0}, "position", 0);
        EXPECT_EQ(t->currentPoint, 0);
    }
    EXPECT_EQ(TrajectTable.count, 23);
    EXPECT_EQ(TrajectTable.capacity, 30);
    for (int i = 0; i < 23; ++i) EXPECT_EQ(std::string(TrajectTable.entries[i]->name), "Traj" + std::to_string(i));
    EXPECT_EQ(TrajectTable.entries[23], nullptr);
}

TEST_F(Trajects, DeletingClosesTheGapAndDropsReferences) {
    CreateTraject();
    NztTraject* t1 = CreateTraject();
    NztTraject* t2 = CreateTraject();
    SelectTraject(t2);
    CameraControl.traject = t1;
    DeleteTraject(0);
    DeleteTraject(-1);
    DeleteTraject(2);  // beyond the count now: nothing
    ASSERT_EQ(TrajectTable.count, 2);
    EXPECT_EQ(TrajectTable.entries[0], t1);
    EXPECT_EQ(TrajectTable.entries[1], t2);
    EXPECT_EQ(TrajectTable.entries[2], nullptr);
    EXPECT_EQ(TrajectTable.selected, t2);
    EXPECT_EQ(TrajectTable.selectedIndex, 1);
    DeleteTraject(0);
    EXPECT_EQ(CameraControl.traject, nullptr);
    DeleteTraject(0);
    EXPECT_EQ(TrajectTable.count, 0);
    EXPECT_EQ(TrajectTable.selected, nullptr);
    EXPECT_EQ(TrajectTable.selectedIndex, -1);
    DeleteAllTrajects();
    EXPECT_EQ(TrajectTable.entries, nullptr);
    EXPECT_EQ(TrajectTable.capacity, 0);
}

TEST_F(Trajects, NearestPointsByPositionAndByTarget) {
    struct Case {
        const char* what;
        std::vector<Vec3> points;
        Vec3 query;
        int32_t expected;
    } cases[] = {
        {"one point is not measured", {{500, 0, 0}}, {0, 0, 0}, 0},
        {"nearest", {{0, 0, 0}, {10, 0, 0}, {20, 0, 0}}, {12, 0, 0}, 1},
        {"point 0 wins its ties", {{1, 0, 0}, {5, 0, 0}, {1, 0, 0}}, {1, 0, 0}, 0},
        {"point 0 wins ties at equal distance", {{-1, 0, 0}, {1, 0, 0}}, {0, 0, 0}, 0},
        {"the highest other tied point wins", {{50, 0, 0}, {1, 0, 0}, {9, 0, 0}, {1, 0, 0}}, {1, 0, 0}, 3},
        {"all three axes count", {{0, 0, 0}, {0, 0, 3}, {0, 2, 0}}, {0, 2.1f, 2.9f}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NztTraject* t = Holding(c.points);
        EXPECT_EQ(t->NearestPointByPosition(c.query), c.expected);
        // The targets lie 1000 along x from the positions: measured on their own.
        EXPECT_EQ(t->NearestPointByTarget(c.query + Vec3{1000, 0, 0}), c.expected);
    }
}

TEST_F(Trajects, GetPointOnlyWithinThePoints) {
    NztTraject* t = Holding({{1, 2, 3}, {4, 5, 6}});
    for (int32_t index : {-1, 2, 1000}) {
        Vec3 out = {9, 9, 9};
        EXPECT_FALSE(t->GetPoint(index, out));
        ExpectVec(out, {9, 9, 9}, "untouched", 0);
    }
    Vec3 out{};
    EXPECT_TRUE(t->GetPoint(1, out));
    ExpectVec(out, {4, 5, 6}, "point 1", 0);
}

TEST_F(Trajects, ProjectionOnTheTargetPath) {
    // Targets at x = 0, 10, 20 (positions elsewhere, so that they cannot be mistaken for them).
    NztTraject* t = CreateTraject();
    t->points.assign(3, NztTrajectPoint{});
    for (int i = 0; i < 3; ++i) {
        t->points[i].target = {10.0f * i, 0, 0};
        t->points[i].position = {0, 500.0f, -300.0f * i};
    }
    struct Case {
        const char* what;
        int32_t index;
        float x;
        int32_t end;
        float u;
    } cases[] = {
        {"within the first segment", 0, 5, 1, 0.5f},
        {"before the first point stays on the first segment", 0, -5, 1, -0.5f},
        {"beyond the first segment from point 0 too", 0, 25, 1, 2.5f},
        {"within the next segment", 1, 15, 2, 0.5f},
        {"behind: the previous segment", 1, 5, 0, 0.5f},
        {"beyond the last point: the previous segment", 1, 25, 0, -1.5f},
        {"the last point has only the previous segment", 2, 15, 1, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        float u = 99;
        EXPECT_EQ(t->ProjectOnSegment(c.index, {c.x, 3, 0}, u), c.end);
        EXPECT_NEAR(u, c.u, 1e-6f);
    }
    // Out of range or too few points: 0, u untouched.
    for (int32_t index : {-1, 3}) {
        float u = 99;
        EXPECT_EQ(t->ProjectOnSegment(index, {5, 0, 0}, u), 0);
        EXPECT_EQ(u, 99);
    }
    NztTraject* single = CreateTraject();
    float u = 99;
    EXPECT_EQ(single->ProjectOnSegment(0, {5, 0, 0}, u), 0);
    EXPECT_EQ(u, 99);
    // A segment of no length is not divided by: the fraction is the plain dot product, 0 here.
    NztTraject* still = Holding({{0, 0, 0}, {0, 0, 0}});
    EXPECT_EQ(still->ProjectOnSegment(0, {1000, 0, 0}, u), 1);
    EXPECT_EQ(u, 0);
}

TEST_F(Trajects, TheCursorStepsByTheFrameFactor) {
    struct Case {
        const char* what;
        float dt50;
        int32_t current;
        float time;
        int steps;
        int32_t expectCurrent;
        float expectTime;
        int32_t expectFirstDue;
        int32_t expectPrevious;
        uint8_t expectUnchanged;
    } cases[] = {
        {"60 frames a second: one whole point", 50.0f / 60.0f, 0, 0, 1, 1, 1, 1, 0, 0},
        {"60 frames a second: four steps", 50.0f / 60.0f, 0, 0, 4, 4, 4, 4, 3, 0},
        {"whole steps wrap after the last point", 50.0f / 60.0f, 4, 4, 1, 0, 0, 0, 4, 0},
        {"a factor of exactly 1 is a whole step", 1.0f, 2, 1.6f, 1, 3, 3, 3, 2, 0},
        {"a stalled frame is a whole step", 60.0f, 2, 2, 1, 3, 3, 3, 2, 0},
        {"25 frames a second: two points", 2.0f, 0, 0, 1, 2, 2, 1, 0, 0},
        {"ties round to even", 2.5f, 0, 0, 1, 2, 2.5f, 1, 0, 0},
        {"capped at the last point", 3.0f, 2, 2, 1, 4, 4, 3, 2, 0},
        {"from the last point back to 0", 2.0f, 4, 4, 1, 0, 0, 0, 4, 0},
        {"a step that stays on its point", 1.2f, 1, 0, 1, 1, 1.2f, 2, 1, 1},
        {"the largest fractional factor", 50.0f, 0, 0, 1, 4, 4, 1, 0, 0},
    };
    NztTraject* t = Holding({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FrameTiming.frameFactor = c.dt50;
        t->currentPoint = c.current;
        t->cursorTime = c.time;
        t->pointUnchanged = 7;
        for (int i = 0; i < c.steps; ++i) t->AdvanceCursor();
        EXPECT_EQ(t->currentPoint, c.expectCurrent);
        EXPECT_FLOAT_EQ(t->cursorTime, c.expectTime);
        EXPECT_EQ(t->firstDuePoint, c.expectFirstDue);
        EXPECT_EQ(t->previousPoint, c.expectPrevious);
        EXPECT_EQ(t->pointUnchanged, c.expectUnchanged);
    }
}

TEST_F(Trajects, RewindPutsTheCursorOnPointZero) {
    NztTraject* t = Holding({{1, 2, 3}, {4, 5, 6}});
    t->UpdatePointOrientation(0);
    t->currentPoint = t->firstDuePoint = 1;
    t->cursorTime = 1.5f;
    t->pointUnchanged = 1;
    t->Rewind();
    EXPECT_EQ(t->currentPoint, 0);
    EXPECT_EQ(t->firstDuePoint, 0);
    EXPECT_EQ(t->cursorTime, 0.0f);
    EXPECT_EQ(t->pointUnchanged, 0);
    ExpectVec(t->cursorPosition, {1, 2, 3}, "cursor position", 0);
    ExpectQuat(t->cursorOrientation, t->points[0].orientation, "cursor orientation");
}

TEST_F(Trajects, RecordingStoresTheCameraAndAppendsACopyOfTheLastPoint) {
    TrajectEditCommand(TrajectCmdCreate);
    NztTraject* t = TrajectTable.selected;
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(TrajectTable.selectedIndex, 0);

    MainCamera.eye = {1, 2, 3};
    MainCamera.lookTarget = {1, 2, 13};
    TrajectEditCommand(TrajectCmdRecord);
    ASSERT_EQ(t->PointCount(), 2);
    ExpectVec(t->points[0].position, {1, 2, 3}, "recorded eye", 0);
    ExpectVec(t->points[0].target, {1, 2, 13}, "recorded target", 0);
    const float facingZ[4] = {1, 0, 0, 0};
    ExpectQuat(t->points[0].orientation, facingZ, "looking along +z");
    ExpectVec(t->points[1].position, {1, 2, 3}, "appended copy", 0);
    EXPECT_EQ(t->currentPoint, 1);
    EXPECT_EQ(t->firstDuePoint, 1);
    EXPECT_EQ(t->cursorTime, 1.0f);

    MainCamera.eye = {20, 0, 0};
    MainCamera.lookTarget = {30, 0, 0};
    TrajectEditCommand(TrajectCmdRecord);
    ASSERT_EQ(t->PointCount(), 3);
    ExpectVec(t->points[1].position, {20, 0, 0}, "second eye", 0);
    float facingX[4];
    DirectionToQuat({10, 0, 0}, facingX);
    ExpectQuat(t->points[1].orientation, facingX, "looking along +x");

    // Recording into an earlier point still appends a copy of the last one.
    TrajectEditCommand(TrajectCmdRewind);
    MainCamera.eye = {-5, -5, -5};
    TrajectEditCommand(TrajectCmdRecord);
    ASSERT_EQ(t->PointCount(), 4);
    ExpectVec(t->points[0].position, {-5, -5, -5}, "re-recorded point 0", 0);
    ExpectVec(t->points[3].position, {20, 0, 0}, "copy of the last", 0);
    EXPECT_EQ(t->currentPoint, 1);
}

TEST_F(Trajects, SavingWritesUnderTheDataFolderAndReadsBack) {
    EXPECT_EQ(WriteTrajectFile("TRAJECTS/None.Qvt"), 0);  // nothing selected
    TrajectEditCommand(TrajectCmdCreate);
    MainCamera.eye = {1, 2, 3};
    MainCamera.lookTarget = {4, 5, 6};
    TrajectEditCommand(TrajectCmdRecord);
    TrajectEditCommand(TrajectCmdSave);
    EXPECT_TRUE(std::filesystem::exists(data.Data("TRAJECTS/Traj0.Qvt")));
    EXPECT_FALSE(std::filesystem::exists(data.Data("TRAJECTS/Traj0.Qvt.tmp")));
    EXPECT_FALSE(std::filesystem::exists("TRAJECTS/Traj0.Qvt"));

    DeleteAllTrajects();
    NztTraject* t = LoadTraject("Traj0");
    ASSERT_EQ(t->PointCount(), 2);
    ExpectVec(t->points[0].position, {1, 2, 3}, "position", 0);
    ExpectVec(t->points[0].target, {4, 5, 6}, "target", 0);
    ExpectVec(t->points[1].target, {4, 5, 6}, "copy", 0);
}

TEST_F(Trajects, PlayingAStepMovesTheCameraAndTheCursor) {
    struct Case {
        const char* what;
        float smoothing[3];
        float dt50;
        Vec3 eye;
        int32_t current;
    } cases[] = {
        {"factors of 1 jump", {1, 1, 1}, 1.0f, {10, 20, 30}, 1},
        {"factors above 1 jump too", {1, 2, 1.5f}, 2.0f, {10, 20, 30}, 2},
        {"each axis by its factor and the frame factor", {0.25f, 0.5f, 0.1f}, 2.0f, {5, 20, 6}, 2},
        {"one factor below 1 eases every axis", {1, 1, 0.5f}, 1.0f, {10, 20, 15}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteAllTrajects();
        NztTraject* t = Holding({{10, 20, 30}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}});
        SelectTraject(t);
        std::memcpy(CameraControl.smoothing, c.smoothing, sizeof c.smoothing);
        FrameTiming.frameFactor = c.dt50;
        MainCamera.eye = {0, 0, 0};
        TrajectEditCommand(TrajectCmdPlayStep);
        ExpectVec(MainCamera.eye, c.eye, "eye");
        ExpectVec(MainCamera.lookAtPoint, {10, 20, 30}, "look-at point", 0);
        ExpectVec(MainCamera.aimPoint, {10, 20, 30}, "aim point", 0);
        EXPECT_EQ(t->currentPoint, c.current);
    }
}

TEST_F(Trajects, JumpingPutsTheCameraOnTheNextPointAndWraps) {
    NztTraject* t = Holding({{1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
    SelectTraject(t);
    const float expected[] = {2, 3, 1, 2};
    for (float x : expected) {
        const int32_t before = t->currentPoint;
        TrajectEditCommand(TrajectCmdJumpNext);
        EXPECT_EQ(t->previousPoint, before);
        EXPECT_EQ(t->firstDuePoint, t->currentPoint);
        EXPECT_EQ(t->cursorTime, static_cast<float>(t->currentPoint));
        for (const Vec3* v : {&MainCamera.eye, &MainCamera.lookAtPoint, &MainCamera.aimPoint})
            ExpectVec(*v, {x, 0, 0}, "camera on the point", 0);
    }
}

TEST_F(Trajects, CommandsWithoutASelectionDoNothing) {
    MainCamera.eye = {7, 7, 7};
    for (int command : {1, 2, 3, 4, 5, 6, -1}) {
        SCOPED_TRACE(command);
        TrajectEditCommand(command);
        EXPECT_EQ(TrajectTable.count, 0);
        ExpectVec(MainCamera.eye, {7, 7, 7}, "camera", 0);
    }
    EXPECT_FALSE(std::filesystem::exists(data.Data("TRAJECTS")));
}

}  // namespace
