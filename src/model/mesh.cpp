#include "model/mesh.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "core/binio.h"
#include "core/pack.h"
#include "core/paths.h"
#include "model/animlib.h"
#include "render/renderstate.h"
#include "render/texture.h"

static_assert(sizeof(Vec3) == 12, "Vec3 arrays are read as packed floats");

namespace {

// Bytes of one texture entry of a ".QVo" file: a 256-byte name, the repeat switch at 256, the
// mipmap switch at 268, the rest unused.
constexpr uint64_t TextureEntryBytes = 792;
// Bytes a vertex takes in the file: position, normal, shading vector (12 each) and texcoords (8).
constexpr uint64_t VertexFileBytes = 44;
// The smallest material: five texture and word fields and the triangle count.
constexpr uint64_t MaterialMinBytes = 24;

void RefuseFile(const char* file, const char* fault) {
    std::fprintf(stderr, "mesh: %s: %s; file refused\n", file, fault);
}

// Reads count little-endian 32-bit values (floats or words) into out in one read.
bool ReadWords(BinReader& r, void* out, uint64_t count) {
    if (!r.Read(out, count * 4)) return false;
    if constexpr (std::endian::native == std::endian::big) {
        uint8_t* p = static_cast<uint8_t*>(out);
        for (uint64_t i = 0; i < count; ++i, p += 4) {
            std::swap(p[0], p[3]);
            std::swap(p[1], p[2]);
        }
    }
    return true;
}

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define QV_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define QV_VECTOR_CLONES
#endif

// Index lists are checked and summed up a block of IndexBlock words at a time.
constexpr uint64_t IndexBlock = 128;

// The least and the greatest word of each block of words[0..n) (the last block may be short).
// Each block is a plain min/max reduction, which the compiler vectorises.
QV_VECTOR_CLONES
void BlockBounds(const uint32_t* __restrict words, uint64_t n, uint32_t* __restrict low,
                 uint32_t* __restrict high) {
    for (uint64_t start = 0, b = 0; start < n; start += IndexBlock, ++b) {
        const uint64_t end = std::min(n, start + IndexBlock);
        uint32_t lo = UINT32_MAX, hi = 0;
        for (uint64_t i = start; i < end; ++i) {
            lo = words[i] < lo ? words[i] : lo;
            hi = words[i] > hi ? words[i] : hi;
        }
        low[b] = lo;
        high[b] = hi;
    }
}

// The block bounds of every bone's vertex list, kept for the search for pivots (BuildBoneChildren):
// bone b's blocks are [first[b], first[b + 1]) of low and high.
struct IndexSummary {
    std::vector<uint32_t> low, high;
    std::vector<uint64_t> first{0};
};

// The mesh readers read from memory (MeshFileReader): a large array is copied once, straight from
// the file's bytes into its vector, which is not zero-filled first. Where that cannot be done (a
// big-endian host, bytes that are not aligned for the element, an array that runs past the end),
// the words go a slice at a time through a buffer that stays in the cache.
constexpr uint64_t Slice = 512 * IndexBlock;

void* SliceBuffer() {
    thread_local std::vector<unsigned char> buffer(Slice * 4);
    return buffer.data();
}

// The next count elements as they lie in the reader's bytes, or null (the reader untouched) when
// they cannot be taken as they lie.
template <class T>
const T* ViewArray(BinReader& r, uint64_t count) {
    if constexpr (std::endian::native != std::endian::little) return nullptr;
    if (!r.Fits(count, sizeof(T))) return nullptr;
    const uint8_t* at = r.View(0);
    if (at == nullptr || reinterpret_cast<uintptr_t>(at) % alignof(T) != 0) return nullptr;
    return reinterpret_cast<const T*>(r.View(count * sizeof(T)));
}

// Replaces out with the next count elements, each made of 32-bit words (floats or words). On a
// short read out still holds count elements, zeros from the fault on, and the reader has failed.
template <class T>
bool ReadWordArray(BinReader& r, std::vector<T>& out, uint64_t count) {
    static_assert(sizeof(T) % 4 == 0 && std::is_trivially_copyable_v<T>);
    if (const T* in = ViewArray<T>(r, count)) {
        out.assign(in, in + count);
        return true;
    }
    constexpr uint64_t PerSlice = Slice * 4 / sizeof(T);
    out.clear();
    out.reserve(count);
    T* buffer = static_cast<T*>(SliceBuffer());
    for (uint64_t start = 0; start < count; start += PerSlice) {
        const uint64_t n = std::min(PerSlice, count - start);
        if (!ReadWords(r, buffer, n * (sizeof(T) / 4))) {
            out.resize(count);
            return false;
        }
        out.insert(out.end(), buffer, buffer + n);
    }
    return true;
}

// Replaces out with count index words, each slice summed up while it is still in the cache.
// Returns the position of the first word not below bound (count when all are, and when the read
// fails: the reader then reports it); out holds the words up to that one at least. With summary,
// the list's block bounds are added there as its next list.
uint64_t ReadIndexWords(BinReader& r, std::vector<uint32_t>& out, uint64_t count, uint32_t bound,
                        IndexSummary* summary = nullptr) {
    const uint32_t* in = ViewArray<uint32_t>(r, count);
    out.clear();
    out.reserve(count);
    uint32_t* buffer = static_cast<uint32_t*>(SliceBuffer());
    uint32_t sliceLow[Slice / IndexBlock], sliceHigh[Slice / IndexBlock];
    uint64_t kept = 0;
    if (summary) {
        kept = summary->low.size();
        const uint64_t blocks = (count + IndexBlock - 1) / IndexBlock;
        summary->low.resize(kept + blocks);
        summary->high.resize(kept + blocks);
        summary->first.push_back(kept + blocks);
    }
    for (uint64_t start = 0; start < count; start += Slice) {
        const uint64_t n = std::min(Slice, count - start);
        const uint32_t* words = in ? in + start : buffer;
        if (!in && !ReadWords(r, buffer, n)) {
            out.resize(count);
            return count;
        }
        uint32_t* low = summary ? summary->low.data() + kept + start / IndexBlock : sliceLow;
        uint32_t* high = summary ? summary->high.data() + kept + start / IndexBlock : sliceHigh;
        BlockBounds(words, n, low, high);
        out.insert(out.end(), words, words + n);
        uint32_t top = 0;
        for (uint64_t b = 0; b < (n + IndexBlock - 1) / IndexBlock; ++b) top = std::max(top, high[b]);
        if (top >= bound) {
            uint64_t i = start;
            while (out[i] < bound) ++i;
            return i;
        }
    }
    return count;
}

// "MAPSMODELS/<name>.Img" through the texture table; 0 for a missing image or a name that is not
// a plain name.
int32_t LoadModelTexture(const char* name, uint32_t mipmap, uint32_t repeat, const char* source) {
    char path[300];
    if (!IsPlainName(name)) {
        if (*name) std::fprintf(stderr, "mesh: %s: texture name \"%s\" is not a plain name; left out\n", source, name);
        return 0;
    }
    if (!FormatPath(path, sizeof path, "MAPSMODELS/%s.Img", name)) return 0;
    return static_cast<int32_t>(LoadTexture(path, mipmap, repeat));
}

void ReleaseName(int32_t name) {
    if (name > 0) ReleaseTexture(static_cast<uint32_t>(name));
}

// Sizes the arrays of one LOD; the materials come zeroed and the texture list is not touched.
void SizeLod(MeshLod& lod, uint32_t vertices, uint32_t materials, uint32_t indexCount, uint32_t skinned,
             uint32_t bones, uint32_t attachCount, uint32_t hasBones, bool vertexDataReadOver = false) {
    lod.VertexCount = vertices;
    lod.IndexCount = indexCount;
    lod.MaterialCount = materials;
    lod.DrawEnabled = materials;
    lod.VertexBytes = vertices * 12;
    // Arrays the reader is about to fill are left for it.
    if (!vertexDataReadOver) {
        lod.Vertices.assign(vertices, Vec3{0.0f, 0.0f, 0.0f});
        lod.Normals.assign(vertices, Vec3{0.0f, 0.0f, 0.0f});
        lod.ShadingVectors.assign(vertices, Vec3{0.0f, 0.0f, 0.0f});
        lod.TexCoords.assign(uint64_t{vertices} * 2, 0.0f);
    }
    lod.Materials.assign(materials, MeshMaterial{});
    if (!vertexDataReadOver) lod.IndexList.assign(indexCount, 0);
    lod.BoneWords.assign(skinned || hasBones ? uint64_t{vertices} * 2 : 0, 0);
    lod.HasBones = hasBones;
    lod.BoneCount = bones;
    lod.Bones.assign(bones, NztMeshBone{});
    lod.Skin.reset();  // made again from the new lists when next posed
    lod.BoneChildren.assign(bones, {});
    lod.AttachCount = attachCount;
    lod.AttachPoints.assign(attachCount, NztAttachPoint{});
    lod.AttachBoneLists.assign(attachCount, {});
}

// The fields drawing reads, from LOD n. The vertex count stays with the vertex arrays of the
// current LOD, which posing walks.
void CopyDrawView(NztMesh* m, uint32_t n) {
    MeshLod& l = m->Lods[n];
    m->DrawLod = n;
    m->IndexCount = l.IndexCount;
    m->MaterialCount = l.MaterialCount;
    m->DrawEnabled = l.DrawEnabled;
    m->FirstLayer3Material = l.FirstLayer3Material;
    m->Materials = l.Materials.data();
    m->ShadingVectors = l.ShadingVectors.data();
    m->BaseTexCoords = m->TexCoords = l.TexCoords.data();
    m->WaveTexCoords = l.WaveTexCoords.data();
    m->WaveTexCoordsScaled = l.WaveTexCoordsScaled.data();
    m->VertexWavePhases = l.VertexWavePhases.data();
    m->HasLayer2 = l.HasLayer2;
    m->HasLayer3 = l.HasLayer3;
}

// Points the whole view at LOD n; the draw fields then come from n as well.
void CopyView(NztMesh* m, uint32_t n) {
    CopyDrawView(m, n);
    MeshLod& l = m->Lods[n];
    m->CurrentLod = n;
    m->VertexCount = l.VertexCount;
    m->VertexBytes = l.VertexBytes;
    m->Vertices = l.Vertices.data();
    m->Normals = l.Normals.data();
    m->IndexList = l.IndexList.data();
    m->BoneWords = l.BoneWords.data();
    m->TextureCount = l.TextureCount;
    m->TextureNames = l.TextureNames.data();
    m->LodWord = l.LodWord;
    m->HasBones = l.HasBones;
    m->MaxBoneCount = l.BoneCount;
    m->Bones = l.Bones.data();
    m->AttachCount = l.AttachCount;
    m->AttachPoints = l.AttachPoints.data();
    m->AttachBoneLists = l.AttachBoneLists.data();
    m->BoneChildren = l.BoneChildren.data();
}

// The view follows LOD lod wherever it shows it (its arrays were just replaced).
void RefreshViews(NztMesh* m, uint32_t lod) {
    const uint32_t draw = m->DrawLod;
    if (m->CurrentLod == lod) CopyView(m, lod);
    if (draw == lod && m->CurrentLod != lod) CopyDrawView(m, lod);
    if (draw != lod && m->CurrentLod == lod) CopyDrawView(m, draw);
}

// What AllocLod does besides sizing: capacity, bone counts, LayerPose, LOD made current.
void AdoptLod(NztMesh* m, uint32_t lod, uint32_t skinned, uint32_t allocateBones, uint32_t hasBones) {
    const MeshLod& l = m->Lods[lod];
    // The scrolled texcoords are sized by ScrollMeshTexCoords, the first time a mesh scrolls.
    m->VertexCapacity = std::max(m->VertexCapacity, l.VertexCount);
    m->LargestBoneCount = std::max(m->LargestBoneCount, l.BoneCount);
    m->BoneCount = 0;
    m->Skinned = skinned;
    m->HasBones = hasBones;
    if (skinned && allocateBones && !m->LayerPose) {
        m->LayerPose = CreateAnim();
        if (m->LayerPose) m->LayerPose->AllocFrames(l.BoneCount, 1);
        m->AnimLayers = nullptr;
        m->LayerBoneMask = nullptr;
    }
    m->PreviousLod = m->CurrentLod;
    CopyView(m, lod);
}

// The box of a run of vertices. They are taken four at a time as three vectors of four floats,
// each lane keeping its own bounds, then folded per axis. The comparisons are those of std::min and
// std::max, in the same order, so a NaN coordinate is passed over alike. The run may come in pieces
// of whole quads (the reader sums up the vertices as it copies them): the box is that of one pass.
class VertexBox {
 public:
    explicit VertexBox(const Vec3& v0) : first_(v0) {
        const Lanes start[3] = {{v0.x, v0.y, v0.z, v0.x}, {v0.y, v0.z, v0.x, v0.y}, {v0.z, v0.x, v0.y, v0.z}};
        for (int j = 0; j < 3; ++j) low_[j] = high_[j] = start[j];
    }
    void AddQuads(const Vec3* v, uint64_t quads) {
        const float* f = &v[0].x;
        for (uint64_t q = 0; q < quads; ++q, f += 12) {
            for (int j = 0; j < 3; ++j) {
                Lanes x;
                std::memcpy(&x, f + 4 * j, sizeof x);
                low_[j] = x < low_[j] ? x : low_[j];
                high_[j] = high_[j] < x ? x : high_[j];
            }
        }
    }
    // Folds the lanes, then takes the n vertices left over after the quads.
    void Finish(const Vec3* rest, uint64_t n, Vec3* lo, Vec3* hi) const {
        *lo = *hi = first_;
        float* los[3] = {&lo->x, &lo->y, &lo->z};
        float* his[3] = {&hi->x, &hi->y, &hi->z};
        for (int k = 0; k < 12; ++k) {
            *los[k % 3] = std::min(*los[k % 3], low_[k / 4][k % 4]);
            *his[k % 3] = std::max(*his[k % 3], high_[k / 4][k % 4]);
        }
        for (uint64_t i = 0; i < n; ++i) {
            *lo = {std::min(lo->x, rest[i].x), std::min(lo->y, rest[i].y), std::min(lo->z, rest[i].z)};
            *hi = {std::max(hi->x, rest[i].x), std::max(hi->y, rest[i].y), std::max(hi->z, rest[i].z)};
        }
    }

 private:
    typedef float Lanes __attribute__((vector_size(16)));
    Vec3 first_;
    Lanes low_[3], high_[3];
};

// The box of v[0..n) (all zero when there are none).
void BoxOf(const Vec3* v, uint64_t n, Vec3* lo, Vec3* hi) {
    if (n == 0 || v == nullptr) {
        *lo = *hi = Vec3{0.0f, 0.0f, 0.0f};
        return;
    }
    VertexBox box(v[0]);
    box.AddQuads(v, n / 4);
    box.Finish(v + n / 4 * 4, n % 4, lo, hi);
}

// Replaces out with the next count vertices, as ReadWordArray does, and gives their box (BoxOf).
// Vertices taken as they lie are summed up a piece at a time, just before the piece is copied.
bool ReadVertices(BinReader& r, std::vector<Vec3>& out, uint64_t count, Vec3* lo, Vec3* hi) {
    const Vec3* in = ViewArray<Vec3>(r, count);
    if (in == nullptr || count == 0) {
        const bool ok = ReadWordArray(r, out, count);
        BoxOf(out.data(), out.size(), lo, hi);
        return ok;
    }
    constexpr uint64_t Piece = 2048;  // vertices (24 KB), a whole number of quads
    out.clear();
    out.reserve(count);
    VertexBox box(in[0]);
    for (uint64_t start = 0; start < count; start += Piece) {
        const uint64_t n = std::min(Piece, count - start);
        box.AddQuads(in + start, n / 4);
        out.insert(out.end(), in + start, in + start + n);
    }
    box.Finish(in + count / 4 * 4, count % 4, lo, hi);
    return true;
}

// Box, extents and core radius from the box lo..hi of the vertices; with `full` also SizeClass
// and the wave rates.
void BoundsFromBox(NztMesh* m, Vec3 lo, Vec3 hi, bool full) {
    // A flat axis gets a width of 2 so that sizes and their inverses stay usable.
    float* los[3] = {&lo.x, &lo.y, &lo.z};
    float* his[3] = {&hi.x, &hi.y, &hi.z};
    for (int a = 0; a < 3; ++a) {
        if (*his[a] - *los[a] < 0.0001f) {
            *los[a] -= 1.0f;
            *his[a] += 1.0f;
        }
    }
    m->BoxMin = lo;
    m->BoxMax = hi;
    Vec3 size{std::fabs(hi.x - lo.x), std::fabs(hi.y - lo.y), std::fabs(hi.z - lo.z)};
    m->Size = size;
    m->HalfSize = size * 0.5f;
    m->InvSize = {1.0f / size.x, 1.0f / size.y, 1.0f / size.z};
    m->InvHalfSize = {2.0f / size.x, 2.0f / size.y, 2.0f / size.z};
    m->HeightScale = 512.0f / size.y;
    m->LargestExtent = std::max({size.x, size.y, size.z});
    m->CoreRadius = std::min(0.35f * size.y, 0.75f * std::min({size.x, size.y, size.z}));
    m->CoreRadiusSquared = m->CoreRadius * m->CoreRadius;
    // Corner i takes the maximum on x for bit 0, on y for bit 1, on z for bit 2.
    for (int i = 0; i < 8; ++i)
        m->BoxCorners[i] = {(i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z};
    if (!full) return;
    const float e = m->LargestExtent;
    m->SizeClass = e > 1000.0f ? 4.0f : e > 400.0f ? 3.0f : e > 150.0f ? 2.0f : 1.0f;
    if (m->TexWave) {
        m->TexWaveRate1 = m->TexWaveScale * 0.6f;
        m->TexWaveRate2 = m->TexWaveScale * 0.3f;
    }
}

// A loose file is read whole, in one read, into a buffer that the next file reuses: the arrays
// are then copied once from memory, and no field costs a call into the C library. A file larger
// than what the buffer keeps, or one read while the buffer is in use, gets a buffer of its own.
constexpr uint32_t KeptFileBufferBytes = 32u << 20;

struct FileBuffer {
    std::unique_ptr<uint8_t[]> bytes;
    uint32_t capacity = 0;
    bool busy = false;
};

FileBuffer& KeptFileBuffer() {
    thread_local FileBuffer buffer;
    return buffer;
}

// n bytes left uninitialised (the read fills them); null when there is no memory for them.
std::unique_ptr<uint8_t[]> RawBytes(uint32_t n) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[n]);
}

// What both mesh readers share: the reader over the stream's bytes, the version word, and the
// refusal that prints one line and closes the stream.
struct MeshFileReader {
    NztFile* stream;
    const char* source;
    std::unique_ptr<uint8_t[]> own;
    FileBuffer* kept = nullptr;  // the reused buffer, while this reader holds it
    bool unreadable = false;     // no memory for the file's bytes
    BinReader r;
    char fault[160];

    MeshFileReader(NztFile* s, const char* name) : stream(s), source(name), r(Bytes(*s)) {}
    ~MeshFileReader() {
        if (kept) kept->busy = false;
    }
    MeshFileReader(const MeshFileReader&) = delete;
    MeshFileReader& operator=(const MeshFileReader&) = delete;

    // A reader over the rest of the stream: a memory stream's own bytes, or the file's read whole.
    BinReader Bytes(NztFile& s) {
        const uint32_t at = s.Tell();
        const uint32_t length = s.Length();
        const uint32_t rest = at < length ? length - at : 0;
        if (s.memoryStream) return BinReader(s.memoryBlock ? s.memoryBlock + at : nullptr, rest);
        uint8_t* into = Buffer(rest);
        unreadable = into == nullptr;
        const uint32_t got = rest && into ? s.Read(rest, into) : 0;
        return BinReader(into, got);
    }
    uint8_t* Buffer(uint32_t bytes) {
        FileBuffer& buffer = KeptFileBuffer();
        if (buffer.busy || bytes > KeptFileBufferBytes) {
            own = RawBytes(bytes ? bytes : 1);
            return own.get();
        }
        if (buffer.capacity < bytes || !buffer.bytes) {
            buffer.bytes.reset();
            buffer.bytes = RawBytes(bytes ? bytes : 1);
            buffer.capacity = buffer.bytes ? bytes : 0;
            if (!buffer.bytes) return nullptr;
        }
        buffer.busy = true;
        kept = &buffer;
        return buffer.bytes.get();
    }
    int Refuse(const char* what) {
        RefuseFile(source, what);
        stream->CloseAndClear();
        return 0;
    }
    bool Version(uint32_t first, uint32_t last, uint32_t* field) {
        if (unreadable) return Refuse("no memory to read the file into");
        if (ReadModelVersion(r, first, last, field, "mesh", source)) return true;
        stream->CloseAndClear();
        return false;
    }
};

struct MeshFileTexture {
    char name[256];
    uint32_t repeat;
    uint32_t mipmap;
};

// Reads n bone records (the ".QVo" bones or the ".QVc" collision bones) checking every vertex
// index against vertexCount. Null on success, else the fault.
const char* ReadBones(BinReader& r, std::vector<NztMeshBone>& bones, uint32_t vertexCount, bool withExtra,
                      bool skipHead, char* fault, size_t faultBytes, IndexSummary* summary = nullptr) {
    for (uint32_t b = 0; b < bones.size(); ++b) {
        NztMeshBone& bone = bones[b];
        if (skipHead) r.Skip(32);
        bone.Pivot = r.U32();
        uint32_t n = r.U32();
        if (!r.Ok()) return "bone truncated";
        if (bone.Pivot >= vertexCount) {
            std::snprintf(fault, faultBytes, "bone %u: pivot vertex %u not below the vertex count %u", b, bone.Pivot,
                          vertexCount);
            return fault;
        }
        if (!r.Fits(n, 8)) {
            std::snprintf(fault, faultBytes, "bone %u: vertex list runs past the end", b);
            return fault;
        }
        bone.VertexCount = n;
        const uint64_t i = ReadIndexWords(r, bone.Vertices, n, vertexCount, summary);
        if (i < n) {
            std::snprintf(fault, faultBytes, "bone %u: vertex %u not below the vertex count %u", b,
                          bone.Vertices[i], vertexCount);
            return fault;
        }
        ReadWordArray(r, bone.Weights, n);
        if (withExtra) {
            bone.HasExtra = r.U32();
            if (bone.HasExtra) {
                bone.ExtraFollow = r.F32();
                bone.ExtraStiffness = r.F32();
                bone.ExtraLimits = ReadVec3(r);
                bone.ExtraVector = ReadVec3(r);
            }
        }
        if (!r.Ok()) return "bone truncated";
        // Only the secondary motion of bones with extra data reads the cache.
        if (bone.HasExtra) bone.Cache.assign(n, NztBoneCacheEntry{});
    }
    return nullptr;
}

// Whether value is among words[0..n).
QV_VECTOR_CLONES
bool BlockHolds(const uint32_t* __restrict words, uint64_t n, uint32_t value) {
    uint32_t found = 0;
    for (uint64_t k = 0; k < n; ++k) found |= words[k] == value;
    return found != 0;
}

// Children of bone i: the bones whose pivot lies in i's vertex list, in bone order. Few vertices
// are pivots: a block of a list whose bounds (from the read) hold no pivot is passed over; in a
// block whose bounds hold a few, each of those the list has not shown yet is looked for; a block
// whose bounds hold many, or a list without bounds, is looked at word by word through a bit table
// of the pivot vertices.
void BuildBoneChildren(const std::vector<NztMeshBone>& bones, uint32_t vertexCount, const IndexSummary& summary,
                       std::vector<std::vector<uint32_t>>& children) {
    constexpr uint64_t FewPivots = 8;
    const uint32_t B = static_cast<uint32_t>(bones.size());
    // The distinct pivot vertices in order; the bones pivoting on pivots[p] are
    // byPivot[runStart[p]..runStart[p + 1]).
    std::vector<uint32_t> byPivot(B);
    for (uint32_t j = 0; j < B; ++j) byPivot[j] = j;
    std::stable_sort(byPivot.begin(), byPivot.end(),
                     [&bones](uint32_t a, uint32_t b) { return bones[a].Pivot < bones[b].Pivot; });
    std::vector<uint32_t> pivots, runStart;
    for (uint32_t k = 0; k < B; ++k) {
        const uint32_t pivot = bones[byPivot[k]].Pivot;
        if (pivots.empty() || pivot != pivots.back()) {
            pivots.push_back(pivot);
            runStart.push_back(k);
        }
    }
    runStart.push_back(B);
    const uint64_t P = pivots.size();
    std::vector<uint64_t> pivotBits;  // bit v: vertex v is a pivot; made when first needed
    std::vector<uint32_t> shownBy(P, UINT32_MAX);  // the last list found to hold pivots[p]
    std::vector<uint8_t> isChild(B);
    std::vector<uint32_t> found;
    for (uint32_t i = 0; i < B; ++i) {
        std::fill(isChild.begin(), isChild.end(), 0);
        auto take = [&](uint64_t p) {
            shownBy[p] = i;
            for (uint32_t k = runStart[p]; k < runStart[p + 1]; ++k) isChild[byPivot[k]] = 1;
        };
        const std::vector<uint32_t>& list = bones[i].Vertices;
        const bool bounded = i + 1 < summary.first.size() &&
                             summary.first[i + 1] - summary.first[i] == (list.size() + IndexBlock - 1) / IndexBlock;
        // The first pivot not below a block's least word; lists mostly run upwards, so it is found
        // by stepping on from the previous block's, and searched for when the list turns back.
        uint64_t p0 = 0;
        uint32_t lastLow = 0;
        for (uint64_t start = 0, block = bounded ? summary.first[i] : 0; start < list.size();
             start += IndexBlock, ++block) {
            const uint64_t n = std::min<uint64_t>(list.size() - start, IndexBlock);
            if (bounded) {
                const uint32_t low = summary.low[block], high = summary.high[block];
                if (low < lastLow)
                    p0 = static_cast<uint64_t>(std::lower_bound(pivots.begin(), pivots.end(), low) - pivots.begin());
                else
                    while (p0 < P && pivots[p0] < low) ++p0;
                lastLow = low;
                uint64_t p1 = p0;
                while (p1 < P && p1 - p0 <= FewPivots && pivots[p1] <= high) ++p1;
                if (p1 == p0) continue;
                if (p1 - p0 <= FewPivots) {
                    for (uint64_t p = p0; p < p1; ++p)
                        if (shownBy[p] != i && BlockHolds(list.data() + start, n, pivots[p])) take(p);
                    continue;
                }
            }
            if (pivotBits.empty()) {
                pivotBits.assign((uint64_t{vertexCount} + 63) / 64, 0);
                for (uint32_t pivot : pivots) pivotBits[pivot / 64] |= uint64_t{1} << (pivot % 64);
            }
            for (uint64_t k = start; k < start + n; ++k) {
                const uint32_t v = list[k];
                if (!(pivotBits[v / 64] >> (v % 64) & 1)) continue;
                const uint64_t p =
                    static_cast<uint64_t>(std::lower_bound(pivots.begin(), pivots.end(), v) - pivots.begin());
                if (shownBy[p] != i) take(p);
            }
        }
        found.clear();
        for (uint32_t j = 0; j < B; ++j)
            if (isChild[j]) found.push_back(j);
        children[i].assign(found.begin(), found.end());
    }
}

}  // namespace

void NztMesh::AllocLod(uint32_t vertices, uint32_t materials, uint32_t indexCount, uint32_t skinned, uint32_t bones,
                       uint32_t allocateBones, uint32_t attachCount, uint32_t hasBones, uint32_t lod) {
    if (lod >= MeshLodCount) return;
    SizeLod(Lods[lod], vertices, materials, indexCount, skinned, bones, attachCount, hasBones);
    AdoptLod(this, lod, skinned, allocateBones, hasBones);
}

uint32_t NztMesh::SelectLod(uint32_t n) {
    n = std::min(n, HighestLod);
    PreviousLod = CurrentLod;
    if (n == CurrentLod && n == DrawLod) return CurrentLod;
    CopyView(this, n);
    return CurrentLod;
}

void NztMesh::SelectDrawLod(uint32_t n) {
    n = std::min(n, HighestLod);
    if (n == DrawLod) {
        TexCoords = BaseTexCoords;
        return;
    }
    CopyDrawView(this, n);
}

int LoadMeshFile(const char* path, NztMesh* mesh, uint32_t lod, uint32_t allocateBones) {
    if (!mesh) return 0;
    if (!mesh->Stream.OpenRead(path, PackTrees[PackObjects])) {
        mesh->Stream.CloseAndClear();
        return 0;
    }
    return ParseMeshFile(mesh, &mesh->Stream, lod, allocateBones, path);
}

int ParseMeshFile(NztMesh* mesh, NztFile* stream, uint32_t lod, uint32_t allocateBones, const char* source) {
    if (!mesh || !stream) return 0;
    MeshFileReader in(stream, source);
    BinReader& r = in.r;
    char(&fault)[160] = in.fault;
    auto refuse = [&in](const char* what) { return in.Refuse(what); };
    if (!in.Version(QvoFirstVersion, QvoLastVersion, &mesh->Version)) return 0;
    const uint32_t version = mesh->Version;
    if (lod >= MeshLodCount) return refuse("LOD index out of range");

    const uint32_t T = r.U32();
    if (!r.Ok()) return refuse("texture count truncated");
    if (!r.Fits(T, TextureEntryBytes)) return refuse("texture count runs past the end of the file");
    std::vector<MeshFileTexture> textures(T);
    for (MeshFileTexture& t : textures) {
        r.Text(t.name);
        t.repeat = r.U32();
        r.Skip(8);
        t.mipmap = r.U32();
        r.Skip(520);
    }
    if (version <= 10001) r.Skip(4);
    char name[256];
    r.Text(name);

    // Header words by version.
    char storedSetName[32] = {};
    uint32_t texWave = mesh->TexWave;
    float amplitude = mesh->TexWaveAmplitude;
    uint32_t twoSided = mesh->TwoSided;
    if (version >= 10001) {
        if (version >= 10008)
            r.Text(storedSetName);
        else if (version >= 10003)
            r.U32();  // an old animation-set word, replaced below
        texWave = r.U32();
        amplitude = r.F32();
        if (version >= 10006) twoSided = r.U32();
    }
    const uint32_t skinned = r.U32();
    const uint32_t useCameraMatrix = r.U32();
    const uint32_t hasBones = r.U32();
    const uint32_t V = r.U32();
    const uint32_t L = r.U32();
    const uint32_t M = r.U32();
    const uint32_t B = r.U32();
    const uint32_t A = r.U32();
    if (!r.Ok()) return refuse("header truncated");
    const bool readBones = skinned || hasBones;
    if (!r.Fits(V, VertexFileBytes)) return refuse("vertex count runs past the end of the file");
    if (!r.Fits(M, MaterialMinBytes)) return refuse("material count runs past the end of the file");
    if (!r.Fits(L, 4)) return refuse("index-list length runs past the end of the file");
    // Bones that are not read still get (empty) records: keep their count within the file too.
    if (!r.Fits(B, readBones ? (version >= 10007 ? 44 : 12) : 4))
        return refuse("bone count runs past the end of the file");
    if (!r.Fits(A, 280)) return refuse("attach count runs past the end of the file");
    if (B > MaxMeshBones) {
        std::snprintf(fault, sizeof fault, "bone count %u above %u", B, MaxMeshBones);
        return refuse(fault);
    }

    MeshLod parsed;
    SizeLod(parsed, V, M, L, skinned, B, A, hasBones, true);
    // The box of LOD 0 is summed up as its vertices are copied.
    Vec3 boxLow{0.0f, 0.0f, 0.0f}, boxHigh{0.0f, 0.0f, 0.0f};
    if (lod == 0)
        ReadVertices(r, parsed.Vertices, V, &boxLow, &boxHigh);
    else
        ReadWordArray(r, parsed.Vertices, V);
    ReadWordArray(r, parsed.Normals, V);
    ReadWordArray(r, parsed.ShadingVectors, V);
    ReadWordArray(r, parsed.TexCoords, uint64_t{V} * 2);
    if (!r.Ok()) return refuse("vertex data truncated");

    // Material layers hold texture indices until the textures are loaded; -1 is no layer.
    auto layerIndex = [T](int32_t index) { return index >= 0 && static_cast<uint32_t>(index) < T ? index : NoTexture; };
    for (uint32_t m = 0; m < M; ++m) {
        MeshMaterial& mat = parsed.Materials[m];
        mat.Layer1 = layerIndex(r.I32());
        mat.Word1 = r.U32();
        mat.Word2 = r.U32();
        mat.Layer2 = layerIndex(r.I32());
        mat.Layer3 = layerIndex(r.I32());
        const uint32_t n = r.U32();
        if (!r.Ok()) return refuse("material truncated");
        if (!r.Fits(n, 12)) {
            std::snprintf(fault, sizeof fault, "material %u: triangle count runs past the end of the file", m);
            return refuse(fault);
        }
        mat.IndexCount = 3 * n;
        if (const uint64_t i = ReadIndexWords(r, mat.Indices, uint64_t{n} * 3, V); i < uint64_t{n} * 3) {
            std::snprintf(fault, sizeof fault, "material %u: vertex index %u not below the vertex count %u", m,
                          mat.Indices[i], V);
            return refuse(fault);
        }
        if (mat.Layer2 != NoTexture) parsed.HasLayer2 = 1;
        if (mat.Layer3 != NoTexture) parsed.HasLayer3 = 1;
    }
    parsed.DrawEnabled = r.U32();
    parsed.FirstLayer3Material = r.U32();
    ReadWordArray(r, parsed.IndexList, L);
    parsed.LodWord = r.I32();
    Vec3 position{0.0f, 0.0f, 0.0f};
    float matrix[9] = {};
    if (lod == 0) {
        position = ReadVec3(r);
        for (float& f : matrix) f = r.F32();
    } else {
        r.Skip(48);
    }
    if (!r.Ok()) return refuse("material or placement data truncated");
    if (parsed.FirstLayer3Material > M) {
        std::snprintf(fault, sizeof fault, "first third-layer material %u above the material count %u",
                      parsed.FirstLayer3Material, M);
        return refuse(fault);
    }

    if (readBones) {
        IndexSummary summary;
        const char* bad = ReadBones(r, parsed.Bones, V, true, version >= 10007, fault, sizeof fault, &summary);
        if (bad) return refuse(bad);
        BuildBoneChildren(parsed.Bones, V, summary, parsed.BoneChildren);
    }

    const uint64_t attachBytes = version >= 10009 ? 296 : version >= 10005 ? 284 : 280;
    if (!r.Fits(A, attachBytes)) return refuse("attach count runs past the end of the file");
    for (uint32_t a = 0; a < A; ++a) {
        NztAttachPoint& p = parsed.AttachPoints[a];
        r.Text(p.Name);
        p.Anchor = r.U32();
        p.Kind = r.U32();
        p.TargetWord = r.U32();
        p.Position = ReadVec3(r);
        if (version >= 10009) {
            p.Rotation = ReadQuat(r);
        } else if (version >= 10005) {
            // A turn about the vertical axis; the half angle is looked up at (angle >> 1) & 2047.
            const uint32_t half = (r.U32() >> 1) & 2047;
            p.Rotation = {TableCos(static_cast<int>(half)), 0.0f, TableSin(static_cast<int>(half)), 0.0f};
        }
        if (version < 10004) p.Kind = p.TargetWord = 0;
        if (!r.Ok()) return refuse("attach point truncated");
        if (p.Anchor >= V) {
            std::snprintf(fault, sizeof fault, "attach point %u: anchor vertex %u not below the vertex count %u", a,
                          p.Anchor, V);
            return refuse(fault);
        }
    }

    if (B != 0) {
        // Older files derive the lists: the bones that pivot on the anchor or move it. holders[v]
        // lists those bones of vertex v once each, in bone order.
        std::vector<std::vector<uint32_t>> holders;
        if (version < 10004 && A > 0) {
            holders.resize(V);
            auto hold = [&holders](uint32_t v, uint32_t b) {
                if (holders[v].empty() || holders[v].back() != b) holders[v].push_back(b);
            };
            for (uint32_t b = 0; b < B; ++b) {
                for (uint32_t v : parsed.Bones[b].Vertices) hold(v, b);
                if (readBones) hold(parsed.Bones[b].Pivot, b);
            }
        }
        for (uint32_t a = 0; a < A; ++a) {
            std::vector<uint32_t>& list = parsed.AttachBoneLists[a];
            if (version >= 10004) {
                const uint32_t count = r.U32();
                if (!r.Ok()) return refuse("attach bone list truncated");
                if (!r.Fits(count, 4)) {
                    std::snprintf(fault, sizeof fault, "attach point %u: bone list runs past the end of the file", a);
                    return refuse(fault);
                }
                list.resize(count);
                ReadWords(r, list.data(), count);
                for (uint32_t bone : list) {
                    if (bone >= B) {
                        std::snprintf(fault, sizeof fault, "attach point %u: bone %u not below the bone count %u", a,
                                      bone, B);
                        return refuse(fault);
                    }
                }
            } else {
                list = holders[parsed.AttachPoints[a].Anchor];
            }
        }
    }

    if (texWave) {
        parsed.WaveTexCoords = parsed.TexCoords;
        parsed.WaveTexCoordsScaled.resize(parsed.TexCoords.size());
        for (uint64_t i = 0; i + 1 < parsed.TexCoords.size(); i += 2) {
            parsed.WaveTexCoordsScaled[i] = parsed.TexCoords[i] * 4.0f;
            parsed.WaveTexCoordsScaled[i + 1] = parsed.TexCoords[i + 1] * 2.0f;
        }
    }
    stream->CloseAndClear();

    // The file is sound: from here on the mesh changes. New textures are loaded before the old
    // ones of this LOD are released, so that an image both use stays uploaded.
    parsed.TextureCount = T;
    parsed.TextureNames.assign(T, -1);
    for (uint32_t i = 0; i < T; ++i)
        parsed.TextureNames[i] = LoadModelTexture(textures[i].name, textures[i].mipmap, textures[i].repeat, source);
    for (MeshMaterial& mat : parsed.Materials) {
        for (int32_t* layer : {&mat.Layer1, &mat.Layer2, &mat.Layer3})
            if (*layer != NoTexture) *layer = parsed.TextureNames[static_cast<uint32_t>(*layer)];
    }
    if (parsed.HasLayer3 && parsed.DrawEnabled && M != parsed.FirstLayer3Material) {
        for (uint32_t m = M; m-- > parsed.FirstLayer3Material;)
            if (parsed.Materials[m].Layer3 == NoTexture)
                parsed.Materials[m].Layer3 = static_cast<int32_t>(RenderState.blankTexture);
    }
    for (int32_t old : mesh->Lods[lod].TextureNames) ReleaseName(old);

    mesh->HighestLod = std::max(mesh->HighestLod, lod);
    if (lod == 0) {
        std::memcpy(mesh->Name, name, sizeof mesh->Name);
        if (!GetPathFolder(mesh->Folder, source)) mesh->Folder[0] = 0;
    }
    if (version == 10010) {
        std::memcpy(mesh->AnimSetName, storedSetName, sizeof mesh->AnimSetName);
    } else if (version >= 10001) {
        // The type's animation set is the model name less its LOD digit and three-digit number.
        const size_t length = std::strlen(mesh->Name);
        const size_t keep = std::min(length >= 4 ? length - 4 : 0, sizeof mesh->AnimSetName - 1);
        std::memcpy(mesh->AnimSetName, mesh->Name, keep);
        mesh->AnimSetName[keep] = 0;
    }
    if (lod == 0) mesh->AnimSetNameLength = static_cast<uint32_t>(std::strlen(mesh->AnimSetName));
    mesh->TexWave = texWave;
    mesh->TexWaveAmplitude = amplitude;
    mesh->TwoSided = twoSided;
    mesh->UseCameraMatrix = useCameraMatrix;
    if (lod == 0) {
        *mesh->Position = position;
        std::memcpy(mesh->Matrix, matrix, sizeof matrix);
    }
    if (texWave) {
        mesh->TexWaveStep = V ? std::max<int32_t>(1, static_cast<int32_t>(4096 / V)) : 1;
        mesh->TexWaveScale = amplitude * 0.005f;
    }
    std::swap(mesh->Lods[lod], parsed);
    AdoptLod(mesh, lod, skinned, allocateBones, hasBones);

    if (lod == 0) {
        BoundsFromBox(mesh, boxLow, boxHigh, true);
        mesh->AnchorHeight = A > 4 ? std::fabs(mesh->Vertices[mesh->AttachPoints[4].Anchor].y) : 0.0f;
        mesh->HalfHeight = mesh->Size.y * 0.5f;
    }
    mesh->PreviousLod = mesh->CurrentLod;
    CopyView(mesh, 0);
    return 1;
}

int LoadMeshSideFile(const char* path, NztMesh* mesh) {
    if (!mesh) return 0;
    if (!mesh->Stream.OpenRead(path, PackTrees[PackObjects])) {
        mesh->Stream.CloseAndClear();
        return 0;
    }
    return ParseMeshSideFile(mesh, &mesh->Stream, path);
}

int ParseMeshSideFile(NztMesh* mesh, NztFile* stream, const char* source) {
    if (!mesh || !stream) return 0;
    MeshFileReader in(stream, source);
    BinReader& r = in.r;
    char(&fault)[160] = in.fault;
    auto refuse = [&in](const char* what) { return in.Refuse(what); };
    if (!in.Version(QvcFirstVersion, QvcLastVersion, &mesh->SideFileVersion)) return 0;
    const uint32_t version = mesh->SideFileVersion;
    uint32_t collisionSkinned = 0;
    uint32_t boneCount = 0;
    if (version == 10002) {
        collisionSkinned = r.U32();
        boneCount = r.U32();
    } else {
        r.Skip(256);
    }
    const uint32_t CV = r.U32();
    const uint32_t CT = r.U32();
    const float sideWord = version >= 10001 ? r.F32() : 1.0f;
    if (!r.Ok()) return refuse("header truncated");
    if (!r.Fits(CV, 12)) return refuse("collision vertex count runs past the end of the file");
    if (!r.Fits(CT, 16)) return refuse("collision triangle count runs past the end of the file");
    std::vector<Vec3> vertices;
    std::vector<uint32_t> triangles, words;
    ReadWordArray(r, vertices, CV);
    ReadWordArray(r, triangles, uint64_t{CT} * 3);
    ReadWordArray(r, words, CT);
    const uint32_t tail = r.U32();
    if (!r.Ok()) return refuse("collision data truncated");
    for (uint64_t i = 0; i < triangles.size(); ++i) {
        if (triangles[i] >= CV) {
            std::snprintf(fault, sizeof fault, "collision triangle %u: vertex %u not below the vertex count %u",
                          static_cast<uint32_t>(i / 3), triangles[i], CV);
            return refuse(fault);
        }
    }
    std::vector<NztMeshBone> bones;
    if (collisionSkinned) {
        if (!r.Fits(boneCount, 8)) return refuse("collision bone count runs past the end of the file");
        bones.resize(boneCount);
        const char* bad = ReadBones(r, bones, CV, false, false, fault, sizeof fault);
        if (bad) return refuse(bad);
    }
    stream->CloseAndClear();

    mesh->CollisionSkinned = collisionSkinned;
    mesh->CollisionBoneCount = collisionSkinned ? boneCount : 0;
    mesh->CollisionBones = std::move(bones);
    mesh->SideFileWord = sideWord;
    mesh->SideFileTail = tail;
    mesh->CollisionVertexCount = CV;
    mesh->CollisionTriangleCount = CT;
    mesh->CollisionVertexBytes = CV * 12;
    mesh->CollisionVertices = std::move(vertices);
    mesh->PosedCollisionVertices.assign(CV, Vec3{0.0f, 0.0f, 0.0f});
    mesh->CollisionTriangles = std::move(triangles);
    mesh->CollisionTriangleWords = std::move(words);
    return 1;
}

void CreateEmptyMesh(NztMesh* mesh) {
    if (!mesh) return;
    mesh->AllocLod(1, 0, 0, 1, 1, 1, 0, 0, 0);
}

void FreeMeshLod(NztMesh* mesh, uint32_t lod) {
    if (!mesh || lod >= MeshLodCount) return;
    MeshLod& old = mesh->Lods[lod];
    MeshLod empty;
    empty.TextureCount = old.TextureCount;
    empty.TextureNames = std::move(old.TextureNames);
    empty.LodWord = old.LodWord;
    std::swap(old, empty);
    RefreshViews(mesh, lod);
}

void FreeMesh(NztMesh* mesh) {
    if (!mesh) return;
    FreeMeshAnimSlots(mesh);
    ReleaseMeshTextures(mesh);
    for (uint32_t lod = std::min<uint32_t>(mesh->HighestLod, MeshLodCount - 1) + 1; lod-- > 0;)
        FreeMeshLod(mesh, lod);
    std::vector<float>().swap(mesh->ScrolledTexCoords);
    std::vector<float>().swap(mesh->Layer2TexCoords);
    std::vector<Vec3>().swap(mesh->LightVectors);
    std::vector<Vec3>().swap(mesh->Layer3Vectors);
    mesh->VertexCapacity = 0;
    std::vector<Vec3>().swap(mesh->CollisionVertices);
    std::vector<Vec3>().swap(mesh->PosedCollisionVertices);
    std::vector<uint32_t>().swap(mesh->CollisionTriangles);
    std::vector<uint32_t>().swap(mesh->CollisionTriangleWords);
    std::vector<NztMeshBone>().swap(mesh->CollisionBones);
    mesh->CollisionVertexCount = mesh->CollisionTriangleCount = mesh->CollisionVertexBytes = 0;
    mesh->CollisionBoneCount = 0;
    CopyView(mesh, mesh->CurrentLod);
    mesh->HasLayer2 = mesh->HasLayer3 = 0;
    mesh->AttachCount = 0;
    mesh->AttachPoints = nullptr;
    mesh->AttachBoneLists = nullptr;
    mesh->BoneChildren = nullptr;
    if (mesh->LayerPose) DeleteAnim(mesh->LayerPose);
    mesh->LayerPose = nullptr;
}

void ResetMesh(NztMesh* mesh) {
    if (!mesh) return;
    mesh->~NztMesh();
    new (mesh) NztMesh();
}

void CloseMeshStream(NztMesh* mesh) {
    if (mesh) mesh->Stream.CloseAndClear();
}

void LoadMeshTexture(NztMesh* mesh, const char* name, uint32_t slot, uint32_t mipmap, uint32_t, uint32_t repeat) {
    if (!mesh || !name) return;
    MeshLod& lod = mesh->Lods[mesh->CurrentLod];
    if (slot >= lod.TextureNames.size()) return;
    const int32_t old = lod.TextureNames[slot];
    lod.TextureNames[slot] = LoadModelTexture(name, mipmap, repeat, mesh->Name);
    ReleaseName(old);
}

int ReplaceMeshTexture(uint32_t lod, NztMesh* mesh, uint32_t slot, const char* imageName, uint32_t mipmap, uint32_t,
                       uint32_t repeat) {
    if (!mesh || !imageName || lod >= MeshLodCount) return 0;
    MeshLod& l = mesh->Lods[lod];
    if (slot >= l.TextureCount || slot >= l.TextureNames.size() || l.TextureNames[slot] < 0) return 0;
    const int32_t old = l.TextureNames[slot];
    const int32_t fresh = LoadModelTexture(imageName, mipmap, repeat, mesh->Name);
    l.TextureNames[slot] = fresh;
    for (MeshMaterial& mat : l.Materials)
        for (int32_t* layer : {&mat.Layer1, &mat.Layer2, &mat.Layer3})
            if (*layer == old) *layer = fresh;
    ReleaseName(old);
    return 1;
}

void ReleaseMeshTextures(NztMesh* mesh) {
    if (!mesh) return;
    ReleaseName(mesh->MapTexture);
    mesh->MapTexture = 0;
    for (MeshLod& lod : mesh->Lods) {
        for (int32_t name : lod.TextureNames) ReleaseName(name);
        std::vector<int32_t>().swap(lod.TextureNames);
        lod.TextureCount = 0;
    }
    mesh->TextureNames = nullptr;
    mesh->TextureCount = 0;
}

int32_t LoadMapTexture(NztMesh* mesh, const char* name) {
    if (!mesh) return 0;
    ReleaseName(mesh->MapTexture);
    mesh->MapTexture = 0;
    char path[300];
    if (!name || !IsPlainName(name)) {
        if (name && *name) std::fprintf(stderr, "mesh: map texture name \"%s\" is not a plain name; left out\n", name);
        return 0;
    }
    if (!FormatPath(path, sizeof path, "MAPS/%s.Img", name)) return 0;
    // Mipmapped, clamped at the edges; the table filters linearly.
    mesh->MapTexture = static_cast<int32_t>(LoadTexture(path, 1, 0));
    return mesh->MapTexture;
}

void ComputeMeshBounds(NztMesh* mesh) {
    if (!mesh) return;
    Vec3 lo, hi;
    BoxOf(mesh->Vertices, mesh->VertexCount, &lo, &hi);
    BoundsFromBox(mesh, lo, hi, true);
}

void ComputeMeshBoundsFrom(NztMesh* mesh, const Vec3* vertices, uint32_t count) {
    if (!mesh) return;
    Vec3 lo, hi;
    BoxOf(vertices, count, &lo, &hi);
    BoundsFromBox(mesh, lo, hi, false);
}

void ResizeMeshAnimSlots(NztMesh* mesh, uint32_t n) {
    if (!mesh || n <= mesh->AnimSlotCount) return;
    mesh->AnimSlotFlags.resize(n, 0);
    mesh->AnimSlots.resize(n, nullptr);
    mesh->AnimSlotCount = n;
}

void FreeMeshAnimSlots(NztMesh* mesh) {
    if (!mesh) return;
    std::vector<NztAnim*>& slots = mesh->AnimSlots;
    for (size_t i = 0; i < slots.size(); ++i) {
        // An animation put into two slots is deleted once.
        if (slots[i] && std::find(slots.begin(), slots.begin() + static_cast<ptrdiff_t>(i), slots[i]) ==
                            slots.begin() + static_cast<ptrdiff_t>(i))
            DeleteAnim(slots[i]);
    }
    std::vector<NztAnim*>().swap(slots);
    std::vector<uint32_t>().swap(mesh->AnimSlotFlags);
    mesh->AnimSlotCount = 0;
}

void ScrollMeshTexCoords(const float transform[3], NztMesh* mesh) {
    if (!mesh || !transform || !mesh->BaseTexCoords) return;
    // The texcoords in the view are the draw LOD's, whose vertex count may differ from the
    // current LOD's.
    const uint64_t n = mesh->Lods[mesh->DrawLod].TexCoords.size();
    if (mesh->ScrolledTexCoords.size() < n) mesh->ScrolledTexCoords.resize(n);
    const float* in = mesh->BaseTexCoords;
    float* out = mesh->ScrolledTexCoords.data();
    const float u = transform[0], v = transform[1], scale = transform[2];
    if (scale == 0.0f) {
        for (uint64_t i = 0; i < n; i += 2) {
            out[i] = in[i] + u;
            out[i + 1] = in[i + 1] + v;
        }
    } else {
        // Scaled about the centre of the texture.
        const float f = 1.0f + scale;
        for (uint64_t i = 0; i < n; i += 2) {
            out[i] = (in[i] - 0.5f) * f + u + 0.5f;
            out[i + 1] = (in[i + 1] - 0.5f) * f + v + 0.5f;
        }
    }
    mesh->TexCoords = out;
}

namespace {

// Camera space of a world point: (right, up, forward) components of p - eye.
Vec3 ToCamera(const MeshPickView& view, const Vec3& p) {
    const Vec3 d = p - view.Eye;
    const float* m = view.Rotation;
    return {m[0] * d.x + m[1] * d.y + m[2] * d.z, m[3] * d.x + m[4] * d.y + m[5] * d.z,
            m[6] * d.x + m[7] * d.y + m[8] * d.z};
}

// Screen-plane coordinates relative to the viewport centre, y up. Points closer than one unit
// are not divided by their depth.
void Project(const MeshPickView& view, const Vec3& c, float* x, float* y) {
    const float k = c.z >= 1.0f ? view.Focal / c.z : view.Focal;
    *x = c.x * k;
    *y = c.y * k;
}

const Vec3* PickVertices(const NztMesh* mesh) { return mesh->PosedVertices ? mesh->PosedVertices : mesh->Vertices; }

bool TriangleCorners(const NztMesh* mesh, int32_t material, int32_t triangle, Vec3 out[3]) {
    if (!mesh || material < 0 || triangle < 0 || static_cast<uint32_t>(material) >= mesh->MaterialCount ||
        !mesh->Materials)
        return false;
    const MeshMaterial& mat = mesh->Materials[material];
    const uint64_t first = uint64_t{static_cast<uint32_t>(triangle)} * 3;
    if (first + 3 > mat.Indices.size()) return false;
    const Vec3* v = PickVertices(mesh);
    for (int i = 0; i < 3; ++i) {
        const uint32_t index = mat.Indices[first + i];
        if (!v || index >= mesh->VertexCount) return false;
        out[i] = v[index];
    }
    return true;
}

}  // namespace

bool TestPickTriangle(int32_t triangle, int32_t material, const NztMesh* mesh, const MeshPickView& view,
                      float screenX, float screenY, float* depth) {
    Vec3 corner[3];
    if (!TriangleCorners(mesh, material, triangle, corner)) return false;
    const float px = screenX - view.CentreX;
    const float py = view.CentreY - screenY;
    float x[3], y[3];
    float z = 0.0f;
    for (int i = 0; i < 3; ++i) {
        const Vec3 c = ToCamera(view, corner[i]);
        Project(view, c, &x[i], &y[i]);
        z += c.z;
    }
    for (int i = 0; i < 3; ++i) {
        const int j = (i + 1) % 3;
        if ((x[j] - x[i]) * (py - y[i]) - (y[j] - y[i]) * (px - x[i]) < 0.0f) return false;
    }
    if (depth) *depth = z / 3.0f;
    return true;
}

int32_t PickMeshTriangle(const NztMesh* mesh, const MeshPickView& view, float screenX, float screenY,
                         MeshPickHit* hit) {
    if (!mesh || !mesh->Materials) return -1;
    MeshPickHit best;
    for (uint32_t m = mesh->MaterialCount; m-- > 0;) {
        const uint32_t triangles = static_cast<uint32_t>(mesh->Materials[m].Indices.size() / 3);
        for (uint32_t t = triangles; t-- > 0;) {
            float depth;
            if (TestPickTriangle(static_cast<int32_t>(t), static_cast<int32_t>(m), mesh, view, screenX, screenY,
                                 &depth) &&
                (best.Triangle < 0 || depth < best.Depth))
                best = {static_cast<int32_t>(m), static_cast<int32_t>(t), depth};
        }
    }
    if (hit) *hit = best;
    return best.Triangle;
}

bool PickMeshHitPoint(const NztMesh* mesh, const MeshPickView& view, int32_t material, int32_t triangle,
                      float screenX, float screenY, Vec3* point) {
    Vec3 corner[3];
    if (!TriangleCorners(mesh, material, triangle, corner)) return false;
    // A point 500 units along the view axis under the screen point.
    const float k = 500.0f / view.Focal;
    const float* m = view.Rotation;
    const float px = (screenX - view.CentreX) * k;
    const float py = (view.CentreY - screenY) * k;
    const Vec3 right{m[0], m[1], m[2]}, up{m[3], m[4], m[5]}, forward{m[6], m[7], m[8]};
    const Vec3 far = view.Eye + forward * 500.0f + right * px + up * py;
    Vec3 at;
    if (!IntersectLineTrianglePlane(corner[0], corner[1], corner[2], view.Eye, far, at)) return false;
    if (!PointInTriangle(corner[0], corner[1], corner[2], at)) return false;
    if (point) *point = at;
    return true;
}
