#include "effects/thunder.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "core/frameclock.h"
#include "core/paths.h"
#include "effects/meshdraw.h"
#include "effects/sfx.h"
#include "effects/sfxdef.h"
#include "objects/registry.h"
#include "render/renderstate.h"

NztThunder** ThunderList = nullptr;
uint32_t ThunderCount = 0;
uint32_t ThunderCapacity = 0;
uint32_t ThunderTexture = 0;

namespace {

// The list grows by this many null entries when full.
constexpr uint32_t ThunderListStep = 10;
// Ribbon turn per point and texture scroll per build.
constexpr int32_t RibbonAngleStep = 32;
constexpr float RibbonScroll = 0.1f;
// The texture repeats along u, so scrolled coordinates may move back by whole turns; this keeps
// them small enough that a long-lived bolt still scrolls smoothly.
constexpr float TexCoordWrap = 64.0f;
// How far a line bolt may step back along itself: step x 1.5 at most, and this limit.
constexpr float StepBackLimit = 2.0f;
constexpr float StepBackLimitWaved = 5.0f;

// The bolt code draws from the effects' two running cursors into the random table.
float Jitter(float j) { return 2.0f * j * NextSfxRandom() - j; }

Vec3 Jittered(const float p[3], float j) {
    const float x = Jitter(j), y = Jitter(j), z = Jitter(j);
    return {p[0] + x, p[1] + y, p[2] + z};
}

Vec3 TurnLocal(const float m[9], const Vec3& v) {
    return {v.x * m[0] + v.y * m[3] + v.z * m[6], v.x * m[1] + v.y * m[4] + v.z * m[7],
            v.x * m[2] + v.y * m[5] + v.z * m[8]};
}

void TakeEnd(NztBaseObject* object, int32_t point, float out[3]) {
    if (object == nullptr) return;  // a bolt whose end went away stays where it was last built
    if (point < 0) {
        std::copy(object->Position, object->Position + 3, out);
    } else {
        object->GetPointPosition(point, out);
    }
}

}  // namespace

NztThunder::NztThunder() {
    kind = ObjectKindThunder;
    range = 500.0f;
    ribbonAngle = RoundToInt(NextSfxBirthRandom() * 4096.0f);
}

void NztThunder::Init() {
    jitter = 4.0f;
    segmentCount = 10;
    pointCount = ThunderPointCount;
    waveAmplitude = 7.0f;
    waveStep = 372;
    style = ThunderStyleRibbon;
    const uint32_t vertices = 2 * pointCount;
    points.assign(vertices, Vec3{0.0f, 0.0f, 0.0f});
    colours.assign(vertices, Vec3{0.0f, 0.0f, 0.0f});
    indices.resize(vertices);
    texCoords.resize(size_t{vertices} * 2);
    for (uint32_t i = 0; i < vertices; ++i) indices[i] = i;
    for (uint32_t p = 0; p < pointCount; ++p) {
        const float u = static_cast<float>(p & 1);
        texCoords[4 * p + 0] = u;
        texCoords[4 * p + 1] = 0.0f;
        texCoords[4 * p + 2] = u;
        texCoords[4 * p + 3] = 1.0f;
    }
}

void NztThunder::Release() {
    if (effect != nullptr) {
        for (uint32_t i = SfxCount; i-- > 0;) {
            if (SfxList[i] == effect) {
                ObjectServices.removeSfxAt(i);
                break;
            }
        }
        effect = nullptr;
    }
    // A particle system still pointing at the bolt would spawn from freed points.
    for (uint32_t i = 0; i < SfxDefCount; ++i)
        if (SfxDefList[i] != nullptr && SfxDefList[i]->vertexSource == this) SfxDefList[i]->vertexSource = nullptr;
    points = {};
    colours = {};
    indices = {};
    texCoords = {};
}

void NztThunder::LateUpdate() {
    MeasureFromCamera(this);
    if (active == 0) {
        const int32_t index = IndexOfThunder(this);
        if (index >= 0) RemoveThunderAt(static_cast<uint32_t>(index));  // destroys this bolt
        return;
    }
    BuildBolt();
    // Measured again from the start just taken.
    if (active != 0) MeasureFromCamera(this);
}

void NztThunder::BuildBolt() {
    if (duration != 0.0f) {
        if (remaining <= 0.0f) {
            active = 0;
            if (endCallback != nullptr) endCallback(this);
            return;
        }
        remaining -= FrameTiming.frameTime;
    }
    TakeEnd(startObject, startPoint, startPosition);
    TakeEnd(endObject, endPoint, endPosition);
    // The bolt stands at its start, so that it sorts by depth where it is drawn.
    std::copy(startPosition, startPosition + 3, Position);
    // A bolt made without Init has nowhere to put its points.
    if (pointCount == 0 || points.size() < size_t{2} * pointCount || texCoords.size() < size_t{4} * pointCount)
        return;
    if (style == ThunderStyleLine) {
        BuildLine();
    } else if (style == ThunderStyleRibbon) {
        BuildRibbon();
    }
    if (buildCallback != nullptr) buildCallback(this);
}

void NztThunder::BuildLine() {
    const Vec3 start{startPosition[0], startPosition[1], startPosition[2]};
    const Vec3 d = Vec3{endPosition[0], endPosition[1], endPosition[2]} - start;
    DirectionToMatrix(d, orientation);
    const float step = std::sqrt(Dot(d, d)) / static_cast<float>(pointCount);
    const float limit = waveAmplitude != 0.0f ? StepBackLimitWaved : StepBackLimit;
    const Vec3 black{0.0f, 0.0f, 0.0f};

    points[0] = Jittered(startPosition, jitter);
    colours[0] = black;
    float z = step;
    for (uint32_t i = 1; i + 1 < pointCount; ++i) {
        const float x = Jitter(jitter), y = Jitter(jitter), zz = z + Jitter(jitter);
        Vec3 p = TurnLocal(orientation, {x, y, zz}) + start;
        if (waveAmplitude != 0.0f) {
            p.y += TableSin(wavePhase) * waveAmplitude;
            wavePhase = (wavePhase + waveStep) & AngleUnitMask;
        }
        points[i] = p;
        const float r = NextSfxRandom();
        colours[i] = {colour[0] * r, colour[1] * r, colour[2] * r};
        if (RoundToInt(5.0f * NextSfxBirthRandom()) == 0) {
            z -= std::min(step * 1.5f, limit);
        } else {
            z += step;
        }
    }
    points[pointCount - 1] = Jittered(endPosition, jitter);
    colours[pointCount - 1] = black;
}

void NztThunder::BuildRibbon() {
    const Vec3 start{startPosition[0], startPosition[1], startPosition[2]};
    const Vec3 d = Vec3{endPosition[0], endPosition[1], endPosition[2]} - start;
    DirectionToMatrix(d, orientation);
    const float step = std::sqrt(Dot(d, d)) / static_cast<float>(pointCount);
    const Vec3 bolt{colour[0], colour[1], colour[2]};
    const Vec3 black{0.0f, 0.0f, 0.0f};

    float z = step;
    for (uint32_t i = 0; i < pointCount; ++i) {
        Vec3 centre;
        if (i == 0) {
            centre = Jittered(startPosition, jitter);
        } else if (i + 1 == pointCount) {
            centre = Jittered(endPosition, jitter);
        } else {
            const float x = Jitter(jitter), y = Jitter(jitter), zz = z + Jitter(jitter);
            centre = TurnLocal(orientation, {x, y, zz}) + start;
            if (waveAmplitude != 0.0f) {
                centre.y += TableSin(wavePhase) * waveAmplitude;
                wavePhase = (wavePhase + waveStep) & AngleUnitMask;
            }
            z += step;
        }
        ribbonAngle = (ribbonAngle + RibbonAngleStep) & AngleUnitMask;
        const Vec3 across = Vec3{TableSin(ribbonAngle), -TableCos(ribbonAngle), 0.0f} * ribbonHalfWidth;
        points[2 * i] = centre + across;
        points[2 * i + 1] = centre - across;
        const bool end = i == 0 || i + 1 == pointCount;
        colours[2 * i] = colours[2 * i + 1] = end ? black : bolt;
    }
    for (uint32_t k = 0; k < 2 * pointCount; ++k) {
        float& u = texCoords[2 * k];
        u -= RibbonScroll;
        if (u < -TexCoordWrap) u += TexCoordWrap;
    }
}

void NztThunder::Draw() {
    const uint32_t vertices = style == ThunderStyleLine ? pointCount : 2 * pointCount;
    if (vertices == 0 || points.size() < vertices || indices.size() < vertices) return;
    SwitchColorArray(true);
    SelectActiveTexture(0);
    SelectClientActiveTexture(0);
    MeshGl.VertexPointer(3, GL_FLOAT, 0, points.data());
    MeshGl.ColorPointer(3, GL_FLOAT, 0, colours.data());
    // The line bolt points the texture coordinates at its own array too, so that GL never reads
    // through a pointer that another drawer left behind.
    MeshGl.TexCoordPointer(2, GL_FLOAT, 0, texCoords.data());
    if (style == ThunderStyleLine) {
        MeshGl.DrawElements(GL_LINE_STRIP, static_cast<GLsizei>(vertices), GL_UNSIGNED_INT, indices.data());
        return;
    }
    SetTextureCached(texture);
    MeshGl.DrawElements(GL_QUAD_STRIP, static_cast<GLsizei>(vertices), GL_UNSIGNED_INT, indices.data());
}

void NztThunder::Render() {
    SetBlendMode(2);  // additive
    Draw();
}

int32_t IndexOfThunder(const NztThunder* bolt) {
    for (uint32_t i = ThunderCount; i-- > 0;)
        if (ThunderList[i] == bolt) return static_cast<int32_t>(i);
    return -1;
}

NztThunder* CreateThunder() {
    if (ThunderCount >= ThunderCapacity) {
        const uint32_t capacity = ThunderCapacity + ThunderListStep;
        NztThunder** grown = new NztThunder*[capacity]();
        std::copy(ThunderList, ThunderList + ThunderCount, grown);
        delete[] ThunderList;
        ThunderList = grown;
        ThunderCapacity = capacity;
    }
    auto* bolt = new NztThunder;
    bolt->Init();
    RegisterThunder(bolt);
    ThunderList[ThunderCount++] = bolt;
    return bolt;
}

void RemoveThunderAt(uint32_t index) {
    if (index >= ThunderCount) return;
    NztThunder* bolt = ThunderList[index];
    // Closed up first, so that nothing the release reaches sees the entry half gone.
    std::copy(ThunderList + index + 1, ThunderList + ThunderCount, ThunderList + index);
    ThunderList[--ThunderCount] = nullptr;
    if (bolt == nullptr) return;
    UnregisterThunder(bolt);
    bolt->Release();
    delete bolt;
}

void RemoveAllThunders() {
    while (ThunderCount != 0) RemoveThunderAt(ThunderCount - 1);
    delete[] ThunderList;
    ThunderList = nullptr;
    ThunderCount = ThunderCapacity = 0;
}

uint32_t RegisterThunder(NztThunder* object) {
    return RegisterInKind(object, ThunderRegistry);
}

uint32_t UnregisterThunder(NztThunder* object) {
    return UnregisterFromKind(object, ThunderRegistry);
}
