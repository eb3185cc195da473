// The sample hero's movement animations (running, sprinting, backing, strafing, swimming and
// ladders) and the pieces of the sample level to try them on: a pool of water, a ledge, a ladder
// and a slope, each with its collision side file.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "datakit/mesh.h"

namespace datakit {

// (relative data name, bytes): "OBJECTS/ENTITIES/ANIMS/Hero/Hero<slot>.QVa" for the slots MoveRun,
// MoveSprint, MoveBack, MoveStrafL, MoveStrafR, SwimStatic01, SwimWalk, SwimRun, SwimSprint,
// SwimBack, LadderStatic, LadderMoveUp and LadderMoveDown (every cycle carries its root motion:
// walk 0.55, run 1.2, sprint 2.0, swim 0.3 to 0.8 units a frame, ladders 0.3 up or down); and
// "OBJECTS/Water1001" (a 160-wide surface of hit type 3), "Ledge1001" (60 x 14 x 60),
// "Ladder1001" (12 x 60 x 2) and "Ramp1001" (40 wide, rising 14 over 56 along +z) with their
// "<Name>0001.QVc" side files.
std::vector<std::pair<std::string, Bytes>> SampleMovementFiles();
// The hero's jump, "JumpStatic", whose root carries the body up off the ground: up 15 (just over
// the ledge's top, well under the wall's) and back down within its own animation, falling as long
// as it rose, 8 forward around its top.
std::vector<std::pair<std::string, Bytes>> SampleJumpFiles();
// Every move file of the sample hero as the sample data holds it: datakit's SampleMoveFiles (with
// the patrol round) less the walking jump's take-off "JumpWalk01", the jump of SampleJumpFiles in
// place of its stand-in. Without a take-off for its gait, a hero that walks off an edge falls
// from where it stepped off (and any jump is the one jump, walking or standing); a take-off that
// lifts the body, played by every step off an edge, would throw the hero up before the fall.
std::vector<std::pair<std::string, Bytes>> SampleHeroMoveFiles();

}  // namespace datakit
