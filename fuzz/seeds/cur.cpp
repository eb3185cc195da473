#include "datakit/cur.h"
#include "seeds.h"

namespace {

datakit::CurImage Checker(int32_t size, int bitCount) {
    datakit::CurImage im;
    im.width = size;
    im.height = size;
    im.hotX = size / 3;
    im.hotY = size / 4;
    im.bitCount = bitCount;
    for (int32_t y = 0; y < size; ++y) {
        for (int32_t x = 0; x < size; ++x) {
            uint32_t p = ((x / 4 + y / 4) % 2) ? 0xFFFFFFFFu : 0xFF000000u;
            if (x == y) p = 0;  // a transparent diagonal
            if (bitCount == 32 && x == 1) p = 0x80336699u;
            im.pixels.push_back(p);
        }
    }
    return im;
}

std::vector<std::pair<std::string, fuzzseeds::Bytes>> Make() {
    return {
        {"colour32.cur", datakit::WriteCur({Checker(32, 32)})},
        {"mono.cur", datakit::WriteCur({Checker(16, 1)})},
        {"two.cur", datakit::WriteCur({Checker(12, 1), Checker(24, 32)})},
    };
}

fuzzseeds::Registration reg("cur", Make);

}  // namespace
