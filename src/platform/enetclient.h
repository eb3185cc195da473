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
// The host takes at most NetRelayMaxParticipants participants, and at most a few from one address;
// one more is answered with a disconnection whose reason says why (NetRefusal...), which the client
// reports as a failed attempt (message 17) with the reason in its second byte.
//
// The host keeps every participant within a budget of relayed messages and bytes, and refuses
// messages that are not one of the four with its own size and its sender's id; a participant over
// its budget, one that keeps sending such messages, or one that sends nothing for too long is
// disconnected, and the others are told it is gone (message 21). A client whose link to the host
// ends reports every participant the host had announced as gone (message 21 about each) before the
// lost link itself, so no stale entry is left.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
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
// Why the host refused a connection: the second byte of the client's message 17. The session is
// full; the address already holds as many participants as the host lets one address hold; the
// address joined more often than the host lets it.
inline constexpr uint8_t NetRefusalSessionFull = 1;
inline constexpr uint8_t NetRefusalAddressFull = 2;
inline constexpr uint8_t NetRefusalJoiningTooFast = 3;
inline constexpr uint8_t NetRefusalLast = NetRefusalJoiningTooFast;
// Participants one relay host takes; it listens on this port unless told another.
inline constexpr uint32_t NetRelayMaxParticipants = 64;
inline constexpr uint16_t NetRelayDefaultPort = 60000;

// The relay's budget for each participant: a bucket of messages and one of bytes, filled at a
// steady rate up to a burst. A client sends a state ten times a second and now and then its model
// or a line of text (1032 bytes), well inside both. Malformed messages have a small bucket of
// their own: a few are forgiven, a stream of them is not.
//
// The budget belongs to the sender's address, not to the connection: what a participant leaves of
// it when it goes is what the next connection from that address starts with (each participant from
// one address has a budget of its own while connected), so reconnecting does not refill it.
//
// A client answers each participant the host announces to it with its model and then a state, so a
// client joining a full session owes 63 models and 63 states at once. The host counts those apart:
// each announcement lets the client send one model beyond its budget, and each model so sent lets it
// send one state (83 or 84) beyond it, both counted in messages and bytes. A client that stalls
// (loading a level) while others come and go answers them all at once: up to NetRelayMostAnswersOwed
// announcements wait to be answered. Answers are what an honest client sends anyway, and arrivals
// are limited by the joins each address may make.
inline constexpr double NetRelayMessagesPerSecond = 60.0;
inline constexpr double NetRelayMessageBurst = 120.0;
inline constexpr double NetRelayBytesPerSecond = 24.0 * 1024.0;
inline constexpr double NetRelayByteBurst = 48.0 * 1024.0;
inline constexpr double NetRelayMalformedPerSecond = 1.0;
inline constexpr double NetRelayMalformedBurst = 8.0;
inline constexpr uint32_t NetRelayMostAnswersOwed = 4096;
// Joins one address may make: as many as it may hold participants at once, then one a second.
inline constexpr double NetRelayJoinsPerSecond = 1.0;
// An ENet connection attempt that has not become a participant (or a refused one not yet gone)
// holds a peer of the host for at most this long.
inline constexpr uint32_t NetRelayHalfOpenMs = 3000;
// Participants one address may hold by default: enough for the players behind one router.
inline constexpr uint32_t NetRelayDefaultPerAddress = 8;
// A participant that sends nothing for this long is let go. A game sends its state only when its
// player moves or changes animation: one standing still, loading a level or playing a cut-scene
// sends nothing for a while, so the default is long.
inline constexpr uint32_t NetRelayDefaultIdleSeconds = 300;

// What one relay host allows; the relayhost tool sets these from its command line.
struct NetRelayLimits {
    uint32_t perAddress = NetRelayDefaultPerAddress;
    uint32_t idleMs = NetRelayDefaultIdleSeconds * 1000u;
};

class NetClientInterface {
public:
    NetClientInterface();
    ~NetClientInterface();
    NetClientInterface(const NetClientInterface&) = delete;
    NetClientInterface& operator=(const NetClientInterface&) = delete;

    // True when the attempt started; the outcome arrives as message 16 or 17. A host written
    // "name:port" overrides serverPort.
    bool Connect(const char* host, uint16_t serverPort, uint16_t clientPort, uint32_t depth, int32_t threadSleep);
    // The local address later attempts send from ("127.0.0.2"); null or empty: any. False when it is
    // not an IPv4 address. Several players on one machine can so be told apart by the host.
    bool SetLocalAddress(const char* address);
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

    // What Receive does with what arrives from the host, for a caller that has the bytes another
    // way. ReadHostPacket reads one packet as the host sent it (envelope, then message): it follows
    // the host's arrivals and departures and takes the client's own id from the acceptance; null
    // when the packet is too short or too long to be the host's. EndLink ends the link (reason: the
    // host's, 0 when none): Receive then hands out a departure (message 21) for each participant
    // announced and not gone, then the failed attempt (17) or the lost link (21).
    NetPacket* ReadHostPacket(const uint8_t* data, size_t length);
    void EndLink(uint32_t reason);

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
    uint32_t localAddress_ = 0;  // ENet's form; 0: any
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
    // NetRelayMaxParticipants participants, limits.perAddress of them from one address, and refuses
    // more with the reason.
    bool Start(uint16_t port, bool loopbackOnly, const NetRelayLimits& limits = {});
    uint16_t Port() const;
    // Handles the events that arrive within timeoutMs, and lets go of participants and connection
    // attempts past their deadlines.
    void Service(uint32_t timeoutMs);
    void Stop();
    size_t ClientCount() const { return clients_.size(); }
    // Participants disconnected by the host (over their budget, malformed, silent), since Start.
    uint32_t DroppedCount() const { return dropped_; }
    // Connections refused (session full, address full, joining too fast), since Start.
    uint32_t RefusedCount() const { return refused_; }

private:
    // A bucket of messages, bytes and malformed messages as filled at a time (ENet milliseconds).
    struct Budget {
        double messages = NetRelayMessageBurst;
        double bytes = NetRelayByteBurst;
        double malformed = NetRelayMalformedBurst;
        uint32_t at = 0;
        void Fill(uint32_t now);
        bool Full() const;
    };
    struct Client {
        _ENetPeer* peer;
        NetPlayerID id;
        uint16_t index;
        Budget budget;
        // Announcements not yet answered with a model, and models so sent whose state has not come.
        uint32_t owed = 0;
        uint32_t answeredModels = 0;
        uint32_t heardAt = 0;  // when it last sent anything
    };
    // What the host keeps about an address while it has participants or has not yet recovered what
    // they spent.
    struct Address {
        double joins = 0.0;
        uint32_t joinsAt = 0;
        uint32_t participants = 0;
        std::vector<Budget> leftBehind;  // what participants that went left of their budgets
        // Log lines about the address are one per quiet interval; the rest are counted.
        uint32_t quietFrom = 0;
        uint32_t quietUntil = 0;
        bool quiet = false;
        uint32_t unlogged = 0;
        const char* unloggedWhy = nullptr;
    };
    // A peer that is neither free nor a participant: since when, for which attempt.
    struct Loose {
        uint32_t since = 0;
        uint32_t connectId = 0;
        bool tracked = false;
    };
    void SendTo(_ENetPeer* peer, const Client& about, const uint8_t* data, uint32_t length);
    void SendHostMessage(_ENetPeer* peer, uint8_t id, const Client& about);
    void Join(_ENetPeer* peer);
    void Refuse(_ENetPeer* peer, uint8_t reason, const std::string& why);
    // Relays one message of clients_[from], or drops that participant; false when it was dropped.
    bool Relay(size_t from, const uint8_t* data, size_t length);
    void Drop(size_t index, const char* why);
    // Takes clients_[index] out of the session and its address, keeping what it left of its budget.
    void Leave(size_t index);
    Address& AddressOf(uint32_t host);
    // One line about an address, or a count of it while the address's lines are quiet.
    void LogAbout(uint32_t host, const std::string& line, const char* why);
    // At the end of an address's quiet interval, one line counting what it did not log.
    void EndQuiet(uint32_t host, Address& a, uint32_t now);
    // Deadlines: silent participants, connection attempts that hold a peer; old address records.
    void Expire();

    _ENetHost* host_ = nullptr;
    NetRelayLimits limits_;
    std::vector<Client> clients_;
    std::unordered_map<uint32_t, Address> addresses_;
    std::vector<Loose> loose_;  // by peer slot
    uint32_t lastTidy_ = 0;
    uint32_t nextId_ = 1;
    uint32_t dropped_ = 0;
    uint32_t refused_ = 0;
};
