// Particle definition files on arbitrary bytes: a file that reads must give a whole texture block
// and a particle set-up within bounds; anything else must be refused safely.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/binio.h"
#include "effects/sfxdef.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SfxDef def;
    InitSfxDef(&def);
    BinReader in(data, size);
    SfxDefFileData file;
    std::string fault;
    if (ParseSfxDef(&def, in, &file, &fault)) {
        if (file.texels.size() != uint64_t{file.width} * file.height * 4 ||
            strnlen(file.textureName, sizeof file.textureName) == sizeof file.textureName)
            __builtin_trap();
        // The set-up does the same for any count; large ones only make each run slow.
        PrepareSfxParticles(&def, std::min(file.particleCount, 4096));
        if (def.particleCount < 1 || def.particleCount > 4096 ||
            def.particles.size() != static_cast<size_t>(def.particleCount) ||
            SfxQuadBuffers.capacity < static_cast<uint32_t>(def.particleCount) ||
            SfxQuadBuffers.indices.size() != size_t{SfxQuadBuffers.capacity} * 4 || def.emitting != 0)
            __builtin_trap();
    } else if (fault.empty()) {
        __builtin_trap();
    }
    FreeSfxDef(&def);
    return 0;
}
