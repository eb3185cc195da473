// Skinning a 100,000-vertex, 60-bone mesh, one whole pose per call: the kernel every skinning
// variant uses (as picked at start-up, and with each version of its vertex pass), its plain reference, the
// earlier per-bone kernel, a dynamic object's full posing (frame rotation and the kernel), and, when
// Irrlicht's headers and library are installed, Irrlicht's CPU skinning of a mesh of the same size and
// skeleton beside it. Items are vertices posed.
//
// The skeleton is six limbs of ten bones. As in the mesh files, a bone lists every vertex it moves,
// its own band and the bands further down its limb, so each vertex is transformed once for every
// bone above it (5.5 times on average); the first twentieth of each band is a joint vertex with
// weight 0.5 in its own bone. Irrlicht's joints carry parents instead, so there each vertex has one
// weight (two at the joints) and the hierarchy is walked once per joint.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "character/entity.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "datakit/mesh.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/objtype.h"
#include "objects/posing.h"
#include "objects/registry.h"
#include "time_reporter.h"

#ifdef QV_HAVE_IRRLICHT
#include <fcntl.h>
#include <irrlicht.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace {

constexpr uint32_t Vertices = 100000;
constexpr uint32_t Bones = 60;
constexpr uint32_t BonesPerLimb = 10;
constexpr uint32_t Band = Vertices / Bones;
constexpr uint32_t JointVertices = Band / 20;
constexpr uint32_t Frames = 100;

// Rest position of vertex v: limbs fan out round the vertical, each band a step further out.
Vec3 RestVertex(uint32_t v) {
    const uint32_t bone = std::min(v / Band, Bones - 1);
    const float limb = static_cast<float>(bone / BonesPerLimb) * 1.047f;
    const float along = static_cast<float>(v % (Band * BonesPerLimb)) * 0.01f;
    const float ring = static_cast<float>(v % 16) * 0.39f;
    return {std::cos(limb) * along + 0.3f * std::cos(ring), 1.0f + 0.3f * std::sin(ring),
            std::sin(limb) * along};
}

// The swing of bone b at frame f: a turn about x and a small lift.
Quat Swing(uint32_t b, uint32_t f) {
    const float angle = 0.3f * std::sin(static_cast<float>(f) * 0.2f + static_cast<float>(b) * 0.1f);
    return {std::cos(angle * 0.5f), std::sin(angle * 0.5f), 0.0f, 0.0f};
}

struct Scene {
    NztMesh mesh;
    NztAnim anim;
    std::vector<Vec3> posed, normals;
    Vec3 position{10.0f, 0.0f, -4.0f};
    float matrix[9] = {0.8f, 0.0f, -0.6f, 0.0f, 1.0f, 0.0f, 0.6f, 0.0f, 0.8f};

    Scene() {
        BuildSinCosTables();
        mesh.AllocLod(Vertices, 0, 0, 1, Bones, 0, 0, 0, 0);
        MeshLod& lod = mesh.Lods[0];
        for (uint32_t v = 0; v < Vertices; ++v) {
            lod.Vertices[v] = RestVertex(v);
            lod.Normals[v] = {0.0f, 1.0f, 0.0f};
        }
        for (uint32_t b = 0; b < Bones; ++b) {
            NztMeshBone& bone = lod.Bones[b];
            const uint32_t limbEnd = (b / BonesPerLimb + 1) * BonesPerLimb;
            const uint32_t last = limbEnd == Bones ? Vertices : limbEnd * Band;
            bone.Pivot = b * Band;
            for (uint32_t v = b * Band; v < last; ++v) {
                bone.Vertices.push_back(v);
                bone.Weights.push_back(v < b * Band + JointVertices ? 0.5f : 1.0f);
            }
            bone.VertexCount = static_cast<uint32_t>(bone.Vertices.size());
        }
        anim.AllocFrames(Bones, Frames);
        for (uint32_t f = 0; f < Frames; ++f) {
            anim.Frames[f].RotationDelta = QuatIdentity;
            for (uint32_t b = 0; b < Bones; ++b) {
                anim.Frames[f].Keys[b].Rotation = Swing(b, f);
                anim.Frames[f].Keys[b].Translation = {0.0f, 0.01f * static_cast<float>(b % BonesPerLimb),
                                                      0.0f};
            }
        }
        posed.resize(Vertices);
        normals.resize(Vertices);
        mesh.PosedVertices = posed.data();
        mesh.PosedNormals = normals.data();
        mesh.Position = &position;
        mesh.Matrix = matrix;
        mesh.Visible = 1;
        BindAnimToMesh(&anim, &mesh);
    }
};

Scene& Data() {
    static Scene scene;
    return scene;
}

void BM_SkinKernel(benchmark::State& state) {
    Scene& s = Data();
    uint32_t frame = 0;
    for (auto _ : state) {
        PoseMeshBones(&s.mesh, s.anim.Frames[frame].Keys, Bones);
        benchmark::DoNotOptimize(s.posed.data());
        frame = (frame + 1) % Frames;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * Vertices);
}

// The kernel with each version of its vertex pass (0 plain, 1 AVX2, 2 AVX-512) selected in turn;
// a version this processor cannot run is reported as skipped.
void BM_SkinKernelVersion(benchmark::State& state) {
    Scene& s = Data();
    const SkinKernel kernel = static_cast<SkinKernel>(state.range(0));
    const SkinKernel active = ActiveSkinKernel();
    if (!SelectSkinKernel(kernel)) {
        state.SkipWithError("this processor cannot run the version");
        return;
    }
    uint32_t frame = 0;
    for (auto _ : state) {
        PoseMeshBones(&s.mesh, s.anim.Frames[frame].Keys, Bones);
        benchmark::DoNotOptimize(s.posed.data());
        frame = (frame + 1) % Frames;
    }
    SelectSkinKernel(active);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * Vertices);
}

void BM_SkinReference(benchmark::State& state) {
    Scene& s = Data();
    uint32_t frame = 0;
    for (auto _ : state) {
        PoseMeshBonesReference(&s.mesh, s.anim.Frames[frame].Keys, Bones);
        benchmark::DoNotOptimize(s.posed.data());
        frame = (frame + 1) % Frames;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * Vertices);
}

// The earlier kernel: each bone over its vertex list in turn, then the placement.
void BM_SkinPerBone(benchmark::State& state) {
    Scene& s = Data();
    uint32_t frame = 0;
    for (auto _ : state) {
        PoseMeshBonesPerBone(&s.mesh, s.anim.Frames[frame].Keys, Bones);
        benchmark::DoNotOptimize(s.posed.data());
        frame = (frame + 1) % Frames;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * Vertices);
}

void BM_SkinDynObject(benchmark::State& state) {
    Scene& s = Data();
    uint32_t frame = 0;
    for (auto _ : state) {
        s.mesh.Frame = frame;
        SkinDynObjectMesh(&s.mesh);
        benchmark::DoNotOptimize(s.posed.data());
        frame = (frame + 1) % Frames;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * Vertices);
}

// The floor of any pose of this mesh: the rest vertices and normals copied to the posed arrays,
// the same bytes read and written as the kernel, with no arithmetic.
void BM_SkinCopyFloor(benchmark::State& state) {
    Scene& s = Data();
    for (auto _ : state) {
        std::memcpy(s.posed.data(), s.mesh.Vertices, sizeof(Vec3) * Vertices);
        std::memcpy(s.normals.data(), s.mesh.Normals, sizeof(Vec3) * Vertices);
        benchmark::DoNotOptimize(s.posed.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * Vertices);
}

BENCHMARK(BM_SkinKernel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SkinKernelVersion)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SkinCopyFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SkinReference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SkinPerBone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SkinDynObject)->Unit(benchmark::kMillisecond);

// A crowd of 100 sample heroes, each walking with the idle mixed in as a layer at half weight:
// one iteration updates and poses every character once (behaviour, animation step, layer mix,
// skinning, ground). Items are characters; items per second / 1000 is characters per millisecond.
constexpr int CrowdSize = 100;

struct Crowd {
    std::string folder;
    std::vector<NztEntity*> characters;

    Crowd() {
        BuildSinCosTables();
        BuildRandomTable();
        char pattern[] = "/tmp/qv_bench_crowd_XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        folder = std::string(pattern) + "/";
        for (const auto& [name, bytes] : datakit::SampleModelFiles()) datakit::WriteModelFile(folder + name, bytes);
        SetDataFolder(folder.c_str());
        AllocObjectLists();
        ResetAnimDefaults();
        for (int i = 0; i < CrowdSize; ++i) {
            NztEntity* e = GetEntityType("Hero1001");
            if (e == nullptr) break;
            e->Position[0] = e->PreviousPosition[0] = static_cast<float>(i % 10) * 10.0f;
            e->Position[2] = e->PreviousPosition[2] = static_cast<float>(i / 10) * 10.0f;
            e->visibilityTest = 0;
            NztAnim* idle = e->GetAnim(0);
            NztAnim* walk = e->GetAnimByName("MoveWalk");
            e->SetAnim(walk, 0, nullptr, i % 24);
            e->SetAnimLayer(0, idle, 0, 0.5f, 0, 1.0f, 0, 0);
            characters.push_back(e);
        }
    }
    ~Crowd() {
        RemoveAllEntities();
        DeleteAllMeshData();
        DeleteAllAnims();
        FreeTypeTables();
        FreeObjectLists();
        std::error_code ignored;
        if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
    }
};

void BM_CharacterUpdate(benchmark::State& state) {
    static Crowd crowd;
    if (crowd.characters.size() != CrowdSize) {
        state.SkipWithError("the sample hero did not load");
        return;
    }
    for (auto _ : state) {
        for (NztEntity* e : crowd.characters) {
            e->SelectAction();
            e->Update();
        }
        benchmark::DoNotOptimize(crowd.characters.back()->vertices.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * CrowdSize);
}

BENCHMARK(BM_CharacterUpdate)->Unit(benchmark::kMillisecond);

#ifdef QV_HAVE_IRRLICHT
namespace irr_peer {

using namespace irr;

// Irrlicht's console device writes terminal control codes to standard output as it starts and
// stops, which would land inside the benchmark's report: standard output goes to /dev/null
// meanwhile.
class QuietStdout {
public:
    QuietStdout() {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int sink = open("/dev/null", O_WRONLY);
        if (saved_ >= 0 && sink >= 0) dup2(sink, STDOUT_FILENO);
        if (sink >= 0) close(sink);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        if (saved_ < 0) return;
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    int saved_ = -1;
};

struct Peer {
    IrrlichtDevice* device = nullptr;
    scene::ISkinnedMesh* mesh = nullptr;

    Peer() {
        SIrrlichtCreationParameters p;
        p.DeviceType = EIDT_CONSOLE;
        p.DriverType = video::EDT_NULL;
        p.LoggingLevel = ELL_NONE;
        {
            QuietStdout quiet;
            device = createDeviceEx(p);
        }
        if (!device) return;
        mesh = device->getSceneManager()->createSkinnedMesh();
        scene::SSkinMeshBuffer* buffer = mesh->addMeshBuffer();
        buffer->Vertices_Standard.reallocate(Vertices);
        for (uint32_t v = 0; v < Vertices; ++v) {
            const Vec3 r = RestVertex(v);
            buffer->Vertices_Standard.push_back(video::S3DVertex(
                r.x, r.y, r.z, 0.0f, 1.0f, 0.0f, video::SColor(255, 255, 255, 255), 0.0f, 0.0f));
        }
        std::vector<scene::ISkinnedMesh::SJoint*> joints(Bones);
        for (uint32_t b = 0; b < Bones; ++b) {
            const bool root = b % BonesPerLimb == 0;
            scene::ISkinnedMesh::SJoint* joint = mesh->addJoint(root ? nullptr : joints[b - 1]);
            joints[b] = joint;
            const Vec3 pivot = RestVertex(b * Band);
            const Vec3 parentPivot = root ? Vec3{0.0f, 0.0f, 0.0f} : RestVertex((b - 1) * Band);
            joint->LocalMatrix.setTranslation(
                core::vector3df(pivot.x - parentPivot.x, pivot.y - parentPivot.y, pivot.z - parentPivot.z));
            for (uint32_t f = 0; f < Frames; f += 10) {
                scene::ISkinnedMesh::SRotationKey* key = mesh->addRotationKey(joint);
                const Quat q = Swing(b, f);
                key->frame = static_cast<f32>(f);
                key->rotation = core::quaternion(q.x, q.y, q.z, q.w);
            }
            const uint32_t first = b * Band, last = b + 1 == Bones ? Vertices : (b + 1) * Band;
            for (uint32_t v = first; v < last; ++v) {
                const bool joined = v < first + JointVertices && !root;
                scene::ISkinnedMesh::SWeight* w = mesh->addWeight(joint);
                w->buffer_id = 0;
                w->vertex_id = v;
                w->strength = joined ? 0.5f : 1.0f;
                if (joined) {
                    scene::ISkinnedMesh::SWeight* up = mesh->addWeight(joints[b - 1]);
                    up->buffer_id = 0;
                    up->vertex_id = v;
                    up->strength = 0.5f;
                }
            }
        }
        mesh->finalize();
    }
    ~Peer() {
        if (mesh) mesh->drop();
        QuietStdout quiet;
        if (device) device->drop();
    }
};

Peer& PeerData() {
    static Peer peer;
    return peer;
}

void BM_IrrlichtSkin(benchmark::State& state) {
    Peer& p = PeerData();
    if (!p.mesh) {
        state.SkipWithError("no Irrlicht device");
        return;
    }
    float frame = 0.0f;
    for (auto _ : state) {
        p.mesh->animateMesh(frame, 1.0f);
        p.mesh->skinMesh();
        benchmark::ClobberMemory();
        frame = std::fmod(frame + 1.0f, static_cast<float>(Frames - 10));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * Vertices);
}

BENCHMARK(BM_IrrlichtSkin)->Unit(benchmark::kMillisecond);

}  // namespace irr_peer
#endif

class RatioReporter : public TimeKeepingReporter {
 public:
    // From the medians when the runs are repeated (--benchmark_repetitions=5).
    void Finalize() override {
        ConsoleReporter::Finalize();
        auto& t = Times();
        const double kernel = t["BM_SkinKernel"], floor = t["BM_SkinCopyFloor"], peer = t["BM_IrrlichtSkin"];
        auto& c = CpuTimes();
        if (kernel > 0 && peer > 0)
            std::printf("skinning kernel over Irrlicht's: %.2fx (the copy floor %.2fx; "
                        "CPU time %.2fx, floor %.2fx)\n",
                        kernel / peer, floor / peer, c["BM_SkinKernel"] / c["BM_IrrlichtSkin"],
                        c["BM_SkinCopyFloor"] / c["BM_IrrlichtSkin"]);
    }
};

}  // namespace

int main(int argc, char** argv) {
    RunBenchmarksWith<RatioReporter>(argc, argv);
    return 0;
}
