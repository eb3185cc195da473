// The sample level, "SCN/Level01.Scn", which the sample game starts on: a ground walled in, with
// props and the movement pieces, a dais and the lookouts the console's "Pos" puts the hero on, the
// hero, a guard walking the patrol round and a watcher keeping its distance from the hero, all
// placed before the camera; the sky with its sun and moon, a game light over the crates, an
// environment zone around the trees, a rope between two crates, the music play-list, the head-up
// interface, and the camera trajectory "TRAJECTS/Tour.Qvt" that the level's scripts fly.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "datakit/character.h"
#include "datakit/datakit.h"
#include "datakit/eventrecord.h"
#include "datakit/hud.h"
#include "datakit/image.h"
#include "datakit/mesh.h"
#include "datakit/scene.h"
#include "datakit/traject.h"
#include "datakit/video.h"
#include "sample.h"

namespace {

datakit::SceneObjectSpec Prop(const char* model, float x, float y, float z) {
    datakit::SceneObjectSpec o;
    o.model = model;
    o.place.position = {x, y, z};
    o.place.range = 2000.0f;
    return o;
}

// Model textures "MAPSMODELS/<name>.Img": a pattern of two colours, mixed by a function of the
// texel's place (0 gives the first colour, 1 the second).
template <typename Mix>
bool WritePattern(const std::string& datasFolder, const char* name, const uint8_t a[3], const uint8_t b[3], Mix mix) {
    constexpr uint32_t Size = 64;
    datakit::Rgba image = datakit::SolidRgba(Size, Size, 0, 0, 0, 255);
    for (uint32_t y = 0; y < Size; ++y)
        for (uint32_t x = 0; x < Size; ++x) {
            const float t = mix(x, y);
            uint8_t* p = &image.pixels[(y * Size + x) * 4];
            for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(a[c] + (b[c] - a[c]) * t);
        }
    return datakit::WriteImageBytes(datasFolder + "/MAPSMODELS/" + name + ".Img", datakit::MakeImg32(image));
}

bool WriteModelTextures(const std::string& datasFolder) {
    const uint8_t grass[3] = {70, 120, 50}, moss[3] = {95, 140, 60};
    const uint8_t wood[3] = {150, 105, 60}, plank[3] = {110, 70, 35};
    const uint8_t bark[3] = {90, 60, 40}, dark[3] = {60, 40, 25};
    const uint8_t leaf[3] = {40, 110, 40}, light[3] = {80, 150, 60};
    const uint8_t deep[3] = {30, 70, 140}, shallow[3] = {60, 120, 190};
    const uint8_t stone[3] = {150, 145, 135}, mortar[3] = {95, 90, 85};
    return WritePattern(datasFolder, "Ground", grass, moss,
                        [](uint32_t x, uint32_t y) { return ((x / 8 + y / 8) % 2) ? 1.0f : 0.0f; }) &&
           WritePattern(datasFolder, "Crate", wood, plank,
                        [](uint32_t x, uint32_t y) { return (x < 4 || x > 59 || y < 4 || y > 59 || y % 16 < 2) ? 1.0f : 0.0f; }) &&
           WritePattern(datasFolder, "Bark", bark, dark, [](uint32_t x, uint32_t) { return (x % 8 < 3) ? 1.0f : 0.0f; }) &&
           WritePattern(datasFolder, "Leaves", leaf, light,
                        [](uint32_t x, uint32_t y) { return ((x * 7 + y * 13) % 11 < 4) ? 1.0f : 0.0f; }) &&
           WritePattern(datasFolder, "Water", deep, shallow,
                        [](uint32_t x, uint32_t y) { return ((x + y / 2) % 16 < 5) ? 1.0f : 0.0f; }) &&
           WritePattern(datasFolder, "Stone", stone, mortar, [](uint32_t x, uint32_t y) {
               // Bricks of 16 x 8, every other row shifted by half a brick.
               const uint32_t shifted = (y / 8) % 2 ? x + 8 : x;
               return (y % 8 == 0 || shifted % 16 == 0) ? 1.0f : 0.0f;
           });
}

// A mesh of boxes (base centre and size each) in one material of the image `texture`, and its
// collision side file, "OBJECTS/<name>1001.QVo" and "OBJECTS/<name>0001.QVc".
bool WriteBoxes(const std::string& datasFolder, const std::string& name, const char* texture,
                const std::vector<std::array<Vec3, 2>>& boxes) {
    datakit::QvoMesh m = datakit::MakeBoxMesh(name + "1001", {0, 0, 0}, texture);
    m.vertices.clear(), m.normals.clear(), m.texCoords.clear(), m.materials[0].indices.clear();
    for (const auto& [base, size] : boxes) {
        const datakit::QvoMesh box = datakit::MakeBoxMesh("", size, "");
        const auto first = static_cast<uint32_t>(m.vertices.size());
        for (const Vec3& v : box.vertices) m.vertices.push_back(v + base);
        m.normals.insert(m.normals.end(), box.normals.begin(), box.normals.end());
        m.texCoords.insert(m.texCoords.end(), box.texCoords.begin(), box.texCoords.end());
        for (uint32_t i : box.materials[0].indices) m.materials[0].indices.push_back(first + i);
    }
    return datakit::WriteModelFile(datasFolder + "/OBJECTS/" + name + "1001.QVo", datakit::WriteQvo(m)) &&
           datakit::WriteModelFile(datasFolder + "/OBJECTS/" + name + "0001.QVc",
                                   datakit::WriteQvc(datakit::MakeSideFile(m)));
}

// The level's edge: a wall round the playing field, its inner faces kFieldHalf from the middle
// each way, so that the hero stays on the ground and its pin on the mini-map. The wall rises
// kWallHeight: above the hero's jump with the body's reach, and too low for the ledge probe's hand
// hold, which looks for tops from one and a half body heights up.
constexpr float kFieldHalf = 450.0f;
constexpr float kWallHeight = 26.0f;
constexpr float kWallThickness = 20.0f;

// The places the console's "Pos 1" to "Pos 9" put the hero (x, y, z): the engine's fixed table.
constexpr float kLookouts[9][3] = {
    {204.0f, 350.0f, -884.0f}, {-270.0f, 245.0f, -512.0f}, {650.0f, 410.0f, 390.0f},
    {750.0f, 0.0f, 4000.0f},   {-1771.0f, 434.5f, 3978.0f}, {-501.7f, 43.0f, -13.56f},
    {-1.0f, 15.0f, -2.34f},    {-12089.5f, 15.13f, -1251.55f}, {-1114.0f, 512.0f, 454.0f},
};
// The one of them inside the field, on a dais in the middle of the guard's round.
constexpr int kDaisSpot = 6;
// How far east of its spot each lookout and the dais have their middle. A box's top is two
// triangles meeting along a diagonal through its middle, and the floor probe takes a point only
// strictly inside a triangle: a hero put exactly on that seam finds no floor under it. Four units
// east, the spot lies well inside one of the two.
constexpr float kSpotToMiddle = 4.0f;

// The wall's sides along x and along z, the lookouts (a floor with a parapet, its top where "Pos" puts the hero)
// and the dais.
bool WriteLevelPieces(const std::string& datasFolder) {
    const float along = 2.0f * (kFieldHalf + kWallThickness);
    const float h = kWallHeight, t = kWallThickness;
    constexpr float Lookout = 60.0f, Floor = 4.0f;
    const float rim = 0.5f * (Lookout - 2.0f);
    return WriteBoxes(datasFolder, "WallX", "Stone", {{{{0, 0, 0}, {along, h, t}}}}) &&
           WriteBoxes(datasFolder, "WallZ", "Stone", {{{{0, 0, 0}, {t, h, along}}}}) &&
           WriteBoxes(datasFolder, "Lookout", "Stone",
                      {{{{0, -Floor, 0}, {Lookout, Floor, Lookout}}},
                       {{{0, 0, rim}, {Lookout, h, 2}}},
                       {{{0, 0, -rim}, {Lookout, h, 2}}},
                       {{{rim, 0, 0}, {2, h, Lookout}}},
                       {{{-rim, 0, 0}, {2, h, Lookout}}}}) &&
           WriteBoxes(datasFolder, "Dais", "Stone", {{{{0, 0, 0}, {24, kLookouts[kDaisSpot][1], 24}}}});
}

// A sky body: a cube covered on every face by one image whose alpha makes it round, so that from
// the middle of the world, whichever way the sky has turned it, it shows a disc; blended over the
// sky by that alpha, or added to it (the halo).
datakit::QvoMesh SkyDisc(const char* name, float size, const char* texture, uint32_t blendMode) {
    datakit::QvoMesh m = datakit::MakeBoxMesh(name, {size, size, size}, texture);
    m.twoSided = 1;
    m.textures[0].repeat = 0;
    m.materials[0].word2 = blendMode;
    return m;
}

// Round images for the sky bodies, "MAPSMODELS/<name>.Img": opaque inside radius `edge` (in
// half-sizes), fading to nothing at the rim; `shade` gives the colour at a point of the disc.
template <typename Shade>
bool WriteDiscImage(const std::string& datasFolder, const char* name, float edge, Shade shade) {
    constexpr uint32_t Size = 128;
    datakit::Rgba image = datakit::SolidRgba(Size, Size, 0, 0, 0, 0);
    for (uint32_t y = 0; y < Size; ++y)
        for (uint32_t x = 0; x < Size; ++x) {
            const float u = (static_cast<float>(x) + 0.5f) / Size * 2.0f - 1.0f;
            const float v = (static_cast<float>(y) + 0.5f) / Size * 2.0f - 1.0f;
            const float d = std::sqrt(u * u + v * v);
            const float alpha = d <= edge ? 1.0f : d >= 1.0f ? 0.0f : (1.0f - d) / (1.0f - edge);
            float rgb[3];
            shade(u, v, d, rgb);
            uint8_t* p = &image.pixels[(y * Size + x) * 4];
            for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(std::clamp(rgb[c], 0.0f, 1.0f) * 255.0f);
            p[3] = static_cast<uint8_t>(std::clamp(alpha * alpha, 0.0f, 1.0f) * 255.0f);
        }
    return datakit::WriteImageBytes(datasFolder + "/MAPSMODELS/" + name + ".Img", datakit::MakeImg32(image));
}

bool WriteSkyBodies(const std::string& datasFolder) {
    // The sun: a white-hot middle going golden toward its soft rim.
    const bool images =
        WriteDiscImage(datasFolder, "Sun", 0.8f,
                       [](float, float, float d, float rgb[3]) {
                           rgb[0] = 1.0f, rgb[1] = 0.97f - 0.15f * d, rgb[2] = 0.85f - 0.45f * d;
                       }) &&
        // The moon: pale grey with darker seas, a sharper rim.
        WriteDiscImage(datasFolder, "Moon", 0.9f,
                       [](float u, float v, float, float rgb[3]) {
                           const float seas[][3] = {{-0.3f, -0.2f, 0.3f}, {0.25f, 0.1f, 0.25f}, {-0.05f, 0.45f, 0.2f}};
                           float k = 0.88f;
                           for (const auto& s : seas)
                               if (std::hypot(u - s[0], v - s[1]) < s[2]) k -= 0.18f;
                           rgb[0] = k, rgb[1] = k, rgb[2] = k + 0.05f;
                       }) &&
        // The halo: a wide glow added round the sun, strongest at its middle.
        WriteDiscImage(datasFolder, "SunHalo", 0.0f, [](float, float, float d, float rgb[3]) {
            const float k = (1.0f - d) * (1.0f - d);
            rgb[0] = k, rgb[1] = 0.9f * k, rgb[2] = 0.6f * k;
        });
    constexpr uint32_t Over = 6;  // source alpha, one minus source alpha
    constexpr uint32_t Added = 7; // source alpha, one
    return images &&
           datakit::WriteModelFile(datasFolder + "/OBJECTS/SKY/Sun1001.QVo",
                                   datakit::WriteQvo(SkyDisc("Sun1001", 900.0f, "Sun", Over))) &&
           datakit::WriteModelFile(datasFolder + "/OBJECTS/SKY/SunHalo1001.QVo",
                                   datakit::WriteQvo(SkyDisc("SunHalo1001", 2400.0f, "SunHalo", Added))) &&
           datakit::WriteModelFile(datasFolder + "/OBJECTS/SKY/Moon1001.QVo",
                                   datakit::WriteQvo(SkyDisc("Moon1001", 600.0f, "Moon", Over)));
}

// "VIDEOS/Intro.Avi": two seconds of a sunrise over the ground line, for the video trigger.
bool WriteIntroVideo(const std::string& datasFolder) {
    datakit::AviSpec intro;
    intro.width = 320;
    intro.height = 240;
    intro.framesPerSecond = 15;
    intro.frameCount = 30;
    intro.draw = [&](uint32_t frame, std::vector<uint8_t>& rgb) {
        const float t = static_cast<float>(frame) / static_cast<float>(intro.frameCount - 1);
        const int sunY = static_cast<int>(200.0f - 120.0f * t);
        for (uint32_t y = 0; y < intro.height; ++y)
            for (uint32_t x = 0; x < intro.width; ++x) {
                uint8_t* p = &rgb[(y * intro.width + x) * 3];
                const int dx = static_cast<int>(x) - 160, dy = static_cast<int>(y) - sunY;
                if (y > 180) {
                    p[0] = 60, p[1] = static_cast<uint8_t>(100 + 40 * t), p[2] = 40;
                } else if (dx * dx + dy * dy < 400) {
                    p[0] = 255, p[1] = 220, p[2] = 120;
                } else {
                    p[0] = static_cast<uint8_t>(40 + 150 * t), p[1] = static_cast<uint8_t>(40 + 120 * t),
                    p[2] = static_cast<uint8_t>(90 + 140 * t);
                }
            }
    };
    return datakit::WriteAvi(datasFolder + "/VIDEOS/Intro.Avi", intro);
}

// The tour Home flies: a closed loop round the level, looking at its middle, at the 50 points a
// second the trajectory player steps through (one point a frame at 50 frames a second), so that
// the flight lasts `kTourSeconds`.
constexpr int kTourSeconds = 12;

bool WriteTour(const std::string& datasFolder) {
    datakit::QvtSpec tour;
    tour.name = "Tour";
    constexpr int kPoints = kTourSeconds * 50;
    for (int i = 0; i <= kPoints; ++i) {
        // From the south edge anticlockwise seen from above, rising over the north and back.
        const float a = 6.2831853f * static_cast<float>(i) / kPoints;
        const std::array<float, 3> position{300.0f * std::sin(a), 120.0f - 40.0f * std::cos(a), -300.0f * std::cos(a)};
        tour.points.push_back(datakit::MakeQvtPoint(position, {0.0f, 10.0f, 0.0f}));
    }
    return datakit::WriteFileBytes(datasFolder + "/TRAJECTS/Tour.Qvt", datakit::MakeQvt(tour));
}

// Event codes the scripts use. The key events are those the player's input table raises on the
// hero (character/control.cpp): Page Up and Page Down always, P and Home while the hero is driven.
constexpr int32_t kLevelStart = 129;
constexpr int32_t kZoneEntered = 9;
constexpr int32_t kEscapeReleased = 66;
constexpr int32_t kPageUpPressed = 74;
constexpr int32_t kPageDownPressed = 75;
constexpr int32_t kPPressed = 78;
constexpr int32_t kHomePressed = 83;
constexpr int32_t kEndPressed = 81;

// Object kinds of event targets, and the characters' ids: the hero keeps 0, the others follow in
// file order from 1.
constexpr int32_t kKindScnObject = 4;
constexpr int32_t kKindCharacter = 5;
constexpr int32_t kHeroId = 0;
constexpr int32_t kGuardId = 1;
constexpr int32_t kWatcherId = 2;
// The event action that sets the player's stance, and the stance in which the side buttons turn
// the hero and step it sideways with Shift.
constexpr int32_t kSetPlayerStance = 38;
constexpr int32_t kStanceTurnAndStrafe = 1;
// The event action that plays an animation on an object.
constexpr int32_t kPlayObjectAnimation = 44;

datakit::EventBytes Record(const datakit::EventRecordSpec& spec) { return datakit::MakeEventRecords({spec}); }

void SetFloat(datakit::EventRecordSpec& spec, int slot, float v) { std::memcpy(&spec.values[slot], &v, 4); }

// A screen message of text-table entry `entry`, held `seconds`, 250 units below the centre.
datakit::EventBytes Message(int32_t event, int32_t entry, float seconds) {
    datakit::EventRecordSpec m;
    m.event = event;
    m.action = 17;
    m.param = 0;  // no game interface
    m.value1 = seconds;
    SetFloat(m, 0, 0.0f);
    SetFloat(m, 1, 250.0f);
    m.values[5] = static_cast<uint32_t>(entry);
    SetFloat(m, 6, 1.0f);
    SetFloat(m, 7, 0.95f);
    SetFloat(m, 8, 0.6f);
    SetFloat(m, 12, 1.0f);  // shadowed
    return Record(m);
}

datakit::SceneTriggerSpec Zone(const char* name, float x, float z, std::vector<datakit::EventBytes> events) {
    datakit::SceneTriggerSpec t;
    t.name = name;
    t.position = {x, 10.0f, z};
    // Full extents: the zone reaches 40 units each way from its centre.
    t.sizes = {80.0f, 80.0f, 80.0f};
    t.events = std::move(events);
    return t;
}

// The level's scripts: the welcome message and the music at level start, Escape for the pause
// menu, Page Up and Page Down for the quick save slot, P for the sample spell, Home for a camera
// flight, and three zones: a text box over the crates, the intro video, the sample plug-in.
void AddScripts(datakit::SceneSpec& level) {
    level.globalEvents.push_back(Message(kLevelStart, 0, 8.0f));
    datakit::EventRecordSpec music;
    music.event = kLevelStart;
    music.action = 6;
    music.paramName = "Theme";
    music.value1 = 1.0f;  // a second's fade in
    level.globalEvents.push_back(Record(music));
    // Escape opens the pause menu.
    datakit::EventRecordSpec pause;
    pause.event = kEscapeReleased;
    pause.action = 74;
    pause.param = 6;
    level.globalEvents.push_back(Record(pause));
    // The hero walks where it faces: Up and Down walk forward and back, Left and Right turn it,
    // and with Shift they step sideways (stance 1; the camera-relative stance 0 would turn the
    // hero toward the arrow's side of the view instead).
    datakit::EventRecordSpec stance;
    stance.event = kLevelStart;
    stance.action = kSetPlayerStance;
    stance.param = kStanceTurnAndStrafe;
    level.globalEvents.push_back(Record(stance));

    // The crates talk: a text box of entry 2 over the crate on top, for six seconds.
    datakit::EventRecordSpec box;
    box.event = kZoneEntered;
    box.action = 78;
    box.targetKind = 4;
    box.targetId = 3;
    box.values[5] = 2;
    SetFloat(box, 2, 1.0f);  // sized to the text
    SetFloat(box, 3, 6.0f);
    SetFloat(box, 6, 1.0f);
    SetFloat(box, 7, 1.0f);
    SetFloat(box, 8, 1.0f);
    datakit::EventRecordSpec video;
    video.event = kZoneEntered;
    video.action = 14;
    video.paramName = "Intro";
    video.once = 1;
    datakit::EventRecordSpec plugin;
    plugin.event = kZoneEntered;
    plugin.action = 75;
    plugin.param2 = 0;  // enable
    plugin.paramName = "Sample";
    level.triggers = {
        Zone("Crates", 80.0f, 40.0f, {Record(box)}),
        Zone("Cinema", 0.0f, 250.0f, {Record(video)}),
        Zone("Grove", -150.0f, 120.0f, {Record(plugin), Message(kZoneEntered, 3, 3.0f)}),
    };

    // Page Up saves the game in the slot "Quick", Page Down loads it back.
    datakit::EventRecordSpec save;
    save.event = kPageUpPressed;
    save.action = 5;
    save.param = 2;
    save.text2 = "Quick";
    datakit::EventRecordSpec load = save;
    load.event = kPageDownPressed;
    load.param = 3;
    // Home flies the camera once round the level along the trajectory "Tour".
    datakit::EventRecordSpec tour;
    tour.event = kHomePressed;
    tour.action = 22;
    tour.paramName = "Tour";
    // P casts the sample spell "Fireball" (spell 0) from the hero.
    datakit::EventRecordSpec cast;
    cast.event = kPPressed;
    cast.action = 48;
    cast.param = 0;
    cast.targetKind = kKindCharacter;
    cast.targetId = kHeroId;
    level.player.events = {Record(save), Record(load), Record(tour), Record(cast)};

    // End shows the crate on top in the image panel for two seconds, growing out of the centre and
    // shrinking into the bottom right corner; the game runs on underneath.
    datakit::EventRecordSpec show;
    show.event = kEndPressed;
    show.action = 62;
    show.targetKind = kKindScnObject;
    show.targetId = 3;
    show.param = 0;
    show.param2 = 3;
    show.value1 = 2.0f;
    level.player.events.push_back(Record(show));
}

// An object-control command (action 64) on a character at level start.
datakit::EventRecordSpec CharacterControl(int32_t id, int32_t command, int32_t code) {
    datakit::EventRecordSpec r;
    r.event = kLevelStart;
    r.action = 64;
    r.targetKind = kKindCharacter;
    r.targetId = id;
    r.param = command;
    r.param2 = code;
    return r;
}

// The level's other characters: the guard walks the patrol round (order 8 on the trajectory
// "Patrol", looping); the watcher shows its health bar and keeps its distance from the hero
// (order 6), near at 30 units, at ease up to 60, coming back beyond 120.
void AddCharacters(datakit::SceneSpec& level) {
    datakit::SceneCharacterSpec guard;
    guard.type = "Guard";
    guard.place.position = {30.0f, 0.0f, -230.0f};
    guard.place.range = 2000.0f;
    datakit::CharacterRecordSpec guardRecord;
    guardRecord.name = "Guard";
    // A waypoint counts as passed within the arrival radius x the square root of the walking
    // speed (0.55 a frame): about 3 units.
    guardRecord.radius[4] = 4.0f;
    guard.record = datakit::MakeCharacterRecord(guardRecord);
    datakit::EventRecordSpec patrol = CharacterControl(kGuardId, 10, 8);
    patrol.text2 = "Patrol";
    SetFloat(patrol, 0, 1.0f);   // starts at the nearest point
    SetFloat(patrol, 1, 1.0f);   // loops
    SetFloat(patrol, 2, 0.0f);   // keeps its own height
    SetFloat(patrol, 10, 1.0f);  // amplitude
    // The order turns the guard; its walk carries it.
    datakit::EventRecordSpec walk;
    walk.event = kLevelStart;
    walk.action = kPlayObjectAnimation;
    walk.targetKind = kKindCharacter;
    walk.targetId = kGuardId;
    walk.paramName = "MoveWalk";
    walk.param2 = 0;  // switched to, not locked
    guard.events = {Record(patrol), Record(walk)};
    level.characters.push_back(guard);

    datakit::SceneCharacterSpec watcher;
    watcher.type = "Watcher";
    watcher.place.position = {-80.0f, 0.0f, -200.0f};
    watcher.place.range = 2000.0f;
    datakit::CharacterRecordSpec watcherRecord;
    watcherRecord.name = "Watcher";
    watcher.record = datakit::MakeCharacterRecord(watcherRecord);
    const datakit::EventRecordSpec bar = CharacterControl(kWatcherId, 20, 1);
    watcher.events = {Record(bar)};
    // Radii 2 to 4 (near, keep, far), each given as a tenth of its length.
    const float radii[][2] = {{2, 3.0f}, {3, 6.0f}, {4, 12.0f}};
    for (const auto& [code, tenth] : radii) {
        datakit::EventRecordSpec radius = CharacterControl(kWatcherId, 22, static_cast<int32_t>(code));
        radius.value1 = tenth;
        watcher.events.push_back(Record(radius));
    }
    datakit::EventRecordSpec keep = CharacterControl(kWatcherId, 10, 6);
    keep.target2Kind = kKindCharacter;
    keep.target2Id = kHeroId;
    watcher.events.push_back(Record(keep));
    level.characters.push_back(watcher);
}

// The camera follows the hero from behind and above (mode 4), so that walking, running, jumping,
// swimming and climbing stay in view: the level stores the mode, and at level start a camera-mode
// record (action 28) sets its control block (the target left empty stands for the player) and a
// height record (action 25) raises the eye.
constexpr int32_t kCameraBehind = 4;

void AddCamera(datakit::SceneSpec& level) {
    level.cameraMode = kCameraBehind;
    const auto& hero = level.player.place.position;
    level.cameraPosition = {hero[0], hero[1] + 35.0f, hero[2] - 45.0f};
    // The camera looks along minus its third column: half a turn about y faces it north (+z).
    level.cameraRotation = {-1, 0, 0, 0, 1, 0, 0, 0, -1};
    datakit::EventRecordSpec follow;
    follow.event = kLevelStart;
    follow.action = 28;
    follow.param = kCameraBehind;
    for (int k = 0; k < 3; ++k) SetFloat(follow, k, 0.2f);  // smoothing
    SetFloat(follow, 3, 45.0f);                              // near distance: the distance kept
    SetFloat(follow, 4, 70.0f);                              // far distance
    SetFloat(follow, 5, 1.0f);                               // distance switch
    SetFloat(follow, 6, 1.0f);                               // the wheel zooms
    SetFloat(follow, 7, 1.0f);                               // the right button turns the view
    SetFloat(follow, 8, 1.0f);                               // last-point switch
    SetFloat(follow, 9, 0.0f);
    SetFloat(follow, 10, 0.0f);   // rest yaw: straight behind
    SetFloat(follow, 11, 0.0f);   // follow rate
    SetFloat(follow, 12, 1.0f);   // collision: the view does not pass through walls
    follow.value1 = 0.0f;         // no auto-turn
    follow.value2 = 0.0f;         // no first-person switch
    follow.shortName = std::string(4, '\xFF');  // attach point -1: the hero's own position
    level.globalEvents.push_back(Record(follow));
    datakit::EventRecordSpec height;
    height.event = kLevelStart;
    height.action = 25;
    height.param = 0;
    height.value1 = 2.0f;  // 20 units above the hero's eye
    level.globalEvents.push_back(Record(height));
}

// The head-up interface: a panel at the top left with the level's name, the bag at the bottom
// right, the mini-map at the top right. Sizes are in units of a 1024 x 768 screen.
void AddInterface(datakit::SceneSpec& level) {
    GameUIRecord panel;
    std::snprintf(panel.name, sizeof panel.name, "%s", "Status");
    std::snprintf(panel.imageName, sizeof panel.imageName, "%s", "HudPanel");
    std::snprintf(panel.passOverImageName, sizeof panel.passOverImageName, "%s", "HudPanelOver");
    std::snprintf(panel.pressedImageName, sizeof panel.pressedImageName, "%s", "HudPanelDown");
    panel.x = 10.0f;
    panel.y = 10.0f;
    // Wide enough for the welcome caption (text entry 0) and the counter beside it.
    panel.width = 400.0f;
    panel.height = 48.0f;
    panel.textIndex = 0;
    // The caption is centred on the panel and then moved by the offsets: left of the middle, so that
    // its end keeps clear of the counter at the panel's right end, and level with the panel.
    panel.textOffsetX = -30.0f;
    panel.textOffsetY = 0.0f;
    datakit::SceneGameUISpec ui;
    ui.record = datakit::MakeGameUIRecord(panel);
    // At level start a pin on the mini-map follows the hero and turns with it.
    datakit::EventRecordSpec pin;
    pin.event = kLevelStart;
    pin.action = 35;
    pin.param = 0;
    pin.param2 = 5;
    pin.targetKind = kKindCharacter;
    pin.targetId = kHeroId;
    pin.text2 = "HeroPin";
    pin.shortName = "hero";
    SetFloat(pin, 3, 12.0f);
    SetFloat(pin, 4, 12.0f);
    pin.values[5] = 2;  // following
    SetFloat(pin, 6, 0.5f);
    SetFloat(pin, 7, 0.5f);
    SetFloat(pin, 8, 1.0f);
    SetFloat(pin, 9, 1.0f);
    ui.events = {Record(pin)};
    level.gameUIs.push_back(ui);

    // A counter at the right end of the status panel, three digits.
    datakit::SceneCounterSpec counter;
    counter.record.name = "Score";
    counter.record.parentIndex = 0;
    counter.record.x = 330.0f;
    counter.record.y = 12.0f;
    counter.record.width = 60.0f;
    counter.record.height = 24.0f;
    counter.record.digitCount = 3;
    counter.record.textColour = 0xFFFFE080u;
    counter.record.textShadow = 1;
    // At level start it follows the hero's speed (in km/h), read ten times a second.
    datakit::EventRecordSpec speed;
    speed.event = kLevelStart;
    speed.action = 32;
    speed.param = 0;    // counter 0
    speed.param2 = 19;  // source: the player's speed, every Value1 seconds
    speed.value1 = 0.1f;
    counter.events = {Record(speed)};
    level.counters.push_back(counter);

    InventoryRecord bag;
    std::snprintf(bag.name, sizeof bag.name, "%s", "Bag");
    std::snprintf(bag.slotImageName, sizeof bag.slotImageName, "%s", "InvSlot");
    std::snprintf(bag.selectedImageName, sizeof bag.selectedImageName, "%s", "InvSelected");
    std::snprintf(bag.pressedImageName, sizeof bag.pressedImageName, "%s", "InvPressed");
    bag.capacity = 4;
    bag.useIcons = 1;
    bag.x = 740.0f;
    bag.y = 690.0f;
    datakit::SceneInventorySpec inventory;
    inventory.record = datakit::MakeInventoryRecord(bag, {}, false);
    // The crate added last to the level (scene objects take their index as id), shown by its icon
    // "MAPS/ICONES/Crate1001.Img".
    const auto crate = static_cast<int32_t>(level.objects.size()) - 1;
    inventory.items = {{crate, kKindScnObject}};
    level.inventories.push_back(inventory);

    GameMapRecord map;
    std::snprintf(map.name, sizeof map.name, "%s", "Map");
    std::snprintf(map.imageName, sizeof map.imageName, "%s", "MiniMap");
    map.x = 864.0f;
    map.y = 10.0f;
    map.width = 150.0f;
    map.height = 150.0f;
    // The map shows the level as the start camera sees it, looking north: north (+z) up and east
    // (+x, to the camera's left) left, half a turn from the map's own x right and z down.
    map.worldWidth = -1000.0f;
    map.worldDepth = -1000.0f;
    level.gameMaps.push_back(datakit::MakeGameMapRecord(map));
}

}  // namespace

datakit::SceneSpec SampleLevelSpec(float timeOfDay) {
    datakit::SceneSpec level;
    level.skyNames = std::array<std::string, 3>{"Sky1001", "Sun1001", "Moon1001"};
    // The hero with the default record; the guard and the watcher beside it.
    level.player.place.position = {-30.0f, 0.0f, -250.0f};
    level.player.record = datakit::MakeCharacterRecord(datakit::CharacterRecordSpec());
    level.player.life = 100.0f;
    // Full air: with none the hero would drown on dry land from the first frame.
    level.player.reserve = 200.0f;
    AddCharacters(level);
    // The day runs on from the start's angle: 0.25 degrees a second by day (90 to 270), three
    // times that by night, so that a whole day takes 16 minutes.
    level.sky->timeOfDay = timeOfDay;
    level.sky->timeRunning = 1;
    level.sky->midSpeed = 0.3f;
    level.sky->outerSpeed = 0.9f;
    level.playlistName = std::string("Level01");
    level.tracks = {"Theme", "Calm"};

    level.objects.push_back(Prop("Ground", 0.0f, 0.0f, 0.0f));
    const float crates[][3] = {{60, 0, 80}, {100, 0, 80}, {80, 20, 80}, {-90, 0, 140}};
    for (const auto& c : crates) level.objects.push_back(Prop("Crate", c[0], c[1], c[2]));
    const float trees[][2] = {{-150, 60}, {-180, 110}, {-120, 200}, {150, 220}, {200, -80}, {-150, -200}};
    for (const auto& t : trees) level.objects.push_back(Prop("Tree", t[0], 0.0f, t[1]));
    // The movement pieces east of the start: a ledge with a ladder and a ramp, and a pool.
    level.objects.push_back(Prop("Ledge", 160.0f, 0.0f, -160.0f));
    level.objects.push_back(Prop("Ladder", 160.0f, 0.0f, -192.0f));
    level.objects.push_back(Prop("Ramp", 100.0f, 0.0f, -160.0f));
    // Its twin, half a turn round and back to back with it, brings the slope down again on the
    // far side: walked over, the top is a crest to cross, not a sheer edge to drop from.
    level.objects.push_back(Prop("Ramp", 100.0f, 0.0f, -104.0f));
    level.objects.back().place.rotation = {-1, 0, 0, 0, 1, 0, 0, 0, -1};
    level.objects.push_back(Prop("Water", 260.0f, 0.5f, 60.0f));
    // The wall round the field, and where "Pos" puts the hero.
    const float wall = kFieldHalf + 0.5f * kWallThickness;
    level.objects.push_back(Prop("WallX", 0.0f, 0.0f, wall));
    level.objects.push_back(Prop("WallX", 0.0f, 0.0f, -wall));
    level.objects.push_back(Prop("WallZ", wall, 0.0f, 0.0f));
    level.objects.push_back(Prop("WallZ", -wall, 0.0f, 0.0f));
    for (int i = 0; i < 9; ++i) {
        const float* p = kLookouts[i];
        const float x = p[0] + kSpotToMiddle;
        level.objects.push_back(i == kDaisSpot ? Prop("Dais", x, 0.0f, p[2]) : Prop("Lookout", x, p[1], p[2]));
        // Far out, they stay in range wherever the camera stands.
        level.objects.back().place.range = 20000.0f;
    }
    // The crate the bag holds (out of the world while it is there); it stays the last object.
    level.objects.push_back(Prop("Crate", -40.0f, 0.0f, -180.0f));

    datakit::GameLightSpec lamp;
    lamp.name = "CrateLamp";
    lamp.position = {80.0f, 60.0f, 80.0f};
    lamp.range = 1500.0f;
    lamp.outerRange = 220.0f;
    lamp.colour = {1.0f, 0.8f, 0.5f};
    level.gameLights.push_back(lamp);

    // The grove: a zone of value 1 around the trees, read by interface counters of source 6.
    datakit::EnvZoneRecord grove;
    grove.position = {-150.0f, 0.0f, 120.0f};
    grove.radiusSquared = 150.0f * 150.0f;
    grove.value = 1.0f;
    level.zonesOn = 1;
    level.zones.push_back(grove);

    // A rope from the crate on top (index 3) to the lone crate (index 4); the far end hangs free.
    datakit::RopeRecord rope;
    rope.a = {4, 3, -1, 1};
    rope.b = {4, 4, -1, 0};
    level.ropes.push_back(rope);
    AddScripts(level);
    AddCamera(level);
    AddInterface(level);
    return level;
}

bool WriteSampleLevel(const std::string& datasFolder, float timeOfDay) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(fs::path(datasFolder) / "OBJECTS" / "SKY", error);
    const bool ok = WriteModelTextures(datasFolder) && WriteLevelPieces(datasFolder) && WriteSkyBodies(datasFolder) &&
                    WriteTour(datasFolder) && WriteIntroVideo(datasFolder) &&
                    datakit::WriteScene(datasFolder + "/SCN/Level01.Scn", SampleLevelSpec(timeOfDay));
    if (!ok) std::fprintf(stderr, "makedata: cannot write the sample level under %s\n", datasFolder.c_str());
    return ok;
}
