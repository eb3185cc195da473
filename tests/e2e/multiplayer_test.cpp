// Two games on the sample data meet through the relay host: each connects from its console, each
// sees the other's hero, and a chat line typed in one reaches the other.
#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace e2e;

namespace {

// The visible windows of the games, by X id.
std::vector<std::string> GameWindows() {
    std::vector<std::string> ids;
    FILE* pipe = popen("xdotool search --onlyvisible --name '^Quorvane$' 2>/dev/null", "r");
    if (pipe == nullptr) return ids;
    char line[64];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string id(line);
        while (!id.empty() && (id.back() == '\n' || id.back() == '\r')) id.pop_back();
        if (!id.empty()) ids.push_back(id);
    }
    pclose(pipe);
    return ids;
}

// Waits until the file holds the text.
bool AwaitText(const fs::path& file, const std::string& text, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (ReadFile(file).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

// A player at its own window. Without a window manager the keys go to the window that last took
// the focus (each game takes it when its window shows), so the focus is given explicitly, with the
// pointer over the window.
struct Player {
    fs::path err;
    int x = 0;
    std::string window;

    void Point() const {
        ASSERT_EQ(std::system(("xdotool mousemove " + std::to_string(x) + " 20 windowfocus " + window).c_str()), 0);
    }
    // Opens the console and types the line; the console keeps the keys afterwards.
    void TypeInConsole(const std::string& line, bool open) const {
        Point();
        if (open) {
            ASSERT_EQ(std::system("xdotool keydown ctrl+c sleep 0.3 keyup ctrl+c sleep 0.3"), 0);
        }
        ASSERT_EQ(std::system(("xdotool type --delay 80 '" + line + "'").c_str()), 0);
        ASSERT_EQ(std::system("xdotool key --delay 100 Return"), 0);
    }
};

class E2eMultiplayer : public E2eRun {
protected:
    std::unique_ptr<Child> StartPlayer(const std::string& name, const fs::path& err) {
        fs::create_directories(root_ / (name + "-work"));
        fs::create_directories(root_ / (name + "-user"));
        fs::copy_file(root_ / "user" / "QuorvaneGame.cfg", root_ / (name + "-user") / "QuorvaneGame.cfg",
                      fs::copy_options::overwrite_existing);
        // Its working folder's ../Datas is the sample data both games share.
        return std::make_unique<Child>(BinaryDir() / "quorvane", std::vector<std::string>{}, root_ / (name + "-work"),
                                       std::vector<std::string>{"USERPROFILE=" + (root_ / (name + "-user")).string(),
                                                                "QUORVANE_NO_MESSAGE_BOX=1", "QUORVANE_TRACE_MOVEMENT=1",
                                                                "QUORVANE_TRACE_NETWORK=1"},
                                       err);
    }
    // Waits until `count` game windows show; the newest is the one not in `known`.
    std::string AwaitWindow(const std::vector<std::string>& known, size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (std::chrono::steady_clock::now() < deadline) {
            const std::vector<std::string> ids = GameWindows();
            if (ids.size() >= count)
                for (const std::string& id : ids)
                    if (std::find(known.begin(), known.end(), id) == known.end()) return id;
            std::this_thread::sleep_for(100ms);
        }
        return {};
    }
};

TEST_F(E2eMultiplayer, TwoGamesSeeEachOtherThroughTheRelayHost) {
    ASSERT_NO_FATAL_FAILURE(MakeSampleData({}));
    ASSERT_TRUE(WriteWindowedConfig(0));

    // The relay host on a free loopback port, which it prints first.
    const fs::path portFile = root_ / "relay.port";
    Child relay("/bin/sh", {"-c", "exec '" + (BinaryDir() / "tools" / "relayhost").string() + "' --loopback 0 > '" +
                                      portFile.string() + "'"},
                root_, {}, root_ / "relay.err");
    ASSERT_TRUE(relay.started());
    ASSERT_TRUE(AwaitText(portFile, "\n", 30s)) << ReadFile(root_ / "relay.err");
    const std::string port = std::to_string(std::atoi(ReadFile(portFile).c_str()));
    ASSERT_NE(port, "0");

    // Two games, the second window moved beside the first (the display is 1280 wide).
    Player first{root_ / "first.err", 20, {}};
    Player second{root_ / "second.err", 660, {}};
    std::unique_ptr<Child> a = StartPlayer("first", first.err);
    first.window = AwaitWindow({}, 1);
    ASSERT_FALSE(first.window.empty()) << ReadFile(first.err);
    std::unique_ptr<Child> b = StartPlayer("second", second.err);
    second.window = AwaitWindow({first.window}, 2);
    ASSERT_FALSE(second.window.empty()) << ReadFile(second.err);
    ASSERT_EQ(std::system(("xdotool windowmove " + second.window + " 640 0").c_str()), 0);
    // Both run their frames before any key is sent.
    for (const Player* p : {&first, &second})
        ASSERT_TRUE(AwaitText(p->err, "movement: player at", 60s)) << ReadFile(p->err);

    // Connect from each console; a press a busy game did not see is made again.
    const std::string server = "127.0.0.1:" + port;
    for (const Player* p : {&first, &second}) {
        bool accepted = false;
        for (int attempt = 0; attempt < 3 && !accepted; ++attempt) {
            ASSERT_NO_FATAL_FAILURE(p->TypeInConsole("Connect " + server, true));
            accepted = AwaitText(p->err, "net: ID_CONNECTION_REQUEST_ACCEPTED: Server:" + server, 20s);
        }
        ASSERT_TRUE(accepted) << ReadFile(p->err) << "\nrelay:\n" << ReadFile(root_ / "relay.err");
    }

    // Each is told of the other (the host's numbers for them, at their real addresses) and makes a
    // character of the other's model.
    EXPECT_TRUE(AwaitText(first.err, "net: ID_REMOTE_NEW_INCOMING_CONNECTION: PlayerID:2 (127.0.0.1:", 30s))
        << ReadFile(first.err);
    EXPECT_TRUE(AwaitText(second.err, "net: ID_REMOTE_EXISTING_CONNECTION: PlayerID:1 (127.0.0.1:", 30s))
        << ReadFile(second.err);
    EXPECT_TRUE(AwaitText(first.err, "net: participant 2 shows as ", 30s)) << ReadFile(first.err);
    EXPECT_TRUE(AwaitText(second.err, "net: participant 1 shows as ", 30s)) << ReadFile(second.err);

    // A line that is not a command is chat: it shows in the other's console.
    ASSERT_NO_FATAL_FAILURE(first.TypeInConsole("hello from the first player", false));
    EXPECT_TRUE(AwaitText(second.err, "net: hello from the first player", 30s)) << ReadFile(second.err);

    EXPECT_TRUE(a->running()) << ReadFile(first.err);
    EXPECT_TRUE(b->running()) << ReadFile(second.err);
    EXPECT_EQ(ReadFile(root_ / "relay.err"), "");
}

}  // namespace
