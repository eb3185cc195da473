// Reads any bytes as a user configuration (first byte even) or a game configuration (odd).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/binio.h"
#include "core/config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    BinReader in(data + 1, size - 1);
    if (data[0] % 2 == 0) {
        UserConfigData config;
        ParseUserConfig(in, &config);
    } else {
        GameSettingsData settings;
        std::memset(&settings, 0, sizeof settings);
        if (ParseGameConfig(in, &settings) == ConfigRead::Loaded) {
            // Every name field must end in a zero whatever the file held.
            for (const char* field : {settings.playerType, settings.startScene, settings.fontFile, settings.textTable})
                if (strnlen(field, 256) == 256) __builtin_trap();
        }
    }
    return 0;
}
