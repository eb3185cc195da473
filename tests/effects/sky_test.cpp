#include "effects/sky.h"

#include <GL/gl.h>
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "camera/camera.h"
#include "core/binio.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "core/scratch.h"
#include "datakit/envzone.h"
#include "datakit/image.h"
#include "datakit/mesh.h"
#include "effects/shading.h"
#include "game/frame.h"
#include "model/mesh.h"
#include "objects/objtype.h"
#include "render/glext.h"
#include "render/glrecorder.h"
#include "render/projection.h"
#include "render/texture.h"
#include "support/gl_window.h"

namespace {

std::vector<uint32_t>& SentEvents() {
    static std::vector<uint32_t> events;
    return events;
}

class Sky : public ::testing::Test {
protected:
    void SetUp() override {
        BuildSinCosTables();
        BuildRandomTable();
        savedTiming = FrameTiming;
        savedControl = CameraControl;
        FrameTiming.frameFactor = 1.0f;
        ResetSkyState();
        SentEvents().clear();
        SkyServices.sendDayEvent = [](uint32_t code) { SentEvents().push_back(code); };
    }
    void TearDown() override {
        FreeSkyObjects();
        FreeEnvironmentZones();
        ResetSkyState();
        ResetSkyHooks();
        ResetShadingGlobals();
        FrameTiming = savedTiming;
        CameraControl = savedControl;
    }

    glrec::Session gl;
    FrameTimingState savedTiming;
    CameraControlBlock savedControl;
};

void ExpectNear3(const float* got, std::initializer_list<float> want, float tolerance = 1e-5f) {
    int i = 0;
    for (float w : want) EXPECT_NEAR(got[i++], w, tolerance) << "component " << i - 1;
}

// ---------------------------------------------------------------------------------------------
// Time of day and colours

TEST_F(Sky, TimeOfDayFromHoursAndAngles) {
    struct Case {
        bool hours;
        float given;
        float degrees;
    } cases[] = {{true, 6.0f, 90.0f}, {true, 24.0f, 0.0f}, {true, 30.0f, 90.0f}, {true, 0.0f, 0.0f},
                 {false, 359.5f, 359.5f}, {false, 360.0f, 0.0f}, {false, 725.0f, 5.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.given) + (c.hours ? " hours" : " degrees"));
        if (c.hours)
            SetTimeOfDayHours(c.given);
        else
            SetTimeOfDayAngle(c.given);
        EXPECT_NEAR(TimeOfDay, c.degrees, 1e-4f);
    }
}

TEST_F(Sky, ColourKeysAndTheStretchesBetweenThem) {
    struct Case {
        float angle;
        float r, g, b;
    } cases[] = {
        {0.0f, 0.2f, 0.2f, 0.45f},      {32.5f, 0.25f, 0.225f, 0.45f}, {65.0f, 0.3f, 0.25f, 0.45f},
        {77.5f, 0.5f, 0.425f, 0.475f},  {90.0f, 0.7f, 0.6f, 0.5f},     {135.0f, 0.75f, 0.7f, 0.65f},
        {180.0f, 0.8f, 0.8f, 0.8f},     {270.0f, 0.6f, 0.3f, 0.025f},  {282.5f, 0.45f, 0.3f, 0.2625f},
        {295.0f, 0.3f, 0.3f, 0.5f},     {327.5f, 0.25f, 0.25f, 0.475f}, {359.999f, 0.2f, 0.2f, 0.45f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.angle);
        float rgb[3];
        ComputeSkyColor(c.angle, rgb);
        ExpectNear3(rgb, {c.r, c.g, c.b}, 1e-4f);
    }
}

TEST_F(Sky, NoonGivesGreySkyClearColourAndFogWhenTheFogFollowsTheSky) {
    for (uint32_t follows : {1u, 0u}) {
        SCOPED_TRACE(follows);
        RenderState.fogOn = 1;
        RenderState.fogFollowsSky = follows;
        const float explicitFog[4] = {0.1f, 0.2f, 0.3f, 1.0f};
        SetFogColorRgba(explicitFog, 1.0f);
        SetTimeOfDayAngle(180.0f);
        UpdateSkyColors();
        ExpectNear3(SkyColor, {0.8f, 0.8f, 0.8f});
        ExpectNear3(RenderState.clearColor, {0.14f, 0.14f, 0.4f});
        EXPECT_EQ(RenderState.clearColor[3], 1.0f);
        if (follows)
            ExpectNear3(RenderState.fogColor, {0.8f, 0.8f, 0.8f});
        else
            ExpectNear3(RenderState.fogColor, {0.1f, 0.2f, 0.3f});
        EXPECT_EQ(RenderState.fogColor[3], 1.0f);
    }
}

TEST_F(Sky, SunMatrixIsARotationWithTheSunHighAtNoonAndLowAtMidnight) {
    for (float tilt : {0.0f, 0.7853982f, 1.2f})
        for (float roll : {0.0f, 0.4f})
            for (float degrees : {0.0f, 47.0f, 180.0f, 300.0f}) {
                SCOPED_TRACE(std::to_string(tilt) + " " + std::to_string(roll) + " " + std::to_string(degrees));
                SunTilt = tilt;
                SunRoll = roll;
                SetSunDirection(degrees * 0.017453292f);
                const float* m = SunMatrix;
                for (int i = 0; i < 3; ++i)
                    for (int j = 0; j < 3; ++j) {
                        const float dot = m[3 * i] * m[3 * j] + m[3 * i + 1] * m[3 * j + 1] + m[3 * i + 2] * m[3 * j + 2];
                        EXPECT_NEAR(dot, i == j ? 1.0f : 0.0f, 1e-5f) << i << "." << j;
                    }
            }
    SunTilt = 0.7853982f;
    SunRoll = 0.0f;
    LoadSunObject(nullptr);
    LoadMoonObject(nullptr);
    ASSERT_NE(SunMesh, nullptr);
    ASSERT_NE(MoonMesh, nullptr);
    ASSERT_NE(SunHaloMesh, nullptr);
    SetTimeOfDayAngle(180.0f);
    UpdateSkyColors();
    const Vec3 sun = *SunMesh->Position;
    EXPECT_NEAR(sun.y, 16000.0f * 0.70710678f, 0.05f);
    EXPECT_NEAR(std::sqrt(Dot(sun, sun)), 16000.0f, 0.05f);
    EXPECT_NEAR(SunHaloMesh->Position->y, sun.y, 1e-3f);
    EXPECT_NEAR(MoonMesh->Position->y, -sun.y, 1e-3f);
    const Vec3 d = NormalizeSkyMeshDirection();
    EXPECT_NEAR(d.y * 16000.0f, sun.y, 0.05f);
    SetTimeOfDayAngle(0.0f);
    UpdateSkyColors();
    EXPECT_NEAR(SunMesh->Position->y, -16000.0f * 0.70710678f, 0.05f);
}

// ---------------------------------------------------------------------------------------------
// The game tick

TEST_F(Sky, DayEventsFireOncePerPassageAndRearmAwayFromThePoints) {
    // Night speed below 90 and above 270 degrees, day speed between: 0.02 and 0.01 a tick.
    struct Step {
        float start;  // < 0: keep running from where the last step stopped
        int ticks;
        std::vector<uint32_t> events;
    } steps[] = {
        {64.99f, 1, {2}},    // at dawn
        {64.99f, 1, {}},     // at dawn again without leaving the points: spent
        {179.995f, 1, {3}},  // noon fires and rearms dawn
        {64.99f, 1, {2}},    // so dawn fires again
        {64.99f, 1, {}},
        {100.0f, 1, {}},     // away from every point: all rearmed
        {64.99f, 1, {2}},
        {64.9f, 20, {2}},    // passing dawn fires once on the way
        {269.995f, 1, {4}},  // dusk
        {359.99f, 1, {5}},   // midnight across the wrap
        {-1.0f, 30, {}},     // and not again just after it
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.start);
        if (s.start >= 0.0f) TimeOfDay = ShownTimeOfDay = s.start;
        SentEvents().clear();
        for (int i = 0; i < s.ticks; ++i) UpdateSky();
        EXPECT_EQ(SentEvents(), s.events);
    }
    EXPECT_LT(TimeOfDay, 360.0f);
}

TEST_F(Sky, ShownTimeCatchesUpOnlyWhenFarBehind) {
    struct Case {
        float catchUp, time, shown, wantTime, wantShown;
        uint32_t running;
    } cases[] = {
        {0.0f, 100.0f, 50.0f, 100.01f, 100.01f, 1},
        {0.1f, 100.0f, 50.0f, 100.01f, 50.0f + 50.01f * 0.1f, 1},
        {0.1f, 100.0f, 100.05f, 100.01f, 100.01f, 1},  // within ten steps: the time is shown
        {0.1f, 100.0f, 50.0f, 100.0f, 50.0f, 0},       // the clock stands
        {0.0f, 359.995f, 359.995f, 0.015f, 0.015f, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.catchUp) + " " + std::to_string(c.shown));
        TimeCatchUp = c.catchUp;
        TimeRunning = c.running;
        TimeOfDay = c.time;
        ShownTimeOfDay = c.shown;
        UpdateSky();
        EXPECT_NEAR(TimeOfDay, c.wantTime, 1e-3f);
        EXPECT_NEAR(ShownTimeOfDay, c.wantShown, 1e-3f);
    }
}

TEST_F(Sky, SkyLightMovesTowardTheSunByDayAndTheMoonByNight) {
    struct Case {
        float angle;
        float sign;  // +1 toward the sun, -1 toward the moon
        float rate;
    } cases[] = {{180.0f, 1.0f, 0.05f}, {70.0f, 1.0f, 0.025f}, {280.0f, -1.0f, 0.025f}, {10.0f, -1.0f, 0.05f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.angle);
        SkyLight = SkyLightState{{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}};
        TimeOfDay = ShownTimeOfDay = c.angle;
        DaySpeed = NightSpeed = 0.0f;
        UpdateSky();
        const Vec3 sunDirection = NormalizeSkyMeshDirection();
        const Vec3 sun = sunDirection * 16000.0f;
        const float k = c.sign * c.rate;
        EXPECT_NEAR(SkyLight.position.x, sun.x * k, 0.05f);
        EXPECT_NEAR(SkyLight.position.y, sun.y * k, 0.05f);
        EXPECT_NEAR(SkyLight.direction.y, sunDirection.y * k, 1e-5f);
        EXPECT_EQ(SunPosition.y, SkyLight.position.y);
        EXPECT_EQ(SunDirection.z, SkyLight.direction.z);
    }
}

TEST_F(Sky, LayersTurnAboutTheVerticalUnlessTheSkyIsOff) {
    LoadSkyObject(nullptr);
    ASSERT_NE(SkyLayers[0], nullptr);
    RotateSkyObjects();
    const float a1 = 0.01f * 0.017453292f, a2 = 0.05f * 0.017453292f;
    EXPECT_NEAR(SkyLayers[0]->Matrix[0], std::cos(a1), 1e-7f);
    EXPECT_NEAR(SkyLayers[0]->Matrix[2], -std::sin(a1), 1e-7f);
    EXPECT_NEAR(SkyLayers[1]->Matrix[6], std::sin(a2), 1e-7f);
    EXPECT_EQ(SkyLayers[1]->Matrix[4], 1.0f);
    SkyEnabled = 0;
    const float before = SkyLayers[1]->Matrix[2];
    RotateSkyObjects();
    EXPECT_EQ(SkyLayers[1]->Matrix[2], before);

    // Turns compose: two small turns make one of their sum, on any starting matrix.
    NztMesh mesh;
    const float tilted[9] = {1, 0, 0, 0, 0.6f, 0.8f, 0, -0.8f, 0.6f};
    std::copy(tilted, tilted + 9, mesh.Matrix);
    RotateMeshAboutAxis(&mesh, 0.3f);
    RotateMeshAboutAxis(&mesh, 0.5f);
    NztMesh once;
    std::copy(tilted, tilted + 9, once.Matrix);
    RotateMeshAboutAxis(&once, 0.8f);
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(mesh.Matrix[k], once.Matrix[k], 1e-6f) << k;
}

// ---------------------------------------------------------------------------------------------
// Sun visibility, halo and flares

float& DepthAnswer() {
    static float depth = 1.0f;
    return depth;
}

TEST_F(Sky, FlareIntensityFollowsTheDepthAtTheSun) {
    GlCore.ReadPixels = [](GLint x, GLint y, GLsizei w, GLsizei h, GLenum f, GLenum t, GLvoid* p) {
        glrec::Note("ReadPixels", x, y, w, h, f, t);
        *static_cast<float*>(p) = DepthAnswer();
    };
    // Camera at the origin looking down -z: a sun on row 1 = (0, 0, 1) lies at z = -16000, at the
    // centre of the 800 x 600 screen.
    struct Case {
        const char* what;
        float row1[3];
        float depth;
        float start, want;
        bool read;
    } cases[] = {
        {"clear sky", {0, 0, 1}, 1.0f, 0.5f, 0.525f, true},
        {"clear sky at the top", {0, 0, 1}, 1.0f, 0.99f, 1.0f, true},
        {"hidden", {0, 0, 1}, 0.5f, 0.5f, 0.49f, true},
        {"hidden at the bottom", {0, 0, 1}, 0.5f, 0.005f, 0.0f, true},
        {"behind the camera", {0, 0, -1}, 1.0f, 0.5f, 0.49f, false},
        {"beside the view", {-0.5f, 0.0f, 0.02f}, 1.0f, 0.5f, 0.49f, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InitRenderState();
        glrec::Calls().clear();
        std::fill(SunMatrix, SunMatrix + 9, 0.0f);
        std::copy(c.row1, c.row1 + 3, SunMatrix + 3);
        DepthAnswer() = c.depth;
        FlareIntensity = c.start;
        TestSunVisibility();
        EXPECT_NEAR(FlareIntensity, c.want, 1e-6f);
        if (c.read)
            EXPECT_EQ(glrec::Calls(), std::vector<std::string>{glrec::Call("ReadPixels", 400, 300, 1, 1,
                                                                           GL_DEPTH_COMPONENT, GL_FLOAT)});
        else
            EXPECT_TRUE(glrec::Calls().empty());
    }
}

TEST_F(Sky, HaloFadesToTheScreenEdgeAndFlaresLineUpThroughTheCentre) {
    struct Halo {
        float x, y, want;
    } halos[] = {{0, 0, 1.0f}, {200, 0, 0.5f}, {0, -150, 0.5f}, {400, 0, 0.0f}, {400, 300, 0.0f}};
    for (const Halo& h : halos) EXPECT_NEAR(SunHaloLevel(0.8f, h.x, h.y), h.want, 1e-6f) << h.x << "," << h.y;

    struct Flare {
        int i;
        float x, y;
    } flares[] = {{0, 140, -70}, {7, 0, 0}, {13, -120, 60}, {1, 120, -60}};
    for (const Flare& f : flares) {
        float c[2];
        LensFlareCentre(f.i, 140.0f, -70.0f, c);
        EXPECT_NEAR(c[0], f.x, 1e-4f) << f.i;
        EXPECT_NEAR(c[1], f.y, 1e-4f) << f.i;
    }
}

// ---------------------------------------------------------------------------------------------
// Environment zones

EnvironmentZone Zone(float x, float y, float z, float radiusSquared, float value) {
    EnvironmentZone zone{};
    zone.position[0] = x;
    zone.position[1] = y;
    zone.position[2] = z;
    zone.radiusSquared = radiusSquared;
    zone.value = value;
    return zone;
}

TEST_F(Sky, EnvironmentValueIsTheMeanOfTheZonesAroundTheObserver) {
    NztBase3D observer;
    observer.Position[0] = 10.0f;
    CameraControl.targetObject = &observer;
    struct Case {
        const char* what;
        std::vector<EnvironmentZone> zones;
        int32_t enabled;
        float previousTarget, wantTarget;
    } cases[] = {
        {"two around it", {Zone(0, 0, 0, 400, 2), Zone(20, 0, 0, 101, 4), Zone(500, 0, 0, 400, 9)}, 1, 0, 3},
        {"none around it keeps the target", {Zone(500, 0, 0, 400, 9)}, 1, 5, 5},
        {"on the boundary is outside", {Zone(0, 0, 0, 100, 7)}, 1, 5, 5},
        {"switched off", {Zone(0, 0, 0, 400, 2)}, 0, 5, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FreeEnvironmentZones();
        for (const EnvironmentZone& z : c.zones) AddEnvironmentZone(&z);
        ZonesEnabled = c.enabled;
        ZoneTarget = c.previousTarget;
        ZoneValue = 1.0f;
        UpdateEnvironmentZones();
        EXPECT_FLOAT_EQ(ZoneTarget, c.wantTarget);
        EXPECT_FLOAT_EQ(ZoneValue, c.enabled ? 1.0f + (c.wantTarget - 1.0f) * 0.01f : 1.0f);
    }
}

TEST_F(Sky, ZonesAreAppendedAndCopiedOnlyWithinTheList) {
    EXPECT_EQ(AddEnvironmentZone(nullptr), 0);
    EnvironmentZone z = Zone(1, 2, 3, 4, 5);
    z.word0 = 7;
    z.word16 = 8;
    z.words[15] = 9;
    EXPECT_EQ(AddEnvironmentZone(&z), 1);
    ASSERT_EQ(EnvironmentZoneCount, 2);
    EnvironmentZone out;
    std::memset(&out, 0xAB, sizeof out);
    CopyEnvironmentZone(0, &out);
    EXPECT_EQ(out.value, 0.0f);
    EXPECT_EQ(out.words[15], 0u);
    CopyEnvironmentZone(1, &out);
    EXPECT_EQ(std::memcmp(&out, &z, sizeof z), 0);
    for (int32_t index : {-1, 2}) {
        EnvironmentZone untouched;
        std::memset(&untouched, 0xCD, sizeof untouched);
        EnvironmentZone copy = untouched;
        CopyEnvironmentZone(index, &copy);
        EXPECT_EQ(std::memcmp(&copy, &untouched, sizeof copy), 0) << index;
    }
    CopyEnvironmentZone(1, nullptr);
}

TEST_F(Sky, ZoneSectionRoundTripsEveryWord) {
    datakit::EnvZoneSectionSpec spec;
    spec.enabled = 7;
    for (int i = 0; i < 3; ++i) {
        datakit::EnvZoneRecord r;
        r.word0 = 0x11111111u * static_cast<uint32_t>(i + 1);
        r.position = {float(i), -2.5f, 1e6f};
        r.word16 = 0xFFFFFFFFu - static_cast<uint32_t>(i);
        r.radiusSquared = 900.0f;
        r.value = 0.25f * float(i);
        for (int w = 0; w < 16; ++w) r.words[w] = static_cast<uint32_t>(w * 31 + i);
        spec.zones.push_back(r);
    }
    const std::vector<uint8_t> bytes = datakit::MakeEnvZoneSection(spec);
    AddEnvironmentZone(nullptr);  // the old list goes first
    BinReader in(bytes.data(), bytes.size());
    ASSERT_TRUE(ReadEnvironmentZoneSection(in, "Test.Scn"));
    EXPECT_EQ(in.Position(), bytes.size());
    ASSERT_EQ(EnvironmentZoneCount, 3);
    EXPECT_EQ(ZonesEnabled, 1);
    EXPECT_EQ(EnvironmentZones[2].words[5], 5u * 31 + 2);
    EXPECT_EQ(EnvironmentZones[1].radiusSquared, 900.0f);
    std::vector<uint8_t> written;
    BinWriter out(written);
    WriteEnvironmentZoneSection(out);
    spec.enabled = 1;  // any non-zero word comes back as 1
    EXPECT_EQ(written, datakit::MakeEnvZoneSection(spec));

    datakit::EnvZoneSectionSpec absent;
    absent.present = 0;
    const std::vector<uint8_t> none = datakit::MakeEnvZoneSection(absent);
    BinReader noneIn(none.data(), none.size());
    EXPECT_TRUE(ReadEnvironmentZoneSection(noneIn, "Test.Scn"));
    EXPECT_EQ(EnvironmentZoneCount, 0);
}

TEST_F(Sky, BrokenZoneSectionsLeaveAnEmptyList) {
    datakit::EnvZoneSectionSpec good;
    good.zones.resize(2);
    const std::vector<uint8_t> whole = datakit::MakeEnvZoneSection(good);
    std::vector<std::pair<std::string, std::vector<uint8_t>>> cases;
    for (size_t cut : {size_t{0}, size_t{2}, size_t{4}, size_t{8}, size_t{12}, size_t{12 + 91}, whole.size() - 1})
        cases.push_back({"cut at " + std::to_string(cut), std::vector<uint8_t>(whole.begin(), whole.begin() + cut)});
    for (int64_t count : {int64_t{0xFFFFFFFF}, int64_t{3}, int64_t{0x7FFFFFFF}, int64_t{0x80000000}}) {
        datakit::EnvZoneSectionSpec lie = good;
        lie.declaredCount = count;
        cases.push_back({"count " + std::to_string(count), datakit::MakeEnvZoneSection(lie)});
    }
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        AddEnvironmentZone(nullptr);
        ZonesEnabled = 1;
        BinReader in(bytes.data(), bytes.size());
        testing::internal::CaptureStderr();
        EXPECT_FALSE(ReadEnvironmentZoneSection(in, "Broken.Scn"));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("sky: Broken.Scn: ", 0), 0u) << err;
        EXPECT_EQ(EnvironmentZoneCount, 0);
        EXPECT_EQ(EnvironmentZones, nullptr);
        EXPECT_EQ(ZonesEnabled, 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Wobble

TEST_F(Sky, WobbleStaysStillUntilSwitchedOnThenTurnsTheBaseVector) {
    ResetWobble();
    for (int i = 0; i < 5; ++i) UpdateEnvironmentZones();
    ExpectNear3(WobbleVector, {0.0f, 0.0f, 0.0f}, 0.0f);
    ExpectNear3(WobbleBase, {1.0f, 0.1f, 0.75f}, 0.0f);

    WobbleEnabled = 1;
    float amplitude = 0.0f;
    int32_t angle = 0;
    for (int i = 0; i < 50; ++i) {
        UpdateEnvironmentZones();
        amplitude += (1.0f - amplitude) * 0.01f;
        angle = (angle + RoundToInt(RandomTable[i] * 8.0)) & AngleUnitMask;
        // The horizontal part keeps the base's length, turned; the vertical part is only scaled.
        const float horizontal = std::hypot(WobbleVector[0], WobbleVector[2]);
        EXPECT_NEAR(horizontal, amplitude * 1.25f, 1e-5f) << i;
        EXPECT_NEAR(WobbleVector[1], amplitude * 0.1f, 1e-6f) << i;
    }
    EXPECT_EQ(WobbleAngle, angle);
    const float c = TableCos(angle), s = TableSin(angle);
    EXPECT_NEAR(WobbleVector[0], amplitude * (c + 0.75f * s), 1e-5f);
    EXPECT_NEAR(WobbleVector[2], amplitude * (-s + 0.75f * c), 1e-5f);
}

// ---------------------------------------------------------------------------------------------
// Loading the sky meshes

class SkyFiles : public Sky {
protected:
    DataFolderScope data;
};

TEST_F(SkyFiles, LayersLoadFromOneFileNamedInCapitals) {
    datakit::QvoMesh m;
    m.name = "Clouds1001";
    m.vertices = {{-10, 50, -10}, {10, 50, -10}, {0, 50, 10}};
    m.materials.resize(1);
    m.materials[0].indices = {0, 1, 2};
    data.WriteData("OBJECTS/SKY/Clouds1001.QVo", datakit::WriteQvo(m));

    EXPECT_EQ(LoadSkyObject("Clouds1001"), 1);
    for (NztMesh* layer : SkyLayers) {
        ASSERT_NE(layer, nullptr);
        EXPECT_STREQ(layer->Name, "CLOUDS1001");
        EXPECT_EQ(layer->Visible, 1u);
        ASSERT_EQ(layer->VertexCount, 3u);
        ASSERT_NE(layer->PosedVertices, nullptr);
        EXPECT_EQ(layer->PosedVertices[2].z, 10.0f);  // posed at the origin
    }
    EXPECT_NE(SkyLayers[0], SkyLayers[1]);

    struct Case {
        const char* name;
        int result;
        bool complains;
    } cases[] = {{"Missing1001", 0, false}, {"..\\Clouds1001", 0, true}, {nullptr, 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "none");
        const uint32_t meshes = MeshCount;
        testing::internal::CaptureStderr();
        EXPECT_EQ(LoadSkyObject(c.name), c.result);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(!err.empty(), c.complains) << err;
        EXPECT_EQ(MeshCount, meshes);  // the old layers were released
        ASSERT_NE(SkyLayers[0], nullptr);
        EXPECT_EQ(SkyLayers[0]->VertexCount, 1u);  // an empty level of detail
    }
}

TEST_F(SkyFiles, TheHaloComesWithTheFirstSunOnly) {
    LoadSunObject("Sun1001");
    ASSERT_NE(SunHaloMesh, nullptr);
    EXPECT_STREQ(SunHaloMesh->Name, "SUNHALO1001");
    EXPECT_EQ(SunHaloMesh->Position->y, -16000.0f);
    NztMesh* halo = SunHaloMesh;
    LoadSunObject("Sun1001");
    EXPECT_EQ(SunHaloMesh, halo);
}

// ---------------------------------------------------------------------------------------------
// Flares drawn for real

// A hidden 256 x 256 window whose projection shows eye x, y one unit a pixel around the centre,
// so the flares land where the base-view matrix puts their screen offsets.
class GlSky : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(OpenHiddenGlWindow("sky test", 256, 256, &window_, &context_))
            << SDL_GetError();
        InitGlExtensions();
        InitRenderState();
        ClearTextureTable();
        BoundTextureId = 0;
        ResetSkyState();
        glViewport(0, 0, 256, 256);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-128, 128, -128, 128, 1, 4000);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 0, 0, 1);
    }
    void TearDown() override {
        for (uint32_t& t : LensFlareTextures) t = 0;
        DeleteAllTextures();
        ResetSkyState();
        InitRenderState();
        BoundTextureId = 0;
        CloseHiddenGlWindow(&window_, &context_);
    }
    // Red of the pixel x, y from the centre, y downwards.
    static int Red(int x, int y) {
        uint8_t rgba[4] = {};
        glReadPixels(128 + x, 128 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        return rgba[0];
    }

    DataFolderScope data;
    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
};

TEST_F(GlSky, FlaresLandOnTheLineThroughTheCentre) {
    // Only flare 9 (half-size 12) has a picture; the others are missing and skipped.
    data.WriteData("MAPS/LensFlare09.Img", datakit::MakeImg32(datakit::SolidRgba(4, 4, 255, 255, 255, 255)));
    testing::internal::CaptureStderr();
    LoadLensFlares();
    testing::internal::GetCapturedStderr();
    for (int i = 0; i < LensFlareCount; ++i) EXPECT_EQ(LensFlareTextures[i] != 0, i == 9) << i;
    EXPECT_EQ(LensFlareSizes[9], 12.0f);
    EXPECT_EQ(LensFlareSizes[7], 250.0f);

    // Sun at (140, -70): flare 9 sits at -2/7 of it, (-40, 20).
    SunScreenPosition[0] = 140.0f;
    SunScreenPosition[1] = -70.0f;
    struct Case {
        const char* what;
        float intensity;
        uint32_t enabled;
        int red;  // at the flare; 0.75 grey of white
    } cases[] = {{"shown", 1.0f, 1, 191}, {"no intensity", 0.0f, 1, 0}, {"switched off", 1.0f, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        glClear(GL_COLOR_BUFFER_BIT);
        FlareIntensity = c.intensity;
        FlaresEnabled = c.enabled;
        DrawLensFlares();
        EXPECT_NEAR(Red(-40, 20), c.red, 2);
        EXPECT_EQ(Red(-40 + 16, 20), 0);  // beyond the half-size
        EXPECT_EQ(Red(0, 0), 0);
        GLint depth = 0;
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
        EXPECT_EQ(depth, 1);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
