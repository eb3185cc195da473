// The console's commands, typed into the console window through the toolkit's key routing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "camera/camera.h"
#include "character/entity.h"
#include "character/fixture.h"
#include "collision/collide.h"
#include "core/config.h"
#include "core/input.h"
#include "datakit/movement.h"
#include "effects/sfx.h"
#include "effects/sfxdef.h"
#include "game/consolecmds.h"
#include "net/netclient.h"
#include "objects/base3d.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "platform/enetclient.h"
#include "platform/wincodes.h"
#include "ui/console.h"
#include "ui/menu.h"
#include "ui/wnd.h"
#include "world/framepass.h"

namespace {

std::vector<std::string> gCalls;
void FakeQuit() { gCalls.push_back("quit"); }
bool FakeConnect(const char* host) {
    gCalls.push_back(std::string("connect ") + host);
    return true;
}
void FakeChat(const char* line) { gCalls.push_back(std::string("chat ") + line); }
constexpr ConsoleCommandTargets kFakes = {FakeQuit, FakeConnect, FakeChat};

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override {
        DestroyAllWnds();
        ResetConsoleCommands();
        RegisterConsoleCommands();
        SetConsoleCommandTargets(kFakes);
        gCalls.clear();
    }
    void TearDown() override {
        ResetConsoleCommands();
        DestroyAllWnds();
    }
    // Typed as the window procedure hands characters on: to the focus window.
    static void Type(const char* line) {
        ToggleConsoleIfHidden();
        for (const char* c = line; *c != 0; ++c) SendCharToFocusWnd(FocusWnd, static_cast<uint8_t>(*c));
        SendCharToFocusWnd(FocusWnd, 13);
    }
    static void ToggleConsoleIfHidden() {
        if (ConsoleWnd->visible == 0) ToggleConsole();
    }
    // The log from the line that was the input line when `lineCount` was read, without the new
    // input line.
    static std::vector<std::string> Log(uint32_t lineCount) {
        const uint32_t from = lineCount - 1;
        std::vector<std::string> out;
        for (uint32_t i = from; i + 1 < ConsoleWnd->lineCount; ++i) out.emplace_back(ConsoleWnd->lines[i]);
        return out;
    }
};

TEST_F(ConsoleTest, StartsHiddenWithTheTwelveCommandsInOrder) {
    ASSERT_NE(ConsoleWnd, nullptr);
    EXPECT_EQ(ConsoleWnd->visible, 0u);
    EXPECT_EQ(ConsoleWnd->depthKey, 1000.0f);
    EXPECT_STREQ(ConsoleWnd->text, "Console");
    const char* names[] = {"?", "Edit", "Exit", "Bump", "Zik", "Pos", "List", "StartState", "StopState",
                           "SetSpeed", "Connect", ""};
    ASSERT_EQ(ConsoleWnd->commandCount, 12u);
    for (uint32_t i = 0; i < 12; ++i) EXPECT_STREQ(ConsoleWnd->commands[i].name, names[i]);
    // Registered once per run.
    RegisterConsoleCommands();
    EXPECT_EQ(ConsoleWnd->commandCount, 12u);
    EXPECT_EQ(WndCount, 1u);
}

TEST_F(ConsoleTest, QuestionMarkListsEveryCommand) {
    const uint32_t before = ConsoleWnd->lineCount;
    Type("?");
    const std::vector<std::string> log = Log(before);
    ASSERT_EQ(log.size(), 15u);  // the typed line, the header, twelve entries, the footer
    EXPECT_EQ(log[0], "?");
    EXPECT_EQ(log[1], "--------------------- Command List ---------------------");
    EXPECT_EQ(log[2], "? ( List all Commands )");
    EXPECT_EQ(log[11], "SetSpeed ( Arg: float factor mul. Set the Speed Factor of MainPlayer )");
    EXPECT_EQ(log[13], " ( Send your message to all connected Player )");
    EXPECT_EQ(log[14], "--------------------------------------------------------");
}

TEST_F(ConsoleTest, CommandsChangeWhatTheyName) {
    NztEntity* player = CreateEntity(nullptr);
    ASSERT_NE(player, nullptr);
    PlayerEntity = player;
    struct Case {
        const char* line;
        std::vector<std::string> calls;
    };
    UserConfig.bumpMapping = 1;
    Type("Bump");  // no argument: nothing
    EXPECT_EQ(UserConfig.bumpMapping, 1u);
    Type("bump Off");
    EXPECT_EQ(UserConfig.bumpMapping, 0u);
    Type("Bump On");
    EXPECT_EQ(UserConfig.bumpMapping, 1u);

    Type("Pos 3");
    EXPECT_EQ(player->Position[0], 650.0f);
    EXPECT_EQ(player->Position[1], 410.0f);
    EXPECT_EQ(player->Position[2], 390.0f);
    EXPECT_EQ(player->PreviousPosition[0], 650.0f);
    for (const char* line : {"Pos 0", "Pos 10", "Pos"}) {
        Type(line);
        EXPECT_EQ(player->Position[0], 650.0f) << line;
    }
    // The player's own speed factor, which its movement reads, not a copy beside it.
    player->speedFactor = player->speedFactorTarget = 1.0f;
    Type("SetSpeed 2.5");
    EXPECT_EQ(player->speedFactorTarget, 2.5f);
    EXPECT_EQ(player->speedFactor, 2.5f);
    Type("SetSpeed");
    EXPECT_EQ(player->speedFactorTarget, 2.5f);
    for (const char* bad : {"SetSpeed inf", "SetSpeed nan"}) {
        Type(bad);
        EXPECT_EQ(player->speedFactor, 2.5f) << bad;
    }

    const Case cases[] = {
        {"eXiT", {"quit"}},
        {"Connect 10.1.2.3", {"connect 10.1.2.3"}},
        {"Connect", {}},
        {"Edit", {}},
        {"StartState 1", {}},
        {"hello there", {"chat hello there"}},  // no command: the whole line to chat
        {" Exit", {"chat  Exit"}},              // a leading blank: the word is empty
        {"", {"chat "}},
    };
    for (const Case& c : cases) {
        gCalls.clear();
        Type(c.line);
        EXPECT_EQ(gCalls, c.calls) << c.line;
    }
    PlayerEntity = nullptr;
    RemoveAllEntities();
}

TEST_F(ConsoleTest, ListingsAndPrintingReplaceTheTypedText) {
    const uint32_t before = ConsoleWnd->lineCount;
    Type("List Entities");
    const std::vector<std::string> log = Log(before);
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(log[1], std::string(57, '-'));
    EXPECT_EQ(log[2], "Nb Entities: 0");

    ToggleConsoleIfHidden();
    for (const char* c = "half typ"; *c != 0; ++c) SendCharToFocusWnd(FocusWnd, static_cast<uint8_t>(*c));
    ConsolePrint("news");
    EXPECT_STREQ(ConsoleWnd->lines[ConsoleWnd->lineCount - 2], "news");
    EXPECT_STREQ(ConsoleWnd->lines[ConsoleWnd->inputLine], "");
}

// The registry holds more than mesh objects: effects are listed by their type's name, and whatever
// has no name of its own is named by its kind, never by bytes read from the wrong object.
TEST_F(ConsoleTest, ListObjectsNamesEffectsAndNamelessObjectsReadably) {
    RemoveAllSfx();
    FreeAllSfxDefs();
    FreeObjectLists();
    ClearObjectLists();
    AllocObjectLists();
    NztScnObject bare;  // no mesh
    ASSERT_EQ(RegisterObject(&bare), 1u);
    ASSERT_NE(AddSfxType("Smoke"), nullptr);
    ASSERT_NE(NewSfx(CreateSfxDef()), nullptr);  // an effect on a definition of no type

    const uint32_t before = ConsoleWnd->lineCount;
    Type("List Objects");
    const std::vector<std::string> log = Log(before);
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(log[2], "Nb Objects: 3");
    // Last registered first.
    EXPECT_EQ(log[4], "(particle effect without a name)");
    EXPECT_EQ(log[5], "Smoke");
    EXPECT_EQ(log[6], "(scene object without a name)");

    UnregisterObject(&bare);
    RemoveAllSfx();
    FreeAllSfxDefs();
    FreeObjectLists();
    ClearObjectLists();
}

TEST_F(ConsoleTest, ClosingTheConsoleHidesItAndCtrlCBringsItBack) {
    ToggleConsole();
    ASSERT_EQ(FocusWnd, ConsoleWnd);
    const int32_t closeX = static_cast<int32_t>(ConsoleWnd->screenRight) - 8;
    const int32_t closeY = static_cast<int32_t>(ConsoleWnd->screenTop) + 8;
    DispatchLButtonDownToWnds(closeX, closeY, MK_LBUTTON);
    DispatchLButtonUpToWnds(closeX, closeY, 0);
    ASSERT_NE(ConsoleWnd, nullptr);
    EXPECT_EQ(ConsoleWnd->visible, 0u);
    ToggleConsole();
    EXPECT_EQ(ConsoleWnd->visible, 1u);
    // Destroyed with every window: nothing points at it afterwards.
    DestroyAllWnds();
    EXPECT_EQ(ConsoleWnd, nullptr);
}

// Services the relay and the game's client until done() or two seconds have passed.
bool PumpUntil(NetRelayHost& relay, const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < end) {
        relay.Service(1);
        ProcessNetworkPackets();
        if (done()) return true;
    }
    return false;
}

class NetConsole : public ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        InitNetworkGlobals();
        SetConsoleCommandTargets(EngineConsoleTargets);
    }
    void TearDown() override {
        if (NetClient != nullptr) {
            NetClient->Disconnect(0, 0);
            DestroyNetClientInterface(NetClient);
        }
        InitNetworkGlobals();
        ConsoleTest::TearDown();
    }
};

TEST_F(NetConsole, ConnectReachesTheRelayAndChatReachesTheOtherPlayer) {
    NetRelayHost relay;
    ASSERT_TRUE(relay.Start(0, true));
    NetServerPort = relay.Port();
    Type("Connect 127.0.0.1");
    ASSERT_TRUE(PumpUntil(relay, [&] { return relay.ClientCount() == 1 && Network.ownId != 0; }));

    NetClientInterface other;
    ASSERT_TRUE(other.Connect("127.0.0.1", relay.Port(), 0, 0, 100));
    ASSERT_TRUE(PumpUntil(relay, [&] {
        while (NetPacket* p = other.Receive()) other.DeallocatePacket(p);
        return relay.ClientCount() == 2 && other.GetPlayerID().binaryAddress != 0;
    }));
    Type("hello from the console");
    std::string heard;
    ASSERT_TRUE(PumpUntil(relay, [&] {
        while (NetPacket* p = other.Receive()) {
            if (p->length > 8 && p->data[0] == NetMsgText)
                heard.assign(reinterpret_cast<const char*>(p->data + 8), strnlen(reinterpret_cast<const char*>(p->data + 8), p->length - 8));
            other.DeallocatePacket(p);
        }
        return !heard.empty();
    }));
    EXPECT_EQ(heard, "hello from the console");
    other.Disconnect(0, 0);
}

// What keeps an attempt from starting is said at once, in one line after the typed one.
TEST_F(NetConsole, ConnectWithoutAUsableAddressSaysSoAtOnce) {
    const struct {
        const char* typed;
        const char* said;
    } cases[] = {
        {"Connect", "Connect: give the host's address (ex: Connect 192.168.0.2 or Connect 192.168.0.2:60000)"},
        {"Connect no such host.invalid", "Connect: cannot reach \"no such host.invalid\": unknown address or no network"},
        {"Connect 127.0.0.1:port", "Connect: cannot reach \"127.0.0.1:port\": unknown address or no network"},
        {"Connect 127.0.0.1:70000", "Connect: cannot reach \"127.0.0.1:70000\": unknown address or no network"},
    };
    for (const auto& c : cases) {
        const uint32_t before = ConsoleWnd->lineCount;
        Type(c.typed);
        const std::vector<std::string> log = Log(before);
        ASSERT_EQ(log.size(), 2u) << c.typed;
        EXPECT_EQ(log[1], c.said);
        EXPECT_EQ(NetClient, nullptr);
    }
}

}  // namespace

namespace {

// "SetSpeed" reaches the hero's own movement and stays: typed while the hero walks, five seconds
// of walking at factor 3 cover three times the ground of five seconds without it.

class ConsoleSpeed : public CharacterWorld {
protected:
    void SetUp() override {
        CharacterWorld::SetUp();
        UseSampleData();
        for (const auto& [name, bytes] : datakit::SampleMovementFiles())
            ASSERT_TRUE(datakit::WriteModelFile(temp.path() + name, bytes));
        ClearKeyStates();
        std::fill(std::begin(ActionEnabled), std::end(ActionEnabled), uint8_t{1});
        ClearPadStates();
        const float behind[9] = {-1, 0, 0, 0, 1, 0, 0, 0, -1};
        std::copy(behind, behind + 9, MainCamera.inverse);
        savedCameraMode = CameraMode;
        CameraMode = 1;
        DestroyAllWnds();
        ResetConsoleCommands();
        RegisterConsoleCommands();
    }
    void TearDown() override {
        ResetConsoleCommands();
        DestroyAllWnds();
        ClearKeyStates();
        ClearPadStates();
        const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        std::copy(identity, identity + 9, MainCamera.inverse);
        CameraMode = savedCameraMode;
        FreeCollideGrid();
        CharacterWorld::TearDown();
    }
    // A flat floor 2000 units square under the origin.
    static void Floor() {
        NztMesh* mesh = CreateMeshData();
        const Vec3 v[4] = {{-1000, 0, -1000}, {-1000, 0, 1000}, {1000, 0, -1000}, {1000, 0, 1000}};
        for (const Vec3& p : v) mesh->CollisionVertices.push_back(p);
        mesh->CollisionTriangles = {0, 1, 2, 2, 1, 3};
        mesh->CollisionTriangleWords = {1, 1};
        mesh->CollisionVertexCount = 4;
        mesh->CollisionTriangleCount = 2;
        mesh->PosedCollisionVertices = mesh->CollisionVertices;
        const float box[6] = {-1000, 0, -1000, 1000, 0, 1000};
        std::copy(box, box + 6, mesh->OwnCollisionBounds);
        NztScnObject* o = CreateScnObject(mesh);
        o->CopyCollision(mesh);
        o->UpdateCollision();
        o->registered = 1;
        BuildCollideGrid();
    }
    NztEntity* Hero() {
        NztEntity* hero = GetEntityType("Hero1001");
        if (hero == nullptr) return nullptr;
        SetPlayerEntity(hero);
        hero->inputDriven = 1;
        hero->animStateMachine = 1;
        hero->SetYaw(0);
        const float at[3] = {0.0f, 0.0f, -150.0f};
        hero->SetPosition(at);
        return hero;
    }
    void Frame(bool forward) {
        std::memcpy(KeyStates.previousActions, KeyStates.actions, kGameActionCount);
        std::memset(KeyStates.actions, 0, kGameActionCount);
        if (forward) KeyStates.actions[kActionForward] = 1;
        FrameAccumulators.tickA = frame_ % 5 == 0 ? 0.0f : 0.05f;
        ++frame_;
        UpdateObjects();
        LateUpdateObjects();
    }
    // Distance walked north over n frames.
    float Walk(NztEntity* hero, int n) {
        const float from = hero->Position[2];
        for (int i = 0; i < n; ++i) Frame(true);
        return hero->Position[2] - from;
    }
    static void Type(const char* line) {
        if (ConsoleWnd->visible == 0) ToggleConsole();
        for (const char* c = line; *c != 0; ++c) SendCharToFocusWnd(FocusWnd, static_cast<uint8_t>(*c));
        SendCharToFocusWnd(FocusWnd, 13);
    }
    int frame_ = 0;
    int32_t savedCameraMode = 0;
};

TEST_F(ConsoleSpeed, SetSpeedMakesTheWalkingHeroCoverThreeTimesTheGround) {
    Floor();
    NztEntity* hero = Hero();
    ASSERT_NE(hero, nullptr);
    Walk(hero, 60);  // into a steady walk
    const float plain = Walk(hero, 250);
    ASSERT_GT(plain, 50.0f);
    Type("SetSpeed 3");
    const float fast = Walk(hero, 250);
    EXPECT_NEAR(fast / plain, 3.0f, 0.15f) << "plain " << plain << ", after SetSpeed 3 " << fast;
    EXPECT_FLOAT_EQ(hero->speedFactor, 3.0f);
}

}  // namespace
