// The console's commands: the twelve entries of its table and what they reach (run modes, the
// user configuration, music, the player character, the object lists, the network client).
#pragma once

#include <cstdint>

// What the commands reach outside the object lists. The engine passes its own services; tests
// pass recording fakes.
struct ConsoleCommandTargets {
    void (*quit)();                     // "Exit": the quit message to the main loop
    bool (*connect)(const char* host);  // "Connect"
    void (*chat)(const char* line);     // every line that is no command
};
extern const ConsoleCommandTargets EngineConsoleTargets;
void SetConsoleCommandTargets(const ConsoleCommandTargets& targets);

// Music switched on (the console's "Zik" toggles it).
extern uint32_t ConsoleMusicOn;

// Creates the console (hidden) and registers the twelve commands; once per run, at the first
// entry into game mode. A second call does nothing.
void RegisterConsoleCommands();
void OnConsoleCommand(const char* word, const char* argument);
// Back to the state before the first registration (tests, shutdown).
void ResetConsoleCommands();
