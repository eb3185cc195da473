// Received multiplayer packets from untrusted bytes. The input is a run of packets, each
// [u8 participant id][u16 length][length bytes]; the remote states are applied after them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "character/entity.h"
#include "model/mesh.h"
#include "net/netclient.h"
#include "objects/objtype.h"
#include "objects/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A character remote players may hang on.
    NztEntity* carrier = CreateEntity(nullptr);
    carrier->id = 1;
    carrier->attachPoints.resize(2);
    size_t at = 0;
    while (at + 3 <= size) {
        const uint32_t about = data[at];
        const size_t length = data[at + 1] | size_t{data[at + 2]} << 8;
        at += 3;
        if (length > size - at) break;
        std::vector<uint8_t> bytes(data + at, data + at + length);
        at += length;
        NetPacket packet;
        packet.playerId.binaryAddress = about;
        packet.length = static_cast<uint32_t>(length);
        packet.data = bytes.empty() ? nullptr : bytes.data();
        HandleNetworkPacket(packet);
        ApplyRemoteStates();
    }
    // Every character of the table points back at its own record.
    for (uint32_t i = 0; i < RemotePlayerCount; ++i) {
        const RemotePlayerRecord* record = RemotePlayers[i];
        if (record == nullptr) std::abort();
        if (record->object != nullptr && record->object->networkRecord != record) std::abort();
    }
    FreeRemotePlayers();
    PlayerEntity = nullptr;
    RemoveAllEntities();
    DeleteAllMeshData();
    DeleteAllAnims();
    FreeTypeTables();
    FreeObjectLists();
    ClearObjectLists();
    return 0;
}
