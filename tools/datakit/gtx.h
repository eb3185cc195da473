// Text table writer: ".Gtx" files (a u32 count, then one 256-byte entry per text).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

struct GtxSpec {
    // Each entry is written as exactly 256 bytes: zero-padded, or cut to 256 bytes, so a text of
    // 256 bytes or more makes an entry without its terminator.
    std::vector<std::string> entries;
    int64_t declaredCount = -1;  // the count written; -1 writes the number of entries given
};

std::vector<uint8_t> MakeGtx(const GtxSpec& spec);
bool WriteGtx(const std::string& path, const GtxSpec& spec);

}  // namespace datakit
