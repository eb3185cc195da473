// Seeds for the mesh, side-file and animation readers: every file version, written with datakit.
#include <string>

#include "datakit/mesh.h"
#include "seeds.h"

namespace fuzzseeds {
namespace {

datakit::QvoMesh SeedMesh(uint32_t version) {
    datakit::QvoMesh m = datakit::MakeSkinnedStrip("Seed1001", 12, 4);
    m.version = version;
    m.textures = {{"Seed", 1, 1}};
    m.materials[0].layer1 = 0;
    m.materials[0].layer3 = 0;
    m.firstLayer3Material = 0;
    m.animSetName = "Seed";
    m.texWave = 1;
    m.texWaveAmplitude = 1.0f;
    m.indexList = {0, 1, 2};
    m.bones[1].hasExtra = 1;
    datakit::QvoAttach a;
    a.name = "Point";
    a.anchor = 9;
    a.angle = 512;
    a.bones = {0, 1};
    m.attach = {a, a};
    return m;
}

std::vector<std::pair<std::string, Bytes>> MeshSeeds() {
    std::vector<std::pair<std::string, Bytes>> seeds;
    for (uint32_t v = 10000; v <= 10010; ++v) seeds.emplace_back("mesh" + std::to_string(v), datakit::WriteQvo(SeedMesh(v)));
    for (const auto& [name, bytes] : datakit::SampleModelFiles())
        if (name.ends_with(".QVo") && bytes.size() < 65536) seeds.emplace_back("sample" + std::to_string(seeds.size()), bytes);
    return seeds;
}

std::vector<std::pair<std::string, Bytes>> SideSeeds() {
    std::vector<std::pair<std::string, Bytes>> seeds;
    datakit::QvcFile f = datakit::MakeSideFile(datakit::MakeBoxMesh("", {2, 2, 2}, ""));
    datakit::QvoBone bone;
    bone.pivot = 0;
    bone.vertices = {1, 2, 3};
    f.bones = {bone};
    for (uint32_t v = 10000; v <= 10002; ++v) {
        f.version = v;
        f.collisionSkinned = v == 10002;
        seeds.emplace_back("side" + std::to_string(v), datakit::WriteQvc(f));
    }
    return seeds;
}

std::vector<std::pair<std::string, Bytes>> AnimSeeds() {
    std::vector<std::pair<std::string, Bytes>> seeds;
    for (uint32_t v = 10000; v <= 10002; ++v) {
        datakit::QvaAnim a = datakit::MakeSwingAnim(9, 3, 4);
        a.version = v;
        a.texAnim = 1;
        a.frames[0].hasTexTransform = 1;
        seeds.emplace_back("anim" + std::to_string(v), datakit::WriteQva(a));
    }
    return seeds;
}

// The loose-file target reads each input both as a mesh file and as a side file.
std::vector<std::pair<std::string, Bytes>> MeshFileSeeds() {
    std::vector<std::pair<std::string, Bytes>> seeds = MeshSeeds();
    for (auto& seed : SideSeeds()) seeds.push_back(std::move(seed));
    return seeds;
}

const Registration qvo("qvo", MeshSeeds);
const Registration meshfile("meshfile", MeshFileSeeds);
const Registration qvc("qvc", SideSeeds);
const Registration qva("qva", AnimSeeds);

}  // namespace
}  // namespace fuzzseeds
