#include "core/config.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/binio.h"
#include "core/nztfile.h"
#include "core/paths.h"

UserConfigData UserConfig;
GameSettingsData GameSettings;

namespace {

constexpr const char* UserConfigName = "QuorvaneGame.cfg";
constexpr const char* GameConfigName = "GAMESETTING/GameConfig.cfg";
constexpr uint32_t UserConfigVersion = 10009;

bool UserConfigPath(char* out, size_t outBytes) {
    return FormatPath(out, outBytes, "%s%s", UserFolder, UserConfigName);
}

void SetText(char (&field)[256], const char* text) { std::snprintf(field, sizeof field, "%s", text); }

// A name from the game configuration that becomes a path component under its folder.
void KeepPlainName(char (&field)[256], const char* what) {
    if (field[0] && !IsPlainName(field)) {
        std::fprintf(stderr, "config: %s: %s name refused: %s\n", GameConfigName, what, field);
        field[0] = 0;
    }
}

}  // namespace

void ResetUserConfig() { UserConfig = UserConfigData(); }

ConfigRead ParseUserConfig(BinReader& in, UserConfigData* config) {
    uint32_t version = in.U32();
    if (!in.Ok()) return ConfigRead::Truncated;
    if (version < 10001 || version > 10009) return ConfigRead::UnknownVersion;
    UserConfigData read = *config;
    // Versions 10002 to 10008 begin with a word that is no longer used.
    if (version >= 10002 && version <= 10008) in.Skip(4);
    read.width = in.U32();
    read.height = in.U32();
    read.bitsPerPixel = in.U32();
    read.refreshRate = in.U32();
    read.fullScreen = in.U32();
    if (version >= 10005) read.verticalSync = in.U32();
    read.bumpMapping = in.U32();
    read.textureSize = in.U32();
    // 10006 and 10003 end in bytes that are skipped; only 10007 has a field after its skip.
    if (version == 10007) in.Skip(8);
    if (version >= 10007) read.tenthWord = in.U32();
    if (!in.Ok()) return ConfigRead::Truncated;
    if (read.width == 0 || read.height == 0) {
        read.width = config->width;
        read.height = config->height;
    }
    read.version = UserConfigVersion;
    *config = read;
    return ConfigRead::Loaded;
}

void LoadUserConfig() {
    char path[QvPathMax];
    NztFile file;
    if (!UserConfigPath(path, sizeof path) || !file.OpenFile(path, NztFileRead)) return;
    BinReader in(file);
    if (ParseUserConfig(in, &UserConfig) == ConfigRead::Truncated)
        std::fprintf(stderr, "config: %s: file is truncated; defaults kept\n", path);
    file.Close();
}

bool SaveUserConfig() {
    char path[QvPathMax];
    if (!UserConfigPath(path, sizeof path)) return false;
    AtomicSave save;
    if (!save.Open(path)) return false;
    BinWriter out(save.Stream());
    const UserConfigData& c = UserConfig;
    for (uint32_t word : {UserConfigVersion, c.width, c.height, c.bitsPerPixel, c.refreshRate, c.fullScreen,
                          c.verticalSync, c.bumpMapping, c.textureSize, c.tenthWord})
        out.U32(word);
    return save.Commit();
}

void ResetGameSettings() { std::memset(&GameSettings, 0, sizeof GameSettings); }

ConfigRead ParseGameConfig(BinReader& in, GameSettingsData* settings) {
    uint32_t version = in.U32();
    if (!in.Ok()) return ConfigRead::Truncated;
    if (version < 10000 || version > 10008) return ConfigRead::UnknownVersion;
    GameSettingsData read = *settings;
    if (version <= 10003) {
        in.U32();  // the player type was a number once; it is always the default type
        SetText(read.playerType, "NZT1001");
        if (version >= 10001) in.Text(read.startScene);
        if (version >= 10002) {
            in.Skip(256);
            in.Text(read.fontFile);
            read.fontSize = static_cast<float>(in.I32());
        }
    } else if (version == 10004) {
        in.Text(read.playerType);
        in.Skip(256);
        in.Text(read.startScene);
        in.Skip(256);
        in.Text(read.fontFile);
        read.fontSize = static_cast<float>(in.I32());
    } else {
        in.Text(read.playerType);
        in.Text(read.startScene);
        in.Text(read.fontFile);
        read.fontSize = version == 10005 ? static_cast<float>(in.I32()) : in.F32();
        if (version >= 10007) read.extraWord = in.U32();
        if (version >= 10008) in.Text(read.textTable);
    }
    if (!in.Ok()) return ConfigRead::Truncated;
    *settings = read;
    return ConfigRead::Loaded;
}

bool ReadGameConfig() {
    NztFile file;
    if (!file.OpenRead(GameConfigName, nullptr)) return false;
    BinReader in(file);
    ConfigRead result = ParseGameConfig(in, &GameSettings);
    if (result == ConfigRead::Truncated)
        std::fprintf(stderr, "config: %s: file is truncated; defaults used\n", GameConfigName);
    file.Close();
    return result == ConfigRead::Loaded;
}

void LoadGameSettings() {
    ResetGameSettings();
    bool loaded = ReadGameConfig();
    KeepPlainName(GameSettings.fontFile, "font");
    KeepPlainName(GameSettings.textTable, "text table");
    if (!loaded || !GameSettings.playerType[0]) SetText(GameSettings.playerType, "NZT1001");
    if (!loaded || !GameSettings.startScene[0]) SetText(GameSettings.startScene, "IceWorld");
    if (!GameSettings.fontFile[0]) {
        SetText(GameSettings.fontFile, "ARIAL.TTF");
        GameSettings.fontSize = 24.0f;
        GameSettings.extraWord = 0;
    }
    if (!GameSettings.textTable[0]) SetText(GameSettings.textTable, "Default.Gtx");
}

