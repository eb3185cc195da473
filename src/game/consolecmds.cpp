#include "game/consolecmds.h"

#include <GL/gl.h>
#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "audio/music.h"
#include "character/entity.h"
#include "core/config.h"
#include "effects/sfx.h"
#include "game/frame.h"
#include "model/mesh.h"
#include "net/netclient.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "platform/window.h"
#include "ui/console.h"
#include "ui/menu.h"
#include "ui/wnd.h"

uint32_t ConsoleMusicOn = 1;

namespace {

const char kDashes[] = "---------------------------------------------------------";  // 57

void Quit() { PostQuitMessage(0); }
bool Connect(const char* host) { return StartNetworkSession(host); }
void Chat(const char* line) { SendNetworkText(line); }

ConsoleCommandTargets gTargets = {Quit, Connect, Chat};

void ChatThroughTargets(const char* line) {
    if (gTargets.chat != nullptr) gTargets.chat(line);
}

struct CommandEntry {
    const char* name;
    const char* help;
};
constexpr CommandEntry kCommands[] = {
    {"?", "List all Commands"},
    {"Edit", "Edit Mode <-> Game Mode"},
    {"Exit", "Exit Game"},
    {"Bump", "Arg: On or Off"},
    {"Zik", "Enable or Disable Music"},
    {"Pos", "Arg: 1, 2, 3, ... 0 to change the MainPlayer Position"},
    {"List", "Arg: Entities, Objects, Infos"},
    {"StartState", "Arg: 0, 1, 2 ... to Launch State"},
    {"StopState", "Arg: 0, 1, 2 ... to Stop State"},
    {"SetSpeed", "Arg: float factor mul. Set the Speed Factor of MainPlayer"},
    {"Connect", "Arg: IP (ex: 192.168.0.2)"},
};

struct PlayerSpot {
    float x, y, z;
    int32_t yaw;  // 4096 per turn
};
constexpr PlayerSpot kSpots[9] = {
    {204.0f, 350.0f, -884.0f, 2048},     {-270.0f, 245.0f, -512.0f, 0}, {650.0f, 410.0f, 390.0f, 1024},
    {750.0f, 0.0f, 4000.0f, 0},          {-1771.0f, 434.5f, 3978.0f, -1024},
    {-501.7f, 43.0f, -13.56f, 0},        {-1.0f, 15.0f, -2.34f, 0},
    {-12089.5f, 15.13f, -1251.55f, 0},   {-1114.0f, 512.0f, 454.0f, 0},
};

void ListCommands() {
    ConsolePrint("--------------------- Command List ---------------------");
    if (ConsoleWnd != nullptr) {
        char line[600];
        for (uint32_t i = 0; i < ConsoleWnd->commandCount; ++i) {
            const ConsoleCommand& c = ConsoleWnd->commands[i];
            std::snprintf(line, sizeof line, "%s ( %s )", c.name, c.help != nullptr ? c.help : "");
            ConsolePrint(line);
        }
    }
    ConsolePrint("--------------------------------------------------------");
}

// What a listing calls an object of each kind that has no name of its own.
const char* KindWord(uint32_t kind) {
    switch (kind) {
        case ObjectKindBase:
            return "object";
        case ObjectKindSfx:
            return "particle effect";
        case ObjectKindCollide:
            return "collision object";
        case ObjectKindScn:
            return "scene object";
        case ObjectKindEntity:
            return "character";
        case ObjectKindDyn:
            return "thrown object";
        case ObjectKindLight:
            return "light";
        case ObjectKindThunder:
            return "thunder bolt";
        case ObjectKindTrail:
            return "trail";
        default:
            return "world object";
    }
}

bool IsBaseObjectKind(uint32_t kind) {
    return kind == ObjectKindBase || kind == ObjectKindCollide || kind == ObjectKindScn ||
           kind == ObjectKindEntity || kind == ObjectKindDyn;
}

// The name a listing shows: a mesh object's mesh name and an effect's type name, as stored; an object
// without one is named by its kind. Only the base-object kinds have a mesh: the registry also holds
// effects, lights, bolts and trails.
std::string ObjectName(const NztBase3D* object) {
    if (object == nullptr) return "(none)";
    const char* name = nullptr;
    if (IsBaseObjectKind(object->kind)) {
        const NztMesh* mesh = static_cast<const NztBaseObject*>(object)->mesh;
        if (mesh != nullptr) name = mesh->Name;
    } else if (object->kind == ObjectKindSfx) {
        const auto* sfx = static_cast<const NztSfx*>(object);
        // An effect made straight on a definition (a spell's) keeps type index 0 without being of
        // that type: the type's name counts only when the effect runs the type's definition.
        if (sfx->typeIndex >= 0 && static_cast<uint32_t>(sfx->typeIndex) < SfxTypeCount &&
            SfxTypeTable[sfx->typeIndex].Def == sfx->definition)
            name = SfxTypeTable[sfx->typeIndex].Name;
    }
    if (name != nullptr && name[0] != '\0') return name;
    return std::string("(") + KindWord(object->kind) + " without a name)";
}

void ListObjects(const char* title, const ObjectList& list) {
    char line[300];
    ConsolePrint(kDashes);
    std::snprintf(line, sizeof line, "%s: %d", title, list.count);
    ConsolePrint(line);
    ConsolePrint(kDashes);
    for (int32_t i = list.count; i-- > 0;) ConsolePrint(ObjectName(list.objects[i]).c_str());
    ConsolePrint(kDashes);
}

const char* GlString(GLenum name) {
    const auto* s = reinterpret_cast<const char*>(glGetString(name));
    return s != nullptr ? s : "";
}

void ListInfos() {
    ConsolePrint(kDashes);
    ConsolePrint(GlString(GL_VENDOR));
    ConsolePrint(GlString(GL_RENDERER));
    char line[600];
    std::snprintf(line, sizeof line, "OpenGL Version: %s", GlString(GL_VERSION));
    ConsolePrint(line);
    ConsolePrint(kDashes);
    ConsolePrint("Extensions supported:");
    ConsolePrint(" ");
    const char* s = GlString(GL_EXTENSIONS);
    while (*s != 0) {
        while (*s == ' ') ++s;
        const char* end = std::strchr(s, ' ');
        const size_t length = end != nullptr ? static_cast<size_t>(end - s) : std::strlen(s);
        if (length > 0) {
            std::snprintf(line, sizeof line, "%.*s", static_cast<int>(length), s);
            ConsolePrint(line);
        }
        s += length;
    }
    ConsolePrint(kDashes);
}

void ToggleMusic() {
    if (ConsoleMusicOn == 0) {
        ConsoleMusicOn = 1;
        PlayMusic();
    } else {
        ConsoleMusicOn = 0;
        MusicFade.state = 0;
        MusicFade.gain = 0.0f;
        CurrentMusicTrack[0] = 0;
        StopMusic();
    }
}

void MovePlayer(const char* argument) {
    if (argument == nullptr || argument[0] < '1' || argument[0] > '9' || argument[1] != 0) return;
    NztEntity* player = PlayerEntity;
    if (player == nullptr) return;
    const PlayerSpot& spot = kSpots[argument[0] - '1'];
    const float at[3] = {spot.x, spot.y, spot.z};
    player->SetPosition(at);
    player->SetYaw(spot.yaw);
}

}  // namespace

const ConsoleCommandTargets EngineConsoleTargets = {Quit, Connect, Chat};

void SetConsoleCommandTargets(const ConsoleCommandTargets& targets) { gTargets = targets; }

void RegisterConsoleCommands() {
    if (ConsoleWnd != nullptr) return;
    // The interface's hooks into the frame layer go in with the console, at the first entry
    // into game mode: chat through the network client and the cinema bars under the windows.
    ConsoleChatHook = ChatThroughTargets;
    WndCinemaBordersHook = DrawCinemaBorders;
    if (CreateConsoleWnd() == nullptr) return;
    for (const CommandEntry& c : kCommands) AddConsoleCommand(c.name, c.help, OnConsoleCommand);
    AddConsoleCommand("", "Send your message to all connected Player", OnConsoleChat);
}

void ResetConsoleCommands() {
    if (ConsoleWnd != nullptr) DestroyWnd(ConsoleWnd, 1);
    ConsoleWnd = nullptr;
    ConsoleChatHook = nullptr;
    WndCinemaBordersHook = nullptr;
    gTargets = EngineConsoleTargets;
    ConsoleMusicOn = 1;
}

void OnConsoleCommand(const char* word, const char* argument) {
    if (word == nullptr) return;
    auto is = [word](const char* name) { return strcasecmp(word, name) == 0; };
    if (is("?")) {
        ListCommands();
    } else if (is("Exit")) {
        if (gTargets.quit != nullptr) gTargets.quit();
    } else if (is("Bump")) {
        if (argument == nullptr) return;
        if (std::strcmp(argument, "On") == 0) UserConfig.bumpMapping = 1;
        if (std::strcmp(argument, "Off") == 0) UserConfig.bumpMapping = 0;
    } else if (is("Zik")) {
        ToggleMusic();
    } else if (is("Pos")) {
        MovePlayer(argument);
    } else if (is("List")) {
        if (argument == nullptr) return;
        if (std::strcmp(argument, "Entities") == 0) ListObjects("Nb Entities", EntityRegistry);
        if (std::strcmp(argument, "Objects") == 0) ListObjects("Nb Objects", ObjectRegistry);
        if (std::strcmp(argument, "Infos") == 0) ListInfos();
    } else if (is("SetSpeed")) {
        // The main player's speed factor: the target its current factor eases toward, and the
        // current one at once, so that the very next step already goes at the new pace.
        // A typed "inf" or "nan" would carry the player off the world: such a factor is refused.
        const auto factor = argument != nullptr ? static_cast<float>(std::atof(argument)) : 0.0f;
        if (argument != nullptr && PlayerEntity != nullptr && std::isfinite(factor)) {
            PlayerEntity->speedFactorTarget = factor;
            PlayerEntity->speedFactor = factor;
        }
    } else if (is("Connect")) {
        // Whatever keeps the attempt from starting is said at once; its outcome follows from the
        // network client.
        if (argument == nullptr) {
            ConsolePrint("Connect: give the host's address (ex: Connect 192.168.0.2 or Connect 192.168.0.2:60000)");
        } else if (gTargets.connect != nullptr && !gTargets.connect(argument)) {
            char line[300];
            std::snprintf(line, sizeof line, "Connect: cannot reach \"%.200s\": unknown address or no network",
                          argument);
            ConsolePrint(line);
        }
    }
    // "Edit", "StartState" and "StopState" are listed but do nothing.
}
