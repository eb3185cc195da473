#include "datakit/gameconfig.h"

#include <filesystem>

#include "core/binio.h"
#include "datakit/datakit.h"

namespace datakit {

std::vector<uint8_t> MakeGameConfig(const GameConfigSpec& s) {
    constexpr size_t Field = 256;
    std::vector<uint8_t> bytes;
    BinWriter out(bytes);
    out.U32(s.version);
    auto intSize = [&] { out.I32(static_cast<int32_t>(s.fontSize)); };
    if (s.version <= 10003) {
        out.U32(s.oldTypeWord);
        if (s.version >= 10001) out.Text(s.startScene, Field);
        if (s.version >= 10002) {
            out.Text(s.skippedText, Field);
            out.Text(s.fontFile, Field);
            intSize();
        }
    } else if (s.version == 10004) {
        out.Text(s.playerType, Field);
        out.Text(s.skippedText, Field);
        out.Text(s.startScene, Field);
        out.Text(s.skippedText, Field);
        out.Text(s.fontFile, Field);
        intSize();
    } else {
        out.Text(s.playerType, Field);
        out.Text(s.startScene, Field);
        out.Text(s.fontFile, Field);
        if (s.version == 10005) intSize();
        else out.F32(s.fontSize);
        if (s.version >= 10007) out.U32(s.extraWord);
        if (s.version >= 10008) out.Text(s.textTable, Field);
    }
    return bytes;
}

bool WriteGameConfig(const std::string& dataFolder, const GameConfigSpec& spec) {
    std::error_code ec;
    std::filesystem::create_directories(dataFolder + "/GAMESETTING", ec);
    return WriteFileBytes(dataFolder + "/GAMESETTING/GameConfig.cfg", MakeGameConfig(spec));
}

}  // namespace datakit
