// The mesh of an object type: up to six levels of detail (LODs) of vertices, normals, texture
// coordinates, materials with up to three texture layers, skinning bones and attach points, an
// optional collision mesh from a side file, and the bounds. One mesh is shared by every instance
// of its type; before posing or drawing an instance binds its own placement and buffers into it.
//
// Meshes are read from ".QVo" files (versions 10000 to 10010) and ".QVc" collision side files
// (10000 to 10002) through the "Objects" pack or the data folder. Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/nztfile.h"
#include "core/nztmath.h"
#include "model/anim.h"

inline constexpr uint32_t QvoFirstVersion = 10000;
inline constexpr uint32_t QvoLastVersion = 10010;
inline constexpr uint32_t QvcFirstVersion = 10000;
inline constexpr uint32_t QvcLastVersion = 10002;
inline constexpr int MeshLodCount = 6;
// Skeletons have tens of bones; the table of bone children grows with the square of the count,
// so a file with more is refused.
inline constexpr uint32_t MaxMeshBones = 1024;
// A material layer with no texture.
inline constexpr int32_t NoTexture = -1;

struct MeshMaterial {
    uint32_t IndexCount = 0;          // 3 x triangles
    std::vector<uint32_t> Indices;    // vertex index triples, each below the LOD's vertex count
    int32_t Layer1 = NoTexture;       // GL texture names; NoTexture = no layer, 0 = image missing
    uint32_t Word1 = 0;               // stored as read (drawing reads it as the flat-colour switch)
    uint32_t Word2 = 0;               // stored as read (drawing reads it as the blend mode)
    int32_t Layer2 = NoTexture;
    int32_t Layer3 = NoTexture;
};

// Per-vertex cache of a bone for its secondary motion.
struct NztBoneCacheEntry {
    Vec3 Lag{0.0f, 0.0f, 0.0f};
    Quat Rotation = QuatIdentity;
};

struct NztMeshBone {
    uint32_t Pivot = 0;        // vertex the bone turns about
    uint32_t VertexCount = 0;  // n
    std::vector<uint32_t> Vertices;  // n vertex indices: every vertex the bone moves
    std::vector<float> Weights;      // n weights
    uint32_t HasExtra = 0;
    // The two extra words, kept bit for bit (the secondary motion reads them as floats).
    float ExtraFollow = 0.0f;
    float ExtraStiffness = 0.0f;
    Vec3 ExtraLimits{0.0f, 0.0f, 0.0f};
    Vec3 ExtraVector{0.0f, 0.0f, 0.0f};
    std::vector<NztBoneCacheEntry> Cache;  // n entries when HasExtra (secondary motion), else none
};

struct NztAttachPoint {
    char Name[256] = {};
    uint32_t Anchor = 0;  // vertex index
    uint32_t Kind = 0;
    uint32_t TargetWord = 0;     // the file's target word, stored as read
    void* Target = nullptr;      // what hangs on the point (set by the object code)
    Vec3 Position{0.0f, 0.0f, 0.0f};
    Quat Rotation = QuatIdentity;
};

struct CollisionBody;
struct SweepHitRecord;
struct StandingProbe;

// The owner's collision and ground state as ground following and the root-motion sweep see it,
// bound before posing. Pointers are the owner's own words (null: the owner has none); the plain
// values are copied at binding. Pitch and roll are 4096 units a turn.
struct NztMeshGround {
    CollisionBody* Body = nullptr;
    SweepHitRecord* Hit = nullptr;
    uint32_t* HitKind = nullptr;     // what the last sweep hit
    uint32_t* GroundKind = nullptr;  // 0 to 3, from the hit kind
    const uint32_t* TiltSwitches = nullptr;  // two words
    const float* TiltMatrix = nullptr;       // 3x3 as Matrix
    StandingProbe* Probe = nullptr;
    float* FloorHeight = nullptr;
    float* SurfaceHeight = nullptr;
    uint32_t* OnSurface = nullptr;
    float* VerticalSpeed = nullptr;  // positive downwards
    uint32_t* Airborne = nullptr;
    int32_t* Pitch = nullptr;
    int32_t* Roll = nullptr;
    int32_t* PreviousPitch = nullptr;
    int32_t* PreviousRoll = nullptr;
    const uint32_t* PackedAngles = nullptr;  // bits 12-23: heading
    const uint32_t* Sliding = nullptr;
    const uint32_t* HangGliding = nullptr;
    const uint32_t* Parachute = nullptr;
    const uint32_t* ThirdGlide = nullptr;
    const uint32_t* HeightHold = nullptr;
    float StepHeight = 0.0f;
    float Gravity = 0.0f;
    uint32_t Flying = 0;
    uint32_t SettleMode = 0;
    uint32_t MovementState = 0;
    float AirborneTilt = 0.0f;
    uint32_t SurfaceOffsetOn = 0;
    float SurfaceOffset = 0.0f;
    uint32_t FootPlacement = 0;
};

struct SkinPlan;  // posing's grouping of this LOD's vertices by bone list, made on first use

struct MeshLod {
    uint32_t VertexCount = 0;    // V
    uint32_t IndexCount = 0;     // L, the index-list length
    uint32_t MaterialCount = 0;  // M
    uint32_t DrawEnabled = 0;    // drawn only when non-zero
    uint32_t FirstLayer3Material = 0;  // materials from here on form the third-layer group (<= M)
    uint32_t VertexBytes = 0;          // V x 12
    std::vector<Vec3> Vertices;
    std::vector<Vec3> Normals;
    std::vector<MeshMaterial> Materials;
    std::vector<uint32_t> IndexList;  // stored as read
    std::vector<Vec3> ShadingVectors;
    std::vector<uint32_t> BoneWords;  // two words a vertex when skinned or boned
    std::vector<float> TexCoords;     // V x (u, v)
    std::vector<float> WaveTexCoords;        // base copy for the texture wave
    std::vector<float> WaveTexCoordsScaled;  // u x 4, v x 2
    std::vector<float> VertexWavePhases;
    uint32_t HasLayer2 = 0;
    uint32_t HasLayer3 = 0;
    uint32_t TextureCount = 0;
    std::vector<int32_t> TextureNames;  // GL names; -1 until loaded, 0 when the image is missing
    int32_t LodWord = -1;  // stored as read
    uint32_t HasBones = 0;
    uint32_t BoneCount = 0;
    std::vector<NztMeshBone> Bones;
    uint32_t AttachCount = 0;
    std::vector<NztAttachPoint> AttachPoints;
    std::vector<std::vector<uint32_t>> AttachBoneLists;  // per attach point: bones carrying it
    std::vector<std::vector<uint32_t>> BoneChildren;     // per bone: bones whose pivot it moves
    std::shared_ptr<SkinPlan> Skin;  // checked against the bone lists before each use
};

struct NztMesh {
    uint32_t Version = 0;
    uint32_t TypeIndex = 0;
    char Name[256] = {};
    char Folder[256] = {};
    char AnimSetName[32] = {};
    uint32_t AnimSetNameLength = 0;
    uint32_t Number = 0;
    uint32_t CurrentLod = 0;
    uint32_t DrawLod = 0;
    uint32_t HighestLod = 0;
    uint32_t PreviousLod = 0;
    float SizeClass = 1.0f;
    MeshLod Lods[MeshLodCount];
    Vec3 BoxMin{0.0f, 0.0f, 0.0f};
    Vec3 BoxMax{0.0f, 0.0f, 0.0f};
    Vec3 BoxCorners[8] = {};
    uint32_t VertexCapacity = 0;

    // The current-LOD view (SelectLod); the draw fields also follow SelectDrawLod.
    uint32_t VertexCount = 0;
    uint32_t IndexCount = 0;
    uint32_t MaterialCount = 0;
    uint32_t DrawEnabled = 0;
    uint32_t FirstLayer3Material = 0;
    uint32_t VertexBytes = 0;
    Vec3* Vertices = nullptr;
    Vec3* Normals = nullptr;
    MeshMaterial* Materials = nullptr;
    uint32_t* IndexList = nullptr;
    Vec3* ShadingVectors = nullptr;
    uint32_t* BoneWords = nullptr;
    float* BaseTexCoords = nullptr;
    float* TexCoords = nullptr;  // BaseTexCoords, or ScrolledTexCoords after ScrollMeshTexCoords
    float* WaveTexCoords = nullptr;
    float* WaveTexCoordsScaled = nullptr;
    float* VertexWavePhases = nullptr;
    uint32_t HasLayer2 = 0;
    uint32_t HasLayer3 = 0;
    uint32_t TextureCount = 0;
    int32_t* TextureNames = nullptr;
    int32_t LodWord = -1;
    uint32_t HasBones = 0;
    uint32_t MaxBoneCount = 0;  // bones of the current LOD
    NztMeshBone* Bones = nullptr;
    uint32_t AttachCount = 0;
    NztAttachPoint* AttachPoints = nullptr;
    std::vector<uint32_t>* AttachBoneLists = nullptr;
    std::vector<uint32_t>* BoneChildren = nullptr;
    // Texcoords written by ScrollMeshTexCoords, which sizes them to the draw LOD's texcoords
    // (empty until the mesh first scrolls).
    std::vector<float> ScrolledTexCoords;

    // Bound by the object before posing and drawing; until then they point at the mesh's own.
    void* Owner = nullptr;
    Vec3* PosedVertices = nullptr;
    Vec3* PosedNormals = nullptr;
    float* VertexColours = nullptr;  // four floats a vertex
    Vec3* PosedVertices2 = nullptr;
    Vec3* Position = &OwnPosition;
    Vec3* PreviousPosition = &OwnPreviousPosition;
    Vec3* FrameMotion = &OwnFrameMotion;
    Vec3* Motion = &OwnMotion;
    Vec3* PreviousMotion = &OwnPreviousMotion;
    float RootMotionScale = 1.0f;
    uint32_t* MotionAxisLocks = nullptr;  // per axis: non-zero keeps root motion off that world axis
    NztAttachPoint* ObjectAttachPoints = nullptr;  // the bound object's copy of AttachPoints
    uint32_t ObjectAttachCount = 0;
    NztMeshGround Ground;
    Vec3 BendAxis{0.0f, 0.0f, 0.0f};  // axis of the procedural bend
    float* Matrix = OwnMatrix;  // 3x3, three rows
    float* InverseMatrix = OwnInverseMatrix;
    Vec3 OwnPosition{0.0f, 0.0f, 0.0f};
    Vec3 OwnPreviousPosition{0.0f, 0.0f, 0.0f};
    Vec3 OwnFrameMotion{0.0f, 0.0f, 0.0f};
    Vec3 OwnMotion{0.0f, 0.0f, 0.0f};
    Vec3 OwnPreviousMotion{0.0f, 0.0f, 0.0f};
    float OwnMatrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float OwnInverseMatrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

    float TexWaveRate1 = 0.0005f;
    float TexWaveRate2 = 0.001f;

    // Skinning.
    uint32_t LargestBoneCount = 0;  // of any LOD
    uint32_t BoneCount = 0;         // bones posed
    uint32_t CollisionBoneCount = 0;
    std::vector<NztMeshBone> CollisionBones;
    NztAnim* CurrentAnim = nullptr;
    Quat* BoneRotation = nullptr;
    Quat OwnBoneRotation = QuatIdentity;  // the bone rotation being applied; BoneRotation points here
    float BoneMatrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Vec3 BoneTranslation{0.0f, 0.0f, 0.0f};
    Vec3 BoneScale{0.0f, 0.0f, 0.0f};
    Vec3 BonePivot{0.0f, 0.0f, 0.0f};
    uint32_t RigidState = 0;
    float BlendWords[2] = {0.0f, 0.0f};  // bound to and from the object's two blend words
    uint32_t InstanceCount = 0;          // objects bound to the mesh with SetMesh
    uint32_t Skinned = 0;
    uint32_t SkinActive = 0;
    uint32_t CollisionSkinned = 0;
    uint32_t UseCameraMatrix = 0;
    uint32_t Frame = 0;
    uint32_t PreviousFrame = 0;
    uint32_t AnimFrameCount = 0;
    NztBoneKey* CurrentKeys = nullptr;
    NztAnim* LayerPose = nullptr;  // one-frame scratch animation, from the animation library
    NztAnimLayer* AnimLayers = nullptr;  // AnimLayerCount records, bound
    uint8_t* LayerBoneMask = nullptr;    // a byte per bone, bound

    // Per-animation slots.
    uint32_t AnimSlotCount = 0;
    std::vector<uint32_t> AnimSlotFlags;
    std::vector<NztAnim*> AnimSlots;

    // Texture and vertex waves.
    int32_t TexWaveStep = 0;
    uint32_t TexWave = 0;
    float TexWaveAmplitude = 0.0f;
    float TexWaveScale = 0.0f;
    uint32_t TwoSided = 0;  // drawn without back-face culling
    float VertexWaveSpread = 0.0f;
    float VertexWaveHeight = 0.0f;
    float VertexWaveSpeed = 0.0f;
    uint32_t GroundFollow = 0;

    // Collision side file.
    uint32_t SideFileVersion = 0;
    float SideFileWord = 1.0f;  // stored as read
    uint32_t SideFileTail = 0;  // stored as read
    uint32_t CollisionVertexCount = 0;
    uint32_t CollisionTriangleCount = 0;
    uint32_t CollisionVertexBytes = 0;
    float* CollisionBounds = OwnCollisionBounds;  // min x, y, z, max x, y, z
    float OwnCollisionBounds[6] = {};
    std::vector<Vec3> CollisionVertices;
    std::vector<Vec3> PosedCollisionVertices;
    std::vector<uint32_t> CollisionTriangles;  // three vertex indices a triangle, each below CV
    std::vector<uint32_t> CollisionTriangleWords;

    // Extents.
    Vec3 Size{0.0f, 0.0f, 0.0f};
    Vec3 HalfSize{0.0f, 0.0f, 0.0f};
    Vec3 InvSize{0.0f, 0.0f, 0.0f};
    Vec3 InvHalfSize{0.0f, 0.0f, 0.0f};
    float HeightScale = 0.0f;  // 512 / height
    float LargestExtent = 0.0f;
    float CoreRadius = 0.0f;
    float CoreRadiusSquared = 0.0f;
    uint32_t Visible = 0;
    float HalfHeight = 0.0f;

    // Shading and drawing inputs. The shading vectors of the LOD are the mesh's own per-vertex
    // colour (red, green, blue) that the lighting adds to.
    uint32_t UseLayer3Vectors = 1;
    float ThreeUnitAlpha = 0.75f;
    float MeshAlpha = 1.0f;
    float Tint[3] = {1.0f, 1.0f, 1.0f};
    uint32_t SunLit = 1;  // the sun term lights the mesh (with the scene's sun switch)
    // The object's texture-wave phase word (low 12 bits, 4096 units a turn); bound by the object.
    uint32_t* WavePhase = &OwnWavePhase;
    uint32_t OwnWavePhase = 0;
    // Written by the shading code before drawing, at least VertexCount entries once written.
    std::vector<float> Layer2TexCoords;  // V x (u, v)
    std::vector<Vec3> LightVectors;      // DOT3 light vectors through the normalisation cube map
    std::vector<Vec3> Layer3Vectors;     // camera-relative vectors for the sky cube map

    int32_t MapTexture = 0;  // extra "MAPS/" texture of an event action
    uint32_t ShadowTexture = 0;  // GL name of the ground quad drawn under objects of the mesh
    NztFile Stream;
    float AnchorHeight = 0.0f;  // |y| of the anchor of attach point 4 (0 with four points or fewer)

    NztMesh() = default;
    NztMesh(const NztMesh&) = delete;
    NztMesh& operator=(const NztMesh&) = delete;

    // Sizes the arrays of LOD lod (materials zeroed, TextureNames untouched), raises
    // VertexCapacity, clears BoneCount and makes lod current. A skinned mesh loaded with
    // allocateBones gets its LayerPose when it has none.
    void AllocLod(uint32_t vertices, uint32_t materials, uint32_t indexCount, uint32_t skinned, uint32_t bones,
                  uint32_t allocateBones, uint32_t attachCount, uint32_t hasBones, uint32_t lod);
    // The LOD now current: n clamped to HighestLod; the view is copied unless n already is both
    // CurrentLod and DrawLod.
    uint32_t SelectLod(uint32_t n);
    // The draw fields of the view from LOD n (only the texcoord pointer is reset when n is DrawLod).
    void SelectDrawLod(uint32_t n);
    // Motion bookkeeping and rigid posing of the bound object; 1 when posed, 0 when skipped.
    int UpdateRigid();
};

// Loading; each answers 1 on success and 0 on failure. A file that breaks any check is refused
// with one line on stderr naming the file and the field, and changes nothing but the version word.
int LoadMeshFile(const char* path, NztMesh* mesh, uint32_t lod, uint32_t allocateBones);
int ParseMeshFile(NztMesh* mesh, NztFile* stream, uint32_t lod, uint32_t allocateBones,
                  const char* sourceName = "mesh stream");
int LoadMeshSideFile(const char* path, NztMesh* mesh);
int ParseMeshSideFile(NztMesh* mesh, NztFile* stream, const char* sourceName = "side stream");
// LOD 0 with one vertex, no material, skinned, one bone, no attach point.
void CreateEmptyMesh(NztMesh* mesh);

void FreeMeshLod(NztMesh* mesh, uint32_t lod);
void FreeMesh(NztMesh* mesh);
// Every field back to its empty default (owned arrays are freed; textures are not released).
void ResetMesh(NztMesh* mesh);
void CloseMeshStream(NztMesh* mesh);

// Loads "MAPSMODELS/<name>.Img" into slot `slot` of the current LOD's TextureNames (GL name 0 when
// the image is missing or the name is not a plain name). The table always filters linearly.
void LoadMeshTexture(NztMesh* mesh, const char* name, uint32_t slot, uint32_t mipmap, uint32_t linear,
                     uint32_t repeat);
// Puts a new image into slot `slot` of LOD lod and re-points the materials that used the old one;
// 1 when replaced (the slot must exist and hold a texture).
int ReplaceMeshTexture(uint32_t lod, NztMesh* mesh, uint32_t slot, const char* imageName, uint32_t mipmap,
                       uint32_t linear, uint32_t repeat);
void ReleaseMeshTextures(NztMesh* mesh);
// "MAPS/<name>.Img" as the mesh's MapTexture; the previous one is released. 0 when missing.
int32_t LoadMapTexture(NztMesh* mesh, const char* name);

void ComputeMeshBounds(NztMesh* mesh);
// The box, extents and core radius from the given vertices (SizeClass and the texture-wave rates
// stay); SetMeshRestPose (objects/posing.h) takes them from the rest pose.
void ComputeMeshBoundsFrom(NztMesh* mesh, const Vec3* vertices, uint32_t count);
// Grows the slot arrays to n slots (new ones empty); never shrinks.
void ResizeMeshAnimSlots(NztMesh* mesh, uint32_t n);
// Deletes every slot's animation from the animation library and frees the slot arrays.
void FreeMeshAnimSlots(NztMesh* mesh);
// Current texcoords from the base ones and a transform (u offset, v offset, scale minus one).
void ScrollMeshTexCoords(const float transform[3], NztMesh* mesh);

// What picking sees: the camera eye, its rotation (three rows: right, up, forward), the
// projection factor in pixels and the viewport centre in screen pixels (y counted downwards).
struct MeshPickView {
    Vec3 Eye{0.0f, 0.0f, 0.0f};
    float Rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float Focal = 1600.0f;
    float CentreX = 400.0f;
    float CentreY = 300.0f;
};
struct MeshPickHit {
    int32_t Material = -1;
    int32_t Triangle = -1;
    float Depth = 0.0f;  // camera-space depth of the triangle's centre
};
// The nearest posed triangle under the screen point: its triangle index (hit filled), -1 when none.
int32_t PickMeshTriangle(const NztMesh* mesh, const MeshPickView& view, float screenX, float screenY,
                         MeshPickHit* hit);
// Where the ray from the eye through the screen point meets that triangle.
bool PickMeshHitPoint(const NztMesh* mesh, const MeshPickView& view, int32_t material, int32_t triangle,
                      float screenX, float screenY, Vec3* point);
// Whether the projected triangle covers the screen point (depth of its centre in *depth).
bool TestPickTriangle(int32_t triangle, int32_t material, const NztMesh* mesh, const MeshPickView& view,
                      float screenX, float screenY, float* depth);
