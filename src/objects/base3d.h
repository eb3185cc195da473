// The world-object class tree. Everything that exists in the world (mesh objects, characters, scene
// objects, thrown objects, effects, lights, trails, bolts, triggers and the interface objects that
// take part in events) derives from NztBase3D and answers its table of virtual operations:
//
//   NztBase3D                      slots 0-9 (range, size, update passes, render passes, flat colour)
//     NztEventObject               (objects/events.h) event records
//       NztBaseObject + controller kind 1; slots 10-15 (animation, SyncModel)
//         NztCollideObject         kind 3
//           NztScnObject           kind 4
//           NztEntity              kind 5 (character/entity.h)
//         NztDynObject             kind 7
//       NztGameLight, NztCounter, NztGameUI, NztInventory, NztGameMap, NztEventTrigger (+ controller)
//     NztLight (+ controller), NztSfx, NztThunder, NztTrail
//   NztController (objects/controller.h); CNztCamera (camera/camera.h)
//
// The kind code is what the event system dispatches on and the registries sort by. This file also
// holds the base object NztBaseObject: a placed instance of a shared mesh with its own posed
// buffers, orientation, level of detail, animation cursor and attach-point copy.
//
// Rotations are nine floats, three rows: a local vector v maps to v.x row 0 + v.y row 1 + v.z row 2,
// and row 2 is the forward axis. Angles given as integers are in angle units (4096 a turn).
// Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/nztmath.h"
#include "objects/collshape.h"
#include "objects/controller.h"

// Complete in model/mesh.h, which code that reaches into an object's mesh data includes.
struct NztAnim;
struct NztAnimLayer;
struct NztAttachPoint;
struct NztMesh;

enum : int32_t {
    ObjectKindBase = 1,
    ObjectKindSfx = 2,
    ObjectKindCollide = 3,
    ObjectKindScn = 4,
    ObjectKindEntity = 5,
    ObjectKindGameLight = 6,
    ObjectKindDyn = 7,
    ObjectKindLight = 8,
    ObjectKindThunder = 9,
    ObjectKindTrail = 10,
    ObjectKindTrigger = 11,
    ObjectKindCounter = 12,
    ObjectKindGameUI = 13,
    ObjectKindInventory = 14,
    ObjectKindGameMap = 15,
};

class NztBase3D {
public:
    NztBase3D() = default;
    virtual ~NztBase3D() = default;
    NztBase3D(const NztBase3D&) = delete;
    NztBase3D& operator=(const NztBase3D&) = delete;

    // Slots 0 to 9; the defaults store or answer the plain values and do nothing else.
    virtual void SetRange(float value) { range = value; }
    virtual float GetRange() { return range; }
    virtual void SetSize(float value) { size = value; }
    virtual float GetSize() { return size; }
    virtual void Update() {}      // first update pass
    virtual void LateUpdate() {}  // second update pass
    virtual void RenderOpaque() {}
    virtual void Render() {}  // second and third render loops
    virtual void DrawFlatColor(float, float, float) {}
    virtual void DrawFlatColorAlpha(float, float, float, float) {}

    int32_t kind = ObjectKindBase;
    int32_t id = -1;         // -1: none
    int32_t registered = 0;  // 1 while in the registries
    float range = 500.0f;    // visibility and fade range
    float size = 0.0f;
    int32_t twoSided = 0;  // 1: drawn without back-face culling (from the mesh)
    int32_t unlit = 0;     // tested by the render slots of dynamic and scene objects
    int32_t spareWord = 1;
    float Position[3] = {0.0f, 0.0f, 0.0f};
    float headHeight = 0.0f;  // height of the head point above Position (text boxes sit there)
    float cameraDistanceSq = 0.0f;  // from the camera eye, refreshed by SyncModel
    float viewDepth = 0.0f;         // signed distance along the view direction
    float sortDepth = 0.0f;         // the view depth, or the nearest box corner once UpdateLod tested it
};

// NztEventObject needs NztBase3D complete; objects/events.h includes this file for it and keeps its
// guard below that include, so either header may come first.
#include "objects/events.h"

class CNztCamera;
class NztLight;
class NztTrail;
class NztSfx;
struct RemotePlayerRecord;
struct SpellInstance;

// Lets go of the network record of an object that is released, so that the record keeps no pointer
// to it. The network client installs it when it binds a record to an object; null does nothing.
extern void (*ReleaseNetworkRecord)(RemotePlayerRecord* record);
struct UserPropertyList;
struct TrailParams;

class NztBaseObject : public NztEventObject, public NztController {
public:
    NztBaseObject();
    ~NztBaseObject() override;

    void SetRange(float value) override;
    void SetSize(float value) override;
    void DrawFlatColor(float r, float g, float b) override;
    void DrawFlatColorAlpha(float r, float g, float b, float a) override;
    // Slots 10 to 15.
    virtual NztAnim* GetAnim(uint32_t slot);  // null for -1 and for slots the mesh lacks
    virtual void SetAnim(NztAnim* anim, int32_t speed, NztAnim* returnTo, int32_t startFrame);
    virtual int32_t BlendToAnim(NztAnim* anim, int32_t speed, NztAnim* returnTo, int32_t startFrame);
    virtual void SetAnimIndex(uint32_t slot, int32_t speed, uint32_t returnSlot, int32_t startFrame);
    virtual int32_t BlendToAnimIndex(uint32_t slot, int32_t speed, uint32_t returnSlot, int32_t startFrame);
    // Camera distance, depth, level of detail, mesh binding and rigid posing.
    virtual void SyncModel();

    // What a character answers; its class sits on the floor above, and every other object keeps
    // these answers.
    virtual void SelectAction() {}
    virtual void RunActionStack() {}
    virtual void ClearContactsWith(NztBaseObject*) {}
    // The object old is released (or replaced by replacement): a character aiming at it lets go.
    virtual void LoseTarget(NztBaseObject*, NztBaseObject*) {}
    virtual NztBase3D* RiddenObject() const { return nullptr; }
    virtual int32_t ControlState() const { return 0; }
    virtual uint32_t Airborne() const { return 0; }
    virtual float PickReach() const { return 0.0f; }
    virtual float HoverRadius() const { return 0.0f; }

    // The controller part raises events on the object: 23 on the first key, 25 when the list
    // empties, 24 on the 0.1 s tick while keys run.
    NztControllerKeyState* AddKey(const NztControllerKey* key) override;
    void DeleteKey(int32_t index) override;
    void ClearKeys() override;
    void UpdateKeys() override;
    // Runs the keys and applies their steps; 0 when no key is left.
    int32_t ApplyControllerKeys();
    // With follow displacement set: a one-second push of other's motion minus this one's.
    void AddDisplacementKey(const NztBaseObject* other);

    // Everything the object holds, before it is deleted.
    void ReleaseData();
    // Deletes the lights, trails, effects and dynamic-object links bound to the object.
    void RemoveAttachedEffects();
    void SetMesh(NztMesh* newMesh);
    void UpdateLod();
    void ComputeWorldBox();
    // Centre of the box of the posed vertices; nothing without a vertex buffer.
    void ComputeCenter(float out[3]) const;
    // 1 when the client point lies strictly inside the projected world box, with the nearest
    // projected depth in *depth.
    int32_t PickTest(int32_t x, int32_t y, float* depth);

    void SetPosition(const float p[3]);
    void SetRotation(const float m[9]);
    void SetYaw(int32_t yaw);
    void SetYawPitch(int32_t pitch, int32_t yaw);
    // Turns about the world axes by the increments (angle units); each packed angle wraps in its
    // own 12 bits.
    void AddAngles(float pitch, float yaw, float roll);
    // Moves along the object's own axes; locked axes keep their coordinate.
    void MoveLocal(const float v[3]);
    void QuaternionToMatrix(const float q[4]);
    void LookAt(const float p[3]);
    void TurnTowards(const float p[3]);
    void TurnTowardsBy(const float p[3], float factor);
    void TurnAwayBy(const float p[3], float factor);

    // World ground-quad corners from the local ones, lifted 0.05.
    void RotateLocalVectors();
    void DrawShadow();
    // Wind sway of the posed vertices by the environment's wobble vector.
    void ApplyWobble(float amount, int32_t absolute);
    // Copies the mesh's state back into the object.
    void BindMeshData();
    // Points the shared mesh at this object's buffers and state.
    void BindRenderData();
    // Creates what the mesh's attach points name: effects (#, !), lights (@L) and trails (@Trail<d>).
    void SetupParts();
    // Refreshes the object's shared state and copies owner, position and flags into its mesh.
    void SyncModelState();

    // Attach points, trail list and user properties: the pieces a release needs.
    // Empties point i of the object's copy: an effect there loses its owner, an object hanging
    // there its parent; an index outside the copy does nothing.
    void ClearAttachPoint(int32_t index);
    // Every point, and every light that follows or aims at the object lets go of it.
    void ClearAllAttachPoints();
    // 1 when child hung on a point of this object (searched from the last) and was taken off.
    int32_t RemoveChild(const void* child);
    void Detach();
    void RemoveTrailLink(int32_t index);
    void FreeUserProperties();

    // Animation cursor, layers, attach points, trails and user properties (objects/baseanim.cpp).
    // Grows the mesh's animation slot arrays to count slots and re-reads the slot array.
    void ResizeAnimSlots(uint32_t count);
    // One frame step of the current animation with the spells of the frames passed; a play-once
    // animation hands over to its return animation, the object's own animation stops at its end.
    void UpdateAnimEvents();
    int32_t StepAnimFrame();  // the current frame after the step
    void SetAnimFrame(int32_t frame);
    int32_t IsAnimAtEnd() const;  // 1 with no animation or at the last frame
    // mode 0: bone index alone; otherwise index 0 all bones, else bone index and the bones it carries.
    void SetLayerBoneMask(int32_t index, uint8_t mode);
    // Starts layer (0..4) with anim, or stops it for a null anim; the fields are those of NztAnimLayer.
    void SetAnimLayer(int32_t layer, NztAnim* anim, int32_t blendMode, float weight, int32_t running,
                      float secondFloat, int32_t boneIndex, uint8_t maskMode);
    // The posed anchor of point index, or the object's position for an index outside the points.
    void GetPointPosition(int32_t index, float out[3]) const;
    void SetPointPosition(int32_t index, const float p[3]);
    // The rotation of the bones carrying the point at the current frame; identity without them.
    void GetPointRotation(int32_t index, float out[9]) const;
    // Hangs the object on point index of newParent with the attach kind; it hangs on one point only.
    void AttachTo(NztBaseObject* newParent, int32_t index, uint32_t attachKind);
    NztBaseObject* GetAttachedObject(int32_t index) const;  // the object on a kind-4 point
    // Detaches and takes the reference's place (moved along its forward axis) and rotation.
    void MoveToObject(const NztBaseObject* reference);
    void AddTrailLink(NztTrail* trail);
    // The trails the object carries; these four are defined with the trails (effects/trail.cpp).
    void SetTrailParams(const TrailParams& params);
    void StopTrail(int32_t index);
    void StopAllTrails();
    void ResumeTrails();
    // The new count of properties.
    int32_t AddUserProperty();
    // Property index, or null without a list or for an index outside it.
    UserProperty* GetUserProperty(int32_t index);

    int32_t word0 = 0;
    int32_t animating = 0;    // 1 while an animation is set
    NztMesh* mesh = nullptr;  // the type's shared mesh
    int32_t lod = 0;          // 0 nearest .. 5
    int32_t previousLod = 0;
    int32_t visible = 0;  // in view this frame
    int32_t shown = 1;    // 0 hides the object
    uint8_t watchSwitch = 1;  // 0: the character's watching step leaves the player unnoticed
    int32_t hasTransparent = 0;
    int32_t visibilityTest = 1;  // 0: always visible, no level-of-detail test
    int32_t poseState = 0;       // shared with the mesh as its rigid state
    int32_t word1 = 0;
    float worldBox[8][3] = {};  // the mesh's box corners in world space
    std::vector<NztTrail*> trails;
    int32_t word2 = 0;
    int32_t followDisplacement = 0;
    float meshDrawScale = 1.0f;
    float groundQuadStrength = 0.0f;
    // Four corners of three floats each, made by the owner; freed with the object.
    std::unique_ptr<float[]> localGroundQuad;
    std::unique_ptr<float[]> worldGroundQuad;
    int32_t meshDrawMode = 1;
    float wobbleOffsets[2][3] = {};  // previous, current
    float wobbleAmplitude = 0.0f;
    int32_t wobblePhase = 0;  // angle units
    float opacity = 1.0f;
    float fadeStart = 400.0f;  // 0.8 x range
    float fadeFactor = 0.01f;  // 1 / (range - fade start)
    float twiceSize = 0.0f;
    float inverseSize = 0.0f;
    int32_t vertexCapacity = 0;  // the mesh's vertex capacity when bound
    int32_t vertexCount = 0;     // the mesh's current level-of-detail count
    std::vector<Vec3> vertices;  // posed, world space
    std::vector<Vec3> normals;
    std::vector<float> colours;  // four a vertex
    float PreviousPosition[3] = {0.0f, 0.0f, 0.0f};
    // Frame motion, motion (position minus previous position after posing), previous motion.
    Vec3 motion[3] = {};
    uint32_t axisLocks[3] = {0, 0, 0};  // x, y, z: controller moves leave a locked axis alone
    uint32_t packedAngles = 0;          // bits 0-11 pitch, 12-23 yaw; 24-31 kept
    uint32_t roll = 0;                  // bits 0-11 roll; the rest kept
    float rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float secondRotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    UserPropertyList* userProperties = nullptr;
    std::vector<NztAttachPoint> attachPoints;  // the object's copy of the mesh's points
    NztBaseObject* parent = nullptr;           // the object this one hangs on
    int32_t parentVertex = 0;
    int32_t parentPoint = 0;
    int32_t boneOrientation = 1;
    uint32_t turning = 0;  // the turning switch: set while its controller turns it
    // MoveToObject's forward offset (z) and the word after it. The mesh record carries no field
    // that SetMesh could copy here, so both stay 0 unless a scene file sets the float.
    float meshOffset[3] = {0.0f, 0.0f, 0.0f};
    float meshFloat = 0.0f;
    NztAnim** animSlots = nullptr;  // the mesh's slot array
    NztAnim* currentAnim = nullptr;
    NztAnim* returnAnim = nullptr;  // played after a play-once animation ends
    NztAnim* ownAnim = nullptr;     // owned and freed by the object
    int32_t speedWord = 0;
    int32_t frameCount = 0;
    int32_t boneCount = 0;
    int32_t currentFrame = 0;
    int32_t firstDueFrame = 0;
    std::vector<NztAnimLayer> layers;  // AnimLayerCount records for a boned mesh
    std::vector<uint8_t> boneMask;     // a byte per mesh bone
    int32_t meshWord = 0;
    float blendWords[2] = {0.0f, 0.0f};
    uint32_t packedWord = 0;
    float packedFloat = 0.0f;
    int32_t spellIndex = 0;
    SpellInstance* effectBlock = nullptr;
    float frameTime = 0.0f;  // fractional current frame
    int32_t previousFrame = -1;
    uint8_t frameUnchanged = 0;
    float swayStrength = 0.0f;  // wind sway of the posed vertices (scene objects); 0: none
    RemotePlayerRecord* networkRecord = nullptr;  // of a character driven over the network
    float timer = 0.0f;  // seconds while timerRunning is set, else held at 0
    uint32_t timerRunning = 0;
    float age = 0.0f;  // seconds since the object was made

private:
    // The animation steps shared by slots 11 and 12.
    int32_t StartAnim(NztAnim* anim, int32_t speed, NztAnim* returnTo, int32_t startFrame);
    void SetYawFromFloat(float yaw);
};

// A base object with world-space collision triangles and a grid over them (collision/collide.cpp).
class NztCollideObject : public NztBaseObject {
public:
    NztCollideObject() { kind = ObjectKindCollide; }
    ~NztCollideObject() override;

    // Takes the counts of the mesh's collision copy and sizes the arrays (the mesh is bound).
    void CopyCollision(NztMesh* source);
    // Clears the characters' contacts with the object, releases the base object and frees every
    // collision array and the grid.
    void ReleaseCollision();
    // Poses the collision copy, takes its box, rebuilds every triangle and the grid.
    void UpdateCollision();
    // Poses the collision copy and rebuilds every triangle; box and grid stay.
    void RefreshTriangles();
    void UpdateTriangle(uint32_t index);
    void BuildGrid();
    // Lays the grid's cells out over the current box, keeping their triangle lists.
    void PlaceGridCells();
    void FreeGrid();

    uint32_t collisionVertexCount = 0;
    int32_t collisionTriangleCount = 0;
    std::vector<Vec3> worldVertices;  // the posed collision vertices
    std::vector<CollisionTriangle> triangles;
    uint32_t hasCollision = 0;   // 0: every query ignores the object
    uint32_t inBox = 0;          // the last query's box pre-test against the object
    float collisionBox[6] = {};  // min x, y, z, max x, y, z of the posed collision vertices
    int32_t characterSlot = -1;  // the collision queries' index of the characters (collquery.cpp)
    uint32_t gridCellCount = 0;
    uint32_t cellsPerAxis[3] = {1, 1, 1};  // x, y (always 1), z
    std::vector<CollisionCell> gridCells;  // only the cells that hold triangles
    std::vector<uint32_t> gridEntries;     // the triangle lists of the cells, one after another
    // Where each cell of the full nx x nz layout went in gridCells (-1: dropped), with the layout's
    // corner and cell extents along x and z, so that a query finds its cell without a scan.
    std::vector<int32_t> gridLookup;
    Vec3 gridOrigin{0.0f, 0.0f, 0.0f};
    float gridStep[2] = {0.0f, 0.0f};
    // What the grid's triangle lists were made for (collide.cpp): while the mesh's shape and turn
    // stay, a move only carries the cells along.
    struct GridShape {
        bool valid = false;  // the grid stands for the current triangles
        bool rigid = false;  // placed by a turn and a position only
        const void* restVertices = nullptr;
        const void* triangleIndices = nullptr;
        size_t restCount = 0;
        size_t triangleCount = 0;
        float matrix[9] = {};
        float cellSize = 0.0f;
    } gridShape;
    // Ground-quad strength clamped to [0, 1]; a non-zero one gives the object its corner arrays.
    void SetGroundQuad(float factor);
};

// A static or key-animated mesh object of a scene (world/scnobject.cpp): collision kept in step
// with its motion, fading in near the camera and out at range, an optional ground shadow and wind
// sway. Free objects update in the first pass, objects hanging on a parent in the second.
class NztScnObject : public NztCollideObject {
public:
    NztScnObject();

    void Update() override;
    void LateUpdate() override;
    void RenderOpaque() override;
    void Render() override;
    void SyncModel() override;

    // With the rotation-dirty flag set: the rotation rebuilt from the packed yaw alone.
    void RefreshRotation();
    // Angles about x, y and z of the rotation, in angle units.
    float GetPitchFromMatrix() const;
    float GetYawFromMatrix() const;
    float GetRollFromMatrix() const;
    // Takes the rotation and stores its three angles, rounded, in the packed words.
    void CopyTransform(const float m[9]);

    int32_t scnWords[2] = {0, 0};  // kept for the scene files, not read here
    float depthBias = 0.0f;        // added to the sort depth and to every fade distance
    uint32_t rotationDirty = 0;
    uint32_t collisionDirty = 0;  // the collision volumes are rebuilt at the next update

private:
    // View depths, camera distance, level of detail and world box.
    void Place();
    // Shadow corners after a rebuild and the wind sway, for visible objects.
    void FinishPose(int32_t rebuilt);
    // The second pass, plain or faded by the opacity.
    void DrawSecondPass(bool faded);
};

// Every reference that other objects hold to old moves to new, or is cleared when new is null.
// Trails of old are destroyed either way; its particle effects are destroyed, or handed to new.
void ReplaceObjectReferences(NztBaseObject* old, NztBaseObject* replacement);

// View depth (both copies) along the render state's view direction and squared distance from
// the main camera's eye.
void MeasureFromCamera(NztBase3D* object);

// Level of detail for a size class s and a squared distance d: 5 beyond 250000 s, 4 beyond
// 160000 s, 3 beyond 90000 s, 2 beyond 40000 s, 1 beyond 10000 s, else 0.
int32_t ChooseLod(float sizeClass, float distanceSq);

// Rotation helpers (nine floats, three rows).
void MatrixFromEuler(float out[9], float a, float b, float c);  // radians
// out = A x B through a scratch matrix, so out may be A or B.
void MatrixMultiply3(const float a[9], float out[9], const float b[9]);
void MatrixRotationY(float out[9], int32_t yaw);
void QuatToMatrix(float out[9], const float q[4]);  // w, x, y, z
// Angle (angle units) factor of the way from current to target along the shorter arc; not wrapped.
float LerpAngle(float factor, float target, float current);
// low + RoundToInt((high - low) x the next random value).
int32_t RandomIntRange(int32_t low, int32_t high);
// The wind of the environment, which the sky sets each tick (effects/sky.h) and the sway of objects
// reads; (0, 0, 0) while the wobble is off.
extern float WobbleVector[3];
// The shared running index into RandomTable of the object code.
extern uint32_t ObjectRandomIndex;
float NextObjectRandom();

// Drawing caches over the render state: each sends GL calls only when the cached value differs.
void SetTextureCached(uint32_t texture);
void SetBlendMode(uint32_t mode);  // 1..9; other values do nothing
// Culling by the object's two-sided flag, then the object's buffers handed to its mesh.
void SetCullFaceCached(NztBaseObject* object);

// The services outside the world objects that release, the controller, the flat-colour slots and
// the attach points reach. They start as the engine's own, which world/objectlinks.cpp gives from the floors above;
// tests put fakes in their place and call ResetObjectHooks afterwards.
struct ObjectHooks {
    uint32_t (*sendEvent)(NztEventObject* object, uint32_t code, uint32_t a, uint32_t b, uint32_t c);
    void (*removeSfxAt)(uint32_t index);               // destroys effect index of the effect list
    void (*removeTrailAt)(uint32_t index);             // destroys trail index of the trail list
    void (*deleteLightAt)(uint32_t index);             // deletes light index of the light library
    void (*removeObjectLinks)(NztBaseObject* object);  // rope links and anchors on the object
    // ReplaceObjectReferences for an old object that is not null.
    void (*replaceReferences)(NztBaseObject* old, NztBaseObject* replacement);
    // NztBaseObject::RemoveAttachedEffects.
    void (*removeAttachedEffects)(NztBaseObject* object);
    // The lights that follow or aim at the object let go of it.
    void (*releaseLights)(NztBaseObject* object);
    // The effect on a cleared attach point no longer has an owner.
    void (*releaseAttachedEffect)(void* effect);
    // The posed mesh in one colour (DrawFlatColorAlpha).
    void (*drawMeshFlatColor)(NztMesh* mesh, float r, float g, float b, float a);
    // The particle effect on an attach point (kind 3) put at p; answers its rotation (nine floats).
    float* (*placeAttachedEffect)(void* effect, const Vec3& p);
    // A system of that effect kept below or above a height takes the surface the mesh stands in.
    void (*keepAttachedEffectAtSurface)(void* effect, float surfaceHeight);
    // NztBaseObject::SetupParts.
    void (*setupParts)(NztBaseObject* object);
};
extern ObjectHooks ObjectServices;
void ResetObjectHooks();
