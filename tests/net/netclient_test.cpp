#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "character/entity.h"
#include "core/paths.h"
#include "datakit/mesh.h"
#include "game/consolecmds.h"
#include "game/frame.h"
#include "model/anim.h"
#include "model/animlib.h"
#include "model/mesh.h"
#include "net/netclient.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "platform/timer.h"
#include "ui/console.h"
#include "ui/wnd.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutU32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutF32(Bytes& b, size_t at, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    PutU32(b, at, bits);
}
uint32_t GetU32(const uint8_t* p) { return uint32_t{p[0]} | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }
float GetF32(const uint8_t* p) {
    const uint32_t bits = GetU32(p);
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

Bytes Message(uint8_t id, uint32_t size, uint32_t sender) {
    Bytes b(size, 0);
    b[0] = id;
    if (size >= 8) PutU32(b, 4, sender);
    return b;
}
Bytes State(uint32_t sender, float x, float y, float z, int32_t anim = 0) {
    Bytes b = Message(NetMsgState, NetStateMessageSize, sender);
    PutU32(b, 8, static_cast<uint32_t>(anim));
    PutF32(b, 20, x);
    PutF32(b, 24, y);
    PutF32(b, 28, z);
    PutF32(b, 32, 1.0f);
    return b;
}
Bytes FullState(uint32_t sender, int32_t parentId, int32_t point) {
    Bytes b = Message(NetMsgFullState, NetFullStateMessageSize, sender);
    PutU32(b, 20, static_cast<uint32_t>(parentId));
    PutU32(b, 36, static_cast<uint32_t>(point));
    PutF32(b, 52, 1.0f);
    return b;
}
Bytes Model(uint32_t sender, const char* name, uint32_t set) {
    Bytes b = Message(ID_LGNET_NETOBJ_MESH, NetMeshMessageSize, sender);
    std::memcpy(b.data() + 8, name, std::min<size_t>(std::strlen(name), NetModelNameLength));
    PutU32(b, 40, set);
    return b;
}

void Deliver(Bytes bytes, uint32_t about = 0) {
    NetPacket packet;
    packet.playerId.binaryAddress = about;
    packet.length = static_cast<uint32_t>(bytes.size());
    packet.data = bytes.empty() ? nullptr : bytes.data();
    HandleNetworkPacket(packet);
}

// Sample characters in a data folder of the test's own; every table empty before and after.
class RemotePlayers : public ::testing::Test {
protected:
    void SetUp() override {
        Clear();
        std::string pattern = ::testing::TempDir() + "qv_net_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern + "/";
        for (const auto& [name, bytes] : datakit::SampleModelFiles())
            ASSERT_TRUE(datakit::WriteModelFile(folder + name, bytes));
        ASSERT_TRUE(SetDataFolder(folder.c_str()));
        FrameTiming.frameTime = 0.02f;
    }
    void TearDown() override {
        Clear();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    static void Clear() {
        InitNetworkGlobals();
        PlayerEntity = nullptr;
        RemoveAllEntities();
        DeleteAllMeshData();
        DeleteAllAnims();
        FreeTypeTables();
        FreeObjectLists();
        ClearObjectLists();
    }
    std::string folder;
};
// The same on the loopback network.
class NetSession : public RemotePlayers {};

// ---------------------------------------------------------------------------------------------
// Packets

TEST_F(RemotePlayers, PacketTable) {
    NztEntity* carrier = CreateEntity(nullptr);
    carrier->id = 42;
    carrier->attachPoints.resize(3);
    Bytes unterminatedName = Model(7, "", 1);
    std::memset(unterminatedName.data() + 8, 'A', NetModelNameLength);
    Bytes unterminatedText = Message(NetMsgText, 20, 7);
    std::memset(unterminatedText.data() + 8, 'x', 12);
    Bytes stateCut = State(7, 5, 5, 5);
    stateCut.pop_back();
    Bytes fullCut = FullState(7, 42, 1);
    fullCut.pop_back();
    Bytes modelCut = Model(7, "HERO", 1);
    modelCut.pop_back();

    struct Step {
        const char* what;
        Bytes bytes;
        uint32_t about;
        std::function<void()> check;
    };
    auto record = [] { return FindRemotePlayer(7); };
    const std::vector<Step> steps = {
        {"empty packet", {}, 0, [] { EXPECT_EQ(RemotePlayerCount, 0u); }},
        {"state before the announcement", State(7, 1, 1, 1), 0, [] { EXPECT_EQ(RemotePlayerCount, 0u); }},
        {"one-byte state", {NetMsgState}, 0, [] {}},
        {"one-byte full state", {NetMsgFullState}, 0, [] {}},
        {"one-byte model", {ID_LGNET_NETOBJ_MESH}, 0, [] {}},
        {"one-byte text", {NetMsgText}, 0, [] {}},
        {"unknown id", {200, 1, 2}, 0, [] { EXPECT_EQ(RemotePlayerCount, 0u); }},
        {"announcement", Message(NetIdRemoteNewConnection, 12, 7), 7, [] { ASSERT_EQ(RemotePlayerCount, 1u); }},
        {"state cut short", stateCut, 0, [&] { EXPECT_EQ(record()->animationChanged, 0); }},
        {"full state cut short", fullCut, 0, [&] { EXPECT_EQ(record()->parentId, -1); }},
        {"model cut short", modelCut, 0, [&] { EXPECT_EQ(record()->object, nullptr); }},
        {"text without terminator", unterminatedText, 0, [] {}},
        {"model name without terminator", unterminatedName, 0, [&] { EXPECT_EQ(record()->object->mesh->Name[31], 0); }},
        {"model", Model(7, "HERO", 1), 0, [&] {
             ASSERT_NE(record()->object, nullptr);
             EXPECT_STREQ(record()->object->mesh->Name, "HERO");
         }},
        {"state", State(7, 3, 4, 5, 2), 0, [&] {
             EXPECT_EQ(record()->position[1], 4.0f);
             EXPECT_EQ(record()->animation, 2);
             EXPECT_EQ(record()->animationChanged, 1);
         }},
        {"full state", FullState(7, 42, 1), 0, [&] {
             EXPECT_EQ(record()->parentId, 42);
             EXPECT_EQ(record()->attachPoint, 1);
             EXPECT_EQ(record()->parentChanged, 1);
         }},
        {"state for another id", State(8, 9, 9, 9), 0, [&] { EXPECT_EQ(record()->position[0], 0.0f); }},
        {"departure of another id", Message(NetIdDisconnection, 12, 8), 8, [] { EXPECT_EQ(RemotePlayerCount, 1u); }},
        {"departure", Message(NetIdConnectionLost, 12, 7), 7, [] { EXPECT_EQ(RemotePlayerCount, 0u); }},
    };
    ::testing::internal::CaptureStderr();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        Deliver(step.bytes, step.about);
        step.check();
    }
    ::testing::internal::GetCapturedStderr();
    // The departed participant's characters went with it; the carrier stays.
    ASSERT_EQ(EntityCount, 1u);
    EXPECT_EQ(EntityList[0], carrier);
}

TEST_F(RemotePlayers, LaterAnnouncementOfAnIdTakesTheStates) {
    Deliver(Message(NetIdRemoteExistingConnection, 12, 7), 7);
    Deliver(Message(NetIdRemoteNewConnection, 12, 7), 7);
    ASSERT_EQ(RemotePlayerCount, 2u);
    Deliver(State(7, 1, 2, 3));
    EXPECT_EQ(::RemotePlayers[0]->animationChanged, 0);
    EXPECT_EQ(::RemotePlayers[1]->animationChanged, 1);
}

TEST_F(RemotePlayers, SameModelKeepsTheCharacterAnotherReplacesIt) {
    Deliver(Message(NetIdRemoteNewConnection, 12, 7), 7);
    Deliver(Model(7, "HERO", 1));
    NztBaseObject* first = FindRemotePlayer(7)->object;
    ASSERT_NE(first, nullptr);
    Deliver(Model(7, "hero", 1));
    EXPECT_EQ(FindRemotePlayer(7)->object, first);
    EXPECT_EQ(EntityCount, 1u);
    Deliver(Model(7, "NZT", 1));
    ASSERT_NE(FindRemotePlayer(7)->object, nullptr);
    EXPECT_STREQ(FindRemotePlayer(7)->object->mesh->Name, "NZT");
    EXPECT_EQ(EntityCount, 1u);
}

TEST_F(RemotePlayers, ReleasedCharacterLeavesNoDanglingRecord) {
    Deliver(Message(NetIdRemoteNewConnection, 12, 7), 7);
    Deliver(Model(7, "HERO", 1));
    RemoveAllEntities();
    EXPECT_EQ(FindRemotePlayer(7)->object, nullptr);
    Deliver(State(7, 1, 2, 3));
    ApplyRemoteStates();
}

// ---------------------------------------------------------------------------------------------
// Remote characters

TEST_F(RemotePlayers, RemoteCharacterClosesTheGapOrJumps) {
    struct Case {
        float frameTime;
        float target;
        float expected;
    };
    const Case cases[] = {
        {0.02f, 100.0f, 20.0f},   // 20 % a frame at 50 frames per second
        {0.1f, 100.0f, 100.0f},   // at 10 frames per second the whole gap
        {0.5f, 100.0f, 100.0f},
        {0.02f, 999.0f, 199.8f},  // just inside the jump distance
        {0.02f, 1000.0f, 1000.0f},
    };
    Deliver(Message(NetIdRemoteNewConnection, 12, 7), 7);
    Deliver(Model(7, "HERO", 1));
    NztBaseObject* character = FindRemotePlayer(7)->object;
    ASSERT_NE(character, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const float origin[3] = {0, 0, 0};
        character->SetPosition(origin);
        FrameTiming.frameTime = c.frameTime;
        Deliver(State(7, c.target, 0, 0));
        ApplyRemoteStates();
        EXPECT_NEAR(character->Position[0], c.expected, 1e-3f);
    }
    EXPECT_EQ(character->networkRecord, FindRemotePlayer(7));
}

TEST_F(RemotePlayers, StateAfterFullStatesDetaches) {
    NztEntity* carrier = CreateEntity(nullptr);
    carrier->id = 42;
    carrier->attachPoints.resize(3);
    Deliver(Message(NetIdRemoteNewConnection, 12, 7), 7);
    Deliver(Model(7, "HERO", 1));
    NztBaseObject* character = FindRemotePlayer(7)->object;
    ASSERT_NE(character, nullptr);
    Deliver(FullState(7, 42, 2));
    ApplyRemoteStates();
    EXPECT_EQ(character->parent, carrier);
    EXPECT_EQ(FindRemotePlayer(7)->parent, carrier);
    Deliver(FullState(7, 42, 2));
    ApplyRemoteStates();
    EXPECT_EQ(character->parent, carrier);
    Deliver(State(7, 0, 0, 0));
    ApplyRemoteStates();
    EXPECT_EQ(character->parent, nullptr);
    EXPECT_EQ(carrier->attachPoints[2].Target, nullptr);
}

TEST_F(RemotePlayers, AttachingToItselfIsRefused) {
    Deliver(Message(NetIdRemoteNewConnection, 12, 7), 7);
    Deliver(Model(7, "HERO", 1));
    NztBaseObject* character = FindRemotePlayer(7)->object;
    ASSERT_NE(character, nullptr);
    character->id = 5;
    Deliver(FullState(7, 5, 0));
    ApplyRemoteStates();
    EXPECT_EQ(character->parent, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Sending (an interface that never connected takes the sends and drops them)

TEST_F(RemotePlayers, UnchangedStateIsNotSentAgain) {
    NetClient = new NetClientInterface;
    NztEntity* player = GetEntityType("Hero1001");
    ASSERT_NE(player, nullptr);
    ASSERT_GT(player->layers.size(), 3u);
    PlayerEntity = player;
    const float at[3] = {1, 2, 3};
    player->SetPosition(at);
    uint8_t* sent = Network.stateMessage;
    auto mark = [&] { sent[20] = 0xEE; };
    auto resent = [&] { return sent[20] != 0xEE; };

    SendObjectStates(1);
    EXPECT_EQ(GetF32(sent + 24), 2.0f);
    mark();
    SendObjectStates(0);
    EXPECT_FALSE(resent()) << "standing still";
    player->layers[3].BoneIndex += 3;
    SendObjectStates(0);
    EXPECT_FALSE(resent()) << "bone group alone";
    SendObjectStates(1);
    EXPECT_TRUE(resent()) << "forced";
    EXPECT_EQ(static_cast<int32_t>(GetU32(sent + 16)), player->layers[3].BoneIndex);
    mark();
    const float moved[3] = {1, 2, 4};
    player->SetPosition(moved);
    SendObjectStates(0);
    EXPECT_TRUE(resent()) << "moved";
}

TEST_F(RemotePlayers, PlayerWithoutLayersSendsMinusOne) {
    NetClient = new NetClientInterface;
    PlayerEntity = CreateEntity(nullptr);
    SendObjectStates(1);
    for (int at : {8, 12, 16}) EXPECT_EQ(GetU32(Network.stateMessage + at), 0xFFFFFFFFu) << at;
}

TEST_F(RemotePlayers, LongNamesAndTextsKeepTheirTerminator) {
    NetClient = new NetClientInterface;
    NztEntity* player = CreateEntity(nullptr);
    PlayerEntity = player;
    NztMesh mesh;
    std::memset(mesh.Name, 'M', 40);
    player->mesh = &mesh;
    SendNetObjMesh();
    player->mesh = nullptr;
    EXPECT_EQ(strnlen(reinterpret_cast<const char*>(Network.meshMessage + 8), 32), 31u);
    const std::string text(2000, 't');
    SendNetworkText(text.c_str());
    EXPECT_EQ(strnlen(reinterpret_cast<const char*>(Network.textMessage + 8), 1024), 1023u);
}

TEST_F(RemotePlayers, NothingIsSentWithoutAPlayerOrAConnection) {
    // Every send buffer is marked past its id; a send that builds its message overwrites the mark.
    auto mark = [] {
        for (auto [buffer, size] : {std::pair{Network.stateMessage, NetStateMessageSize},
                                    std::pair{Network.fullStateMessage, NetFullStateMessageSize},
                                    std::pair{Network.meshMessage, NetMeshMessageSize},
                                    std::pair{Network.textMessage, NetTextMessageSize}})
            std::memset(buffer + 1, 0xAB, size - 1);
    };
    auto untouched = [](const uint8_t* buffer, uint32_t size) {
        return std::all_of(buffer + 1, buffer + size, [](uint8_t b) { return b == 0xAB; });
    };
    auto sendAll = [] {
        SendPlayerState(1);
        SendObjectStates(1);
        SendObjectStatesFull(1);
        SendNetObjMesh();
        SendNetworkText("hello");
    };
    NztEntity* player = GetEntityType("Hero1001");
    ASSERT_NE(player, nullptr);
    NztEntity* carrier = CreateEntity(nullptr);
    carrier->attachPoints.resize(2);
    player->AttachTo(carrier, 1, ObjectKindEntity);
    ASSERT_EQ(player->parent, carrier);

    struct Case {
        const char* what;
        NztEntity* player;
        bool connection;
        bool sends;
    };
    const Case cases[] = {
        {"a player without a connection", player, false, false},
        {"a connection without a player", nullptr, true, false},
        {"both (the marks can be overwritten)", player, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PlayerEntity = c.player;
        if (c.connection && NetClient == nullptr) NetClient = new NetClientInterface;
        mark();
        sendAll();
        EXPECT_EQ(untouched(Network.stateMessage, NetStateMessageSize), !c.sends);
        EXPECT_EQ(untouched(Network.fullStateMessage, NetFullStateMessageSize), !c.sends);
        EXPECT_EQ(untouched(Network.meshMessage, NetMeshMessageSize), !c.sends);
        // Text needs the connection alone.
        EXPECT_EQ(untouched(Network.textMessage, NetTextMessageSize), !c.connection);
    }
    player->Detach();
}

// ---------------------------------------------------------------------------------------------
// Sessions on loopback

// Services the relay and the game's client until done() or the limit has passed.
bool PumpUntil(NetRelayHost& relay, const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(2)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        relay.Service(1);
        ProcessNetworkPackets();
        if (done()) return true;
    }
    return false;
}

TEST_F(NetSession, TwoClientsSeeEachOthersStates) {
    NetRelayHost relay;
    ASSERT_TRUE(relay.Start(0, true));
    NetServerPort = relay.Port();
    NztEntity* player = GetEntityType("Hero1001");
    ASSERT_NE(player, nullptr);
    PlayerEntity = player;
    const float at[3] = {1, 2, 3};
    player->SetPosition(at);
    ASSERT_TRUE(StartNetworkSession("127.0.0.1"));
    ASSERT_TRUE(PumpUntil(relay, [] { return Network.ownId != 0; }));

    // The other participant speaks the wire format directly.
    NetClientInterface other;
    ASSERT_TRUE(other.Connect("127.0.0.1", relay.Port(), 0, 0, 100));
    std::vector<Bytes> heard;
    auto listen = [&] {
        while (NetPacket* p = other.Receive()) {
            heard.emplace_back(p->data, p->data + p->length);
            other.DeallocatePacket(p);
        }
    };
    ASSERT_TRUE(PumpUntil(relay, [&] {
        listen();
        return other.GetPlayerID().binaryAddress != 0 && RemotePlayerCount == 1;
    }));
    const uint32_t otherId = other.GetPlayerID().binaryAddress;
    EXPECT_NE(otherId, Network.ownId);
    ASSERT_NE(FindRemotePlayer(otherId), nullptr);

    Bytes model = Model(otherId, "HERO", 1);
    other.Send(model.data(), static_cast<uint32_t>(model.size()));
    Bytes state = State(otherId, 7, 8, 9);
    other.Send(state.data(), static_cast<uint32_t>(state.size()));
    FrameTiming.frameTime = 0.1f;
    ASSERT_TRUE(PumpUntil(relay, [&] {
        listen();
        const RemotePlayerRecord* r = FindRemotePlayer(otherId);
        return r != nullptr && r->object != nullptr && r->object->Position[1] == 8.0f;
    }));
    EXPECT_EQ(FindRemotePlayer(otherId)->object->networkRecord, FindRemotePlayer(otherId));

    // What the game sent on the arrival: its model and its state, with its own id.
    ASSERT_TRUE(PumpUntil(relay, [&] {
        listen();
        for (const Bytes& b : heard)
            if (b.size() == NetStateMessageSize && b[0] == NetMsgState) return true;
        return false;
    }));
    bool sawModel = false;
    for (const Bytes& b : heard) {
        if (b.empty() || (b[0] != NetMsgState && b[0] != ID_LGNET_NETOBJ_MESH)) continue;
        EXPECT_EQ(GetU32(b.data() + 4), Network.ownId);
        if (b[0] == ID_LGNET_NETOBJ_MESH) {
            sawModel = true;
            EXPECT_STREQ(reinterpret_cast<const char*>(b.data() + 8), "HERO");
        } else {
            EXPECT_EQ(GetF32(b.data() + 20), 1.0f);
            EXPECT_EQ(GetF32(b.data() + 28), 3.0f);
        }
    }
    EXPECT_TRUE(sawModel);

    // The other leaves: its record and its character go.
    other.Disconnect(0, 0);
    ASSERT_TRUE(PumpUntil(relay, [] { return RemotePlayerCount == 0; }));
    EXPECT_EQ(EntityCount, 1u);
}

TEST_F(NetSession, ShutdownClearsEverything) {
    NetRelayHost relay;
    ASSERT_TRUE(relay.Start(0, true));
    NetServerPort = relay.Port();
    ASSERT_TRUE(StartNetworkSession("127.0.0.1"));
    ASSERT_TRUE(PumpUntil(relay, [] { return Network.ownId != 0; }));
    Deliver(Message(NetIdRemoteNewConnection, 12, 99), 99);
    Deliver(Model(99, "HERO", 1));
    ASSERT_EQ(EntityCount, 1u);

    NetClient->Disconnect(0, 0);
    DestroyNetClientInterface(NetClient);
    EXPECT_EQ(NetClient, nullptr);
    EXPECT_EQ(RemotePlayerCount, 0u);
    EXPECT_EQ(EntityCount, 0u);
    EXPECT_EQ(Network.ownId, 0u);
    ASSERT_TRUE(PumpUntil(relay, [&] { return relay.ClientCount() == 0; }));
}

TEST_F(NetSession, NewSessionReplacesTheCurrentOne) {
    NetRelayHost relay;
    ASSERT_TRUE(relay.Start(0, true));
    NetServerPort = relay.Port();
    ASSERT_TRUE(StartNetworkSession("127.0.0.1"));
    ASSERT_TRUE(PumpUntil(relay, [&] { return relay.ClientCount() == 1 && Network.ownId != 0; }));
    Deliver(Message(NetIdRemoteNewConnection, 12, 99), 99);
    ASSERT_TRUE(StartNetworkSession("127.0.0.1"));
    EXPECT_EQ(RemotePlayerCount, 0u);
    EXPECT_EQ(Network.ownId, 0u);
    // The first connection is closed: the host ends up with the new one alone.
    ASSERT_TRUE(PumpUntil(relay, [&] { return relay.ClientCount() == 1 && Network.ownId != 0; }));
    const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (std::chrono::steady_clock::now() < settle) relay.Service(1);
    EXPECT_EQ(relay.ClientCount(), 1u);
}

TEST_F(NetSession, RefusedConnectionIsReportedAndKeepsPolling) {
    NetRelayHost probe;
    ASSERT_TRUE(probe.Start(0, true));
    NetServerPort = probe.Port();
    probe.Stop();  // nothing listens there now
    ASSERT_TRUE(StartNetworkSession("127.0.0.1"));
    bool failed = false;
    // A silent host is given 7.5 s to answer (the first resend after 5 s).
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(15);
    while (!failed && std::chrono::steady_clock::now() < end) {
        NetPacket* p = NetClient->Receive();
        if (p == nullptr) continue;
        failed = p->length == 1 && p->data[0] == NetIdConnectionFailed;
        NetClient->DeallocatePacket(p);
    }
    EXPECT_TRUE(failed);
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(waited, 5.0);
    EXPECT_LT(waited, 12.0);
    EXPECT_NE(NetClient, nullptr);
    ProcessNetworkPackets();
}

TEST_F(NetSession, BadHostNameFails) {
    EXPECT_FALSE(StartNetworkSession("no such host.invalid"));
    EXPECT_EQ(NetClient, nullptr);
}

// The host's link ends: every participant it had announced leaves the table with it.
TEST_F(NetSession, ALostHostTakesEveryParticipantWithIt) {
    NetRelayHost relay;
    ASSERT_TRUE(relay.Start(0, true));
    NetServerPort = relay.Port();
    ASSERT_TRUE(StartNetworkSession("127.0.0.1"));
    ASSERT_TRUE(PumpUntil(relay, [] { return Network.ownId != 0; }));
    NetClientInterface a, b;
    ASSERT_TRUE(a.Connect("127.0.0.1", relay.Port(), 0, 0, 100));
    ASSERT_TRUE(b.Connect("127.0.0.1", relay.Port(), 0, 0, 100));
    auto drain = [&] {
        for (NetClientInterface* c : {&a, &b})
            while (NetPacket* p = c->Receive()) c->DeallocatePacket(p);
    };
    ASSERT_TRUE(PumpUntil(relay, [&] {
        drain();
        return RemotePlayerCount == 2;
    }));
    relay.Stop();
    ASSERT_TRUE(PumpUntil(relay, [] { return RemotePlayerCount == 0; }));
    EXPECT_NE(NetClient, nullptr);  // the interface stays and keeps polling
    EXPECT_FALSE(NetClient->IsConnected());
}

// One participant floods the host with messages of every kind as fast as it can, reconnecting
// whenever it is thrown out, while raw datagrams of noise hit the host's port; two honest
// participants (the game's client and a bare one) go on exchanging states. After ten seconds both
// are still connected and up to date, the flooder has been thrown out, and it is not left in the
// game's table.
TEST_F(NetSession, AFloodingParticipantIsDroppedAndTheOthersCarryOn) {
    NetRelayHost relay;
    ASSERT_TRUE(relay.Start(0, true));
    NetServerPort = relay.Port();
    NztEntity* player = GetEntityType("Hero1001");
    ASSERT_NE(player, nullptr);
    PlayerEntity = player;
    ASSERT_TRUE(StartNetworkSession("127.0.0.1"));
    ASSERT_TRUE(PumpUntil(relay, [] { return Network.ownId != 0; }));

    NetClientInterface other;
    ASSERT_TRUE(other.Connect("127.0.0.1", relay.Port(), 0, 0, 100));
    uint32_t heardFromGame = 0;
    float lastHeardX = -1.0f;
    auto listen = [&] {
        while (NetPacket* p = other.Receive()) {
            if (p->length == NetStateMessageSize && p->data[0] == NetMsgState && GetU32(p->data + 4) == Network.ownId) {
                ++heardFromGame;
                lastHeardX = GetF32(p->data + 20);
            }
            other.DeallocatePacket(p);
        }
    };
    ASSERT_TRUE(PumpUntil(relay, [&] {
        listen();
        return other.GetPlayerID().binaryAddress != 0 && RemotePlayerCount == 1;
    }));
    const uint32_t otherId = other.GetPlayerID().binaryAddress;

    std::atomic<bool> stop{false};
    std::atomic<uint32_t> flooderSent{0};
    const uint16_t port = relay.Port();
    std::thread flooder([&] {
        std::mt19937 random(20261210);
        NetClientInterface f;
        const int udp = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::vector<uint8_t> m(2048);
        bool linked = false;
        auto lastAttempt = std::chrono::steady_clock::now() - std::chrono::seconds(1);
        while (!stop) {
            while (NetPacket* p = f.Receive()) f.DeallocatePacket(p);
            if (!f.IsConnected() && std::chrono::steady_clock::now() - lastAttempt > std::chrono::milliseconds(200)) {
                // Thrown out (or never in): come back.
                linked = f.Connect("127.0.0.1", port, 0, 0, 100);
                lastAttempt = std::chrono::steady_clock::now();
            }
            for (int i = 0; i < 64 && linked && f.IsConnected(); ++i) {
                const uint32_t kind = random() % 4;
                uint32_t length = 0;
                if (kind == 0) {  // anything at all
                    length = 1 + random() % 1500;
                    for (uint32_t k = 0; k < length; ++k) m[k] = static_cast<uint8_t>(random());
                } else {  // one of the relayed messages, well-formed, cut, or in another's name
                    static const uint32_t sizes[] = {NetTextMessageSize, NetMeshMessageSize, NetStateMessageSize,
                                                     NetFullStateMessageSize};
                    const uint32_t which = random() % 4;
                    length = kind == 1 ? sizes[which] : 1 + random() % sizes[which];
                    std::fill(m.begin(), m.begin() + length, 0);
                    m[0] = static_cast<uint8_t>(NetMsgText + which);
                    if (length >= 8) {
                        const uint32_t sender = kind == 3 ? otherId : f.GetPlayerID().binaryAddress;
                        for (int k = 0; k < 4; ++k) m[4 + k] = static_cast<uint8_t>(sender >> (8 * k));
                    }
                    if (which == 2 && length >= 24)
                        for (int k = 0; k < 4; ++k) m[20 + k] = 0xFF;  // a position no honest state has
                }
                if (f.Send(m.data(), length)) ++flooderSent;
            }
            for (int i = 0; i < 8 && udp >= 0; ++i) {
                const size_t n = 1 + random() % 512;
                for (size_t k = 0; k < n; ++k) m[k] = static_cast<uint8_t>(random());
                sendto(udp, m.data(), n, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
            }
        }
        f.Disconnect(0, 0);
        if (udp >= 0) close(udp);
    });

    // Ten seconds of play: both honest participants move and send a state every 0.1 s.
    FrameTiming.frameTime = 0.1f;
    float otherX = 0.0f, gameX = 0.0f;
    auto nextSend = std::chrono::steady_clock::now();
    const auto end = nextSend + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        relay.Service(1);
        ProcessNetworkPackets();
        listen();
        if (std::chrono::steady_clock::now() >= nextSend) {
            nextSend += std::chrono::milliseconds(100);
            otherX += 1.0f;
            Bytes state = State(otherId, otherX, 0, 0);
            other.Send(state.data(), static_cast<uint32_t>(state.size()));
            gameX += 1.0f;
            const float at[3] = {gameX, 0.0f, 0.0f};
            player->SetPosition(at);
            SendObjectStates(0);
        }
    }
    stop = true;
    flooder.join();

    EXPECT_GT(flooderSent.load(), 500u);
    EXPECT_GE(relay.DroppedCount(), 1u);
    ASSERT_NE(NetClient, nullptr);
    EXPECT_TRUE(NetClient->IsConnected());
    EXPECT_TRUE(other.IsConnected());
    // What each honest participant sent last reaches the other, and only it moved the character.
    ASSERT_TRUE(PumpUntil(relay, [&] {
        listen();
        const RemotePlayerRecord* r = FindRemotePlayer(otherId);
        return r != nullptr && r->position[0] == otherX && lastHeardX == gameX && RemotePlayerCount == 1;
    })) << "game heard x=" << (FindRemotePlayer(otherId) ? FindRemotePlayer(otherId)->position[0] : -1.0f)
        << " of " << otherX << ", other heard x=" << lastHeardX << " of " << gameX << " (" << heardFromGame
        << " states), participants " << RemotePlayerCount;
    EXPECT_GT(heardFromGame, 50u);
    EXPECT_EQ(relay.ClientCount(), 2u);
}

// Well-formed states, but far more than anyone sends: the host relays the burst it allows, then
// disconnects the sender with one line naming it, and the others drop it from their tables.
TEST_F(NetSession, AParticipantOverItsBudgetIsDisconnectedAndForgotten) {
    NetRelayHost relay;
    ASSERT_TRUE(relay.Start(0, true));
    NetServerPort = relay.Port();
    ASSERT_TRUE(StartNetworkSession("127.0.0.1"));
    ASSERT_TRUE(PumpUntil(relay, [] { return Network.ownId != 0; }));
    NetClientInterface loud;
    ASSERT_TRUE(loud.Connect("127.0.0.1", relay.Port(), 0, 0, 100));
    auto drain = [&] {
        while (NetPacket* p = loud.Receive()) loud.DeallocatePacket(p);
    };
    ASSERT_TRUE(PumpUntil(relay, [&] {
        drain();
        return loud.GetPlayerID().binaryAddress != 0 && RemotePlayerCount == 1;
    }));
    const uint32_t loudId = loud.GetPlayerID().binaryAddress;
    const Bytes state = State(loudId, 1, 2, 3);
    for (int i = 0; i < 4 * static_cast<int>(NetRelayMessageBurst); ++i)
        loud.Send(state.data(), static_cast<uint32_t>(state.size()));
    ::testing::internal::CaptureStderr();
    const bool dropped = PumpUntil(relay, [&] {
        drain();
        return relay.DroppedCount() == 1 && RemotePlayerCount == 0;
    });
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(dropped) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("net: relay: participant " + std::to_string(loudId) + " at 127.0.0.1:"), std::string::npos)
        << err;
    EXPECT_NE(err.find("over its budget"), std::string::npos) << err;
    EXPECT_EQ(relay.ClientCount(), 1u);
    EXPECT_TRUE(NetClient->IsConnected());
}

// ---------------------------------------------------------------------------------------------
// A full session

// Bare participants that only listen; each keeps what it heard from one sender.
struct Crowd {
    std::vector<std::unique_ptr<NetClientInterface>> clients;
    std::vector<std::vector<Bytes>> heard;
    uint32_t listenTo = 0;  // 0: nobody

    bool Join(size_t count, uint16_t port) {
        for (size_t i = 0; i < count; ++i) {
            clients.push_back(std::make_unique<NetClientInterface>());
            if (!clients.back()->Connect("127.0.0.1", port, 0, 0, 100)) return false;
        }
        heard.resize(clients.size());
        return true;
    }
    void Drain() {
        for (size_t i = 0; i < clients.size(); ++i)
            while (NetPacket* p = clients[i]->Receive()) {
                if (listenTo != 0 && p->length >= 8 && GetU32(p->data + 4) == listenTo)
                    heard[i].emplace_back(p->data, p->data + p->length);
                clients[i]->DeallocatePacket(p);
            }
    }
    bool AllAccepted() const {
        return std::all_of(clients.begin(), clients.end(),
                           [](const auto& c) { return c->IsConnected() && c->GetPlayerID().binaryAddress != 0; });
    }
    // Whether every client heard a message of this id and size.
    bool AllHeard(uint8_t id, uint32_t size) const {
        return std::all_of(heard.begin(), heard.end(), [&](const std::vector<Bytes>& h) {
            return std::any_of(h.begin(), h.end(), [&](const Bytes& b) { return b.size() == size && b[0] == id; });
        });
    }
};

// The console's lines, without the input line.
std::vector<std::string> ConsoleLines() {
    std::vector<std::string> out;
    if (ConsoleWnd == nullptr) return out;
    for (uint32_t i = 0; i < ConsoleWnd->lineCount; ++i)
        if (i != ConsoleWnd->inputLine && ConsoleWnd->lines[i] != nullptr) out.emplace_back(ConsoleWnd->lines[i]);
    return out;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The same with a console that shows what the client logs.
class NetConsoleSession : public NetSession {
protected:
    void SetUp() override {
        NetSession::SetUp();
        DestroyAllWnds();
        ResetConsoleCommands();
        RegisterConsoleCommands();
        ASSERT_NE(ConsoleWnd, nullptr);
    }
    void TearDown() override {
        ResetConsoleCommands();
        DestroyAllWnds();
        NetSession::TearDown();
    }
};

// A client that joins 63 others owes each a model and a state at once (127 messages with its
// first state); the host lets it pay them and every other participant hears both.
TEST_F(NetSession, AJoinerOfAFullSessionKeepsItsPlaceAndEveryoneHearsItsAnswers) {
    NetRelayHost relay;
    // Every player of this session is on this machine, so one address holds them all.
    ASSERT_TRUE(relay.Start(0, true, NetRelayLimits{NetRelayMaxParticipants}));
    NetServerPort = relay.Port();
    Crowd crowd;
    ASSERT_TRUE(crowd.Join(NetRelayMaxParticipants - 1, relay.Port()));
    ASSERT_TRUE(PumpUntil(relay, [&] {
        crowd.Drain();
        return crowd.AllAccepted();
    }, std::chrono::seconds(30)));

    NztEntity* player = GetEntityType("Hero1001");
    ASSERT_NE(player, nullptr);
    PlayerEntity = player;
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(StartNetworkSession("127.0.0.1"));
    const bool joined = PumpUntil(relay, [&] {
        crowd.listenTo = Network.ownId;
        crowd.Drain();
        return Network.ownId != 0 && RemotePlayerCount == NetRelayMaxParticipants - 1;
    }, std::chrono::seconds(30));
    const bool answered = joined && PumpUntil(relay, [&] {
        crowd.Drain();
        return crowd.AllHeard(ID_LGNET_NETOBJ_MESH, NetMeshMessageSize) && crowd.AllHeard(NetMsgState, NetStateMessageSize);
    }, std::chrono::seconds(30));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(joined) << err;
    EXPECT_TRUE(answered) << err;
    EXPECT_EQ(relay.DroppedCount(), 0u) << err;
    EXPECT_EQ(relay.ClientCount(), NetRelayMaxParticipants);
    ASSERT_NE(NetClient, nullptr);
    EXPECT_TRUE(NetClient->IsConnected());
}

// One more than the host takes is refused at once: one line in the player's console saying why,
// one line from the host naming the address; the 64 inside stay.
TEST_F(NetConsoleSession, The65thPlayerIsToldTheSessionIsFull) {
    NetRelayHost relay;
    // Every player of this session is on this machine, so one address holds them all.
    ASSERT_TRUE(relay.Start(0, true, NetRelayLimits{NetRelayMaxParticipants}));
    Crowd crowd;
    ASSERT_TRUE(crowd.Join(NetRelayMaxParticipants, relay.Port()));
    ASSERT_TRUE(PumpUntil(relay, [&] {
        crowd.Drain();
        return crowd.AllAccepted();
    }, std::chrono::seconds(30)));

    const std::string server = "127.0.0.1:" + std::to_string(relay.Port());
    const std::string refused = "ID_CONNECTION_ATTEMPT_FAILED: Server:" + server + " / Index: 0 - the session is full";
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(StartNetworkSession(server.c_str()));
    // A silent host would take 7.5 s to give up.
    const bool told = PumpUntil(relay, [&] {
        crowd.Drain();
        return HasLine(ConsoleLines(), refused);
    }, std::chrono::seconds(3));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(told) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("net: relay: refused 127.0.0.1:", 0), 0u) << err;
    EXPECT_NE(err.find(": the session is full (64 participants)"), std::string::npos) << err;
    EXPECT_EQ(relay.RefusedCount(), 1u);
    EXPECT_EQ(relay.ClientCount(), NetRelayMaxParticipants);
    EXPECT_EQ(relay.DroppedCount(), 0u);
    ASSERT_NE(NetClient, nullptr);
    EXPECT_FALSE(NetClient->IsConnected());
    EXPECT_EQ(Network.ownId, 0u);
}

// What the console shows of a session: the host by its address and port, each participant by the
// host's id for it and its own address and port.
TEST_F(NetConsoleSession, LinesNameTheServerAndEachParticipant) {
    NetRelayHost relay;
    ASSERT_TRUE(relay.Start(0, true));
    NetServerPort = 1;  // the port written after the address wins
    const std::string server = "127.0.0.1:" + std::to_string(relay.Port());
    ASSERT_TRUE(StartNetworkSession(server.c_str()));
    ASSERT_TRUE(PumpUntil(relay, [] { return Network.ownId != 0; }));
    NetClientInterface other;
    ASSERT_TRUE(other.Connect("127.0.0.1", relay.Port(), 0, 0, 100));
    ASSERT_TRUE(PumpUntil(relay, [&] {
        while (NetPacket* p = other.Receive()) other.DeallocatePacket(p);
        return other.GetPlayerID().binaryAddress != 0 && RemotePlayerCount == 1;
    }));
    const NetPlayerID id = other.GetPlayerID();
    const std::string who = std::to_string(id.binaryAddress) + " (127.0.0.1:" + std::to_string(id.port) +
                            ") / Index: " + std::to_string(other.GetPlayerIndex());
    Bytes model = Model(id.binaryAddress, "HERO", 1);
    other.Send(model.data(), static_cast<uint32_t>(model.size()));
    ASSERT_TRUE(PumpUntil(relay, [&] { return HasLine(ConsoleLines(), "ID_LGNET_NETOBJ_MESH: PlayerID:" + who + ", NumSet: 1"); }))
        << ::testing::PrintToString(ConsoleLines());
    other.Disconnect(0, 0);
    ASSERT_TRUE(PumpUntil(relay, [] { return RemotePlayerCount == 0; }));

    const std::vector<std::string> lines = ConsoleLines();
    const std::string expected[] = {
        "ID_CONNECTION_REQUEST_ACCEPTED: Server:" + server + " / Index: " + std::to_string(Network.ownIndex),
        "ID_REMOTE_NEW_INCOMING_CONNECTION: PlayerID:" + who,
        "ID_LGNET_NETOBJ_MESH: PlayerID:" + who + ", NumSet: 1",
        "ID_DISCONNECTION_NOTIFICATION: PlayerID:" + who + " leave the server",
    };
    for (const std::string& line : expected) EXPECT_TRUE(HasLine(lines, line)) << line << "\n" << ::testing::PrintToString(lines);
}

// Every packet the client takes and the line it logs for it, for a participant the host named
// 7 at 127.0.0.1:5000, index 3, and for the host itself.
TEST_F(NetConsoleSession, EachPacketLogsItsLine) {
    NetPacket packet;
    const uint8_t loopback[4] = {127, 0, 0, 1};
    uint32_t address;
    std::memcpy(&address, loopback, 4);
    struct Case {
        Bytes bytes;
        bool fromHost;
        const char* line;  // null: none
    };
    Bytes text = Message(NetMsgText, NetTextMessageSize, 7);
    std::memcpy(text.data() + 8, "hi there", 8);
    const Case cases[] = {
        {{NetIdConnectionFailed}, true, "ID_CONNECTION_ATTEMPT_FAILED: Server:127.0.0.1:60000 / Index: 3"},
        {{NetIdConnectionFailed, NetRefusalSessionFull}, true,
         "ID_CONNECTION_ATTEMPT_FAILED: Server:127.0.0.1:60000 / Index: 3 - the session is full"},
        {{NetIdConnectionFailed, NetRefusalAddressFull}, true,
         "ID_CONNECTION_ATTEMPT_FAILED: Server:127.0.0.1:60000 / Index: 3 - too many players from this address"},
        {{NetIdConnectionFailed, NetRefusalJoiningTooFast}, true,
         "ID_CONNECTION_ATTEMPT_FAILED: Server:127.0.0.1:60000 / Index: 3 - joining too fast, try again in a second"},
        {{NetIdConnectionFailed, 99}, true, "ID_CONNECTION_ATTEMPT_FAILED: Server:127.0.0.1:60000 / Index: 3"},
        {Message(NetIdNewIncomingConnection, 12, 7), false, "ID_NEW_INCOMING_CONNECTION: PlayerID:7 (127.0.0.1:5000) / Index: 3"},
        {Message(NetIdStaticData, 12, 7), false, "ID_RECEIVED_STATIC_DATA: PlayerID: 7 (127.0.0.1:5000) / Index: 3"},
        {Message(NetIdRemoteNewConnection, 12, 7), false, "ID_REMOTE_NEW_INCOMING_CONNECTION: PlayerID:7 (127.0.0.1:5000) / Index: 3"},
        {Message(NetIdRemoteExistingConnection, 12, 7), false, "ID_REMOTE_EXISTING_CONNECTION: PlayerID:7 (127.0.0.1:5000) / Index: 3"},
        {Model(7, "HERO", 4), false, "ID_LGNET_NETOBJ_MESH: PlayerID:7 (127.0.0.1:5000) / Index: 3, NumSet: 4"},
        {text, false, "hi there"},
        {State(7, 1, 2, 3), false, nullptr},
        {FullState(7, -1, 0), false, nullptr},
        {Message(NetIdDisconnection, 12, 7), false,
         "ID_DISCONNECTION_NOTIFICATION: PlayerID:7 (127.0.0.1:5000) / Index: 3 leave the server"},
        {Message(NetIdConnectionLost, 12, 7), false, "ID_CONNECTION_LOST: PlayerID:7 (127.0.0.1:5000) / Index: 3 leave the server"},
        {Message(NetIdModifiedPacket, 12, 7), false, "ID_CONNECTION_LOST: PlayerID:7 (127.0.0.1:5000) / Index: 3 leave the server"},
        {{200, 0, 0}, false, "Message From Server : 200"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line != nullptr ? c.line : "no line");
        Bytes bytes = c.bytes;
        packet.playerId = c.fromHost ? NetPlayerID{0, 60000, address} : NetPlayerID{7, 5000, address};
        packet.playerIndex = 3;
        packet.length = static_cast<uint32_t>(bytes.size());
        packet.data = bytes.data();
        const std::vector<std::string> before = ConsoleLines();
        HandleNetworkPacket(packet);
        const std::vector<std::string> after = ConsoleLines();
        if (c.line == nullptr) {
            EXPECT_EQ(after, before);
        } else {
            ASSERT_EQ(after.size(), before.size() + 1);
            EXPECT_EQ(after.back(), c.line);
        }
    }
}

// Three animation slots of the object's mesh, each holding an animation of its own that no other
// slot holds (the index sent for an animation is that of its last slot): copies of the mesh's
// first animation go into empty slots. The mesh frees them with its slots.
std::vector<int32_t> DistinctSlots(NztBaseObject* object) {
    std::vector<int32_t> out;
    NztMesh* mesh = object->mesh;
    if (mesh == nullptr || object->animSlots == nullptr) return out;
    const NztAnim* source = nullptr;
    for (uint32_t i = 0; i < mesh->AnimSlotCount && source == nullptr; ++i) source = mesh->AnimSlots[i];
    if (source == nullptr) return out;
    for (uint32_t i = mesh->AnimSlotCount; i-- > 0 && out.size() < 3;) {
        if (mesh->AnimSlots[i] != nullptr) continue;
        NztAnim* copy = CreateAnim();
        std::snprintf(copy->Name, sizeof copy->Name, "copy%u", i);
        copy->FrameCount = source->FrameCount;
        copy->InvFrameCount = source->InvFrameCount;
        copy->BoneCount = source->BoneCount;
        copy->Frames = source->Frames;
        copy->KeyStore = source->KeyStore;
        mesh->AnimSlots[i] = copy;
        out.push_back(static_cast<int32_t>(i));
    }
    return out;
}

// Message 84 as it reaches another participant: the player hangs on point 1 of a carrier, both
// with animations on their base and on layer 3.
TEST_F(NetSession, FullStateAsSentCarriesTheCarrierAtItsOffsets) {
    NetRelayHost relay;
    ASSERT_TRUE(relay.Start(0, true));
    NetServerPort = relay.Port();
    NztEntity* player = GetEntityType("Hero1001");
    ASSERT_NE(player, nullptr);
    NztEntity* carrier = GetEntityType("Hero1001");
    ASSERT_NE(carrier, nullptr);
    ASSERT_NE(carrier, player);
    carrier->id = 42;
    if (carrier->attachPoints.size() < 2) carrier->attachPoints.resize(2);
    const std::vector<int32_t> slots = DistinctSlots(player);
    ASSERT_EQ(slots.size(), 3u);
    ASSERT_EQ(carrier->mesh, player->mesh);
    ASSERT_GT(player->layers.size(), 3u);
    player->currentAnim = player->animSlots[slots[1]];
    player->layers[3].Anim = player->animSlots[slots[2]];
    player->layers[3].BoneIndex = 5;
    carrier->currentAnim = carrier->animSlots[slots[2]];
    carrier->layers[3].Anim = carrier->animSlots[slots[0]];
    carrier->layers[3].BoneIndex = 6;
    const float at[3] = {10.5f, -20.25f, 30.0f};
    carrier->SetPosition(at);
    player->AttachTo(carrier, 1, ObjectKindEntity);
    ASSERT_EQ(player->parent, carrier);
    PlayerEntity = player;

    ASSERT_TRUE(StartNetworkSession("127.0.0.1"));
    ASSERT_TRUE(PumpUntil(relay, [] { return Network.ownId != 0; }));
    NetClientInterface other;
    ASSERT_TRUE(other.Connect("127.0.0.1", relay.Port(), 0, 0, 100));
    Bytes sent;
    // On the arrival the game answers with its model and its state: 84, since it is carried.
    ASSERT_TRUE(PumpUntil(relay, [&] {
        while (NetPacket* p = other.Receive()) {
            if (p->length > 0 && p->data[0] == NetMsgFullState) sent.assign(p->data, p->data + p->length);
            other.DeallocatePacket(p);
        }
        return !sent.empty();
    }));
    ASSERT_EQ(sent.size(), 68u);
    auto i32 = [&](size_t at) { return static_cast<int32_t>(GetU32(sent.data() + at)); };
    EXPECT_EQ(sent[0], 84);
    EXPECT_EQ(sent[1] | sent[2] | sent[3], 0);
    EXPECT_EQ(GetU32(sent.data() + 4), Network.ownId);
    EXPECT_EQ(i32(8), slots[1]);
    EXPECT_EQ(i32(12), slots[2]);
    EXPECT_EQ(i32(16), 5);
    EXPECT_EQ(i32(20), 42);
    EXPECT_EQ(i32(24), slots[2]);
    EXPECT_EQ(i32(28), slots[0]);
    EXPECT_EQ(i32(32), 6);
    EXPECT_EQ(i32(36), 1);
    EXPECT_EQ(GetF32(sent.data() + 40), 10.5f);
    EXPECT_EQ(GetF32(sent.data() + 44), -20.25f);
    EXPECT_EQ(GetF32(sent.data() + 48), 30.0f);
    // The carrier stands unturned: the identity quaternion, w first.
    EXPECT_EQ(GetF32(sent.data() + 52), 1.0f);
    for (size_t at : {56, 60, 64}) EXPECT_EQ(GetF32(sent.data() + at), 0.0f) << at;
    player->Detach();
}

// A performance counter that moves only when the test says so: one tick a microsecond.
class StepCounter final : public PerformanceCounterSource {
public:
    int64_t Frequency() const override { return 1'000'000; }
    int64_t Counter() const override { return now; }
    int64_t now = 5'000'000;
};

// The game frame sends the player's state each time 0.1 s of frames have passed (at 32 frames a
// second, every fourth frame), as 83 while free and as 84 while carried.
TEST_F(NetSession, TheGameFrameSendsTheStateEveryTenthOfASecond) {
    StepCounter counter;
    SetPerformanceCounterSource(&counter);
    InitFrameDefaults();
    InitMathTables();
    ResetFrameTimer();
    NetRelayHost relay;
    ASSERT_TRUE(relay.Start(0, true));
    NetServerPort = relay.Port();
    NztEntity* player = GetEntityType("Hero1001");
    ASSERT_NE(player, nullptr);
    PlayerEntity = player;
    NztEntity* carrier = CreateEntity(nullptr);
    carrier->attachPoints.resize(2);
    ASSERT_TRUE(StartNetworkSession("127.0.0.1"));
    ASSERT_TRUE(PumpUntil(relay, [] { return Network.ownId != 0; }));
    NetClientInterface other;
    ASSERT_TRUE(other.Connect("127.0.0.1", relay.Port(), 0, 0, 100));
    std::vector<Bytes> heard;
    auto listen = [&] {
        while (NetPacket* p = other.Receive()) {
            if (p->length > 0 && (p->data[0] == NetMsgState || p->data[0] == NetMsgFullState))
                heard.emplace_back(p->data, p->data + p->length);
            other.DeallocatePacket(p);
        }
    };
    ASSERT_TRUE(PumpUntil(relay, [&] {
        listen();
        return !heard.empty() && RemotePlayerCount == 1;
    }));

    // 32 frames of 1/32 s, the player (or its carrier) moving one unit a frame.
    auto play = [&](NztBaseObject* mover) {
        heard.clear();
        for (int frame = 1; frame <= 32; ++frame) {
            const float at[3] = {static_cast<float>(frame) + 1000.0f * (mover == carrier), 0.0f, 0.0f};
            mover->SetPosition(at);
            counter.now += 31'250;
            GameFrame();
            relay.Service(0);
        }
        EXPECT_TRUE(PumpUntil(relay, [&] {
            listen();
            return heard.size() >= 8;
        }));
        const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
        while (std::chrono::steady_clock::now() < settle) {
            relay.Service(1);
            listen();
        }
    };
    play(player);
    ASSERT_EQ(heard.size(), 8u);
    for (size_t i = 0; i < heard.size(); ++i) {
        EXPECT_EQ(heard[i][0], NetMsgState);
        EXPECT_EQ(GetF32(heard[i].data() + 20), static_cast<float>(4 * (i + 1))) << i;
    }
    player->AttachTo(carrier, 1, ObjectKindEntity);
    play(carrier);
    ASSERT_EQ(heard.size(), 8u);
    for (size_t i = 0; i < heard.size(); ++i) {
        EXPECT_EQ(heard[i][0], NetMsgFullState);
        EXPECT_EQ(GetF32(heard[i].data() + 40), 1000.0f + static_cast<float>(4 * (i + 1))) << i;
    }
    player->Detach();
    SetPerformanceCounterSource(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Animation layer 3 and the carried form on the receiving side

// A state with a layer 3 animation starts it on the character's layer 3 with its bone group; a
// later state with layer animation 0 leaves the layer as it is.
TEST_F(RemotePlayers, Layer3TakesTheReceivedAnimation) {
    Deliver(Message(NetIdRemoteNewConnection, 12, 7), 7);
    Deliver(Model(7, "HERO", 1));
    NztBaseObject* character = FindRemotePlayer(7)->object;
    ASSERT_NE(character, nullptr);
    ASSERT_GT(character->layers.size(), 3u);
    const std::vector<int32_t> slots = DistinctSlots(character);
    ASSERT_EQ(slots.size(), 3u);
    Bytes state = State(7, 0, 0, 0, slots[0]);
    PutU32(state, 12, static_cast<uint32_t>(slots[1]));
    PutU32(state, 16, 2);
    Deliver(state);
    ApplyRemoteStates();
    NztAnim* anim = character->animSlots[slots[1]];
    const NztAnimLayer& layer = character->layers[3];
    EXPECT_EQ(character->currentAnim, character->animSlots[slots[0]]);
    EXPECT_EQ(layer.Anim, anim);
    EXPECT_EQ(layer.BoneIndex, 2);
    EXPECT_EQ(layer.FrameCount, static_cast<int32_t>(anim->FrameCount));
    EXPECT_EQ(layer.Running, 1);
    EXPECT_EQ(layer.BlendMode, 4);
    EXPECT_EQ(layer.Weight, 1.0f);
    EXPECT_EQ(layer.StartWeight, 1.0f);
    EXPECT_EQ(layer.SecondFloat, 1.0f);
    EXPECT_EQ(layer.Frame, 0);
    EXPECT_EQ(layer.Time, 0.0f);

    character->layers[3].Frame = 3;  // the layer plays on
    PutU32(state, 12, 0);
    Deliver(state);
    ApplyRemoteStates();
    EXPECT_EQ(character->layers[3].Anim, anim);
    EXPECT_EQ(character->layers[3].Frame, 3);
}

// Carried, the received placement and the parent's animations go to the carrier, not to the
// character.
TEST_F(RemotePlayers, TheCarrierTakesTheCarriedForm) {
    NztEntity* carrier = GetEntityType("Hero1001");
    ASSERT_NE(carrier, nullptr);
    carrier->id = 42;
    if (carrier->attachPoints.size() < 3) carrier->attachPoints.resize(3);
    Deliver(Message(NetIdRemoteNewConnection, 12, 7), 7);
    Deliver(Model(7, "HERO", 1));
    NztBaseObject* character = FindRemotePlayer(7)->object;
    ASSERT_NE(character, nullptr);
    const std::vector<int32_t> slots = DistinctSlots(carrier);
    ASSERT_EQ(slots.size(), 3u);
    Bytes full = FullState(7, 42, 2);
    PutU32(full, 8, static_cast<uint32_t>(slots[1]));
    PutU32(full, 24, static_cast<uint32_t>(slots[0]));
    PutU32(full, 28, static_cast<uint32_t>(slots[1]));
    PutU32(full, 32, 3);
    PutF32(full, 40, 50.0f);
    const float origin[3] = {0, 0, 0};
    carrier->SetPosition(origin);
    FrameTiming.frameTime = 0.02f;
    Deliver(full);
    ApplyRemoteStates();
    ASSERT_EQ(character->parent, carrier);
    EXPECT_EQ(character->parentPoint, 2);
    EXPECT_EQ(character->currentAnim, character->GetAnim(static_cast<uint32_t>(slots[1])));
    EXPECT_EQ(carrier->currentAnim, carrier->animSlots[slots[0]]);
    EXPECT_EQ(carrier->layers[3].Anim, carrier->animSlots[slots[1]]);
    EXPECT_EQ(carrier->layers[3].BoneIndex, 3);
    // 20 % of the way at 50 frames a second.
    EXPECT_NEAR(carrier->Position[0], 10.0f, 1e-4f);
    character->Detach();
}

}  // namespace
