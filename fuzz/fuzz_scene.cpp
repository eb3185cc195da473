// Scene files over arbitrary bytes: a scene that parses is written back, and what was written
// parses again to the same bytes (the writer keeps everything the reader takes).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/binio.h"
#include "scene/scene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BinReader in(data, size);
    SceneData scene;
    if (!ParseScene(in, "fuzz.Scn", &scene)) return 0;
    std::vector<uint8_t> first;
    BinWriter out(first);
    WriteSceneData(out, scene);
    BinReader again(first.data(), first.size());
    SceneData reread;
    if (!ParseScene(again, "fuzz.Scn", &reread)) __builtin_trap();
    if (again.Remaining() != 0) __builtin_trap();
    std::vector<uint8_t> second;
    BinWriter out2(second);
    WriteSceneData(out2, reread);
    if (second != first) __builtin_trap();
    return 0;
}
