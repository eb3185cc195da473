#include "datakit/counter.h"

#include "core/binio.h"
#include "datakit/datakit.h"

namespace datakit {

std::vector<uint8_t> MakeCounterSave(const CounterSaveSpec& s) {
    std::vector<uint8_t> bytes;
    BinWriter out(bytes);
    out.U32(s.version);
    out.F32(s.value);
    if (s.keepBytes >= 0 && size_t(s.keepBytes) < bytes.size()) bytes.resize(size_t(s.keepBytes));
    return bytes;
}

bool WriteCounterSave(const std::string& path, const CounterSaveSpec& spec) {
    return WriteFileBytes(path, MakeCounterSave(spec));
}

}  // namespace datakit
