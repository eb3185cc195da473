// Reliable-UDP client and relay host on ENet.
//
// Every packet the host sends a client starts with an 8-byte envelope naming the participant it
// concerns (u32 id, u16 port, u16 index, little-endian); the client strips it and hands the rest
// on as the packet's data. Clients send bare messages; the host relays messages 81 to 84 to the
// other clients byte for byte and reports arrivals and departures with its own 12-byte messages
// (id byte, 3 zero bytes, u32 participant id, u16 port, u16 index).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct _ENetHost;
struct _ENetPeer;

struct NetPlayerID {
    uint32_t binaryAddress = 0;
    uint16_t port = 0;
    // "a.b.c.d" with ":port" appended when withPort.
    std::string ToString(bool withPort) const;
};

struct NetPacket {
    NetPlayerID playerId;      // the participant the packet concerns
    uint16_t playerIndex = 0;
    uint32_t length = 0;
    uint8_t* data = nullptr;   // length bytes, owned by the packet
};

// Message ids the host and the transport produce.
enum NetMessageId : uint8_t {
    NetIdConnectionAccepted = 16,
    NetIdConnectionFailed = 17,
    NetIdNewIncomingConnection = 18,
    NetIdDisconnection = 20,
    NetIdConnectionLost = 21,
    NetIdStaticData = 28,
    NetIdModifiedPacket = 30,
    NetIdRemoteNewConnection = 31,
    NetIdRemoteExistingConnection = 32,
};
inline constexpr uint32_t NetEnvelopeSize = 8;
inline constexpr uint32_t NetHostMessageSize = 12;

class NetClientInterface {
public:
    NetClientInterface();
    ~NetClientInterface();
    NetClientInterface(const NetClientInterface&) = delete;
    NetClientInterface& operator=(const NetClientInterface&) = delete;

    // True when the attempt started; the outcome arrives as message 16 or 17.
    bool Connect(const char* host, uint16_t serverPort, uint16_t clientPort, uint32_t depth, int32_t threadSleep);
    void Disconnect(uint32_t blockDuration, uint8_t orderingChannel);
    // High priority, reliable, ordered, channel 0.
    bool Send(const uint8_t* data, uint32_t length);
    // The next packet, or null; polls the connection without waiting.
    NetPacket* Receive();
    void DeallocatePacket(NetPacket* packet);
    NetPlayerID GetPlayerID() const { return ownId_; }
    uint16_t GetPlayerIndex() const { return ownIndex_; }

private:
    NetPacket* MakePacket(const uint8_t* data, uint32_t length, NetPlayerID from, uint16_t index);

    _ENetHost* host_ = nullptr;
    _ENetPeer* peer_ = nullptr;
    bool connected_ = false;
    NetPlayerID serverId_;
    NetPlayerID ownId_;
    uint16_t ownIndex_ = 0;
};

// The relay host: clients connect to it and see each other's messages.
class NetRelayHost {
public:
    NetRelayHost() = default;
    ~NetRelayHost();
    NetRelayHost(const NetRelayHost&) = delete;
    NetRelayHost& operator=(const NetRelayHost&) = delete;

    // Listens on all addresses (loopback only when loopbackOnly); port 0 picks a free one.
    bool Start(uint16_t port, bool loopbackOnly);
    uint16_t Port() const;
    // Handles the events that arrive within timeoutMs.
    void Service(uint32_t timeoutMs);
    void Stop();
    size_t ClientCount() const { return clients_.size(); }

private:
    struct Client {
        _ENetPeer* peer;
        NetPlayerID id;
        uint16_t index;
    };
    void SendTo(_ENetPeer* peer, const Client& about, const uint8_t* data, uint32_t length);
    void SendHostMessage(_ENetPeer* peer, uint8_t id, const Client& about);

    _ENetHost* host_ = nullptr;
    std::vector<Client> clients_;
    uint32_t nextId_ = 1;
};
