#include "ui/console.h"

CNztWnd* ConsoleWnd = nullptr;

void RegisterConsoleCommands() {}
void ConsolePrint(const char*) {}
