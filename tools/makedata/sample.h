// The parts of the sample world, each written by the subsystem that reads it.
#pragma once

#include <string>

bool WriteSampleAudio(const std::string& datasFolder);
