#include "gameconfig.h"

#include <algorithm>
#include <cstring>

namespace datakit {
namespace {

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutF32(std::vector<uint8_t>& out, float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    PutU32(out, bits);
}

void PutText(std::vector<uint8_t>& out, const std::string& text) {
    const size_t start = out.size();
    out.resize(start + 256, 0);
    std::memcpy(out.data() + start, text.data(), std::min<size_t>(text.size(), 256));
}

}  // namespace

std::vector<uint8_t> WriteGameConfig(const GameConfig& c) {
    std::vector<uint8_t> out;
    PutU32(out, c.version);
    const auto fontSizeWord = static_cast<uint32_t>(static_cast<int32_t>(c.fontSize));
    switch (c.version) {
        case 10000:
            PutU32(out, c.firstWord);
            break;
        case 10001:
            PutU32(out, c.firstWord);
            PutText(out, c.startScene);
            break;
        case 10002:
        case 10003:
            PutU32(out, c.firstWord);
            PutText(out, c.startScene);
            PutText(out, c.skipped);
            PutText(out, c.fontFile);
            PutU32(out, fontSizeWord);
            break;
        case 10004:
            PutText(out, c.playerType);
            PutText(out, c.skipped);
            PutText(out, c.startScene);
            PutText(out, c.skipped);
            PutText(out, c.fontFile);
            PutU32(out, fontSizeWord);
            break;
        case 10005:
            PutText(out, c.playerType);
            PutText(out, c.startScene);
            PutText(out, c.fontFile);
            PutU32(out, fontSizeWord);
            break;
        case 10006:
        case 10007:
        case 10008:
            PutText(out, c.playerType);
            PutText(out, c.startScene);
            PutText(out, c.fontFile);
            PutF32(out, c.fontSize);
            if (c.version >= 10007) PutU32(out, c.extraWord);
            if (c.version >= 10008) PutText(out, c.textTable);
            break;
        default:
            break;
    }
    return out;
}

}  // namespace datakit
