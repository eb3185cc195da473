// Animation files (".QVa") from untrusted bytes, with the blending that reads their frames.
#include <cstddef>
#include <cstdint>

#include "core/nztfile.h"
#include "model/anim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    NztAnim anim;
    anim.Stream.OpenMemory(data, static_cast<uint32_t>(size));
    // The minimum bone count of the caller comes from the first byte.
    if (!anim.Parse("fuzz.QVa", size ? data[0] % 8 : 0)) return 0;
    NztAnim out;
    out.AllocFrames(anim.BoneCount, 3);
    BlendAnims(&anim, anim.FrameCount, 0, &anim, &out);
    CopyAnimFrame(&anim, anim.FrameCount - 1, &out);
    BlendBoneKeys(1, 2, anim.BoneCount, &anim, &anim, &out, 1, 0.5f, nullptr);
    SampleFrameMotion(1, &anim, 2, &anim, &out, 2, 0.5f);
    return 0;
}
