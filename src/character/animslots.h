// Indices in AnimNameTable of the animation slots the character code plays by itself.
#pragma once

#include <cstdint>

namespace animslot {
inline constexpr uint32_t MoveStatic01 = 0;
inline constexpr uint32_t MoveWalk = 12;
inline constexpr uint32_t MoveRun = 13;
inline constexpr uint32_t MoveSprint = 14;
inline constexpr uint32_t MoveBack = 15;
inline constexpr uint32_t MoveTurnL = 16;
inline constexpr uint32_t MoveTurnR = 17;
inline constexpr uint32_t JumpHandAway01 = 70;
inline constexpr uint32_t JumpHandUpBig01 = 74;
inline constexpr uint32_t WaitSit02 = 82;
inline constexpr uint32_t FightStatic = 84;
inline constexpr uint32_t FlyStatic01 = 100;
inline constexpr uint32_t FlyWalk = 105;
inline constexpr uint32_t FlyRun = 106;
inline constexpr uint32_t FlySprint = 107;
inline constexpr uint32_t SwimStatic01 = 114;
inline constexpr uint32_t SwimWalk = 119;
inline constexpr uint32_t SwimRun = 120;
inline constexpr uint32_t SwimSprint = 121;
inline constexpr uint32_t DriveStatic01 = 128;
inline constexpr uint32_t DriveForward = 133;
inline constexpr uint32_t DriveBackWard = 134;
inline constexpr uint32_t FallDown = 140;
inline constexpr uint32_t ClimbEndUp = 215;
inline constexpr uint32_t ClimbJumpUp01 = 219;
inline constexpr uint32_t ClimbJumpDown01 = 221;
inline constexpr uint32_t ClimbJumpLeft01 = 224;
inline constexpr uint32_t ClimbJumpRight01 = 227;
inline constexpr uint32_t ClimbJumpBack01 = 230;
inline constexpr uint32_t None = 0xFFFFFFFFu;
}  // namespace animslot
