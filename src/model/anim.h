// Skeletal animations: ".QVa" files of stored key frames, the frames between them filled by
// interpolation per channel, the motion of each frame relative to the previous one, transitions
// between two animations, and the mixing of up to five animation layers into a mesh's one-frame
// scratch pose.
//
// Quaternions are four floats, w first. Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/nztfile.h"
#include "core/nztmath.h"

class BinReader;
struct NztMesh;

struct Quat {
    float w, x, y, z;
};
inline constexpr Quat QuatIdentity{1.0f, 0.0f, 0.0f, 0.0f};

// Slerp from a (t = 0) to b (t = 1), the short way round; the result is not renormalised.
Quat QuatSlerp(const Quat& a, const Quat& b, float t);
// p x q (Hamilton product, w first).
Quat QuatMultiply(const Quat& p, const Quat& q);
inline Quat QuatConjugate(const Quat& q) { return {q.w, -q.x, -q.y, -q.z}; }

// Three or four little-endian floats (a quaternion w first) from a model file.
Quat ReadQuat(BinReader& r);
// A reader over the rest of an open stream: a memory stream's own bytes without a copy; for a
// file, with `whole` the rest read into holder in one go (for files of many small fields), else
// the file itself (for files of a few large arrays, read straight to their place).
BinReader ModelFileReader(NztFile& stream, std::unique_ptr<uint8_t[]>& holder, bool whole);
// The version word of a model file into *field, checked against first..last. False, after one
// line on stderr ("<subsystem>: <source>: ..."), when the file is refused.
bool ReadModelVersion(BinReader& r, uint32_t first, uint32_t last, uint32_t* field, const char* subsystem,
                      const char* source);

// One bone in one frame (52 bytes in a file).
struct NztBoneKey {
    uint32_t HasRotation = 0;
    uint32_t HasTranslation = 0;
    uint32_t HasScale = 0;
    Quat Rotation = QuatIdentity;
    Vec3 Translation{0.0f, 0.0f, 0.0f};
    Vec3 Scale{0.0f, 0.0f, 0.0f};  // scale minus one: 0 is unscaled
};

struct NztAnimFrame {
    uint32_t HasPosition = 0;
    uint32_t HasRotation = 0;
    uint32_t Keyed = 0;  // 1 for frames stored in the file
    uint32_t HasTexTransform = 0;
    int32_t FrameValue = -1;  // spell cast when the frame is passed; -1 none
    Vec3 Position{0.0f, 0.0f, 0.0f};
    Vec3 PositionDelta{0.0f, 0.0f, 0.0f};  // Position minus the previous frame's
    Quat Rotation = QuatIdentity;
    Quat RotationDelta = QuatIdentity;  // the turn from the previous frame to this one
    float TexTransform[3] = {0.0f, 0.0f, 0.0f};  // u offset, v offset, scale minus one
    NztBoneKey* Keys = nullptr;  // BoneCount keys, owned by the animation
    int32_t ExtraWords[2] = {-1, -1};
};

// Versions of ".QVa" files the loader accepts.
inline constexpr uint32_t QvaFirstVersion = 10000;
inline constexpr uint32_t QvaLastVersion = 10002;
// Bounds on what one animation may allocate: the frame count is not tied to the bytes of a file
// (only some frames are stored), so it is capped, and so is frames x bones.
inline constexpr uint32_t MaxAnimFrames = 65536;
inline constexpr uint64_t MaxAnimKeys = uint64_t{1} << 20;
// Within those caps, what a file makes the loader build is tied to the file's size: frames x
// bones (bones counted as at least 1) at most AnimSlotsPerFileByte per byte of the file, or
// AnimSlotsAnySize whatever its size. A stored frame of B bones takes 20 + 52 x B bytes, so one
// stored frame may stand for thousands of filled-in frames; only a file that declares far more
// than it holds (a 28-byte header asking for a million keys) is refused.
inline constexpr uint64_t AnimSlotsPerFileByte = 64;
inline constexpr uint64_t AnimSlotsAnySize = 4096;

struct NztAnim {
    uint32_t Version = 0;
    int32_t NameIndex = -1;  // index in the animation name table; -1 until set
    char Name[256] = {};     // the file name without folder and extension
    uint32_t FrameCount = 0;
    float InvFrameCount = 1.0f;  // 1/FrameCount, 1.0 when there are no frames
    uint32_t BoneCount = 0;
    std::vector<NztAnimFrame> Frames;
    std::vector<NztBoneKey> KeyStore;  // FrameCount x BoneCount keys; frame k owns slice k
    uint32_t TexAnim = 0;   // non-zero: the frames carry texture-coordinate transforms
    uint32_t FileWord = 0;  // stored as read
    // Defaults of the animation slot the animation was loaded for (set by the type code).
    uint32_t LoopFlag = 0;
    uint32_t IdleFlag = 0;
    uint32_t JumpStartFlag = 0;
    uint32_t DiveStartFlag = 0;
    uint32_t SpellWord = 0;  // set by the object effects from a spell instance
    NztFile Stream;
    Vec3 RootSpeed{0.0f, 0.0f, 0.0f};  // RootStep x 50: per second at 50 steps a second
    Vec3 RootStep{0.0f, 0.0f, 0.0f};   // average root step per frame

    NztAnim() = default;
    NztAnim(const NztAnim&) = delete;
    NztAnim& operator=(const NztAnim&) = delete;

    // The empty state: no frames, zero counts and root motion, NameIndex -1.
    void Init();
    // frames frames of bones keys each, all reset.
    void AllocFrames(uint32_t bones, uint32_t frames);
    void ResetFrames();
    void FreeFrames();
    void CloseStream();
    // Reads a ".QVa" file through the "Anims" pack (or the loose file) with at least minBones keys
    // per frame, then builds the derived data. 1 on success; 0 when the file is missing or
    // refused, the animation then unchanged but for the version word of a refused version.
    int Load(const char* path, uint32_t minBones);
    // The same from an already open Stream; sourceName names the file in diagnostics and gives Name.
    int Parse(const char* sourceName, uint32_t minBones);
    // Fills the frames between stored keys, the per-frame motion and the root motion.
    void BuildDerived();
};

// The transition from frame fromFrame of from to frame toFrame of to over out's frame count.
// Frame indices beyond an animation's frames are clamped to its last frame.
void BlendAnims(const NztAnim* from, uint32_t fromFrame, uint32_t toFrame, const NztAnim* to, NztAnim* out);
// Frame `frame` of source into frame 0 of target (the target keeps its key pointer); the first
// min(source bones, target bones) keys.
void CopyAnimFrame(const NztAnim* source, uint32_t frame, NztAnim* target);

// One animation layer of an object (five per object with a boned mesh).
struct NztAnimLayer {
    NztAnim* Anim = nullptr;  // null: the layer is inactive
    int32_t BoneIndex = 0;    // what the bone mask was last built from
    int32_t FrameCount = 0;
    int32_t Frame = 0;
    int32_t NextFrame = 0;
    float Time = 0.0f;    // fractional frame
    int32_t Running = 0;  // 1: plays on its own clock to its last frame, then ends; 0: follows the base
    int32_t BlendMode = 0;  // 0 all bones; 1 and 3 added onto the base; 2 and 4 blended (masked bones)
    float Weight = 0.0f;
    float SecondFloat = 0.0f;
    float StartWeight = 0.0f;
};
inline constexpr int AnimLayerCount = 5;

// Mixes the keys of layerAnim at layerFrame onto those of baseAnim at baseFrame into frame 0 of
// out, by the layer blend mode with weight w. boneMask holds one byte per bone (non-zero: the bone
// takes part in modes 1 to 4; the others copy the base key).
void BlendBoneKeys(uint32_t layerFrame, uint32_t baseFrame, uint32_t boneLimit, const NztAnim* baseAnim,
                   const NztAnim* layerAnim, NztAnim* out, int32_t mode, float w, const uint8_t* boneMask);
// The same for the root motion of the frame (position and rotation deltas).
void SampleFrameMotion(uint32_t layerFrame, const NztAnim* layerAnim, uint32_t baseFrame, const NztAnim* baseAnim,
                       NztAnim* out, int32_t mode, float w);

// Mixes the mesh's bound layers onto its current animation at its current frame into frame 0 of
// its LayerPose, then advances the running layers by dt50 (frame time x 50). Answers whether any
// layer was mixed, that is whether LayerPose holds the pose to use.
int MixAnimLayers(NztMesh* mesh, float dt50);
// The advance alone: running layers step their time by dt50 and end after their last frame.
void AdvanceAnimLayers(NztAnimLayer* layers, float dt50);
