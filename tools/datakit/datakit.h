#pragma once
// Writers for the engine's data formats, used by tests, fuzz seeds and makedata.
#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

// Little-endian values appended to a byte vector (formats built in memory before they are written).
inline void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// Writes bytes to path (through a temporary file); false when that fails.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace datakit
