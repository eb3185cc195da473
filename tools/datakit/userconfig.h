// User configuration writer: "QuorvaneGame.cfg" in any of its versions (10001 to 10009).
#pragma once

#include <cstdint>
#include <vector>

namespace datakit {

struct UserConfigSpec {
    uint32_t version = 10009;
    uint32_t unusedWord = 0;  // the word versions 10002 to 10008 carry after the version
    uint32_t width = 1024;
    uint32_t height = 768;
    uint32_t bitsPerPixel = 32;
    uint32_t refreshRate = 60;
    uint32_t fullScreen = 1;
    uint32_t verticalSync = 1;  // from version 10005
    uint32_t bumpMapping = 1;
    uint32_t textureSize = 0;
    uint32_t tenthWord = 0;     // versions 10007 to 10009
    uint8_t skippedByte = 0xEE; // fills the bytes versions 10003, 10006 and 10007 carry and readers skip
};

std::vector<uint8_t> MakeUserConfig(const UserConfigSpec& spec);

}  // namespace datakit
