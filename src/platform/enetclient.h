// Reliable-UDP client and relay host on ENet.
//
// Every packet the host sends a client starts with an 8-byte envelope naming the participant it
// concerns (u32 id, u16 port, u16 index, little-endian); the client strips it and hands the rest
// on as the packet's data. Clients send bare messages; the host relays messages 81 to 84 to the
// other clients byte for byte and reports the client's acceptance, arrivals and departures with its
// own 16-byte messages (id byte, 3 zero bytes, u32 participant id, u16 port, u16 index, the
// participant's IPv4 address a.b.c.d). Participant ids are the host's own numbers (on loopback
// every participant has the same address); the address and port are where the participant is.
//
// The host takes at most NetRelayMaxParticipants participants; one more is answered with a
// disconnection whose reason is NetRefusalSessionFull, which the client reports as a failed attempt
// (message 17) with the reason in its second byte.
//
// The host keeps every participant within a budget of relayed messages and bytes, and refuses
// messages that are not one of the four with its own size and its sender's id; a participant over
// its budget, or one that keeps sending such messages, is disconnected, and the others are told it
// is gone (message 21). A client whose link to the host ends reports every participant the host had
// announced as gone (message 21 about each) before the lost link itself, so no stale entry is left.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

struct _ENetHost;
struct _ENetPeer;

struct NetPlayerID {
    // The host's participant id; 0 for the host itself.
    uint32_t binaryAddress = 0;
    uint16_t port = 0;
    // IPv4 address as ENet keeps it (a.b.c.d in memory order); 0 when the host did not say.
    uint32_t address = 0;
    // A participant: "<id> (a.b.c.d:port)", or "<id>" without the port. The host: "a.b.c.d:port",
    // or "a.b.c.d".
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
// The host's own messages; a client also takes them without the address (12 bytes).
inline constexpr uint32_t NetHostMessageSize = 16;
inline constexpr uint32_t NetHostMessageMinSize = 12;
// Why the host refused a connection: the second byte of the client's message 17.
inline constexpr uint8_t NetRefusalSessionFull = 1;
// Participants one relay host takes; it listens on this port unless told another.
inline constexpr uint32_t NetRelayMaxParticipants = 64;
inline constexpr uint16_t NetRelayDefaultPort = 60000;

// The relay's budget for each participant: a bucket of messages and one of bytes, filled at a
// steady rate up to a burst. A client sends a state ten times a second and now and then its model
// or a line of text (1032 bytes), well inside both. Malformed messages have a small bucket of
// their own: a few are forgiven, a stream of them is not.
//
// A client answers each participant the host announces to it with its model and a state, so a
// client joining a full session owes 2 x 63 answers at once. The host counts those apart: every
// announcement it sends a client allows it NetRelayAnswersPerArrival more models or states beyond
// the bucket (at most NetRelayAnswersPerArrival x NetRelayMaxParticipants waiting).
inline constexpr double NetRelayMessagesPerSecond = 60.0;
inline constexpr double NetRelayMessageBurst = 120.0;
inline constexpr double NetRelayBytesPerSecond = 24.0 * 1024.0;
inline constexpr double NetRelayByteBurst = 48.0 * 1024.0;
inline constexpr double NetRelayMalformedPerSecond = 1.0;
inline constexpr double NetRelayMalformedBurst = 8.0;
inline constexpr double NetRelayAnswersPerArrival = 2.0;

class NetClientInterface {
public:
    NetClientInterface();
    ~NetClientInterface();
    NetClientInterface(const NetClientInterface&) = delete;
    NetClientInterface& operator=(const NetClientInterface&) = delete;

    // True when the attempt started; the outcome arrives as message 16 or 17. A host written
    // "name:port" overrides serverPort.
    bool Connect(const char* host, uint16_t serverPort, uint16_t clientPort, uint32_t depth, int32_t threadSleep);
    void Disconnect(uint32_t blockDuration, uint8_t orderingChannel);
    // High priority, reliable, ordered, channel 0.
    bool Send(const uint8_t* data, uint32_t length);
    // The next packet, or null; polls the connection without waiting.
    NetPacket* Receive();
    void DeallocatePacket(NetPacket* packet);
    NetPlayerID GetPlayerID() const { return ownId_; }
    uint16_t GetPlayerIndex() const { return ownIndex_; }
    // True from the host's answer to the attempt until the link ends.
    bool IsConnected() const { return connected_; }

private:
    struct Participant {
        NetPlayerID id;
        uint16_t index;
    };
    NetPacket* MakePacket(const uint8_t* data, uint32_t length, NetPlayerID from, uint16_t index);
    // Follows the host's arrivals and departures, so a lost link can report each one gone.
    void NoteHostMessage(const uint8_t* message, uint32_t length);
    // The participant's address as the host announced it; 0 when unknown.
    uint32_t AddressOf(uint32_t id) const;
    void ClearPending();

    _ENetHost* host_ = nullptr;
    _ENetPeer* peer_ = nullptr;
    bool connected_ = false;
    bool accepted_ = false;  // the host sent its acceptance (message 16)
    NetPlayerID serverId_;
    NetPlayerID ownId_;
    uint16_t ownIndex_ = 0;
    std::vector<Participant> participants_;
    std::deque<NetPacket*> pending_;  // made by the transport, handed out before the next event
};

// The relay host: clients connect to it and see each other's messages.
class NetRelayHost {
public:
    NetRelayHost() = default;
    ~NetRelayHost();
    NetRelayHost(const NetRelayHost&) = delete;
    NetRelayHost& operator=(const NetRelayHost&) = delete;

    // Listens on all addresses (loopback only when loopbackOnly); port 0 picks a free one. Takes
    // NetRelayMaxParticipants participants and refuses more with NetRefusalSessionFull.
    bool Start(uint16_t port, bool loopbackOnly);
    uint16_t Port() const;
    // Handles the events that arrive within timeoutMs.
    void Service(uint32_t timeoutMs);
    void Stop();
    size_t ClientCount() const { return clients_.size(); }
    // Participants disconnected by the host for going over their budget, since Start.
    uint32_t DroppedCount() const { return dropped_; }
    // Connections refused because the session was full, since Start.
    uint32_t RefusedCount() const { return refused_; }

private:
    struct Client {
        _ENetPeer* peer;
        NetPlayerID id;
        uint16_t index;
        // What is left of the budget, and when it was last filled (ENet milliseconds).
        double messages;
        double bytes;
        double malformed;
        // Models and states owed as answers to the host's announcements, outside the bucket.
        double answers;
        uint32_t filledAt;
    };
    void SendTo(_ENetPeer* peer, const Client& about, const uint8_t* data, uint32_t length);
    void SendHostMessage(_ENetPeer* peer, uint8_t id, const Client& about);
    // Relays one message of clients_[from], or drops that participant; false when it was dropped.
    bool Relay(size_t from, const uint8_t* data, size_t length);
    void Drop(size_t index, const char* why);

    _ENetHost* host_ = nullptr;
    std::vector<Client> clients_;
    uint32_t nextId_ = 1;
    uint32_t dropped_ = 0;
    uint32_t refused_ = 0;
};
