// Seeds for the client's reading of the relay host's packets: a session as a host runs it.
#include "seeds.h"

namespace {

using fuzzseeds::Bytes;

// One packet of the fuzz input: [u16 length][envelope][message].
void Packet(Bytes& out, uint32_t about, const Bytes& message) {
    Bytes p(8, 0);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(about >> (8 * i));
    p[4] = 0x60;  // port
    p[6] = static_cast<uint8_t>(about);  // index
    p.insert(p.end(), message.begin(), message.end());
    out.push_back(static_cast<uint8_t>(p.size()));
    out.push_back(static_cast<uint8_t>(p.size() >> 8));
    out.insert(out.end(), p.begin(), p.end());
}

// The host's own message about a participant: 16 bytes, or the 12-byte form.
Bytes HostMessage(uint8_t id, uint32_t about, bool withAddress = true) {
    Bytes m(withAddress ? 16 : 12, 0);
    m[0] = id;
    for (int i = 0; i < 4; ++i) m[4 + i] = static_cast<uint8_t>(about >> (8 * i));
    m[8] = 0x60;
    m[10] = static_cast<uint8_t>(about);
    if (withAddress) {
        m[12] = 127;
        m[15] = 1;
    }
    return m;
}

Bytes State(uint32_t sender) {
    Bytes m(48, 0);
    m[0] = 83;
    m[4] = static_cast<uint8_t>(sender);
    return m;
}

std::vector<std::pair<std::string, Bytes>> MakeHostMessageSeeds() {
    Bytes session{0};  // the link ends without a reason
    Packet(session, 5, HostMessage(16, 5));
    Packet(session, 2, HostMessage(32, 2));
    Packet(session, 3, HostMessage(32, 3, false));
    Packet(session, 6, HostMessage(31, 6));
    Packet(session, 2, State(2));
    Packet(session, 3, HostMessage(20, 3));
    Packet(session, 6, HostMessage(21, 6));
    Packet(session, 7, HostMessage(31, 7));

    Bytes refused{1};  // the session is full
    Bytes early{2};
    Packet(early, 9, HostMessage(31, 9));
    Packet(early, 9, HostMessage(31, 9));
    return {{"session", session}, {"refused", refused}, {"early", early}};
}

fuzzseeds::Registration hostMessageSeeds("hostmessage", MakeHostMessageSeeds);

}  // namespace
