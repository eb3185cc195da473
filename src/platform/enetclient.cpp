#include "platform/enetclient.h"

#include <enet/enet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// enet_initialize is process-wide; each client and host holds one reference. Clients and hosts
// may live on different threads (a tool or a test), so the count is guarded.
int gEnetUsers = 0;
std::mutex gEnetUsersLock;

bool AcquireEnet() {
    std::lock_guard<std::mutex> lock(gEnetUsersLock);
    if (gEnetUsers == 0 && enet_initialize() != 0) {
        std::fprintf(stderr, "net: cannot initialise ENet\n");
        return false;
    }
    ++gEnetUsers;
    return true;
}

void ReleaseEnet() {
    std::lock_guard<std::mutex> lock(gEnetUsersLock);
    if (gEnetUsers > 0 && --gEnetUsers == 0) enet_deinitialize();
}

void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
uint32_t GetU32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// A connection attempt to a silent host gives up after about 5 s instead of ENet's 30; once the
// host has answered, ENet's own timeouts (5 s at least, up to 30 s of silence) hold, which a
// loaded network survives.
void AttemptTimeouts(ENetPeer* peer) { enet_peer_timeout(peer, ENET_PEER_TIMEOUT_LIMIT, 5000, 5000); }
void LinkTimeouts(ENetPeer* peer) { enet_peer_timeout(peer, 0, 0, 0); }

// The largest packet either side takes: the client's largest message is 1032 bytes, and what the
// host sends carries an 8-byte envelope. ENet refuses longer ones before assembling them.
constexpr size_t HostMaxPacket = 4096;
constexpr size_t ClientMaxPacket = 0x10000 + NetEnvelopeSize;

// The messages the host relays and the size each has on the wire.
constexpr struct {
    uint8_t id;
    uint32_t size;
} kRelayedMessages[] = {{81, 1032}, {82, 44}, {83, 48}, {84, 68}};

// Events handled by one Service call before the host sends what it has queued: a peer that floods
// must not keep the others waiting for their acknowledgements.
constexpr int MaxEventsPerService = 1024;

}  // namespace

std::string NetPlayerID::ToString(bool withPort) const {
    char text[32];
    const uint32_t a = binaryAddress;
    if (withPort) {
        std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", a & 0xFF, (a >> 8) & 0xFF, (a >> 16) & 0xFF, a >> 24,
                      unsigned{port});
    } else {
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", a & 0xFF, (a >> 8) & 0xFF, (a >> 16) & 0xFF, a >> 24);
    }
    return text;
}

// ---------------------------------------------------------------------------------------------
// Client

NetClientInterface::NetClientInterface() = default;

NetClientInterface::~NetClientInterface() { Disconnect(0, 0); }

bool NetClientInterface::Connect(const char* host, uint16_t serverPort, uint16_t clientPort, uint32_t,
                                 int32_t) {
    Disconnect(0, 0);
    if (host == nullptr || !AcquireEnet()) return false;
    ENetAddress local{};
    local.host = ENET_HOST_ANY;
    local.port = clientPort;
    host_ = enet_host_create(clientPort != 0 ? &local : nullptr, 1, 1, 0, 0);
    if (host_ == nullptr) {
        ReleaseEnet();
        return false;
    }
    host_->maximumPacketSize = ClientMaxPacket;
    ENetAddress remote{};
    if (enet_address_set_host(&remote, host) != 0) {
        Disconnect(0, 0);
        return false;
    }
    remote.port = serverPort;
    peer_ = enet_host_connect(host_, &remote, 1, 0);
    if (peer_ == nullptr) {
        Disconnect(0, 0);
        return false;
    }
    AttemptTimeouts(peer_);
    serverId_.binaryAddress = remote.host;
    serverId_.port = serverPort;
    return true;
}

void NetClientInterface::Disconnect(uint32_t, uint8_t) {
    if (host_ == nullptr) return;
    if (peer_ != nullptr) {
        enet_peer_disconnect_now(peer_, 0);
        peer_ = nullptr;
    }
    enet_host_flush(host_);
    enet_host_destroy(host_);
    host_ = nullptr;
    connected_ = false;
    ownId_ = {};
    ownIndex_ = 0;
    participants_.clear();
    ClearPending();
    ReleaseEnet();
}

void NetClientInterface::ClearPending() {
    for (NetPacket* p : pending_) DeallocatePacket(p);
    pending_.clear();
}

void NetClientInterface::NoteHostMessage(const uint8_t* m, uint32_t length) {
    if (length < NetHostMessageSize) return;
    const NetPlayerID id{GetU32(m + 4), GetU16(m + 8)};
    const uint16_t index = GetU16(m + 10);
    auto same = [&](const Participant& p) { return p.id.binaryAddress == id.binaryAddress; };
    switch (m[0]) {
    case NetIdRemoteNewConnection:
    case NetIdRemoteExistingConnection:
        // A host cannot announce more participants than it has peers; the bound keeps a
        // misbehaving one from growing this list without end.
        if (participants_.size() < 4096 && std::none_of(participants_.begin(), participants_.end(), same))
            participants_.push_back({id, index});
        break;
    case NetIdDisconnection:
    case NetIdConnectionLost:
        participants_.erase(std::remove_if(participants_.begin(), participants_.end(), same), participants_.end());
        break;
    default:
        break;
    }
}

bool NetClientInterface::Send(const uint8_t* data, uint32_t length) {
    if (peer_ == nullptr || data == nullptr || length == 0) return false;
    ENetPacket* packet = enet_packet_create(data, length, ENET_PACKET_FLAG_RELIABLE);
    if (packet == nullptr) return false;
    if (enet_peer_send(peer_, 0, packet) != 0) {
        enet_packet_destroy(packet);
        return false;
    }
    enet_host_flush(host_);
    return true;
}

NetPacket* NetClientInterface::MakePacket(const uint8_t* data, uint32_t length, NetPlayerID from, uint16_t index) {
    auto* packet = new NetPacket;
    packet->playerId = from;
    packet->playerIndex = index;
    packet->length = length;
    packet->data = new uint8_t[length == 0 ? 1 : length];
    if (length != 0) std::memcpy(packet->data, data, length);
    return packet;
}

NetPacket* NetClientInterface::Receive() {
    if (!pending_.empty()) {
        NetPacket* next = pending_.front();
        pending_.pop_front();
        return next;
    }
    if (host_ == nullptr) return nullptr;
    ENetEvent event;
    while (enet_host_service(host_, &event, 0) > 0) {
        switch (event.type) {
        case ENET_EVENT_TYPE_RECEIVE: {
            const ENetPacket* in = event.packet;
            NetPacket* out = nullptr;
            if (in->dataLength >= NetEnvelopeSize + 1 && in->dataLength <= 0x10000) {
                const uint8_t* d = in->data;
                NetPlayerID from{GetU32(d), GetU16(d + 4)};
                const uint32_t length = static_cast<uint32_t>(in->dataLength - NetEnvelopeSize);
                // The host names the client itself in its acceptance.
                if (d[NetEnvelopeSize] == NetIdConnectionAccepted && length >= NetHostMessageSize) {
                    ownId_ = {GetU32(d + NetEnvelopeSize + 4), GetU16(d + NetEnvelopeSize + 8)};
                    ownIndex_ = GetU16(d + NetEnvelopeSize + 10);
                }
                NoteHostMessage(d + NetEnvelopeSize, length);
                out = MakePacket(d + NetEnvelopeSize, length, from, GetU16(d + 6));
            } else {
                std::fprintf(stderr, "net: dropped a host packet of %zu bytes\n", in->dataLength);
            }
            enet_packet_destroy(event.packet);
            if (out != nullptr) return out;
            break;
        }
        case ENET_EVENT_TYPE_CONNECT:
            connected_ = true;
            LinkTimeouts(event.peer);
            break;
        case ENET_EVENT_TYPE_DISCONNECT: {
            // The host went away or never answered; the interface stays and keeps polling. Every
            // participant it had announced is gone with it, and is reported so first.
            const uint8_t lost = NetIdConnectionLost;
            for (const Participant& p : participants_) pending_.push_back(MakePacket(&lost, 1, p.id, p.index));
            participants_.clear();
            const uint8_t id = connected_ ? NetIdConnectionLost : NetIdConnectionFailed;
            peer_ = nullptr;
            connected_ = false;
            pending_.push_back(MakePacket(&id, 1, serverId_, 0));
            NetPacket* next = pending_.front();
            pending_.pop_front();
            return next;
        }
        default:
            break;
        }
    }
    return nullptr;
}

void NetClientInterface::DeallocatePacket(NetPacket* packet) {
    if (packet == nullptr) return;
    delete[] packet->data;
    delete packet;
}

// ---------------------------------------------------------------------------------------------
// Relay host

NetRelayHost::~NetRelayHost() { Stop(); }

bool NetRelayHost::Start(uint16_t port, bool loopbackOnly) {
    Stop();
    if (!AcquireEnet()) return false;
    ENetAddress address{};
    address.host = ENET_HOST_ANY;
    if (loopbackOnly) enet_address_set_host_ip(&address, "127.0.0.1");
    address.port = port;
    host_ = enet_host_create(&address, 64, 1, 0, 0);
    if (host_ == nullptr) {
        ReleaseEnet();
        return false;
    }
    host_->maximumPacketSize = HostMaxPacket;
    dropped_ = 0;
    return true;
}

uint16_t NetRelayHost::Port() const { return host_ != nullptr ? host_->address.port : 0; }

void NetRelayHost::Stop() {
    if (host_ == nullptr) return;
    for (const Client& c : clients_) enet_peer_disconnect_now(c.peer, 0);
    clients_.clear();
    enet_host_flush(host_);
    enet_host_destroy(host_);
    host_ = nullptr;
    ReleaseEnet();
}

void NetRelayHost::SendTo(ENetPeer* peer, const Client& about, const uint8_t* data, uint32_t length) {
    ENetPacket* packet = enet_packet_create(nullptr, NetEnvelopeSize + length, ENET_PACKET_FLAG_RELIABLE);
    if (packet == nullptr) return;
    PutU32(packet->data, about.id.binaryAddress);
    PutU16(packet->data + 4, about.id.port);
    PutU16(packet->data + 6, about.index);
    std::memcpy(packet->data + NetEnvelopeSize, data, length);
    if (enet_peer_send(peer, 0, packet) != 0) enet_packet_destroy(packet);
}

void NetRelayHost::SendHostMessage(ENetPeer* peer, uint8_t id, const Client& about) {
    uint8_t message[NetHostMessageSize] = {id};
    PutU32(message + 4, about.id.binaryAddress);
    PutU16(message + 8, about.id.port);
    PutU16(message + 10, about.index);
    SendTo(peer, about, message, sizeof message);
}

void NetRelayHost::Drop(size_t index, const char* why) {
    const Client gone = clients_[index];
    std::fprintf(stderr, "net: relay: participant %u at %s %s; disconnected\n", gone.id.binaryAddress,
                 NetPlayerID{gone.peer->address.host, gone.peer->address.port}.ToString(true).c_str(), why);
    // Reset at once: whatever it still sends is ignored, and no disconnection event follows.
    enet_peer_disconnect_now(gone.peer, 0);
    clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(index));
    for (const Client& c : clients_) SendHostMessage(c.peer, NetIdConnectionLost, gone);
    ++dropped_;
}

bool NetRelayHost::Relay(size_t from, const uint8_t* data, size_t length) {
    Client& sender = clients_[from];
    const uint32_t now = enet_time_get();
    const double seconds = static_cast<double>(static_cast<uint32_t>(now - sender.filledAt)) / 1000.0;
    sender.filledAt = now;
    sender.messages = std::min(NetRelayMessageBurst, sender.messages + seconds * NetRelayMessagesPerSecond) - 1.0;
    sender.bytes = std::min(NetRelayByteBurst, sender.bytes + seconds * NetRelayBytesPerSecond) -
                   static_cast<double>(length);
    sender.malformed = std::min(NetRelayMalformedBurst, sender.malformed + seconds * NetRelayMalformedPerSecond);
    if (sender.messages < 0.0 || sender.bytes < 0.0) {
        Drop(from, "went over its budget of relayed messages");
        return false;
    }
    // One of the four messages, of its own size, from its own sender (0 before the host's answer
    // gave the client its id); anything else is not relayed.
    bool wellFormed = false;
    if (length >= 8 && data[1] == 0 && data[2] == 0 && data[3] == 0) {
        for (const auto& m : kRelayedMessages) wellFormed = wellFormed || (data[0] == m.id && length == m.size);
        const uint32_t senderId = GetU32(data + 4);
        wellFormed = wellFormed && (senderId == 0 || senderId == sender.id.binaryAddress);
    }
    if (!wellFormed) {
        sender.malformed -= 1.0;
        if (sender.malformed < 0.0) {
            Drop(from, "kept sending malformed messages");
            return false;
        }
        return true;
    }
    for (const Client& c : clients_)
        if (c.peer != sender.peer) SendTo(c.peer, sender, data, static_cast<uint32_t>(length));
    return true;
}

void NetRelayHost::Service(uint32_t timeoutMs) {
    if (host_ == nullptr) return;
    ENetEvent event;
    uint32_t wait = timeoutMs;
    for (int handled = 0; handled < MaxEventsPerService && enet_host_service(host_, &event, wait) > 0; ++handled) {
        wait = 0;
        if (event.type == ENET_EVENT_TYPE_CONNECT) {
            // Ids are handed out here: on loopback every client has the same address.
            Client joined{event.peer,
                          {nextId_++, event.peer->address.port},
                          static_cast<uint16_t>(event.peer->incomingPeerID),
                          NetRelayMessageBurst,
                          NetRelayByteBurst,
                          NetRelayMalformedBurst,
                          enet_time_get()};
            SendHostMessage(joined.peer, NetIdConnectionAccepted, joined);
            for (const Client& c : clients_) {
                SendHostMessage(joined.peer, NetIdRemoteExistingConnection, c);
                SendHostMessage(c.peer, NetIdRemoteNewConnection, joined);
            }
            clients_.push_back(joined);
        } else if (event.type == ENET_EVENT_TYPE_DISCONNECT) {
            for (size_t i = 0; i < clients_.size(); ++i) {
                if (clients_[i].peer != event.peer) continue;
                const Client left = clients_[i];
                clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
                for (const Client& c : clients_) SendHostMessage(c.peer, NetIdDisconnection, left);
                break;
            }
        } else if (event.type == ENET_EVENT_TYPE_RECEIVE) {
            // Only the participants' own messages are relayed; the host speaks for itself.
            for (size_t i = 0; i < clients_.size(); ++i) {
                if (clients_[i].peer != event.peer) continue;
                Relay(i, event.packet->data, event.packet->dataLength);
                break;
            }
            enet_packet_destroy(event.packet);
        }
    }
    enet_host_flush(host_);
}
