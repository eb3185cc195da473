#include "datakit/moves.h"

#include "datakit/mesh.h"
#include "datakit/traject.h"

namespace datakit {

std::vector<std::pair<std::string, std::vector<uint8_t>>> SampleMoveFiles() {
    const struct {
        const char* slot;
        uint32_t frames;
    } moves[] = {
        {"JumpWalk01", 8},        {"JumpWalk02", 12},       {"JumpWalk03", 8},       {"JumpStatic", 10},
        {"FallDown", 20},         {"RoundForward", 16},     {"FallEndFloor", 20},    {"ClimbStatic", 30},
        {"ClimbJumpUp01", 10},    {"ClimbJumpUp02", 12},    {"ClimbEndUp", 20},      {"JumpHandUpBig01", 8},
        {"JumpHandUpBig02", 12},  {"JumpHandUpBig03", 12},  {"JumpHandUpBig03b", 8}, {"JumpReceiptRound", 16},
    };
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    const QvaAnim idle = SampleHeroIdle();
    for (const auto& m : moves) {
        QvaAnim a = idle;
        a.frameCount = m.frames;
        std::erase_if(a.frames, [&](const QvaFrame& f) { return f.index >= m.frames; });
        if (!a.frames.empty() && a.frames.back().index + 1 != m.frames) {
            a.frames.push_back(a.frames.back());
            a.frames.back().index = m.frames - 1;
        }
        files.emplace_back(std::string("OBJECTS/ENTITIES/ANIMS/Hero/Hero") + m.slot + ".QVa", WriteQva(a));
    }
    QvtSpec patrol;
    patrol.name = "Patrol";
    const float corners[4][2] = {{-60.0f, -60.0f}, {60.0f, -60.0f}, {60.0f, 60.0f}, {-60.0f, 60.0f}};
    for (const auto& c : corners) {
        QvtPoint p;
        p.position = {c[0], 0.0f, c[1]};
        p.target = p.position;
        patrol.points.push_back(p);
    }
    files.emplace_back("TRAJECTS/Patrol.Qvt", MakeQvt(patrol));
    return files;
}

}  // namespace datakit
