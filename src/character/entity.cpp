// The character object: construction and release, animation slots and cross-fades, the per-frame
// update, drawing, contacts and their events, targets, mounting, facing and placement.
#include "character/entity.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "character/objeffects.h"
#include "collision/collquery.h"
#include "core/frameclock.h"
#include "core/paths.h"
#include "effects/meshdraw.h"
#include "effects/shading.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/attach.h"
#include "objects/baseanim.h"
#include "objects/charlinks.h"
#include "objects/objtype.h"
#include "objects/posing.h"
#include "render/renderstate.h"

namespace {

// Range of a character, with its fade start 0.8 x range and the fade factor 1 / (0.2 x range).
constexpr float EntityRange = 250.0f;
// Frames of the owned transition animation, and its step.
constexpr uint32_t BlendFrames = 5;
constexpr uint32_t EventSurface = 8;

uint32_t RecordsHaveEventType(NztEventObject* object, uint32_t code) {
    return object != nullptr && object->HasEventType(static_cast<int32_t>(code)) ? 1u : 0u;
}

constexpr CharacterHooks DefaultCharacterHooks = {RecordsHaveEventType, nullptr};

// Events go through the object hooks, so that tests see them without event records.
uint32_t Send(NztEventObject* object, uint32_t code) {
    if (object == nullptr) return 0;
    return ObjectServices.sendEvent(object, code, 0, 0, 0);
}

// A contact event: the touched object learns which character touched it.
uint32_t SendContact(NztEventObject* touched, uint32_t code, NztEventObject* character) {
    if (touched == nullptr) return 0;
    return ObjectServices.sendEvent(touched, code, EventObjectHandle(character), 0, 0);
}

bool FiniteVector(const float v[3]) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

uint32_t MeshBones(const NztMesh* mesh) {
    return mesh == nullptr ? 0 : std::max(mesh->LargestBoneCount, mesh->MaxBoneCount);
}

float Dt50() {
    return FrameTiming.frameFactor;
}

bool MovementTraceOn() {
    static const bool on = std::getenv("QUORVANE_TRACE_MOVEMENT") != nullptr;
    return on;
}

// The type's base name without its folder.
const char* TypeBaseName(const NztMesh* mesh) {
    const NztObjectType* type =
        mesh != nullptr && mesh->TypeIndex < ObjectTypeCount ? &ObjectTypeTable[mesh->TypeIndex] : nullptr;
    if (type == nullptr) return "?";
    const char* name = type->Name;
    const char* slash = std::strrchr(name, '/');
    return slash != nullptr ? slash + 1 : name;
}

}  // namespace

CharacterHooks CharacterServices = DefaultCharacterHooks;

float EntityBodyHeight(const NztEntity* e);

void ResetCharacterHooks() {
    CharacterServices = DefaultCharacterHooks;
}

bool operator==(const NztAction& a, const NztAction& b) {
    if (a.callback != b.callback) return false;
    if (a.callback == nullptr) return true;
    return a.adjust1 == b.adjust1 && a.adjust2 == b.adjust2 && a.adjust3 == b.adjust3;
}

// ---------------------------------------------------------------------------------------------
// Construction and release

NztEntity::NztEntity() {
    // The world floor reaches characters through this table: full before any character exists.
    InstallCharacterLinks();
    kind = ObjectKindEntity;
    NztBaseObject::SetRange(EntityRange);
    probeShape = &probeBlock;
    groundQuadStrength = 0.0f;
    ClearActionSlots();
    ResetActions();
}

NztEntity::~NztEntity() {
    if (targetingEntity != nullptr) {
        targetingEntity->SetTarget(nullptr);
        targetingEntity = nullptr;
    }
    FreeArrays();
    if (blendAnim != nullptr) {
        if (currentAnim == blendAnim) currentAnim = nullptr;
        delete blendAnim;
        blendAnim = nullptr;
    }
}

void NztEntity::FreeArrays() {
    std::vector<uint32_t>().swap(steeringBones);
    std::vector<EntityBoneRecord>().swap(boneRecords);
}

void NztEntity::SetupFromType(NztMesh* newMesh) {
    if (newMesh == nullptr) return;
    SetMesh(newMesh);
    CopyCollision(newMesh);
    probeBlock.baseSize = size;
    probeBlock.typeHeight = newMesh->Size.y;
    // The head stands at the top of the type's body: text boxes and the camera aim there.
    headHeight = newMesh->Size.y;
    const uint32_t bones = MeshBones(newMesh);
    if (blendAnim == nullptr) blendAnim = new NztAnim();
    blendAnim->Init();
    blendAnim->AllocFrames(std::max(bones, 1u), BlendFrames);
    blendAnim->ResetFrames();
    NztAnim* idle = GetAnim(0);
    if (newMesh->Skinned != 0 && idle != nullptr) animating = 1;
    if (idle != nullptr) {
        currentAnim = previousAnim = requestedAnim = idle;
        frameCount = static_cast<int32_t>(idle->FrameCount);
        boneCount = static_cast<int32_t>(std::min(newMesh->MaxBoneCount, idle->BoneCount));
    }
    ClearActionSlots();
}

void NztEntity::Release() {
    // Everyone that targets this character lets go of it while it is still whole, so that the
    // handlers of 30 and 39 see a complete character; a character being released is never taken
    // as a target again.
    releasing_ = true;
    for (uint32_t i = EntityCount; i-- > 0;) {
        if (i >= EntityCount) continue;
        NztEntity* e = EntityList[i];
        if (e == nullptr || e == this) continue;
        if (e->target == this) {
            if (e->order == EntityOrderKeepOffset) Send(this, EntityEventOrderTargetLost);
            if (e == PlayerEntity) Send(this, EntityEventPlayerTargetLost);
            e->target = nullptr;
        }
    }
    for (uint32_t i = EntityCount; i-- > 0;) {
        NztEntity* e = EntityList[i];
        if (e == nullptr || e == this) continue;
        if (e->target == this) e->target = nullptr;  // a handler may have set it again
        if (e->riddenEntity == this) e->riddenEntity = nullptr;
        if (e->targetingEntity == this) e->targetingEntity = nullptr;
        e->ClearContactsWith(this);
    }
    if (targetingEntity != nullptr) {
        targetingEntity->target = targetingEntity->target == this ? nullptr : targetingEntity->target;
        targetingEntity = nullptr;
    }
    target = nullptr;
    riddenEntity = nullptr;
    FreeArrays();
    ClearBlendLayer();
    if (blendAnim != nullptr) {
        if (currentAnim == blendAnim) currentAnim = nullptr;
        if (returnAnim == blendAnim) returnAnim = nullptr;
        delete blendAnim;
        blendAnim = nullptr;
    }
    requestedAnim = previousAnim = nextAnim = nullptr;
    ReleaseCollision();
}

// ---------------------------------------------------------------------------------------------
// Animation slots

NztAnim* NztEntity::GetAnim(uint32_t slot) {
    if (mesh == nullptr || slot >= AnimNameCount) return nullptr;
    if (slot < mesh->AnimSlots.size() && mesh->AnimSlots[slot] != nullptr) return mesh->AnimSlots[slot];
    const bool tried = slot < mesh->AnimSlotFlags.size() && mesh->AnimSlotFlags[slot] != 0;
    if (tried) return nullptr;
    NztAnim* anim = LoadEntityAnim(slot, mesh->TypeIndex);
    animSlots = mesh->AnimSlots.empty() ? nullptr : mesh->AnimSlots.data();
    return anim;
}

int32_t NztEntity::SlotOf(const NztAnim* anim) const {
    if (anim == nullptr || mesh == nullptr) return -1;
    for (size_t i = 0; i < mesh->AnimSlots.size() && i < AnimNameCount; ++i)
        if (mesh->AnimSlots[i] == anim) return static_cast<int32_t>(i);
    return -1;
}

NztAnim* NztEntity::GetAnimByName(const char* animName) {
    if (animName == nullptr || mesh == nullptr) return nullptr;
    for (uint32_t i = AnimNameCount; i-- > 0;) {
        if (strcasecmp(AnimNameTable[i], animName) == 0) return GetAnim(i);
    }
    return nullptr;
}

NztAnim* NztEntity::LoadAnimFileByName(const char* animName, const char* file) {
    if (mesh == nullptr || file == nullptr) return nullptr;
    int32_t slot = animName != nullptr ? FindAnimSlot(animName) : -1;
    if (slot < 0) slot = 0;
    NztAnim* old = slot < static_cast<int32_t>(mesh->AnimSlots.size()) ? mesh->AnimSlots[slot] : nullptr;
    if (old == nullptr || old != currentAnim) {
        NztAnim* loaded = LoadEntityAnimByName(static_cast<uint32_t>(slot), mesh->TypeIndex, file);
        animSlots = mesh->AnimSlots.empty() ? nullptr : mesh->AnimSlots.data();
        return loaded;
    }
    if (blendAnim != nullptr) CopyAnimFrame(old, static_cast<uint32_t>(std::max(currentFrame, 0)), blendAnim);
    NztAnim* loaded = LoadEntityAnimByName(static_cast<uint32_t>(slot), mesh->TypeIndex, file);
    animSlots = mesh->AnimSlots.empty() ? nullptr : mesh->AnimSlots.data();
    if (loaded != nullptr && blendAnim != nullptr) {
        BlendAnims(blendAnim, 0, 0, loaded, blendAnim);
        SetAnim(blendAnim, 0, nullptr, 0);
        requestedAnim = loaded;
    }
    return loaded;
}

void NztEntity::ClearBlendLayer() {
    if (!layers.empty()) SetAnimLayer(0, nullptr, 0, 0.0f, 0, 0.0f, 0, 0);
    blendWeight = 1.0f;
    blendStep = 0.0f;
}

void NztEntity::SetAnim(NztAnim* anim, int32_t lockedFlag, NztAnim* next, int32_t startFrame) {
    if (mesh == nullptr || mesh->Skinned == 0) return;
    ClearBlendLayer();
    previousAnim = currentAnim;
    if (anim == nullptr) anim = GetAnim(0);
    locked = lockedFlag;
    nextAnim = next;
    if (anim == nullptr || anim == currentAnim) return;
    requestedAnim = currentAnim = anim;
    animating = 1;
    frameCount = static_cast<int32_t>(anim->FrameCount);
    boneCount = static_cast<int32_t>(std::min(mesh->MaxBoneCount, anim->BoneCount));
    currentFrame = previousFrame = firstDueFrame = startFrame;
    frameTime = static_cast<float>(startFrame);
    lastEventFrame = -1;
    frameUnchanged = 0;
}

int32_t NztEntity::BlendToAnim(NztAnim* anim, int32_t lockedFlag, NztAnim* next, int32_t startFrame) {
    if (layers.empty() || mesh == nullptr) return 0;
    if (layers[0].Anim != nullptr) return 0;  // a layered blend runs
    if (blendAnim != nullptr && currentAnim == blendAnim) return 0;
    previousAnim = currentAnim;
    if (anim == nullptr) anim = GetAnim(0);
    nextAnim = next;
    locked = lockedFlag;
    if (anim == nullptr) return 1;
    if (anim == currentAnim || anim == requestedAnim) return 1;
    lastEventFrame = -1;
    frameUnchanged = 0;
    NztAnim* old = currentAnim;
    if (old != nullptr && old->LoopFlag != 0 && anim->LoopFlag != 0) {
        if (old->FrameCount < anim->FrameCount) {
            blendWeight = 0.1f;
            blendStep = 0.1f;
            SetAnimLayer(0, anim, 0, 0.1f, 0, 1.0f, 0, 0);
            requestedAnim = anim;
        } else {
            blendWeight = 0.9f;
            blendStep = -0.1f;
            SetAnimLayer(0, old, 0, 0.9f, 0, 1.0f, 0, 0);
            const int32_t oldCount = std::max(frameCount, 1);
            requestedAnim = currentAnim = anim;
            frameCount = static_cast<int32_t>(anim->FrameCount);
            boneCount = static_cast<int32_t>(std::min(mesh->MaxBoneCount, anim->BoneCount));
            const int32_t frame = static_cast<int32_t>(int64_t{currentFrame} * frameCount / oldCount);
            currentFrame = previousFrame = firstDueFrame = frame;
            frameTime = static_cast<float>(frame);
        }
        return 1;
    }
    requestedAnim = anim;
    animating = 1;
    if (old == nullptr || blendAnim == nullptr) {
        currentAnim = anim;
        frameCount = static_cast<int32_t>(anim->FrameCount);
        boneCount = static_cast<int32_t>(std::min(mesh->MaxBoneCount, anim->BoneCount));
        currentFrame = previousFrame = firstDueFrame = 0;
        frameTime = 0.0f;
        return 1;
    }
    storedStartFrame = startFrame;
    BlendAnims(old, static_cast<uint32_t>(std::max(currentFrame, 0)), static_cast<uint32_t>(std::max(startFrame, 0)),
               anim, blendAnim);
    currentAnim = blendAnim;
    frameCount = static_cast<int32_t>(blendAnim->FrameCount);
    boneCount = static_cast<int32_t>(std::min(mesh->MaxBoneCount, blendAnim->BoneCount));
    currentFrame = previousFrame = firstDueFrame = 0;
    frameTime = 0.0f;
    return 1;
}

void NztEntity::SetAnimIndex(uint32_t slot, int32_t lockedFlag, uint32_t nextSlot, int32_t startFrame) {
    if (mesh == nullptr || mesh->Skinned == 0) return;
    SetAnim(GetAnim(slot), lockedFlag, GetAnim(nextSlot), startFrame);
}

int32_t NztEntity::BlendToAnimIndex(uint32_t slot, int32_t lockedFlag, uint32_t nextSlot, int32_t startFrame) {
    if (layers.empty()) return 0;
    return BlendToAnim(GetAnim(slot), lockedFlag, GetAnim(nextSlot), startFrame);
}

bool NztEntity::PlayFirst(std::initializer_list<uint32_t> slots, int32_t startFrame) {
    for (uint32_t slot : slots) {
        if (Has(slot)) {
            BlendToAnimIndex(slot, 0, 0xFFFFFFFFu, startFrame);
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Per-frame update

void NztEntity::Update() {
    if (parent != nullptr) return;
    const bool keys = keyCount != 0;
    if (keys) ApplyControllerKeys();
    MeasureFromCamera(this);
    if (mesh == nullptr) return;
    orderClock += FrameTiming.frameTime;
    if (networkRecord == nullptr) {
        UpdateLod();
        UpdateBehaviour();
        StepAnimation();
        PushStateToModel();
        BindCollisionBody();
        // A move that is not a finite number (a bad value written by a movement step, or one the
        // sweep made of it) is dropped whole: the character stays where it stood, and the world is
        // never asked about a point that is not one.
        if (!FiniteVector(Position) && FiniteVector(PreviousPosition))
            std::copy(PreviousPosition, PreviousPosition + 3, Position);
        const float before[3] = {Position[0], Position[1], Position[2]};
        SkinLocalEntityMesh(mesh);
        PullVerticalSpeed();
        if (!FiniteVector(Position) && FiniteVector(before)) {
            for (int k = 0; k < 3; ++k) Position[k] = PreviousPosition[k] = before[k];
            *mesh->Motion = Vec3{0.0f, 0.0f, 0.0f};
        }
        FillContactBlocks();
        inWater = onSurface;  // the ground probe found water deep enough to swim in
        UpdateMeshAttachments(mesh);
        BindMeshData();
        if (locked == 0 && airborne == 0 && Position[1] - supportHeight > stepHeight) StartJump();
        AdjustPose();
    } else {
        // Driven over the network: the same behaviour step (its order excepted) and fall test, with
        // the remote skinning and without the procedural pose. The network places the character,
        // so nothing here moves it; but it learns the ground under it as a local one does, so
        // that its support height, the fall test and the contact events mean the same.
        UpdateLod();
        UpdateBehaviour();
        StepAnimation();
        PushStateToModel();
        BindCollisionBody();
        SkinRemoteEntityMesh(mesh);
        ProbeRemoteGround();
        PullVerticalSpeed();
        FillContactBlocks();
        inWater = onSurface;
        UpdateMeshAttachments(mesh);
        BindMeshData();
        // Its height comes from the network: back within a step of the ground, it has landed.
        if (airborne != 0 && Position[1] - supportHeight <= stepHeight) airborne = 0;
        if (locked == 0 && airborne == 0 && Position[1] - supportHeight > stepHeight) StartJump();
    }
    const bool moved = motion[1].x != 0.0f || motion[1].y != 0.0f || motion[1].z != 0.0f;
    if (collisionDirty != 0 || keys || order != 0 || moved || (mesh->CollisionSkinned != 0 && frameCount >= 2)) {
        if (hasCollision != 0) UpdateCollision();
        collisionDirty = 0;
    }
    SendStateEvents();
}

void NztEntity::TraceMovement() const {
    // With QUORVANE_TRACE_MOVEMENT set, every character's position goes to stderr ten times a
    // second (the end-to-end runs follow them): the player as "player", the others by type and id.
    if (!MovementTraceOn() || FrameAccumulators.tickA != 0.0f) return;
    if (this == PlayerEntity) {
        if (inputDriven != 0)
            std::fprintf(stderr, "movement: player at %.3f %.3f %.3f\n", Position[0], Position[1], Position[2]);
        return;
    }
    std::fprintf(stderr, "movement: %s #%d at %.3f %.3f %.3f\n", TypeBaseName(mesh), id, Position[0], Position[1],
                 Position[2]);
}

void NztEntity::SendStateEvents() {
    submerged = Position[1] < supportHeight - 1.25f * swimDepth ? 1u : 0u;
    if (airborne == 0) {
        if (wasAirborne != 0) Send(this, inWater != 0 ? 50 : 49);
        if (inWater != 0 && wasInWater == 0) Send(this, 51);
        if (inWater == 0 && wasInWater != 0) Send(this, 52);
        if (submerged != 0 && wasSubmerged == 0) Send(this, 53);
        if (submerged == 0 && wasSubmerged != 0) Send(this, 55);
    } else if (wasAirborne == 0) {
        Send(this, 48);
    }
    wasInWater = inWater;
    wasAirborne = airborne;
    wasSubmerged = submerged;
}

void NztEntity::LateUpdate() {
    if (parent == nullptr) return;
    MeasureFromCamera(this);
    if (mesh == nullptr) return;
    UpdateLod();
    UpdateBehaviour();
    StepAnimation();
    PushStateToModel();
    SkinEntityMesh(mesh);
    PullVerticalSpeed();
    UpdateMeshAttachments(mesh);
    if (alignBonesToParent != 0) AlignBonesToObject(mesh, parent->rotation);
    BindMeshData();
    AdjustPose();
}

void NztEntity::SyncModel() {
    MeasureFromCamera(this);
    UpdateLod();
    if (mesh == nullptr) return;
    PushStateToModel();
    mesh->UpdateRigid();
    PullVerticalSpeed();
    if (collisionDirty != 0) {
        if (hasCollision != 0) UpdateCollision();
        collisionDirty = 0;
    }
    UpdateMeshAttachments(mesh);
    BindMeshData();
}

void NztEntity::UpdateBehaviour() {
    // Every character's speed along its heading, whoever moves it: the input events and the
    // waypoint test of the trajectory order read it.
    forwardSpeed = GetSpeed();
    TraceMovement();
    WatchPlayer();
    if (this == PlayerEntity) {
        // The inventory keys, then the player's control.
        const uint32_t self = EventObjectHandle(this);
        if (CharacterServices.inventoryKeys != nullptr) CharacterServices.inventoryKeys();
        if (ResolveEventObject(self) != this) return;
        if (inputDriven != 0) PlayerControl();
    }
    const float dt50 = Dt50();
    const float rate = airborne == 0 ? groundSpeedSmoothing : airSpeedSmoothing;
    speedFactor += (speedFactorTarget - speedFactor) * rate * dt50;
    if (wallContact.carrierValue != 0.0f && carrierSpeedSmoothing != 0.0f)
        speedFactor += (speedFactorTarget - speedFactor) * carrierSpeedSmoothing * dt50;
    if (riddenEntity == nullptr) {
        if (sliding != 0)
            SlideStep();
        else if (hangGliding != 0)
            GliderStep();
        else if (parachuting != 0)
            ParachuteStep();
        else if (skyDiving != 0)
            SkyDiveStep();
        else if (guarding != 0)
            GuardStep();
    }
    // The layered cross-fade.
    if (!layers.empty() && layers[0].Anim != nullptr) {
        NztAnimLayer& layer = layers[0];
        layer.FrameCount = static_cast<int32_t>(layer.Anim->FrameCount);
        layer.Weight = blendWeight;
        layer.StartWeight = 1.0f;
        blendWeight += blendStep;
        if (blendWeight >= 1.0f) {
            NztAnim* now = layer.Anim;
            currentAnim = requestedAnim = now;
            frameCount = static_cast<int32_t>(now->FrameCount);
            boneCount = static_cast<int32_t>(std::min(mesh->MaxBoneCount, now->BoneCount));
            currentFrame = previousFrame = firstDueFrame = std::clamp(layer.Frame, 0, std::max(frameCount - 1, 0));
            frameTime = static_cast<float>(currentFrame);
            SetAnimLayer(0, nullptr, 0, 0.0f, 0, 0.0f, 0, 0);
            blendWeight = blendStep = 0.0f;
        } else if (blendWeight <= 0.0f) {
            SetAnimLayer(0, nullptr, 0, 0.0f, 0, 0.0f, 0, 0);
            blendWeight = blendStep = 0.0f;
        }
    }
    // End of the current animation.
    bool skipToContacts = false;
    if (locked != 0 && currentFrame < frameCount - 1) {
        skipToContacts = riddenEntity == nullptr;
    } else if (nextAnim != nullptr && IsAnimAtEnd() != 0) {
        NztAnim* next = nextAnim;
        BlendToAnim(next, 0, nullptr, 0);
        nextAnim = nullptr;
        skipToContacts = riddenEntity == nullptr;
    } else {
        locked = 0;
    }
    if (!skipToContacts) {
        if (inputDriven == 0) {
            UpdateTilt();
            if (networkRecord == nullptr) RunOrder();
        } else if (animStateMachine != 0 && !layers.empty()) {
            UpdateAnimState();
        }
    }
    SendContactEvents();
}

void NztEntity::StepUpperBodyLayer() {
    if (layers.size() <= UpperBodyLayer) return;
    if (layers[UpperBodyLayer].Anim == nullptr) {
        upperLayerAnim_ = nullptr;
        return;
    }
    // The spells of the frames the layer passed since the last step, cast by the character.
    NztAnim* anim = layers[UpperBodyLayer].Anim;
    if (anim != upperLayerAnim_) {
        upperLayerAnim_ = anim;
        upperLayerFrame_ = 0;
    }
    const int32_t frame = layers[UpperBodyLayer].Frame;
    const uint32_t self = EventObjectHandle(this);
    // Casts the spells of frames [from, to); false when a spell's effects ended the character or
    // its layer.
    auto cast = [&](int32_t from, int32_t to) {
        const int32_t end = std::min(to, static_cast<int32_t>(anim->Frames.size()));
        for (int32_t f = std::max(from, 0); f < end; ++f) {
            const int32_t spell = anim->Frames[static_cast<size_t>(f)].FrameValue;
            if (spell != -1 && CharacterLinks.castFrameSpell != nullptr) CharacterLinks.castFrameSpell(this, spell);
            if (ResolveEventObject(self) != this || layers.size() <= UpperBodyLayer ||
                layers[UpperBodyLayer].Anim != anim)
                return false;
        }
        return true;
    };
    if (frame < upperLayerFrame_) {
        // Restarted (the guard plays the parry again from its last frame): the frames it passed
        // up to its end come first, the last one included.
        if (!cast(upperLayerFrame_, static_cast<int32_t>(anim->FrameCount))) return;
        upperLayerFrame_ = 0;
    }
    if (!cast(upperLayerFrame_, frame)) return;
    upperLayerFrame_ = frame;
    // The weight rises toward its maximum while more than 5 frames remain, then falls toward its
    // minimum, 0.25 a step, never past either.
    NztAnimLayer& layer = layers[UpperBodyLayer];
    const float most = layer.SecondFloat, least = layer.StartWeight;
    if (layer.FrameCount - 1 - layer.Frame > 5)
        layer.Weight = std::min(layer.Weight + 0.25f, std::max(most, layer.Weight));
    else
        layer.Weight = std::max(layer.Weight - 0.25f, std::min(least, layer.Weight));
}

void NztEntity::StepAnimation() {
    if (currentAnim == nullptr) return;
    if (frameUnchanged == 0) {
        CastFrameSpells(this);
        CastCurrentFrameSpell(this);
        if (currentAnim == nullptr) return;
    }
    const uint32_t self = EventObjectHandle(this);
    StepUpperBodyLayer();
    if (ResolveEventObject(self) != this || currentAnim == nullptr) return;
    StepAnimFrame();
    if (blendAnim != nullptr && currentAnim == blendAnim && IsAnimAtEnd() != 0) {
        NztAnim* requested = requestedAnim != nullptr && requestedAnim != blendAnim ? requestedAnim : GetAnim(0);
        const int32_t start = storedStartFrame;
        storedStartFrame = 0;
        NztAnim* next = nextAnim;
        const int32_t keepLocked = locked;
        currentAnim = nullptr;  // so that SetAnim takes the requested one even when it was current
        SetAnim(requested, keepLocked, next, start);
    }
}

void NztEntity::PushStateToModel() {
    if (mesh == nullptr) return;
    BindRenderData();
    NztMeshGround& g = mesh->Ground;
    g = NztMeshGround{};
    g.TiltSwitches = tiltSwitches_;
    tiltSwitches_[0] = groundTilt;
    tiltSwitches_[1] = sliding;
    g.TiltMatrix = (groundTilt != 0 || sliding != 0 || stance == 2 || stance == 3) ? tiltMatrix : nullptr;
    g.FloorHeight = &floorHeight;
    g.SurfaceHeight = &supportHeight;
    g.OnSurface = &onSurface;
    groundVerticalSpeed = -verticalVelocity;
    g.VerticalSpeed = &groundVerticalSpeed;
    g.Airborne = &airborne;
    g.Pitch = &groundPitch;
    g.Roll = &groundRoll;
    g.PreviousPitch = &previousGroundPitch;
    g.PreviousRoll = &previousGroundRoll;
    g.PackedAngles = &packedAngles;
    g.Sliding = &sliding;
    g.HangGliding = &hangGliding;
    g.Parachute = &parachuting;
    // The three glides leave the height to their own steps: the sky-dive is the third.
    g.ThirdGlide = &skyDiving;
    g.HeightHold = &heightHold;
    g.StepHeight = stepHeight;
    g.Gravity = weight;
    g.Flying = flying;
    // Settling pulls the character onto the floor; a height held by a ladder or a hold, or a swim,
    // leaves the height to the movement code.
    g.SettleMode = settleMode != 0 && heightHold == 0 && (inWater == 0 || canSwim == 0) ? settleMode : 0;
    g.MovementState = motionState;
    g.SurfaceOffsetOn = canSwim;
    g.SurfaceOffset = swimDepth;
    // The speed factor scales the animation's own motion: signed for a vehicle (reverse), by its
    // size for a character steered by the buttons (the animations carry their direction).
    if (groundTilt != 0)
        mesh->RootMotionScale = speedFactor;
    else
        mesh->RootMotionScale = inputDriven != 0 ? std::fabs(speedFactor) : 1.0f;
    // A speed that is not a number moves nothing.
    if (!std::isfinite(mesh->RootMotionScale)) mesh->RootMotionScale = 0.0f;
}

namespace {

// The body's radius when the probe shape gives none: half the narrower horizontal extent of the
// type's mesh.
float MeshBodyRadius(const NztMesh* mesh) {
    if (mesh == nullptr) return 0.0f;
    const float r = 0.5f * std::min(mesh->Size.x, mesh->Size.z);
    return std::isfinite(r) && r > 0.0f ? r : 0.0f;
}

NztBaseObject* ContactObject(NztBase3D* object) {
    return dynamic_cast<NztBaseObject*>(object);
}

void CopyNormal(const float normal[3], uint32_t data[3]) {
    std::memcpy(data, normal, 3 * sizeof(float));
}

}  // namespace

float EntityBodyHeight(const NztEntity* e);

void NztEntity::BindCollisionBody() {
    NztMeshGround& g = mesh->Ground;
    g.Probe = &standingProbe;
    g.HitKind = &sweepHitKind;
    g.GroundKind = &groundContact.word0;
    // No probe shape, no body: the character moves as it is told and the wall block stays empty.
    sweepHit = SweepHitRecord{};
    sweepHitKind = 0;
    if (probeShape == nullptr) return;
    // The probe shape's height word holds the whole body height here (the ledge probes take it so),
    // so the sphere is centred half-way up the body: a sphere at the crown would let everything
    // lower than the head pass through the character.
    const float height = EntityBodyHeight(this);
    const float word = probeShape->typeHeight;
    const float half = 0.5f * height;
    collisionBody.heightOffset = std::isfinite(word) && word > 0.0f ? std::min(word, half) : half;
    const float r = probeShape->baseSize;
    collisionBody.radius = std::isfinite(r) && r > 0.0f ? r : MeshBodyRadius(mesh);
    if (!(collisionBody.radius > 0.0f) || !std::isfinite(collisionBody.heightOffset)) return;
    g.Body = &collisionBody;
    g.Hit = &sweepHit;
}

void NztEntity::FillContactBlocks() {
    groundContact.surfaceType = standingProbe.hitType;
    CopyNormal(standingProbe.normal, groundContact.data);
    groundContact.secondObject = ContactObject(standingProbe.object);
    // A posing that did not move the body at all (a still frame, or the one frame of a stride that
    // carries no motion) says nothing new about walls: the character still leans on what it leaned
    // on, and the wall and the carrier are not told it left and came back.
    const Vec3 moved = *mesh->Motion;
    const bool still = moved.x == 0.0f && moved.y == 0.0f && moved.z == 0.0f;
    if (still && sweepHit.touchedType == 0 && sweepHit.hitType == 0) return;
    const float wallNormal[3] = {sweepHit.normal.x, sweepHit.normal.y, sweepHit.normal.z};
    wallContact.word0 = sweepHit.touchedType;
    wallContact.object = sweepHit.touchedType != 0 ? ContactObject(sweepHit.touchedObject) : nullptr;
    wallContact.carrierValue = static_cast<float>(sweepHit.hitType);
    CopyNormal(wallNormal, wallContact.data);
    wallContact.secondObject = sweepHit.hitType != 0 ? ContactObject(sweepHit.object) : nullptr;
}

void NztEntity::ProbeRemoteGround() {
    // The standing probe of the ground following, without its height changes: the floor, the
    // support height, the on-surface flag and the probe record the ground block is filled from.
    // No body is swept for a remote character, so its wall and carrier words stay empty.
    if (!FiniteVector(Position)) return;
    const Vec3 at{Position[0], Position[1], Position[2]};
    float floor = floorHeight, surface = supportHeight;
    StandingProbe probe;
    onSurface = PoseWorld.findStandingSurface(at, stepHeight, surface, &floor, &surface, &probe, this);
    floorHeight = floor;
    supportHeight = surface;
    standingProbe = probe;
    sweepHit = SweepHitRecord{};
}

bool NztEntity::HasWallContact() const {
    return wallContact.word0 != 0 || wallContact.object != nullptr || wallContact.secondObject != nullptr;
}

// ---------------------------------------------------------------------------------------------
// Drawing

void NztEntity::RenderOpaque() {
    if (visible != 0 && shown != 0 && mesh != nullptr && sortDepth <= fadeStart) {
        SetCullFaceCached(this);
        const NztAnim* anim = currentAnim;
        if (anim != nullptr && anim->TexAnim != 0 && !anim->Frames.empty()) {
            const size_t f = std::min(static_cast<size_t>(std::max(currentFrame, 0)), anim->Frames.size() - 1);
            ScrollMeshTexCoords(anim->Frames[f].TexTransform, mesh);
        }
        DrawMeshOpaqueRun(mesh, unlit != 0);
    }
    const float dt = FrameTiming.frameTime;
    clock += dt;
    age += dt;
    airborneTime = airborne != 0 ? airborneTime + dt : 0.0f;
}

void NztEntity::Render() {
    if (visible == 0 || shown == 0 || mesh == nullptr) return;
    const float d = sortDepth;
    float fade = 1.0f;
    bool faded = false;
    if (d > fadeStart) {
        fade = 1.0f - (d - fadeStart) * fadeFactor;
        faded = true;
    } else if (size != 0.0f && d < twiceSize) {
        fade = (d - size) * inverseSize;
        faded = true;
    }
    if (hasTransparent != 0 || faded) {
        SetCullFaceCached(this);
        if (faded) {
            opacity = std::clamp(fade, 0.0f, 1.0f);
            SetCullFaceCached(this);
            if (unlit != 0) {
                DrawMeshAlphaFaded(mesh);
            } else {
                ComputeMeshLighting(mesh);
                DrawMeshSecondPassFaded(mesh);
            }
        } else if (unlit != 0) {
            DrawMeshAlpha(mesh);
        } else {
            DrawMeshSecondPass(mesh);
        }
    }
    if (groundQuadStrength != 0.0f && localGroundQuad && worldGroundQuad) {
        // The ground quad lies on the floor, tilted by the ground pitch about the side axis.
        const float s = TableSin(groundPitch), c = TableCos(groundPitch);
        for (int k = 0; k < 4; ++k) {
            const float* l = &localGroundQuad[k * 3];
            const float y = l[1] * c - l[2] * s;
            const float z = l[1] * s + l[2] * c;
            float* w = &worldGroundQuad[k * 3];
            for (int a = 0; a < 3; ++a) w[a] = l[0] * rotation[a] + y * rotation[3 + a] + z * rotation[6 + a];
            w[0] += Position[0];
            w[1] = floorHeight + 0.05f + w[1];
            w[2] += Position[2];
        }
        opacity = std::clamp(fade, 0.0f, 1.0f);
        DrawShadow();
    }
    opacity = 1.0f;
}

// ---------------------------------------------------------------------------------------------
// Contacts

void NztEntity::ClearContactsWith(NztBaseObject* object) {
    if (object == nullptr) return;
    auto clear = [object](NztBaseObject*& slot, auto& companion) {
        if (slot != object) return;
        slot = nullptr;
        companion = {};
    };
    clear(groundContact.object, groundContact.word0);
    clear(groundContact.secondObject, groundContact.surfaceType);
    clear(wallContact.object, wallContact.word0);
    if (wallContact.secondObject == object) {
        wallContact.secondObject = nullptr;
        wallContact.carrierValue = 0.0f;
    }
    clear(previousGroundObject, previousGroundType);
    clear(previousWallObject, previousWallType);
    clear(previousCarrierObject, previousCarrierValue);
    if (contactObject == object) {
        contactObject = nullptr;
        contact = 0;
    }
    if (contactLink == object) contactLink = nullptr;
    // What the last sweep and ground probe found (the next posing reads the ground's object).
    if (sweepHit.touchedObject == object) {
        sweepHit.touchedObject = nullptr;
        sweepHit.touchedType = 0;
    }
    if (sweepHit.object == object) {
        sweepHit.object = nullptr;
        sweepHit.hitType = 0;
    }
    if (standingProbe.object == object) standingProbe = StandingProbe{};
    if (target == object) target = nullptr;
    if (static_cast<NztBaseObject*>(riddenEntity) == object) riddenEntity = nullptr;
    if (static_cast<NztBaseObject*>(targetingEntity) == object) targetingEntity = nullptr;
}

void NztEntity::CopyLinkSlots(const NztEntity* other) {
    if (other == nullptr) return;
    groundContact = other->groundContact;
    wallContact = other->wallContact;
    previousGroundType = other->previousGroundType;
    previousGroundObject = other->previousGroundObject;
    previousWallType = other->previousWallType;
    previousWallObject = other->previousWallObject;
    previousCarrierValue = other->previousCarrierValue;
    previousCarrierObject = other->previousCarrierObject;
}

void NztEntity::ResetLinkSlots() {
    groundContact = EntityContactBlock{};
    wallContact = EntityContactBlock{};
    previousGroundType = previousWallType = 0;
    previousGroundObject = previousWallObject = previousCarrierObject = nullptr;
    previousCarrierValue = 0.0f;
}

void NztEntity::SendContactEvents() {
    if (riddenEntity != nullptr) {
        airborne = riddenEntity->airborne;
        groundContact = riddenEntity->groundContact;
        wallContact = riddenEntity->wallContact;
    }
    const bool tick = FrameAccumulators.tickA == 0.0f;
    NztBaseObject* ground = groundContact.secondObject;
    const uint32_t groundType = groundContact.surfaceType;
    if (airborne == 0) {
        if (ground != nullptr) {
            if (ground != previousGroundObject)
                SendContact(ground, 0, this);
            else if (tick)
                SendContact(ground, 1, this);
            if (groundType == EventSurface) {
                if (ground == previousGroundObject && previousGroundType == EventSurface) {
                    if (tick) SendContact(ground, 7, this);
                } else {
                    SendContact(ground, 6, this);
                }
            }
        }
        if (previousGroundObject != nullptr) {
            if (previousGroundObject != ground) SendContact(previousGroundObject, 2, this);
            if (previousGroundType == EventSurface && (previousGroundObject != ground || groundType != EventSurface))
                SendContact(previousGroundObject, 8, this);
        }
        previousGroundType = groundType;
        previousGroundObject = ground;
    } else {
        if (previousGroundObject != nullptr) {
            SendContact(previousGroundObject, 2, this);
            if (previousGroundType == EventSurface) SendContact(previousGroundObject, 8, this);
        }
        previousGroundType = 0;
        previousGroundObject = nullptr;
    }
    NztBaseObject* wall = wallContact.object;
    const uint32_t wallType = wallContact.word0;
    if (wallType == EventSurface && wall != nullptr) {
        if (wall == previousWallObject && previousWallType == EventSurface) {
            if (tick) SendContact(wall, 10, this);
        } else {
            SendContact(wall, 9, this);
        }
        if (previousWallObject != nullptr && previousWallObject != wall) {
            if (previousWallType == EventSurface)
                SendContact(previousWallObject, 11, this);
            else
                SendContact(previousWallObject, 5, this);
        }
    } else if (previousWallType == EventSurface && previousWallObject != nullptr) {
        SendContact(previousWallObject, 11, this);
    }
    previousWallType = wallType;
    previousWallObject = wall;
    NztBaseObject* carrier = wallContact.secondObject;
    if (carrier != nullptr) {
        carrier->AddDisplacementKey(this);
        if (carrier != previousCarrierObject) {
            Send(this, 16);
            SendContact(carrier, 3, this);
        } else if (tick) {
            SendContact(carrier, 4, this);
        }
    }
    if (previousCarrierObject != nullptr && previousCarrierObject != carrier) SendContact(previousCarrierObject, 5, this);
    previousCarrierValue = wallContact.carrierValue;
    previousCarrierObject = carrier;
    if (riddenEntity != nullptr) {
        previousGroundType = riddenEntity->previousGroundType;
        previousGroundObject = riddenEntity->previousGroundObject;
        previousWallType = riddenEntity->previousWallType;
        previousWallObject = riddenEntity->previousWallObject;
        previousCarrierValue = riddenEntity->previousCarrierValue;
        previousCarrierObject = riddenEntity->previousCarrierObject;
    }
}

// ---------------------------------------------------------------------------------------------
// Targets

void NztEntity::SetTarget(NztBaseObject* object) {
    NztEntity* candidate = object != nullptr && object->kind == ObjectKindEntity ? static_cast<NztEntity*>(object) : nullptr;
    const bool acceptable = candidate != nullptr && candidate != this && candidate != riddenEntity &&
                            candidate->riddenEntity != this && !candidate->releasing_;
    NztBaseObject* next = acceptable ? candidate : nullptr;
    if (target != next) {
        NztBaseObject* old = target;
        target = next;
        if (old != nullptr) {
            if (order == EntityOrderKeepOffset) Send(old, EntityEventOrderTargetLost);
            if (this == PlayerEntity) Send(old, EntityEventPlayerTargetLost);
        }
        if (this == PlayerEntity && next != nullptr) Send(next, EntityEventPlayerTargetSet);
    }
}

// ---------------------------------------------------------------------------------------------
// Life

// AddLife, SetLife and SetMaxLife live with the instance helpers of the type code.

void NztEntity::Damage(float amount) {
    life = std::clamp(life - amount, 0.0f, std::max(maxLife, 0.0f));
}

// ---------------------------------------------------------------------------------------------
// Mounting, facing and placement

void NztEntity::Mount(NztEntity* mount, int32_t point) {
    NztEntity* p = PlayerEntity;
    NztEntity* m = mount;
    if (p == nullptr || m == nullptr || m == p) return;
    p->SetAngles(0, 0, 0);
    p->AttachTo(m, point, 4);
    p->riddenEntity = m;
    p->airborne = 0;
    p->EndFly();
    for (NztEntity* e : {p, m}) {
        if (e->order != 0) {
            e->orderPending = 1;
            e->locked = 0;
            e->order = 0;
            e->orderClass = 0;
        }
    }
    m->shown = p->shown;
    if (p->target == m) p->SetTarget(nullptr);
    if (m->target == p) m->SetTarget(nullptr);
    m->steeredByRider = p->inputDriven;
    if (m->groundTilt != 0) m->speedFactorTarget = std::max(m->walkFactor, 0.0f);
    Send(m, 17);
    Send(p, 26);
}

void NztEntity::Dismount() {
    NztEntity* p = PlayerEntity;
    if (p == nullptr || p->riddenEntity == nullptr) return;
    NztEntity* m = p->riddenEntity;
    m->shown = 1;
    m->steeredByRider = 0;
    Send(m, 19);
    Send(p, 28);
    p->startHeight = p->Position[1];
    const float bodyHeight = EntityBodyHeight(p);
    if (m->airborne != 0 && m->Position[1] > m->supportHeight + bodyHeight * 50.0f) {
        p->airborne = 1;
        p->Detach();
        p->actionReset = 1;
        p->MoveSide(p->size);
        p->SetAngles(0, m->Yaw(), 0);
        // The mount's pose words (its smoothed and target pitch, yaw and roll); its ground angles
        // are the ground's.
        for (int k = 0; k < 3; ++k) m->moveWork.pose[k] = m->moveWork.poseTarget[k] = 0.0f;
        p->riddenEntity = nullptr;
        p->StartSkyDive();
        return;
    }
    float point[3] = {m->Position[0], m->Position[1], m->Position[2]};
    if (p->parent == m && p->parentPoint >= 0) m->GetPointPosition(p->parentPoint, point);
    p->Detach();
    if (p->Position[1] >= m->supportHeight + bodyHeight)
        p->StartJump();
    else
        p->airborne = 0;
    const float placed[3] = {point[0] - m->size, point[1], point[2]};
    p->SetPosition(placed);
    p->SetAngles(0, 0, 0);
    const float ahead[3] = {point[0] + p->rotation[6] * 100.0f, point[1], point[2] + p->rotation[8] * 100.0f};
    const int32_t yaw = RoundToInt(std::atan2(ahead[0] - placed[0], ahead[2] - placed[2]) * AngleUnitsPerRadian);
    p->SetAngles(0, yaw, 0);
    p->riddenEntity = nullptr;
}

void NztEntity::FaceObject(const NztBase3D* object) {
    if (object == nullptr) return;
    SetYaw(RoundToInt(std::atan2(object->Position[0] - Position[0], object->Position[2] - Position[2]) *
                      AngleUnitsPerRadian));
}

void NztEntity::TurnTowardsBy(const NztBase3D* other, float step) {
    if (other != nullptr) NztBaseObject::TurnTowardsBy(other->Position, step);
}

void NztEntity::TurnAwayBy(const NztBase3D* other, float step) {
    if (other != nullptr) NztBaseObject::TurnAwayBy(other->Position, step);
}

int32_t NztEntity::FaceWall() {
    if (probeShape == nullptr) return 0;
    CollisionBody body{};
    body.centre = {Position[0], Position[1] + probeShape->typeHeight, Position[2]};
    body.radius = std::max(size, 0.5f);
    const Vec3 motion{rotation[6] * body.radius, 0.0f, rotation[8] * body.radius};
    Vec3 normal{0.0f, 0.0f, 0.0f};
    if (FindWallAhead(&body, motion, 0, &normal, this) == nullptr) return 0;
    // The normal of the wall met points back at the character: it turns to face against it, into
    // the wall (facing along it would turn its back on the wall it is to hold on to).
    SetYaw(RoundToInt(std::atan2(-normal.x, -normal.z) * AngleUnitsPerRadian));
    return 1;
}

void NztEntity::TurnBy(int32_t delta) {
    const uint32_t yaw = (((packedAngles >> 12) & 0xFFFu) + static_cast<uint32_t>(delta)) & 0xFFFu;
    packedAngles = (packedAngles & ~(0xFFFu << 12)) | (yaw << 12);
    // The axes turn about the up axis by the same amount.
    const float s = TableSin(delta), c = TableCos(delta);
    const float turn[9] = {c, 0.0f, -s, 0.0f, 1.0f, 0.0f, s, 0.0f, c};
    MatrixMultiply3(turn, rotation, rotation);
}

void NztEntity::SetAngles(int32_t pitch, int32_t yaw, int32_t rollAngle) {
    packedAngles = (packedAngles & 0xFF000000u) | ((static_cast<uint32_t>(yaw) & 0xFFFu) << 12) |
                   (static_cast<uint32_t>(pitch) & 0xFFFu);
    roll = (roll & ~0xFFFu) | (static_cast<uint32_t>(rollAngle) & 0xFFFu);
    MatrixFromAngles(rotation, yaw, rollAngle, pitch);
}

void NztEntity::MoveSide(float distance) {
    for (int k = 0; k < 3; ++k)
        if (axisLocks[k] == 0) Position[k] += rotation[k] * distance;
}

void NztEntity::MoveForward(float distance) {
    for (int k = 0; k < 3; ++k)
        if (axisLocks[k] == 0) Position[k] += rotation[6 + k] * distance;
}

void NztEntity::SnapToWall() {
    if (probeShape == nullptr) return;
    const float h = probeShape->typeHeight;
    const Vec3 base{Position[0], Position[1] + h, Position[2]};
    const Vec3 forward{rotation[6], rotation[7], rotation[8]};
    const Vec3 start = base - forward * size;
    const Vec3 end = base + forward * size;
    CollideSegment(start, end, this);
    Vec3 hit = end;
    if (CollideSegmentNearest(start, end, &hit) == 0) return;
    const float along = (hit.x - base.x) * forward.x + (hit.y - base.y) * forward.y + (hit.z - base.z) * forward.z;
    MoveForward(-(size - along));
}

// ---------------------------------------------------------------------------------------------
// What the world's passes and releases ask of a character

void NztEntity::RunActionStack() {
    // Read once: a callback that removes itself leaves an empty slot behind, which is skipped. A
    // callback whose events ended the character ends the walk.
    const uint32_t self = EventObjectHandle(this);
    const uint32_t count = std::min(actionCount, EntityActionCapacity);
    for (uint32_t k = count; k-- > 0;) {
        const auto callback = actionSlots[k].callback;
        if (callback != nullptr) (this->*callback)();
        if (ResolveEventObject(self) != this) return;
    }
}

void NztEntity::LoseTarget(NztBaseObject* old, NztBaseObject* replacement) {
    if (target != old) return;
    if (replacement != nullptr && replacement->kind == ObjectKindEntity) {
        // Handed over, not lost: the old object hears nothing.
        target = nullptr;
        SetTarget(replacement);
        return;
    }
    if (order == EntityOrderKeepOffset) ObjectServices.sendEvent(old, EntityEventOrderTargetLost, 0, 0, 0);
    if (this == PlayerEntity) ObjectServices.sendEvent(old, EntityEventPlayerTargetLost, 0, 0, 0);
    target = nullptr;
}

NztBase3D* NztEntity::RiddenObject() const {
    return riddenEntity;
}
