// The multiplayer client: sends the player character's state, keeps a table of the other
// participants and drives a character for each of them from the states they send.
#pragma once

#include <cstdint>

#include "platform/enetclient.h"

class NztBaseObject;
class NztEntity;

// Outgoing and incoming message ids and sizes. Bytes 1 to 3 of every message are 0; the sender id
// sits at offset 4.
inline constexpr uint8_t NetMsgText = 81;
inline constexpr uint8_t ID_LGNET_NETOBJ_MESH = 82;
inline constexpr uint8_t NetMsgState = 83;
inline constexpr uint8_t NetMsgFullState = 84;
inline constexpr uint32_t NetTextMessageSize = 1032;
inline constexpr uint32_t NetMeshMessageSize = 44;
inline constexpr uint32_t NetStateMessageSize = 48;
inline constexpr uint32_t NetFullStateMessageSize = 68;
inline constexpr uint32_t NetTextLength = 1024;
inline constexpr uint32_t NetModelNameLength = 32;

struct NetworkState {
    NetworkState();

    uint8_t textMessage[NetTextMessageSize];
    uint8_t meshMessage[NetMeshMessageSize];
    uint8_t stateMessage[NetStateMessageSize];
    uint8_t fullStateMessage[NetFullStateMessageSize];
    uint32_t ownId;
    uint32_t ownIndex;
    // What was sent last; an unforced send that matches it is skipped.
    float lastPosition[3];
    float lastQuat[4];
    int32_t lastAnim;
    int32_t lastLayerAnim;
    int32_t lastParentAnim;
    int32_t lastParentLayerAnim;
};
extern NetworkState Network;

// Null while not connected.
extern NetClientInterface* NetClient;
// The host's port, 60000, unless the address given to StartNetworkSession names its own
// ("192.168.0.2:61000").
extern uint16_t NetServerPort;

// One other participant.
struct RemotePlayerRecord {
    uint32_t id = 0;
    NztBaseObject* object = nullptr;  // the character that shows the participant
    uint8_t detached = 0;  // 1 once the character let go of the record
    NztBaseObject* parent = nullptr;
    int32_t animation = 0;
    int32_t layerAnimation = 0;  // 0: leave layer 3 alone
    int32_t layerBoneGroup = 0;
    float position[3] = {0.0f, 0.0f, 0.0f};
    float orientation[4] = {1.0f, 0.0f, 0.0f, 0.0f};  // w, x, y, z
    int32_t parentId = -1;  // -1: not attached
    int32_t parentAnimation = -1;
    int32_t parentLayerAnimation = -1;
    int32_t parentLayerBoneGroup = 0;
    int32_t attachPoint = -1;
    uint8_t objectChanged = 0;
    uint8_t animationChanged = 0;
    uint8_t stateChanged = 0;
    uint8_t parentChanged = 0;
};
// Lookups by id run from the end: the latest announcement of an id wins.
extern RemotePlayerRecord** RemotePlayers;
extern uint32_t RemotePlayerCount;
extern uint32_t RemotePlayerCapacity;

// Lets go of a record whose character is released: detached, and pointing at no object. Installed as
// the world's ReleaseNetworkRecord when a record is bound to a character.
void DetachNetworkRecord(RemotePlayerRecord* record);
void InitNetworkGlobals();
// True when the connection attempt started.
bool StartNetworkSession(const char* host);
// Destroys the interface; for the current one, also the participant table and own id.
void DestroyNetClientInterface(NetClientInterface* client);

void SendNetworkText(const char* text);
void SendPlayerState(uint32_t forced);
void SendObjectStates(uint32_t forced);
void SendObjectStatesFull(uint32_t forced);
void SendNetObjMesh();

void ProcessNetworkPackets();
// One received packet; its bytes are untrusted.
void HandleNetworkPacket(const NetPacket& packet);
void ApplyRemoteStates();

RemotePlayerRecord* AddRemotePlayer(uint32_t id);
RemotePlayerRecord* FindRemotePlayer(uint32_t id);
void RemoveRemotePlayer(uint32_t id);
void RemoveRemotePlayerAt(uint32_t index);
void GrowRemotePlayers();
// Removes every record and the characters they drive.
void FreeRemotePlayers();

void ApplyNetObjMesh(const uint8_t* data, uint32_t length, uint32_t senderId);
void ApplyNetObjState(const uint8_t* data, uint32_t length, uint32_t senderId);
void ApplyNetObjFullState(const uint8_t* data, uint32_t length, uint32_t senderId);
void ApplyRemoteState(RemotePlayerRecord* record);
void ApplyRemoteAttachedState(RemotePlayerRecord* record);
