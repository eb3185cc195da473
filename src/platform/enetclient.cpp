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

// A connection attempt to a silent host gives up after 7.5 s instead of ENet's 30: ENet resends
// the attempt 0.5, 1.5, 3.5 and 7.5 s after the first try and weighs the 5-s limit only at a
// resend. Once the host has answered, ENet's own timeouts (5 s at least, up to 30 s of silence)
// hold, which a loaded network survives. A full host answers at once with its refusal.
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

// Peers the host's ENet keeps beyond its participants: a connection over the limit needs a peer
// of its own to be told it is refused; without one ENet would not answer it at all.
constexpr size_t SparePeers = 16;

void PutAddress(uint8_t* p, uint32_t address) { std::memcpy(p, &address, 4); }
uint32_t GetAddress(const uint8_t* p) {
    uint32_t address;
    std::memcpy(&address, p, 4);
    return address;
}

std::string DottedAddress(uint32_t a) {
    const auto* b = reinterpret_cast<const uint8_t*>(&a);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned{b[0]}, unsigned{b[1]}, unsigned{b[2]}, unsigned{b[3]});
    return text;
}

std::string PeerAddress(const ENetPeer* peer) {
    return DottedAddress(peer->address.host) + ":" + std::to_string(peer->address.port);
}

// "name:port" names its own port; anything else is a host name or address alone. False when the
// port is not a number from 1 to 65535.
bool SplitHostPort(const char* text, std::string& host, uint16_t& port) {
    host = text;
    const size_t colon = host.rfind(':');
    if (colon == std::string::npos) return true;
    const std::string digits = host.substr(colon + 1);
    host.resize(colon);
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long value = std::stoul(digits);
    if (value == 0 || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

// Events handled by one Service call before the host sends what it has queued: a peer that floods
// must not keep the others waiting for their acknowledgements.
constexpr int MaxEventsPerService = 1024;

}  // namespace

std::string NetPlayerID::ToString(bool withPort) const {
    std::string where = DottedAddress(address);
    if (withPort) where.append(":").append(std::to_string(port));
    if (binaryAddress == 0) return where;
    std::string out = std::to_string(binaryAddress);
    if (withPort) out.append(" (").append(where).append(")");
    return out;
}

// ---------------------------------------------------------------------------------------------
// Client

NetClientInterface::NetClientInterface() = default;

NetClientInterface::~NetClientInterface() {
    Disconnect(0, 0);
    ClearPending();  // what an ended link left unread
}

bool NetClientInterface::Connect(const char* host, uint16_t serverPort, uint16_t clientPort, uint32_t,
                                 int32_t) {
    Disconnect(0, 0);
    if (host == nullptr) return false;
    std::string name;
    if (!SplitHostPort(host, name, serverPort) || name.empty()) return false;
    if (!AcquireEnet()) return false;
    ENetAddress local{};
    local.host = localAddress_ != 0 ? localAddress_ : ENET_HOST_ANY;
    local.port = clientPort;
    host_ = enet_host_create(clientPort != 0 || localAddress_ != 0 ? &local : nullptr, 1, 1, 0, 0);
    if (host_ == nullptr) {
        ReleaseEnet();
        return false;
    }
    host_->maximumPacketSize = ClientMaxPacket;
    ENetAddress remote{};
    if (enet_address_set_host(&remote, name.c_str()) != 0) {
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
    serverId_ = {0, serverPort, remote.host};
    return true;
}

bool NetClientInterface::SetLocalAddress(const char* address) {
    if (address == nullptr || *address == '\0') {
        localAddress_ = 0;
        return true;
    }
    ENetAddress parsed{};
    if (enet_address_set_host_ip(&parsed, address) != 0) return false;
    localAddress_ = parsed.host;
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
    accepted_ = false;
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

uint32_t NetClientInterface::AddressOf(uint32_t id) const {
    for (const Participant& p : participants_)
        if (p.id.binaryAddress == id) return p.id.address;
    return 0;
}

void NetClientInterface::NoteHostMessage(const uint8_t* m, uint32_t length) {
    if (length < NetHostMessageMinSize) return;
    const NetPlayerID id{GetU32(m + 4), GetU16(m + 8), length >= NetHostMessageSize ? GetAddress(m + 12) : 0};
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
            NetPacket* out = ReadHostPacket(event.packet->data, event.packet->dataLength);
            enet_packet_destroy(event.packet);
            if (out != nullptr) return out;
            break;
        }
        case ENET_EVENT_TYPE_CONNECT:
            connected_ = true;
            LinkTimeouts(event.peer);
            break;
        case ENET_EVENT_TYPE_DISCONNECT: {
            EndLink(event.data);
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

NetPacket* NetClientInterface::ReadHostPacket(const uint8_t* d, size_t size) {
    if (d == nullptr || size < NetEnvelopeSize + 1 || size > 0x10000) {
        std::fprintf(stderr, "net: dropped a host packet of %zu bytes\n", size);
        return nullptr;
    }
    NetPlayerID from{GetU32(d), GetU16(d + 4)};
    const uint32_t length = static_cast<uint32_t>(size - NetEnvelopeSize);
    const uint8_t* m = d + NetEnvelopeSize;
    // A departure is looked up before it leaves the list; an arrival says where it is.
    from.address = AddressOf(from.binaryAddress);
    if (from.address == 0 && m[0] <= NetIdRemoteExistingConnection && length >= NetHostMessageSize)
        from.address = GetAddress(m + 12);
    NoteHostMessage(m, length);
    if (m[0] == NetIdConnectionAccepted && length >= NetHostMessageMinSize) {
        // The host names the client itself in its acceptance; the packet is the host's.
        ownId_ = {GetU32(m + 4), GetU16(m + 8), length >= NetHostMessageSize ? GetAddress(m + 12) : 0};
        ownIndex_ = GetU16(m + 10);
        accepted_ = true;
        return MakePacket(m, length, serverId_, ownIndex_);
    }
    return MakePacket(m, length, from, GetU16(d + 6));
}

void NetClientInterface::EndLink(uint32_t reason) {
    // The host went away or never answered; the interface stays and keeps polling. Every
    // participant it had announced is gone with it, and is reported so first.
    const uint8_t lost = NetIdConnectionLost;
    for (const Participant& p : participants_) pending_.push_back(MakePacket(&lost, 1, p.id, p.index));
    participants_.clear();
    // Before the host's acceptance the attempt failed; a refusal says why in a second byte.
    const bool refused = !accepted_ && reason >= NetRefusalSessionFull && reason <= NetRefusalLast;
    const uint8_t failed[2] = {accepted_ ? NetIdConnectionLost : NetIdConnectionFailed, static_cast<uint8_t>(reason)};
    peer_ = nullptr;
    connected_ = false;
    accepted_ = false;
    pending_.push_back(MakePacket(failed, refused ? 2 : 1, serverId_, 0));
}

void NetClientInterface::DeallocatePacket(NetPacket* packet) {
    if (packet == nullptr) return;
    delete[] packet->data;
    delete packet;
}

// ---------------------------------------------------------------------------------------------
// Relay host

namespace {

// Peers one address may take beyond its participants: those refused while they are told why.
constexpr size_t SparePeersPerAddress = 4;
// Lines about one address: one, then a count every so often while more come.
constexpr uint32_t QuietMs = 10000;
// How often the host forgets addresses that have recovered.
constexpr uint32_t TidyMs = 1000;

uint32_t Since(uint32_t now, uint32_t then) { return static_cast<uint32_t>(now - then); }

}  // namespace

void NetRelayHost::Budget::Fill(uint32_t now) {
    const double seconds = static_cast<double>(Since(now, at)) / 1000.0;
    at = now;
    messages = std::min(NetRelayMessageBurst, messages + seconds * NetRelayMessagesPerSecond);
    bytes = std::min(NetRelayByteBurst, bytes + seconds * NetRelayBytesPerSecond);
    malformed = std::min(NetRelayMalformedBurst, malformed + seconds * NetRelayMalformedPerSecond);
}

bool NetRelayHost::Budget::Full() const {
    return messages >= NetRelayMessageBurst && bytes >= NetRelayByteBurst && malformed >= NetRelayMalformedBurst;
}

NetRelayHost::~NetRelayHost() { Stop(); }

bool NetRelayHost::Start(uint16_t port, bool loopbackOnly, const NetRelayLimits& limits) {
    Stop();
    if (!AcquireEnet()) return false;
    ENetAddress address{};
    address.host = ENET_HOST_ANY;
    if (loopbackOnly) enet_address_set_host_ip(&address, "127.0.0.1");
    address.port = port;
    host_ = enet_host_create(&address, NetRelayMaxParticipants + SparePeers, 1, 0, 0);
    if (host_ == nullptr) {
        ReleaseEnet();
        return false;
    }
    host_->maximumPacketSize = HostMaxPacket;
    limits_ = limits;
    limits_.perAddress = std::clamp<uint32_t>(limits_.perAddress, 1, NetRelayMaxParticipants);
    // ENet takes no connection attempt from an address that holds this many peers: one address
    // cannot take every peer, whatever state its attempts are in.
    host_->duplicatePeers = limits_.perAddress + SparePeersPerAddress;
    loose_.assign(host_->peerCount, Loose{});
    lastTidy_ = enet_time_get();
    dropped_ = 0;
    refused_ = 0;
    return true;
}

uint16_t NetRelayHost::Port() const { return host_ != nullptr ? host_->address.port : 0; }

void NetRelayHost::Stop() {
    if (host_ == nullptr) return;
    for (const Client& c : clients_) enet_peer_disconnect_now(c.peer, 0);
    clients_.clear();
    addresses_.clear();
    loose_.clear();
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
    PutAddress(message + 12, about.id.address);
    SendTo(peer, about, message, sizeof message);
}

NetRelayHost::Address& NetRelayHost::AddressOf(uint32_t host) {
    auto [it, added] = addresses_.try_emplace(host);
    if (added) {
        it->second.joins = static_cast<double>(limits_.perAddress);
        it->second.joinsAt = enet_time_get();
    }
    return it->second;
}

void NetRelayHost::EndQuiet(uint32_t host, Address& a, uint32_t now) {
    if (!a.quiet || static_cast<int32_t>(now - a.quietUntil) < 0) return;
    a.quiet = false;
    if (a.unlogged == 0) return;
    std::fprintf(stderr, "net: relay: %s: %u more %s in the last %u s\n", DottedAddress(host).c_str(), a.unlogged,
                 a.unloggedWhy, Since(now, a.quietFrom) / 1000);
    a.unlogged = 0;
    a.quiet = true;
    a.quietFrom = now;
    a.quietUntil = now + QuietMs;
}

void NetRelayHost::LogAbout(uint32_t host, const std::string& line, const char* why) {
    Address& a = AddressOf(host);
    const uint32_t now = enet_time_get();
    EndQuiet(host, a, now);
    if (a.quiet) {
        ++a.unlogged;
        a.unloggedWhy = why;
        return;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
    a.quiet = true;
    a.quietFrom = now;
    a.quietUntil = now + QuietMs;
}

void NetRelayHost::Refuse(ENetPeer* peer, uint8_t reason, const std::string& why) {
    static const char* const counted[] = {"refusals", "refusals (the session is full)",
                                          "refusals (as many participants from the address as it may hold)",
                                          "refusals (the address joins too fast)"};
    LogAbout(peer->address.host, "net: relay: refused " + PeerAddress(peer) + ": " + why,
             counted[reason <= NetRefusalLast ? reason : 0]);
    // A graceful disconnection carries the reason; the peer is freed when the client acknowledges
    // it, or by the deadline of attempts that hold a peer.
    enet_peer_disconnect(peer, reason);
    ++refused_;
}

void NetRelayHost::Join(ENetPeer* peer) {
    const uint32_t now = enet_time_get();
    Address& a = AddressOf(peer->address.host);
    a.joins = std::min(static_cast<double>(limits_.perAddress),
                       a.joins + static_cast<double>(Since(now, a.joinsAt)) / 1000.0 * NetRelayJoinsPerSecond);
    a.joinsAt = now;
    if (clients_.size() >= NetRelayMaxParticipants) {
        Refuse(peer, NetRefusalSessionFull,
               "the session is full (" + std::to_string(NetRelayMaxParticipants) + " participants)");
        return;
    }
    if (a.participants >= limits_.perAddress) {
        Refuse(peer, NetRefusalAddressFull,
               "the address holds " + std::to_string(a.participants) + " participants, as many as one may");
        return;
    }
    if (a.joins < 1.0) {
        Refuse(peer, NetRefusalJoiningTooFast, "the address joins too fast");
        return;
    }
    a.joins -= 1.0;
    ++a.participants;
    // What this address left of a budget comes back with it: the emptiest first.
    Budget budget;
    budget.at = now;
    if (!a.leftBehind.empty()) {
        for (Budget& b : a.leftBehind) b.Fill(now);
        auto emptiest = std::min_element(a.leftBehind.begin(), a.leftBehind.end(),
                                         [](const Budget& x, const Budget& y) {
                                             return x.messages + x.bytes / 1024.0 < y.messages + y.bytes / 1024.0;
                                         });
        budget = *emptiest;
        a.leftBehind.erase(emptiest);
    }
    peer->data = this;  // a participant
    // Ids are handed out here: on loopback every client may have the same address.
    Client joined{peer,
                  {nextId_++, peer->address.port, peer->address.host},
                  static_cast<uint16_t>(peer->incomingPeerID),
                  budget};
    joined.heardAt = now;
    SendHostMessage(joined.peer, NetIdConnectionAccepted, joined);
    // Each announcement is answered with a model and a state.
    for (Client& c : clients_) {
        SendHostMessage(joined.peer, NetIdRemoteExistingConnection, c);
        joined.owed = std::min(NetRelayMostAnswersOwed, joined.owed + 1);
        SendHostMessage(c.peer, NetIdRemoteNewConnection, joined);
        c.owed = std::min(NetRelayMostAnswersOwed, c.owed + 1);
    }
    clients_.push_back(joined);
}

void NetRelayHost::Leave(size_t index) {
    Client gone = clients_[index];
    clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(index));
    gone.peer->data = nullptr;
    Address& a = AddressOf(gone.id.address);
    if (a.participants > 0) --a.participants;
    gone.budget.Fill(enet_time_get());
    if (gone.budget.Full()) return;
    // Kept until it has filled up again; an address keeps no more than it may hold participants,
    // the fullest giving way.
    if (a.leftBehind.size() >= limits_.perAddress) {
        auto fullest = std::max_element(a.leftBehind.begin(), a.leftBehind.end(), [](const Budget& x, const Budget& y) {
            return x.messages + x.bytes / 1024.0 < y.messages + y.bytes / 1024.0;
        });
        *fullest = gone.budget;
        return;
    }
    a.leftBehind.push_back(gone.budget);
}

void NetRelayHost::Drop(size_t index, const char* why) {
    const Client gone = clients_[index];
    std::fprintf(stderr, "net: relay: participant %u at %s %s; disconnected\n", gone.id.binaryAddress,
                 PeerAddress(gone.peer).c_str(), why);
    Leave(index);
    // Reset at once: whatever it still sends is ignored, and no disconnection event follows.
    enet_peer_disconnect_now(gone.peer, 0);
    for (const Client& c : clients_) SendHostMessage(c.peer, NetIdConnectionLost, gone);
    ++dropped_;
}

bool NetRelayHost::Relay(size_t from, const uint8_t* data, size_t length) {
    Client& sender = clients_[from];
    // One of the four messages, of its own size, from its own sender (0 before the host's answer
    // gave the client its id); anything else is not relayed.
    bool wellFormed = false;
    if (length >= 8 && data[1] == 0 && data[2] == 0 && data[3] == 0) {
        for (const auto& m : kRelayedMessages) wellFormed = wellFormed || (data[0] == m.id && length == m.size);
        const uint32_t senderId = GetU32(data + 4);
        wellFormed = wellFormed && (senderId == 0 || senderId == sender.id.binaryAddress);
    }
    const uint32_t now = enet_time_get();
    sender.heardAt = now;
    sender.budget.Fill(now);
    // A model answering an announcement, and the state after it, are paid by the announcement.
    bool answer = false;
    if (wellFormed && data[0] == 82 && sender.owed > 0) {
        --sender.owed;
        sender.answeredModels = std::min(NetRelayMostAnswersOwed, sender.answeredModels + 1);
        answer = true;
    } else if (wellFormed && (data[0] == 83 || data[0] == 84) && sender.answeredModels > 0) {
        --sender.answeredModels;
        answer = true;
    }
    if (!answer) {
        sender.budget.messages -= 1.0;
        sender.budget.bytes -= static_cast<double>(length);
    }
    if (sender.budget.messages < 0.0 || sender.budget.bytes < 0.0) {
        Drop(from, "went over its budget of relayed messages");
        return false;
    }
    if (!wellFormed) {
        sender.budget.malformed -= 1.0;
        if (sender.budget.malformed < 0.0) {
            Drop(from, "kept sending malformed messages");
            return false;
        }
        return true;
    }
    for (const Client& c : clients_)
        if (c.peer != sender.peer) SendTo(c.peer, sender, data, static_cast<uint32_t>(length));
    return true;
}

void NetRelayHost::Expire() {
    const uint32_t now = enet_time_get();
    for (size_t i = clients_.size(); i-- > 0;) {
        if (Since(now, clients_[i].heardAt) <= limits_.idleMs) continue;
        const std::string why = "sent nothing for " + std::to_string(limits_.idleMs / 1000) + " s";
        Drop(i, why.c_str());
    }
    // A peer that is neither free nor a participant is an attempt under way, one refused and not
    // yet gone, or one on its way out: none holds its peer for long.
    for (size_t i = 0; i < host_->peerCount && i < loose_.size(); ++i) {
        ENetPeer* peer = &host_->peers[i];
        Loose& l = loose_[i];
        if (peer->state == ENET_PEER_STATE_DISCONNECTED || peer->data != nullptr) {
            l.tracked = false;
            continue;
        }
        if (!l.tracked || l.connectId != peer->connectID) {
            l = {now, peer->connectID, true};
            continue;
        }
        if (Since(now, l.since) <= NetRelayHalfOpenMs) continue;
        // A refused participant's or a dropped one's end was logged already.
        const bool attempt = peer->state <= ENET_PEER_STATE_CONNECTION_SUCCEEDED;
        if (attempt)
            LogAbout(peer->address.host,
                 "net: relay: let go of " + PeerAddress(peer) + ": its connection attempt did not finish within " +
                     std::to_string(NetRelayHalfOpenMs / 1000) + " s",
                     "connection attempts that did not finish");
        enet_peer_reset(peer);
        l.tracked = false;
    }
    if (Since(now, lastTidy_) < TidyMs) return;
    lastTidy_ = now;
    for (auto it = addresses_.begin(); it != addresses_.end();) {
        Address& a = it->second;
        EndQuiet(it->first, a, now);
        for (Budget& b : a.leftBehind) b.Fill(now);
        a.leftBehind.erase(std::remove_if(a.leftBehind.begin(), a.leftBehind.end(), [](const Budget& b) { return b.Full(); }),
                           a.leftBehind.end());
        const bool rested = a.joins + static_cast<double>(Since(now, a.joinsAt)) / 1000.0 * NetRelayJoinsPerSecond >=
                            static_cast<double>(limits_.perAddress);
        if (a.participants == 0 && a.leftBehind.empty() && !a.quiet && rested)
            it = addresses_.erase(it);
        else
            ++it;
    }
}

void NetRelayHost::Service(uint32_t timeoutMs) {
    if (host_ == nullptr) return;
    ENetEvent event;
    uint32_t wait = timeoutMs;
    for (int handled = 0; handled < MaxEventsPerService && enet_host_service(host_, &event, wait) > 0; ++handled) {
        wait = 0;
        if (event.type == ENET_EVENT_TYPE_CONNECT) {
            Join(event.peer);
        } else if (event.type == ENET_EVENT_TYPE_DISCONNECT) {
            for (size_t i = 0; i < clients_.size(); ++i) {
                if (clients_[i].peer != event.peer) continue;
                const Client left = clients_[i];
                Leave(i);
                for (const Client& c : clients_) SendHostMessage(c.peer, NetIdDisconnection, left);
                break;
            }
            event.peer->data = nullptr;
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
    Expire();
    enet_host_flush(host_);
}
