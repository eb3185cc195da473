#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

fs::path BinaryDir() {
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

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Describe(int status) {
    if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
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

    fs::path root_;
};

TEST_F(E2eRun, RunsOnTheSampleDataAndQuitsCleanlyOnSigterm) {
    {
        Child makedata(BinaryDir() / "tools" / "makedata", {(root_ / "Datas").string()}, root_, {},
                       root_ / "makedata.err");
        ASSERT_TRUE(makedata.started());
        ASSERT_TRUE(makedata.WaitFor(30s)) << "makedata did not finish";
        ASSERT_TRUE(WIFEXITED(makedata.status()) && WEXITSTATUS(makedata.status()) == 0)
            << Describe(makedata.status()) << "\n" << ReadFile(root_ / "makedata.err");
    }
    // The game reads ../Datas from its working folder and the user configuration from USERPROFILE.
    Child game(BinaryDir() / "quorvane", {}, root_ / "work",
               {"USERPROFILE=" + (root_ / "user").string(), "QUORVANE_NO_MESSAGE_BOX=1"}, root_ / "game.err");
    ASSERT_TRUE(game.started());
    std::this_thread::sleep_for(2s);
    ASSERT_TRUE(game.running()) << "the game stopped by itself: " << Describe(game.status()) << "\n"
                                << ReadFile(root_ / "game.err");
    game.Signal(SIGTERM);
    ASSERT_TRUE(game.WaitFor(60s)) << "no exit within a minute of SIGTERM\n" << ReadFile(root_ / "game.err");
    EXPECT_TRUE(WIFEXITED(game.status()) && WEXITSTATUS(game.status()) == 0)
        << Describe(game.status()) << "\n" << ReadFile(root_ / "game.err");
    // The user configuration is written back at exit, into the user folder.
    EXPECT_TRUE(fs::exists(root_ / "user" / "QuorvaneGame.cfg")) << ReadFile(root_ / "game.err");
}

}  // namespace
