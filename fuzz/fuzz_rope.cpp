// The scene file's rope chunk over arbitrary bytes, against a few scene objects and characters:
// every link made must be whole (its constraint in use over its anchors' live particles), the
// links must survive simulation steps and be written back record for record, and freeing them
// must give every pool entry back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "character/entity.h"
#include "core/nztfile.h"
#include "effects/rope.h"
#include "game/frame.h"
#include "objects/base3d.h"
#include "objects/objtype.h"

namespace {

void CheckLinks() {
    if (RopeLinkCount > static_cast<uint32_t>(RopePoolSize)) __builtin_trap();
    for (uint32_t i = 0; i < RopeLinkCount; ++i) {
        const RopeLink* l = RopeLinkList[i];
        if (l->constraint < 0 || l->constraint >= RopePoolSize) __builtin_trap();
        const RopeConstraint& c = RopeConstraints[l->constraint];
        if (c.inUse != 1 || l->anchorA == l->anchorB) __builtin_trap();
        if (c.particleA != l->anchorA->particle || c.particleB != l->anchorB->particle) __builtin_trap();
        if (RopeParticles[c.particleA].state != 1 || RopeParticles[c.particleB].state != 1) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    static bool started = false;
    if (!started) {
        InitRopePools();
        started = true;
    }
    RopeSettings.gravity[1] = -80.0f;
    // Two relaxation passes cover the first and the last pass; more only repeat them, and every
    // pass costs two collision queries per particle, which made large inputs crawl.
    RopeSettings.iterationCount = 2;
    FrameTiming.frameTime = 0.02f;

    // Ids 0 to 2 of each kind, one of them twice, so that look-ups have something to find.
    std::vector<NztScnObject*> scn;
    std::vector<NztEntity*> entities;
    for (int32_t i = 0; i < 4; ++i) {
        scn.push_back(new NztScnObject);
        scn.back()->id = i % 3;
        scn.back()->Position[0] = static_cast<float>(i);
        entities.push_back(new NztEntity);
        entities.back()->id = i % 3;
        entities.back()->Position[1] = static_cast<float>(i);
    }
    ScnObjectList = scn.data();
    ScnObjectCount = static_cast<uint32_t>(scn.size());
    EntityList = entities.data();
    EntityCount = static_cast<uint32_t>(entities.size());

    NztFile stream;
    stream.OpenMemory(data, static_cast<uint32_t>(size));
    LoadRopeLinks(stream);
    stream.Close();
    CheckLinks();
    for (int step = 0; step < 2; ++step) UpdateRopes();
    CheckLinks();

    // Written to a C stream in memory that grows with what is written: a growing block reserves a
    // megabyte per input, which cost more than everything else here together.
    char* written = nullptr;
    size_t writtenBytes = 0;
    {
        NztFile out;
        out.file = open_memstream(&written, &writtenBytes);
        if (!out.file) __builtin_trap();
        out.mode = NztFileWrite;
        if (WriteRopeLinks(out) != 1) __builtin_trap();
    }  // closing the stream settles the buffer and its length
    std::free(written);
    if (writtenBytes != 4 + uint64_t{RopeLinkRecordBytes} * RopeLinkCount) __builtin_trap();

    RemoveObjectLinks(scn[0]);
    RemoveObjectLinks(entities[3]);
    CheckLinks();
    FreeRopeLinks();
    FreeRopeAnchors();
    for (const RopeParticle& p : RopeParticles)
        if (p.state != 0) __builtin_trap();
    for (const RopeConstraint& c : RopeConstraints)
        if (c.inUse != 0) __builtin_trap();
    ResetRopePools();

    ScnObjectList = nullptr;
    ScnObjectCount = 0;
    EntityList = nullptr;
    EntityCount = 0;
    for (auto* o : scn) delete o;
    for (auto* e : entities) delete e;
    return 0;
}
