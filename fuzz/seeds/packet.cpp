#include <cstring>

#include "seeds.h"

namespace {

using fuzzseeds::Bytes;

// One packet of the fuzz input: [u8 participant id][u16 length][bytes].
void Packet(Bytes& out, uint8_t about, const Bytes& bytes) {
    out.push_back(about);
    out.push_back(static_cast<uint8_t>(bytes.size()));
    out.push_back(static_cast<uint8_t>(bytes.size() >> 8));
    out.insert(out.end(), bytes.begin(), bytes.end());
}

Bytes Message(uint8_t id, size_t size, uint8_t sender) {
    Bytes b(size, 0);
    b[0] = id;
    if (size > 4) b[4] = sender;
    return b;
}

Bytes Model(uint8_t sender, const char* name) {
    Bytes b = Message(82, 44, sender);
    std::memcpy(b.data() + 8, name, std::strlen(name));
    b[40] = 1;
    return b;
}

Bytes FullState(uint8_t sender) {
    Bytes b = Message(84, 68, sender);
    b[20] = 1;   // parent id: the carrier
    b[36] = 1;   // attach point
    b[55] = 0x3F;  // w = 0.5
    return b;
}

std::vector<std::pair<std::string, Bytes>> MakePacketSeeds() {
    Bytes session;
    Packet(session, 7, Message(31, 12, 7));
    Packet(session, 7, Model(7, "HERO"));
    Packet(session, 0, Message(83, 48, 7));
    Packet(session, 0, FullState(7));
    Packet(session, 0, Message(83, 48, 7));
    Packet(session, 0, Message(81, 1032, 7));
    Packet(session, 7, Message(20, 12, 7));

    Bytes twice;
    Packet(twice, 3, Message(32, 12, 3));
    Packet(twice, 3, Message(18, 12, 3));
    Packet(twice, 0, Model(3, "NZT"));
    Packet(twice, 0, Model(3, "HERO"));
    Packet(twice, 0, FullState(3));
    Packet(twice, 3, Message(21, 12, 3));

    Bytes system;
    for (uint8_t id : {16, 17, 28, 30, 99})
        Packet(system, 0, Message(id, 12, 0));
    return {{"session", session}, {"twice", twice}, {"system", system}};
}

fuzzseeds::Registration packetSeeds("packet", MakePacketSeeds);

}  // namespace
