#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/nztfile.h"
#include "core/paths.h"
#include "datakit/mesh.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "temp_folder.h"

namespace {

using datakit::Bytes;
using datakit::QvaAnim;
using datakit::QvaFrame;

constexpr float Tol = 1e-5f;

Quat TurnY(float radians) { return {std::cos(radians / 2), 0.0f, std::sin(radians / 2), 0.0f}; }
Quat TurnX(float radians) { return {std::cos(radians / 2), std::sin(radians / 2), 0.0f, 0.0f}; }

void ExpectQuat(const Quat& got, const Quat& want, float tol = Tol) {
    EXPECT_NEAR(got.w, want.w, tol);
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
}

void ExpectVec(const Vec3& got, const Vec3& want, float tol = Tol) {
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
}

// Parses bytes as a ".QVa" file named name into anim.
int ParseBytes(NztAnim& anim, const Bytes& bytes, uint32_t minBones = 0, const char* name = "OBJECTS/Walk.QVa") {
    anim.Stream.OpenMemory(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return anim.Parse(name, minBones);
}

NztBoneKey Key(Quat rotation, Vec3 translation, bool hasRotation = true, bool hasTranslation = true) {
    NztBoneKey k;
    k.HasRotation = hasRotation;
    k.HasTranslation = hasTranslation;
    k.Rotation = rotation;
    k.Translation = translation;
    return k;
}

TEST(QuatMath, SlerpTakesTheShortWayRound) {
    // 200 degrees about y is the same turn as -160 degrees: half-way is -80 degrees.
    const Quat far = TurnY(200.0f * 3.14159265f / 180.0f);
    ASSERT_LT(far.w, 0.0f);
    ExpectQuat(QuatSlerp(QuatIdentity, far, 0.5f), TurnY(-80.0f * 3.14159265f / 180.0f));
    ExpectQuat(QuatSlerp(QuatIdentity, far, 0.0f), QuatIdentity);
    const Quat end = QuatSlerp(QuatIdentity, far, 1.0f);
    ExpectQuat(end, Quat{-far.w, -far.x, -far.y, -far.z});
    ExpectQuat(QuatSlerp(QuatIdentity, TurnY(1.0f), 0.25f), TurnY(0.25f));
}

TEST(QuatMath, SlerpOfNearlyParallelQuaternionsIsLinearAndNotRenormalised) {
    const Quat a{1.0f, 0.0f, 0.0f, 0.0f};
    const Quat b{0.9999f, 0.01f, 0.0f, 0.0f};  // dot 0.9999: within 0.001 of parallel
    ExpectQuat(QuatSlerp(a, b, 0.25f), Quat{0.75f + 0.25f * 0.9999f, 0.0025f, 0.0f, 0.0f}, 1e-7f);
    // The opposite sign is the same turn: the second weight is negated.
    const Quat nb{-0.9999f, -0.01f, 0.0f, 0.0f};
    ExpectQuat(QuatSlerp(a, nb, 0.25f), Quat{0.75f + 0.25f * 0.9999f, 0.0025f, 0.0f, 0.0f}, 1e-7f);
}

TEST(QuatMath, MultiplyIsTheHamiltonProductWithWFirst) {
    const Quat i{0, 1, 0, 0}, j{0, 0, 1, 0}, k{0, 0, 0, 1};
    ExpectQuat(QuatMultiply(i, j), k);
    ExpectQuat(QuatMultiply(j, i), Quat{0, 0, 0, -1});
    ExpectQuat(QuatMultiply(QuatIdentity, TurnX(0.7f)), TurnX(0.7f));
    ExpectQuat(QuatMultiply(TurnY(0.5f), TurnY(0.25f)), TurnY(0.75f));
}

// Five frames, only the first and the last stored: positions, root rotations and bone keys are
// filled in between, channel by channel.
QvaAnim SpanAnim() {
    QvaAnim a;
    a.frameCount = 5;
    a.boneCount = 2;
    QvaFrame first, last;
    first.index = 0;
    last.index = 4;
    first.hasPosition = last.hasPosition = 1;
    first.position = {0, 0, 0};
    last.position = {8, 0, 4};
    first.hasRotation = last.hasRotation = 1;
    first.rotation = QuatIdentity;
    last.rotation = TurnY(1.0f);
    first.keys = {Key(QuatIdentity, {0, 0, 0}), Key(QuatIdentity, {5, 5, 5}, false, false)};
    last.keys = {Key(TurnX(0.8f), {4, 0, 0}), Key(TurnX(0.3f), {7, 7, 7}, false, false)};
    a.frames = {first, last};
    return a;
}

TEST(AnimDerived, OnlyFirstAndLastFramesStoredFillsEveryInnerFrame) {
    NztAnim anim;
    ASSERT_EQ(ParseBytes(anim, datakit::WriteQva(SpanAnim())), 1);
    ASSERT_EQ(anim.FrameCount, 5u);
    EXPECT_STREQ(anim.Name, "Walk");
    for (uint32_t k = 0; k < 5; ++k) {
        const float t = static_cast<float>(k) / 4.0f;
        const NztAnimFrame& f = anim.Frames[k];
        EXPECT_EQ(f.Keyed, k == 0 || k == 4 ? 1u : 0u);
        ExpectVec(f.Position, Vec3{8 * t, 0, 4 * t});
        ExpectQuat(f.Rotation, TurnY(t));
        ExpectQuat(f.Keys[0].Rotation, TurnX(0.8f * t));
        ExpectVec(f.Keys[0].Translation, Vec3{4 * t, 0, 0});
        if (k > 0) {
            ExpectVec(f.PositionDelta, Vec3{2, 0, 1});
            // The turn from the previous frame: a quarter of the whole turn each time.
            ExpectQuat(f.RotationDelta, TurnY(0.25f));
        }
    }
    ExpectVec(anim.Frames[0].PositionDelta, Vec3{0, 0, 0});
    ExpectVec(anim.RootStep, Vec3{8.0f / 5, 0, 4.0f / 5});
    ExpectVec(anim.RootSpeed, Vec3{80, 0, 40});
}

TEST(AnimDerived, AChannelNeverKeyedStaysIdentityBetweenStoredFrames) {
    NztAnim anim;
    ASSERT_EQ(ParseBytes(anim, datakit::WriteQva(SpanAnim())), 1);
    // Bone 1 sets no flag: inner frames keep the reset key, stored frames what the file says.
    for (uint32_t k = 1; k < 4; ++k) {
        ExpectQuat(anim.Frames[k].Keys[1].Rotation, QuatIdentity);
        ExpectVec(anim.Frames[k].Keys[1].Translation, Vec3{0, 0, 0});
    }
    ExpectVec(anim.Frames[0].Keys[1].Translation, Vec3{5, 5, 5});
    ExpectQuat(anim.Frames[4].Keys[1].Rotation, TurnX(0.3f));
}

TEST(AnimDerived, EachChannelClosesItsOwnSpan) {
    QvaAnim a = SpanAnim();
    // A stored middle frame that keys the rotation only: its translation is interpolated over
    // the translation's own span from frame 0 to frame 4, whatever the file holds there.
    QvaFrame middle;
    middle.index = 2;
    middle.keys = {Key(TurnX(-0.4f), {99, 99, 99}, true, false), NztBoneKey{}};
    a.frames.insert(a.frames.begin() + 1, middle);
    NztAnim anim;
    ASSERT_EQ(ParseBytes(anim, datakit::WriteQva(a)), 1);
    ExpectVec(anim.Frames[2].Keys[0].Translation, Vec3{2, 0, 0});
    ExpectQuat(anim.Frames[1].Keys[0].Rotation, TurnX(-0.2f));
    ExpectQuat(anim.Frames[3].Keys[0].Rotation, QuatSlerp(TurnX(-0.4f), TurnX(0.8f), 0.5f));
    // The root position has no key at frame 2 either: one span from 0 to 4.
    ExpectVec(anim.Frames[2].Position, Vec3{4, 0, 2});
}

TEST(AnimFile, EveryVersionRoundTrips) {
    struct Case {
        uint32_t version;
        bool texAnim;
        bool fileWord;
    };
    for (const Case& c : {Case{10000, false, false}, Case{10001, true, false}, Case{10002, true, true}}) {
        SCOPED_TRACE(c.version);
        QvaAnim a = SpanAnim();
        a.version = c.version;
        a.texAnim = 1;
        a.fileWord = 0x1234;
        a.frames[0].frameValue = 7;
        a.frames[0].hasTexTransform = a.frames[1].hasTexTransform = 1;
        a.frames[1].texTransform[0] = 0.4f;
        a.frames[1].texTransform[2] = -0.8f;
        NztAnim anim;
        ASSERT_EQ(ParseBytes(anim, datakit::WriteQva(a), 3), 1);
        EXPECT_EQ(anim.Version, c.version);
        EXPECT_EQ(anim.BoneCount, 3u);  // the minimum bone count enlarges the file's 2
        ExpectQuat(anim.Frames[2].Keys[2].Rotation, QuatIdentity);
        EXPECT_EQ(anim.Frames[0].FrameValue, 7);
        EXPECT_EQ(anim.Frames[1].FrameValue, -1);
        EXPECT_EQ(anim.TexAnim, c.texAnim ? 1u : 0u);
        EXPECT_EQ(anim.FileWord, c.fileWord ? 0x1234u : 0u);
        EXPECT_NEAR(anim.Frames[2].TexTransform[0], c.texAnim ? 0.2f : 0.0f, Tol);
        EXPECT_NEAR(anim.Frames[2].TexTransform[2], c.texAnim ? -0.4f : 0.0f, Tol);
        ExpectVec(anim.Frames[2].Position, Vec3{4, 0, 2});
        EXPECT_EQ(anim.Frames[3].ExtraWords[0], -1);
    }
}

TEST(AnimFile, LoadsALooseFileThroughTheDataFolder) {
    TempFolder temp;
    const std::string& folder = temp.path();
    ASSERT_FALSE(folder.empty());
    ASSERT_TRUE(datakit::WriteModelFile(folder + "OBJECTS/Idle.QVa", datakit::WriteQva(SpanAnim())));
    ASSERT_TRUE(SetDataFolder(folder.c_str()));
    NztAnim anim;
    EXPECT_EQ(anim.Load("OBJECTS/Idle.QVa", 0), 1);
    EXPECT_STREQ(anim.Name, "Idle");
    EXPECT_FALSE(anim.Stream.IsOpen());
    EXPECT_EQ(anim.Load("OBJECTS/Missing.QVa", 0), 0);
    EXPECT_EQ(anim.FrameCount, 5u);
}

// Every malformed file is refused: the loader answers 0 and the animation keeps what it had.
TEST(AnimFile, MalformedFilesAreRefusedAndChangeNothing) {
    datakit::FieldOffsets at;
    const Bytes good = datakit::WriteQva(SpanAnim(), &at);
    struct Case {
        const char* what;
        Bytes bytes;
    };
    std::vector<Case> cases;
    auto patched = [&](const char* field, uint32_t value) {
        Bytes b = good;
        datakit::PatchU32(b, at.at(field), value);
        return b;
    };
    cases.push_back({"zero frames", patched("F", 0)});
    cases.push_back({"huge frame count", patched("F", 0xFFFFFFFFu)});
    cases.push_back({"huge bone count", patched("B", 0x7FFFFFFFu)});
    cases.push_back({"frame count far beyond what the file holds", patched("F", MaxAnimFrames)});
    cases.push_back({"stored count past the end", patched("S", 0x10000000u)});
    cases.push_back({"one stored frame too many", patched("S", 3)});
    cases.push_back({"frame index at the frame count", patched("frame 1 index", 5)});
    cases.push_back({"huge frame index", patched("frame 0 index", 0xFFFFFFFFu)});
    cases.push_back({"version below", good});
    datakit::PatchU32(cases.back().bytes, 0, 9999);
    cases.push_back({"version above", good});
    datakit::PatchU32(cases.back().bytes, 0, 10003);
    for (size_t n = 0; n < good.size(); ++n)
        cases.push_back({"truncated", Bytes(good.begin(), good.begin() + static_cast<ptrdiff_t>(n))});

    QvaAnim other;
    other.frameCount = 3;
    other.boneCount = 1;
    other.frames.push_back({});
    const Bytes previous = datakit::WriteQva(other);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " at " + std::to_string(c.bytes.size()) + " bytes");
        NztAnim anim;
        ASSERT_EQ(ParseBytes(anim, previous, 0, "Old.QVa"), 1);
        EXPECT_EQ(ParseBytes(anim, c.bytes), 0);
        EXPECT_EQ(anim.FrameCount, 3u);
        EXPECT_EQ(anim.BoneCount, 1u);
        EXPECT_STREQ(anim.Name, "Old");
        EXPECT_FALSE(anim.Stream.IsOpen());
    }
}

// The frame count is not backed by stored frames, but what a file may make the loader build is
// backed by its size: sparse and empty animations of sane length load; a header that asks for
// far more than the file could ever have held is refused before anything is allocated.
TEST(AnimFile, DeclaredCountsAreTiedToTheFileSize) {
    struct Case {
        uint32_t frames, bones;
        bool stored;
        int loads;
    } cases[] = {
        {2000, 60, true, 1},    // two stored frames of 60 bones standing for 2000
        {4096, 1, false, 1},    // nothing stored: up to 4096 frames x bones whatever the size
        {100, 40, false, 1},
        {4097, 1, false, 0},
        {65536, 16, false, 0},  // a million keys from a 28-byte header
        {30000, 1, true, 0},    // two stored frames of one bone (172 bytes) for 30000
    };
    for (const Case& c : cases) {
        QvaAnim a;
        a.frameCount = c.frames;
        a.boneCount = c.bones;
        if (c.stored) {
            QvaFrame first, last;
            first.index = 0;
            last.index = c.frames - 1;
            first.keys.assign(c.bones, Key(QuatIdentity, {0, 0, 0}));
            last.keys.assign(c.bones, Key(TurnX(0.5f), {1, 0, 0}));
            a.frames = {first, last};
        }
        NztAnim anim;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(ParseBytes(anim, datakit::WriteQva(a)), c.loads) << c.frames << " x " << c.bones;
        ::testing::internal::GetCapturedStderr();
        if (c.loads) {
            EXPECT_EQ(anim.FrameCount, c.frames);
        }
    }
}

TEST(AnimFile, ARefusedFileGivesOneLineNamingFileAndField) {
    datakit::FieldOffsets at;
    Bytes bytes = datakit::WriteQva(SpanAnim(), &at);
    datakit::PatchU32(bytes, at.at("frame 1 index"), 9);
    NztAnim anim;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ParseBytes(anim, bytes, 0, "OBJECTS/ENTITIES/Bad.QVa"), 0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("anim: OBJECTS/ENTITIES/Bad.QVa: "), std::string::npos) << err;
    EXPECT_NE(err.find("frame index 9"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

// Animations built in memory for the blending tests: every frame's bone b has the given key.
void Fill(NztAnim& a, uint32_t frames, uint32_t bones, const NztBoneKey& key) {
    a.AllocFrames(bones, frames);
    for (uint32_t k = 0; k < frames; ++k)
        for (uint32_t b = 0; b < bones; ++b) a.Frames[k].Keys[b] = key;
}

TEST(AnimBlend, TransitionOverOneFrameStartsAtFromAndEndsAtTo) {
    NztAnim from, to, out;
    Fill(from, 3, 2, Key(TurnX(0.2f), {1, 0, 0}));
    Fill(to, 4, 2, Key(TurnX(1.0f), {5, 0, 0}));
    to.Frames[2].PositionDelta = {3, 0, 6};
    to.Frames[2].RotationDelta = TurnY(0.4f);
    to.RootSpeed = {1, 2, 3};
    out.AllocFrames(2, 1);
    BlendAnims(&from, 1, 2, &to, &out);
    ExpectQuat(out.Frames[0].Keys[1].Rotation, TurnX(0.2f));
    ExpectVec(out.Frames[0].Keys[1].Translation, Vec3{5, 0, 0});
    ExpectVec(out.Frames[0].PositionDelta, Vec3{3, 0, 6});
    ExpectQuat(out.Frames[0].RotationDelta, TurnY(0.4f));
    ExpectVec(out.RootSpeed, Vec3{1, 2, 3});
}

TEST(AnimBlend, TransitionStepsAndClampsFrameIndices) {
    NztAnim from, to, out;
    Fill(from, 3, 3, Key(QuatIdentity, {0, 0, 0}));
    from.Frames[2].Keys[0] = Key(TurnX(0.4f), {4, 0, 0});  // the last frame, reached by clamping
    Fill(to, 2, 1, Key(TurnX(1.2f), {8, 0, 0}));
    to.Frames[1].PositionDelta = {4, 0, 0};
    to.Frames[1].RotationDelta = TurnY(0.8f);
    out.AllocFrames(2, 4);
    BlendAnims(&from, 99, 99, &to, &out);
    for (uint32_t k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        ExpectQuat(out.Frames[k].Keys[0].Rotation, QuatSlerp(TurnX(0.4f), TurnX(1.2f), k / 4.0f));
        ExpectVec(out.Frames[k].Keys[0].Translation, Vec3{4 + 4 * (k + 1) / 4.0f, 0, 0});
        ExpectVec(out.Frames[k].PositionDelta, Vec3{1, 0, 0});
        ExpectQuat(out.Frames[k].RotationDelta, TurnY(0.2f));
        // Bone 1 lies beyond the target's bones: untouched.
        ExpectQuat(out.Frames[k].Keys[1].Rotation, QuatIdentity);
    }
}

TEST(AnimBlend, CopyFrameKeepsTheTargetKeysAndCopiesCommonBones) {
    NztAnim source, target;
    Fill(source, 2, 3, Key(TurnX(0.5f), {1, 2, 3}));
    source.Frames[1].FrameValue = 4;
    source.Frames[1].PositionDelta = {1, 1, 1};
    target.AllocFrames(2, 1);
    NztBoneKey* keys = target.Frames[0].Keys;
    CopyAnimFrame(&source, 1, &target);
    EXPECT_EQ(target.Frames[0].Keys, keys);
    EXPECT_EQ(target.Frames[0].FrameValue, 4);
    ExpectVec(target.Frames[0].PositionDelta, Vec3{1, 1, 1});
    ExpectVec(keys[1].Translation, Vec3{1, 2, 3});
}

// The blend modes of a layer, for a bone inside and outside the mask (w = 0.5).
TEST(AnimLayers, BlendModesMixRotationTranslationAndScale) {
    const NztBoneKey base = Key(TurnX(0.6f), {2, 0, 0});
    NztBoneKey layer = Key(TurnY(1.0f), {4, 2, 0});
    layer.Scale = {0.5f, 0, 0};
    const Quat half = QuatSlerp(QuatIdentity, TurnY(1.0f), 0.5f);
    struct Case {
        int mode;
        bool inMask;
        Quat rotation;
        Vec3 translation;
        float scale;
    };
    const Quat blended = QuatSlerp(TurnX(0.6f), TurnY(1.0f), 0.5f);
    const Quat added = QuatMultiply(half, TurnX(0.6f));
    const Case cases[] = {
        {0, false, blended, {3, 1, 0}, 0.25f},  // mode 0 ignores the mask
        {1, true, added, {4, 1, 0}, 0.25f},     {3, true, added, {4, 1, 0}, 0.25f},
        {2, true, blended, {3, 1, 0}, 0.25f},   {4, true, blended, {3, 1, 0}, 0.25f},
        {1, false, TurnX(0.6f), {2, 0, 0}, 0},  {2, false, TurnX(0.6f), {2, 0, 0}, 0},
        {4, false, TurnX(0.6f), {2, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + (c.inMask ? " masked" : " unmasked"));
        NztAnim b, l, out;
        Fill(b, 1, 1, base);
        Fill(l, 1, 1, layer);
        out.AllocFrames(1, 1);
        const uint8_t mask[1] = {static_cast<uint8_t>(c.inMask)};
        BlendBoneKeys(0, 0, 8, &b, &l, &out, c.mode, 0.5f, mask);
        ExpectQuat(out.Frames[0].Keys[0].Rotation, c.rotation);
        ExpectVec(out.Frames[0].Keys[0].Translation, c.translation);
        EXPECT_NEAR(out.Frames[0].Keys[0].Scale.x, c.scale, Tol);
    }
    // Any other mode leaves the pose as it was.
    NztAnim b, l, out;
    Fill(b, 1, 1, base);
    Fill(l, 1, 1, layer);
    Fill(out, 1, 1, Key(TurnX(0.1f), {9, 9, 9}));
    BlendBoneKeys(0, 0, 8, &b, &l, &out, 5, 0.5f, nullptr);
    ExpectVec(out.Frames[0].Keys[0].Translation, Vec3{9, 9, 9});
}

TEST(AnimLayers, BonesBeyondTheLayerOrTheLimitAreHandledApart) {
    NztAnim b, l, out;
    Fill(b, 1, 3, Key(TurnX(0.6f), {2, 0, 0}));
    Fill(l, 1, 1, Key(TurnY(1.0f), {4, 0, 0}));
    Fill(out, 1, 4, Key(QuatIdentity, {9, 9, 9}));
    BlendBoneKeys(0, 0, 2, &b, &l, &out, 0, 1.0f, nullptr);
    ExpectVec(out.Frames[0].Keys[0].Translation, Vec3{4, 0, 0});  // mixed
    ExpectVec(out.Frames[0].Keys[1].Translation, Vec3{2, 0, 0});  // no layer key: the base's
    ExpectVec(out.Frames[0].Keys[2].Translation, Vec3{9, 9, 9});  // beyond the bone limit
}

TEST(AnimLayers, FrameMotionByMode) {
    NztAnim b, l;
    Fill(b, 1, 0, NztBoneKey{});
    Fill(l, 1, 0, NztBoneKey{});
    b.Frames[0].PositionDelta = {2, 0, 0};
    b.Frames[0].RotationDelta = TurnY(0.4f);
    b.Frames[0].Rotation = TurnY(0.9f);
    l.Frames[0].PositionDelta = {0, 4, 0};
    l.Frames[0].RotationDelta = TurnX(1.0f);
    struct Case {
        int mode;
        Vec3 delta;
        Quat turn;
    };
    const Case cases[] = {
        {0, {2, 0, 0}, TurnY(0.4f)},
        {1, {2, 2, 0}, QuatMultiply(QuatSlerp(QuatIdentity, TurnX(1.0f), 0.5f), TurnY(0.4f))},
        {2, {1, 2, 0}, QuatSlerp(TurnY(0.4f), TurnX(1.0f), 0.5f)},
        {3, {2, 0, 0}, TurnY(0.4f)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        NztAnim out;
        out.AllocFrames(0, 1);
        SampleFrameMotion(0, &l, 0, &b, &out, c.mode, 0.5f);
        ExpectVec(out.Frames[0].PositionDelta, c.delta);
        ExpectQuat(out.Frames[0].RotationDelta, c.turn);
        ExpectQuat(out.Frames[0].Rotation, TurnY(0.9f));
    }
}

// A mesh with a bound base animation, a layer pose and five layers.
struct LayerRig {
    NztMesh mesh;
    NztAnim base, layerAnim, pose;
    NztAnimLayer layers[AnimLayerCount];
    uint8_t mask[2] = {1, 1};

    LayerRig() {
        Fill(base, 10, 2, Key(QuatIdentity, {1, 0, 0}));
        layerAnim.AllocFrames(2, 20);
        for (uint32_t k = 0; k < 20; ++k)
            for (uint32_t b = 0; b < 2; ++b) layerAnim.Frames[k].Keys[b] = Key(QuatIdentity, {float(k), 0, 0});
        pose.AllocFrames(2, 1);
        mesh.CurrentAnim = &base;
        mesh.AnimFrameCount = 10;
        mesh.Frame = 5;
        mesh.MaxBoneCount = 2;
        mesh.LayerPose = &pose;
        mesh.AnimLayers = layers;
        mesh.LayerBoneMask = mask;
    }
    void Set(int i, int mode, float w, int running) {
        layers[i].Anim = &layerAnim;
        layers[i].FrameCount = 20;
        layers[i].BlendMode = mode;
        layers[i].Weight = w;
        layers[i].Running = running;
    }
};

TEST(AnimLayers, AFollowingLayerTakesTheBaseFractionAndLaterLayersMixOntoThePose) {
    LayerRig rig;
    EXPECT_EQ(MixAnimLayers(&rig.mesh, 1.0f), 0);  // no active layer
    rig.Set(1, 0, 1.0f, 0);
    EXPECT_EQ(MixAnimLayers(&rig.mesh, 1.0f), 1);
    EXPECT_EQ(rig.layers[1].Frame, 10);  // 20 x 5 / 10
    EXPECT_EQ(rig.layers[1].NextFrame, 10);
    EXPECT_FLOAT_EQ(rig.layers[1].Time, 10.0f);
    ExpectVec(rig.pose.Frames[0].Keys[0].Translation, Vec3{10, 0, 0});
    // A second layer at half weight mixes onto the first one's result.
    rig.Set(3, 2, 0.5f, 0);
    EXPECT_EQ(MixAnimLayers(&rig.mesh, 1.0f), 1);
    ExpectVec(rig.pose.Frames[0].Keys[1].Translation, Vec3{10, 0, 0});
    rig.layers[1].Anim = nullptr;
    EXPECT_EQ(MixAnimLayers(&rig.mesh, 1.0f), 1);
    ExpectVec(rig.pose.Frames[0].Keys[1].Translation, Vec3{5.5f, 0, 0});
}

TEST(AnimLayers, ARunningLayerAdvancesAndEndsAfterItsLastFrame) {
    LayerRig rig;
    rig.Set(0, 0, 1.0f, 1);
    rig.layers[0].Frame = 17;
    rig.layers[0].Time = 17.0f;
    EXPECT_EQ(MixAnimLayers(&rig.mesh, 1.4f), 1);
    ExpectVec(rig.pose.Frames[0].Keys[0].Translation, Vec3{17, 0, 0});  // mixed before the advance
    EXPECT_EQ(rig.layers[0].Frame, 18);  // round(18.4)
    EXPECT_EQ(rig.layers[0].NextFrame, 18);
    AdvanceAnimLayers(rig.layers, 5.0f);
    EXPECT_EQ(rig.layers[0].Frame, 19);  // at most the last frame
    AdvanceAnimLayers(rig.layers, 1.0f);
    EXPECT_EQ(rig.layers[0].Anim, nullptr);
    EXPECT_EQ(rig.layers[0].Frame, 0);
    EXPECT_FLOAT_EQ(rig.layers[0].Time, 0.0f);
    // Slower than one frame a second: one whole frame per update.
    rig.Set(2, 0, 1.0f, 1);
    rig.layers[2].Frame = 3;
    rig.layers[2].Time = 3.0f;
    AdvanceAnimLayers(rig.layers, 80.0f);
    EXPECT_EQ(rig.layers[2].Frame, 4);
}

}  // namespace
