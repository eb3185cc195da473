// Game map records over arbitrary bytes: every record builds a map whose markers land on finite
// places and keep names of at most 31 characters.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/binio.h"
#include "ui/gamemap.h"
#include "ui/wnd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BinReader in(data, size);
    GameMapRecord record;
    if (ReadGameMapRecord(in, &record)) {
        NztGameMap* m = CreateGameMap(record);
        if (m == nullptr) __builtin_trap();
        m->AddMarker(nullptr, 0, record.x, record.y, record.width, record.height, record.originFractionX,
                     record.originFractionY, record.opacity, record.imageName, record.imageName);
        m->SetSize(record.worldWidth, record.worldDepth);
        m->Layout();
        for (int32_t i = 0; i < m->markerCount; ++i) {
            float px = 0.0f, py = 0.0f;
            m->MarkerPlace(m->markers[i], record.x, record.y, &px, &py);
            if (strnlen(m->markers[i].name, MarkerNameBytes) >= MarkerNameBytes) __builtin_trap();
            if (std::isfinite(record.width) && std::isfinite(record.height) && std::fabs(record.width) < 1e30f &&
                std::fabs(record.height) < 1e30f && std::isfinite(m->originX) && std::isfinite(m->originY) &&
                (std::isnan(px) || std::isnan(py)))
                __builtin_trap();
        }
        m->RemoveMarker(record.imageName);
    }
    DestroyAllGameMaps();
    DestroyAllWnds();
    return 0;
}
