// The sample characters: the hero the game configuration names as the player, and a guard and a
// watcher for scenes to place. All share the sample skeleton; each has an idle, a walk, a step back
// and turns on the spot, and the guard and the watcher a look of their own.
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "datakit/image.h"
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

// A character's look, "MAPSMODELS/<name>.Img": every body part in the cloth colour with a
// border of the trim colour, so that the parts stand apart from each other.
bool WriteLook(const std::string& datasFolder, const char* name, const uint8_t cloth[3], const uint8_t trim[3]) {
    constexpr uint32_t Size = 32;
    datakit::Rgba image = datakit::SolidRgba(Size, Size, 0, 0, 0, 255);
    for (uint32_t y = 0; y < Size; ++y)
        for (uint32_t x = 0; x < Size; ++x) {
            const bool border = x < 3 || y < 3 || x >= Size - 3 || y >= Size - 3;
            uint8_t* p = &image.pixels[(y * Size + x) * 4];
            for (int c = 0; c < 3; ++c) p[c] = border ? trim[c] : cloth[c];
        }
    return datakit::WriteImageBytes(datasFolder + "/MAPSMODELS/" + name + ".Img", datakit::MakeImg32(image));
}

// A character type on the sample skeleton with a look of its own: "<Type>1001", its collision
// side file, and its idle, walk, step back and turns.
void AddSkeletonType(std::vector<std::pair<std::string, datakit::Bytes>>& files, const std::string& type) {
    const datakit::QvaAnim idle = datakit::SampleHeroIdle();
    const std::string anims = "OBJECTS/ENTITIES/ANIMS/" + type + "/" + type;
    datakit::QvoMesh mesh = datakit::SampleHeroMesh();
    mesh.name = type + "1001";
    mesh.animSetName = type;
    mesh.textures[0].name = type;
    files.emplace_back("OBJECTS/ENTITIES/" + type + "1001.QVo", datakit::WriteQvo(mesh));
    files.emplace_back("OBJECTS/ENTITIES/" + type + "0001.QVc",
                       datakit::WriteQvc(datakit::MakeSideFile(datakit::MakeBoxMesh("", {4, 18, 3}, ""))));
    files.emplace_back(anims + "MoveStatic01.QVa", datakit::WriteQva(idle));
    files.emplace_back(anims + "MoveWalk.QVa", datakit::WriteQva(datakit::SampleHeroWalk()));
    files.emplace_back(anims + "MoveTurnL.QVa", datakit::WriteQva(MakeTurn(idle, 1.0f)));
    files.emplace_back(anims + "MoveTurnR.QVa", datakit::WriteQva(MakeTurn(idle, -1.0f)));
    // The hero's step back, so that one keeping its distance can back away from one too close.
    for (const auto& [name, bytes] : datakit::SampleMovementFiles())
        if (name == "OBJECTS/ENTITIES/ANIMS/Hero/HeroMoveBack.QVa") files.emplace_back(anims + "MoveBack.QVa", bytes);
}

}  // namespace

bool WriteSampleCharacters(const std::string& datasFolder) {
    const datakit::QvaAnim idle = datakit::SampleHeroIdle();
    std::vector<std::pair<std::string, datakit::Bytes>> files;
    // The hero's mesh, idle and walk come with the sample models; its turns are added here.
    files.emplace_back("OBJECTS/ENTITIES/ANIMS/Hero/HeroMoveTurnL.QVa", datakit::WriteQva(MakeTurn(idle, 1.0f)));
    files.emplace_back("OBJECTS/ENTITIES/ANIMS/Hero/HeroMoveTurnR.QVa", datakit::WriteQva(MakeTurn(idle, -1.0f)));
    // The guard in a red tunic with golden trim, the watcher in purple with white trim; the hero
    // stays pale.
    AddSkeletonType(files, "Guard");
    AddSkeletonType(files, "Watcher");
    const uint8_t red[3] = {170, 40, 35}, gold[3] = {220, 170, 60};
    const uint8_t purple[3] = {150, 60, 210}, white[3] = {235, 235, 245};
    if (!WriteLook(datasFolder, "Guard", red, gold) || !WriteLook(datasFolder, "Watcher", purple, white)) {
        std::fprintf(stderr, "makedata: cannot write the characters' looks under %s\n", datasFolder.c_str());
        return false;
    }
    for (const auto& [name, bytes] : files)
        if (!Write(datasFolder, name, bytes)) return false;
    return true;
}
