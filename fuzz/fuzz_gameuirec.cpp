// Game interface records over arbitrary bytes: every record builds a panel whose geometry is
// finite, whose parent index names a panel or is -1 once linked, and which writes back texts that
// end in zero; animations and the caption commands on it stay inside their buffers.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/binio.h"
#include "core/frameclock.h"
#include "ui/gameui.h"
#include "ui/wnd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BinReader in(data, size);
    GameUIRecord record;
    while (ReadGameUIRecord(in, &record) && GameUICount < 4) {
        if (CreateGameUI(record) == nullptr) __builtin_trap();
    }
    LinkAllGameUIs();
    FrameTiming.frameTime = 0.25f;
    for (int32_t i = 0; i < GameUICount; ++i) {
        NztGameUI* g = GameUIList[i];
        if (g->parentIndex < -1 || g->parentIndex >= GameUICount) __builtin_trap();
        if (!std::isfinite(g->x) || !std::isfinite(g->width)) __builtin_trap();
        GameUIAnimParams a;
        a.kind = 1 + uint32_t(i) % 4;
        a.duration = record.textOffsetX;
        a.start[0] = a.start[1] = record.x;
        a.end[0] = a.end[1] = record.y;
        g->StartAnim(a);
        for (int step = 0; step < 6; ++step) g->StepAnims();
        GameUIRecord back;
        g->FillSceneRecord(&back);
        if (strnlen(back.name, sizeof back.name) == sizeof back.name ||
            strnlen(back.pressedImageName, sizeof back.pressedImageName) == sizeof back.pressedImageName)
            __builtin_trap();
        if (g->mainWnd != nullptr && strnlen(g->mainWnd->text, sizeof g->mainWnd->text) == sizeof g->mainWnd->text)
            __builtin_trap();
    }
    LayoutAllGameUIs();
    DestroyAllGameUIs();
    DestroyAllWnds();
    return 0;
}
