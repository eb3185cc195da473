#pragma once
// Writers for the engine's data formats, used by tests, fuzz seeds and makedata.
#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

// Writes bytes to path (through a temporary file); false when that fails.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace datakit
