#include "platform/shell.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <vector>

extern char** environ;

namespace {

// Openers started before; reaped once they end so that none stays a zombie.
std::vector<pid_t> RunningOpeners;

void ReapOpeners() {
    for (size_t i = 0; i < RunningOpeners.size();) {
        if (waitpid(RunningOpeners[i], nullptr, WNOHANG) != 0) {
            RunningOpeners[i] = RunningOpeners.back();
            RunningOpeners.pop_back();
        } else {
            ++i;
        }
    }
}

bool SpawnProcess(const char* const* argv) {
    ReapOpeners();
    pid_t pid = 0;
    int error = posix_spawnp(&pid, argv[0], nullptr, nullptr, const_cast<char* const*>(argv), environ);
    if (error != 0) {
        std::fprintf(stderr, "shell: cannot start %s (error %d)\n", argv[0], error);
        return false;
    }
    RunningOpeners.push_back(pid);
    return true;
}

ShellSpawner Spawner = SpawnProcess;

}  // namespace

void SetShellSpawner(ShellSpawner spawner) { Spawner = spawner != nullptr ? spawner : SpawnProcess; }

bool ShellOpenTarget(const char* target) {
    if (target == nullptr || target[0] == 0 || target[0] == '-') return false;
    const char* argv[] = {"xdg-open", target, nullptr};
    return Spawner(argv);
}
