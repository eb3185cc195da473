#include "datakit.h"

#include "core/binio.h"
#include "core/nztfile.h"

namespace datakit {

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    AtomicSave save;
    if (!save.Open(path.c_str())) return false;
    BinWriter(save.Stream()).Bytes(bytes.data(), bytes.size());
    return save.Commit();
}

}  // namespace datakit
