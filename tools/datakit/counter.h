// Counter save writer: ".cnt" files (a u32 version word, then the f32 value).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

struct CounterSaveSpec {
    uint32_t version = 1000;
    float value = 0.0f;
    int64_t keepBytes = -1;  // cut the file to this many bytes; -1 keeps all 8
};

std::vector<uint8_t> MakeCounterSave(const CounterSaveSpec& spec);
bool WriteCounterSave(const std::string& path, const CounterSaveSpec& spec);

}  // namespace datakit
