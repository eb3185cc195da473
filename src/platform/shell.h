// Hands a document, folder, web address or mail address to the desktop's opener (xdg-open). The
// target is passed as one argument of a new process, never through a command interpreter.
#pragma once

// Starts argv[0] (searched in PATH) with the null-terminated argument vector; true when the process
// started. Replaceable so that tests can record what would be opened.
using ShellSpawner = bool (*)(const char* const* argv);

// Installs a spawner; null restores the one that really starts processes.
void SetShellSpawner(ShellSpawner spawner);
// Runs "xdg-open <target>". False when the target is empty or begins with '-' (it would be read as
// an option), or when the opener cannot be started.
bool ShellOpenTarget(const char* target);
