// The multiplayer client.
#pragma once

#include <cstdint>

class NetClientInterface {
public:
    virtual ~NetClientInterface() = default;
    virtual void Disconnect(uint32_t blockDuration, uint8_t orderingChannel) = 0;
};

extern NetClientInterface* NetClient;

void InitNetworkGlobals();
void DestroyNetClientInterface(NetClientInterface* client);
void ProcessNetworkPackets();
void SendObjectStates(uint32_t forced);
void SendObjectStatesFull(uint32_t forced);
