#include "effects/sky.h"

#include <GL/gl.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "camera/camera.h"
#include "core/binio.h"
#include "core/frameclock.h"
#include "core/paths.h"
#include "effects/meshdraw.h"
#include "effects/shading.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/charlinks.h"
#include "objects/events.h"
#include "objects/objtype.h"
#include "objects/posing.h"
#include "render/glext.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "render/texture.h"

namespace {

constexpr float kOrbitRadius = 16000.0f;
constexpr float kDegreesToRadians = 0.017453292f;
constexpr float kLayer1TurnDegrees = 0.01f;
constexpr float kLayer2TurnDegrees = 0.05f;
constexpr uint32_t kEventDawn = 2;

// Posed vertices, normals and colours of one sky mesh: the sky meshes belong to no object, so
// they keep these buffers bound themselves.
struct SkyMeshBuffers {
    std::vector<Vec3> vertices;
    std::vector<Vec3> normals;
    std::vector<float> colours;
};
SkyMeshBuffers LayerBuffers[2], SunBuffers, MoonBuffers, HaloBuffers;

uint32_t EnvironmentRandomIndex = 0;

float NextEnvironmentRandom() {
    const float r = RandomTable[EnvironmentRandomIndex & RandomTableMask];
    EnvironmentRandomIndex = (EnvironmentRandomIndex + 1) & RandomTableMask;
    return r;
}

void BindSkyBuffers(NztMesh* mesh, SkyMeshBuffers& b) {
    const size_t n = std::max<size_t>(mesh->VertexCapacity, mesh->VertexCount);
    b.vertices.assign(n, Vec3{0.0f, 0.0f, 0.0f});
    b.normals.assign(n, Vec3{0.0f, 0.0f, 0.0f});
    b.colours.assign(n * 4, 1.0f);
    mesh->PosedVertices = b.vertices.data();
    mesh->PosedNormals = b.normals.data();
    mesh->VertexColours = b.colours.data();
}

void ReleaseSkyMesh(NztMesh*& mesh, SkyMeshBuffers& b) {
    if (mesh) {
        mesh->PosedVertices = nullptr;
        mesh->PosedNormals = nullptr;
        mesh->VertexColours = nullptr;
        ReleaseMeshData(mesh);
        mesh = nullptr;
    }
    b = SkyMeshBuffers{};
}

void PoseSkyMesh(NztMesh* mesh) {
    if (mesh) TransformMeshStatic(mesh);
}

// A mesh of the library from "OBJECTS/SKY/<name>.QVo" (LOD 0), or an empty one; placed at
// position, visible and posed once. ok is cleared when a name was given but not loaded.
NztMesh* MakeSkyMesh(const char* name, const char* meshName, SkyMeshBuffers& b, const Vec3& position,
                     bool* ok) {
    NztMesh* mesh = CreateMeshData();
    bool loaded = false;
    if (name && name[0]) {
        char path[512];
        const int n = std::snprintf(path, sizeof path, "%s%s.QVo", "OBJECTS/SKY/", name);
        if (IsPlainName(name) && n > 0 && static_cast<size_t>(n) < sizeof path)
            loaded = LoadMeshFile(path, mesh, 0, 0) != 0;
        else
            std::fprintf(stderr, "sky: \"%s\" is not a plain object name\n", name);
        if (!loaded) *ok = false;
    }
    if (!loaded) CreateEmptyMesh(mesh);
    size_t i = 0;
    for (; meshName[i] && i + 1 < sizeof mesh->Name; ++i)
        mesh->Name[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(meshName[i])));
    mesh->Name[i] = 0;
    BindSkyBuffers(mesh, b);
    *mesh->Position = position;
    mesh->Visible = 1;
    PoseSkyMesh(mesh);
    return mesh;
}

Vec3 SunPositionFromMatrix() {
    return Vec3{-kOrbitRadius * SunMatrix[3], -kOrbitRadius * SunMatrix[4], -kOrbitRadius * SunMatrix[5]};
}

// Sun and halo at the sun position turned by SunMatrix; the moon opposite, turned half a turn
// about the matrix's first axis so that it faces the other way.
void PlaceSkyBodies() {
    const Vec3 sun = SunPositionFromMatrix();
    for (NztMesh* mesh : {SunMesh, SunHaloMesh}) {
        if (!mesh) continue;
        *mesh->Position = sun;
        std::copy(SunMatrix, SunMatrix + 9, mesh->Matrix);
    }
    if (MoonMesh) {
        *MoonMesh->Position = Vec3{-sun.x, -sun.y, -sun.z};
        for (int k = 0; k < 9; ++k) MoonMesh->Matrix[k] = k < 3 ? SunMatrix[k] : -SunMatrix[k];
    }
}

void ApplySkyColors(float angle) {
    ComputeSkyColor(angle, SkyColor);
    SelectClearColor(SkyColor[0] * 0.175f, SkyColor[1] * 0.175f, SkyColor[2] * 0.5f, 1.0f);
    if (RenderState.fogOn && RenderState.fogFollowsSky) SetFogColorToSkyLight(1.0f);
}

void MoveSkyLight(float angle) {
    const Vec3 sunDirection = NormalizeSkyMeshDirection();
    Vec3 position = SunPositionFromMatrix(), direction = sunDirection;
    if (!(angle >= 65.0f && angle < 270.0f)) {
        position = Vec3{-position.x, -position.y, -position.z};
        direction = Vec3{-direction.x, -direction.y, -direction.z};
    }
    // Slower while the light crosses from the moon to the sun and back.
    const bool crossing = (angle >= 65.0f && angle < 90.0f) || (angle >= 270.0f && angle < 295.0f);
    const float k = crossing ? 0.025f : 0.05f;
    SkyLight.position = SkyLight.position + (position - SkyLight.position) * k;
    SkyLight.direction = SkyLight.direction + (direction - SkyLight.direction) * k;
    SunPosition = SkyLight.position;
    SunDirection = SkyLight.direction;
}

float CircularDistance(float a, float b) {
    float d = std::fabs(a - b);
    d = std::fmod(d, 360.0f);
    return std::min(d, 360.0f - d);
}

void RaiseDayEvents(float step) {
    static constexpr float kPoints[4] = {65.0f, 180.0f, 270.0f, 360.0f};
    bool near = false;
    for (int i = 0; i < 4; ++i) {
        if (CircularDistance(TimeOfDay, kPoints[i]) > step) continue;
        near = true;
        if (!DayEventFlags[i]) continue;
        SkyServices.sendDayEvent(kEventDawn + static_cast<uint32_t>(i));
        for (int j = 0; j < 4; ++j) DayEventFlags[j] = j != i;
    }
    if (!near) std::fill(DayEventFlags, DayEventFlags + 4, 1u);
}

float WrapDegrees(float a) {
    if (a >= 360.0f || a < 0.0f) {
        a = std::fmod(a, 360.0f);
        if (a < 0.0f) a += 360.0f;
    }
    return a;
}

}  // namespace

// ---- Globals ----------------------------------------------------------------------------------

NztMesh* SkyLayers[2] = {nullptr, nullptr};
NztMesh* SunMesh = nullptr;
NztMesh* MoonMesh = nullptr;
NztMesh* SunHaloMesh = nullptr;
uint32_t SkyEnabled = 1;

float TimeOfDay = 1.5f;
float ShownTimeOfDay = 1.5f;
float SunTilt = 0.7853982f;
float SunRoll = 0.0f;
uint32_t TimeRunning = 1;
float DaySpeed = 0.01f;
float NightSpeed = 0.02f;
float TimeCatchUp = 0.0f;
float SunMatrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
float SkyColor[3] = {0.0f, 0.0f, 0.0f};
float SkyColorKeys[6][3] = {{0.2f, 0.2f, 0.45f}, {0.3f, 0.25f, 0.45f}, {0.7f, 0.6f, 0.5f},
                            {0.8f, 0.8f, 0.8f},  {0.6f, 0.3f, 0.025f}, {0.3f, 0.3f, 0.5f}};
SkyLightState SkyLight = {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}};
uint32_t DayEventFlags[4] = {1, 1, 1, 1};
NztEventObject EnvironmentEventObject;

namespace {
void SendDayEventToEnvironment(uint32_t code) { EnvironmentEventObject.SendEvent(code, 0, 0, 0); }
constexpr SkyHooks DefaultSkyHooks = {SendDayEventToEnvironment};
}  // namespace

SkyHooks SkyServices = DefaultSkyHooks;
void ResetSkyHooks() { SkyServices = DefaultSkyHooks; }

uint32_t LensFlareTextures[LensFlareCount] = {};
float LensFlareSizes[LensFlareCount] = {};
float FlareIntensity = 0.0f;
float SunScreenPosition[2] = {0.0f, 0.0f};
uint32_t FlaresEnabled = 1;

int32_t EnvironmentZoneCount = 0;
EnvironmentZone* EnvironmentZones = nullptr;
int32_t ZonesEnabled = 0;
float ZoneTarget = 0.0f;
float ZoneValue = 0.0f;

int32_t WobbleEnabled = 0;
float WobbleTargetAmplitude = 1.0f;
float WobbleAmplitude = 0.0f;
float WobbleBase[3] = {0.0f, 0.0f, 0.0f};
int32_t WobbleAngle = 0;
float WobbleRotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

void ResetSkyState() {
    SkyEnabled = 1;
    TimeOfDay = ShownTimeOfDay = 1.5f;
    SunTilt = 0.7853982f;
    SunRoll = 0.0f;
    TimeRunning = 1;
    DaySpeed = 0.01f;
    NightSpeed = 0.02f;
    TimeCatchUp = 0.0f;
    std::copy(IdentityMatrix3, IdentityMatrix3 + 9, SunMatrix);
    std::fill(SkyColor, SkyColor + 3, 0.0f);
    static constexpr float kDefaultKeys[6][3] = {{0.2f, 0.2f, 0.45f}, {0.3f, 0.25f, 0.45f}, {0.7f, 0.6f, 0.5f},
                                                 {0.8f, 0.8f, 0.8f},  {0.6f, 0.3f, 0.025f}, {0.3f, 0.3f, 0.5f}};
    for (int k = 0; k < 6; ++k) std::copy(kDefaultKeys[k], kDefaultKeys[k] + 3, SkyColorKeys[k]);
    SkyLight = SkyLightState{{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}};
    std::fill(DayEventFlags, DayEventFlags + 4, 1u);
    FlareIntensity = 0.0f;
    SunScreenPosition[0] = SunScreenPosition[1] = 0.0f;
    FlaresEnabled = 1;
    ZonesEnabled = 0;
    ZoneTarget = ZoneValue = 0.0f;
    WobbleEnabled = 0;
    WobbleTargetAmplitude = 1.0f;
    WobbleAmplitude = 0.0f;
    std::fill(WobbleBase, WobbleBase + 3, 0.0f);
    WobbleAngle = 0;
    std::fill(WobbleVector, WobbleVector + 3, 0.0f);
    EnvironmentRandomIndex = 0;
}

// ---- Sky meshes -----------------------------------------------------------------------------

int LoadSkyObject(const char* name) {
    ReleaseSkyMesh(SkyLayers[0], LayerBuffers[0]);
    ReleaseSkyMesh(SkyLayers[1], LayerBuffers[1]);
    bool ok = true;
    const char* meshName = name ? name : "";
    const Vec3 origin{0.0f, 0.0f, 0.0f};
    SkyLayers[0] = MakeSkyMesh(name, meshName, LayerBuffers[0], origin, &ok);
    SkyLayers[1] = MakeSkyMesh(name, meshName, LayerBuffers[1], origin, &ok);
    return ok ? 1 : 0;
}

int LoadSunObject(const char* name) {
    ReleaseSkyMesh(SunMesh, SunBuffers);
    bool ok = true;
    SunMesh = MakeSkyMesh(name, name ? name : "", SunBuffers, SunPositionFromMatrix(), &ok);
    if (!SunHaloMesh) {
        bool haloOk = true;
        SunHaloMesh = MakeSkyMesh("SunHalo1001", "SunHalo1001", HaloBuffers, Vec3{0.0f, -kOrbitRadius, 0.0f},
                                  &haloOk);
    }
    return ok ? 1 : 0;
}

int LoadMoonObject(const char* name) {
    ReleaseSkyMesh(MoonMesh, MoonBuffers);
    bool ok = true;
    const Vec3 sun = SunPositionFromMatrix();
    MoonMesh = MakeSkyMesh(name, name ? name : "", MoonBuffers, Vec3{-sun.x, -sun.y, -sun.z}, &ok);
    return ok ? 1 : 0;
}

void FreeSkyObjects() {
    ReleaseSkyMesh(SkyLayers[0], LayerBuffers[0]);
    ReleaseSkyMesh(SkyLayers[1], LayerBuffers[1]);
    ReleaseSkyMesh(SunMesh, SunBuffers);
    ReleaseSkyMesh(MoonMesh, MoonBuffers);
    ReleaseSkyMesh(SunHaloMesh, HaloBuffers);
}

// ---- Time of day ----------------------------------------------------------------------------

void SetTimeOfDayAngle(float degrees) { TimeOfDay = degrees >= 360.0f ? std::fmod(degrees, 360.0f) : degrees; }

void SetTimeOfDayHours(float hours) { SetTimeOfDayAngle(hours * 360.0f / 24.0f); }

void SetFogColorToSkyLight(float rate) {
    const float color[4] = {SkyColor[0], SkyColor[1], SkyColor[2], 1.0f};
    SetFogColorRgba(color, rate);
}

void ComputeSkyColor(float angle, float out[3]) {
    // The key angles; the colour at 360 repeats the one at 0.
    static constexpr float kKeyAngles[7] = {0.0f, 65.0f, 90.0f, 180.0f, 270.0f, 295.0f, 360.0f};
    const float a = WrapDegrees(angle);
    int k = 0;
    while (k < 5 && a >= kKeyAngles[k + 1]) ++k;
    const float* from = SkyColorKeys[k];
    const float* to = SkyColorKeys[(k + 1) % 6];
    const float t = (a - kKeyAngles[k]) / (kKeyAngles[k + 1] - kKeyAngles[k]);
    for (int c = 0; c < 3; ++c) out[c] = from[c] + (to[c] - from[c]) * t;
}

void SetSunDirection(float a) {
    const float c = std::cos(a), s = std::sin(a);
    const float c1 = std::cos(SunRoll), s1 = std::sin(SunRoll);
    const float c2 = std::cos(SunTilt), s2 = std::sin(SunTilt);
    SunMatrix[0] = s * s1 * s2 + c1 * c2;
    SunMatrix[1] = c * s2;
    SunMatrix[2] = s * c1 * s2 - s1 * c2;
    SunMatrix[3] = s * s1 * c2 - c1 * s2;
    SunMatrix[4] = c * c2;
    SunMatrix[5] = s * c1 * c2 + s1 * s2;
    SunMatrix[6] = c * s1;
    SunMatrix[7] = -s;
    SunMatrix[8] = c * c1;
}

Vec3 NormalizeSkyMeshDirection() {
    const Vec3 p = SunPositionFromMatrix();
    const float length = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    if (length == 0.0f) return p;
    return p * (1.0f / length);
}

void RotateMeshAboutAxis(NztMesh* mesh, float radians) {
    if (!mesh) return;
    const float c = std::cos(radians), s = std::sin(radians);
    const float r[9] = {c, 0.0f, -s, 0.0f, 1.0f, 0.0f, s, 0.0f, c};
    float out[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            out[i * 3 + j] = mesh->Matrix[i * 3] * r[j] + mesh->Matrix[i * 3 + 1] * r[3 + j] +
                             mesh->Matrix[i * 3 + 2] * r[6 + j];
    std::copy(out, out + 9, mesh->Matrix);
}

void UpdateSkyColors() {
    SetSunDirection(TimeOfDay * kDegreesToRadians);
    PlaceSkyBodies();
    ApplySkyColors(TimeOfDay);
    for (NztMesh* mesh : {SunMesh, SunHaloMesh, MoonMesh}) PoseSkyMesh(mesh);
}

void UpdateSky() {
    UpdateFogTransitions();
    if (!TimeRunning) return;
    const float factor = FrameTiming.frameFactor;
    const float step = ((TimeOfDay >= 90.0f && TimeOfDay <= 270.0f) ? DaySpeed : NightSpeed) * factor;
    float catchUp = 0.0f;
    if (TimeCatchUp != 0.0f && std::fabs(TimeOfDay - ShownTimeOfDay) > 10.0f * step) catchUp = TimeCatchUp * factor;
    TimeOfDay += step;
    if (TimeOfDay >= 360.0f) TimeOfDay = std::fmod(TimeOfDay, 360.0f);
    ShownTimeOfDay = catchUp != 0.0f ? ShownTimeOfDay + (TimeOfDay - ShownTimeOfDay) * catchUp : TimeOfDay;

    SetSunDirection(ShownTimeOfDay * kDegreesToRadians);
    PlaceSkyBodies();
    MoveSkyLight(ShownTimeOfDay);
    ApplySkyColors(ShownTimeOfDay);
    RaiseDayEvents(step);
    for (NztMesh* mesh : {SunMesh, MoonMesh, SunHaloMesh}) PoseSkyMesh(mesh);
}

void RotateSkyObjects() {
    if (!SkyEnabled) return;
    RotateMeshAboutAxis(SkyLayers[0], kLayer1TurnDegrees * kDegreesToRadians);
    RotateMeshAboutAxis(SkyLayers[1], kLayer2TurnDegrees * kDegreesToRadians);
    PoseSkyMesh(SkyLayers[0]);
    PoseSkyMesh(SkyLayers[1]);
}

// ---- Sun visibility and lens flares ---------------------------------------------------------

void LoadLensFlares() {
    static constexpr float kSizes[LensFlareCount] = {50, 30, 50, 150, 75, 90, 110, 250, 25, 12, 45, 125, 50, 25};
    for (int i = 0; i < LensFlareCount; ++i) {
        if (LensFlareTextures[i] != 0) ReleaseTexture(LensFlareTextures[i]);
        char path[64];
        std::snprintf(path, sizeof path, "MAPS/LensFlare%02d.Img", i);
        LensFlareTextures[i] = LoadTexture(path, 1, 0);
        LensFlareSizes[i] = kSizes[i];
    }
}

void TestSunVisibility() {
    NztRenderState& rs = RenderState;
    const Vec3 sun = SunPositionFromMatrix();
    const float point[3] = {sun.x, sun.y, sun.z};
    float screen[3];
    ProjectToScreen(rs, point, screen);
    SunScreenPosition[0] = screen[0];
    SunScreenPosition[1] = screen[1];
    float depth = 0.0f;
    if (screen[2] > 1.0f && std::fabs(screen[0]) <= rs.halfViewportWidth &&
        std::fabs(screen[1]) <= rs.halfViewportHeight) {
        // GL counts rows from the bottom of the screen; the offset counts from the viewport centre
        // downwards.
        const float fx = rs.viewportX + rs.halfViewportWidth + screen[0];
        const float fy = static_cast<float>(rs.screenHeight) - (rs.viewportY + rs.halfViewportHeight + screen[1]);
        const GLint x = std::clamp(static_cast<GLint>(fx), 0, std::max(0, rs.screenWidth - 1));
        const GLint y = std::clamp(static_cast<GLint>(fy), 0, std::max(0, rs.screenHeight - 1));
        GlCore.ReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    }
    if (depth == 1.0f)
        FlareIntensity = std::min(1.0f, FlareIntensity + 0.025f);
    else
        FlareIntensity = std::max(0.0f, FlareIntensity - 0.01f);

    for (NztMesh* mesh : {SunMesh, MoonMesh})
        if (mesh && mesh->VertexCount) DrawSkyMesh(mesh, 1.0f);
    if (SkyLayers[0] && SkyLayers[0]->VertexCount) DrawMeshVertexColored(SkyLayers[0]);
    if (SkyEnabled && SkyLayers[1] && SkyLayers[1]->VertexCount) DrawMeshVertexColored(SkyLayers[1]);
}

float SunHaloLevel(float intensity, float screenX, float screenY) {
    const NztRenderState& rs = RenderState;
    const float nx = rs.halfViewportWidth > 0.0f ? screenX / rs.halfViewportWidth : 0.0f;
    const float ny = rs.halfViewportHeight > 0.0f ? screenY / rs.halfViewportHeight : 0.0f;
    const float d = std::sqrt(nx * nx + ny * ny);
    // Beyond the edge 1 - d turns negative; a negative grey would darken what lies behind.
    return std::max(0.0f, intensity * (1.0f - d) * 1.25f);
}

void DrawSunHalo() {
    if (FlareIntensity == 0.0f || !SunHaloMesh || !SunHaloMesh->VertexCount) return;
    const float g = SunHaloLevel(FlareIntensity, SunScreenPosition[0], SunScreenPosition[1]);
    if (g <= 0.0f) return;
    SwitchBlend(true);
    SelectBlendMode(2);  // source alpha, one
    DrawSkyMesh(SunHaloMesh, g);
}

void LensFlareCentre(int i, float x, float y, float out[2]) {
    // From the sun through the centre, each flare 1/14 of twice the offset further on.
    const float t = 2.0f * static_cast<float>(i) / static_cast<float>(LensFlareCount);
    out[0] = x - x * t;
    out[1] = y - y * t;
}

void DrawLensFlares() {
    if (FlareIntensity == 0.0f || !FlaresEnabled) return;
    NztRenderState& rs = RenderState;
    const float g = FlareIntensity * 0.75f;
    SwitchBlend(true);
    SelectBlendMode(1);  // one, one minus source colour
    SwitchTexture2D(true);
    GlCore.PushMatrix();
    GlCore.LoadMatrixf(rs.baseViewMatrix);  // pixels from the centre, y down
    glColor4f(g, g, g, g);
    for (int i = LensFlareCount - 1; i >= 0; --i) {
        if (LensFlareTextures[i] == 0) continue;
        if (BoundTextureId != LensFlareTextures[i]) {
            glBindTexture(GL_TEXTURE_2D, LensFlareTextures[i]);
            BoundTextureId = LensFlareTextures[i];
        }
        float c[2];
        LensFlareCentre(i, SunScreenPosition[0], SunScreenPosition[1], c);
        const float h = LensFlareSizes[i];
        GlCore.Begin(GL_QUADS);
        glTexCoord2f(0.0f, 1.0f);
        glVertex3f(c[0] - h, c[1] - h, 0.0f);
        glTexCoord2f(1.0f, 1.0f);
        glVertex3f(c[0] + h, c[1] - h, 0.0f);
        glTexCoord2f(1.0f, 0.0f);
        glVertex3f(c[0] + h, c[1] + h, 0.0f);
        glTexCoord2f(0.0f, 0.0f);
        glVertex3f(c[0] - h, c[1] + h, 0.0f);
        glEnd();
    }
    glPopMatrix();
}

// ---- Environment zones ----------------------------------------------------------------------

int32_t AddEnvironmentZone(const EnvironmentZone* zone) {
    // The array always holds exactly the count: one reallocation per append.
    auto* grown = new EnvironmentZone[static_cast<size_t>(EnvironmentZoneCount) + 1];
    if (EnvironmentZoneCount > 0) std::copy(EnvironmentZones, EnvironmentZones + EnvironmentZoneCount, grown);
    if (zone)
        grown[EnvironmentZoneCount] = *zone;
    else
        std::memset(&grown[EnvironmentZoneCount], 0, sizeof(EnvironmentZone));
    delete[] EnvironmentZones;
    EnvironmentZones = grown;
    return EnvironmentZoneCount++;
}

void CopyEnvironmentZone(int32_t index, EnvironmentZone* out) {
    if (out && index >= 0 && index < EnvironmentZoneCount) *out = EnvironmentZones[index];
}

void FreeEnvironmentZones() {
    delete[] EnvironmentZones;
    EnvironmentZones = nullptr;
    EnvironmentZoneCount = 0;
}

void ReadEnvironmentZone(BinReader& in, EnvironmentZone* zone) {
    zone->word0 = in.U32();
    for (float& p : zone->position) p = in.F32();
    zone->word16 = in.U32();
    zone->radiusSquared = in.F32();
    zone->value = in.F32();
    for (uint32_t& w : zone->words) w = in.U32();
}

void WriteEnvironmentZone(BinWriter& out, const EnvironmentZone& zone) {
    out.U32(zone.word0);
    for (float p : zone.position) out.F32(p);
    out.U32(zone.word16);
    out.F32(zone.radiusSquared);
    out.F32(zone.value);
    for (uint32_t w : zone.words) out.U32(w);
}

bool ReadEnvironmentZoneSection(BinReader& in, const char* source) {
    FreeEnvironmentZones();
    const int32_t present = in.I32();
    if (in.Ok() && present == 0) return true;
    const int32_t enabled = in.I32();
    const int32_t count = in.I32();
    const char* fault = nullptr;
    if (!in.Ok())
        fault = "truncated zone section";
    else if (count < 0 || !in.Fits(static_cast<uint64_t>(count), EnvironmentZoneBytes))
        fault = "zone count beyond the file";
    if (fault) {
        std::fprintf(stderr, "sky: %s: %s\n", source ? source : "scene", fault);
        ZonesEnabled = 0;
        return false;
    }
    ZonesEnabled = enabled != 0 ? 1 : 0;
    EnvironmentZones = new EnvironmentZone[static_cast<size_t>(count)];
    for (int32_t i = 0; i < count; ++i) ReadEnvironmentZone(in, &EnvironmentZones[i]);
    EnvironmentZoneCount = count;
    return true;
}

void WriteEnvironmentZoneSection(BinWriter& out) {
    out.I32(1);
    out.I32(ZonesEnabled);
    out.I32(EnvironmentZoneCount);
    for (int32_t i = 0; i < EnvironmentZoneCount; ++i) {
        EnvironmentZone zone;
        CopyEnvironmentZone(i, &zone);
        WriteEnvironmentZone(out, zone);
    }
}

// ---- Environment value and wobble -----------------------------------------------------------

namespace {
// The turn of WobbleAngle about the vertical axis.
void BuildWobbleRotation() {
    const float c = TableCos(WobbleAngle), s = TableSin(WobbleAngle);
    const float r[9] = {c, 0.0f, -s, 0.0f, 1.0f, 0.0f, s, 0.0f, c};
    std::copy(r, r + 9, WobbleRotation);
}
}  // namespace

void ResetWobble() {
    WobbleBase[0] = 1.0f;
    WobbleBase[1] = 0.1f;
    WobbleBase[2] = 0.75f;
    BuildWobbleRotation();
}

void UpdateEnvironmentZones() {
    if (ZonesEnabled && EnvironmentZoneCount > 0) {
        const NztBase3D* observer = CameraControl.targetObject;
        if (!observer) observer = CharacterObject(PlayerEntity);
        if (observer) {
            float sum = 0.0f;
            int32_t inside = 0;
            for (int32_t i = EnvironmentZoneCount - 1; i >= 0; --i) {
                const EnvironmentZone& z = EnvironmentZones[i];
                const float dx = observer->Position[0] - z.position[0];
                const float dy = observer->Position[1] - z.position[1];
                const float dz = observer->Position[2] - z.position[2];
                if (z.radiusSquared > dx * dx + dy * dy + dz * dz) {
                    sum += z.value;
                    ++inside;
                }
            }
            if (inside > 0) ZoneTarget = sum / static_cast<float>(inside);
        }
        ZoneValue += (ZoneTarget - ZoneValue) * 0.01f;
    }
    if (WobbleEnabled) {
        WobbleAngle += RoundToInt(NextEnvironmentRandom() * 8.0);
        WobbleAngle &= AngleUnitMask;
        BuildWobbleRotation();
        const float c = WobbleRotation[0], s = WobbleRotation[6];
        WobbleAmplitude += (WobbleTargetAmplitude - WobbleAmplitude) * 0.01f;
        const float* b = WobbleBase;
        WobbleVector[0] = WobbleAmplitude * (b[0] * c + b[2] * s);
        WobbleVector[1] = WobbleAmplitude * b[1];
        WobbleVector[2] = WobbleAmplitude * (-b[0] * s + b[2] * c);
    }
}

// ---- Small helpers --------------------------------------------------------------------------

void EnableAlphaTest() { SwitchAlphaTest(true); }
void DisableAlphaTest() { SwitchAlphaTest(false); }

int32_t RandomInt(int32_t n) { return static_cast<int32_t>(NextEnvironmentRandom() * static_cast<float>(n)); }

// ---- The environment record -----------------------------------------------------------------

namespace {

constexpr uint32_t kOneBits = 0x3F800000u;  // 1.0f

// 144 words; the words that hold pointers in the stored layout are kept as real pointers beside
// them (this is a 64-bit build).
struct NztEnvironmentRecord {
    struct Entry {
        uint32_t words[2];
        void* buffer;
    };
    uint32_t words[144] = {};
    Entry* entries = nullptr;  // words[38] entries
    void* buffers[11] = {};    // the buffers of words 42-49, 52, 55 and 130

    void Build() {
        words[0] = 0;
        std::fill(words + 5, words + 9, 0u);
        words[9] = words[10] = kOneBits;
        std::fill(words + 11, words + 28, 0u);
        words[33] = words[34] = 0;
        words[35] = kOneBits;
        words[36] = 0;
        words[37] = 1;
        std::fill(words + 38, words + 66, 0u);
        std::fill(words + 130, words + 144, 0u);
        entries = nullptr;
        std::fill(buffers, buffers + 11, nullptr);
    }
    void Destroy() {
        if (entries) {
            for (uint32_t i = 0; i < words[38]; ++i) std::free(entries[i].buffer);
            std::free(entries);
            entries = nullptr;
        }
        words[38] = 0;
        for (void*& b : buffers) {
            std::free(b);
            b = nullptr;
        }
    }
};

struct NztEnvironment {
    float factors[2] = {1.0f, 1.0f};
    void* buffer = nullptr;
    uint32_t words[8] = {};
    float factor = 1.0f;
    uint32_t word = 0;
    uint32_t textureSlots[256][2] = {};  // texture id, word
    void* buffer2 = nullptr;
    uint32_t words2[6] = {};
    uint32_t textures[2] = {};
    NztEnvironmentRecord records[5][8];
    NztEnvironmentRecord lastRecord;

    void Build() {
        Destroy();
        factors[0] = factors[1] = 1.0f;
        std::fill(words, words + 8, 0u);
        factor = 1.0f;
        std::fill(words2, words2 + 6, 0u);
        textures[0] = textures[1] = 0;
        for (auto& row : records)
            for (auto& r : row) r.Build();
        lastRecord.Build();
    }
    void Destroy() {
        for (auto& slot : textureSlots)
            if (slot[0] != 0) {
                ReleaseTexture(slot[0]);
                slot[0] = 0;
            }
        for (uint32_t& t : textures)
            if (t != 0) {
                ReleaseTexture(t);
                t = 0;
            }
        std::free(buffer);
        std::free(buffer2);
        buffer = buffer2 = nullptr;
        for (auto& row : records)
            for (auto& r : row) r.Destroy();
        lastRecord.Destroy();
    }
    ~NztEnvironment() { Destroy(); }
};

NztEnvironment Environment;

}  // namespace

void ConstructEnvironment() { Environment.Build(); }

void DestroyEnvironment() { Environment.Destroy(); }
