// The base object's animation cursor and frame spells, its animation layers, what hangs on its
// attach points, its trail list and its user properties.
#include "objects/baseanim.h"

#include <algorithm>

#include "core/frameclock.h"
#include "core/paths.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/base3d.h"
#include "objects/charlinks.h"
#include "objects/posing.h"

namespace {

constexpr uint32_t AttachKindObject = 4;
constexpr int32_t NoSpell = -1;
// An update slower than this many 1/50 s steps (one second) advances one frame and no more.
constexpr float MaxFrameSteps = 50.0f;

// The spell of frame f of anim, or NoSpell for a frame the animation does not have.
int32_t FrameSpell(const NztAnim* anim, int32_t f) {
    if (anim == nullptr || f < 0 || static_cast<size_t>(f) >= anim->Frames.size()) return NoSpell;
    return anim->Frames[static_cast<size_t>(f)].FrameValue;
}

void CastOn(NztBaseObject* object, int32_t spell) {
    if (CharacterLinks.castFrameSpell != nullptr) CharacterLinks.castFrameSpell(object, spell);
}

}  // namespace

void CastFrameSpells(NztBaseObject* object) {
    if (object == nullptr) return;
    // The effects may start another animation on the object: the frames passed are those of the
    // animation and range the step left.
    const NztAnim* anim = object->currentAnim;
    const int32_t last = object->currentFrame;
    for (int32_t f = std::max(0, object->firstDueFrame); f < last; ++f) {
        const int32_t spell = FrameSpell(anim, f);
        if (spell != NoSpell) CastOn(object, spell);
    }
}

void CastCurrentFrameSpell(NztBaseObject* object) {
    if (object == nullptr) return;
    const int32_t spell = FrameSpell(object->currentAnim, object->currentFrame);
    if (spell != NoSpell) CastOn(object, spell);
}

// ---------------------------------------------------------------------------------------------
// Animation cursor

void NztBaseObject::ResizeAnimSlots(uint32_t count) {
    if (mesh == nullptr) return;
    ResizeMeshAnimSlots(mesh, count);
    animSlots = mesh->AnimSlots.empty() ? nullptr : mesh->AnimSlots.data();
}

void NztBaseObject::UpdateAnimEvents() {
    if (currentAnim == nullptr) return;
    if (frameUnchanged == 0) {
        CastFrameSpells(this);
        CastCurrentFrameSpell(this);
        // A spell's effects may have stopped the animation.
        if (currentAnim == nullptr) return;
    }
    if (returnAnim != nullptr) {
        if (currentFrame >= frameCount - 1) {
            NztAnim* next = returnAnim;
            BlendToAnim(next, 0, nullptr, 0);
            returnAnim = nullptr;
        } else {
            StepAnimFrame();
        }
    } else if (currentAnim == ownAnim && IsAnimAtEnd()) {
        SetAnim(nullptr, 0, nullptr, 0);
    } else {
        StepAnimFrame();
    }
}

int32_t NztBaseObject::StepAnimFrame() {
    const float steps = FrameTiming.frameFactor;
    previousFrame = currentFrame;
    if (steps > MaxFrameSteps) {
        currentFrame = currentFrame + 1 >= frameCount ? 0 : currentFrame + 1;
        firstDueFrame = currentFrame;
        frameTime = static_cast<float>(currentFrame);
        frameUnchanged = 0;
    } else if (currentFrame >= frameCount - 1) {
        currentFrame = firstDueFrame = 0;
        frameTime = 0.0f;
        frameUnchanged = 0;
    } else {
        firstDueFrame = currentFrame + 1;
        frameTime += steps;
        currentFrame = RoundToInt(frameTime);
        if (currentFrame >= frameCount - 1) {
            currentFrame = frameCount - 1;
            frameTime = static_cast<float>(currentFrame);
        }
        frameUnchanged = currentFrame == previousFrame ? 1 : 0;
    }
    return currentFrame;
}

void NztBaseObject::SetAnimFrame(int32_t frame) {
    previousFrame = currentFrame;
    // Frames come from scripts: one past the end wraps, a negative one is the first.
    if (frame >= frameCount) frame = frameCount >= 2 ? frame % (frameCount - 1) : 0;
    if (frame < 0) frame = 0;
    currentFrame = firstDueFrame = frame;
    frameTime = static_cast<float>(frame);
    frameUnchanged = frame == previousFrame ? 1 : 0;
}

int32_t NztBaseObject::IsAnimAtEnd() const {
    return currentAnim == nullptr || currentFrame >= frameCount - 1 ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Layers

void NztBaseObject::SetLayerBoneMask(int32_t index, uint8_t mode) {
    const auto bones = static_cast<int32_t>(boneMask.size());
    if (mode != 0 && index == 0) {
        std::fill(boneMask.begin(), boneMask.end(), uint8_t{1});
        return;
    }
    std::fill(boneMask.begin(), boneMask.end(), uint8_t{0});
    if (index < 0 || index >= bones) return;
    boneMask[static_cast<size_t>(index)] = 1;
    if (mode == 0 || mesh == nullptr || mesh->CurrentLod >= MeshLodCount) return;
    // The group of a bone: the bone and the bones whose pivot it carries.
    const std::vector<std::vector<uint32_t>>& children = mesh->Lods[mesh->CurrentLod].BoneChildren;
    if (static_cast<size_t>(index) >= children.size()) return;
    for (uint32_t b : children[static_cast<size_t>(index)]) {
        if (b < boneMask.size()) boneMask[b] = 1;
    }
}

void NztBaseObject::SetAnimLayer(int32_t layer, NztAnim* anim, int32_t blendMode, float weight, int32_t running,
                                 float secondFloat, int32_t boneIndex, uint8_t maskMode) {
    if (layers.empty() || layer < 0 || layer >= static_cast<int32_t>(layers.size())) return;
    NztAnimLayer& l = layers[static_cast<size_t>(layer)];
    if (anim == nullptr) {
        l.Anim = nullptr;
        l.Frame = l.NextFrame = 0;
        l.Time = 0.0f;
        return;
    }
    if (blendMode != 0) SetLayerBoneMask(boneIndex, maskMode);
    l.BoneIndex = boneIndex;
    l.FrameCount = static_cast<int32_t>(anim->FrameCount);
    l.Running = running;
    l.BlendMode = blendMode;
    l.Weight = weight;
    l.SecondFloat = secondFloat;
    l.StartWeight = weight;
    if (l.Anim != anim) {
        l.Anim = anim;
        l.Frame = l.NextFrame = 0;
        l.Time = 0.0f;
    }
}

// ---------------------------------------------------------------------------------------------
// Attach points

void NztBaseObject::GetPointPosition(int32_t index, float out[3]) const {
    const float* p = Position;
    if (index >= 0 && index < static_cast<int32_t>(attachPoints.size())) {
        const uint32_t anchor = attachPoints[static_cast<size_t>(index)].Anchor;
        if (anchor < vertices.size()) p = &vertices[anchor].x;
    }
    std::copy(p, p + 3, out);
}

void NztBaseObject::SetPointPosition(int32_t index, const float p[3]) {
    if (index < 0 || index >= static_cast<int32_t>(attachPoints.size())) return;
    const uint32_t anchor = attachPoints[static_cast<size_t>(index)].Anchor;
    if (anchor < vertices.size()) vertices[anchor] = {p[0], p[1], p[2]};
}

void NztBaseObject::GetPointRotation(int32_t index, float out[9]) const {
    Quat q = QuatIdentity;
    const NztAnimFrame* frame = nullptr;
    if (currentAnim != nullptr && currentFrame >= 0 && static_cast<size_t>(currentFrame) < currentAnim->Frames.size())
        frame = &currentAnim->Frames[static_cast<size_t>(currentFrame)];
    if (mesh != nullptr && mesh->CurrentLod < MeshLodCount && index >= 0 && frame != nullptr && frame->Keys != nullptr) {
        const std::vector<std::vector<uint32_t>>& chains = mesh->Lods[mesh->CurrentLod].AttachBoneLists;
        if (static_cast<size_t>(index) < chains.size()) {
            for (uint32_t b : chains[static_cast<size_t>(index)]) {
                if (b < currentAnim->BoneCount) q = QuatMultiply(q, frame->Keys[b].Rotation);
            }
        }
    }
    const float wxyz[4] = {q.w, q.x, q.y, q.z};
    QuatToMatrix(out, wxyz);
}

void NztBaseObject::AttachTo(NztBaseObject* newParent, int32_t index, uint32_t attachKind) {
    // An object cannot hang on itself: the parent chain would never end.
    if (newParent == nullptr || newParent == this) return;
    if (index < 0 || index >= static_cast<int32_t>(newParent->attachPoints.size())) return;
    newParent->ClearAttachPoint(index);
    Detach();
    NztAttachPoint& point = newParent->attachPoints[static_cast<size_t>(index)];
    parent = newParent;
    parentVertex = static_cast<int32_t>(point.Anchor);
    parentPoint = index;
    point.Kind = attachKind;
    point.Target = static_cast<NztBaseObject*>(this);
    for (size_t i = 0; i < newParent->attachPoints.size(); ++i) {
        NztAttachPoint& other = newParent->attachPoints[i];
        if (i != static_cast<size_t>(index) && other.Kind == attachKind && other.Target == point.Target) {
            other.Kind = 0;
            other.Target = nullptr;
        }
    }
}

NztBaseObject* NztBaseObject::GetAttachedObject(int32_t index) const {
    if (index < 0 || index >= static_cast<int32_t>(attachPoints.size())) return nullptr;
    const NztAttachPoint& point = attachPoints[static_cast<size_t>(index)];
    return point.Kind == AttachKindObject ? static_cast<NztBaseObject*>(point.Target) : nullptr;
}

void NztBaseObject::MoveToObject(const NztBaseObject* reference) {
    if (reference == nullptr) return;
    Detach();
    const float* base = reference->parent != nullptr ? reference->parent->Position : reference->Position;
    const float* forward = reference->rotation + 6;
    const float along = reference->meshOffset[2];
    float p[3];
    for (int k = 0; k < 3; ++k) p[k] = base[k] + forward[k] * along;
    std::copy(p, p + 3, Position);
    std::copy(p, p + 3, PreviousPosition);
    float r[9];
    std::copy(reference->rotation, reference->rotation + 9, r);
    std::copy(r, r + 9, rotation);
}

// ---------------------------------------------------------------------------------------------
// Trails

void NztBaseObject::AddTrailLink(NztTrail* trail) {
    if (trail == nullptr || std::find(trails.begin(), trails.end(), trail) != trails.end()) return;
    trails.push_back(trail);
}

// ---------------------------------------------------------------------------------------------
// User properties

int32_t NztBaseObject::AddUserProperty() {
    if (userProperties == nullptr) userProperties = new UserPropertyList;
    ::AddUserProperty(userProperties);
    return static_cast<int32_t>(userProperties->properties.size());
}

UserProperty* NztBaseObject::GetUserProperty(int32_t index) {
    if (userProperties == nullptr || index < 0 ||
        static_cast<size_t>(index) >= userProperties->properties.size())
        return nullptr;
    return &userProperties->properties[static_cast<size_t>(index)];
}
