// The sample hero's scripted moves: the jump, fall and climbing animations of "Hero", each the
// first frames of its idle (the moves carry the body themselves), and the patrol round of the
// sample level's characters.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace datakit {

// (relative data name, bytes): "OBJECTS/ENTITIES/ANIMS/Hero/Hero<slot>.QVa" per move animation and
// "TRAJECTS/Patrol.Qvt", the four corners of a square of 120 units about the origin.
std::vector<std::pair<std::string, std::vector<uint8_t>>> SampleMoveFiles();

}  // namespace datakit
