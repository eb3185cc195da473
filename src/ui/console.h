// The console window and its commands.
#pragma once

class CNztWnd;

extern CNztWnd* ConsoleWnd;

void RegisterConsoleCommands();
// Writes a line into the console.
void ConsolePrint(const char* text);
