#include "game/level.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>

#include "collision/collide.h"
#include "core/config.h"
#include "core/paths.h"
#include "objects/events.h"
#include "objects/registry.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "render/text.h"
#include "scene/scene.h"
#include "ui/gameui.h"
#include "ui/textbox.h"
#include "world/framepass.h"

void* SceneSnapshot = nullptr;

namespace {

// Raised on every object before a level loads.
constexpr uint32_t BeforeLevelLoadEvent = 130;

void ApplySceneFog() {
    if (SceneFogSwitch) EnableFog();
    else DisableFog();
}

void AfterLevelLoad() {
    FreeCollideGrid();
    BuildCollideGrid();
    ApplySceneFog();
    BroadcastStartEvent();
    UpdateAllObjectEvents();
    RefreshHudTextSizes();
}

}  // namespace

void ApplyGameSettings() {
    // Font sizes are given for a screen 1024 pixels wide.
    float size = GameSettings.fontSize * static_cast<float>(RenderState.screenWidth) / 1024.0f;
    const char* font = DataPathFormat("FONTS/%s", GameSettings.fontFile);
    if (*font) LoadGameFont(font, size);
    char table[QvPathMax];
    if (FormatPath(table, sizeof table, "TEXT/%s", GameSettings.textTable)) LoadGtxTable(table);
    RefreshGameUITexts();
}

void StartLevel(const char* name, uint8_t forced, uint8_t flag) {
    if (!name || (!forced && strcasecmp(name, "NoLevel") == 0)) return;
    // The name may live in the shared data-path buffer, which the loaders below overwrite.
    char level[QvPathMax];
    if (!FormatPath(level, sizeof level, "%s", name)) return;
    // A level that cannot be read or is refused leaves the running one as it was: it is read whole
    // before anything is announced or cleared.
    SceneData scene;
    if (!ReadScene(level, flag, nullptr, &scene)) return;
    BroadcastEvent(BeforeLevelLoadEvent);
    ClearDelayedActions();
    ResetDeferredActions();
    CommitScene(scene);
    AfterLevelLoad();
}

bool UserScenePath(const char* name, char* out, size_t outBytes) {
    if (!IsPlainName(name)) {
        std::fprintf(stderr, "config: scene slot name refused: %s\n", name ? name : "(null)");
        return false;
    }
    const char* path = DataPathFormat("USER/%s.Scn", name);
    return *path && FormatPath(out, outBytes, "%s", path);
}

void SaveUserScene(const char* name) {
    char path[QvPathMax];
    if (!UserScenePath(name, path, sizeof path)) return;
    ForceFinishTimers();
    SaveScene(path, 1, 1, 1, 1);
}

void LoadUserScene(const char* name) {
    char path[QvPathMax];
    if (UserScenePath(name, path, sizeof path)) StartLevel(path, 1, 0);
}

void DeleteUserScene(const char* name) {
    char path[QvPathMax];
    // The deletion takes the name relative to the data folder.
    if (UserScenePath(name, path, sizeof path) && FormatPath(path, sizeof path, "USER/%s.Scn", name)) DeleteDataFile(path);
}

void FreeSceneSnapshot() {
    std::free(SceneSnapshot);
    SceneSnapshot = nullptr;
}

void DoSaveSlotAction(int code, const char* name) {
    switch (code) {
        case 0:
            FreeSceneSnapshot();
            SceneSnapshot = SaveScene(nullptr, 0, 0, 0, 0);
            break;
        case 1: {
            if (!SceneSnapshot) return;
            SceneData scene;
            const bool read = ReadScene(nullptr, 0, SceneSnapshot, &scene);
            FreeSceneSnapshot();
            if (!read) return;
            ClearDelayedActions();
            ResetDeferredActions();
            CommitScene(scene);
            AfterLevelLoad();
            break;
        }
        case 2: SaveUserScene(name); break;
        case 3: LoadUserScene(name); break;
        case 4: DeleteUserScene(name); break;
        default: break;
    }
}
