// Character movement: the animation slots and buttons the movement code names, the action states and
// stances it dispatches on, the ledge probe's answers, and the working values of the glide, slide,
// drive and pose steps.
//
// The movement steps are NztEntity members (character/entity.h); they live in probes.cpp (ledge,
// wall and tilt probes), modes.cpp (flying, sliding, gliding, sky-diving, guarding, jumps),
// pose.cpp (procedural lean, vehicles, wheels and springs), control.cpp (player input and its
// events) and animstate.cpp (the animation state machine). Main thread only.
#pragma once

#include <cstdint>

// Animation slots by name (the order of AnimNameTable).
namespace AnimSlot {
enum : uint32_t {
    MoveStatic01 = 0,
    MoveWalk = 12,
    MoveRun = 13,
    MoveSprint = 14,
    MoveBack = 15,
    MoveTurn = 18,
    MoveStrafL = 19,
    MoveStrafR = 20,
    DiveEndWater = 31,
    DiveAngelStart = 40,
    DiveAngleStartStyle = 41,
    DiveAngleStartRun = 42,
    DiveAngleStartSprint = 43,
    JumpStatic = 44,
    JumpWalk01 = 46,
    JumpRun01 = 49,
    JumpSprint01 = 52,
    JumpUp01 = 55,
    JumpRight01 = 58,
    JumpLeft01 = 61,
    JumpBack01 = 64,
    JumpHandUp01 = 67,
    JumpHandAway01 = 70,
    JumpHandUpBig01 = 74,
    FightStatic = 84,
    FightParad = 93,
    FlyStatic01 = 100,
    FlyWalk = 105,
    FlyRun = 106,
    FlySprint = 107,
    FlyBack = 108,
    FlyStart = 112,
    FlyEnd = 113,
    SwimStatic01 = 114,
    SwimWalk = 119,
    SwimRun = 120,
    SwimSprint = 121,
    SwimBack = 122,
    DriveForward = 133,
    FallDown = 140,
    FallSkyDive = 142,
    FallSkyDiveEndFloor = 143,
    RoundForward = 170,
    SlideStart = 172,
    SlideEnd = 173,
    SlideEndWater = 174,
    SlideRun = 175,
    SlideSprint = 176,
    SlideImpact = 177,
    ParaStart = 178,
    ParaEndFloor = 179,
    ParaEndWater = 180,
    ParaMoveForward = 181,
    DeltaStart = 182,
    DeltaEndFloor = 183,
    DeltaEndWater = 184,
    DeltaMoveForward = 185,
    DeltaCollision = 186,
    DeltaLand = 187,
    FallSkyDiveStyle01 = 188,
    FallSkyDiveStyle02 = 189,
    FallSkyDiveStyle03 = 190,
    FallSkyDiveStyle04 = 191,
    FallSkyDiveMoveForward = 192,
    SlideFreeStyle03 = 193,
    SlideFreeStyle04 = 194,
    SlideFreeStyle01 = 195,
    SlideFreeStyle02 = 196,
    LadderStatic = 203,
    LadderMoveUp = 204,
    LadderMoveDown = 205,
    ClimbStatic = 210,
    ClimbRight = 213,
    ClimbLeft = 214,
    ClimbEndUp = 215,
    ClimbEndUpFun = 216,
    ClimbJumpUp00 = 218,
    ClimbJumpUp01 = 219,
    ClimbJumpUp02 = 220,
    ClimbJumpDown01 = 221,
    ClimbJumpLeft00 = 223,
    ClimbJumpLeft01 = 224,
    ClimbJumpRight00 = 226,
    ClimbJumpRight01 = 227,
    ClimbJumpBack00 = 229,
    ClimbJumpBack01 = 230,
    ClimbTurnLeftIn = 232,
    ClimbTurnRightIn = 233,
    ClimbTurnLeftOut = 234,
    ClimbTurnRightOut = 235,
};
inline constexpr uint32_t None = 0xFFFFFFFFu;  // "no next animation"
}  // namespace AnimSlot

// Buttons of the input tables (core/input.h) by their movement meaning.
namespace MoveButton {
enum : int {
    Brake = 0,      // B
    Gait = 1,       // Shift: cycles walk, run, sprint
    Jump = 2,       // Alt
    Action = 4,     // Ctrl: take off, cut a parachute or glider
    Forward = 7,
    Back = 8,
    Left = 9,
    Right = 10,
    StrafeLeft = 11,
    StrafeRight = 12,
    Guard = 15,     // P
};
}

// Action states of a character (the word the state machine dispatches on): 0 free on the ground,
// 1 hanging from a ledge, 2 and 3 on a ladder, 4 a move the state machine started; other values
// are scripted states the state machine leaves alone.
inline constexpr uint32_t ActionStateFree = 0;
inline constexpr uint32_t ActionStateHanging = 1;
inline constexpr uint32_t ActionStateLadder = 2;
inline constexpr uint32_t ActionStateLadder2 = 3;
inline constexpr uint32_t ActionStateScripted = 4;

// Stances (the player-control scheme of the ground): 0 camera-relative, 4 camera-relative with the
// sideways buttons only; 1 turns in place, 2 and 3 lean the body toward the sideways buttons.
inline constexpr uint32_t StanceFree = 0;
inline constexpr uint32_t StanceSideways = 4;

// Answers of the ledge probe FindLedge.
inline constexpr uint32_t LedgeNone = 0;
inline constexpr uint32_t LedgeStepUp = 1;    // a ledge within a body height: jump up onto it
inline constexpr uint32_t LedgeHandUp = 2;    // a high ledge straight ahead: jump to hang from it
inline constexpr uint32_t LedgeHandAway = 3;  // a hang hold beyond a gap: jump across to it

// The working values of the movement steps that no other code reads.
struct NztMoveWork {
    // Procedural pose: targets and smoothed angles (angle units), wheels, steering and limbs.
    float poseTarget[3] = {0.0f, 0.0f, 0.0f};  // pitch, yaw, roll
    float pose[3] = {0.0f, 0.0f, 0.0f};
    float wheelAngle = 0.0f;
    float steerTarget = 0.0f;
    float steerAngle = 0.0f;
    float limbSwing = 0.0f;
    uint32_t limbSwingOn = 1;
    float limbPitch = 0.0f;
    float limbRoll = 0.0f;
    int32_t limbPulse = 0;  // glider flaps: > 0 pulls the limbs up, < 0 pushes them down
    // Slide: the tilt, the two words StartSlide sets, lean and clock.
    float slideTilt = 0.0f;
    float slideTiltStep = 0.0f;
    float slideSteer = 1.5f;  // the steering factor of the slide
    float slideWord = 0.0f;
    float slideLean = 0.0f;
    float slideClock = 0.0f;
    float slideSpeedNow = 0.0f;
    // Flying and swimming.
    uint32_t highFlight = 0;
    float verticalSpeed = 0.0f;  // units per frame, up positive
    // The target speed factor the character had before a flight or a swim set its own.
    float landSpeedTarget = 1.0f;
    uint32_t landSpeedKept = 0;
    float turnSpeed = 0.0f;      // angle units per frame
    float bank = 0.0f;
    // Gliding.
    float glideFall = 0.0f;   // units per frame, down positive
    float glideDrift = 0.0f;
    float releaseTime = 0.0f;
    float skyLean = 0.0f;
    // Driving: lean of the body and the body yaw offset of stances 2 and 3.
    float driveLean = 0.0f;
    float yawOffset = 0.0f;
    uint32_t fallAnim = 0;  // the jump animation StartJump chose
};
