// Particle definitions. A definition is one particle system read from "SFX/<name>.QVp": its
// texture, how many particles it owns, how often and how many are born, where and how fast they
// start, the forces on them, and how their size, colour and opacity change over a life. It also
// holds the live particles of that system. Every effect of one type shares one definition (the
// user count); the definition is freed with the last of them.
//
// This file also keeps the list of loaded definitions, the quad buffers every system draws from
// (one set for the whole program) and the particle code's two cursors into RandomTable.
//
// Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/nztfile.h"
#include "core/nztmath.h"

class BinReader;
class NztBaseObject;
class NztThunder;

inline constexpr uint32_t SfxDefVersion = 10000;
inline constexpr uint32_t SfxDefaultBlendMode = 2;
// Particles of one system at most. A file asking for more is refused and callers are clamped, so
// one definition never takes more than about 10 MB for its particles and quads.
inline constexpr int32_t MaxSfxParticles = 65536;

// Particle kinds: where the particles may be relative to the reference height.
enum : uint32_t {
    SfxParticlePlain = 0,
    SfxParticleBelowHeight = 1,  // killed when drawn above the reference height
    SfxParticleAboveHeight = 2,  // killed when drawn below it
};

struct SfxParticle {
    uint32_t state = 0;   // 0 dead, 1 alive
    Vec3 position = {};   // world point, or offset from the emitter when not world-space
    Vec3 velocity = {};   // units per 1/50-second step
    float mass = 0;
    float inverseMass = 0;  // 1 / mass, 1 when the mass is 0
    float lifetime = 0;     // seconds
    float halfLifetime = 0;
    float age = 0;          // seconds since birth
    float startHalfSize = 0;
    float middleHalfSize = 0;
    float halfSize = 0;     // current
    float endHalfSize = 0;
    // Changes per second in the first and the second half of the life.
    float sizeSlope1 = 0, sizeSlope2 = 0;
    float opacity = 0, opacitySlope1 = 0, opacitySlope2 = 0;
    float red = 0, redSlope1 = 0, redSlope2 = 0;
    float green = 0, greenSlope1 = 0, greenSlope2 = 0;
    float blue = 0, blueSlope1 = 0, blueSlope2 = 0;
    Vec3 force = {};        // acceleration from gravity, drag and the extra force
};

struct SfxDef {
    SfxDef() = default;
    // The pointers below may point into the record itself.
    SfxDef(const SfxDef&) = delete;
    SfxDef& operator=(const SfxDef&) = delete;

    uint32_t version = 0;  // as read
    float rotation[9] = {};
    // The own rotation until an effect points it at its own matrix.
    const float* rotationPtr = nullptr;
    // Of the effect that last drove the definition.
    float viewDepth = 0;
    float cameraDistanceSq = 0;
    // Always the size of particles.
    int32_t particleCount = 0;
    std::vector<SfxParticle> particles;
    int32_t userCount = 0;  // effects using the definition
    uint32_t visible = 0;
    uint32_t blendMode = SfxDefaultBlendMode;  // 1..9; 1 also scales the colour by the opacity
    Vec3 halfExtents = {};  // of the space the particles may fill around the emitter
    float bound = 0;        // the largest half-extent
    // Spawn sources pushed by the effect: an object whose posed vertices are spawn points, a bolt
    // whose points are.
    NztBaseObject* meshSource = nullptr;
    NztThunder* vertexSource = nullptr;
    uint32_t emitting = 0;
    Vec3 emitterHalfExtents = {};
    float emitterPosition[3] = {};
    // The own emitter position until an effect points it at its position.
    const float* emitterPositionPtr = nullptr;
    float emissionDuration = 0;  // seconds; <= 0 emits for ever
    float emissionTime = 0;      // seconds
    uint32_t worldSpace = 0;     // 1: particles in world coordinates, 0: relative to the emitter
    int32_t birthsBase = 0, birthsSpread = 0;  // per frame
    float drag = 0.1f;
    Vec3 gravity = {};
    Vec3 extraForce = {};
    float accelerationJitter = 0;
    Vec3 initialVelocity = {};
    float velocitySpread = 0;
    float lifetimeBase = 0, lifetimeSpread = 0;
    float massBase = 0, massSpread = 0;
    float startSize = 1, middleSize = 1, endSize = 1, sizeSpread = 0;
    float startOpacity = 1, middleOpacity = 1, endOpacity = 1;
    Vec3 startColour = {1, 1, 1}, middleColour = {1, 1, 1}, endColour = {1, 1, 1};  // red, green, blue
    uint32_t particleKind = SfxParticlePlain;
    float referenceHeight = 0;  // pushed by the effect
    uint32_t texture = 0;       // GL name, 0 none
    NztFile file;               // open only while reading
};

// What a definition file holds beside the fields kept in the record: the texture block and the
// particle count, which is applied through SetSfxParticleCount.
struct SfxDefFileData {
    char textureName[256] = {};
    uint32_t width = 0, height = 0;
    uint32_t mipmap = 0;
    std::vector<uint8_t> texels;  // width x height x 4 bytes, as stored
    int32_t particleCount = 0;
};

// The loaded definitions, owned by the list: capacity becomes count + 10 when it changes.
extern SfxDef** SfxDefList;
extern uint32_t SfxDefCount;
extern uint32_t SfxDefCapacity;

// A new definition with its defaults, appended to the list.
SfxDef* CreateSfxDef();
// Frees and deletes the definition at index (nothing for an index outside the list). With shrink,
// the list's capacity drops to count + 10 when it exceeds count + 20.
void DeleteSfxDefAt(uint32_t index, bool shrink);
// The definition's index in the list, -1 when absent.
int32_t IndexOfSfxDef(const SfxDef* def);
// Deletes every definition from the last to the first and frees the list and the quad buffers.
void FreeAllSfxDefs();

// Every field to its default; the rotation and emitter position pointers to the record's own.
// For a new record or one that FreeSfxDef emptied.
void InitSfxDef(SfxDef* def);
// "SFX/<name>.QVp" for an effect type name; false (one line on stderr) when the name is not a plain
// name or the path does not fit.
bool SfxDefFileName(char* out, size_t outBytes, const char* typeName);
// Reads a definition file (a relative data name such as "SFX/Fire.QVp", from the Sfx pack when it
// holds it) into a record fresh from InitSfxDef. 1 when read; 0 when the file is missing, of another
// version or malformed, the record then keeping its defaults and no particles.
int ReadSfxDef(SfxDef* def, const char* name);
// Reads the fields of a definition file from its version on: the parameters into def, the texture
// block and the particle count into data. False, with the fault, on another version or a malformed
// file; def's parameters may then be half written.
bool ParseSfxDef(SfxDef* def, BinReader& in, SfxDefFileData* data, std::string* fault);
// The set-up that follows a successful read: particle count, quad buffers, bounds, particles.
void PrepareSfxParticles(SfxDef* def, int32_t particleCount);
// Counts below 1 become 1, above MaxSfxParticles that maximum; a changed count resizes the particle
// array and initialises every particle again.
void SetSfxParticleCount(SfxDef* def, int32_t count);
// Grows the quad buffers to the particle count, then draws each particle's lifetime, mass and sizes
// and derives its slopes and force; every particle dead with age 0.
void InitSfxParticles(SfxDef* def);
// Emission time = emission duration (the definition starts idle); the half-extents are those of the
// emitter plus the largest particle size and its spread.
void ComputeSfxBounds(SfxDef* def);
// Emission time = emission duration, not emitting, every particle dead with age 0.
void ResetSfxParticles(SfxDef* def);
void CloseSfxDefFile(SfxDef* def);
// Releases the texture and the particles (the record itself stays); the quad buffers go too when no
// other definition is left in the list.
void FreeSfxDef(SfxDef* def);

// Quads of the particles, four corners per slot, for every slot up to the largest particle count
// of a definition. Texture coordinates and indices are fixed and written when the buffers grow.
struct SfxQuadBufferSet {
    uint32_t capacity = 0;          // particle slots
    std::vector<float> vertices;    // 4 x (x, y, z) per slot
    std::vector<float> colours;     // 4 x (red, green, blue, opacity) per slot
    std::vector<float> texCoords;   // (0,1), (1,1), (1,0), (0,0) per slot
    std::vector<uint32_t> indices;  // 4i, 4i+1, 4i+2, 4i+3 for slot i
};
extern SfxQuadBufferSet SfxQuadBuffers;
void GrowSfxQuadBuffers(int32_t count);
void FreeSfxQuadBuffers();

// Cursors into RandomTable: the first for particle set-up, spawn points, velocities and jitter,
// the second for the births per frame. They run on across loads (masked when read).
extern uint32_t SfxRandomIndex;
extern uint32_t SfxBirthRandomIndex;
float NextSfxRandom();
float NextSfxBirthRandom();
// base +- spread: base + (2 x spread x r - spread), r the next value of the first cursor.
float SfxRandomSpread(float base, float spread);
