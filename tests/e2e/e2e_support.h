// What the end-to-end tests share: a child process of the program under test, file and key helpers,
// screenshot readers and the fixture that makes the sample data in a folder of its own.
#pragma once

#include <gtest/gtest.h>

#include "datakit/datakit.h"
#include "datakit/userconfig.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline fs::path BinaryDir() {
    const char* dir = std::getenv("QV_BINARY_DIR");
    return dir != nullptr ? fs::path(dir) : fs::path(QV_BINARY_DIR);
}

// A process of the program under test: started with its own folder, environment and stderr file,
// and never left running when the test ends.
class Child {
public:
    Child(const fs::path& program, const std::vector<std::string>& args, const fs::path& cwd,
          const std::vector<std::string>& extraEnv, const fs::path& stderrFile) {
        std::vector<std::string> argStrings{program.string()};
        argStrings.insert(argStrings.end(), args.begin(), args.end());
        std::vector<std::string> envStrings(extraEnv);
        for (char** e = environ; *e != nullptr; ++e) envStrings.emplace_back(*e);
        std::vector<char*> argv, envp;
        for (auto& s : argStrings) argv.push_back(s.data());
        for (auto& s : envStrings) envp.push_back(s.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        const int errFd = open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(cwd.c_str()) != 0) _exit(126);
            if (errFd >= 0) dup2(errFd, STDERR_FILENO);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        if (errFd >= 0) close(errFd);
    }
    ~Child() {
        if (running()) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
        }
    }

    bool started() const { return pid_ > 0; }
    bool running() {
        if (pid_ <= 0 || done_) return false;
        if (waitpid(pid_, &status_, WNOHANG) == pid_) done_ = true;
        return !done_;
    }
    // Waits up to the timeout for the process to end; false when it is still running.
    bool WaitFor(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (running()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }
    void Signal(int signal) { kill(pid_, signal); }
    int status() const { return status_; }

private:
    pid_t pid_ = -1;
    int status_ = 0;
    bool done_ = false;
};

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::string Describe(int status) {
    if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

// Waits until the file exists and has stopped growing.
inline bool AwaitFile(const fs::path& path, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::error_code error;
    uintmax_t last = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (fs::exists(path, error)) {
            const uintmax_t size = fs::file_size(path, error);
            if (!error && size > 0 && size == last) return true;
            last = size;
        }
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

// Presses the key (held long enough for a frame to see it) until the file appears: on a loaded
// machine the first presses may come before the game runs its frames.
inline bool PressUntilFile(const std::string& key, const fs::path& path, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (std::system(("xdotool keydown " + key + " sleep 0.3 keyup " + key).c_str()) != 0) return false;
        if (AwaitFile(path, 3s)) return true;
    }
    return false;
}

// One xdotool reading its commands from a pipe: a key goes down or up as soon as its line is
// written, with no process started for each change (which a busy machine can delay by a large part
// of a second, while a held turn key turns the hero by a right angle in less than half of one).
class KeyPipe {
public:
    KeyPipe() : pipe_(popen("xdotool -", "w")) {}
    ~KeyPipe() {
        if (pipe_ != nullptr) pclose(pipe_);
    }
    KeyPipe(const KeyPipe&) = delete;
    KeyPipe& operator=(const KeyPipe&) = delete;
    bool Send(const std::string& line) {
        return pipe_ != nullptr && std::fprintf(pipe_, "%s\n", line.c_str()) > 0 && std::fflush(pipe_) == 0;
    }

private:
    FILE* pipe_;
};

// Pixels of a 32-bit TGA of width 640 in the screen rows [top, bottom), top-down whatever the
// file's row order.
inline std::string TgaRows(const std::string& tga, int top, int bottom) {
    constexpr int kWidth = 640, kHeight = 480;
    const bool topDown = (static_cast<uint8_t>(tga[17]) & 0x20) != 0;
    std::string rows;
    for (int y = top; y < bottom; ++y) {
        const int row = topDown ? y : kHeight - 1 - y;
        rows += tga.substr(18 + static_cast<size_t>(row) * kWidth * 4, kWidth * 4);
    }
    return rows;
}

// Pixels of screen rows top..bottom (from the top), columns left..right, whose colour (red, green,
// blue) `counts` accepts.
inline int CountPixels(const std::string& tga, int top, int bottom, int left, int right,
                       const std::function<bool(int r, int g, int b)>& counts) {
    const std::string rows = TgaRows(tga, top, bottom);
    int n = 0;
    for (int y = 0; y < bottom - top; ++y)
        for (int x = left; x < right; ++x) {
            const size_t p = (static_cast<size_t>(y) * 640 + static_cast<size_t>(x)) * 4;
            if (counts(static_cast<uint8_t>(rows[p + 2]), static_cast<uint8_t>(rows[p + 1]),
                       static_cast<uint8_t>(rows[p])))
                ++n;
        }
    return n;
}

// Pixels whose three colour channels are all at least 200: the light text of menus over the darker
// level.
inline int BrightPixels(const std::string& tga, int top, int bottom, int left, int right) {
    return CountPixels(tga, top, bottom, left, right,
                       [](int r, int g, int b) { return r >= 200 && g >= 200 && b >= 200; });
}

// Peak amplitude (0..1) of a WAV file by sox; -1 when it cannot be measured.
inline double PeakAmplitude(const fs::path& wav) {
    const std::string command = "sox " + wav.string() + " -n stat 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1.0;
    char line[256];
    double peak = -1.0;
    while (std::fgets(line, sizeof line, pipe) != nullptr)
        if (std::strncmp(line, "Maximum amplitude:", 18) == 0) peak = std::atof(line + 18);
    pclose(pipe);
    return peak;
}



// The last "movement: player at x y z" line of the game's stderr, false when there is none.
// The place of the last "movement: <who> at x y z" line of a log (who: "player", "camera",
// "Guard #1"...); false when there is none.
inline bool LastMovementAt(const std::string& log, const std::string& who, float out[3]) {
    std::istringstream lines(log);
    std::string line;
    const std::string head = "movement: " + who + " at %f %f %f";
    bool found = false;
    while (std::getline(lines, line))
        found = std::sscanf(line.c_str(), head.c_str(), &out[0], &out[1], &out[2]) == 3 || found;
    return found;
}

inline bool LastPlayerPosition(const fs::path& errFile, float out[3]) {
    std::istringstream lines(ReadFile(errFile));
    std::string line;
    bool found = false;
    while (std::getline(lines, line)) {
        float p[3];
        if (std::sscanf(line.c_str(), "movement: player at %f %f %f", &p[0], &p[1], &p[2]) == 3) {
            std::copy(p, p + 3, out);
            found = true;
        }
    }
    return found;
}



// How many lines of the log start with `head`.
inline int LinesStartingWith(const fs::path& errFile, const std::string& head) {
    std::istringstream lines(ReadFile(errFile));
    std::string line;
    int n = 0;
    while (std::getline(lines, line))
        if (line.rfind(head, 0) == 0) ++n;
    return n;
}

// How many "movement: player at" lines the game has written: it writes one every tenth of a second
// of game time once the hero is driven, so a rising count shows that frames ran.
inline int PositionReports(const fs::path& errFile) { return LinesStartingWith(errFile, "movement: player at "); }

// Waits until the game has written `more` position reports beyond `from`.
inline bool AwaitPositionReports(const fs::path& errFile, int from, int more, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (PositionReports(errFile) >= from + more) return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

// Presses a key for the running game so that a frame sees it down and a later one sees it up,
// however slow the frames are: the key stays down until two position reports have come (frames ran
// with it held) and the call returns once one more has come after the release.
inline bool PressKeyForFrames(const fs::path& errFile, const std::string& key, std::chrono::seconds limit = 60s) {
    const int before = PositionReports(errFile);
    if (std::system(("xdotool keydown " + key).c_str()) != 0) return false;
    const bool held = AwaitPositionReports(errFile, before, 2, limit);
    const int released = PositionReports(errFile);
    if (std::system(("xdotool keyup " + key).c_str()) != 0) return false;
    return held && AwaitPositionReports(errFile, released, 1, limit);
}

// The next screenshot the game will write: the first free name Shot000.tga, Shot001.tga, ...,
// Shot099.tga, Shot0100.tga (the game numbers the digits after "Shot0", at least two of them).
inline fs::path NextShot(const fs::path& shots) {
    for (int i = 0;; ++i) {
        char name[24];
        std::snprintf(name, sizeof name, "Shot0%02d.tga", i);
        if (!fs::exists(shots / name)) return shots / name;
    }
}

// Takes screenshots with F11 until one shows what `looks` checks for or the limit passes; the last
// shot's bytes are left in `shot`. The picture is judged when it is taken, not after a fixed wait.
inline bool ShootUntil(const fs::path& shots, const std::function<bool(const std::string&)>& looks,
                       std::string& shot, std::chrono::seconds limit = 120s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        const fs::path next = NextShot(shots);
        if (!PressUntilFile("F11", next, 60s)) return false;
        shot = ReadFile(next);
        if (shot.size() >= 18u + 640u * 480u * 4u && looks(shot)) return true;
    }
    return false;
}

// Pixels of the screen rectangle [left, right) x [top, bottom) in the colours of the sample spell's
// fire: bright red and green, little blue. Nothing else the level shows near its middle has them.
inline int FirePixels(const std::string& tga, int top, int bottom, int left, int right) {
    return CountPixels(tga, top, bottom, left, right,
                       [](int r, int g, int b) { return r >= 200 && g >= 100 && b <= 120 && r - b >= 100; });
}

// Casts the sample spell with P until a screenshot shows its fire in rows 100..400, columns
// 160..480: more than 30 fire pixels over `fireBefore`. P goes down and stays down until a frame has
// seen it (the cast), then F11 takes the shot while it is held; a shot that came too late for the
// flames casts again, within the limit. The last shot's bytes are left in `shot`.
inline bool CastUntilFire(const fs::path& errFile, const fs::path& shots, int fireBefore, std::string& shot,
                          std::chrono::seconds limit = 180s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        const int reports = PositionReports(errFile);
        if (std::system("xdotool keydown p") != 0) return false;
        const bool seen = AwaitPositionReports(errFile, reports, 1, 60s);
        const fs::path next = NextShot(shots);
        const bool taken = PressUntilFile("F11", next, 60s);
        if (std::system("xdotool keyup p") != 0 || !seen || !taken) return false;
        shot = ReadFile(next);
        if (shot.size() < 18u + 640u * 480u * 4u) return false;
        if (FirePixels(shot, 100, 400, 160, 480) > fireBefore + 30) return true;
        // The release is seen before the next press.
        if (!AwaitPositionReports(errFile, PositionReports(errFile), 1, 60s)) return false;
    }
    return false;
}


class E2eRun : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quorvane-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "work");
        fs::create_directories(root_ / "user");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // Writes the sample data folder root_/Datas with makedata and the given options.
    void MakeSampleData(std::vector<std::string> options) {
        options.insert(options.begin(), (root_ / "Datas").string());
        Child makedata(BinaryDir() / "tools" / "makedata", options, root_, {}, root_ / "makedata.err");
        ASSERT_TRUE(makedata.started());
        ASSERT_TRUE(makedata.WaitFor(60s)) << "makedata did not finish";
        ASSERT_TRUE(WIFEXITED(makedata.status()) && WEXITSTATUS(makedata.status()) == 0)
            << Describe(makedata.status()) << "\n" << ReadFile(root_ / "makedata.err");
    }
    // A windowed 640 x 480 user configuration, so that screenshots have a known size; version 0
    // writes the current one.
    bool WriteWindowedConfig(uint32_t version) {
        datakit::UserConfigSpec config;
        if (version != 0) config.version = version;
        config.width = 640;
        config.height = 480;
        config.fullScreen = 0;
        return datakit::WriteFileBytes((root_ / "user" / "QuorvaneGame.cfg").string(), datakit::MakeUserConfig(config));
    }

    // Starts the game in root_/work on root_/Datas with the user folder root_/user, its stderr in
    // root_/game.err and the movement trace on, and waits for its window; the pointer goes over the
    // window, since without a window manager the keyboard focus follows it.
    std::unique_ptr<Child> StartGame(std::vector<std::string> env = {}) {
        env.insert(env.end(), {"USERPROFILE=" + (root_ / "user").string(), "QUORVANE_NO_MESSAGE_BOX=1",
                               "QUORVANE_TRACE_MOVEMENT=1", "QUORVANE_TRACE_ACTIONS=1"});
        auto game = std::make_unique<Child>(BinaryDir() / "quorvane", std::vector<std::string>{}, root_ / "work",
                                            env, root_ / "game.err");
        EXPECT_TRUE(game->started());
        EXPECT_EQ(std::system("timeout 60 xdotool search --sync --onlyvisible --name '^Quorvane$' > /dev/null"), 0)
            << "the window never showed\n" << ReadFile(root_ / "game.err");
        EXPECT_EQ(std::system("xdotool mousemove 20 20"), 0);
        return game;
    }
    // Waits until the player reports its position (ten times a second once it is driven).
    bool AwaitPlayerPosition(float out[3], std::chrono::seconds limit = 60s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (LastPlayerPosition(root_ / "game.err", out)) return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }

    fs::path root_;
};

}  // namespace e2e
