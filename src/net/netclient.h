// The multiplayer client.
#pragma once

#include <cstdint>

class NetClientInterface {
public:
    virtual ~NetClientInterface() = default;
    virtual void Disconnect(uint32_t blockDuration, uint8_t orderingChannel) = 0;
};

extern NetClientInterface* NetClient;

class NztBaseObject;
// One remote player; the character it drives points back at it.
struct RemotePlayerRecord {
    NztBaseObject* object = nullptr;
    uint8_t detached = 0;  // 1 once the character let go of the record
};

void InitNetworkGlobals();
void DestroyNetClientInterface(NetClientInterface* client);
void ProcessNetworkPackets();
void SendObjectStates(uint32_t forced);
void SendObjectStatesFull(uint32_t forced);
