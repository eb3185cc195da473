// Character records followed by wheel records over arbitrary bytes, as a scene file hands them to
// a character: every record read is applied within its clamps, filled back and written to the
// same 160 bytes' layout; every wheel record taken names a bone the mesh has.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "character/entity.h"
#include "character/record.h"
#include "core/binio.h"
#include "model/mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BinReader r(data, size);
    NztMesh mesh;
    mesh.MaxBoneCount = mesh.LargestBoneCount = size > 0 ? data[0] % 20 : 0;
    NztEntity e;
    e.mesh = &mesh;
    CharacterRecord record;
    while (ReadCharacterRecord(r, &record)) {
        e.ApplyCharacterRecord(record);
        if (!(e.size >= 0.1f) || !(e.weight >= 0.0001f) || !(e.maxLife >= 0.0f)) __builtin_trap();
        if (!(e.turnSmoothing >= 0.0f && e.turnSmoothing <= 1.0f)) __builtin_trap();
        if (!(e.carrierSpeedSmoothing >= 0.0f && e.carrierSpeedSmoothing <= 2.0f)) __builtin_trap();
        if (mesh.MaxBoneCount < 2 && (e.canFly | e.canSwim | e.groundTilt) != 0) __builtin_trap();
        CharacterRecord filled;
        e.FillCharacterRecord(filled);
        std::vector<uint8_t> out;
        BinWriter w(out);
        WriteCharacterRecord(w, filled);
        if (out.size() != CharacterRecordSize || out[31] != 0) __builtin_trap();
        EntityBoneRecord wheel;
        if (!ReadBoneRecord(r, &wheel)) break;
        e.AddBoneRecord(wheel);
    }
    for (const EntityBoneRecord& b : e.boneRecords)
        if (b.bone < 0 || static_cast<uint32_t>(b.bone) >= mesh.MaxBoneCount || b.offset != 0.0f) __builtin_trap();
    if (!(e.travelCap <= EntityBoneWeightCap) || e.travelCap < 0.0f) __builtin_trap();
    e.mesh = nullptr;
    return 0;
}
