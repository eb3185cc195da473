#include "effects/trail.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/frameclock.h"
#include "core/paths.h"
#include "model/mesh.h"
#include "objects/eye.h"
#include "objects/registry.h"
#include "render/renderstate.h"
#include "render/texture.h"

NztTrail** TrailList = nullptr;
uint32_t TrailCount = 0;
uint32_t TrailCapacity = 0;

namespace {

// Columns of a grid. Event data gives the count; below two there is no ribbon, and the top keeps
// one trail's buffers small whatever the data says.
constexpr int32_t MinTrailColumns = 2;
constexpr int32_t MaxTrailColumns = 1024;
// The fade ends once the opacity is at most this.
constexpr float FadeEndOpacity = 0.05f;

void GrowTrailList() {
    NztTrail** list = new NztTrail*[TrailCapacity + 10]();
    std::copy(TrailList, TrailList + TrailCount, list);
    delete[] TrailList;
    TrailList = list;
    TrailCapacity += 10;
}

}  // namespace

TrailParams MakeTrailParams(const char* textureName, float duration, float fadeFactor, int32_t blendMode,
                            float segmentCount, float followFactor, float followJitter, float opacity) {
    TrailParams p;
    p.segmentCount = RoundToInt(segmentCount);
    p.followFactor = followFactor;
    p.followJitter = followJitter;
    p.duration = duration;
    p.opacity = opacity;
    p.fadeFactor = fadeFactor;
    p.blendMode = blendMode;
    std::snprintf(p.textureName, sizeof p.textureName, "%s", textureName ? textureName : "");
    return p;
}

// ---------------------------------------------------------------------------------------------
// The list

NztTrail* CreateTrail(NztBaseObject* object, char letter) {
    if (object == nullptr) return nullptr;
    if (TrailCount >= TrailCapacity) GrowTrailList();
    NztTrail* trail = new NztTrail;
    trail->SetupDefault(object, letter);
    RegisterTrail(trail);
    TrailList[TrailCount++] = trail;
    return trail;
}

void RemoveTrailAt(uint32_t index) {
    if (index >= TrailCount) return;
    if (NztTrail* trail = TrailList[index]) {
        UnregisterTrail(trail);
        trail->Release();
        delete trail;
    }
    std::copy(TrailList + index + 1, TrailList + TrailCount, TrailList + index);
    TrailList[--TrailCount] = nullptr;
}

void RemoveAllTrails() {
    while (TrailCount > 0) RemoveTrailAt(TrailCount - 1);
    delete[] TrailList;
    TrailList = nullptr;
    TrailCapacity = 0;
}

// ---------------------------------------------------------------------------------------------
// Set-up

int32_t NztTrail::SetupDefault(NztBaseObject* object, char letter) {
    owner = object;
    LoadTexture("TrailFire");
    pointVertices.clear();
    for (const NztAttachPoint& point : object->attachPoints) {
        const char* name = point.Name;
        if (std::strncmp(name, "@Trail", 6) == 0 && strnlen(name, sizeof point.Name) > 6 && name[6] == letter)
            pointVertices.push_back(point.Anchor);
    }
    if (pointVertices.size() < 2) {
        std::vector<uint32_t>().swap(pointVertices);
        return 0;
    }
    pointPositions.assign(pointVertices.size(), Vec3{});
    BuildBuffers(10);
    followFactor = 0.5f;
    object->trails.push_back(this);
    return 1;
}

void NztTrail::BuildBuffers(int32_t wanted) {
    const uint32_t c = static_cast<uint32_t>(std::clamp(wanted, MinTrailColumns, MaxTrailColumns));
    const uint32_t r = static_cast<uint32_t>(pointVertices.size());
    if (c == columns || r < 2) return;
    columns = c;
    rows = r;
    vertices.assign(size_t{r} * c, Vec3{});
    texCoords.resize(size_t{r} * c * 2);
    for (uint32_t row = 0; row < r; ++row) {
        for (uint32_t col = 0; col < c; ++col) {
            float* uv = &texCoords[(size_t{row} * c + col) * 2];
            uv[0] = static_cast<float>(col) / static_cast<float>(c - 1);
            uv[1] = static_cast<float>(row) / static_cast<float>(r - 1);
        }
    }
    quadCount = (r - 1) * (c - 1);
    indices.clear();
    indices.reserve(size_t{quadCount} * 4);
    for (uint32_t row = 0; row + 1 < r; ++row) {
        for (uint32_t col = 0; col + 1 < c; ++col) {
            const uint32_t i = row * c + col;
            indices.insert(indices.end(), {i, i + 1, i + c + 1, i + c});
        }
    }
    recorded = 0;
    resetFlag = 1;
}

void NztTrail::LoadTexture(const char* name) {
    if (texture != 0) {
        if (name != nullptr && std::strcmp(name, textureName) == 0) return;
        ReleaseTexture(texture);
        texture = 0;
        textureName[0] = '\0';
    }
    if (name == nullptr || name[0] == '\0') return;
    char path[300];
    if (!IsPlainName(name) || !FormatPath(path, sizeof path, "MAPS/%s.Img", name)) {
        std::fprintf(stderr, "trail: texture name refused: %.64s\n", name);
        return;
    }
    std::snprintf(textureName, sizeof textureName, "%s", name);
    texture = ::LoadTexture(path, 1, 1);
}

void NztTrail::SetParams(const TrailParams& p) {
    BuildBuffers(p.segmentCount);
    columnsWanted = static_cast<uint32_t>(std::max(p.segmentCount, 0));
    followFactor = p.followFactor;
    followJitter = p.followJitter;
    duration = p.duration;
    fadeFactor = p.fadeFactor >= 0.0f && p.fadeFactor < 1.0f ? p.fadeFactor : 0.0f;
    opacity = baseOpacity = p.opacity;
    blendMode = static_cast<uint32_t>(p.blendMode);
    LoadTexture(p.textureName);
}

void NztTrail::Release() {
    if (owner != nullptr) {
        auto& list = owner->trails;
        for (int32_t i = static_cast<int32_t>(list.size()) - 1; i >= 0; --i) {
            if (list[static_cast<size_t>(i)] == this) {
                owner->RemoveTrailLink(i);
                break;
            }
        }
        owner = nullptr;
    }
    resetFlag = 1;
    if (texture != 0) ReleaseTexture(texture);
    texture = 0;
    textureName[0] = '\0';
    columnsWanted = recorded = 0;
    std::vector<uint32_t>().swap(indices);
    std::vector<float>().swap(texCoords);
    std::vector<Vec3>().swap(vertices);
    std::vector<Vec3>().swap(pointPositions);
    std::vector<uint32_t>().swap(pointVertices);
    quadCount = columns = rows = 0;
}

// ---------------------------------------------------------------------------------------------
// Per frame

void NztTrail::LateUpdate() {
    if (!(running || fading) || owner == nullptr) return;
    const NztRenderState& rs = RenderState;
    const float* p = owner->Position;
    viewDepth = (rs.cameraPosition[0] - p[0]) * rs.viewAxis[0] +
                (rs.cameraPosition[1] - p[1]) * rs.viewAxis[1] +
                (rs.cameraPosition[2] - p[2]) * rs.viewAxis[2];
    sortDepth = viewDepth;
    const float dx = MainCamera.eye.x - p[0], dy = MainCamera.eye.y - p[1], dz = MainCamera.eye.z - p[2];
    cameraDistanceSq = dx * dx + dy * dy + dz * dz;
    if (!fading) return;
    opacity *= fadeFactor;
    if (opacity <= FadeEndOpacity) {
        fading = 0;
        if (running) {
            opacity = baseOpacity;
            resetFlag = 1;
            timer = 0.0f;
        }
    }
}

int32_t NztTrail::UpdateGrid() {
    if (fading) return 1;
    if (duration > 0.0f) {
        timer += FrameTiming.frameTime;
        if (timer > duration) {
            if (running) {
                running = 0;
                fading = 1;
            }
            return 0;
        }
    }
    visible = running && owner != nullptr && owner->visible && owner->shown ? 1 : 0;
    // A grid never built, or a point outside the owner's posed vertices, has nothing to follow.
    const bool pointsValid = visible && rows >= 2 &&
                             std::all_of(pointVertices.begin(), pointVertices.end(),
                                         [this](uint32_t v) { return v < owner->vertices.size(); });
    if (!pointsValid) {
        resetFlag = 1;
        return 0;
    }
    const Vec3* current = owner->vertices.data();
    if (resetFlag) {
        for (uint32_t r = 0; r < rows; ++r)
            std::fill_n(&vertices[size_t{r} * columns], columns, current[pointVertices[r]]);
        recorded = 1;
        resetFlag = 0;
        return 0;
    }
    if (followFactor == 0.0f) {
        if (recorded < columns) {
            for (uint32_t r = 0; r < rows; ++r)
                std::fill_n(&vertices[size_t{r} * columns], columns - recorded, current[pointVertices[r]]);
            ++recorded;
        } else {
            for (uint32_t r = 0; r < rows; ++r) {
                Vec3* row = &vertices[size_t{r} * columns];
                for (uint32_t c = columns - 1; c > 0; --c) row[c] = row[c - 1];
                row[0] = current[pointVertices[r]];
            }
        }
        return 1;
    }
    for (uint32_t r = 0; r < rows; ++r) {
        Vec3* row = &vertices[size_t{r} * columns];
        row[0] = current[pointVertices[r]];
        for (uint32_t c = 1; c < columns; ++c) {
            const float f = followJitter != 0.0f
                                ? followFactor + (2.0f * followJitter * NextObjectRandom() - followJitter)
                                : followFactor;
            row[c] = row[c] + (row[c - 1] - row[c]) * f;
        }
    }
    return 1;
}

void NztTrail::DrawGrid() {
    if (indices.empty()) return;
    SelectActiveTexture(0);
    SetTextureCached(texture);
    SwitchVertexArray(true);
    SwitchTexCoordArray(true);
    glVertexPointer(3, GL_FLOAT, 0, vertices.data());
    glTexCoordPointer(2, GL_FLOAT, 0, texCoords.data());
    glDrawElements(GL_QUADS, static_cast<GLsizei>(indices.size()), GL_UNSIGNED_INT, indices.data());
}

void NztTrail::Render() {
    SwitchCullFace(false);
    SwitchColorArray(false);
    glColor4f(opacity, opacity, opacity, opacity);
    SetBlendMode(blendMode);
    if (UpdateGrid()) DrawGrid();
}

uint32_t RegisterTrail(NztTrail* object) {
    return RegisterInKind(object, TrailRegistry);
}

uint32_t UnregisterTrail(NztTrail* object) {
    return UnregisterFromKind(object, TrailRegistry);
}

// ---------------------------------------------------------------------------------------------
// The trails an object carries (NztBaseObject::trails)

void NztBaseObject::SetTrailParams(const TrailParams& params) {
    for (size_t i = trails.size(); i-- > 0;) {
        if (trails[i] != nullptr) trails[i]->SetParams(params);
    }
}

void NztTrail::Stop() {
    if (running == 0) return;
    running = 0;
    fading = 1;
    timer = 0.0f;
}

void NztBaseObject::StopTrail(int32_t index) {
    if (index < 0 || index >= static_cast<int32_t>(trails.size())) return;
    if (NztTrail* trail = trails[static_cast<size_t>(index)]) trail->Stop();
}

void NztBaseObject::StopAllTrails() {
    for (NztTrail* trail : trails) {
        if (trail != nullptr) trail->Stop();
    }
}

void NztBaseObject::ResumeTrails() {
    // A fading trail that runs again gets its opacity back when its fade ends.
    for (NztTrail* trail : trails) {
        if (trail != nullptr && trail->fading != 0 && trail->running == 0) trail->running = 1;
    }
}
