#include "net/netclient.h"

NetClientInterface* NetClient = nullptr;

void InitNetworkGlobals() {}
void DestroyNetClientInterface(NetClientInterface*) {}
void ProcessNetworkPackets() {}
void SendObjectStates(uint32_t) {}
void SendObjectStatesFull(uint32_t) {}
