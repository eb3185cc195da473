// The sample hero's movement animations and the sample level's movement pieces.
#include "datakit/movement.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "datakit/moves.h"

namespace datakit {

namespace {

constexpr float Pi = 3.14159265f;

// The sample hero's skeleton (datakit's SampleModelFiles): 14 bones, these ones swung here.
constexpr uint32_t HeroBones = 14;
enum : uint32_t { Spine = 1, ArmL = 4, ForearmL = 5, ArmR = 6, ForearmR = 7, ThighL = 8, ShinL = 9, ThighR = 11, ShinR = 12 };

Quat TurnX(float radians) {
    return {std::cos(radians * 0.5f), std::sin(radians * 0.5f), 0.0f, 0.0f};
}
Quat TurnZ(float radians) {
    return {std::cos(radians * 0.5f), 0.0f, 0.0f, std::sin(radians * 0.5f)};
}

// How a cycle moves the limbs.
struct Gait {
    float legs;       // thigh swing, radians
    float arms;       // arm swing
    float lean;       // spine lean forward
    bool armsUp;      // arms raised above the head (ladder rungs)
    bool sideways;    // legs swing out to the side (strafing)
    bool prone = false;  // the body lies face down, head forward, hips at the root's height
                         // (swimming: the root sits on the water surface), the arms stroking in turn
};

QvaFrame Frame(uint32_t index, float phase, const Gait& g, Vec3 root) {
    QvaFrame f;
    f.index = index;
    f.hasPosition = 1;
    f.position = root;
    f.keys.assign(HeroBones, NztBoneKey{});
    for (NztBoneKey& k : f.keys) k.HasRotation = 1;
    const float s = std::sin(phase * 2.0f * Pi);
    if (g.sideways) {
        f.keys[ThighL].Rotation = TurnZ(-g.legs * std::max(0.0f, s));
        f.keys[ThighR].Rotation = TurnZ(g.legs * std::max(0.0f, -s));
    } else {
        f.keys[ThighL].Rotation = TurnX(-g.legs * s);
        f.keys[ThighR].Rotation = TurnX(g.legs * s);
        f.keys[ShinL].Rotation = TurnX(g.legs * 1.2f * std::max(0.0f, s));
        f.keys[ShinR].Rotation = TurnX(g.legs * 1.2f * std::max(0.0f, -s));
    }
    if (g.prone) {
        // Pelvis, and with it the whole body, turned a quarter about x (the head to +z, the face
        // down) and lowered from its joint 9 up to the root's height; the arms pull through in
        // turn, one reaching ahead while the other sweeps back to the hip.
        f.keys[0].Rotation = TurnX(0.5f * Pi);
        f.keys[0].HasTranslation = 1;
        f.keys[0].Translation = {0.0f, -9.0f, 0.0f};
        f.keys[ArmL].Rotation = TurnX(-1.6f - g.arms * s);
        f.keys[ArmR].Rotation = TurnX(-1.6f + g.arms * s);
    } else if (g.armsUp) {
        // Arms over the head, stroking in turn.
        f.keys[ArmL].Rotation = TurnX(-2.4f - g.arms * s);
        f.keys[ArmR].Rotation = TurnX(-2.4f + g.arms * s);
    } else {
        f.keys[ArmL].Rotation = TurnX(g.arms * s);
        f.keys[ArmR].Rotation = TurnX(-g.arms * s);
        f.keys[ForearmL].Rotation = TurnX(-0.4f * g.arms);
        f.keys[ForearmR].Rotation = TurnX(-0.4f * g.arms);
    }
    f.keys[Spine].Rotation = TurnX(g.lean);
    return f;
}

// A cycle of frames frames, stored every quarter and at the end, its root moving by step a frame.
QvaAnim Cycle(uint32_t frames, const Gait& g, Vec3 step) {
    QvaAnim a;
    a.frameCount = frames;
    a.boneCount = HeroBones;
    const uint32_t keys[] = {0, frames / 4, frames / 2, 3 * frames / 4, frames - 1};
    for (uint32_t k : keys) {
        const float t = static_cast<float>(k);
        a.frames.push_back(Frame(k, t / static_cast<float>(frames), g, step * t));
    }
    return a;
}

// A wedge rising along +z: length long, width wide, from 0 to height.
QvoMesh MakeRamp(const std::string& name, float width, float length, float height, const std::string& texture) {
    QvoMesh m;
    m.name = name;
    m.textures.push_back({texture, 1, 1});
    QvoMaterial mat;
    mat.layer1 = 0;
    const float hx = width * 0.5f, hz = length * 0.5f;
    const Vec3 a{-hx, 0, -hz}, b{hx, 0, -hz}, c{hx, height, hz}, d{-hx, height, hz}, e{hx, 0, hz}, f{-hx, 0, hz};
    const float len = std::sqrt(length * length + height * height);
    const Vec3 up{0, length / len, -height / len};
    auto quad = [&](Vec3 p0, Vec3 p1, Vec3 p2, Vec3 p3, Vec3 n) {
        const uint32_t base = static_cast<uint32_t>(m.vertices.size());
        for (const Vec3& p : {p0, p1, p2, p3}) {
            m.vertices.push_back(p);
            m.normals.push_back(n);
        }
        m.texCoords.insert(m.texCoords.end(), {0, 1, 1, 1, 1, 0, 0, 0});
        mat.indices.insert(mat.indices.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
    };
    quad(d, c, b, a, up);  // the slope, wound as the top of a box
    quad(f, e, c, d, {0, 0, 1});  // the high end
    const uint32_t base = static_cast<uint32_t>(m.vertices.size());
    for (const Vec3& p : {e, b, c}) m.vertices.push_back(p), m.normals.push_back({1, 0, 0});
    for (const Vec3& p : {a, f, d}) m.vertices.push_back(p), m.normals.push_back({-1, 0, 0});
    m.texCoords.insert(m.texCoords.end(), 12, 0.0f);
    mat.indices.insert(mat.indices.end(), {base, base + 1, base + 2, base + 3, base + 4, base + 5});
    m.materials.push_back(std::move(mat));
    return m;
}

}  // namespace

std::vector<std::pair<std::string, Bytes>> SampleMovementFiles() {
    std::vector<std::pair<std::string, Bytes>> files;
    const std::string anims = "OBJECTS/ENTITIES/ANIMS/Hero/Hero";
    auto anim = [&](const char* slot, const QvaAnim& a) { files.emplace_back(anims + slot + ".QVa", WriteQva(a)); };

    // On the ground. The walk (0.55 a frame) and the idle come with the hero itself.
    anim("MoveRun", Cycle(16, {0.8f, 0.8f, 0.15f, false, false}, {0, 0, 1.2f}));
    anim("MoveSprint", Cycle(12, {1.0f, 1.0f, 0.3f, false, false}, {0, 0, 2.0f}));
    anim("MoveBack", Cycle(24, {-0.4f, 0.3f, -0.05f, false, false}, {0, 0, -0.35f}));
    // Side steps: the hero faces its +z with y up, so its left is its +x.
    anim("MoveStrafL", Cycle(24, {0.4f, 0.1f, 0.0f, false, true}, {0.4f, 0, 0}));
    anim("MoveStrafR", Cycle(24, {-0.4f, 0.1f, 0.0f, false, true}, {-0.4f, 0, 0}));
    // In water: the body lies on the surface, face down, and floats; the strokes carry it forward
    // (or back), the legs kicking.
    anim("SwimStatic01", Cycle(40, {0.15f, 0.3f, 0.0f, false, false, true}, {0, 0, 0}));
    anim("SwimWalk", Cycle(32, {0.3f, 1.0f, 0.0f, false, false, true}, {0, 0, 0.3f}));
    anim("SwimRun", Cycle(24, {0.4f, 1.2f, 0.0f, false, false, true}, {0, 0, 0.5f}));
    anim("SwimSprint", Cycle(20, {0.5f, 1.4f, 0.0f, false, false, true}, {0, 0, 0.8f}));
    anim("SwimBack", Cycle(32, {-0.3f, 0.8f, 0.0f, false, false, true}, {0, 0, -0.25f}));
    // On a ladder: hands on the rungs, climbing 0.3 a frame.
    anim("LadderStatic", Cycle(40, {0.05f, 0.05f, 0.0f, true, false}, {0, 0, 0}));
    anim("LadderMoveUp", Cycle(30, {0.5f, 0.4f, 0.0f, true, false}, {0, 0.3f, 0}));
    anim("LadderMoveDown", Cycle(30, {-0.5f, -0.4f, 0.0f, true, false}, {0, -0.3f, 0}));

    // Level pieces, each with its collision side file (named <Name>0001 for <Name>1001).
    // Water: a surface of hit type 3; the level raises it above the ground to make a pool.
    QvoMesh water = MakeGridMesh("Water1001", 8, 160.0f, "Water");
    files.emplace_back("OBJECTS/Water1001.QVo", WriteQvo(water));
    QvcFile waterSide = MakeSideFile(water);
    waterSide.words.assign(waterSide.words.size(), 3);
    files.emplace_back("OBJECTS/Water0001.QVc", WriteQvc(waterSide));
    // A ledge 14 high: between three quarters of the hero's height and its height, a step up.
    QvoMesh ledge = MakeBoxMesh("Ledge1001", {60, 14, 60}, "Crate");
    files.emplace_back("OBJECTS/Ledge1001.QVo", WriteQvo(ledge));
    files.emplace_back("OBJECTS/Ledge0001.QVc", WriteQvc(MakeSideFile(ledge)));
    // A ladder: a thin board 60 high.
    QvoMesh ladder = MakeBoxMesh("Ladder1001", {12, 60, 2}, "Bark");
    files.emplace_back("OBJECTS/Ladder1001.QVo", WriteQvo(ladder));
    files.emplace_back("OBJECTS/Ladder0001.QVc", WriteQvc(MakeSideFile(ladder)));
    // A slope rising 14 over 56 along +z: its top meets the ledge's top when the two stand end to end.
    QvoMesh ramp = MakeRamp("Ramp1001", 40, 56, 14, "Ground");
    files.emplace_back("OBJECTS/Ramp1001.QVo", WriteQvo(ramp));
    files.emplace_back("OBJECTS/Ramp0001.QVc", WriteQvc(MakeSideFile(ramp)));
    return files;
}

std::vector<std::pair<std::string, Bytes>> SampleJumpFiles() {
    std::vector<std::pair<std::string, Bytes>> files;
    const std::string anims = "OBJECTS/ENTITIES/ANIMS/Hero/Hero";
    const Gait legs{0.6f, 0.4f, 0.1f, false, false};
    // The jump, frame k carrying the root of the jump's (k + 1)th step, so that the very first
    // frame the game shows already lifts the hero off the ground, however short its frames.
    // Off the ground the hero's settling pulls it down as it does any airborne body (its fall speed
    // grows by half its weight a step, a fifth of which it falls): 0.05 n (n - 1) after n steps.
    // The root climbs by that much more than the flight it should give, 0.15 n (20 - n): up for ten
    // steps to 15, just over the ledge's top, and back down as it rose, on the ground at the last
    // frame. From the sixth step to the fourteenth it carries the hero 8 forward, so that a jump
    // against the ledge's face (the body held 2 units off it) comes down on the top.
    constexpr uint32_t Flight = 20;
    constexpr float Peak = 15.0f, Ahead = 8.0f, AheadFrom = 6.0f, AheadTo = 14.0f;
    QvaAnim up;
    up.frameCount = Flight;
    up.boneCount = HeroBones;
    for (uint32_t k = 0; k < Flight; ++k) {
        const float n = static_cast<float>(k + 1);
        const float flight = 0.01f * Peak * n * (static_cast<float>(Flight) - n);
        const float settling = 0.05f * n * (n - 1.0f);
        const float ahead = Ahead * std::clamp((n - AheadFrom) / (AheadTo - AheadFrom), 0.0f, 1.0f);
        up.frames.push_back(Frame(k, n / static_cast<float>(Flight), legs, {0, flight + settling, ahead}));
    }
    files.emplace_back(anims + "JumpStatic.QVa", WriteQva(up));
    return files;
}

std::vector<std::pair<std::string, Bytes>> SampleHeroMoveFiles() {
    const std::string walkingJump = "OBJECTS/ENTITIES/ANIMS/Hero/HeroJumpWalk01.QVa";
    std::vector<std::pair<std::string, Bytes>> files;
    for (auto& file : SampleMoveFiles())
        if (file.first != walkingJump) files.push_back(std::move(file));
    // The jump in place of its stand-in.
    for (auto& jump : SampleJumpFiles()) {
        auto same = std::find_if(files.begin(), files.end(), [&](const auto& f) { return f.first == jump.first; });
        if (same != files.end())
            same->second = std::move(jump.second);
        else
            files.push_back(std::move(jump));
    }
    return files;
}

}  // namespace datakit
