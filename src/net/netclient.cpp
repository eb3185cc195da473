#include "net/netclient.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "camera/camera.h"
#include "character/entity.h"
#include "core/frameclock.h"
#include "model/anim.h"
#include "model/mesh.h"
#include "objects/objtype.h"
#include "ui/console.h"

NetworkState Network;
NetClientInterface* NetClient = nullptr;
uint16_t NetServerPort = 60000;
RemotePlayerRecord** RemotePlayers = nullptr;
uint32_t RemotePlayerCount = 0;
uint32_t RemotePlayerCapacity = 0;

namespace {

// Layer 3 carries the animation sent alongside the main one.
constexpr size_t NetAnimLayer = 3;
// Beyond this squared distance a remote character jumps to its received position.
constexpr float NetJumpDistanceSq = 1000000.0f;

void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutI32(uint8_t* p, int32_t v) { PutU32(p, static_cast<uint32_t>(v)); }
void PutF32(uint8_t* p, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    PutU32(p, bits);
}
uint32_t GetU32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
int32_t GetI32(const uint8_t* p) { return static_cast<int32_t>(GetU32(p)); }
float GetF32(const uint8_t* p) {
    const uint32_t bits = GetU32(p);
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

// Position of anim in the object's slot array, from the last slot down; 0 when absent.
int32_t AnimSlotIndex(const NztBaseObject* object, const NztAnim* anim) {
    if (anim == nullptr || object->animSlots == nullptr || object->mesh == nullptr) return 0;
    for (uint32_t i = object->mesh->AnimSlotCount; i-- > 0;)
        if (object->animSlots[i] == anim) return static_cast<int32_t>(i);
    return 0;
}

struct AnimIndexes {
    int32_t anim = -1;
    int32_t layerAnim = -1;
    int32_t layerBoneGroup = -1;
};

AnimIndexes AnimIndexesOf(const NztBaseObject* object) {
    AnimIndexes out;
    if (object->layers.size() <= NetAnimLayer) return out;
    const NztAnimLayer& layer = object->layers[NetAnimLayer];
    out.anim = AnimSlotIndex(object, object->currentAnim);
    out.layerAnim = AnimSlotIndex(object, layer.Anim);
    out.layerBoneGroup = layer.BoneIndex;
    return out;
}

void SetLayer3(NztBaseObject* object, NztAnim* anim, int32_t boneGroup) {
    if (object->layers.size() <= NetAnimLayer) return;
    NztAnimLayer& layer = object->layers[NetAnimLayer];
    if (anim != nullptr) {
        object->SetLayerBoneMask(boneGroup, 1);
        layer.BoneIndex = boneGroup;
        layer.FrameCount = static_cast<int32_t>(anim->FrameCount);
        layer.Running = 1;
        layer.BlendMode = 4;
        layer.Weight = 1.0f;
        layer.StartWeight = 1.0f;
        layer.SecondFloat = 1.0f;
    }
    if (anim == nullptr || anim != layer.Anim) {
        layer.Frame = 0;
        layer.NextFrame = 0;
        layer.Time = 0.0f;
    }
    layer.Anim = anim;
}

// Slot indexes from the wire reach GetAnim, which answers null outside the mesh's slots.
uint32_t SlotFromWire(int32_t index) { return static_cast<uint32_t>(index); }

void StartAnimFromState(NztBaseObject* object, int32_t anim, int32_t layerAnim, int32_t boneGroup) {
    object->SetAnimIndex(SlotFromWire(anim), 0, 0xFFFFFFFFu, 0);
    if (layerAnim != 0) SetLayer3(object, object->GetAnim(SlotFromWire(layerAnim)), boneGroup);
}

void MoveTowards(NztBaseObject* object, const RemotePlayerRecord* record) {
    float d[3];
    float distSq = 0.0f;
    for (int i = 0; i < 3; ++i) {
        d[i] = record->position[i] - object->Position[i];
        distSq += d[i] * d[i];
    }
    float p[3];
    if (distSq < NetJumpDistanceSq) {
        // 20 % of the gap per frame at 50 frames per second.
        const float t = std::min(1.0f, FrameTiming.frameTime * 50.0f * 0.2f);
        for (int i = 0; i < 3; ++i) p[i] = object->Position[i] + d[i] * t;
    } else {
        std::copy(record->position, record->position + 3, p);
    }
    object->SetPosition(p);
    object->QuaternionToMatrix(record->orientation);
}

bool SameState(const float pos[3], const float quat[4], int32_t anim, int32_t layerAnim) {
    return pos[0] == Network.lastPosition[0] && pos[1] == Network.lastPosition[1] &&
           pos[2] == Network.lastPosition[2] && quat[0] == Network.lastQuat[0] && quat[1] == Network.lastQuat[1] &&
           quat[2] == Network.lastQuat[2] && quat[3] == Network.lastQuat[3] && anim == Network.lastAnim &&
           layerAnim == Network.lastLayerAnim;
}

void Remember(const float pos[3], const float quat[4], int32_t anim, int32_t layerAnim) {
    std::copy(pos, pos + 3, Network.lastPosition);
    std::copy(quat, quat + 4, Network.lastQuat);
    Network.lastAnim = anim;
    Network.lastLayerAnim = layerAnim;
}

// With QUORVANE_TRACE_NETWORK set, what the client logs to the console (connection lines and
// chat) goes to stderr too, each line after "net: ", and so does each character made for a
// participant.
bool TraceNetwork() {
    static const bool on = std::getenv("QUORVANE_TRACE_NETWORK") != nullptr;
    return on;
}

void Log(const char* text) {
    if (ConsoleWnd != nullptr) ConsolePrint(text);
    if (TraceNetwork()) std::fprintf(stderr, "net: %s\n", text);
}

void LogPacket(const char* format, const NetPacket& packet, const char* reason = "") {
    char line[1024];
    const int n = std::snprintf(line, sizeof line, format, packet.playerId.ToString(true).c_str(), int{packet.playerIndex});
    if (n > 0 && static_cast<size_t>(n) < sizeof line) std::snprintf(line + n, sizeof line - n, "%s", reason);
    Log(line);
}

// The end of the line that reports a host's refusal, by the reason byte it sent.
const char* RefusalText(uint8_t reason) {
    switch (reason) {
    case NetRefusalSessionFull: return " - the session is full";
    case NetRefusalAddressFull: return " - too many players from this address";
    case NetRefusalJoiningTooFast: return " - joining too fast, try again in a second";
    default: return "";
    }
}

void OnParticipantArrived(const NetPacket& packet) {
    AddRemotePlayer(packet.playerId.binaryAddress);
    SendNetObjMesh();
    if (NetClient != nullptr) SendPlayerState(1);
}

}  // namespace

NetworkState::NetworkState()
    : textMessage{}, meshMessage{}, stateMessage{}, fullStateMessage{}, ownId(0), ownIndex(0),
      lastPosition{0.0f, 0.0f, 0.0f}, lastQuat{0.0f, 0.0f, 0.0f, 0.0f}, lastAnim(-1), lastLayerAnim(0),
      lastParentAnim(-1), lastParentLayerAnim(-1) {
    textMessage[0] = NetMsgText;
    meshMessage[0] = ID_LGNET_NETOBJ_MESH;
    stateMessage[0] = NetMsgState;
    fullStateMessage[0] = NetMsgFullState;
}

void DetachNetworkRecord(RemotePlayerRecord* record) {
    record->detached = 1;
    record->object = nullptr;
}

void InitNetworkGlobals() {
    if (NetClient != nullptr) DestroyNetClientInterface(NetClient);
    FreeRemotePlayers();
    Network = NetworkState();
}

bool StartNetworkSession(const char* host) {
    // A new session replaces the current one rather than leaving its connection open.
    if (NetClient != nullptr) {
        NetClient->Disconnect(0, 0);
        DestroyNetClientInterface(NetClient);
    }
    auto* client = new NetClientInterface;
    NetClient = client;
    if (!client->Connect(host, NetServerPort, 0, 0, 100)) {
        client->Disconnect(0, 0);
        DestroyNetClientInterface(client);
        return false;
    }
    return true;
}

void DestroyNetClientInterface(NetClientInterface* client) {
    if (client == nullptr) return;
    if (client == NetClient) {
        NetClient = nullptr;
        FreeRemotePlayers();
        Network.ownId = 0;
        Network.ownIndex = 0;
    }
    delete client;
}

// ---------------------------------------------------------------------------------------------
// Sending

void SendNetworkText(const char* text) {
    if (NetClient == nullptr || text == nullptr) return;
    uint8_t* m = Network.textMessage;
    PutU32(m + 4, Network.ownId);
    std::memset(m + 8, 0, NetTextLength);
    // Longer text is cut so that the field keeps its terminator.
    std::memcpy(m + 8, text, std::min<size_t>(std::strlen(text), NetTextLength - 1));
    NetClient->Send(m, NetTextMessageSize);
}

void SendNetObjMesh() {
    if (NetClient == nullptr || PlayerEntity == nullptr || PlayerEntity->mesh == nullptr) return;
    uint8_t* m = Network.meshMessage;
    PutU32(m + 4, Network.ownId);
    std::memset(m + 8, 0, NetModelNameLength);
    const NztMesh* mesh = PlayerEntity->mesh;
    std::memcpy(m + 8, mesh->Name, strnlen(mesh->Name, NetModelNameLength - 1));
    PutU32(m + 40, mesh->Number);
    NetClient->Send(m, NetMeshMessageSize);
}

void SendPlayerState(uint32_t forced) {
    if (NetClient == nullptr || PlayerEntity == nullptr) return;
    if (PlayerEntity->parent != nullptr) {
        SendObjectStatesFull(forced);
    } else {
        SendObjectStates(forced);
    }
}

void SendObjectStates(uint32_t forced) {
    if (NetClient == nullptr || PlayerEntity == nullptr) return;
    const NztEntity* player = PlayerEntity;
    float quat[4];
    MatrixToQuat(player->rotation, quat);
    const AnimIndexes idx = AnimIndexesOf(player);
    // The bone group alone does not make a new state.
    if (forced == 0 && SameState(player->Position, quat, idx.anim, idx.layerAnim)) return;
    uint8_t* m = Network.stateMessage;
    PutU32(m + 4, Network.ownId);
    PutI32(m + 8, idx.anim);
    PutI32(m + 12, idx.layerAnim);
    PutI32(m + 16, idx.layerBoneGroup);
    for (int i = 0; i < 3; ++i) PutF32(m + 20 + 4 * i, player->Position[i]);
    for (int i = 0; i < 4; ++i) PutF32(m + 32 + 4 * i, quat[i]);
    NetClient->Send(m, NetStateMessageSize);
    Remember(player->Position, quat, idx.anim, idx.layerAnim);
}

void SendObjectStatesFull(uint32_t forced) {
    if (NetClient == nullptr || PlayerEntity == nullptr) return;
    const NztEntity* player = PlayerEntity;
    const NztBaseObject* parent = player->parent;
    if (parent == nullptr) return;
    float quat[4];
    MatrixToQuat(parent->rotation, quat);
    const AnimIndexes idx = AnimIndexesOf(player);
    const AnimIndexes pidx = AnimIndexesOf(parent);
    if (forced == 0 && SameState(parent->Position, quat, idx.anim, idx.layerAnim) &&
        pidx.anim == Network.lastParentAnim && pidx.layerAnim == Network.lastParentLayerAnim)
        return;
    uint8_t* m = Network.fullStateMessage;
    PutU32(m + 4, Network.ownId);
    PutI32(m + 8, idx.anim);
    PutI32(m + 12, idx.layerAnim);
    PutI32(m + 16, idx.layerBoneGroup);
    PutI32(m + 20, parent->id);
    PutI32(m + 24, pidx.anim);
    PutI32(m + 28, pidx.layerAnim);
    PutI32(m + 32, pidx.layerBoneGroup);
    PutI32(m + 36, player->parentPoint);
    for (int i = 0; i < 3; ++i) PutF32(m + 40 + 4 * i, parent->Position[i]);
    for (int i = 0; i < 4; ++i) PutF32(m + 52 + 4 * i, quat[i]);
    NetClient->Send(m, NetFullStateMessageSize);
    Remember(parent->Position, quat, idx.anim, idx.layerAnim);
    Network.lastParentAnim = pidx.anim;
    Network.lastParentLayerAnim = pidx.layerAnim;
}

// ---------------------------------------------------------------------------------------------
// Receiving

void HandleNetworkPacket(const NetPacket& packet) {
    if (packet.data == nullptr || packet.length == 0) return;
    const uint8_t* d = packet.data;
    const uint32_t n = packet.length;
    switch (d[0]) {
    case NetIdConnectionAccepted:
        LogPacket("ID_CONNECTION_REQUEST_ACCEPTED: Server:%s / Index: %d", packet);
        if (NetClient != nullptr) {
            Network.ownId = NetClient->GetPlayerID().binaryAddress;
            Network.ownIndex = NetClient->GetPlayerIndex();
        }
        SendPlayerState(1);
        break;
    case NetIdConnectionFailed:
        // A host that refuses says why; the reason ends the same line.
        LogPacket("ID_CONNECTION_ATTEMPT_FAILED: Server:%s / Index: %d", packet, n >= 2 ? RefusalText(d[1]) : "");
        break;
    case NetIdNewIncomingConnection:
        LogPacket("ID_NEW_INCOMING_CONNECTION: PlayerID:%s / Index: %d", packet);
        OnParticipantArrived(packet);
        break;
    case NetIdDisconnection:
        LogPacket("ID_DISCONNECTION_NOTIFICATION: PlayerID:%s / Index: %d leave the server", packet);
        RemoveRemotePlayer(packet.playerId.binaryAddress);
        break;
    case NetIdConnectionLost:
    case NetIdModifiedPacket:
        LogPacket("ID_CONNECTION_LOST: PlayerID:%s / Index: %d leave the server", packet);
        RemoveRemotePlayer(packet.playerId.binaryAddress);
        break;
    case NetIdStaticData:
        LogPacket("ID_RECEIVED_STATIC_DATA: PlayerID: %s / Index: %d", packet);
        break;
    case NetIdRemoteNewConnection:
        LogPacket("ID_REMOTE_NEW_INCOMING_CONNECTION: PlayerID:%s / Index: %d", packet);
        OnParticipantArrived(packet);
        break;
    case NetIdRemoteExistingConnection:
        LogPacket("ID_REMOTE_EXISTING_CONNECTION: PlayerID:%s / Index: %d", packet);
        OnParticipantArrived(packet);
        break;
    case NetMsgText: {
        if (n <= 8) break;
        // The text ends at its terminator, the field's end or the packet's end, whichever is first.
        char text[NetTextLength];
        const size_t length = strnlen(reinterpret_cast<const char*>(d + 8), std::min<size_t>(n - 8, NetTextLength - 1));
        std::memcpy(text, d + 8, length);
        text[length] = '\0';
        Log(text);
        break;
    }
    case ID_LGNET_NETOBJ_MESH:
        if (n < NetMeshMessageSize) break;
        {
            char line[1024];
            std::snprintf(line, sizeof line, "ID_LGNET_NETOBJ_MESH: PlayerID:%s / Index: %d, NumSet: %d",
                          packet.playerId.ToString(true).c_str(), int{packet.playerIndex}, GetI32(d + 40));
            Log(line);
        }
        ApplyNetObjMesh(d, n, GetU32(d + 4));
        break;
    case NetMsgState:
        if (n >= 8) ApplyNetObjState(d, n, GetU32(d + 4));
        break;
    case NetMsgFullState:
        if (n >= 8) ApplyNetObjFullState(d, n, GetU32(d + 4));
        break;
    default: {
        char line[1024];
        std::snprintf(line, sizeof line, "Message From Server : %d", int{d[0]});
        Log(line);
        break;
    }
    }
}

void ProcessNetworkPackets() {
    if (NetClient == nullptr) return;
    while (NetPacket* packet = NetClient->Receive()) {
        HandleNetworkPacket(*packet);
        // A handler may not end the session, but the interface is re-read to be safe.
        if (NetClient == nullptr) {
            delete[] packet->data;
            delete packet;
            return;
        }
        NetClient->DeallocatePacket(packet);
    }
    ApplyRemoteStates();
}

// ---------------------------------------------------------------------------------------------
// Participant table

void GrowRemotePlayers() {
    const uint32_t capacity = RemotePlayerCapacity + 10;
    auto** grown = new RemotePlayerRecord*[capacity]();
    if (RemotePlayers != nullptr) std::copy(RemotePlayers, RemotePlayers + RemotePlayerCount, grown);
    delete[] RemotePlayers;
    RemotePlayers = grown;
    RemotePlayerCapacity = capacity;
}

RemotePlayerRecord* AddRemotePlayer(uint32_t id) {
    if (RemotePlayerCount >= RemotePlayerCapacity) GrowRemotePlayers();
    auto* record = new RemotePlayerRecord;
    record->id = id;
    RemotePlayers[RemotePlayerCount++] = record;
    return record;
}

RemotePlayerRecord* FindRemotePlayer(uint32_t id) {
    for (uint32_t i = RemotePlayerCount; i-- > 0;)
        if (RemotePlayers[i] != nullptr && RemotePlayers[i]->id == id) return RemotePlayers[i];
    return nullptr;
}

void RemoveRemotePlayerAt(uint32_t index) {
    if (index >= RemotePlayerCount) return;
    RemotePlayerRecord* record = RemotePlayers[index];
    // The character must not keep pointing at the freed record.
    if (record != nullptr && record->object != nullptr) record->object->networkRecord = nullptr;
    delete record;
    std::copy(RemotePlayers + index + 1, RemotePlayers + RemotePlayerCount, RemotePlayers + index);
    RemotePlayers[--RemotePlayerCount] = nullptr;
}

void RemoveRemotePlayer(uint32_t id) {
    for (uint32_t i = RemotePlayerCount; i-- > 0;) {
        RemotePlayerRecord* record = RemotePlayers[i];
        if (record == nullptr || record->id != id) continue;
        if (record->object != nullptr && record->object->kind == ObjectKindEntity) {
            // Releasing the character clears record->object through its back link.
            RemoveEntity(static_cast<NztEntity*>(record->object));
            record->object = nullptr;
        }
        RemoveRemotePlayerAt(i);
        return;
    }
}

void FreeRemotePlayers() {
    while (RemotePlayerCount > 0) RemoveRemotePlayer(RemotePlayers[RemotePlayerCount - 1]->id);
    delete[] RemotePlayers;
    RemotePlayers = nullptr;
    RemotePlayerCapacity = 0;
}

// ---------------------------------------------------------------------------------------------
// Appliers

void ApplyNetObjMesh(const uint8_t* data, uint32_t length, uint32_t senderId) {
    if (data == nullptr || length < NetMeshMessageSize) return;
    RemotePlayerRecord* record = FindRemotePlayer(senderId);
    if (record == nullptr) return;
    char name[NetModelNameLength];
    std::memcpy(name, data + 8, NetModelNameLength);
    name[NetModelNameLength - 1] = '\0';
    const uint32_t numSet = GetU32(data + 40);
    NztBaseObject* old = record->object;
    if (old != nullptr && old->mesh != nullptr && strcasecmp(old->mesh->Name, name) == 0 &&
        old->mesh->Number == numSet)
        return;
    if (old != nullptr && old->kind == ObjectKindEntity) {
        const int32_t index = IndexOfEntity(static_cast<NztEntity*>(old));
        if (index >= 0) RemoveEntityAt(static_cast<uint32_t>(index), true);
        record->object = nullptr;
    }
    if (name[0] == '\0') return;
    const NztEntity* loaded = FindEntityType(name, numSet);
    const uint32_t typeIndex =
        loaded != nullptr && loaded->mesh != nullptr ? loaded->mesh->TypeIndex : GetObjectTypeIndex(name, numSet);
    NztEntity* entity = LoadEntityType(typeIndex, name, numSet);
    if (entity == nullptr) return;
    record->object = entity;
    // Linked at once, so that a release before the next frame clears the record.
    ReleaseNetworkRecord = DetachNetworkRecord;
    entity->networkRecord = record;
    record->objectChanged = 1;
    if (TraceNetwork()) std::fprintf(stderr, "net: participant %u shows as %s %u\n", senderId, name, numSet);
}

namespace {

// The fields both state messages share: the character's animation at offset 8 and the placement
// at placementAt. Null when the sender is not in the table.
RemotePlayerRecord* ReadStateCommon(const uint8_t* data, uint32_t senderId, uint32_t placementAt) {
    RemotePlayerRecord* record = FindRemotePlayer(senderId);
    if (record == nullptr) return nullptr;
    record->animation = GetI32(data + 8);
    record->layerAnimation = GetI32(data + 12);
    record->layerBoneGroup = GetI32(data + 16);
    for (uint32_t i = 0; i < 3; ++i) record->position[i] = GetF32(data + placementAt + 4 * i);
    for (uint32_t i = 0; i < 4; ++i) record->orientation[i] = GetF32(data + placementAt + 12 + 4 * i);
    record->animationChanged = 1;
    record->stateChanged = 1;
    return record;
}

void StoreParentId(RemotePlayerRecord* record, int32_t parentId) {
    if (parentId == record->parentId) return;
    record->parentId = parentId;
    record->parentChanged = 1;
}

}  // namespace

void ApplyNetObjState(const uint8_t* data, uint32_t length, uint32_t senderId) {
    if (data == nullptr || length < NetStateMessageSize) return;
    RemotePlayerRecord* record = ReadStateCommon(data, senderId, 20);
    if (record == nullptr) return;
    StoreParentId(record, -1);
    record->parentAnimation = 0;
    record->parentLayerAnimation = 0;
    record->parentLayerBoneGroup = 0;
    record->attachPoint = 0;
}

void ApplyNetObjFullState(const uint8_t* data, uint32_t length, uint32_t senderId) {
    if (data == nullptr || length < NetFullStateMessageSize) return;
    RemotePlayerRecord* record = ReadStateCommon(data, senderId, 40);
    if (record == nullptr) return;
    StoreParentId(record, GetI32(data + 20));
    record->parentAnimation = GetI32(data + 24);
    record->parentLayerAnimation = GetI32(data + 28);
    record->parentLayerBoneGroup = GetI32(data + 32);
    record->attachPoint = GetI32(data + 36);
}

namespace {

// What a new character and a new state mean for the character itself.
void ApplyCharacterState(RemotePlayerRecord* record) {
    NztBaseObject* character = record->object;
    if (record->objectChanged != 0) {
        record->objectChanged = 0;
        ReleaseNetworkRecord = DetachNetworkRecord;
        character->networkRecord = record;
    }
    if (record->animationChanged != 0) {
        record->animationChanged = 0;
        StartAnimFromState(character, record->animation, record->layerAnimation, record->layerBoneGroup);
    }
}

}  // namespace

void ApplyRemoteState(RemotePlayerRecord* record) {
    ApplyCharacterState(record);
    MoveTowards(record->object, record);
}

// The parent carries the character: it takes the placement and its own animation.
void ApplyRemoteAttachedState(RemotePlayerRecord* record) {
    ApplyCharacterState(record);
    NztBaseObject* parent = record->parent;
    if (record->stateChanged != 0) {
        record->stateChanged = 0;
        StartAnimFromState(parent, record->parentAnimation, record->parentLayerAnimation,
                           record->parentLayerBoneGroup);
    }
    MoveTowards(parent, record);
}

void ApplyRemoteStates() {
    for (uint32_t i = RemotePlayerCount; i-- > 0;) {
        RemotePlayerRecord* record = RemotePlayers[i];
        if (record == nullptr || record->object == nullptr) continue;
        NztBaseObject* character = record->object;
        if (record->parentChanged != 0) {
            record->parentChanged = 0;
            if (record->parentId == -1) {
                character->Detach();
            } else if (NztEntity* parent = FindEntityById(record->parentId)) {
                character->AttachTo(parent, record->attachPoint, ObjectKindEntity);
            }
        }
        record->parent = character->parent;
        if (record->parent != nullptr) {
            ApplyRemoteAttachedState(record);
        } else {
            ApplyRemoteState(record);
        }
    }
}
