// The sample characters: the hero the game configuration names as the player, and a guard for
// scenes to place. Both share the sample skeleton; each has an idle, a walk, a step back and turns on
// the spot.
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "datakit/mesh.h"
#include "datakit/movement.h"
#include "sample.h"

namespace {

constexpr float Pi = 3.14159265f;
// Thigh bones of the sample skeleton.
constexpr uint32_t ThighL = 8;
constexpr uint32_t ThighR = 11;

Quat TurnX(float radians) { return {std::cos(radians * 0.5f), std::sin(radians * 0.5f), 0.0f, 0.0f}; }
Quat TurnY(float radians) { return {std::cos(radians * 0.5f), 0.0f, std::sin(radians * 0.5f), 0.0f}; }

// A quarter turn on the spot over 20 frames (left for a positive direction), the legs stepping.
datakit::QvaAnim MakeTurn(const datakit::QvaAnim& idle, float direction) {
    datakit::QvaAnim a;
    a.frameCount = 20;
    a.boneCount = idle.boneCount;
    for (uint32_t k : {0u, 5u, 10u, 15u, 19u}) {
        datakit::QvaFrame f;
        f.index = k;
        f.hasPosition = 1;
        f.hasRotation = 1;
        const float t = static_cast<float>(k) / 19.0f;
        f.rotation = TurnY(direction * 0.5f * Pi * t);
        f.keys.assign(a.boneCount, NztBoneKey{});
        for (NztBoneKey& key : f.keys) key.HasRotation = 1;
        const float step = 0.3f * std::sin(t * 2.0f * Pi);
        f.keys[ThighL].Rotation = TurnX(-step);
        f.keys[ThighR].Rotation = TurnX(step);
        a.frames.push_back(std::move(f));
    }
    return a;
}

bool Write(const std::string& folder, const std::string& name, const datakit::Bytes& bytes) {
    const std::string path = folder + "/" + name;
    if (datakit::WriteModelFile(path, bytes)) return true;
    std::fprintf(stderr, "makedata: cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

bool WriteSampleCharacters(const std::string& datasFolder) {
    const datakit::QvaAnim idle = datakit::SampleHeroIdle();
    const datakit::QvaAnim walk = datakit::SampleHeroWalk();
    std::vector<std::pair<std::string, datakit::Bytes>> files;
    // The hero's mesh, idle and walk come with the sample models; its turns are added here.
    files.emplace_back("OBJECTS/ENTITIES/ANIMS/Hero/HeroMoveTurnL.QVa", datakit::WriteQva(MakeTurn(idle, 1.0f)));
    files.emplace_back("OBJECTS/ENTITIES/ANIMS/Hero/HeroMoveTurnR.QVa", datakit::WriteQva(MakeTurn(idle, -1.0f)));

    datakit::QvoMesh guard = datakit::SampleHeroMesh();
    guard.name = "Guard1001";
    guard.animSetName = "Guard";
    files.emplace_back("OBJECTS/ENTITIES/Guard1001.QVo", datakit::WriteQvo(guard));
    files.emplace_back("OBJECTS/ENTITIES/Guard0001.QVc",
                       datakit::WriteQvc(datakit::MakeSideFile(datakit::MakeBoxMesh("", {4, 18, 3}, ""))));
    files.emplace_back("OBJECTS/ENTITIES/ANIMS/Guard/GuardMoveStatic01.QVa", datakit::WriteQva(idle));
    files.emplace_back("OBJECTS/ENTITIES/ANIMS/Guard/GuardMoveWalk.QVa", datakit::WriteQva(walk));
    files.emplace_back("OBJECTS/ENTITIES/ANIMS/Guard/GuardMoveTurnL.QVa", datakit::WriteQva(MakeTurn(idle, 1.0f)));
    files.emplace_back("OBJECTS/ENTITIES/ANIMS/Guard/GuardMoveTurnR.QVa", datakit::WriteQva(MakeTurn(idle, -1.0f)));
    // The hero's step back, so that a guard keeping its distance can back away from one too close.
    for (const auto& [name, bytes] : datakit::SampleMovementFiles())
        if (name == "OBJECTS/ENTITIES/ANIMS/Hero/HeroMoveBack.QVa")
            files.emplace_back("OBJECTS/ENTITIES/ANIMS/Guard/GuardMoveBack.QVa", bytes);
    for (const auto& [name, bytes] : files)
        if (!Write(datasFolder, name, bytes)) return false;
    return true;
}
