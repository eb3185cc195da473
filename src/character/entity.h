// The character: every walking, swimming, flying or riding creature of a level, the player
// included. A collision object that owns an animated, skinned mesh of its entity type, a table of
// animation slots named by AnimNameTable, the state of its movement modes, its contacts with the
// ground and walls, a target, a ridden character, an order (its behaviour when no input drives it),
// a stack of per-frame actions and a life gauge.
//
// Per frame the object passes run, for every character, SelectAction and the action stack, then
// Update (slot 4) for a free character or LateUpdate (slot 5) for one hanging on a parent, then
// RenderOpaque (slot 6) and Render (slot 7).
//
// Angles are 12-bit values, 4096 units a turn. Per-frame quantities are scaled by the frame factor
// (frame time x 50). Main thread only.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "character/entitylist.h"
#include "character/movement.h"
#include "collision/collquery.h"
#include "objects/base3d.h"

class NztEntity;
struct NztTraject;

// One slot of a character's action stack: a member function run once per frame while it sits
// there, and three adjustment words. An empty slot is {null, 0, 0, -1}; a pushed one carries
// adjustment words 0, 0, 0.
struct NztAction {
    void (NztEntity::*callback)() = nullptr;
    int32_t adjust1 = 0;
    int32_t adjust2 = 0;
    int32_t adjust3 = -1;
};
// Two records are the same action when their member pointers compare equal (C++ equality of
// pointers to members, which already covers the object adjustment a member pointer carries) and,
// unless both are null, their adjustment words are equal too.
bool operator==(const NztAction& a, const NztAction& b);
inline constexpr uint32_t EntityActionCapacity = 10;
// A pushed action: the callback with adjustment words 0, 0, 0.
inline NztAction MakeAction(void (NztEntity::*callback)()) {
    return NztAction{callback, 0, 0, 0};
}

// A contact block, filled each frame from the collision queries of the character's posing. The
// ground block: ground kind (from the sweep's hit type), object, surface type of the floor stood on
// (5 slide slope, 8 event surface), its normal, the floor's object. The wall block: 8 when an event
// surface was touched, that surface's object, the type of the last surface that blocked the move
// (as a float, the carrier value; 0 when nothing blocked), its normal, its object (the carrier).
struct EntityContactBlock {
    uint32_t word0 = 0;
    NztBaseObject* object = nullptr;
    union {
        uint32_t surfaceType = 0;  // ground block
        float carrierValue;        // wall block
    };
    uint32_t data[3] = {0, 0, 0};
    NztBaseObject* secondObject = nullptr;
};

// A wheel record: a bone the pose code moves on its own as a sprung wheel. 16 bytes in a scene
// file, little-endian: s32 attach point index (the point probed for the ground; below 0 or not
// below the attach point count: the character's position), s32 bone index into the mesh's bones,
// f32 spring travel, f32 current spring offset (the pose code's running value; it starts at 0
// whatever the file holds).
struct EntityBoneRecord {
    int32_t point = 0;
    int32_t bone = 0;
    float travel = 0.0f;
    float offset = 0.0f;
};
inline constexpr uint32_t EntityBoneRecordSize = 16;
// The largest travel a character takes from its wheel records.
inline constexpr float EntityBoneWeightCap = 0.5f;

// The animation layer of the upper body (the guard's parry, the free styles of slides and dives).
inline constexpr size_t UpperBodyLayer = 3;

// The attach point of a ridden character that its rider sits on.
inline constexpr int32_t EntitySeatPoint = 5;

// The characteristics a scene file stores per character (160 bytes, see character/record.h).
struct CharacterRecord;

// The probe shape: the height at which wall and hand probes are cast, among words the movement
// code keeps.
struct EntityProbeShape {
    uint32_t word0 = 0;
    float word1 = 0.0f;
    float word2 = 0.0f;
    float typeHeight = 0.0f;
    float baseSize = 0.0f;
};

class NztEntity : public NztCollideObject {
public:
    NztEntity();
    ~NztEntity() override;

    // Slots 4 to 7 and 10 to 15.
    void Update() override;
    void LateUpdate() override;
    void RenderOpaque() override;
    void Render() override;
    NztAnim* GetAnim(uint32_t slot) override;
    void SetAnim(NztAnim* anim, int32_t locked, NztAnim* next, int32_t startFrame) override;
    int32_t BlendToAnim(NztAnim* anim, int32_t locked, NztAnim* next, int32_t startFrame) override;
    void SetAnimIndex(uint32_t slot, int32_t locked, uint32_t nextSlot, int32_t startFrame) override;
    int32_t BlendToAnimIndex(uint32_t slot, int32_t locked, uint32_t nextSlot, int32_t startFrame) override;
    void SyncModel() override;

    // Set-up from the type's mesh (collision copy, blend animation, slot 0 current) and release
    // (records, blend animation, targets that point here, collision data).
    void SetupFromType(NztMesh* mesh);
    void Release();
    void FreeArrays();

    // The animation of the last slot whose name matches, ignoring case; null when none does.
    NztAnim* GetAnimByName(const char* name);
    // Loads file into the slot named name (slot 0 when none); cross-fades when it is current.
    NztAnim* LoadAnimFileByName(const char* name, const char* file);
    // The animation slot of anim in the character's table, -1 when none.
    int32_t SlotOf(const NztAnim* anim) const;

    // Makes the object the character's target (events 30, 38, 39 as the target changes). Self,
    // the ridden character and a character riding this one are never targets; non-characters
    // neither.
    void SetTarget(NztBaseObject* object);
    void LoseTarget(NztBaseObject* old, NztBaseObject* replacement) override;
    // Every contact reference of the character that points at object is emptied.
    void ClearContactsWith(NztBaseObject* object) override;
    // True when the wall block reports a contact: an event surface touched or a surface that
    // blocked the move.
    bool HasWallContact() const;
    // Both contact blocks and the previous-contact words: copied from other, or cleared.
    void CopyLinkSlots(const NztEntity* other);
    void ResetLinkSlots();

    // The character record.
    NztEntity* ApplyCharacterRecord(const CharacterRecord& record);
    CharacterRecord& FillCharacterRecord(CharacterRecord& record) const;
    // Appends a wheel record when its bone exists; 1 when appended.
    int32_t AddBoneRecord(const EntityBoneRecord& record);

    // Life changes stay within [0, maximum]; the maximum is never below 0.
    void AddLife(float amount);
    void SetLife(float value);
    void SetMaxLife(float value);
    // Health minus amount within [0, maximum]; a negative amount heals.
    void Damage(float amount);

    // Mounting, facing, placement.
    // The player rides mount, seated at its attach point (point 5 unless the caller names one).
    void Mount(NztEntity* mount, int32_t point = EntitySeatPoint);
    void Dismount();
    void FaceObject(const NztBase3D* object);
    void TurnTowardsBy(const NztBase3D* other, float step);
    void TurnAwayBy(const NztBase3D* other, float step);
    int32_t FaceWall();
    void TurnBy(int32_t delta);
    void SetAngles(int32_t pitch, int32_t yaw, int32_t rollAngle);
    void MoveSide(float distance);
    void MoveForward(float distance);
    void SnapToWall();
    int32_t Yaw() const { return static_cast<int32_t>((packedAngles >> 12) & 0xFFFu); }

    // Orders.
    void SetOrder(int32_t code);
    void SetTraject(NztTraject* trajectory, uint32_t loop, uint32_t followHeight, uint32_t startAtNearest,
                    float amplitude);
    void WatchPlayer();
    void RunOrder();
    void RunOrderWander();
    void RunOrderFlee();
    void RunOrderGoToTarget();
    void RunOrderKeepOffset();
    void RunOrderGoTo();
    void RunOrderFollowTraject();

    // The action stack.
    void ClearActionSlots();
    void ResetActions();
    void PushAction(const NztAction& action);
    void RemoveAction(const NztAction& action);
    // The per-frame life and action step; pushes the action of the current animation.
    void SelectAction() override;
    // Runs the action stack's callbacks from the top; stops when one of them ended the character.
    void RunActionStack() override;
    NztBase3D* RiddenObject() const override;
    int32_t ControlState() const override { return controlWord; }
    uint32_t Airborne() const override { return airborne; }
    float PickReach() const override { return pickReach; }
    float HoverRadius() const override { return radius; }
    void ResetControlState();

    // The per-frame steps of Update.
    void UpdateBehaviour();
    void StepAnimation();
    // The upper-body layer (the guard, the slide and sky-dive styles): its frames' spells and its
    // weight, each step.
    void StepUpperBodyLayer();
    void PushStateToModel();
    // The vertical speed the posing left, back into verticalVelocity (upward positive).
    void PullVerticalSpeed() { verticalVelocity = -groundVerticalSpeed; }
    void SendContactEvents();
    void SendStateEvents();
    void TraceMovement() const;
    float GetSpeed();

    // The movement steps (character/movement.h): tilt and hang, player control, the animation state
    // machine, the procedural pose, take-offs and landings, and the per-frame glide steps.
    void UpdateTilt();
    void PlayerControl();
    void UpdateAnimState();
    void AdjustPose();
    void StartJump();
    void StartFly();
    void EndFly();
    void StartSkyDive();
    void StartFallDown();
    void SlideStep();
    void GliderStep();
    void ParachuteStep();
    void SkyDiveStep();
    void GuardStep();
    // Action callbacks (character/callbacks.cpp): the scripted moves of the action stack.
    void ActJump();
    void ActFall();
    void ActJumpHandUpBig();
    void ActJumpHandAway();
    void ActClimbJumpUp();
    void ActClimbJumpDown();
    void ActClimbJumpLeft();
    void ActClimbJumpRight();
    void ActClimbJumpBack();
    void ActClimbEndUp();
    void ActDive();
    void ActFallDown();
    void ActStayOnTraject();

    // Movement (character/movement.h): player control, probes, modes, the state machine, the pose.
    void RaiseInputEvents();
    void ControlGround();
    void ControlSlide();
    void ControlGlide();
    void ControlSwim();
    void ControlDrive();
    // Probes: 0 when nothing is found, else the answer; the height found goes to ledgeHeight.
    uint32_t FindLedge();
    uint32_t FindLedgeAbove();
    uint32_t FindLedgeBelow();
    uint32_t HandOnSurface(float height, float* out);
    uint32_t WallAhead(float distance);
    uint32_t WallAt(const float offset[3], float distance);
    uint32_t LedgeAt(const float offset[3], int32_t turn);
    uint32_t CanShimmyRight();
    uint32_t CanShimmyLeft();
    uint32_t HangLedgeUnderHand(const float offset[3]);
    uint32_t CanTurnLeftAtLedge(int32_t* turn);
    uint32_t CanTurnRightAtLedge(int32_t* turn);
    uint32_t CanClimbOver(float clearance);
    // Mode tests, velocity, and the mode transitions.
    bool CanStartSlide();
    bool CanStartPara();
    bool CanStartDelta();
    bool CanStartDive();
    NztEntity* VelocitySource();
    void GetVelocity(float out[3]);
    void ResetMotion();
    void StartSlide();
    void EndSlide();
    void SlideEndFloor();
    void SlideEndRound();
    void SlideEndWater();
    void SlideEndImpact();
    void StartPara();
    void ParaEndFloor();
    void ParaEndWater();
    void EndPara();
    void StartDelta();
    void DeltaEndFloor();
    void DeltaEndRound();
    void DeltaEndWater();
    void EndDelta();
    void SkyDiveEndRound();
    void SkyDiveEndFloor();
    void SkyDiveEndFloorWater();
    void SkyDiveEndWater();
    void EndSkyDive();
    void ReturnToSkyDive();
    void StartJumpIfAboveGround();
    // The branches of the state machine.
    void FlyBranch();
    void SwimBranch();
    void LadderBranch();
    void GroundBranch();
    bool JumpButton();
    void LeanBody(float target);
    void ClimbBranch();
    void SlideBranch();
    void ParaBranch();
    void DeltaBranch();
    void SkyDiveBranch();
    void DriveBranch();
    // The procedural pose.
    void SlidePose();
    void FlyPose();
    void VehiclePose();
    void SteerPara();
    void SteerDelta();
    void SteerDeltaLimbs();

    // Player control: chosen gait and gait in use (0 walk, 1 run, 2 sprint), the smooth-turn
    // factor, the turn requests of the glides and the drive, the slide's turn rate.
    uint8_t gait = 0;
    uint8_t gaitInUse = 0;
    float turnFactor = 0.125f;
    float turnRateFast = 64.0f;
    float turnRateSlow = 16.0f;
    float glideTurn = 32.0f;
    float slideTurnRate = 128.0f;
    float slideSteerFactor = 64.0f;  // the slide pose's steering factor
    float rollFactor = 1.0f;         // how far a vehicle's body rolls with its bank
    uint32_t idleBlend = 0;          // 1: the standing animation is cross-faded in, not switched
    uint32_t canJump = 1;
    NztMoveWork moveWork;

    // Identity.
    char name[32] = {};
    uint32_t stance = 0;  // 2 and 3 make the model use the tilt matrix
    uint32_t inputDriven = 0;
    uint32_t animStateMachine = 0;
    NztAnim* previousAnim = nullptr;
    uint32_t typeInstance = 0;  // instance number within its type

    // Gait and speed.
    float walkFactor = 1.0f;
    float runFactor = 1.0f;
    float sprintFactor = 1.0f;
    // The scale of the animations' own motion: 1.0 goes at each animation's pace. The ground
    // leaves it alone; the console, the actions, the orders and the vehicle and glide modes set it.
    float speedFactor = 1.0f;
    float speedFactorTarget = 1.0f;
    float airSpeedSmoothing = 0.01f;
    float carrierSpeedSmoothing = 0.0f;
    float glideTurnRate = 32.0f;
    float turnRate = 32.0f;
    // Current speed along the heading, every character's, taken at the start of its behaviour
    // step; 0 when standing. The speed unit of the movement code: world units a frame at 50
    // frames a second.
    float forwardSpeed = 0.0f;

    // Ground angles (pitch of the ground under the character, roll) and their previous values.
    int32_t groundPitch = 0;
    int32_t groundRoll = 0;
    int32_t previousGroundPitch = 0;
    int32_t previousGroundRoll = 0;

    // Life.
    float maxLife = 200.0f;
    float invMaxLife = 0.005f;
    float life = 200.0f;
    float reserve = 200.0f;  // air; at or below 0 life drains
    float drainRate = 1.0f;
    uint32_t dead = 0;
    uint32_t barSwitch = 0;           // 1: a health bar is drawn above the character
    uint32_t receivesBroadcasts = 0;  // takes part in BroadcastEventToEntities

    // Probe shape and tilt.
    EntityProbeShape probeBlock;
    EntityProbeShape* probeShape = nullptr;
    float tiltMatrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

    // The sphere swept along the character's motion each frame (placed and sized from the probe
    // shape), and what the sweep and the ground probe last found; the contact blocks are filled
    // from these after the posing.
    CollisionBody collisionBody;
    SweepHitRecord sweepHit;
    StandingProbe standingProbe;
    uint32_t sweepHitKind = 0;

    // Contacts: the two blocks and the previous frame's values.
    EntityContactBlock groundContact;
    EntityContactBlock wallContact;
    uint32_t previousGroundType = 0;
    NztBaseObject* previousGroundObject = nullptr;
    uint32_t previousWallType = 0;
    NztBaseObject* previousWallObject = nullptr;
    float previousCarrierValue = 0.0f;
    NztBaseObject* previousCarrierObject = nullptr;
    // The movement code's contact words.
    uint32_t contact = 0;
    NztBaseObject* contactObject = nullptr;
    NztBaseObject* contactLink = nullptr;

    uint32_t alignBonesToParent = 0;
    uint32_t attachLocked = 0;  // attached with the lock: the facing step leaves it alone
    uint32_t modelWord = 0;

    // Ground state shared with the mesh.
    uint32_t airborne = 0;
    float airborneTime = 0.0f;
    uint32_t inWater = 0;
    uint32_t onSurface = 0;
    float supportHeight = 0.0f;  // the water surface in water, else the floor
    float floorHeight = 0.0f;
    float stepHeight = 2.0f;
    float verticalVelocity = 0.0f;  // upward positive, as the scripted moves count it
    // The same speed as the ground following of the posing keeps it, downward positive: handed to
    // the mesh before each posing and read back after it.
    float groundVerticalSpeed = 0.0f;
    float weight = 1.0f;  // gravity factor
    uint32_t heightHold = 0;
    uint32_t settleMode = 1;
    uint32_t wasAirborne = 0;
    uint32_t wasInWater = 0;
    uint32_t submerged = 0;
    uint32_t wasSubmerged = 0;
    float clock = 0.0f;  // seconds drawn
    uint32_t collisionDirty = 0;  // the collision volumes are rebuilt at the next update

    // Fly.
    uint32_t flying = 0;
    uint32_t canFly = 0;
    uint32_t flightUnderway = 0;
    float flyHeight = 0.0f;
    float flyMinHeight = 5.0f;
    float flyMaxHeight = 500.0f;
    float flyClimbRate = 10.0f;
    float flyVerticalSpeed = 0.0f;

    uint32_t groundTilt = 0;  // a vehicle: the body follows the pitch and roll of the ground
    uint32_t groundTiltAxes = 0;

    // Records.
    std::vector<uint32_t> steeringBones;
    std::vector<EntityBoneRecord> boneRecords;
    float travelCap = 0.0f;  // the smallest travel of the wheel records, at most 0.5

    // Swim.
    uint32_t canSwim = 1;
    float swimDepth = 0.0f;
    float swimParam = 40000.0f;
    float swimClimbRate = 2.5f;
    float swimVerticalSpeed = 0.0f;

    // Hanging.
    uint32_t canHang = 1;
    int32_t hangPoint = 17;
    float hangReach = 2.5f;
    float ledgeHeight = 0.0f;

    // Slide and glides.
    uint32_t sliding = 0;
    float slideSpeed = 5.0f;
    float skyDiveSpeed = 0.0f;
    float startHeight = 0.0f;
    float fallSpeed = 0.0f;
    float turnSmoothing = 0.05f;
    float groundSpeedSmoothing = 0.05f;
    uint32_t guarding = 0;
    uint32_t parachuting = 0;
    uint32_t hangGliding = 0;
    uint32_t abortGlide = 0;
    uint32_t skyDiving = 0;
    uint32_t actionState = 0;  // 1 hanging on a hold, 4 a move of the state machine
    float glideVelocity[3] = {0.0f, 0.0f, 0.0f};

    // Animation.
    NztAnim* requestedAnim = nullptr;  // where a running cross-fade leads
    uint32_t steeredByRider = 0;
    NztEntity* riddenEntity = nullptr;     // the character it rides; null on foot
    NztEntity* targetingEntity = nullptr;  // a character whose target is cleared with this one
    float blendWeight = 1.0f;
    float blendStep = 0.0f;
    NztAnim* blendAnim = nullptr;  // owned 5-frame transition animation
    int32_t locked = 0;            // the current animation plays to its end first
    NztAnim* nextAnim = nullptr;   // cross-faded to when the current one ends
    int32_t storedStartFrame = 0;
    int32_t lastEventFrame = -1;

    // Orders.
    uint8_t orderPending = 0;
    uint8_t orderDone = 0;
    int32_t order = 0;  // the order code: 0-8 or 100
    uint32_t orderClass = 0;
    uint32_t motionState = 0;  // cleared by SetOrder; read by the movement code
    float radii[5] = {0, 0, 0, 0, 0};  // awareness, near, keep, far, arrival
    float radiiSquared[5] = {0, 0, 0, 0, 0};
    float targetDistanceSquared = 0.0f;
    float goalPoint[3] = {0.0f, 0.0f, 0.0f};
    NztTraject* traject = nullptr;
    int32_t waypoint = 0;
    uint32_t trajectLoop = 0;
    uint32_t trajectFollowHeight = 0;
    float waypointJitter = 0.0f;
    float jitterAmplitude = 0.0f;
    float facingFactor = 0.1f;
    uint32_t playerNear = 0;
    float orderClock = 0.0f;
    float orderClockLimit = 5.0f;
    int32_t wanderTurnsRight = 0;
    int32_t wanderTurnsLeft = 0;

    // Actions.
    uint32_t actionCapacity = EntityActionCapacity;
    uint8_t actionReset = 1;
    uint8_t actionIdle = 1;
    uint32_t actionCount = 0;  // used slots, the lowest ones; slot 0 the bottom
    NztAction actionSlots[EntityActionCapacity];
    uint32_t jumpSlot = 0;
    uint32_t actionWord = 0;

    NztBaseObject* target = nullptr;  // a character, or null

    // Permissions.
    uint32_t canDive = 1;
    uint32_t canSlide = 1;
    uint32_t canHangGlide = 1;
    uint32_t canParachute = 1;
    uint32_t groundControl = 1;

    // Scripted moves (character/callbacks.cpp) and the switches the event actions set.
    float climbSpeed = 0.0f;          // vertical speed of a climbing jump
    uint32_t fallDownOnLongJump = 0;  // a long jump turns into a fall
    // The three permissions the movement code does not read: the first two allow the two fighting
    // jumps of the player.
    uint32_t permissions[3] = {1, 1, 1};
    uint32_t fightJumped = 0;  // the fighting jump of this jump was taken
    uint32_t playerFlag = 0;   // the control flag that SetPlayerFlag sets

    // Used by the world layer.
    int32_t controlWord = 0;
    int32_t controlWordCopy = 0;
    float pickReach = 0.0f;  // 0: no limit; else compared with the squared distance of a picked point
    float radius = 0.0f;     // used by hover picking

private:
    bool releasing_ = false;  // Release has begun: no longer a target
    NztAnim* upperLayerAnim_ = nullptr;  // the upper-body layer's animation at the last step
    int32_t upperLayerFrame_ = 0;        // its first frame whose spell is not yet cast
    uint32_t tiltSwitches_[2] = {0, 0};
    void ClearBlendLayer();
    // The collision body and the contact records bound into the mesh for the posing (a free
    // character), and the contact blocks filled from what the posing found; a character driven
    // over the network is not swept, only probed for the ground under it.
    void BindCollisionBody();
    void FillContactBlocks();
    void ProbeRemoteGround();
    // First of the slots named that the character has, played with BlendToAnimIndex; false when none.
    bool PlayFirst(std::initializer_list<uint32_t> slots, int32_t startFrame = 0);
    bool Has(uint32_t slot) { return GetAnim(slot) != nullptr; }
    bool CurrentIs(uint32_t slot) { return currentAnim != nullptr && currentAnim == GetAnim(slot); }
    // Medium of the target orders: 0 foot, 1 flying, 2 driving, 3 swimming.
    int32_t Medium() const;
    void GoToTargetStep(float d2, float a, float b, float c);
};

// Events a character raises on a target it loses because the target went away or changed.
inline constexpr uint32_t EntityEventOrderTargetLost = 30;   // the character had order 6
inline constexpr uint32_t EntityEventPlayerTargetLost = 39;  // the character is the player
inline constexpr uint32_t EntityEventPlayerTargetSet = 38;   // the player targets it
inline constexpr uint32_t EntityEventDeath = 34;
inline constexpr int32_t EntityOrderKeepOffset = 6;

// The ground-probe range of the scripted moves and the unit of their drop tests: the step height,
// or the body height without one.
float EntityMoveExtent(const NztEntity* e);

// The next value of the second running index into the shared random table (waypoint jitter,
// random animation frames).
extern uint32_t JitterRandomIndex;
float NextJitterRandom();

// The services outside the character that tests replace. The defaults are the engine's own.
struct CharacterHooks {
    // Non-zero when the object has event records of the code (event records are the event core's).
    uint32_t (*hasEventType)(NztEventObject* object, uint32_t code);
    // The inventory keys of the current inventory (the interface floor's), run in the player's
    // behaviour step before its control; none when left empty.
    void (*inventoryKeys)();
};
extern CharacterHooks CharacterServices;
void ResetCharacterHooks();
