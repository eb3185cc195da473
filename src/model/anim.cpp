#include "model/anim.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <utility>

#include "core/binio.h"
#include "core/pack.h"
#include "core/paths.h"
#include "model/mesh.h"

namespace {

// Bytes of one bone key in a file: three flags, a quaternion, a translation and a scale.
constexpr uint64_t BoneKeyBytes = 52;

void Refuse(const char* file, const char* fault) {
    std::fprintf(stderr, "anim: %s: %s; file refused\n", file, fault);
}

// One 52-byte key: three flag words, then ten floats (rotation w x y z, translation, scale).
void DecodeBoneKey(const uint8_t* p, NztBoneKey& key) {
    uint32_t w[13];
    for (int i = 0; i < 13; ++i, p += 4)
        w[i] = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
    auto f = [&w](int i) { return std::bit_cast<float>(w[i]); };
    key.HasRotation = w[0];
    key.HasTranslation = w[1];
    key.HasScale = w[2];
    key.Rotation = {f(3), f(4), f(5), f(6)};
    key.Translation = {f(7), f(8), f(9)};
    key.Scale = {f(10), f(11), f(12)};
}

Vec3 Lerp(const Vec3& a, const Vec3& b, float t) { return a + (b - a) * t; }

// Calls fill(a, b) for every span between consecutive frames that `keyed` accepts, the first
// span starting at frame 0 whatever frame 0 holds.
template <typename Keyed, typename Fill>
void ForEachSpan(uint32_t frames, Keyed keyed, Fill fill) {
    uint32_t a = 0;
    for (uint32_t k = 1; k < frames; ++k) {
        if (keyed(k)) {
            fill(a, k);
            a = k;
        }
    }
}

float SpanT(uint32_t a, uint32_t j, uint32_t b) {
    return static_cast<float>(j - a) / static_cast<float>(b - a);
}

uint32_t ClampFrame(uint32_t frame, const NztAnim* anim) {
    return frame < anim->FrameCount ? frame : anim->FrameCount - 1;
}

NztBoneKey MixKey(const NztBoneKey& base, const NztBoneKey& layer, float w, bool additive) {
    NztBoneKey out = base;
    out.HasRotation |= layer.HasRotation;
    out.HasTranslation |= layer.HasTranslation;
    out.HasScale |= layer.HasScale;
    if (additive) {
        out.Rotation = QuatMultiply(QuatSlerp(QuatIdentity, layer.Rotation, w), base.Rotation);
        out.Translation = base.Translation + layer.Translation * w;
        out.Scale = base.Scale + layer.Scale * w;
    } else {
        out.Rotation = QuatSlerp(base.Rotation, layer.Rotation, w);
        out.Translation = Lerp(base.Translation, layer.Translation, w);
        out.Scale = Lerp(base.Scale, layer.Scale, w);
    }
    return out;
}

}  // namespace

Quat ReadQuat(BinReader& r) {
    Quat q;
    q.w = r.F32();
    q.x = r.F32();
    q.y = r.F32();
    q.z = r.F32();
    return q;
}

BinReader ModelFileReader(NztFile& stream, std::unique_ptr<uint8_t[]>& holder, bool whole) {
    if (!stream.memoryStream && !whole) return BinReader(stream);
    const uint32_t at = stream.Tell();
    const uint32_t length = stream.Length();
    const uint32_t rest = at < length ? length - at : 0;
    if (stream.memoryStream) return BinReader(stream.memoryBlock ? stream.memoryBlock + at : nullptr, rest);
    holder.reset(new uint8_t[rest ? rest : 1]);
    const uint32_t got = rest ? stream.Read(rest, holder.get()) : 0;
    return BinReader(holder.get(), got);
}

bool ReadModelVersion(BinReader& r, uint32_t first, uint32_t last, uint32_t* field, const char* subsystem,
                      const char* source) {
    const uint32_t version = r.U32();
    if (!r.Ok()) {
        std::fprintf(stderr, "%s: %s: truncated before the version word; file refused\n", subsystem, source);
        return false;
    }
    *field = version;
    if (version < first || version > last) {
        std::fprintf(stderr, "%s: %s: version %u not in %u..%u; file refused\n", subsystem, source, version, first,
                     last);
        return false;
    }
    return true;
}

Quat QuatSlerp(const Quat& a, const Quat& b, float t) {
    float c = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
    float sign = 1.0f;
    if (c < 0.0f) {
        sign = -1.0f;
        c = -c;
    }
    float wa, wb;
    if (1.0f - c > 0.001f) {
        float omega = std::acos(c);
        float s = std::sin(omega);
        wa = std::sin((1.0f - t) * omega) / s;
        wb = std::sin(t * omega) / s;
    } else {
        // Nearly parallel: the sines vanish, so blend linearly.
        wa = 1.0f - t;
        wb = t;
    }
    wb *= sign;
    return {wa * a.w + wb * b.w, wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z};
}

Quat QuatMultiply(const Quat& p, const Quat& q) {
    Vec3 pv{p.x, p.y, p.z};
    Vec3 qv{q.x, q.y, q.z};
    Vec3 v = qv * p.w + pv * q.w + Cross(pv, qv);
    return {p.w * q.w - Dot(pv, qv), v.x, v.y, v.z};
}

void NztAnim::Init() {
    FreeFrames();
    CloseStream();
    Version = 0;
    NameIndex = -1;
    Name[0] = 0;
    TexAnim = FileWord = 0;
    LoopFlag = IdleFlag = JumpStartFlag = DiveStartFlag = SpellWord = 0;
    RootSpeed = RootStep = Vec3{0.0f, 0.0f, 0.0f};
}

void NztAnim::AllocFrames(uint32_t bones, uint32_t frames) {
    FreeFrames();
    FrameCount = frames;
    InvFrameCount = frames ? 1.0f / static_cast<float>(frames) : 1.0f;
    BoneCount = bones;
    Frames.resize(frames);
    KeyStore.resize(uint64_t{frames} * bones);
    // Freshly constructed frames and keys already hold the reset state.
    for (uint32_t k = 0; k < frames; ++k) Frames[k].Keys = bones ? &KeyStore[uint64_t{k} * bones] : nullptr;
}

void NztAnim::ResetFrames() {
    for (NztAnimFrame& frame : Frames) {
        NztBoneKey* keys = frame.Keys;
        frame = NztAnimFrame{};
        frame.Keys = keys;
    }
    std::fill(KeyStore.begin(), KeyStore.end(), NztBoneKey{});
}

void NztAnim::FreeFrames() {
    std::vector<NztAnimFrame>().swap(Frames);
    std::vector<NztBoneKey>().swap(KeyStore);
    FrameCount = 0;
    InvFrameCount = 1.0f;
    BoneCount = 0;
}

void NztAnim::CloseStream() { Stream.CloseAndClear(); }

int NztAnim::Load(const char* path, uint32_t minBones) {
    if (!Stream.OpenRead(path, PackTrees[PackAnims])) {
        CloseStream();
        return 0;
    }
    return Parse(path, minBones);
}

int NztAnim::Parse(const char* sourceName, uint32_t minBones) {
    char fault[128];
    std::unique_ptr<uint8_t[]> bytes;
    BinReader r = ModelFileReader(Stream, bytes, true);
    if (!ReadModelVersion(r, QvaFirstVersion, QvaLastVersion, &Version, "anim", sourceName)) {
        CloseStream();
        return 0;
    }
    const uint32_t version = Version;
    uint32_t frames = r.U32();
    uint32_t bones = r.U32();
    uint32_t stored = r.U32();
    uint32_t texAnim = version >= 10001 ? r.U32() : 0;
    uint32_t fileWord = version >= 10002 ? r.U32() : 0;
    const char* bad = nullptr;
    uint32_t keyBones = std::max(bones, minBones);
    uint64_t frameBytes = (version >= 10001 ? 20 : 16) + uint64_t{bones} * BoneKeyBytes;
    if (!r.Ok())
        bad = "header truncated";
    else if (frames == 0)
        bad = "frame count is 0";
    else if (frames > MaxAnimFrames || uint64_t{frames} * keyBones > MaxAnimKeys)
        bad = "frame or bone count too large";
    else if (uint64_t{frames} * std::max(bones, 1u) >
             std::max(AnimSlotsAnySize, AnimSlotsPerFileByte * r.Length()))
        bad = "frame and bone counts far beyond what the file holds";
    else if (!r.Fits(stored, frameBytes))
        bad = "stored frame count runs past the end of the file";
    if (bad) {
        Refuse(sourceName, bad);
        CloseStream();
        return 0;
    }

    // Read into a fresh animation so that a refused file leaves this one as it was.
    NztAnim parsed;
    parsed.AllocFrames(keyBones, frames);
    // Sized only when frames are stored: then the file holds at least this many bytes.
    std::vector<uint8_t> keyBytes(stored ? static_cast<size_t>(uint64_t{bones} * BoneKeyBytes) : 0);
    for (uint32_t s = 0; s < stored && !bad; ++s) {
        uint32_t k = r.U32();
        int32_t value = r.I32();
        uint32_t hasPosition = r.U32();
        uint32_t hasRotation = r.U32();
        uint32_t hasTex = version >= 10001 ? r.U32() : 0;
        if (!r.Ok()) {
            std::snprintf(fault, sizeof fault, "stored frame %u truncated", s);
            bad = fault;
            break;
        }
        if (k >= frames) {
            std::snprintf(fault, sizeof fault, "stored frame %u: frame index %u not below the frame count %u", s,
                          k, frames);
            bad = fault;
            break;
        }
        NztAnimFrame& frame = parsed.Frames[k];
        frame.FrameValue = value;
        frame.HasPosition = hasPosition;
        frame.HasRotation = hasRotation;
        frame.HasTexTransform = hasTex;
        frame.Keyed = 1;
        if (hasPosition) frame.Position = ReadVec3(r);
        if (hasRotation) frame.Rotation = ReadQuat(r);
        if (hasTex)
            for (float& f : frame.TexTransform) f = r.F32();
        r.Read(keyBytes.data(), keyBytes.size());
        if (!r.Ok()) {
            std::snprintf(fault, sizeof fault, "stored frame %u truncated", s);
            bad = fault;
            break;
        }
        const uint8_t* p = keyBytes.data();
        for (uint32_t b = 0; b < bones; ++b, p += BoneKeyBytes) DecodeBoneKey(p, frame.Keys[b]);
    }
    if (bad) {
        Refuse(sourceName, bad);
        CloseStream();
        return 0;
    }

    if (!GetPathFileName(Name, sourceName)) Name[0] = 0;
    FrameCount = parsed.FrameCount;
    InvFrameCount = parsed.InvFrameCount;
    BoneCount = parsed.BoneCount;
    // Moving the vectors keeps their buffers, so the frames' key pointers stay valid.
    Frames = std::move(parsed.Frames);
    KeyStore = std::move(parsed.KeyStore);
    TexAnim = texAnim;
    FileWord = fileWord;
    CloseStream();
    BuildDerived();
    return 1;
}

void NztAnim::BuildDerived() {
    const uint32_t F = FrameCount;
    if (F == 0 || Frames.size() < F) return;
    NztAnimFrame* fr = Frames.data();

    ForEachSpan(
        F, [&](uint32_t k) { return fr[k].HasPosition != 0; },
        [&](uint32_t a, uint32_t b) {
            for (uint32_t j = a + 1; j < b; ++j) fr[j].Position = Lerp(fr[a].Position, fr[b].Position, SpanT(a, j, b));
        });
    fr[0].PositionDelta = fr[0].Position;
    for (uint32_t k = 1; k < F; ++k) fr[k].PositionDelta = fr[k].Position - fr[k - 1].Position;

    ForEachSpan(
        F, [&](uint32_t k) { return fr[k].HasRotation != 0; },
        [&](uint32_t a, uint32_t b) {
            for (uint32_t j = a + 1; j < b; ++j)
                fr[j].Rotation = QuatSlerp(fr[a].Rotation, fr[b].Rotation, SpanT(a, j, b));
            for (uint32_t j = a; j <= b; ++j) fr[j].RotationDelta = fr[j].Rotation;
        });
    // Ascending, so Rotation(k - 1) is still the absolute rotation when frame k is turned into
    // the step from frame k - 1.
    for (uint32_t k = 1; k < F; ++k)
        fr[k].RotationDelta = QuatMultiply(QuatConjugate(fr[k - 1].Rotation), fr[k].RotationDelta);

    // Each channel of each bone closes its own span at every stored frame that sets its flag.
    const uint32_t B = BoneCount;
    if (B > 0) {
        std::vector<uint32_t> lastR(B, 0), lastT(B, 0), lastS(B, 0);
        for (uint32_t k = 1; k < F; ++k) {
            if (!fr[k].Keyed) continue;
            for (uint32_t b = 0; b < B; ++b) {
                const NztBoneKey& key = fr[k].Keys[b];
                if (key.HasRotation) {
                    uint32_t a = lastR[b];
                    for (uint32_t j = a + 1; j < k; ++j)
                        fr[j].Keys[b].Rotation = QuatSlerp(fr[a].Keys[b].Rotation, key.Rotation, SpanT(a, j, k));
                    lastR[b] = k;
                }
                if (key.HasTranslation) {
                    uint32_t a = lastT[b];
                    for (uint32_t j = a + 1; j < k; ++j)
                        fr[j].Keys[b].Translation = Lerp(fr[a].Keys[b].Translation, key.Translation, SpanT(a, j, k));
                    lastT[b] = k;
                }
                if (key.HasScale) {
                    uint32_t a = lastS[b];
                    for (uint32_t j = a + 1; j < k; ++j)
                        fr[j].Keys[b].Scale = Lerp(fr[a].Keys[b].Scale, key.Scale, SpanT(a, j, k));
                    lastS[b] = k;
                }
            }
        }
    }

    if (TexAnim) {
        ForEachSpan(
            F, [&](uint32_t k) { return fr[k].HasTexTransform != 0; },
            [&](uint32_t a, uint32_t b) {
                for (uint32_t j = a + 1; j < b; ++j)
                    for (int c = 0; c < 3; ++c)
                        fr[j].TexTransform[c] =
                            fr[a].TexTransform[c] + (fr[b].TexTransform[c] - fr[a].TexTransform[c]) * SpanT(a, j, b);
            });
    }

    Vec3 sum{0.0f, 0.0f, 0.0f};
    for (uint32_t k = 0; k < F; ++k) sum = sum + fr[k].PositionDelta;
    RootStep = sum * InvFrameCount;
    RootSpeed = RootStep * 50.0f;
}

void BlendAnims(const NztAnim* from, uint32_t fromFrame, uint32_t toFrame, const NztAnim* to, NztAnim* out) {
    if (!from || !to || !out || from->FrameCount == 0 || to->FrameCount == 0 || out->FrameCount == 0) return;
    const NztAnimFrame& a = from->Frames[ClampFrame(fromFrame, from)];
    const NztAnimFrame& b = to->Frames[ClampFrame(toFrame, to)];
    const uint32_t F = out->FrameCount;
    const float invF = 1.0f / static_cast<float>(F);
    out->RootSpeed = to->RootSpeed;
    const Vec3 step = b.PositionDelta * invF;
    const Quat turn = QuatSlerp(QuatIdentity, b.RotationDelta, invF);
    for (uint32_t k = 0; k < F; ++k) {
        out->Frames[k].PositionDelta = step;
        out->Frames[k].RotationDelta = turn;
    }
    const uint32_t n = std::min({from->BoneCount, to->BoneCount, out->BoneCount});
    for (uint32_t bone = 0; bone < n; ++bone) {
        const NztBoneKey& ka = a.Keys[bone];
        const NztBoneKey& kb = b.Keys[bone];
        for (uint32_t k = 0; k < F; ++k) {
            NztBoneKey& o = out->Frames[k].Keys[bone];
            // The rotation reaches (F - 1) / F of the way, translation and scale all of it.
            o.Rotation = QuatSlerp(ka.Rotation, kb.Rotation, static_cast<float>(k) * invF);
            const float t = static_cast<float>(k + 1) * invF;
            o.Translation = Lerp(ka.Translation, kb.Translation, t);
            o.Scale = Lerp(ka.Scale, kb.Scale, t);
            o.HasRotation = ka.HasRotation | kb.HasRotation;
            o.HasTranslation = ka.HasTranslation | kb.HasTranslation;
            o.HasScale = ka.HasScale | kb.HasScale;
        }
    }
}

void CopyAnimFrame(const NztAnim* source, uint32_t frame, NztAnim* target) {
    if (!source || !target || source->FrameCount == 0 || target->FrameCount == 0) return;
    const NztAnimFrame& from = source->Frames[ClampFrame(frame, source)];
    NztAnimFrame& to = target->Frames[0];
    NztBoneKey* keys = to.Keys;
    to = from;
    to.Keys = keys;
    const uint32_t n = std::min(source->BoneCount, target->BoneCount);
    std::copy(from.Keys, from.Keys + n, keys);
}

void BlendBoneKeys(uint32_t layerFrame, uint32_t baseFrame, uint32_t boneLimit, const NztAnim* baseAnim,
                   const NztAnim* layerAnim, NztAnim* out, int32_t mode, float w, const uint8_t* boneMask) {
    if (!baseAnim || !layerAnim || !out || mode < 0 || mode > 4) return;
    if (baseAnim->FrameCount == 0 || layerAnim->FrameCount == 0 || out->FrameCount == 0) return;
    const NztBoneKey* base = baseAnim->Frames[ClampFrame(baseFrame, baseAnim)].Keys;
    const NztBoneKey* layer = layerAnim->Frames[ClampFrame(layerFrame, layerAnim)].Keys;
    NztBoneKey* keys = out->Frames[0].Keys;
    const uint32_t covered = std::min({out->BoneCount, baseAnim->BoneCount, boneLimit});
    const uint32_t n = std::min(covered, layerAnim->BoneCount);
    for (uint32_t i = 0; i < n; ++i) {
        const bool masked = mode == 0 || (boneMask && boneMask[i]);
        // base may be out itself (later layers mix onto the pose): read before writing.
        const NztBoneKey b = base[i];
        keys[i] = masked ? MixKey(b, layer[i], w, mode == 1 || mode == 3) : b;
    }
    // Bones the layer has no keys for take the base key rather than keeping an old pose.
    if (keys != base)
        for (uint32_t i = n; i < covered; ++i) keys[i] = base[i];
}

void SampleFrameMotion(uint32_t layerFrame, const NztAnim* layerAnim, uint32_t baseFrame, const NztAnim* baseAnim,
                       NztAnim* out, int32_t mode, float w) {
    if (!baseAnim || !layerAnim || !out) return;
    if (baseAnim->FrameCount == 0 || layerAnim->FrameCount == 0 || out->FrameCount == 0) return;
    const NztAnimFrame base = baseAnim->Frames[ClampFrame(baseFrame, baseAnim)];
    const NztAnimFrame& layer = layerAnim->Frames[ClampFrame(layerFrame, layerAnim)];
    NztAnimFrame& o = out->Frames[0];
    // The absolute root of the frame follows the base, so that readers of the pose's frame see a
    // whole frame.
    o.HasPosition = base.HasPosition;
    o.HasRotation = base.HasRotation;
    o.Position = base.Position;
    o.Rotation = base.Rotation;
    if (mode == 1) {
        o.PositionDelta = base.PositionDelta + layer.PositionDelta * w;
        o.RotationDelta = QuatMultiply(QuatSlerp(QuatIdentity, layer.RotationDelta, w), base.RotationDelta);
    } else if (mode == 2) {
        o.PositionDelta = Lerp(base.PositionDelta, layer.PositionDelta, w);
        o.RotationDelta = QuatSlerp(base.RotationDelta, layer.RotationDelta, w);
    } else {
        o.PositionDelta = base.PositionDelta;
        o.RotationDelta = base.RotationDelta;
    }
}

int MixAnimLayers(NztMesh* mesh, float dt50) {
    if (!mesh || !mesh->AnimLayers) return 0;
    int mixed = 0;
    NztAnim* pose = mesh->LayerPose;
    const NztAnim* base = mesh->CurrentAnim;
    uint32_t baseFrame = mesh->Frame;
    if (pose && base && base->FrameCount > 0 && pose->FrameCount > 0) {
        for (int i = 0; i < AnimLayerCount; ++i) {
            NztAnimLayer& layer = mesh->AnimLayers[i];
            if (!layer.Anim || layer.Anim->FrameCount == 0) continue;
            const int32_t last = static_cast<int32_t>(layer.Anim->FrameCount - 1);
            if (!layer.Running) {
                // A following layer sits at the same fraction of its animation as the base.
                int64_t f = 0;
                if (mesh->AnimFrameCount)
                    f = int64_t{layer.FrameCount} * int64_t{mesh->Frame} / int64_t{mesh->AnimFrameCount};
                layer.Frame = layer.NextFrame = static_cast<int32_t>(std::clamp<int64_t>(f, 0, last));
                layer.Time = static_cast<float>(layer.Frame);
            }
            const uint32_t layerFrame = static_cast<uint32_t>(std::clamp(layer.Frame, 0, last));
            BlendBoneKeys(layerFrame, baseFrame, mesh->MaxBoneCount, base, layer.Anim, pose, layer.BlendMode,
                          layer.Weight, mesh->LayerBoneMask);
            SampleFrameMotion(layerFrame, layer.Anim, baseFrame, base, pose, layer.BlendMode, layer.Weight);
            base = pose;
            baseFrame = 0;
            mixed = 1;
        }
    }
    AdvanceAnimLayers(mesh->AnimLayers, dt50);
    return mixed;
}

void AdvanceAnimLayers(NztAnimLayer* layers, float dt50) {
    if (!layers) return;
    for (int i = 0; i < AnimLayerCount; ++i) {
        NztAnimLayer& layer = layers[i];
        if (!layer.Anim || !layer.Running) continue;
        const int32_t last = static_cast<int32_t>(layer.Anim->FrameCount) - 1;
        if (layer.Frame < last) {
            layer.NextFrame = layer.Frame + 1;
            if (dt50 > 50.0f) {
                // Slower than one frame a second: one whole frame per update.
                layer.Frame += 1;
                layer.Time = static_cast<float>(layer.Frame);
            } else {
                layer.Time += dt50;
                layer.Frame = std::clamp(RoundToInt(layer.Time), 0, last);
            }
        } else {
            layer.Anim = nullptr;
            layer.Frame = layer.NextFrame = 0;
            layer.Time = 0.0f;
        }
    }
}
