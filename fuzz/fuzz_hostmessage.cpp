// What the multiplayer client reads from the relay host, from untrusted bytes: the envelope and the
// host's own 16-byte messages (and the 12-byte form) as Receive takes them, then the end of the link.
// The input is a reason byte for the end, then a run of packets, each [u16 length][length bytes].
// The client must report exactly the participants announced and not gone when the link ends.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/enetclient.h"

namespace {
uint32_t U32(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    NetClientInterface client;
    const uint32_t reason = data[0];
    std::vector<uint32_t> present;  // what the host announced and did not take back, in order
    bool accepted = false;
    size_t at = 1;
    while (at + 2 <= size) {
        size_t length = data[at] | size_t{data[at + 1]} << 8;
        at += 2;
        length = std::min(length, size - at);
        const uint8_t* bytes = data + at;
        at += length;
        NetPacket* packet = client.ReadHostPacket(bytes, length);
        if (length <= NetEnvelopeSize) {
            if (packet != nullptr) __builtin_trap();
            continue;
        }
        if (packet == nullptr || packet->length != length - NetEnvelopeSize ||
            std::memcmp(packet->data, bytes + NetEnvelopeSize, packet->length) != 0)
            __builtin_trap();
        const uint8_t* m = packet->data;
        if (packet->length >= NetHostMessageMinSize) {
            const uint32_t id = U32(m + 4);
            const auto it = std::find(present.begin(), present.end(), id);
            if ((m[0] == NetIdRemoteNewConnection || m[0] == NetIdRemoteExistingConnection) && it == present.end() &&
                present.size() < 4096)
                present.push_back(id);
            if ((m[0] == NetIdDisconnection || m[0] == NetIdConnectionLost) && it != present.end()) present.erase(it);
            if (m[0] == NetIdConnectionAccepted) {
                accepted = true;
                if (client.GetPlayerID().binaryAddress != id) __builtin_trap();
            }
        }
        client.DeallocatePacket(packet);
    }
    client.EndLink(reason);
    for (uint32_t id : present) {
        NetPacket* gone = client.Receive();
        if (gone == nullptr || gone->length != 1 || gone->data[0] != NetIdConnectionLost ||
            gone->playerId.binaryAddress != id)
            __builtin_trap();
        client.DeallocatePacket(gone);
    }
    NetPacket* end = client.Receive();
    if (end == nullptr || end->data[0] != (accepted ? NetIdConnectionLost : NetIdConnectionFailed)) __builtin_trap();
    const bool refused = !accepted && reason >= NetRefusalSessionFull && reason <= NetRefusalLast;
    if (end->length != (refused ? 2u : 1u) || (refused && end->data[1] != reason)) __builtin_trap();
    client.DeallocatePacket(end);
    if (client.Receive() != nullptr || client.IsConnected()) __builtin_trap();
    return 0;
}
