#include "effects/gamelight.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/paths.h"
#include "effects/light.h"
#include "objects/eye.h"
#include "objects/objlookup.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "render/renderstate.h"
#include "render/texture.h"

NztGameLight** GameLightList = nullptr;
uint32_t GameLightCount = 0;

namespace {

// Copies text into a field of `bytes` bytes, cut to fit and NUL-terminated; the rest is left.
void CopyText(char* out, size_t bytes, const char* text, size_t textBytes) {
    const size_t n = std::min(strnlen(text, textBytes), bytes - 1);
    std::memcpy(out, text, n);
    out[n] = 0;
}

// The light's view depth and camera distance, as objects work them out before drawing.
void MeasureFromCamera(NztLight& light) {
    const NztRenderState& rs = RenderState;
    light.viewDepth = (rs.cameraPosition[0] - light.Position[0]) * rs.viewAxis[0] +
                      (rs.cameraPosition[1] - light.Position[1]) * rs.viewAxis[1] +
                      (rs.cameraPosition[2] - light.Position[2]) * rs.viewAxis[2];
    const float dx = light.Position[0] - MainCamera.eye.x;
    const float dy = light.Position[1] - MainCamera.eye.y;
    const float dz = light.Position[2] - MainCamera.eye.z;
    light.cameraDistanceSq = dx * dx + dy * dy + dz * dz;
}

// Switches the light on and lets it join the near-light list when the camera is in range.
void SwitchOn(NztLight& light) {
    light.Active = 1;
    MeasureFromCamera(light);
    if (light.range >= light.cameraDistanceSq) ActivateLight(&light);
}

uint32_t LoadLightMap(const char* mapName) {
    if (mapName[0] == 0) return 0;
    char path[600];
    if (!IsPlainName(mapName) || !FormatPath(path, sizeof path, "MAPS/%s.Img", mapName)) {
        std::fprintf(stderr, "gamelight: light map name \"%.64s\" refused\n", mapName);
        return 0;
    }
    return LoadTexture(path, 1, 0);
}

}  // namespace

const EventKindList GameLightKind = {
    [] { return static_cast<int32_t>(GameLightCount); },
    [](int32_t index) -> NztEventObject* { return GameLightList[index]; },
    [](const NztEventObject* object) -> const char* {
        const auto* light = dynamic_cast<const NztGameLight*>(object);
        return light ? light->name : nullptr;
    },
};

void (*UpdateCarriedLight)(NztGameLight* light) = [](NztGameLight* light) { light->UpdateDistance(); };

bool ReadGameLightRecord(BinReader& in, GameLightRecord* record) {
    GameLightRecord r;
    in.Text(r.name);
    in.Text(r.mapName);
    for (float& v : r.position) v = in.F32();
    r.range = in.F32();
    r.innerRange = in.F32();
    r.outerRange = in.F32();
    r.targetDistance = in.F32();
    r.mapSize = in.F32();
    for (float& v : r.colour) v = in.F32();
    r.mapIntensity = in.F32();
    r.on = in.U32();
    *record = in.Ok() ? r : GameLightRecord{};
    return in.Ok();
}

void WriteGameLightRecord(BinWriter& out, const GameLightRecord& record) {
    out.Text(std::string_view(record.name, strnlen(record.name, sizeof record.name)), sizeof record.name);
    out.Text(std::string_view(record.mapName, strnlen(record.mapName, sizeof record.mapName)),
             sizeof record.mapName);
    for (float v : record.position) out.F32(v);
    out.F32(record.range);
    out.F32(record.innerRange);
    out.F32(record.outerRange);
    out.F32(record.targetDistance);
    out.F32(record.mapSize);
    for (float v : record.colour) out.F32(v);
    out.F32(record.mapIntensity);
    out.U32(record.on);
}

void NztGameLight::LoadMap(const GameLightRecord& record) {
    CopyText(name, sizeof name, record.name, sizeof record.name);
    CopyText(mapName, sizeof mapName, record.mapName, sizeof record.mapName);
    std::copy(record.position, record.position + 3, Position);
    range = record.range;
    mapSize = record.mapSize;
    mapIntensity = record.mapIntensity;

    if (light != nullptr) {
        light->SetInnerRange(record.innerRange);
        light->SetOuterRange(record.outerRange);
        light->TargetDistance = std::max(0.0f, record.targetDistance);  // NaN too becomes 0
        std::copy(Position, Position + 3, light->Position);
        if (light->LightKind >= LightKindFirstSpot) light->UpdateDirection();
        light->SetRange(range);
        light->SetColor(record.colour[0], record.colour[1], record.colour[2]);
    }

    ReleaseTexture(mapTexture);
    mapTexture = LoadLightMap(mapName);

    if (light == nullptr) return;
    light->FlareTexture = mapTexture;
    light->FlareHalfSize = mapSize;
    light->FlareOpacity = mapIntensity;
    if (record.on != 0) {
        SwitchOn(*light);
    } else {
        light->Active = 0;
        DeactivateLight(light);
    }
}

void NztGameLight::FillSceneRecord(GameLightRecord* record) const {
    *record = GameLightRecord{};
    CopyText(record->name, sizeof record->name, name, sizeof name);
    // The field holds 255 characters; a longer name is cut rather than run into the next field.
    CopyText(record->mapName, sizeof record->mapName, mapName, sizeof mapName);
    std::copy(Position, Position + 3, record->position);
    record->range = range;
    record->mapSize = mapSize;
    record->mapIntensity = mapIntensity;
    if (light == nullptr) return;
    record->innerRange = light->InnerRange;
    record->outerRange = light->OuterRange;
    record->targetDistance = light->TargetDistance;
    std::copy(light->Colour, light->Colour + 3, record->colour);
    record->on = light->Active;
}

void NztGameLight::UpdateDistance() {
    if (light != nullptr) SwitchOn(*light);
}

NztGameLight* CreateGameLight(const GameLightRecord& record) {
    auto** grown = static_cast<NztGameLight**>(
        std::realloc(GameLightList, sizeof(NztGameLight*) * (GameLightCount + 1)));
    if (grown == nullptr) return nullptr;
    GameLightList = grown;
    auto* gameLight = new NztGameLight();
    GameLightList[GameLightCount++] = gameLight;
    gameLight->light = CreateLight(1);
    gameLight->LoadMap(record);
    return gameLight;
}

void DeleteAllGameLights() {
    for (uint32_t i = GameLightCount; i-- > 0;) {
        NztGameLight* gameLight = GameLightList[i];
        if (gameLight == nullptr) continue;
        ReleaseTexture(gameLight->mapTexture);
        gameLight->mapTexture = 0;
        // Only pointers are compared: the light may already be gone with the light library.
        for (uint32_t k = LightCount; k-- > 0;) {
            if (LightList[k] == gameLight->light) {
                DeleteLightAt(k);
                break;
            }
        }
        delete gameLight;
    }
    std::free(GameLightList);
    GameLightList = nullptr;
    GameLightCount = 0;
}
